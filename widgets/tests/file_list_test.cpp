#include "widgets/file_list.hpp"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <filesystem>

#include "temp_folder.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

TEST(FilePatternTest, Wildcards) {
    const char* images = "*.png;*.bmp;*.jp2";
    EXPECT_TRUE(MatchesFilePattern("a.png", images));
    EXPECT_TRUE(MatchesFilePattern("Photo.PNG", images));
    EXPECT_TRUE(MatchesFilePattern("a.b.Bmp", images));
    EXPECT_FALSE(MatchesFilePattern("a.png.txt", images));
    EXPECT_FALSE(MatchesFilePattern("a.jp2x", images));
    EXPECT_TRUE(MatchesFilePattern("a.png", " *.bmp ; *.png "));
    // "*.*" is every file, also one without a dot.
    EXPECT_TRUE(MatchesFilePattern("README", "*.png;*.*"));
    EXPECT_FALSE(MatchesFilePattern("README", "*.png"));
    // "?" is one character, also one of several bytes.
    EXPECT_TRUE(MatchesFilePattern("\xC3\xA9.png", "?.png"));
    EXPECT_FALSE(MatchesFilePattern("ab.png", "?.png"));
    // Only A-Z fold: a non-ASCII name is not changed by folding.
    EXPECT_FALSE(MatchesFilePattern("\xC3\x89.png", "\xC3\xA9.png"));
}

class FileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.png", "a.PNG", "B.png", "c.bmp", "d.txt", ".hidden.png"}) folder_.Write(name);
        fs::create_directory(folder_ / "dir.png");
        list_.SetPattern("*.png;*.bmp");
        list_.SetPath(folder_.path());
    }
    void ClickRow(int row) {
        QListWidgetItem* item = list_.item(row);
        list_.scrollToItem(item);
        QTest::mouseClick(list_.viewport(), Qt::LeftButton, {}, list_.visualItemRect(item).center());
    }

    TempFolder folder_;
    FileList list_;
};

TEST_F(FileListTest, ListsMatchingVisibleFilesInNameOrder) {
    EXPECT_EQ(list_.Names(), (std::vector<std::string>{"B.png", "a.PNG", "b.png", "c.bmp"}));
    EXPECT_EQ(list_.ListIndex(), -1);
    EXPECT_EQ(list_.FileName(), "");
    EXPECT_EQ(list_.SelectedPath(), "");
    list_.SetPattern("*.txt");
    EXPECT_EQ(list_.Names(), (std::vector<std::string>{"d.txt"}));
}

TEST_F(FileListTest, MissingFolderGivesAnEmptyList) {
    list_.SetPath(folder_ / "missing");
    EXPECT_EQ(list_.ListCount(), 0);
    EXPECT_EQ(list_.Path(), folder_ / "missing");
    list_.SetPath("");
    EXPECT_EQ(list_.ListCount(), 0);
}

TEST_F(FileListTest, NamesThatAreNotUtf8StayOpenable) {
    const std::string odd = "k\xFF\xFE.png";
    folder_.Write(odd, "key");
    list_.Refresh();
    ASSERT_TRUE(list_.SelectByName(odd));
    EXPECT_EQ(list_.FileName(), odd);
    EXPECT_TRUE(fs::exists(list_.SelectedPath()));
}

TEST_F(FileListTest, SelectByNameRaisesClick) {
    QSignalSpy clicks(&list_, &FileList::Click);
    EXPECT_FALSE(list_.SelectByName("A.PNG"));  // exact names only
    EXPECT_FALSE(list_.SelectByName("d.txt"));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(list_.ListIndex(), -1);

    std::string seen;
    QObject::connect(&list_, &FileList::Click, [&] { seen = list_.FileName(); });
    EXPECT_TRUE(list_.SelectByName("b.png"));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(seen, "b.png");
    EXPECT_EQ(list_.ListIndex(), 2);
    EXPECT_EQ(list_.SelectedPath(), folder_ / "b.png");
    // Choosing the same file again runs the handler again.
    EXPECT_TRUE(list_.SelectByName("b.png"));
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(FileListTest, RefreshKeepsTheSelectionByNameQuietly) {
    list_.SelectByName("b.png");
    QSignalSpy clicks(&list_, &FileList::Click);
    folder_.Write("0.png");  // sorts first: the selected row moves
    list_.Refresh();
    EXPECT_EQ(list_.ListCount(), 5);
    EXPECT_EQ(list_.FileName(), "b.png");
    EXPECT_EQ(list_.ListIndex(), 3);
    fs::remove(folder_ / "b.png");
    list_.Refresh();
    EXPECT_EQ(list_.FileName(), "");
    EXPECT_EQ(list_.ListCount(), 4);
    list_.SelectByName("c.bmp");
    list_.SetPath(folder_.path());  // a new listing starts unselected
    EXPECT_EQ(list_.FileName(), "");
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(FileListTest, MouseAndKeyboardPicksRaiseClick) {
    list_.resize(200, 200);
    list_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
    std::vector<std::string> seen;
    QObject::connect(&list_, &FileList::Click, [&] { seen.push_back(list_.FileName()); });

    ClickRow(1);
    EXPECT_EQ(seen, (std::vector<std::string>{"a.PNG"}));
    ClickRow(1);  // the selected entry again
    EXPECT_EQ(seen, (std::vector<std::string>{"a.PNG", "a.PNG"}));
    list_.setFocus();
    QTest::keyClick(&list_, Qt::Key_Down);
    EXPECT_EQ(seen, (std::vector<std::string>{"a.PNG", "a.PNG", "b.png"}));
    QTest::keyClick(&list_, Qt::Key_End);
    EXPECT_EQ(seen.back(), "c.bmp");
    EXPECT_EQ(seen.size(), 4u);
}

}  // namespace
}  // namespace corvane
