// Scope capture as the editor sees it: the 480-column record that
// Engine::process fills for the selected module and band.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;

constexpr double kFs = 48000.0;
constexpr int kColumns = kScopeColumns;

// Main input and sidechain of one block; the sidechain values identify the
// sample that wrote a column.
struct Block {
    std::vector<float> left, right, side;
    explicit Block(size_t frames) : left(frames, 0.0f), right(frames, 0.0f), side(frames, 0.0f) {}
};

void run(Engine& engine, Block& block, double songBeats, double tempo,
         const std::vector<uint32_t>& midi = {}) {
    engine.process(block.left.data(), block.right.data(), static_cast<uint32_t>(block.left.size()),
                   songBeats, tempo, block.side.data(), block.side.data(),
                   midi.empty() ? nullptr : midi.data(), static_cast<uint32_t>(midi.size()));
}

void request(Engine& engine, int module, int band, bool allBands) {
    ScopeData& scope = engine.scope();
    scope.targetModule.store(module);
    scope.targetBand.store(band);
    scope.targetAllBands.store(allBands);
    scope.wanted.store(true);
}

// Volume on with a neutral curve, so the split path runs and the sidechain
// reaches the scope; the volume module is the one traced.
std::unique_ptr<Engine> volumeEngine(const EngineParams& params) {
    auto engine = makeEngine(kFs);
    engine->setParams(params);
    engine->publishCurves(neutralCurves());
    request(*engine, kVol, kBandLow, false);
    return engine;
}

EngineParams volumeOn() {
    EngineParams p;
    p.volOn = true;
    return p;
}

int writtenColumns(const ScopeData& scope) {
    int n = 0;
    for (int c = 0; c < kColumns; ++c) n += scope.sideMax[c] != 0.0f;
    return n;
}

TEST(ScopeTiming, QuarterNoteAt120BpmGivesFiftySamplesPerColumn) {
    EngineParams p = volumeOn();
    // A quarter sample into the cycle keeps every sample away from a column edge.
    p.volPhase = static_cast<float>(0.25 / 24000.0);
    auto engine = volumeEngine(p);

    // One cycle of 1/4 at 120 BPM is 24000 samples, in blocks of 480.
    const uint32_t frames = 480;
    double beats = 0.0;
    for (uint32_t start = 0; start < 24000; start += frames) {
        Block block(frames);
        for (uint32_t i = 0; i < frames; ++i) block.side[i] = static_cast<float>(start + i + 1) / 32768.0f;
        run(*engine, block, beats, 120.0);
        beats += frames * 2.0 / kFs;
    }
    const ScopeData& scope = engine->scope();
    for (int c = 0; c < kColumns; ++c) {
        EXPECT_EQ(scope.sideMin[c], static_cast<float>(50 * c + 1) / 32768.0f) << "column " << c;
        EXPECT_EQ(scope.sideMax[c], static_cast<float>(50 * c + 50) / 32768.0f) << "column " << c;
        EXPECT_FLOAT_EQ(scope.trace[c], 1.0f) << "column " << c;
    }
    // The playhead moves with the columns: it stands in the last one.
    EXPECT_GE(scope.playhead, 479.0f / kColumns);
    EXPECT_LT(scope.playhead, 1.0f);
    EXPECT_GE(scope.updates.load(), static_cast<uint32_t>(kColumns));
}

// One whole cycle of a 1/4 module at 120 BPM with a constant sidechain.
void fillCycle(Engine& engine, float sideLevel) {
    Block block(24000);
    for (float& s : block.side) s = sideLevel;
    run(engine, block, 0.0, 120.0);
}

TEST(ScopeTarget, ANewTargetClearsTheRecordAtTheNextBlock) {
    EngineParams p = volumeOn();
    p.volPhase = static_cast<float>(0.25 / 24000.0);
    auto engine = volumeEngine(p);
    const ScopeData& scope = engine->scope();

    struct Change {
        int module, band;
        bool all;
    };
    const Change changes[] = {{kVol, kBandMid, false}, {kVol, kBandMid, true}, {kPan, kBandMid, true}};
    for (const Change& change : changes) {
        fillCycle(*engine, 0.5f);
        ASSERT_EQ(writtenColumns(scope), kColumns);

        request(*engine, change.module, change.band, change.all);
        Block block(50);  // column 0 only
        for (float& s : block.side) s = 0.75f;
        run(*engine, block, 0.0, 120.0);

        EXPECT_EQ(scope.sideMax[0], 0.75f);
        EXPECT_EQ(writtenColumns(scope), 1) << "module " << change.module << " band " << change.band;
        for (int c = 1; c < kColumns; ++c) {
            ASSERT_EQ(scope.trace[c], -1.0f) << "column " << c;
            ASSERT_EQ(scope.beforeMax[c], 0.0f);
            ASSERT_EQ(scope.afterMin[c], 0.0f);
        }
        EXPECT_LT(scope.playhead, 1.0f / kColumns);
    }
}

TEST(ScopeTarget, KeepsTheRecordWhileTheTargetStays) {
    EngineParams p = volumeOn();
    p.volPhase = static_cast<float>(0.25 / 24000.0);
    auto engine = volumeEngine(p);
    const ScopeData& scope = engine->scope();
    fillCycle(*engine, 0.5f);

    // Same target, a reset, and a paused capture: nothing is cleared.
    request(*engine, kVol, kBandLow, false);
    engine->reset();
    Block block(50);
    for (float& s : block.side) s = 0.75f;
    run(*engine, block, 0.0, 120.0);
    EXPECT_EQ(scope.sideMax[0], 0.75f);
    EXPECT_EQ(scope.sideMax[1], 0.5f);
    EXPECT_EQ(scope.sideMax[479], 0.5f);

    engine->scope().wanted.store(false);
    request(*engine, kFlt, kBandHigh, true);
    engine->scope().wanted.store(false);
    const uint32_t updates = scope.updates.load();
    run(*engine, block, 0.0, 120.0);
    EXPECT_EQ(scope.updates.load(), updates);
    EXPECT_EQ(writtenColumns(scope), kColumns);
}

// A Sync module that moves `gap` columns per sample: rate 1/32 at 750 BPM per
// column, starting half a column into column `startColumn`.
std::unique_ptr<Engine> fastEngine(int gap, double startColumn, double& tempo) {
    EngineParams p = volumeOn();
    p.volRate = 0;
    p.volPhase = static_cast<float>((startColumn + 0.5) / kColumns);
    tempo = 750.0 * gap;
    return volumeEngine(p);
}

TEST(ScopeGaps, SkipsOfTwoTo119ColumnsAreFilledWithTheNewSample) {
    for (int gap : {2, 17, 119}) {
        double tempo = 0.0;
        auto engine = fastEngine(gap, 0.0, tempo);
        const int samples = (kColumns - 1) / gap + 1;  // up to the last column, no wrap
        Block block(static_cast<size_t>(samples));
        for (int i = 0; i < samples; ++i) block.side[i] = static_cast<float>(i + 1);
        run(*engine, block, 0.0, tempo);

        const ScopeData& scope = engine->scope();
        const int last = (samples - 1) * gap;
        for (int c = 0; c <= last; ++c) {
            // Column c is reached by the first sample at or past it.
            const float writer = static_cast<float>((c + gap - 1) / gap + 1);
            ASSERT_EQ(scope.sideMin[c], writer) << "gap " << gap << " column " << c;
            ASSERT_EQ(scope.sideMax[c], writer) << "gap " << gap << " column " << c;
            ASSERT_FLOAT_EQ(scope.trace[c], 1.0f) << "gap " << gap << " column " << c;
        }
        for (int c = last + 1; c < kColumns; ++c) ASSERT_EQ(scope.sideMax[c], 0.0f) << "gap " << gap;
    }
}

TEST(ScopeGaps, SkipsOf120ColumnsOrMoreAreLeftAlone) {
    for (int gap : {120, 479}) {
        double tempo = 0.0;
        auto engine = fastEngine(gap, 0.0, tempo);
        Block block(4);
        for (int i = 0; i < 4; ++i) block.side[i] = static_cast<float>(i + 1);
        run(*engine, block, 0.0, tempo);

        const ScopeData& scope = engine->scope();
        std::vector<float> expected(kColumns, 0.0f);
        for (int i = 0; i < 4; ++i) expected[static_cast<size_t>((i * gap) % kColumns)] = static_cast<float>(i + 1);
        for (int c = 0; c < kColumns; ++c) {
            ASSERT_EQ(scope.sideMax[c], expected[c]) << "gap " << gap << " column " << c;
            ASSERT_EQ(scope.trace[c], expected[c] != 0.0f ? 1.0f : -1.0f) << "gap " << gap << " column " << c;
        }
    }
}

TEST(ScopeTriggered, ANewTriggerIsNeverFilledBackwards) {
    // A looping MIDI module moving 5 columns per sample, retriggered when it
    // has reached column 470: the jump back to column 0 leaves 471..479 empty.
    EngineParams p = volumeOn();
    p.volRate = 0;
    p.volPhase = static_cast<float>(0.5 / kColumns);
    p.trigMode[kVol] = kTrigMidi;
    p.trigLoop[kVol] = true;
    auto engine = volumeEngine(p);
    const double tempo = 3750.0;

    Block block(120);
    for (size_t i = 0; i < block.side.size(); ++i) block.side[i] = static_cast<float>(i + 1);
    run(*engine, block, 0.0, tempo, {0, 95});

    const ScopeData& scope = engine->scope();
    EXPECT_EQ(scope.sideMax[470], 95.0f);  // sample 94
    EXPECT_EQ(scope.sideMax[466], 95.0f) << "forward moves are still filled";
    for (int c = 471; c < kColumns; ++c) {
        EXPECT_EQ(scope.sideMax[c], 0.0f) << "column " << c;
        EXPECT_EQ(scope.trace[c], -1.0f) << "column " << c;
    }
    EXPECT_EQ(scope.sideMax[0], 96.0f);  // sample 95, the new trigger
    EXPECT_EQ(scope.sideMax[4], 97.0f);  // filled forward again
}

TEST(ScopeSignals, TraceIsMinusOneWhileTheTracedBandIsOff) {
    EngineParams p = volumeOn();
    p.bandOn[kBandMid] = false;
    auto engine = volumeEngine(p);
    request(*engine, kVol, kBandMid, false);
    fillCycle(*engine, 0.5f);
    const ScopeData& scope = engine->scope();
    ASSERT_EQ(writtenColumns(scope), kColumns);
    for (int c = 0; c < kColumns; ++c) EXPECT_EQ(scope.trace[c], -1.0f) << "column " << c;
}

// A 1 kHz tone: lives in the mid band with the default splits.
Block toneBlock(size_t frames) {
    Block block(frames);
    for (size_t i = 0; i < frames; ++i) {
        block.left[i] = 0.5f * static_cast<float>(std::sin(2.0 * kPi * 1000.0 * i / kFs));
        block.right[i] = -block.left[i];
    }
    return block;
}

TEST(ScopeSignals, OneBandShowsTheBandBeforeAndAfterItsStages) {
    // Volume flat at 0.5 and smoothing off: after is a quarter of before.
    EngineParams p = volumeOn();
    p.volSmooth = 0.0f;
    auto engine = volumeEngine(p);
    CurveSet curves = neutralCurves();
    setFlat(curves, kVol, 0.5f);
    engine->publishCurves(curves);
    request(*engine, kVol, kBandMid, false);
    Block block = toneBlock(24000);
    run(*engine, block, 0.0, 120.0);

    const ScopeData& scope = engine->scope();
    for (int c = 240; c < kColumns; ++c) {
        EXPECT_GT(scope.beforeMax[c], 0.4f) << "column " << c;
        EXPECT_NEAR(scope.afterMax[c], 0.25f * scope.beforeMax[c], 1e-4f) << "column " << c;
        EXPECT_NEAR(scope.afterMin[c], 0.25f * scope.beforeMin[c], 1e-4f) << "column " << c;
    }
}

TEST(ScopeSignals, AllBandsShowsTheGainedInputAndTheFinalOutput) {
    // Mix 0: the output is the dry input, whatever the gains.
    EngineParams p = volumeOn();
    p.inputGain = 2.0f;
    p.outputGain = 0.5f;
    p.mix = 0.0f;
    auto engine = volumeEngine(p);
    request(*engine, kVol, kBandLow, true);
    Block block = toneBlock(24000);
    const Block input = block;
    run(*engine, block, 0.0, 120.0);

    const ScopeData& scope = engine->scope();
    for (int c = 0; c < kColumns; ++c) {
        float lo = 1e9f, hi = -1e9f;
        for (int i = 50 * c; i < 50 * c + 50; ++i) {
            lo = std::min({lo, input.left[i], input.right[i]});
            hi = std::max({hi, input.left[i], input.right[i]});
        }
        // Columns may differ by a sample at their edges.
        EXPECT_NEAR(scope.beforeMax[c], 2.0f * hi, 0.15f) << "column " << c;
        EXPECT_NEAR(scope.beforeMin[c], 2.0f * lo, 0.15f) << "column " << c;
        EXPECT_NEAR(scope.afterMax[c], hi, 0.075f) << "column " << c;
        EXPECT_NEAR(scope.afterMin[c], lo, 0.075f) << "column " << c;
    }
}

}  // namespace
