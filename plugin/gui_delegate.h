// A plug-in as its editor sees it: parameters, gestures, presets and packs.
// The editor holds only this and the product's own curve interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "presets/preset_data.h"

namespace plugincore {

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
    // False with a text for the user in err.
    virtual bool guiSavePreset(const std::string& name, std::string& err) = 0;

    virtual bool guiPresetFoldersSupported() const;
    virtual std::vector<PresetPack> guiPresetPacks() const;
    virtual std::string guiPackPathFor(const std::string& name) const;
    virtual bool guiExportPack(const std::string& name, const std::string& path, std::string& err);
    virtual bool guiImportPack(const std::string& path, std::string& name, std::string& err);
    virtual void guiVersionClicked();
    // Told before the editor grabs the keyboard for text entry.
    virtual void guiKeyboardTaken();
};

} // namespace plugincore
