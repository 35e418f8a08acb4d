#include "render/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <utility>

#include "render/errors.h"
#include "render/param_keys.h"
#include "render/saved_preset.h"

namespace norvale::render {
namespace {

constexpr uint32_t kMaxBlock = 4096;

double parseNumber(const std::string& option, const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (text.empty() || end == begin || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        throw UsageError(fmt::format("{} expects a number, not '{}'", option, text));
    return value;
}

long parseInteger(const std::string& option, const std::string& text, long low, long high) {
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (text.empty() || end == begin || *end != '\0' || errno == ERANGE || value < low || value > high)
        throw UsageError(fmt::format("{} expects a whole number from {} to {}, not '{}'", option, low,
                                     high, text));
    return value;
}

std::vector<double> parseBeatList(const std::string& text) {
    std::vector<double> beats;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        const double beat = parseNumber("--notes", item);
        if (beat < 0) throw UsageError(fmt::format("--notes: beat {} lies before the start", item));
        beats.push_back(beat);
        if (comma == std::string::npos) return beats;
        start = comma + 1;
    }
}

ParamSetting parseSetting(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0)
        throw UsageError(fmt::format("--set expects KEY=TEXT, not '{}'", text));
    ParamSetting setting;
    setting.key = text.substr(0, equals);
    setting.text = text.substr(equals + 1);
    const auto id = paramIdForKey(setting.key);
    if (!id) {
        const auto nearest = nearestKeys(setting.key);
        throw UsageError(fmt::format("unknown parameter key '{}' (nearest: {}; --list-params shows all)",
                                     setting.key, fmt::join(nearest, ", ")));
    }
    setting.id = *id;
    return setting;
}

void requireNothingToRender(const RenderOptions& options) {
    const std::pair<const char*, bool> renderOnly[] = {{"--sidechain", !options.sidechain.empty()},
                                                       {"--notes", !options.noteBeats.empty()},
                                                       {"--state-out", !options.stateOut.empty()},
                                                       {"--plot", !options.plot.empty()}};
    for (const auto& [name, given] : renderOnly)
        if (given) throw UsageError(fmt::format("{} needs INPUT and OUTPUT to render", name));
}

bool takesValue(const std::string& name) {
    static const char* const kWithValue[] = {"--set",      "--tempo",    "--sidechain", "--notes",
                                             "--note",     "--block",    "--state-in",  "--state-out",
                                             "--plot",     "--plugin",   "--preset",    "--save-preset",
                                             "--editor-png", "--scale"};
    for (const char* option : kWithValue)
        if (name == option) return true;
    return false;
}

void applyOption(RenderOptions& options, const std::string& name, const std::string& value) {
    if (name == "--set") options.settings.push_back(parseSetting(value));
    else if (name == "--tempo") {
        options.tempo = parseNumber(name, value);
        if (options.tempo < 1 || options.tempo > 999)
            throw UsageError(fmt::format("--tempo must lie between 1 and 999 BPM, not {}", value));
    } else if (name == "--sidechain") options.sidechain = value;
    else if (name == "--notes") options.noteBeats = parseBeatList(value);
    else if (name == "--note") options.noteKey = static_cast<int>(parseInteger(name, value, 0, 127));
    else if (name == "--block") options.blockSize = static_cast<uint32_t>(parseInteger(name, value, 1, kMaxBlock));
    else if (name == "--state-in") options.stateIn = value;
    else if (name == "--state-out") options.stateOut = value;
    else if (name == "--plot") options.plot = value;
    else if (name == "--plugin") options.pluginPath = value;
    else if (name == "--preset") {
        if (value.empty()) throw UsageError("--preset needs a name, key or file");
        options.preset = value;
    } else if (name == "--editor-png") options.editorPng = value;
    else if (name == "--scale") {
        options.editorScale = parseNumber(name, value);
        if (options.editorScale < 0.5 || options.editorScale > 4)
            throw UsageError(fmt::format("--scale must lie between 0.5 and 4, not {}", value));
    } else if (name == "--save-preset") {
        checkPresetSaveName(value);
        options.savePreset = value;
    }
}

}  // namespace

RenderOptions parseOptions(const std::vector<std::string>& args) {
    RenderOptions options;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return options;
        }
        if (arg == "--demo") {
            options.demo = true;
            continue;
        }
        if (arg == "--list-params") {
            options.listParams = true;
            continue;
        }
        if (arg == "--list-presets") {
            options.listPresets = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (!takesValue(name)) throw UsageError(fmt::format("unknown option '{}'", name));
        std::string value;
        if (equals != std::string::npos) value = arg.substr(equals + 1);
        else if (i + 1 < args.size()) value = args[++i];
        else throw UsageError(fmt::format("{} needs a value", name));
        applyOption(options, name, value);
    }

    if (!options.preset.empty() && !options.stateIn.empty())
        throw UsageError("--preset and --state-in each set the whole sound; give one of them");
    const bool listing = options.listParams || options.listPresets;
    const bool saveOnly = !options.savePreset.empty() && !options.demo && positional.empty();
    const bool pictureOnly = !options.editorPng.empty();
    const std::size_t wanted = listing || saveOnly || pictureOnly ? 0 : options.demo ? 1 : 2;
    if (positional.size() != wanted) {
        if (listing)
            throw UsageError(fmt::format("{} takes no files", options.listParams ? "--list-params" : "--list-presets"));
        throw UsageError(options.demo ? "usage: norvale-render --demo [options] OUTPUT"
                                      : "usage: norvale-render [options] INPUT OUTPUT");
    }
    if (saveOnly) requireNothingToRender(options);
    if (wanted == 1) options.output = positional[0];
    else if (wanted == 2) {
        options.input = positional[0];
        options.output = positional[1];
    }
    return options;
}

std::string usageText() {
    return R"(usage: norvale-render [options] INPUT OUTPUT
       norvale-render --demo [options] OUTPUT
       norvale-render --save-preset NAME [--preset P] [--set ...] [--plugin PATH]
       norvale-render --editor-png FILE.png [--scale S] [--preset P] [--set ...]
       norvale-render --list-params [--plugin PATH]
       norvale-render --list-presets [--plugin PATH]

Renders an audio file through the Norvale plug-in, loaded as a CLAP host loads it.
INPUT may be any format libsndfile reads. OUTPUT keeps the input's format and
sample rate, is always stereo (a mono input feeds both channels; inputs with
more channels use the first two) and has exactly the input's length: no tail
is added, so time-based effects are cut off at the end of the input. OUTPUT is
only replaced when the render succeeds, and never when it is the input.

options:
  --set KEY=TEXT     set a parameter by key, with the text the plug-in shows
                     ("vol_rate=1/8", "flt_cutoff=420 Hz", "input=-6 dB",
                     "vol_on=On"); repeatable; --list-params shows the keys
  --tempo BPM        tempo of the playing transport, from beat 0 (default 120)
  --sidechain FILE   audio fed to the sidechain input; same sample rate as the
                     input; mono feeds both channels; shorter files are padded
                     with silence
  --notes BEATS      comma-separated beat positions (e.g. 0,1.5,3) that send a
                     note-on to the plug-in's note port, to the sample
  --note N           the note's key, 0..127 (default 60)
  --block N          frames per process call, 1..4096 (default 512)
  --preset P         start from a preset: a built-in by name ("Kick Duck", any
                     case) or load key ("kick_duck"), a user preset by name
                     ("My Duck", or "Bass/My Duck" with its folder), or a
                     preset file (a path with "/" or ending in .norvale);
                     --set values apply on top; --list-presets shows the names
  --save-preset NAME save the sound of --preset, --state-in and --set as a
                     user preset: "Name", or "Folder / Name" for a sub-folder
                     of the user preset folder ($XDG_CONFIG_HOME/Norvale/presets
                     or ~/.config/Norvale/presets); an existing preset file of
                     that name is replaced. Without INPUT and OUTPUT nothing
                     is rendered; with them, the preset is saved only if the
                     render succeeds
  --state-in FILE    load a saved plug-in state before rendering (--set
                     values apply on top; not together with --preset)
  --state-out FILE   save the plug-in state after rendering
  --plot FILE.png    draw input and output level over time, with the beat grid
  --editor-png FILE  paint the plug-in's editor for the sound of --preset and
                     --set into a PNG (no X server needed); nothing is rendered
  --scale S          the editor's scale for --editor-png, 0.5..4 (default 1)
  --demo             render a synthesized 4-bar drum and bass loop at the
                     tempo instead of INPUT (48 kHz stereo 24-bit WAV)
  --plugin PATH      the plug-in file to load
  --list-params      list the parameters: key, name, default and range
  --list-presets     list the presets the plug-in offers: the built-ins, then
                     the user presets by folder and name, each with the key or
                     file that loads it
  -h, --help         show this text

The plug-in is looked for at: --plugin PATH; $NORVALE_CLAP;
../bundles/Norvale.clap next to this program (the build tree);
~/.clap/Norvale.clap; /usr/lib/clap/Norvale.clap.

On success one summary line goes to standard output: duration, peak and RMS
in and out (dBFS), and the real-time factor of the processing; a saved preset
adds a line naming its file.
Exit status: 0 success, 1 render failure (files, plug-in, a preset that
does not load), 2 bad command line (including an unknown preset name).
)";
}

}  // namespace norvale::render
