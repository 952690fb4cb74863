// corvane encrypt: the encryptor window's "Encrypt Image" (and its batch
// run over a folder) on the terminal.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
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
#include "encrypt/encrypt_operation.hpp"
#include "encrypt/used_keys.hpp"

namespace corvane::cli {
namespace {

constexpr const char* kName = "encrypt";

constexpr const char* kUsage =
    "Usage: corvane encrypt --carrier FILE|--carrier-dir DIR  --key FILE  (--message TEXT | --message-file FILE)\n"
    "                       [--root DIR | --output FILE] [--format png|bmp|jp2|jxr|j2k|tif|webp]\n"
    "                       [--prefix TEXT] [--no-compress] [--wipe-key] [--wipe-carrier]\n"
    "                       [--max-width N] [--ratio 1.00|0.50|0.25|0.20|0.10] [--reuse-key]\n"
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
    "\n"
    "Every key used is remembered (by digest) in the ledger that 'corvane keys' shows; a key\n"
    "that hid another message before is refused unless --reuse-key is given. The same\n"
    "message again with the same key is no reuse.\n"
    "Prints the full path of each saved image on standard output; the log goes to standard error.\n"
    "Exit status: 0 every image saved (and wiped as asked), 1 a failure, 2 a usage error.\n";

// The operation's window outputs on the terminal.
class TerminalEncryptReporter : public EncryptReporter {
public:
    void Progress(std::u16string_view caption) override { terminal_.Progress(caption); }
    void Status(std::u16string_view text) override {
        if (!text.empty()) terminal_.Status(text);
    }
    void Log(std::u16string_view line) override { terminal_.Log(line); }
    void Message(std::u16string_view text, MessageIcon icon) override { terminal_.Message(text, icon); }
    void DigestLabel(std::u16string_view upperHex) override { terminal_.Log(u"SHA256: " + std::u16string(upperHex)); }
    // Every embedding run rewrites the label; only the last one matters.
    void StatsLabel(std::u16string_view caption, uint32_t) override { stats_.assign(caption); }

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
    for (double allowed : {1.0, 0.5, 0.25, 0.2, 0.1})
        if (std::fabs(v - allowed) < 1e-9) {
            ratio = allowed;
            return true;
        }
    return false;
}

bool ParseMaxWidth(const std::string& text, int& width) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v)) return false;
    const int64_t n = Nearest(v);
    if (n < 1 || n > 1000000) return false;
    width = static_cast<int>(n);
    return true;
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

int Run(const std::vector<std::string>& argv) {
    Args args;
    if (!args.Parse(argv,
                    {"--carrier", "--carrier-dir", "--key", "--message", "--message-file", "--root", "--output",
                     "--format", "--prefix", "--max-width", "--ratio"},
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

    EncryptInputs in;
    in.compress = !args.Flag("--no-compress");
    in.wipeKey = args.Flag("--wipe-key");
    in.wipeCarrier = args.Flag("--wipe-carrier");
    in.allowKeyReuse = args.Flag("--reuse-key");
    in.usedKeysPath = UsedKeysPath();
    in.prefix = Utf8ToText(args.ValueOr("--prefix", ""));
    if (in.prefix.find(u'/') != std::u16string::npos) return UsageError(kName, "--prefix cannot contain '/'");
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
    CarrierResize resize;
    if (const auto mw = args.Value("--max-width"); mw && !ParseMaxWidth(*mw, resize.maxWidth))
        return UsageError(kName, "--max-width needs a positive number of pixels");
    if (const auto ratio = args.Value("--ratio"); ratio && !ParseRatio(*ratio, resize.ratio))
        return UsageError(kName, "--ratio must be 1.00, 0.50, 0.25, 0.20 or 0.10");

    TerminalEncryptReporter reporter;
    if (const auto text = args.Value("--message")) {
        in.message = Utf8ToText(*text);
    } else {
        const LoadFileResult file = LoadTextFile(*args.Value("--message-file"), 1);
        if (!file.ok) {
            std::fprintf(stderr, "corvane encrypt: cannot read the message file %s: %s\n",
                         args.Value("--message-file")->c_str(), file.error.c_str());
            return kExitFailed;
        }
        in.message = file.text;
    }
    if (in.message.empty()) {
        reporter.Message(u"No Message.", MessageIcon::Information);
        return kExitFailed;
    }

    in.keyPath = *args.Value("--key");
    if (!WipesAllowed(in)) return kExitFailed;
    // The key's decoder starts now and works beside the first carrier's.
    ImageReader keyReader;
    keyReader.Start(in.keyPath, kKeyLoadRule);
    bool keyHeaderRead = false;
    KeyImage keyImage;
    const PixelGrid& key = keyImage.pixels;
    std::future<bool> keyLooksRandom;
    // The key is decoded once the first carrier has shown, from its header,
    // that the key is large enough for it.
    auto decodeKey = [&]() {
        if (!key.empty()) return true;
        std::string error;
        if (!DecodeKeyImage(keyReader, keyImage, &error)) {
            std::fprintf(stderr, "corvane encrypt: cannot load the key image %s: %s\n", in.keyPath.c_str(),
                         error.c_str());
            return false;
        }
        in.keyComment = keyImage.comment;
        if (keyImage.hasSeed) in.keySeed = keyImage.params.seed;
        // Judged on the second core while the first embeds the message.
        keyLooksRandom = std::async(std::launch::async, [&key] { return KeyLooksRandom(key); });
        return true;
    };
    auto warnOfKey = [&] {
        if (keyLooksRandom.valid() && !keyLooksRandom.get())
            std::fprintf(stderr, "corvane encrypt: warning: %s\n", TextToUtf8(kKeyNotRandomWarning).c_str());
    };

    if (in.outputPath.empty()) {
        // Like the window program at start-up: the working folder it saves
        // into exists, below the application folder or the fallback root.
        std::string root = ApplicationFolder();
        if (const auto r = args.Value("--root")) {
            root = *r;
            CreateFolders(root);
        }
        in.root = PrepareWorkingRoot(root, {kEncryptedFolder});
    } else if (FileExists(in.outputPath)) {
        std::fprintf(stderr, "corvane encrypt: %s exists; an existing file is never replaced\n",
                     in.outputPath.c_str());
        return kExitFailed;
    }

    std::vector<std::string> carriers;
    if (const auto dir = args.Value("--carrier-dir")) {
        std::string error;
        if (!ListCarriers(*dir, in.keyPath, carriers, error)) {
            std::fprintf(stderr, "corvane encrypt: cannot list %s: %s\n", dir->c_str(), error.c_str());
            return kExitFailed;
        }
        if (carriers.empty()) std::fprintf(stderr, "corvane encrypt: no carriers in %s\n", dir->c_str());
    } else {
        carriers.push_back(*args.Value("--carrier"));
    }

    const bool batch = args.Has("--carrier-dir");
    EmbeddingSteps steps;
    int failures = 0;
    bool keyWipeDone = false;
    for (size_t i = 0; i < carriers.size(); ++i) {
        if (batch)
            reporter.Log(u"Working: " + Utf8ToText(std::to_string(i + 1)) + u" of " +
                         Utf8ToText(std::to_string(carriers.size())) + u" (" + Utf8ToText(carriers[i]) + u")");
        in.imagePath = carriers[i];
        ImageReader carrierReader;
        carrierReader.Start(in.imagePath, LoadRuleForPath(in.imagePath));
        if (!keyHeaderRead) {
            if (!keyReader.WaitForHeader()) {
                std::fprintf(stderr, "corvane encrypt: cannot load the key image %s: %s\n", in.keyPath.c_str(),
                             keyReader.error().c_str());
                return kExitFailed;
            }
            keyHeaderRead = true;
        }
        if (!carrierReader.WaitForHeader()) {
            std::fprintf(stderr, "corvane encrypt: cannot load the carrier image %s: %s\n", in.imagePath.c_str(),
                         carrierReader.error().c_str());
            ++failures;
            continue;
        }
        // The operation's own size checks, from the headers, before any
        // pixel is decoded.
        int w = 0, h = 0;
        ResizedCarrierSize(carrierReader.width(), carrierReader.height(), resize, w, h);
        const int keyWidth = key.empty() ? keyReader.width() : key.width;
        const int keyHeight = key.empty() ? keyReader.height() : key.height;
        if (keyWidth < w || keyHeight < h) {
            reporter.Message(keyWidth < w ? u"Key Pixel Width Too Small." : u"Key Pixel Height Too Small.",
                             MessageIcon::Information);
            ++failures;
            continue;
        }
        // The key (the first time) and the carrier are decoded side by side.
        if (key.empty()) keyReader.StartDecode();
        carrierReader.StartDecode();
        if (!decodeKey()) return kExitFailed;
        PixelGrid carrier;
        if (!DecodeCarrier(carrierReader, resize, carrier)) {
            std::fprintf(stderr, "corvane encrypt: cannot load the carrier image %s: %s\n", in.imagePath.c_str(),
                         carrierReader.error().c_str());
            ++failures;
            continue;
        }
        // The batch window wipes the key after the first carrier and then
        // meets a missing file at every later one: wipe it once.
        EncryptInputs run = in;
        run.wipeKey = in.wipeKey && !keyWipeDone;
        const EncryptResult r = EncryptImage(carrier, key, run, steps, reporter);
        warnOfKey();
        if (r.status == EncryptStatus::Saved) {
            reporter.ShowStats();
            std::printf("%s\n", FullPath(r.savedPath).c_str());
            std::fflush(stdout);
            if (run.wipeKey) keyWipeDone = true;
        }
        if (r.status != EncryptStatus::Saved || r.WipesFailed()) {
            ++failures;
            std::fprintf(stderr, "corvane encrypt: %s: %s\n", in.imagePath.c_str(), TextToUtf8(EncryptFailureText(r)).c_str());
            if (StopForKeyReuse(r)) return kExitFailed;
        }
    }
    warnOfKey();
    if (!keyHeaderRead && !keyReader.WaitForHeader()) {
        std::fprintf(stderr, "corvane encrypt: cannot load the key image %s: %s\n", in.keyPath.c_str(),
                     keyReader.error().c_str());
        return kExitFailed;
    }
    return failures == 0 ? kExitDone : kExitFailed;
}

const CommandRegistrar reg({kName, "hide a message in a photo with a key image", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
