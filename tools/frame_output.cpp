// Raw and PPM encoding of frames, and files renamed into place when complete.
#include "tools/frame_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

void EncodeRaw(const uint32_t* pixels, std::vector<uint8_t>* out) {
    out->reserve(out->size() + kRawFrameBytes);
    for (int k = 0; k < kPixelCount; ++k) {
        const uint32_t p = pixels[k];
        out->push_back(static_cast<uint8_t>(p));
        out->push_back(static_cast<uint8_t>(p >> 8));
        out->push_back(static_cast<uint8_t>(p >> 16));
        out->push_back(static_cast<uint8_t>(p >> 24));
    }
}

void PictureRgb(const uint32_t* pixels, uint8_t* rgb) {
    for (int y = 0; y < H; ++y) {
        const uint32_t* row = pixels + (H - 1 - y) * W;  // top of the picture is the last bitmap row
        for (int x = 0; x < W; ++x) {
            const uint32_t p = row[x];
            *rgb++ = static_cast<uint8_t>(p >> 16);  // red
            *rgb++ = static_cast<uint8_t>(p >> 8);   // green
            *rgb++ = static_cast<uint8_t>(p);        // blue
        }
    }
}

void EncodePpm(const uint32_t* pixels, std::vector<uint8_t>* out) {
    char header[32];
    const int n = std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", W, H);
    const size_t start = out->size();
    out->insert(out->end(), header, header + n);
    out->resize(out->size() + 3 * static_cast<size_t>(kPixelCount));
    PictureRgb(pixels, out->data() + start + static_cast<size_t>(n));
}

bool EncodeFrame(FrameFormat format, const uint32_t* pixels, std::vector<uint8_t>* out) {
    switch (format) {
        case FrameFormat::kRaw:
            EncodeRaw(pixels, out);
            return true;
        case FrameFormat::kPpm:
            EncodePpm(pixels, out);
            return true;
        case FrameFormat::kPng:
            return EncodePng(pixels, out);
    }
    return false;
}

bool WriteAllToFd(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

namespace {

// Permission bits a newly created file gets: 0666 less the umask, read once
// (umask can only be read by setting it).
mode_t NewFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

}  // namespace

bool AtomicFile::Fail(std::string* error, int err) {
    *error = "cannot write " + QuoteForError(path_) + ": " + std::strerror(err);
    Abort();
    return false;
}

bool AtomicFile::Open(const std::string& path, std::string* error) {
    Abort();
    path_ = path;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string temp = folder + (slash == std::string::npos ? "/" : "") + ".noise-frame-XXXXXX";
    fd_ = ::mkstemp(temp.data());
    if (fd_ < 0) return Fail(error, errno);
    temp_ = std::move(temp);
    if (::fchmod(fd_, NewFileMode()) != 0) return Fail(error, errno);
    return true;
}

bool AtomicFile::Write(const uint8_t* data, size_t size, std::string* error) {
    if (fd_ < 0) return Fail(error, EBADF);
    if (!WriteAllToFd(fd_, data, size)) return Fail(error, errno);
    return true;
}

bool AtomicFile::Commit(std::string* error) {
    if (fd_ < 0) return Fail(error, EBADF);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return Fail(error, errno);
    if (::rename(temp_.c_str(), path_.c_str()) != 0) return Fail(error, errno);
    temp_.clear();
    return true;
}

void AtomicFile::Abort() {
    const int saved = errno;  // keeps the caller's errno for its message
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    errno = saved;
}
