// The rack and the preset bar driven through the routing calls the window
// makes, against the real plug-in object (gestures recorded on the way) and
// a real user preset folder.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <cairo.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include "gui/rack.h"
#include "gui/text_edit.h"
#include "plugin/norvale_plugin.h"

namespace norvale {
namespace {

using plugincore::Rect;

struct Gesture {
    char kind; // 'b' begin, 's' set, 'e' end
    uint32_t id;
};

class RecordingPlugin : public NorvalePlugin {
public:
    RecordingPlugin() : NorvalePlugin(nullptr) {}
    void guiBeginEdit(uint32_t id) override {
        log.push_back({'b', id}), NorvalePlugin::guiBeginEdit(id);
    }
    void guiSetParam(uint32_t id, double v) override {
        log.push_back({'s', id}), NorvalePlugin::guiSetParam(id, v);
    }
    void guiEndEdit(uint32_t id) override {
        log.push_back({'e', id}), NorvalePlugin::guiEndEdit(id);
    }
    std::vector<Gesture> log;
};

struct Keyboard : RackHost {
    bool takeKeyboard() override { return ++held > 0; }
    void releaseKeyboard() override { --held; }
    int held = 0;
};

plugincore::WindowSpec editorSpec() {
    plugincore::WindowSpec spec = kWindowSpec;
    spec.paramDescs = paramTable();
    spec.paramDescCount = kParamCount;
    return spec;
}

double centreX(const Rect& r) {
    return r.x + r.width / 2;
}
double centreY(const Rect& r) {
    return r.y + r.height / 2;
}
bool overlap(const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

class RackTest : public ::testing::Test {
public:
    void SetUp() override {
        char folder[] = "/tmp/norvale-rack-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        config = folder;
        setenv("XDG_CONFIG_HOME", folder, 1);
        plugin = std::make_unique<RecordingPlugin>();
        plugin->ensurePresetList();
        rack = std::make_unique<Rack>(*plugin, spec, keyboard);
        rack->buildLayout(0);
    }
    void TearDown() override { std::filesystem::remove_all(config); }

    void click(const Rect& r, int button = 1, uint64_t time = 1000) {
        if (!rack->pressModal(centreX(r), centreY(r), button, time, false))
            rack->pressRack(centreX(r), centreY(r), button, time, false);
        rack->release(button);
    }
    void type(std::string_view text, unsigned long keysym = XK_a) { rack->key(keysym, text); }
    void press(unsigned long keysym) { rack->key(keysym, ""); }
    double value(uint32_t id) const { return plugin->guiParamValue(id); }
    std::filesystem::path presetFolder() const { return config / "Norvale" / "presets"; }
    int presetIndex(const std::string& name) const {
        for (size_t i = 0; i < plugin->presets.size(); ++i)
            if (plugin->presets[i].name == name) return int(i);
        return -1;
    }
    // Paints a whole frame; cairo refuses invalid UTF-8 with an error status.
    cairo_status_t paint() const {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1432, 864);
        cairo_t* cr = cairo_create(s);
        rack->paintBackground(cr), rack->paintPanels(cr), rack->paintOverlays(cr);
        const cairo_status_t status = cairo_status(cr);
        cairo_destroy(cr), cairo_surface_destroy(s);
        return status;
    }

    std::filesystem::path config;
    plugincore::WindowSpec spec = editorSpec();
    Keyboard keyboard;
    std::unique_ptr<RecordingPlugin> plugin;
    std::unique_ptr<Rack> rack;
};

// ---- layout ----

TEST_F(RackTest, EveryParameterHasOneControlAndNoControlsOverlapAtAnyScale) {
    std::multiset<uint32_t> everywhere;
    for (int module = -1; module < kModuleCount; ++module) {
        rack->buildLayout(module);
        const auto& cells = rack->cells();
        const auto& rects = rack->cellRects();
        ASSERT_EQ(cells.size(), rects.size());
        for (size_t i = 0; i < cells.size(); ++i) {
            bool inPanel = false;
            for (const PanelRect& p : rack->panelRects()) {
                const Rect& r = p.rect;
                inPanel |= rects[i].x >= r.x && rects[i].y >= r.y &&
                           rects[i].x + rects[i].width <= r.x + r.width &&
                           rects[i].y + rects[i].height <= r.y + r.height;
            }
            EXPECT_TRUE(inPanel) << "control of " << kParams[cells[i].paramId].key;
            for (size_t j = 0; j < i; ++j)
                EXPECT_FALSE(overlap(rects[i], rects[j]))
                    << kParams[cells[i].paramId].key << " / " << kParams[cells[j].paramId].key;
            // The module's own row appears only in its own layout.
            if (module == 0 || i >= rack->panelRects()[0].spec->paramIdCount +
                                        rack->panelRects()[1].spec->paramIdCount)
                everywhere.insert(cells[i].paramId);
        }
        for (const PanelRect& p : rack->panelRects()) {
            EXPECT_FALSE(overlap(p.rect, rack->curvePanelRect()));
            for (int zone = kZonePrevious; zone <= kZoneSave; ++zone)
                EXPECT_FALSE(overlap(p.rect, rack->presetBar().zoneRect(zone)));
        }
        // The window divides pointer pixels by its scale: every control's
        // centre pixel must land back on that control.
        for (const double scale : {0.5, 1.0, 4.0})
            for (size_t i = 0; i < cells.size(); ++i) {
                const double px = std::floor(centreX(rects[i]) * scale) + 0.5;
                const double py = std::floor(centreY(rects[i]) * scale) + 0.5;
                rack->motion(px / scale, py / scale, false);
                EXPECT_EQ(rack->hoverParam(), int(cells[i].paramId)) << "scale " << scale;
            }
        if (module < 0) {
            EXPECT_EQ(rack->panelRects().size(), 2u);
        }
    }
    for (uint32_t id = 0; id < kParamCount; ++id)
        EXPECT_EQ(everywhere.count(id), 1u) << kParams[id].key;
}

// ---- controls ----

struct ControlCase {
    const char* name;
    uint32_t id;
    int module;
    void (*act)(RackTest&, Rack&, const Rect&);
    double (*expected)(const plugincore::ParamDesc&);
};

double mid(const plugincore::ParamDesc& d) {
    return std::floor((d.minValue + d.maxValue) / 2 + 0.5);
}

class RackControls : public RackTest, public ::testing::WithParamInterface<ControlCase> {};

void dragUp100(RackTest&, Rack& rack, const Rect& c) {
    rack.pressRack(centreX(c), c.y + 46, 1, 1000, false);
    for (int step = 1; step <= 10; ++step)
        rack.motion(centreX(c), c.y + 46 - 10 * step, false);
    rack.release(1);
}

const ControlCase kControlCases[] = {
    {"KnobDrag", kParamMix, 0, dragUp100,
     [](const plugincore::ParamDesc& d) { return (d.minValue + d.maxValue) / 2; }},
    {"SteppedDrag", kParamCrsBits, kCrs, dragUp100, mid},
    {"KnobWheel", kParamInput, 0,
     [](RackTest&, Rack& rack, const Rect& c) {
         rack.pressRack(centreX(c), centreY(c), 4, 0, false);
     },
     [](const plugincore::ParamDesc& d) { return d.minValue + (d.maxValue - d.minValue) * 0.02; }},
    {"SteppedWheel", kParamCrsDown, kCrs,
     [](RackTest&, Rack& rack, const Rect& c) {
         rack.pressRack(centreX(c), centreY(c), 4, 0, false);
     },
     [](const plugincore::ParamDesc& d) { return d.minValue + 1; }},
    {"TypedValue", kParamFltCutoff, kFlt,
     [](RackTest& t, Rack& rack, const Rect& c) {
         t.click({c.x + 6, c.y + 74, c.width - 12, 22});
         t.type("1 kHz");
         t.press(XK_Return);
         EXPECT_EQ(rack.typingParam(), -1);
     },
     [](const plugincore::ParamDesc& d) {
         double v = 0;
         return plugincore::paramTextToValue(d, "1 kHz", v) ? v : -1;
     }},
    {"MenuPick", kParamVolRate, kVol,
     [](RackTest& t, Rack& rack, const Rect& c) {
         t.click({c.x + 30, c.y + 34, c.width - 60, 22});
         ASSERT_EQ(rack.menuParam(), int(kParamVolRate));
         t.click(rack.menuItemRect(3));
         EXPECT_EQ(rack.menuParam(), -1);
     },
     [](const plugincore::ParamDesc&) { return 3.0; }},
    {"MenuArrow", kParamDrvStyle, kDrv,
     [](RackTest& t, Rack&, const Rect& c) {
         t.click({c.x + c.width - 20, c.y + 40, 10, 10});
     },
     [](const plugincore::ParamDesc& d) { return d.minValue + 1; }},
};

TEST_P(RackControls, ChangeExactlyTheirParameterInOneGesture) {
    const ControlCase& c = GetParam();
    const plugincore::ParamDesc& d = kParams[c.id];
    rack->buildLayout(c.module);
    plugin->values[c.id].store(d.minValue);
    std::vector<double> before(kParamCount);
    for (uint32_t id = 0; id < kParamCount; ++id)
        before[id] = value(id);

    c.act(*this, *rack, rack->controlRect(c.id));

    EXPECT_NEAR(value(c.id), c.expected(d), 1e-9);
    for (uint32_t id = 0; id < kParamCount; ++id)
        if (id != c.id) {
            EXPECT_EQ(value(id), before[id]) << kParams[id].key;
        }
    int begins = 0, ends = 0, open = 0;
    for (const Gesture& g : plugin->log) {
        EXPECT_EQ(g.id, c.id);
        begins += g.kind == 'b', ends += g.kind == 'e';
        open += g.kind == 'b' ? 1 : g.kind == 'e' ? -1 : 0;
        if (g.kind == 's') {
            EXPECT_EQ(open, 1) << "a value outside its gesture";
        }
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(keyboard.held, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RackControls, ::testing::ValuesIn(kControlCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RackTest, FineAdjustPressedOrReleasedMidDragDoesNotJump) {
    const Rect c = rack->controlRect(kParamMix);
    const plugincore::ParamDesc& d = kParams[kParamMix];
    const double range = d.maxValue - d.minValue, x = centreX(c), y = c.y + 46;
    plugin->values[kParamMix].store(d.minValue);
    rack->pressRack(x, y, 1, 1000, false);
    rack->motion(x, y - 40, false);
    const double coarse = value(kParamMix);
    EXPECT_NEAR(coarse, d.minValue + range * 40 / 200, 1e-9);
    rack->motion(x, y - 40, true);
    EXPECT_NEAR(value(kParamMix), coarse, 1e-9) << "pressing the modifier";
    rack->motion(x, y - 90, true);
    const double fine = value(kParamMix);
    EXPECT_NEAR(fine, coarse + range * 50 / 200 * 0.2, 1e-9);
    rack->motion(x, y - 90, false);
    EXPECT_NEAR(value(kParamMix), fine, 1e-9) << "releasing the modifier";
    rack->motion(x, y - 100, false);
    EXPECT_NEAR(value(kParamMix), fine + range * 10 / 200, 1e-9);
    rack->release(1);
}

TEST_F(RackTest, WheelActsOnlyOnKnobsAndLists) {
    const int current = plugin->guiCurrentPreset();
    for (int zone = kZonePrevious; zone <= kZoneSave; ++zone)
        for (int button : {4, 5})
            click(rack->presetBar().zoneRect(zone), button);
    EXPECT_EQ(plugin->guiCurrentPreset(), current);
    EXPECT_FALSE(rack->presetBar().browserOpen());
    EXPECT_FALSE(rack->presetBar().saveOpen());
    EXPECT_TRUE(plugin->log.empty());
}

// ---- presets ----

TEST_F(RackTest, ArrowsWrapInListOrderAndStepPastABrokenFile) {
    std::string error;
    for (const char* name : {"Alpha", "Broken", "Gamma"})
        ASSERT_TRUE(plugin->guiSavePreset(name, error)) << error;
    std::ofstream(presetFolder() / "Broken.norvale") << "not a preset\n";
    const int n = int(plugin->presets.size()), broken = presetIndex("Broken");
    ASSERT_GT(broken, 0);
    plugin->currentPreset = n - 1;
    const Rect next = rack->presetBar().zoneRect(kZoneNext),
               previous = rack->presetBar().zoneRect(kZonePrevious);
    click(next);
    EXPECT_EQ(plugin->guiCurrentPreset(), 0) << "wraps from the last entry";
    click(previous);
    EXPECT_EQ(plugin->guiCurrentPreset(), n - 1) << "wraps from the first entry";
    plugin->currentPreset = broken - 1;
    click(next);
    EXPECT_EQ(plugin->guiCurrentPreset(), broken - 1);
    EXPECT_NE(rack->hintText().find("Broken"), std::string::npos) << rack->hintText();
    click(next);
    EXPECT_EQ(plugin->guiCurrentPreset(), broken + 1) << "steps on from the broken entry";
    EXPECT_EQ(rack->hintText().find("Broken"), std::string::npos);
}

TEST_F(RackTest, BrowserLoadsTheClickedPreset) {
    click(rack->presetBar().zoneRect(kZoneBrowser));
    ASSERT_TRUE(rack->presetBar().browserOpen());
    click(rack->presetBar().browserEntryRect(4), 5);
    EXPECT_NE(plugin->guiCurrentPreset(), 4) << "the wheel does not load";
    click(rack->presetBar().browserEntryRect(4));
    EXPECT_EQ(plugin->guiCurrentPreset(), 4);
    EXPECT_FALSE(rack->presetBar().browserOpen());
}

TEST_F(RackTest, SavePromptStoresTheTypedNameByWholeCharacters) {
    const std::string name = "Grüße ✓ Ωmega";
    click(rack->presetBar().zoneRect(kZoneSave));
    ASSERT_TRUE(rack->presetBar().saveOpen());
    while (!rack->presetBar().saveName().empty())
        press(XK_BackSpace);
    type("a");
    for (int i = 0; i < 30; ++i)
        type("é");
    EXPECT_EQ(rack->presetBar().saveName().size(), 47u) << "23 two-byte characters after the a";
    type("✓");
    EXPECT_EQ(rack->presetBar().saveName().size(), 47u) << "a three-byte character does not fit";
    type("b");
    EXPECT_EQ(rack->presetBar().saveName().size(), 48u);
    press(XK_BackSpace), press(XK_BackSpace);
    EXPECT_EQ(rack->presetBar().saveName().size(), 45u) << "the b, then all of one é";
    while (!rack->presetBar().saveName().empty())
        press(XK_BackSpace);
    type(name + "\xff"); // a stray byte from the keyboard is dropped
    press(XK_Return);
    EXPECT_FALSE(rack->presetBar().saveOpen()) << rack->presetBar().saveMessage();
    const int saved = presetIndex(name);
    ASSERT_GE(saved, 0);
    EXPECT_TRUE(plugin->presets[saved].user);
    EXPECT_EQ(plugin->guiCurrentPreset(), saved);
    EXPECT_EQ(keyboard.held, 0);
}

TEST_F(RackTest, FailedSaveKeepsTheOldFileAndSaysWhy) {
    std::string error;
    ASSERT_TRUE(plugin->guiSavePreset("Keep", error)) << error;
    const auto path = presetFolder() / "Keep.norvale";
    std::stringstream old;
    old << std::ifstream(path).rdbuf();
    plugin->values[kParamMix].store(0.25);

    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit tiny{16, limit.rlim_max};
    signal(SIGXFSZ, SIG_IGN);
    click(rack->presetBar().zoneRect(kZoneSave));
    setrlimit(RLIMIT_FSIZE, &tiny);
    press(XK_Return);
    setrlimit(RLIMIT_FSIZE, &limit);

    EXPECT_TRUE(rack->presetBar().saveOpen());
    EXPECT_TRUE(rack->presetBar().saveError());
    EXPECT_NE(rack->presetBar().saveMessage().find("Keep"), std::string::npos)
        << rack->presetBar().saveMessage();
    EXPECT_EQ(rack->presetBar().saveName(), "Keep");
    std::stringstream now;
    now << std::ifstream(path).rdbuf();
    EXPECT_EQ(now.str(), old.str());
}

TEST_F(RackTest, InvalidUtf8FromPresetFilesIsNeverDrawn) {
    std::filesystem::create_directories(presetFolder());
    std::ofstream(presetFolder() / "Odd.norvale")
        << "# Norvale preset\nformat = 1\nname = Bad\xc3\x28 \xff"
        << "\ndescription = Worse\xe2\x82\n";
    plugin->presets.clear(), plugin->presetListReady = false, plugin->ensurePresetList();
    const int odd = int(plugin->presets.size()) - 1;
    ASSERT_EQ(plugin->presets[odd].name.substr(0, 3), "Bad");
    plugin->guiLoadPreset(odd);
    ASSERT_EQ(plugin->guiCurrentPreset(), odd);
    EXPECT_EQ(paint(), CAIRO_STATUS_SUCCESS) << "the bar and the hint line";
    click(rack->presetBar().zoneRect(kZoneBrowser));
    EXPECT_EQ(paint(), CAIRO_STATUS_SUCCESS) << "the browser";
    click(rack->presetBar().zoneRect(kZoneSave));
    EXPECT_EQ(paint(), CAIRO_STATUS_SUCCESS) << "the save prompt with the suggested name";
    EXPECT_EQ(plugincore::validUtf8(rack->presetBar().saveName()), rack->presetBar().saveName());
}

} // namespace
} // namespace norvale
