#pragma once
// How the windows ask for files: the open and save dialogs (or a test's
// stand-in), a chosen file shown and selected in a file list, and the file
// dropped on a window.
#include <QString>

#include <functional>
#include <string>

class QDropEvent;
class QWidget;

namespace corvane {

class FileList;
class MessageBoxes;

// (owner, title, filters, folder) -> the chosen path, or empty when cancelled.
using FileDialog = std::function<std::string(QWidget*, const QString&, const QString&, const QString&)>;

// The stand-in when given, else Qt's dialog (the save dialog asks before
// replacing a file).
std::string AskOpenFile(const FileDialog& standIn, QWidget* owner, const QString& title, const QString& filters,
                        const QString& folder);
std::string AskSaveFile(const FileDialog& standIn, QWidget* owner, const QString& title, const QString& filters,
                        const QString& folder);

// Selects the file where the list already shows it (its folder or a series
// folder of it), else lists the file's folder and selects it there; either
// raises the list's Click. False, with a message, when the list's patterns
// leave it out.
bool ShowInList(FileList& list, const std::string& path, MessageBoxes& messages);

// The first file dropped, when it is a local one; else empty.
std::string DroppedFile(const QDropEvent& event);

}  // namespace corvane
