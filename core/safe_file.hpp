#pragma once
// Writing a file whole or not at all. The file is created without a name in
// its destination folder and gets its name only once every byte is on the
// disk; a name that exists is never replaced (unless asked) and never
// followed. Interrupted or failed writes leave nothing behind.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

enum class SaveStatus { Saved, AlreadyExists, Failed };

// Who may read a new file: its owner alone (keys, decrypted messages), or
// everyone the umask allows.
enum class FileAccess { Private, Shared };

class SafeFile {
public:
    SafeFile() = default;
    // Whatever was not committed is discarded.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Opens a new, unnamed file in the folder of `path`. False when the
    // folder cannot take it (see error()).
    bool Create(const std::string& path, FileAccess access);

    // Writes at the current position. A failure sticks: every later write
    // and Commit fail with the first reason.
    bool Write(const void* data, size_t size);
    bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
    // Moves the position (codecs go back to fill in lengths); false past 2^63.
    bool Seek(uint64_t position);
    uint64_t Tell() const { return position_; }
    uint64_t Size() const;
    // Reads at the current position what was written; returns the bytes read.
    size_t Read(void* data, size_t size);

    // A new read-only descriptor of the content, for checking it before it is
    // named; -1 when none can be had. The caller closes it.
    int OpenForReading() const;

    // Flushes the content to the disk and gives the file its name. With
    // replaceExisting an existing file of that name is replaced in one step;
    // otherwise a taken name gives AlreadyExists.
    SaveStatus Commit(bool replaceExisting = false);
    // Drops the file; nothing remains in the folder.
    void Discard();

    bool failed() const { return error_ != 0; }
    int errorNumber() const { return error_; }
    // The system's reason for the first failure ("No space left on device").
    std::string error() const;
    const std::string& path() const { return path_; }

private:
    bool Fail(int error);
    // The steps of Commit; each returns 0 or the reason it failed.
    int CheckReplaceable() const;
    int NameTemporaryFile(bool replaceExisting);
    int NameUnnamedFile(bool replaceExisting);

    std::string path_;
    std::string name_;      // the final name inside the folder
    std::string tempName_;  // set only where the folder cannot hold unnamed files
    int folder_ = -1;
    int fd_ = -1;
    int slot_ = -1;  // the signal-cleanup slot of tempName_
    uint64_t position_ = 0;
    int error_ = 0;
    bool committed_ = false;
};

// Writes `bytes` as a new file through SafeFile. `reason` (when given)
// receives the system's reason for a failure.
SaveStatus WriteFileSafely(const std::string& path, std::string_view bytes, FileAccess access,
                           bool replaceExisting = false, std::string* reason = nullptr);

}  // namespace corvane
