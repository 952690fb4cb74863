#include "core/hidden_message.hpp"

#include <emmintrin.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "core/number_format.hpp"
#include "core/sha256.hpp"

namespace corvane {
namespace {

// Score for each rounded mean deviation D (at most 128).
std::array<uint8_t, 129> MakeScores() {
    std::array<uint8_t, 129> t{};
    for (int d = 1; d <= 128; ++d) {
        const double q = static_cast<double>(d) * d;
        t[d] = static_cast<uint8_t>(Nearest(255.0 - std::log10(255.0 / std::sqrt(q)) * 20 * 2.5));
    }
    return t;
}
const std::array<uint8_t, 129> kScores = MakeScores();

bool ParseDigits(std::u16string_view text, size_t pos, size_t count, int64_t& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return false;
        value = value * 10 + (text[i] - u'0');
    }
    return true;
}

// 1-based position of needle at or after 1-based `from`; 0 when absent. An
// empty needle is found at `from`.
size_t FindFrom(std::u16string_view text, std::u16string_view needle, size_t from) {
    if (from < 1 || from > text.size() + 1) return 0;
    const size_t p = text.find(needle, from - 1);
    return p == std::u16string_view::npos ? 0 : p + 1;
}

}  // namespace

void KeyDelimiters(std::u16string_view comment, std::u16string& start, std::u16string& end) {
    auto mid = [&](size_t from1, size_t length) {
        if (from1 - 1 >= comment.size()) return std::u16string();
        return std::u16string(comment.substr(from1 - 1, length));
    };
    start = mid(2, 10);
    end = mid(13, 10);
}

int BlockDeviation(const int values[9]) {
    int sum = 0;
    for (int i = 0; i < 9; ++i) sum += values[i];
    const int mean = NearestNinth(sum);
    int deviation = 0;
    for (int i = 0; i < 9; ++i) deviation += std::abs(values[i] - mean);
    return NearestNinth(deviation);
}

bool KeyParameters(std::u16string_view comment, KeyParams& params) {
    if (comment.size() < 6) return false;
    KeyDelimiters(comment, params.startDelimiter, params.endDelimiter);
    const int32_t k5 = static_cast<int16_t>(comment[4]);
    const int32_t k6 = static_cast<int16_t>(comment[5]);
    params.seed = k5 * k6;
    params.flagX = params.seed & 1;
    params.flagY = (params.seed & 2) ? 1 : 0;
    return true;
}


namespace {

// Per channel (16-bit lanes 0-2) sums over three rows of bytes laid out as
// four pixels [r g b 0] each, the fourth pixel already zeroed.
inline __m128i ChannelSums(__m128i a, __m128i b, __m128i c) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                                     _mm_unpacklo_epi8(c, zero));
    const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                                     _mm_unpackhi_epi8(c, zero));
    const __m128i s = _mm_add_epi16(lo, hi);
    return _mm_add_epi16(s, _mm_srli_si128(s, 8));
}

// nearest(s / 9) = floor((2s + 9) / 18); x * 3641 >> 16 equals x / 18 for
// every x up to 2 x 1152 + 9.
inline __m128i RoundNinths(__m128i s) {
    const __m128i n = _mm_add_epi16(_mm_add_epi16(s, s), _mm_set1_epi16(9));
    return _mm_mulhi_epu16(n, _mm_set1_epi16(3641));
}

// Halves of every byte, exact halves to the even neighbour.
inline __m128i HalveBytes(__m128i v) {
    const __m128i low7 = _mm_set1_epi8(0x7F);
    const __m128i one = _mm_set1_epi8(1);
    const __m128i h = _mm_and_si128(_mm_srli_epi16(v, 1), low7);
    return _mm_add_epi8(h, _mm_and_si128(_mm_and_si128(v, h), one));
}

inline __m128i AbsDiff(__m128i a, __m128i b) { return _mm_sub_epi8(_mm_max_epu8(a, b), _mm_min_epu8(a, b)); }

}  // namespace

int EligibleChannel(const PixelGrid& image, int x, int y) {
    // Each row becomes four pixels [r g b 0], the fourth zero.
    const size_t w = static_cast<size_t>(image.width);
    const uint32_t* p = image.pixels.data() + static_cast<size_t>(y - 1) * w + (x - 1);
    const __m128i mask = _mm_set_epi32(0, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF);
    auto row = [&](const uint32_t* r) {
        const __m128i v = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r)),
                                             _mm_cvtsi32_si128(static_cast<int>(r[2])));
        return HalveBytes(_mm_and_si128(v, mask));
    };
    const __m128i r0 = row(p);
    const __m128i r1 = row(p + w);
    const __m128i r2 = row(p + 2 * w);
    const __m128i m16 = RoundNinths(ChannelSums(r0, r1, r2));
    const __m128i m4 = _mm_unpacklo_epi64(m16, m16);
    const __m128i m8 = _mm_and_si128(_mm_packus_epi16(m4, m4), mask);
    const __m128i d16 = RoundNinths(ChannelSums(_mm_and_si128(AbsDiff(r0, m8), mask),
                                                _mm_and_si128(AbsDiff(r1, m8), mask),
                                                _mm_and_si128(AbsDiff(r2, m8), mask)));
    const int scores[3] = {kScores[_mm_extract_epi16(d16, 0)], kScores[_mm_extract_epi16(d16, 1)],
                           kScores[_mm_extract_epi16(d16, 2)]};
    int result = 0, best = 0;
    for (int c = 0; c < 3; ++c) {
        if (scores[c] > 96 && scores[c] > best) {
            result = c + 1;
            best = scores[c];
        }
    }
    return result;
}

PositionSequence::PositionSequence(const PixelGrid& image, int32_t seed, SequenceRandom& rng,
                                   int64_t expectedPositions)
    : image_(image), rng_(rng), width_(image.width), height_(image.height) {
    SetUpGenerator(rng_, seed);
    flagX_ = seed & 1;
    flagY_ = (seed & 2) ? 1 : 0;
    cols_ = (width_ + 1) / 2;
    const int rows = (height_ + 1) / 2;
    if (width_ >= 3 && height_ >= 3) {
        state_.assign(static_cast<size_t>(cols_) * static_cast<size_t>(rows), kUnknown);
        // Candidates: x = flagX, flagX + 2, ... within 1 .. W-2, likewise y.
        int64_t cx = 0, cy = 0;
        for (int x = flagX_; x <= width_ - 2; x += 2)
            if (x >= 1) ++cx;
        for (int y = flagY_; y <= height_ - 2; y += 2)
            if (y >= 1) ++cy;
        unknown_ = cx * cy;
    }
    exhausted_ = unknown_ == 0;
    if (!exhausted_ && expectedPositions * 8 > unknown_) EvaluateAll();
}

uint8_t PositionSequence::Evaluate(size_t index, int x, int y) {
    const uint8_t e = static_cast<uint8_t>(EligibleChannel(image_, x, y));
    state_[index] = e;
    --unknown_;
    if (e) ++eligibleFree_;
    return e;
}

void PositionSequence::EvaluateAll() {
    evaluatedAll_ = true;
    for (int y = flagY_; y <= height_ - 2; y += 2) {
        if (y < 1) continue;
        for (int x = flagX_; x <= width_ - 2; x += 2) {
            if (x < 1) continue;
            const size_t i = Index(x, y);
            if (state_[i] == kUnknown) Evaluate(i, x, y);
        }
    }
}

bool PositionSequence::CheckExhausted() {
    if (unknown_ == 0 && eligibleFree_ == 0) exhausted_ = true;
    if (rejectedInRow_ >= kMaxRejectedDraws) exhausted_ = true;
    return exhausted_;
}

bool PositionSequence::Next(Position& position) {
    if (exhausted_ || CheckExhausted()) return false;
    // floor(W x u / 2) with u = s / 2^24 is (W x s) >> 25 exactly: W x s stays
    // below 2^52, where the double product has no rounding either.
    const uint64_t w = static_cast<uint64_t>(width_), h = static_cast<uint64_t>(height_);
    for (;;) {
        const uint64_t su = rng_.NextState();
        const uint64_t sv = rng_.NextState();
        ++draws_;
        const int x = 2 * static_cast<int>((w * su) >> 25) + flagX_;
        const int y = 2 * static_cast<int>((h * sv) >> 25) + flagY_;
        if (x >= 1 && x <= width_ - 2 && y >= 1 && y <= height_ - 2) {
            const size_t i = Index(x, y);
            uint8_t s = state_[i];
            if (s == kUnknown) s = Evaluate(i, x, y);
            if (s != 0 && !(s & kTaken)) {
                state_[i] = s | kTaken;
                --eligibleFree_;
                ++accepted_;
                rejectedInRow_ = 0;
                position = Position{x, y, s};
                return true;
            }
        }
        ++rejectedInRow_;
        // A long run of rejections suggests few candidates are left: settle
        // every unknown one so that the count below is exact.
        if (!evaluatedAll_ && rejectedInRow_ == 4096) EvaluateAll();
        if (CheckExhausted()) return false;
    }
}

bool PositionSequence::IsTaken(int x, int y) const {
    if (x < 1 || y < 1 || x > width_ - 2 || y > height_ - 2) return false;
    if ((x & 1) != flagX_ || (y & 1) != flagY_) return false;
    const uint8_t s = state_[Index(x, y)];
    return s != kUnknown && (s & kTaken);
}

std::vector<int32_t> PositionSequence::MarkGrid() const {
    std::vector<int32_t> mark(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
    for (int y = flagY_; y <= height_ - 2; y += 2)
        for (int x = flagX_; x <= width_ - 2; x += 2)
            if (IsTaken(x, y)) mark[static_cast<size_t>(y) * width_ + x] = 1;
    return mark;
}

PixelGrid ImageXorKey(const PixelGrid& image, const PixelGrid& key) {
    PixelGrid out(image.width, image.height);
    const size_t w = static_cast<size_t>(std::max(image.width, 0));
    const size_t kw = static_cast<size_t>(std::max(key.width, 0));
    for (size_t y = 0; y < static_cast<size_t>(std::max(image.height, 0)); ++y) {
        const uint32_t* c = image.pixels.data() + y * w;
        uint32_t* o = out.pixels.data() + y * w;
        const size_t covered = y < static_cast<size_t>(std::max(key.height, 0)) ? std::min(w, kw) : 0;
        const uint32_t* k = covered ? key.pixels.data() + y * kw : nullptr;
        for (size_t x = 0; x < covered; ++x) o[x] = (c[x] ^ k[x]) & 0xFFFFFFu;
        for (size_t x = covered; x < w; ++x) o[x] = c[x] & 0xFFFFFFu;
    }
    return out;
}

int64_t ReadingPasses(int width) { return Nearest(width * 0.15); }

int64_t ReadingWindowBits(int width, int height) { return (ReadingPasses(width) + 1) * static_cast<int64_t>(height); }

bool ContainerFitsWindow(int64_t containerLength, int width, int height) {
    return kSkippedPositions + 16 * containerLength <= ReadingWindowBits(width, height);
}

BuildStatus BuildContainer(std::u16string_view message, std::u16string_view startDelimiter,
                           std::u16string_view endDelimiter, bool compress, std::u16string& container) {
    const std::string digest = CSHA256().SHA256(message);
    int64_t a = 0, b = 0;
    std::u16string payload;
    if (compress) {
        a = 2 * static_cast<int64_t>(message.size());
        if (a > kMaxLengthField) return BuildStatus::TooLong;
        std::vector<Bytef> source(static_cast<size_t>(a));
        for (size_t i = 0; i < message.size(); ++i) {
            source[2 * i] = static_cast<Bytef>(message[i] & 0xFF);
            source[2 * i + 1] = static_cast<Bytef>(message[i] >> 8);
        }
        uLongf capacity = static_cast<uLongf>(Nearest(a * 0.01 + a + 12));
        std::vector<Bytef> dest(capacity);
        if (::compress(dest.data(), &capacity, source.data(), static_cast<uLong>(a)) != Z_OK)
            return BuildStatus::CompressionError;
        b = static_cast<int64_t>(capacity);
        if (b > kMaxLengthField) return BuildStatus::TooLong;
        payload.resize(static_cast<size_t>((b + 1) / 2));
        for (int64_t i = 0; i < b; ++i)
            payload[static_cast<size_t>(i / 2)] |= static_cast<char16_t>(dest[static_cast<size_t>(i)] << (8 * (i % 2)));
    } else {
        payload.assign(message);
    }
    const std::u16string fa = FormatNumber(static_cast<double>(a), "0000000");
    const std::u16string fb = FormatNumber(static_cast<double>(b), "0000000");
    container.clear();
    container.reserve(kContainerOverhead + payload.size());
    container.append(startDelimiter).append(fa).append(fb).append(payload).append(endDelimiter);
    container.append(digest.begin(), digest.end());
    return BuildStatus::Ok;
}

std::vector<uint8_t> TextToBits(std::u16string_view text) {
    std::vector<uint8_t> bits(16 * text.size());
    for (size_t i = 0; i < text.size(); ++i)
        for (int k = 0; k < 16; ++k) bits[16 * i + k] = static_cast<uint8_t>((text[i] >> k) & 1);
    return bits;
}

std::u16string BitsToText(const std::vector<uint8_t>& bits, uint64_t totalBits) {
    const uint64_t chars = totalBits >= 1 ? (totalBits - 1) / 16 : 0;
    std::u16string text(static_cast<size_t>(chars), u'\0');
    for (uint64_t c = 0; c < chars && 16 * c < bits.size(); ++c) {
        const uint64_t n = std::min<uint64_t>(16, bits.size() - 16 * c);
        unsigned v = 0;
        for (uint64_t k = 0; k < n; ++k) v |= static_cast<unsigned>(bits[16 * c + k] & 1) << k;
        text[c] = static_cast<char16_t>(v);
    }
    return text;
}

ParsedContainer ParseContainer(std::u16string_view text, std::u16string_view startDelimiter,
                               std::u16string_view endDelimiter) {
    ParsedContainer r;
    r.start = FindFrom(text, startDelimiter, 1);
    r.end = r.start ? FindFrom(text, endDelimiter, r.start) : 0;
    const size_t digestFrom = r.end + 10;  // 1-based
    if (digestFrom - 1 < text.size()) r.digestField = std::u16string(text.substr(digestFrom - 1, 64));
    if (!r.start || !r.end) return r;
    int64_t a = 0, b = 0;
    const size_t s0 = r.start - 1;  // 0-based
    if (!ParseDigits(text, s0 + 10, 7, a) || !ParseDigits(text, s0 + 17, 7, b)) return r;
    const int64_t payloadLength = static_cast<int64_t>(r.end) - static_cast<int64_t>(r.start) - 24;
    if (payloadLength < 0) return r;
    const std::u16string_view payload = text.substr(s0 + 24, static_cast<size_t>(payloadLength));
    if (a == 0) {
        r.message.assign(payload);
        r.status = ParseStatus::Found;
        return r;
    }
    r.compressed = true;
    if (b > 2 * payloadLength) return r;  // the compressed bytes would run past the payload
    std::vector<Bytef> source(static_cast<size_t>(b));
    for (int64_t i = 0; i < b; ++i)
        source[static_cast<size_t>(i)] = static_cast<Bytef>(payload[static_cast<size_t>(i / 2)] >> (8 * (i % 2)));
    std::vector<Bytef> dest(static_cast<size_t>(a));
    uLongf produced = static_cast<uLongf>(a);
    if (uncompress(dest.data(), &produced, source.data(), static_cast<uLong>(b)) != Z_OK) {
        r.status = ParseStatus::DecompressionError;
        return r;
    }
    r.message.assign((produced + 1) / 2, u'\0');
    for (uLongf i = 0; i < produced; ++i) r.message[i / 2] |= static_cast<char16_t>(dest[i] << (8 * (i % 2)));
    r.status = ParseStatus::Found;
    return r;
}

}  // namespace corvane
