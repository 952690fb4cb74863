#pragma once
// Carriers as the encryptor takes them: loaded through the decoder, shrunk
// by the width limit or the ratio the user chose, and listed from a folder
// for a batch.
#include <string>
#include <string_view>
#include <vector>

#include "core/image_decoder.hpp"
#include "core/pixel_grid.hpp"

namespace corvane {

// The resize ratios offered, largest first: 1.00:1 down to 0.10:1.
inline constexpr double kResizeRatios[] = {1.0, 0.5, 0.25, 0.2, 0.1};

// A width limit as typed: a number (surrounding blanks allowed) that rounds
// to 1 to 1,000,000 pixels. False, leaving `width` alone, for anything else.
bool ParseMaxWidth(std::string_view text, int& width);

struct CarrierResize {
    int maxWidth = 0;    // 0: no width limit
    double ratio = 1.0;  // 1: no ratio
};

// The carrier's size once the width limit and the ratio are applied, both
// taken from the size as loaded (the ratio wins when both are given). Known
// from the header, so that a key too small is refused before decoding.
void ResizedCarrierSize(int loadedWidth, int loadedHeight, const CarrierResize& resize, int& width, int& height);

// Decodes the carrier the reader has open and resizes it: the width limit
// first, then the ratio, both from the size as loaded.
bool DecodeCarrier(ImageReader& reader, const CarrierResize& resize, PixelGrid& carrier);

// The regular, visible files of a folder in name order, leaving out the key
// (hiding a message in it, and wiping it as a carrier, would destroy it).
bool ListCarriers(const std::string& folder, const std::string& keyPath, std::vector<std::string>& files,
                  std::string& error);

}  // namespace corvane
