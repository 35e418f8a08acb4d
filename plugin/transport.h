// The host's position and tempo as the engine wants them.
#pragma once

#include <clap/events.h>
#include <clap/fixedpoint.h>

namespace norvale {

struct TransportPosition {
    double songBeats = -1.0;  // negative: the host is not playing
    double tempo = 0.0;       // 0: the host gives none
};

inline TransportPosition readTransport(const clap_event_transport* transport) {
    TransportPosition position;
    if (transport == nullptr) return position;
    // Some hosts fill the tempo without flagging it; a plausible value beats
    // the engine's 120 BPM fallback.
    position.tempo = transport->tempo;
    constexpr uint32_t kPlayingOnTimeline =
        CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING;
    if ((transport->flags & kPlayingOnTimeline) == kPlayingOnTimeline)
        position.songBeats = static_cast<double>(transport->song_pos_beats) /
                             static_cast<double>(CLAP_BEATTIME_FACTOR);
    return position;
}

}  // namespace norvale
