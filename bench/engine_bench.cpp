// Engine::process cost at 48 kHz stereo. The "rtf" counter is seconds of audio
// processed per second of CPU time (real-time factor).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "dsp/curve_set.h"
#include "dsp/engine.h"
#include "dsp/engine_params.h"
#include "plugin/denormals.h"
#include "plugin/norvale_plugin.h"
#include "presets/preset_format.h"
#include "tests/engine_fixture.h"

namespace {

using namespace norvale;
using namespace norvale::fixture;

constexpr double kRate = 48000.0;
constexpr double kTempo = 120.0;
constexpr uint32_t kMaxFrames = 1024;

enum Setup { kAllOff, kOneVolume, kEverything, kPresets };

// One built-in preset's sound as the plug-in hands it to the engine.
struct PresetSound {
    EngineParams params;
    CurveSet curves;
};

// Loaded through the plug-in object, so the parameters reach the engine
// converted exactly as in a host.
std::vector<PresetSound> builtinSounds() {
    std::vector<PresetSound> sounds;
    for (const plugincore::BuiltinPreset& builtin : kBuiltinPresets) {
        auto plugin = std::make_unique<NorvalePlugin>(nullptr);
        plugin->presetLoadFromLocation(CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, builtin.key);
        plugin->syncEngine();
        sounds.push_back({plugin->engine.params(), plugin->curveSet});
    }
    return sounds;
}

// A shape with movement in it: a dip in the middle of every cycle.
void setDip(CurveSet& set, int module, float top, float bottom) {
    for (int b = 0; b < kBandCount; ++b) {
        Curve& c = set.curves[module][b];
        c.setFlat(top);
        c.addPoint(0.25f, top, 2);
        c.addPoint(0.5f, bottom, 1);
        c.addPoint(0.75f, top, 2);
    }
}

void configure(Engine& engine, Setup setup) {
    EngineParams p;
    CurveSet set = neutralCurves();
    if (setup == kOneVolume) {
        p.modules[kVol].on = true;
        setDip(set, kVol, 1.0f, 0.3f);
    } else if (setup == kEverything) {
        allModulesOn(p);
        p.fltDrive = 0.5f;
        p.fltRes = 0.6f;
        p.fltType[1] = kBandpass;
        p.fltType[2] = kHighpass;
        p.drvStyle = kSoftClip;
        p.drvDrive = 0.7f;
        p.drvTone = 0.3f;
        p.crsAmount = 0.8f;
        p.crsBits = 6;
        p.crsDown = 8;
        p.timRange = 0.25f;
        p.modules[kTim].rate = 1;
        setDip(set, kVol, 1.0f, 0.4f);
        setDip(set, kFlt, 1.0f, 0.2f);
        setDip(set, kDrv, 0.3f, 1.0f);
        setDip(set, kCrs, 0.5f, 1.0f);
        setDip(set, kTim, 0.6f, 0.0f); // the read head stays in the past
        setDip(set, kPan, 0.3f, 0.7f);
        setDip(set, kWid, 0.2f, 0.9f);
        ScopeData& scope = engine.scope();
        scope.targetModule.store(kTim);
        scope.targetBand.store(1);
        scope.targetAllBands.store(false);
        scope.wanted.store(true);
    }
    engine.setParams(p);
    engine.publishCurves(set);
}

void processBlocks(benchmark::State& state, Setup setup) {
    const auto frames = static_cast<uint32_t>(state.range(0));
    auto engine = std::make_unique<Engine>();
    engine->prepare(kRate, kMaxFrames);
    configure(*engine, setup);

    // A few seconds of noise and tone to cycle through, so the stages see
    // a signal that changes from block to block.
    const size_t sourceLength = 1 << 17;
    std::vector<float> sourceL(sourceLength), sourceR(sourceLength);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    for (size_t i = 0; i < sourceLength; ++i) {
        const float tone = 0.5f * static_cast<float>(std::sin(2.0 * kPi * 110.0 * i / kRate));
        sourceL[i] = tone + noise(rng);
        sourceR[i] = tone + noise(rng);
    }
    std::vector<float> left(frames), right(frames);

    // The preset cycle moves on every second of audio; the source doubles as
    // the sidechain so that audio triggers fire.
    const std::vector<PresetSound> sounds =
        setup == kPresets ? builtinSounds() : std::vector<PresetSound>{};
    const auto blocksPerSound = static_cast<int64_t>(kRate / frames) + 1;
    int64_t block = 0;
    size_t sound = 0;
    const bool sidechain = setup == kPresets;

    size_t readPos = 0;
    double beats = 0.0;
    const double beatsPerBlock = frames * kTempo / 60.0 / kRate;
    for (auto _ : state) {
        if (!sounds.empty() && block++ % blocksPerSound == 0) {
            engine->setParams(sounds[sound].params);
            engine->publishCurves(sounds[sound].curves);
            sound = (sound + 1) % sounds.size();
        }
        if (readPos + frames > sourceLength) readPos = 0;
        std::memcpy(left.data(), sourceL.data() + readPos, frames * sizeof(float));
        std::memcpy(right.data(), sourceR.data() + readPos, frames * sizeof(float));
        readPos += frames;
        {
            ScopedFlushToZero ftz; // as the plug-in runs every block
            const float* sideL = sidechain ? sourceL.data() + readPos - frames : nullptr;
            const float* sideR = sidechain ? sourceR.data() + readPos - frames : nullptr;
            engine->process(left.data(), right.data(), frames, beats, kTempo, sideL, sideR, nullptr,
                            0);
        }
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
        beats += beatsPerBlock;
    }
    const double audioSeconds =
        static_cast<double>(frames) / kRate * static_cast<double>(state.iterations());
    // kIsRate divides by the CPU time of the benchmark.
    state.counters["rtf"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.SetItemsProcessed(static_cast<int64_t>(frames) * state.iterations());
}

void BM_EngineAllOff(benchmark::State& state) {
    processBlocks(state, kAllOff);
}
void BM_EngineOneVolume(benchmark::State& state) {
    processBlocks(state, kOneVolume);
}
void BM_EngineEverything(benchmark::State& state) {
    processBlocks(state, kEverything);
}
// The ten built-in presets in turn, a second of audio each.
void BM_EnginePresets(benchmark::State& state) {
    processBlocks(state, kPresets);
}

BENCHMARK(BM_EngineAllOff)->Arg(32)->Arg(128)->Arg(512)->Arg(1024);
BENCHMARK(BM_EngineOneVolume)->Arg(32)->Arg(128)->Arg(512)->Arg(1024);
BENCHMARK(BM_EngineEverything)->Arg(32)->Arg(128)->Arg(512)->Arg(1024);
BENCHMARK(BM_EnginePresets)->Arg(512);

} // namespace
