// corvane decrypt: the decryptor window's "Decrypt Image" on the terminal.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
#include "core/platform.hpp"
#include "core/text_file.hpp"
#include "decrypt/decrypt_operation.hpp"
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

    void Progress(std::u16string_view caption) override { terminal_.Progress(caption); }
    void Log(std::u16string_view line) override { terminal_.Log(line); }
    void Message(std::u16string_view text, MessageIcon icon) override { terminal_.Message(text, icon); }
    void DigestLabel(std::u16string_view upperHex, uint32_t) override { digest_.assign(upperHex); }
    void ElapsedLabel(std::u16string_view caption) override { elapsed_.assign(caption); }

    // The message goes out before any wipe: a message that cannot be written
    // keeps the files that hold it.
    bool MessageText(std::u16string_view text) override {
        terminal_.EndProgress();
        const std::string bytes = TextToUtf8(text);
        if (outputPath_.empty()) {
            const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
            if (!ok) std::fprintf(stderr, "corvane decrypt: cannot write the message to standard output\n");
            return ok;
        }
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

    void ShowVerdict(bool found, bool verified) {
        if (!digest_.empty()) terminal_.Log(u"SHA256: " + digest_);
        if (found) terminal_.Log(verified ? u"digest verified" : u"digest does not match");
        if (!elapsed_.empty()) terminal_.Log(elapsed_);
    }

private:
    TerminalReporter terminal_;
    std::string outputPath_;
    std::u16string digest_;
    std::u16string elapsed_;
};

int Run(const std::vector<std::string>& argv) {
    Args args;
    if (!args.Parse(argv, {"--image", "--key", "--output"}, {"--wipe-key", "--wipe-image"}))
        return UsageError(kName, args.error());
    if (const std::string empty = args.EmptyPath({"--image", "--key", "--output"}); !empty.empty())
        return UsageError(kName, empty + " needs a file or folder name");
    if (!args.Has("--image")) return UsageError(kName, "--image is required");
    if (!args.Has("--key")) return UsageError(kName, "--key is required");

    DecryptInputs in;
    in.imagePath = *args.Value("--image");
    in.keyPath = *args.Value("--key");
    in.wipeKey = args.Flag("--wipe-key");
    in.wipeImage = args.Flag("--wipe-image");
    const std::string output = args.ValueOr("--output", "");
    if (!output.empty() && FileExists(output)) {
        std::fprintf(stderr, "corvane decrypt: %s exists; an existing file is never replaced\n", output.c_str());
        return kExitFailed;
    }

    TerminalDecryptReporter reporter(output);
    // Both files are read, and then decoded, side by side.
    ImageReader imageReader, keyReader;
    std::string imageError;
    if (!StartEncryptedImage(imageReader, in.imagePath, imageError)) {
        std::fprintf(stderr, "corvane decrypt: cannot load the image %s: %s\n", in.imagePath.c_str(),
                     imageError.c_str());
        return kExitFailed;
    }
    keyReader.Start(in.keyPath, kKeyLoadRule);
    if (!imageReader.WaitForHeader()) {
        std::fprintf(stderr, "corvane decrypt: cannot load the image %s: %s\n", in.imagePath.c_str(),
                     imageReader.error().c_str());
        return kExitFailed;
    }
    if (!keyReader.WaitForHeader()) {
        std::fprintf(stderr, "corvane decrypt: cannot load the key image %s: %s\n", in.keyPath.c_str(),
                     keyReader.error().c_str());
        reporter.Message(u"Please select a Key image file.", MessageIcon::Information);
        return kExitFailed;
    }
    // The operation's size checks, from the headers: a key that cannot cover
    // the image is refused before either is decoded.
    if (keyReader.width() < imageReader.width()) {
        reporter.Message(u"Key Pixel Width Too Small.", MessageIcon::Information);
        return kExitFailed;
    }
    if (keyReader.height() < imageReader.height()) {
        reporter.Message(u"Key Pixel Height Too Small.", MessageIcon::Information);
        return kExitFailed;
    }
    imageReader.StartDecode();
    keyReader.StartDecode();
    PixelGrid image;
    if (!imageReader.Decode(image)) {
        std::fprintf(stderr, "corvane decrypt: cannot load the image %s: %s\n", in.imagePath.c_str(),
                     imageReader.error().c_str());
        return kExitFailed;
    }
    KeyImage key;
    std::string keyError;
    if (!DecodeKeyImage(keyReader, key, &keyError)) {
        std::fprintf(stderr, "corvane decrypt: cannot load the key image %s: %s\n", in.keyPath.c_str(),
                     keyError.c_str());
        reporter.Message(u"Please select a Key image file.", MessageIcon::Information);
        return kExitFailed;
    }
    if (!key.hasSeed) {
        reporter.Message(u"Please select a Key image file.", MessageIcon::Information);
        return kExitFailed;
    }
    in.keyComment = key.comment;
    in.keySeed = key.params.seed;

    const DecryptResult r = DecryptImage(image, key.pixels, in, reporter);
    if (r.status == DecryptStatus::Refused) return kExitFailed;
    reporter.ShowVerdict(r.status == DecryptStatus::Found, r.verified);
    if (r.status != DecryptStatus::Found || !r.delivered || r.WipesFailed()) return kExitFailed;
    return r.verified ? kExitDone : kExitDigestMismatch;
}

const CommandRegistrar reg({kName, "read a hidden message back with its key image", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
