#include "wrapper/utf.h"

#include <cstdint>

namespace norvale::vst3 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one code point and advances; malformed sequences give U+FFFD and
// skip one byte so decoding resynchronises on the next lead byte.
char32_t decodeUtf8(const unsigned char*& at) {
    const unsigned char lead = *at++;
    if (lead < 0x80) return lead;
    int length = 0;
    char32_t point = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 1, point = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 2, point = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 3, point = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    const unsigned char* cursor = at;
    for (int i = 0; i < length; ++i, ++cursor) {
        if (!isContinuation(*cursor)) return kReplacement;
        point = (point << 6) | (*cursor & 0x3F);
    }
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return kReplacement;
    at = cursor;
    return point;
}

char32_t decodeUtf16(const char16_t*& at) {
    const char16_t unit = *at++;
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit >= 0xDC00 || *at < 0xDC00 || *at > 0xDFFF) return kReplacement;
    const char16_t low = *at++;
    return 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (low - 0xDC00);
}

} // namespace

size_t utf8ToUtf16(const char* text, char16_t* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    size_t used = 0;
    auto at = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    while (*at != 0) {
        const char32_t point = decodeUtf8(at);
        const size_t units = point >= 0x10000 ? 2 : 1;
        if (used + units >= capacity) break;
        if (units == 2) {
            out[used++] = char16_t(0xD800 + ((point - 0x10000) >> 10));
            out[used++] = char16_t(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            out[used++] = char16_t(point);
        }
    }
    out[used] = 0;
    return used;
}

size_t utf16ToUtf8(const char16_t* text, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return 0;
    size_t used = 0;
    const char16_t* at = text != nullptr ? text : u"";
    while (*at != 0) {
        const char32_t point = decodeUtf16(at);
        char bytes[4];
        size_t count = 0;
        if (point < 0x80) {
            bytes[count++] = char(point);
        } else if (point < 0x800) {
            bytes[count++] = char(0xC0 | (point >> 6));
            bytes[count++] = char(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            bytes[count++] = char(0xE0 | (point >> 12));
            bytes[count++] = char(0x80 | ((point >> 6) & 0x3F));
            bytes[count++] = char(0x80 | (point & 0x3F));
        } else {
            bytes[count++] = char(0xF0 | (point >> 18));
            bytes[count++] = char(0x80 | ((point >> 12) & 0x3F));
            bytes[count++] = char(0x80 | ((point >> 6) & 0x3F));
            bytes[count++] = char(0x80 | (point & 0x3F));
        }
        if (used + count >= capacity) break;
        for (size_t i = 0; i < count; ++i)
            out[used++] = bytes[i];
    }
    out[used] = 0;
    return used;
}

std::string toUtf8(const char16_t* text) {
    size_t length = 0;
    while (text != nullptr && text[length] != 0)
        ++length;
    std::string result(length * 3 + 1, '\0');
    result.resize(utf16ToUtf8(text, result.data(), result.size()));
    return result;
}

} // namespace norvale::vst3
