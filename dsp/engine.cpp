#include "dsp/engine.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "dsp/rates.h"

namespace norvale {

static_assert(std::is_trivially_copyable_v<CurveSet>, "curves cross threads by memcpy");

namespace {

constexpr int kPublishAttempts = 64;
// Long enough that a step of 24 dB is no click, short enough that automation
// is followed to the millisecond.
constexpr double kGainRampSeconds = 0.003;
constexpr double kBypassFadeSeconds = 0.01;
// Scope skips of up to a quarter cycle are filled so a fast playhead leaves
// no holes; longer ones are jumps, not movement.
constexpr int kLongestFill = 119;

[[maybe_unused]] bool inRange(const EngineParams& p) {
    bool ok = p.mix >= 0.0f && p.mix <= 1.0f && p.fltRes >= 0.0f && p.fltRes <= 1.0f &&
              p.fltDepth >= 0 && p.fltDepth <= 8 && p.drvDrive >= 0.0f && p.drvDrive <= 1.0f &&
              p.timRange >= 0.001f && p.timRange <= 2.0f && p.crsBits >= 2 && p.crsBits <= 16 &&
              p.crsDown >= 1 && p.crsDown <= 32 && p.crsAmount >= 0.0f && p.crsAmount <= 1.0f;
    for (const ModuleSettings& m : p.modules)
        ok = ok && m.rate >= 0 && m.rate < kRateCount && m.smooth >= 0.0f && m.smooth <= 1.0f &&
             m.end >= 0.0f && m.end <= 1.0f && m.trigger >= 0 && m.trigger < kTrigModeCount;
    return ok;
}

// No source, or nothing but zeros.
bool silent(const float* source, uint32_t frames) {
    if (!source) return true;
    uint32_t bits = 0;
    for (uint32_t i = 0; i < frames; ++i)
        bits |= std::bit_cast<uint32_t>(source[i]) & 0x7fffffffu;
    return bits == 0;
}

} // namespace

// ---- module clocks ----

void ModuleClocks::reset() {
    beatPos_ = 0.0;
    midi_.count = audio_.count = 0;
    std::fill_n(elapsed_, kModuleCount, -1.0);
}

int ModuleClocks::takeMidi(const uint32_t* offsets, uint32_t count, uint32_t frames) {
    midi_.count = 0;
    for (uint32_t i = 0; offsets && i < count && midi_.count < kMaxTriggers; ++i) {
        uint32_t offset = std::min(offsets[i], frames - 1);
        if (midi_.count > 0) offset = std::max(offset, midi_.offsets[midi_.count - 1]);
        midi_.offsets[midi_.count++] = offset;
    }
    return midi_.count;
}

double ModuleClocks::workOutBeatsPerSample(double tempo) const {
    return (tempo > 0.0 ? tempo / 60.0 : 2.0) / sampleRate_;
}

float ModuleClocks::syncPhase(const ModuleSettings& m, uint32_t offset, double songBeats,
                              double tempo) const {
    const double position =
        (songBeats >= 0.0 ? songBeats : beatPos_) + beatsPerSample(tempo) * offset;
    // x - floor(x) is fmod(x, 1) moved into 0..1, and much cheaper.
    const double cycles = position / beatsForRate(m.rate) + m.phase;
    return static_cast<float>(cycles - std::floor(cycles));
}

double ModuleClocks::elapsed(Module module, TrigMode mode, uint32_t offset, double tempo) const {
    const TriggerOffsets& list = mode == kTrigMidi ? midi_ : audio_;
    const double bps = beatsPerSample(tempo);
    for (int i = list.count - 1; i >= 0; --i)
        if (list.offsets[i] <= offset) return bps * static_cast<double>(offset - list.offsets[i]);
    if (elapsed_[module] >= 0.0) return bps * offset + elapsed_[module];
    return -1.0;
}

float ModuleClocks::phase(Module module, const ModuleSettings& m, uint32_t offset, double songBeats,
                          double tempo, bool* held) const {
    if (held) *held = false;
    if (m.trigger == kTrigSync) return syncPhase(m, offset, songBeats, tempo);

    const double end = m.end;
    const double e = elapsed(module, m.trigger, offset, tempo);
    double run;
    bool resting = false;
    if (e < 0.0) {
        // Never triggered: wait at the point a run would stop.
        run = m.loop ? 1.0 : end;
        resting = true;
    } else {
        const double cycles = e / beatsForRate(m.rate);
        if (m.loop) {
            run = std::fmod(cycles, 1.0);
        } else if (cycles >= end) {
            run = end;
            resting = true;
        } else {
            run = cycles;
        }
    }
    double phase = m.phase + run;
    if (phase > 1.0) phase -= 1.0; // exactly 1.0 stays: the curve's end point
    if (held) *held = resting;
    return static_cast<float>(phase);
}

void ModuleClocks::endBlock(const ModuleSettings (&modules)[kModuleCount], uint32_t frames,
                            double songBeats, double tempo) {
    for (int i = 0; i < kModuleCount; ++i) {
        const ModuleSettings& m = modules[i];
        double e = -1.0;
        if (m.trigger != kTrigSync) {
            e = elapsed(static_cast<Module>(i), m.trigger, frames, tempo);
            // Bounded so long runs keep their precision.
            const double cycle = beatsForRate(m.rate);
            if (e >= 0.0) e = m.loop ? std::fmod(e, cycle) : std::min(cycle, e);
        }
        elapsed_[i] = e;
    }
    // The block's triggers now live in elapsed_.
    midi_.count = audio_.count = 0;
    if (songBeats < 0.0) beatPos_ += frames * beatsPerSample(tempo);
}

// ---- trigger detector ----

void TriggerDetector::prepare(double sampleRate) {
    sampleRate_ = sampleRate;
    focusApplied_ = -1.0f; // the focus coefficient depends on the rate too
}

void TriggerDetector::reset() {
    for (auto& channel : state_)
        channel[0] = channel[1] = 0.0f;
    envelope_ = 0.0f;
    armed_ = true;
    sinceHit_ = kNoHit;
}

int TriggerDetector::detect(const float* left, const float* right, uint32_t frames,
                            const EngineParams& p, TriggerOffsets& hits) {
    hits.count = 0;
    int detected = 0;
    // Above 19 kHz the focus filter would change nothing worth its cost.
    const bool focus = p.trigFocus < 19000.0f;
    if (focus && p.trigFocus != focusApplied_) {
        focusCoef_ = onePoleCoef(p.trigFocus, sampleRate_);
        focusApplied_ = p.trigFocus;
    }
    const float a = focusCoef_;
    const auto release = static_cast<float>(std::exp(-1.0 / (sampleRate_ * 0.03)));
    // Below -120 dB the threshold is held there; re-arm 6 dB below it.
    const float threshold = std::max(p.trigThreshold, 1e-6f);
    const float rearm = p.trigThreshold >= 1e-6f ? 0.5f * threshold : 5e-7f;
    const double hold = std::min(std::max(static_cast<double>(p.trigHold), 0.001), 3600.0);
    const auto holdSamples = static_cast<uint32_t>(hold * sampleRate_);

    float envelope = envelope_;
    float fl0 = state_[0][0], fl1 = state_[0][1], fr0 = state_[1][0], fr1 = state_[1][1];
    // One sample's envelope; true when it crosses the level the detector
    // waits for (up to the threshold while armed, down to re-arm otherwise).
    auto crosses = [&](uint32_t i) __attribute__((always_inline)) {
        float l = left ? left[i] : 0.0f;
        float r = right ? right[i] : l;
        if (focus) {
            fl0 += (l - fl0) * a;
            fl1 += (fl0 - fl1) * a;
            fr0 += (r - fr0) * a;
            fr1 += (fr0 - fr1) * a;
            l = fl1;
            r = fr1;
        }
        const float peak = std::max(std::fabs(l), std::fabs(r));
        envelope = peak > envelope ? peak : envelope * release;
        return armed_ ? envelope >= threshold : envelope < rearm;
    };
    // The hold counter moves with the samples that pass in between, stopping
    // one short of "none yet".
    auto count = [this](uint32_t samples) {
        if (sinceHit_ < kNoHit - 1)
            sinceHit_ = static_cast<uint32_t>(
                std::min<uint64_t>(uint64_t{sinceHit_} + samples, kNoHit - 1));
    };
    const bool settled =
        envelope == 0.0f && (!focus || (fl0 == 0.0f && fl1 == 0.0f && fr0 == 0.0f && fr1 == 0.0f));
    if (settled && silent(left, frames) && silent(right, frames)) {
        // Silence on a settled detector: the envelope stays at 0, below any
        // threshold, and only re-arms.
        count(frames);
        armed_ = true;
        return 0;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        // Most samples change nothing but the envelope: run through them.
        const uint32_t from = i;
        while (i < frames && !crosses(i))
            ++i;
        count(i - from);
        if (i == frames) break;
        count(1);
        if (!armed_) {
            armed_ = true;
            continue;
        }
        if (sinceHit_ == kNoHit || sinceHit_ >= holdSamples) {
            if (hits.count < kMaxTriggers) hits.offsets[hits.count++] = i;
            armed_ = false;
            sinceHit_ = 0;
            ++detected;
        }
    }
    envelope_ = envelope;
    state_[0][0] = fl0, state_[0][1] = fl1, state_[1][0] = fr0, state_[1][1] = fr1;
    return detected;
}

// ---- scope capture ----

void ScopeCapture::beginBlock(const EngineParams& p, const ModuleClocks& clocks, double sampleRate,
                              double songBeats, double tempo) {
    active_ = data.wanted.load(std::memory_order_relaxed);
    tracing_ = false;
    if (!active_) return;
    const auto module = static_cast<Module>(
        std::clamp(data.targetModule.load(std::memory_order_relaxed), 0, kModuleCount - 1));
    const int band = std::clamp(data.targetBand.load(std::memory_order_relaxed), 0, kBandCount - 1);
    const bool all = data.targetAllBands.load(std::memory_order_relaxed);

    if (module != lastModule_ || band != lastBand_ || all != lastAll_) {
        for (float* a : {data.beforeMin, data.beforeMax, data.afterMin, data.afterMax, data.sideMin,
                         data.sideMax})
            std::fill_n(a, kScopeColumns, 0.0f);
        std::fill_n(data.trace, kScopeColumns, -1.0f);
        data.playhead = -1.0f;
        column_ = -1;
        lastModule_ = module;
        lastBand_ = band;
        lastAll_ = all;
    }
    params_ = &p;
    clocks_ = &clocks;
    sampleRate_ = sampleRate;
    module_ = module;
    band_ = band;
    all_ = all;
    const ModuleSettings& m = p.modules[module];
    triggered_ = m.trigger != kTrigSync;
    songBeats_ = songBeats;
    tempo_ = tempo;
    startPhase_ = clocks.syncPhase(m, 0, songBeats, tempo);
    increment_ = clocks.beatsPerSample(tempo) / beatsForRate(m.rate);
}

// Forced inline into the sample loop; a new column takes the out-of-line path.
__attribute__((always_inline)) inline void
ScopeCapture::sample(uint32_t index, float beforeL, float beforeR, float afterL, float afterR,
                     float sideL, float sideR, float level, float value) {
    double x;
    if (triggered_) {
        bool held = false;
        x = clocks_->phase(module_, params_->modules[module_], index, songBeats_, tempo_, &held);
        if (held) {
            data.playhead = static_cast<float>(x);
            return;
        }
    } else {
        x = startPhase_ + index * increment_;
    }
    double f = x - std::floor(x);
    if (!(f >= 0.0)) f = 0.0;
    const int c = std::min(static_cast<int>(f * kScopeColumns), kScopeColumns - 1);

    const Column s = {std::min(beforeL, beforeR),
                      std::max(beforeL, beforeR),
                      std::min(afterL, afterR),
                      std::max(afterL, afterR),
                      std::min(sideL, sideR),
                      std::max(sideL, sideR),
                      level,
                      value,
                      -1.0f,
                      true};
    if (c != column_) {
        newColumn(c, f, s);
        return;
    }
    Column& a = acc_;
    a.beforeMin = std::min(a.beforeMin, s.beforeMin);
    a.beforeMax = std::max(a.beforeMax, s.beforeMax);
    a.afterMin = std::min(a.afterMin, s.afterMin);
    a.afterMax = std::max(a.afterMax, s.afterMax);
    a.sideMin = std::min(a.sideMin, s.sideMin);
    a.sideMax = std::max(a.sideMax, s.sideMax);
    a.level = level;
    a.value = value;
    a.traceStale = true;
}

// A run that stays in the current column, as a clock that is not triggered
// tells from its ends (the phase only grows between them), is only folded in.
NORVALE_HOT_PATH
void ScopeCapture::samples(uint32_t start, uint32_t n, const Run& run) {
    auto columnOf = [](double x) __attribute__((always_inline)) {
        double f = x - std::floor(x);
        if (!(f >= 0.0)) f = 0.0;
        return std::min(static_cast<int>(f * kScopeColumns), kScopeColumns - 1);
    };
    const uint32_t end = start + n - 1;
    const double first = startPhase_ + start * increment_;
    const double last = startPhase_ + end * increment_;
    if (n == 0 || triggered_ || column_ < 0 || !(std::floor(first) == std::floor(last)) ||
        columnOf(first) != column_ || columnOf(last) != column_) {
        for (uint32_t i = 0; i < n; ++i)
            sample(start + i, run.beforeL[i], run.beforeR[i], run.afterL[i], run.afterR[i],
                   run.sideL[i], run.sideR[i], run.level[i], run.value[i]);
        return;
    }
    Column& a = acc_;
    for (uint32_t i = 0; i < n; ++i) {
        a.beforeMin = std::min(a.beforeMin, std::min(run.beforeL[i], run.beforeR[i]));
        a.beforeMax = std::max(a.beforeMax, std::max(run.beforeL[i], run.beforeR[i]));
        a.afterMin = std::min(a.afterMin, std::min(run.afterL[i], run.afterR[i]));
        a.afterMax = std::max(a.afterMax, std::max(run.afterL[i], run.afterR[i]));
        a.sideMin = std::min(a.sideMin, std::min(run.sideL[i], run.sideR[i]));
        a.sideMax = std::max(a.sideMax, std::max(run.sideL[i], run.sideR[i]));
    }
    a.level = run.level[n - 1];
    a.value = run.value[n - 1];
    a.traceStale = true;
}

void ScopeCapture::newColumn(int c, double f, const Column& sample) {
    const int previous = column_;
    if (previous >= 0) {
        commitColumn();
        const int gap = (c - previous + kScopeColumns) % kScopeColumns;
        // A triggered module that moved backwards was restarted: nothing to fill.
        if (gap >= 2 && gap <= kLongestFill && (!triggered_ || previous <= c)) {
            for (int k = (previous + 1) % kScopeColumns; k != c; k = (k + 1) % kScopeColumns) {
                column_ = k;
                acc_ = sample;
                writeColumn();
            }
        }
    }
    column_ = c;
    acc_ = sample;
    data.playhead = static_cast<float>(f);
}

void ScopeCapture::endBlock() {
    if (active_ && column_ >= 0) commitColumn();
}

void ScopeCapture::writeColumn() {
    const int c = column_;
    // Worked out within the block of the column's last sample, so with that
    // block's parameters; endBlock commits every block.
    if (acc_.traceStale) {
        acc_.trace = tracing_ ? traceFromLevel(acc_.level, acc_.value) : -1.0f;
        acc_.traceStale = false;
    }
    data.beforeMin[c] = acc_.beforeMin;
    data.beforeMax[c] = acc_.beforeMax;
    data.afterMin[c] = acc_.afterMin;
    data.afterMax[c] = acc_.afterMax;
    data.sideMin[c] = acc_.sideMin;
    data.sideMax[c] = acc_.sideMax;
    data.trace[c] = acc_.trace;
}

void ScopeCapture::commitColumn() {
    writeColumn();
    data.updates.fetch_add(1, std::memory_order_release);
}

float ScopeCapture::traceFromLevel(float level, float value) const {
    const EngineParams& p = *params_;
    switch (module_) {
    case kVol: return level > 0.0f ? std::sqrt(level) : 0.0f;
    case kFlt: return level < 0.0f ? value : level;
    case kDrv:
        if (p.drvDrive <= 0.0f || level < 0.0f) return value;
        return std::clamp(level / p.drvDrive, 0.0f, 1.0f);
    case kTim: {
        const double range = sampleRate_ * p.timRange;
        return static_cast<float>(std::clamp(1.0 - level / range, 0.0, 1.0));
    }
    case kCrs:
        if (p.crsAmount <= 0.0f) return value;
        return std::clamp(level / p.crsAmount, 0.0f, 1.0f);
    case kPan: return level;
    case kWid: return std::clamp(0.5f * level, 0.0f, 1.0f);
    }
    return -1.0f;
}

// ---- engine: life cycle ----

Engine::Engine() {
    findLevelCurves();
    drive_.prepare(sampleRate_);
    reset();
}

void Engine::prepare(double sampleRate, uint32_t /*maxFrames*/) {
    sampleRate_ = sampleRate > 0.0 ? sampleRate : 48000.0;
    drive_.prepare(sampleRate_);
    time_.prepare(sampleRate_);
    clocks_.prepare(sampleRate_);
    detector_.prepare(sampleRate_);
    for (LinearRamp* ramp : {&inputRamp_, &outputRamp_, &mixRamp_})
        ramp->prepare(sampleRate_, kGainRampSeconds);
    bypassRamp_.prepare(sampleRate_, kBypassFadeSeconds);
    crossover_.invalidate();
    std::fill_n(smoothFor_, kModuleCount + 1, -1.0f); // the coefficients depend on the rate
    reset();
}

// An exp per coefficient is worth keeping between blocks.
float Engine::cachedSmoother(int slot, float smooth) {
    if (!(smooth == smoothFor_[slot])) {
        smoothFor_[slot] = smooth;
        smoothCached_[slot] = smootherCoef(smooth, sampleRate_);
    }
    return smoothCached_[slot];
}

void Engine::reset() {
    crossover_.reset();
    volume_.reset();
    filter_.reset();
    drive_.reset();
    crush_.reset();
    time_.reset();
    pan_.reset();
    width_.reset();
    clocks_.reset();
    detector_.reset();
    rampsSettled_ = false;
}

void Engine::setParams(const EngineParams& p) {
    assert(inRange(p));
    params_ = p;
    const float bypassed = p.bypass ? 0.0f : 1.0f;
    if (!rampsSettled_) {
        inputRamp_.jumpTo(p.inputGain);
        outputRamp_.jumpTo(p.outputGain);
        mixRamp_.jumpTo(p.mix);
        bypassRamp_.jumpTo(bypassed);
        rampsSettled_ = true;
        return;
    }
    inputRamp_.setTarget(p.inputGain);
    outputRamp_.setTarget(p.outputGain);
    mixRamp_.setTarget(p.mix);
    bypassRamp_.setTarget(bypassed);
}

void Engine::nextGains(Gains& g, uint32_t n) {
    outputRamp_.fill(g.output, n);
    mixRamp_.fill(g.wet, n);
    bypassRamp_.fill(g.rack, n);
    for (uint32_t i = 0; i < n; ++i)
        g.wet[i] *= g.rack[i];
}

// ---- engine: curve hand-over ----

namespace {

// The shared copy may be read while it is written; the sequence counter tells
// afterwards. Word by word through relaxed atomics, so that overlap is well
// defined (and visible as such to the thread sanitizer) rather than a race.
static_assert(std::is_trivially_copyable_v<CurveSet> && sizeof(CurveSet) % 4 == 0 &&
              alignof(CurveSet) >= 4);
void copyRacing(CurveSet* to, const CurveSet* from) {
    auto* dst = reinterpret_cast<uint32_t*>(to);
    auto* src = reinterpret_cast<uint32_t*>(const_cast<CurveSet*>(from));
    for (size_t i = 0; i < sizeof(CurveSet) / 4; ++i)
        std::atomic_ref<uint32_t>(dst[i]).store(
            std::atomic_ref<uint32_t>(src[i]).load(std::memory_order_relaxed),
            std::memory_order_relaxed);
}

} // namespace

void Engine::publishCurves(const CurveSet& set) {
    publishSeq_.fetch_add(1, std::memory_order_relaxed); // odd: a copy is under way
    std::atomic_thread_fence(std::memory_order_release);
    copyRacing(&published_, &set);
    publishSeq_.fetch_add(1, std::memory_order_release);
}

bool Engine::copyPublished(CurveSet& out, uint32_t& seq) {
    for (int attempt = 0; attempt < kPublishAttempts; ++attempt) {
        const uint32_t before = publishSeq_.load(std::memory_order_acquire);
        if (before & 1u) continue;
        copyRacing(&out, &published_);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (publishSeq_.load(std::memory_order_relaxed) == before) {
            seq = before;
            return true;
        }
    }
    return false;
}

// A copy that overlapped a publish in every try is torn, so `out` keeps what
// it held rather than receive it.
void Engine::readCurves(CurveSet& out) {
    uint32_t seq = 0;
    if (copyPublished(incoming_, seq)) out = incoming_;
}

// The block's curves are kept between blocks and copied again only when the
// editing thread published since. A block whose tries all overlap a publish
// goes on with its last copy and tries again next block.
void Engine::refreshCurves() {
    if (publishSeq_.load(std::memory_order_acquire) == curvesSeq_) return;
    uint32_t seq = 0;
    if (!copyPublished(incoming_, seq)) return;
    curves_ = incoming_;
    curvesSeq_ = seq;
    findLevelCurves();
}

// A curve with one level, straight segments and no -0 gives that level at
// every phase: valueAt adds u * 0 to it.
void Engine::findLevelCurves() {
    for (int m = 0; m < kModuleCount; ++m) {
        for (int b = 0; b < kBandCount; ++b) {
            const Curve& c = curves_.curves[m][b];
            const int n = std::clamp(c.count, 2, kMaxCurvePoints);
            const float y = c.points[0].y;
            bool level = std::bit_cast<uint32_t>(y) != 0x80000000u && y == y;
            for (int i = 0; i < n && level; ++i)
                level = std::bit_cast<uint32_t>(c.points[i].y) == std::bit_cast<uint32_t>(y) &&
                        (i == n - 1 || c.points[i].bend == 0.0f);
            curveLevel_[m][b] = level ? y : -1.0f;
        }
    }
}

// ---- engine: process ----

void Engine::process(float* left, float* right, uint32_t frames, double songBeats, double tempo,
                     const float* sideLeft, const float* sideRight, const uint32_t* midiOffsets,
                     uint32_t midiCount) {
    if (!left || !right || frames == 0) return;
    if (sideLeft && !sideRight) sideRight = sideLeft;

    // 1. Triggers: notes from the plug-in, hits from the detector.
    clocks_.setTempo(tempo);
    int triggers = clocks_.takeMidi(midiOffsets, midiCount, frames);
    if (params_.trigFromInput)
        triggers += detector_.detect(left, right, frames, params_, clocks_.audioHits());
    else
        triggers += detector_.detect(sideLeft, sideRight, frames, params_, clocks_.audioHits());
    scope_.data.triggerCount.fetch_add(static_cast<uint32_t>(triggers), std::memory_order_relaxed);

    // 2. Curves, band split and the chain of this block.
    refreshCurves();
    crossover_.update(params_.splitLow, params_.splitHigh, sampleRate_);
    bool on[kModuleCount];
    bool anyOn = false;
    for (int m = 0; m < kModuleCount; ++m)
        anyOn |= on[m] = params_.modules[m].on;
    chainLength_ = effectiveChain(curves_, on, chain_);

    // 3. Audio, recorded for the scope.
    scope_.beginBlock(params_, clocks_, sampleRate_, songBeats, tempo);
    if (anyOn)
        processSubBlocks(left, right, frames, songBeats, tempo, sideLeft, sideRight);
    else
        processGainOnly(left, right, frames);
    scope_.endBlock();

    // 4. The clocks move on.
    clocks_.endBlock(params_.modules, frames, songBeats, tempo);
}

namespace {

// processGainOnly's sum for gains that hold, four samples at a time.
void heldGains(float* io, uint32_t n, float input, float output, float rack) {
    const Lanes in = splat(input), out = splat(output), wet = splat(rack);
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Lanes dry;
        std::memcpy(&dry, io + i, sizeof dry);
        const Lanes y = dry + (dry * in * out - dry) * wet;
        std::memcpy(io + i, &y, sizeof y);
    }
    for (; i < n; ++i)
        io[i] = io[i] + (io[i] * input * output - io[i]) * rack;
}

} // namespace

void Engine::processGainOnly(float* left, float* right, uint32_t frames) {
    const bool scoping = scope_.active();
    if (!scoping && !inputRamp_.moving() && !outputRamp_.moving() && !mixRamp_.moving() &&
        !bypassRamp_.moving()) {
        for (float* channel : {left, right})
            heldGains(channel, frames, inputRamp_.value(), outputRamp_.value(),
                      bypassRamp_.value());
        return;
    }
    Gains g;
    float input[kSubBlock];
    for (uint32_t o = 0; o < frames; o += kSubBlock) {
        const uint32_t n = std::min(kSubBlock, frames - o);
        inputRamp_.fill(input, n);
        nextGains(g, n);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t at = o + i;
            const float dryL = left[at], dryR = right[at];
            const float beforeL = dryL * input[i], beforeR = dryR * input[i];
            // Mix has nothing to mix here: the gains alone are the sound.
            left[at] = dryL + (beforeL * g.output[i] - dryL) * g.rack[i];
            right[at] = dryR + (beforeR * g.output[i] - dryR) * g.rack[i];
            if (scoping)
                scope_.sample(at, beforeL, beforeR, left[at], right[at], 0.0f, 0.0f, 0.0f, 0.0f);
        }
    }
}

Lanes Engine::curveLanes(Module module, uint32_t offset, double songBeats, double tempo) const {
    const float(&level)[kBandCount] = curveLevel_[module];
    Lanes v = {level[0], level[1], level[2], 0.0f};
    if (level[0] >= 0.0f && level[1] >= 0.0f && level[2] >= 0.0f) return v;
    const float phase = modulePhase(module, offset, songBeats, tempo);
    for (int b = 0; b < kBandCount; ++b)
        if (level[b] < 0.0f) v[b] = curves_.curves[module][b].valueAt(phase);
    return v;
}

void Engine::runStages(Lanes* left, Lanes* right, uint32_t n, const Lanes (*values)[kSubBlock],
                       int traced, Lanes* levels, double songSample) {
    const EngineParams& p = params_;
    const LaneMask bandOn = {p.bandOn[0] ? -1 : 0, p.bandOn[1] ? -1 : 0, p.bandOn[2] ? -1 : 0, 0};
    for (int i = 0; i < chainLength_; ++i) {
        const auto m = static_cast<Module>(chain_[i]);
        if (!p.modules[m].on) continue;
        const StageBlock b = {
            left, right, n, values[m], smoothCoef_[m], bandOn, m == traced ? levels : nullptr};
        switch (m) {
        case kVol: volume_.run(b, p.volTrim); break;
        case kFlt: filter_.run(b, p.fltType, p.fltDrive); break;
        case kDrv:
            drive_.run(b, p.drvStyle, p.drvDrive, p.drvInput, p.drvOutput, p.drvTone, p.drvMix);
            break;
        case kTim: time_.run(b, static_cast<float>(sampleRate_ * p.timRange), stepCoef_); break;
        case kCrs: crush_.run(b, p.crsAmount, p.crsBits, p.crsDown, p.crsMix, songSample); break;
        case kPan: pan_.run(b); break;
        case kWid: width_.run(b); break;
        }
    }
}

namespace {

// out = dry + (sum of the bands * gain - dry) * mix, four samples at a time:
// the bands of four samples turned into one vector per band, added in the
// same order as one sample's lanes would be.
__attribute__((always_inline)) inline void mixBands(float* io, const Lanes* bands, uint32_t n,
                                                    const float* gains, const float* mixes) {
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Lanes &a = bands[i], &b = bands[i + 1], &c = bands[i + 2], &d = bands[i + 3];
        const Lanes ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
        const Lanes cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
        const Lanes ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
        const Lanes cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
        const Lanes low = __builtin_shufflevector(ab01, cd01, 0, 1, 4, 5);
        const Lanes mid = __builtin_shufflevector(ab01, cd01, 2, 3, 6, 7);
        const Lanes high = __builtin_shufflevector(ab23, cd23, 0, 1, 4, 5);
        const Lanes sum = low + mid + high;
        Lanes dry, gain, mix;
        std::memcpy(&dry, io + i, sizeof dry);
        std::memcpy(&gain, gains + i, sizeof gain);
        std::memcpy(&mix, mixes + i, sizeof mix);
        const Lanes out = dry + (sum * gain - dry) * mix;
        std::memcpy(io + i, &out, sizeof out);
    }
    for (; i < n; ++i) {
        const float sum = bands[i][kBandLow] + bands[i][kBandMid] + bands[i][kBandHigh];
        io[i] = io[i] + (sum * gains[i] - io[i]) * mixes[i];
    }
}

__attribute__((always_inline)) inline void scaleInto(float* out, const float* in, uint32_t n,
                                                     const float* gains) {
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Lanes x, gain;
        std::memcpy(&x, in + i, sizeof x);
        std::memcpy(&gain, gains + i, sizeof gain);
        x *= gain;
        std::memcpy(out + i, &x, sizeof x);
    }
    for (; i < n; ++i)
        out[i] = in[i] * gains[i];
}

} // namespace

NORVALE_HOT_PATH
void Engine::processSubBlocks(float* left, float* right, uint32_t frames, double songBeats,
                              double tempo, const float* sideLeft, const float* sideRight) {
    const EngineParams& p = params_;
    bool on[kModuleCount];
    for (int m = 0; m < kModuleCount; ++m) {
        on[m] = p.modules[m].on;
        smoothCoef_[m] = cachedSmoother(m, p.modules[m].smooth);
    }
    // The time stage's read head slews at the Step rate; with its Smooth at 0
    // the curve goes to it unsmoothed.
    stepCoef_ = cachedSmoother(kModuleCount, p.timStep);
    if (p.modules[kTim].smooth <= 0.0f) smoothCoef_[kTim] = 1.0f;
    const LaneMask bandOn = {p.bandOn[0] ? -1 : 0, p.bandOn[1] ? -1 : 0, p.bandOn[2] ? -1 : 0, 0};

    // Whole samples of the song, for the crush stage's hold; negative: stopped.
    const double songSample =
        songBeats >= 0.0 ? std::round(songBeats / clocks_.beatsPerSample(tempo)) : -1.0;
    // Gains that hold through the block are filled in once.
    Gains g;
    const bool gainsHeld = !outputRamp_.moving() && !mixRamp_.moving() && !bypassRamp_.moving();
    if (gainsHeld) nextGains(g, kSubBlock);
    const bool scoping = scope_.active();
    const Module traced = scope_.module();
    const int tracedBand = scope_.band();
    const bool tracing = scoping && on[traced] && p.bandOn[tracedBand];
    scope_.setTracing(tracing);
    const bool keepSplit = !(p.bandOn[0] && p.bandOn[1] && p.bandOn[2]);

    // Only modules that are on are filled in; the scope reads the traced one
    // whatever its state.
    Lanes control[kModuleCount][kSubBlock];
    if (!on[traced]) std::fill_n(control[traced], kSubBlock, Lanes{});
    Lanes levels[kSubBlock] = {};

    // Curves are evaluated at the ends of each sub-block only, and one
    // sub-block's end is the next one's start.
    Lanes startValue[kModuleCount] = {};
    for (int m = 0; m < kModuleCount; ++m)
        if (on[m] && m != kFlt)
            startValue[m] = curveLanes(static_cast<Module>(m), 0, songBeats, tempo);

    // The band split runs ahead over a chunk of sub-blocks at a time.
    float inL[kSplitChunk], inR[kSplitChunk];
    Lanes bandL[kSplitChunk], bandR[kSplitChunk];
    float inputGain[kSplitChunk];
    for (uint32_t chunk = 0; chunk < frames; chunk += kSplitChunk) {
        const uint32_t length = std::min(kSplitChunk, frames - chunk);
        inputRamp_.fill(inputGain, length);
        scaleInto(inL, left + chunk, length, inputGain);
        scaleInto(inR, right + chunk, length, inputGain);
        crossover_.run(inL, inR, length, bandL, bandR);

        for (uint32_t o = 0; o < length;) {
            const uint32_t n = std::min(kSubBlock, length - o);
            const uint32_t offset = chunk + o; // in the block

            float t[kSubBlock];
            const float tStep = n > 1 ? 1.0f / static_cast<float>(n - 1) : 0.0f;
            for (uint32_t i = 0; i < n; ++i)
                t[i] = static_cast<float>(i) * tStep;
            for (int m = 0; m < kModuleCount; ++m) {
                if (!on[m]) continue;
                if (m == kFlt) {
                    // The filter follows its start value alone.
                    const Lanes v = curveLanes(kFlt, offset, songBeats, tempo);
                    std::fill_n(control[m], n, v);
                    filter_.update(v, n, smoothCoef_[kFlt], p.fltCutoff, p.fltDepth, p.fltRes,
                                   sampleRate_);
                    continue;
                }
                const Lanes start = startValue[m];
                const Lanes end = curveLanes(static_cast<Module>(m), offset + n, songBeats, tempo);
                const Lanes delta = end - start;
                for (uint32_t i = 0; i < n; ++i)
                    control[m][i] = start + delta * t[i];
                startValue[m] = end;
            }

            // The split itself is kept only for a band that is off (it passes
            // unchanged), and the scope's band for the scope.
            Lanes* const subL = bandL + o;
            Lanes* const subR = bandR + o;
            Lanes splitL[kSubBlock], splitR[kSubBlock];
            ScopeCapture::Run run;
            if (keepSplit) {
                for (uint32_t i = 0; i < n; ++i) {
                    splitL[i] = subL[i];
                    splitR[i] = subR[i];
                }
            } else if (scoping && !scope_.allBands()) {
                for (uint32_t i = 0; i < n; ++i) {
                    run.beforeL[i] = subL[i][tracedBand];
                    run.beforeR[i] = subR[i][tracedBand];
                }
            }
            runStages(subL, subR, n, control, tracing ? traced : -1, levels,
                      songSample < 0.0 ? -1.0 : songSample + offset);

            if (!gainsHeld) nextGains(g, n);
            if (!keepSplit) {
                mixBands(left + offset, subL, n, g.output, g.wet);
                mixBands(right + offset, subR, n, g.output, g.wet);
                if (scoping) {
                    const bool all = scope_.allBands();
                    for (uint32_t i = 0; i < n; ++i) {
                        const uint32_t at = offset + i;
                        if (all) {
                            run.beforeL[i] = inL[o + i];
                            run.beforeR[i] = inR[o + i];
                        }
                        run.afterL[i] = all ? left[at] : subL[i][tracedBand];
                        run.afterR[i] = all ? right[at] : subR[i][tracedBand];
                        run.sideL[i] = sideLeft ? sideLeft[at] : 0.0f;
                        run.sideR[i] = sideRight ? sideRight[at] : 0.0f;
                        // The filter's level moves once per sub-block, not per sample.
                        run.level[i] =
                            traced == kFlt ? filter_.level[tracedBand] : levels[i][tracedBand];
                        run.value[i] = control[traced][i][tracedBand];
                    }
                    scope_.samples(offset, n, run);
                }
                o += n;
                continue;
            }
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t at = offset + i;
                const Lanes outL = select(bandOn, subL[i], splitL[i]);
                const Lanes outR = select(bandOn, subR[i], splitR[i]);
                const float dryL = left[at];
                const float dryR = right[at];
                const float sumL = outL[kBandLow] + outL[kBandMid] + outL[kBandHigh];
                const float sumR = outR[kBandLow] + outR[kBandMid] + outR[kBandHigh];
                const float sideL = sideLeft ? sideLeft[at] : 0.0f;
                const float sideR = sideRight ? sideRight[at] : 0.0f;
                left[at] = dryL + (sumL * g.output[i] - dryL) * g.wet[i];
                right[at] = dryR + (sumR * g.output[i] - dryR) * g.wet[i];
                if (!scoping) continue;

                // The filter's level moves once per sub-block, not per sample.
                const float level =
                    traced == kFlt ? filter_.level[tracedBand] : levels[i][tracedBand];
                const float value = control[traced][i][tracedBand];
                if (scope_.allBands())
                    scope_.sample(at, inL[o + i], inR[o + i], left[at], right[at], sideL, sideR,
                                  level, value);
                else
                    scope_.sample(at, splitL[i][tracedBand], splitR[i][tracedBand],
                                  outL[tracedBand], outR[tracedBand], sideL, sideR, level, value);
            }
            o += n;
        }
    }
}

} // namespace norvale
