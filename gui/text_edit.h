// Text entry by whole UTF-8 characters, and UTF-8 made safe for drawing.
// Shared by the value entry, the save prompt and the curve panel.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plugincore {

// Appends the printable characters of typed (code 32 and above, not 127)
// while the result stays within maxBytes bytes and maxChars characters; a
// character that does not fit whole is dropped. Invalid bytes are skipped.
// Returns whether anything was appended.
bool appendTyped(std::string& text, std::string_view typed, size_t maxBytes, size_t maxChars);
// Removes the last character (all its bytes); false when text was empty.
bool eraseLastChar(std::string& text);
size_t charCount(std::string_view text);
// text with every invalid byte sequence replaced by U+FFFD.
std::string validUtf8(std::string_view text);

} // namespace plugincore
