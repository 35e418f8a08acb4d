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
#include "gui/window_spec.h"
#include "plugin/gui_delegate.h"

namespace norvale {

struct RackHost;

// Preset-bar zones, as hoverZone() reports them.
enum PresetZone : int { kZoneNone = 0, kZonePrevious, kZoneNext, kZoneBrowser, kZoneSave };

class PresetBar {
public:
    PresetBar(plugincore::GuiDelegate& delegate, const plugincore::WindowSpec& spec,
              RackHost& host);

    void paintBarLabel(cairo_t* cr) const; // the part that never changes
    void paintBar(cairo_t* cr) const;
    void paintBrowser(cairo_t* cr) const;    // only while open
    void paintSavePrompt(cairo_t* cr) const; // only while open

    // ---- input (true = handled; each damages what it changes on screen) ----
    bool saveKey(unsigned long keysym, std::string_view utf8); // while the prompt is open
    bool browserKey(unsigned long keysym);                     // while the browser is open
    bool pressSavePrompt(double x, double y, int button);
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

    bool browserOpen() const { return browserOpen_; }
    bool saveOpen() const { return saveOpen_; }
    int browserScroll() const { return browserScroll_; }
    int hoverZone() const { return hoverZone_; }
    const std::string& saveName() const { return saveName_; }
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
    plugincore::Rect saveButtonRect(bool save) const; // SAVE, else CANCEL

private:
    struct BrowserGeometry {
        int totalRows, visibleRows, maxScroll;
        double panelTop, panelHeight, columnWidth, listTop;
    };
    BrowserGeometry browserGeometry() const;
    int browserEntryAt(double x, double y) const;
    void scrollBrowser(int rows);
    int presetCount() const;

    plugincore::GuiDelegate& delegate_;
    const plugincore::WindowSpec& spec_;
    RackHost& host_;
    plugincore::Damage damage_;
    int hoverZone_ = kZoneNone;

    bool browserOpen_ = false;
    int browserHover_ = -1;
    int browserScroll_ = 0;

    bool saveOpen_ = false;
    bool keyboardHeld_ = false;
    std::string saveName_; // at most 48 bytes of whole UTF-8 characters
    std::string saveMessage_;
    bool saveError_ = false;

    // The entry an arrow last failed to load; the next step starts there.
    // It counts only while the current preset is still the one it failed over.
    int failedPreset_ = -1;
    int failedOver_ = -1;
};

} // namespace norvale
