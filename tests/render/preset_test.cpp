// The preset options: listing what the plug-in offers, loading by name, key
// or file, saving the sound as a user preset and loading it back, and
// failures that write nothing.
#include <filesystem>
#include <fstream>

#include "preset_fixture.h"

namespace norvale::render::test {
namespace {

namespace fs = std::filesystem;

using PresetLibrary = PresetRender;

void writeText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

TEST_F(PresetLibrary, ListsTheTenBuiltinsInTableOrder) {
    const std::vector<ListedPreset> listed = listPresets();
    const std::vector<std::pair<std::string, std::string>> builtins = {
        {"Bended Duck", "bended_duck"},   {"Crush Steps", "crush_steps"},
        {"Drive Pump", "drive_pump"},     {"Filter Wobble", "filter_wobble"},
        {"Gated Stabs", "gated_stabs"},   {"Half Speed Stop", "half_speed_stop"},
        {"Kick Duck", "kick_duck"},       {"Live Stutter", "live_stutter"},
        {"Pan Steps", "pan_steps"},       {"Sidechain Duck", "sidechain_duck"}};
    ASSERT_EQ(listed.size(), builtins.size());
    for (std::size_t i = 0; i < builtins.size(); ++i) {
        EXPECT_EQ(listed[i].folder, "Factory Presets") << i;
        EXPECT_EQ(listed[i].name, builtins[i].first) << i;
        EXPECT_EQ(listed[i].keyOrFile, builtins[i].second) << i;
    }
}

TEST_F(PresetLibrary, ListsUserPresetsAfterTheBuiltinsByFolderThenName) {
    writeText(userPresets() + "/Zed.norvale", "name = Zed\n");
    writeText(userPresets() + "/Alpha.norvale", "mix = 0.5\n");  // named after its file
    writeText(userPresets() + "/Aa/Deep.norvale", "name = Deep\n");  // sorts before "Factory Presets"
    writeText(userPresets() + "/Broken.norvale", "not a preset\n");
    const std::vector<ListedPreset> listed = listPresets();
    ASSERT_EQ(listed.size(), 13u);
    const std::vector<std::vector<std::string>> user = {{"", "Alpha", userPresets() + "/Alpha.norvale"},
                                                        {"", "Zed", userPresets() + "/Zed.norvale"},
                                                        {"Aa", "Deep", userPresets() + "/Aa/Deep.norvale"}};
    for (std::size_t i = 0; i < user.size(); ++i)
        EXPECT_EQ((std::vector<std::string>{listed[10 + i].folder, listed[10 + i].name, listed[10 + i].keyOrFile}),
                  user[i]);
}

TEST_F(PresetLibrary, SavedPresetIsListedAndLoadsAsTheSoundItWasSavedFrom) {
    const std::string tones = writeTones(2.0);
    const ToolRun saved =
        runWithPresets({"--preset", "kick_duck", "--set", "mix=50", "--save-preset", "Bass / My Duck"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const std::string path = userPresets() + "/Bass/My_Duck.norvale";
    EXPECT_EQ(saved.out, "saved preset 'My Duck' to " + path + "\n");
    EXPECT_EQ(workFiles(), std::vector<std::string>{"tones.wav"}) << "saving alone renders nothing";

    const std::vector<ListedPreset> listed = listPresets();
    ASSERT_EQ(listed.size(), 11u);
    EXPECT_EQ(listed[10].folder, "Bass");
    EXPECT_EQ(listed[10].name, "My Duck");
    EXPECT_EQ(listed[10].keyOrFile, path);

    // Saving alongside a render writes both.
    ToolRun result = runWithPresets(
        {"--preset", "kick_duck", "--set", "mix=50", "--save-preset", "Also", tones, file("reference.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("\nsaved preset 'Also' to " + userPresets() + "/Also.norvale\n"), std::string::npos)
        << result.out;
    EXPECT_TRUE(fs::is_regular_file(userPresets() + "/Also.norvale"));
    const Sound reference = readSound(file("reference.wav"));
    for (const std::string& wanted : {std::string("My Duck"), std::string("bass/my duck"), path}) {
        result = runWithPresets({"--preset", wanted, tones, file("out.wav")});
        ASSERT_EQ(result.exitCode, 0) << wanted << ": " << result.err;
        EXPECT_EQ(readSound(file("out.wav")).channels, reference.channels) << wanted;
    }
    // Without the mix setting the sound differs, so the comparison above means something.
    result = runWithPresets({"--preset", "Kick Duck", tones, file("out.wav")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(readSound(file("out.wav")).channels, reference.channels);
}

struct PresetFailure {
    const char* name;
    std::vector<std::string> args;  // IN, OUT, BROKEN and MISSING stand for files of the test
    enum { Config, NoConfig, BlockedConfig } environment;
    int exitCode;
    std::vector<std::string> mentions;  // texts the error line must contain
};

void PrintTo(const PresetFailure& c, std::ostream* out) { *out << c.name; }

class FailingPreset : public PresetRender, public ::testing::WithParamInterface<PresetFailure> {
protected:
    std::vector<std::string> configTree() const {
        std::vector<std::string> entries;
        std::error_code error;
        for (fs::recursive_directory_iterator it(configHome(), error), end; !error && it != end; it.increment(error))
            entries.push_back(it->path().string());
        std::sort(entries.begin(), entries.end());
        return entries;
    }
};

TEST_P(FailingPreset, FailsWithOneLineAndWritesNothing) {
    const PresetFailure& c = GetParam();
    writeTones(0.5);
    writeText(file("broken.norvale"), "name = Broken\ncurve vol 0 = nonsense\n");
    std::vector<std::pair<std::string, std::string>> environment = {{"XDG_CONFIG_HOME", configHome()}};
    if (c.environment == PresetFailure::NoConfig) environment = {{"XDG_CONFIG_HOME", ""}, {"HOME", ""}};
    if (c.environment == PresetFailure::BlockedConfig) writeText(configHome() + "/Norvale", "a file, not a folder");
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(arg == "IN" ? file("tones.wav") : arg == "OUT" ? file("out.wav")
                       : arg == "BROKEN" ? file("broken.norvale") : arg == "MISSING" ? file("missing.norvale") : arg);
    const std::vector<std::string> workBefore = workFiles(), configBefore = configTree();

    const ToolRun result = run(args, environment);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(result.err.rfind("norvale-render: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    for (const std::string& text : c.mentions) EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
    EXPECT_EQ(workFiles(), workBefore);
    EXPECT_EQ(configTree(), configBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailingPreset,
    ::testing::Values(
        PresetFailure{"UnknownName", {"--preset", "Kik Duck", "IN", "OUT"}, PresetFailure::Config, 2,
                      {"unknown preset 'Kik Duck'", "nearest: Kick Duck,"}},
        PresetFailure{"BrokenFile", {"--preset", "BROKEN", "--save-preset", "Copy", "IN", "OUT"},
                      PresetFailure::Config, 1,
                      {"broken.norvale: a shape curve line could not be read"}},
        PresetFailure{"MissingFile", {"--preset", "MISSING", "IN", "OUT"}, PresetFailure::Config, 1,
                      {"cannot open", "missing.norvale"}},
        PresetFailure{"NoNameAfterFolder", {"--preset", "kick_duck", "--save-preset", "Bass/", "IN", "OUT"},
                      PresetFailure::Config, 2, {"Give the preset a name after the folder."}},
        PresetFailure{"NoUserPresetFolder", {"--preset", "kick_duck", "--save-preset", "Duck", "IN", "OUT"},
                      PresetFailure::NoConfig, 1,
                      {"No user preset directory: neither XDG_CONFIG_HOME nor HOME is set."}},
        PresetFailure{"UserPresetFolderBlocked", {"--preset", "kick_duck", "--save-preset", "Duck", "IN", "OUT"},
                      PresetFailure::BlockedConfig, 1, {"cannot create"}},
        PresetFailure{"PresetAndState", {"--preset", "kick_duck", "--state-in", "IN", "IN", "OUT"},
                      PresetFailure::Config, 2, {"--state-in"}},
        PresetFailure{"SavingOnlyWithAPlot", {"--save-preset", "Duck", "--plot", "OUT"}, PresetFailure::Config, 2,
                      {"--plot needs INPUT and OUTPUT"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace norvale::render::test
