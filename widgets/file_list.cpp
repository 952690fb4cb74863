#include "widgets/file_list.hpp"

#include <QMouseEvent>

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
}

void FileList::mousePressEvent(QMouseEvent* e) {
    selectedBeforePress_ = ListIndex();
    QListWidget::mousePressEvent(e);
}

void FileList::SetPattern(const std::string& patterns) {
    pattern_ = patterns;
    Fill(FileName());
}

void FileList::SetPath(const std::string& folder) {
    path_ = folder;
    Fill({});
}

void FileList::Refresh() { Fill(FileName()); }

void FileList::Fill(std::string_view keep) {
    namespace fs = std::filesystem;
    const std::string kept(keep);
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it;
    // An empty path is no folder (not the working directory).
    if (!path_.empty()) it = fs::directory_iterator(fs::path(path_), ec);
    // An iterator that fails midway ends the listing with what it has.
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc)) continue;
        if (MatchesFilePattern(name, pattern_)) names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());

    ++quiet_;
    clear();
    names_ = std::move(names);
    for (const std::string& name : names_) addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    setCurrentRow(-1);
    if (!kept.empty()) {
        const auto at = std::find(names_.begin(), names_.end(), kept);
        if (at != names_.end()) Select(static_cast<int>(at - names_.begin()));
    }
    --quiet_;
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

}  // namespace corvane
