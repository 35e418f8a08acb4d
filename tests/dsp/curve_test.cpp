// Curve model, curve set and chain: evaluation, edits, invariants, text forms.
#include "dsp/curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "dsp/curve_set.h"

namespace norvale {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Every invariant: 2 to 64 points from x 0 to x 1, x never falling, values in range.
bool curveValid(const Curve& c) {
    bool ok = c.count >= 2 && c.count <= kMaxCurvePoints && c.points[0].x == 0.0f &&
              c.points[c.count - 1].x == 1.0f;
    for (int i = 0; ok && i < c.count; ++i) {
        const CurvePoint& p = c.points[i];
        ok = p.y >= 0.0f && p.y <= 1.0f && p.weight <= 2 && p.bend >= -1.0f && p.bend <= 1.0f &&
             (i == 0 || p.x >= c.points[i - 1].x);
    }
    return ok;
}

Curve fromText(const std::string& text) {
    Curve c;
    EXPECT_TRUE(c.parse(text)) << text;
    return c;
}

TEST(Curve, ValueAt) {
    const std::pair<const char*, std::vector<float>> rows[] = {
        // curve, then phase and value pairs
        {"0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0",
         {0.25f, 0.5f, 7.25f, 0.5f, -0.25f, 0.2f, kNaN, 0.2f, 1.0f, 0.4f, 2.0f,
          0.2f}},                                 // wraps; 1 is the end
        {"0 0.2 0 0.5, 1 0.8 0", {0.5f, 0.625f}}, // bend 0.5
        {"0 0 0 0, 0.25 0.2 0 0.5, 0.75 0.8 0 0, 1 0 0 0", {0.5f, 0.625f}},
        {"0 0.2 0 0, 1 0.8 0 0.5", {0.5f, 0.5f}}, // the right point's bend does not count
        {"0 1 0 1, 1 1 0", {0.5f, 1.0f}},         // bent beyond 1: clamped
        {"0 0 0 -1, 1 0 0", {0.5f, 0.0f}},
        {"0 0 0, 1 1 1", {0.25f, 0.203125f}}, // the larger corner weight decides
        {"0 0 1, 1 1 0", {0.25f, 0.203125f}},
        {"0 0 2, 1 1 1", {0.25f, 0.15625f, 0.5f, 0.5f}},
        {"0 0 0, 0.5 0.2 0, 0.5 0.9 0, 1 0.5 0", {0.5f, 0.2f, 0.75f, 0.7f}}}; // a vertical jump
    for (const auto& [curve, pairs] : rows)
        for (size_t i = 0; i < pairs.size(); i += 2)
            EXPECT_FLOAT_EQ(fromText(curve).valueAt(pairs[i]), pairs[i + 1]) << curve << " " << i;
}

// Runs edits written as "op args; op args": add x y w, move i x y, remove i,
// weight i w, bend i b, range a b, step cell cells v, fill n, flat v.
void edit(Curve& c, const std::string& ops) {
    std::istringstream in(ops);
    for (std::string segment; std::getline(in, segment, ';');) {
        std::istringstream words(segment);
        std::string op, t[3] = {"0", "0", "0"};
        words >> op >> t[0] >> t[1] >> t[2];
        const float a = std::stof(t[0]), b = std::stof(t[1]), d = std::stof(t[2]);
        const int i = a == a ? static_cast<int>(a) : 0, w = static_cast<int>(b == b ? b : 0);
        if (op == "add") c.addPoint(a, b, static_cast<uint8_t>(static_cast<int>(d)));
        if (op == "move") c.movePoint(i, b, d);
        if (op == "remove") c.removePoint(i);
        if (op == "weight") c.setWeight(i, static_cast<uint8_t>(w));
        if (op == "bend") c.setBend(i, b);
        if (op == "range") c.removeRange(a, b);
        if (op == "step") c.setStep(i, w, d);
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
        EXPECT_TRUE(curveValid(c)) << c.format();
    }
    Curve full; // a new point is refused, overwriting still works
    for (int i = 1; i <= 62; ++i)
        full.addPoint(i / 63.0f, 0.5f, 0);
    EXPECT_EQ(full.addPoint(0.5f / 63.0f, 0.1f, 0), -1);
    EXPECT_EQ(full.addPoint(10 / 63.0f, 0.1f, 0), 10);
}

// Random edits and mutated texts: the invariants always hold, a failed parse
// changes nothing, evaluation stays in 0..1, and the text form reads back.
TEST(Curve, RandomEditsAndTextsKeepTheInvariants) {
    std::mt19937 rng(20240611);
    auto num = [&] { return std::to_string(std::uniform_real_distribution<float>(-2, 35)(rng)); };
    const char* ops[] = {"add",   "move", "remove", "weight", "bend",
                         "range", "step", "fill",   "flat"};
    const char* tokens[] = {"0", "1", "0.5", "-1", "2", "1e9", "nan", "inf", ",", " ", "x", "-"};
    for (int seq = 0; seq < 40; ++seq) {
        Curve c;
        for (int step = 0; step < 2000; ++step) {
            const std::string op = ops[rng() % 9], text = c.format();
            if (op != "fill" || rng() % 8 == 0)
                edit(c, op + " " + num() + " " + num() + " " + num());
            std::string mutated = text; // the text before, with a few tokens replaced
            for (int k = rng() % 4; k > 0 && !mutated.empty(); --k)
                mutated.replace(rng() % mutated.size(), rng() % 4, tokens[rng() % 12]);
            const std::string before = c.format();
            if (!c.parse(mutated)) {
                ASSERT_EQ(c.format(), before) << mutated;
            }
            ASSERT_TRUE(curveValid(c)) << c.format() << ", sequence " << seq << " step " << step;
            const float v = c.valueAt(std::uniform_real_distribution<float>(-3, 3)(rng));
            ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
        }
        Curve round;
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
    std::vector<std::string> bad = {std::string("0 0.5 0, 1 0.5 0\0", 17),
                                    std::string("0 0.5\0 0, 1 0.5 0", 17), text65};
    std::istringstream list( // one per line
        "\n \n0 0.5 0\n0 0.5 0,\n0 0.5 0, 1 0.5 0,\n,0 0.5 0, 1 0.5 0\n0 0.5 0,, 1 0.5 0\n"
        "0 0.5 0, 1 1.0001 0\n0 -0.1 0, 1 0.5 0\n1.5 0.5 0, 1 0.5 0\n-0.5 0.5 0, 1 0.5 0\n"
        "0 0.5, 1 0.5 0\n0 0.5 0 0 0, 1 0.5 0\n0 0.5 0 0 x, 1 0.5 0\n0 0.5 0x, 1 0.5 0\n"
        "0 0.5 0, 1 0.5 0 ;\na b c, d e f\n0 nan 0, 1 0.5 0\n0 0.5 0, 1 0.5 0 nan\n"
        "0 0.5 nan, 1 0.5 0\n0 0.5 0, 1 0.5 0 -nan\n0 0.5 0, 1 0.5 0 NAN(123)\n"
        "0 0.5 inf, 1 0.5 0\n0 0.5 0 -infinity, 1 0.5 0\n0 0.5 0 1e99, 1 0.5 0\n0 0.5 0, 1 0.5 "
        "0\v");
    for (std::string line; std::getline(list, line);)
        bad.push_back(line);
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

// Chain edits written as "+key" (add), "-key" (remove), ">key n" (move) or
// "=text" (parse; "!text" when it must fail).
TEST(Chain, EditsAndText) {
    const char* rows[][3] = {
        {"drv", "+vol +drv +pan", "drv vol pan"},
        {"drv vol flt", "-vol -pan", "drv flt"},
        {"vol flt drv", ">vol 9", "flt drv vol"},
        {"vol flt drv", ">drv -5", "drv vol flt"},
        {"vol flt drv", ">drv 1 >pan 0", "vol drv flt"},
        {"vol", "=flt vol flt", "flt vol"},
        {"vol", "!flt xyz vol", "flt"},
        {"vol", "= \t\r\n ", ""},
        {"vol", "=  wid\tpan\n\ncrs  ", "wid pan crs"},
        {"vol", "!VOL", ""},
        {"vol", "!vol,flt", ""},
        {"", "=vol flt drv tim crs pan wid vol", "vol flt drv tim crs pan wid"}};
    for (const auto& [start, ops, result] : rows) {
        CurveSet s;
        ASSERT_TRUE(parseChain(start, s));
        const std::string text = ops;
        if (text[0] == '=' || text[0] == '!') {
            EXPECT_EQ(parseChain(text.substr(1), s), text[0] == '=');
        }
        std::istringstream in(text);
        for (std::string word; text[0] != '=' && text[0] != '!' && in >> word;) {
            const char kind = word[0];
            const int m = moduleFromKey(word.substr(1));
            const int position = kind == '>' && in >> word ? std::stoi(word) : 0;
            kind == '+'   ? chainAdd(s, m)
            : kind == '-' ? chainRemove(s, m)
                          : chainMove(s, m, position);
        }
        EXPECT_EQ(formatChain(s), result) << start << " " << ops;
    }
}

TEST(Chain, EffectiveChainPutsTheChainFirstThenTheDefaultOrder) {
    const bool all[kModuleCount] = {true, true, true, true, true, true, true};
    const bool some[kModuleCount] = {true, false, true, true, false, false, false}; // vol drv tim
    const std::tuple<const char*, const bool*, const char*> rows[] = {
        {"", all, "vol flt drv crs tim wid pan"},
        {"pan drv", some, "pan drv vol tim"},
        {"pan drv", all, "pan drv vol flt crs tim wid"},
        {"corrupt", all, "vol flt drv crs tim wid pan"}};
    for (const auto& [chain, on, result] : rows) {
        CurveSet s, out;
        parseChain(chain, s);
        if (std::string(chain) == "corrupt") // out-of-range entries and length are skipped
            s.chainLength = 100, std::fill_n(s.chain, kModuleCount, int8_t{9});
        int order[kModuleCount];
        out.chainLength = static_cast<int8_t>(effectiveChain(s, on, order));
        std::copy_n(order, out.chainLength, out.chain);
        EXPECT_EQ(formatChain(out), result) << chain;
    }
}

} // namespace
} // namespace norvale
