// What a plug-in without event counters, preset folders or packs answers.
#include "plugin/gui_delegate.h"

namespace plugincore {

namespace {
constexpr const char* kNoPacks = "this plugin has no preset packs";
}

unsigned GuiDelegate::guiEventCounter() const { return 0; }

bool GuiDelegate::guiPresetFoldersSupported() const { return false; }

std::vector<PresetPack> GuiDelegate::guiPresetPacks() const { return {}; }

std::string GuiDelegate::guiPackPathFor(const std::string&) const { return {}; }

bool GuiDelegate::guiExportPack(const std::string&, const std::string&, std::string& err) {
    err = kNoPacks;
    return false;
}

bool GuiDelegate::guiImportPack(const std::string&, std::string&, std::string& err) {
    err = kNoPacks;
    return false;
}

void GuiDelegate::guiVersionClicked() {}

void GuiDelegate::guiKeyboardTaken() {}

}  // namespace plugincore
