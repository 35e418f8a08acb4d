// UTF-8 <-> UTF-16 for the texts crossing between CLAP and VST 3. Invalid
// input becomes U+FFFD, output is cut only between whole code points, and the
// result is always terminated within its buffer.
#pragma once

#include <cstddef>
#include <string>

namespace norvale::vst3 {

// Writes at most `capacity` units including the terminator; returns the
// number of units written before it.
size_t utf8ToUtf16(const char* text, char16_t* out, size_t capacity);
size_t utf16ToUtf8(const char16_t* text, char* out, size_t capacity);
std::string toUtf8(const char16_t* text);

} // namespace norvale::vst3
