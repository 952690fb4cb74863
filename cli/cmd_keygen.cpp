// corvane keygen: a batch of key images, as the key generator window makes
// them. Each saved key's path goes to standard output.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/args.hpp"
#include "cli/command.hpp"
#include "cli/terminal_reporter.hpp"
#include "core/code_page.hpp"
#include "core/number_format.hpp"
#include "core/platform.hpp"
#include "keygen/key_generation.hpp"

namespace corvane::cli {
namespace {

constexpr const char* kUsage =
    "Usage: corvane keygen [--root DIR] [--series NAME] [--count N] [--width W] [--height H]\n"
    "                      [--source mersenne|isaac|rtlgenrandom|cryptgenrandom|rnd]\n"
    "                      [--naming number|date] [--start YYYY-MM-DD]\n"
    "\n"
    "Makes N key images of W x H random pixels (PNG) in ROOT/Keys/NAME/ and prints\n"
    "the path of each saved key. Existing key files are never replaced.\n"
    "\n"
    "  --root DIR      folder that stands for the program folder (default: the\n"
    "                  folder of this program; keys that cannot be saved there go\n"
    "                  to ~/Corvane/Keys/NAME/)\n"
    "  --series NAME   series folder name (default: today's date, YYYY-MM-DD)\n"
    "  --count N       number of keys (default 1)\n"
    "  --width W       key width in pixels (default 1600)\n"
    "  --height H      key height in pixels (default 1200)\n"
    "  --source NAME   random source for the pixels (default mersenne)\n"
    "  --naming KIND   number: 00001.png, 00002.png, ...; date: one day per key\n"
    "                  from the start date (default date)\n"
    "  --start DATE    first key's date for date naming (default today)\n";

// Progress on one terminal line, paths on standard output, messages on
// standard error. The key comment is not shown: its delimiters are part of
// the key.
class KeygenReporter : public KeyGenerationReporter {
public:
    explicit KeygenReporter(std::u16string countText) : countText_(std::move(countText)) {}
    bool WantsPreview() const override { return false; }
    void Status(std::u16string_view text) override { terminal_.ShowProgress(text); }
    void Message(std::u16string_view text, MessageIcon icon) override { terminal_.Message(text, icon); }
    void KeySaved(const SavedKey& key) override {
        terminal_.EndProgress();
        std::printf("%s\n", key.path.c_str());
        std::fflush(stdout);
        terminal_.ShowProgress(KeyProgressText(key.number, key.count, countText_));
    }
    void Finish(std::u16string_view status) { terminal_.Status(status); }

private:
    TerminalReporter terminal_;
    std::u16string countText_;
};

int Run(const std::vector<std::string>& argv) {
    Args args;
    if (!args.Parse(argv, {"--root", "--series", "--count", "--width", "--height", "--source", "--naming", "--start"},
                    {}))
        return UsageError("keygen", args.error());
    if (const std::string empty = args.EmptyPath({"--root"}); !empty.empty())
        return UsageError("keygen", empty + " needs a file or folder name");

    KeyGenerationInputs inputs;
    inputs.widthText = Utf8ToText(args.ValueOr("--width", "1600"));
    inputs.heightText = Utf8ToText(args.ValueOr("--height", "1200"));
    inputs.countText = Utf8ToText(args.ValueOr("--count", "1"));
    inputs.seriesName = Utf8ToText(args.ValueOr("--series", ""));
    if (!KeySourceFromName(args.ValueOr("--source", "mersenne"), inputs.source))
        return UsageError("keygen", "unknown source '" + *args.Value("--source") +
                                        "' (mersenne, isaac, rtlgenrandom, cryptgenrandom or rnd)");
    const std::string naming = args.ValueOr("--naming", "date");
    if (naming == "number") inputs.naming = KeyNaming::Number;
    else if (naming == "date") inputs.naming = KeyNaming::Date;
    else return UsageError("keygen", "unknown naming '" + naming + "' (number or date)");
    CivilDate start = Today();
    if (const auto text = args.Value("--start"); text && !ParseDate(*text, start))
        return UsageError("keygen", "--start needs a date that exists, as YYYY-MM-DD: '" + *text + "'");
    inputs.startYear = start.year;
    inputs.startMonth = start.month;
    inputs.startDay = start.day;
    // Without --root, keys go below the program's folder when it can be
    // written, else below the fallback root, as the window program decides at
    // start-up (its folders are made only when a key is saved).
    if (const auto root = args.Value("--root")) inputs.root = *root;
    else inputs.root = WorkingRoot(ApplicationFolder());
    inputs.fallbackRoot = FallbackRoot();

    // What the key generator does when it starts, then one run.
    KeyGeneratorState state;
    SequenceRandom& rng = ProgramRandom();
    PrepareKeyGenerator(state, rng);
    KeygenReporter reporter(inputs.countText);
    const KeyGenerationResult result = GenerateKeys(inputs, state, rng, reporter);
    if (!result.status.empty()) reporter.Finish(result.status);
    return result.completed ? kExitDone : kExitFailed;
}

CommandRegistrar reg({"keygen", "make key images (one-time pads)", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
