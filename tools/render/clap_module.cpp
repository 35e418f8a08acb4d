#include "render/clap_module.h"

#include <dlfcn.h>
#include <fmt/format.h>

#include "render/errors.h"

namespace norvale::render {
namespace {

std::string versionText(const clap_version_t& v) {
    return fmt::format("{}.{}.{}", v.major, v.minor, v.revision);
}

}  // namespace

ClapModule::ClapModule(const std::string& path) : path_(path) {
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* reason = dlerror();
        throw RenderError(fmt::format("cannot load plug-in '{}': {}", path, reason ? reason : "unknown error"));
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
        factory_ = static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
        if (!factory_ || !factory_->get_plugin_count || !factory_->get_plugin_descriptor ||
            !factory_->create_plugin)
            throw RenderError(fmt::format("'{}' offers no plug-in factory", path));
        if (factory_->get_plugin_count(factory_) < 1)
            throw RenderError(fmt::format("'{}' contains no plug-in", path));
        descriptor_ = factory_->get_plugin_descriptor(factory_, 0);
        if (!descriptor_ || !descriptor_->id)
            throw RenderError(fmt::format("'{}' gives no descriptor for its plug-in", path));
        if (!clap_version_is_compatible(descriptor_->clap_version))
            throw RenderError(fmt::format("the plug-in in '{}' speaks CLAP {}, which this host cannot load",
                                          path, versionText(descriptor_->clap_version)));
    } catch (...) {
        if (entryInitialised_) entry_->deinit();
        dlclose(library_);
        throw;
    }
}

const clap_preset_discovery_factory_t* ClapModule::presetDiscoveryFactory() const {
    for (const char* id : {CLAP_PRESET_DISCOVERY_FACTORY_ID, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT})
        if (const void* factory = entry_->get_factory(id))
            return static_cast<const clap_preset_discovery_factory_t*>(factory);
    return nullptr;
}

ClapModule::~ClapModule() {
    if (entryInitialised_) entry_->deinit();
    dlclose(library_);
}

}  // namespace norvale::render
