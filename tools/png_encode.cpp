// PNG encoding of a frame: rows filtered here, the image data compressed by
// libdeflate (zlib format), chunks and CRCs written here.
#include <libdeflate.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "tools/frame_output.h"

namespace {

// libdeflate level 3 with the Up filter: files about 37 % smaller than
// stb_image_write made, in about an eighth of its time; higher levels cost
// much more time for a few per cent (docs/performance.md has the figures).
constexpr int kCompressionLevel = 3;
constexpr uint8_t kFilterNone = 0, kFilterUp = 2;

size_t RgbRowBytes(const FrameShape& shape) { return 3 * static_cast<size_t>(shape.width); }
// Each filtered row is its filter type, then the row.
size_t FilteredBytes(const FrameShape& shape) { return (1 + RgbRowBytes(shape)) * static_cast<size_t>(shape.height); }

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

}  // namespace

// Two picture rows (the one being filtered and the one above it), the
// filtered rows and the compressor. The large buffers are left uninitialised:
// every byte is written before it is read.
struct PngEncoder::Scratch {
    explicit Scratch(const FrameShape& s)
        : shape(s),
          rows(new uint8_t[2 * RgbRowBytes(s)]),
          filtered(new uint8_t[FilteredBytes(s)]),
          compressor(libdeflate_alloc_compressor(kCompressionLevel)) {}
    FrameShape shape;
    std::unique_ptr<uint8_t[]> rows;
    std::unique_ptr<uint8_t[]> filtered;
    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor;
};

namespace {

// The Up filter, row by row from the top of the picture: each byte less the
// one above it (the first row as it is, filter None). The picture is smooth
// from row to row, so this gave the smallest files of the filters tried, at
// the least cost. The picture's rows are made here, two at a time, so no
// whole RGB picture is ever held.
void FilterRows(const FrameShape& shape, const uint32_t* pixels, uint8_t* rows, uint8_t* out) {
    const size_t row_bytes = RgbRowBytes(shape);
    uint8_t* row = rows;
    uint8_t* above = rows + row_bytes;
    PictureRowRgb(shape, pixels, 0, row);
    out[0] = kFilterNone;
    std::memcpy(out + 1, row, row_bytes);
    for (int y = 1; y < shape.height; ++y) {
        std::swap(row, above);
        PictureRowRgb(shape, pixels, y, row);
        out += 1 + row_bytes;
        out[0] = kFilterUp;
        for (size_t k = 0; k < row_bytes; ++k) out[k + 1] = static_cast<uint8_t>(row[k] - above[k]);
    }
}

void PutBigEndian32(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v >> 24);
    at[1] = static_cast<uint8_t>(v >> 16);
    at[2] = static_cast<uint8_t>(v >> 8);
    at[3] = static_cast<uint8_t>(v);
}

// Appends a chunk whose type and data are already at out[start + 4 ..]: its
// length in front and its CRC (over type and data) behind.
void CloseChunk(std::vector<uint8_t>* out, size_t start) {
    const size_t type_and_data = out->size() - start - 4;
    PutBigEndian32(out->data() + start, static_cast<uint32_t>(type_and_data - 4));
    const uint32_t crc = libdeflate_crc32(0, out->data() + start + 4, type_and_data);
    out->resize(out->size() + 4);
    PutBigEndian32(out->data() + out->size() - 4, crc);
}

size_t OpenChunk(std::vector<uint8_t>* out, const char* type, size_t data_bytes) {
    const size_t start = out->size();
    out->resize(start + 8 + data_bytes);
    std::memcpy(out->data() + start + 4, type, 4);
    return start;
}

}  // namespace

// Signature, IHDR, IEND and the IDAT chunk's frame.
constexpr size_t kPngOverhead = 8 + (12 + 13) + 12 + 12;

PngEncoder::PngEncoder(const FrameShape& shape) : scratch_(new Scratch(shape)) {
    if (!scratch_->compressor) throw std::bad_alloc();
}

PngEncoder::~PngEncoder() = default;

size_t PngEncoder::MaxBytes(const FrameShape& shape) {
    // Without a compressor the bound holds for every compressor libdeflate makes.
    return kPngOverhead + libdeflate_zlib_compress_bound(nullptr, FilteredBytes(shape));
}

size_t PngEncoder::ScratchBytes(const FrameShape& shape) {
    constexpr size_t kCompressorBytes = size_t{1} << 20;  // libdeflate's compressor at this level, rounded up
    return 2 * RgbRowBytes(shape) + FilteredBytes(shape) + kCompressorBytes;
}

bool PngEncoder::Encode(const uint32_t* pixels, std::vector<uint8_t>* out) {
    Scratch& scratch = *scratch_;
    const FrameShape& shape = scratch.shape;
    const size_t filtered_bytes = FilteredBytes(shape);
    FilterRows(shape, pixels, scratch.rows.get(), scratch.filtered.get());
    static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out->insert(out->end(), kSignature, kSignature + sizeof kSignature);
    size_t chunk = OpenChunk(out, "IHDR", 13);
    uint8_t* header = out->data() + chunk + 8;
    PutBigEndian32(header, static_cast<uint32_t>(shape.width));
    PutBigEndian32(header + 4, static_cast<uint32_t>(shape.height));
    header[8] = 8;   // bits per sample
    header[9] = 2;   // colour type: RGB
    header[10] = 0;  // deflate
    header[11] = 0;  // adaptive filtering, one filter type per row
    header[12] = 0;  // not interlaced
    CloseChunk(out, chunk);

    const size_t bound = libdeflate_zlib_compress_bound(scratch.compressor.get(), filtered_bytes);
    chunk = OpenChunk(out, "IDAT", bound);
    const size_t packed = libdeflate_zlib_compress(scratch.compressor.get(), scratch.filtered.get(),
                                                   filtered_bytes, out->data() + chunk + 8, bound);
    if (packed == 0) return false;
    out->resize(chunk + 8 + packed);
    CloseChunk(out, chunk);

    CloseChunk(out, OpenChunk(out, "IEND", 0));
    return true;
}
