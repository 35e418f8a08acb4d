// The rack and the preset bar in the real editor under the virtual X server,
// with XTest input and a real user preset folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
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
    // A wheel notch with Shift is a finer step than one without.
    double steps[2];
    for (const bool fine : {false, true}) {
        plugin().values[kParamMix].store(d.minValue);
        rack().pressRack(x, y, 4, 5000 * (1 + fine), fine);
        steps[fine] = value(kParamMix) - d.minValue;
    }
    EXPECT_TRUE(steps[1] > 0 && steps[1] < steps[0] / 2) << steps[0] << " " << steps[1];
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
    EXPECT_TRUE(bar().promptMode() == PromptMode::kLoad && plugin().guiCurrentPreset() == current)
        << "the session's edits are not discarded unasked";
    rack().key(XK_Return, "");
    EXPECT_TRUE(plugin().guiCurrentPreset() == 4 && !bar().browserOpen()) << "loads and closes";
}

// ---- text that fits ----

// The pixels of design-unit rectangles after paint drew off-screen.
template <class Paint>
std::vector<uint32_t> pixelsAfter(double scale, std::initializer_list<Rect> rects, Paint&& paint) {
    const int width = int(1432 * scale) + 2;
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, int(800 * scale) + 2);
    cairo_t* cr = cairo_create(surface);
    paint(cr);
    cairo_destroy(cr);
    const auto* data = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface));
    std::vector<uint32_t> out;
    for (const Rect& r : rects)
        for (int y = int(r.y * scale); y < int((r.y + r.height) * scale); ++y)
            for (int x = int(r.x * scale); x < int((r.x + r.width) * scale); ++x)
                out.push_back(data[y * width + x]);
    cairo_surface_destroy(surface);
    return out;
}

TEST_F(RackTest, TextsLeaveTheArrowsOfMenusAndOfThePresetBarFree) {
    const CurvePalette palette = curvePalette(norvaleWindowSpec().palette);
    const EditorView view{s->window().curvePanel(), palette, plugin(), rack()};
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
                    const auto seen = pixelsAfter(
                        scale,
                        {{c.x + 5, c.y + 35, 11.5, 20}, {c.x + c.width - 16.5, c.y + 35, 11.5, 20}},
                        [&](cairo_t* cr) {
                            cairo_rectangle(cr, c.x * scale, c.y * scale, c.width * scale,
                                            c.height * scale);
                            cairo_clip(cr);
                            paintEditor(cr, scale, view);
                        });
                    if (item == 0) first = seen;
                    EXPECT_EQ(seen, first) << d.items[item] << " at " << scale;
                }
            }
        }
    // A 47-character preset name leaves the bar's arrows and menu mark alone.
    const std::string longName(47, 'W');
    const Rect b = bar().zoneRect(kZoneBrowser);
    std::vector<uint32_t> shown[2];
    std::string error;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(plugin().guiSavePreset(i == 0 ? "Wa" : longName, "", error)) << error;
        plugin().guiSetParam(kParamMix, 0.5); // with the edited mark
        shown[i] = pixelsAfter(1.0,
                               {bar().zoneRect(kZonePrevious),
                                bar().zoneRect(kZoneNext),
                                {b.x + 2, b.y + 2, 20, 28},
                                {b.x + b.width - 22, b.y + 2, 20, 28}},
                               [&](cairo_t* cr) { paintEditor(cr, 1.0, view); });
    }
    EXPECT_EQ(shown[0], shown[1]);
    rack().motion(cx(b), cy(b), false);
    EXPECT_EQ(rack().hintText(), longName);
}

// ---- context menu ----

TEST_F(RackTest, RightClickMenuResetsTypesAndPerformsTheHostsItems) {
    plugin().curveChainAdd(kFlt);
    s->settle();
    const double reset = kParams[kParamFltRes].defaultValue; // neither end of its range
    // The entry picked (-1 closes by Escape, -2 by a click beside), what is typed then.
    for (const auto& [id, pick, typed, expected] : {std::tuple{kParamFltRes, 0, "", reset},
                                                    {kParamFltTypeLow, 1, "bandpass", 2.0},
                                                    {kParamFltDrive, 7, "", 0.75},
                                                    {kParamFltDrive, -1, "", 0.75},
                                                    {kParamFltDrive, -2, "", 0.75}}) {
        plugin().values[id].store(id == kParamFltTypeLow ? 0 : 0.75);
        click(rack().controlRect(id), 3);
        ASSERT_EQ(rack().contextParam(), int(id)) << "a right-click alone changes nothing";
        EXPECT_TRUE(rack().contextEntries().back().item.label == "By LFO" &&
                    rack().contextEntries()[5].item.checked); // the host's "MIDI Learn"
        if (pick == -1)
            s->type(XK_Escape);
        else
            click(pick == -2 ? Rect{100, 300, 0, 0} : rack().contextEntryRect(pick));
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
        ASSERT_TRUE(plugin().guiSavePreset(name, "", error)) << error;
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

// The prompt opens with the suggestion ("New Shape") selected: typing replaces
// it; arrows, Home, End and clicks keep it and move the caret, Shift extends;
// BackSpace and Delete take the selection or one character.
TEST_F(RackTest, SavePromptReplacesTheSuggestionAndEditsAtTheCaret) {
    struct Key {
        unsigned long keysym;
        const char* text = "";
        bool shift = false;
    };
    const struct {
        std::vector<Key> keys;
        const char* name;
        size_t caret;
    } cases[] = {{{{0, "Prod Test"}}, "Prod Test", 9},
                 {{{XK_Left}, {0, "My "}}, "My New Shape", 3},
                 {{{XK_Right}, {XK_BackSpace}}, "New Shap", 8},
                 {{{XK_Home}, {XK_Delete}}, "ew Shape", 0},
                 {{{XK_Left, "", true}, {XK_Delete}}, "e", 0},
                 {{{XK_End}, {XK_Left, "", true}, {XK_Left, "", true}, {0, "ve"}}, "New Shave", 9}};
    for (const auto& c : cases) {
        click(bar().zoneRect(kZoneSave));
        for (const Key& k : c.keys)
            rack().key(k.keysym, k.text, k.shift);
        EXPECT_EQ(std::pair(bar().saveName(), bar().saveField().caret()),
                  std::pair(std::string(c.name), c.caret));
        rack().key(XK_Escape, "");
    }
    const Rect field = bar().saveFieldRect();
    click(bar().zoneRect(kZoneSave));
    rack().pressModal(field.x + 1, cy(field), 1, 0, false);
    EXPECT_TRUE(!bar().saveField().hasSelection() && bar().saveField().caret() == 0);
    rack().pressModal(field.x + field.width - 1, cy(field), 1, 0, true);
    EXPECT_EQ(bar().saveField().selection(), std::pair(size_t{0}, bar().saveName().size()));
    // A long name scrolls: the caret (the only ink above the letters) stays in the field.
    const EditorView view{s->window().curvePanel(), curvePalette(norvaleWindowSpec().palette),
                          plugin(), rack()};
    const auto caretX = [&] {
        const auto row = pixelsAfter(1.0, {{field.x + 2, field.y + 7, field.width - 4, 1}},
                                     [&](cairo_t* cr) { paintEditor(cr, 1.0, view); });
        const auto ink = std::find_if(row.begin(), row.end(), [&](auto p) { return p != row[0]; });
        return ink == row.end() ? -1.0 : field.x + 2 + double(ink - row.begin());
    };
    rack().key(0, std::string(48, 'W'));
    EXPECT_GT(caretX(), cx(field));
    rack().key(XK_Home, "");
    EXPECT_TRUE(caretX() > field.x && caretX() < cx(field));
    rack().key(XK_End, "", true);
    // Whole characters within 48 bytes; what was typed is what is stored.
    const std::string name = "Grüße ✓ Ωmega";
    for (int i = 0; i < 30; ++i)
        rack().key(0, "é");
    EXPECT_EQ(bar().saveName().size(), 48u) << "24 two-byte characters fit";
    rack().key(XK_BackSpace, "");
    rack().key(0, "✓");
    EXPECT_EQ(bar().saveName().size(), 46u) << "a three-byte character does not";
    rack().key(XK_Home, "");
    rack().key(XK_End, "", true);
    rack().key(0, name + "\xff"); // a stray byte is dropped
    // The description, a Tab away and empty from Init, is saved with the name.
    EXPECT_EQ(bar().saveField(kDescriptionField).text(), "");
    rack().key(XK_Tab, ""), rack().key(0, "Dusty");
    // A failed save keeps the prompt and what was typed, and says why.
    presets_test::writeFile(config / "Norvale", "a file where the folder should be");
    rack().key(XK_Return, "");
    EXPECT_TRUE(bar().saveError() && bar().saveMessage().starts_with("cannot create"));
    EXPECT_EQ(bar().saveName() + bar().saveField(kDescriptionField).text(), name + "Dusty");
    std::filesystem::remove(config / "Norvale");
    rack().key(XK_Return, "");
    EXPECT_FALSE(bar().saveOpen()) << bar().saveMessage();
    ASSERT_GE(presetIndex(name), 0);
    EXPECT_TRUE(plugin().presets[presetIndex(name)].user);
    EXPECT_EQ(plugin().guiCurrentPreset(), presetIndex(name));
    // The hint line shows it over the entry in the browser.
    click(bar().zoneRect(kZoneBrowser));
    s->move(bar().browserEntryRect(presetIndex(name)));
    EXPECT_EQ(rack().hintText(), name + " \u2014 Dusty");
}

TEST_F(RackTest, SavingAsksBeforeReplacingAndTheBrowserRenamesAndDeletesUserPresets) {
    namespace fs = std::filesystem;
    std::string error;
    ASSERT_TRUE(plugin().guiSavePreset("Alpha", "Warm", error)) << error;
    const auto files = [this] {
        std::set<std::string> names;
        for (const auto& f : fs::directory_iterator(presetFolder()))
            names.insert(f.path().filename().string() + (f.is_directory() ? "/" : ""));
        return names;
    };
    const auto retype = [this](const std::string& name) {
        for (int i = 0; i < 48; ++i)
            rack().key(XK_BackSpace, "");
        rack().key(0, name);
        rack().key(XK_Return, "");
    };
    click(bar().zoneRect(kZoneSave));
    EXPECT_EQ(bar().saveField(kDescriptionField).text(), "Warm") << "a user preset's is kept";
    retype("kick DUCK");
    EXPECT_TRUE(bar().saveError() && bar().saveMessage().find("built-in") != std::string::npos);
    retype("Alpha");
    EXPECT_EQ(bar().saveMessage(), "Replace \u201cAlpha\u201d?");
    rack().key(XK_Escape, ""); // back to the name
    EXPECT_TRUE(bar().saveOpen() && bar().promptMode() == PromptMode::kSave);
    rack().key(XK_Return, "");
    rack().key(XK_Return, ""); // replaces
    EXPECT_FALSE(bar().saveOpen());
    EXPECT_EQ(files(), std::set<std::string>{"Alpha.norvale"});
    EXPECT_EQ(plugin().presets[presetIndex("Alpha")].description, "Warm");

    click(bar().zoneRect(kZoneBrowser));
    click(bar().browserEntryRect(0), 3);
    EXPECT_FALSE(bar().saveOpen()) << "built-ins are neither renamed nor deleted";
    click(bar().browserEntryRect(presetIndex("Alpha")), 3);
    ASSERT_EQ(bar().promptMode(), PromptMode::kRename);
    retype("Beta");
    EXPECT_EQ(files(), std::set<std::string>{"Beta.norvale"});
    EXPECT_EQ(plugin().guiCurrentPreset(), presetIndex("Beta"));

    // A file turned into a folder: rename and delete fail, say why, change nothing.
    const fs::path beta = presetFolder() + "/Beta.norvale";
    fs::remove(beta);
    fs::create_directories(beta / "inside");
    const int index = presetIndex("Beta");
    EXPECT_FALSE(plugin().guiRenamePreset(index, "Gamma", "", error));
    EXPECT_FALSE(plugin().guiDeletePreset(index, error));
    EXPECT_NE(error.find("Beta.norvale"), std::string::npos) << error;
    EXPECT_EQ(files(), std::set<std::string>{"Beta.norvale/"});
    fs::remove_all(beta);
    ASSERT_TRUE(plugin().guiSavePreset("Beta", "", error)) << error;
    click(bar().zoneRect(kZoneBrowser));
    click(bar().browserEntryRect(presetIndex("Beta")), 3);
    click(bar().deleteButtonRect());
    EXPECT_EQ(bar().promptMode(), PromptMode::kDelete);
    rack().key(XK_Return, "");
    EXPECT_TRUE(files().empty());
    EXPECT_TRUE(presetIndex("Beta") < 0 && plugin().guiCurrentPreset() == -1);
}

TEST_F(RackTest, CompareSlotsHoldWholeSoundsExactly) {
    const std::vector<uint8_t> a = plugin().stateBytes();
    click(bar().zoneRect(kZoneB));
    EXPECT_EQ(plugin().stateBytes(), a) << "B starts as a copy of A";
    plugin().guiSetParam(kParamMix, 0.3);
    plugin().curveChainAdd(kDrv);
    const std::vector<uint8_t> b = plugin().stateBytes();
    // kZoneNone undoes the switch before, back into B: A keeps its sound.
    const std::pair<int, std::vector<uint8_t>> steps[] = {{kZoneA, a}, {kZoneNone, b}, {kZoneA, a},
                                                          {kZoneB, b}, {kZoneCopy, b}, {kZoneA, b}};
    for (const auto& [zone, expected] : steps) {
        zone == kZoneNone ? void(plugin().curveUndo()) : click(bar().zoneRect(zone));
        EXPECT_EQ(plugin().stateBytes(), expected) << zone;
    }
}

TEST_F(RackTest, TheZoomPickedAsksTheHostWinsOverItsScaleAndIsRemembered) {
    for (int open = 0; open < 2; ++open) {
        if (open == 1) { // a new editor reads the choice back; the host's scale gives way
            s->gui->destroy(s->plugin);
            ASSERT_TRUE(s->gui->create(s->plugin, CLAP_WINDOW_API_X11, false));
            EXPECT_FALSE(s->gui->set_scale(s->plugin, 1.0));
            ASSERT_TRUE(s->open(0.9));
            EXPECT_EQ(s->window().scale(), 0.9);
        }
        click(rack().zoomButtonRect());
        click(rack().zoomItemRect(open == 0 ? 1 : 6)); // 90 %, then as the host says
    }
    using Size = std::pair<uint32_t, uint32_t>;
    // 90 % leaves a 1366x768 laptop screen room for a title bar.
    EXPECT_EQ(s->host.resizeRequests, std::vector<Size>{Size(1289, 720)});
    EXPECT_TRUE(s->gui->set_scale(s->plugin, 1.25) && s->window().scale() == 1.25);
}

TEST_F(RackTest, TheBrowserListsColumnsTopDownKeepsUserPresetsApartAndJumpsByKeys) {
    std::string error;
    for (const char* name : {"Zed", "Alpha"})
        ASSERT_TRUE(plugin().guiSavePreset(name, name, error)) << error; // described by its name
    click(bar().zoneRect(kZoneBrowser));
    const Rect first = bar().browserEntryRect(0), second = bar().browserEntryRect(1);
    EXPECT_TRUE(first.x == second.x && second.y > first.y) << "top to bottom";
    const double lastBuiltin = bar().browserEntryRect(9).y;
    EXPECT_GT(bar().browserEntryRect(presetIndex("Alpha")).y, lastBuiltin + 26) << "a USER row";
    for (const auto& [key, text, selected] :
         {std::tuple{KeySym(0), "h", presetIndex("Half Speed Stop")},
          {0, "z", presetIndex("Zed")},
          {XK_Up, "", presetIndex("Alpha")},
          {XK_Up, "", 9},
          {XK_Down, "", presetIndex("Alpha")},
          {XK_Down, "", presetIndex("Zed")}}) {
        rack().key(key, text);
        EXPECT_EQ(bar().browserHover(), selected) << text;
    }
    plugin().presetEdited = false;
    rack().key(XK_Return, "");
    EXPECT_EQ(plugin().guiCurrentPreset(), presetIndex("Zed"));
    // A right-click renames and describes anew, from the entry's own description.
    click(bar().zoneRect(kZoneBrowser)), click(bar().browserEntryRect(presetIndex("Alpha")), 3);
    rack().key(XK_Tab, ""), rack().key(0, "!"), rack().key(XK_Return, "");
    EXPECT_EQ(plugin().presets[presetIndex("Alpha")].description, "Alpha!");
}

} // namespace
} // namespace norvale::guitest
