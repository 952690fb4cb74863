// corvane rate: how well a carrier will hide a message, worded as the
// encryptor's window shows it.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/args.hpp"
#include "cli/command.hpp"
#include "cli/terminal_reporter.hpp"
#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/image_formats.hpp"
#include "core/key_image.hpp"
#include "core/text_file.hpp"
#include "encrypt/carrier_analysis.hpp"
#include "encrypt/detectability.hpp"

namespace corvane::cli {
namespace {

constexpr char kUsage[] =
    "Usage: corvane rate --carrier FILE [--message TEXT | --message-file FILE] [--no-compress]\n"
    "                    [--key FILE]\n"
    "\n"
    "Rates a carrier image for hiding a message. Prints three lines:\n"
    "  the message's byte length and the estimated share of the carrier's\n"
    "  least significant bits that encoding it changes (\"150B/2.000%\"),\n"
    "  the encodability score with its verdict (\"93.75% - OK\"),\n"
    "  the sampled statistics (\"Enc: .. Same: .. Blk: .. Wht: ..\"; empty\n"
    "  for an image under 20 pixels on a side).\n"
    "With a message it then predicts how visible the message will be to\n"
    "standard steganalysis: a trial embedding with a throwaway key finds the\n"
    "pixels it takes, where the estimators' counts are those expected over\n"
    "every key:\n"
    "  the carrier's estimated share of replaced LSBs, the estimate predicted\n"
    "  after encrypting and their difference, the same three figures for the\n"
    "  2 x 2 sub-grid the message is written on, the longest message of this\n"
    "  kind that stays Low, and last \"Detectability: Low\", \"Medium\" or\n"
    "  \"High\".\n"
    "The rating is advice only.\n"
    "\n"
    "  --carrier FILE       the carrier image (any format the encryptor loads)\n"
    "  --message TEXT       the message (UTF-8)\n"
    "  --message-file FILE  the message from a text file (byte-order mark, UTF-8\n"
    "                       or Windows-1252)\n"
    "  --no-compress        predict for the message stored uncompressed\n"
    "  --key FILE           predict for this key image: the pixels and the sub-grid\n"
    "                       it would write on (without it, those of one fixed\n"
    "                       stand-in key, so the figures may differ a little)\n";

int PrintPrediction(const PixelGrid& carrier, const std::u16string& message, bool compress,
                    const std::u16string& keyComment) {
    DetectabilityRequest request;
    request.message = message;
    request.compress = compress;
    request.keyComment = keyComment;
    const DetectabilityPrediction prediction = PredictDetectability(carrier, request);
    // The rating is advice: a message the carrier cannot take gets its
    // three lines and a note, as it always has.
    if (prediction.status != PredictionStatus::Done) {
        std::fprintf(stderr, "corvane rate: no detectability prediction: %s\n",
                     TextToUtf8(PredictionFailureText(prediction.status)).c_str());
        return kExitDone;
    }
    for (const auto& line : DetectabilityLines(prediction)) std::printf("%s\n", TextToUtf8(line).c_str());
    return kExitDone;
}

int Run(const std::vector<std::string>& argv) {
    Args args;
    if (!args.Parse(argv, {"--carrier", "--message", "--message-file", "--key"}, {"--no-compress"}))
        return UsageError("rate", args.error());
    if (const std::string empty = args.EmptyPath({"--carrier", "--message-file", "--key"}); !empty.empty())
        return UsageError("rate", empty + " needs a file or folder name");
    const auto carrierPath = args.Value("--carrier");
    if (!carrierPath) return UsageError("rate", "--carrier is required");
    if (args.Has("--message") && args.Has("--message-file"))
        return UsageError("rate", "give --message or --message-file, not both");

    std::u16string message;
    if (const auto text = args.Value("--message")) {
        message = Utf8ToText(*text);
    } else if (const auto file = args.Value("--message-file")) {
        const LoadFileResult loaded = LoadTextFile(*file, kEncodingUtf8NoMark);
        if (!loaded.ok) {
            std::fprintf(stderr, "corvane rate: cannot read message file '%s': %s\n", file->c_str(),
                         loaded.error.c_str());
            return kExitFailed;
        }
        message = loaded.text;
    }

    // Only the key's comment matters: it fixes the pixels the message takes.
    KeyImage key;
    std::string error;
    if (const auto keyPath = args.Value("--key"); keyPath && !LoadKeyImage(*keyPath, key, &error)) {
        std::fprintf(stderr, "corvane rate: cannot load the key image %s: %s\n", keyPath->c_str(), error.c_str());
        return kExitFailed;
    }

    PixelGrid carrier;
    if (!LoadGrid(*carrierPath, carrier, &error)) {
        std::fprintf(stderr, "corvane rate: cannot load carrier image '%s': %s\n", carrierPath->c_str(), error.c_str());
        return kExitFailed;
    }

    const LsbUsage usage = UpdateLsbUsage(message, carrier.width, carrier.height);
    CarrierAnalysisResult analysis;
    {
        TerminalReporter reporter;
        analysis = AnalyseCarrier(carrier, reporter);
    }
    std::printf("%s\n%s\n%s\n", TextToUtf8(usage.caption).c_str(), TextToUtf8(analysis.caption).c_str(),
                TextToUtf8(analysis.statistics).c_str());
    std::fflush(stdout);
    if (message.empty()) return kExitDone;
    return PrintPrediction(carrier, message, !args.Flag("--no-compress"), key.comment);
}

CommandRegistrar reg({"rate", "rate a carrier image for hiding a message", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
