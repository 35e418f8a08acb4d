// The generic preset text: writer layout and the reader's tolerance of what
// users' files look like.
#include "presets/norvale_presets.h"
#include "presets/preset_format.h"

#include <gtest/gtest.h>

#include <cmath>

#include "plugin/params.h"

namespace norvale {
namespace {

using plugincore::PresetData;

struct Read {
    bool ok;
    PresetData data;
    std::string err;
};

Read read(std::string_view text) {
    Read r{false, {}, "untouched"};
    r.ok = parsePreset(text.data(), text.size(), r.data, r.err);
    return r;
}

// The value read for a key, or NaN when the text gave none.
double valueOf(const PresetData& data, ParamId id) {
    for (const auto& v : data.values)
        if (v.id == id) return v.value;
    return std::nan("");
}

TEST(PresetWriter, NameOnlyGivesThreeLines) {
    PresetData data;
    data.name = "Duck";
    EXPECT_EQ(formatPreset(data), "# Norvale preset\nformat = 1\nname = Duck\n");
}

TEST(PresetWriter, MetadataAndSections) {
    PresetData data;
    data.name = " Deep\tDuck\n";
    data.author = "Me";
    data.features = {"dark", "pad\r"};
    data.values = {{kParamTrigSource, 1},     {kParamVolRate, 3},   {kParamMix, 0.55},
                   {kParamVolRate, 5},        {kParamFltDepth, 4.6},
                   {kParamSplitLow, realToParam(kParams[kParamSplitLow], 220)},
                   {kParamDrvStyle, 9}};
    EXPECT_EQ(formatPreset(data),
              "# Norvale preset\nformat = 1\nname = Deep Duck\nauthor = Me\n"
              "features = dark, pad\n"
              "\n# Global\nmix = 0.55\nsplit_low = 220\n"
              "\n# Volume\nvol_rate = 1/4\n"
              "\n# Filter\nflt_depth = 5\n"
              "\n# Drive\ndrv_style = 9\n"
              "\n# Trigger\ntrig_source = Input\n");
}

TEST(PresetReader, ParameterValues) {
    const Read r = read(
        "vol_rate = 1/4\nflt_rate = 1/64\nband_low = on\nVOL_ON = On\nmix = 7\n"
        "drv_mix = full\nvol_trim = 6 dB\nsplit_low = 220\nflt_type_high = BANDPASS\n"
        "drv_tone=-0.5=x\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.err, "untouched");
    EXPECT_EQ(valueOf(r.data, kParamVolRate), 3);
    EXPECT_EQ(valueOf(r.data, kParamFltRate), 1);  // read as the number 1
    EXPECT_EQ(valueOf(r.data, kParamBandLow), 1);
    EXPECT_TRUE(std::isnan(valueOf(r.data, kParamVolOn)));
    EXPECT_EQ(valueOf(r.data, kParamMix), 1);      // clamped
    EXPECT_TRUE(std::isnan(valueOf(r.data, kParamDrvMix)));
    EXPECT_EQ(valueOf(r.data, kParamVolTrim), 6);
    EXPECT_DOUBLE_EQ(valueOf(r.data, kParamSplitLow), realToParam(kParams[kParamSplitLow], 220));
    EXPECT_EQ(valueOf(r.data, kParamFltTypeHigh), 2);
    EXPECT_EQ(valueOf(r.data, kParamDrvTone), -0.5);  // the value is "-0.5=x"
}

TEST(PresetReader, MetadataAndRepeats) {
    const Read r = read(
        "name = A\nname = B\ncreator = C\ntags = a, b\nfeatures = a,b\nfeatures = , ,\n"
        "format = 99\nnorvale_version = 3\nmix = 0.2\nmix = 0.4\nwhatever = 1\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data.name, "B");
    EXPECT_EQ(r.data.author, "C");
    EXPECT_EQ(r.data.features, (std::vector<std::string>{"a", "b", "a", "b"}));
    ASSERT_EQ(r.data.values.size(), 2u);
    EXPECT_EQ(formatPreset(r.data).find("mix = 0.4"), std::string::npos);
}

TEST(PresetReader, LineEndsAndByteOrderMark) {
    const std::string lf = "# c\nname = X\nmix = 0.5\n";
    const Read crlf = read("# c\r\nname = X\r\nmix = 0.5\r\n");
    const Read noFinal = read("# c\nname = X\nmix = 0.5");
    for (const Read& r : {crlf, noFinal}) {
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.data.name, "X");
        EXPECT_EQ(valueOf(r.data, kParamMix), 0.5);
    }
    const Read bomComment = read("\xEF\xBB\xBF# Norvale preset\nname = X\n");
    EXPECT_FALSE(bomComment.ok);
    EXPECT_EQ(bomComment.err, "line 1: expected 'key = value'");
    const Read bomKey = read("\xEF\xBB\xBFname = X\nmix = 0.5\n");
    ASSERT_TRUE(bomKey.ok);  // the first key is unknown, the rest reads
    EXPECT_EQ(bomKey.data.name, "");
    EXPECT_EQ(valueOf(bomKey.data, kParamMix), 0.5);
}

TEST(PresetReader, Failures) {
    PresetData kept;
    kept.name = "kept";
    std::string err;
    EXPECT_FALSE(parsePreset(nullptr, 5, kept, err));
    EXPECT_EQ(err, "no preset data");
    EXPECT_EQ(kept.name, "kept");
    EXPECT_FALSE(parsePreset("", 0, kept, err));
    EXPECT_EQ(err, "preset is empty");
    EXPECT_EQ(kept.name, "");

    EXPECT_EQ(read("# only\n\n; comments\n").err, "preset is empty");
    EXPECT_EQ(read(" = 5\n").err, "preset is empty");
    const Read broken = read("name = N\n\n# c\nnothing here\nmix = 1\n");
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.err, "line 4: expected 'key = value'");
    EXPECT_EQ(broken.data.name, "N");

    const Read unknownOnly = read("colour = red\n");
    EXPECT_TRUE(unknownOnly.ok);
    EXPECT_TRUE(unknownOnly.data.values.empty());
    // A NUL inside a key must not let a parameter's key match its prefix.
    EXPECT_TRUE(read(std::string("mix\0x = 0.5\n", 12)).data.values.empty());
}

}  // namespace
}  // namespace norvale
