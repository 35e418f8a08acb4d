// One run of the tool: read, render through the plug-in on a musical
// timeline, write. Single-threaded.
#pragma once

#include <clap/clap.h>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "render/audio_files.h"
#include "render/options.h"
#include "render/preset_commands.h"

namespace norvale::render {

// ---- timeline ----
// Musical time of the render: a transport playing from beat 0 at one tempo,
// and the note triggers placed on it to the sample.

struct Timeline {
    double sampleRate = 48000.0;
    double tempo = 120.0; // BPM, 4/4

    double samplesPerBeat() const { return sampleRate * 60.0 / tempo; }
    int64_t sampleAtBeat(double beat) const;
    double beatAtSample(int64_t sample) const {
        return static_cast<double>(sample) / samplesPerBeat();
    }
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
std::vector<NoteTrigger> scheduleNotes(const Timeline& timeline, std::vector<double> beats,
                                       int64_t frames);

// ---- progress bar ----
// A one-line progress bar on standard error, shown only on a terminal.

class ProgressBar {
public:
    explicit ProgressBar(uint64_t total);
    ~ProgressBar(); // clears the line
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(uint64_t done);

private:
    uint64_t total_;
    bool enabled_;
    int shownPercent_ = -1;
};

// ---- rendering ----
// One run of the tool: read, render through the plug-in, write.

struct RenderSummary {
    double seconds = 0.0;
    Levels input;
    Levels output;
    double realTimeFactor = 0.0; // audio seconds per wall second of processing; 0 if nothing ran
    std::optional<SavedPreset> savedPreset;
};

// Writes the output (and the state, plot and preset if asked) only when
// everything succeeded. Throws UsageError or RenderError.
RenderSummary render(const RenderOptions& options);

std::string summaryLine(const RenderSummary& summary);

// The plug-in's parameters with their keys, defaults and ranges.
void listParams(const RenderOptions& options, std::FILE* out);

} // namespace norvale::render
