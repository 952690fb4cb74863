#include "encrypt/carrier_loading.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "core/image_formats.hpp"
#include "core/number_format.hpp"

namespace corvane {

bool ParseMaxWidth(std::string_view text, int& width) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    const std::string digits(text);
    char* end = nullptr;
    const double v = std::strtod(digits.c_str(), &end);
    if (digits.empty() || *end != '\0' || !std::isfinite(v)) return false;
    const int64_t n = Nearest(v);
    if (n < 1 || n > 1000000) return false;
    width = static_cast<int>(n);
    return true;
}

void ResizedCarrierSize(int w0, int h0, const CarrierResize& resize, int& w, int& h) {
    w = w0;
    h = h0;
    // A size below one pixel leaves the carrier as it is, as rescaling does.
    auto take = [&](int64_t nw, int64_t nh) {
        if (nw >= 1 && nh >= 1) {
            w = static_cast<int>(nw);
            h = static_cast<int>(nh);
        }
    };
    if (resize.maxWidth > 0 && w0 > resize.maxWidth)
        take(resize.maxWidth, Nearest(static_cast<double>(h0) * resize.maxWidth / w0));
    if (resize.ratio != 1.0) take(Nearest(w0 * resize.ratio), Nearest(h0 * resize.ratio));
}

bool DecodeCarrier(ImageReader& reader, const CarrierResize& resize, PixelGrid& carrier) {
    if (!reader.Decode(carrier)) return false;
    const int w0 = carrier.width, h0 = carrier.height;
    if (resize.maxWidth > 0 && w0 > resize.maxWidth) {
        const int h = static_cast<int>(Nearest(static_cast<double>(h0) * resize.maxWidth / w0));
        carrier = RescaleGrid(carrier, resize.maxWidth, h, ResizeFilter::Bilinear);
    }
    if (resize.ratio != 1.0) {
        const int w = static_cast<int>(Nearest(w0 * resize.ratio));
        const int h = static_cast<int>(Nearest(h0 * resize.ratio));
        carrier = RescaleGrid(carrier, w, h, ResizeFilter::Bilinear);
    }
    return !carrier.empty();
}

bool ListCarriers(const std::string& folder, const std::string& keyPath, std::vector<std::string>& files,
                  std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::error_code fileEc;
        if (!entry.is_regular_file(fileEc)) continue;
        if (fs::equivalent(entry.path(), fs::path(keyPath), fileEc)) continue;
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return true;
}

}  // namespace corvane
