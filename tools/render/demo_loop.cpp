#include "render/demo_loop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <sndfile.h>

namespace norvale::render {
namespace {

constexpr int kSampleRate = 48000;
constexpr int kBars = 4;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

class Noise {
public:
    float next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<float>(state_) / 2147483648.0f - 1.0f;
    }

private:
    uint32_t state_ = 0x9e3779b9u;
};

// Adds a mono voice into both channels with a gain per channel.
template <typename Voice>
void addVoice(StereoAudio& audio, std::size_t start, double seconds, float gainLeft, float gainRight,
              Voice voice) {
    const std::size_t length = static_cast<std::size_t>(seconds * kSampleRate);
    for (std::size_t i = 0; i < length && start + i < audio.frames(); ++i) {
        const float sample = voice(static_cast<double>(i) / kSampleRate);
        audio.left[start + i] += gainLeft * sample;
        audio.right[start + i] += gainRight * sample;
    }
}

void addKick(StereoAudio& audio, std::size_t start) {
    double phase = 0.0;
    addVoice(audio, start, 0.4, 1.0f, 1.0f, [&](double t) {
        phase += kTwoPi * (45.0 + 110.0 * std::exp(-t / 0.03)) / kSampleRate;
        return static_cast<float>(0.9 * std::sin(phase) * std::exp(-t / 0.12));
    });
}

void addSnare(StereoAudio& audio, std::size_t start, Noise& noise) {
    float lowpass = 0.0f;
    addVoice(audio, start, 0.3, 0.9f, 1.0f, [&](double t) {
        const float n = noise.next();
        lowpass += (n - lowpass) * 0.1f;  // keep the crack, lose the rumble
        const double tone = 0.3 * std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05);
        return static_cast<float>(tone + 0.5 * (n - lowpass) * std::exp(-t / 0.07));
    });
}

void addHat(StereoAudio& audio, std::size_t start, bool onBeat, Noise& noise) {
    float previous = 0.0f;
    const float level = onBeat ? 0.16f : 0.1f;
    addVoice(audio, start, 0.08, onBeat ? level : 0.7f * level, onBeat ? 0.7f * level : level, [&](double t) {
        const float n = noise.next();
        const float bright = n - previous;  // first difference: a steep highpass
        previous = n;
        return static_cast<float>(bright * std::exp(-t / 0.02));
    });
}

void addBassLine(StereoAudio& audio, double samplesPerBeat) {
    static const int kSemitones[16] = {0, 0, 3, 0, 5, 5, 3, -2, 0, 0, 3, 7, 5, 3, -2, 0};
    constexpr double kRootHz = 41.2;  // E1
    double phase = 0.0;
    for (std::size_t i = 0; i < audio.frames(); ++i) {
        const double beat = i / samplesPerBeat;
        const int note = kSemitones[static_cast<int>(beat) % 16];
        const double withinBeat = (beat - std::floor(beat)) * samplesPerBeat / kSampleRate;
        const double untilNext = (std::floor(beat) + 1 - beat) * samplesPerBeat / kSampleRate;
        const double envelope = std::min({1.0, withinBeat / 0.005, untilNext / 0.02});
        phase += kTwoPi * kRootHz * std::pow(2.0, note / 12.0) / kSampleRate;
        const float sample = static_cast<float>(0.45 * envelope * (std::sin(phase) + 0.15 * std::sin(2 * phase)));
        audio.left[i] += sample;
        audio.right[i] += sample;
    }
}

}  // namespace

StereoAudio demoLoop(double tempo) {
    const double samplesPerBeat = kSampleRate * 60.0 / tempo;
    const int beats = kBars * 4;
    StereoAudio audio = silentAudio(static_cast<std::size_t>(std::llround(beats * samplesPerBeat)), kSampleRate,
                                    SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    Noise noise;
    addBassLine(audio, samplesPerBeat);
    for (int beat = 0; beat < beats; ++beat) {
        const auto at = [&](double b) { return static_cast<std::size_t>(std::llround(b * samplesPerBeat)); };
        addKick(audio, at(beat));
        if (beat % 2 == 1) addSnare(audio, at(beat), noise);
        addHat(audio, at(beat), true, noise);
        addHat(audio, at(beat + 0.5), false, noise);
    }
    float peak = 0.0f;
    for (std::size_t i = 0; i < audio.frames(); ++i)
        peak = std::max({peak, std::fabs(audio.left[i]), std::fabs(audio.right[i])});
    const float gain = peak > 0.0f ? 0.891f / peak : 1.0f;
    for (std::size_t i = 0; i < audio.frames(); ++i) {
        audio.left[i] *= gain;
        audio.right[i] *= gain;
    }
    return audio;
}

}  // namespace norvale::render
