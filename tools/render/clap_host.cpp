#include "render/clap_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fmt/format.h>

#include "plugin/product.h"
#include "render/options.h"

namespace norvale::render {

// ---- module ----
namespace {

std::string versionText(const clap_version_t& v) {
    return fmt::format("{}.{}.{}", v.major, v.minor, v.revision);
}

} // namespace

ClapModule::ClapModule(const std::string& path) : path_(path) {
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* reason = dlerror();
        throw RenderError(
            fmt::format("cannot load plug-in '{}': {}", path, reason ? reason : "unknown error"));
    }
    try {
        entry_ = static_cast<const clap_plugin_entry_t*>(dlsym(library_, "clap_entry"));
        if (!entry_) throw RenderError(fmt::format("'{}' exports no clap_entry", path));
        if (!clap_version_is_compatible(entry_->clap_version))
            throw RenderError(fmt::format("'{}' speaks CLAP {}, which this host cannot load", path,
                                          versionText(entry_->clap_version)));
        if (!entry_->init || !entry_->deinit || !entry_->get_factory)
            throw RenderError(fmt::format("'{}' has an incomplete clap_entry", path));
        if (!entry_->init(path.c_str()))
            throw RenderError(fmt::format("'{}' failed to initialise", path));
        entryInitialised_ = true;
        factory_ =
            static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
        if (!factory_ || !factory_->get_plugin_count || !factory_->get_plugin_descriptor ||
            !factory_->create_plugin)
            throw RenderError(fmt::format("'{}' offers no plug-in factory", path));
        if (factory_->get_plugin_count(factory_) < 1)
            throw RenderError(fmt::format("'{}' contains no plug-in", path));
        descriptor_ = factory_->get_plugin_descriptor(factory_, 0);
        if (!descriptor_ || !descriptor_->id)
            throw RenderError(fmt::format("'{}' gives no descriptor for its plug-in", path));
        if (!clap_version_is_compatible(descriptor_->clap_version))
            throw RenderError(
                fmt::format("the plug-in in '{}' speaks CLAP {}, which this host cannot load", path,
                            versionText(descriptor_->clap_version)));
    } catch (...) {
        if (entryInitialised_) entry_->deinit();
        dlclose(library_);
        throw;
    }
}

const clap_preset_discovery_factory_t* ClapModule::presetDiscoveryFactory() const {
    for (const char* id :
         {CLAP_PRESET_DISCOVERY_FACTORY_ID, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT})
        if (const void* factory = entry_->get_factory(id))
            return static_cast<const clap_preset_discovery_factory_t*>(factory);
    return nullptr;
}

ClapModule::~ClapModule() {
    if (entryInitialised_) entry_->deinit();
    dlclose(library_);
}

// ---- host services ----

namespace {

HostServices* servicesOf(const clap_host_t* host) {
    return host ? static_cast<HostServices*>(host->host_data) : nullptr;
}

// A renderer reads values right before it processes, so there is nothing to refresh.
void paramsRescan(const clap_host_t*, clap_param_rescan_flags) {}
void paramsClear(const clap_host_t*, clap_id, clap_param_clear_flags) {}
void paramsRequestFlush(const clap_host_t*) {}

void stateMarkDirty(const clap_host_t*) {}

// Only failures matter: they end the run.
void presetLoaded(const clap_host_t*, uint32_t, const char*, const char*) {}

} // namespace

HostServices::HostServices() {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = kHostName;
    host_.vendor = kHostVendor;
    host_.url = "";
    host_.version = norvale::kVersion;
    host_.get_extension = getExtension;
    host_.request_restart = requestRestart;
    host_.request_process = requestProcess;
    host_.request_callback = requestCallback;
}

const void* HostServices::getExtension(const clap_host_t*, const char* id) {
    static const clap_host_log_t log = {HostServices::log};
    static const clap_host_params_t params = {paramsRescan, paramsClear, paramsRequestFlush};
    static const clap_host_state_t state = {stateMarkDirty};
    static const clap_host_preset_load_t presetLoad = {presetLoadError, presetLoaded};
    if (!id) return nullptr;
    if (std::strcmp(id, CLAP_EXT_LOG) == 0) return &log;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &state;
    if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &presetLoad;
    return nullptr;
}

// The render runs start to end in one go; there is no restart to schedule.
void HostServices::requestRestart(const clap_host_t*) {}
void HostServices::requestProcess(const clap_host_t*) {}

void HostServices::requestCallback(const clap_host_t* host) {
    if (HostServices* self = servicesOf(host)) self->callbackRequested_.store(true);
}

void HostServices::log(const clap_host_t* host, clap_log_severity severity, const char* message) {
    if (severity < CLAP_LOG_WARNING || !message) return;
    // A failed preset load is also logged; the run's own error line says it already.
    if (const HostServices* self = servicesOf(host);
        self && !self->presetError_.empty() && self->presetError_ == message)
        return;
    const char* label = severity == CLAP_LOG_WARNING ? "warning" : "error";
    std::fprintf(stderr, "norvale-render: plug-in %s: %s\n", label, message);
}

void HostServices::presetLoadError(const clap_host_t* host, uint32_t, const char*, const char*,
                                   int32_t osError, const char* message) {
    HostServices* self = servicesOf(host);
    if (!self) return;
    if (message && *message)
        self->presetError_ = message;
    else if (osError != 0)
        self->presetError_ = std::strerror(osError);
    else
        self->presetError_ = "no reason given";
}

// ---- plug-in instance ----

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

} // namespace

template <typename Extension>
const Extension* PluginInstance::extension(const char* id) const {
    return plugin_->get_extension
               ? static_cast<const Extension*>(plugin_->get_extension(plugin_, id))
               : nullptr;
}

PluginInstance::PluginInstance(const ClapModule& module, const clap_host_t* host) {
    const clap_plugin_factory_t& factory = module.factory();
    plugin_ = factory.create_plugin(&factory, host, module.descriptor().id);
    if (!plugin_)
        throw RenderError(fmt::format("'{}' could not create its plug-in", module.path()));
    if (!plugin_->init(plugin_)) {
        plugin_->destroy(plugin_);
        throw RenderError(fmt::format("the plug-in in '{}' failed to initialise", module.path()));
    }
    params_ = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (!params_) {
        plugin_->destroy(plugin_);
        throw RenderError(
            fmt::format("the plug-in in '{}' has no parameters extension", module.path()));
    }
}

PluginInstance::~PluginInstance() {
    stopProcessing();
    deactivate();
    plugin_->destroy(plugin_);
}

uint32_t PluginInstance::paramCount() const {
    return params_->count(plugin_);
}

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
    if (!params_->value_to_text(plugin_, id, value, text, sizeof(text)))
        return fmt::format("{:g}", value);
    return text;
}

std::optional<double> PluginInstance::value(clap_id id) const {
    double value = 0.0;
    if (!params_->get_value(plugin_, id, &value)) return std::nullopt;
    return value;
}

void PluginInstance::flushParams(const clap_input_events_t* events,
                                 const clap_output_events_t* out) {
    params_->flush(plugin_, events, out);
}

namespace {

// Both port extensions list their ports the same way: a count and a getter.
template <typename Info, typename Extension>
std::vector<Info> portList(const Extension* ext, const clap_plugin_t* plugin, bool input) {
    std::vector<Info> ports;
    if (!ext) return ports;
    const uint32_t count = ext->count(plugin, input);
    for (uint32_t index = 0; index < count; ++index) {
        Info info{};
        if (ext->get(plugin, index, input, &info)) ports.push_back(info);
    }
    return ports;
}

} // namespace

std::vector<clap_audio_port_info_t> PluginInstance::audioPorts(bool input) const {
    return portList<clap_audio_port_info_t>(
        extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS), plugin_, input);
}

std::vector<clap_note_port_info_t> PluginInstance::notePorts(bool input) const {
    return portList<clap_note_port_info_t>(extension<clap_plugin_note_ports_t>(CLAP_EXT_NOTE_PORTS),
                                           plugin_, input);
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

bool PluginInstance::hasPresetLoad() const {
    return presetLoad() != nullptr;
}

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
    if (!plugin_->start_processing(plugin_))
        throw RenderError("the plug-in refused to start processing");
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

// ---- event lists ----

InputEvents::InputEvents() {
    list_.ctx = this;
    list_.size = sizeOf;
    list_.get = get;
}

void InputEvents::add(const clap_event_param_value_t& event) {
    AnyEvent any;
    any.param = event;
    events_.push_back(any);
}

void InputEvents::add(const clap_event_note_t& event) {
    AnyEvent any;
    any.note = event;
    events_.push_back(any);
}

uint32_t InputEvents::sizeOf(const clap_input_events_t* list) {
    return static_cast<uint32_t>(static_cast<const InputEvents*>(list->ctx)->events_.size());
}

const clap_event_header_t* InputEvents::get(const clap_input_events_t* list, uint32_t index) {
    const auto& events = static_cast<const InputEvents*>(list->ctx)->events_;
    return index < events.size() ? &events[index].header : nullptr;
}

DiscardedEvents::DiscardedEvents() {
    list_.ctx = this;
    list_.try_push = tryPush;
}

bool DiscardedEvents::tryPush(const clap_output_events_t*, const clap_event_header_t* event) {
    return event != nullptr;
}

clap_event_param_value_t paramValueEvent(clap_id id, void* cookie, double value) {
    auto event = coreEvent<clap_event_param_value_t>(CLAP_EVENT_PARAM_VALUE, 0);
    event.param_id = id;
    event.cookie = cookie;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    return event;
}

clap_event_note_t noteEvent(uint16_t type, uint32_t time, int32_t noteId, int16_t key) {
    auto event = coreEvent<clap_event_note_t>(type, time);
    event.note_id = noteId;
    event.port_index = 0;
    event.channel = 0;
    event.key = key;
    event.velocity = 1.0;
    return event;
}

} // namespace norvale::render
