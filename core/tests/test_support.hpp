#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "core/pixel_grid.hpp"

namespace corvane::testing {

// A fresh folder below the system's temporary folder, removed with its
// content when the object goes.
class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string PhotoPath(const std::string& name) { return std::string(CORVANE_PHOTOS_DIR) + "/" + name; }
// Small image files made by other programs, damaged ones among them.
inline std::string TestImagePath(const std::string& name) {
    return std::string(CORVANE_PHOTOS_DIR) + "/../images/" + name;
}

inline PixelGrid RandomGrid(int w, int h, uint32_t seed) {
    std::mt19937 gen(seed);
    PixelGrid g(w, h);
    for (auto& p : g.pixels) p = gen() & 0xFFFFFFu;
    return g;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace corvane::testing
