#include "encrypt/used_keys.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>

#include "core/code_page.hpp"
#include "core/platform.hpp"
#include "test_support.hpp"

namespace corvane {
namespace {

using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

const std::u16string kKeyComment = u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>";

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
        tzset();
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
        tzset();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

UsedKeyEntry Entry(char key, char message, const std::string& file, const std::string& date = "2026-12-08T16:30:05Z") {
    return {std::string(64, key), std::string(64, message), date, file};
}

TEST(UsedKeyIdentity, EveryPixelAndTheCommentCount) {
    // Large enough to be hashed on two threads: a change in either half
    // must show.
    const PixelGrid key = RandomGrid(640, 480, 5);
    const KeyIdentity id = IdentifyKey(key, kKeyComment);
    EXPECT_EQ(id.keyDigest.size(), 64u);
    EXPECT_EQ(IdentifyKey(key, kKeyComment).keyDigest, id.keyDigest);
    for (const auto& [x, y] : {std::pair{3, 2}, std::pair{639, 479}}) {
        PixelGrid changed = key;
        changed.at(x, y) ^= 0x010000;  // one bit of blue
        EXPECT_NE(IdentifyKey(changed, kKeyComment).keyDigest, id.keyDigest) << x << "," << y;
    }
    std::u16string comment = kKeyComment;
    comment[25] = u'2';
    EXPECT_NE(IdentifyKey(key, comment).keyDigest, id.keyDigest);
    // The same pixels in another shape are another key.
    PixelGrid reshaped(480, 640);
    reshaped.pixels = key.pixels;
    EXPECT_NE(IdentifyKey(reshaped, kKeyComment).keyDigest, id.keyDigest);
}

TEST(UsedKeyIdentity, MessageDigestsAreKeyedAndSeeWholeCodeUnits) {
    const KeyIdentity a = IdentifyKey(RandomGrid(20, 10, 1), kKeyComment);
    const KeyIdentity b = IdentifyKey(RandomGrid(20, 10, 2), kKeyComment);
    const std::string m = a.MessageDigest(u"attack at dawn", true);
    EXPECT_EQ(m, a.MessageDigest(u"attack at dawn", true));
    EXPECT_NE(m, a.MessageDigest(u"attack at dusk", true));
    // Stored both ways, one text puts two different containers under the key.
    EXPECT_NE(m, a.MessageDigest(u"attack at dawn", false));
    // Without the key the digest of a guessed message cannot be matched.
    EXPECT_NE(m, b.MessageDigest(u"attack at dawn", true));
    // The container's digest reads only the low byte of each unit; two
    // messages that differ in a high byte are still two messages here.
    EXPECT_NE(a.MessageDigest(u"A", true), a.MessageDigest(u"\u4E41", true));
}

TEST(UsedKeyLedgerLines, RoundTripAndDamage) {
    for (const std::string file : {"/home/u/Encrypted Images/12345.png", "/a\\b\nc\rd e.png", "x"}) {
        const UsedKeyEntry e = Entry('a', 'b', file);
        const std::string line = LedgerLine(e);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        UsedKeyEntry back;
        ASSERT_TRUE(ParseLedgerLine(line, back)) << line;
        EXPECT_EQ(back.keyDigest, e.keyDigest);
        EXPECT_EQ(back.messageDigest, e.messageDigest);
        EXPECT_EQ(back.date, e.date);
        EXPECT_EQ(back.file, file);
    }
    const std::string good = LedgerLine(Entry('a', 'b', "/f.png"));
    const std::string damaged[] = {
        good.substr(0, 150),                                      // cut before the file
        good.substr(0, 63) + "g" + good.substr(64),               // not a hexadecimal digit
        good.substr(0, 10) + "A" + good.substr(11),               // upper case is not how digests are written
        good.substr(0, 130) + "2026-13-08T16:30:05Z" + good.substr(150),  // no thirteenth month
        good.substr(0, 130) + "2026-12-08 16:30:05Z" + good.substr(150),
        good + "\\",                                               // an escape cut short
        good + "\\t",
        "",
    };
    for (const std::string& line : damaged) {
        UsedKeyEntry e;
        EXPECT_FALSE(ParseLedgerLine(line, e)) << line;
    }
}

TEST(UsedKeyLedgerFile, RecordsForgetsAndKeepsWhatItCannotRead) {
    TempFolder dir;
    const std::string path = dir / "data/corvane/used-keys";
    EXPECT_TRUE(ReadUsedKeys(path).entries.empty());  // none yet: nothing to warn of
    EXPECT_TRUE(ReadUsedKeys(path).warning.empty());
    ASSERT_EQ(RecordKeyUse(path, Entry('1', 'a', "/one.png")), "");
    ASSERT_EQ(RecordKeyUse(path, Entry('2', 'a', "/two.png")), "");
    ASSERT_EQ(RecordKeyUse(path, Entry('1', 'b', "/three.png", "2026-12-09T08:00:00Z")), "");
    struct stat st{};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((dir / "data/corvane").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    UsedKeys ledger = ReadUsedKeys(path);
    ASSERT_EQ(ledger.entries.size(), 3u);
    EXPECT_EQ(ledger.entries[2].file, "/three.png");
    // The same message again is no other use; the earliest other one is named.
    EXPECT_EQ(OtherMessageOfKey(ledger, std::string(64, '1'), std::string(64, 'a'))->file, "/three.png");
    EXPECT_EQ(OtherMessageOfKey(ledger, std::string(64, '1'), std::string(64, 'c'))->file, "/one.png");
    EXPECT_EQ(OtherMessageOfKey(ledger, std::string(64, '2'), std::string(64, 'a')), nullptr);
    EXPECT_EQ(OtherMessageOfKey(ledger, std::string(64, '3'), std::string(64, 'a')), nullptr);

    // A damaged line is reported, skipped and kept as it was.
    WriteBytes(path, ReadBytes(path) + "half a line\n");
    ledger = ReadUsedKeys(path);
    EXPECT_EQ(ledger.entries.size(), 3u);
    EXPECT_EQ(ledger.damagedLines, 1);
    EXPECT_NE(ledger.warning.find("1 damaged line"), std::string::npos) << ledger.warning;
    int removed = 0;
    ASSERT_EQ(ForgetKey(path, std::string(64, '1'), removed), "");
    EXPECT_EQ(removed, 2);
    ledger = ReadUsedKeys(path);
    ASSERT_EQ(ledger.entries.size(), 1u);
    EXPECT_EQ(ledger.entries[0].file, "/two.png");
    EXPECT_NE(ReadBytes(path).find("half a line\n"), std::string::npos);

    // Forgetting where there is no ledger makes none.
    EXPECT_EQ(ForgetKey(dir / "none/used-keys", std::string(64, '1'), removed), "");
    EXPECT_FALSE(FileExists(dir / "none"));
}

TEST(UsedKeyLedgerFile, UnreadableLedgerWarnsAndIsNeverReplaced) {
    TempFolder dir;
    // A pipe in its place must not hang the program; a folder cannot be read.
    const std::string pipe = dir / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string folder = dir / "folder";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string link = dir / "link";
    WriteBytes(dir / "target", LedgerLine(Entry('1', 'a', "/x.png")) + "\n");
    ASSERT_EQ(symlink((dir / "target").c_str(), link.c_str()), 0);
    for (const std::string& path : {pipe, folder, link}) {
        SCOPED_TRACE(path);
        const UsedKeys ledger = ReadUsedKeys(path);
        EXPECT_FALSE(ledger.readable);
        EXPECT_NE(ledger.warning.find("cannot read the used-key ledger " + path), std::string::npos) << ledger.warning;
        EXPECT_NE(RecordKeyUse(path, Entry('2', 'b', "/y.png")), "");
    }
    struct stat st{};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadBytes(dir / "target"), LedgerLine(Entry('1', 'a', "/x.png")) + "\n");
}

TEST(UsedKeyLedgerFile, LivesInTheUsersDataFolder) {
    {
        const ScopedEnv xdg("XDG_DATA_HOME", "/data/home");
        EXPECT_EQ(UsedKeysPath(), "/data/home/corvane/used-keys");
    }
    // A relative XDG_DATA_HOME is to be ignored.
    const ScopedEnv xdg("XDG_DATA_HOME", "relative");
    const ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(UsedKeysPath(), "/home/someone/.local/share/corvane/used-keys");
}

TEST(UsedKeyLedgerFile, TheQuestionNamesTheLocalDateAndTheFile) {
    const ScopedEnv tz("TZ", "UTC");
    const UsedKeyEntry e = Entry('1', 'a', "/home/u/Encrypted Images/04711.png", "2026-12-08T16:30:05Z");
    EXPECT_EQ(TextToUtf8(KeyReuseQuestion(e)),
              "This key already hid another message on 2026-12-08 16:30 (/home/u/Encrypted Images/04711.png). A "
              "one-time pad key used twice lets anyone holding both images compare them. Encrypt anyway?");
    {
        const ScopedEnv berlin("TZ", "CET-1");
        EXPECT_EQ(LocalLedgerDate(e.date), "2026-12-08 17:30");
    }
    EXPECT_EQ(LocalLedgerDate("not a date"), "not a date");
    UsedKeyEntry now = e;
    now.date = LedgerDateNow();
    UsedKeyEntry parsed;
    EXPECT_TRUE(ParseLedgerLine(LedgerLine(now), parsed)) << now.date;
}

}  // namespace
}  // namespace corvane
