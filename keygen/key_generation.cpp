#include "keygen/key_generation.hpp"

#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <new>
#include <optional>
#include <system_error>

#include "core/code_page.hpp"
#include "core/image_file.hpp"
#include "core/image_formats.hpp"
#include "core/platform.hpp"
#include "keygen/isaac.hpp"

namespace corvane {
namespace {

constexpr int kPreviewSize = 500;
constexpr unsigned kKeyFolderMode = 0700;

std::u16string Text(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A whole number from 1 to 2^31 - 1, digits only.
bool ParseCount(std::u16string_view text, int32_t& count) {
    text = Trimmed(text);
    if (text.empty() || text.size() > 10) return false;
    int64_t v = 0;
    for (char16_t c : text) {
        if (!IsDigit(c)) return false;
        v = v * 10 + (c - u'0');
    }
    if (v < 1 || v > std::numeric_limits<int32_t>::max()) return false;
    count = static_cast<int32_t>(v);
    return true;
}

int64_t DaysBetween(const CivilDate& from, const CivilDate& to) {
    using namespace std::chrono;
    const sys_days a{year{from.year} / month{static_cast<unsigned>(from.month)} / day{static_cast<unsigned>(from.day)}};
    const sys_days b{year{to.year} / month{static_cast<unsigned>(to.month)} / day{static_cast<unsigned>(to.day)}};
    return (b - a).count();
}

std::string KeyFileStem(KeyNaming naming, int32_t number, const CivilDate& start) {
    if (naming == KeyNaming::Number) return FormatNumberAscii(number, "00000");
    return FormatDateAscii(AddDays(start, number - 1));
}

// The first name of the batch (in key order) that the folder already holds,
// found from one listing of the folder rather than a look-up per key.
std::optional<std::string> FirstTakenName(const std::string& folder, KeyNaming naming, const CivilDate& start,
                                          int32_t count) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    int64_t first = 0;  // key number of the first clash, 0 for none
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        if (name.size() <= 4 || name.compare(name.size() - 4, 4, ".png") != 0) continue;
        const std::string stem = name.substr(0, name.size() - 4);
        int64_t number = 0;
        if (naming == KeyNaming::Number) {
            if (stem.size() > 10) continue;
            const auto [end, err] = std::from_chars(stem.data(), stem.data() + stem.size(), number);
            if (err != std::errc() || end != stem.data() + stem.size() || number < 1 || number > count) continue;
        } else {
            CivilDate d;
            if (!ParseDate(stem, d)) continue;
            number = DaysBetween(start, d) + 1;
            if (number < 1 || number > count) continue;
        }
        // Only the exact name the batch would write clashes ("0001.png" does not).
        if (KeyFileStem(naming, static_cast<int32_t>(number), start) != stem) continue;
        if (first == 0 || number < first) first = number;
    }
    if (first == 0) return std::nullopt;
    return JoinPath(folder, KeyFileStem(naming, static_cast<int32_t>(first), start) + ".png");
}

bool UsableFolderName(std::u16string_view name) {
    if (name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c == u'/' || c == u'\0') return false;
    return true;
}

// The pixel source of one run, set up before the first key and released
// after the last.
class PixelSource {
public:
    PixelSource(KeySource source, KeyGeneratorState& state, SequenceRandom& rng) : source_(source), state_(state), rng_(rng) {
        switch (source) {
            case KeySource::MersenneTwister:
                SeedMersenneTwister(state, rng);
                break;
            case KeySource::RtlGenRandom:
            case KeySource::CryptGenRandom:
                system_.emplace();
                break;
            case KeySource::Isaac:
                isaac_.emplace(rng);
                break;
            case KeySource::Rnd:
                break;
        }
    }

    void Fill(PixelGrid& grid) {
        switch (source_) {
            case KeySource::MersenneTwister: {
                MersenneTwister& mt = state_.mt;
                FillKeyGrid(grid, rng_, [&mt] { return mt.genrand_int32() & 0xFFFFFFu; });
                break;
            }
            case KeySource::RtlGenRandom:
            case KeySource::CryptGenRandom: {
                SystemRandom& sys = *system_;
                FillKeyGrid(grid, rng_, [&sys] { return sys.Next() & 0xFFFFFFu; });
                break;
            }
            case KeySource::Rnd: {
                SequenceRandom& rng = rng_;
                FillKeyGrid(grid, rng_, [&rng] { return RndPixel(rng); });
                break;
            }
            case KeySource::Isaac: {
                CISAAC& isaac = *isaac_;
                FillKeyGrid(grid, rng_, [&isaac] { return static_cast<uint32_t>(isaac.RndLong()) & 0xFFFFFFu; });
                break;
            }
        }
    }

private:
    KeySource source_;
    KeyGeneratorState& state_;
    SequenceRandom& rng_;
    std::optional<SystemRandom> system_;
    std::optional<CISAAC> isaac_;
};

}  // namespace

bool ParseNumericText(std::u16string_view text, double& value) {
    text = Trimmed(text);
    std::string ascii;
    size_t p = 0;
    const size_t n = text.size();
    bool negative = false;
    if (p < n && (text[p] == u'+' || text[p] == u'-')) negative = text[p++] == u'-';
    size_t digits = 0;
    for (; p < n && IsDigit(text[p]); ++p, ++digits) ascii.push_back(static_cast<char>(text[p]));
    if (p < n && text[p] == u'.') {
        ascii.push_back('.');
        for (++p; p < n && IsDigit(text[p]); ++p, ++digits) ascii.push_back(static_cast<char>(text[p]));
    }
    if (digits == 0) return false;
    bool negativeExponent = false;
    if (p < n && (text[p] == u'e' || text[p] == u'E')) {
        ascii.push_back('e');
        ++p;
        if (p < n && (text[p] == u'+' || text[p] == u'-')) {
            negativeExponent = text[p] == u'-';
            ascii.push_back(static_cast<char>(text[p++]));
        }
        size_t expDigits = 0;
        for (; p < n && IsDigit(text[p]); ++p, ++expDigits) ascii.push_back(static_cast<char>(text[p]));
        if (expDigits == 0) return false;
    }
    if (p != n) return false;
    double v = 0;
    const auto [end, err] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (err == std::errc::result_out_of_range)
        v = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    else if (err != std::errc() || end != ascii.data() + ascii.size())
        return false;
    value = negative ? -v : v;
    return true;
}

std::u16string MakeKeyComment(MersenneTwister& mt, SequenceRandom& rng) {
    // Every delimiter byte decodes to a single UTF-16 unit, so the
    // delimiter text always has its full 24 characters.
    std::u16string comment;
    comment.reserve(28);
    comment.push_back(u'<');
    for (int i = 0; i < 10; ++i) comment.push_back(DelimiterCharacter(mt));
    comment += u"><";
    for (int i = 0; i < 10; ++i) comment.push_back(DelimiterCharacter(mt));
    comment.push_back(u'>');
    const int number = static_cast<int>(static_cast<double>(rng.Next()) * 16.0);
    comment += u"<" + FormatNumber(number, "00") + u">";
    return comment;
}

namespace {

std::u16string DateText(const CivilDate& d) {
    return Text(std::to_string(d.year)) + u"-" + Text(std::to_string(d.month)) + u"-" + Text(std::to_string(d.day));
}

// The key size from the two boxes, or the reason it cannot be used.
std::u16string CheckKeySize(const KeyGenerationInputs& inputs, KeyBatch& batch) {
    double widthValue = 0, heightValue = 0;
    if (!ParseNumericText(inputs.widthText, widthValue)) return u"Pixel size width is non-numeric.";
    if (!ParseNumericText(inputs.heightText, heightValue)) return u"Pixel size height is non-numeric.";
    const double w = std::nearbyint(widthValue), h = std::nearbyint(heightValue);
    if (!(w >= 1)) return u"Pixel size width must be at least 1.";
    if (!(h >= 1)) return u"Pixel size height must be at least 1.";
    if (w * h > static_cast<double>(kMaxImagePixels))
        return u"Key pixel size is over the limit of " + FormatNumber(static_cast<double>(kMaxImagePixels), "#,##0") +
               u" pixels (256 megapixels).";
    batch.width = static_cast<int>(w);
    batch.height = static_cast<int>(h);
    return {};
}

// The count, the naming and the series folder, or the reason they cannot
// be used.
std::u16string CheckNames(const KeyGenerationInputs& inputs, KeyBatch& batch) {
    if (!ParseCount(inputs.countText, batch.count)) return u"Number of keys must be a whole number from 1 up.";
    batch.naming = inputs.naming;
    batch.start = CivilDate{inputs.startYear, inputs.startMonth, inputs.startDay};
    if (inputs.naming == KeyNaming::Date) {
        if (!IsValidDate(batch.start)) return u"Start date " + DateText(batch.start) + u" does not exist.";
        if (!IsValidDate(AddDays(batch.start, batch.count - 1)))
            return u"The last key's date would fall after 9999-12-31.";
    }
    const std::u16string series = inputs.seriesName.empty() ? FormatDate(Today()) : inputs.seriesName;
    if (!UsableFolderName(series)) return u"Key series name cannot be used as a folder name: " + series;
    batch.seriesPath = TextToUtf8(series);
    batch.folder = JoinPath(JoinPath(inputs.root, kKeysFolder), batch.seriesPath);
    if (const auto taken = FirstTakenName(batch.folder, batch.naming, batch.start, batch.count))
        return u"Key file already exists and is never overwritten: " + Utf8ToText(*taken);
    return {};
}

// Where one key went, or why it went nowhere.
struct KeySave {
    SaveStatus status = SaveStatus::Failed;
    std::string folder;
    std::string path;
    bool inFallback = false;
    std::u16string failure;  // the message for a key saved nowhere
};

// Saves under the batch folder, or below the fallback root when that fails.
KeySave SaveKey(const KeyBatch& batch, const std::string& fileName, const SaveOptions& options) {
    KeySave save;
    save.folder = batch.folder;
    save.path = JoinPath(save.folder, fileName);
    std::string reason;
    save.status = SaveGridFile(batch.grid, OutputKind::Key, save.path, options, &reason);
    if (save.status != SaveStatus::Failed) return save;
    if (batch.fallbackRoot.empty()) {
        save.failure = u"Key could not be saved: " + Utf8ToText(save.path) + u" (" + Utf8ToText(reason) + u").";
        return save;
    }
    const std::string fallbackFolder = JoinPath(JoinPath(batch.fallbackRoot, kKeysFolder), batch.seriesPath);
    CreateFolders(fallbackFolder, kKeyFolderMode);
    const std::string firstPath = save.path, firstReason = reason;
    save.folder = fallbackFolder;
    save.path = JoinPath(fallbackFolder, fileName);
    save.inFallback = true;
    save.status = SaveGridFile(batch.grid, OutputKind::Key, save.path, options, &reason);
    if (save.status == SaveStatus::Failed)
        save.failure = u"Key could not be saved to " + Utf8ToText(firstPath) + u" (" + Utf8ToText(firstReason) +
                       u") nor to " + Utf8ToText(save.path) + u" (" + Utf8ToText(reason) + u").";
    return save;
}

// Where the run says its keys went.
std::u16string SavedToText(const KeySave& save) {
    return (save.inFallback ? u" Key(s) Saved to the home folder: " : u" Key(s) Saved to: ") + Utf8ToText(save.folder);
}

// One run of a checked batch: the keys made so far and where they went.
class BatchRun {
public:
    BatchRun(KeyBatch& batch, KeyGeneratorState& state, SequenceRandom& rng, KeyGenerationReporter& reporter)
        : batch_(batch), state_(state), rng_(rng), reporter_(reporter) {}

    KeyGenerationResult Run() {
        // Up to a gigabyte for the largest key: taken here, on the run's
        // thread, and refused like any input before anything is written.
        try {
            batch_.grid = PixelGrid(batch_.width, batch_.height);
        } catch (const std::bad_alloc&) {
            reporter_.Message(u"Not enough memory for a key of " + Text(std::to_string(batch_.width)) + u" x " +
                                  Text(std::to_string(batch_.height)) + u" pixels.",
                              MessageIcon::Information);
            return result_;
        }
        reporter_.Status(u"Working...");
        CreateFolders(batch_.folder, kKeyFolderMode);
        std::u16string failure;
        try {
            PixelSource source(batch_.source, state_, rng_);
            for (int32_t i = 1; i <= batch_.count && failure.empty(); ++i) {
                if (reporter_.StopRequested()) return End(u"Stopped.");
                failure = MakeKey(i, source);
            }
        } catch (const std::system_error& e) {
            failure = u"The system's random source failed: " + Utf8ToText(e.what());
        }
        if (!failure.empty()) {
            reporter_.Message(failure, MessageIcon::Critical);
            return End(u"Stopped.");
        }
        result_.completed = true;
        return End(u"Completed.");
    }

private:
    // Makes, saves and reports one key. Empty when it was saved, else the
    // message the run stops with.
    std::u16string MakeKey(int32_t number, PixelSource& source) {
        const int32_t startTick = TickCount();
        source.Fill(batch_.grid);
        const std::u16string comment = MakeKeyComment(state_.mt, rng_);
        // What the file's metadata holds: the comment through the code page.
        reporter_.KeyComment(AnsiToText(TextToAnsi(comment)));

        const std::string fileName = KeyFileStem(batch_.naming, number, batch_.start) + ".png";
        const KeySave save = SaveKey(batch_, fileName, SaveOptions{comment, false, FileAccess::Private});
        if (save.status == SaveStatus::AlreadyExists)
            return u"Key file already exists and is never overwritten: " + Utf8ToText(save.path);
        if (save.status != SaveStatus::Saved) return save.failure;
        savedTo_ = SavedToText(save);
        result_.savedPaths.push_back(save.path);

        if (reporter_.WantsPreview()) reporter_.Preview(PreviewGrid(batch_.grid, kPreviewSize));
        const uint32_t elapsed = static_cast<uint32_t>(TickCount()) - static_cast<uint32_t>(startTick);
        reporter_.KeySaved(SavedKey{save.path, number, batch_.count, elapsed});
        return {};
    }

    KeyGenerationResult End(std::u16string_view how) {
        result_.status = std::u16string(how) + savedTo_;
        reporter_.Status(result_.status);
        return result_;
    }

    KeyBatch& batch_;
    KeyGeneratorState& state_;
    SequenceRandom& rng_;
    KeyGenerationReporter& reporter_;
    KeyGenerationResult result_;
    std::u16string savedTo_;  // where the last key went, as the status says it
};

}  // namespace

bool CheckKeyGeneration(const KeyGenerationInputs& inputs, KeyBatch& batch, std::u16string& refusal) {
    refusal = CheckKeySize(inputs, batch);
    if (refusal.empty()) refusal = CheckNames(inputs, batch);
    if (!refusal.empty()) return false;
    batch.source = inputs.source;
    batch.fallbackRoot = inputs.fallbackRoot;
    return true;
}

KeyGenerationResult RunKeyGeneration(KeyBatch& batch, KeyGeneratorState& state, SequenceRandom& rng,
                                     KeyGenerationReporter& reporter) {
    return BatchRun(batch, state, rng, reporter).Run();
}

KeyGenerationResult GenerateKeys(const KeyGenerationInputs& inputs, KeyGeneratorState& state, SequenceRandom& rng,
                                 KeyGenerationReporter& reporter) {
    KeyBatch batch;
    std::u16string refusal;
    if (!CheckKeyGeneration(inputs, batch, refusal)) {
        reporter.Message(refusal, MessageIcon::Information);
        return {};
    }
    return RunKeyGeneration(batch, state, rng, reporter);
}

std::u16string KeyProgressText(int32_t number, int32_t count, std::u16string_view countText) {
    return Text(std::to_string(number)) + u" of " + std::u16string(countText) + u" - Percent Complete: " +
           FormatNumber(static_cast<double>(number) / count, "00%");
}

}  // namespace corvane
