#include "gui/preset_bar.h"

#include <X11/keysym.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gui/paint_helpers.h"
#include "gui/text_edit.h"

namespace norvale {

using plugincore::Align;
using plugincore::Rect;

namespace {

constexpr size_t kNameBytes = 48;
// What the description field takes from the keyboard; a longer one read from
// a file is kept whole.
constexpr size_t kDescriptionBytes = 320;
constexpr double kPromptWidth = 420;
constexpr double kPromptTop = 196;
constexpr double kBrowserRow = 26;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool isVerticalWheel(int button) {
    return button == 4 || button == 5;
}

// The name field's text: font, and where its first character starts.
constexpr double kNameFont = 12;
constexpr double kNameInset = 9;

void setNameFont(cairo_t* cr) {
    plugincore::setFont(cr, kNameFont, false);
}

// How far the pen has moved after the first bytes of text.
double advanceOf(cairo_t* cr, const std::string& text, size_t bytes) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.substr(0, bytes).c_str(), &extents);
    return extents.x_advance;
}

// How far a long name is scrolled left so that the caret stays in view.
double fieldScroll(cairo_t* cr, const plugincore::TextField& field) {
    constexpr double kRoom = 380 - 2 * kNameInset;
    return std::max(0.0, advanceOf(cr, field.text(), field.caret()) - kRoom);
}

// The character boundary nearest to x (design units from the field's text
// start, as it is scrolled).
size_t offsetNear(const plugincore::TextField& field, double x) {
    // Measured off screen, in the font the field is painted with.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    setNameFont(cr);
    const std::string& text = field.text();
    x += fieldScroll(cr, field);
    size_t best = 0;
    double bestDistance = std::abs(x);
    for (size_t at = 1; at <= text.size(); ++at) {
        if (at < text.size() && (static_cast<uint8_t>(text[at]) & 0xC0) == 0x80) continue;
        const double distance = std::abs(advanceOf(cr, text, at) - x);
        if (distance < bestDistance) best = at, bestDistance = distance;
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return best;
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
    case kZoneA: return {524, top, 26, 32};
    case kZoneB: return {554, top, 26, 32};
    case kZoneCopy: return {584, top, 46, 32};
    default: return {0, 0, 0, 0};
    }
}

// Built-ins, then the user's presets under a USER row; each group fills its
// three columns top to bottom.
PresetBar::Sections PresetBar::sections() const {
    const auto& presets = delegate_.guiPresets();
    Sections s{};
    while (s.builtins < int(presets.size()) && !presets[s.builtins].user)
        ++s.builtins;
    s.user = int(presets.size()) - s.builtins;
    s.builtinRows = (s.builtins + 2) / 3;
    s.userRows = (s.user + 2) / 3;
    return s;
}

void PresetBar::entryPlace(int index, int& row, int& column) const {
    const Sections s = sections();
    if (index < s.builtins) {
        row = index % s.builtinRows;
        column = index / s.builtinRows;
    } else {
        row = s.builtinRows + 1 + (index - s.builtins) % s.userRows;
        column = (index - s.builtins) / s.userRows;
    }
}

PresetBar::BrowserGeometry PresetBar::browserGeometry() const {
    BrowserGeometry g{};
    const Sections s = sections();
    g.totalRows = s.builtinRows + (s.user > 0 ? 1 + s.userRows : 0);
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
    int row, column;
    entryPlace(index, row, column);
    const int shownRow = row - browserScroll_;
    if (shownRow < 0 || shownRow >= g.visibleRows) return {0, 0, 0, 0};
    return {70 + column * g.columnWidth, g.listTop + shownRow * kBrowserRow, g.columnWidth,
            kBrowserRow};
}

int PresetBar::browserEntryAt(double x, double y) const {
    for (int i = 0; i < presetCount(); ++i)
        if (browserEntryRect(i).contains(x, y)) return i;
    return -1;
}

// Naming a preset (and the questions on the way) has a second line, the
// description; the question before a load has not.
Rect PresetBar::saveBoxRect() const {
    const bool named = promptMode_ != PromptMode::kLoad;
    return {(spec_.width + 32 - kPromptWidth) / 2, kPromptTop, kPromptWidth, named ? 196.0 : 156.0};
}

Rect PresetBar::saveButtonRect(bool save) const {
    const Rect box = saveBoxRect();
    return {box.x + (save ? 308 : 206), box.y + box.height - 48, 92, 28};
}

Rect PresetBar::saveFieldRect(int field) const {
    if (field == kDescriptionField && promptMode_ == PromptMode::kLoad) return {0, 0, 0, 0};
    return {saveBoxRect().x + 20, field == kNameField ? 250.0 : 290.0, 380, 30};
}

Rect PresetBar::deleteButtonRect() const {
    if (!saveOpen_ || promptMode_ != PromptMode::kRename) return {0, 0, 0, 0};
    return {saveBoxRect().x + 20, saveButtonRect(false).y, 92, 28};
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
    requestLoad(target);
}

void PresetBar::requestLoad(int target) {
    damage_.addAll();
    browserOpen_ = false;
    // Edits made since the last load or save are not thrown away unasked.
    if (delegate_.guiPresetEdited()) {
        openSavePrompt();
        promptMode_ = PromptMode::kLoad;
        promptEntry_ = target;
        saveMessage_ = "Discard your changes and load \u201c" + currentEntryName() + "\u201d?";
        return;
    }
    loadEntry(target);
}

void PresetBar::loadEntry(int target) {
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
    int base = 0, column;
    if (current >= 0 && current < presetCount()) entryPlace(current, base, column);
    browserScroll_ = std::clamp(base - g.visibleRows / 2, 0, g.maxScroll);
    browserTyped_.clear();
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
    if (isVerticalWheel(button)) {
        scrollBrowser(button == 4 ? -1 : 1);
    } else if (button == 1) {
        if (const int entry = browserEntryAt(x, y); entry >= 0) {
            requestLoad(entry);
        } else if (!browserPanelRect().contains(x, y)) {
            closeBrowser();
        }
    } else if (const int entry = browserEntryAt(x, y); button == 3 && entry >= 0) {
        openManagePrompt(entry);
    }
    return true;
}

bool PresetBar::browserKey(unsigned long keysym, std::string_view utf8) {
    const int n = presetCount();
    const int from = browserHover_ >= 0 ? browserHover_ : delegate_.guiCurrentPreset();
    const Sections s = sections();
    const int column = from >= s.builtins ? s.userRows : s.builtinRows;
    int to = -1;
    if (keysym == XK_Up || keysym == XK_KP_Up) {
        to = from - 1;
    } else if (keysym == XK_Down || keysym == XK_KP_Down) {
        to = from + 1;
    } else if (keysym == XK_Left || keysym == XK_KP_Left) {
        to = from - column;
    } else if (keysym == XK_Right || keysym == XK_KP_Right) {
        to = from + column;
    } else if ((keysym == XK_Return || keysym == XK_KP_Enter) && browserHover_ >= 0) {
        requestLoad(browserHover_);
        return true;
    } else if (const std::string typed = plugincore::printableChars(utf8); !typed.empty()) {
        // The first letters of a name jump to it; a letter that continues
        // no name starts afresh.
        const auto lower = [](std::string t) {
            for (char& c : t)
                if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            return t;
        };
        for (const std::string& prefix : {lower(browserTyped_ + typed), lower(typed)}) {
            for (int i = 0; i < n && to < 0; ++i)
                if (lower(delegate_.guiPresets()[i].name).starts_with(prefix)) to = i;
            if (to >= 0) {
                browserTyped_ = prefix;
                break;
            }
        }
        if (to < 0) return true;
    } else {
        closeBrowser();
        return true;
    }
    if (n == 0) return true;
    to = std::clamp(to, 0, n - 1);
    damage_.add(browserEntryRect(browserHover_));
    browserHover_ = to;
    int row, col;
    entryPlace(to, row, col);
    const BrowserGeometry g = browserGeometry();
    if (row < browserScroll_) scrollBrowser(row - browserScroll_);
    if (row >= browserScroll_ + g.visibleRows)
        scrollBrowser(row - browserScroll_ - g.visibleRows + 1);
    damage_.add(browserEntryRect(to));
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
    for (int z : kBarZones)
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
    } else if (zoneRect(kZoneA).contains(x, y) || zoneRect(kZoneB).contains(x, y)) {
        if (zoneRect(kZoneA).contains(x, y) != (delegate_.guiCompareSlot() == 0)) {
            delegate_.guiCompareSwitch(); // the whole sound changes
            damage_.addAll();
        }
    } else if (zoneRect(kZoneCopy).contains(x, y)) {
        delegate_.guiCompareCopy();
        damage_.add(zoneRect(kZoneCopy));
    } else {
        return false;
    }
    return true;
}

// ---- save prompt ----

void PresetBar::openManagePrompt(int entry) {
    const auto& presets = delegate_.guiPresets();
    // Built-ins are neither renamed nor deleted.
    if (entry < 0 || size_t(entry) >= presets.size() || !presets[entry].user) return;
    openSavePrompt();
    promptMode_ = PromptMode::kRename;
    promptEntry_ = entry;
    std::string name;
    plugincore::appendChars(name, plugincore::printableChars(presets[entry].name), kNameBytes,
                            kNameBytes);
    fields_[kNameField].reset(std::move(name));
    fields_[kDescriptionField].reset(plugincore::printableChars(presets[entry].description));
    fields_[kDescriptionField].end(false);
}

void PresetBar::openSavePrompt() {
    browserOpen_ = false;
    saveOpen_ = true;
    promptMode_ = PromptMode::kSave;
    promptEntry_ = -1;
    // Selected, so that typing replaces the suggestion instead of adding to it.
    std::string suggested;
    plugincore::appendChars(suggested,
                            plugincore::printableChars(delegate_.guiSuggestedPresetName()),
                            kNameBytes, kNameBytes);
    fields_[kNameField].reset(std::move(suggested));
    // Saving a user preset again keeps its description; an edited built-in
    // becomes the user's own sound and starts without one.
    const auto& presets = delegate_.guiPresets();
    const int current = delegate_.guiCurrentPreset();
    const bool userCurrent =
        current >= 0 && size_t(current) < presets.size() && presets[current].user;
    fields_[kDescriptionField].reset(
        userCurrent ? plugincore::printableChars(presets[current].description) : std::string());
    fields_[kDescriptionField].end(false);
    focus_ = kNameField;
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
    const std::string name = trimmed(fields_[kNameField].text());
    damage_.add(saveBoxRect());
    if (name.empty() && promptMode_ != PromptMode::kDelete && promptMode_ != PromptMode::kLoad) {
        saveMessage_ = "Give the preset a name.";
        saveError_ = true;
        return;
    }
    std::string error;
    bool done = false;
    switch (promptMode_) {
    case PromptMode::kSave:
        switch (delegate_.guiCheckSaveName(name, error)) {
        case plugincore::GuiDelegate::SaveCheck::kRefused:
            saveMessage_ = plugincore::validUtf8(error);
            saveError_ = true;
            return;
        case plugincore::GuiDelegate::SaveCheck::kReplaces:
            promptMode_ = PromptMode::kReplace;
            saveMessage_ = "Replace \u201c" + plugincore::validUtf8(error) + "\u201d?";
            saveError_ = false;
            return;
        case plugincore::GuiDelegate::SaveCheck::kNew: break;
        }
        [[fallthrough]];
    case PromptMode::kReplace:
        done = delegate_.guiSavePreset(name, trimmed(fields_[kDescriptionField].text()), error);
        break;
    case PromptMode::kRename:
        done = delegate_.guiRenamePreset(promptEntry_, name,
                                         trimmed(fields_[kDescriptionField].text()), error);
        break;
    case PromptMode::kDelete: done = delegate_.guiDeletePreset(promptEntry_, error); break;
    case PromptMode::kLoad:
        closeSavePrompt();
        loadEntry(promptEntry_);
        return;
    }
    if (done) {
        failedPreset_ = failedOver_ = -1;
        closeSavePrompt();
        return;
    }
    saveMessage_ = error.empty() ? "Could not save the preset." : plugincore::validUtf8(error);
    saveError_ = true;
}

void PresetBar::cancelPrompt() {
    damage_.add(saveBoxRect());
    saveMessage_.clear();
    saveError_ = false;
    // Declining a replace goes back to the name; declining a delete, to the rename.
    if (promptMode_ == PromptMode::kReplace)
        promptMode_ = PromptMode::kSave;
    else if (promptMode_ == PromptMode::kDelete)
        promptMode_ = PromptMode::kRename;
    else
        closeSavePrompt();
}

bool PresetBar::saveKey(unsigned long keysym, std::string_view utf8, bool shift) {
    if (keysym == XK_Return || keysym == XK_KP_Enter) {
        commitSave();
        return true;
    }
    if (keysym == XK_Escape) {
        cancelPrompt();
        return true;
    }
    // While asking, the name is not edited.
    if (promptMode_ == PromptMode::kReplace || promptMode_ == PromptMode::kDelete ||
        promptMode_ == PromptMode::kLoad)
        return true;
    damage_.add(saveBoxRect());
    plugincore::TextField& field = fields_[focus_];
    switch (keysym) {
    case XK_Tab:
    case XK_KP_Tab:
    case XK_ISO_Left_Tab:
        focus_ = focus_ == kNameField ? kDescriptionField : kNameField;
        return true;
    case XK_Left:
    case XK_KP_Left: field.left(shift); return true;
    case XK_Right:
    case XK_KP_Right: field.right(shift); return true;
    case XK_Home:
    case XK_KP_Home: field.home(shift); return true;
    case XK_End:
    case XK_KP_End: field.end(shift); return true;
    case XK_BackSpace: field.eraseBackward(); break;
    case XK_Delete:
    case XK_KP_Delete: field.eraseForward(); break;
    default:
        if (focus_ == kNameField)
            field.insert(plugincore::printableChars(utf8), kNameBytes, kNameBytes);
        else
            field.insert(plugincore::printableChars(utf8), kDescriptionBytes, kDescriptionBytes);
        break;
    }
    saveMessage_.clear();
    saveError_ = false;
    damage_.add(saveBoxRect());
    return true;
}

bool PresetBar::pressSavePrompt(double x, double y, int button, bool shift) {
    if (button != 1) return true;
    const bool editing = promptMode_ == PromptMode::kSave || promptMode_ == PromptMode::kRename;
    int clicked = -1;
    for (int f = 0; f < kPromptFields; ++f)
        if (editing && saveFieldRect(f).contains(x, y)) clicked = f;
    if (clicked >= 0) {
        // Shift extends a selection only within the field already being typed in.
        const bool extend = shift && clicked == focus_;
        focus_ = clicked;
        fields_[focus_].moveTo(
            offsetNear(fields_[focus_], x - saveFieldRect(focus_).x - kNameInset), extend);
        damage_.add(saveBoxRect());
    } else if (saveButtonRect(true).contains(x, y)) {
        commitSave();
    } else if (deleteButtonRect().contains(x, y)) {
        promptMode_ = PromptMode::kDelete;
        saveMessage_ = "Delete \u201c" + currentEntryName() + "\u201d? Its file is removed.";
        saveError_ = false;
        damage_.add(saveBoxRect());
    } else if (saveButtonRect(false).contains(x, y)) {
        cancelPrompt();
    } else if (!saveBoxRect().contains(x, y)) {
        closeSavePrompt();
    }
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
    const int slot = delegate_.guiCompareSlot();
    for (int zone : kBarZones) {
        const Rect r = zoneRect(zone);
        if (!plugincore::inClip(cr, r)) continue;
        const bool shown = (zone == kZoneA && slot == 0) || (zone == kZoneB && slot == 1);
        const bool lit = hoverZone_ == zone || (zone == kZoneBrowser && browserOpen_) ||
                         (zone == kZoneSave && saveOpen_) || shown;
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
            static constexpr const char* kLabels[] = {"SAVE", "A", "B"};
            const char* label = zone == kZoneCopy ? (slot == 0 ? "A\u2192B" : "B\u2192A")
                                                  : kLabels[zone - kZoneSave];
            plugincore::setFont(cr, 10, true);
            plugincore::setColour(cr, lit ? pal.accent : pal.textDim);
            plugincore::drawText(cr, label, cx, r.y + 20, Align::Centre);
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
                         scrolls ? "click or Enter loads, type to jump, wheel scrolls, Esc closes"
                                 : "click or Enter loads, type to jump, Esc closes",
                         panel.x + panel.width - 14, g.panelTop + 24, Align::Right);

    const auto& presets = delegate_.guiPresets();
    const int current = delegate_.guiCurrentPreset();
    const Sections sec = sections();
    if (const int row = sec.builtinRows - browserScroll_;
        sec.user > 0 && row >= 0 && row < g.visibleRows) {
        plugincore::setFont(cr, 9, true);
        plugincore::setColour(cr, pal.textFaint);
        plugincore::drawText(cr, "USER", 80, g.listTop + row * kBrowserRow + 17, Align::Left);
    }
    for (int i = 0; i < int(presets.size()); ++i) {
        const Rect cell = browserEntryRect(i);
        if (cell.width == 0 || !plugincore::inClip(cr, cell)) continue;
        const bool hovered = i == browserHover_, isCurrent = i == current;
        plugincore::beginListRow(cr, pal, {cell.x + 2, cell.y + 1, cell.width - 4, 24}, 11, hovered,
                                 isCurrent);
        plugincore::drawText(cr, plugincore::validUtf8(presets[i].name).c_str(), cell.x + 10,
                             cell.y + 17, Align::Left);
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
    static constexpr const char* kTitles[] = {"SAVE PRESET", "RENAME PRESET", "REPLACE PRESET",
                                              "DELETE PRESET", "LOAD PRESET"};
    static constexpr const char* kActions[] = {"SAVE", "RENAME", "REPLACE", "DELETE", "LOAD"};
    const int mode = int(promptMode_);
    plugincore::setFont(cr, 11, true);
    plugincore::setColour(cr, pal.accent);
    plugincore::drawText(cr, kTitles[mode], x0 + 20, 222, Align::Left);
    plugincore::setFont(cr, 9, false);
    plugincore::setColour(cr, pal.textFaint);
    plugincore::drawText(cr, "your own preset folder", x0 + 400, 222, Align::Right);

    const Rect cancel = saveButtonRect(false), save = saveButtonRect(true);
    plugincore::roundedBox(cr, cancel, 4, pal.panelFill, pal.panelLine);
    plugincore::roundedBox(cr, save, 4, pal.panelFill, pal.accent, 0.7);
    plugincore::setFont(cr, 10, true);
    plugincore::setColour(cr, pal.textDim);
    plugincore::drawText(cr, "CANCEL", cancel.x + cancel.width / 2, cancel.y + 18, Align::Centre);
    if (const Rect del = deleteButtonRect(); del.width > 0) {
        plugincore::roundedBox(cr, del, 4, pal.panelFill, pal.panelLine);
        plugincore::drawText(cr, "DELETE", del.x + del.width / 2, del.y + 18, Align::Centre);
    }
    plugincore::setColour(cr, pal.accent);
    plugincore::drawText(cr, kActions[mode], save.x + save.width / 2, save.y + 18, Align::Centre);
    const bool editing = promptMode_ == PromptMode::kSave || promptMode_ == PromptMode::kRename;
    if (editing) {
        paintField(cr, kNameField, focus_ == kNameField);
    } else {
        // A question instead of the name: Enter confirms, Esc goes back.
        plugincore::setFont(cr, 12, true);
        plugincore::setColour(cr, pal.textBright);
        plugincore::drawText(cr, plugincore::fitText(cr, saveMessage_, 380).c_str(), x0 + 20, 270,
                             Align::Left);
    }
    if (saveFieldRect(kDescriptionField).width > 0)
        paintField(cr, kDescriptionField, editing && focus_ == kDescriptionField);
    if (!editing) return;
    const char* hint = "Tab moves between name and description. Enter confirms, Esc cancels.";
    plugincore::setFont(cr, 9, false);
    plugincore::setColour(cr, pal.textFaint);
    plugincore::drawText(cr, saveMessage_.empty() ? hint : saveMessage_.c_str(), x0 + 20,
                         save.y - 4, Align::Left);
}

void PresetBar::paintField(cairo_t* cr, int index, bool withCaret) const {
    const plugincore::Palette& pal = spec_.palette;
    const Rect field = saveFieldRect(index);
    const plugincore::TextField& edit = fields_[index];
    const bool flagged = saveError_ && index == kNameField;
    plugincore::roundedBox(cr, field, 3, pal.controlFill,
                           flagged || withCaret ? pal.accent : pal.panelLine);
    // The field's text is valid UTF-8 by construction, so offsets measure as drawn.
    const std::string& text = edit.text();
    const double textX = field.x + kNameInset, top = field.y + 6, base = field.y + 20;
    setNameFont(cr);
    const double scroll = fieldScroll(cr, edit);
    cairo_save(cr);
    cairo_rectangle(cr, field.x + 1, field.y + 1, field.width - 2, field.height - 2);
    cairo_clip(cr);
    if (withCaret && edit.hasSelection()) {
        const auto [first, last] = edit.selection();
        const double from = advanceOf(cr, text, first);
        cairo_rectangle(cr, textX - scroll + from, top, advanceOf(cr, text, last) - from, 19);
        plugincore::setColour(cr, pal.accent, 0.35);
        cairo_fill(cr);
    }
    if (text.empty() && index == kDescriptionField) {
        plugincore::setColour(cr, pal.textFaint);
        plugincore::drawText(cr, "Description (optional)", textX, base, Align::Left);
    }
    plugincore::setColour(cr, pal.textBright);
    plugincore::drawText(cr, text.c_str(), textX - scroll, base, Align::Left);
    if (withCaret) {
        const double caretX = std::round(textX - scroll + advanceOf(cr, text, edit.caret())) + 0.5;
        cairo_move_to(cr, caretX, top);
        cairo_line_to(cr, caretX, top + 19);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

std::string PresetBar::currentEntryName() const {
    const auto& presets = delegate_.guiPresets();
    return promptEntry_ >= 0 && size_t(promptEntry_) < presets.size()
               ? plugincore::validUtf8(presets[promptEntry_].name)
               : std::string();
}

} // namespace norvale
