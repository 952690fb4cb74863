// The encryptor's guards around the secret: a key that hid another message,
// a message that would not read back, and wipes that would destroy more than
// the file asked for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/sha256.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "encrypt/encrypt_texts.hpp"
#include "encrypt/used_keys.hpp"
#include "operation_test_support.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::DecryptSelection;
using testing::kComment;
using testing::PhotoCrop;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::RecordingDecryptReporter;
using testing::RecordingEncryptReporter;
using testing::SelectedInputs;
using testing::TempFolder;
using testing::WriteBytes;

struct Scene {
    TempFolder dir;
    PixelGrid carrier = PhotoCrop("coffee.png", 100, 60, 256, 192);
    PixelGrid key = RandomGrid(256, 192, 3);
    EmbeddingSteps steps;
    RecordingEncryptReporter reporter;
    SequenceRandom rng;
    const std::string ledger = dir / "data/corvane/used-keys";

    Scene() {
        fs::create_directory(Encrypted());
        WriteBytes(dir / "key.png", "the key's file");
        WriteBytes(dir / "carrier.png", "the carrier's file");
    }
    // What a window passes once a carrier and a key are picked, with a ledger.
    EncryptInputs Inputs(const std::u16string& message, const std::u16string& comment = kComment) const {
        EncryptInputs in = SelectedInputs(message, dir.path(), comment);
        in.usedKeysPath = ledger;
        return in;
    }
    EncryptResult Encrypt(const EncryptInputs& in) { return EncryptImage(carrier, key, in, steps, reporter, rng); }
    std::string Encrypted() const { return dir / "Encrypted Images"; }
    size_t SavedCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(Encrypted()), fs::directory_iterator()));
    }
    std::vector<UsedKeyEntry> Entries() const { return ReadUsedKeys(ledger).entries; }
};

std::string Digest(std::u16string_view message) { return TextToUtf8(UpperHex(CSHA256().SHA256(message))); }

size_t LogCount(const RecordingEncryptReporter& reporter, const std::string& line) {
    const auto logs = reporter.Only("log");
    return static_cast<size_t>(std::count(logs.begin(), logs.end(), line));
}

TEST(EncryptKeyReuse, AnotherMessageIsAskedForFirstTheSameOneIsNot) {
    Scene s;
    const EncryptResult first = s.Encrypt(s.Inputs(u"first message"));
    ASSERT_EQ(first.status, EncryptStatus::Saved);
    std::vector<UsedKeyEntry> entries = s.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].keyDigest, IdentifyKey(s.key, kComment).keyDigest);
    EXPECT_EQ(entries[0].file, first.savedPath);
    EXPECT_EQ(ReadBytes(s.ledger).find("first"), std::string::npos);

    // The same message in a second format (or a second carrier of a batch)
    // puts the same container under the key: no question.
    EncryptInputs again = s.Inputs(u"first message");
    again.outputKind = OutputKind::Bmp;
    ASSERT_EQ(s.Encrypt(again).status, EncryptStatus::Saved);
    EXPECT_EQ(s.Entries().size(), 2u);

    // Another message: refused before any work, with the entry to ask about.
    for (const bool compress : {true, false}) {
        SCOPED_TRACE(compress);
        s.reporter.events.clear();
        const PixelGrid before = s.carrier;
        // Stored uncompressed, even the same text is another container.
        EncryptInputs other = s.Inputs(compress ? u"second message" : u"first message");
        other.compress = compress;
        const EncryptResult r = s.Encrypt(other);
        EXPECT_EQ(r.status, EncryptStatus::Refused);
        ASSERT_TRUE(r.keyReuse.has_value());
        EXPECT_EQ(r.keyReuse->file, first.savedPath);
        EXPECT_EQ(r.refusal, KeyReuseQuestion(*r.keyReuse));
        EXPECT_EQ(EncryptFailureText(r), r.refusal);
        // No message box: the window asks the question itself.
        EXPECT_EQ(s.reporter.events, (std::vector<std::string>{"status: ", "digest: " + Digest(other.message)}));
        EXPECT_EQ(s.carrier, before);
        EXPECT_EQ(s.SavedCount(), 2u);
    }

    // Asked and answered Yes: the operation runs again with reuse allowed.
    EncryptInputs yes = s.Inputs(u"second message");
    yes.allowKeyReuse = true;
    const EncryptResult reused = s.Encrypt(yes);
    ASSERT_EQ(reused.status, EncryptStatus::Saved);
    EXPECT_FALSE(reused.keyReuse.has_value());
    EXPECT_EQ(s.Entries().size(), 3u);

    // Another key knows nothing of this one.
    s.key = RandomGrid(256, 192, 4);
    EXPECT_EQ(s.Encrypt(s.Inputs(u"third message")).status, EncryptStatus::Saved);
    // Without a ledger nothing is checked or written.
    EncryptInputs none = SelectedInputs(u"fourth message", s.dir.path());
    EXPECT_EQ(s.Encrypt(none).status, EncryptStatus::Saved);
    EXPECT_EQ(s.Entries().size(), 4u);
}

TEST(EncryptKeyReuse, AWipedKeyTakesItsEntriesAlong) {
    Scene s;
    const UsedKeyEntry other{std::string(64, 'e'), std::string(64, 'f'), "2026-01-02T03:04:05Z", "/other.png"};
    ASSERT_EQ(RecordKeyUse(s.ledger, other), "");
    ASSERT_EQ(s.Encrypt(s.Inputs(u"kept key")).status, EncryptStatus::Saved);
    EXPECT_EQ(s.Entries().size(), 2u);

    EncryptInputs wipe = s.Inputs(u"kept key");
    wipe.wipeKey = true;
    const EncryptResult r = s.Encrypt(wipe);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    ASSERT_TRUE(r.keyWiped);
    std::vector<UsedKeyEntry> entries = s.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].file, "/other.png");

    // The later carriers of a batch meet the key's file gone: no entry either.
    EXPECT_EQ(s.Encrypt(s.Inputs(u"kept key")).status, EncryptStatus::Saved);
    EXPECT_EQ(s.Entries().size(), 1u);
}

TEST(EncryptKeyReuse, ADamagedOrUnreadableLedgerIsReportedAndNeverBlocks) {
    {
        Scene s;
        fs::create_directories(fs::path(s.ledger).parent_path());
        const UsedKeyEntry old{IdentifyKey(s.key, kComment).keyDigest, std::string(64, 'f'), "2026-01-02T03:04:05Z",
                               "/old.png"};
        WriteBytes(s.ledger, "\x01garbage\n" + LedgerLine(old) + "\n");
        // The damage does not hide the good lines.
        EncryptResult r = s.Encrypt(s.Inputs(u"new"));
        ASSERT_TRUE(r.keyReuse.has_value());
        EXPECT_EQ(r.keyReuse->file, "/old.png");
        EncryptInputs yes = s.Inputs(u"new");
        yes.allowKeyReuse = true;
        r = s.Encrypt(yes);
        ASSERT_EQ(r.status, EncryptStatus::Saved);
        EXPECT_NE(r.ledgerWarning.find("1 damaged line"), std::string::npos) << r.ledgerWarning;
        EXPECT_EQ(LogCount(s.reporter, "Warning: " + r.ledgerWarning), 1u);
        EXPECT_EQ(s.Entries().size(), 2u);
        EXPECT_EQ(ReadBytes(s.ledger).find("\x01garbage\n") != std::string::npos, true);
    }
    {
        Scene s;
        fs::create_directories(s.ledger);  // a folder where the ledger belongs
        const EncryptResult r = s.Encrypt(s.Inputs(u"new"));
        ASSERT_EQ(r.status, EncryptStatus::Saved);
        EXPECT_NE(r.ledgerWarning.find("not updated"), std::string::npos) << r.ledgerWarning;
        const auto logs = s.reporter.Only("log");
        EXPECT_TRUE(std::any_of(logs.begin(), logs.end(), [](const std::string& l) {
            return l.rfind("Warning: cannot read the used-key ledger", 0) == 0;
        }));
        EXPECT_TRUE(fs::is_directory(s.ledger));
    }
}

TEST(EncryptReadBack, AMessageThatWouldNotParseBackIsRefusedBeforeAnyWork) {
    struct Case {
        const char* name;
        std::u16string comment;
        std::u16string message;
        std::u16string_view refusal;
    };
    // The default key's end delimiter is "<Rb2#kT8mW" (comment characters 13-22).
    const std::vector<Case> cases = {
        {"holds the end delimiter", kComment, u"see <Rb2#kT8mW here", encrypt_texts::kContainsEndDelimiter},
        // With an end delimiter of ten "a", a final "a" makes the reader find
        // it one character early.
        {"ends where the delimiter begins", u"<Qx7!~pL9aZ>aaaaaaaaaa><01>", u"a final a",
         encrypt_texts::kWouldNotReadBack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s;
        EncryptInputs in = s.Inputs(c.message, c.comment);
        in.compress = false;
        in.wipeKey = in.wipeCarrier = true;
        const EncryptResult r = s.Encrypt(in);
        EXPECT_EQ(r.status, EncryptStatus::Refused);
        EXPECT_EQ(r.refusal, c.refusal);
        EXPECT_EQ(s.reporter.events.back(), "message: " + TextToUtf8(c.refusal));
        EXPECT_FALSE(s.reporter.Has("busy"));
        EXPECT_EQ(s.SavedCount(), 0u);
        EXPECT_TRUE(fs::exists(in.keyPath));
        EXPECT_TRUE(fs::exists(in.imagePath));

        // Compressed, the same message reads back.
        in.compress = true;
        in.wipeKey = in.wipeCarrier = false;
        const EncryptResult saved = s.Encrypt(in);
        ASSERT_EQ(saved.status, EncryptStatus::Saved);
        PixelGrid image;
        ASSERT_TRUE(LoadGrid(saved.savedPath, image));
        RecordingDecryptReporter dr;
        SequenceRandom rng;
        const DecryptResult back = DecryptImage(image, s.key, DecryptSelection(saved.savedPath, in.keyPath, c.comment), dr, rng);
        EXPECT_EQ(back.message, c.message);
        EXPECT_TRUE(back.verified);
    }
}

// A start delimiter that overlaps itself ("ab" five times) is found two
// characters early when the noise before the container ends in "ab"; the
// reader then takes its length fields from the wrong place. The container
// alone parses, so only reading the result back as the decryptor does can
// catch it.
TEST(EncryptReadBack, AResultTheReaderWouldMisparseIsNeitherSavedNorWiped) {
    const std::u16string comment = u"<ababababab><Rb2#kT8mWq><01>";
    Scene s;
    EncryptInputs in = s.Inputs(u"the noise decides", comment);
    in.usedKeysPath.clear();
    ASSERT_EQ(s.Encrypt(in).status, EncryptStatus::Saved);
    // The first 96 positions carry the noise; their pixels are left as they
    // are, so the key alone decides their parities. Make its last two
    // characters "ab". The container's positions and flips stay the same.
    const auto taken = s.steps.Taken();
    for (int i = 64; i < 96; ++i) {
        const char16_t want = i < 80 ? u'a' : u'b';
        const auto& p = taken[static_cast<size_t>(i)];
        if (ParityBit(s.carrier.at(p.x, p.y) ^ s.key.at(p.x, p.y)) != ((want >> (i % 16)) & 1)) s.key.at(p.x, p.y) ^= 1;
    }
    in.wipeKey = in.wipeCarrier = true;
    s.reporter.events.clear();
    const EncryptResult r = s.Encrypt(in);
    EXPECT_EQ(r.status, EncryptStatus::NotReadBack);
    EXPECT_EQ(TextToUtf8(EncryptFailureText(r)), "Encode Unsuccessful. The message does not read back from the result.");
    const auto logs = s.reporter.Only("log");
    ASSERT_GE(logs.size(), 2u);
    EXPECT_EQ(logs[logs.size() - 2], "Encode Unsuccessful.");
    EXPECT_EQ(logs.back(), "The message does not read back from the result.");
    EXPECT_EQ(s.reporter.events.back(), "idle");
    EXPECT_EQ(s.SavedCount(), 1u);
    EXPECT_TRUE(fs::exists(in.keyPath));
    EXPECT_TRUE(fs::exists(in.imagePath));
    // What was refused is what the decryptor would have got wrong.
    RecordingDecryptReporter dr;
    SequenceRandom rng;
    const DecryptResult back =
        DecryptImage(s.steps.OutputPlane(), s.key, DecryptSelection("x.png", "key.png", comment), dr, rng);
    EXPECT_NE(back.message, in.message);
}

TEST(EncryptWipe, AKeyThatIsAlsoTheCarrierIsWipedAndReportedOnce) {
    Scene s;
    EncryptInputs in = s.Inputs(u"one file, two roles");
    in.imagePath = in.keyPath;
    in.wipeKey = in.wipeCarrier = true;
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    EXPECT_TRUE(r.keyWiped);
    EXPECT_TRUE(r.carrierWiped);
    EXPECT_FALSE(r.WipesFailed()) << r.keyWipeError << r.carrierWipeError;
    EXPECT_FALSE(fs::exists(in.keyPath));
    EXPECT_EQ(LogCount(s.reporter, "Wiping Key File."), 1u);
    EXPECT_EQ(LogCount(s.reporter, "Complete."), 1u);
    EXPECT_EQ(LogCount(s.reporter, "Wiping Original Image."), 0u);
    EXPECT_EQ(std::count(s.reporter.events.begin(), s.reporter.events.end(),
                         "wiped: " + fs::path(in.keyPath).filename().string()),
              1);
    // The key was wiped: it leaves no entry.
    EXPECT_TRUE(s.Entries().empty());
}

TEST(EncryptWipe, AFileWithASecondNameIsRefusedBeforeAnyWork) {
    for (const bool key : {true, false}) {
        SCOPED_TRACE(key ? "key" : "carrier");
        Scene s;
        EncryptInputs in = s.Inputs(u"wipe me");
        in.wipeKey = in.wipeCarrier = true;
        const std::string file = key ? in.keyPath : in.imagePath;
        const std::string other = s.dir / "backup.png";
        ASSERT_EQ(link(file.c_str(), other.c_str()), 0);
        const std::string content = ReadBytes(file);
        const EncryptResult r = s.Encrypt(in);
        EXPECT_EQ(r.status, EncryptStatus::Refused);
        EXPECT_EQ(TextToUtf8(r.refusal), "Cannot wipe " + file +
                                             ": the file has 2 names (hard links), and wiping it would destroy the "
                                             "data under its other name too");
        EXPECT_FALSE(s.reporter.Has("busy"));
        EXPECT_EQ(s.SavedCount(), 0u);
        EXPECT_EQ(ReadBytes(file), content);
        EXPECT_EQ(ReadBytes(other), content);
        EXPECT_TRUE(fs::exists(key ? in.imagePath : in.keyPath));
    }
}

}  // namespace
}  // namespace corvane
