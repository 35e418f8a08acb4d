// The whole signal path of one plug-in instance: band split, module clocks and
// triggers, the seven stages per band, mix, and scope capture for the editor.
//
// Threads: prepare/reset on the main thread while not processing; publishCurves
// on the curve-editing thread (one writer at a time); everything else on the
// audio thread. Nothing process() reaches allocates, locks or waits.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/band_state.h"
#include "dsp/curve_set.h"
#include "dsp/engine_params.h"
#include "dsp/lanes.h"
#include "dsp/modules.h"
#include "dsp/scope_data.h"
#include "dsp/svf.h"

namespace norvale {

class Engine {
public:
    static constexpr int kMaxTriggers = 64;
    static constexpr uint32_t kSubBlock = 16;
    // Look-back ring length; prepare() grows it for rates above 192 kHz so
    // the full 2-second range always fits.
    static constexpr int32_t kMinLookLength = 384064;

    // Sample rate 48000, default curves and an empty chain. The look-back
    // rings are allocated by prepare(); until then the time stage passes.
    Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // sampleRate <= 0 counts as 48000. maxFrames is not needed.
    void prepare(double sampleRate, uint32_t maxFrames);
    // Clears every running state (stages, rings, crossover, clocks, detector).
    void reset();
    void setParams(const EngineParams& p) { params_ = p; }

    // Lock-free hand-over of the curves from the editing thread.
    void publishCurves(const CurveSet& set);
    // Reading side, never waits: up to 64 tries for a copy no publish
    // overlapped; after that `out` keeps the last copy made.
    void readCurves(CurveSet& out);

    // One-pole coefficient for a stage smoothing control (0..1).
    static float smootherCoef(float smooth, double sampleRate);
    // Recomputes the crossover when a split frequency changed.
    void updateSplit();

    // Clocks. songBeats < 0: no song position (the engine's own beat position
    // is used); tempo <= 0: 120 BPM.
    float phaseAt(int rate, float phaseOffset, uint32_t offset, double songBeats,
                  double tempo) const;
    void cycleOf(int module, int& rate, float& phaseOffset) const;
    float modulePhase(int module, uint32_t offset, double songBeats, double tempo,
                      bool* held = nullptr) const;
    // Beats since the module's latest trigger at `offset` in this block, or -1.
    double triggerElapsed(int module, uint32_t offset, double tempo) const;
    // Fills this block's audio trigger list; either buffer may be null.
    void detectTriggers(const float* left, const float* right, uint32_t frames);
    // Carries trigger times into the next block and empties the lists.
    void endTriggerBlock(uint32_t frames, double tempo);

    double tailSeconds() const;
    bool moduleOn(int module) const;

    // One block, in place. sideRight may be null for a mono sidechain.
    void process(float* left, float* right, uint32_t frames, double songBeats, double tempo,
                 const float* sideLeft, const float* sideRight, const uint32_t* midiOffsets,
                 uint32_t midiCount);

    // Transfer curve of a drive style for an input sample and drive amount.
    static float driveShape(int style, float x, float amount);
    // The control value a stage applies, worked back from its smoothed state;
    // -1 when the module is off or unknown.
    float traceOf(int module, int bandIndex, float value) const;

    ScopeData& scope() { return scope_; }
    const ScopeData& scope() const { return scope_; }
    uint32_t triggerCount() const { return scope_.triggerCount.load(std::memory_order_relaxed); }
    const EngineParams& params() const { return params_; }
    double sampleRate() const { return sampleRate_; }
    double beatPosition() const { return beatPos_; }
    const BandState& band(int index) const;

private:
    struct TriggerList {
        uint32_t offsets[kMaxTriggers];
        int count = 0;
    };

    void takeMidi(const uint32_t* offsets, uint32_t count, uint32_t frames);
    void refreshCurves();
    bool copyPublished(CurveSet& out, uint32_t& seq);
    bool anyModuleOn() const;
    void computeSmoothing();
    void processGainOnly(float* left, float* right, uint32_t frames);
    void processSubBlocks(float* left, float* right, uint32_t frames, double songBeats,
                          double tempo, const float* sideLeft, const float* sideRight);
    // The module's curve in each band at a sample offset of the block.
    Lanes curveLanes(int module, uint32_t offset, double songBeats, double tempo) const;
    double beatsPerSample(double tempo) const;
    int modeOf(int module) const;  // trigger mode, Sync for unknown modules

    // Crossover: one sub-block of both channels into the three bands, side by
    // side: lane b of bandL[i] is band b's left sample i.
    void splitBlock(const float* left, const float* right, uint32_t n, Lanes* bandL, Lanes* bandR);

    // The stages run all three bands at once, each over the whole sub-block
    // before the next one starts (the same result as sample by sample, since no
    // stage reads another's state). values[m] holds module m's control value
    // per sample and band. A band that is off is computed but neither its
    // output nor its state is kept. The stage of tracedModule writes its
    // smoothed value after each sample to tracedLevels (may be null).
    void processBands(Lanes* left, Lanes* right, uint32_t n,
                      const Lanes* const values[kModuleCount], int tracedModule,
                      Lanes* tracedLevels);
    void updateFilter(BandState& s, float value, uint32_t length);
    void stageVolume(Lanes* left, Lanes* right, const Lanes* values, uint32_t n, Lanes* levels);
    void stageFilter(Lanes* left, Lanes* right, uint32_t n);
    void stageDrive(Lanes* left, Lanes* right, const Lanes* values, uint32_t n, Lanes* levels);
    void stageCrush(Lanes* left, Lanes* right, const Lanes* values, uint32_t n, Lanes* levels);
    void stageTime(Lanes* left, Lanes* right, const Lanes* values, uint32_t n, Lanes* levels);
    void stageWidth(Lanes* left, Lanes* right, const Lanes* values, uint32_t n, Lanes* levels);
    void stagePan(Lanes* left, Lanes* right, const Lanes* values, uint32_t n, Lanes* levels);
    // One float field of the three band states as lanes, and back (bands that
    // are on only: the others stay frozen).
    Lanes gather(float BandState::*field) const;
    void scatter(float BandState::*field, Lanes value);

    // Scope capture.
    void scopeBlock(uint32_t frames, double songBeats, double tempo);
    // traceLevel and traceValue are traceFromLevel's inputs; the trace itself
    // is worked out only for a column's last sample.
    void scopeSample(uint32_t index, float beforeL, float beforeR, float afterL, float afterR,
                     float sideL, float sideR, float traceLevel, float traceValue);
    void scopeEnd();
    // The control value a stage applies, from its smoothed state.
    float traceFromLevel(int module, float level, float value) const;
    void writeColumn();
    void commitColumn();

    double sampleRate_ = 48000.0;
    EngineParams params_;
    BandState bands_[kBandCount];

    // The 16 crossover sections, four at a time, one group per cascade step:
    // x -> low A / above A, -> low / above, above -> mid A / high A, -> mid /
    // high. Lanes: left lowpass, left highpass, right lowpass, right highpass.
    SvfLanes split_[4];
    // The low band's turn through the high split's phase (lanes 0 and 2 used),
    // without which the bands would not sum back flat near the splits.
    SvfLanes lowPhase_;
    float splitLowApplied_ = -1.0f;
    float splitHighApplied_ = -1.0f;

    float smoothCoef_[kModuleCount] = {};
    double beatPos_ = 0.0;

    TriggerList midi_;
    TriggerList audio_;
    double elapsed_[kModuleCount];

    // Trigger detector.
    float focusState_[2][2] = {};  // [channel][stage]
    float focusCoef_ = 1.0f;
    float focusApplied_ = -1.0f;
    float envelope_ = 0.0f;
    bool armed_ = true;
    uint32_t sinceHit_ = kNoHit;
    static constexpr uint32_t kNoHit = UINT32_MAX;

    // Curve hand-over: published_ is written only between the two increments
    // of publishSeq_ (odd while writing).
    std::atomic<uint32_t> publishSeq_{0};
    CurveSet published_;
    CurveSet curves_;          // this block's curves
    CurveSet incoming_;        // a copy being taken; becomes curves_ only when whole
    uint32_t curvesSeq_ = 0;   // publishSeq_ value curves_ was copied at

    int chain_[kModuleCount] = {};
    int chainLength_ = 0;

    // Scope capture state.
    struct Column {
        float beforeMin, beforeMax, afterMin, afterMax, sideMin, sideMax;
        float traceLevel, traceValue;
        float trace;
        bool traceStale;  // trace not yet worked out from traceLevel and traceValue
    };
    void scopeNewColumn(int c, double f, const Column& sample);
    ScopeData scope_;
    bool scopeActive_ = false;
    int scopeModule_ = 0;
    int scopeBand_ = 0;
    bool scopeAll_ = false;
    int lastTargetModule_ = -1;
    int lastTargetBand_ = -1;
    bool lastTargetAll_ = false;
    float scopeStartPhase_ = 0.0f;
    double scopeIncrement_ = 0.0;
    bool scopeTriggered_ = false;
    bool scopeTracing_ = false;  // this block's samples carry a trace
    double scopeSongBeats_ = -1.0;
    double scopeTempo_ = 0.0;
    int column_ = -1;
    Column columnAcc_ = {};
};

}  // namespace norvale
