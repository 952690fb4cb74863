#include "core/png_writer.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "core/work_beside.hpp"

namespace corvane {
namespace {

// The first of libdeflate's levels that parse near-optimally: on smooth
// photographs, where zlib at level 9 is slowest, files a few percent smaller
// than the image library's in half its time on one core.
constexpr int kBestLevel = 10;
// Data per IDAT chunk.
constexpr size_t kChunkBytes = size_t{1} << 20;
// Below this many pixels a second thread is not worth starting.
constexpr size_t kThreadedPixels = size_t{1} << 20;

void PutBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

bool WriteChunk(SafeFile& file, const char type[4], const uint8_t* data, size_t size) {
    uint8_t head[8];
    PutBe32(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uint32_t crc = libdeflate_crc32(0, type, 4);
    crc = libdeflate_crc32(crc, data, size);
    uint8_t tail[4];
    PutBe32(tail, crc);
    return file.Write(head, 8) && file.Write(data, size) && file.Write(tail, 4);
}

// The chunks before the image data, as the image library writes them.
bool WriteHeader(SafeFile& file, const PixelGrid& grid, std::string_view comment) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t ihdr[13];
    PutBe32(ihdr, static_cast<uint32_t>(grid.width));
    PutBe32(ihdr + 4, static_cast<uint32_t>(grid.height));
    ihdr[8] = 8;   // bits per channel
    ihdr[9] = 2;   // RGB
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // adaptive filtering
    ihdr[12] = 0;  // not interlaced
    // 72 pixels per inch: 2835 pixels per metre.
    uint8_t phys[9];
    PutBe32(phys, 2835);
    PutBe32(phys + 4, 2835);
    phys[8] = 1;
    if (!file.Write(kSignature, 8) || !WriteChunk(file, "IHDR", ihdr, 13) || !WriteChunk(file, "pHYs", phys, 9))
        return false;
    if (comment.empty()) return true;
    // Keyword, then no compression, no language and no translated keyword,
    // then the bytes as they stand.
    std::vector<uint8_t> text(std::begin("Comment"), std::end("Comment"));  // with its NUL
    text.insert(text.end(), {0, 0, 0, 0});
    text.insert(text.end(), comment.begin(), comment.end());
    return WriteChunk(file, "iTXt", text.data(), text.size());
}

bool WriteImageData(SafeFile& file, const uint8_t* data, size_t size) {
    for (size_t at = 0; at < size; at += kChunkBytes)
        if (!WriteChunk(file, "IDAT", data + at, std::min(kChunkBytes, size - at))) return false;
    return true;
}

void RowBytes(const PixelGrid& grid, int y, uint8_t* out) {
    const uint32_t* in = grid.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(grid.width);
    for (int x = 0; x < grid.width; ++x, out += 3) {
        out[0] = static_cast<uint8_t>(RedOf(in[x]));
        out[1] = static_cast<uint8_t>(GreenOf(in[x]));
        out[2] = static_cast<uint8_t>(BlueOf(in[x]));
    }
}

inline uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Filters one row of n bytes (3 per pixel) with each of the five filters and
// keeps the one whose bytes, read as signed, sum to the least.
void FilterRow(const uint8_t* cur, const uint8_t* prev, size_t n, uint8_t* out, uint8_t* scratch) {
    uint8_t* candidates[5] = {scratch, scratch + n, scratch + 2 * n, scratch + 3 * n, scratch + 4 * n};
    uint64_t sums[5] = {0, 0, 0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        const int a = i >= 3 ? cur[i - 3] : 0, b = prev[i], c = i >= 3 ? prev[i - 3] : 0;
        const uint8_t v = cur[i];
        const uint8_t f[5] = {v, static_cast<uint8_t>(v - a), static_cast<uint8_t>(v - b),
                              static_cast<uint8_t>(v - ((a + b) >> 1)), static_cast<uint8_t>(v - Paeth(a, b, c))};
        for (int k = 0; k < 5; ++k) {
            candidates[k][i] = f[k];
            sums[k] += static_cast<uint64_t>(std::abs(static_cast<int8_t>(f[k])));
        }
    }
    const int best = static_cast<int>(std::min_element(sums, sums + 5) - sums);
    out[0] = static_cast<uint8_t>(best);
    std::memcpy(out + 1, candidates[best], n);
}

// Rows [from, to) into `filtered`, each as its filter byte and bytes.
void FilterRows(const PixelGrid& grid, int from, int to, uint8_t* filtered) {
    const size_t n = 3 * static_cast<size_t>(grid.width);
    std::vector<uint8_t> cur(n), prev(n, 0), scratch(5 * n);
    if (from > 0) RowBytes(grid, from - 1, prev.data());
    for (int y = from; y < to; ++y) {
        RowBytes(grid, y, cur.data());
        FilterRow(cur.data(), prev.data(), n, filtered + static_cast<size_t>(y) * (n + 1), scratch.data());
        std::swap(cur, prev);
    }
}

struct CompressorReleaser {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// A raw deflate stream made on its own, readied to be followed by another:
// the final-block bit of its last block is cleared, and an empty stored
// block after it brings the stream to a byte boundary. zlib's inflate,
// stopping at each block, tells where the last block begins and the stream
// ends.
bool MakeJoinable(std::vector<uint8_t>& part) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return false;
    std::vector<uint8_t> sink(size_t{1} << 16);
    s.next_in = part.data();
    s.avail_in = static_cast<uInt>(part.size());
    uint64_t lastBlock = 0, end = 0;
    for (;;) {
        s.next_out = sink.data();
        s.avail_out = static_cast<uInt>(sink.size());
        const int r = inflate(&s, Z_BLOCK);
        if (r == Z_STREAM_END) break;
        if (r != Z_OK && r != Z_BUF_ERROR) {
            inflateEnd(&s);
            return false;
        }
        // Stopped just after a block's end: the next block starts here, or,
        // after the last block, the stream ends here. (At the stream's end
        // itself the count of unused bits is no longer given.)
        if (s.data_type & 128) {
            const uint64_t at = uint64_t{s.total_in} * 8 - static_cast<uint64_t>(s.data_type & 7);
            if (s.data_type & 64) end = at;
            else lastBlock = at;
        }
    }
    inflateEnd(&s);
    part[lastBlock / 8] &= static_cast<uint8_t>(~(1u << (lastBlock % 8)));
    // Three zero bits (not final, stored), padding to the byte, then LEN 0
    // and its complement.
    const uint64_t headerEnd = end + 3;
    part.resize((headerEnd + 7) / 8, 0);
    if (end % 8) part[end / 8] &= static_cast<uint8_t>((1u << (end % 8)) - 1);
    part.insert(part.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

// Deflates `data` as a raw stream; empty on failure.
std::vector<uint8_t> Deflate(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    std::unique_ptr<libdeflate_compressor, CompressorReleaser> compressor(libdeflate_alloc_compressor(kBestLevel));
    if (!compressor) return out;
    try {
        out.resize(libdeflate_deflate_compress_bound(compressor.get(), size));
    } catch (const std::bad_alloc&) {
        return out;
    }
    out.resize(libdeflate_deflate_compress(compressor.get(), data, size, out.data(), out.size()));
    return out;
}

bool WriteBest(const PixelGrid& grid, SafeFile& file) {
    const size_t n = 3 * static_cast<size_t>(grid.width);
    std::vector<uint8_t> filtered;
    try {
        filtered.resize((n + 1) * static_cast<size_t>(grid.height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The rows are filtered and deflated in two halves, one on each core;
    // the two streams are then joined into the one the format has.
    const size_t pixels = static_cast<size_t>(grid.width) * static_cast<size_t>(grid.height);
    const bool split = pixels >= kThreadedPixels && std::thread::hardware_concurrency() > 1;
    const int half = split ? grid.height / 2 : grid.height;
    const size_t firstBytes = (n + 1) * static_cast<size_t>(half);
    std::vector<uint8_t> first, second;
    {
        WorkBeside other(
            [&] {
                if (!split) return;
                FilterRows(grid, half, grid.height, filtered.data());
                second = Deflate(filtered.data() + firstBytes, filtered.size() - firstBytes);
            },
            split);
        FilterRows(grid, 0, half, filtered.data());
        first = Deflate(filtered.data(), firstBytes);
    }
    if (first.empty() || (split && (second.empty() || !MakeJoinable(first)))) return false;

    const uint8_t zlibHeader[2] = {0x78, 0xDA};  // deflate, 32 KiB window, best compression
    uint8_t adler[4];
    PutBe32(adler, libdeflate_adler32(1, filtered.data(), filtered.size()));
    // IDAT chunks may split the stream anywhere.
    return WriteChunk(file, "IDAT", zlibHeader, 2) && WriteImageData(file, first.data(), first.size()) &&
           WriteImageData(file, second.data(), second.size()) && WriteChunk(file, "IDAT", adler, 4);
}

// A zlib stream of stored blocks, written as the rows are made: no copy of
// the image is held.
bool WriteStored(const PixelGrid& grid, SafeFile& file) {
    constexpr size_t kBlock = 65535;
    const size_t n = 3 * static_cast<size_t>(grid.width);
    const uint64_t total = (n + 1) * static_cast<uint64_t>(grid.height);
    std::vector<uint8_t> chunk;
    chunk.reserve(kChunkBytes + 16);
    chunk.push_back(0x78);  // deflate, 32 KiB window
    chunk.push_back(0x01);  // no preset dictionary, fastest
    std::vector<uint8_t> row(n + 1, 0);
    uint32_t adler = 1;
    uint64_t done = 0;
    size_t blockLeft = 0;
    auto flush = [&] {
        const bool ok = WriteChunk(file, "IDAT", chunk.data(), chunk.size());
        chunk.clear();
        return ok;
    };
    for (int y = 0; y < grid.height; ++y) {
        RowBytes(grid, y, row.data() + 1);
        adler = libdeflate_adler32(adler, row.data(), row.size());
        for (size_t at = 0; at < row.size();) {
            if (blockLeft == 0) {
                blockLeft = static_cast<size_t>(std::min<uint64_t>(kBlock, total - done));
                const bool last = done + blockLeft == total;
                const uint16_t len = static_cast<uint16_t>(blockLeft);
                chunk.insert(chunk.end(), {static_cast<uint8_t>(last ? 1 : 0), static_cast<uint8_t>(len),
                                           static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(~len),
                                           static_cast<uint8_t>(~len >> 8)});
            }
            const size_t take = std::min(blockLeft, row.size() - at);
            chunk.insert(chunk.end(), row.begin() + static_cast<std::ptrdiff_t>(at),
                         row.begin() + static_cast<std::ptrdiff_t>(at + take));
            at += take;
            blockLeft -= take;
            done += take;
            if (chunk.size() >= kChunkBytes && !flush()) return false;
        }
    }
    uint8_t tail[4];
    PutBe32(tail, adler);
    chunk.insert(chunk.end(), tail, tail + 4);
    return flush();
}

}  // namespace

bool WritePng(const PixelGrid& grid, std::string_view comment, PngCompression compression, SafeFile& file) {
    if (grid.empty()) return false;
    if (!WriteHeader(file, grid, comment)) return false;
    const bool written = compression == PngCompression::Stored ? WriteStored(grid, file) : WriteBest(grid, file);
    static const uint8_t kNothing = 0;
    return written && WriteChunk(file, "IEND", &kNothing, 0) && !file.failed();
}

}  // namespace corvane
