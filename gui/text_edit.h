// Text entry by whole UTF-8 characters, and UTF-8 made safe for drawing.
// Shared by the value entry, the save prompt and the curve panel.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

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

// One line of valid UTF-8 being typed, with a caret and a selection running
// from an anchor to the caret (byte offsets on character boundaries). Typing
// and erasing replace the selection; moving without extend drops it.
class TextField {
public:
    // The whole text selected, caret at its end.
    void reset(std::string text);
    const std::string& text() const { return text_; }
    size_t caret() const { return caret_; }
    bool hasSelection() const { return anchor_ != caret_; }
    std::pair<size_t, size_t> selection() const; // first, last (exclusive)

    // Whole characters of chars, while the text stays within the limits.
    void insert(std::string_view chars, size_t maxBytes, size_t maxChars);
    void eraseBackward();
    void eraseForward();
    // Left and Right without extend collapse a selection to its edge.
    void left(bool extend);
    void right(bool extend);
    void home(bool extend) { moveTo(0, extend); }
    void end(bool extend) { moveTo(text_.size(), extend); }
    // offset is snapped down to a character boundary.
    void moveTo(size_t offset, bool extend);

private:
    void eraseSelection();
    std::string text_;
    size_t caret_ = 0, anchor_ = 0;
};

} // namespace plugincore
