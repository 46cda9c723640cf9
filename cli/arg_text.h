// Command-line text shared by the programs: numbers read whole, values
// quoted for one-line errors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "render/frame_shape.h"

// Sets *error to `text` and returns false, for one-line error returns.
bool SetError(std::string* error, std::string text);

// The whole of `text` as a number in `base` (no sign, no prefix), up to
// `max`; otherwise false with *problem "not a number" or "out of range".
bool ParseWhole(std::string_view text, int base, uint64_t max, uint64_t* value, std::string* problem);

// Parses an unsigned 32-bit value: decimal digits, or 0x / 0X and hex digits.
// No sign, spaces or other characters.
bool ParseUnsigned32(std::string_view text, uint32_t* value, std::string* problem);

// As ParseUnsigned32, but also accepts a '-' before decimal digits down to
// -2147483648; the result is the value's two's-complement bit pattern.
bool ParseSignedOrUnsigned32(std::string_view text, uint32_t* value, std::string* problem);

// Parses a frame size "WxH" (decimal, 'x' or 'X' between) into *shape. False
// with *problem "not WxH" or "out of range" (each side 1 to kMaxFrameSide,
// at most kMaxFramePixels pixels): the one check of a size every program uses.
bool ParseFrameSize(std::string_view text, FrameShape* shape, std::string* problem);

// The text quoted for an error line: in single quotes, control characters,
// bytes from 0x80 up and quotes escaped as \xNN, cut after 64 bytes with "...".
std::string QuoteForError(std::string_view text);

