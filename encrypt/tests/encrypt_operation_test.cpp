#include "encrypt/encrypt_operation.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "core/testing_hooks.hpp"
#include "core/platform.hpp"
#include "core/sha256.hpp"
#include "operation_test_support.hpp"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::DarkNoise;
using testing::DecryptSelection;
using testing::kComment;
using testing::PhotoCrop;
using testing::RandomGrid;
using testing::ReadBytes;
using testing::RecordingDecryptReporter;
using testing::RecordingEncryptReporter;
using testing::SaveKey;
using testing::SelectedInputs;
using testing::TempFolder;
using testing::WriteBytes;

std::string UpperDigest(std::u16string_view message) {
    std::string hex = CSHA256().SHA256(message);
    for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return hex;
}

// The elapsed time is whatever the machine took: "[n Seconds]" stands for it.
std::vector<std::string> Timeless(std::vector<std::string> lines) {
    static const std::regex timing("(log: )?\\[[0-9]+ Seconds\\]");
    for (auto& l : lines)
        if (std::regex_match(l, timing)) l = (l.rfind("log: ", 0) == 0 ? "log: " : "") + std::string("[n Seconds]");
    return lines;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Reads an encrypted file back as the decryptor would.
DecryptResult ReadBack(const std::string& path, const PixelGrid& key, const std::u16string& comment = kComment) {
    LoadRule rule{};
    EXPECT_TRUE(EncryptedLoadRuleForPath(path, rule)) << path;
    PixelGrid image;
    LoadGridAs(path, rule, image);
    EXPECT_FALSE(image.empty()) << path;
    RecordingDecryptReporter reporter;
    SequenceRandom rng;
    return DecryptImage(image, key, DecryptSelection(path, "key.png", comment), reporter, rng);
}

struct Scene {
    TempFolder dir;
    PixelGrid carrier = PhotoCrop("coffee.png", 100, 60, 256, 192);
    PixelGrid key = RandomGrid(256, 192, 3);
    EmbeddingSteps steps;
    RecordingEncryptReporter reporter;
    SequenceRandom rng;

    EncryptResult Encrypt(const EncryptInputs& in) { return EncryptImage(carrier, key, in, steps, reporter, rng); }
    std::string Encrypted() const { return dir / "Encrypted Images"; }
    Scene() { fs::create_directory(Encrypted()); }
};

TEST(EncryptChecks, RefusedInOrderBeforeAnythingChanges) {
    struct Case {
        const char* name;
        std::function<void(EncryptInputs&, PixelGrid& key)> change;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no message, no key", [](EncryptInputs& in, PixelGrid&) { in.message.clear(); in.keyPath.clear(); },
         "No Message."},
        {"no key, no image", [](EncryptInputs& in, PixelGrid&) { in.keyPath.clear(); in.imagePath.clear(); },
         "No Keyfile Selected."},
        {"no image", [](EncryptInputs& in, PixelGrid&) { in.imagePath.clear(); }, "No Image File Selected."},
        {"key narrower and lower", [](EncryptInputs&, PixelGrid& key) { key = RandomGrid(255, 191, 1); },
         "Key Pixel Width Too Small."},
        {"key lower", [](EncryptInputs&, PixelGrid& key) { key = RandomGrid(300, 191, 1); },
         "Key Pixel Height Too Small."},
        // 0.05 x W x H = 2,457.6 characters
        {"message over the share", [](EncryptInputs& in, PixelGrid&) { in.message.assign(2458, u'x'); },
         "Message Too Large for Image, Try a Larger Image and Key."},
        {"message past the reading window",
         [](EncryptInputs& in, PixelGrid&) {
             in.message.assign(2000, u'x');
             in.compress = false;
         },
         "Message Too Large for Image, Try a Larger Image and Key."},
        {"comment without whole delimiters",
         [](EncryptInputs& in, PixelGrid&) { in.keyComment = kComment.substr(0, 21); },
         "Please select a Key image file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene s;
        const PixelGrid original = s.carrier;
        EncryptInputs in = SelectedInputs(u"A message", s.dir.path());
        in.wipeKey = in.wipeCarrier = true;
        const std::string keyFile = in.keyPath, carrierFile = in.imagePath;
        WriteBytes(keyFile, "key");
        WriteBytes(carrierFile, "carrier");
        c.change(in, s.key);
        const EncryptResult r = s.Encrypt(in);
        EXPECT_EQ(r.status, EncryptStatus::Refused);
        EXPECT_EQ(TextToUtf8(r.refusal), c.expected);
        // The log is emptied and the digest shown; nothing else happens.
        const std::vector<std::string> expected = {"status: ", "digest: " + UpperDigest(in.message),
                                                   "message: " + c.expected};
        EXPECT_EQ(s.reporter.events, expected);
        EXPECT_EQ(s.carrier, original);
        EXPECT_TRUE(FilesIn(s.Encrypted()).empty());
        EXPECT_TRUE(fs::exists(keyFile));
        EXPECT_TRUE(fs::exists(carrierFile));
    }
}

TEST(EncryptChecks, ReadingWindowBoundaryIsExact) {
    // 200 x 200: N = 30, so the reader draws 31 x 200 = 6,200 positions; a
    // container of 381 characters ends at position 96 + 6,096 = 6,192.
    Scene s;
    s.carrier = RandomGrid(200, 200, 11);
    s.key = RandomGrid(200, 200, 12);
    EncryptInputs in = SelectedInputs(std::u16string(283, u'w'), s.dir.path());
    in.compress = false;
    const EncryptResult fits = s.Encrypt(in);
    ASSERT_EQ(fits.status, EncryptStatus::Saved) << ::testing::PrintToString(s.reporter.events);
    const DecryptResult back = ReadBack(fits.savedPath, s.key);
    EXPECT_EQ(back.status, DecryptStatus::Found);
    EXPECT_EQ(back.message, in.message);
    EXPECT_TRUE(back.verified);

    in.message.push_back(u'w');
    const EncryptResult over = s.Encrypt(in);
    EXPECT_EQ(over.status, EncryptStatus::Refused);
    EXPECT_EQ(TextToUtf8(over.refusal), "Message Too Large for Image, Try a Larger Image and Key.");
    EXPECT_EQ(FilesIn(s.Encrypted()).size(), 1u);
}

TEST(EncryptRoundTrip, EveryOutputFormat) {
    const std::u16string message = u"Caf\u00e9 \u2615 \U0001F5DD\uFE0F \u041f\u0440\u0438\u0432\u0435\u0442 \u4f60\u597d";
    const std::pair<OutputKind, std::string> kinds[] = {
        {OutputKind::Png, ".png"}, {OutputKind::Bmp, ".bmp"}, {OutputKind::Jp2, ".jp2"}, {OutputKind::Jxr, ".jxr"},
        {OutputKind::J2k, ".j2k"}, {OutputKind::Tif, ".tif"}, {OutputKind::Webp, ".webp"}};
    for (const auto& [kind, ending] : kinds) {
        SCOPED_TRACE(ending);
        Scene s;
        EncryptInputs in = SelectedInputs(message, s.dir.path());
        in.outputKind = kind;
        in.prefix = u"trip";
        const EncryptResult r = s.Encrypt(in);
        ASSERT_EQ(r.status, EncryptStatus::Saved) << ::testing::PrintToString(s.reporter.events);
        const std::string name = fs::path(r.savedPath).filename().string();
        EXPECT_TRUE(std::regex_match(name, std::regex("trip-[0-9]{5}\\" + ending))) << name;
        EXPECT_EQ(fs::path(r.savedPath).parent_path().string(), s.Encrypted());
        EXPECT_EQ(Timeless(s.reporter.logText), (std::vector<std::string>{"Encrypted Image Saved. ", name, "[n Seconds]"}));
        const DecryptResult back = ReadBack(r.savedPath, s.key);
        EXPECT_EQ(back.status, DecryptStatus::Found);
        EXPECT_EQ(back.message, message);
        EXPECT_TRUE(back.verified);
        EXPECT_EQ(back.digest, r.digest);
    }
}

TEST(EncryptRoundTrip, CompressedWithOddAndEvenLengthAndUncompressed) {
    // Find messages whose compressed data has an odd and an even length.
    std::u16string odd, even;
    for (int n = 1; n < 60 && (odd.empty() || even.empty()); ++n) {
        std::u16string m;
        for (int i = 0; i < n; ++i) m += static_cast<char16_t>(u'a' + (i * 7) % 26);
        m += u" \u00e9\U0001F600";
        std::u16string container;
        ASSERT_EQ(BuildContainer(m, u"0123456789", u"9876543210", true, container), BuildStatus::Ok);
        const int b = std::stoi(TextToUtf8(container.substr(17, 7)));
        (b % 2 ? odd : even) = m;
    }
    ASSERT_FALSE(odd.empty());
    ASSERT_FALSE(even.empty());
    for (const auto& [message, compress] : {std::pair{odd, true}, std::pair{even, true}, std::pair{odd, false}}) {
        Scene s;
        EncryptInputs in = SelectedInputs(message, s.dir.path());
        in.compress = compress;
        const EncryptResult r = s.Encrypt(in);
        ASSERT_EQ(r.status, EncryptStatus::Saved);
        EXPECT_EQ(s.steps.ContainerText().substr(10, 7) == u"0000000", !compress);
        const DecryptResult back = ReadBack(r.savedPath, s.key);
        EXPECT_EQ(back.status, DecryptStatus::Found);
        EXPECT_EQ(back.message, message);
        EXPECT_TRUE(back.verified);
    }
}

std::string GridDigest(const PixelGrid& g) {
    std::vector<uint8_t> bytes;
    bytes.reserve(g.pixels.size() * 3);
    for (uint32_t p : g.pixels) {
        bytes.push_back(static_cast<uint8_t>(RedOf(p)));
        bytes.push_back(static_cast<uint8_t>(GreenOf(p)));
        bytes.push_back(static_cast<uint8_t>(BlueOf(p)));
    }
    return Sha256Hex(bytes.data(), bytes.size());
}

// Pins the hidden format: any change to the container, the positions, the
// parity rule or the repair pass changes these pixels.
TEST(EncryptGolden, OutputPixelsOfAFixedCarrierKeyAndMessage) {
    Scene s;
    s.key = RandomGrid(256, 192, 2);
    EncryptInputs in = SelectedInputs(u"Golden \u00e9 \U0001F5DD message", s.dir.path());
    in.compress = false;
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    EXPECT_EQ(s.reporter.Only("log")[2], "Adjustment: 1 (1 pixels)");
    EXPECT_EQ(GridDigest(s.steps.OutputPlane()), "48a00bf10c0b5a10b1920d4d1c418240d7c6a8531f994edda16c8f54320e4f55");
    EXPECT_EQ(GridDigest(s.carrier), "e162a27cc60c63ba6d067b6bb6e2b02978afed099f7f280e4c353250b6d15f41");
}

TEST(FixPixel, MovesEveryChannelByTwo) {
    PixelGrid g(1, 1, Rgb(0, 1, 2));
    FixPixel(g, 0, 0);
    EXPECT_EQ(g.at(0, 0), Rgb(2, 3, 0));
    g.at(0, 0) = Rgb(255, 128, 3);
    FixPixel(g, 0, 0);
    EXPECT_EQ(g.at(0, 0), Rgb(253, 126, 1));
}

TEST(EncryptAdjustment, RepairsTheCarrierAndTheResultReadsBack) {
    Scene s;
    s.carrier = DarkNoise(200, 200, 4, 4);
    s.key = RandomGrid(200, 200, 1004);
    const PixelGrid original = s.carrier;
    EncryptInputs in = SelectedInputs(u"Hi there", s.dir.path());
    in.compress = false;
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    EXPECT_EQ(r.adjustments, 1);
    const auto logs = s.reporter.Only("log");
    ASSERT_GE(logs.size(), 3u);
    EXPECT_EQ(logs[0], "Pass 1 of 2...");
    EXPECT_EQ(logs[1], "Pass 2 of 2...");
    EXPECT_TRUE(std::regex_match(logs[2], std::regex("Adjustment: 1 \\([1-9][0-9]* pixels\\)"))) << logs[2];

    // The repaired carrier is what the window keeps: it differs from the
    // loaded one only by repairs, and the saved image equals it but for
    // the flipped bits.
    int repaired = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            if (s.carrier.at(x, y) == original.at(x, y)) continue;
            ++repaired;
            PixelGrid once(1, 1, original.at(x, y));
            FixPixel(once, 0, 0);
            PixelGrid twice = once;
            FixPixel(twice, 0, 0);
            EXPECT_TRUE(s.carrier.at(x, y) == once.at(0, 0) || s.carrier.at(x, y) == twice.at(0, 0)) << x << "," << y;
        }
    EXPECT_GT(repaired, 0);
    for (const auto& p : s.steps.Taken()) EXPECT_NE(EligibleChannel(s.steps.OutputPlane(), p.x, p.y), 0);
    const DecryptResult back = ReadBack(r.savedPath, s.key);
    EXPECT_EQ(back.status, DecryptStatus::Found);
    EXPECT_EQ(back.message, u"Hi there");
}

TEST(EncryptFailure, TooMuchSaturationSavesAndWipesNothing) {
    Scene s;
    s.carrier = DarkNoise(200, 200, 4, 1);
    s.key = RandomGrid(200, 200, 1001);
    EncryptInputs in = SelectedInputs(u"Hi there", s.dir.path());
    in.compress = false;
    in.wipeKey = in.wipeCarrier = true;
    WriteBytes(in.keyPath, "key");
    WriteBytes(in.imagePath, "carrier");
    const EncryptResult r = s.Encrypt(in);
    EXPECT_EQ(r.status, EncryptStatus::Unsuccessful);
    EXPECT_EQ(r.adjustments, 6);
    EXPECT_GT(r.badCount, 0);
    const auto logs = s.reporter.Only("log");
    ASSERT_EQ(logs.size(), 10u) << ::testing::PrintToString(logs);
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(logs[1 + i].rfind("Adjustment: " + std::to_string(i) + " (", 0), 0u) << logs[1 + i];
    EXPECT_EQ(logs[8], "Encode Unsuccessful.");
    EXPECT_EQ(logs[9], "Too much image saturation.");
    EXPECT_TRUE(s.reporter.Has("encoding failed"));
    EXPECT_EQ(s.reporter.events.back(), "idle");
    EXPECT_TRUE(FilesIn(s.Encrypted()).empty());
    EXPECT_TRUE(fs::exists(in.keyPath));
    EXPECT_TRUE(fs::exists(in.imagePath));
}

TEST(EncryptFailure, TooFewTexturedPixels) {
    Scene s;
    s.carrier = DarkNoise(200, 200, 3, 1);
    s.key = RandomGrid(200, 200, 1);
    EncryptInputs in = SelectedInputs(u"Hi there", s.dir.path());
    in.wipeKey = in.wipeCarrier = true;
    WriteBytes(in.keyPath, "key");
    WriteBytes(in.imagePath, "carrier");
    const EncryptResult r = s.Encrypt(in);
    EXPECT_EQ(r.status, EncryptStatus::PositionsExhausted);
    EXPECT_EQ(s.reporter.Only("log"), (std::vector<std::string>{"Pass 1 of 2...", "Encode Unsuccessful.",
                                                                "Not enough textured pixels for the message."}));
    EXPECT_EQ(s.reporter.events.back(), "idle");
    EXPECT_TRUE(FilesIn(s.Encrypted()).empty());
    EXPECT_TRUE(fs::exists(in.keyPath));
    EXPECT_TRUE(fs::exists(in.imagePath));
}

TEST(EncryptFailure, CompressionErrorBeforeAndDuringTheSteps) {
    for (int failingCall : {1, 2}) {
        SCOPED_TRACE(failingCall);
        Scene s;
        int calls = 0;
        s.steps.SetContainerBuilder([&](std::u16string_view m, std::u16string_view a, std::u16string_view b, bool c,
                                        std::u16string& out) {
            return ++calls == failingCall ? BuildStatus::CompressionError : BuildContainer(m, a, b, c, out);
        });
        EncryptInputs in = SelectedInputs(u"zlib says no", s.dir.path());
        in.wipeKey = true;
        WriteBytes(in.keyPath, "key");
        const EncryptResult r = s.Encrypt(in);
        EXPECT_EQ(r.status, EncryptStatus::CompressionError);
        std::vector<std::string> boxes;
        for (const auto& e : s.reporter.events)
            if (e.rfind("message: ", 0) == 0 || e.rfind("critical: ", 0) == 0) boxes.push_back(e);
        EXPECT_EQ(boxes, std::vector<std::string>{"critical: COMPRESSION ERROR"});
        EXPECT_EQ(s.reporter.Has("busy"), failingCall == 2);
        EXPECT_EQ(s.reporter.events.back(), failingCall == 2 ? "idle" : "critical: COMPRESSION ERROR");
        EXPECT_TRUE(FilesIn(s.Encrypted()).empty());
        EXPECT_TRUE(fs::exists(in.keyPath));
    }
}

TEST(EncryptSave, NamesAndTheSequenceOfTheLog) {
    EXPECT_EQ(EncryptedFileName(u"", 0, OutputKind::Png), "00000.png");
    EXPECT_EQ(EncryptedFileName(u"", 10000, OutputKind::Webp), "10000.webp");
    EXPECT_EQ(EncryptedFileName(u"caf\u00e9", 42, OutputKind::Tif), "caf\xC3\xA9-00042.tif");

    Scene s;
    EncryptInputs in = SelectedInputs(u"log", s.dir.path());
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    const std::string name = fs::path(r.savedPath).filename().string();
    EXPECT_TRUE(std::regex_match(name, std::regex("[0-9]{5}\\.png"))) << name;
    std::vector<std::string> seen;
    for (const auto& e : s.reporter.events)
        if (e.rfind("progress: ", 0) != 0 && e.rfind("stats: ", 0) != 0) seen.push_back(e);
    const std::vector<std::string> expected = {
        "status: ", "digest: " + UpperDigest(u"log"), "status: Working...", "busy", "log: Pass 1 of 2...",
        "log: Pass 2 of 2...", "status: Encrypted Image Saved. ", "log: " + name, "idle", "log: [n Seconds]"};
    EXPECT_EQ(Timeless(seen), expected);
}

TEST(EncryptSave, NeverReplacesAnExistingFile) {
    Scene s;
    s.steps.SetClock([] { return 4242; });
    EncryptInputs in = SelectedInputs(u"twice", s.dir.path());
    const PixelGrid carrier = s.carrier;
    const EncryptResult first = s.Encrypt(in);
    ASSERT_EQ(first.status, EncryptStatus::Saved);
    const std::string firstBytes = ReadBytes(first.savedPath);
    // The same generator state and clock draw the same digits again.
    s.carrier = carrier;
    s.rng = SequenceRandom();
    const EncryptResult second = s.Encrypt(in);
    ASSERT_EQ(second.status, EncryptStatus::Saved);
    EXPECT_NE(second.savedPath, first.savedPath);
    EXPECT_EQ(ReadBytes(first.savedPath), firstBytes);
    EXPECT_EQ(FilesIn(s.Encrypted()).size(), 2u);
}

TEST(EncryptSave, FallsBackWithoutThePrefix) {
    Scene s;
    EncryptInputs in = SelectedInputs(u"elsewhere", s.dir.path());
    in.root = s.dir / "not-a-folder";
    WriteBytes(in.root, "a file where the folder should be");
    in.prefix = u"pre";
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    EXPECT_TRUE(r.savedToFallback);
    EXPECT_EQ(fs::path(r.savedPath).parent_path().string(), in.fallbackRoot + "/Encrypted Images");
    EXPECT_TRUE(std::regex_match(fs::path(r.savedPath).filename().string(), std::regex("[0-9]{5}\\.png")));
    EXPECT_EQ(Timeless(s.reporter.logText),
              (std::vector<std::string>{"Image Saved to the home folder:", r.savedPath, "[n Seconds]"}));
    EXPECT_EQ(ReadBack(r.savedPath, s.key).message, u"elsewhere");
}

TEST(EncryptSave, NowhereToSaveWipesNothing) {
    Scene s;
    EncryptInputs in = SelectedInputs(u"nowhere", s.dir.path());
    in.root = s.dir / "file1";
    in.fallbackRoot = s.dir / "file2";
    WriteBytes(in.root, "x");
    WriteBytes(in.fallbackRoot, "x");
    in.wipeKey = in.wipeCarrier = true;
    WriteBytes(in.keyPath, "key");
    WriteBytes(in.imagePath, "carrier");
    const EncryptResult r = s.Encrypt(in);
    EXPECT_EQ(r.status, EncryptStatus::NotSaved);
    EXPECT_TRUE(r.savedPath.empty());
    const auto logs = s.reporter.Only("log");
    ASSERT_GE(logs.size(), 3u);
    // Each folder tried, with the system's reason.
    EXPECT_EQ(logs[logs.size() - 3], "Encrypted Image Not Saved: " + in.root + "/Encrypted Images: Not a directory; " +
                                         in.fallbackRoot + "/Encrypted Images: Not a directory");
    EXPECT_EQ(logs[logs.size() - 2], "Nothing was wiped.");
    EXPECT_EQ(Timeless(logs).back(), "[n Seconds]");
    EXPECT_TRUE(fs::exists(in.keyPath));
    EXPECT_TRUE(fs::exists(in.imagePath));
}

TEST(EncryptSave, OutputPathIsUsedAsGivenAndNeverReplaced) {
    Scene s;
    EncryptInputs in = SelectedInputs(u"to a path", s.dir.path());
    in.outputPath = s.dir / "chosen.tif";
    in.outputKind = OutputKind::Tif;
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    EXPECT_EQ(r.savedPath, in.outputPath);
    EXPECT_EQ(ReadBack(r.savedPath, s.key).message, u"to a path");
    const std::string bytes = ReadBytes(in.outputPath);
    const EncryptResult again = s.Encrypt(in);
    EXPECT_EQ(again.status, EncryptStatus::NotSaved);
    EXPECT_EQ(ReadBytes(in.outputPath), bytes);
}

TEST(EncryptWipe, KeyThenCarrierAfterSaving) {
    Scene s;
    EncryptInputs in = SelectedInputs(u"burn after reading", s.dir.path());
    in.wipeKey = in.wipeCarrier = true;
    WriteBytes(in.keyPath, std::string(5000, 'k'));
    WriteBytes(in.imagePath, std::string(3000, 'c'));
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    EXPECT_TRUE(r.keyWiped);
    EXPECT_TRUE(r.carrierWiped);
    EXPECT_FALSE(fs::exists(in.keyPath));
    EXPECT_FALSE(fs::exists(in.imagePath));
    EXPECT_TRUE(fs::exists(r.savedPath));
    const std::vector<std::string> tail(s.reporter.events.end() - 8, s.reporter.events.end());
    const std::vector<std::string> expected = {
        "log: Wiping Key File.", "log: Complete.", "wiped: " + fs::path(in.keyPath).filename().string(),
        "log: Wiping Original Image.", "log: Complete.", "wiped: " + fs::path(in.imagePath).filename().string(),
        "idle", "log: [n Seconds]"};
    EXPECT_EQ(Timeless(tail), expected);
}

// Before the originals are destroyed the saved image is decoded again; one
// that does not read back is no save at all, in either folder.
TEST(EncryptWipe, ImageThatDoesNotReadBackIsNotSavedAndNothingIsWiped) {
    Scene s;
    EncryptInputs in = SelectedInputs(u"check before you burn", s.dir.path());
    in.wipeKey = in.wipeCarrier = true;
    ASSERT_TRUE(CreateFolders(in.root + "/Encrypted Images"));
    WriteBytes(in.keyPath, "key");
    WriteBytes(in.imagePath, "carrier");
    SetDecoderFaultForTesting("crash");
    const EncryptResult r = s.Encrypt(in);
    SetDecoderFaultForTesting("");
    EXPECT_EQ(r.status, EncryptStatus::NotSaved);
    EXPECT_EQ(r.saveError, in.root + "/Encrypted Images: Saved image does not read back; " + in.fallbackRoot +
                               "/Encrypted Images: Saved image does not read back");
    EXPECT_EQ(FilesIn(in.root + "/Encrypted Images"), std::vector<std::string>{});
    EXPECT_EQ(FilesIn(in.fallbackRoot + "/Encrypted Images"), std::vector<std::string>{});
    EXPECT_EQ(ReadBytes(in.keyPath), "key");
    EXPECT_EQ(ReadBytes(in.imagePath), "carrier");
    const auto logs = s.reporter.Only("log");
    EXPECT_EQ(logs[logs.size() - 2], "Nothing was wiped.");
}

TEST(EncryptWipe, AFailingWipeIsLoggedAndTheOperationFinishes) {
    Scene s;
    EncryptInputs in = SelectedInputs(u"wipe what is not there", s.dir.path());
    in.wipeKey = in.wipeCarrier = true;
    WriteBytes(in.imagePath, "carrier");  // the key file does not exist
    const EncryptResult r = s.Encrypt(in);
    ASSERT_EQ(r.status, EncryptStatus::Saved);
    EXPECT_FALSE(r.keyWiped);
    EXPECT_TRUE(r.WipesFailed());
    EXPECT_TRUE(r.carrierWiped);
    const auto logs = s.reporter.Only("log");
    const auto failed = std::find_if(logs.begin(), logs.end(),
                                     [](const std::string& l) { return l.rfind("Wipe Unsuccessful: ", 0) == 0; });
    ASSERT_NE(failed, logs.end());
    EXPECT_NE(failed->find("key.png"), std::string::npos);
    EXPECT_EQ(*(failed + 1), "Wiping Original Image.");
    EXPECT_EQ(s.reporter.events[s.reporter.events.size() - 2], "idle");
    EXPECT_EQ(Timeless(logs).back(), "[n Seconds]");
}

}  // namespace
}  // namespace corvane
