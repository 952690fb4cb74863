// corvane analyze: the least-significant-bit figures of an image against the
// carrier it came from, a blind estimate of how many of its LSBs were
// replaced, and the analysis window's pictures as PNG files.
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/args.hpp"
#include "cli/command.hpp"
#include "core/code_page.hpp"
#include "core/image_decoder.hpp"
#include "core/image_file.hpp"
#include "core/image_formats.hpp"
#include "encrypt/image_analysis.hpp"
#include "encrypt/steganalysis.hpp"

namespace corvane::cli {
namespace {

constexpr char kUsage[] =
    "Usage: corvane analyze --image FILE [--reference FILE] [--estimate]\n"
    "                       [--lsb-view all|r|g|b|diff --lsb-out PNG]\n"
    "                       [--variation r|g|b --variation-out PNG]\n"
    "\n"
    "Examines the least significant bits of an image (typically an encrypted\n"
    "one) against its original. With --reference it prints\n"
    "  \"Chi-Squared Average Probability: ..%\" (when both images have the\n"
    "  same size) and the PSNR per channel, \"R:.. G:.. B:..\".\n"
    "With --estimate it prints, from the image alone, the estimated share of\n"
    "  pixels whose least significant bits were replaced by message bits:\n"
    "  \"LSB Replacement: ..% RS:..% (R:.. G:.. B:..) SPA:..% (R:.. G:.. B:..)\",\n"
    "  the mean of RS analysis and sample-pair analysis, then each method for\n"
    "  the three channels together and alone. A replaced bit keeps its value\n"
    "  half the time, so about half that share of LSBs actually changed.\n"
    "  Untouched photos often read a few percent; \"--\" marks a figure that\n"
    "  the image is too small to give.\n"
    "  A second line gives the same combined figure for each of the four\n"
    "  2 x 2 sub-grids (pixels with x and y of one parity), the largest first:\n"
    "  \"Largest Sub-Grid LSB Replacement: ..% (x+1 y+0) Sub-Grids: .. .. .. ..\"\n"
    "  (x+0 y+0, x+1 y+0, x+0 y+1, x+1 y+1). An embedding that writes only one\n"
    "  sub-grid reads about four times higher there than on the whole image.\n"
    "\n"
    "  --image FILE          the image to examine\n"
    "  --reference FILE      the original (carrier) image\n"
    "  --estimate            estimate the share of replaced LSBs\n"
    "  --lsb-view MODE       all: the RGB LSBs; r, g, b: one channel's LSBs;\n"
    "                        diff: where the LSBs differ from the reference\n"
    "                        (default all)\n"
    "  --lsb-out PNG         write the LSB view to this new PNG file\n"
    "  --variation CHANNEL   r, g or b: the channel of the variation map\n"
    "  --variation-out PNG   write the local variation map to this new PNG file\n"
    "\n"
    "Existing files are never replaced.\n";

bool Load(const std::string& path, const char* what, PixelGrid& grid) {
    std::string error;
    if (LoadGrid(path, grid, &error)) return true;
    std::fprintf(stderr, "corvane analyze: cannot load %s '%s': %s\n", what, path.c_str(), error.c_str());
    return false;
}

bool Write(const PixelGrid& grid, const std::string& path) {
    std::string reason;
    switch (SaveGridFile(grid, OutputKind::Png, path, {}, &reason)) {
        case SaveStatus::Saved: return true;
        case SaveStatus::AlreadyExists:
            std::fprintf(stderr, "corvane analyze: '%s' already exists\n", path.c_str());
            return false;
        case SaveStatus::Failed: break;
    }
    std::fprintf(stderr, "corvane analyze: cannot write '%s': %s\n", path.c_str(), reason.c_str());
    return false;
}

// What the command line asks for, checked before any file is read.
struct AnalyzeRequest {
    std::string imagePath;
    std::optional<std::string> referencePath;
    int32_t viewMode = kLsbViewAll;
    int variationChannel = 0;
    bool estimate = false;
};

std::optional<int> ParseViews(const Args& args, AnalyzeRequest& req) {
    static const std::map<std::string, int32_t> kViewModes = {
        {"all", kLsbViewAll}, {"r", kLsbViewRed}, {"g", kLsbViewGreen}, {"b", kLsbViewBlue}, {"diff", kLsbViewDiff}};
    if (const auto name = args.Value("--lsb-view")) {
        const auto it = kViewModes.find(*name);
        if (it == kViewModes.end()) return UsageError("analyze", "--lsb-view takes all, r, g, b or diff");
        req.viewMode = it->second;
        if (!args.Has("--lsb-out")) return UsageError("analyze", "--lsb-view needs --lsb-out");
    }
    if (req.viewMode == kLsbViewDiff && !req.referencePath)
        return UsageError("analyze", "--lsb-view diff needs --reference");
    if (const auto name = args.Value("--variation")) {
        const auto it = kViewModes.find(*name);
        if (it == kViewModes.end() || it->second < kLsbViewRed || it->second > kLsbViewBlue)
            return UsageError("analyze", "--variation takes r, g or b");
        req.variationChannel = it->second;
    }
    if ((req.variationChannel != 0) != args.Has("--variation-out"))
        return UsageError("analyze", "--variation and --variation-out go together");
    return std::nullopt;
}

std::optional<int> ParseRequest(const std::vector<std::string>& argv, Args& args, AnalyzeRequest& req) {
    if (!args.Parse(argv, {"--image", "--reference", "--lsb-view", "--lsb-out", "--variation", "--variation-out"},
                    {"--estimate"}))
        return UsageError("analyze", args.error());
    if (const std::string empty = args.EmptyPath({"--image", "--reference", "--lsb-out", "--variation-out"}); !empty.empty())
        return UsageError("analyze", empty + " needs a file or folder name");
    const auto imagePath = args.Value("--image");
    if (!imagePath) return UsageError("analyze", "--image is required");
    req.imagePath = *imagePath;
    req.referencePath = args.Value("--reference");
    if (const auto usage = ParseViews(args, req)) return usage;
    req.estimate = args.Has("--estimate");
    if (!req.referencePath && !req.estimate && !args.Has("--lsb-out") && !args.Has("--variation-out"))
        return UsageError("analyze", "nothing to do: give --reference, --estimate, --lsb-out or --variation-out");
    return std::nullopt;
}

// The chi-squared average and the PSNR against the reference; false when
// the PSNR cannot be computed.
bool CompareWithReference(const PixelGrid& image, const PixelGrid& reference) {
    if (const auto chi = ComputeChiSquared(image, reference))
        std::printf("Chi-Squared Average Probability: %s\n", TextToUtf8(chi->averageText).c_str());
    else
        std::fprintf(stderr, "corvane analyze: no chi-squared test: the image is %dx%d, the reference %dx%d\n",
                     image.width, image.height, reference.width, reference.height);
    const PsnrResult psnr = ComputePsnr(reference, image);
    if (psnr.ok) std::printf("%s\n", TextToUtf8(psnr.text).c_str());
    else std::fprintf(stderr, "%s\n", TextToUtf8(psnr.text).c_str());
    std::fflush(stdout);
    return psnr.ok;
}

int Run(const std::vector<std::string>& argv) {
    Args args;
    AnalyzeRequest req;
    if (const auto usage = ParseRequest(argv, args, req)) return *usage;

    PixelGrid image;
    PixelGrid reference;
    if (!Load(req.imagePath, "image", image)) return kExitFailed;
    if (req.referencePath && !Load(*req.referencePath, "reference image", reference)) return kExitFailed;

    int status = kExitDone;
    if (req.referencePath && !CompareWithReference(image, reference)) status = kExitFailed;
    if (req.estimate) {
        std::printf("%s\n%s\n", TextToUtf8(LsbEstimateCaption(EstimateLsbReplacement(image))).c_str(),
                    TextToUtf8(SubGridEstimateCaption(EstimateSubGrids(image))).c_str());
        std::fflush(stdout);
    }
    if (const auto out = args.Value("--lsb-out"))
        if (!Write(LsbView(image, req.viewMode, reference), *out)) status = kExitFailed;
    if (const auto out = args.Value("--variation-out"))
        if (!Write(VariationMapOfChannel(image, req.variationChannel), *out)) status = kExitFailed;
    return status;
}

CommandRegistrar reg({"analyze", "examine an image's least significant bits against its original", kUsage, &Run});

}  // namespace
}  // namespace corvane::cli
