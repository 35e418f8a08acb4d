// A plug-in as its editor sees it: parameters, gestures, presets and packs.
// The editor holds only this and the product's own curve interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "presets/preset_data.h"

namespace plugincore {

// One item the host adds to a parameter's context menu. Submenus arrive
// flattened: their label as a title, their items after it.
struct HostMenuItem {
    enum Kind : uint8_t { kEntry, kCheck, kSeparator, kTitle };
    Kind kind = kEntry;
    std::string label;
    bool enabled = true;
    bool checked = false;
    uint32_t actionId = 0;
};

class GuiDelegate {
public:
    virtual ~GuiDelegate() = default;

    // Values in the parameter's own value space; 0 for unknown ids.
    virtual double guiParamValue(uint32_t id) const = 0;
    virtual void guiBeginEdit(uint32_t id) = 0;
    virtual void guiSetParam(uint32_t id, double value) = 0;
    virtual void guiEndEdit(uint32_t id) = 0;
    virtual void guiOutputPeaks(float& left, float& right) const = 0;
    virtual int guiVoiceCount() const = 0;
    virtual int guiVoiceLimit() const = 0;
    virtual unsigned guiEventCounter() const;

    virtual const std::vector<GuiPreset>& guiPresets() const = 0;
    // -1 when the sound comes from no listed preset.
    virtual int guiCurrentPreset() const = 0;
    virtual bool guiPresetEdited() const = 0;
    virtual void guiLoadPreset(int index) = 0;
    virtual std::string guiSuggestedPresetName() const = 0;
    // Saves the sound as a user preset; an empty description writes none.
    // False with a text for the user in err.
    virtual bool guiSavePreset(const std::string& name, const std::string& description,
                               std::string& err) = 0;
    // What saving under a typed name would do; message names the preset it
    // replaces, or says why the name is refused.
    enum class SaveCheck { kNew, kReplaces, kRefused };
    virtual SaveCheck guiCheckSaveName(const std::string& name, std::string& message) const;
    // Renames (and describes anew) or deletes a user preset of the list; a
    // failure changes no file and says why in err.
    virtual bool guiRenamePreset(int index, const std::string& name, const std::string& description,
                                 std::string& err);
    virtual bool guiDeletePreset(int index, std::string& err);
    // A/B compare: the slot shown (0 A, 1 B), switching to the other slot's
    // whole sound, and copying the shown sound into the other slot.
    virtual int guiCompareSlot() const;
    virtual void guiCompareSwitch();
    virtual void guiCompareCopy();
    // Asks the host to give the editor window this pixel size; false when it will not.
    virtual bool guiRequestResize(uint32_t width, uint32_t height);

    virtual bool guiPresetFoldersSupported() const;
    virtual std::vector<PresetPack> guiPresetPacks() const;
    virtual std::string guiPackPathFor(const std::string& name) const;
    virtual bool guiExportPack(const std::string& name, const std::string& path, std::string& err);
    virtual bool guiImportPack(const std::string& path, std::string& name, std::string& err);
    virtual void guiVersionClicked();
    // Told before the editor grabs the keyboard for text entry.
    virtual void guiKeyboardTaken();
    // The host's own items for a parameter (automation, MIDI learn, ...);
    // empty when the host offers none.
    virtual std::vector<HostMenuItem> guiHostMenu(uint32_t paramId);
    // Performs a host item listed by guiHostMenu for the same parameter.
    virtual bool guiHostMenuPerform(uint32_t paramId, uint32_t actionId);
};

} // namespace plugincore
