#include "render/plugin_instance.h"

#include <algorithm>
#include <cstring>
#include <fmt/format.h>

#include "render/errors.h"

namespace norvale::render {
namespace {

struct ByteReader {
    const std::vector<uint8_t>* bytes;
    std::size_t position = 0;

    static int64_t read(const clap_istream_t* stream, void* buffer, uint64_t size) {
        auto* reader = static_cast<ByteReader*>(stream->ctx);
        const std::size_t left = reader->bytes->size() - reader->position;
        const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(size, left));
        if (count > 0) std::memcpy(buffer, reader->bytes->data() + reader->position, count);
        reader->position += count;
        return static_cast<int64_t>(count);
    }
};

struct ByteWriter {
    std::vector<uint8_t> bytes;

    static int64_t write(const clap_ostream_t* stream, const void* buffer, uint64_t size) {
        auto* writer = static_cast<ByteWriter*>(stream->ctx);
        const auto* data = static_cast<const uint8_t*>(buffer);
        writer->bytes.insert(writer->bytes.end(), data, data + size);
        return static_cast<int64_t>(size);
    }
};

}  // namespace

template <typename Extension>
const Extension* PluginInstance::extension(const char* id) const {
    return plugin_->get_extension ? static_cast<const Extension*>(plugin_->get_extension(plugin_, id))
                                  : nullptr;
}

PluginInstance::PluginInstance(const ClapModule& module, const clap_host_t* host) {
    const clap_plugin_factory_t& factory = module.factory();
    plugin_ = factory.create_plugin(&factory, host, module.descriptor().id);
    if (!plugin_) throw RenderError(fmt::format("'{}' could not create its plug-in", module.path()));
    if (!plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        throw RenderError(fmt::format("the plug-in in '{}' failed to initialise", module.path()));
    }
    params_ = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (!params_) {
        plugin_->destroy(plugin_);
        throw RenderError(fmt::format("the plug-in in '{}' has no parameters extension", module.path()));
    }
}

PluginInstance::~PluginInstance() {
    stopProcessing();
    deactivate();
    plugin_->destroy(plugin_);
}

uint32_t PluginInstance::paramCount() const { return params_->count(plugin_); }

std::optional<clap_param_info_t> PluginInstance::paramInfoById(clap_id id) const {
    const uint32_t count = paramCount();
    for (uint32_t index = 0; index < count; ++index) {
        clap_param_info_t info{};
        if (params_->get_info(plugin_, index, &info) && info.id == id) return info;
    }
    return std::nullopt;
}

std::optional<double> PluginInstance::textToValue(clap_id id, const std::string& text) const {
    double value = 0.0;
    if (!params_->text_to_value(plugin_, id, text.c_str(), &value)) return std::nullopt;
    return value;
}

std::string PluginInstance::valueToText(clap_id id, double value) const {
    char text[256] = {};
    if (!params_->value_to_text(plugin_, id, value, text, sizeof(text))) return fmt::format("{:g}", value);
    return text;
}

std::optional<double> PluginInstance::value(clap_id id) const {
    double value = 0.0;
    if (!params_->get_value(plugin_, id, &value)) return std::nullopt;
    return value;
}

void PluginInstance::flushParams(const clap_input_events_t* events, const clap_output_events_t* out) {
    params_->flush(plugin_, events, out);
}

std::vector<clap_audio_port_info_t> PluginInstance::audioPorts(bool input) const {
    std::vector<clap_audio_port_info_t> ports;
    const auto* ext = extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    if (!ext) return ports;
    const uint32_t count = ext->count(plugin_, input);
    for (uint32_t index = 0; index < count; ++index) {
        clap_audio_port_info_t info{};
        if (ext->get(plugin_, index, input, &info)) ports.push_back(info);
    }
    return ports;
}

std::vector<clap_note_port_info_t> PluginInstance::notePorts(bool input) const {
    std::vector<clap_note_port_info_t> ports;
    const auto* ext = extension<clap_plugin_note_ports_t>(CLAP_EXT_NOTE_PORTS);
    if (!ext) return ports;
    const uint32_t count = ext->count(plugin_, input);
    for (uint32_t index = 0; index < count; ++index) {
        clap_note_port_info_t info{};
        if (ext->get(plugin_, index, input, &info)) ports.push_back(info);
    }
    return ports;
}

bool PluginInstance::loadState(const std::vector<uint8_t>& bytes) {
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (!state) return false;
    ByteReader reader{&bytes};
    const clap_istream_t stream{&reader, ByteReader::read};
    return state->load(plugin_, &stream);
}

std::optional<std::vector<uint8_t>> PluginInstance::saveState() const {
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (!state) return std::nullopt;
    ByteWriter writer;
    const clap_ostream_t stream{&writer, ByteWriter::write};
    if (!state->save(plugin_, &stream)) return std::nullopt;
    return std::move(writer.bytes);
}

bool PluginInstance::hasPresetLoad() const { return presetLoad() != nullptr; }

bool PluginInstance::loadPreset(uint32_t kind, const char* location, const char* loadKey) {
    const auto* load = presetLoad();
    return load && load->from_location && load->from_location(plugin_, kind, location, loadKey);
}

const clap_plugin_preset_load_t* PluginInstance::presetLoad() const {
    if (const auto* load = extension<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD)) return load;
    return extension<clap_plugin_preset_load_t>(CLAP_EXT_PRESET_LOAD_COMPAT);
}

void PluginInstance::activate(double sampleRate, uint32_t maxFrames) {
    if (!plugin_->activate(plugin_, sampleRate, 1, maxFrames))
        throw RenderError(fmt::format("the plug-in refused to run at {} Hz", sampleRate));
    active_ = true;
}

void PluginInstance::startProcessing() {
    if (!plugin_->start_processing(plugin_)) throw RenderError("the plug-in refused to start processing");
    processing_ = true;
}

clap_process_status PluginInstance::process(const clap_process_t& block) {
    return plugin_->process(plugin_, &block);
}

void PluginInstance::stopProcessing() {
    if (!processing_) return;
    plugin_->stop_processing(plugin_);
    processing_ = false;
}

void PluginInstance::deactivate() {
    if (!active_) return;
    plugin_->deactivate(plugin_);
    active_ = false;
}

void PluginInstance::runMainThreadCallback() {
    if (plugin_->on_main_thread) plugin_->on_main_thread(plugin_);
}

}  // namespace norvale::render
