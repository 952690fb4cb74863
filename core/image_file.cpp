#include "core/image_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/platform.hpp"

namespace corvane {

SaveStatus SaveGridFile(const PixelGrid& grid, OutputKind kind, const std::string& path, const SaveOptions& options) {
    if (!options.overwrite && FileExists(path)) return SaveStatus::AlreadyExists;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string pattern = JoinPath(folder, ".corvane-save-XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return SaveStatus::Failed;
    close(fd);
    const std::string temp(name.data());
    bool ok = SaveGrid(grid, kind, temp, options.comment) && chmod(temp.c_str(), options.mode) == 0;
    if (ok) {
        // The bytes must be on the disk before the name points at them.
        const int sync = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        ok = sync >= 0 && fsync(sync) == 0;
        if (sync >= 0) close(sync);
    }
    if (!ok) {
        unlink(temp.c_str());
        return SaveStatus::Failed;
    }
    int rc;
    if (options.overwrite) {
        rc = rename(temp.c_str(), path.c_str());
    } else {
        rc = renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // File systems without the no-replace rename: a hard link fails
            // the same way when the name is taken.
            rc = link(temp.c_str(), path.c_str());
            if (rc == 0) unlink(temp.c_str());
        }
    }
    if (rc != 0) {
        const bool exists = errno == EEXIST;
        unlink(temp.c_str());
        return exists ? SaveStatus::AlreadyExists : SaveStatus::Failed;
    }
    return SaveStatus::Saved;
}

}  // namespace corvane
