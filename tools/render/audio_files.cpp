#include "render/audio_files.h"

#include <algorithm>
#include <cairo.h>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fontconfig/fontconfig.h>
#include <limits>
#include <memory>
#include <numbers>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "render/options.h"

namespace norvale::render {

// ---- sound files ----
namespace {

constexpr sf_count_t kChunkFrames = 4096;

// Closes on every path out of a read or write.
struct SoundFile {
    SNDFILE* handle = nullptr;
    ~SoundFile() {
        if (handle) sf_close(handle);
    }
};

} // namespace

StereoAudio silentAudio(std::size_t frames, int sampleRate, int format) {
    StereoAudio audio;
    audio.left.assign(frames, 0.0f);
    audio.right.assign(frames, 0.0f);
    audio.sampleRate = sampleRate;
    audio.format = format;
    return audio;
}

StereoAudio readAudioFile(const std::string& path) {
    SF_INFO info{};
    SoundFile file;
    file.handle = sf_open(path.c_str(), SFM_READ, &info);
    if (!file.handle)
        throw RenderError(fmt::format("cannot read '{}': {}", path, sf_strerror(nullptr)));
    if (info.channels < 1 || info.samplerate < 1)
        throw RenderError(fmt::format("'{}' holds no audio channels", path));

    StereoAudio audio;
    audio.sampleRate = info.samplerate;
    audio.format = info.format;
    const std::size_t channels = static_cast<std::size_t>(info.channels);
    if (info.frames > 0 && info.frames < (sf_count_t{1} << 32)) {
        audio.left.reserve(static_cast<std::size_t>(info.frames));
        audio.right.reserve(static_cast<std::size_t>(info.frames));
    }
    std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames) * channels);
    while (true) {
        const sf_count_t got = sf_readf_float(file.handle, chunk.data(), kChunkFrames);
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got; ++i) {
            const float* frame = &chunk[static_cast<std::size_t>(i) * channels];
            audio.left.push_back(frame[0]);
            audio.right.push_back(channels > 1 ? frame[1] : frame[0]);
        }
    }
    if (sf_error(file.handle) != SF_ERR_NO_ERROR)
        throw RenderError(fmt::format("cannot read '{}': {}", path, sf_strerror(file.handle)));
    return audio;
}

void writeAudioFile(int fd, const std::string& target, const StereoAudio& audio) {
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = 2;
    info.format = audio.format;
    if (!sf_format_check(&info))
        throw RenderError(
            fmt::format("cannot write '{}': its format cannot hold two channels at {} Hz", target,
                        audio.sampleRate));
    SoundFile file;
    file.handle = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file.handle)
        throw RenderError(fmt::format("cannot write '{}': {}", target, sf_strerror(nullptr)));
    // Overs clip instead of wrapping round in integer formats.
    sf_command(file.handle, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames) * 2);
    for (std::size_t start = 0; start < audio.frames(); start += kChunkFrames) {
        const std::size_t count = std::min<std::size_t>(kChunkFrames, audio.frames() - start);
        for (std::size_t i = 0; i < count; ++i) {
            chunk[2 * i] = audio.left[start + i];
            chunk[2 * i + 1] = audio.right[start + i];
        }
        if (sf_writef_float(file.handle, chunk.data(), static_cast<sf_count_t>(count)) !=
            static_cast<sf_count_t>(count))
            throw RenderError(
                fmt::format("cannot write '{}': {}", target, sf_strerror(file.handle)));
    }
    const int closed = sf_close(file.handle);
    file.handle = nullptr;
    if (closed != 0)
        throw RenderError(fmt::format("cannot write '{}': {}", target, sf_error_number(closed)));
}

// ---- levels ----

namespace {

double sumOfSquares(const StereoAudio& audio, std::size_t start, std::size_t end) {
    double sum = 0.0;
    for (std::size_t i = start; i < end; ++i) {
        sum += static_cast<double>(audio.left[i]) * audio.left[i];
        sum += static_cast<double>(audio.right[i]) * audio.right[i];
    }
    return sum;
}

} // namespace

Levels measureLevels(const StereoAudio& audio) {
    Levels levels;
    for (std::size_t i = 0; i < audio.frames(); ++i)
        levels.peak = std::max({levels.peak, static_cast<double>(std::fabs(audio.left[i])),
                                static_cast<double>(std::fabs(audio.right[i]))});
    if (audio.frames() > 0)
        levels.rms = std::sqrt(sumOfSquares(audio, 0, audio.frames()) / (2.0 * audio.frames()));
    return levels;
}

std::vector<double> windowedRms(const StereoAudio& audio, std::size_t window) {
    std::vector<double> rms;
    if (window == 0) return rms;
    for (std::size_t start = 0; start < audio.frames(); start += window) {
        const std::size_t end = std::min(audio.frames(), start + window);
        rms.push_back(std::sqrt(sumOfSquares(audio, start, end) / (2.0 * (end - start))));
    }
    return rms;
}

double toDb(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

std::string dbText(double linear) {
    return linear > 0.0 ? fmt::format("{:.1f}", toDb(linear)) : std::string("-inf");
}

// ---- level plot ----

namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 400;
constexpr double kLeft = 56, kRight = 16, kTop = 34, kBottom = 34;
constexpr double kFloorDb = -60.0;
constexpr double kWindowSeconds = 0.01;

struct Rgb {
    double r, g, b;
};
constexpr Rgb kInputColour{0.20, 0.45, 0.80};
constexpr Rgb kOutputColour{0.92, 0.42, 0.10};

struct Frame {
    double seconds; // length of the time axis
    double x(double t) const { return kLeft + t / seconds * (kWidth - kLeft - kRight); }
    static double y(double db) {
        const double clamped = std::clamp(db, kFloorDb, 0.0);
        return kTop + clamped / kFloorDb * (kHeight - kTop - kBottom);
    }
};

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

void text(cairo_t* cr, double x, double y, const std::string& s, double alignX) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    cairo_move_to(cr, x - extents.width * alignX - extents.x_bearing, y);
    cairo_show_text(cr, s.c_str());
}

void line(cairo_t* cr, double x0, double y0, double x1, double y1) {
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

void drawDbGrid(cairo_t* cr, const Frame& frame) {
    cairo_set_line_width(cr, 1.0);
    for (double db = 0; db >= kFloorDb; db -= 12) {
        const double y = std::round(frame.y(db)) + 0.5;
        cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
        line(cr, kLeft, y, kWidth - kRight, y);
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        text(cr, kLeft - 6, y + 4, fmt::format("{:.0f} dB", db), 1.0);
    }
}

void drawBeatGrid(cairo_t* cr, const Frame& frame, double tempo) {
    const double beatSeconds = 60.0 / tempo;
    const double beatPixels = frame.x(beatSeconds) - frame.x(0);
    const int beats = static_cast<int>(std::floor(frame.seconds / beatSeconds));
    for (int beat = 0; beat <= beats; ++beat) {
        const bool barLine = beat % 4 == 0;
        if (!barLine && beatPixels < 4) continue;
        if (barLine && beatPixels * 4 < 4) continue;
        const double x = std::round(frame.x(beat * beatSeconds)) + 0.5;
        if (barLine)
            cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
        else
            cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        line(cr, x, kTop, x, kHeight - kBottom);
        if (barLine && beatPixels * 4 >= 28 && x + 12 < kWidth - kRight) {
            cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
            text(cr, x + 3, kTop - 6, fmt::format("{}", beat / 4 + 1), 0.0);
        }
    }
}

void drawTimeAxis(cairo_t* cr, const Frame& frame) {
    static const double kSteps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1,   2,
                                    5,    10,   15,   30,  60,  120, 300, 600};
    double step = kSteps[std::size(kSteps) - 1];
    for (double candidate : kSteps)
        if (frame.x(candidate) - frame.x(0) >= 80) {
            step = candidate;
            break;
        }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    for (double t = 0; t <= frame.seconds + 1e-9; t += step) {
        const int decimals = step < 0.1 ? 2 : step < 1 ? 1 : 0;
        text(cr, frame.x(t), kHeight - kBottom + 16, fmt::format("{:.{}f} s", t, decimals), 0.5);
    }
}

void drawLevel(cairo_t* cr, const Frame& frame, const StereoAudio& audio, Rgb colour) {
    const std::size_t window =
        std::max<std::size_t>(1, std::lround(audio.sampleRate * kWindowSeconds));
    const std::vector<double> rms = windowedRms(audio, window);
    if (rms.empty()) return;
    for (std::size_t i = 0; i < rms.size(); ++i) {
        const double t = (i + 0.5) * window / audio.sampleRate;
        const double y = frame.y(toDb(rms[i]));
        if (i == 0)
            cairo_move_to(cr, frame.x(t), y);
        else
            cairo_line_to(cr, frame.x(t), y);
    }
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_set_line_width(cr, 1.4);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
}

void drawLegend(cairo_t* cr, double tempo) {
    double x = kLeft;
    for (auto [label, colour] :
         {std::pair{"input", kInputColour}, std::pair{"output", kOutputColour}}) {
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_rectangle(cr, x, 9, 18, 4);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        text(cr, x + 24, 15, label, 0.0);
        x += 90;
    }
    text(cr, kWidth - kRight, 15, fmt::format("RMS per 10 ms, {:g} BPM, bars numbered", tempo),
         1.0);
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* bytes = static_cast<std::vector<uint8_t>*>(closure);
    bytes->insert(bytes->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

std::vector<uint8_t> drawPng(const StereoAudio& input, const StereoAudio& output, double tempo) {
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight),
                    cairo_surface_destroy);
    Context context(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = context.get();
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);

    const Frame frame{std::max(input.seconds(), 1e-3)};
    drawDbGrid(cr, frame);
    drawBeatGrid(cr, frame, tempo);
    drawTimeAxis(cr, frame);
    cairo_save(cr);
    cairo_rectangle(cr, kLeft, kTop - 1, kWidth - kLeft - kRight, kHeight - kTop - kBottom + 2);
    cairo_clip(cr);
    drawLevel(cr, frame, input, kInputColour);
    drawLevel(cr, frame, output, kOutputColour);
    cairo_restore(cr);
    drawLegend(cr, tempo);

    std::vector<uint8_t> png;
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_write_to_png_stream(surface.get(), appendBytes, &png) != CAIRO_STATUS_SUCCESS)
        throw RenderError("cannot draw the level plot");
    return png;
}

} // namespace

std::vector<uint8_t> levelPlotPng(const StereoAudio& input, const StereoAudio& output,
                                  double tempo) {
    std::vector<uint8_t> png = drawPng(input, output, tempo);
    // Frees the font caches the text pulled in, which would otherwise
    // outlive the program; no other cairo object exists in this process.
    cairo_debug_reset_static_data();
    FcFini();
    return png;
}

// ---- demo loop ----

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
void addVoice(StereoAudio& audio, std::size_t start, double seconds, float gainLeft,
              float gainRight, Voice voice) {
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
        lowpass += (n - lowpass) * 0.1f; // keep the crack, lose the rumble
        const double tone = 0.3 * std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05);
        return static_cast<float>(tone + 0.5 * (n - lowpass) * std::exp(-t / 0.07));
    });
}

void addHat(StereoAudio& audio, std::size_t start, bool onBeat, Noise& noise) {
    float previous = 0.0f;
    const float level = onBeat ? 0.16f : 0.1f;
    addVoice(audio, start, 0.08, onBeat ? level : 0.7f * level, onBeat ? 0.7f * level : level,
             [&](double t) {
                 const float n = noise.next();
                 const float bright = n - previous; // first difference: a steep highpass
                 previous = n;
                 return static_cast<float>(bright * std::exp(-t / 0.02));
             });
}

void addBassLine(StereoAudio& audio, double samplesPerBeat) {
    static const int kSemitones[16] = {0, 0, 3, 0, 5, 5, 3, -2, 0, 0, 3, 7, 5, 3, -2, 0};
    constexpr double kRootHz = 41.2; // E1
    double phase = 0.0;
    for (std::size_t i = 0; i < audio.frames(); ++i) {
        const double beat = i / samplesPerBeat;
        const int note = kSemitones[static_cast<int>(beat) % 16];
        const double withinBeat = (beat - std::floor(beat)) * samplesPerBeat / kSampleRate;
        const double untilNext = (std::floor(beat) + 1 - beat) * samplesPerBeat / kSampleRate;
        const double envelope = std::min({1.0, withinBeat / 0.005, untilNext / 0.02});
        phase += kTwoPi * kRootHz * std::pow(2.0, note / 12.0) / kSampleRate;
        const float sample =
            static_cast<float>(0.45 * envelope * (std::sin(phase) + 0.15 * std::sin(2 * phase)));
        audio.left[i] += sample;
        audio.right[i] += sample;
    }
}

} // namespace

StereoAudio demoLoop(double tempo) {
    const double samplesPerBeat = kSampleRate * 60.0 / tempo;
    const int beats = kBars * 4;
    StereoAudio audio = silentAudio(static_cast<std::size_t>(std::llround(beats * samplesPerBeat)),
                                    kSampleRate, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    Noise noise;
    addBassLine(audio, samplesPerBeat);
    for (int beat = 0; beat < beats; ++beat) {
        const auto at = [&](double b) {
            return static_cast<std::size_t>(std::llround(b * samplesPerBeat));
        };
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

// ---- staged files ----

namespace {

// Fixed storage: the signal handler may only make async-signal-safe calls.
constexpr int kSlots = 8;
char gPendingPaths[kSlots][PATH_MAX];
volatile std::sig_atomic_t gPendingUsed[kSlots];

extern "C" void removePendingAndReraise(int signal) {
    for (int i = 0; i < kSlots; ++i)
        if (gPendingUsed[i]) unlink(gPendingPaths[i]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void installInterruptCleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal, removePendingAndReraise);
}

int registerPending(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    installInterruptCleanup();
    for (int i = 0; i < kSlots; ++i) {
        if (gPendingUsed[i]) continue;
        std::memcpy(gPendingPaths[i], path.c_str(), path.size() + 1);
        gPendingUsed[i] = 1;
        return i;
    }
    return -1;
}

void unregisterPending(int slot) {
    if (slot >= 0) gPendingUsed[slot] = 0;
}

} // namespace

StagedFile::StagedFile(const std::string& target) : target_(target) {
    if (!file_.open(target)) fail();
    slot_ = registerPending(file_.temporaryPath());
}

StagedFile::~StagedFile() {
    unregisterPending(slot_);
}

void StagedFile::fail() const {
    throw RenderError(fmt::format("cannot write '{}': {}", target_, std::strerror(errno)));
}

void StagedFile::writeAll(const void* data, std::size_t size) {
    if (!file_.write(data, size)) fail();
}

void StagedFile::commit() {
    if (!file_.commit()) fail();
    unregisterPending(slot_);
    slot_ = -1;
}

} // namespace norvale::render
