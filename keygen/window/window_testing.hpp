#pragma once
// What the key generator's window tests reach beyond its controls.
#include <functional>
#include <utility>

#include "keygen/window/keygen_window.hpp"

namespace corvane::keygen {

struct KeygenWindowTesting {
    // Runs on the batch's worker thread before each key, before the batch
    // asks whether to stop: a test holds the batch between two keys with it.
    static void SetBetweenKeys(KeygenWindow& window, std::function<void()> betweenKeys) {
        window.betweenKeys_ = std::move(betweenKeys);
    }
};

}  // namespace corvane::keygen
