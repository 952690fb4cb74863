#pragma once
// A file list box: the visible regular files of one folder whose names match
// a pattern list such as "*.png;*.bmp", in name order.
//
// Matching: "*" stands for any run of characters, "?" for one character, and
// letters match in either case (A-Z only), so "*.png" lists "photo.PNG" too:
// users name files in either case, and the loaders decide afterwards which
// spellings they accept. "*.*" lists every file, with or without a dot.
// Hidden files (names starting with ".") and folders are never listed.
// Order is byte order of the names, the order in which the batch work of the
// `corvane` command takes a folder's files.
//
// Names are kept as the system gives them (bytes, UTF-8 when valid), so that
// every listed file can be opened again; only their display is decoded.
//
// With subfolders listed, the visible folders one level down (the key series
// below Keys/) follow the folder's own files, each as "series/name" so that
// Path() + "/" + entry is the file's path. The series whose newest listed file
// was written last comes first, so keys just made are near the top whatever
// the series is called; a series keeps its files in name order.
//
// The list follows its folders while the program runs: files added, removed
// or renamed there, or in a series folder (new ones included), show up after
// a moment, with the selection and the scroll position kept.
#include <QFileSystemWatcher>
#include <QListWidget>
#include <QTimer>

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// True when `name` matches one of the ";"-separated patterns.
bool MatchesFilePattern(std::string_view name, std::string_view patterns);

class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);

    // Sets the patterns and lists again, keeping the selection by name.
    void SetPattern(const std::string& patterns);
    const std::string& Pattern() const { return pattern_; }

    // Lists the files of the visible folders one level down too, and lists again.
    void SetListSubfolders(bool on);
    bool ListsSubfolders() const { return subfolders_; }

    // Lists the folder afresh, with nothing selected. A missing or unreadable
    // folder gives an empty list.
    void SetPath(const std::string& folder);
    const std::string& Path() const { return path_; }
    // Lists the folder again; the selected name stays selected while it exists.
    void Refresh();

    const std::vector<std::string>& Names() const { return names_; }
    int ListCount() const { return static_cast<int>(names_.size()); }
    int ListIndex() const;  // -1: nothing selected
    // The selected name, or empty.
    std::string FileName() const;
    // Path() joined with FileName(), or empty when nothing is selected.
    std::string SelectedPath() const;

    // Selects the first entry equal to `name` (exactly, case included) and
    // raises Click, as a choice made with the mouse would. False, and nothing
    // changed, when no entry is equal.
    bool SelectByName(std::string_view name);
    // SelectByName for a file given by its path (one picked with Browse or
    // dropped), when the list shows it: in its folder, or in a series folder
    // of it. False, and nothing changed, when the list does not show it.
    bool SelectPath(const std::string& path);

signals:
    // The user picked an entry (mouse or keyboard, also a click on the entry
    // already selected), or SelectByName picked one.
    void Click();

protected:
    void mousePressEvent(QMouseEvent* e) override;

private:
    void Fill(std::string_view keep, bool keepScroll);
    void Select(int row);
    void Watch(const std::vector<std::string>& folders);

    std::string path_;
    bool subfolders_ = false;
    QFileSystemWatcher watcher_;
    QTimer settle_;  // one listing for a burst of changes (a batch of keys)
    std::string pattern_ = "*.*";
    std::vector<std::string> names_;
    int quiet_ = 0;  // selection changes made by the list itself raise nothing
    int selectedBeforePress_ = -1;
};

}  // namespace corvane
