// Musical time of the render: a transport playing from beat 0 at one tempo,
// and the note triggers placed on it to the sample.
#pragma once

#include <clap/clap.h>
#include <cstdint>
#include <vector>

namespace norvale::render {

struct Timeline {
    double sampleRate = 48000.0;
    double tempo = 120.0;  // BPM, 4/4

    double samplesPerBeat() const { return sampleRate * 60.0 / tempo; }
    int64_t sampleAtBeat(double beat) const;
    double beatAtSample(int64_t sample) const { return static_cast<double>(sample) / samplesPerBeat(); }
};

// The playing transport at the first sample of a block.
clap_event_transport_t transportAt(const Timeline& timeline, int64_t sample);

struct NoteTrigger {
    int64_t sample = 0;
    bool on = true;
};

// Note-on at each beat inside the first `frames` samples, each followed by
// its note-off an eighth of a beat later, or at the next note-on if sooner.
// Sorted by sample; at equal samples an off precedes the next on.
std::vector<NoteTrigger> scheduleNotes(const Timeline& timeline, std::vector<double> beats, int64_t frames);

}  // namespace norvale::render
