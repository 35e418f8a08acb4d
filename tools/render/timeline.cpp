#include "render/timeline.h"

#include <algorithm>
#include <cmath>

namespace norvale::render {
namespace {

constexpr double kBeatsPerBar = 4.0;
constexpr double kGateBeats = 0.125;

clap_beattime toBeatTime(double beats) { return std::llround(beats * static_cast<double>(CLAP_BEATTIME_FACTOR)); }

}  // namespace

int64_t Timeline::sampleAtBeat(double beat) const { return std::llround(beat * samplesPerBeat()); }

clap_event_transport_t transportAt(const Timeline& timeline, int64_t sample) {
    clap_event_transport_t transport{};
    transport.header.size = sizeof(transport);
    transport.header.time = 0;
    transport.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    transport.header.type = CLAP_EVENT_TRANSPORT;
    transport.header.flags = 0;
    transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                      CLAP_TRANSPORT_HAS_SECONDS_TIMELINE | CLAP_TRANSPORT_HAS_TIME_SIGNATURE |
                      CLAP_TRANSPORT_IS_PLAYING;
    const double beats = timeline.beatAtSample(sample);
    const double seconds = static_cast<double>(sample) / timeline.sampleRate;
    transport.song_pos_beats = toBeatTime(beats);
    transport.song_pos_seconds = std::llround(seconds * static_cast<double>(CLAP_SECTIME_FACTOR));
    transport.tempo = timeline.tempo;
    transport.tempo_inc = 0.0;
    const double bar = std::floor(beats / kBeatsPerBar);
    transport.bar_start = toBeatTime(bar * kBeatsPerBar);
    transport.bar_number = static_cast<int32_t>(bar);
    transport.tsig_num = 4;
    transport.tsig_denom = 4;
    return transport;
}

std::vector<NoteTrigger> scheduleNotes(const Timeline& timeline, std::vector<double> beats, int64_t frames) {
    std::vector<int64_t> starts;
    for (double beat : beats) {
        const int64_t sample = timeline.sampleAtBeat(beat);
        if (sample < frames) starts.push_back(sample);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());

    const int64_t gate = std::max<int64_t>(1, std::llround(kGateBeats * timeline.samplesPerBeat()));
    std::vector<NoteTrigger> notes;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        int64_t off = std::min(starts[i] + gate, frames - 1);
        if (i + 1 < starts.size()) off = std::min(off, starts[i + 1]);
        notes.push_back({starts[i], true});
        notes.push_back({off, false});
    }
    return notes;
}

}  // namespace norvale::render
