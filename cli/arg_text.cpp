// Command-line text shared by the programs: numbers read whole, values
// quoted for one-line errors.
#include "cli/arg_text.h"

#include <charconv>
#include <system_error>

namespace {

constexpr size_t kMaxQuotedBytes = 64;
constexpr uint64_t kMaxNegative32 = 0x80000000ull;  // magnitude of -2147483648

}  // namespace

bool SetError(std::string* error, std::string text) {
    *error = std::move(text);
    return false;
}

bool ParseWhole(std::string_view text, int base, uint64_t max, uint64_t* value, std::string* problem) {
    uint64_t v = 0;
    const char* end = text.data() + text.size();
    // from_chars takes no sign for unsigned types; a leading '+' or space is not a digit.
    const auto [ptr, ec] = std::from_chars(text.data(), end, v, base);
    if (text.empty() || ptr != end || ec == std::errc::invalid_argument) {
        return SetError(problem, "not a number");
    }
    if (ec == std::errc::result_out_of_range || v > max) return SetError(problem, "out of range");
    *value = v;
    return true;
}

std::string QuoteForError(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "'";
    const size_t shown = text.size() > kMaxQuotedBytes ? kMaxQuotedBytes : text.size();
    for (size_t k = 0; k < shown; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c < 0x20 || c >= 0x7F || c == '\'' || c == '\\') {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (shown < text.size()) out += "...";
    out += "'";
    return out;
}

bool ParseUnsigned32(std::string_view text, uint32_t* value, std::string* problem) {
    const bool hex = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    uint64_t v = 0;
    if (!ParseWhole(hex ? text.substr(2) : text, hex ? 16 : 10, UINT32_MAX, &v, problem)) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool ParseFrameSize(std::string_view text, FrameShape* shape, std::string* problem) {
    const size_t cross = text.find_first_of("xX");
    uint64_t w = 0, h = 0;
    if (cross == std::string_view::npos) return SetError(problem, "not WxH");
    // A side too long for 32 bits is out of range like any other too large one.
    if (!ParseWhole(text.substr(0, cross), 10, UINT32_MAX, &w, problem) ||
        !ParseWhole(text.substr(cross + 1), 10, UINT32_MAX, &h, problem)) {
        if (*problem != "out of range") *problem = "not WxH";
        return false;
    }
    if (w > kMaxFrameSide || h > kMaxFrameSide ||
        !MakeFrameShape(static_cast<int>(w), static_cast<int>(h), shape)) {
        return SetError(problem, "out of range");
    }
    return true;
}

bool ParseSignedOrUnsigned32(std::string_view text, uint32_t* value, std::string* problem) {
    if (text.empty() || text[0] != '-') return ParseUnsigned32(text, value, problem);
    uint64_t v = 0;
    if (!ParseWhole(text.substr(1), 10, kMaxNegative32, &v, problem)) return false;
    *value = static_cast<uint32_t>(0u - static_cast<uint32_t>(v));  // two's complement of the magnitude
    return true;
}

