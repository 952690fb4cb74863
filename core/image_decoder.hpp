#pragma once
// Loading image files. Image files come from anyone, and the libraries that
// decode them crash, hang or exhaust memory on damaged ones; so every file is
// decoded in a separate decoder process with limits on its memory and time,
// and only the size, the pixels and the comment come back. Whatever happens
// to the decoder, the caller gets a clean failure with a reason.
#include <chrono>
#include <string>

#include "core/image_formats.hpp"
#include "core/pixel_grid.hpp"

namespace corvane {

// One image file in its decoder: the size first, from the header alone, so
// that a caller can refuse an image before any pixel is decoded; then the
// pixels. Every failure leaves a reason in error().
class ImageReader {
public:
    ImageReader() = default;
    ~ImageReader();
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    // Starts the decoder on the file and reads the size from its header.
    bool Open(const std::string& path, LoadRule rule);
    // The same on an open descriptor, which stays the caller's.
    bool OpenDescriptor(int fd, LoadRule rule);
    int width() const { return width_; }
    int height() const { return height_; }

    // Decodes the pixels (and the "Comment" metadata, when asked for).
    // Ends the decoder either way.
    bool Decode(PixelGrid& grid, std::u16string* comment = nullptr);

    // The same in steps, so that two images (a picture and its key) are
    // read and decoded side by side: Start both, WaitForHeader on both,
    // StartDecode both, then Decode each.
    bool Start(const std::string& path, LoadRule rule);
    bool StartDescriptor(int fd, LoadRule rule);
    bool WaitForHeader();
    bool StartDecode();

    // Why the last Open or Decode failed, e.g. "the decoder crashed".
    const std::string& error() const { return error_; }

private:
    bool Spawn(int fd, LoadRule rule);
    bool Receive(void* data, size_t size, std::chrono::steady_clock::time_point deadline);
    bool Send(const void* data, size_t size);
    bool Fail(const std::string& reason);
    std::string ReasonForEnd();
    void Stop();

    int pid_ = -1;
    uint64_t fileSize_ = 0;
    uint64_t cpuLimit_ = 0;  // the decoder's CPU limit, in seconds
    int channel_ = -1;
    int width_ = 0;
    int height_ = 0;
    LoadRule rule_{};
    bool timedOut_ = false;
    bool headerPending_ = false;
    bool decodeStarted_ = false;
    std::chrono::steady_clock::time_point decodeDeadline_;
    std::string error_;
};

// Keys are always PNG, whatever their name.
inline constexpr LoadRule kKeyLoadRule{ImageFormat::Png, 0};

// The one-call forms. `error` (when given) receives the reason of a failure.
bool LoadGridAs(const std::string& path, LoadRule rule, PixelGrid& grid, std::u16string* comment = nullptr,
                std::string* error = nullptr);
// By the file-name ending (LoadRuleForPath).
bool LoadGrid(const std::string& path, PixelGrid& grid, std::string* error = nullptr);
bool LoadKeyGrid(const std::string& path, PixelGrid& grid, std::u16string& comment, std::string* error = nullptr);

// Why a decoder process ended, from its wait status, the CPU time it used and
// the CPU limit it had, in seconds: "the decoder took too long", "the decoder
// crashed", "the decoder was stopped by signal 9", ...
std::string DecoderEndReason(int waitStatus, double cpuSeconds, double cpuLimit);

// The decoder program to start (default: corvane-decode beside the running
// program). Test hooks live in core/testing_hooks.hpp.
void SetDecoderProgram(const std::string& path);

}  // namespace corvane
