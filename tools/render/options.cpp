#include "render/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <numeric>
#include <sys/stat.h>
#include <system_error>
#include <utility>
#include <vector>

#include "presets/preset_text.h"
#include "render/preset_commands.h"

namespace norvale::render {

// ---- options ----
namespace {

constexpr uint32_t kMaxBlock = 4096;

double parseNumber(const std::string& option, const std::string& text) {
    double value = 0.0;
    if (!plugincore::readFiniteNumber(text, value))
        throw UsageError(fmt::format("{} expects a number, not '{}'", option, text));
    return value;
}

long parseInteger(const std::string& option, const std::string& text, long low, long high) {
    // Leading blanks are skipped, as for every number on the command line.
    const std::size_t start = std::min(text.find_first_not_of(" \t\n\v\f\r"), text.size());
    long long value = 0;
    if (!plugincore::readWholeNumber(std::string_view(text).substr(start), value) || value < low ||
        value > high)
        throw UsageError(fmt::format("{} expects a whole number from {} to {}, not '{}'", option,
                                     low, high, text));
    return static_cast<long>(value);
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
        throw UsageError(
            fmt::format("unknown parameter key '{}' (nearest: {}; --list-params shows all)",
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
    static const char* const kWithValue[] = {
        "--set",        "--tempo",     "--sidechain",   "--notes",    "--note",   "--block",
        "--state-in",   "--state-out", "--plot",        "--plugin",   "--preset", "--save-preset",
        "--editor-png", "--scale",     "--hover-point", "--open-menu"};
    for (const char* option : kWithValue)
        if (name == option) return true;
    return false;
}

void applyOption(RenderOptions& options, const std::string& name, const std::string& value) {
    if (name == "--set")
        options.settings.push_back(parseSetting(value));
    else if (name == "--tempo") {
        options.tempo = parseNumber(name, value);
        if (options.tempo < 1 || options.tempo > 999)
            throw UsageError(fmt::format("--tempo must lie between 1 and 999 BPM, not {}", value));
    } else if (name == "--sidechain")
        options.sidechain = value;
    else if (name == "--notes")
        options.noteBeats = parseBeatList(value);
    else if (name == "--note")
        options.noteKey = static_cast<int>(parseInteger(name, value, 0, 127));
    else if (name == "--block")
        options.blockSize = static_cast<uint32_t>(parseInteger(name, value, 1, kMaxBlock));
    else if (name == "--state-in")
        options.stateIn = value;
    else if (name == "--state-out")
        options.stateOut = value;
    else if (name == "--plot")
        options.plot = value;
    else if (name == "--plugin")
        options.pluginPath = value;
    else if (name == "--preset") {
        if (value.empty()) throw UsageError("--preset needs a name, key or file");
        options.preset = value;
    } else if (name == "--editor-png")
        options.editorPng = value;
    else if (name == "--scale") {
        options.editorScale = parseNumber(name, value);
        if (options.editorScale < 0.5 || options.editorScale > 4)
            throw UsageError(fmt::format("--scale must lie between 0.5 and 4, not {}", value));
    } else if (name == "--hover-point") {
        options.editorHoverPoint = static_cast<int>(parseInteger(name, value, 0, 63));
    } else if (name == "--open-menu") {
        if (value != "grid" && value != "shape" && value != "curve")
            throw UsageError(fmt::format("--open-menu takes grid, shape or curve, not {}", value));
        options.editorMenu = value;
    } else if (name == "--save-preset") {
        checkPresetSaveName(value);
        options.savePreset = value;
    }
}

} // namespace

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
        if (equals != std::string::npos)
            value = arg.substr(equals + 1);
        else if (i + 1 < args.size())
            value = args[++i];
        else
            throw UsageError(fmt::format("{} needs a value", name));
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
            throw UsageError(fmt::format("{} takes no files",
                                         options.listParams ? "--list-params" : "--list-presets"));
        throw UsageError(options.demo ? "usage: norvale-render --demo [options] OUTPUT"
                                      : "usage: norvale-render [options] INPUT OUTPUT");
    }
    if (saveOnly) requireNothingToRender(options);
    if (wanted == 1)
        options.output = positional[0];
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
  --hover-point N    --editor-png: point N of the selected curve as under the
                     pointer, with its value readout
  --open-menu M      --editor-png: the grid, shape or curve (the graph's
                     right-click) menu open
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

// ---- parameter keys ----

std::optional<uint32_t> paramIdForKey(std::string_view key) {
    for (std::size_t id = 0; id < kParamKeys.size(); ++id)
        if (kParamKeys[id] == key) return static_cast<uint32_t>(id);
    return std::nullopt;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> previous(b.size() + 1), current(b.size() + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[b.size()];
}

std::vector<std::string_view> nearestKeys(std::string_view key, std::size_t limit) {
    std::vector<std::size_t> ids(kParamKeys.size());
    std::iota(ids.begin(), ids.end(), std::size_t{0});
    std::vector<std::size_t> distance(kParamKeys.size());
    for (std::size_t id : ids)
        distance[id] = editDistance(key, kParamKeys[id]);
    std::stable_sort(ids.begin(), ids.end(),
                     [&](std::size_t a, std::size_t b) { return distance[a] < distance[b]; });
    std::vector<std::string_view> nearest;
    for (std::size_t i = 0; i < ids.size() && i < limit; ++i)
        nearest.push_back(kParamKeys[ids[i]]);
    return nearest;
}

// ---- plug-in location ----

namespace {

namespace fs = std::filesystem;

std::string requireFile(const std::string& path, const char* origin) {
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        throw RenderError(fmt::format("plug-in {} '{}' is not a file", origin, path));
    return path;
}

std::vector<std::string> defaultPlaces() {
    std::vector<std::string> places;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        places.push_back((self.parent_path().parent_path() / "bundles" / "Norvale.clap").string());
    if (const char* home = std::getenv("HOME"); home && *home)
        places.push_back((fs::path(home) / ".clap" / "Norvale.clap").string());
    places.push_back("/usr/lib/clap/Norvale.clap");
    return places;
}

} // namespace

std::string locatePlugin(const std::string& explicitPath) {
    if (!explicitPath.empty()) return requireFile(explicitPath, "given by --plugin");
    if (const char* fromEnvironment = std::getenv("NORVALE_CLAP");
        fromEnvironment && *fromEnvironment)
        return requireFile(fromEnvironment, "given by $NORVALE_CLAP");
    const std::vector<std::string> places = defaultPlaces();
    for (const std::string& place : places) {
        std::error_code error;
        if (fs::is_regular_file(place, error)) return place;
    }
    throw RenderError(
        fmt::format("cannot find the plug-in (looked at {}); give it with --plugin PATH",
                    fmt::join(places, ", ")));
}

// ---- path checks ----

namespace {

namespace fs = std::filesystem;

using NamedPath = std::pair<const char*, std::string>;

// Same device and inode when both exist (links, other spellings), else the
// same normalised absolute path.
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::error_code error;
    const fs::path pa = fs::weakly_canonical(fs::absolute(a), error);
    const fs::path pb = fs::weakly_canonical(fs::absolute(b), error);
    return !error && pa == pb;
}

void addIfGiven(std::vector<NamedPath>& list, const char* label, const std::string& path) {
    if (!path.empty()) list.emplace_back(label, path);
}

} // namespace

void checkWrittenPaths(const RenderOptions& options) {
    std::vector<NamedPath> written, read;
    addIfGiven(written, "OUTPUT", options.output);
    addIfGiven(written, "--state-out", options.stateOut);
    addIfGiven(written, "--plot", options.plot);
    addIfGiven(read, "INPUT", options.input);
    addIfGiven(read, "--sidechain", options.sidechain);
    addIfGiven(read, "--state-in", options.stateIn);

    for (std::size_t i = 0; i < written.size(); ++i) {
        const auto& [label, path] = written[i];
        std::error_code error;
        if (fs::is_directory(path, error))
            throw RenderError(fmt::format("{} '{}' is a folder", label, path));
        for (const auto& [readLabel, readPath] : read)
            if (sameFile(path, readPath))
                throw UsageError(fmt::format("{} '{}' is the {} file; refusing to overwrite it",
                                             label, path, readLabel));
        for (std::size_t j = i + 1; j < written.size(); ++j)
            if (sameFile(path, written[j].second))
                throw UsageError(fmt::format("{} and {} name the same file '{}'", label,
                                             written[j].first, path));
    }
}

} // namespace norvale::render
