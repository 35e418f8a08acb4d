// Curve model, curve set and chain: evaluation, edits, invariants, text forms.
#include "dsp/curve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "dsp/curve_set.h"
#include "presets/test_files.h"

namespace norvale {
namespace {

using presets_test::caseFile;

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
    for (const auto& row : caseFile("curve_values.txt")) {
        std::istringstream pairs(row.at(1));
        for (std::string phase, value; pairs >> phase >> value;)
            EXPECT_FLOAT_EQ(fromText(row[0]).valueAt(std::stof(phase)), std::stof(value))
                << row[0] << " at " << phase;
    }
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
    for (const auto& row : caseFile("curve_edits.txt")) {
        Curve c = fromText(row.at(0));
        edit(c, row.at(1));
        EXPECT_EQ(c.format(), fromText(row.at(2) == "=" ? row[0] : row[2]).format())
            << row[0] << ": " << row[1];
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
    for (const auto& row : caseFile("curve_parse_failures.txt"))
        bad.push_back(row.at(0));
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
