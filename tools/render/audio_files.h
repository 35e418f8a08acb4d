// Audio in and out of the tool: sound files in memory, their levels, the
// level plot, the demo loop, and files written under a temporary name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "presets/preset_files.h"

namespace norvale::render {

// ---- sound files ----
// Whole sound files in memory as two float channels, read and written with
// libsndfile.

struct StereoAudio {
    std::vector<float> left;
    std::vector<float> right;
    int sampleRate = 48000;
    int format = 0; // libsndfile format word: container, sample type, endianness

    std::size_t frames() const { return left.size(); }
    double seconds() const { return static_cast<double>(frames()) / sampleRate; }
};

StereoAudio silentAudio(std::size_t frames, int sampleRate, int format);

// A mono file feeds both channels; a file with more channels gives its first two.
// Throws RenderError.
StereoAudio readAudioFile(const std::string& path);

// Writes a stereo file of audio.format to an open file descriptor; the
// descriptor stays open. Throws RenderError naming `target`.
void writeAudioFile(int fd, const std::string& target, const StereoAudio& audio);

// ---- levels ----
// Peak and RMS measurements of stereo audio, over both channels.

struct Levels {
    double peak = 0.0; // linear
    double rms = 0.0;  // linear
};

Levels measureLevels(const StereoAudio& audio);

// RMS of consecutive windows; the last one may be shorter.
std::vector<double> windowedRms(const StereoAudio& audio, std::size_t window);

double toDb(double linear); // -inf for silence

// "-3.1", or "-inf" for silence.
std::string dbText(double linear);

// ---- level plot ----
// A picture of input and output level over time on the beat grid.

// PNG bytes: RMS per ~10 ms window in dB, input and output as two lines.
// Throws RenderError.
std::vector<uint8_t> levelPlotPng(const StereoAudio& input, const StereoAudio& output,
                                  double tempo);

// ---- demo loop ----
// A synthesized drum and bass loop to render when no input is at hand.

// Four bars of 4/4 at the tempo, 48 kHz, stored as 24-bit WAV: kick on every
// beat, snare on 2 and 4, hats on the eighths, a sub bass line. Peaks at -1 dBFS.
StereoAudio demoLoop(double tempo);

// ---- staged files ----
// The library's atomic file, throwing RenderError on failure, whose
// temporary file is also removed when the program is interrupted.

class StagedFile {
public:
    explicit StagedFile(const std::string& target); // throws RenderError
    ~StagedFile();                                  // removes the temporary file unless committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    int fd() const { return file_.fd(); }
    const std::string& target() const { return target_; }

    void writeAll(const void* data, std::size_t size); // throws RenderError
    void commit();                                     // throws RenderError

private:
    [[noreturn]] void fail() const;

    std::string target_;
    plugincore::AtomicFile file_;
    int slot_ = -1; // entry in the interrupt clean-up list
};

} // namespace norvale::render
