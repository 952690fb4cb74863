#pragma once
// What the program and its image decoder process say to each other. The
// decoder is started with the image file on descriptor 0 (read only), a
// socket to the program on 1 and /dev/null on 2; its arguments are the
// library format number, the load flags and an optional test fault. It
// confines itself (core/sandbox.hpp) before it reads a byte of the image.
//
//   decoder -> program  Reply{Header, status, width, height} from the header
//   program -> decoder  kGoDecode, or closes the socket to stop it there
//   decoder -> program  Reply{Decoded, status, width, height} once decoded
//   program -> decoder  kGoCopy once it has room for width x height pixels
//   decoder -> program  Reply{Copied, status, commentBytes, 0}, then the
//                       comment's bytes, then the pixels, four bytes each,
//                       row after row from the top, as they are converted
//
// The rows go through the socket straight into the program's grid: the
// program never holds a second copy of the image, and no memory file counts
// against the user's file-size limit.
#include <cstdint>

namespace corvane::decoder {

inline constexpr int kImageFd = 0;
inline constexpr int kChannelFd = 1;

inline constexpr char kGoDecode = 'D';
inline constexpr char kGoCopy = 'C';

enum class Stage : uint32_t { Header = 1, Decoded = 2, Copied = 3 };

enum class Status : uint32_t {
    Ok = 0,
    NotReadable = 1,   // the header is not one of the format's
    TooLarge = 2,      // over the pixel limit, or no pixels
    Damaged = 3,       // the header was fine, the image data does not decode
    OutOfMemory = 4,
    Failed = 5,        // anything else (a shared memory that cannot be mapped)
    TooDense = 6,      // more pixels than a file of its size can hold (a, b: the size)
    TooManyScans = 7,  // a progressive JPEG of more scans than decoding allows (a: the scans)
};

struct Reply {
    Stage stage;
    Status status;
    uint32_t a;
    uint32_t b;
};

// The decoder's exit status when it stops for want of memory outside the
// replies (an allocation failure deep inside a library).
inline constexpr int kExitOutOfMemory = 75;

// Comments longer than this are cut; a key's comment has 28 characters.
inline constexpr uint32_t kMaxCommentBytes = 1u << 16;

// Test faults, named on the command line by the program's test hook.
inline constexpr const char* kFaultCrash = "crash";
inline constexpr const char* kFaultHang = "hang";
inline constexpr const char* kFaultMemory = "memory";
inline constexpr const char* kFaultKill = "kill";  // ends itself by SIGKILL

}  // namespace corvane::decoder
