// A loaded CLAP binary: the shared object, its initialised entry and its
// plug-in factory. Unloads in reverse on destruction.
#pragma once

#include <clap/clap.h>
#include <string>

namespace norvale::render {

class ClapModule {
public:
    explicit ClapModule(const std::string& path);  // throws RenderError
    ~ClapModule();
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    const std::string& path() const { return path_; }
    const clap_plugin_factory_t& factory() const { return *factory_; }
    // The first plug-in the factory offers.
    const clap_plugin_descriptor_t& descriptor() const { return *descriptor_; }
    // Null when the file offers no preset discovery.
    const clap_preset_discovery_factory_t* presetDiscoveryFactory() const;

private:
    std::string path_;
    void* library_ = nullptr;
    const clap_plugin_entry_t* entry_ = nullptr;
    bool entryInitialised_ = false;
    const clap_plugin_factory_t* factory_ = nullptr;
    const clap_plugin_descriptor_t* descriptor_ = nullptr;
};

}  // namespace norvale::render
