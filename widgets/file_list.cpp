#include "widgets/file_list.hpp"

#include <QFile>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/platform.hpp"

namespace corvane {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Bytes of the UTF-8 sequence starting at name[i] ("?" takes a whole
// character, not a piece of one).
size_t CharLength(std::string_view name, size_t i) {
    size_t n = 1;
    while (i + n < name.size() && (static_cast<unsigned char>(name[i + n]) & 0xC0) == 0x80) ++n;
    return n;
}

bool MatchOne(std::string_view name, std::string_view pattern) {
    if (pattern == "*.*") return true;
    size_t n = 0, p = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharLength(name, n);
        } else if (p < pattern.size() && Fold(pattern[p]) == Fold(name[n])) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += CharLength(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

namespace fs = std::filesystem;

// The visible regular files of `folder` matching `patterns`, in byte order.
// `newest`, when given, gets the latest modification time among them.
std::vector<std::string> MatchingFiles(const std::string& folder, std::string_view patterns,
                                       fs::file_time_type* newest) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec);
    // An iterator that fails midway ends the listing with what it has.
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc) || !MatchesFilePattern(name, patterns)) continue;
        if (newest) {
            const fs::file_time_type written = it->last_write_time(fileEc);
            if (!fileEc && written > *newest) *newest = written;
        }
        names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The visible folders directly below `folder` (links to folders included).
std::vector<std::string> VisibleSubfolders(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code dirEc;
        if (!name.empty() && name[0] != '.' && it->is_directory(dirEc)) names.push_back(std::move(name));
    }
    return names;
}

struct Series {
    std::string name;
    fs::file_time_type newest = fs::file_time_type::min();
    std::vector<std::string> files;
};

// The folder's own files, then each series' files as "series/name", the
// series last written to first (the later name first when two tie, so that
// date-named series unpacked together still run newest first).
std::vector<std::string> Listing(const std::string& folder, std::string_view patterns, bool subfolders,
                                 std::vector<std::string>& watched) {
    watched.clear();
    // An empty path is no folder (not the working directory).
    if (folder.empty()) return {};
    watched.push_back(folder);
    std::vector<std::string> names = MatchingFiles(folder, patterns, nullptr);
    if (!subfolders) return names;
    std::vector<Series> series;
    for (std::string& sub : VisibleSubfolders(folder)) {
        Series one;
        one.files = MatchingFiles(JoinPath(folder, sub), patterns, &one.newest);
        watched.push_back(JoinPath(folder, sub));
        one.name = std::move(sub);
        if (!one.files.empty()) series.push_back(std::move(one));
    }
    std::sort(series.begin(), series.end(), [](const Series& a, const Series& b) {
        return a.newest != b.newest ? a.newest > b.newest : a.name > b.name;
    });
    for (const Series& one : series)
        for (const std::string& file : one.files) names.push_back(one.name + "/" + file);
    return names;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

bool MatchesFilePattern(std::string_view name, std::string_view patterns) {
    while (true) {
        const size_t semi = patterns.find(';');
        const std::string_view one = Trim(patterns.substr(0, semi));
        if (!one.empty() && MatchOne(name, one)) return true;
        if (semi == std::string_view::npos) return false;
        patterns.remove_prefix(semi + 1);
    }
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // Selection, not the current row: a mouse press moves the current row
    // before it selects, and the handlers read the selection.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!quiet_ && ListIndex() >= 0) emit Click();
    });
    // A click on the entry that was already selected changes nothing, yet the
    // user picked it (to load it again with other options, say).
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* entry) {
        if (!quiet_ && row(entry) == selectedBeforePress_ && ListIndex() == row(entry)) emit Click();
    });
    // Saving a batch of keys changes the folder once a key: list once after
    // the burst, not once a file.
    settle_.setSingleShot(true);
    settle_.setInterval(150);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_, qOverload<>(&QTimer::start));
    connect(&settle_, &QTimer::timeout, this, [this] { Fill(FileName(), true); });
}

void FileList::mousePressEvent(QMouseEvent* e) {
    selectedBeforePress_ = ListIndex();
    QListWidget::mousePressEvent(e);
}

void FileList::SetPattern(const std::string& patterns) {
    pattern_ = patterns;
    Fill(FileName(), true);
}

void FileList::SetListSubfolders(bool on) {
    subfolders_ = on;
    Fill(FileName(), true);
}

void FileList::SetPath(const std::string& folder) {
    const bool same = folder == path_;
    path_ = folder;
    Fill({}, same);
}

void FileList::Refresh() { Fill(FileName(), true); }

void FileList::Fill(std::string_view keep, bool keepScroll) {
    settle_.stop();
    const std::string kept(keep);
    std::vector<std::string> watched;
    std::vector<std::string> names = Listing(path_, pattern_, subfolders_, watched);
    Watch(watched);
    // Nothing changed: rebuilding would only flicker and lose the hover.
    if (names == names_ && kept == FileName() && count() == static_cast<int>(names_.size())) return;

    const int scroll = verticalScrollBar()->value();
    ++quiet_;
    clear();
    names_ = std::move(names);
    for (const std::string& name : names_) addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    setCurrentRow(-1);
    // Another folder starts at its top; the same one stays where the user left it.
    executeDelayedItemsLayout();  // the scroll range of the new entries
    verticalScrollBar()->setValue(keepScroll ? scroll : 0);
    if (!kept.empty()) {
        const auto at = std::find(names_.begin(), names_.end(), kept);
        if (at != names_.end()) Select(static_cast<int>(at - names_.begin()));
    }
    --quiet_;
}

void FileList::Watch(const std::vector<std::string>& folders) {
    QStringList wanted;
    for (const std::string& folder : folders) {
        const QByteArray bytes(folder.data(), static_cast<qsizetype>(folder.size()));
        const QString name = QFile::decodeName(bytes);
        // A name that does not survive decoding would watch another folder.
        if (QFile::encodeName(name) == bytes) wanted.push_back(name);
    }
    QStringList stale;
    for (const QString& watched : watcher_.directories())
        if (!wanted.contains(watched)) stale.push_back(watched);
    if (!stale.isEmpty()) watcher_.removePaths(stale);
    QStringList fresh;
    for (const QString& folder : wanted) {
        std::error_code ec;
        if (!watcher_.directories().contains(folder) && fs::is_directory(QFile::encodeName(folder).toStdString(), ec))
            fresh.push_back(folder);
    }
    if (!fresh.isEmpty()) watcher_.addPaths(fresh);
}

void FileList::Select(int row) {
    setCurrentRow(row);
    if (QListWidgetItem* entry = item(row)) scrollToItem(entry);
}

int FileList::ListIndex() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

std::string FileList::FileName() const {
    const int row = ListIndex();
    return row < 0 ? std::string() : names_[static_cast<size_t>(row)];
}

std::string FileList::SelectedPath() const {
    const std::string name = FileName();
    return name.empty() ? std::string() : JoinPath(path_, name);
}

bool FileList::SelectByName(std::string_view name) {
    const auto at = std::find(names_.begin(), names_.end(), name);
    if (at == names_.end()) return false;
    ++quiet_;
    Select(static_cast<int>(at - names_.begin()));
    --quiet_;
    emit Click();
    return true;
}

bool FileList::SelectPath(const std::string& path) {
    if (path_.empty()) return false;
    const std::string folder = path_.back() == '/' ? path_ : path_ + "/";
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    const std::string name = path.substr(folder.size());
    // Only what the list can show: a name, or "series/name" one level down.
    const size_t slash = name.find('/');
    if (slash != std::string::npos && (!subfolders_ || name.find('/', slash + 1) != std::string::npos)) return false;
    Fill(FileName(), true);  // a file saved a moment ago, before the folder's change came in
    return SelectByName(name);
}

}  // namespace corvane
