// The seven stages and the band split. Each stage holds the running state of
// all three bands side by side (lane b is band b, the fourth lane is spare)
// and runs them together over one sub-block; a band that is off is computed
// but keeps its state through the block's lane mask. Settings come in as
// values, already in range. After a reset every smoothed value starts at its
// curve's first value rather than at neutral, so a curve held at the bottom
// lets nothing through at the start (a negative value means "not yet").
//
// Threads: prepare/reset on the main thread while not processing; run and
// update on the audio thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "dsp/engine_params.h"
#include "dsp/lanes.h"

namespace norvale {

inline constexpr double kPi = 3.14159265358979323846;
// The stages run in sub-blocks of this many samples; the curves are read at
// their ends only.
inline constexpr uint32_t kSubBlock = 16;
// The band split runs over up to this many samples at once, a whole number
// of sub-blocks.
inline constexpr uint32_t kSplitChunk = 8 * kSubBlock;

// Coefficient of a one-pole lowpass (z += (x - z) * a) at hz; the normalised
// frequency is kept in 1e-5..0.49 so the result stays in (0, 1).
float onePoleCoef(double hz, double sampleRate);
// One-pole coefficient of a stage's Smooth control (0..1): 0.3 to 30.3 ms.
float smootherCoef(float smooth, double sampleRate);

// One sub-block of the three bands as a stage sees it.
struct StageBlock {
    Lanes* left;
    Lanes* right;
    uint32_t n;
    const Lanes* values; // the module's curve value per sample
    float coef;          // the module's smoothing coefficient
    LaneMask bandOn;     // bands whose state moves on; the others keep theirs
    Lanes* levels;       // the smoothed value after each sample (scope trace), or null
};

// ---- stages ----

// Gain: the square of the curve, so half way down is a quarter of the level.
struct VolumeStage {
    Lanes level;
    void reset() { level = splat(-1.0f); }
    void run(const StageBlock& b, float trim);
};

// Trapezoidal state-variable filter per channel; the cutoff follows the curve
// once per sub-block (update), not per sample.
struct FilterStage {
    StereoLanes ic1, ic2; // left channel in lanes 0-3, right in 4-7
    Lanes level;          // smoothed curve value; below 0: take the next at once
    Lanes k, a1, a2, a3;
    // What the coefficients were last worked out for (sampleRate 0: nothing).
    struct Settings {
        float cutoff, damping;
        int32_t depth;
        double sampleRate;
        bool operator==(const Settings&) const = default;
    } applied{};
    struct {
        float coef = -1.0f;
        uint32_t n = 0;
        float step = 0.0f;
    } stepFor;
    void reset();
    // Moves every band's level (also bands that are off, so switching one on
    // is seamless) by a sub-block of n samples, and sets the coefficients.
    void update(Lanes value, uint32_t n, float coef, float cutoff, int32_t depth, float res,
                double sampleRate);
    void run(const StageBlock& b, const FilterType types[kBandCount], float drive);
};

struct DriveStage {
    Lanes level; // smoothed drive amount; below 0: take the next target at once
    StereoLanes dc, tone;
    float dcCoef = 0.0f, toneCoef = 0.0f;
    void prepare(double sampleRate);
    void reset();
    void run(const StageBlock& b, DriveStyle style, float drive, float input, float output,
             float toneAmount, float mix);
};

// Bit reduction and a sample-and-hold whose length grows with the curve.
struct CrushStage {
    Lanes level, phase;
    StereoLanes hold;
    void reset();
    // songSample: the song position of the sub-block's first sample while the
    // host plays, negative when stopped. Playing, the hold restarts wherever
    // the position is a multiple of the hold length, so every bounce of a song
    // holds the same samples; stopped, the hold runs on from where it was.
    void run(const StageBlock& b, float amount, int32_t bits, int32_t down, float mix,
             double songSample);
};

// A look-back, not an echo: the read head sits `delay` samples behind the
// write head and glides there at the Step rate when the curve jumps. The
// module's Smooth smooths the curve itself before that (b.coef 1: not at all).
struct TimeStage {
    Lanes curve, delay;
    // Per band a ring of left/right pairs, a power of two of them, so that
    // positions wrap with a mask.
    std::unique_ptr<float[]> rings; // [band][position][channel]
    LaneMask write{};
    int32_t length = 0; // pairs per band; 0 until prepared: the stage then passes
    void prepare(double sampleRate);
    void reset();
    // range: the look-back at the curve's bottom, in samples.
    void run(const StageBlock& b, float range, float stepCoef);
};

struct PanStage {
    Lanes pos;
    void reset() { pos = splat(-1.0f); }
    void run(const StageBlock& b);
};

// Mid/side: curve 0 is mono, 0.5 the plain image, 1 double width.
struct WidthStage {
    Lanes level;
    void reset() { level = splat(-1.0f); }
    void run(const StageBlock& b);
};

// ---- band split ----

// Four state-variable sections ticked at once. Lowpass output lp, band output
// bp, highpass x - k*bp - lp.
struct SvfLanes {
    Lanes ic1{}, ic2{}, k{}, a1{}, a2{}, a3{};
    void setCoefficients(float g, float damping);
    Lanes bandpass(Lanes x); // one step, the band output
    Lanes tick(Lanes x);     // one step: lowpass in lanes 0 and 2, highpass in 1 and 3
};

// Fourth-order Linkwitz-Riley low/high at the low split, then the upper part
// split again at the high split.
class Crossover {
public:
    void reset();
    // Recomputes the sections when a split frequency changed.
    void update(float splitLow, float splitHigh, double sampleRate);
    void invalidate() { lowApplied_ = highApplied_ = -1.0f; }
    // Lane b of bandL[i] is band b's left sample i; n <= kSplitChunk.
    void run(const float* left, const float* right, uint32_t n, Lanes* bandL, Lanes* bandR);

private:
    // One group per cascade step: x -> low A / above A, -> low / above,
    // above -> mid A / high A, -> mid / high. Lanes: left lowpass, left
    // highpass, right lowpass, right highpass.
    SvfLanes split_[4];
    // The low band's turn through the high split's phase (lanes 0 and 2 used),
    // without which the bands would not sum back flat near the splits.
    SvfLanes lowPhase_;
    float lowApplied_ = -1.0f;
    float highApplied_ = -1.0f;
};

} // namespace norvale
