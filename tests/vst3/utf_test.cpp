// Texts between CLAP (UTF-8) and VST 3 (UTF-16), letters outside the Basic
// Multilingual Plane included; the compiler's own literals are the oracle.
#include <gtest/gtest.h>

#include <string>

#include "wrapper/utf.h"

namespace norvale::vst3 {
namespace {

TEST(Utf, RoundTripsAndCutsOnlyBetweenWholeLetters) {
    // Emoji and CJK extension B and C letters take surrogate pairs.
    for (const std::u16string& text :
         {std::u16string(u"Mix \u00e9\u20ac"),
          std::u16string(u"Kick \U0001F941\U0001F600 \U0002000B\U0002A6D6")}) {
        const std::string utf8 = toUtf8(text.c_str());
        char16_t wide[64];
        EXPECT_EQ(utf8ToUtf16(utf8.c_str(), wide, 64), text.size());
        EXPECT_EQ(std::u16string(wide), text);
    }
    EXPECT_EQ(toUtf8(u"\U0001F941"), "\U0001F941");
    // A pair needs two units and the terminator one: no half of it is written.
    char16_t three[3];
    EXPECT_EQ(utf8ToUtf16("a\U0001F941", three, 3), 1u);
    char five[5]; // "a" and the four bytes of the emoji leave no room for the terminator
    EXPECT_EQ(utf16ToUtf8(u"a\U0001F941", five, 5), 1u);
    const char16_t lone[] = {u'x', char16_t(0xD83E), u'y', 0}; // half a pair is no letter
    EXPECT_EQ(toUtf8(lone), "x\uFFFDy");
}

} // namespace
} // namespace norvale::vst3
