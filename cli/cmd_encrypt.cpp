// corvane encrypt: the encryptor window's "Encrypt Image" (and its batch
// run over a folder) on the terminal.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/args.hpp"
#include "cli/command.hpp"
#include "cli/terminal_reporter.hpp"
#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_decoder.hpp"
#include "core/key_image.hpp"
#include "core/key_randomness.hpp"
#include "core/image_formats.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/text_file.hpp"
#include "core/wipe.hpp"
#include "encrypt/carrier_loading.hpp"
#include "encrypt/detectability.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "encrypt/used_keys.hpp"

namespace corvane::cli {
namespace {

constexpr const char* kName = "encrypt";

constexpr const char* kUsage =
    "Usage: corvane encrypt --carrier FILE|--carrier-dir DIR  --key FILE  (--message TEXT | --message-file FILE)\n"
    "                       [--root DIR | --output FILE] [--format png|bmp|jp2|jxr|j2k|tif|webp]\n"
    "                       [--prefix TEXT] [--no-compress] [--wipe-key] [--wipe-carrier]\n"
    "                       [--max-width N] [--ratio 1.00|0.50|0.25|0.20|0.10]\n"
    "                       [--max-detectability low|medium] [--reuse-key]\n"
    "\n"
    "Hides a message in a carrier photo with a key image and saves the result losslessly.\n"
    "\n"
    "  --carrier FILE       the carrier photo (any format the encryptor loads)\n"
    "  --carrier-dir DIR    the same message into every carrier of DIR, in name order\n"
    "  --key FILE           the key image (PNG with its delimiter comment), at least as large\n"
    "                       as the carrier\n"
    "  --message TEXT       the message, UTF-8\n"
    "  --message-file FILE  the message from a text file (byte-order mark, UTF-8 or Windows-1252)\n"
    "  --root DIR           stands for the application folder: images are saved in\n"
    "                       DIR/Encrypted Images/ under a generated name (default: beside corvane)\n"
    "  --output FILE        save to FILE instead (never replaces an existing file)\n"
    "  --format NAME        image format (default png; with --output, FILE's ending)\n"
    "  --prefix TEXT        file-name prefix: TEXT-12345.png\n"
    "  --no-compress        store the message uncompressed\n"
    "  --wipe-key           overwrite and delete the key file after saving\n"
    "  --wipe-carrier       overwrite and delete each carrier file after saving\n"
    "  --max-width N        first shrink a carrier wider than N pixels to N pixels wide\n"
    "  --ratio R            first scale the carrier by R (overrides --max-width)\n"
    "  --reuse-key          hide the message even with a key that hid another message before\n"
    "  --max-detectability L  low or medium: save nothing when standard steganalysis\n"
    "                       would likely see the message more clearly than that\n"
    "\n"
    "Every key used is remembered (by digest) in the ledger that 'corvane keys' shows; a key\n"
    "that hid another message before is refused unless --reuse-key is given. The same\n"
    "message again with the same key is no reuse.\n"
    "Before saving, prints on standard error how visible the message is predicted to be to\n"
    "standard steganalysis (\"Detectability: Low\", \"Medium\" or \"High\"; see corvane rate).\n"
    "Prints the full path of each saved image on standard output; the log goes to standard error.\n"
    "Exit status: 0 every image saved (and wiped as asked), 1 a failure, 2 a usage error.\n";

// The operation's window outputs on the terminal.
class TerminalEncryptReporter : public EncryptReporter {
public:
    void ProgressFraction(double fraction) override { terminal_.ProgressFraction(fraction); }
    void Status(std::u16string_view text) override {
        if (!text.empty()) terminal_.Status(text);
    }
    void Log(std::u16string_view line) override { terminal_.Log(line); }
    void Message(std::u16string_view text, MessageIcon icon) override { terminal_.Message(text, icon); }
    void DigestComputed(std::u16string_view upperHex) override {
        terminal_.Log(u"SHA256: " + std::u16string(upperHex));
    }
    // Every embedding run rewrites the figures; only the last one matters.
    void Statistics(const EncodeStats& stats) override { stats_ = stats.Text(); }
    void EncodingFailed() override { stats_ = u"Unsuccessful."; }

    void ShowStats() {
        if (!stats_.empty()) terminal_.Log(u"LSB Altered: " + stats_);
        stats_.clear();
    }

private:
    TerminalReporter terminal_;
    std::u16string stats_;
};

bool ParseRatio(std::string text, double& ratio) {
    if (text.size() > 2 && text.compare(text.size() - 2, 2, ":1") == 0) text.resize(text.size() - 2);
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') return false;
    for (double allowed : kResizeRatios)
        if (std::fabs(v - allowed) < 1e-9) {
            ratio = allowed;
            return true;
        }
    return false;
}

bool ParseMaxDetectability(const std::string& text, Detectability& level) {
    if (text == "low") level = Detectability::Low;
    else if (text == "medium") level = Detectability::Medium;
    else return false;
    return true;
}

std::optional<int> ParseDetectabilityLimit(const Args& args, std::optional<Detectability>& limit) {
    if (const auto level = args.Value("--max-detectability")) {
        limit.emplace();
        if (!ParseMaxDetectability(*level, *limit)) return UsageError(kName, "--max-detectability takes low or medium");
    }
    return std::nullopt;
}

// The verdict on standard error before the image is saved; false (and
// why, with the longest message that would pass) when it is above `limit`.
bool CheckDetectability(const PixelGrid& carrier, const EncryptInputs& in, std::optional<Detectability> limit) {
    DetectabilityRequest request;
    request.message = in.message;
    request.compress = in.compress;
    request.keyComment = in.keyComment;
    request.findLongestLow = limit.has_value();
    const DetectabilityPrediction p = PredictDetectability(carrier, request);
    // A message the carrier cannot take is refused by the encryption itself.
    if (p.status != PredictionStatus::Done) return true;
    const DetectabilityFigures& f = p.figures;
    std::fprintf(stderr, "Detectability: %s (estimate %s, +%s; written sub-grid +%s)\n",
                 TextToUtf8(DetectabilityName(f.verdict)).c_str(), FormatNumberAscii(f.carrierEstimate, "0.00%").c_str(),
                 FormatNumberAscii(f.delta, "0.00%").c_str(), FormatNumberAscii(f.subGridDelta, "0.00%").c_str());
    if (!limit || f.verdict <= *limit) return true;
    std::fprintf(stderr,
                 "corvane encrypt: %s: not saved: detectability %s is above --max-detectability %s; use a larger or "
                 "busier photo or a shorter message (about %lld characters stay Low here)%s\n",
                 in.imagePath.c_str(), TextToUtf8(DetectabilityName(f.verdict)).c_str(),
                 *limit == Detectability::Low ? "low" : "medium", static_cast<long long>(p.longestLow),
                 in.compress ? "" : ", or compression");
    return false;
}

// A wipe that would be refused is refused now, before any work.
bool WipesAllowed(const EncryptInputs& in) {
    const std::string why = in.wipeKey ? WipeRefusal(in.keyPath) : std::string();
    if (why.empty()) return true;
    std::fprintf(stderr, "corvane encrypt: %s\n", why.c_str());
    return false;
}

// After a refusal because the key hid another message before: the rest of a
// batch would meet the same key.
bool StopForKeyReuse(const EncryptResult& r) {
    if (!r.keyReuse) return false;
    std::fprintf(stderr, "corvane encrypt: give --reuse-key to encrypt anyway ('corvane keys' shows the ledger)\n");
    return true;
}

std::string FullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

// Which options go together; the usage exit status when they do not.
std::optional<int> CheckOptions(Args& args, const std::vector<std::string>& argv) {
    if (!args.Parse(argv,
                    {"--carrier", "--carrier-dir", "--key", "--message", "--message-file", "--root", "--output",
                     "--format", "--prefix", "--max-width", "--ratio", "--max-detectability"},
                    {"--no-compress", "--wipe-key", "--wipe-carrier", "--reuse-key"}))
        return UsageError(kName, args.error());
    if (const std::string empty =
            args.EmptyPath({"--carrier", "--carrier-dir", "--key", "--message-file", "--root", "--output"});
        !empty.empty())
        return UsageError(kName, empty + " needs a file or folder name");
    if (args.Has("--carrier") == args.Has("--carrier-dir"))
        return UsageError(kName, "give either --carrier or --carrier-dir");
    if (!args.Has("--key")) return UsageError(kName, "--key is required");
    if (args.Has("--message") == args.Has("--message-file"))
        return UsageError(kName, "give either --message or --message-file");
    if (args.Has("--root") && args.Has("--output")) return UsageError(kName, "--root and --output exclude each other");
    if (args.Has("--output") && args.Has("--carrier-dir"))
        return UsageError(kName, "--output names one file; it cannot take a whole folder of carriers");
    return std::nullopt;
}

// The saved image's format and name: --format, --output and --prefix.
std::optional<int> ParseOutput(const Args& args, EncryptInputs& in) {
    if (const auto format = args.Value("--format")) {
        if (!OutputKindFromName(*format, in.outputKind) || in.outputKind == OutputKind::Key)
            return UsageError(kName, "unknown format '" + *format + "'");
    }
    if (const auto output = args.Value("--output")) {
        in.outputPath = *output;
        const size_t dot = output->rfind('.');
        const size_t slash = output->rfind('/');
        const bool hasEnding = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        if (!args.Has("--format") &&
            (!hasEnding || !OutputKindFromName(output->substr(dot), in.outputKind) || in.outputKind == OutputKind::Key))
            return UsageError(kName, "cannot tell the image format from '" + *output + "'; give --format");
        // The decryptor picks its reader by the ending alone: an image saved
        // in another format under it could never be read back.
        LoadRule rule{};
        if (!EncryptedLoadRuleForPath(*output, rule))
            std::fprintf(stderr,
                         "corvane encrypt: note: corvane decrypt reads only names ending in .png, .bmp, .jp2, .jxr, "
                         ".j2k, .tif or .webp; rename %s before decrypting it\n",
                         output->c_str());
        else if (rule.format != LoadRuleForOutput(in.outputKind).format)
            return UsageError(kName, "--format does not match the ending of '" + *output +
                                         "', by which corvane decrypt would read it");
    }
    if (in.outputPath.empty()) {
        // Refused now rather than found out at the save, after all the work.
        const std::string longest = EncryptedFileName(in.prefix, 10000, in.outputKind);
        if (longest.size() > NAME_MAX)
            return UsageError(kName, "--prefix makes the file name " + std::to_string(longest.size()) +
                                         " bytes long; file names may have at most " + std::to_string(NAME_MAX));
    }
    return std::nullopt;
}

// Everything the command line says, before any file is opened; the usage
// exit status when it cannot be done.
std::optional<int> ParseRequest(const std::vector<std::string>& argv, Args& args, EncryptInputs& in,
                                CarrierResize& resize) {
    if (const auto usage = CheckOptions(args, argv)) return usage;
    in.compress = !args.Flag("--no-compress");
    in.wipeKey = args.Flag("--wipe-key");
    in.wipeCarrier = args.Flag("--wipe-carrier");
    in.allowKeyReuse = args.Flag("--reuse-key");
    in.usedKeysPath = UsedKeysPath();
    in.prefix = Utf8ToText(args.ValueOr("--prefix", ""));
    if (in.prefix.find(u'/') != std::u16string::npos) return UsageError(kName, "--prefix cannot contain '/'");
    if (const auto usage = ParseOutput(args, in)) return usage;
    if (const auto mw = args.Value("--max-width"); mw && !ParseMaxWidth(*mw, resize.maxWidth))
        return UsageError(kName, "--max-width needs a positive number of pixels");
    if (const auto ratio = args.Value("--ratio"); ratio && !ParseRatio(*ratio, resize.ratio))
        return UsageError(kName, "--ratio must be 1.00, 0.50, 0.25, 0.20 or 0.10");
    return std::nullopt;
}

bool ReadMessage(const Args& args, EncryptInputs& in, TerminalEncryptReporter& reporter) {
    if (const auto text = args.Value("--message")) {
        in.message = Utf8ToText(*text);
    } else {
        const LoadFileResult file = LoadTextFile(*args.Value("--message-file"), 1);
        if (!file.ok) {
            std::fprintf(stderr, "corvane encrypt: cannot read the message file %s: %s\n",
                         args.Value("--message-file")->c_str(), file.error.c_str());
            return false;
        }
        in.message = file.text;
    }
    if (in.message.empty()) {
        reporter.Message(u"No Message.", MessageIcon::Information);
        return false;
    }
    return true;
}

// The key image of the whole run. Its decoder starts at once and works beside
// the first carrier's; the pixels are decoded once the first carrier has
// shown, from its header, that the key is large enough for it.
class KeySource {
public:
    explicit KeySource(std::string path) : path_(std::move(path)) { reader_.Start(path_, kKeyLoadRule); }
    KeySource(const KeySource&) = delete;
    KeySource& operator=(const KeySource&) = delete;

    bool WaitForHeader() {
        if (headerRead_) return true;
        if (!reader_.WaitForHeader()) {
            std::fprintf(stderr, "corvane encrypt: cannot load the key image %s: %s\n", path_.c_str(),
                         reader_.error().c_str());
            return false;
        }
        headerRead_ = true;
        return true;
    }
    int width() const { return pixels().empty() ? reader_.width() : pixels().width; }
    int height() const { return pixels().empty() ? reader_.height() : pixels().height; }
    void StartDecode() {
        if (pixels().empty()) reader_.StartDecode();
    }
    // Decodes the pixels the first time; takes the key's comment and seed.
    bool Decode(EncryptInputs& in) {
        if (!pixels().empty()) return true;
        std::string error;
        if (!DecodeKeyImage(reader_, image_, &error)) {
            std::fprintf(stderr, "corvane encrypt: cannot load the key image %s: %s\n", path_.c_str(),
                         error.c_str());
            return false;
        }
        in.keyComment = image_.comment;
        if (image_.hasSeed) in.keySeed = image_.params.seed;
        // Judged on the second core while the first embeds the message.
        looksRandom_ = std::async(std::launch::async, [this] { return KeyLooksRandom(image_.pixels); });
        return true;
    }
    void WarnIfNotRandom() {
        if (looksRandom_.valid() && !looksRandom_.get())
            std::fprintf(stderr, "corvane encrypt: warning: %s\n", TextToUtf8(kKeyNotRandomWarning).c_str());
    }
    const PixelGrid& pixels() const { return image_.pixels; }

private:
    std::string path_;
    ImageReader reader_;
    bool headerRead_ = false;
    KeyImage image_;
    std::future<bool> looksRandom_;
};

// Where the images go: the working folder below the application folder (or
// --root), or the one --output file, which must not exist yet.
bool PrepareOutput(const Args& args, EncryptInputs& in) {
    if (in.outputPath.empty()) {
        // Like the window program at start-up: the working folder it saves
        // into exists, below the application folder (or the folder given for
        // it) or the fallback root.
        if (const auto r = args.Value("--root")) {
            CreateFolders(*r);
            in.root = IsWritableFolder(*r) ? *r : PrepareWorkingRoot(*r, {});
            CreateFolders(JoinPath(in.root, kEncryptedFolder));
        } else {
            in.root = PrepareWorkingRoot(ApplicationFolder(), {kEncryptedFolder});
        }
    } else if (FileExists(in.outputPath)) {
        std::fprintf(stderr, "corvane encrypt: %s exists; an existing file is never replaced\n",
                     in.outputPath.c_str());
        return false;
    }
    return true;
}

bool CarrierFiles(const Args& args, const std::string& keyPath, std::vector<std::string>& carriers) {
    if (const auto dir = args.Value("--carrier-dir")) {
        std::string error;
        if (!ListCarriers(*dir, keyPath, carriers, error)) {
            std::fprintf(stderr, "corvane encrypt: cannot list %s: %s\n", dir->c_str(), error.c_str());
            return false;
        }
        if (carriers.empty()) std::fprintf(stderr, "corvane encrypt: no carriers in %s\n", dir->c_str());
    } else {
        carriers.push_back(*args.Value("--carrier"));
    }
    return true;
}

// What stays from one carrier to the next.
struct EncryptRun {
    const CarrierResize& resize;
    KeySource& key;
    TerminalEncryptReporter& reporter;
    EmbeddingSteps steps;
    KeyWipeOnce keyWipe;
    std::optional<Detectability> maxDetectability;
};

enum class CarrierOutcome { Saved, Failed, KeyFailed };

CarrierOutcome EncryptCarrier(EncryptInputs& in, EncryptRun& run) {
    ImageReader carrierReader;
    carrierReader.Start(in.imagePath, LoadRuleForPath(in.imagePath));
    if (!run.key.WaitForHeader()) return CarrierOutcome::KeyFailed;
    if (!carrierReader.WaitForHeader()) {
        std::fprintf(stderr, "corvane encrypt: cannot load the carrier image %s: %s\n", in.imagePath.c_str(),
                     carrierReader.error().c_str());
        return CarrierOutcome::Failed;
    }
    // The operation's own size checks, from the headers, before any
    // pixel is decoded.
    int w = 0, h = 0;
    ResizedCarrierSize(carrierReader.width(), carrierReader.height(), run.resize, w, h);
    if (run.key.width() < w || run.key.height() < h) {
        run.reporter.Message(run.key.width() < w ? u"Key Pixel Width Too Small." : u"Key Pixel Height Too Small.",
                             MessageIcon::Information);
        return CarrierOutcome::Failed;
    }
    // The key (the first time) and the carrier are decoded side by side.
    run.key.StartDecode();
    carrierReader.StartDecode();
    if (!run.key.Decode(in)) return CarrierOutcome::KeyFailed;
    PixelGrid carrier;
    if (!DecodeCarrier(carrierReader, run.resize, carrier)) {
        std::fprintf(stderr, "corvane encrypt: cannot load the carrier image %s: %s\n", in.imagePath.c_str(),
                     carrierReader.error().c_str());
        return CarrierOutcome::Failed;
    }
    // The batch window wipes the key after the first carrier and then
    // meets a missing file at every later one: wipe it once.
    EncryptInputs inputs = in;
    inputs.wipeKey = run.keyWipe.Wanted(in.wipeKey);
    if (!CheckDetectability(carrier, inputs, run.maxDetectability)) return CarrierOutcome::Failed;
    const EncryptResult r = EncryptImage(carrier, run.key.pixels(), inputs, run.steps, run.reporter);
    run.keyWipe.After(r);
    run.key.WarnIfNotRandom();
    if (r.status == EncryptStatus::Saved) {
        run.reporter.ShowStats();
        std::printf("%s\n", FullPath(r.savedPath).c_str());
        std::fflush(stdout);
    }
    if (r.status != EncryptStatus::Saved || r.WipesFailed()) {
        std::fprintf(stderr, "corvane encrypt: %s: %s\n", in.imagePath.c_str(), TextToUtf8(EncryptFailureText(r)).c_str());
        return StopForKeyReuse(r) ? CarrierOutcome::KeyFailed : CarrierOutcome::Failed;
    }
    return CarrierOutcome::Saved;
}

int EncryptEach(const std::vector<std::string>& carriers, bool batch, EncryptInputs& in, EncryptRun& run) {
    int failures = 0;
    for (size_t i = 0; i < carriers.size(); ++i) {
        if (batch)
            run.reporter.Log(u"Working: " + Utf8ToText(std::to_string(i + 1)) + u" of " +
                             Utf8ToText(std::to_string(carriers.size())) + u" (" + Utf8ToText(carriers[i]) + u")");
        in.imagePath = carriers[i];
        const CarrierOutcome outcome = EncryptCarrier(in, run);
        if (outcome == CarrierOutcome::KeyFailed) return kExitFailed;
        if (outcome == CarrierOutcome::Failed) ++failures;
    }
    run.key.WarnIfNotRandom();
    // An empty folder still tells whether the key could have been used.
    if (!run.key.WaitForHeader()) return kExitFailed;
    return failures == 0 ? kExitDone : kExitFailed;
}

int Run(const std::vector<std::string>& argv) {
    Args args;
    EncryptInputs in;
    CarrierResize resize;
    if (const auto usage = ParseRequest(argv, args, in, resize)) return *usage;
    std::optional<Detectability> maxDetectability;
    if (const auto usage = ParseDetectabilityLimit(args, maxDetectability)) return *usage;
    TerminalEncryptReporter reporter;
    if (!ReadMessage(args, in, reporter)) return kExitFailed;

    in.keyPath = *args.Value("--key");
    if (!WipesAllowed(in)) return kExitFailed;
    KeySource key(in.keyPath);
    std::vector<std::string> carriers;
    if (!PrepareOutput(args, in) || !CarrierFiles(args, in.keyPath, carriers)) return kExitFailed;
    EncryptRun run{resize, key, reporter, {}, {}, maxDetectability};
    return EncryptEach(carriers, args.Has("--carrier-dir"), in, run);
}

const CommandRegistrar reg({kName, "hide a message in a photo with a key image", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
