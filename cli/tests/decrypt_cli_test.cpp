// corvane decrypt, run as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/hidden_message.hpp"
#include "core/image_file.hpp"
#include "core/mfree_image.hpp"
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

// A container written straight into a random carrier, whose digest field is
// in upper case: the message is there, its digest does not verify.
TEST(DecryptCommand, DigestMismatchPrintsTheMessageAndExitsThree) {
    TempFolder dir;
    const PixelGrid carrier = RandomGrid(300, 200, 31);
    const PixelGrid key = RandomGrid(300, 200, 32);
    KeyParams params;
    ASSERT_TRUE(KeyParameters(kComment, params));
    std::u16string container;
    ASSERT_EQ(BuildContainer(u"tampered", params.startDelimiter, params.endDelimiter, false, container),
              BuildStatus::Ok);
    for (size_t i = container.size() - 64; i < container.size(); ++i)
        if (container[i] >= u'a') container[i] = static_cast<char16_t>(container[i] - 32);
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
    ASSERT_EQ(SaveGridFile(image, OutputKind::Png, dir / "tampered.png"), SaveStatus::Saved);
    const std::string keyPath = MakeKey(dir / "key.png", key);

    const Outcome o = RunCorvane({"decrypt", "--image", dir / "tampered.png", "--key", keyPath});
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_EQ(o.out, "tampered");
    EXPECT_NE(o.err.find("digest does not match"), std::string::npos) << o.err;
}

}  // namespace
}  // namespace corvane
