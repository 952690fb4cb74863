#include <gtest/gtest.h>

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>

#include "core/platform.hpp"
#include "temp_folder.hpp"
#include "widgets/file_list.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using Names = std::vector<std::string>;

// A Keys folder as the key generator leaves it: a loose key, series folders
// written at different times, and what must not be listed.
class KeyFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"2026-12-01", "2026-12-02", "alice", ".hidden", "empty", "alice/deeper"})
            fs::create_directory(folder_ / folder);
        for (const char* name : {"loose.png", "notes.txt", "2026-12-01/00002.png", "2026-12-01/00001.png",
                                 "2026-12-02/00001.png", "alice/k.png", "alice/k.txt", ".hidden/00001.png",
                                 "alice/deeper/00001.png"})
            folder_.Write(name);
        const fs::file_time_type day = fs::file_time_type::clock::now() - std::chrono::hours(24);
        // Two series written in the same second, and one written later whose
        // name sorts last.
        for (const char* name : {"2026-12-01/00001.png", "2026-12-01/00002.png", "2026-12-02/00001.png"})
            fs::last_write_time(folder_ / name, day);
        fs::last_write_time(folder_ / "alice/k.png", day + std::chrono::hours(1));
        list_.SetPattern("*.png");
        list_.SetListSubfolders(true);
        list_.SetPath(folder_.path());
    }
    bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 5000); }
    bool Lists(const std::string& name) const {
        const Names& names = list_.Names();
        return std::find(names.begin(), names.end(), name) != names.end();
    }

    TempFolder folder_;
    FileList list_;
};

TEST_F(KeyFolderTest, ListsOwnFilesThenSeriesLastWrittenFirst) {
    EXPECT_EQ(list_.Names(), (Names{"loose.png", "alice/k.png", "2026-12-02/00001.png", "2026-12-01/00001.png",
                                    "2026-12-01/00002.png"}));
    ASSERT_EQ(list_.count(), 5);
    EXPECT_EQ(list_.item(1)->text(), QStringLiteral("alice/k.png"));
    // The windows open Path() + "/" + entry.
    for (const std::string& name : list_.Names()) EXPECT_TRUE(fs::is_regular_file(JoinPath(list_.Path(), name)));
    ASSERT_TRUE(list_.SelectByName("2026-12-02/00001.png"));
    EXPECT_EQ(list_.SelectedPath(), folder_ / "2026-12-02/00001.png");

    list_.SetListSubfolders(false);
    EXPECT_EQ(list_.Names(), (Names{"loose.png"}));
    list_.SetListSubfolders(true);
    EXPECT_EQ(list_.ListCount(), 5);
}

TEST_F(KeyFolderTest, FollowsNewKeysAndSeriesKeepingTheSelection) {
    ASSERT_TRUE(list_.SelectByName("2026-12-01/00002.png"));
    QSignalSpy clicks(&list_, &FileList::Click);

    folder_.Write("2026-12-01/00003.png");
    ASSERT_TRUE(WaitFor([&] { return Lists("2026-12-01/00003.png"); }));
    // The series just written to moves up; the chosen key stays chosen.
    EXPECT_EQ(list_.Names()[1], "2026-12-01/00001.png");
    EXPECT_EQ(list_.FileName(), "2026-12-01/00002.png");

    // A series made while the program runs is followed from then on.
    fs::create_directory(folder_ / "2026-12-09");
    QTest::qWait(400);
    folder_.Write("2026-12-09/00001.png");
    ASSERT_TRUE(WaitFor([&] { return Lists("2026-12-09/00001.png"); }));
    EXPECT_EQ(list_.Names()[1], "2026-12-09/00001.png");
    folder_.Write("2026-12-09/00002.png");
    ASSERT_TRUE(WaitFor([&] { return Lists("2026-12-09/00002.png"); }));
    folder_.Write("loose2.png");
    ASSERT_TRUE(WaitFor([&] { return Lists("loose2.png"); }));

    EXPECT_EQ(list_.FileName(), "2026-12-01/00002.png");
    EXPECT_EQ(list_.currentItem(), list_.item(list_.ListIndex()));
    // Listing again is not the user's choice: the window loads nothing.
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(KeyFolderTest, RemovedKeyLeavesNothingSelected) {
    ASSERT_TRUE(list_.SelectByName("alice/k.png"));
    QSignalSpy clicks(&list_, &FileList::Click);
    fs::remove(folder_ / "alice/k.png");
    ASSERT_TRUE(WaitFor([&] { return !Lists("alice/k.png"); }));
    EXPECT_EQ(list_.ListIndex(), -1);
    EXPECT_EQ(list_.FileName(), "");
    EXPECT_EQ(clicks.count(), 0);

    // A removed series folder goes, and one made again under its name is followed.
    fs::remove_all(folder_ / "2026-12-02");
    ASSERT_TRUE(WaitFor([&] { return !Lists("2026-12-02/00001.png"); }));
    fs::create_directory(folder_ / "2026-12-02");
    QTest::qWait(400);
    folder_.Write("2026-12-02/00005.png");
    EXPECT_TRUE(WaitFor([&] { return Lists("2026-12-02/00005.png"); }));
}

TEST_F(KeyFolderTest, SelectsAPickedFileWhereTheListShowsIt) {
    QSignalSpy clicks(&list_, &FileList::Click);
    EXPECT_TRUE(list_.SelectPath(folder_ / "2026-12-02/00001.png"));
    EXPECT_EQ(list_.FileName(), "2026-12-02/00001.png");
    EXPECT_TRUE(list_.SelectPath(folder_ / "loose.png"));
    EXPECT_EQ(clicks.count(), 2);
    // What the list does not show: too deep, hidden, another pattern, a
    // folder whose name only begins like the list's.
    for (const char* name : {"alice/deeper/00001.png", ".hidden/00001.png", "notes.txt", "alice"})
        EXPECT_FALSE(list_.SelectPath(folder_ / name)) << name;
    fs::create_directory(folder_.path() + "x");
    EXPECT_FALSE(list_.SelectPath(folder_.path() + "x/loose.png"));
    fs::remove(folder_.path() + "x");
    EXPECT_EQ(list_.FileName(), "loose.png");
    EXPECT_EQ(clicks.count(), 2);
    // A key saved a moment ago, before the folder's change came in.
    folder_.Write("alice/new.png");
    EXPECT_TRUE(list_.SelectPath(folder_ / "alice/new.png"));
    list_.SetListSubfolders(false);
    EXPECT_FALSE(list_.SelectPath(folder_ / "alice/new.png"));
    EXPECT_EQ(list_.Path(), folder_.path());
}

TEST(FileListFollowTest, PlainListFollowsItsFolderAndKeepsItsScroll) {
    TempFolder folder;
    fs::create_directory(folder / "other");
    for (int i = 0; i < 60; ++i) {
        folder.Write("photo" + std::to_string(100 + i) + ".png");
        folder.Write("other/photo" + std::to_string(100 + i) + ".png");
    }
    FileList list;
    list.resize(200, 120);
    list.SetPattern("*.png");
    list.SetPath(folder.path());
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum() / 2);
    const int scroll = list.verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);

    folder.Write("photo999.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.ListCount() == 61; }, 5000));
    EXPECT_EQ(list.verticalScrollBar()->value(), scroll);
    // Another folder starts at its top.
    list.SetPath(folder / "other");
    ASSERT_EQ(list.ListCount(), 60);
    EXPECT_EQ(list.verticalScrollBar()->value(), 0);
}

}  // namespace
}  // namespace corvane
