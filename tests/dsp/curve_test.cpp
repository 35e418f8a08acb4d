// Curve model: evaluation, edits, invariants, text form.
#include "dsp/curve.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <type_traits>

namespace norvale {
namespace {

static_assert(std::is_trivially_copyable_v<CurvePoint>);
static_assert(std::is_trivially_copyable_v<Curve>);

// Checks every invariant and returns a description of the first breach.
::testing::AssertionResult curveValid(const Curve& c) {
    if (c.count < 2 || c.count > kMaxCurvePoints)
        return ::testing::AssertionFailure() << "count " << c.count;
    if (c.points[0].x != 0.0f) return ::testing::AssertionFailure() << "point 0 x " << c.points[0].x;
    if (c.points[c.count - 1].x != 1.0f)
        return ::testing::AssertionFailure() << "end x " << c.points[c.count - 1].x;
    for (int i = 0; i < c.count; ++i) {
        const CurvePoint& p = c.points[i];
        if (!(p.x >= 0.0f && p.x <= 1.0f)) return ::testing::AssertionFailure() << "x " << i;
        if (!(p.y >= 0.0f && p.y <= 1.0f)) return ::testing::AssertionFailure() << "y " << i << " " << p.y;
        if (p.weight > 2) return ::testing::AssertionFailure() << "weight " << i;
        if (!(p.bend >= -1.0f && p.bend <= 1.0f)) return ::testing::AssertionFailure() << "bend " << i;
        if (i > 0 && p.x < c.points[i - 1].x)
            return ::testing::AssertionFailure() << "x decreases at " << i << ": " << c.format();
    }
    return ::testing::AssertionSuccess();
}

bool samePoints(const Curve& a, const Curve& b) {
    if (a.count != b.count) return false;
    for (int i = 0; i < a.count; ++i) {
        const CurvePoint& p = a.points[i];
        const CurvePoint& q = b.points[i];
        if (p.x != q.x || p.y != q.y || p.weight != q.weight || p.bend != q.bend) return false;
    }
    return true;
}

// Every slot, the ignored ones beyond count included.
bool sameSlots(const Curve& a, const Curve& b) {
    if (a.count != b.count) return false;
    for (int i = 0; i < kMaxCurvePoints; ++i) {
        const CurvePoint& p = a.points[i];
        const CurvePoint& q = b.points[i];
        if (p.x != q.x || p.y != q.y || p.weight != q.weight || p.bend != q.bend) return false;
    }
    return true;
}

Curve fromText(const std::string& text) {
    Curve c;
    EXPECT_TRUE(c.parse(text)) << text;
    return c;
}

// ---------------------------------------------------------------- default, setFlat

TEST(CurveBasics, DefaultIsFlatAtOne) {
    Curve c;
    EXPECT_EQ(c.count, 2);
    EXPECT_TRUE(curveValid(c));
    for (int i = 0; i < kMaxCurvePoints; ++i) {
        EXPECT_EQ(c.points[i].y, 1.0f);
        EXPECT_EQ(c.points[i].weight, 0);
        EXPECT_EQ(c.points[i].bend, 0.0f);
    }
    EXPECT_EQ(c.points[1].x, 1.0f);
    for (float ph : {0.0f, 0.1f, 0.5f, 0.999f, 1.0f, 1.5f, -0.25f}) EXPECT_EQ(c.valueAt(ph), 1.0f);
    EXPECT_EQ(c.format(), "0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000");
}

TEST(CurveBasics, SetFlatClampsAndResets) {
    Curve c = fromText("0 0.1 2 0.5, 0.5 0.5 1 0, 1 0.9 0");
    c.setFlat(0.25f);
    EXPECT_EQ(c.count, 2);
    EXPECT_EQ(c.format(), "0.0000 0.2500 0 0.000, 1.0000 0.2500 0 0.000");
    c.setFlat(7.0f);
    EXPECT_EQ(c.points[0].y, 1.0f);
    c.setFlat(-1.0f);
    EXPECT_EQ(c.points[1].y, 0.0f);
    c.setFlat(std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(curveValid(c));
}

// ---------------------------------------------------------------- valueAt

TEST(CurveValueAt, PhaseWrapping) {
    Curve c = fromText("0 0.2 0 0, 0.5 0.8 0 0, 1 0.4 0 0");
    const float at0 = c.valueAt(0.0f);
    const float at25 = c.valueAt(0.25f);
    EXPECT_FLOAT_EQ(at0, 0.2f);
    EXPECT_FLOAT_EQ(at25, 0.5f);
    EXPECT_EQ(c.valueAt(1.25f), at25);
    EXPECT_EQ(c.valueAt(7.25f), at25);
    EXPECT_EQ(c.valueAt(-3.0f), at0);
    EXPECT_EQ(c.valueAt(-0.25f), at0);
    EXPECT_EQ(c.valueAt(std::numeric_limits<float>::quiet_NaN()), at0);
    EXPECT_EQ(c.valueAt(-std::numeric_limits<float>::infinity()), at0);
    EXPECT_EQ(c.valueAt(std::numeric_limits<float>::infinity()), at0);
    EXPECT_EQ(c.valueAt(1.0f), 0.4f);  // exactly 1 gives the end point, not the start
    EXPECT_EQ(c.valueAt(2.0f), at0);   // fractional part of 2 is 0
    EXPECT_FLOAT_EQ(c.valueAt(0.75f), 0.6f);
}

TEST(CurveValueAt, BendHalfGivesSixTwentyFiveAtMidSegment) {
    Curve c = fromText("0 0.2 0 0.5, 1 0.8 0");
    EXPECT_FLOAT_EQ(c.valueAt(0.5f), 0.625f);
    // Same as a middle segment of a longer curve.
    Curve m = fromText("0 0 0 0, 0.25 0.2 0 0.5, 0.75 0.8 0 0, 1 0 0 0");
    EXPECT_FLOAT_EQ(m.valueAt(0.5f), 0.625f);
    // The bend of the right point does not affect the segment.
    Curve r = fromText("0 0.2 0 0, 1 0.8 0 0.5");
    EXPECT_FLOAT_EQ(r.valueAt(0.5f), 0.5f);
    // A strong bend is clamped to 0..1.
    Curve s = fromText("0 1 0 1, 1 1 0");
    EXPECT_EQ(s.valueAt(0.5f), 1.0f);
    Curve t = fromText("0 0 0 -1, 1 0 0");
    EXPECT_EQ(t.valueAt(0.5f), 0.0f);
}

TEST(CurveValueAt, CornerWeights) {
    // Linear ramp 0 -> 1; the larger of the two weights decides.
    Curve w0 = fromText("0 0 0, 1 1 0");
    EXPECT_FLOAT_EQ(w0.valueAt(0.25f), 0.25f);
    Curve w1 = fromText("0 0 0, 1 1 1");
    EXPECT_FLOAT_EQ(w1.valueAt(0.25f), 0.203125f);
    Curve w1a = fromText("0 0 1, 1 1 0");
    EXPECT_FLOAT_EQ(w1a.valueAt(0.25f), 0.203125f);
    Curve w2 = fromText("0 0 2, 1 1 1");
    EXPECT_FLOAT_EQ(w2.valueAt(0.25f), 0.15625f);
    EXPECT_FLOAT_EQ(w2.valueAt(0.5f), 0.5f);
}

TEST(CurveValueAt, EqualXMakesAVerticalJump) {
    Curve c = fromText("0 0 0, 0.5 0.2 0, 0.5 0.9 0, 1 0.5 0");
    EXPECT_EQ(c.count, 4);
    EXPECT_FLOAT_EQ(c.valueAt(0.5f), 0.2f);  // the earlier point's value
    EXPECT_NEAR(c.valueAt(0.5001f), 0.9f, 1e-3);
    EXPECT_FLOAT_EQ(c.valueAt(0.75f), 0.7f);  // segment leaving the later point
    EXPECT_FLOAT_EQ(c.valueAt(0.25f), 0.1f);
}

// ---------------------------------------------------------------- edits

TEST(CurveEdit, AddPoint) {
    Curve c;
    c.setFlat(0.5f);
    // Near point 0: overwrites it.
    EXPECT_EQ(c.addPoint(0.0005f, 0.3f, 1), 0);
    EXPECT_EQ(c.count, 2);
    EXPECT_EQ(c.points[0].x, 0.0f);
    EXPECT_EQ(c.points[0].y, 0.3f);
    EXPECT_EQ(c.points[0].weight, 1);
    // Near the end point.
    EXPECT_EQ(c.addPoint(0.9995f, 0.7f, 0), 1);
    EXPECT_EQ(c.points[1].x, 1.0f);
    EXPECT_EQ(c.points[1].y, 0.7f);
    // Insertions in order.
    EXPECT_EQ(c.addPoint(0.5f, 0.1f, 9), 1);
    EXPECT_EQ(c.points[1].weight, 2);  // limited to 2
    EXPECT_EQ(c.addPoint(0.25f, 0.2f, 0), 1);
    EXPECT_EQ(c.addPoint(0.75f, 0.9f, 0), 3);
    EXPECT_EQ(c.count, 5);
    // Overwrite a middle point within 0.001: x and bend stay.
    c.setBend(2, 0.4f);
    EXPECT_EQ(c.addPoint(0.5009f, 0.6f, 0), 2);
    EXPECT_EQ(c.count, 5);
    EXPECT_EQ(c.points[2].x, 0.5f);
    EXPECT_EQ(c.points[2].y, 0.6f);
    EXPECT_EQ(c.points[2].weight, 0);
    EXPECT_EQ(c.points[2].bend, 0.4f);
    // Clamping.
    EXPECT_EQ(c.addPoint(0.6f, 3.0f, 0), 3);
    EXPECT_EQ(c.points[3].y, 1.0f);
    EXPECT_EQ(c.addPoint(-5.0f, -1.0f, 0), 0);
    EXPECT_EQ(c.points[0].y, 0.0f);
    EXPECT_EQ(c.addPoint(std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::quiet_NaN(), 0),
              0);
    EXPECT_TRUE(curveValid(c));
}

TEST(CurveEdit, AddPointWhenFull) {
    Curve c;
    for (int i = 1; i <= 62; ++i) ASSERT_GE(c.addPoint(i / 63.0f, 0.5f, 0), 1);
    ASSERT_EQ(c.count, 64);
    EXPECT_EQ(c.addPoint(0.5f / 63.0f, 0.1f, 0), -1);
    EXPECT_EQ(c.count, 64);
    // Overwriting still works when full, end points included.
    EXPECT_EQ(c.addPoint(10 / 63.0f, 0.1f, 0), 10);
    EXPECT_EQ(c.addPoint(0.0f, 0.2f, 0), 0);
    EXPECT_EQ(c.addPoint(1.0f, 0.3f, 0), 63);
    EXPECT_TRUE(curveValid(c));
}

TEST(CurveEdit, RemovePoint) {
    Curve c = fromText("0 0 0, 0.25 0.25 0, 0.5 0.5 0, 1 1 0");
    const Curve before = c;
    c.removePoint(0);
    c.removePoint(3);
    c.removePoint(-1);
    c.removePoint(64);
    EXPECT_TRUE(samePoints(c, before));
    c.removePoint(1);
    EXPECT_EQ(c.format(), "0.0000 0.0000 0 0.000, 0.5000 0.5000 0 0.000, 1.0000 1.0000 0 0.000");
    c.removePoint(1);
    c.removePoint(1);
    EXPECT_EQ(c.count, 2);
}

TEST(CurveEdit, MovePoint) {
    Curve c = fromText("0 0 0, 0.25 0.25 0, 0.5 0.5 0, 1 1 0");
    c.movePoint(0, 0.5f, 0.7f);  // end point: y only
    EXPECT_EQ(c.points[0].x, 0.0f);
    EXPECT_EQ(c.points[0].y, 0.7f);
    c.movePoint(3, 0.2f, 2.0f);
    EXPECT_EQ(c.points[3].x, 1.0f);
    EXPECT_EQ(c.points[3].y, 1.0f);
    c.movePoint(1, 0.8f, 0.3f);  // passes the point at 0.5
    EXPECT_EQ(c.points[1].x, 0.5f);
    EXPECT_EQ(c.points[2].x, 0.8f);
    EXPECT_EQ(c.points[2].y, 0.3f);
    c.movePoint(2, -1.0f, 0.1f);  // to x 0: stays after point 0
    EXPECT_EQ(c.points[0].y, 0.7f);
    EXPECT_EQ(c.points[1].x, 0.0f);
    EXPECT_EQ(c.points[1].y, 0.1f);
    c.movePoint(1, 5.0f, 0.1f);  // to x 1: stays before the end point
    EXPECT_EQ(c.points[2].x, 1.0f);
    EXPECT_EQ(c.points[3].y, 1.0f);
    const Curve before = c;
    c.movePoint(4, 0.5f, 0.5f);
    c.movePoint(-1, 0.5f, 0.5f);
    EXPECT_TRUE(samePoints(c, before));
    EXPECT_TRUE(curveValid(c));
}

TEST(CurveEdit, WeightAndBend) {
    Curve c = fromText("0 0 0, 0.5 0.5 0, 1 1 0");
    c.setWeight(1, 5);
    EXPECT_EQ(c.points[1].weight, 2);
    c.setWeight(0, 1);
    EXPECT_EQ(c.points[0].weight, 1);
    c.setBend(1, 9.0f);
    EXPECT_EQ(c.points[1].bend, 1.0f);
    c.setBend(2, -9.0f);
    EXPECT_EQ(c.points[2].bend, -1.0f);
    c.setBend(0, 0.3f);
    EXPECT_EQ(c.points[0].bend, 0.3f);
    c.setBend(0, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(c.points[0].bend, 0.0f);
    const Curve before = c;
    c.setWeight(3, 1);
    c.setBend(3, 0.5f);
    c.setWeight(-1, 1);
    c.setBend(-1, 0.5f);
    EXPECT_TRUE(samePoints(c, before));
}

TEST(CurveEdit, RemoveRangeIsStrict) {
    Curve c = fromText("0 0 0, 0.2 0 0, 0.4 0 0, 0.6 0 0, 0.8 0 0, 1 0 0");
    const Curve before = c;
    c.removeRange(0.6f, 0.4f);
    c.removeRange(0.5f, 0.5f);
    EXPECT_TRUE(samePoints(c, before));
    c.removeRange(0.4f, 0.8f);  // only 0.6 is strictly inside
    EXPECT_EQ(c.count, 5);
    EXPECT_EQ(c.points[2].x, 0.4f);
    EXPECT_EQ(c.points[3].x, 0.8f);
    c.removeRange(-1.0f, 2.0f);  // end points stay
    EXPECT_EQ(c.count, 2);
    EXPECT_TRUE(curveValid(c));
}

// ---------------------------------------------------------------- steps

TEST(CurveSteps, SetStep) {
    Curve c;
    c.setFlat(0.0f);
    c.setStep(1, 4, 0.5f);
    ASSERT_EQ(c.count, 4);
    EXPECT_EQ(c.points[1].x, 0.25f);
    EXPECT_FLOAT_EQ(c.points[2].x, 0.498f);
    EXPECT_EQ(c.points[1].y, 0.5f);
    EXPECT_EQ(c.points[2].y, 0.5f);
    EXPECT_EQ(c.valueAt(0.3f), 0.5f);
    EXPECT_FLOAT_EQ(c.valueAt(0.1f), 0.2f);  // ramp from (0, 0) up to the step
    // Redraw the same cell: points inside are cleared, edges overwritten.
    c.addPoint(0.4f, 0.9f, 0);
    c.setStep(1, 4, 0.2f);
    EXPECT_EQ(c.count, 4);
    EXPECT_EQ(c.valueAt(0.4f), 0.2f);
    // The last cell ends on the end point.
    c.setStep(3, 4, 0.8f);
    EXPECT_EQ(c.points[c.count - 1].x, 1.0f);
    EXPECT_EQ(c.points[c.count - 1].y, 0.8f);
    EXPECT_EQ(c.valueAt(0.9f), 0.8f);
    // The cell index is clamped; the value too.
    c.setStep(99, 4, 2.0f);
    EXPECT_EQ(c.valueAt(0.9f), 1.0f);
    c.setStep(-5, 4, 0.6f);
    EXPECT_EQ(c.points[0].y, 0.6f);
    EXPECT_TRUE(curveValid(c));
    // Out-of-range cell counts are ignored.
    const Curve before = c;
    c.setStep(0, 0, 0.1f);
    c.setStep(0, 33, 0.1f);
    c.setStep(0, -1, 0.1f);
    EXPECT_TRUE(samePoints(c, before));
}

TEST(CurveSteps, FillSteps) {
    Curve ramp = fromText("0 0 0, 1 1 0");
    Curve c = ramp;
    c.fillSteps(4);
    EXPECT_TRUE(curveValid(c));
    EXPECT_FLOAT_EQ(c.valueAt(0.1f), 0.125f);
    EXPECT_FLOAT_EQ(c.valueAt(0.3f), 0.375f);
    EXPECT_FLOAT_EQ(c.valueAt(0.6f), 0.625f);
    EXPECT_FLOAT_EQ(c.valueAt(0.9f), 0.875f);
    EXPECT_EQ(c.count, 8);

    Curve one = ramp;
    one.fillSteps(1);
    EXPECT_EQ(one.count, 2);
    EXPECT_FLOAT_EQ(one.points[0].y, 0.5f);
    EXPECT_FLOAT_EQ(one.points[1].y, 0.5f);

    const Curve before = ramp;
    Curve x = ramp;
    x.fillSteps(33);
    x.fillSteps(0);
    x.fillSteps(-4);
    EXPECT_TRUE(samePoints(x, before));
}

TEST(CurveSteps, FillSteps32GivesSixtyFourPointsOnAnyCurve) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int round = 0; round < 200; ++round) {
        Curve c;
        const int n = std::uniform_int_distribution<int>(0, 62)(rng);
        for (int i = 0; i < n; ++i) c.addPoint(unit(rng), unit(rng), static_cast<uint8_t>(rng() % 3));
        for (int i = 0; i < c.count; ++i) c.setBend(i, unit(rng) * 2 - 1);
        c.fillSteps(32);
        ASSERT_EQ(c.count, 64) << round;
        ASSERT_TRUE(curveValid(c));
        Curve d = c;
        d.fillSteps(33);
        EXPECT_TRUE(samePoints(c, d));
    }
}

// ---------------------------------------------------------------- random edits keep the invariants

TEST(CurveInvariants, RandomEditSequences) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> wide(-0.5f, 1.5f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> bend(-3.0f, 3.0f);
    for (int seq = 0; seq < 40; ++seq) {
        Curve c;
        c.setFlat(unit(rng));
        for (int step = 0; step < 2500; ++step) {
            const int idx = std::uniform_int_distribution<int>(-2, c.count + 1)(rng);
            const int op = static_cast<int>(rng() % 11);
            switch (op) {
                case 0:
                case 1:
                case 2: {
                    const int r = c.addPoint(wide(rng), wide(rng), static_cast<uint8_t>(rng() % 6));
                    ASSERT_GE(r, -1);
                    ASSERT_LT(r, c.count);
                    if (r < 0) {
                        ASSERT_EQ(c.count, 64);
                    }
                    break;
                }
                case 3: c.movePoint(idx, wide(rng), wide(rng)); break;
                case 4: c.removePoint(idx); break;
                case 5: {
                    const int n = std::uniform_int_distribution<int>(-1, 34)(rng);
                    c.setStep(std::uniform_int_distribution<int>(-2, 34)(rng), n, wide(rng));
                    break;
                }
                case 6:
                    if (rng() % 8 == 0) c.fillSteps(std::uniform_int_distribution<int>(-1, 34)(rng));
                    break;
                case 7: {
                    const float a = wide(rng);
                    c.removeRange(a, a + unit(rng) * 0.3f);
                    break;
                }
                case 8: c.setWeight(idx, static_cast<uint8_t>(rng() % 256)); break;
                case 9: c.setBend(idx, bend(rng)); break;
                case 10: {
                    // Points at exactly equal x through movePoint.
                    if (c.count > 3) c.movePoint(1 + static_cast<int>(rng() % (c.count - 2)),
                                                 c.points[1].x, unit(rng));
                    break;
                }
            }
            ASSERT_TRUE(curveValid(c)) << "sequence " << seq << " step " << step << " op " << op;
            const float v = c.valueAt(wide(rng) * 3.0f);
            ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << v;
        }
    }
}

// ---------------------------------------------------------------- text form

TEST(CurveText, FormatExample) {
    Curve c = fromText("0 0.25 1 -0.5, 0.123456 0.5 2 0.3333, 1 0 0");
    EXPECT_EQ(c.format(),
              "0.0000 0.2500 1 -0.500, 0.1235 0.5000 2 0.333, 1.0000 0.0000 0 0.000");
    Curve empty;
    empty.count = 0;
    EXPECT_EQ(empty.format(), "");
}

TEST(CurveText, FormatIgnoresTheNumericLocale) {
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "C.UTF-8"};
    std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    bool any = false;
    for (const char* name : locales) {
        if (!std::setlocale(LC_NUMERIC, name)) continue;
        any = true;
        Curve c = fromText("0 0.5 0 0.25, 1 0.75 1");
        EXPECT_EQ(c.format(), "0.0000 0.5000 0 0.250, 1.0000 0.7500 1 0.000") << name;
        EXPECT_EQ(c.points[0].bend, 0.25f) << name;
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    if (!any) GTEST_SKIP() << "no other locale installed";
}

TEST(CurveText, ParseWeightFiveBendNine) {
    Curve c;
    ASSERT_TRUE(c.parse("0.3 0.4 5 9, 0.7 0.6 1"));
    ASSERT_EQ(c.count, 2);
    EXPECT_EQ(c.points[0].x, 0.0f);
    EXPECT_EQ(c.points[0].y, 0.4f);
    EXPECT_EQ(c.points[0].weight, 2);
    EXPECT_EQ(c.points[0].bend, 1.0f);
    EXPECT_EQ(c.points[1].x, 1.0f);
    EXPECT_EQ(c.points[1].y, 0.6f);
    EXPECT_EQ(c.points[1].weight, 1);
    EXPECT_EQ(c.points[1].bend, 0.0f);
}

TEST(CurveText, ParseDetails) {
    Curve c;
    // Weight truncation and clamping; bend clamping.
    ASSERT_TRUE(c.parse("0 0 1.7 -4, 0.5 0.5 -3 0.25, 1 1 2.9"));
    EXPECT_EQ(c.points[0].weight, 1);
    EXPECT_EQ(c.points[0].bend, -1.0f);
    EXPECT_EQ(c.points[1].weight, 0);
    EXPECT_EQ(c.points[1].bend, 0.25f);
    EXPECT_EQ(c.points[2].weight, 2);
    // Blanks: space, tab, CR, LF around numbers and items.
    ASSERT_TRUE(c.parse(" \t0\t0.1 0\r\n,\n 0.5  0.2 1 0.5 \r, 1 0.3 0 \t"));
    EXPECT_EQ(c.count, 3);
    EXPECT_EQ(c.points[1].y, 0.2f);
    // Unordered middle points are sorted; the last point read stays last.
    ASSERT_TRUE(c.parse("0.2 0.1 0, 0.8 0.2 0, 0.4 0.3 0, 0.6 0.4 0, 0.1 0.5 0"));
    EXPECT_EQ(c.count, 5);
    EXPECT_EQ(c.format(),
              "0.0000 0.1000 0 0.000, 0.4000 0.3000 0 0.000, 0.6000 0.4000 0 0.000, "
              "0.8000 0.2000 0 0.000, 1.0000 0.5000 0 0.000");
    // 64 points are fine.
    std::string text;
    for (int i = 0; i < 64; ++i) text += (i ? ", " : "") + std::to_string(i / 63.0) + " 0.5 0";
    ASSERT_TRUE(c.parse(text));
    EXPECT_EQ(c.count, 64);
    EXPECT_TRUE(curveValid(c));
    // Exponents and a leading sign are numbers for strtof.
    ASSERT_TRUE(c.parse("+0 5e-1 0, 1e0 .25 0 -0"));
    EXPECT_EQ(c.points[0].y, 0.5f);
    EXPECT_EQ(c.points[1].y, 0.25f);
}

TEST(CurveText, ParseFailuresLeaveTheCurveUnchanged) {
    Curve c = fromText("0 0.2 1 0.5, 0.4 0.6 2 -0.25, 1 0.9 0 0");
    const Curve before = c;
    std::string text65;
    for (int i = 0; i < 65; ++i) text65 += (i ? ", " : "") + std::to_string(i / 64.0) + " 0.5 0";
    const std::string bad[] = {
        "",
        " ",
        "0 0.5 0",                         // one point
        "0 0.5 0,",                        // trailing comma
        "0 0.5 0, 1 0.5 0,",               // trailing comma
        ",0 0.5 0, 1 0.5 0",               // leading empty item
        "0 0.5 0,, 1 0.5 0",               // empty item
        "0 0.5 0, 1 1.0001 0",             // y above 1
        "0 -0.1 0, 1 0.5 0",               // y below 0
        "1.5 0.5 0, 1 0.5 0",              // x above 1
        "-0.5 0.5 0, 1 0.5 0",             // x below 0
        "0 0.5, 1 0.5 0",                  // two numbers
        "0 0.5 0 0 0, 1 0.5 0",            // five numbers
        "0 0.5 0 0 x, 1 0.5 0",            // trailing garbage
        "0 0.5 0x, 1 0.5 0",               // glued garbage
        "0 0.5 0, 1 0.5 0 ;",              // trailing garbage
        "a b c, d e f",                    // garbage
        "0 nan 0, 1 0.5 0",                // NaN
        "0 0.5 0, 1 0.5 0 nan",            // NaN bend
        "0 0.5 nan, 1 0.5 0",              // NaN weight
        "0 0.5 0, 1 0.5 0 -nan",           // negative NaN
        "0 0.5 0, 1 0.5 0 NAN(123)",       // NaN with payload
        "0 0.5 inf, 1 0.5 0",              // infinite weight
        "0 0.5 0 -infinity, 1 0.5 0",      // infinite bend
        "0 0.5 0 1e99, 1 0.5 0",           // overflows to infinity
        "0 0.5 0, 1 0.5 0\v",              // vertical tab is not a blank here
        std::string("0 0.5 0, 1 0.5 0\0", 17),  // embedded NUL
        std::string("0 0.5\0 0, 1 0.5 0", 17),  // embedded NUL
        text65,
    };
    for (const std::string& t : bad) {
        Curve d = c;
        EXPECT_FALSE(d.parse(t)) << '"' << t << '"';
        EXPECT_TRUE(samePoints(d, before)) << '"' << t << '"';
        EXPECT_TRUE(sameSlots(d, before)) << '"' << t << '"';
    }
}

TEST(CurveText, FormatParseRoundTripOfRandomCurves) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int round = 0; round < 2000; ++round) {
        Curve c;
        c.setFlat(unit(rng));
        const int n = std::uniform_int_distribution<int>(0, 70)(rng);
        for (int i = 0; i < n; ++i) c.addPoint(unit(rng), unit(rng), static_cast<uint8_t>(rng() % 3));
        for (int i = 0; i < c.count; ++i)
            if (rng() % 2) c.setBend(i, unit(rng) * 2.0f - 1.0f);
        if (rng() % 5 == 0) c.fillSteps(1 + static_cast<int>(rng() % 32));
        const std::string text = c.format();
        Curve d;
        ASSERT_TRUE(d.parse(text)) << text;
        ASSERT_EQ(d.count, c.count);
        for (int i = 0; i < c.count; ++i) {
            EXPECT_NEAR(d.points[i].x, c.points[i].x, 0.00005 + 1e-7);
            EXPECT_NEAR(d.points[i].y, c.points[i].y, 0.00005 + 1e-7);
            EXPECT_EQ(d.points[i].weight, c.points[i].weight);
            EXPECT_NEAR(d.points[i].bend, c.points[i].bend, 0.0005 + 1e-7);
        }
        EXPECT_EQ(d.format(), text);
        ASSERT_TRUE(curveValid(d));
    }
}

}  // namespace
}  // namespace norvale
