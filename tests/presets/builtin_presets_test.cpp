// The ten built-in presets: every text reads, Bended Duck is exactly the
// published text, and the writer agrees with the texts it did not produce.
#include "presets/builtin_presets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

#include "plugin/params.h"
#include "presets/norvale_presets.h"

namespace norvale {
namespace {

using plugincore::PresetData;

constexpr const char* kBendedDuckText = R"txt(
# Norvale preset
format = 1
name = Bended Duck
author = Norvale
description = A quarter-note duck with a bent recovery: the level comes back fast, then eases into unity instead of arriving in a straight line. Drawn across all three bands so the whole signal breathes together.

# Global
mix = 1
split_low = 220
split_high = 1800
band_low = On
band_mid = On
band_high = On

# Volume
vol_on = On
vol_trim = 0
vol_rate = 1/4
vol_phase = 0
vol_smooth = 0.08

# Filter
flt_on = Off

# Drive
drv_on = Off

# Crush
crs_on = Off

# Time
tim_on = Off

# Pan
pan_on = Off

# Width
wid_on = Off

# Shape curves. One line per module and band, in normalised time
# and value, with each point's corner weight (0 hard, 1 medium, 2
# soft) and the bend of the segment leaving it (-1 .. +1).
# Bands are 0 low, 1 mid, 2 high.
curve vol 0 = 0.0000 0.0600 2 0.850, 0.3400 1.0000 2 0.000, 1.0000 1.0000 0 0.000
curve vol 1 = 0.0000 0.0600 2 0.850, 0.3400 1.0000 2 0.000, 1.0000 1.0000 0 0.000
curve vol 2 = 0.0000 0.0600 2 0.850, 0.3400 1.0000 2 0.000, 1.0000 1.0000 0 0.000
curve flt 0 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve flt 1 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve flt 2 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve drv 0 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve drv 1 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve drv 2 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve tim 0 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve tim 1 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve tim 2 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve crs 0 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve crs 1 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve crs 2 = 0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000
curve pan 0 = 0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000
curve pan 1 = 0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000
curve pan 2 = 0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000
curve wid 0 = 0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000
curve wid 1 = 0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000
curve wid 2 = 0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000
)txt";

struct Parsed {
    PresetData data;
    CurveSet curves;
};

Parsed parseBuiltin(size_t index) {
    Parsed p;
    std::string err;
    const char* text = kBuiltinPresets[index].text;
    EXPECT_TRUE(parsePreset(text, std::strlen(text), p.data, p.curves, err))
        << kBuiltinPresets[index].key << ": " << err;
    return p;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

size_t curveLineCount(const std::string& text) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find("\ncurve ", at)) != std::string::npos; ++at) ++n;
    return n;
}

bool usesFullLayout(size_t index) { return index <= 1 || index >= 8; }

TEST(BuiltinPresets, BendedDuckIsThePublishedText) {
    EXPECT_STREQ(kBuiltinPresets[0].text, kBendedDuckText + 1);  // the literal opens with LF
}

TEST(BuiltinPresets, EveryTextReads) {
    const char* names[] = {"Bended Duck", "Crush Steps",  "Drive Pump",   "Filter Wobble",
                           "Gated Stabs", "Half Speed Stop", "Kick Duck", "Live Stutter",
                           "Pan Steps",   "Sidechain Duck"};
    for (size_t i = 0; i < kBuiltinPresetCount; ++i) {
        SCOPED_TRACE(kBuiltinPresets[i].key);
        const Parsed p = parseBuiltin(i);
        EXPECT_EQ(p.data.name, names[i]);
        EXPECT_EQ(p.data.author, "Norvale");
        EXPECT_GT(p.data.description.size(), 100u);
        EXPECT_TRUE(p.data.features.empty());
        EXPECT_EQ(p.curves.chainLength, 0);
        std::set<uint32_t> ids;
        for (const auto& v : p.data.values) EXPECT_TRUE(ids.insert(v.id).second) << v.id;
        EXPECT_LE(ids.size(), kParamCount);
        EXPECT_EQ(curveLineCount(kBuiltinPresets[i].text), usesFullLayout(i) ? 21u : 12u);
        EXPECT_EQ(findBuiltinPreset(kBuiltinPresets[i].key), &kBuiltinPresets[i]);
    }
    EXPECT_EQ(findBuiltinPreset("Kick_Duck"), nullptr);
}

// The texts order their sections by stage rather than by table row, so the
// writer reproduces their lines, the header and the curve block, not the order.
TEST(BuiltinPresets, WriterReproducesTheFullLayout) {
    for (size_t i = 0; i < kBuiltinPresetCount; ++i) {
        SCOPED_TRACE(kBuiltinPresets[i].key);
        const Parsed p = parseBuiltin(i);
        const std::string original = kBuiltinPresets[i].text;
        const std::string rewritten = formatPreset(p.data, p.curves);
        if (usesFullLayout(i)) {
            auto a = lines(original);
            auto b = lines(rewritten);
            EXPECT_TRUE(std::equal(a.begin(), a.begin() + 5, b.begin()));
            EXPECT_TRUE(std::equal(a.end() - 26, a.end(), b.end() - 26));
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            EXPECT_EQ(a, b);
        }
        Parsed again;
        std::string err;
        ASSERT_TRUE(parsePreset(rewritten.data(), rewritten.size(), again.data, again.curves, err));
        EXPECT_EQ(formatPreset(again.data, again.curves), rewritten);
    }
}

}  // namespace
}  // namespace norvale
