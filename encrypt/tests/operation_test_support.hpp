#pragma once
// Carriers, keys and recording reporters shared by the encrypt and decrypt
// operation tests.
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/code_page.hpp"
#include "core/hidden_message.hpp"
#include "core/image_file.hpp"
#include "core/image_decoder.hpp"
#include "core/number_format.hpp"
#include "decrypt/decrypt_operation.hpp"
#include "encrypt/encrypt_operation.hpp"
#include "test_support.hpp"

namespace corvane::testing {

// A key comment as the key generator lays it out: "<" S "><" E "><" NN ">".
inline const std::u16string kComment = u"<Qx7!~pL9aZ><Rb2#kT8mWq><01>";

inline int32_t SeedOf(const std::u16string& comment) {
    KeyParams p;
    if (!KeyParameters(comment, p)) throw std::runtime_error("comment without a seed");
    return p.seed;
}

// A w x h piece of a sample photo, from (x0, y0).
inline PixelGrid PhotoCrop(const std::string& name, int x0, int y0, int w, int h) {
    PixelGrid photo;
    if (!LoadGrid(PhotoPath(name), photo)) throw std::runtime_error("cannot load " + name);
    PixelGrid out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out.at(x, y) = photo.at(x0 + x, y0 + y);
    return out;
}

// Per-channel values below `range`, drawn red, green, blue in that order.
inline PixelGrid DarkNoise(int w, int h, int range, uint32_t seed) {
    std::mt19937 g(seed);
    PixelGrid out(w, h);
    for (auto& p : out.pixels) {
        const uint32_t r = g() % range;
        const uint32_t gr = g() % range;
        const uint32_t b = g() % range;
        p = Rgb(r, gr, b);
    }
    return out;
}

inline std::string SaveKey(const std::string& path, const PixelGrid& key, const std::u16string& comment = kComment) {
    SaveOptions options;
    options.comment = comment;
    if (SaveGridFile(key, OutputKind::Key, path, options) != SaveStatus::Saved)
        throw std::runtime_error("cannot save key " + path);
    return path;
}

// Everything a window would have shown, in order, as "kind: text" lines.
struct EventLog {
    std::vector<std::string> events;

    // The texts of one kind of event, in order.
    std::vector<std::string> Only(const std::string& kind) const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.rfind(kind + ": ", 0) == 0) out.push_back(e.substr(kind.size() + 2));
        return out;
    }
    bool Has(const std::string& event) const {
        for (const auto& e : events)
            if (e == event) return true;
        return false;
    }
};

class RecordingEncryptReporter : public EncryptReporter, public EventLog {
public:
    std::vector<std::string> logText;  // Status replaces it, Log appends
    std::vector<double> fractions;     // every progress report, in order

    void ProgressFraction(double f) override {
        fractions.push_back(f);
        events.push_back("progress: " + TextToUtf8(FormatNumber(f, "0.00%")));
    }
    void Status(std::u16string_view t) override {
        events.push_back("status: " + TextToUtf8(t));
        logText.assign(1, TextToUtf8(t));
    }
    void Log(std::u16string_view l) override {
        events.push_back("log: " + TextToUtf8(l));
        logText.push_back(TextToUtf8(l));
    }
    void Message(std::u16string_view t, MessageIcon icon) override {
        events.push_back(std::string(icon == MessageIcon::Critical ? "critical: " : "message: ") + TextToUtf8(t));
    }
    void Statistics(const EncodeStats& stats) override {
        events.push_back("stats: " + TextToUtf8(stats.Text()));
        statsColour = stats.Colour();
    }
    void EncodingFailed() override { events.push_back("encoding failed"); }
    void DigestComputed(std::u16string_view hex) override { events.push_back("digest: " + TextToUtf8(hex)); }
    void WorkStarted() override { events.push_back("busy"); }
    void WorkEnded() override { events.push_back("idle"); }
    void Wiped(const std::string& path) override {
        events.push_back("wiped: " + std::filesystem::path(path).filename().string());
    }

    uint32_t statsColour = 0;
};

class RecordingDecryptReporter : public DecryptReporter, public EventLog {
public:
    std::u16string shown;
    bool verified = false;
    bool accept = true;
    std::function<void()> onWipePass;

    // Progress as the decryptor's button shows it.
    void ProgressFraction(double f) override { events.push_back("progress: " + FormatNumberAscii(f, "0.00%")); }
    void Log(std::u16string_view l) override { events.push_back("log: " + TextToUtf8(l)); }
    void Message(std::u16string_view t, MessageIcon icon) override {
        events.push_back(std::string(icon == MessageIcon::Critical ? "critical: " : "message: ") + TextToUtf8(t));
    }
    void WipePassDone() override {
        if (onWipePass) onWipePass();
    }
    bool MessageFound(std::u16string_view text) override {
        shown.assign(text);
        events.push_back("text: " + TextToUtf8(text));
        return text.empty() || accept;
    }
    void DigestComputed(std::u16string_view hex, bool digestVerified) override {
        events.push_back("digest: " + TextToUtf8(hex));
        verified = digestVerified;
    }
    void Wiped(const std::string& path, bool wiped) override {
        events.push_back(std::string(wiped ? "wiped " : "not wiped ") + std::filesystem::path(path).filename().string());
    }
};

// The inputs a window would pass once a carrier and a key are selected.
inline EncryptInputs SelectedInputs(const std::u16string& message, const std::string& root,
                                    const std::u16string& comment = kComment) {
    EncryptInputs in;
    in.message = message;
    in.imagePath = root + "/carrier.png";
    in.keyPath = root + "/key.png";
    in.keyComment = comment;
    in.keySeed = SeedOf(comment);
    in.root = root;
    in.fallbackRoot = root + "/fallback";
    return in;
}

inline DecryptInputs DecryptSelection(const std::string& imagePath, const std::string& keyPath,
                                      const std::u16string& comment = kComment) {
    DecryptInputs in;
    in.imagePath = imagePath;
    in.keyPath = keyPath;
    in.keyComment = comment;
    in.keySeed = SeedOf(comment);
    return in;
}

}  // namespace corvane::testing
