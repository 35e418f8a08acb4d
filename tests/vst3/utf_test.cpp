// Texts between CLAP (UTF-8) and VST 3 (UTF-16), letters outside the Basic
// Multilingual Plane included; the compiler's own literals are the oracle.
#include <gtest/gtest.h>

#include <string>

#include "wrapper/utf.h"

namespace norvale::vst3 {
namespace {

TEST(Utf, RoundTripsAndCutsOnlyBetweenWholeLetters) {
    const struct {
        const char* utf8;
        std::u16string utf16;
    } texts[] = {
        {"Mix", u"Mix"},
        {"Ét\u00e9 \u20ac", u"Ét\u00e9 \u20ac"},
        {"Kick \U0001F941 \U0001F600", u"Kick \U0001F941 \U0001F600"}, // emoji: surrogate pairs
        {"\U0002000B\U0002A6D6", u"\U0002000B\U0002A6D6"},             // CJK extensions B and C
    };
    for (const auto& t : texts) {
        char16_t wide[64];
        EXPECT_EQ(utf8ToUtf16(t.utf8, wide, 64), t.utf16.size()) << t.utf8;
        EXPECT_EQ(std::u16string(wide), t.utf16) << t.utf8;
        EXPECT_EQ(toUtf8(t.utf16.c_str()), t.utf8);
    }
    // A pair needs two units and the terminator one: no half of it is written.
    char16_t three[3];
    EXPECT_EQ(utf8ToUtf16("a\U0001F941", three, 3), 1u);
    EXPECT_EQ(std::u16string(three), u"a");
    char five[5]; // "a" and the four bytes of the emoji leave no room for the terminator
    EXPECT_EQ(utf16ToUtf8(u"a\U0001F941", five, 5), 1u);
    // A lone half of a pair is not a letter.
    const char16_t lone[] = {u'x', char16_t(0xD83E), u'y', 0};
    EXPECT_EQ(toUtf8(lone), "x\uFFFDy");
}

} // namespace
} // namespace norvale::vst3
