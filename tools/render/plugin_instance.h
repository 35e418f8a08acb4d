// One plug-in instance created through a module's factory, with the
// extensions the renderer uses. Undoes whatever lifecycle steps were taken,
// in reverse, on destruction.
#pragma once

#include <clap/clap.h>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render/clap_module.h"

namespace norvale::render {

class PluginInstance {
public:
    PluginInstance(const ClapModule& module, const clap_host_t* host);  // create + init; throws RenderError
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // Parameters; the "clap.params" extension is required.
    uint32_t paramCount() const;
    std::optional<clap_param_info_t> paramInfoById(clap_id id) const;
    std::optional<double> textToValue(clap_id id, const std::string& text) const;
    std::string valueToText(clap_id id, double value) const;
    std::optional<double> value(clap_id id) const;
    void flushParams(const clap_input_events_t* events, const clap_output_events_t* out);

    std::vector<clap_audio_port_info_t> audioPorts(bool input) const;
    std::vector<clap_note_port_info_t> notePorts(bool input) const;

    // False when the plug-in has no state or refuses the stream.
    bool loadState(const std::vector<uint8_t>& bytes);
    std::optional<std::vector<uint8_t>> saveState() const;

    // Through "clap.preset-load/2" on the main thread; a failure reaches the
    // host's on_error. False also when the plug-in cannot load presets.
    bool hasPresetLoad() const;
    bool loadPreset(uint32_t kind, const char* location, const char* loadKey);

    void activate(double sampleRate, uint32_t maxFrames);  // throws RenderError
    void startProcessing();                                 // throws RenderError
    clap_process_status process(const clap_process_t& block);
    void stopProcessing();
    void deactivate();
    void runMainThreadCallback();

private:
    template <typename Extension>
    const Extension* extension(const char* id) const;
    const clap_plugin_preset_load_t* presetLoad() const;

    const clap_plugin_t* plugin_ = nullptr;
    const clap_plugin_params_t* params_ = nullptr;
    bool active_ = false;
    bool processing_ = false;
};

}  // namespace norvale::render
