#include "encrypt/carrier_analysis.hpp"

#include "core/hidden_message.hpp"
#include "core/number_format.hpp"

namespace corvane {

LsbUsage UpdateLsbUsage(std::u16string_view message, int imageWidth, int imageHeight) {
    LsbUsage usage;
    usage.messageBytes = static_cast<int64_t>(message.size()) * 2;
    if (imageWidth > 0 && imageHeight > 0) {
        // 64-bit products: a long message or a large image must not wrap.
        const int64_t changedBits = usage.messageBytes * 8;
        const int64_t channelBits = static_cast<int64_t>(imageWidth) * imageHeight * 3;
        usage.lsbShare = static_cast<double>(changedBits) * 0.5 / static_cast<double>(channelBits);
        usage.recolour = true;
        usage.colour = usage.lsbShare <= 0.05 ? kLsbGood : usage.lsbShare <= 0.10 ? kLsbWarning : kLsbBad;
    }
    usage.caption = FormatNumber(static_cast<double>(usage.messageBytes), "#,##,0") + u"B";
    if (usage.lsbShare > 0) usage.caption += u"/" + FormatNumber(usage.lsbShare, "0.000%");
    return usage;
}

int SampleStep(int length) {
    return length <= 1000 ? 10 : static_cast<int>(Nearest(static_cast<double>(length) / 100.0));
}

double PenaltyTerm(double ratio) { return ratio > 0.05 ? 0.0 : 1.0 - ratio / 0.05; }

Verdict EncodabilityVerdict(double score) {
    if (score < 0.80) return Verdict::Nogo;
    if (score <= 0.90) return Verdict::Marginal;
    return Verdict::Ok;
}

std::u16string EncodabilityCaption(double score) {
    static const char16_t* const kVerdicts[] = {u" - NOGO", u" - Marginal", u" - OK"};
    return FormatNumber(score, "0.00%") + kVerdicts[static_cast<int>(EncodabilityVerdict(score))];
}

CarrierAnalysisResult AnalyseCarrier(const PixelGrid& carrier, Reporter& reporter) {
    CarrierAnalysisResult r;
    reporter.ProgressFraction(0.0);

    const int w = carrier.width;
    const int h = carrier.height;
    const bool whole = !carrier.empty() && carrier.pixels.size() == static_cast<size_t>(w) * static_cast<size_t>(h);
    if (whole) {
        const int stepX = SampleStep(w);
        const int stepY = SampleStep(h);
        for (int x = 10; x <= w - 10; x += stepX) {
            for (int y = 10; y <= h - 10; y += stepY) {
                ++r.sampleCount;
                if (EligibleChannel(carrier, x, y) > 0) ++r.encCount;
                const uint32_t c = carrier.at(x, y) & 0xFFFFFFu;
                if (c == Rgb(0, 0, 0))
                    ++r.blackCount;
                else if (c == Rgb(255, 255, 255))
                    ++r.whiteCount;
                if ((carrier.at(x - 1, y) & 0xFFFFFFu) == c) ++r.sameCount;
                if ((carrier.at(x + 1, y) & 0xFFFFFFu) == c) ++r.sameCount;
                if ((carrier.at(x, y - 1) & 0xFFFFFFu) == c) ++r.sameCount;
                if ((carrier.at(x, y + 1) & 0xFFFFFFu) == c) ++r.sameCount;
            }
            reporter.ProgressFraction(static_cast<double>(x + 1) / w);
        }
    }

    if (r.sampleCount == 0) {
        // Nothing was sampled, so nothing speaks for the carrier.
        r.caption = EncodabilityCaption(0.0);
        return r;
    }
    const double n = r.sampleCount;
    r.encRatio = r.encCount / n;
    r.sameRatio = (r.sameCount / 4.0) / n;
    r.blackRatio = r.blackCount / n;
    r.whiteRatio = r.whiteCount / n;
    r.statistics = u"Enc: " + FormatNumber(r.encRatio, "00.00%") + u" Same: " + FormatNumber(r.sameRatio, "00.00%") +
                   u" Blk: " + FormatNumber(r.blackRatio, "00.00%") + u" Wht: " + FormatNumber(r.whiteRatio, "00.00%");
    r.score = 0.25 * r.encRatio + 0.25 * PenaltyTerm(r.sameRatio) + 0.25 * PenaltyTerm(r.blackRatio) +
              0.25 * PenaltyTerm(r.whiteRatio);
    r.verdict = EncodabilityVerdict(r.score);
    r.colour = r.verdict == Verdict::Ok ? kScoreOk : r.verdict == Verdict::Marginal ? kScoreMarginal : kScoreNogo;
    r.caption = EncodabilityCaption(r.score);
    return r;
}

}  // namespace corvane
