// Text entry by whole UTF-8 characters, and UTF-8 made safe for drawing.
// Shared by the value entry, the save prompt and the curve panel.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plugincore {

// The printable characters of typed text (code 32 and above, not 127);
// invalid byte sequences are dropped.
std::string printableChars(std::string_view typed);
// Appends whole characters of chars (valid UTF-8) while text stays within
// maxBytes bytes and maxChars characters; stops at the first that does not
// fit. Returns whether anything was appended.
bool appendChars(std::string& text, std::string_view chars, size_t maxBytes, size_t maxChars);
// Removes the last character with all its bytes; false when text was empty.
bool eraseLastChar(std::string& text);
size_t charCount(std::string_view text);
// text with every invalid byte sequence replaced by U+FFFD.
std::string validUtf8(std::string_view text);

} // namespace plugincore
