// Curve model, curve set and chain: evaluation, edits, invariants, text forms.
#include "dsp/curve.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "dsp/curve_set.h"

namespace norvale {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Checks every invariant and returns a description of the first breach.
::testing::AssertionResult curveValid(const Curve& c) {
    if (c.count < 2 || c.count > kMaxCurvePoints)
        return ::testing::AssertionFailure() << "count " << c.count;
    if (c.points[0].x != 0.0f || c.points[c.count - 1].x != 1.0f)
        return ::testing::AssertionFailure() << "ends " << c.format();
    for (int i = 0; i < c.count; ++i) {
        const CurvePoint& p = c.points[i];
        if (!(p.y >= 0.0f && p.y <= 1.0f) || p.weight > 2 || !(p.bend >= -1.0f && p.bend <= 1.0f) ||
            (i > 0 && !(p.x >= c.points[i - 1].x)))
            return ::testing::AssertionFailure() << "point " << i << ": " << c.format();
    }
    return ::testing::AssertionSuccess();
}

Curve fromText(const std::string& text) {
    Curve c;
    EXPECT_TRUE(c.parse(text)) << text;
    return c;
}

TEST(Curve, ValueAt) {
    const struct {
        const char* curve;
        float phase, value;
    } rows[] = {
        {"0 1 0, 1 1 0", 0.5f, 1.0f}, // the default
        {"0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0", 0.25f, 0.5f},
        {"0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0", 7.25f, 0.5f},  // wraps
        {"0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0", -0.25f, 0.2f}, // negative phases: the start
        {"0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0", kNaN, 0.2f},
        {"0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0", 1.0f, 0.4f}, // exactly 1: the end point
        {"0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0", 2.0f, 0.2f},
        {"0 0.2 0 0.5, 1 0.8 0", 0.5f, 0.625f}, // bend 0.5 at mid segment
        {"0 0 0 0, 0.25 0.2 0 0.5, 0.75 0.8 0 0, 1 0 0 0", 0.5f, 0.625f},
        {"0 0.2 0 0, 1 0.8 0 0.5", 0.5f, 0.5f}, // the right point's bend does not count
        {"0 1 0 1, 1 1 0", 0.5f, 1.0f},         // bent beyond 1: clamped
        {"0 0 0 -1, 1 0 0", 0.5f, 0.0f},
        {"0 0 0, 1 1 1", 0.25f, 0.203125f}, // the larger corner weight decides
        {"0 0 1, 1 1 0", 0.25f, 0.203125f},
        {"0 0 2, 1 1 1", 0.25f, 0.15625f},
        {"0 0 2, 1 1 1", 0.5f, 0.5f},
        {"0 0 0, 0.5 0.2 0, 0.5 0.9 0, 1 0.5 0", 0.5f, 0.2f}, // a vertical jump
        {"0 0 0, 0.5 0.2 0, 0.5 0.9 0, 1 0.5 0", 0.75f, 0.7f},
    };
    for (const auto& r : rows)
        EXPECT_FLOAT_EQ(fromText(r.curve).valueAt(r.phase), r.value)
            << r.curve << " at " << r.phase;
}

// Runs edits written as "op args; op args" (stof stops at the ';'): add x y w, move i x y, remove
// i, weight i w, bend i b, range a b, step cell cells v, fill n, flat v.
void edit(Curve& c, const std::string& ops) {
    std::istringstream in(ops);
    std::string op, t[3];
    while (in >> op >> t[0]) {
        const int args = op == "add" || op == "move" || op == "step"       ? 3
                         : op == "range" || op == "weight" || op == "bend" ? 2
                                                                           : 1;
        for (int k = 1; k < args; ++k)
            in >> t[k];
        const float a = std::stof(t[0]), b = args > 1 ? std::stof(t[1]) : 0.0f,
                    d = args > 2 ? std::stof(t[2]) : 0.0f;
        const int i = static_cast<int>(a);
        if (op == "add") c.addPoint(a, b, static_cast<uint8_t>(d));
        if (op == "move") c.movePoint(i, b, d);
        if (op == "remove") c.removePoint(i);
        if (op == "weight") c.setWeight(i, static_cast<uint8_t>(b));
        if (op == "bend") c.setBend(i, b);
        if (op == "range") c.removeRange(a, b);
        if (op == "step") c.setStep(i, static_cast<int>(b), d);
        if (op == "fill") c.fillSteps(i);
        if (op == "flat") c.setFlat(a);
    }
}

TEST(Curve, Edits) {
    const char* ramp4 = "0 0 0, 0.25 0.25 0, 0.5 0.5 0, 1 1 0";
    const char* six = "0 0 0, 0.2 0 0, 0.4 0 0, 0.6 0 0, 0.8 0 0, 1 0 0";
    const struct {
        const char *start, *ops, *result; // empty result: unchanged
    } rows[] = {
        {"0 0.5 0, 1 0.5 0", "add 0.0005 0.3 1", "0 0.3 1, 1 0.5 0"}, // overwrites a near end point
        {"0 0.5 0, 1 0.5 0", "add 0.5 3 9", "0 0.5 0, 0.5 1 2, 1 0.5 0"},
        {"0 0.5 0, 0.5 0.5 0 0.4, 1 0.5 0", "add 0.5009 0.6 0", "0 0.5 0, 0.5 0.6 0 0.4, 1 0.5 0"},
        {"0 0.5 0, 1 0.5 0", "add nan nan 0", "0 0 0, 1 0.5 0"},
        {ramp4, "remove 0; remove 3; remove -1; remove 64", ""},
        {ramp4, "remove 1", "0 0 0, 0.5 0.5 0, 1 1 0"},
        {ramp4, "move 0 0.5 0.7; move 3 0.2 2", "0 0.7 0, 0.25 0.25 0, 0.5 0.5 0, 1 1 0"},
        {ramp4, "move 1 0.8 0.3", "0 0 0, 0.5 0.5 0, 0.8 0.3 0, 1 1 0"},
        {ramp4, "move 2 -1 0.1; move 1 5 0.2", "0 0 0, 0.25 0.25 0, 1 0.2 0, 1 1 0"},
        {ramp4, "move 4 0.5 0.5; weight 4 1; bend -1 0.5", ""},
        {"0 0 0, 0.5 0.5 0, 1 1 0", "weight 1 5; bend 1 9; bend 2 -9; bend 0 nan",
         "0 0 0, 0.5 0.5 2 1, 1 1 0 -1"},
        {six, "range 0.6 0.4; range 0.5 0.5", ""},
        {six, "range 0.4 0.8", "0 0 0, 0.2 0 0, 0.4 0 0, 0.8 0 0, 1 0 0"},
        {"0 0 0, 1 0 0", "step 1 4 0.5", "0 0 0, 0.25 0.5 0, 0.498 0.5 0, 1 0 0"},
        {"0 0 0, 0.4 0.9 0, 1 0 0", "step 1 4 0.2", "0 0 0, 0.25 0.2 0, 0.498 0.2 0, 1 0 0"},
        {"0 0 0, 1 0 0", "step 99 4 2; step -5 4 0.6", "0 0.6 0, 0.248 0.6 0, 0.75 1 0, 1 1 0"},
        {"0 0 0, 1 1 0", "step 0 0 0.1; step 0 33 0.1; fill 0; fill 33", ""},
        {"0 0 0, 1 1 0", "fill 1", "0 0.5 0, 1 0.5 0"},
        {"0 0 0, 1 1 0", "fill 4",
         "0 0.125 0, 0.248 0.125 0, 0.25 0.375 0, 0.498 0.375 0, 0.5 0.625 0, 0.748 0.625 0, 0.75 "
         "0.875 0, 1 0.875 0"},
        {"0 0.1 2 0.5, 0.5 0.5 1 0, 1 0.9 0", "flat 7", "0 1 0, 1 1 0"},
    };
    for (const auto& r : rows) {
        Curve c = fromText(r.start);
        edit(c, r.ops);
        EXPECT_EQ(c.format(), fromText(*r.result ? r.result : r.start).format())
            << r.start << ": " << r.ops;
        EXPECT_TRUE(curveValid(c));
    }
    Curve full; // a new point is refused, overwriting still works
    for (int i = 1; i <= 62; ++i)
        full.addPoint(i / 63.0f, 0.5f, 0);
    EXPECT_EQ(full.addPoint(0.5f / 63.0f, 0.1f, 0), -1);
    EXPECT_EQ(full.addPoint(10 / 63.0f, 0.1f, 0), 10);
}

// Random edits, random texts and mutations of valid texts: the invariants
// always hold, a failed parse changes nothing, and evaluation stays in 0..1.
TEST(Curve, RandomEditsAndTextsKeepTheInvariants) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> wide(-0.5f, 1.5f), unit(0.0f, 1.0f);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::string tokens[] = {"0", "1", "0.5", "-1", "2", "1e9", "nan", "inf",
                                  ",", " ", "\t",  "x",  ".", "e",   "+",   "-"};
    for (int seq = 0; seq < 40; ++seq) {
        Curve c;
        c.setFlat(unit(rng));
        for (int step = 0; step < 2000; ++step) {
            const int i = pick(-2, c.count + 1);
            switch (pick(0, 10)) {
            case 0: c.addPoint(wide(rng), wide(rng), static_cast<uint8_t>(pick(0, 5))); break;
            case 1: c.movePoint(i, wide(rng), wide(rng)); break;
            case 2: c.removePoint(i); break;
            case 3: c.setStep(pick(-2, 34), pick(-1, 34), wide(rng)); break;
            case 4:
                if (pick(0, 7) == 0) c.fillSteps(pick(-1, 34));
                break;
            case 5: c.removeRange(wide(rng), wide(rng)); break;
            case 6: c.setWeight(i, static_cast<uint8_t>(pick(0, 255))); break;
            case 7: c.setBend(i, 6.0f * unit(rng) - 3.0f); break;
            case 8:
                if (c.count > 3) c.movePoint(pick(1, c.count - 2), c.points[1].x, unit(rng));
                break;
            case 9: { // a valid text, mutated
                std::string text = c.format();
                for (int k = pick(0, 3); k > 0 && !text.empty(); --k)
                    text.replace(pick(0, static_cast<int>(text.size()) - 1), pick(0, 3),
                                 tokens[pick(0, 15)]);
                const Curve before = c;
                if (!c.parse(text)) {
                    ASSERT_EQ(c.format(), before.format()) << text;
                }
                break;
            }
            default: { // random tokens
                std::string text;
                for (int k = pick(0, 20); k > 0; --k)
                    text += tokens[pick(0, 15)];
                const Curve before = c;
                if (!c.parse(text)) {
                    ASSERT_EQ(c.format(), before.format()) << text;
                }
            }
            }
            ASSERT_TRUE(curveValid(c)) << "sequence " << seq << " step " << step;
            const float v = c.valueAt(wide(rng) * 3.0f);
            ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
        }
        Curve round; // the text form reads back to the same text
        ASSERT_TRUE(round.parse(c.format()));
        EXPECT_EQ(round.format(), c.format());
        c.fillSteps(32);
        EXPECT_EQ(c.count, 64);
    }
}

TEST(Curve, ParseFailuresLeaveTheCurveUnchanged) {
    const Curve before = fromText("0 0.2 1 0.5, 0.4 0.6 2 -0.25, 1 0.9 0 0");
    std::string text65;
    for (int i = 0; i < 65; ++i)
        text65 += (i ? ", " : "") + std::to_string(i / 64.0) + " 0.5 0";
    const std::string bad[] = {
        "",
        " ",
        "0 0.5 0",
        "0 0.5 0,",
        "0 0.5 0, 1 0.5 0,",
        ",0 0.5 0, 1 0.5 0",
        "0 0.5 0,, 1 0.5 0",
        "0 0.5 0, 1 1.0001 0",
        "0 -0.1 0, 1 0.5 0",
        "1.5 0.5 0, 1 0.5 0",
        "-0.5 0.5 0, 1 0.5 0",
        "0 0.5, 1 0.5 0",
        "0 0.5 0 0 0, 1 0.5 0",
        "0 0.5 0 0 x, 1 0.5 0",
        "0 0.5 0x, 1 0.5 0",
        "0 0.5 0, 1 0.5 0 ;",
        "a b c, d e f",
        "0 nan 0, 1 0.5 0",
        "0 0.5 0, 1 0.5 0 nan",
        "0 0.5 nan, 1 0.5 0",
        "0 0.5 0, 1 0.5 0 -nan",
        "0 0.5 0, 1 0.5 0 NAN(123)",
        "0 0.5 inf, 1 0.5 0",
        "0 0.5 0 -infinity, 1 0.5 0",
        "0 0.5 0 1e99, 1 0.5 0",
        "0 0.5 0, 1 0.5 0\v",
        std::string("0 0.5 0, 1 0.5 0\0", 17),
        std::string("0 0.5\0 0, 1 0.5 0", 17),
        text65,
    };
    for (const std::string& t : bad) {
        Curve c = before;
        EXPECT_FALSE(c.parse(t)) << '"' << t << '"';
        EXPECT_EQ(c.count, before.count);
        for (int i = 0; i < kMaxCurvePoints; ++i) { // every slot, those beyond count too
            const CurvePoint &p = c.points[i], &q = before.points[i];
            EXPECT_TRUE(p.x == q.x && p.y == q.y && p.weight == q.weight && p.bend == q.bend)
                << '"' << t << "\" slot " << i;
        }
    }
    // What does parse: clamped weights and bends, blanks, unordered middles, strtof numbers.
    EXPECT_EQ(fromText("0.3 0.4 5 9, 0.7 0.6 1").format(),
              "0.0000 0.4000 2 1.000, 1.0000 0.6000 1 0.000");
    EXPECT_EQ(fromText(" \t0\t0.1 1.7\r\n,\n 0.8  0.2 -3 -4 \r, 0.4 0.3 0, 1 0.5 0 \t").format(),
              "0.0000 0.1000 1 0.000, 0.4000 0.3000 0 0.000, 0.8000 0.2000 0 -1.000, 1.0000 0.5000 "
              "0 0.000");
    EXPECT_EQ(fromText("+0 5e-1 0, 1e0 .25 0 -0").format(),
              "0.0000 0.5000 0 0.000, 1.0000 0.2500 0 -0.000");
}

TEST(Curve, FormatIgnoresTheNumericLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    bool any = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (!std::setlocale(LC_NUMERIC, name)) continue;
        any = true;
        EXPECT_EQ(fromText("0 0.5 0 0.25, 1 0.75 1").format(),
                  "0.0000 0.5000 0 0.250, 1.0000 0.7500 1 0.000")
            << name;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!any) GTEST_SKIP() << "no other locale installed";
}

TEST(Chain, EditsAndText) {
    const struct {
        const char* start;
        char op; // + add, - remove, > move, p parse (true), x parse (false)
        int module, position;
        const char *text, *result;
    } rows[] = {
        {"drv", '+', kVol, 0, "", "drv vol"},
        {"drv vol", '+', kDrv, 0, "", "drv vol"},
        {"drv", '+', 7, 0, "", "drv"},
        {"drv vol flt", '-', kVol, 0, "", "drv flt"},
        {"drv", '-', kPan, 0, "", "drv"},
        {"vol flt drv", '>', kVol, 9, "", "flt drv vol"},
        {"vol flt drv", '>', kDrv, -5, "", "drv vol flt"},
        {"vol flt drv", '>', kDrv, 1, "", "vol drv flt"},
        {"vol flt", '>', kPan, 0, "", "vol flt"},
        {"vol", 'p', 0, 0, "flt vol flt", "flt vol"},
        {"vol", 'x', 0, 0, "flt xyz vol", "flt"},
        {"vol", 'p', 0, 0, " \t\r\n ", ""},
        {"vol", 'p', 0, 0, "  wid\tpan\n\ncrs  ", "wid pan crs"},
        {"vol", 'x', 0, 0, "VOL", ""},
        {"vol", 'x', 0, 0, "vol,flt", ""},
        {"", 'p', 0, 0, "vol flt drv tim crs pan wid vol", "vol flt drv tim crs pan wid"},
    };
    for (const auto& r : rows) {
        CurveSet s;
        ASSERT_TRUE(parseChain(r.start, s));
        if (r.op == '+') chainAdd(s, r.module);
        if (r.op == '-') chainRemove(s, r.module);
        if (r.op == '>') chainMove(s, r.module, r.position);
        if (r.op == 'p' || r.op == 'x') {
            EXPECT_EQ(parseChain(r.text, s), r.op == 'p') << r.text;
        }
        EXPECT_EQ(formatChain(s), r.result) << r.start << " " << r.op << " " << r.text;
        EXPECT_EQ(chainHas(s, kFlt), std::string(r.result).find("flt") != std::string::npos);
    }
}

TEST(Chain, EffectiveChainPutsTheChainFirstThenTheDefaultOrder) {
    const bool all[kModuleCount] = {true, true, true, true, true, true, true};
    const bool some[kModuleCount] = {true, false, true, true, false, false, false}; // vol drv tim
    const struct {
        const char* chain;
        const bool* on;
        const char* result;
    } rows[] = {{"", all, "vol flt drv crs tim wid pan"},
                {"pan drv", some, "pan drv vol tim"},
                {"pan drv", all, "pan drv vol flt crs tim wid"}};
    for (const auto& r : rows) {
        CurveSet s, out;
        parseChain(r.chain, s);
        int order[kModuleCount];
        out.chainLength = static_cast<int8_t>(effectiveChain(s, r.on, order));
        for (int i = 0; i < out.chainLength; ++i)
            out.chain[i] = static_cast<int8_t>(order[i]);
        EXPECT_EQ(formatChain(out), r.result) << r.chain;
    }
    CurveSet corrupt; // out-of-range entries and length are skipped
    corrupt.chainLength = 100;
    for (int i = 0; i < kModuleCount; ++i)
        corrupt.chain[i] = static_cast<int8_t>(i % 2 ? 9 : -3);
    int order[kModuleCount];
    EXPECT_EQ(effectiveChain(corrupt, all, order), kModuleCount);
}

} // namespace
} // namespace norvale
