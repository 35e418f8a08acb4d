#include "gui/preset_bar.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>

#include "gui/paint_helpers.h"
#include "gui/rack.h"
#include "gui/text_edit.h"

namespace norvale {

using plugincore::Align;
using plugincore::Rect;

namespace {

constexpr size_t kNameBytes = 48;
constexpr double kPromptWidth = 420;
constexpr double kPromptTop = 196;
constexpr double kBrowserRow = 26;

bool isWheel(int button) {
    return button == 4 || button == 5;
}

} // namespace

PresetBar::PresetBar(plugincore::GuiDelegate& delegate, const plugincore::WindowSpec& spec,
                     RackHost& host)
    : delegate_(delegate), spec_(spec), host_(host) {}

int PresetBar::presetCount() const {
    return int(delegate_.guiPresets().size());
}

void PresetBar::moveDamageTo(plugincore::Damage& frame) {
    damage_.moveTo(frame);
}

// ---- geometry ----

Rect PresetBar::zoneRect(int zone) const {
    const double top = spec_.height - 68;
    switch (zone) {
    case kZonePrevious: return {78, top, 26, 32};
    case kZoneBrowser: return {108, top, 300, 32};
    case kZoneNext: return {412, top, 26, 32};
    case kZoneSave: return {452, top, 58, 32};
    default: return {0, 0, 0, 0};
    }
}

PresetBar::BrowserGeometry PresetBar::browserGeometry() const {
    BrowserGeometry g{};
    g.totalRows = (presetCount() + 2) / 3;
    const double avail = spec_.height - 156;
    g.panelHeight = std::min(g.totalRows * kBrowserRow + 54, avail);
    g.panelTop = (avail - g.panelHeight) / 2 + 86;
    g.visibleRows = int((g.panelHeight - 54) / kBrowserRow);
    if (g.visibleRows <= 0) g.visibleRows = 1;
    g.maxScroll = std::max(0, g.totalRows - g.visibleRows);
    g.columnWidth = (spec_.width - 80 - 42) / 3.0;
    g.listTop = g.panelTop + 40;
    return g;
}

Rect PresetBar::browserPanelRect() const {
    const BrowserGeometry g = browserGeometry();
    return {56, g.panelTop, spec_.width - 80.0, g.panelHeight};
}

Rect PresetBar::browserEntryRect(int index) const {
    const BrowserGeometry g = browserGeometry();
    if (index < 0 || index >= presetCount()) return {0, 0, 0, 0};
    const int shownRow = index / 3 - browserScroll_;
    if (shownRow < 0 || shownRow >= g.visibleRows) return {0, 0, 0, 0};
    return {70 + (index % 3) * g.columnWidth, g.listTop + shownRow * kBrowserRow, g.columnWidth,
            kBrowserRow};
}

int PresetBar::browserEntryAt(double x, double y) const {
    for (int i = 0; i < presetCount(); ++i)
        if (browserEntryRect(i).contains(x, y)) return i;
    return -1;
}

Rect PresetBar::saveBoxRect() const {
    return {(spec_.width + 32 - kPromptWidth) / 2, kPromptTop, kPromptWidth, 156};
}

Rect PresetBar::saveButtonRect(bool save) const {
    const double x0 = saveBoxRect().x;
    return {x0 + (save ? 308 : 206), 304, 92, 28};
}

// ---- stepping and the hint ----

void PresetBar::stepPreset(int direction) {
    const int n = presetCount();
    if (n == 0) return;
    const int current = delegate_.guiCurrentPreset();
    // After a failed load, step on from the entry that failed rather than
    // retrying it: the current preset has not moved since.
    const int from = failedPreset_ >= 0 && failedOver_ == current && failedPreset_ < n
                         ? failedPreset_
                         : (current >= 0 && current < n ? current : -1);
    const int target = from < 0 ? (direction > 0 ? 0 : n - 1) : ((from + direction) % n + n) % n;
    damage_.addAll();
    delegate_.guiLoadPreset(target);
    const int now = delegate_.guiCurrentPreset();
    if (now == target) {
        failedPreset_ = failedOver_ = -1;
    } else {
        failedPreset_ = target;
        failedOver_ = now;
    }
}

std::string PresetBar::failureText() const {
    const auto& presets = delegate_.guiPresets();
    if (failedPreset_ < 0 || size_t(failedPreset_) >= presets.size() ||
        delegate_.guiCurrentPreset() != failedOver_)
        return {};
    return "Could not load \"" + presets[failedPreset_].name +
           "\": the file is missing or unreadable. The arrows go on from it.";
}

std::string PresetBar::currentName() const {
    const auto& presets = delegate_.guiPresets();
    const int current = delegate_.guiCurrentPreset();
    if (current >= 0 && size_t(current) < presets.size())
        return plugincore::validUtf8(presets[current].name);
    return "Init";
}

// ---- browser ----

void PresetBar::openBrowser() {
    browserOpen_ = true;
    browserHover_ = -1;
    const BrowserGeometry g = browserGeometry();
    const int current = delegate_.guiCurrentPreset();
    const int base = current >= 0 ? current / 3 : 0;
    browserScroll_ = std::clamp(base - g.visibleRows / 2, 0, g.maxScroll);
    damage_.addAll(); // the dim covers the whole editor
}

void PresetBar::closeBrowser() {
    if (!browserOpen_) return;
    browserOpen_ = false;
    damage_.addAll();
}

void PresetBar::scrollBrowser(int rows) {
    const int next = std::clamp(browserScroll_ + rows, 0, browserGeometry().maxScroll);
    if (next == browserScroll_) return;
    browserScroll_ = next;
    damage_.add(browserPanelRect());
}

bool PresetBar::pressBrowser(double x, double y, int button) {
    if (isWheel(button)) {
        scrollBrowser(button == 4 ? -1 : 1);
    } else if (button == 1) {
        if (const int entry = browserEntryAt(x, y); entry >= 0) {
            damage_.addAll();
            browserOpen_ = false;
            failedPreset_ = failedOver_ = -1;
            delegate_.guiLoadPreset(entry);
        } else if (!browserPanelRect().contains(x, y)) {
            closeBrowser();
        }
    }
    return true;
}

bool PresetBar::browserKey(unsigned long keysym) {
    if (keysym == XK_Up || keysym == XK_KP_Up)
        scrollBrowser(-1);
    else if (keysym == XK_Down || keysym == XK_KP_Down)
        scrollBrowser(1);
    else
        closeBrowser();
    return true;
}

void PresetBar::hoverBrowser(double x, double y) {
    const int hover = browserEntryAt(x, y);
    if (hover == browserHover_) return;
    damage_.add(browserEntryRect(browserHover_));
    damage_.add(browserEntryRect(hover));
    browserHover_ = hover;
}

// ---- the bar ----

int PresetBar::hoverBar(double x, double y) {
    int zone = kZoneNone;
    for (int z : {kZonePrevious, kZoneNext, kZoneBrowser, kZoneSave})
        if (zoneRect(z).contains(x, y)) zone = z;
    if (zone != hoverZone_) {
        damage_.add(zoneRect(hoverZone_));
        damage_.add(zoneRect(zone));
        hoverZone_ = zone;
    }
    return zone;
}

void PresetBar::leave() {
    damage_.add(zoneRect(hoverZone_));
    hoverZone_ = kZoneNone;
}

bool PresetBar::pressBar(double x, double y, int button) {
    // Buttons act on button 1 only: the wheel must not step presets.
    if (button != 1) return false;
    if (zoneRect(kZonePrevious).contains(x, y)) {
        stepPreset(-1);
    } else if (zoneRect(kZoneNext).contains(x, y)) {
        stepPreset(+1);
    } else if (zoneRect(kZoneSave).contains(x, y)) {
        openSavePrompt();
    } else if (zoneRect(kZoneBrowser).contains(x, y)) {
        openBrowser();
    } else {
        return false;
    }
    return true;
}

// ---- save prompt ----

void PresetBar::openSavePrompt() {
    browserOpen_ = false;
    saveOpen_ = true;
    saveName_.clear();
    plugincore::appendChars(saveName_,
                            plugincore::printableChars(delegate_.guiSuggestedPresetName()),
                            kNameBytes, kNameBytes);
    saveMessage_.clear();
    saveError_ = false;
    if (!keyboardHeld_) keyboardHeld_ = host_.takeKeyboard();
    if (!keyboardHeld_) saveMessage_ = "Cannot reach the keyboard. SAVE stores it under this name.";
    damage_.addAll(); // the dim covers the whole editor
}

void PresetBar::closeSavePrompt() {
    if (!saveOpen_) return;
    saveOpen_ = false;
    if (keyboardHeld_) host_.releaseKeyboard();
    keyboardHeld_ = false;
    damage_.addAll();
}

void PresetBar::commitSave() {
    const size_t first = saveName_.find_first_not_of(' ');
    const std::string name =
        first == std::string::npos
            ? std::string()
            : saveName_.substr(first, saveName_.find_last_not_of(' ') - first + 1);
    damage_.add(saveBoxRect());
    if (name.empty()) {
        saveMessage_ = "Give the preset a name.";
        saveError_ = true;
        return;
    }
    std::string error;
    if (delegate_.guiSavePreset(name, error)) {
        failedPreset_ = failedOver_ = -1;
        closeSavePrompt();
        return;
    }
    saveMessage_ = error.empty() ? "Could not save the preset." : plugincore::validUtf8(error);
    saveError_ = true;
}

bool PresetBar::saveKey(unsigned long keysym, std::string_view utf8) {
    if (keysym == XK_Return || keysym == XK_KP_Enter) {
        commitSave();
        return true;
    }
    if (keysym == XK_Escape) {
        closeSavePrompt();
        return true;
    }
    if (keysym == XK_BackSpace)
        plugincore::eraseLastChar(saveName_);
    else
        plugincore::appendChars(saveName_, plugincore::printableChars(utf8), kNameBytes,
                                kNameBytes);
    saveMessage_.clear();
    saveError_ = false;
    damage_.add(saveBoxRect());
    return true;
}

bool PresetBar::pressSavePrompt(double x, double y, int button) {
    if (button != 1) return true;
    if (saveButtonRect(true).contains(x, y))
        commitSave();
    else if (saveButtonRect(false).contains(x, y) || !saveBoxRect().contains(x, y))
        closeSavePrompt();
    return true;
}

// ---- painting ----

void PresetBar::paintBarLabel(cairo_t* cr) const {
    plugincore::setFont(cr, 9, true);
    plugincore::setColour(cr, spec_.palette.textFaint);
    plugincore::drawText(cr, "PRESET", 16, spec_.height - 47, Align::Left);
}

void PresetBar::paintBar(cairo_t* cr) const {
    const plugincore::Palette& pal = spec_.palette;
    for (int zone : {kZonePrevious, kZoneBrowser, kZoneNext, kZoneSave}) {
        const Rect r = zoneRect(zone);
        if (!plugincore::inClip(cr, r)) continue;
        const bool lit = hoverZone_ == zone || (zone == kZoneBrowser && browserOpen_) ||
                         (zone == kZoneSave && saveOpen_);
        plugincore::roundedBox(cr, r, 4, pal.panelFill, lit ? pal.accent : pal.panelLine,
                               lit ? 0.7 : 1.0);
        const double cx = r.x + r.width / 2, cy = r.y + r.height / 2;
        if (zone == kZonePrevious || zone == kZoneNext) {
            const double side = zone == kZonePrevious ? 1 : -1;
            plugincore::setColour(cr, lit ? pal.accent : pal.textDim);
            cairo_move_to(cr, cx + side * 3.15, cy - 4.5);
            cairo_line_to(cr, cx + side * 3.15, cy + 4.5);
            cairo_line_to(cr, cx - side * 3.15, cy);
            cairo_close_path(cr);
            cairo_fill(cr);
        } else if (zone == kZoneBrowser) {
            plugincore::setFont(cr, 13, true);
            plugincore::setColour(cr, pal.accent);
            // The name gives way to the menu mark on the right, mirrored on
            // the left so it stays centred; the edited mark always shows.
            const std::string mark = delegate_.guiPresetEdited() ? " *" : "";
            const double room = r.width - 2 * 22 - plugincore::inkWidth(cr, mark.c_str());
            const std::string name = plugincore::fitText(cr, currentName(), room) + mark;
            plugincore::drawText(cr, name.c_str(), cx, r.y + 21, Align::Centre);
            plugincore::setColour(cr, pal.textFaint);
            cairo_move_to(cr, r.x + r.width - 16, cy - 2.8);
            cairo_line_to(cr, r.x + r.width - 8, cy - 2.8);
            cairo_line_to(cr, r.x + r.width - 12, cy + 2.8);
            cairo_close_path(cr);
            cairo_fill(cr);
        } else {
            plugincore::setFont(cr, 10, true);
            plugincore::setColour(cr, lit ? pal.accent : pal.textDim);
            plugincore::drawText(cr, "SAVE", cx, r.y + 20, Align::Centre);
        }
    }
}

void PresetBar::paintBrowser(cairo_t* cr) const {
    if (!browserOpen_) return;
    const plugincore::Palette& pal = spec_.palette;
    const BrowserGeometry g = browserGeometry();
    const Rect panel = browserPanelRect();
    cairo_rectangle(cr, 0, 0, spec_.width + 32.0, spec_.height);
    plugincore::setColour(cr, pal.backgroundBottom, 0.88);
    cairo_fill(cr);
    plugincore::roundedBox(cr, panel, 6, pal.panelFill, pal.accent, 0.5);
    plugincore::setFont(cr, 11, true);
    plugincore::setColour(cr, pal.accent);
    plugincore::drawText(cr, "PRESETS", 70, g.panelTop + 24, Align::Left);
    const bool scrolls = g.totalRows > g.visibleRows;
    plugincore::setFont(cr, 9, false);
    plugincore::setColour(cr, pal.textFaint);
    plugincore::drawText(cr,
                         scrolls ? "click to load, wheel to scroll, click outside to close"
                                 : "click to load, or click outside to close",
                         panel.x + panel.width - 14, g.panelTop + 24, Align::Right);

    const auto& presets = delegate_.guiPresets();
    const int current = delegate_.guiCurrentPreset();
    for (int i = 0; i < int(presets.size()); ++i) {
        const Rect cell = browserEntryRect(i);
        if (cell.width == 0 || !plugincore::inClip(cr, cell)) continue;
        const bool hovered = i == browserHover_, isCurrent = i == current;
        plugincore::beginListRow(cr, pal, {cell.x + 2, cell.y + 1, cell.width - 4, 24}, 11, hovered,
                                 isCurrent);
        plugincore::drawText(cr, plugincore::validUtf8(presets[i].name).c_str(), cell.x + 10,
                             cell.y + 17, Align::Left);
        if (presets[i].user) {
            plugincore::setFont(cr, 8, true);
            plugincore::setColour(cr, pal.textFaint);
            plugincore::drawText(cr, "USER", cell.x + cell.width - 10, cell.y + 17, Align::Right);
        }
    }
    if (scrolls) {
        const double x = spec_.width - 46.0, track = g.visibleRows * kBrowserRow;
        plugincore::roundedRect(cr, x, g.listTop, 8, track, 3);
        plugincore::setColour(cr, pal.textBright, 0.08);
        cairo_fill(cr);
        const double thumb = std::max(18.0, double(g.visibleRows) / g.totalRows * track);
        const double top =
            g.listTop + (track - thumb) * browserScroll_ / double(g.totalRows - g.visibleRows);
        plugincore::roundedRect(cr, x, top, 8, thumb, 3);
        plugincore::setColour(cr, pal.accent, 0.55);
        cairo_fill(cr);
    }
}

void PresetBar::paintSavePrompt(cairo_t* cr) const {
    if (!saveOpen_) return;
    const plugincore::Palette& pal = spec_.palette;
    const Rect box = saveBoxRect();
    const double x0 = box.x;
    cairo_rectangle(cr, 0, 0, spec_.width + 32.0, spec_.height);
    plugincore::setColour(cr, pal.backgroundBottom, 0.88);
    cairo_fill(cr);
    plugincore::roundedBox(cr, box, 6, pal.panelFill, pal.accent, 0.5);
    plugincore::setFont(cr, 11, true);
    plugincore::setColour(cr, pal.accent);
    plugincore::drawText(cr, "SAVE PRESET", x0 + 20, 222, Align::Left);
    plugincore::setFont(cr, 9, false);
    plugincore::setColour(cr, pal.textFaint);
    plugincore::drawText(cr, "to your own preset folder", x0 + 400, 222, Align::Right);

    plugincore::roundedBox(cr, {x0 + 20, 250, 380, 30}, 3, pal.controlFill,
                           saveError_ ? pal.accent : pal.panelLine);
    plugincore::setFont(cr, 12, false);
    plugincore::setColour(cr, pal.textBright);
    // A long name scrolls left inside the field so the caret stays in view.
    const std::string typed = plugincore::validUtf8(saveName_) + "_";
    const double room = 380 - 18, over = plugincore::inkWidth(cr, typed.c_str()) - room;
    cairo_save(cr);
    cairo_rectangle(cr, x0 + 21, 251, 378, 28);
    cairo_clip(cr);
    plugincore::drawText(cr, typed.c_str(), x0 + 29 - std::max(0.0, over), 270, Align::Left);
    cairo_restore(cr);
    plugincore::setFont(cr, 9, false);
    plugincore::setColour(cr, pal.textFaint);
    plugincore::drawText(
        cr, saveMessage_.empty() ? "Type a name, then Enter. Esc cancels." : saveMessage_.c_str(),
        x0 + 20, 300, Align::Left);

    const Rect cancel = saveButtonRect(false), save = saveButtonRect(true);
    plugincore::roundedBox(cr, cancel, 4, pal.panelFill, pal.panelLine);
    plugincore::roundedBox(cr, save, 4, pal.panelFill, pal.accent, 0.7);
    plugincore::setFont(cr, 10, true);
    plugincore::setColour(cr, pal.textDim);
    plugincore::drawText(cr, "CANCEL", cancel.x + cancel.width / 2, 322, Align::Centre);
    plugincore::setColour(cr, pal.accent);
    plugincore::drawText(cr, "SAVE", save.x + save.width / 2, 322, Align::Centre);
}

} // namespace norvale
