// corvane decrypt, run as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/hidden_message.hpp"
#include "core/image_file.hpp"
#include "core/image_decoder.hpp"
#include "core/platform.hpp"
#include "cli_test_support.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Outcome;
using testing::PhotoPath;
using testing::RunCorvane;
using testing::Lines;
using testing::Count;
using testing::EndsWith;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

const std::u16string kComment = u"<Ab3$dEf6!h><JkL9mN0pQr><01>";

std::string MakeKey(const std::string& path, const PixelGrid& key, const std::u16string& comment = kComment) {
    SaveOptions options;
    options.comment = comment;
    EXPECT_EQ(SaveGridFile(key, OutputKind::Key, path, options), SaveStatus::Saved);
    return path;
}

// Encrypts through the command; the path of the saved image.
std::string Encrypt(const TempFolder& dir, const std::string& key, const std::string& message) {
    const Outcome o = RunCorvane({"encrypt", "--root", dir.path(), "--carrier", PhotoPath("coffee.png"), "--key", key,
                                  "--message", message});
    EXPECT_EQ(o.status, 0) << o.err;
    return o.out.substr(0, o.out.find('\n'));
}

TEST(DecryptCommand, NotFoundKeepsTheFiles) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png", RandomGrid(600, 400, 1));
    const std::string other =
        MakeKey(dir / "other.png", RandomGrid(600, 400, 2), u"<Zy8*wVu5#t><SrQ1pOn2mL><02>");
    const std::string image = Encrypt(dir, key, "for the right key only");
    const Outcome o = RunCorvane({"decrypt", "--image", image, "--key", other, "--wipe-key", "--wipe-image"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("Message Text Not Found."), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("digest verified"), std::string::npos);
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::exists(image));
}

TEST(DecryptCommand, WipesKeyAndImageAfterTheMessage) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png", RandomGrid(600, 400, 1));
    const std::string image = Encrypt(dir, key, "read once");
    const Outcome o = RunCorvane({"decrypt", "--image", image, "--key", key, "--wipe-key", "--wipe-image"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "read once");
    EXPECT_LT(o.err.find("Wiping Key File."), o.err.find("Wiping Image File."));
    EXPECT_FALSE(fs::exists(key));
    EXPECT_FALSE(fs::exists(image));
}

TEST(DecryptCommand, RefusalsAndUsage) {
    TempFolder dir;
    const std::string key = MakeKey(dir / "key.png", RandomGrid(600, 400, 1));
    const std::string image = Encrypt(dir, key, "m");
    const std::string narrow = MakeKey(dir / "narrow.png", RandomGrid(599, 400, 1));
    const std::string low = MakeKey(dir / "low.png", RandomGrid(600, 399, 1));
    const std::string bare = dir / "bare.png";
    ASSERT_EQ(SaveGridFile(RandomGrid(600, 400, 1), OutputKind::Png, bare), SaveStatus::Saved);
    fs::copy_file(image, dir / "image.Png");

    const struct {
        std::vector<std::string> args;
        int status;
        std::string text;
    } cases[] = {
        {{"decrypt", "--image", image, "--key", narrow}, 1, "Key Pixel Width Too Small."},
        {{"decrypt", "--image", image, "--key", low}, 1, "Key Pixel Height Too Small."},
        {{"decrypt", "--image", image, "--key", bare}, 1, "Please select a Key image file."},
        {{"decrypt", "--image", image, "--key", dir / "missing.png"}, 1, "Please select a Key image file."},
        {{"decrypt", "--image", dir / "image.Png", "--key", key}, 1, "an encrypted image ends in"},
        {{"decrypt", "--image", dir / "missing.png", "--key", key}, 1, "cannot load the image"},
        {{"decrypt", "--key", key}, 2, "--image is required"},
        {{"decrypt", "--image", image}, 2, "--key is required"},
        {{"decrypt", "--image", image, "--key", key, "--wipe"}, 2, "unknown option --wipe"},
    };
    for (const auto& c : cases) {
        const Outcome o = RunCorvane(c.args);
        EXPECT_EQ(o.status, c.status) << ::testing::PrintToString(c.args) << o.err;
        EXPECT_NE(o.err.find(c.text), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
    }
}

// Writes a container straight into a random carrier, as the encryptor would
// have written it with `key` and kComment; `edit` may change it first.
void WriteContainerImage(const std::string& path, const PixelGrid& key, std::u16string_view message,
                         void (*edit)(std::u16string&) = nullptr) {
    const PixelGrid carrier = RandomGrid(key.width, key.height, 31);
    KeyParams params;
    ASSERT_TRUE(KeyParameters(kComment, params));
    std::u16string container;
    ASSERT_EQ(BuildContainer(message, params.startDelimiter, params.endDelimiter, false, container), BuildStatus::Ok);
    if (edit) edit(container);
    const std::vector<uint8_t> bits = TextToBits(container);
    PixelGrid image = carrier;
    SequenceRandom rng;
    PositionSequence positions(carrier, params.seed, rng);
    for (size_t i = 0; i < kSkippedPositions + bits.size(); ++i) {
        PositionSequence::Position p;
        ASSERT_TRUE(positions.Next(p));
        if (i < kSkippedPositions) continue;
        if (ParityBit(carrier.at(p.x, p.y) ^ key.at(p.x, p.y)) != bits[i - kSkippedPositions])
            image.at(p.x, p.y) ^= ChannelBit(p.channel);
    }
    ASSERT_EQ(SaveGridFile(image, OutputKind::Png, path), SaveStatus::Saved);
}

// The digest field in upper case: the message is there, its digest does not verify.
TEST(DecryptCommand, DigestMismatchPrintsTheMessageAndExitsThree) {
    TempFolder dir;
    const PixelGrid key = RandomGrid(300, 200, 32);
    WriteContainerImage(dir / "tampered.png", key, u"tampered", [](std::u16string& container) {
        for (size_t i = container.size() - 64; i < container.size(); ++i)
            if (container[i] >= u'a') container[i] = static_cast<char16_t>(container[i] - 32);
    });
    const std::string keyPath = MakeKey(dir / "key.png", key);

    const Outcome o = RunCorvane({"decrypt", "--image", dir / "tampered.png", "--key", keyPath});
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_EQ(o.out, "tampered");
    EXPECT_NE(o.err.find("digest does not match"), std::string::npos) << o.err;
}

// An empty message is delivered like any other: its file is written before
// anything is wiped, and a file that cannot be written keeps the key.
TEST(DecryptCommand, EmptyMessageIsWrittenBeforeAnyWipe) {
    TempFolder dir;
    const PixelGrid key = RandomGrid(300, 200, 33);
    WriteContainerImage(dir / "empty.png", key, u"");
    const std::string keyPath = MakeKey(dir / "key.png", key);

    Outcome o = RunCorvane({"decrypt", "--image", dir / "empty.png", "--key", keyPath, "--wipe-key", "--output",
                            dir / "no-such-folder/out.txt"});
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_NE(o.err.find("cannot write"), std::string::npos) << o.err;
    EXPECT_TRUE(FileExists(keyPath));

    o = RunCorvane({"decrypt", "--image", dir / "empty.png", "--key", keyPath, "--wipe-key", "--output", dir / "out.txt"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(FileExists(dir / "out.txt"));
    EXPECT_EQ(ReadBytes(dir / "out.txt"), "");
    EXPECT_FALSE(FileExists(keyPath));
}

}  // namespace
}  // namespace corvane
