#include "render_harness.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace norvale::render::test {

namespace fs = std::filesystem;

std::string RenderTest::file(const std::string& name) const {
    return (root / "work" / name).string();
}
std::string RenderTest::userPresets() const {
    return (root / "config/Norvale/presets").string();
}

std::vector<std::string> RenderTest::tree() const {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        entries.push_back(entry.path().string());
    std::sort(entries.begin(), entries.end());
    return entries;
}

ToolRun RenderTest::run(const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& environment) const {
    std::vector<std::string> argvStrings = {NORVALE_RENDER_TOOL, "--plugin", NORVALE_PLUGIN_PATH};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argvStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const fs::path outPath = root / "stdout.txt", errPath = root / "stderr.txt";
    const pid_t child = fork();
    if (child == 0) {
        dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        unsetenv("NORVALE_CLAP");
        for (const auto& [name, value] : environment)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ToolRun result;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return result;
}

void writeSound(const std::string& path, const Sound& sound) {
    SF_INFO info{};
    info.samplerate = sound.sampleRate;
    info.channels = static_cast<int>(sound.channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* handle = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(handle, nullptr) << sf_strerror(nullptr);
    std::vector<float> interleaved;
    for (size_t i = 0; i < sound.frames(); ++i)
        for (const auto& channel : sound.channels)
            interleaved.push_back(channel[i]);
    sf_writef_float(handle, interleaved.data(), static_cast<sf_count_t>(sound.frames()));
    sf_close(handle);
}

Sound readSound(const std::string& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* handle = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(handle, nullptr) << path << ": " << sf_strerror(nullptr);
    if (handle == nullptr) return sound;
    sound.sampleRate = info.samplerate;
    std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(handle, interleaved.data(), info.frames);
    sf_close(handle);
    sound.channels.assign(static_cast<size_t>(info.channels), std::vector<float>(info.frames));
    for (sf_count_t i = 0; i < info.frames; ++i)
        for (int c = 0; c < info.channels; ++c)
            sound.channels[c][i] = interleaved[i * info.channels + c];
    return sound;
}

void writeText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    presets_test::writeFile(path, text);
}

double toneLevel(const Sound& sound, size_t channel, double frequency, size_t start,
                 size_t length) {
    const std::vector<float>& samples = sound.channels.at(channel);
    double re = 0.0, im = 0.0, weights = 0.0;
    for (size_t i = 0; i < length && start + i < samples.size(); ++i) {
        const double weight = 0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(length - 1));
        const double phase = 2.0 * M_PI * frequency * double(i) / sound.sampleRate;
        re += weight * samples[start + i] * std::cos(phase);
        im += weight * samples[start + i] * std::sin(phase);
        weights += weight;
    }
    return weights > 0.0 ? 2.0 * std::hypot(re, im) / weights : 0.0;
}

} // namespace norvale::render::test
