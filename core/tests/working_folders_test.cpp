#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "core/platform.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

// Sets or unsets $HOME for one test and puts the old value back.
class ScopedHome {
public:
    explicit ScopedHome(const char* value) {
        if (const char* old = std::getenv("HOME")) old_ = old;
        if (value) setenv("HOME", value, 1);
        else unsetenv("HOME");
    }
    ~ScopedHome() {
        if (old_) setenv("HOME", old_->c_str(), 1);
        else unsetenv("HOME");
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

private:
    std::optional<std::string> old_;
};

std::string PasswordDatabaseHome() {
    const passwd* pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

TEST(FallbackRoot, HomeVariableWinsOverThePasswordDatabase) {
    TempFolder home;
    {
        ScopedHome set(home.path().c_str());
        EXPECT_EQ(FallbackRoot(), home / "Corvane/");
    }
    {
        const std::string slashed = home.path() + "//";
        ScopedHome set(slashed.c_str());
        EXPECT_EQ(FallbackRoot(), home / "Corvane/");
    }
    {
        ScopedHome set("/");
        EXPECT_EQ(FallbackRoot(), "/Corvane/");
    }
}

TEST(FallbackRoot, UnsetEmptyOrRelativeHomeUsesThePasswordDatabase) {
    const std::string db = PasswordDatabaseHome();
    if (db.empty() || db[0] != '/') GTEST_SKIP() << "no home folder in the password database";
    std::string expected = db;
    while (expected.size() > 1 && expected.back() == '/') expected.pop_back();
    if (expected == "/") expected.clear();
    expected += "/Corvane/";
    for (const char* value : {static_cast<const char*>(nullptr), "", "relative/home"}) {
        ScopedHome set(value);
        EXPECT_EQ(FallbackRoot(), expected) << (value ? value : "(unset)");
    }
}

TEST(WorkingRoot, OnlyTheBuildFolderKeepsFilesBesideThePrograms) {
    TempFolder programs;
    TempFolder home;
    ScopedHome set(home.path().c_str());
    const std::string fallback = home / "Corvane";

    // An installed program's folder, even one this user may write (root's /usr/bin).
    EXPECT_FALSE(RunsFromBuildTree(programs.path()));
    EXPECT_EQ(WorkingRoot(programs.path()), fallback);
    EXPECT_EQ(PrepareWorkingRoot(programs.path(), {kKeysFolder, kEncryptedFolder}), fallback);
    EXPECT_TRUE(IsWritableFolder(home / "Corvane/Keys"));
    EXPECT_TRUE(IsWritableFolder(home / "Corvane/Encrypted Images"));
    EXPECT_FALSE(FileExists(programs / "Keys"));
    EXPECT_FALSE(FileExists(programs / "Encrypted Images"));

    // Only a file counts as the marker.
    ASSERT_TRUE(CreateFolders(programs / kBuildTreeMarker));
    EXPECT_FALSE(RunsFromBuildTree(programs.path()));
    EXPECT_EQ(WorkingRoot(programs.path()), fallback);
    ASSERT_EQ(rmdir((programs / kBuildTreeMarker).c_str()), 0);

    WriteBytes(programs / kBuildTreeMarker, "");
    EXPECT_TRUE(RunsFromBuildTree(programs.path()));
    EXPECT_EQ(PrepareWorkingRoot(programs.path(), {kImagesFolder}), programs.path());
    EXPECT_TRUE(IsWritableFolder(programs / "Images"));
    EXPECT_FALSE(FileExists(home / "Corvane/Images"));
}

TEST(WorkingRoot, BuildFolderThatCannotBeWrittenFallsBack) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes any folder";
    TempFolder programs;
    TempFolder home;
    ScopedHome set(home.path().c_str());
    WriteBytes(programs / kBuildTreeMarker, "");
    ASSERT_EQ(chmod(programs.path().c_str(), 0555), 0);
    EXPECT_EQ(WorkingRoot(programs.path()), home / "Corvane");
    chmod(programs.path().c_str(), 0755);
}

TEST(WorkingRoot, TheseTestsRunFromTheBuildFolder) {
    // The build writes the marker beside every program it makes; without it
    // the programs run from the build would put their files in the home folder.
    EXPECT_TRUE(RunsFromBuildTree(ApplicationFolder())) << ApplicationFolder();
}

}  // namespace
}  // namespace corvane
