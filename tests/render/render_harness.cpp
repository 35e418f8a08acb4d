#include "render_harness.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvale::render::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void appendU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void appendText(std::vector<uint8_t>& out, const std::string& text) {
    appendU32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

void RenderTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "norvale-render-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directory(root_ / "work");
}

void RenderTest::TearDown() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string RenderTest::file(const std::string& name) const { return (root_ / "work" / name).string(); }

std::string RenderTest::besideWork(const std::string& name) const { return (root_ / name).string(); }

std::vector<std::string> RenderTest::workFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "work")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ToolRun RenderTest::run(const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& environment) const {
    std::vector<std::string> full = {"--plugin", NORVALE_PLUGIN_PATH};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<std::pair<std::string, std::string>> changes = {{"NORVALE_CLAP", ""}};
    changes.insert(changes.end(), environment.begin(), environment.end());
    return runRaw(full, changes);
}

ToolRun RenderTest::runRaw(const std::vector<std::string>& args,
                           const std::vector<std::pair<std::string, std::string>>& environment) const {
    const fs::path outPath = root_ / "stdout.txt";
    const fs::path errPath = root_ / "stderr.txt";
    std::vector<std::string> argvStrings = {NORVALE_RENDER_TOOL};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argvStrings) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        for (const auto& [name, value] : environment) {
            if (value.empty()) unsetenv(name.c_str());
            else setenv(name.c_str(), value.c_str(), 1);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    ToolRun result;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

void writeSound(const std::string& path, const Sound& sound) {
    SF_INFO info{};
    info.samplerate = sound.sampleRate;
    info.channels = static_cast<int>(sound.channels.size());
    info.format = sound.format;
    SNDFILE* handle = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(handle, nullptr) << sf_strerror(nullptr);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < sound.frames(); ++i)
        for (const auto& channel : sound.channels) interleaved.push_back(channel[i]);
    sf_writef_float(handle, interleaved.data(), static_cast<sf_count_t>(sound.frames()));
    sf_close(handle);
}

Sound readSound(const std::string& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* handle = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(handle, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!handle) return sound;
    sound.sampleRate = info.samplerate;
    sound.format = info.format;
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(handle, interleaved.data(), info.frames);
    sf_close(handle);
    sound.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(info.frames));
    for (sf_count_t i = 0; i < info.frames; ++i)
        for (int c = 0; c < info.channels; ++c) sound.channels[c][i] = interleaved[i * info.channels + c];
    return sound;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    const std::string text = slurp(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

double windowRms(const Sound& sound, std::size_t start, std::size_t end) {
    double sum = 0.0;
    std::size_t count = 0;
    for (const auto& channel : sound.channels)
        for (std::size_t i = start; i < end && i < channel.size(); ++i, ++count) sum += double(channel[i]) * channel[i];
    return count ? std::sqrt(sum / count) : 0.0;
}

double toneLevel(const Sound& sound, std::size_t channel, double frequency, std::size_t start, std::size_t length) {
    const std::vector<float>& samples = sound.channels.at(channel);
    double re = 0.0, im = 0.0, weights = 0.0;
    for (std::size_t i = 0; i < length && start + i < samples.size(); ++i) {
        const double weight = 0.5 - 0.5 * std::cos(2.0 * M_PI * double(i) / double(length - 1));
        const double phase = 2.0 * M_PI * frequency * double(i) / sound.sampleRate;
        re += weight * samples[start + i] * std::cos(phase);
        im += weight * samples[start + i] * std::sin(phase);
        weights += weight;
    }
    return weights > 0.0 ? 2.0 * std::hypot(re, im) / weights : 0.0;
}

std::vector<uint8_t> stateWithVolumeCurve(const std::string& volumeCurve) {
    const std::string flatFull = "0.0000 1.0000 0 0.000, 1.0000 1.0000 0 0.000";
    const std::string flatHalf = "0.0000 0.5000 0 0.000, 1.0000 0.5000 0 0.000";
    std::vector<uint8_t> state = {'N', 'O', 'R', 'V'};
    appendU32(state, 3);  // version
    appendU32(state, 0);  // parameter count
    for (int module = 0; module < 7; ++module)
        for (int band = 0; band < 3; ++band)
            appendText(state, module == 0 ? volumeCurve : module >= 5 ? flatHalf : flatFull);
    state.insert(state.end(), {0, 1, 1, 1, 0});  // selection, snap, all bands, steps
    appendText(state, "");                       // chain
    return state;
}

}  // namespace norvale::render::test
