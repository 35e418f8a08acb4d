#include "gui/text_edit.h"

#include <algorithm>
#include <cstdint>

namespace plugincore {

namespace {

// Length of the valid UTF-8 sequence at the start of s (its code point in
// cp), or 0 when it is invalid: overlong forms, surrogates and values past
// U+10FFFF count as invalid.
size_t decode(std::string_view s, uint32_t& cp) {
    const auto byte = [&s](size_t i) { return static_cast<uint8_t>(s[i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

} // namespace

std::string printableChars(std::string_view typed) {
    std::string out;
    while (!typed.empty()) {
        uint32_t cp = 0;
        const size_t length = decode(typed, cp);
        if (length == 0) {
            typed.remove_prefix(1);
            continue;
        }
        if (cp >= 32 && cp != 127) out.append(typed.substr(0, length));
        typed.remove_prefix(length);
    }
    return out;
}

bool appendChars(std::string& text, std::string_view chars, size_t maxBytes, size_t maxChars) {
    size_t count = charCount(text);
    bool appended = false;
    while (!chars.empty() && count < maxChars) {
        uint32_t cp = 0;
        const size_t length = decode(chars, cp);
        if (length == 0 || text.size() + length > maxBytes) break;
        text.append(chars.substr(0, length));
        chars.remove_prefix(length);
        ++count;
        appended = true;
    }
    return appended;
}

bool eraseLastChar(std::string& text) {
    if (text.empty()) return false;
    size_t start = text.size() - 1;
    // Step back over continuation bytes, but never past one whole sequence.
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80)
        --start;
    uint32_t cp = 0;
    if (decode(std::string_view(text).substr(start), cp) != text.size() - start)
        start = text.size() - 1; // not one whole character: drop a single stray byte
    text.erase(start);
    return true;
}

size_t charCount(std::string_view text) {
    size_t count = 0;
    while (!text.empty()) {
        uint32_t cp = 0;
        const size_t length = decode(text, cp);
        text.remove_prefix(length == 0 ? 1 : length);
        ++count;
    }
    return count;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        uint32_t cp = 0;
        const size_t length = decode(text, cp);
        if (length == 0) {
            out.append("\xEF\xBF\xBD");
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

// ---- a line with a caret ----

namespace {

bool continuation(char c) {
    return (static_cast<uint8_t>(c) & 0xC0) == 0x80;
}

size_t previousBoundary(const std::string& text, size_t at) {
    if (at == 0) return 0;
    do
        --at;
    while (at > 0 && continuation(text[at]));
    return at;
}

size_t nextBoundary(const std::string& text, size_t at) {
    if (at >= text.size()) return text.size();
    do
        ++at;
    while (at < text.size() && continuation(text[at]));
    return at;
}

} // namespace

void TextField::reset(std::string text) {
    text_ = std::move(text);
    anchor_ = 0;
    caret_ = text_.size();
}

std::pair<size_t, size_t> TextField::selection() const {
    return {std::min(anchor_, caret_), std::max(anchor_, caret_)};
}

void TextField::eraseSelection() {
    const auto [first, last] = selection();
    text_.erase(first, last - first);
    caret_ = anchor_ = first;
}

void TextField::insert(std::string_view chars, size_t maxBytes, size_t maxChars) {
    if (chars.empty()) return;
    eraseSelection();
    // Appended at the end of the head, so the limits count the whole text.
    std::string tail = text_.substr(caret_);
    text_.erase(caret_);
    const size_t tailChars = charCount(tail);
    if (tail.size() <= maxBytes && tailChars <= maxChars)
        appendChars(text_, chars, maxBytes - tail.size(), maxChars - tailChars);
    caret_ = anchor_ = text_.size();
    text_ += tail;
}

void TextField::eraseBackward() {
    if (!hasSelection()) anchor_ = previousBoundary(text_, caret_);
    eraseSelection();
}

void TextField::eraseForward() {
    if (!hasSelection()) anchor_ = nextBoundary(text_, caret_);
    eraseSelection();
}

void TextField::left(bool extend) {
    if (hasSelection() && !extend)
        moveTo(selection().first, false);
    else
        moveTo(previousBoundary(text_, caret_), extend);
}

void TextField::right(bool extend) {
    if (hasSelection() && !extend)
        moveTo(selection().second, false);
    else
        moveTo(nextBoundary(text_, caret_), extend);
}

void TextField::moveTo(size_t offset, bool extend) {
    offset = std::min(offset, text_.size());
    while (offset > 0 && offset < text_.size() && continuation(text_[offset]))
        --offset;
    caret_ = offset;
    if (!extend) anchor_ = offset;
}

} // namespace plugincore
