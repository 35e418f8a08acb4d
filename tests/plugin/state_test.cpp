#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/plugin/fake_host.h"

namespace norvale::test {
namespace {

// Builds streams byte by byte, independently of the plug-in's own writer.
class Bytes {
public:
    Bytes& magic(const char* text = "NORV") {
        data.insert(data.end(), text, text + 4);
        return *this;
    }
    Bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& f64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i) data.push_back(static_cast<uint8_t>(bits >> (8 * i)));
        return *this;
    }
    Bytes& u8(uint8_t v) {
        data.push_back(v);
        return *this;
    }
    Bytes& text(const std::string& t) {
        u32(static_cast<uint32_t>(t.size()));
        data.insert(data.end(), t.begin(), t.end());
        return *this;
    }
    Bytes& header(uint32_t version, uint32_t count) { return magic().u32(version).u32(count); }
    Bytes& param(uint32_t id, double value) { return u32(id).f64(value); }
    Bytes& curves(int records, const std::string& t) {
        for (int i = 0; i < records; ++i) text(t);
        return *this;
    }

    std::vector<uint8_t> data;
};

const std::string kRamp = "0.0000 0.2000 0 0.000, 0.5000 0.9000 2 0.500, 1.0000 0.4000 1 -0.250";
const std::string kFlatHalf = "0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000";
constexpr size_t kParamBlockEnd = 12 + 12 * kParamCount;

// Moves everything a state carries away from its default.
void shapeEverything(NorvalePlugin& p) {
    for (uint32_t id = 0; id < kParamCount; ++id) {
        const auto& d = kParams[id];
        p.values[id] = d.minValue + (d.maxValue - d.minValue) * ((id * 37 % 100) / 100.0);
    }
    for (int m = 0; m < kModuleCount; ++m)
        for (int b = 0; b < kBandCount; ++b)
            p.curveSet.curves[m][b].addPoint(0.1f * (m + 1), 0.05f * (b + 3 * m) + 0.01f, 1);
    chainAdd(p.curveSet, kDrv);
    chainAdd(p.curveSet, kVol);
    p.selModule = 4;
    p.selBand = 2;
    p.snap = false;
    p.editAllBands = false;
    p.stepMode = true;
}

TEST(StateStream, SaveWritesTheDocumentedHeaderAndParameterPairs) {
    FakeHost host;
    TestPlugin p(host);
    p.object().values[kParamMix] = 0.25;
    const std::vector<uint8_t> saved = saveState(p);
    ASSERT_GT(saved.size(), kParamBlockEnd);

    Bytes expected;
    expected.header(3, kParamCount).param(0, 0.25).param(1, 0.0);
    EXPECT_TRUE(std::equal(expected.data.begin(), expected.data.end(), saved.begin()));

    // Default curves, selection 0/1, snap on, edit-all on, step off, empty chain.
    Bytes tail;
    tail.u8(0).u8(1).u8(1).u8(1).u8(0).u32(0);
    EXPECT_TRUE(std::equal(tail.data.rbegin(), tail.data.rend(), saved.rbegin()));
}

TEST(StateStream, RoundTripIntoAFreshInstanceRestoresEverything) {
    FakeHost host;
    TestPlugin source(host);
    shapeEverything(source.object());
    const std::vector<uint8_t> saved = saveState(source);

    FakeHost otherHost;
    TestPlugin copy(otherHost);
    ASSERT_TRUE(loadState(copy, saved, 7));  // a stream that hands out a few bytes at a time

    NorvalePlugin& a = source.object();
    NorvalePlugin& b = copy.object();
    for (uint32_t id = 0; id < kParamCount; ++id)
        EXPECT_EQ(b.values[id].load(), a.values[id].load()) << id;
    for (int m = 0; m < kModuleCount; ++m)
        for (int band = 0; band < kBandCount; ++band)
            EXPECT_EQ(b.curveSet.curves[m][band].format(), a.curveSet.curves[m][band].format());
    EXPECT_EQ(formatChain(b.curveSet), "drv vol");
    EXPECT_EQ(b.selModule.load(), 4);
    EXPECT_EQ(b.selBand.load(), 2);
    EXPECT_FALSE(b.snap.load());
    EXPECT_FALSE(b.editAllBands.load());
    EXPECT_TRUE(b.stepMode.load());
    EXPECT_EQ(saveState(copy), saved);

    EXPECT_EQ(otherHost.rescans, 1);
    EXPECT_EQ(otherHost.lastRescanFlags,
              uint32_t(CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT));
    EXPECT_TRUE(b.paramsDirty.load());
    // A load does not count as an edit.
    EXPECT_FALSE(b.presetEdited.load());
}

TEST(StateStream, VersionOneCarriesFourModulesAndOnlySnap) {
    FakeHost host;
    TestPlugin p(host);
    p.object().editAllBands = false;
    p.object().stepMode = true;
    Bytes s;
    s.header(1, 1).param(kParamVolOn, 1.0).curves(12, kRamp).u8(3).u8(0).u8(0);
    ASSERT_TRUE(loadState(p, s.data));

    const NorvalePlugin& o = p.object();
    for (int m = 0; m < kModuleCount; ++m) {
        for (int b = 0; b < kBandCount; ++b) {
            Curve expected;
            if (m <= kTim)
                expected.parse(kRamp);
            else
                expected.setFlat(neutralValue(m));
            EXPECT_EQ(o.curveSet.curves[m][b].format(), expected.format()) << m << "/" << b;
        }
    }
    EXPECT_EQ(o.selModule.load(), 3);
    EXPECT_EQ(o.selBand.load(), 0);
    EXPECT_FALSE(o.snap.load());
    EXPECT_FALSE(o.editAllBands.load());
    EXPECT_TRUE(o.stepMode.load());
    EXPECT_EQ(p.value(kParamVolOn), 1.0);
}

TEST(StateStream, VersionZeroReadsTwentyOneCurvesAndThreeViewBytes) {
    FakeHost host;
    TestPlugin p(host);
    Bytes s;
    s.header(0, 0).curves(21, kFlatHalf).u8(6).u8(2).u8(0);
    // Bytes beyond what version 0 carries are not read as toggles.
    s.u8(0).u8(1);
    ASSERT_TRUE(loadState(p, s.data));
    const NorvalePlugin& o = p.object();
    EXPECT_EQ(o.curveSet.curves[kWid][kBandHigh].format(), kFlatHalf);
    EXPECT_EQ(o.curveSet.curves[kVol][kBandLow].format(), kFlatHalf);
    EXPECT_EQ(o.selModule.load(), 6);
    EXPECT_EQ(o.selBand.load(), 2);
    EXPECT_FALSE(o.snap.load());
    EXPECT_TRUE(o.editAllBands.load());
    EXPECT_FALSE(o.stepMode.load());
}

TEST(StateStream, ParametersMissingOrUnknownOrOutOfRange) {
    FakeHost host;
    TestPlugin p(host);
    for (uint32_t id = 0; id < kParamCount; ++id) p.object().values[id] = kParams[id].maxValue;
    Bytes s;
    s.header(3, 4)
        .param(kParamInput, -6.5)
        .param(200, 1.0)
        .param(kParamMix, 7.0)
        .param(kParamVolRate, -3);
    ASSERT_TRUE(loadState(p, s.data));
    EXPECT_EQ(p.value(kParamInput), -6.5);
    EXPECT_EQ(p.value(kParamMix), 1.0);
    EXPECT_EQ(p.value(kParamVolRate), 0.0);
    for (uint32_t id = 0; id < kParamCount; ++id) {
        if (id == kParamInput || id == kParamMix || id == kParamVolRate) continue;
        EXPECT_EQ(p.value(id), kParams[id].defaultValue) << kParams[id].key;
    }
}

TEST(StateStream, StreamEndingAfterTheParametersLoadsWithFlatCurves) {
    FakeHost host;
    TestPlugin p(host);
    shapeEverything(p.object());
    Bytes s;
    s.header(3, 1).param(kParamOutput, 3.0);
    ASSERT_TRUE(loadState(p, s.data));
    const NorvalePlugin& o = p.object();
    for (int m = 0; m < kModuleCount; ++m)
        for (int b = 0; b < kBandCount; ++b) {
            ASSERT_EQ(o.curveSet.curves[m][b].count, 2);
            EXPECT_EQ(o.curveSet.curves[m][b].points[0].y, neutralValue(m));
        }
    EXPECT_EQ(o.curveSet.chainLength, 0);
    // The view keeps what it had.
    EXPECT_EQ(o.selModule.load(), 4);
    EXPECT_EQ(o.selBand.load(), 2);
    EXPECT_FALSE(o.snap.load());
    EXPECT_EQ(host.rescans, 1);
}

TEST(StateStream, SelectionBytesAreClampedAndBadTextsTolerated) {
    FakeHost host;
    TestPlugin p(host);
    Bytes s;
    s.header(3, 0).curves(20, kRamp).text("not a curve").u8(9).u8(0xFF).u8(1).u8(1).u8(0);
    s.text("flt pan bogus vol");
    ASSERT_TRUE(loadState(p, s.data));
    const NorvalePlugin& o = p.object();
    EXPECT_EQ(o.selModule.load(), 6);
    EXPECT_EQ(o.selBand.load(), 0);
    Curve flat;
    flat.setFlat(neutralValue(kWid));
    EXPECT_EQ(o.curveSet.curves[kWid][kBandHigh].format(), flat.format());
    EXPECT_EQ(formatChain(o.curveSet), "flt pan");
}

TEST(StateStream, OverlongChainIsSkipped) {
    FakeHost host;
    TestPlugin p(host);
    Bytes s;
    s.header(3, 0).curves(21, kRamp).u8(0).u8(1).u8(1).u8(1).u8(0).text(std::string(257, 'v'));
    ASSERT_TRUE(loadState(p, s.data));
    EXPECT_EQ(p.object().curveSet.chainLength, 0);
}

// Every failing load must leave the instance as it was: compare full saves.
class HostileStream : public ::testing::Test {
protected:
    HostileStream() : p(host) {
        shapeEverything(p.object());
        before = saveState(p);
    }
    void expectRejectedAndUntouched(const std::vector<uint8_t>& bytes) {
        EXPECT_FALSE(loadState(p, bytes));
        EXPECT_EQ(saveState(p), before);
        EXPECT_EQ(host.rescans, 0);
    }

    FakeHost host;
    TestPlugin p;
    std::vector<uint8_t> before;
};

TEST_F(HostileStream, BadHeadersFail) {
    expectRejectedAndUntouched({});
    expectRejectedAndUntouched(Bytes().magic("NORW").u32(3).u32(0).data);
    expectRejectedAndUntouched(Bytes().header(4, 0).data);
    expectRejectedAndUntouched(Bytes().header(3, 5000).data);
    expectRejectedAndUntouched(Bytes().header(3, 2).param(0, 0.5).data);
}

TEST_F(HostileStream, CountsUpTo4096AreReadAndSkipped) {
    Bytes s;
    s.header(3, 4096);
    for (uint32_t i = 0; i < 4096; ++i) s.param(1000 + i, 1.0);
    EXPECT_TRUE(loadState(p, s.data));
}

TEST_F(HostileStream, OverlongCurveTextFailsWithoutChanges) {
    Bytes s;
    s.header(3, 1).param(kParamMix, 0.0).curves(3, kRamp).u32(65537);
    expectRejectedAndUntouched(s.data);
}

TEST_F(HostileStream, EveryTruncationEitherLoadsOrChangesNothing) {
    FakeHost otherHost;
    TestPlugin source(otherHost);
    const std::vector<uint8_t> full = saveState(source);
    for (size_t length = 0; length <= full.size(); ++length) {
        const std::vector<uint8_t> current = saveState(p);
        const bool loaded = loadState(p, {full.begin(), full.begin() + length});
        EXPECT_EQ(loaded, length >= kParamBlockEnd) << length;
        if (!loaded) {
            EXPECT_EQ(saveState(p), current) << length;
        }
    }
    EXPECT_EQ(saveState(p), full);
}

TEST(StateStream, WriteErrorsFailTheSave) {
    FakeHost host;
    TestPlugin p(host);
    const auto& state = p.ext<clap_plugin_state>(CLAP_EXT_STATE);

    MemoryOutput partial;
    partial.chunk = 5;
    ASSERT_TRUE(state.save(p.plugin, partial.clap()));
    EXPECT_EQ(partial.bytes, saveState(p));

    MemoryOutput failing;
    failing.chunk = 5;
    failing.failOnCall = 3;
    EXPECT_FALSE(state.save(p.plugin, failing.clap()));
    EXPECT_FALSE(state.save(p.plugin, nullptr));
    EXPECT_FALSE(state.load(p.plugin, nullptr));
}

}  // namespace
}  // namespace norvale::test
