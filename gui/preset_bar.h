// The preset bar at the foot of the editor (previous / name / next / SAVE),
// the preset browser laid over the editor and the save prompt. Part of the
// rack: same thread, same design units; presets are read, loaded and saved
// only through plugincore::GuiDelegate.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "gui/damage.h"
#include "gui/rack_host.h"
#include "gui/text_edit.h"
#include "gui/window_spec.h"
#include "plugin/gui_delegate.h"

namespace norvale {

// What the prompt over the editor is doing: naming a preset to save or to
// rename to, or asking before a save replaces one, a delete removes one or a
// load discards the edits.
enum class PromptMode { kSave, kRename, kReplace, kDelete, kLoad };

// The save prompt's lines of text: Tab and a click move between them.
enum PromptField : int { kNameField = 0, kDescriptionField, kPromptFields };

// Preset-bar zones, as hoverZone() reports them.
enum PresetZone : int {
    kZoneNone = 0,
    kZonePrevious,
    kZoneNext,
    kZoneBrowser,
    kZoneSave,
    kZoneA, // A/B compare: the two slots and the copy into the other one
    kZoneB,
    kZoneCopy
};
inline constexpr int kBarZones[] = {kZonePrevious, kZoneBrowser, kZoneNext, kZoneSave,
                                    kZoneA,        kZoneB,       kZoneCopy};

class PresetBar {
public:
    PresetBar(plugincore::GuiDelegate& delegate, const plugincore::WindowSpec& spec,
              RackHost& host);

    void paintBarLabel(cairo_t* cr) const; // the part that never changes
    void paintBar(cairo_t* cr) const;
    void paintBrowser(cairo_t* cr) const;    // only while open
    void paintSavePrompt(cairo_t* cr) const; // only while open

    // ---- input (true = handled; each damages what it changes on screen) ----
    // While the prompt is open; shift extends the selection.
    bool saveKey(unsigned long keysym, std::string_view utf8, bool shift = false);
    // While the browser is open: arrows move the selection, Enter loads it,
    // typed letters jump to a name, other keys close.
    bool browserKey(unsigned long keysym, std::string_view utf8);
    int browserHover() const { return browserHover_; }
    bool pressSavePrompt(double x, double y, int button, bool shift = false);
    bool pressBrowser(double x, double y, int button);
    bool pressBar(double x, double y, int button);
    void hoverBrowser(double x, double y);
    // Returns the zone under the pointer (0 for none) and remembers it.
    int hoverBar(double x, double y);
    void leave();

    void stepPreset(int direction);
    void openBrowser();
    void closeBrowser();
    void openSavePrompt();
    void closeSavePrompt();
    void commitSave();
    // Rename or delete a user preset of the list (a right-click on its entry).
    void openManagePrompt(int entry);
    PromptMode promptMode() const { return promptMode_; }

    bool browserOpen() const { return browserOpen_; }
    bool saveOpen() const { return saveOpen_; }
    int hoverZone() const { return hoverZone_; }
    const std::string& saveName() const { return fields_[kNameField].text(); }
    const plugincore::TextField& saveField(int field = kNameField) const { return fields_[field]; }
    int focusedField() const { return focus_; }
    const std::string& saveMessage() const { return saveMessage_; }
    bool saveError() const { return saveError_; }
    // The current preset's name, or "Init".
    std::string currentName() const;
    // Non-empty while the last arrow step failed and nothing has moved since.
    std::string failureText() const;
    void moveDamageTo(plugincore::Damage& frame);

    // ---- geometry ----
    plugincore::Rect zoneRect(int zone) const;
    plugincore::Rect browserPanelRect() const;
    plugincore::Rect browserEntryRect(int index) const; // empty when not shown
    plugincore::Rect saveBoxRect() const;
    plugincore::Rect saveButtonRect(bool save) const;             // SAVE, else CANCEL
    plugincore::Rect saveFieldRect(int field = kNameField) const; // empty when not shown
    plugincore::Rect deleteButtonRect() const;                    // while renaming

private:
    struct BrowserGeometry {
        int totalRows, visibleRows, maxScroll;
        double panelTop, panelHeight, columnWidth, listTop;
    };
    BrowserGeometry browserGeometry() const;
    struct Sections {
        int builtins, user, builtinRows, userRows;
    };
    Sections sections() const;
    // Row (from the top of the list, the USER row counted) and column of an entry.
    void entryPlace(int index, int& row, int& column) const;
    int browserEntryAt(double x, double y) const;
    void scrollBrowser(int rows);
    void requestLoad(int target); // asks first while the sound has unsaved edits
    void loadEntry(int target);
    void cancelPrompt();
    void paintField(cairo_t* cr, int field, bool withCaret) const;
    std::string currentEntryName() const; // of the preset renamed or deleted
    int presetCount() const;

    plugincore::GuiDelegate& delegate_;
    const plugincore::WindowSpec& spec_;
    RackHost& host_;
    plugincore::Damage damage_;
    int hoverZone_ = kZoneNone;

    bool browserOpen_ = false;
    int browserHover_ = -1;
    int browserScroll_ = 0;
    std::string browserTyped_; // the letters typed to jump

    bool saveOpen_ = false;
    bool keyboardHeld_ = false;
    // The name, at most 48 bytes of whole UTF-8 characters, and the description.
    plugincore::TextField fields_[kPromptFields];
    int focus_ = kNameField;
    std::string saveMessage_;
    bool saveError_ = false;
    PromptMode promptMode_ = PromptMode::kSave;
    int promptEntry_ = -1; // the preset renamed or deleted

    // The entry an arrow last failed to load; the next step starts there.
    // It counts only while the current preset is still the one it failed over.
    int failedPreset_ = -1;
    int failedOver_ = -1;
};

} // namespace norvale
