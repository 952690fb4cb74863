// corvane encrypt and corvane keys around the secret: a key used for a second
// message, a message that would not read back, wipes of a file with two
// roles or two names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_support.hpp"
#include "core/image_file.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Count;
using testing::Lines;
using testing::Outcome;
using testing::PhotoPath;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::RunCorvane;
using testing::RunCorvaneWithLedger;
using testing::TempFolder;
using testing::WriteBytes;

// End delimiter (comment characters 13-22): "<JkL9mN0pQ".
const std::u16string kComment = u"<Ab3$dEf6!h><JkL9mN0pQr><01>";
const std::string kQuestionEnd =
    "). A one-time pad key used twice lets anyone holding both images compare them. Encrypt anyway?";

std::string MakeKey(const std::string& path, uint32_t seed = 21) {
    SaveOptions options;
    options.comment = kComment;
    EXPECT_EQ(SaveGridFile(RandomGrid(600, 400, seed), OutputKind::Key, path, options), SaveStatus::Saved);
    return path;
}

size_t Saved(const TempFolder& dir) {
    std::error_code ec;
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir / "Encrypted Images", ec); !ec && it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

TEST(KeyLedgerCommand, AnotherMessageIsRefusedUntilReuseIsAskedFor) {
    TempFolder dir, data;
    const std::string key = MakeKey(dir / "key.png");
    auto encrypt = [&](const std::string& message, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"encrypt", "--root",    dir.path(), "--carrier", PhotoPath("coffee.png"),
                                         "--key",   key,         "--message", message};
        args.insert(args.end(), more.begin(), more.end());
        return RunCorvaneWithLedger(data.path(), args);
    };
    const Outcome first = encrypt("meet at nine");
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string firstImage = Lines(first.out).at(0);
    const std::string ledger = data / "corvane/used-keys";
    struct stat st{};
    ASSERT_EQ(stat(ledger.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadBytes(ledger).find("nine"), std::string::npos);
    EXPECT_NE(ReadBytes(ledger).find(firstImage), std::string::npos);

    // The same message in another format is no reuse.
    ASSERT_EQ(encrypt("meet at nine", {"--format", "bmp"}).status, 0);
    const Outcome second = encrypt("meet at ten");
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_NE(second.err.find("This key already hid another message on "), std::string::npos) << second.err;
    EXPECT_NE(second.err.find(" (" + firstImage + kQuestionEnd), std::string::npos) << second.err;
    EXPECT_NE(second.err.find("--reuse-key"), std::string::npos);
    EXPECT_EQ(second.err.find("Pass 1 of 2"), std::string::npos);
    EXPECT_EQ(Saved(dir), 2u);
    ASSERT_EQ(encrypt("meet at ten", {"--reuse-key"}).status, 0);
    EXPECT_EQ(Saved(dir), 3u);

    Outcome list = RunCorvaneWithLedger(data.path(), {"keys", "--list"});
    ASSERT_EQ(list.status, 0) << list.err;
    const auto lines = Lines(list.out);
    ASSERT_EQ(lines.size(), 3u) << list.out;
    const std::string digest = lines[0].substr(18, 64);  // after "YYYY-MM-DD HH:MM  "
    EXPECT_NE(lines[0].find(firstImage), std::string::npos);

    // Forgotten, the key may hide another message without a question.
    const Outcome forget = RunCorvaneWithLedger(data.path(), {"keys", "--forget", key});
    ASSERT_EQ(forget.status, 0) << forget.err;
    EXPECT_NE(forget.err.find("3 entries"), std::string::npos) << forget.err;
    EXPECT_EQ(RunCorvaneWithLedger(data.path(), {"keys", "--list"}).out, "");
    ASSERT_EQ(encrypt("meet at eleven").status, 0);
    // A wiped key can be forgotten by the digest --list shows.
    const Outcome byDigest = RunCorvaneWithLedger(data.path(), {"keys", "--forget", digest});
    ASSERT_EQ(byDigest.status, 0) << byDigest.err;
    EXPECT_NE(byDigest.err.find("1 entry"), std::string::npos) << byDigest.err;

    EXPECT_EQ(RunCorvaneWithLedger(data.path(), {"keys"}).status, 2);
    EXPECT_EQ(RunCorvaneWithLedger(data.path(), {"keys", "--list", "--forget", key}).status, 2);
    EXPECT_EQ(RunCorvaneWithLedger(data.path(), {"keys", "--forget", dir / "missing.png"}).status, 1);
}

TEST(KeyLedgerCommand, ADamagedLedgerIsAWarningOnly) {
    TempFolder dir, data;
    const std::string key = MakeKey(dir / "key.png");
    fs::create_directories(data / "corvane");
    WriteBytes(data / "corvane/used-keys", "not a ledger line\n");
    const Outcome o = RunCorvaneWithLedger(data.path(), {"encrypt", "--root", dir.path(), "--carrier",
                                                         PhotoPath("coffee.png"), "--key", key, "--message", "hi"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("Warning: the used-key ledger " + data / "corvane/used-keys" + " has 1 damaged line"),
              std::string::npos)
        << o.err;
    const Outcome list = RunCorvaneWithLedger(data.path(), {"keys", "--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(Lines(list.out).size(), 1u);
    EXPECT_NE(list.err.find("1 damaged line"), std::string::npos);
}

TEST(EncryptCommandReadBack, AMessageHoldingTheEndDelimiterIsRefusedUnlessCompressed) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png");
    const std::string message = "the delimiter <JkL9mN0pQ is in here";
    const std::vector<std::string> args = {"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"),
                                           "--key", key, "--message", message};
    std::vector<std::string> plain = args;
    plain.push_back("--no-compress");
    plain.push_back("--wipe-key");
    const Outcome refused = RunCorvane(plain);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("Message contains the key's end delimiter; compress it or use another key."),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(Saved(dir), 0u);
    EXPECT_TRUE(fs::exists(key));

    const Outcome saved = RunCorvane(args);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const Outcome back = RunCorvane({"decrypt", "--image", Lines(saved.out).at(0), "--key", key});
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(back.out, message);
}

TEST(EncryptCommandWipe, TheSameFileAsKeyAndCarrierIsWipedOnce) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png");
    const Outcome o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", key, "--key", key, "--message", "hi",
                                  "--wipe-key", "--wipe-carrier"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(Lines(o.out).size(), 1u);
    EXPECT_EQ(Count(o.err, "Wiping Key File."), 1u) << o.err;
    EXPECT_EQ(Count(o.err, "Complete."), 1u);
    EXPECT_EQ(o.err.find("Cannot wipe"), std::string::npos);
    EXPECT_FALSE(fs::exists(key));
}

TEST(EncryptCommandWipe, AKeyWithASecondNameIsRefusedBeforeAnyWork) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png");
    const std::string copy = dir / "copy.png";
    ASSERT_EQ(link(key.c_str(), copy.c_str()), 0);
    const std::string content = ReadBytes(key);
    const Outcome o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"), "--key", key,
                                  "--message", "hi", "--wipe-key"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("Cannot wipe " + key + ": the file has 2 names (hard links)"), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("Pass 1 of 2"), std::string::npos);
    EXPECT_EQ(Saved(dir), 0u);
    EXPECT_EQ(ReadBytes(key), content);
    EXPECT_EQ(ReadBytes(copy), content);

    // The same for a carrier with a second name.
    const std::string carrier = dir / "carrier.png", carrierCopy = dir / "carrier-copy.png";
    fs::copy_file(PhotoPath("coffee.png"), carrier);
    ASSERT_EQ(link(carrier.c_str(), carrierCopy.c_str()), 0);
    const Outcome c = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", carrier, "--key", copy, "--message",
                                  "hi", "--wipe-carrier"});
    EXPECT_EQ(c.status, 1);
    EXPECT_NE(c.err.find("Cannot wipe " + carrier + ": the file has 2 names"), std::string::npos) << c.err;
    EXPECT_EQ(Saved(dir), 0u);
    EXPECT_TRUE(fs::exists(carrierCopy));
}

}  // namespace
}  // namespace corvane
