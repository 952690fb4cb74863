#pragma once
// How visible a message will be to standard LSB steganalysis, before it is
// hidden. The share of least significant bits an embedding changes does not
// depend on the key: one embedding with a throwaway random key of the
// carrier's size, run through the encryptor's own steps, gives the
// positions the message takes, and the estimators' counts are moved there
// to what they are expected to be over every key. One random key would
// only sample that figure, with noise as large as the gaps between the
// verdicts on a small photo.
//
// Every pure function here keeps no state and every generator is local:
// windows call the prediction from a worker thread.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/pixel_grid.hpp"
#include "encrypt/steganalysis.hpp"

namespace corvane {

enum class Detectability { Low, Medium, High };

// A rise of the whole image's estimate below kLowDelta and of the written
// sub-grid's below kLowSubGridDelta is "Low"; from kHighDelta, or once the
// carrier's own estimate plus the rise passes kHighEstimate, "High".
inline constexpr double kLowDelta = 0.005;
inline constexpr double kLowSubGridDelta = 0.02;
inline constexpr double kHighDelta = 0.02;
inline constexpr double kHighEstimate = 0.05;

Detectability ClassifyDetectability(double carrierEstimate, double delta, double subGridDelta);
// "Low", "Medium", "High".
std::u16string DetectabilityName(Detectability level);
// Green, yellow, red: the statistics label's colours.
uint32_t DetectabilityColour(Detectability level);

// The estimators' figures of a carrier, computed once per carrier: a window
// recomputing the prediction as the message changes passes them back in.
// The tallies let a prediction move the counts at the positions it writes
// instead of estimating the whole image again.
struct CarrierEstimates {
    LsbShareEstimate whole;  // the combined figure of the whole image
    SubGridEstimates subGrids;
    LsbTallies wholeTallies;
    std::array<LsbTallies, kSubGrids> subGridTallies;
};
// Every sub-grid, or only sub-grid `onlySubGrid` (the others then give no
// figure).
CarrierEstimates EstimateCarrier(const PixelGrid& carrier, int onlySubGrid = -1);

// The estimates of a carrier and of an image made from it, and what they
// come to. Shares as the estimators give them (0.01 = 1%).
struct DetectabilityFigures {
    double carrierEstimate = 0;
    double estimate = 0;  // after embedding
    double delta = 0;
    int subGrid = 0;  // the sub-grid the embedding wrote, as SubGridIndex numbers it
    double carrierSubGridEstimate = 0;
    double subGridEstimate = 0;
    double subGridDelta = 0;
    Detectability verdict = Detectability::Low;
};

// The figures of an image made from `carrier` (same size) by writing on
// `subGrid`; the verdict the saved image earns. Figures an image does not
// give (too small) count as 0.
DetectabilityFigures MeasureDetectability(const CarrierEstimates& carrier, const PixelGrid& image, int subGrid);

struct DetectabilityRequest {
    std::u16string message;
    bool compress = true;
    // The real key's comment when it is known: the trial then takes the
    // positions and the sub-grid the encryption will take. Empty: a
    // throwaway comment (a sub-grid of its own).
    std::u16string keyComment;
    // Seeds the throwaway key and comment; 0 draws the key from the system
    // and takes one fixed comment, so that predictions without a key agree.
    uint64_t seed = 0;
    // Off: no search for the longest "Low" message.
    bool findLongestLow = true;
};

enum class PredictionStatus {
    Done,
    NoCarrier,           // empty carrier
    NoMessage,           // empty message
    TooLarge,            // the encryptor would refuse the message as too long
    CompressionError,    // zlib refused the message
    PositionsExhausted,  // too few textured pixels for the message
};

struct DetectabilityPrediction {
    PredictionStatus status = PredictionStatus::NoCarrier;
    DetectabilityFigures figures;
    int64_t containerUnits = 0;  // UTF-16 units embedded, fixed ones included
    int64_t changedLsbs = 0;     // LSBs the throwaway key's embedding changed
    // The longest message, in UTF-16 units, compressed as asked and as
    // compressible as this one, whose expected figures stay "Low" on this
    // carrier (with a margin for the saved image's own scatter);
    // 0 when none is (a busy carrier may read "High" before any message).
    // `longestLowFits` is true when that is everything the carrier holds.
    int64_t longestLow = 0;
    bool longestLowFits = false;
};

// The prediction for one message on one carrier. The first overload
// estimates the carrier itself (the whole image and the one sub-grid the
// trial writes); the second takes estimates kept from EstimateCarrier with
// every sub-grid, as a window does while the message changes.
DetectabilityPrediction PredictDetectability(const PixelGrid& carrier, const DetectabilityRequest& request);
DetectabilityPrediction PredictDetectability(const PixelGrid& carrier, const CarrierEstimates& clean,
                                             const DetectabilityRequest& request);

// One line per figure, the last "Detectability: Low" (or Medium, High):
// the command prints them, the window's tooltip shows all but the last.
// Empty unless the prediction is Done.
std::vector<std::u16string> DetectabilityLines(const DetectabilityPrediction& prediction);
// Why there is no prediction, for a status other than Done.
std::u16string PredictionFailureText(PredictionStatus status);

}  // namespace corvane
