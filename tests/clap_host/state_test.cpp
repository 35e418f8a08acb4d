// The "clap.state" extension: the stream a fresh instance writes, round trips,
// older versions, hostile and truncated streams, and what a load tells the host.
#include "test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace claphost {
namespace {

// A curve text in the plug-in's own format, different for every module and band.
std::string shapedCurve(int module, int band) {
    const int seed = module * 3 + band;
    char text[256];
    std::snprintf(text, sizeof text,
                  "0.0000 %.4f %d %.3f, 0.2500 %.4f %d %.3f, 0.6000 %.4f 0 0.000, "
                  "1.0000 %.4f 1 0.000",
                  0.05 * (seed % 20), seed % 3, 0.125 * ((seed % 9) - 4), 1.0 - 0.04 * seed,
                  (seed + 1) % 3, -0.25, 0.5 + 0.02 * seed, 0.3 + 0.01 * seed);
    return text;
}

class ClapStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.ok()) << module.error();
        ASSERT_NE(inst.plugin(), nullptr);
        ASSERT_NE(inst.state(), nullptr);
        auto bytes = inst.save();
        ASSERT_TRUE(bytes);
        freshBytes = *bytes;
        std::string why;
        auto img = StateImage::decode(freshBytes, &why);
        ASSERT_TRUE(img) << why;
        fresh = *img;
        for (uint32_t i = 0; i < kParamCount; ++i) {
            const clap_param_info_t info = inst.info(i);
            minimum.push_back(info.min_value);
            maximum.push_back(info.max_value);
            defaults.push_back(info.default_value);
        }
    }

    // Every parameter off its default, every curve shaped, every toggle flipped.
    StateImage custom(int variant) const {
        StateImage img;
        for (uint32_t i = 0; i < kParamCount; ++i) {
            const double frac = double((i * 37 + variant * 11) % 97 + 1) / 99.0;
            double v = minimum[i] + (maximum[i] - minimum[i]) * frac;
            if (v == defaults[i]) v = minimum[i];
            img.params.emplace_back(i, v);
        }
        for (int m = 0; m < 7; ++m)
            for (int b = 0; b < 3; ++b) img.curves.push_back(shapedCurve((m + variant) % 7, b));
        if (variant == 0) {
            img.selModule = 5;
            img.selBand = 2;
            img.snap = 1;
            img.editAllBands = 1;
            img.stepMode = 0;
            img.chain = "tim crs vol";
        } else {
            img.selModule = 2;
            img.selBand = 0;
            img.snap = 0;
            img.editAllBands = 0;
            img.stepMode = 1;
            img.chain = "pan wid";
        }
        return img;
    }

    StateImage saved(const Instance& which) const {
        auto bytes = which.save();
        EXPECT_TRUE(bytes);
        std::string why;
        auto img = bytes ? StateImage::decode(*bytes, &why) : std::nullopt;
        EXPECT_TRUE(img) << why;
        return img ? *img : StateImage{};
    }

    // Field by field, so a failure names the part of the stream that differs.
    static void expectSame(const StateImage& actual, const StateImage& expected) {
        ASSERT_EQ(actual.params.size(), expected.params.size());
        for (size_t i = 0; i < actual.params.size(); ++i) {
            EXPECT_EQ(actual.params[i].first, expected.params[i].first) << i;
            EXPECT_EQ(actual.params[i].second, expected.params[i].second) << "parameter " << i;
        }
        ASSERT_EQ(actual.curves.size(), expected.curves.size());
        for (size_t i = 0; i < actual.curves.size(); ++i)
            EXPECT_EQ(actual.curves[i], expected.curves[i]) << "curve record " << i;
        EXPECT_EQ(actual.selModule, expected.selModule);
        EXPECT_EQ(actual.selBand, expected.selBand);
        EXPECT_EQ(actual.snap, expected.snap);
        EXPECT_EQ(actual.editAllBands, expected.editAllBands);
        EXPECT_EQ(actual.stepMode, expected.stepMode);
        EXPECT_EQ(actual.chain, expected.chain);
    }

    std::vector<std::string> neutralCurves() const {
        std::vector<std::string> c;
        for (int m = 0; m < 7; ++m)
            for (int b = 0; b < 3; ++b) c.push_back(flatCurve(neutralLevel(m)));
        return c;
    }

    Module module;
    TestHost host;
    Instance inst{module, host};
    std::vector<uint8_t> freshBytes;
    StateImage fresh;
    std::vector<double> minimum, maximum, defaults;
};

// ------------------------------------------------------------ saving

TEST_F(ClapStateTest, FreshInstanceWritesDefaults) {
    EXPECT_EQ(std::memcmp(freshBytes.data(), "NORV", 4), 0);
    EXPECT_EQ(fresh.version, 3u);
    ASSERT_EQ(fresh.params.size(), kParamCount);
    for (uint32_t i = 0; i < kParamCount; ++i) {
        EXPECT_EQ(fresh.params[i].first, i);
        EXPECT_EQ(fresh.params[i].second, defaults[i]) << i;
    }
    EXPECT_EQ(fresh.curves, neutralCurves());
    EXPECT_EQ(flatCurve(1.0), "0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000");
    EXPECT_EQ(fresh.selModule, 0);
    EXPECT_EQ(fresh.selBand, 1);
    EXPECT_EQ(fresh.snap, 1);
    EXPECT_EQ(fresh.editAllBands, 1);
    EXPECT_EQ(fresh.stepMode, 0);
    EXPECT_EQ(fresh.chain, "");
    EXPECT_EQ(fresh.encode(), freshBytes);
}

TEST_F(ClapStateTest, SaveCopesWithPartialAndFailingWrites) {
    for (size_t chunk : {size_t(1), size_t(7), size_t(1000)}) {
        MemoryOut out;
        out.chunk = chunk;
        ASSERT_TRUE(inst.state()->save(inst.plugin(), out.stream())) << chunk;
        EXPECT_EQ(out.bytes, freshBytes) << chunk;
    }
    for (size_t failAfter : {0, 100})
        for (int64_t result : {-1, 0}) {
            MemoryOut out;
            out.failAfter = failAfter;
            out.failResult = result;
            EXPECT_FALSE(inst.state()->save(inst.plugin(), out.stream())) << failAfter << " " << result;
        }
    EXPECT_FALSE(inst.state()->save(inst.plugin(), nullptr));
    EXPECT_FALSE(inst.state()->load(inst.plugin(), nullptr));
    EXPECT_EQ(inst.save(), freshBytes);  // nothing changed
}

// ------------------------------------------------------------ loading

TEST_F(ClapStateTest, RoundTripIntoAFreshInstance) {
    const StateImage img = custom(0);
    host.rescans.clear();
    ASSERT_TRUE(inst.load(img.encode()));
    ASSERT_EQ(host.rescans, std::vector<uint32_t>{CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT});
    const auto first = inst.save();
    ASSERT_TRUE(first);
    expectSame(saved(inst), img);
    for (uint32_t i = 0; i < kParamCount; ++i) EXPECT_EQ(inst.value(i), img.params[i].second) << i;

    // A host without the params extension gets no rescan, and the load still works.
    TestHost bare;
    bare.offerParams = false;
    Instance other(module, bare);
    ASSERT_TRUE(other.load(*first));
    EXPECT_EQ(other.save(), first);
    EXPECT_TRUE(bare.rescans.empty());
    EXPECT_TRUE(host.logs.empty());
}

TEST_F(ClapStateTest, ParameterBlockIsForgiving) {
    // Missing parameters take their defaults.
    ASSERT_TRUE(inst.load(custom(0).encode()));
    StateImage two = custom(1);
    two.params = {{pid::kMix, 0.5}, {pid::kVolOn, 1.0}};
    ASSERT_TRUE(inst.load(two.encode()));
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const double expected = i == pid::kMix ? 0.5 : i == pid::kVolOn ? 1.0 : defaults[i];
        EXPECT_EQ(inst.value(i), expected) << i;
    }

    // Unknown ids are skipped, values clamped.
    StateImage img = custom(0);
    img.params.insert(img.params.begin() + 3, {200u, 0.5});
    img.params.push_back({kParamCount, 1.0});
    img.set(pid::kMix, 5.0);
    img.set(pid::kInput, -100.0);
    ASSERT_TRUE(inst.load(img.encode()));
    EXPECT_EQ(inst.value(pid::kMix), 1.0);
    EXPECT_EQ(inst.value(pid::kInput), -24.0);
    EXPECT_EQ(inst.value(pid::kOutput), custom(0).get(pid::kOutput));
    EXPECT_EQ(saved(inst).curves, custom(0).curves);

    for (auto& [id, value] : img.params) value = std::nan("");
    ASSERT_TRUE(inst.load(img.encode()));
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const double v = inst.value(i);
        EXPECT_TRUE(v >= minimum[i] && v <= maximum[i]) << i << ": " << v;
    }

    // The largest accepted count.
    img.params.clear();
    for (uint32_t i = 0; i < 4096; ++i) img.params.push_back({1000 + i, 0.5});
    ASSERT_TRUE(inst.load(img.encode()));
    for (uint32_t i = 0; i < kParamCount; ++i) EXPECT_EQ(inst.value(i), defaults[i]) << i;
}

TEST_F(ClapStateTest, SelectionIsClampedAndTogglesReadAsFlags) {
    StateImage img = custom(1);
    img.selModule = 9;
    img.selBand = -1;
    img.snap = 7;
    img.editAllBands = 0x80;
    img.stepMode = 2;
    ASSERT_TRUE(inst.load(img.encode()));
    StateImage after = saved(inst);
    EXPECT_EQ(after.selModule, 6);
    EXPECT_EQ(after.selBand, 0);
    EXPECT_EQ(after.snap, 1);
    EXPECT_EQ(after.editAllBands, 1);
    EXPECT_EQ(after.stepMode, 1);
    img.selModule = -5;
    img.selBand = 7;
    ASSERT_TRUE(inst.load(img.encode()));
    after = saved(inst);
    EXPECT_EQ(after.selModule, 0);
    EXPECT_EQ(after.selBand, 2);
}

TEST_F(ClapStateTest, StreamEndingAfterTheParameters) {
    ASSERT_TRUE(inst.load(custom(1).encode()));
    StateImage::Layout layout;
    std::vector<uint8_t> bytes = custom(0).encode(&layout);
    bytes.resize(layout.params);
    host.rescans.clear();
    ASSERT_TRUE(inst.load(bytes));
    StateImage expected = custom(1);  // selection and toggles stay
    expected.params = custom(0).params;
    expected.curves = neutralCurves();
    expected.chain = "";
    expectSame(saved(inst), expected);
    EXPECT_EQ(host.rescans.size(), 1u);
}

TEST_F(ClapStateTest, BadCurveAndChainRecordsAreTolerated) {
    StateImage img = custom(0);
    img.curve(2, 1) = "0.0000 0.5000 0 0.000";          // one point
    img.curve(4, 0) = "0.0000 0.5000 0, 1.0000 1.5000 0";  // y above 1
    img.curve(6, 2) = "0.0000 0.5000 0, 1.0000 0.5000 0,";  // trailing comma
    img.curve(0, 0) = "0 0.25 5 9, 0.3 0.5 1.7 -0.5, 0.7 0.75 1";  // stored in its own format
    img.chain = "flt vol flt drv bogus pan";
    ASSERT_TRUE(inst.load(img.encode()));
    StateImage expected = img;
    expected.curve(2, 1) = flatCurve(1.0);
    expected.curve(4, 0) = flatCurve(1.0);
    expected.curve(6, 2) = flatCurve(0.5);
    expected.curve(0, 0) = "0.0000 0.2500 2 1.000, 0.3000 0.5000 1 -0.500, 1.0000 0.7500 1 0.000";
    expected.chain = "flt vol drv";  // stops at the unknown word
    expectSame(saved(inst), expected);

    img.chain.clear();
    while (img.chain.size() <= 256) img.chain += "vol ";
    ASSERT_TRUE(inst.load(img.encode()));
    expected.chain = "";  // longer than 256 bytes: not read
    expectSame(saved(inst), expected);
}

// Version 2 has no chain; 1 and 0 end with the snap byte, and 1 carries
// only the first four modules' curves.
TEST_F(ClapStateTest, OlderVersions) {
    for (uint32_t version : {0u, 1u, 2u}) {
        SCOPED_TRACE("version " + std::to_string(version));
        ASSERT_TRUE(inst.load(custom(1).encode()));  // edit-all off, step mode on
        StateImage img = custom(0);
        img.version = version;
        if (version == 1) img.curves.resize(12);
        ASSERT_TRUE(inst.load(img.encode()));
        StateImage expected = img;
        expected.chain = "";
        if (version == 1) {
            expected.curves = neutralCurves();
            for (int i = 0; i < 12; ++i) expected.curves[i] = img.curves[i];
        }
        if (version < 2) {
            expected.editAllBands = custom(1).editAllBands;
            expected.stepMode = custom(1).stepMode;
        }
        expectSame(saved(inst), expected);
    }
}

TEST_F(ClapStateTest, HostileHeadersChangeNothing) {
    ASSERT_TRUE(inst.load(custom(1).encode()));
    const auto before = inst.save();
    ASSERT_TRUE(before);

    std::vector<std::pair<const char*, std::vector<uint8_t>>> streams;
    std::vector<uint8_t> bytes = custom(0).encode();
    bytes[0] = 'X';
    streams.emplace_back("magic", bytes);
    StateImage img = custom(0);
    img.version = 4;
    streams.emplace_back("version 4", img.encode());
    img.version = 0xFFFFFFFFu;
    streams.emplace_back("version max", img.encode());
    img = custom(0);
    img.countOverride = 5000;
    streams.emplace_back("count 5000", img.encode());
    img.countOverride = 4097;
    streams.emplace_back("count 4097", img.encode());
    streams.emplace_back("empty", std::vector<uint8_t>{});
    streams.emplace_back("magic only", std::vector<uint8_t>{'N', 'O', 'R', 'V'});
    std::vector<uint8_t> garbage(4000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 131 + 7);
    streams.emplace_back("garbage", garbage);

    host.rescans.clear();
    for (const auto& [name, stream] : streams) {
        EXPECT_FALSE(inst.load(stream)) << name;
        EXPECT_EQ(inst.save(), before) << name;
    }
    EXPECT_TRUE(host.rescans.empty());
    EXPECT_TRUE(host.logs.empty());
}

TEST_F(ClapStateTest, OverlongCurveRecordFailsTheLoad) {
    StateImage::Layout layout;
    std::vector<uint8_t> bytes = custom(0).encode(&layout);
    // The fourth record claims 65537 bytes.
    const size_t at = layout.curveLength[3] - 4;
    const uint32_t length = 65537;
    std::memcpy(bytes.data() + at, &length, 4);
    bytes.resize(layout.curveLength[3]);
    bytes.resize(bytes.size() + 70000, ' ');
    ASSERT_TRUE(inst.load(custom(1).encode()));
    const auto before = inst.save();
    host.rescans.clear();
    EXPECT_FALSE(inst.load(bytes));
    EXPECT_TRUE(host.rescans.empty());
    EXPECT_EQ(inst.save(), before);
}

TEST_F(ClapStateTest, CurveRecordOf65536BytesIsRead) {
    StateImage img = custom(0);
    std::string text = img.curve(1, 1);
    text.resize(65536, ' ');  // blanks after the last number are allowed
    img.curve(1, 1) = text;
    ASSERT_TRUE(inst.load(img.encode()));
    expectSame(saved(inst), custom(0));
}

// A stream cut anywhere: never a crash; a cut in the header or the parameter
// block fails, leaves the instance as it was and tells the host nothing; a
// later cut succeeds with everything read up to it.
TEST_F(ClapStateTest, TruncatedAtEveryByteOffset) {
    const StateImage before = custom(1);
    const std::vector<uint8_t> beforeBytes = before.encode();
    const StateImage target = custom(0);
    StateImage::Layout layout;
    const std::vector<uint8_t> full = target.encode(&layout);

    struct Variant {
        size_t chunk;
        int64_t end;
    };
    for (Variant v : {Variant{SIZE_MAX, 0}, Variant{3, 0}, Variant{SIZE_MAX, -1}}) {
        SCOPED_TRACE("chunk " + std::to_string(v.chunk) + " end " + std::to_string(v.end));
        for (size_t n = 0; n < full.size(); ++n) {
            ASSERT_TRUE(inst.load(beforeBytes));
            host.rescans.clear();
            const std::vector<uint8_t> cut(full.begin(), full.begin() + long(n));
            const bool ok = inst.load(cut, v.chunk, v.end);
            const StateImage after = saved(inst);

            StateImage expected = before;
            bool expectOk = true;
            if (n < layout.params) {
                expectOk = false;
            } else {
                expected.params = target.params;
                expected.curves = neutralCurves();
                for (size_t i = 0; i < 21; ++i)
                    if (n >= layout.curve[i]) expected.curves[i] = target.curves[i];
                if (n >= layout.selection) {
                    expected.selModule = target.selModule;
                    expected.selBand = target.selBand;
                }
                if (n >= layout.snap) expected.snap = target.snap;
                if (n >= layout.toggles) {
                    expected.editAllBands = target.editAllBands;
                    expected.stepMode = target.stepMode;
                }
                expected.chain = n >= layout.chain ? target.chain : "";
            }
            ASSERT_EQ(ok, expectOk) << "cut at " << n;
            ASSERT_EQ(host.rescans.size(), expectOk ? 1u : 0u) << "cut at " << n;
            if (::testing::Test::HasFailure()) return;
            SCOPED_TRACE("cut at " + std::to_string(n));
            expectSame(after, expected);
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_TRUE(host.logs.empty());
}

// ------------------------------------------------------------ state and sound

class ClapStateSoundTest : public ClapStateTest {
protected:
    static float signal(uint32_t i, int ch) {
        return float(0.4 * std::sin(0.013 * i + ch) + 0.2 * std::sin(0.31 * i));
    }

    std::unique_ptr<AudioBlock> render(const StateImage& img) {
        Instance other(module, host);
        EXPECT_TRUE(other.activate());
        EXPECT_TRUE(other.load(img.encode()));  // while active, as hosts do
        auto block = std::make_unique<AudioBlock>(512);
        block->fillInput(signal);
        EXPECT_EQ(block->run(other.plugin()), CLAP_PROCESS_CONTINUE);
        return block;
    }
};

TEST_F(ClapStateSoundTest, LoadedCurvesAndChainReachTheSound) {
    StateImage img = fresh;
    img.set(pid::kVolOn, 1);
    img.set(pid::kVolSmooth, 0.0);
    auto full = render(img);
    for (int band = 0; band < 3; ++band) img.curve(0, band) = flatCurve(0.5);
    auto half = render(img);
    // The volume curve is squared: half way is a quarter of the level.
    for (uint32_t i = 300; i < 512; ++i) {
        ASSERT_NEAR(half->outL[i], 0.25 * full->outL[i], 1e-5) << i;
        ASSERT_NEAR(half->outR[i], 0.25 * full->outR[i], 1e-5) << i;
    }

    // Drive then volume differs from volume then drive when volume is low.
    img.set(pid::kDrvOn, 1);
    img.set(pid::kDrvDrive, 1.0);
    img.chain = "vol drv";
    auto volFirst = render(img);
    img.chain = "drv vol";
    EXPECT_GE(firstDifference(*volFirst, *render(img)), 0);
    img.chain = "";  // the default order runs volume first
    EXPECT_EQ(firstDifference(*volFirst, *render(img)), -1);
}

// A load that fails half way leaves the running sound as it was.
TEST_F(ClapStateSoundTest, FailedLoadLeavesTheSoundAlone) {
    StateImage img = fresh;
    img.set(pid::kVolOn, 1);
    img.set(pid::kFltOn, 1);
    for (int band = 0; band < 3; ++band) {
        img.curve(0, band) = "0.0000 0.3000 0 0.000, 0.5000 1.0000 0 0.000, 1.0000 0.3000 0 0.000";
        img.curve(1, band) = "0.0000 0.5000 0 0.000, 1.0000 0.8000 0 0.000";
    }
    StateImage::Layout layout;
    std::vector<uint8_t> broken = custom(0).encode(&layout);
    const uint32_t tooLong = 70000;
    std::memcpy(broken.data() + layout.curveLength[5] - 4, &tooLong, 4);
    std::vector<uint8_t> shortParams = custom(0).encode();
    shortParams.resize(layout.params - 5);

    auto play = [&](bool interfere) {
        Instance other(module, host);
        EXPECT_TRUE(other.activate());
        EXPECT_TRUE(other.load(img.encode()));
        std::vector<float> out;
        for (uint32_t b = 0; b < 4; ++b) {
            if (interfere && b == 2) {
                EXPECT_FALSE(other.load(broken));
                EXPECT_FALSE(other.load(shortParams));
            }
            AudioBlock block(512);
            block.fillInput(signal, b * 512);
            EXPECT_EQ(block.run(other.plugin()), CLAP_PROCESS_CONTINUE);
            out.insert(out.end(), block.outL.begin(), block.outL.end());
        }
        return out;
    };
    EXPECT_EQ(play(true), play(false));
}

}  // namespace
}  // namespace claphost
