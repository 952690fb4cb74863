#include "encrypt/detectability.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <random>

#include "core/hidden_message.hpp"
#include "core/number_format.hpp"
#include "core/sequence_random.hpp"
#include "core/work_beside.hpp"
#include "encrypt/embedding_steps.hpp"

namespace corvane {
namespace {

// The longest "Low" message must stay "Low" on the saved image, whose
// estimates scatter around the expected ones by about a tenth of a percent
// on the whole image and several tenths on a sub-grid: it is the longest
// whose expected figures stay below this share of each threshold.
constexpr double kConfirmShare = 0.9;

constexpr uint64_t kStableCommentSeed = 0x636F7276616E65ull;

// Below this many pixels a second thread costs more than it saves.
constexpr int64_t kThreadedPixels = int64_t{1} << 18;

bool IsLarge(const PixelGrid& g) { return static_cast<int64_t>(g.width) * g.height >= kThreadedPixels; }

double ShareOf(const LsbShareEstimate& e) { return e.ok ? e.share : 0.0; }

class QuietSteps : public StepsReporter {};

// The comment (the real key's or a throwaway one) fixes the positions and
// the sub-grid before anything is estimated.
struct Plan {
    std::mt19937_64 random;
    std::u16string comment;
    int32_t seed = 0;
    int subGrid = 0;
};

struct Trial {
    StepStatus status = StepStatus::NeedsStep1;
    int64_t units = 0;
    int64_t changed = 0;
};

char16_t PrintableAscii(std::mt19937_64& random) { return static_cast<char16_t>(0x21 + random() % 94); }

// A key comment as the key generator lays it out: "<" start "><" end "><" NN ">".
std::u16string ThrowawayComment(std::mt19937_64& random) {
    std::u16string comment = u"<";
    for (int i = 0; i < 10; ++i) comment += PrintableAscii(random);
    comment += u"><";
    for (int i = 0; i < 10; ++i) comment += PrintableAscii(random);
    return comment + u"><00>";
}

// Only the parity of each key pixel's three LSBs matters to a trial, and
// a fresh key is made for every prediction: SplitMix64 from one seed of the
// trial's generator fills it several times faster than the generator would.
PixelGrid ThrowawayKey(int width, int height, std::mt19937_64& random) {
    PixelGrid key(width, height);
    uint64_t state = random();
    for (size_t i = 0; i < key.pixels.size(); i += 2) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        key.pixels[i] = static_cast<uint32_t>(z) & 0xFFFFFFu;
        if (i + 1 < key.pixels.size()) key.pixels[i + 1] = static_cast<uint32_t>(z >> 32) & 0xFFFFFFu;
    }
    return key;
}

// The message embedded with a throwaway key by the encryptor's own steps:
// whether the carrier takes it, its container and the LSBs it changes.
Trial RunTrial(const PixelGrid& carrier, Plan& plan, std::u16string_view message, bool compress) {
    EmbeddingSteps steps;
    SequenceRandom rng;  // never the program's: the trial may run beside an encryption
    QuietSteps quiet;
    const PixelGrid key = ThrowawayKey(carrier.width, carrier.height, plan.random);
    steps.Step1(carrier, key);
    Trial t;
    t.status = steps.Step2(carrier, key, message, plan.comment, plan.seed, compress, rng, quiet);
    t.units = static_cast<int64_t>(steps.ContainerText().size());
    t.changed = steps.Stats().changedCount;
    return t;
}

int64_t ContainerUnitsOf(const std::u16string& comment, std::u16string_view message, bool compress) {
    std::u16string start, end, container;
    KeyDelimiters(comment, start, end);
    return BuildContainer(message, start, end, compress, container) == BuildStatus::Ok
               ? static_cast<int64_t>(container.size())
               : 0;
}

int64_t MaxContainerUnits(int width, int height) {
    return std::max<int64_t>((ReadingWindowBits(width, height) - kSkippedPositions) / 16, 0);
}

bool ConfirmedLow(const DetectabilityFigures& f) {
    return f.delta < kConfirmShare * std::min(kLowDelta, kHighEstimate - f.carrierEstimate) &&
           f.subGridDelta < kConfirmShare * kLowSubGridDelta;
}

// The figures of an image made from the carrier by writing on `subGrid`,
// from the two estimates of that image.
DetectabilityFigures FiguresOf(const CarrierEstimates& clean, int subGrid, const LsbShareEstimate& estimate,
                               const LsbShareEstimate& subGridEstimate) {
    DetectabilityFigures f;
    f.subGrid = subGrid;
    f.carrierEstimate = ShareOf(clean.whole);
    f.estimate = ShareOf(estimate);
    f.delta = f.estimate - f.carrierEstimate;
    f.carrierSubGridEstimate = ShareOf(clean.subGrids.subGrids[subGrid]);
    f.subGridEstimate = ShareOf(subGridEstimate);
    f.subGridDelta = f.subGridEstimate - f.carrierSubGridEstimate;
    f.verdict = ClassifyDetectability(f.carrierEstimate, f.delta, f.subGridDelta);
    return f;
}

// The estimates of the carrier moved, sample by sample, to what the
// embedding is expected to leave on the whole image and on the written
// sub-grid.
class ExpectedEmbedding {
public:
    ExpectedEmbedding(const PixelGrid& carrier, const CarrierEstimates& clean, int subGrid)
        : clean_(clean),
          subGrid_(subGrid),
          whole_(carrier, clean.wholeTallies),
          sub_(carrier, clean.subGridTallies[subGrid], subGrid) {}

    // One container unit's positions, scattered over the image.
    void Write(const std::array<PositionSequence::Position, 16>& unit) {
        for (const auto& p : unit) {
            whole_.Prefetch(p.x, p.y);
            sub_.Prefetch(p.x, p.y);
        }
        for (const auto& p : unit) {
            whole_.Replace(p.x, p.y, ChannelBit(p.channel));
            sub_.Replace(p.x, p.y, ChannelBit(p.channel));
        }
    }

    DetectabilityFigures Figures() const {
        return FiguresOf(clean_, subGrid_, EstimateFromTallies(whole_.Tallies()).combined,
                         EstimateFromTallies(sub_.Tallies()).combined);
    }

private:
    const CarrierEstimates& clean_;
    int subGrid_;
    ExpectedReplacement whole_;
    ExpectedReplacement sub_;
};

struct Sweep {
    DetectabilityFigures message;
    int64_t longestLow = 0;  // container units
    bool longestLowFits = false;
};

// One pass along the positions the seed gives, as the encryptor takes them
// (the skipped ones first, then sixteen a unit): the figures expected once
// the message's units are written and, when asked, the last length before
// the expected figures leave "Low". Every message takes a prefix of the
// same positions, so one pass serves every length.
Sweep SweepPositions(const PixelGrid& carrier, const CarrierEstimates& clean, const Plan& plan, int64_t messageUnits,
                     bool findLongestLow) {
    Sweep sweep;
    ExpectedEmbedding expected(carrier, clean, plan.subGrid);
    SequenceRandom rng;
    PositionSequence positions(carrier, plan.seed, rng, kSkippedPositions + 16 * messageUnits);
    PositionSequence::Position p;
    for (int i = 0; i < kSkippedPositions; ++i)
        if (!positions.Next(p)) return sweep;
    const int64_t maxUnits = MaxContainerUnits(carrier.width, carrier.height);
    bool low = findLongestLow;
    for (int64_t units = 1; units <= maxUnits && (low || units <= messageUnits); ++units) {
        std::array<PositionSequence::Position, 16> unit;
        bool written = true;
        for (int bit = 0; bit < 16 && written; ++bit) written = positions.Next(unit[bit]);
        if (!written) break;
        expected.Write(unit);
        const bool atMessage = units == messageUnits;
        if (!low && !atMessage) continue;
        const DetectabilityFigures f = expected.Figures();
        if (atMessage) sweep.message = f;
        if (low && ConfirmedLow(f)) sweep.longestLow = units;
        else low = false;
    }
    // Still "Low" where the carrier runs out: every message that fits is.
    sweep.longestLowFits = low && sweep.longestLow > 0;
    // A message found "Low" is not told that a shorter one is the longest.
    if (sweep.message.verdict == Detectability::Low) sweep.longestLow = std::max(sweep.longestLow, messageUnits);
    return sweep;
}

// Container units back to message units, for text that compresses like
// the message: the cost of each unit past the first is measured on the
// message itself (a short message gives the incompressible cost, which
// errs on the short side).
int64_t MessageUnitsFor(int64_t units, const DetectabilityRequest& r, const PixelGrid& carrier, const Plan& plan,
                        int64_t messageUnits) {
    const int64_t single = ContainerUnitsOf(plan.comment, r.message.substr(0, 1), r.compress);
    if (units < single || single == 0) return 0;
    double perUnit = 1.0;
    const int64_t n = static_cast<int64_t>(r.message.size());
    if (r.compress && n > 1 && messageUnits > single)
        perUnit = std::clamp(static_cast<double>(messageUnits - single) / static_cast<double>(n - 1), 0.01, 1.0);
    const double limit = 0.05 * carrier.width * static_cast<double>(carrier.height);
    return std::min<int64_t>(1 + static_cast<int64_t>((units - single) / perUnit), static_cast<int64_t>(limit));
}

PredictionStatus StatusOf(StepStatus s) {
    switch (s) {
        case StepStatus::Done: return PredictionStatus::Done;
        case StepStatus::CompressionError: return PredictionStatus::CompressionError;
        case StepStatus::PositionsExhausted: return PredictionStatus::PositionsExhausted;
        case StepStatus::TooLong:
        case StepStatus::NeedsStep1: break;
    }
    return PredictionStatus::TooLarge;
}

// The encryptor's own refusals of a message too long for the carrier.
bool EncryptorWouldRefuse(const PixelGrid& carrier, const std::u16string& comment, const DetectabilityRequest& r) {
    if (16.0 * static_cast<double>(r.message.size()) > 0.8 * carrier.width * static_cast<double>(carrier.height))
        return true;
    const int64_t units = ContainerUnitsOf(comment, r.message, r.compress);
    return units > 0 && !ContainerFitsWindow(units, carrier.width, carrier.height);
}

}  // namespace

Detectability ClassifyDetectability(double carrierEstimate, double delta, double subGridDelta) {
    if (delta >= kHighDelta || carrierEstimate + delta > kHighEstimate) return Detectability::High;
    if (delta < kLowDelta && subGridDelta < kLowSubGridDelta) return Detectability::Low;
    return Detectability::Medium;
}

std::u16string DetectabilityName(Detectability level) {
    switch (level) {
        case Detectability::Low: return u"Low";
        case Detectability::Medium: return u"Medium";
        case Detectability::High: break;
    }
    return u"High";
}

uint32_t DetectabilityColour(Detectability level) {
    switch (level) {
        case Detectability::Low: return kStatsGoodColour;
        case Detectability::Medium: return kStatsWarningColour;
        case Detectability::High: break;
    }
    return kStatsBadColour;
}

CarrierEstimates EstimateCarrier(const PixelGrid& carrier, int onlySubGrid) {
    CarrierEstimates e;
    {
        // The whole image's pass is the longest; the sub-grids' run beside it.
        WorkBeside whole([&] { e.wholeTallies = TallyLsbs(carrier); }, IsLarge(carrier));
        for (int i = 0; i < kSubGrids; ++i) {
            if (onlySubGrid >= 0 && i != onlySubGrid) continue;
            e.subGridTallies[i] = TallyLsbs(SubGrid(carrier, i));
            const LsbShareEstimate sub = EstimateFromTallies(e.subGridTallies[i]).combined;
            e.subGrids.subGrids[i] = sub;
            if (sub.ok && (e.subGrids.largest < 0 || sub.share > e.subGrids.Largest().share)) e.subGrids.largest = i;
        }
    }
    e.whole = EstimateFromTallies(e.wholeTallies).combined;
    return e;
}

DetectabilityFigures MeasureDetectability(const CarrierEstimates& carrier, const PixelGrid& image, int subGrid) {
    subGrid = std::clamp(subGrid, 0, kSubGrids - 1);
    return FiguresOf(carrier, subGrid, EstimateLsbReplacement(image).combined,
                     EstimateLsbReplacement(SubGrid(image, subGrid)).combined);
}

namespace {

Plan MakePlan(const DetectabilityRequest& request) {
    Plan plan{std::mt19937_64(request.seed ? request.seed : std::random_device{}()), {}, 0, 0};
    // Without a key the positions are still the same from one prediction to
    // the next: a verdict near an edge must not change while nothing does.
    std::mt19937_64 commentRandom(request.seed ? request.seed : kStableCommentSeed);
    plan.comment = request.keyComment.size() >= 22 ? request.keyComment : ThrowawayComment(commentRandom);
    KeyParams params;
    KeyParameters(plan.comment, params);
    plan.seed = params.seed;
    plan.subGrid = SubGridIndex(params.flagX, params.flagY);
    return plan;
}

bool IsWholeGrid(const PixelGrid& g) {
    return !g.empty() && g.pixels.size() == static_cast<size_t>(g.width) * static_cast<size_t>(g.height);
}

// `estimates` gives the carrier's estimates once the trial needs them: the
// one-shot form makes them meanwhile.
DetectabilityPrediction Predict(const PixelGrid& carrier, const std::function<const CarrierEstimates&()>& estimates,
                                const DetectabilityRequest& request, Plan plan) {
    DetectabilityPrediction p;
    if (!IsWholeGrid(carrier)) return p;
    p.status = PredictionStatus::NoMessage;
    if (request.message.empty()) return p;
    p.status = PredictionStatus::TooLarge;
    if (EncryptorWouldRefuse(carrier, plan.comment, request)) return p;
    const Trial trial = RunTrial(carrier, plan, request.message, request.compress);
    p.status = StatusOf(trial.status);
    if (p.status != PredictionStatus::Done) return p;
    p.containerUnits = trial.units;
    p.changedLsbs = trial.changed;
    const Sweep sweep = SweepPositions(carrier, estimates(), plan, trial.units, request.findLongestLow);
    p.figures = sweep.message;
    if (!request.findLongestLow) return p;
    p.longestLow = MessageUnitsFor(sweep.longestLow, request, carrier, plan, trial.units);
    p.longestLowFits = sweep.longestLowFits;
    return p;
}

}  // namespace

DetectabilityPrediction PredictDetectability(const PixelGrid& carrier, const DetectabilityRequest& request) {
    Plan plan = MakePlan(request);
    if (!IsWholeGrid(carrier) || request.message.empty()) {
        const CarrierEstimates none;
        return Predict(carrier, [&]() -> const CarrierEstimates& { return none; }, request, std::move(plan));
    }
    // The carrier is estimated while the trial runs.
    CarrierEstimates clean;
    std::optional<WorkBeside> estimating;
    estimating.emplace([&] { clean = EstimateCarrier(carrier, plan.subGrid); }, IsLarge(carrier));
    return Predict(
        carrier,
        [&]() -> const CarrierEstimates& {
            estimating.reset();
            return clean;
        },
        request, plan);
}

DetectabilityPrediction PredictDetectability(const PixelGrid& carrier, const CarrierEstimates& clean,
                                             const DetectabilityRequest& request) {
    return Predict(carrier, [&]() -> const CarrierEstimates& { return clean; }, request, MakePlan(request));
}

std::vector<std::u16string> DetectabilityLines(const DetectabilityPrediction& p) {
    if (p.status != PredictionStatus::Done) return {};
    const DetectabilityFigures& f = p.figures;
    auto percent = [](double share) { return FormatNumber(share, "0.00%"); };
    const std::u16string sub = std::u16string(u"x+") + (f.subGrid & 1 ? u"1" : u"0") + u" y+" +
                               (f.subGrid & 2 ? u"1" : u"0");
    std::u16string longest = FormatNumber(static_cast<double>(p.longestLow), "#,##0") + u" characters";
    if (p.longestLowFits) longest += u" (every message that fits)";
    return {u"Carrier Estimate: " + percent(f.carrierEstimate),
            u"Predicted Estimate: " + percent(f.estimate),
            u"Delta: " + percent(f.delta),
            u"Sub-Grid (" + sub + u") Carrier Estimate: " + percent(f.carrierSubGridEstimate),
            u"Sub-Grid Predicted Estimate: " + percent(f.subGridEstimate),
            u"Sub-Grid Delta: " + percent(f.subGridDelta),
            u"Longest Low Message: " + longest,
            u"Detectability: " + DetectabilityName(f.verdict)};
}

std::u16string PredictionFailureText(PredictionStatus status) {
    switch (status) {
        case PredictionStatus::Done: return {};
        case PredictionStatus::NoCarrier: return u"no carrier image";
        case PredictionStatus::NoMessage: return u"no message";
        case PredictionStatus::TooLarge: return u"the message is too large for the carrier";
        case PredictionStatus::CompressionError: return u"the message could not be compressed";
        case PredictionStatus::PositionsExhausted: return u"the carrier has too few textured pixels for the message";
    }
    return {};
}

}  // namespace corvane
