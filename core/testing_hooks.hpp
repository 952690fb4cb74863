#pragma once
// Hooks that only tests call, to reach failures a real run meets rarely. No
// program calls them.
#include <chrono>
#include <string>

namespace corvane {

// The decoder process simulates a fault: "crash", "hang", "memory", "kill";
// empty for none.
void SetDecoderFaultForTesting(const std::string& fault);
// The wall-clock time a decode may take at most.
void SetDecoderTimeLimitForTesting(std::chrono::milliseconds limit);
// Files are written as on a file system without unnamed files, where a
// hidden, named temporary file stands in.
void UseNamedTemporariesForTesting(bool named);

}  // namespace corvane
