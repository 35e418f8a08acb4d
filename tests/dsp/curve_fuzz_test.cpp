// Malformed text into Curve::parse and parseChain: never crashes, never breaks
// an invariant, and a failed parse leaves the curve as it was. Also run under
// the sanitizer build.
#include "dsp/curve.h"
#include "dsp/curve_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <string_view>

namespace norvale {
namespace {

bool sameSlots(const Curve& a, const Curve& b) {
    if (a.count != b.count) return false;
    for (int i = 0; i < kMaxCurvePoints; ++i) {
        const CurvePoint& p = a.points[i];
        const CurvePoint& q = b.points[i];
        if (p.x != q.x || p.y != q.y || p.weight != q.weight || p.bend != q.bend) return false;
    }
    return true;
}

void checkParse(const std::string& text, const Curve& before) {
    Curve c = before;
    const bool ok = c.parse(text);
    if (!ok) {
        ASSERT_TRUE(sameSlots(c, before));
        return;
    }
    ASSERT_GE(c.count, 2);
    ASSERT_LE(c.count, kMaxCurvePoints);
    ASSERT_EQ(c.points[0].x, 0.0f);
    ASSERT_EQ(c.points[c.count - 1].x, 1.0f);
    for (int i = 0; i < c.count; ++i) {
        const CurvePoint& p = c.points[i];
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.bend));
        ASSERT_TRUE(p.x >= 0.0f && p.x <= 1.0f && p.y >= 0.0f && p.y <= 1.0f);
        ASSERT_TRUE(p.bend >= -1.0f && p.bend <= 1.0f);
        ASSERT_LE(p.weight, 2);
        if (i > 0) {
            ASSERT_LE(c.points[i - 1].x, p.x);
        }
    }
    for (float ph = -1.0f; ph <= 2.0f; ph += 0.0625f) {
        const float v = c.valueAt(ph);
        ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
    }
}

void checkChain(const std::string& text) {
    CurveSet s;
    parseChain(text, s);
    ASSERT_GE(s.chainLength, 0);
    ASSERT_LE(s.chainLength, kModuleCount);
    bool seen[kModuleCount] = {};
    for (int i = 0; i < s.chainLength; ++i) {
        ASSERT_GE(s.chain[i], 0);
        ASSERT_LT(s.chain[i], kModuleCount);
        ASSERT_FALSE(seen[s.chain[i]]);
        seen[s.chain[i]] = true;
    }
}

TEST(ParseFuzz, RandomBytes) {
    std::mt19937 rng(4242);
    Curve before;
    ASSERT_TRUE(before.parse("0 0.3 1 0.2, 0.5 0.7 2 -0.4, 1 0.1 0"));
    for (int round = 0; round < 20000; ++round) {
        const size_t len = rng() % 200;
        std::string text(len, '\0');
        for (char& ch : text) ch = static_cast<char>(rng() & 0xff);
        checkParse(text, before);
        checkChain(text);
    }
}

TEST(ParseFuzz, RandomTokens) {
    // Texts built from pieces that look like the real thing.
    const char* pieces[] = {"0",   "1",    "0.5", " ",     ",",    ", ",   "\t",  "\n",   "\r",
                            "-",   "+",    "e",   "1e-3",  "nan",  "inf",  "2",   "0x1p-1", ".",
                            "9",   "-0.2", "1.0000", "0.0000", "\v", "vol", "flt", "pan", "x",
                            "\0",  "1e40", "-1e40", "0.9999999", "1.0000001", "3.5"};
    constexpr size_t kPieces = sizeof pieces / sizeof pieces[0];
    std::mt19937 rng(777);
    Curve before;
    for (int round = 0; round < 30000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 300);
        for (int i = 0; i < n; ++i) {
            const size_t k = rng() % kPieces;
            if (pieces[k][0] == '\0') text.push_back('\0');
            else text += pieces[k];
        }
        checkParse(text, before);
        checkChain(text);
    }
}

TEST(ParseFuzz, MutatedValidTexts) {
    std::mt19937 rng(31337);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int accepted = 0;
    for (int round = 0; round < 5000; ++round) {
        Curve c;
        const int n = static_cast<int>(rng() % 64);
        for (int i = 0; i < n; ++i) c.addPoint(unit(rng), unit(rng), static_cast<uint8_t>(rng() % 3));
        std::string text = c.format();
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = rng() % text.size();
            switch (rng() % 3) {
                case 0: text[at] = static_cast<char>(rng() & 0xff); break;
                case 1: text.erase(at, 1 + rng() % 8); break;
                case 2: text.insert(at, 1, "0123456789.,- e\t"[rng() % 16]); break;
            }
        }
        Curve before;
        before.setFlat(0.25f);
        checkParse(text, before);
        Curve probe;
        if (probe.parse(text)) ++accepted;
    }
    // Some mutations stay valid; most do not. Both paths must have been exercised.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 5000);

    // Large texts: many commas, a very long item.
    Curve c;
    EXPECT_FALSE(c.parse(std::string(100000, ',')));
    EXPECT_FALSE(c.parse(std::string(100000, '0')));
    EXPECT_FALSE(c.parse(std::string(100000, ' ')));
    EXPECT_FALSE(c.parse(std::string(50000, '1') + " 0 0, 1 0 0"));
    EXPECT_FALSE(c.parse(std::string_view{}));
    CurveSet s;
    EXPECT_TRUE(parseChain(std::string_view{}, s));
    EXPECT_TRUE(parseChain(std::string(100000, ' '), s));
    EXPECT_FALSE(parseChain(std::string(100000, 'v'), s));
}

}  // namespace
}  // namespace norvale
