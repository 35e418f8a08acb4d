#include "render/renderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "render/audio_files.h"
#include "render/clap_host.h"
#include "render/options.h"
#include "render/preset_commands.h"

namespace norvale::render {

// ---- timeline ----
namespace {

constexpr double kBeatsPerBar = 4.0;
constexpr double kGateBeats = 0.125;

clap_beattime toBeatTime(double beats) {
    return std::llround(beats * static_cast<double>(CLAP_BEATTIME_FACTOR));
}

} // namespace

int64_t Timeline::sampleAtBeat(double beat) const {
    return std::llround(beat * samplesPerBeat());
}

clap_event_transport_t transportAt(const Timeline& timeline, int64_t sample) {
    auto transport = coreEvent<clap_event_transport_t>(CLAP_EVENT_TRANSPORT, 0);
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

std::vector<NoteTrigger> scheduleNotes(const Timeline& timeline, std::vector<double> beats,
                                       int64_t frames) {
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

// ---- progress bar ----

namespace {

constexpr int kBarWidth = 40;

} // namespace

ProgressBar::ProgressBar(uint64_t total) : total_(total), enabled_(isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    if (enabled_ && shownPercent_ >= 0) std::fprintf(stderr, "\r%*s\r", kBarWidth + 16, "");
}

void ProgressBar::update(uint64_t done) {
    if (!enabled_ || total_ == 0) return;
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '-');
    std::fprintf(stderr, "\rrendering [%s] %3d%%", bar.c_str(), percent);
    std::fflush(stderr);
}

// ---- rendering ----

namespace {

struct PluginRun {
    StereoAudio output;
    std::vector<uint8_t> state;        // only with --state-out
    std::optional<SavedPreset> preset; // only with --save-preset
    double processSeconds = 0.0;
};

StereoAudio readSidechain(const std::string& path, const StereoAudio& input) {
    StereoAudio sidechain = readAudioFile(path);
    if (sidechain.sampleRate != input.sampleRate)
        throw RenderError(fmt::format("sidechain '{}' runs at {} Hz but the input at {} Hz", path,
                                      sidechain.sampleRate, input.sampleRate));
    sidechain.left.resize(input.frames(), 0.0f);
    sidechain.right.resize(input.frames(), 0.0f);
    return sidechain;
}

void checkPorts(const PluginInstance& plugin, bool wantsSidechain, bool wantsNotes) {
    const auto inputs = plugin.audioPorts(true);
    const auto outputs = plugin.audioPorts(false);
    if (inputs.empty() || inputs[0].channel_count != 2 || outputs.empty() ||
        outputs[0].channel_count != 2)
        throw RenderError("the plug-in has no stereo main input and output");
    if (wantsSidechain && inputs.size() < 2)
        throw RenderError("the plug-in has no sidechain input");
    if (wantsNotes) {
        const auto notes = plugin.notePorts(true);
        if (notes.empty() || !(notes[0].supported_dialects & CLAP_NOTE_DIALECT_CLAP))
            throw RenderError("the plug-in has no note input for --notes");
    }
}

double processBlocks(PluginInstance& plugin, HostServices& host, const RenderOptions& options,
                     const std::vector<clap_event_param_value_t>& settings, StereoAudio& input,
                     StereoAudio* sidechain, StereoAudio& output) {
    const std::size_t frames = input.frames();
    const Timeline timeline{static_cast<double>(input.sampleRate), options.tempo};
    const std::vector<NoteTrigger> notes =
        scheduleNotes(timeline, options.noteBeats, static_cast<int64_t>(frames));
    const uint32_t inputPorts = static_cast<uint32_t>(plugin.audioPorts(true).size());

    float* mainIn[2] = {};
    float* sideIn[2] = {};
    float* mainOut[2] = {};
    std::vector<clap_audio_buffer_t> inputs(inputPorts); // ports past the sidechain get no channels
    inputs[0].data32 = mainIn;
    inputs[0].channel_count = 2;
    if (inputPorts > 1) {
        inputs[1].data32 = sideIn;
        inputs[1].channel_count = sidechain ? 2 : 0; // no channels: no sidechain
    }
    clap_audio_buffer_t outputs{};
    outputs.data32 = mainOut;
    outputs.channel_count = 2;

    InputEvents events;
    DiscardedEvents discarded;
    clap_process_t block{};
    block.audio_inputs = inputs.data();
    block.audio_inputs_count = inputPorts;
    block.audio_outputs = &outputs;
    block.audio_outputs_count = 1;
    block.in_events = events.list();
    block.out_events = discarded.list();

    plugin.activate(input.sampleRate, options.blockSize);
    plugin.startProcessing();
    ProgressBar progress(frames);
    std::chrono::steady_clock::duration busy{};
    std::size_t nextNote = 0;
    int32_t noteId = -1;
    for (std::size_t start = 0; start < frames; start += options.blockSize) {
        const std::size_t count = std::min<std::size_t>(options.blockSize, frames - start);
        events.clear();
        if (start == 0)
            for (const auto& setting : settings)
                events.add(setting);
        for (; nextNote < notes.size() &&
               notes[nextNote].sample < static_cast<int64_t>(start + count);
             ++nextNote) {
            const NoteTrigger& note = notes[nextNote];
            if (note.on) ++noteId;
            events.add(noteEvent(note.on ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF,
                                 static_cast<uint32_t>(note.sample - static_cast<int64_t>(start)),
                                 noteId, static_cast<int16_t>(options.noteKey)));
        }
        const clap_event_transport_t transport = transportAt(timeline, static_cast<int64_t>(start));
        mainIn[0] = input.left.data() + start;
        mainIn[1] = input.right.data() + start;
        if (sidechain) {
            sideIn[0] = sidechain->left.data() + start;
            sideIn[1] = sidechain->right.data() + start;
        }
        mainOut[0] = output.left.data() + start;
        mainOut[1] = output.right.data() + start;
        block.steady_time = static_cast<int64_t>(start);
        block.frames_count = static_cast<uint32_t>(count);
        block.transport = &transport;

        const auto before = std::chrono::steady_clock::now();
        const clap_process_status status = plugin.process(block);
        busy += std::chrono::steady_clock::now() - before;
        if (status == CLAP_PROCESS_ERROR)
            throw RenderError(fmt::format("the plug-in failed to process the block at {:.3f} s",
                                          static_cast<double>(start) / input.sampleRate));
        if (host.takeCallbackRequest()) plugin.runMainThreadCallback();
        progress.update(start + count);
    }
    plugin.stopProcessing();
    return std::chrono::duration<double>(busy).count();
}

PluginRun runPlugin(const RenderOptions& options, StereoAudio& input, StereoAudio* sidechain) {
    // Declared in load order so that they unload in reverse.
    HostServices host;
    ClapModule module(locatePlugin(options.pluginPath));
    PluginInstance plugin(module, host.host());
    checkPorts(plugin, sidechain != nullptr, !options.noteBeats.empty());
    const std::vector<clap_event_param_value_t> settings =
        setUpSound(plugin, host, module, options);

    PluginRun run;
    // The sound as set up, before a block has run.
    if (!options.savePreset.empty()) run.preset = presetOfSound(plugin, options.savePreset);
    run.output = silentAudio(input.frames(), input.sampleRate, input.format);
    run.processSeconds =
        processBlocks(plugin, host, options, settings, input, sidechain, run.output);
    if (!options.stateOut.empty()) {
        auto saved = plugin.saveState();
        if (!saved) throw RenderError("the plug-in could not save its state");
        run.state = std::move(*saved);
    }
    plugin.deactivate();
    return run;
}

// Choices are listed in full; numbers as their two ends.
std::string rangeText(const PluginInstance& plugin, const clap_param_info_t& info) {
    if (!(info.flags & CLAP_PARAM_IS_ENUM))
        return fmt::format("{} .. {}", plugin.valueToText(info.id, info.min_value),
                           plugin.valueToText(info.id, info.max_value));
    std::vector<std::string> choices;
    for (double v = info.min_value; v <= info.max_value; v += 1.0)
        choices.push_back(plugin.valueToText(info.id, v));
    return fmt::format("{}", fmt::join(choices, ", "));
}

} // namespace

RenderSummary render(const RenderOptions& options) {
    checkWrittenPaths(options);
    StagedFile outputFile(options.output);
    std::optional<StagedFile> stateFile, plotFile;
    if (!options.stateOut.empty()) stateFile.emplace(options.stateOut);
    if (!options.plot.empty()) plotFile.emplace(options.plot);

    StereoAudio input = options.demo ? demoLoop(options.tempo) : readAudioFile(options.input);
    std::optional<StereoAudio> sidechain;
    if (!options.sidechain.empty()) sidechain = readSidechain(options.sidechain, input);

    PluginRun run = runPlugin(options, input, sidechain ? &*sidechain : nullptr);

    writeAudioFile(outputFile.fd(), outputFile.target(), run.output);
    if (stateFile) stateFile->writeAll(run.state.data(), run.state.size());
    if (plotFile) {
        const std::vector<uint8_t> png = levelPlotPng(input, run.output, options.tempo);
        plotFile->writeAll(png.data(), png.size());
    }
    if (run.preset) writeSavedPreset(*run.preset);
    outputFile.commit();
    if (stateFile) stateFile->commit();
    if (plotFile) plotFile->commit();

    RenderSummary summary;
    summary.seconds = input.seconds();
    summary.input = measureLevels(input);
    summary.output = measureLevels(run.output);
    summary.savedPreset = std::move(run.preset);
    summary.realTimeFactor = run.processSeconds > 0.0 ? summary.seconds / run.processSeconds : 0.0;
    return summary;
}

std::string summaryLine(const RenderSummary& s) {
    const std::string speed = s.realTimeFactor > 0.0
                                  ? fmt::format("{:.1f}x real time", s.realTimeFactor)
                                  : std::string("nothing to process");
    return fmt::format(
        "{:.3f} s rendered; in: peak {} dBFS, RMS {} dBFS; out: peak {} dBFS, RMS {} dBFS; {}",
        s.seconds, dbText(s.input.peak), dbText(s.input.rms), dbText(s.output.peak),
        dbText(s.output.rms), speed);
}

void listParams(const RenderOptions& options, std::FILE* out) {
    HostServices host;
    ClapModule module(locatePlugin(options.pluginPath));
    PluginInstance plugin(module, host.host());
    requireKnownParameters(plugin);
    fmt::print(out, "{:<15} {:<26} {:>10}   {}\n", "key", "name", "default", "range");
    for (uint32_t id = 0; id < kParamKeys.size(); ++id) {
        const auto info = plugin.paramInfoById(id);
        if (!info) continue;
        // Names shared between modules already carry their group.
        const std::string_view name = info->name, group = info->module;
        const bool grouped = name.size() > group.size() && name.substr(0, group.size()) == group &&
                             name[group.size()] == ' ';
        fmt::print(out, "{:<15} {:<26} {:>10}   {}\n", kParamKeys[id],
                   grouped ? std::string(name) : fmt::format("{} {}", group, name),
                   plugin.valueToText(id, info->default_value), rangeText(plugin, *info));
    }
}

} // namespace norvale::render
