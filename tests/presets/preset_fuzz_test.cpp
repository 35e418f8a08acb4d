// Random presets through writer and reader, and random bytes through the
// reader: nothing crashes, and what is written reads back as written.
// Also run under the sanitizer build.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "plugin/params.h"
#include "presets/builtin_presets.h"
#include "presets/norvale_presets.h"
#include "presets/preset_text.h"

namespace norvale {
namespace {

using plugincore::oneLine;
using plugincore::PresetData;

std::string randomText(std::mt19937& rng, const char* alphabet, int maxLength) {
    std::string s(std::uniform_int_distribution<int>(0, maxLength)(rng), ' ');
    for (char& c : s) c = alphabet[rng() % std::strlen(alphabet)];
    return s;
}

// The largest error formatNumber's rounding leaves in a real value.
double printedPrecision(double real) {
    const double m = std::fabs(real);
    return 1.0001 * (m >= 100 ? 0.5 : m >= 10 ? 0.05 : m >= 1 ? 0.005 : 0.0005);
}

TEST(PresetRoundTrip, RandomPresetsReadBackAsWritten) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> unit(0, 1);
    const char* bytes = "abcXYZ019 _-/#=;.\t\n\r\xC3\xA9";
    for (int round = 0; round < 300; ++round) {
        // A leading letter: a blank-only text is written as an empty value,
        // which reads back as absent.
        PresetData data{"n" + randomText(rng, bytes, 20),
                        round % 3 ? "a" + randomText(rng, bytes, 10) : "",
                        "d" + randomText(rng, bytes, 60), {}, {}};
        for (int i = rng() % 4; i > 0; --i)
            data.features.push_back("f" + randomText(rng, "ab 1", 8));
        for (const auto& desc : kParams) {
            const double value = desc.minValue + unit(rng) * (desc.maxValue - desc.minValue);
            if (unit(rng) < 0.7) data.values.push_back({desc.id, value});
        }
        CurveSet curves;
        resetCurves(curves);
        for (int m = 0; m < kModuleCount; ++m) {
            if (unit(rng) < 0.5) chainAdd(curves, m);
            for (auto& curve : curves.curves[m])
                for (int p = rng() % 7; p > 0; --p)
                    curve.setBend(curve.addPoint(unit(rng), unit(rng), rng() % 3),
                                  unit(rng) * 2 - 1);
        }

        const std::string text = formatPreset(data, curves);
        PresetData back;
        CurveSet backCurves;
        std::string err;
        ASSERT_TRUE(parsePreset(text.data(), text.size(), back, backCurves, err)) << err;
        EXPECT_EQ(back.name, oneLine(data.name));
        EXPECT_EQ(back.author, oneLine(data.author));
        EXPECT_EQ(back.description, oneLine(data.description));
        ASSERT_EQ(back.features.size(), data.features.size());
        for (size_t i = 0; i < data.features.size(); ++i)
            EXPECT_EQ(back.features[i], oneLine(data.features[i]));
        ASSERT_EQ(back.values.size(), data.values.size());
        for (const auto& v : back.values) {
            const auto& desc = kParams[v.id];
            const auto& written = *std::find_if(data.values.begin(), data.values.end(),
                                                [&](const auto& w) { return w.id == v.id; });
            const double real = paramToReal(desc, written.value);
            EXPECT_NEAR(paramToReal(desc, v.value), real, printedPrecision(real)) << desc.key;
        }
        EXPECT_EQ(formatChain(backCurves), formatChain(curves));
        for (int m = 0; m < kModuleCount; ++m)
            for (int b = 0; b < kBandCount; ++b)
                EXPECT_EQ(backCurves.curves[m][b].format(), curves.curves[m][b].format());
        EXPECT_EQ(formatPreset(back, backCurves), text);
    }
}

void readAnything(const std::string& bytes) {
    PresetData data;
    CurveSet curves;
    std::string err;
    ASSERT_TRUE(parsePreset(bytes.data(), bytes.size(), data, curves, err) || !err.empty());
    for (const auto& v : data.values) {
        ASSERT_LT(v.id, kParamCount);
        ASSERT_TRUE(v.value >= kParams[v.id].minValue && v.value <= kParams[v.id].maxValue);
    }
    ASSERT_TRUE(curves.chainLength >= 0 && curves.chainLength <= kModuleCount);
    formatPreset(data, curves);  // whatever was read can be written again
}

TEST(PresetFuzz, RandomBytesNeverCrashTheReader) {
    std::mt19937 rng(7);
    const char* likely = "curve vol flt chain = 0.5 1 2 ,\n\r\t#;mix name On 1/4 \xEF\xBB\xBF";
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = randomText(rng, likely, 400);
        if (round % 2 == 0)
            for (char& c : bytes) c = static_cast<char>(rng());
        if (round % 7 == 1) bytes += std::string(1, '\0') + "mix = 1";
        ASSERT_NO_FATAL_FAILURE(readAnything(bytes));
    }
    ASSERT_NO_FATAL_FAILURE(readAnything(std::string(1 << 20, '=')));
    ASSERT_NO_FATAL_FAILURE(readAnything("mix = " + std::string(100000, '9')));
    ASSERT_NO_FATAL_FAILURE(readAnything("curve vol 0 = " + std::string(100000, ',')));
}

TEST(PresetFuzz, MutatedBuiltinsNeverCrashTheReader) {
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; ++round) {
        std::string text = kBuiltinPresets[round % kBuiltinPresetCount].text;
        for (int edits = 1 + rng() % 8; edits > 0 && !text.empty(); --edits) {
            const size_t at = rng() % text.size();
            switch (rng() % 4) {
                case 0: text[at] = static_cast<char>(rng()); break;
                case 1: text.erase(at, rng() % 16); break;
                case 2: text.insert(at, text.substr(rng() % text.size(), rng() % 64)); break;
                default: text.resize(at); break;
            }
        }
        ASSERT_NO_FATAL_FAILURE(readAnything(text));
    }
}

}  // namespace
}  // namespace norvale
