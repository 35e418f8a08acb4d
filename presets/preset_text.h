// Small text helpers shared by the preset reader and writer and by
// norvale-render.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plugincore {

// Shortest text of a value in the preset format, always with a point as the
// decimal separator: 220, -4, 0.08, 12.5, 2601 (for 2600.7).
std::string formatNumber(double value);

// Drops leading and trailing space, tab, CR and LF (not VT or FF).
// The result is a view into text.
std::string_view trim(std::string_view text);

// Tabs, LFs and CRs become spaces, then the result is trimmed: a value that
// can be written as one line.
std::string oneLine(std::string_view text);

// Reads a number as strtod does in the "C" locale: leading blanks skipped,
// anything after the number ignored. False when no number starts the text.
bool readNumber(std::string_view text, double& out);
// The whole text is one finite number as readNumber reads it, nothing after
// it; false too when it is too large or too small to hold.
bool readFiniteNumber(std::string_view text, double& out);
// The whole text is one integer (sign allowed, nothing after it).
bool readWholeNumber(std::string_view text, long long& out);
// ASCII letters compared without case; other bytes exactly.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// ASCII letters in lower case; other bytes kept.
std::string lowerCase(std::string_view text);
// Index of the first of count names equal to text ignoring case, or -1.
int findName(std::string_view text, const char* const* names, size_t count);
// Drops a leading UTF-8 byte-order mark, as text editors write one.
std::string_view skipByteOrderMark(std::string_view text);

} // namespace plugincore
