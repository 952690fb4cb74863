#include "widgets/file_dialogs.hpp"

#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>

#include <filesystem>

#include "core/code_page.hpp"
#include "widgets/file_list.hpp"
#include "widgets/message_boxes.hpp"

namespace corvane {

std::string AskOpenFile(const FileDialog& standIn, QWidget* owner, const QString& title, const QString& filters,
                        const QString& folder) {
    if (standIn) return standIn(owner, title, filters, folder);
    return QFileDialog::getOpenFileName(owner, title, folder, filters).toStdString();
}

std::string AskSaveFile(const FileDialog& standIn, QWidget* owner, const QString& title, const QString& filters,
                        const QString& folder) {
    if (standIn) return standIn(owner, title, filters, folder);
    return QFileDialog::getSaveFileName(owner, title, folder, filters).toStdString();
}

bool ShowInList(FileList& list, const std::string& path, MessageBoxes& messages) {
    // A key picked in a series folder keeps the list on Keys/ with its series.
    if (list.SelectPath(path)) return true;
    const std::filesystem::path p(path);
    list.SetPath(p.parent_path().string());
    if (list.SelectByName(p.filename().string())) return true;
    messages.Information(u"Cannot select " + Utf8ToText(p.filename().string()) + u": the list shows only " +
                         Utf8ToText(list.Pattern()) + u".");
    return false;
}

std::string DroppedFile(const QDropEvent& event) {
    const QList<QUrl> urls = event.mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return {};
    return urls.front().toLocalFile().toStdString();
}

}  // namespace corvane
