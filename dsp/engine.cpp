#include "dsp/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace norvale {

static_assert(std::is_trivially_copyable_v<CurveSet>, "curves cross threads by memcpy");

namespace {

constexpr int kPublishAttempts = 64;

void setRateCoefficients(BandState& s, double sampleRate) {
    const float tone = onePoleCoef(800.0, sampleRate);
    const float dc = onePoleCoef(12.0, sampleRate);
    for (int c = 0; c < 2; ++c) {
        s.tone[c].a = tone;
        s.dcBlock[c].a = dc;
    }
}

void clearBand(BandState& s) {
    for (Svf& f : s.svf) f.ic1 = f.ic2 = 0.0f;
    for (OnePole& p : s.tone) p.z = 0.0f;
    for (OnePole& p : s.dcBlock) p.z = 0.0f;
    s.volLevel = 1.0f;
    s.timeDelay = 0.0f;
    s.crushLevel = 0.0f;
    s.driveLevel = -1.0f;
    s.filterLevel = -1.0f;
    s.crushPhase = 1.0f;
    s.crushHold[0] = s.crushHold[1] = 0.0f;
    s.panPos = 0.5f;
    s.widthLevel = 1.0f;
    for (auto& ring : s.lookBack)
        if (ring) std::fill_n(ring.get(), s.lookLength, 0.0f);
    s.writePos = 0;
}

// Two seconds of look-back at this rate, plus room for the interpolation.
int32_t lookLengthFor(double sampleRate) {
    const double needed = std::ceil(2.0 * sampleRate) + 64.0;
    return std::max(Engine::kMinLookLength, static_cast<int32_t>(needed));
}

}  // namespace

Engine::Engine() {
    for (BandState& s : bands_) setRateCoefficients(s, sampleRate_);
    reset();
}

void Engine::prepare(double sampleRate, uint32_t /*maxFrames*/) {
    sampleRate_ = sampleRate > 0.0 ? sampleRate : 48000.0;
    const int32_t length = lookLengthFor(sampleRate_);
    for (BandState& s : bands_) {
        setRateCoefficients(s, sampleRate_);
        if (s.lookLength != length || !s.lookBack[0]) {
            for (auto& ring : s.lookBack) ring.reset(new float[static_cast<size_t>(length)]);
            s.lookLength = length;
        }
    }
    splitLowApplied_ = splitHighApplied_ = -1.0f;
    reset();
}

void Engine::reset() {
    for (BandState& s : bands_) clearBand(s);
    for (SvfLanes& f : split_) f.ic1 = f.ic2 = Lanes{};
    lowPhase_.ic1 = lowPhase_.ic2 = Lanes{};
    beatPos_ = 0.0;
    midi_.count = 0;
    audio_.count = 0;
    std::fill_n(elapsed_, kModuleCount, -1.0);
    for (auto& channel : focusState_) channel[0] = channel[1] = 0.0f;
    envelope_ = 0.0f;
    armed_ = true;
    sinceHit_ = kNoHit;
}

void Engine::publishCurves(const CurveSet& set) {
    publishSeq_.fetch_add(1, std::memory_order_relaxed);  // odd: a copy is under way
    std::atomic_thread_fence(std::memory_order_release);
    std::memcpy(static_cast<void*>(&published_), &set, sizeof(CurveSet));
    publishSeq_.fetch_add(1, std::memory_order_release);
}

bool Engine::copyPublished(CurveSet& out, uint32_t& seq) {
    for (int attempt = 0; attempt < kPublishAttempts; ++attempt) {
        const uint32_t before = publishSeq_.load(std::memory_order_acquire);
        if (before & 1u) continue;
        std::memcpy(static_cast<void*>(&out), &published_, sizeof(CurveSet));
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
}

float Engine::smootherCoef(float smooth, double sampleRate) {
    const double s = smooth > 0.0f ? std::min(smooth, 1.0f) : 0.0f;
    const double seconds = 0.0003 + 0.03 * s;
    return static_cast<float>(std::max(0.0, 1.0 - std::exp(-1.0 / (sampleRate * seconds))));
}

void Engine::computeSmoothing() {
    const EngineParams& p = params_;
    smoothCoef_[kVol] = smootherCoef(p.volSmooth, sampleRate_);
    smoothCoef_[kFlt] = smootherCoef(p.fltSmooth, sampleRate_);
    smoothCoef_[kDrv] = smootherCoef(p.drvSmooth, sampleRate_);
    smoothCoef_[kTim] = smootherCoef(p.timStep, sampleRate_);  // the read head's slew
    smoothCoef_[kCrs] = smootherCoef(p.crsSmooth, sampleRate_);
    smoothCoef_[kPan] = smootherCoef(p.panSmooth, sampleRate_);
    smoothCoef_[kWid] = smootherCoef(p.widSmooth, sampleRate_);
}

double Engine::tailSeconds() const {
    return params_.timOn ? static_cast<double>(params_.timRange) + 0.05 : 0.0;
}

bool Engine::moduleOn(int module) const {
    switch (module) {
        case kVol: return params_.volOn;
        case kFlt: return params_.fltOn;
        case kDrv: return params_.drvOn;
        case kTim: return params_.timOn;
        case kCrs: return params_.crsOn;
        case kPan: return params_.panOn;
        case kWid: return params_.widOn;
        default: return false;
    }
}

bool Engine::anyModuleOn() const {
    for (int m = 0; m < kModuleCount; ++m)
        if (moduleOn(m)) return true;
    return false;
}

const BandState& Engine::band(int index) const {
    return bands_[std::clamp(index, 0, kBandCount - 1)];
}

void Engine::takeMidi(const uint32_t* offsets, uint32_t count, uint32_t frames) {
    midi_.count = 0;
    if (!offsets) return;
    for (uint32_t i = 0; i < count && midi_.count < kMaxTriggers; ++i) {
        uint32_t offset = std::min(offsets[i], frames - 1);
        if (midi_.count > 0) offset = std::max(offset, midi_.offsets[midi_.count - 1]);
        midi_.offsets[midi_.count++] = offset;
    }
    scope_.triggerCount.fetch_add(static_cast<uint32_t>(midi_.count), std::memory_order_relaxed);
}

void Engine::process(float* left, float* right, uint32_t frames, double songBeats, double tempo,
                     const float* sideLeft, const float* sideRight, const uint32_t* midiOffsets,
                     uint32_t midiCount) {
    if (!left || !right || frames == 0) return;
    if (sideLeft && !sideRight) sideRight = sideLeft;

    takeMidi(midiOffsets, midiCount, frames);
    if (params_.trigFromInput)
        detectTriggers(left, right, frames);
    else
        detectTriggers(sideLeft, sideRight, frames);
    refreshCurves();
    updateSplit();

    bool on[kModuleCount];
    for (int m = 0; m < kModuleCount; ++m) on[m] = moduleOn(m);
    chainLength_ = effectiveChain(curves_, on, chain_);

    scopeBlock(frames, songBeats, tempo);
    if (anyModuleOn())
        processSubBlocks(left, right, frames, songBeats, tempo, sideLeft, sideRight);
    else
        processGainOnly(left, right, frames);
    scopeEnd();

    endTriggerBlock(frames, tempo);
    if (songBeats < 0.0) beatPos_ += frames * beatsPerSample(tempo);
}

}  // namespace norvale
