#pragma once
// Overwrite-then-delete of used keys and images.
#include <functional>
#include <string>
#include <string_view>

#include "core/reporter.hpp"
#include "core/sequence_random.hpp"

namespace corvane {

struct WipeResult {
    int passesDone = 0;
    bool deleted = false;
    std::string error;  // empty when the file was overwritten and deleted
    bool ok() const { return deleted && error.empty(); }
};

// Overwrites the file `passes` times with bytes nearest(r x 255), r the next
// values of rng, each pass flushed to the disk before the next, then deletes
// it. A file of zero length is deleted at once. Never throws: a missing,
// unreadable or unwritable file, or a failed deletion, is described in the
// result. A file that WipeRefusal refuses is left untouched.
// `betweenPasses` runs after every pass (lets a window repaint).
WipeResult WipeFile(const std::string& path, int passes, SequenceRandom& rng,
                    const std::function<void()>& betweenPasses = {});

// Why `path` must not be wiped, or empty when nothing speaks against it now
// (a missing file is left to the wipe to report). Only a regular file with
// one name may be wiped: overwriting a file with a second hard link destroys
// the data under that other name too, and a symbolic link would send the
// overwrite wherever it points.
std::string WipeRefusal(const std::string& path);

// True when both paths name one file (the same inode), as when a key is also
// given as the carrier: it can be wiped only once.
bool SameFile(const std::string& a, const std::string& b);

// How many times the encryptor and the decryptor overwrite a used file.
inline constexpr int kWipePasses = 7;

// Wipes a used file the way the operations do: logs `heading`, then
// "Complete." or "Wipe Unsuccessful: <reason>" (the reason also lands in
// `error`), letting window events run between passes. True when wiped.
bool WipeUsedFile(const std::string& path, std::u16string_view heading, SequenceRandom& rng, Reporter& reporter,
                  std::string& error);

}  // namespace corvane
