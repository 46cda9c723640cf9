// Parsing the screen saver's command line.
#include "screensaver/saver_args.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

const char* SkipSpaces(const char* p) {
    while (IsSpace(*p)) ++p;
    return p;
}

// Reads a decimal handle that ends at the end of the text or a space.
bool ParseHandle(const char* p, uint32_t* handle) {
    if (*p < '0' || *p > '9') return false;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > UINT32_MAX) return false;
    }
    if (*p != '\0' && !IsSpace(*p)) return false;
    *handle = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

SaverArgs ParseSaverArgs(const char* command_line) {
    SaverArgs args = {SaverMode::kUnknown, false, 0};
    const char* p = SkipSpaces(command_line);
    if (*p == '\0') {
        args.mode = SaverMode::kConfigure;
        return args;
    }
    if (*p != '/' && *p != '-') return args;
    const char letter = static_cast<char>(p[1] | 0x20);  // ASCII lower case
    const char after = p[1] == '\0' ? '\0' : p[2];
    if (after != '\0' && after != ':' && !IsSpace(after)) return args;
    switch (letter) {
        case 's':
            args.mode = SaverMode::kShow;
            return args;
        case 'p':
            args.mode = SaverMode::kPreview;
            break;
        case 'c':
            args.mode = SaverMode::kConfigure;
            break;
        default:
            return args;
    }
    if (after == '\0') return args;
    args.has_window = ParseHandle(SkipSpaces(p + 3), &args.window);
    return args;
}
