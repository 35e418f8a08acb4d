#include "render/stereo_audio.h"

#include <algorithm>

#include <fmt/format.h>
#include <sndfile.h>

#include "render/errors.h"

namespace norvale::render {
namespace {

constexpr sf_count_t kChunkFrames = 4096;

// Closes on every path out of a read or write.
struct SoundFile {
    SNDFILE* handle = nullptr;
    ~SoundFile() {
        if (handle) sf_close(handle);
    }
};

}  // namespace

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
    if (!file.handle) throw RenderError(fmt::format("cannot read '{}': {}", path, sf_strerror(nullptr)));
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
        throw RenderError(fmt::format("cannot write '{}': its format cannot hold two channels at {} Hz",
                                      target, audio.sampleRate));
    SoundFile file;
    file.handle = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file.handle) throw RenderError(fmt::format("cannot write '{}': {}", target, sf_strerror(nullptr)));
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
            throw RenderError(fmt::format("cannot write '{}': {}", target, sf_strerror(file.handle)));
    }
    const int closed = sf_close(file.handle);
    file.handle = nullptr;
    if (closed != 0) throw RenderError(fmt::format("cannot write '{}': {}", target, sf_error_number(closed)));
}

}  // namespace norvale::render
