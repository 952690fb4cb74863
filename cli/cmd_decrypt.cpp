// corvane decrypt: the decryptor window's "Decrypt Image" on the terminal.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/args.hpp"
#include "cli/command.hpp"
#include "cli/terminal_reporter.hpp"
#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_decoder.hpp"
#include "core/key_image.hpp"
#include "core/image_formats.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "core/text_file.hpp"
#include "decrypt/decrypt_operation.hpp"
#include "decrypt/decrypt_texts.hpp"
#include "decrypt/encrypted_image.hpp"

namespace corvane::cli {
namespace {

constexpr const char* kName = "decrypt";

constexpr const char* kUsage =
    "Usage: corvane decrypt --image FILE --key FILE [--output FILE] [--wipe-key] [--wipe-image]\n"
    "\n"
    "Reads the message hidden in an encrypted image with its key image and checks its digest.\n"
    "\n"
    "  --image FILE   the encrypted image (.png, .bmp, .jp2, .jxr, .j2k, .tif or .webp)\n"
    "  --key FILE     the key image it was encrypted with\n"
    "  --output FILE  write the message to FILE as UTF-8 (never replaces an existing file)\n"
    "                 instead of standard output\n"
    "  --wipe-key     overwrite and delete the key file once the message is found\n"
    "  --wipe-image   overwrite and delete the image file once the message is found\n"
    "\n"
    "Prints the message exactly, as UTF-8 without an added newline; the digest and its\n"
    "verdict go to standard error. Exit status: 0 message found and digest verified,\n"
    "1 a failure (no message, a wipe that failed), 2 a usage error, 3 message found but\n"
    "its digest does not match (the message is still printed).\n";

class TerminalDecryptReporter : public DecryptReporter {
public:
    explicit TerminalDecryptReporter(std::string outputPath) : outputPath_(std::move(outputPath)) {}

    void ProgressFraction(double fraction) override { terminal_.ShowProgress(FormatNumber(fraction, "0.00%")); }
    void Log(std::u16string_view line) override { terminal_.Log(line); }
    void Message(std::u16string_view text, MessageIcon icon) override { terminal_.Message(text, icon); }
    void DigestComputed(std::u16string_view upperHex, bool) override { digest_.assign(upperHex); }

    // The message goes out before any wipe: a message that cannot be written
    // keeps the files that hold it.
    bool MessageFound(std::u16string_view text) override {
        terminal_.EndProgress();
        if (outputPath_.empty()) return WriteToStandardOutput(text);
        if (text.empty()) {
            // The text-file writer makes no file for no text: an empty message
            // still leaves its (empty) file.
            std::string reason;
            if (WriteFileSafely(outputPath_, {}, FileAccess::Private, false, &reason) != SaveStatus::Saved) {
                std::fprintf(stderr, "corvane decrypt: cannot write %s: %s\n", outputPath_.c_str(), reason.c_str());
                return false;
            }
            return true;
        }
        const SaveFileResult saved = SaveTextFile(outputPath_, text, kEncodingUtf8NoMark, false, FileAccess::Private);
        if (!saved.ok)
            std::fprintf(stderr, "corvane decrypt: cannot write %s: %s\n", outputPath_.c_str(), saved.error.c_str());
        return saved.ok;
    }

    void ShowVerdict(const DecryptResult& r) {
        if (!digest_.empty()) terminal_.Log(u"SHA256: " + digest_);
        if (r.status == DecryptStatus::Found) terminal_.Log(r.verified ? u"digest verified" : u"digest does not match");
        terminal_.Log(decrypt_texts::ElapsedCaption(r.elapsedMilliseconds));
    }

private:
    static bool WriteToStandardOutput(std::u16string_view text) {
        const std::string bytes = TextToUtf8(text);
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
        if (!ok) std::fprintf(stderr, "corvane decrypt: cannot write the message to standard output\n");
        return ok;
    }

    TerminalReporter terminal_;
    std::string outputPath_;
    std::u16string digest_;
};

// Reads the command line into the inputs and the output path; a usage error's
// exit status when it cannot.
std::optional<int> ParseArguments(const std::vector<std::string>& argv, DecryptInputs& in, std::string& output) {
    Args args;
    if (!args.Parse(argv, {"--image", "--key", "--output"}, {"--wipe-key", "--wipe-image"}))
        return UsageError(kName, args.error());
    if (const std::string empty = args.EmptyPath({"--image", "--key", "--output"}); !empty.empty())
        return UsageError(kName, empty + " needs a file or folder name");
    if (!args.Has("--image")) return UsageError(kName, "--image is required");
    if (!args.Has("--key")) return UsageError(kName, "--key is required");
    in.imagePath = *args.Value("--image");
    in.keyPath = *args.Value("--key");
    in.wipeKey = args.Flag("--wipe-key");
    in.wipeImage = args.Flag("--wipe-image");
    output = args.ValueOr("--output", "");
    return std::nullopt;
}

bool CannotLoad(const char* what, const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "corvane decrypt: cannot load the %s %s: %s\n", what, path.c_str(), reason.c_str());
    return false;
}

bool Refuse(Reporter& reporter, std::u16string_view text) {
    reporter.Message(text, MessageIcon::Information);
    return false;
}

// Both files are read, and then decoded, side by side. A key that cannot
// cover the image is refused from the headers, before either is decoded.
bool LoadImageAndKey(DecryptInputs& in, Reporter& reporter, PixelGrid& image, KeyImage& key) {
    ImageReader imageReader, keyReader;
    std::string imageError;
    if (!StartEncryptedImage(imageReader, in.imagePath, imageError)) return CannotLoad("image", in.imagePath, imageError);
    keyReader.Start(in.keyPath, kKeyLoadRule);
    if (!imageReader.WaitForHeader()) return CannotLoad("image", in.imagePath, imageReader.error());
    if (!keyReader.WaitForHeader()) {
        CannotLoad("key image", in.keyPath, keyReader.error());
        return Refuse(reporter, decrypt_texts::kSelectKey);
    }
    if (keyReader.width() < imageReader.width()) return Refuse(reporter, decrypt_texts::kKeyTooNarrow);
    if (keyReader.height() < imageReader.height()) return Refuse(reporter, decrypt_texts::kKeyTooLow);
    imageReader.StartDecode();
    keyReader.StartDecode();
    if (!imageReader.Decode(image)) return CannotLoad("image", in.imagePath, imageReader.error());
    std::string keyError;
    if (!DecodeKeyImage(keyReader, key, &keyError)) {
        CannotLoad("key image", in.keyPath, keyError);
        return Refuse(reporter, decrypt_texts::kSelectKey);
    }
    if (!key.hasSeed) return Refuse(reporter, decrypt_texts::kSelectKey);
    in.keyComment = key.comment;
    in.keySeed = key.params.seed;
    return true;
}

int Run(const std::vector<std::string>& argv) {
    DecryptInputs in;
    std::string output;
    if (const std::optional<int> usage = ParseArguments(argv, in, output)) return *usage;
    if (!output.empty() && FileExists(output)) {
        std::fprintf(stderr, "corvane decrypt: %s exists; an existing file is never replaced\n", output.c_str());
        return kExitFailed;
    }
    TerminalDecryptReporter reporter(output);
    PixelGrid image;
    KeyImage key;
    if (!LoadImageAndKey(in, reporter, image, key)) return kExitFailed;

    const DecryptResult r = DecryptImage(image, key.pixels, in, reporter);
    if (r.status == DecryptStatus::Refused) return kExitFailed;
    reporter.ShowVerdict(r);
    if (r.status != DecryptStatus::Found || !r.delivered || r.WipesFailed()) return kExitFailed;
    return r.verified ? kExitDone : kExitDigestMismatch;
}

const CommandRegistrar reg({kName, "read a hidden message back with its key image", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
