// The rack and the preset bar in the real editor under the virtual X server,
// with XTest input and a real user preset folder.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

#include "tests/gui/x_session.h"
#include "tests/presets/test_files.h"

namespace norvale::guitest {
namespace {

using plugincore::ParamDesc;
using plugincore::Rect;

constexpr auto cx = [](const Rect& r) { return r.x + r.width / 2; };
constexpr auto cy = [](const Rect& r) { return r.y + r.height / 2; };
constexpr auto overlap = [](const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
};

// A fresh user preset folder, then the plug-in with its editor open.
class RackTest : public ::testing::Test {
public:
    void SetUp() override {
        s = std::make_unique<Session>();
        ASSERT_TRUE(s->open());
    }

    Rack& rack() const { return s->window().rack(); }
    PresetBar& bar() const { return rack().presetBar(); }
    NorvalePlugin& plugin() const { return s->object(); }
    void click(const Rect& r, int button = 1) { s->click(cx(r), cy(r), button); }
    double value(uint32_t id) const { return plugin().paramValue(id); }
    std::string presetFolder() const { return config / "Norvale/presets"; }
    int presetIndex(const std::string& name) const {
        for (size_t i = 0; i < plugin().presets.size(); ++i)
            if (plugin().presets[i].name == name) return int(i);
        return -1;
    }
    // The window's pixels over one control.
    std::vector<uint32_t> controlPixels(uint32_t id) {
        const Rect c = rack().controlRect(id);
        std::vector<uint32_t> pixels;
        for (double y = c.y; y < c.y + c.height; y += 2)
            for (double x = c.x; x < c.x + c.width; x += 2)
                pixels.push_back(s->pixel(x, y));
        return pixels;
    }

    presets_test::TempDir config;
    presets_test::ScopedEnv xdg{"XDG_CONFIG_HOME", config.path()};
    std::unique_ptr<Session> s;
};

// ---- layout ----

TEST_F(RackTest, EveryParameterHasOneControlAndNoControlsOverlapAtAnyScale) {
    std::multiset<uint32_t> everywhere;
    for (int module = -1; module < kModuleCount; ++module) {
        rack().buildLayout(module);
        const auto& cells = rack().cells();
        const auto& rects = rack().cellRects();
        const size_t shared =
            module < 0 ? cells.size() : cells.size() - kPanelSpecs[module + 2].paramIdCount;
        for (size_t i = 0; i < cells.size(); ++i) {
            const char* key = kParams[cells[i].paramId].key;
            for (size_t j = 0; j < i; ++j)
                EXPECT_FALSE(overlap(rects[i], rects[j])) << key;
            if (module == 0 || i >= shared) everywhere.insert(cells[i].paramId);
            // The window divides pointer pixels by its scale: a control's
            // centre pixel lands back on that control.
            for (const double scale : {0.5, 1.0, 4.0}) {
                rack().motion((std::floor(cx(rects[i]) * scale) + 0.5) / scale,
                              (std::floor(cy(rects[i]) * scale) + 0.5) / scale, false);
                EXPECT_EQ(rack().hoverParam(), int(cells[i].paramId)) << key << " at " << scale;
            }
        }
        for (const PanelRect& p : rack().panelRects())
            EXPECT_FALSE(overlap(p.rect, rack().curvePanelRect()) ||
                         overlap(p.rect, bar().zoneRect(kZoneSave)));
        EXPECT_EQ(rack().panelRects().size(), module < 0 ? 2u : 3u);
    }
    // The bypass is the header's power switch, not a control of a panel.
    for (uint32_t id = 0; id < kParamCount; ++id)
        EXPECT_EQ(everywhere.count(id), id == kParamBypass ? 0u : 1u) << kParams[id].key;
}

// ---- controls, through XTest ----

struct ControlCase {
    const char* name;
    uint32_t id;
    void (*act)(RackTest&, const Rect&);
    double expected; // from the minimum
};

const auto dragUp100 = [](RackTest& t, const Rect& c) {
    t.s->drag(cx(c), c.y + 46, cx(c), c.y + 46 - 100);
};
const auto wheelUp = [](RackTest& t, const Rect& c) { t.click(c, 4); };
// The value at a fraction of the range.
const auto at = [](uint32_t id, double f) {
    return kParams[id].minValue + (kParams[id].maxValue - kParams[id].minValue) * f;
};
const auto oneStep = [](uint32_t id) { return kParams[id].minValue + 1; };

const ControlCase kControlCases[] = {
    {"KnobDrag", kParamFltDrive, dragUp100, at(kParamFltDrive, 0.5)},
    {"SteppedDrag", kParamFltDepth, dragUp100, std::round(at(kParamFltDepth, 0.5))},
    {"KnobWheel", kParamFltRes, wheelUp, at(kParamFltRes, 0.02)},
    {"MenuWheel", kParamFltRate, wheelUp, oneStep(kParamFltRate)},
    {"TypedValue", kParamFltCutoff,
     [](RackTest& t, const Rect& c) {
         t.click({c.x + 6, c.y + 74, c.width - 12, 22});
         for (KeySym key : {XK_1, XK_space, XK_k, XK_H, XK_z, XK_Return})
             t.s->type(key);
     },
     plugincore::realToParam(kParams[kParamFltCutoff], 1000)},
    {"MenuPick", kParamFltTypeLow,
     [](RackTest& t, const Rect& c) {
         t.click({c.x + 30, c.y + 34, c.width - 60, 22});
         t.click(t.rack().menuItemRect(3));
     },
     3},
    {"PowerSwitch", kParamBypass, [](RackTest& t, const Rect& c) { t.click(c); }, 1},
    {"MenuArrow", kParamFltTypeHigh,
     [](RackTest& t, const Rect& c) {
         t.click({c.x + c.width - 20, c.y + 40, 10, 10});
     },
     oneStep(kParamFltTypeHigh)},
};

class RackControls : public RackTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(RackControls, ChangeExactlyTheirParameterInOneGestureAndShowAutomation) {
    const ControlCase& c = GetParam();
    const ParamDesc& d = kParams[c.id];
    plugin().curveChainAdd(kFlt);
    plugin().values[c.id].store(d.minValue);
    s->settle();
    const auto values = [this] {
        return std::vector<double>(plugin().values.begin(), plugin().values.end());
    };
    std::vector<double> before = values();
    const int begins = s->drainGestures().begins;

    c.act(*this, rack().controlRect(c.id));

    EXPECT_NEAR(value(c.id), c.expected, 1e-9);
    before[c.id] = value(c.id);
    EXPECT_EQ(values(), before) << "only this parameter changes";
    const Session::Gestures g = s->drainGestures();
    EXPECT_EQ(g.begins - begins, 1);
    EXPECT_EQ(g.ends, g.begins);

    // A host automation value reaches the control on the next tick.
    const std::vector<uint32_t> shown = controlPixels(c.id);
    claphost::InputEvents in;
    claphost::OutputEvents out;
    in.paramValue(0, c.id, d.maxValue - value(c.id) > 0.5 ? d.maxValue : d.minValue);
    static_cast<const clap_plugin_params*>(s->plugin->get_extension(s->plugin, CLAP_EXT_PARAMS))
        ->flush(s->plugin, in.list(), out.outList());
    s->tick();
    EXPECT_NE(controlPixels(c.id), shown);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RackControls, ::testing::ValuesIn(kControlCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RackTest, FineAdjustPressedOrReleasedMidDragDoesNotJump) {
    const Rect c = rack().controlRect(kParamMix);
    const ParamDesc& d = kParams[kParamMix];
    const double unit = (d.maxValue - d.minValue) / 200, x = cx(c), y = c.y + 46;
    plugin().values[kParamMix].store(d.minValue);
    rack().pressRack(x, y, 1, 1000, false);
    for (const auto& [travel, fine, expected] : {std::tuple{40.0, false, 40 * unit},
                                                 {40.0, true, 40 * unit},
                                                 {90.0, true, (40 + 50 * 0.2) * unit},
                                                 {90.0, false, 50 * unit},
                                                 {100.0, false, 60 * unit}}) {
        rack().motion(x, y - travel, fine);
        EXPECT_NEAR(value(kParamMix), d.minValue + expected, 1e-9) << travel << fine;
    }
    rack().release(1);
}

TEST_F(RackTest, TheWheelTurnsNoButtonsAndLoadsNoPresets) {
    const int current = plugin().guiCurrentPreset();
    for (int zone = kZonePrevious; zone <= kZoneSave; ++zone)
        for (int button : {4, 5})
            click(bar().zoneRect(zone), button);
    EXPECT_EQ(plugin().guiCurrentPreset(), current);
    EXPECT_FALSE(bar().browserOpen() || bar().saveOpen());
    click(bar().zoneRect(kZoneBrowser));
    ASSERT_TRUE(bar().browserOpen());
    click(bar().browserEntryRect(4), 5);
    EXPECT_EQ(plugin().guiCurrentPreset(), current);
    click(bar().browserEntryRect(4));
    EXPECT_TRUE(plugin().guiCurrentPreset() == 4 && !bar().browserOpen()) << "loads and closes";
}

// ---- text that fits ----

// The pixels of design-unit rectangles after painting the editor, or one
// control, off-screen at a scale.
std::vector<uint32_t> paintedPixels(Session& s, double scale, std::initializer_list<Rect> rects,
                                    int onlyControl = -1) {
    const int width = int(1432 * scale) + 2;
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, int(864 * scale) + 2);
    cairo_t* cr = cairo_create(surface);
    const CurvePalette palette = curvePalette(norvaleWindowSpec().palette);
    if (onlyControl >= 0) {
        const Rect c = s.window().rack().controlRect(uint32_t(onlyControl));
        cairo_rectangle(cr, c.x * scale, c.y * scale, c.width * scale, c.height * scale);
        cairo_clip(cr);
    }
    paintEditor(cr, scale, {s.window().curvePanel(), palette, s.object(), s.window().rack()});
    cairo_surface_flush(surface);
    std::vector<uint32_t> out;
    const auto* data = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface));
    for (const Rect& r : rects)
        for (int y = int(r.y * scale); y < int((r.y + r.height) * scale); ++y)
            for (int x = int(r.x * scale); x < int((r.x + r.width) * scale); ++x)
                out.push_back(data[y * width + x]);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return out;
}

TEST_F(RackTest, TextsLeaveArrowsFreeAndControlsOnAPanelKeepTheirOwnLabels) {
    for (const plugincore::PanelSpec& panel : kPanelSpecs)
        for (uint32_t i = 0; i < panel.paramIdCount; ++i)
            for (uint32_t j = 0; j < i; ++j)
                EXPECT_STRNE(kParams[panel.paramIds[i]].name, kParams[panel.paramIds[j]].name);
    // A menu box's arrow strips look the same whatever item it shows.
    for (const double scale : {0.75, 1.0, 2.0})
        for (int module = 0; module < kModuleCount; ++module) {
            rack().buildLayout(module);
            for (const plugincore::Cell& cell : rack().cells()) {
                const ParamDesc& d = kParams[cell.paramId];
                const Rect c = rack().controlRect(d.id);
                std::vector<uint32_t> first;
                for (uint32_t item = 0; item < d.itemCount; ++item) {
                    plugin().values[d.id].store(item);
                    const auto seen = paintedPixels(
                        *s, scale,
                        {{c.x + 5, c.y + 35, 11.5, 20}, {c.x + c.width - 16.5, c.y + 35, 11.5, 20}},
                        int(d.id));
                    if (item == 0) first = seen;
                    EXPECT_EQ(seen, first) << d.items[item] << " at " << scale;
                }
            }
        }
    // A 47-character preset name leaves the bar's arrows and menu mark as a
    // short one does, and shows in full in the hint on hover.
    const std::string longName(47, 'W');
    const Rect b = bar().zoneRect(kZoneBrowser);
    std::vector<uint32_t> shown[2];
    std::string error;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(plugin().guiSavePreset(i == 0 ? "Wa" : longName, error)) << error;
        plugin().guiSetParam(kParamMix, 0.5); // with the edited mark
        shown[i] = paintedPixels(*s, 1.0,
                                 {bar().zoneRect(kZonePrevious),
                                  bar().zoneRect(kZoneNext),
                                  {b.x + 2, b.y + 2, 20, 28},
                                  {b.x + b.width - 22, b.y + 2, 20, 28}});
    }
    EXPECT_EQ(shown[0], shown[1]);
    rack().motion(cx(b), cy(b), false);
    EXPECT_EQ(rack().hintText(), longName);
}

// ---- context menu ----

TEST_F(RackTest, RightClickMenuResetsTypesAndPerformsTheHostsItems) {
    plugin().curveChainAdd(kFlt);
    s->settle();
    const auto entry = [this](const std::string& label) {
        const auto& e = rack().contextEntries();
        return rack().contextEntryRect(
            int(std::find_if(e.begin(), e.end(), [&](auto& x) { return x.item.label == label; }) -
                e.begin()));
    };
    const double reset = kParams[kParamFltDrive].defaultValue;
    // The entry picked ("" closes by Escape, "-" by a click beside), what is typed then.
    for (const auto& [id, pick, typed, expected] :
         {std::tuple{kParamFltDrive, "Reset to default", "", reset},
          {kParamFltTypeLow, "Type a value\u2026", "bandpass", 2.0},
          {kParamFltDrive, "By LFO", "", 0.75},
          {kParamFltDrive, "", "", 0.75},
          {kParamFltDrive, "-", "", 0.75}}) {
        plugin().values[id].store(id == kParamFltDrive ? 0.75 : 0);
        click(rack().controlRect(id), 3);
        ASSERT_EQ(rack().contextParam(), int(id)) << "a right-click alone changes nothing";
        EXPECT_TRUE(rack().contextEntries().back().item.label == "By LFO" &&
                    rack().contextEntries()[5].item.checked); // the host's "MIDI Learn"
        if (*pick == '\0')
            s->type(XK_Escape);
        else
            click(*pick == '-' ? Rect{100, 300, 0, 0} : entry(pick));
        EXPECT_EQ(rack().contextParam(), -1);
        if (*typed != '\0') rack().key(0, typed), rack().key(XK_Return, "");
        EXPECT_NEAR(value(id), expected, 1e-9) << pick;
    }
    EXPECT_EQ(s->host.menuActions, (std::vector<std::pair<clap_id, clap_id>>{{kParamFltDrive, 3}}));
}

// ---- presets ----

TEST_F(RackTest, ArrowsWrapInListOrderAndStepPastABrokenFile) {
    std::string error;
    for (const char* name : {"Alpha", "Broken", "Gamma"})
        ASSERT_TRUE(plugin().guiSavePreset(name, error)) << error;
    presets_test::writeFile(presetFolder() + "/Broken.norvale", "not a preset\n");
    const int n = int(plugin().presets.size()), broken = presetIndex("Broken");
    const Rect next = bar().zoneRect(kZoneNext), previous = bar().zoneRect(kZonePrevious);
    plugin().currentPreset = n - 1;
    click(next);
    EXPECT_EQ(plugin().guiCurrentPreset(), 0) << "wraps from the last entry";
    click(previous);
    EXPECT_EQ(plugin().guiCurrentPreset(), n - 1) << "wraps from the first entry";
    plugin().currentPreset = broken - 1;
    click(next);
    EXPECT_EQ(plugin().guiCurrentPreset(), broken - 1);
    EXPECT_NE(rack().hintText().find("Broken"), std::string::npos) << rack().hintText();
    click(next);
    EXPECT_EQ(plugin().guiCurrentPreset(), broken + 1) << "steps on from the broken entry";
    EXPECT_EQ(rack().hintText().find("Broken"), std::string::npos);
}

TEST_F(RackTest, SavePromptStoresTheTypedNameByWholeCharacters) {
    const std::string name = "Grüße ✓ Ωmega";
    click(bar().zoneRect(kZoneSave));
    ASSERT_TRUE(bar().saveOpen());
    for (int i = 0; i < 30; ++i) // after the suggested name, "New Shape"
        rack().key(0, "é");
    EXPECT_EQ(bar().saveName().size(), 47u) << "19 two-byte characters fit";
    rack().key(0, "✓");
    EXPECT_EQ(bar().saveName().size(), 47u) << "a three-byte character does not";
    rack().key(XK_BackSpace, "");
    EXPECT_EQ(bar().saveName().size(), 45u) << "all of one é goes";
    for (int i = 0; i < 48; ++i)
        rack().key(XK_BackSpace, "");
    rack().key(0, name + "\xff"); // a stray byte is dropped
    rack().key(XK_Return, "");
    EXPECT_FALSE(bar().saveOpen()) << bar().saveMessage();
    ASSERT_GE(presetIndex(name), 0);
    EXPECT_TRUE(plugin().presets[presetIndex(name)].user);
    EXPECT_EQ(plugin().guiCurrentPreset(), presetIndex(name));
}

// A failed save leaves the prompt open with the name and says why (which
// failures leave which files is the presets' own test).
TEST_F(RackTest, AFailedSaveKeepsThePromptOpenAndSaysWhy) {
    presets_test::writeFile(config / "Norvale", "a file where the folder should be");
    click(bar().zoneRect(kZoneSave));
    const std::string typed = bar().saveName();
    rack().key(XK_Return, "");
    EXPECT_TRUE(bar().saveOpen() && bar().saveError());
    EXPECT_NE(bar().saveMessage().find("cannot create"), std::string::npos) << bar().saveMessage();
    EXPECT_EQ(bar().saveName(), typed);
}

} // namespace
} // namespace norvale::guitest
