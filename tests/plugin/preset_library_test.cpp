// The plug-in's preset library through the editor's interface and the
// preset-load extension: the list, loads that replace the whole sound or
// nothing, and saves that keep what the preset was.
#include <gtest/gtest.h>

#include <clap/ext/preset-load.h>

#include <cmath>
#include <filesystem>

#include "plugin/curve_access.h"
#include "plugin/gui_delegate.h"
#include "tests/plugin/fake_host.h"
#include "tests/presets/test_files.h"

namespace norvale::test {
namespace {

using presets_test::readFile;
using presets_test::ScopedEnv;
using presets_test::TempDir;
using presets_test::writeFile;
constexpr uint32_t kFile = CLAP_PRESET_DISCOVERY_LOCATION_FILE;
constexpr uint32_t kBuiltin = CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN;

// A plug-in whose user preset folder is a fresh temporary one.
class PresetLibrary : public ::testing::Test {
protected:
    bool load(uint32_t kind, const char* location, const char* key) {
        return p.ext<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD)
            .from_location(p.plugin, kind, location, key);
    }
    void userFile(const std::string& relative, const std::string& text) {
        std::filesystem::create_directories(
            std::filesystem::path(userDir + "/" + relative).parent_path());
        writeFile(userDir + "/" + relative, text);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : gui.guiPresets())
            out.push_back(entry.folder + ":" + entry.name);
        return out;
    }
    // Everything a load replaces, for "nothing changed" checks.
    std::string sound(bool marks = true) const {
        std::string all = formatChain(p.object().curveSet);
        if (marks)
            all += std::to_string(gui.guiCurrentPreset()) + std::to_string(gui.guiPresetEdited());
        for (uint32_t id = 0; id < kParamCount; ++id)
            all += " " + std::to_string(p.value(id));
        for (const auto& module : p.object().curveSet.curves)
            for (const Curve& curve : module)
                all += curve.format();
        return all;
    }
    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir.path()};
    FakeHost host;
    TestPlugin p{host};
    plugincore::GuiDelegate& gui = p.object();
    CurveAccess& curves = p.object();
    std::string userDir = dir / "Norvale/presets";
};

TEST_F(PresetLibrary, BuiltinsFirstThenUserFilesByFolderAndName) {
    userFile("Zed.norvale", "mix = 0.5\n");
    userFile("lower.norvale", "name = alpha\n");  // bytes: 'a' sorts after 'Z'
    userFile("AAA/First.norvale", "mix = 0.5\n"); // still after the built-ins
    for (const char* odd : {".norvale", "Loud.NORVALE", "Bass/Deeper/Two.norvale"})
        userFile(odd, "mix = 0\n");
    userFile("Broken.norvale", "this line has no equals sign\n");
    std::filesystem::create_directories(userDir + "/Folder.norvale");
    p.object().ensurePresetList();
    const std::vector<std::string> listed = names();
    ASSERT_EQ(listed.size(), 13u);
    EXPECT_EQ(listed[0], "Factory Presets:Bended Duck");
    EXPECT_EQ(listed[9], "Factory Presets:Sidechain Duck");
    EXPECT_EQ(std::vector(listed.begin() + 10, listed.end()),
              (std::vector<std::string>{":Zed", ":alpha", "AAA:First"}));
    EXPECT_TRUE(host.logs.empty());
}

TEST_F(PresetLibrary, ALoadReplacesTheWholeSoundOrNothing) {
    gui.guiSetParam(kParamCrsOn, 1.0);
    gui.guiSetParam(kParamBypass, 1.0);
    curves.curveChainAdd(kWid);
    ASSERT_TRUE(load(kBuiltin, nullptr, "kick_duck"));
    EXPECT_EQ(p.value(kParamBypass), 1.0); // not part of a sound
    EXPECT_EQ(gui.guiCurrentPreset(), 6);
    EXPECT_FALSE(gui.guiPresetEdited());
    EXPECT_EQ(host.presetsLoaded.back().loadKey, "kick_duck");
    EXPECT_EQ(curves.curveUndoLabel(false), ""); // a host's load is the host's to undo
    EXPECT_EQ(host.rescans.back(), CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
    EXPECT_EQ(p.value(kParamCrsOn), kParams[kParamCrsOn].defaultValue); // not in the preset
    EXPECT_EQ(p.value(kParamVolOn), 1.0);
    EXPECT_EQ(p.object().curveSet.chainLength, 0);
    CurveSet published;
    p.object().engine.readCurves(published);
    EXPECT_EQ(published.curves[kVol][kBandLow].format(), curves.curveAt(kVol, kBandLow).format());

    curves.curveAddPoint(kDrv, kBandMid, 0.3f, 0.2f, 0);
    const std::string before = sound();
    const std::string broken = dir / "broken.norvale";
    writeFile(broken,
              "mix = 0.3\ncurve vol 0 = 0 1 0 0, 1 0.5 0 0\ncurve vol 1=0 1 0 0, 1 1 0 0\n");
    const struct {
        uint32_t kind;
        const char* location;
        const char* key;
        std::string message;
    } cases[] = {
        {kBuiltin, nullptr, "nope", "unknown built-in preset 'nope'"},
        {kFile, broken.c_str(), nullptr, broken + ": line 3: a shape curve line could not be read"},
        {kFile, "", nullptr, "missing preset path"},
        {7, nullptr, "kick_duck", "unsupported location kind"},
    };
    for (const auto& c : cases) {
        host.presetErrors.clear();
        host.logs.clear();
        EXPECT_FALSE(load(c.kind, c.location, c.key));
        EXPECT_EQ(sound(), before) << c.message;
        ASSERT_EQ(host.presetErrors.size(), 1u);
        EXPECT_EQ(host.presetErrors[0].message, c.message);
        ASSERT_EQ(host.logs.size(), 1u);
        EXPECT_EQ(host.logs[0].severity, CLAP_LOG_WARNING);
        EXPECT_EQ(host.logs[0].message, c.message);
    }
}

// After a load the host writes back every value its rescan told of, as
// floats: no edit; nor is a stepped row moved within its step, nor Bypass. The state takes
// name and mark to a reopened song; a stream from before that record leaves
// shown what was shown.
TEST_F(PresetLibrary, EchoesAreNoEditAndTheStateKeepsNameAndMark) {
    const struct {
        uint32_t id;
        double by;
        bool edits;
    } writes[] = {{kParamFltDepth, 0.3, false},
                  {kParamVolRate, -0.4, false},
                  {kParamFltDepth, 0.7, true},
                  {kParamBypass, 1, false},
                  {kParamMix, -0.01, true}};
    for (const auto& w : writes) {
        host.rescans.clear();
        ASSERT_TRUE(load(kBuiltin, nullptr, "kick_duck") && !host.rescans.empty());
        for (uint32_t id = 0; id < kParamCount; ++id)
            p.instance.flushValue(id, static_cast<float>(p.value(id)));
        EXPECT_FALSE(gui.guiPresetEdited());
        p.instance.flushValue(w.id, p.value(w.id) + w.by);
        EXPECT_EQ(gui.guiPresetEdited(), w.edits) << w.id << " by " << w.by;
    }
    const std::vector<uint8_t> edited = *p.instance.save();
    TestPlugin reopened{host};
    ASSERT_TRUE(reopened.instance.load(edited));
    EXPECT_EQ(reopened.object().guiCurrentPreset(), 6);
    EXPECT_TRUE(reopened.object().guiPresetEdited());
    ASSERT_TRUE(load(kBuiltin, nullptr, "pan_steps"));
    const long record = 4 + 4 + 9 + 1; // tag, length, "Kick Duck", mark
    ASSERT_TRUE(p.instance.load({edited.begin(), edited.end() - record}));
    EXPECT_TRUE(gui.guiCurrentPreset() == 8 && !gui.guiPresetEdited());
}

TEST_F(PresetLibrary, ASavedSoundComesBackWholeAndKeepsItsDescription) {
    for (int module = 0; module < kModuleCount; ++module)
        for (int band = 0; band < kBandCount; ++band) {
            curves.curveSelectBand(band);
            curves.curveAddPoint(module, band, 0.1f + 0.1f * module, 0.3f + 0.2f * band, band);
            curves.curveSetBend(module, band, 0, -0.25f * band);
        }
    // Values the text writes exactly: whole real units, quarter fractions.
    for (const plugincore::ParamDesc& desc : kParams) {
        double value = desc.maxValue;
        if (desc.kind == plugincore::ParamKind::Percent)
            value = desc.minValue + 0.25 * (desc.maxValue - desc.minValue);
        if (desc.kind == plugincore::ParamKind::Plain) value = desc.minValue + 6.0;
        if (desc.kind == plugincore::ParamKind::Log)
            value = plugincore::realToParam(desc, std::round(desc.realMin * 3.0));
        gui.guiSetParam(desc.id, value);
    }
    curves.curveChainMove(kPan, 0);
    const std::string saved = sound(false);
    std::string err;
    ASSERT_TRUE(gui.guiSavePreset("Round Trip", "", err)) << err;
    EXPECT_EQ(gui.guiPresets()[10].path, userDir + "/Round_Trip.norvale");
    EXPECT_EQ(readFile(userDir + "/Round_Trip.norvale").find("bypass"), std::string::npos);
    ASSERT_TRUE(load(kBuiltin, nullptr, "pan_steps"));
    gui.guiLoadPreset(10);
    EXPECT_EQ(sound(false), saved);
    EXPECT_EQ(host.presetsLoaded.back().location, userDir + "/Round_Trip.norvale");
    curves.curveMovePoint(kVol, kBandMid, 1, 0.5f, 0.5f);
    EXPECT_TRUE(gui.guiPresetEdited());

    // Saved back under its own name a preset keeps author and tags.
    userFile("Dark.norvale",
             "name = Dark\nauthor = Ada\ndescription = Slow\nfeatures = dark, pad\nmix = 1\n");
    ASSERT_TRUE(gui.guiSavePreset("Bass / Deep Sub", "", err)) << err; // rebuilds the list
    gui.guiLoadPreset(10);
    ASSERT_EQ(gui.guiSuggestedPresetName(), "Dark");
    ASSERT_TRUE(gui.guiSavePreset("Dark", "Slow", err)) << err;
    const std::string text = readFile(userDir + "/Dark.norvale");
    EXPECT_NE(text.find("\nauthor = Ada\ndescription = Slow\nfeatures = dark, pad\n"),
              std::string::npos);
    ASSERT_TRUE(gui.guiSavePreset("Darker", "", err)) << err;
    EXPECT_EQ(readFile(userDir + "/Darker.norvale").find("author"), std::string::npos);
    EXPECT_NE(readFile(userDir + "/Bass/Deep_Sub.norvale").find("\nname = Deep Sub\n"),
              std::string::npos);
}

TEST_F(PresetLibrary, AFailedSaveLeavesTheListAndTheMarksAlone) {
    ASSERT_TRUE(load(kBuiltin, nullptr, "gated_stabs"));
    gui.guiSetParam(kParamMix, 0.5);
    writeFile(dir / "Norvale", "a file where the folder should be");
    std::string err;
    EXPECT_FALSE(gui.guiSavePreset("Blocked", "", err));
    EXPECT_EQ(err.rfind("cannot create ", 0), 0u) << err;
    for (const char* typed : {"Bass/", "  "}) {
        EXPECT_FALSE(gui.guiSavePreset(typed, "", err)) << typed;
        EXPECT_EQ(err, "Give the preset a name after the folder.");
    }
    EXPECT_EQ(gui.guiPresets().size(), 10u);
    EXPECT_EQ(gui.guiCurrentPreset(), 4);
    EXPECT_TRUE(gui.guiPresetEdited()); // no user folder at all: the render tool's test
}

} // namespace
} // namespace norvale::test
