#include "plugin/descriptor.h"

namespace norvale {

namespace {
constexpr char kProjectPage[] = "https://kestrelhow.org/norvale";
}

const char* const kFeatures[] = {
    "audio-effect", "stereo", "effect", "multiband", "filter", "distortion", nullptr,
};

const clap_plugin_descriptor kDescriptor = {
    CLAP_VERSION_INIT,
    kPluginId,
    "Norvale",
    "Kestrelhow",
    kProjectPage,
    kProjectPage,
    kProjectPage,
    "0.4.0",
    "A multiband drawing effects rack: seven stages in series -- volume, filter, drive, crush, "
    "time, width and pan -- each with its own drawable curve for every one of three frequency "
    "bands. Draw a ducking shape, a filter sweep, a distortion envelope, a stepped crush "
    "pattern, a stutter or a stereo move into the curve editor and it runs locked to the "
    "host's beat -- or restarts on a MIDI note or a hit in the sidechain, which is drawn "
    "behind the shape so a duck can be fitted to the kick.",
    kFeatures,
};

}  // namespace norvale
