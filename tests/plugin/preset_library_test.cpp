#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include <clap/ext/preset-load.h>

#include "plugin/curve_access.h"
#include "plugin/gui_delegate.h"
#include "presets/builtin_presets.h"
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

std::optional<std::string> optionalText(const char* text) {
    return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
}

// A plug-in whose user preset folder is a fresh temporary one.
class PresetLibrary : public ::testing::Test {
protected:
    PresetLibrary()
        : config("XDG_CONFIG_HOME", dir.path()), p(host), gui(p.object()), curves(p.object()),
          userDir(dir / "Norvale/presets") {}

    bool load(uint32_t kind, const char* location, const char* key) {
        return p.ext<clap_plugin_preset_load>(CLAP_EXT_PRESET_LOAD)
            .from_location(p.plugin, kind, location, key);
    }
    void userFile(const std::string& relative, const std::string& text) {
        const std::string path = userDir + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        writeFile(path, text);
    }
    // Names after the ten built-ins.
    std::vector<std::string> userNames() const {
        std::vector<std::string> names;
        for (const auto& entry : gui.guiPresets())
            if (entry.user) names.push_back(entry.folder + ":" + entry.name);
        return names;
    }

    TempDir dir;
    ScopedEnv config;
    FakeHost host;
    TestPlugin p;
    plugincore::GuiDelegate& gui;
    CurveAccess& curves;
    std::string userDir;
};

// Everything a load replaces, for "nothing changed" checks.
struct Sound {
    std::vector<double> values;
    std::vector<std::string> curves;
    std::string chain;
    int current;
    bool edited;

    explicit Sound(const NorvalePlugin& o)
        : chain(formatChain(o.curveSet)), current(o.currentPreset), edited(o.presetEdited) {
        for (uint32_t id = 0; id < kParamCount; ++id) values.push_back(o.paramValue(id));
        for (const auto& module : o.curveSet.curves)
            for (const Curve& curve : module) curves.push_back(curve.format());
    }
    bool operator==(const Sound&) const = default;
};

TEST_F(PresetLibrary, WithoutUserPresetsTheBuiltinsAreListedInTableOrder) {
    static constexpr const char* kNames[] = {
        "Bended Duck",     "Crush Steps", "Drive Pump",   "Filter Wobble", "Gated Stabs",
        "Half Speed Stop", "Kick Duck",   "Live Stutter", "Pan Steps",     "Sidechain Duck"};
    p.object().ensurePresetList();
    const auto& list = gui.guiPresets();
    ASSERT_EQ(list.size(), 10u);
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].name, kNames[i]);
        EXPECT_EQ(list[i].loadKey, kBuiltinPresets[i].key);
        EXPECT_EQ(list[i].folder, "Factory Presets");
        EXPECT_FALSE(list[i].user);
        EXPECT_TRUE(list[i].path.empty());
    }
    EXPECT_EQ(list[6].description.rfind("The low band dips on every quarter note", 0), 0u);
    EXPECT_EQ(gui.guiCurrentPreset(), -1);
    EXPECT_EQ(gui.guiSuggestedPresetName(), "New Shape");
}

TEST_F(PresetLibrary, UserPresetsFollowByFolderThenNameAndOddFilesAreLeftOut) {
    userFile("Zed.norvale", "mix = 0.5\n");
    userFile("Alpha.norvale", "mix = 0.5\n");
    userFile("lower.norvale", "name = alpha\n");  // bytes: 'a' sorts after 'Z'
    userFile("Bass/Beta.norvale", "mix = 0.5\n");
    userFile("AAA/First.norvale", "mix = 0.5\n");  // still after the built-ins
    userFile(".hidden/Hid.norvale", "mix = 0.5\n");
    userFile(".norvale", "mix = 0.5\n");
    userFile("Loud.NORVALE", "mix = 0.5\n");
    userFile("Bass/Deeper/Two.norvale", "mix = 0.5\n");
    userFile("Broken.norvale", "this line has no equals sign\n");
    std::filesystem::create_directories(userDir + "/Folder.norvale");

    p.object().ensurePresetList();
    EXPECT_EQ(userNames(), (std::vector<std::string>{":Alpha", ":Zed", ":alpha", ".hidden:Hid",
                                                     "AAA:First", "Bass:Beta"}));
    const auto& list = gui.guiPresets();
    ASSERT_EQ(list.size(), 16u);
    EXPECT_EQ(list[9].name, "Sidechain Duck");
    EXPECT_EQ(list[15].path, userDir + "/Bass/Beta.norvale");
    EXPECT_TRUE(list[15].loadKey.empty());
    EXPECT_TRUE(host.logs.empty());

    // Built once: files that appear later wait for the next save.
    userFile("Late.norvale", "mix = 0.5\n");
    p.object().ensurePresetList();
    EXPECT_EQ(gui.guiPresets().size(), 16u);
}

TEST_F(PresetLibrary, LoadingABuiltinReplacesTheWholeSound) {
    gui.guiSetParam(kParamCrsOn, 1.0);
    curves.curveChainAdd(kWid);
    const size_t rescans = host.rescans.size();
    ASSERT_TRUE(load(kBuiltin, nullptr, "kick_duck"));

    EXPECT_EQ(gui.guiCurrentPreset(), 6);
    EXPECT_FALSE(gui.guiPresetEdited());
    ASSERT_EQ(host.presetsLoaded.size(), 1u);
    EXPECT_EQ(host.presetsLoaded[0].kind, kBuiltin);
    EXPECT_EQ(host.presetsLoaded[0].location, std::nullopt);
    EXPECT_EQ(host.presetsLoaded[0].loadKey, "kick_duck");
    ASSERT_EQ(host.rescans.size(), rescans + 1);
    EXPECT_EQ(host.rescans.back(), CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);

    EXPECT_EQ(p.value(kParamCrsOn), kParams[kParamCrsOn].defaultValue);
    EXPECT_EQ(p.value(kParamVolOn), 1.0);
    EXPECT_EQ(p.object().curveSet.chainLength, 0);
    EXPECT_EQ(curves.curveAt(kVol, kBandLow).count, 3);
    CurveSet published;
    p.object().engine.readCurves(published);
    EXPECT_EQ(published.curves[kVol][kBandLow].format(), curves.curveAt(kVol, kBandLow).format());
    EXPECT_EQ(gui.guiSuggestedPresetName(), "Kick Duck");

    // The draft id reaches the same table.
    EXPECT_EQ(p.plugin->get_extension(p.plugin, CLAP_EXT_PRESET_LOAD_COMPAT),
              p.plugin->get_extension(p.plugin, CLAP_EXT_PRESET_LOAD));
}

TEST_F(PresetLibrary, AFailedLoadChangesNothingAndTellsTheHost) {
    ASSERT_TRUE(load(kBuiltin, nullptr, "bended_duck"));
    curves.curveAddPoint(kDrv, kBandMid, 0.3f, 0.2f, 0);
    const Sound before(p.object());
    ASSERT_TRUE(before.edited);

    const std::string broken = dir / "broken.norvale";
    // The second curve line lacks the blanks around "=".
    writeFile(broken,
              "mix = 0.3\ncurve vol 0 = 0 1 0 0, 1 0.5 0 0\ncurve vol 1=0 1 0 0, 1 1 0 0\n");
    const std::string missing = dir / "missing.norvale";
    struct Case {
        uint32_t kind;
        const char* location;
        const char* key;
        std::string message;
    };
    const Case cases[] = {
        {kBuiltin, nullptr, "nope", "unknown built-in preset 'nope'"},
        {kBuiltin, nullptr, nullptr, "unknown built-in preset ''"},
        {kFile, broken.c_str(), nullptr, broken + ": a shape curve line could not be read"},
        {kFile, missing.c_str(), nullptr, "cannot open '" + missing + "'"},
        {kFile, nullptr, "kick_duck", "missing preset path"},
        {kFile, "", nullptr, "missing preset path"},
        {7, nullptr, "kick_duck", "unsupported location kind"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        host.presetErrors.clear();
        host.logs.clear();
        EXPECT_FALSE(load(c.kind, c.location, c.key));
        EXPECT_TRUE(Sound(p.object()) == before);
        ASSERT_EQ(host.presetErrors.size(), 1u);
        const FakeHost::PresetCall& error = host.presetErrors[0];
        EXPECT_EQ(error.kind, c.kind);
        EXPECT_EQ(error.location, optionalText(c.location));
        EXPECT_EQ(error.loadKey, optionalText(c.key));
        EXPECT_EQ(error.osError, 0);
        EXPECT_EQ(error.message, c.message);
        ASSERT_EQ(host.logs.size(), 1u);
        EXPECT_EQ(host.logs[0].severity, CLAP_LOG_WARNING);
        EXPECT_EQ(host.logs[0].message, c.message);
    }
    EXPECT_EQ(host.presetsLoaded.size(), 1u);
}

TEST_F(PresetLibrary, SavedSoundComesBackWhole) {
    // A distinct shape in every curve, drawn band by band.
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
        else if (desc.kind == plugincore::ParamKind::Plain)
            value = desc.minValue + 6.0;
        else if (desc.kind == plugincore::ParamKind::Log)
            value = plugincore::realToParam(desc, std::round(desc.realMin * 3.0));
        gui.guiSetParam(desc.id, value);
    }
    curves.curveChainMove(kPan, 0);
    const Sound saved(p.object());

    std::string err;
    ASSERT_TRUE(gui.guiSavePreset("Round Trip", err)) << err;
    const int index = gui.guiCurrentPreset();
    ASSERT_EQ(index, 10);
    EXPECT_EQ(gui.guiPresets()[index].path, userDir + "/Round_Trip.norvale");
    EXPECT_FALSE(gui.guiPresetEdited());

    ASSERT_TRUE(load(kBuiltin, nullptr, "pan_steps"));
    const Sound between(p.object());
    ASSERT_NE(between.values, saved.values);
    ASSERT_NE(between.curves, saved.curves);
    ASSERT_NE(between.chain, saved.chain);
    gui.guiLoadPreset(index);
    const Sound loaded(p.object());
    for (uint32_t id = 0; id < kParamCount; ++id)
        EXPECT_NEAR(loaded.values[id], saved.values[id], 1e-9) << kParams[id].key;
    EXPECT_EQ(loaded.curves, saved.curves);
    EXPECT_EQ(loaded.chain, "pan vol flt drv crs tim wid");
    EXPECT_EQ(loaded.current, index);
    EXPECT_EQ(host.presetsLoaded.back().kind, kFile);
    EXPECT_EQ(host.presetsLoaded.back().location, userDir + "/Round_Trip.norvale");
    EXPECT_EQ(host.presetsLoaded.back().loadKey, std::nullopt);

    // The editor moves a point: the preset is edited; a load clears that.
    curves.curveMovePoint(kVol, kBandMid, 1, 0.5f, 0.5f);
    EXPECT_TRUE(gui.guiPresetEdited());
    gui.guiLoadPreset(0);
    EXPECT_FALSE(gui.guiPresetEdited());
}

TEST_F(PresetLibrary, SavingIntoAFolderUsesTheTypedName) {
    std::string err;
    ASSERT_TRUE(gui.guiSavePreset("Bass / Deep Sub", err)) << err;
    const std::string path = userDir + "/Bass/Deep_Sub.norvale";
    EXPECT_NE(readFile(path).find("\nname = Deep Sub\n"), std::string::npos);
    EXPECT_EQ(userNames(), (std::vector<std::string>{"Bass:Deep Sub"}));
    EXPECT_EQ(gui.guiPresets()[gui.guiCurrentPreset()].path, path);
    EXPECT_EQ(gui.guiSuggestedPresetName(), "Deep Sub");

    // The same stem replaces the file.
    ASSERT_TRUE(gui.guiSavePreset("Bass\\Deep  Sub", err)) << err;
    EXPECT_EQ(userNames(), (std::vector<std::string>{"Bass:Deep  Sub"}));

    for (const char* typed : {"Bass/", "  ", "Bass / "}) {
        err.clear();
        EXPECT_FALSE(gui.guiSavePreset(typed, err)) << typed;
        EXPECT_EQ(err, "Give the preset a name after the folder.");
    }
}

TEST_F(PresetLibrary, AFailedSaveLeavesTheListAndTheMarksAlone) {
    ASSERT_TRUE(load(kBuiltin, nullptr, "gated_stabs"));
    gui.guiSetParam(kParamMix, 0.5);
    writeFile(dir / "Norvale", "a file where the folder should be");
    std::string err;
    EXPECT_FALSE(gui.guiSavePreset("Blocked", err));
    EXPECT_EQ(err.rfind("cannot create ", 0), 0u) << err;
    EXPECT_EQ(gui.guiPresets().size(), 10u);
    EXPECT_EQ(gui.guiCurrentPreset(), 4);
    EXPECT_TRUE(gui.guiPresetEdited());

    ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv noHome("HOME", std::nullopt);
    EXPECT_FALSE(gui.guiSavePreset("Anything", err));
    EXPECT_EQ(err, "No user preset directory: neither XDG_CONFIG_HOME nor HOME is set.");
}

}  // namespace
}  // namespace norvale::test
