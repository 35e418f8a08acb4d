// Whole sound files in memory as two float channels, read and written with
// libsndfile.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace norvale::render {

struct StereoAudio {
    std::vector<float> left;
    std::vector<float> right;
    int sampleRate = 48000;
    int format = 0;  // libsndfile format word: container, sample type, endianness

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

}  // namespace norvale::render
