// Turning a rendered frame into bytes (raw pixels, PPM or PNG) and writing
// files that appear under their final name only once they are complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/frame.h"
#include "tools/frame_args.h"

constexpr size_t kRawFrameBytes = 4 * static_cast<size_t>(kPixelCount);  // 256,000
constexpr size_t kRgbRowBytes = 3 * static_cast<size_t>(W);
constexpr char kPpmHeader[] = "P6\n320 200\n255\n";
constexpr size_t kPpmHeaderBytes = sizeof kPpmHeader - 1;
constexpr size_t kPpmFrameBytes = kPpmHeaderBytes + 3 * static_cast<size_t>(kPixelCount);
static_assert(W == 320 && H == 200, "kPpmHeader names the frame size");

// Appends the W x H pixels (0x00RRGGBB, row 0 first) as little-endian 32-bit
// values in memory order.
void EncodeRaw(const uint32_t* pixels, std::vector<uint8_t>* out);

// Writes the picture as a person sees the window: W x H RGB triples, top
// row first, which is pixel row H-1 (the bitmap is bottom-up). rgb holds
// 3 * kPixelCount bytes.
void PictureRgb(const uint32_t* pixels, uint8_t* rgb);

// Appends a binary PPM (P6, maxval 255) of the picture. PPM images one
// after another form a PPM stream.
void EncodePpm(const uint32_t* pixels, std::vector<uint8_t>* out);

// The same PPM written into ppm, which holds kPpmFrameBytes.
void EncodePpmInto(const uint32_t* pixels, uint8_t* ppm);

// Appends a PNG (8-bit RGB) of the picture, compressed with libdeflate.
// False when memory is short. Safe to call from several threads at once.
bool EncodePng(const uint32_t* pixels, std::vector<uint8_t>* out);

// Appends the frame in the given format; false only when a PNG cannot be
// encoded for lack of memory.
bool EncodeFrame(FrameFormat format, const uint32_t* pixels, std::vector<uint8_t>* out);

// Writes all of data to fd, resuming after short writes and EINTR. False
// with errno set on failure.
bool WriteAllToFd(int fd, const uint8_t* data, size_t size);

// A file built under a temporary name in the folder of its final path and
// renamed onto that path by Commit, so no half-written file is ever seen
// under the final name. If it is destroyed or aborted before Commit, the
// temporary is removed. Errors are one line: "cannot write 'PATH': reason".
class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() { Abort(); }

    bool Open(const std::string& path, std::string* error);
    bool Write(const uint8_t* data, size_t size, std::string* error);
    bool Commit(std::string* error);
    void Abort();

  private:
    bool Fail(std::string* error, int err);

    std::string path_;
    std::string temp_;
    int fd_ = -1;
};
