#include "gui/rack.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "gui/paint_helpers.h"
#include "gui/text_edit.h"
#include "plugin/params.h"

namespace norvale {

using plugincore::Align;
using plugincore::ParamKind;
using plugincore::Rect;

// ---- panel table ----

namespace {

constexpr uint32_t kGlobalIds[] = {kParamMix,       kParamInput,   kParamOutput,  kParamSplitLow,
                                   kParamSplitHigh, kParamBandLow, kParamBandMid, kParamBandHigh};
constexpr uint32_t kTriggerIds[] = {kParamTrigSource, kParamTrigThreshold, kParamTrigFilter,
                                    kParamTrigHold,   kParamTrigNote,      kParamTrigOctave};
constexpr uint32_t kVolumeIds[] = {kParamVolOn,     kParamVolTrim,    kParamVolRate, kParamVolPhase,
                                   kParamVolSmooth, kParamVolTrigger, kParamVolLoop, kParamVolEnd};
constexpr uint32_t kFilterIds[] = {
    kParamFltOn,      kParamFltCutoff,  kParamFltRes,      kParamFltDepth, kParamFltDrive,
    kParamFltTypeLow, kParamFltTypeMid, kParamFltTypeHigh, kParamFltRate,  kParamFltPhase,
    kParamFltSmooth,  kParamFltTrigger, kParamFltLoop,     kParamFltEnd};
constexpr uint32_t kDriveIds[] = {
    kParamDrvOn,      kParamDrvStyle, kParamDrvDrive, kParamDrvInput, kParamDrvOutput,
    kParamDrvTone,    kParamDrvMix,   kParamDrvRate,  kParamDrvPhase, kParamDrvSmooth,
    kParamDrvTrigger, kParamDrvLoop,  kParamDrvEnd};
constexpr uint32_t kTimeIds[] = {kParamTimOn,      kParamTimRange, kParamTimStep,
                                 kParamTimRate,    kParamTimPhase, kParamTimSmooth,
                                 kParamTimTrigger, kParamTimLoop,  kParamTimEnd};
constexpr uint32_t kCrushIds[] = {
    kParamCrsOn,    kParamCrsAmount, kParamCrsBits,    kParamCrsDown, kParamCrsMix, kParamCrsRate,
    kParamCrsPhase, kParamCrsSmooth, kParamCrsTrigger, kParamCrsLoop, kParamCrsEnd};
constexpr uint32_t kPanIds[] = {kParamPanOn,      kParamPanRate, kParamPanPhase, kParamPanSmooth,
                                kParamPanTrigger, kParamPanLoop, kParamPanEnd};
constexpr uint32_t kWidthIds[] = {kParamWidOn,      kParamWidRate, kParamWidPhase, kParamWidSmooth,
                                  kParamWidTrigger, kParamWidLoop, kParamWidEnd};

template <uint32_t N>
constexpr plugincore::PanelSpec panel(const char* title, const uint32_t (&ids)[N]) {
    return {title, N, 1, ids, N};
}

constexpr double kCellWidth = 84;
constexpr double kCellHeight = 96;
// From a menu box's edge to where its text may begin: past the arrow and a gap.
constexpr double kMenuTextInset = 19;
constexpr size_t kTypingChars = 24;
constexpr double kPi = std::numbers::pi;
constexpr const char* kDefaultHint =
    "Drag a knob to edit, double-click to reset, shift-drag for fine control. Click a menu to "
    "pick from the list, its arrows to step. Click a value to type one.";

bool isStepped(const plugincore::ParamDesc& d) {
    return d.kind == ParamKind::Stepped || d.kind == ParamKind::Enum;
}

} // namespace

constexpr plugincore::PanelSpec kPanelSpecs[9] = {
    panel("GLOBAL", kGlobalIds), panel("TRIGGER", kTriggerIds), panel("VOLUME", kVolumeIds),
    panel("FILTER", kFilterIds), panel("DRIVE", kDriveIds),     panel("TIME", kTimeIds),
    panel("CRUSH", kCrushIds),   panel("PAN", kPanIds),         panel("WIDTH", kWidthIds)};
// Two controls of one panel never share a label.
constexpr bool panelLabelsAreDistinct() {
    for (const plugincore::PanelSpec& panel : kPanelSpecs)
        for (uint32_t i = 0; i < panel.paramIdCount; ++i)
            for (uint32_t j = 0; j < i; ++j)
                if (param_rows::sameText(kParams[panel.paramIds[i]].name,
                                         kParams[panel.paramIds[j]].name))
                    return false;
    return true;
}
const uint32_t kRowStart[8] = {0, 2, 3, 4, 5, 6, 7, 8};
const uint32_t kRowCount[8] = {2, 1, 1, 1, 1, 1, 1, 1};
static_assert(panelLabelsAreDistinct(), "two controls of a panel would share a label");

Rack::Rack(plugincore::GuiDelegate& delegate, const plugincore::WindowSpec& spec, RackHost& host)
    : delegate_(delegate), spec_(spec), host_(host), bar_(delegate, spec, host) {}

const plugincore::ParamDesc* Rack::desc(uint32_t id) const {
    return plugincore::paramByIdIn(spec_.paramDescs, spec_.paramDescCount, id);
}

// ---- layout ----

Rect Rack::curvePanelRect() const {
    return {16, 74, double(spec_.width), 376};
}

void Rack::buildLayout(int layoutModule) {
    layoutModule_ = layoutModule;
    panelRects_.clear();
    cells_.clear();
    cellRects_.clear();
    const int rows[2] = {0, layoutModule >= 0 ? layoutModule + 1 : -1};
    const Rect curves = curvePanelRect();
    double y = curves.y + curves.height + 8;
    for (int r : rows) {
        if (r < 0 || uint32_t(r) >= spec_.rows) continue;
        double x = 16, rowHeight = 0;
        const uint32_t first = spec_.rowStart[r], count = spec_.rowCount[r];
        for (uint32_t p = first; p < first + count && p < spec_.panelCount; ++p) {
            const plugincore::PanelSpec& ps = spec_.panels[p];
            const double height = ps.cellRows * kCellHeight + 32;
            const double width =
                p + 1 == first + count ? (spec_.width + 16) - x : ps.columns * kCellWidth + 16;
            for (uint32_t i = 0; i < ps.paramIdCount; ++i) {
                const int column = int(i % ps.columns), row = int(i / ps.columns);
                cells_.push_back({ps.paramIds[i], column, row, 1});
                cellRects_.push_back({x + 8 + kCellWidth * column, y + 24 + kCellHeight * row,
                                      kCellWidth, kCellHeight});
            }
            panelRects_.push_back({&ps, {x, y, width, height}});
            rowHeight = std::max(rowHeight, height);
            x += width + 8;
        }
        y += rowHeight + 8;
    }
    if (hoverParam_ >= 0 && controlRect(hoverParam_).width == 0) hoverParam_ = -1;
    if (menuParam_ >= 0 && controlRect(menuParam_).width == 0) menuParam_ = -1;
    if (contextParam_ >= 0 && controlRect(contextParam_).width == 0) closeContextMenu();
    damage_.addAll();
}

Rect Rack::powerRect() const {
    // Left of the zoom button, on the title's line.
    return {zoomButtonRect().x - 36, 24, 24, 24};
}

Rect Rack::controlRect(uint32_t paramId) const {
    if (paramId == kParamBypass) return powerRect();
    for (size_t i = 0; i < cells_.size(); ++i)
        if (cells_[i].paramId == paramId) return cellRects_[i];
    return {0, 0, 0, 0};
}

Rect Rack::valueBoxRect(uint32_t paramId) const {
    const Rect c = controlRect(paramId);
    const plugincore::ParamDesc* d = desc(paramId);
    // A menu box shows its value in the box itself.
    if (d != nullptr && d->kind == ParamKind::Enum) return {c.x + 5, c.y + 34, c.width - 10, 22};
    return {c.x + 6, c.y + 74, c.width - 12, 22};
}

int Rack::controlAt(double x, double y) const {
    for (size_t i = 0; i < cellRects_.size(); ++i)
        if (cellRects_[i].contains(x, y) && desc(cells_[i].paramId) != nullptr) return int(i);
    return -1;
}

Rect Rack::hintRect() const {
    return {0, spec_.height - 30.0, spec_.width + 32.0, 30};
}

void Rack::damageControl(int paramId) {
    if (paramId >= 0) damage_.add(controlRect(uint32_t(paramId)));
}

void Rack::damageMenu() {
    if (menuParam_ >= 0) damage_.add(menuRect());
}

void Rack::moveDamageTo(plugincore::Damage& frame) {
    damage_.moveTo(frame);
    bar_.moveDamageTo(frame);
}

// ---- values ----

void Rack::setValue(uint32_t id, double value) {
    delegate_.guiBeginEdit(id);
    delegate_.guiSetParam(id, value);
    delegate_.guiEndEdit(id);
    damageControl(int(id));
    damageMenu(); // it marks the current item
}

void Rack::nudge(uint32_t param, int direction, bool fine) {
    const plugincore::ParamDesc* d = desc(param);
    if (d == nullptr) return;
    const double value = delegate_.guiParamValue(param);
    const double next =
        isStepped(*d) ? std::floor(value + 0.5) + direction
                      : value + direction * (d->maxValue - d->minValue) * (fine ? 0.005 : 0.02);
    setValue(param, plugincore::paramClamp(*d, next));
}

void Rack::wheelControl(int index, int direction, bool shift) {
    nudge(cells_[index].paramId, direction, shift);
}

// ---- pointer ----

bool Rack::pressModal(double x, double y, int button, uint64_t /*timeMs*/, bool shift) {
    if (bar_.saveOpen()) {
        if (button == 1) bar_.pressSavePrompt(x, y, button, shift);
        return true;
    }
    if (typingParam_ >= 0) {
        // A press elsewhere ends the entry and does nothing else.
        if (!valueBoxRect(typingParam_).contains(x, y)) leaveEntry();
        return true;
    }
    if (zoomMenuOpen_) return pressZoom(x, y, button);
    if (contextParam_ >= 0) return pressContext(x, y, button);
    if (menuParam_ >= 0) return pressMenu(x, y, button);
    if (bar_.browserOpen()) return bar_.pressBrowser(x, y, button);
    return false;
}

bool Rack::pressRack(double x, double y, int button, uint64_t timeMs, bool shift) {
    if (button == 4 || button == 5) {
        // The wheel turns knobs and nothing else here.
        const int index = controlAt(x, y);
        if (index < 0) return false;
        wheelControl(index, button == 4 ? 1 : -1, shift);
        return true;
    }
    if (bar_.pressBar(x, y, button)) return true;
    if (button == 1 && zoomButtonRect().contains(x, y)) {
        bar_.closeBrowser();
        zoomMenuOpen_ = true;
        zoomHover_ = -1;
        damage_.add(zoomItemRect(-1));
        return true;
    }
    const Rect version{spec_.width + 16.0 - 56, 33, 56, 14};
    if (button == 1 && version.contains(x, y)) {
        delegate_.guiVersionClicked();
        return true;
    }
    if (button == 1 && powerRect().contains(x, y)) {
        setValue(kParamBypass, delegate_.guiParamValue(kParamBypass) >= 0.5 ? 0.0 : 1.0);
        return true;
    }
    const int index = controlAt(x, y);
    if (index >= 0) return pressControl(index, x, y, button, timeMs, shift);
    return false;
}

bool Rack::pressControl(int index, double x, double y, int button, uint64_t timeMs, bool shift) {
    const uint32_t id = cells_[index].paramId;
    const plugincore::ParamDesc& d = *desc(id);
    const Rect& c = cellRects_[index];
    // Only a knob's body double-clicks; any other press breaks a pair.
    const bool knob = button == 1 && d.kind != ParamKind::Enum && !valueBoxRect(id).contains(x, y);
    resetOnRelease_ = clicks_.press(knob ? int(id) : -1, x, y, timeMs);
    if (button == 3) openContextMenu(id, x, y);
    if (button != 1) return true;
    if (d.kind == ParamKind::Enum) {
        if (x < c.x + 23) {
            nudge(id, -1, false);
        } else if (x > c.x + c.width - 23) {
            nudge(id, +1, false);
        } else {
            bar_.closeBrowser();
            menuParam_ = int(id);
            menuHover_ = menuItemAt(x, y);
            damageMenu();
        }
        return true;
    }
    if (valueBoxRect(id).contains(x, y)) {
        startTyping(id);
        return true;
    }
    dragParam_ = int(id);
    dragStartY_ = y;
    dragStartValue_ = dragValue_ = delegate_.guiParamValue(id);
    dragFine_ = shift;
    delegate_.guiBeginEdit(id);
    damageControl(int(id));
    return true;
}

bool Rack::motion(double x, double y, bool shift) {
    if (dragParam_ >= 0) {
        const plugincore::ParamDesc& d = *desc(dragParam_);
        clicks_.moved(x, y);
        if (shift != dragFine_) {
            // Scale only the travel from here on, so the value does not jump.
            dragStartY_ = y;
            dragStartValue_ = dragValue_;
            dragFine_ = shift;
        }
        const double travel = (dragStartY_ - y) * (d.maxValue - d.minValue) / 200;
        dragValue_ = plugincore::paramClamp(d, dragStartValue_ + travel * (shift ? 0.2 : 1.0));
        const double value = isStepped(d) ? std::floor(dragValue_ + 0.5) : dragValue_;
        delegate_.guiSetParam(dragParam_, plugincore::paramClamp(d, value));
        damageControl(dragParam_);
        return true;
    }
    if (bar_.saveOpen()) return false;
    if (zoomMenuOpen_) {
        const int hover = zoomItemAt(x, y);
        if (hover != zoomHover_) damage_.add(zoomItemRect(-1)), zoomHover_ = hover;
        return true;
    }
    if (contextParam_ >= 0) {
        const int hover = contextEntryAt(x, y);
        if (hover != contextHover_) {
            damage_.add(contextEntryRect(contextHover_));
            damage_.add(contextEntryRect(hover));
            contextHover_ = hover;
        }
        return true;
    }
    if (menuParam_ >= 0) {
        const int hover = menuItemAt(x, y);
        if (hover != menuHover_) {
            if (menuHover_ >= 0) damage_.add(menuItemRect(menuHover_));
            if (hover >= 0) damage_.add(menuItemRect(hover));
            menuHover_ = hover;
        }
        return true;
    }
    if (bar_.browserOpen()) {
        const int entry = bar_.browserHover();
        bar_.hoverBrowser(x, y);
        if (bar_.browserHover() != entry) damage_.add(hintRect()); // it shows the entry's
        return true;
    }
    const int index = controlAt(x, y);
    const int hover = index >= 0 ? int(cells_[index].paramId) : -1;
    if (hover != hoverParam_) {
        damageControl(hoverParam_);
        damageControl(hover);
        damage_.add(hintRect()); // it shows the hovered control's help
        hoverParam_ = hover;
    }
    const int zone = bar_.hoverZone();
    // Over the preset's name the hint line shows it in full.
    if (bar_.hoverBar(x, y) != zone) damage_.add(hintRect());
    return index >= 0;
}

bool Rack::release(int /*button*/) {
    if (dragParam_ < 0) return false;
    // The second press of a double-click resets, unless it turned into a drag.
    const bool reset = resetOnRelease_ && !clicks_.dragged();
    if (reset) delegate_.guiSetParam(dragParam_, desc(dragParam_)->defaultValue);
    clicks_.release(reset);
    endGestures();
    return true;
}

void Rack::endGestures() {
    resetOnRelease_ = false;
    if (dragParam_ < 0) return;
    delegate_.guiEndEdit(dragParam_);
    damageControl(dragParam_);
    dragParam_ = -1;
}

void Rack::leave() {
    if (dragParam_ >= 0) return;
    if (hoverParam_ >= 0) {
        damageControl(hoverParam_);
        damage_.add(hintRect());
    }
    hoverParam_ = -1;
    if (bar_.hoverZone() != kZoneNone) damage_.add(hintRect());
    bar_.leave();
}

void Rack::leaveEntry() {
    bar_.closeSavePrompt();
    if (typingParam_ < 0) return;
    const uint32_t id = typingParam_;
    double value = 0;
    const bool keep = typingText_ != typingShown_ &&
                      plugincore::paramTextToValue(*desc(id), typingText_.c_str(), value);
    endTyping();
    if (keep) setValue(id, value);
}

void Rack::closeTextEntry() {
    bar_.closeSavePrompt();
    endTyping();
    closeContextMenu();
    damageMenu();
    menuParam_ = -1;
    if (zoomMenuOpen_) damage_.add(zoomItemRect(-1)), zoomMenuOpen_ = false;
}

// ---- enum menu ----

Rect Rack::menuRect() const {
    const plugincore::ParamDesc* d = menuParam_ >= 0 ? desc(menuParam_) : nullptr;
    if (d == nullptr) return {0, 0, 0, 0};
    const Rect c = controlRect(menuParam_);
    const double width = std::max(96.0, c.width - 10);
    const double height = 20.0 * d->itemCount + 8;
    double top = c.y + 58;
    if (top + height > spec_.height - 8) top = c.y + 32 - height;
    top = std::max(top, 70.0);
    return {c.x + 5, top, width, height};
}

Rect Rack::menuItemRect(int item) const {
    const Rect m = menuRect();
    return {m.x + 4, m.y + 4 + 20.0 * item, m.width - 8, 20};
}

int Rack::menuItemAt(double x, double y) const {
    const plugincore::ParamDesc* d = menuParam_ >= 0 ? desc(menuParam_) : nullptr;
    if (d == nullptr) return -1;
    for (uint32_t i = 0; i < d->itemCount; ++i)
        if (menuItemRect(int(i)).contains(x, y)) return int(i);
    return -1;
}

void Rack::stepMenu(int direction) {
    const plugincore::ParamDesc& d = *desc(menuParam_);
    const double current = std::floor(delegate_.guiParamValue(menuParam_) + 0.5);
    const double next = std::clamp(current + direction, 0.0, d.itemCount - 1.0);
    if (next == current) return;
    setValue(menuParam_, next);
    menuHover_ = int(next);
}

bool Rack::pressMenu(double x, double y, int button) {
    if (button == 4 || button == 5) {
        stepMenu(button == 4 ? -1 : 1);
    } else if (button == 1) {
        damageMenu();
        if (!menuRect().contains(x, y)) {
            menuParam_ = -1;
        } else if (const int item = menuItemAt(x, y); item >= 0) {
            setValue(menuParam_, item);
            menuParam_ = -1;
        }
    }
    return true;
}

// ---- context menu ----

namespace {
constexpr double kContextWidth = 210, kContextRow = 20, kContextGap = 9;
constexpr const char* kResetLabel = "Reset to default";
constexpr const char* kTypeLabel = "Type a value\u2026";

bool selectable(const Rack::ContextEntry& e) {
    return e.item.enabled && (e.item.kind == plugincore::HostMenuItem::kEntry ||
                              e.item.kind == plugincore::HostMenuItem::kCheck);
}
} // namespace

void Rack::openContextMenu(uint32_t paramId, double x, double y) {
    if (desc(paramId) == nullptr) return;
    bar_.closeBrowser();
    menuParam_ = -1;
    endTyping();
    using Item = plugincore::HostMenuItem;
    contextEntries_ = {{ContextEntry::kReset, {Item::kEntry, kResetLabel, true, false, 0}},
                       {ContextEntry::kType, {Item::kEntry, kTypeLabel, true, false, 0}}};
    std::vector<Item> host = delegate_.guiHostMenu(paramId);
    if (!host.empty())
        contextEntries_.push_back({ContextEntry::kHost, {Item::kSeparator, "", false, false, 0}});
    for (Item& item : host)
        contextEntries_.push_back({ContextEntry::kHost, std::move(item)});
    contextParam_ = int(paramId);
    contextX_ = x;
    contextY_ = y;
    contextHover_ = -1;
    damage_.add(contextRect());
}

void Rack::closeContextMenu() {
    if (contextParam_ < 0) return;
    damage_.add(contextRect());
    contextParam_ = -1;
    contextEntries_.clear();
}

Rect Rack::contextRect() const {
    double height = 8;
    for (const ContextEntry& e : contextEntries_)
        height += e.item.kind == plugincore::HostMenuItem::kSeparator ? kContextGap : kContextRow;
    // Opens at the pointer, and stays inside the editor.
    const double right = spec_.width + 32.0 - 4, bottom = spec_.height - 4.0;
    const double x = std::max(4.0, std::min(contextX_, right - kContextWidth));
    const double y = std::max(4.0, std::min(contextY_, bottom - height));
    return {x, y, kContextWidth, height};
}

Rect Rack::contextEntryRect(int entry) const {
    if (contextParam_ < 0 || entry < 0 || entry >= int(contextEntries_.size())) return {0, 0, 0, 0};
    const Rect m = contextRect();
    double y = m.y + 4;
    for (int i = 0;; ++i) {
        const double h = contextEntries_[i].item.kind == plugincore::HostMenuItem::kSeparator
                             ? kContextGap
                             : kContextRow;
        if (i == entry) return {m.x + 4, y, m.width - 8, h};
        y += h;
    }
}

int Rack::contextEntryAt(double x, double y) const {
    for (int i = 0; i < int(contextEntries_.size()); ++i)
        if (selectable(contextEntries_[i]) && contextEntryRect(i).contains(x, y)) return i;
    return -1;
}

void Rack::performContext(int entry) {
    if (entry < 0 || entry >= int(contextEntries_.size()) || !selectable(contextEntries_[entry]))
        return;
    const uint32_t id = uint32_t(contextParam_);
    const ContextEntry chosen = contextEntries_[entry];
    closeContextMenu();
    switch (chosen.action) {
    case ContextEntry::kReset: setValue(id, desc(id)->defaultValue); break;
    case ContextEntry::kType: startTyping(id); break;
    case ContextEntry::kHost: delegate_.guiHostMenuPerform(id, chosen.item.actionId); break;
    }
}

bool Rack::pressContext(double x, double y, int button) {
    if (!contextRect().contains(x, y)) {
        // The press that closes the menu does nothing else.
        closeContextMenu();
        return true;
    }
    if (button == 1) performContext(contextEntryAt(x, y));
    return true;
}

bool Rack::contextKey(unsigned long keysym) {
    damage_.add(contextRect());
    const bool up = keysym == XK_Up || keysym == XK_KP_Up;
    if (up || keysym == XK_Down || keysym == XK_KP_Down) {
        const int n = int(contextEntries_.size());
        for (int step = 1; step <= n; ++step) {
            const int start = contextHover_ < 0 ? (up ? 0 : n - 1) : contextHover_;
            const int i = ((start + (up ? -step : step)) % n + n) % n;
            if (selectable(contextEntries_[i])) {
                contextHover_ = i;
                break;
            }
        }
    } else if (keysym == XK_Return || keysym == XK_KP_Enter) {
        performContext(contextHover_);
    } else {
        closeContextMenu();
    }
    return true;
}

// ---- zoom menu ----

namespace {
constexpr int kZoomItems = int(std::size(kZoomSteps)) + 1; // the last follows the host
}

Rect Rack::zoomItemRect(int item) const {
    const Rect b = zoomButtonRect();
    // -1: the whole menu with its button.
    if (item < 0) return {b.x - 4, b.y, b.width + 8, b.height + 8 + 20.0 * kZoomItems + 4};
    return {b.x, b.y + b.height + 6 + 20.0 * item, b.width, 20};
}

int Rack::zoomItemAt(double x, double y) const {
    for (int i = 0; i < kZoomItems; ++i)
        if (zoomItemRect(i).contains(x, y)) return i;
    return -1;
}

bool Rack::pressZoom(double x, double y, int button) {
    damage_.add(zoomItemRect(-1));
    zoomMenuOpen_ = false;
    if (button != 1) return true;
    if (const int item = zoomItemAt(x, y); item >= 0)
        host_.chooseZoom(item < kZoomItems - 1 ? kZoomSteps[item] : 0.0);
    return true;
}

// ---- keys and value typing ----

bool Rack::key(unsigned long keysym, std::string_view utf8, bool shift) {
    if (bar_.saveOpen()) return bar_.saveKey(keysym, utf8, shift);
    if (typingParam_ >= 0) return typingKey(keysym, utf8);
    if (contextParam_ >= 0) return contextKey(keysym);
    if (zoomMenuOpen_) {
        zoomMenuOpen_ = false;
        damage_.add(zoomItemRect(-1));
        return true;
    }
    const bool up = keysym == XK_Up || keysym == XK_KP_Up;
    const bool down = keysym == XK_Down || keysym == XK_KP_Down;
    if (up || down) {
        if (menuParam_ >= 0) {
            stepMenu(up ? -1 : 1);
            return true;
        }
        return browserKey(keysym, utf8);
    }
    if (menuParam_ >= 0) {
        damageMenu();
        menuParam_ = -1;
        return true;
    }
    return browserKey(keysym, utf8);
}

bool Rack::browserKey(unsigned long keysym, std::string_view utf8) {
    if (!bar_.browserOpen()) return false;
    const int entry = bar_.browserHover();
    bar_.browserKey(keysym, utf8);
    if (bar_.browserHover() != entry) damage_.add(hintRect());
    return true;
}

void Rack::startTyping(uint32_t id) {
    bar_.closeBrowser();
    damageMenu();
    menuParam_ = -1;
    char text[128];
    typingText_ =
        plugincore::paramValueToText(*desc(id), delegate_.guiParamValue(id), text, sizeof text)
            ? plugincore::validUtf8(text)
            : std::string();
    typingShown_ = typingText_;
    typingParam_ = int(id);
    typingError_ = false;
    typingSelectAll_ = true;
    host_.takeKeyboard();
    damageControl(int(id));
}

void Rack::endTyping() {
    if (typingParam_ < 0) return;
    damageControl(typingParam_);
    typingParam_ = -1;
    host_.releaseKeyboard();
}

bool Rack::typingKey(unsigned long keysym, std::string_view utf8) {
    damage_.add(valueBoxRect(uint32_t(typingParam_)));
    if (keysym == XK_Return || keysym == XK_KP_Enter) {
        const uint32_t id = typingParam_;
        double value = 0;
        if (plugincore::paramTextToValue(*desc(id), typingText_.c_str(), value)) {
            endTyping();
            setValue(id, value);
        } else {
            typingError_ = true;
        }
    } else if (keysym == XK_Escape) {
        endTyping();
    } else if (keysym == XK_BackSpace) {
        if (typingSelectAll_)
            typingText_.clear();
        else
            plugincore::eraseLastChar(typingText_);
        typingSelectAll_ = false;
        typingError_ = false;
    } else if (keysym == XK_Up || keysym == XK_KP_Up || keysym == XK_Down || keysym == XK_KP_Down) {
        typingError_ = false;
    } else if (const std::string chars = plugincore::printableChars(utf8); !chars.empty()) {
        if (typingSelectAll_) typingText_.clear(), typingSelectAll_ = false;
        plugincore::appendChars(typingText_, chars, 4 * kTypingChars, kTypingChars);
        typingError_ = false;
    }
    return true;
}

// ---- painting ----

void Rack::paintBackground(cairo_t* cr) const {
    const plugincore::Palette& pal = spec_.palette;
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, spec_.height);
    cairo_pattern_add_color_stop_rgb(gradient, 0, pal.backgroundTop.r, pal.backgroundTop.g,
                                     pal.backgroundTop.b);
    cairo_pattern_add_color_stop_rgb(gradient, 1, pal.backgroundBottom.r, pal.backgroundBottom.g,
                                     pal.backgroundBottom.b);
    cairo_rectangle(cr, 0, 0, spec_.width + 32.0, spec_.height);
    cairo_set_source(cr, gradient);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);

    plugincore::setFont(cr, 30, true);
    plugincore::setColour(cr, pal.textBright);
    plugincore::drawText(cr, spec_.titleHead, 16, 46, Align::Left);
    const double tailX = 16 + plugincore::inkWidth(cr, spec_.titleHead) + 2;
    plugincore::setColour(cr, pal.accent);
    plugincore::drawText(cr, spec_.titleTail, tailX, 46, Align::Left);

    const double right = spec_.width + 16.0;
    plugincore::setFont(cr, 9, true);
    plugincore::setColour(cr, pal.textFaint);
    plugincore::drawText(cr, spec_.subtitle, right, 30, Align::Right);
    char version[64];
    std::snprintf(version, sizeof version, "v%s", spec_.version);
    plugincore::setFont(cr, 9, false);
    plugincore::drawText(cr, version, right, 44, Align::Right);

    plugincore::setColour(cr, pal.panelLine);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, 16, 65.5);
    cairo_line_to(cr, right, 65.5);
    cairo_stroke(cr);
}

void Rack::paintStatic(cairo_t* cr) const {
    const plugincore::Palette& pal = spec_.palette;
    for (const PanelRect& panel : panelRects_) {
        plugincore::roundedBox(cr, panel.rect, 5, pal.panelFill, pal.panelLine);
        plugincore::setFont(cr, 10, true);
        plugincore::setColour(cr, pal.accent, 0.85);
        plugincore::drawText(cr, panel.spec->title, panel.rect.x + 10, panel.rect.y + 16,
                             Align::Left);
    }
    for (size_t i = 0; i < cells_.size(); ++i) {
        const plugincore::ParamDesc* d = desc(cells_[i].paramId);
        if (d == nullptr) continue;
        paintLabel(cr, i, pal.textDim);
        if (d->kind == ParamKind::Enum) continue;
        const Rect& c = cellRects_[i];
        cairo_set_line_width(cr, 3);
        plugincore::setColour(cr, pal.trackColour);
        cairo_new_path(cr);
        cairo_arc(cr, c.x + c.width / 2, c.y + 46, 21, 3 * kPi / 4, 9 * kPi / 4);
        cairo_stroke(cr);
    }
    bar_.paintBarLabel(cr);
}

void Rack::paintPanels(cairo_t* cr) const {
    for (size_t i = 0; i < cells_.size(); ++i)
        if (plugincore::inClip(cr, cellRects_[i])) paintControl(cr, i);
    if (plugincore::inClip(cr, powerRect())) paintPower(cr);
}

void Rack::paintPower(cairo_t* cr) const {
    const Rect r = powerRect();
    const double cx = r.x + r.width / 2, cy = r.y + r.height / 2;
    const bool running = delegate_.guiParamValue(kParamBypass) < 0.5;
    plugincore::setColour(cr, running ? spec_.palette.accent : spec_.palette.textFaint);
    cairo_set_line_width(cr, 2);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, 8, -kPi / 2 + 0.6, 3 * kPi / 2 - 0.6);
    cairo_move_to(cr, cx, cy - 10);
    cairo_line_to(cr, cx, cy - 2);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void Rack::paintLabel(cairo_t* cr, size_t index, const plugincore::Rgb& colour) const {
    const plugincore::ParamDesc& d = *desc(cells_[index].paramId);
    const Rect& c = cellRects_[index];
    const double w = c.width, mid = c.x + w / 2, cy = c.y;
    // On two lines when it does not fit on one.
    std::string label(d.name != nullptr ? d.name : "");
    label.resize(std::min<size_t>(label.size(), 63));
    for (char& ch : label)
        if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
    label = plugincore::validUtf8(label);
    plugincore::setColour(cr, colour);
    plugincore::setFont(cr, 9, true);
    if (plugincore::inkWidth(cr, label.c_str()) <= w - 6) {
        plugincore::drawText(cr, label.c_str(), mid, cy + 14, Align::Centre);
        return;
    }
    size_t split = std::string::npos;
    for (size_t i = 0; i < label.size(); ++i)
        if (label[i] == ' ' &&
            (split == std::string::npos || std::abs(double(i) - label.size() / 2.0) <
                                               std::abs(double(split) - label.size() / 2.0)))
            split = i;
    if (split == std::string::npos) {
        plugincore::drawText(cr, plugincore::fitText(cr, label, w - 6).c_str(), mid, cy + 14,
                             Align::Centre);
    } else {
        for (const auto& [line, y] : {std::pair{label.substr(0, split), cy + 9.5},
                                      std::pair{label.substr(split + 1), cy + 19.5}})
            plugincore::drawText(cr, plugincore::fitText(cr, line, w - 6).c_str(), mid, y,
                                 Align::Centre);
    }
}

// What moves: the static layer holds the label in its resting colour and the
// knob's track.
void Rack::paintControl(cairo_t* cr, size_t index) const {
    const plugincore::ParamDesc* dp = desc(cells_[index].paramId);
    if (dp == nullptr) return;
    const plugincore::ParamDesc& d = *dp;
    const plugincore::Palette& pal = spec_.palette;
    const Rect& c = cellRects_[index];
    const double cx = c.x, cy = c.y, w = c.width, mid = cx + w / 2;
    const int id = int(d.id);
    const bool hot = id == hoverParam_ || id == dragParam_;
    const double value = delegate_.guiParamValue(d.id);

    if (hot) paintLabel(cr, index, pal.textBright);

    char text[128];
    if (!plugincore::paramValueToText(d, value, text, sizeof text))
        std::snprintf(text, sizeof text, "--");
    const std::string shown = plugincore::validUtf8(text);

    if (d.kind == ParamKind::Enum) {
        plugincore::roundedBox(cr, {cx + 5, cy + 34, w - 10, 22}, 3, pal.controlFill,
                               hot ? pal.accent : pal.panelLine, hot ? 0.7 : 1.0);
        plugincore::setColour(cr, pal.textFaint);
        for (const double side : {-1.0, 1.0}) {
            const double ax = side < 0 ? cx + 14 : cx + w - 14;
            cairo_move_to(cr, ax + side * 2.45, cy + 45);
            cairo_line_to(cr, ax - side * 2.45, cy + 45 - 3.5);
            cairo_line_to(cr, ax - side * 2.45, cy + 45 + 3.5);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
        if (id == typingParam_) {
            paintTypingEntry(cr, valueBoxRect(d.id));
            return;
        }
        // The arrows' room stays free: a size smaller, then an ellipsis.
        const std::string fitted =
            plugincore::fitTextShrinking(cr, shown, w - 2 * kMenuTextInset, 10, 9, false);
        plugincore::setColour(cr, pal.textBright);
        plugincore::drawText(cr, fitted.c_str(), mid, cy + 49, Align::Centre);
        return;
    }

    const double kx = mid, ky = cy + 46;
    const double range = d.maxValue - d.minValue;
    const double p = range > 0 ? std::clamp((value - d.minValue) / range, 0.0, 1.0) : 0.0;
    const double startTravel = 3 * kPi / 4, angle = startTravel + p * 3 * kPi / 2;
    cairo_set_line_width(cr, 3);
    const double start = d.minValue < -0.0001 ? 3 * kPi / 2 : startTravel;
    plugincore::setColour(cr, pal.accent);
    cairo_new_path(cr);
    if (angle < start)
        cairo_arc_negative(cr, kx, ky, 21, start, angle);
    else
        cairo_arc(cr, kx, ky, 21, start, angle);
    cairo_stroke(cr);
    cairo_new_path(cr);
    cairo_arc(cr, kx, ky, 16, 0, 2 * kPi);
    plugincore::setColour(cr, pal.controlFill);
    cairo_fill_preserve(cr);
    plugincore::setColour(cr, hot ? pal.accent : pal.panelLine, hot ? 0.6 : 1.0);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    plugincore::setColour(cr, pal.textBright);
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, kx + 6 * std::cos(angle), ky + 6 * std::sin(angle));
    cairo_line_to(cr, kx + 14 * std::cos(angle), ky + 14 * std::sin(angle));
    cairo_stroke(cr);

    plugincore::setFont(cr, 9.5, false);
    if (id != typingParam_) {
        plugincore::setColour(cr, hot ? pal.accent : pal.textBright, hot ? 1.0 : 0.85);
        plugincore::drawText(cr, shown.c_str(), mid, cy + 86, Align::Centre);
        return;
    }
    paintTypingEntry(cr, valueBoxRect(d.id));
}

void Rack::paintTypingEntry(cairo_t* cr, const Rect& box) const {
    const plugincore::Palette& pal = spec_.palette;
    const plugincore::Rgb error{0.85, 0.3, 0.3};
    plugincore::roundedBox(cr, box, 3, pal.controlFill, typingError_ ? error : pal.accent,
                           typingError_ ? 1.0 : 0.9);
    if (typingSelectAll_ && !typingText_.empty()) {
        plugincore::roundedRect(cr, box.x + 4, box.y + 4, box.width - 8, 14, 2);
        plugincore::setColour(cr, pal.accent, 0.35);
        cairo_fill(cr);
    }
    const std::string entry = typingSelectAll_ ? typingText_ : typingText_ + "|";
    plugincore::setFont(cr, 9.5, false);
    plugincore::setColour(cr, pal.textBright);
    plugincore::drawText(cr, entry.c_str(), box.x + box.width / 2, box.y + 15, Align::Centre);
}

std::string Rack::hintText() const {
    if (const plugincore::ParamDesc* d = hoverParam_ >= 0 ? desc(hoverParam_) : nullptr;
        d != nullptr && d->help != nullptr && *d->help != '\0')
        return d->help;
    if (std::string failure = bar_.failureText(); !failure.empty()) return failure;
    const auto& presets = delegate_.guiPresets();
    const auto listed = [&presets](int i) { return i >= 0 && size_t(i) < presets.size(); };
    // A name the bar or the browser may shorten, in full, with the description.
    const auto described = [&](int i, const std::string& name) {
        return !listed(i) || presets[i].description.empty()
                   ? name
                   : name + " \u2014 " + presets[i].description;
    };
    if (const int entry = bar_.browserOpen() ? bar_.browserHover() : -1; listed(entry))
        return described(entry, plugincore::validUtf8(presets[entry].name));
    const int current = delegate_.guiCurrentPreset();
    if (bar_.hoverZone() >= kZoneA)
        return "A/B compare: two whole sounds side by side. Click A or B to hear the other, the "
               "arrow copies the sound shown into the other slot.";
    if (bar_.hoverZone() == kZoneBrowser) return described(current, bar_.currentName());
    if (listed(current) && !presets[current].description.empty())
        return presets[current].description;
    return kDefaultHint;
}

void Rack::paintHint(cairo_t* cr) const {
    if (!plugincore::inClip(cr, hintRect())) return;
    plugincore::setFont(cr, 10, false);
    plugincore::setColour(cr, spec_.palette.textFaint);
    plugincore::drawText(
        cr, plugincore::fitText(cr, plugincore::validUtf8(hintText()), spec_.width).c_str(), 16,
        spec_.height - 16, Align::Left);
}

void Rack::paintMenu(cairo_t* cr) const {
    const plugincore::ParamDesc* d = menuParam_ >= 0 ? desc(menuParam_) : nullptr;
    if (d == nullptr || !plugincore::inClip(cr, menuRect())) return;
    const plugincore::Palette& pal = spec_.palette;
    const Rect m = menuRect();
    plugincore::roundedBox(cr, m, 5, pal.panelFill, pal.accent, 0.5);
    const int current = int(std::floor(delegate_.guiParamValue(menuParam_) + 0.5));
    for (int i = 0; i < int(d->itemCount); ++i) {
        const Rect item = menuItemRect(i);
        const bool hovered = i == menuHover_, isCurrent = i == current;
        plugincore::beginListRow(cr, pal, item, 10, hovered, isCurrent);
        plugincore::drawText(cr, plugincore::validUtf8(d->items[i]).c_str(), m.x + 12, item.y + 14,
                             Align::Left);
    }
}

void Rack::paintContextMenu(cairo_t* cr) const {
    if (contextParam_ < 0 || !plugincore::inClip(cr, contextRect())) return;
    const plugincore::Palette& pal = spec_.palette;
    const Rect m = contextRect();
    plugincore::roundedBox(cr, m, 5, pal.panelFill, pal.accent, 0.5);
    for (int i = 0; i < int(contextEntries_.size()); ++i) {
        const plugincore::HostMenuItem& item = contextEntries_[i].item;
        const Rect r = contextEntryRect(i);
        if (item.kind == plugincore::HostMenuItem::kSeparator) {
            plugincore::setColour(cr, pal.panelLine);
            cairo_set_line_width(cr, 1);
            cairo_move_to(cr, r.x + 6, std::floor(r.y + r.height / 2) + 0.5);
            cairo_line_to(cr, r.x + r.width - 6, std::floor(r.y + r.height / 2) + 0.5);
            cairo_stroke(cr);
            continue;
        }
        const std::string label = plugincore::validUtf8(item.label);
        if (item.kind == plugincore::HostMenuItem::kTitle) {
            plugincore::setFont(cr, 9, true);
            plugincore::setColour(cr, pal.textFaint);
        } else {
            plugincore::beginListRow(cr, pal, r, 10, i == contextHover_, false);
            if (!item.enabled) plugincore::setColour(cr, pal.textFaint);
        }
        if (item.checked) {
            cairo_set_line_width(cr, 1.5);
            cairo_move_to(cr, r.x + 5, r.y + 10);
            cairo_line_to(cr, r.x + 8, r.y + 13.5);
            cairo_line_to(cr, r.x + 13, r.y + 6.5);
            cairo_stroke(cr);
        }
        plugincore::drawText(cr, plugincore::fitText(cr, label, r.width - 24).c_str(), r.x + 18,
                             r.y + 14, Align::Left);
    }
}

void Rack::paintZoom(cairo_t* cr) const {
    const plugincore::Palette& pal = spec_.palette;
    const Rect b = zoomButtonRect();
    const double choice = host_.zoomChoice();
    char label[32];
    if (choice > 0)
        std::snprintf(label, sizeof label, "ZOOM %d %%", int(std::lround(choice * 100)));
    else
        std::snprintf(label, sizeof label, "ZOOM HOST");
    if (plugincore::inClip(cr, b)) {
        plugincore::roundedBox(cr, b, 4, pal.panelFill, zoomMenuOpen_ ? pal.accent : pal.panelLine,
                               zoomMenuOpen_ ? 0.7 : 1.0);
        plugincore::setFont(cr, 9, true);
        plugincore::setColour(cr, pal.textDim);
        plugincore::drawText(cr, label, b.x + b.width / 2, b.y + 16, Align::Centre);
    }
    if (!zoomMenuOpen_) return;
    const Rect first = zoomItemRect(0);
    plugincore::roundedBox(cr, {b.x - 4, first.y - 4, b.width + 8, 20.0 * kZoomItems + 8}, 5,
                           pal.panelFill, pal.accent, 0.5);
    for (int i = 0; i < kZoomItems; ++i) {
        const bool last = i == kZoomItems - 1;
        const bool current = last ? choice <= 0 : std::fabs(choice - kZoomSteps[i]) < 1e-6;
        char item[32];
        if (last)
            std::snprintf(item, sizeof item, "As the host says");
        else
            std::snprintf(item, sizeof item, "%d %%", int(std::lround(kZoomSteps[i] * 100)));
        plugincore::beginListRow(cr, pal, zoomItemRect(i), 10, i == zoomHover_, current);
        plugincore::drawText(cr, item, zoomItemRect(i).x + 8, zoomItemRect(i).y + 14, Align::Left);
    }
}

void Rack::paintOverlays(cairo_t* cr) const {
    paintZoom(cr);
    bar_.paintBar(cr);
    bar_.paintBrowser(cr);
    paintHint(cr); // over the browser's dim: it describes the entry hovered
    paintMenu(cr);
    paintContextMenu(cr);
    bar_.paintSavePrompt(cr);
}

} // namespace norvale
