#include "decrypt/decrypt_operation.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "core/number_format.hpp"
#include "core/sha256.hpp"
#include "encrypt/tests/operation_test_support.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::DecryptSelection;
using testing::kComment;
using testing::PhotoCrop;
using testing::RandomGrid;
using testing::RecordingDecryptReporter;
using testing::RecordingEncryptReporter;
using testing::SelectedInputs;
using testing::TempFolder;
using testing::WriteBytes;

std::string Upper(std::string hex) {
    for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return hex;
}

const std::string kEmptyDigest = Upper(CSHA256().SHA256(u""));

// The encrypted image the encrypt operation makes of carrier, key and message.
PixelGrid Hide(PixelGrid carrier, const PixelGrid& key, const std::u16string& message, bool compress = true,
               EmbeddingSteps::ContainerBuilder builder = nullptr) {
    TempFolder dir;
    EmbeddingSteps steps;
    RecordingEncryptReporter reporter;
    SequenceRandom rng;
    if (builder) {
        // The encryptor saves nothing that does not read back: a damaged
        // container is embedded here with its steps, repairing the carrier
        // as it does until every taken position stays textured.
        steps.SetContainerBuilder(std::move(builder));
        for (int round = 0; round <= kMaxAdjustments + 1; ++round) {
            steps.Step1(carrier, key);
            if (steps.Step2(carrier, key, message, kComment, testing::SeedOf(kComment), compress, rng, reporter) !=
                StepStatus::Done)
                throw std::runtime_error("embedding failed");
            steps.Step3(carrier);
            bool repaired = false;
            for (const auto& p : steps.Taken())
                if (EligibleChannel(steps.OutputPlane(), p.x, p.y) == 0) FixPixel(carrier, p.x, p.y), repaired = true;
            if (!repaired) return steps.OutputPlane();
        }
        throw std::runtime_error("carrier too smooth");
    }
    EncryptInputs in = SelectedInputs(message, dir.path());
    in.compress = compress;
    in.outputPath = dir / "out.png";
    const EncryptResult r = EncryptImage(carrier, key, in, steps, reporter, rng);
    if (r.status != EncryptStatus::Saved) throw std::runtime_error("encryption failed");
    return steps.OutputPlane();
}

struct Reading {
    TempFolder dir;
    PixelGrid key = RandomGrid(256, 192, 21);
    PixelGrid image;
    RecordingDecryptReporter reporter;
    SequenceRandom rng;
    DecryptInputs in = DecryptSelection(dir / "image.png", dir / "key.png");

    DecryptResult Decrypt() { return DecryptImage(image, key, in, reporter, rng); }
    void WriteFiles() {
        WriteBytes(in.keyPath, std::string(4000, 'k'));
        WriteBytes(in.imagePath, std::string(6000, 'i'));
    }
};

TEST(DecryptChecks, RefusedBeforeAnythingChanges) {
    struct Case {
        const char* name;
        std::function<void(Reading&)> change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no image, no key", [](Reading& r) { r.in.imagePath.clear(); r.in.keyPath.clear(); },
         "No Image File Selected."},
        {"no key", [](Reading& r) { r.in.keyPath.clear(); }, "No Keyfile Selected."},
        {"comment without a seed", [](Reading& r) { r.in.keyComment = u"<abcd"; }, "Please select a Key image file."},
        {"key narrower and lower", [](Reading& r) { r.key = RandomGrid(255, 191, 1); }, "Key Pixel Width Too Small."},
        {"key lower", [](Reading& r) { r.key = RandomGrid(256, 191, 1); }, "Key Pixel Height Too Small."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reading r;
        r.image = PhotoCrop("coffee.png", 0, 0, 256, 192);
        c.change(r);
        const DecryptResult result = r.Decrypt();
        EXPECT_EQ(result.status, DecryptStatus::Refused);
        EXPECT_EQ(r.reporter.events, std::vector<std::string>{"message: " + c.expected});
    }
}

TEST(DecryptOperation, FindsTheMessageWithItsProgressAndDigest) {
    Reading r;
    const std::u16string message = u"Beyond the plane: \U0001F5DD\U0001F600 and \u00e9";
    r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, message);
    const DecryptResult result = r.Decrypt();
    ASSERT_EQ(result.status, DecryptStatus::Found);
    EXPECT_EQ(result.message, message);
    EXPECT_TRUE(result.verified);
    EXPECT_EQ(r.reporter.shown, message);
    EXPECT_TRUE(r.reporter.verified);
    // Reading stops with the last character of the digest field.
    KeyParams params;
    ASSERT_TRUE(KeyParameters(kComment, params));
    std::u16string container;
    ASSERT_EQ(BuildContainer(message, params.startDelimiter, params.endDelimiter, true, container), BuildStatus::Ok);
    EXPECT_EQ(result.positionsRead, kSkippedPositions + 16 * static_cast<int64_t>(container.size()));
    EXPECT_EQ(r.reporter.Only("progress").size(), 13u);

    // Asked for the whole window, it reads it all, with the same result.
    // N = nearest(38.4) = 38: the captions run pass / 38.4 from 0 to 38.
    Reading whole;
    whole.image = r.image;
    whole.in.readWholeWindow = true;
    const DecryptResult all = whole.Decrypt();
    EXPECT_EQ(all.positionsRead, ReadingWindowBits(256, 192));
    EXPECT_EQ(all.message, message);
    const auto captions = whole.reporter.Only("progress");
    ASSERT_EQ(captions.size(), 41u);
    EXPECT_EQ(captions[0], "0.00%");
    EXPECT_EQ(captions[1], "0.00%");
    EXPECT_EQ(captions[2], "2.60%");
    EXPECT_EQ(captions[39], "98.96%");
    EXPECT_EQ(captions[40], "100.00%");

    std::vector<std::string> seen;
    for (const auto& e : r.reporter.events)
        if (e.rfind("progress: ", 0) != 0) seen.push_back(e);
    EXPECT_EQ(seen, (std::vector<std::string>{"text: " + TextToUtf8(message),
                                              "digest: " + Upper(CSHA256().SHA256(message))}));
    EXPECT_TRUE(r.reporter.verified);
    EXPECT_GE(result.elapsedMilliseconds, 0);
}

TEST(DecryptOperation, NarrowImagesCaptionsAndExhaustion) {
    {
        // W = 50: N = nearest(7.5) = 8, so the last pass shows 8 / 7.5.
        Reading r;
        r.key = RandomGrid(50, 20, 1);
        r.image = RandomGrid(50, 20, 2);
        const DecryptResult result = r.Decrypt();
        EXPECT_EQ(result.status, DecryptStatus::NotFound);
        EXPECT_EQ(result.positionsRead, 9 * 20);
        const auto captions = r.reporter.Only("progress");
        ASSERT_EQ(captions.size(), 11u);
        EXPECT_EQ(captions[2], "13.33%");
        EXPECT_EQ(captions[9], "106.67%");
        EXPECT_EQ(captions[10], "100.00%");
    }
    {
        // W = 10 has four candidates per second row: fewer than the three
        // passes of 40 it would read. Reading stops where they run out.
        Reading r;
        r.key = RandomGrid(10, 40, 1);
        r.image = RandomGrid(10, 40, 2);
        const DecryptResult result = r.Decrypt();
        EXPECT_EQ(result.status, DecryptStatus::NotFound);
        EXPECT_LT(result.positionsRead, 80);
        EXPECT_EQ(r.reporter.Only("progress"), (std::vector<std::string>{"0.00%", "0.00%", "66.67%", "100.00%"}));
        EXPECT_EQ(r.reporter.Only("message"), std::vector<std::string>{"Message Text Not Found."});
    }
}

TEST(DecryptOperation, WrongKeyFindsNothingAndWipesNothing) {
    Reading r;
    r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, u"secret");
    r.in = DecryptSelection(r.dir / "image.png", r.dir / "key.png", u"<AbCdEfGhIj><KlMnOpQrSt><02>");
    r.in.wipeKey = r.in.wipeImage = true;
    r.WriteFiles();
    const DecryptResult result = r.Decrypt();
    EXPECT_EQ(result.status, DecryptStatus::NotFound);
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(r.reporter.shown, u"");
    EXPECT_EQ(r.reporter.Only("message"), std::vector<std::string>{"Message Text Not Found."});
    EXPECT_EQ(r.reporter.Only("digest").back(), kEmptyDigest);
    EXPECT_FALSE(r.reporter.verified);
    EXPECT_EQ(r.reporter.events.back().rfind("digest: ", 0), 0u);
    EXPECT_TRUE(fs::exists(r.in.keyPath));
    EXPECT_TRUE(fs::exists(r.in.imagePath));
}

TEST(DecryptOperation, DigestThatDoesNotMatchStillDeliversTheMessageAndWipesNothing) {
    Reading r;
    r.in.wipeKey = r.in.wipeImage = true;
    r.WriteFiles();
    // A digest field in upper case does not verify.
    r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, u"shouting digest", true,
                   [](std::u16string_view m, std::u16string_view a, std::u16string_view b, bool c, std::u16string& out) {
                       const BuildStatus s = BuildContainer(m, a, b, c, out);
                       for (size_t i = out.size() - 64; i < out.size(); ++i)
                           if (out[i] >= u'a' && out[i] <= u'f') out[i] = static_cast<char16_t>(out[i] - 32);
                       return s;
                   });
    const DecryptResult result = r.Decrypt();
    ASSERT_EQ(result.status, DecryptStatus::Found);
    EXPECT_EQ(result.message, u"shouting digest");
    EXPECT_FALSE(result.verified);
    EXPECT_EQ(r.reporter.shown, u"shouting digest");
    EXPECT_FALSE(r.reporter.verified);
    EXPECT_TRUE(r.reporter.Only("message").empty());
    // The user holds a damaged message: the key and the image may still be
    // needed to mend it.
    EXPECT_EQ(r.reporter.Only("log"), std::vector<std::string>{"Digest Mismatch: Nothing Wiped."});
    EXPECT_FALSE(result.keyWiped);
    EXPECT_FALSE(result.imageWiped);
    EXPECT_TRUE(fs::exists(r.in.keyPath));
    EXPECT_TRUE(fs::exists(r.in.imagePath));
}

TEST(DecryptOperation, DecompressionErrorEndsLikeNotFoundWithOneBox) {
    Reading r;
    r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, u"squeezed and broken", true,
                   [](std::u16string_view m, std::u16string_view a, std::u16string_view b, bool c, std::u16string& out) {
                       const BuildStatus s = BuildContainer(m, a, b, c, out);
                       out[24] ^= 0x5A5A;  // the zlib header
                       return s;
                   });
    r.in.wipeKey = r.in.wipeImage = true;
    r.WriteFiles();
    const DecryptResult result = r.Decrypt();
    EXPECT_EQ(result.status, DecryptStatus::DecompressionError);
    std::vector<std::string> boxes;
    for (const auto& e : r.reporter.events)
        if (e.rfind("message: ", 0) == 0 || e.rfind("critical: ", 0) == 0) boxes.push_back(e);
    EXPECT_EQ(boxes, std::vector<std::string>{"critical: DECOMPRESSION ERROR"});
    EXPECT_EQ(r.reporter.shown, u"");
    EXPECT_EQ(r.reporter.Only("digest").back(), kEmptyDigest);
    EXPECT_EQ(r.reporter.events.back().rfind("digest: ", 0), 0u);
    EXPECT_TRUE(fs::exists(r.in.keyPath));
    EXPECT_TRUE(fs::exists(r.in.imagePath));
}

TEST(DecryptOperation, SmoothImageRunsOutOfPositionsAfterTheMessage) {
    // Texture only in the middle: enough positions for the message, far
    // fewer than the 6,200 of the reading window.
    PixelGrid carrier(200, 200, Rgb(128, 128, 128));
    const PixelGrid noise = RandomGrid(100, 100, 5);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) carrier.at(50 + x, 50 + y) = noise.at(x, y);
    Reading r;
    r.key = RandomGrid(200, 200, 6);
    r.image = Hide(carrier, r.key, u"Hi", false);
    const DecryptResult result = r.Decrypt();
    EXPECT_LT(result.positionsRead, ReadingWindowBits(200, 200));
    EXPECT_GE(result.positionsRead, kSkippedPositions + 16 * (kContainerOverhead + 2));
    ASSERT_EQ(result.status, DecryptStatus::Found);
    EXPECT_EQ(result.message, u"Hi");
    EXPECT_TRUE(result.verified);
}

TEST(DecryptWipe, KeyBeforeImageOnlyAfterAFoundMessage) {
    Reading r;
    r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, u"then burn both");
    r.in.wipeKey = r.in.wipeImage = true;
    r.WriteFiles();
    std::vector<std::pair<bool, bool>> states;  // key exists, image exists, after each wipe pass
    r.reporter.onWipePass = [&] {
        const bool key = fs::exists(r.in.keyPath), image = fs::exists(r.in.imagePath);
        if (!key || !image || !r.reporter.shown.empty()) states.emplace_back(key, image);
    };
    const DecryptResult result = r.Decrypt();
    ASSERT_EQ(result.status, DecryptStatus::Found);
    EXPECT_TRUE(result.keyWiped);
    EXPECT_TRUE(result.imageWiped);
    EXPECT_FALSE(fs::exists(r.in.keyPath));
    EXPECT_FALSE(fs::exists(r.in.imagePath));
    // Seven passes over the key while the image is untouched, then seven
    // over the image once the key is gone.
    std::vector<std::pair<bool, bool>> expected(7, {true, true});
    expected.insert(expected.end(), 7, {false, true});
    EXPECT_EQ(states, expected);
    const auto refresh = std::find(r.reporter.events.begin(), r.reporter.events.end(), "wiped key.png");
    ASSERT_NE(refresh, r.reporter.events.end());
    EXPECT_EQ(*(refresh + 3), "wiped image.png");  // after the image's own two log lines
}

TEST(DecryptWipe, FailuresAreLoggedAndAMessageNotDeliveredKeepsTheFiles) {
    {
        Reading r;
        r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, u"key already gone");
        r.in.wipeKey = r.in.wipeImage = true;
        WriteBytes(r.in.imagePath, "image");
        const DecryptResult result = r.Decrypt();
        ASSERT_EQ(result.status, DecryptStatus::Found);
        EXPECT_FALSE(result.keyWipeError.empty());
        // A failed key wipe ends the wiping: the image stays.
        EXPECT_FALSE(result.imageWiped);
        EXPECT_TRUE(fs::exists(r.in.imagePath));
        const auto logs = r.reporter.Only("log");
        ASSERT_EQ(logs.size(), 3u) << ::testing::PrintToString(logs);
        EXPECT_EQ(logs[0], "Wiping Key File.");
        EXPECT_EQ(logs[1].rfind("Wipe Unsuccessful: ", 0), 0u);
        EXPECT_EQ(logs[2], "Image File Not Wiped.");
        EXPECT_TRUE(r.reporter.Only("message").empty());
        EXPECT_EQ(r.reporter.events.back().rfind("digest: ", 0), 0u);
    }
    {
        Reading r;
        r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, u"nowhere to show it");
        r.in.wipeKey = r.in.wipeImage = true;
        r.WriteFiles();
        r.reporter.accept = false;
        const DecryptResult result = r.Decrypt();
        EXPECT_EQ(result.status, DecryptStatus::Found);
        EXPECT_FALSE(result.delivered);
        EXPECT_TRUE(fs::exists(r.in.keyPath));
        EXPECT_TRUE(fs::exists(r.in.imagePath));
        EXPECT_EQ(r.reporter.Only("log"),
                  std::vector<std::string>{"The message could not be delivered: nothing was wiped."});
    }
}

// A reader asked to stop (its window is going away) leaves everything as it
// was: no message handed over, no digest, no file touched.
TEST(DecryptWipe, AStopWhileReadingHandsNothingOverAndWipesNothing) {
    struct StoppingReporter : RecordingDecryptReporter {
        bool StopRequested() const override { return Only("progress").size() >= 3; }
    };
    Reading r;
    r.image = Hide(PhotoCrop("coffee.png", 0, 0, 256, 192), r.key, u"not yet");
    r.in.wipeKey = r.in.wipeImage = true;
    r.in.readWholeWindow = true;
    r.WriteFiles();
    StoppingReporter reporter;
    const DecryptResult result = DecryptImage(r.image, r.key, r.in, reporter, r.rng);
    EXPECT_EQ(result.status, DecryptStatus::Stopped);
    EXPECT_LT(result.positionsRead, ReadingWindowBits(256, 192));
    EXPECT_FALSE(result.delivered);
    EXPECT_EQ(reporter.Only("progress").size(), 3u);
    EXPECT_TRUE(reporter.Only("text").empty());
    EXPECT_TRUE(reporter.Only("digest").empty());
    EXPECT_TRUE(reporter.Only("message").empty());
    EXPECT_TRUE(fs::exists(r.in.keyPath));
    EXPECT_TRUE(fs::exists(r.in.imagePath));
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

std::u16string RandomText(std::mt19937& gen, size_t length) {
    std::u16string text;
    while (text.size() < length) {
        switch (gen() % 4) {
            case 0: text.push_back(static_cast<char16_t>(u' ' + gen() % 95)); break;
            case 1: text.push_back(static_cast<char16_t>(0xA0 + gen() % 0x2000)); break;
            case 2: text.push_back(u"etaoin shrdlu"[gen() % 13]); break;
            default:
                text.push_back(static_cast<char16_t>(0xD800 + gen() % 0x400));
                text.push_back(static_cast<char16_t>(0xDC00 + gen() % 0x400));
        }
    }
    return text;
}

std::u16string RandomComment(std::mt19937& gen) {
    std::u16string c = u"<";
    for (int i = 0; i < 10; ++i) c.push_back(AnsiToUnicode(static_cast<uint8_t>(33 + gen() % 223)));
    c += u"><";
    for (int i = 0; i < 10; ++i) c.push_back(AnsiToUnicode(static_cast<uint8_t>(33 + gen() % 223)));
    c += u"><" + std::u16string(1, static_cast<char16_t>(u'0' + gen() % 2)) +
         std::u16string(1, static_cast<char16_t>(u'0' + gen() % 10)) + u">";
    return c;
}

// Stopping once the container is complete gives exactly what reading the
// whole window gives: for messages of every length and kind, compressed or
// not, in photos and noise, and for wrong keys, which read the whole window
// and find nothing.
TEST(DecryptEarlyStop, GivesWhatReadingTheWholeWindowGives) {
    std::mt19937 gen(20261207);
    int found = 0, wrong = 0;
    for (int round = 0; round < 80; ++round) {
        TempFolder dir;
        const int w = 40 + static_cast<int>(gen() % 220), h = 30 + static_cast<int>(gen() % 170);
        PixelGrid carrier = gen() % 3 ? PhotoCrop("coffee.png", static_cast<int>(gen() % (600 - w)),
                                                  static_cast<int>(gen() % (400 - h)), w, h)
                                      : RandomGrid(w, h, gen());
        const PixelGrid key = RandomGrid(w, h, gen());
        const std::u16string comment = RandomComment(gen);
        const int64_t room = (ReadingWindowBits(w, h) - kSkippedPositions) / 16 - kContainerOverhead;
        const std::u16string message = RandomText(gen, 1 + gen() % static_cast<size_t>(std::max<int64_t>(1, room / 2)));
        EncryptInputs in = SelectedInputs(message, dir.path(), comment);
        in.compress = gen() % 2;
        in.outputPath = dir / "out.png";
        EmbeddingSteps steps;
        RecordingEncryptReporter encryptReporter;
        SequenceRandom encryptRng;
        if (EncryptImage(carrier, key, in, steps, encryptReporter, encryptRng).status != EncryptStatus::Saved) continue;
        const PixelGrid image = steps.OutputPlane();

        const bool rightKey = gen() % 4 != 0;
        const PixelGrid readKey = rightKey ? key : RandomGrid(w, h, gen());
        const std::u16string readComment = rightKey || gen() % 2 ? comment : RandomComment(gen);
        DecryptResult results[2];
        for (int whole = 0; whole < 2; ++whole) {
            DecryptInputs d = DecryptSelection(dir / "out.png", dir / "key.png", readComment);
            d.readWholeWindow = whole == 1;
            RecordingDecryptReporter reporter;
            SequenceRandom rng;
            results[whole] = DecryptImage(image, readKey, d, reporter, rng);
        }
        const DecryptResult& early = results[0];
        const DecryptResult& all = results[1];
        EXPECT_EQ(early.status, all.status) << round;
        EXPECT_EQ(early.message, all.message) << round;
        EXPECT_EQ(early.digestField, all.digestField) << round;
        EXPECT_EQ(early.digest, all.digest) << round;
        EXPECT_EQ(early.verified, all.verified) << round;
        EXPECT_LE(early.positionsRead, all.positionsRead) << round;
        if (rightKey) {
            EXPECT_EQ(early.message, message) << round;
            EXPECT_TRUE(early.verified) << round;
            found += early.status == DecryptStatus::Found;
        } else {
            EXPECT_EQ(early.positionsRead, all.positionsRead) << round;
            ++wrong;
        }
    }
    EXPECT_GT(found, 30);
    EXPECT_GT(wrong, 5);
}

}  // namespace
}  // namespace corvane
