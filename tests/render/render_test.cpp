// norvale-render end to end: failures write nothing, the parameter table is
// the golden one, presets are listed (with the files skipped and why),
// saved and loaded, gains are exact, and ducks follow the tempo and the sidechain.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "render_harness.h"

namespace norvale::render::test {
namespace {

constexpr int kRate = 48000;
constexpr double kTones[3] = {60.0, 1000.0, 8000.0}; // one in each band of every built-in
constexpr double kToneLevel = 0.2;

class Render : public RenderTest {
protected:
    // The three tones, the same on both channels.
    std::string writeTones(double seconds) const {
        Sound sound;
        sound.channels.assign(2, std::vector<float>(static_cast<size_t>(seconds * kRate)));
        for (size_t i = 0; i < sound.frames(); ++i) {
            double sum = 0.0;
            for (double tone : kTones)
                sum += kToneLevel * std::sin(2.0 * M_PI * tone * double(i) / kRate);
            sound.channels[0][i] = sound.channels[1][i] = static_cast<float>(sum);
        }
        writeSound(file("tones.wav"), sound);
        return file("tones.wav");
    }
    Sound render(const std::vector<std::string>& args) const {
        const ToolRun result = run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return readSound(file("out.wav"));
    }
};

// Every failure is one line on standard error, exit 2 for the command line
// and 1 for the run, and leaves every file as it was.
TEST_F(Render, FailuresSayWhyInOneLineAndWriteNothing) {
    Sound sound;
    sound.channels.assign(2, std::vector<float>(4800, 0.25f));
    writeSound(file("in.wav"), sound);
    sound.sampleRate = 44100;
    writeSound(file("sc44.wav"), sound);
    writeText(file("notes.wav"), "these are not samples\n");
    writeText(file("garbage.state"), "XXXXnot a state stream");
    writeText(file("broken.norvale"), "name = Broken\ncurve vol 0 = nonsense\n");
    writeText(file("out.wav"), "the previous render");
    const std::vector<std::string> before = tree();
    for (const auto& row : presets_test::caseFile("render_failures.txt")) {
        std::vector<std::string> args;
        for (size_t i = 2; i < row.size(); ++i)
            args.push_back(row[i].starts_with('@') ? file(row[i].substr(1)) : row[i]);
        const ToolRun result = run(
            args, row[0].ends_with("no home")
                      ? std::vector<std::pair<std::string, std::string>>{{"XDG_CONFIG_HOME", ""},
                                                                         {"HOME", ""}}
                      : std::vector<std::pair<std::string, std::string>>{});
        EXPECT_EQ(result.exitCode, std::stoi(row[0])) << row[1] << ": " << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("norvale-render: ", 0), 0u) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(row[1]), std::string::npos) << result.err;
        EXPECT_EQ(tree(), before) << row[1];
    }
    EXPECT_EQ(readFile(file("out.wav")), "the previous render");
}

TEST_F(Render, ListsTheParameterTableAndThePresets) {
    const ToolRun params = run({"--list-params"});
    EXPECT_EQ(params.out, readFile(std::filesystem::path(NORVALE_TESTS_DIR) / "golden/params.txt"));
    writeText(userPresets() + "/Zed.norvale", "name = Zed\n");
    writeText(userPresets() + "/Aa/Deep.norvale", "mix = 0.5\n"); // named after its file
    writeText(userPresets() + "/Broken.norvale", "not a preset\n");
    const ToolRun listed = run({"--list-presets"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    std::vector<std::string> lines;
    for (size_t at = 0, lf; (lf = listed.out.find('\n', at)) != std::string::npos; at = lf + 1)
        lines.push_back(listed.out.substr(at, lf - at));
    // The order is the library's own test; here: a header, every entry, a path for user files.
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_NE(lines[11].find(userPresets() + "/Zed.norvale"), std::string::npos);
    EXPECT_EQ(listed.err, "skipped a preset file: " + userPresets() +
                              "/Broken.norvale: line 1: expected 'key = value'\n");
}

TEST_F(Render, ASavedPresetLoadsAsTheSoundItWasSavedFrom) {
    const std::string tones = writeTones(1.0);
    const ToolRun saved =
        run({"--preset", "kick_duck", "--set", "mix=50", "--save-preset", "Bass / My Duck"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const std::string path = userPresets() + "/Bass/My_Duck.norvale";
    EXPECT_EQ(saved.out, "saved preset 'My Duck' to " + path + "\n");
    const Sound reference =
        render({"--preset", "kick_duck", "--set", "mix=50", tones, file("out.wav")});
    for (const std::string& wanted : {std::string("My Duck"), std::string("bass/my duck"), path})
        EXPECT_EQ(render({"--preset", wanted, tones, file("out.wav")}).channels, reference.channels)
            << wanted;
    EXPECT_NE(render({"--preset", "Kick Duck", tones, file("out.wav")}).channels,
              reference.channels);
}

TEST_F(Render, MonoInputFeedsBothChannelsTimesTheGainsAtAnyBlockSize) {
    Sound input;
    input.sampleRate = 44100;
    input.channels.assign(1, std::vector<float>(44100));
    std::mt19937 random(1);
    for (float& s : input.channels[0])
        s = std::uniform_real_distribution<float>(-0.5f, 0.5f)(random);
    writeSound(file("in.wav"), input);
    const Sound output = render({"--set", "input=-6 dB", "--set", "output=+3 dB", "--block", "37",
                                 file("in.wav"), file("out.wav")});
    ASSERT_EQ(output.channels.size(), 2u);
    EXPECT_EQ(output.sampleRate, 44100);
    ASSERT_EQ(output.frames(), input.frames());
    for (size_t c = 0; c < 2; ++c)
        for (size_t i = 0; i < input.frames(); ++i)
            ASSERT_NEAR(output.channels[c][i], input.channels[0][i] * std::pow(10.0, -3.0 / 20.0),
                        1e-6)
                << i;
}

// The tool's tempo and sidechain reach the plug-in: built-ins that follow
// them, measured on one tone per band. (That every built-in switches on a
// drawn stage is the presets' own test.)
TEST_F(Render, DucksFollowTheTempoAndTheSidechain) {
    const std::string tones = writeTones(4.0);
    Sound kick;
    kick.channels.assign(1, std::vector<float>(4 * kRate, 0.0f));
    const std::vector<double> hits = {0.3, 1.1, 1.75, 2.9}; // off the beat grid on purpose
    for (double seconds : hits)
        std::fill_n(kick.channels[0].begin() + long(seconds * kRate), 100, 0.9f);
    writeSound(file("kick.wav"), kick);
    // Level of a band's tone relative to the input, and its balance (-1 left).
    const auto level = [](const Sound& s, int band, size_t at) {
        return toneLevel(s, 0, kTones[band], at, 1200) / kToneLevel;
    };
    const size_t beat130 = kRate * 60 / 130;
    const struct {
        std::vector<std::string> args;
        std::function<void(const Sound&)> check;
    } cases[] = {
        {{"--preset", "Kick Duck", "--tempo", "130"},
         [&](const Sound& s) {
             for (size_t onset = 0; onset + beat130 <= s.frames(); onset += beat130) {
                 EXPECT_LT(level(s, 0, onset), 0.3) << onset; // the low band dips on the beat
                 EXPECT_GT(std::min(level(s, 1, onset), level(s, 2, onset)), 0.95) << onset;
                 EXPECT_GT(level(s, 0, onset + beat130 / 2), 0.95) << onset;
             }
         }},
        {{"--preset", "sidechain_duck", "--sidechain", file("kick.wav")},
         [&](const Sound& s) { // every band dips on each hit and only there
             for (double seconds : hits) {
                 const auto hit = size_t(seconds * kRate);
                 for (int band = 0; band < 3; ++band) {
                     EXPECT_GT(level(s, band, hit - 2400), 0.95) << seconds;
                     EXPECT_LT(level(s, band, hit), 0.3) << seconds;
                     EXPECT_GT(level(s, band, hit + kRate / 4), 0.95) << seconds;
                 }
             }
         }},
        {{"--preset", "sidechain_duck"},
         [&](const Sound& s) {
             for (size_t at = 0; at + 1200 <= s.frames(); at += 12000)
                 EXPECT_GT(level(s, 0, at), 0.97) << at;
         }},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {tones, file("out.wav")});
        SCOPED_TRACE(c.args[1]);
        c.check(render(args));
    }
}

} // namespace
} // namespace norvale::render::test
