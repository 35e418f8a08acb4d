// The whole signal path of one plug-in instance: band split, module clocks
// and triggers, the seven stages per band, mix, and scope capture for the
// editor.
//
// Threads: prepare/reset on the main thread while not processing; publishCurves
// on the curve-editing thread (one writer at a time); the scope's request
// fields from the main thread; everything else on the audio thread. Nothing
// process() reaches allocates, locks or waits.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/curve_set.h"
#include "dsp/engine_params.h"
#include "dsp/linear_ramp.h"
#include "dsp/scope_data.h"
#include "dsp/stages.h"

namespace norvale {

inline constexpr int kMaxTriggers = 64;

// Sample offsets of one block's triggers, non-decreasing.
struct TriggerOffsets {
    uint32_t offsets[kMaxTriggers];
    int count = 0;
};

// Every module's phase: from the host's beat position (Sync) or from the time
// since the module's latest MIDI or audio trigger. songBeats < 0: no song
// position (the clocks' own beat position runs instead); tempo <= 0: 120 BPM.
class ModuleClocks {
public:
    void prepare(double sampleRate) {
        sampleRate_ = sampleRate;
        setTempo(tempo_);
    }
    // The block's tempo, whose beats per sample are then at hand.
    void setTempo(double tempo) {
        tempo_ = tempo;
        perSample_ = workOutBeatsPerSample(tempo);
    }
    void reset();
    // Keeps at most 64 offsets, inside the block and non-decreasing; returns how many.
    int takeMidi(const uint32_t* offsets, uint32_t count, uint32_t frames);
    TriggerOffsets& audioHits() { return audio_; }
    double beatsPerSample(double tempo) const {
        return tempo == tempo_ ? perSample_ : workOutBeatsPerSample(tempo);
    }
    float syncPhase(const ModuleSettings& m, uint32_t offset, double songBeats, double tempo) const;
    // `held`: a triggered module resting at its End (or before its first trigger).
    float phase(Module module, const ModuleSettings& m, uint32_t offset, double songBeats,
                double tempo, bool* held = nullptr) const;
    // Carries trigger times into the next block and advances the own beat position.
    void endBlock(const ModuleSettings (&modules)[kModuleCount], uint32_t frames, double songBeats,
                  double tempo);
    double beatPosition() const { return beatPos_; }

private:
    // Beats since the module's latest trigger at `offset`, or -1.
    double elapsed(Module module, TrigMode mode, uint32_t offset, double tempo) const;

    double workOutBeatsPerSample(double tempo) const;

    double sampleRate_ = 48000.0;
    double tempo_ = 120.0, perSample_ = 2.0 / 48000.0;
    double beatPos_ = 0.0;
    TriggerOffsets midi_, audio_;
    double elapsed_[kModuleCount]; // beats since the last trigger at the block start; -1 none
};

// Hits in the sidechain or input: a peak envelope against a threshold, with
// re-arm hysteresis and a minimum time between hits.
class TriggerDetector {
public:
    void prepare(double sampleRate);
    void reset();
    // Lists this block's hits (up to 64) and returns how many there were;
    // either buffer may be null.
    int detect(const float* left, const float* right, uint32_t frames, const EngineParams& p,
               TriggerOffsets& hits);

private:
    double sampleRate_ = 48000.0;
    float state_[2][2] = {}; // focus lowpasses [channel][stage]
    float focusCoef_ = 1.0f;
    float focusApplied_ = -1.0f;
    float envelope_ = 0.0f;
    bool armed_ = true;
    uint32_t sinceHit_ = kNoHit;
    static constexpr uint32_t kNoHit = UINT32_MAX;
};

// Records one cycle of the module the editor shows into `data`.
class ScopeCapture {
public:
    ScopeData data;

    // Decides whether this block records; clears the record on a new target.
    void beginBlock(const EngineParams& p, const ModuleClocks& clocks, double sampleRate,
                    double songBeats, double tempo);
    bool active() const { return active_; }
    Module module() const { return module_; }
    int band() const { return band_; }
    bool allBands() const { return all_; }
    // Whether this block's samples carry a trace (the traced stage runs).
    void setTracing(bool tracing) { tracing_ = tracing; }
    // level and value: the traced stage's smoothed state and curve value; the
    // trace is worked out from them only for a column's last sample.
    void sample(uint32_t index, float beforeL, float beforeR, float afterL, float afterR,
                float sideL, float sideR, float level, float value);
    // The same for up to a sub-block of samples from `start`.
    struct Run {
        float beforeL[kSubBlock], beforeR[kSubBlock], afterL[kSubBlock], afterR[kSubBlock];
        float sideL[kSubBlock], sideR[kSubBlock], level[kSubBlock], value[kSubBlock];
    };
    void samples(uint32_t start, uint32_t n, const Run& run);
    void endBlock();

private:
    struct Column {
        float beforeMin, beforeMax, afterMin, afterMax, sideMin, sideMax;
        float level, value;
        float trace;
        bool traceStale; // trace not yet worked out from level and value
    };
    void newColumn(int c, double f, const Column& sample);
    void writeColumn();
    void commitColumn();
    // The control value a stage applies, from its smoothed state.
    float traceFromLevel(float level, float value) const;

    const EngineParams* params_ = nullptr;
    const ModuleClocks* clocks_ = nullptr;
    double sampleRate_ = 48000.0;
    bool active_ = false;
    Module module_ = kVol;
    int band_ = 0;
    bool all_ = false;
    int lastModule_ = -1, lastBand_ = -1;
    bool lastAll_ = false;
    float startPhase_ = 0.0f;
    double increment_ = 0.0;
    bool triggered_ = false;
    bool tracing_ = false;
    double songBeats_ = -1.0;
    double tempo_ = 0.0;
    int column_ = -1;
    Column acc_ = {};
};

class Engine {
public:
    // Sample rate 48000, default curves and an empty chain. The look-back
    // rings are allocated by prepare(); until then the time stage passes.
    Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // sampleRate <= 0 counts as 48000. maxFrames is not needed.
    void prepare(double sampleRate, uint32_t maxFrames);
    // Clears every running state (stages, rings, crossover, clocks, detector).
    void reset();
    // Every value in its range (see EngineParams).
    void setParams(const EngineParams& p);

    // Lock-free hand-over of the curves from the editing thread.
    void publishCurves(const CurveSet& set);
    // Reading side, never waits: up to 64 tries for a copy no publish
    // overlapped; after that `out` keeps what it held.
    void readCurves(CurveSet& out);

    // One block, in place. sideRight may be null for a mono sidechain.
    void process(float* left, float* right, uint32_t frames, double songBeats, double tempo,
                 const float* sideLeft, const float* sideRight, const uint32_t* midiOffsets,
                 uint32_t midiCount);

    float modulePhase(Module module, uint32_t offset, double songBeats, double tempo,
                      bool* held = nullptr) const {
        return clocks_.phase(module, params_.modules[module], offset, songBeats, tempo, held);
    }
    double tailSeconds() const { return tailSeconds(params_.modules[kTim].on, params_.timRange); }
    // The time stage's look-back and a little more for the band filters to ring out.
    static double tailSeconds(bool timeOn, double range) { return timeOn ? range + 0.05 : 0.0; }
    ScopeData& scope() { return scope_.data; }
    const ScopeData& scope() const { return scope_.data; }
    uint32_t triggerCount() const {
        return scope_.data.triggerCount.load(std::memory_order_relaxed);
    }
    const EngineParams& params() const { return params_; }
    double sampleRate() const { return sampleRate_; }
    double beatPosition() const { return clocks_.beatPosition(); }
    // Song beats per sample at `tempo` (<= 0: 120 BPM).
    double beatsPerSample(double tempo) const { return clocks_.beatsPerSample(tempo); }

private:
    bool copyPublished(CurveSet& out, uint32_t& seq);
    void refreshCurves();
    void findLevelCurves();
    float cachedSmoother(int slot, float smooth);
    void processGainOnly(float* left, float* right, uint32_t frames);
    void processSubBlocks(float* left, float* right, uint32_t frames, double songBeats,
                          double tempo, const float* sideLeft, const float* sideRight);
    // The output gain of the next n samples, and the wet share: of the rack
    // (the bypass crossfade alone), and of the mix (Mix times that). The input
    // gain is taken a chunk ahead, with the band split.
    struct Gains {
        float output[kSubBlock], rack[kSubBlock], wet[kSubBlock];
    };
    void nextGains(Gains& g, uint32_t n);
    // The module's curve in each band at a sample offset of the block.
    Lanes curveLanes(Module module, uint32_t offset, double songBeats, double tempo) const;
    // The chain's stages over one sub-block of the three bands; the stage of
    // `traced` (may be none) writes its smoothed values to `levels`.
    void runStages(Lanes* left, Lanes* right, uint32_t n, const Lanes (*values)[kSubBlock],
                   int traced, Lanes* levels, double songSample);

    double sampleRate_ = 48000.0;
    EngineParams params_;

    // ---- audio-thread state ----
    Crossover crossover_;
    VolumeStage volume_;
    FilterStage filter_;
    DriveStage drive_;
    CrushStage crush_;
    TimeStage time_;
    PanStage pan_;
    WidthStage width_;
    float smoothCoef_[kModuleCount] = {};
    float stepCoef_ = 0.0f; // the time stage's read-head slew
    // Input, Output, and Mix times the bypass crossfade; the first
    // parameters after a reset are taken at once.
    LinearRamp inputRamp_, outputRamp_, mixRamp_, bypassRamp_;
    bool rampsSettled_ = false;
    // The last smooth setting of each module (and Step, last) and its
    // coefficient; -1: none yet.
    float smoothFor_[kModuleCount + 1] = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
    float smoothCached_[kModuleCount + 1] = {};
    ModuleClocks clocks_;
    TriggerDetector detector_;
    int chain_[kModuleCount] = {};
    int chainLength_ = 0;
    CurveSet curves_;        // this block's curves
    CurveSet incoming_;      // a copy being taken; becomes curves_ only when whole
    uint32_t curvesSeq_ = 0; // publishSeq_ value curves_ was copied at
    // The one level of each curve of curves_ that has one, else -1.
    float curveLevel_[kModuleCount][kBandCount];

    // ---- shared with the curve-editing thread ----
    // published_ is written only between the two increments of publishSeq_
    // (odd while writing).
    std::atomic<uint32_t> publishSeq_{0};
    CurveSet published_;

    // ---- shared with the editor ----
    ScopeCapture scope_;
};

} // namespace norvale
