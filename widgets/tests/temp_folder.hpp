#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace corvane::testing {

// A fresh folder below the system's temporary folder, removed with its
// content when the object goes.
class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-widgets-XXXXXX").string();
        if (mkdtemp(tmpl.data())) path_ = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    void Write(const std::string& name, const std::string& bytes = "x") const {
        std::ofstream(*this / name, std::ios::binary) << bytes;
    }

private:
    std::string path_;
};

}  // namespace corvane::testing
