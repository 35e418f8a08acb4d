// The shared CLAP test host with the plug-in linked in: an instance made
// through clap_entry's factory, and the object behind it.
#pragma once

#include <clap/entry.h>

#include "plugin/norvale_plugin.h"
#include "tests/clap_host/test_host.h"

namespace norvale::test {

using FakeHost = claphost::TestHost;
using claphost::AudioBlock;
using claphost::OutputEvents;

class TestPlugin {
public:
    explicit TestPlugin(FakeHost& host) : instance(entry(), host), plugin(instance.plugin()) {}

    NorvalePlugin& object() const { return *NorvalePlugin::from(plugin); }
    template <class Extension>
    const Extension& ext(const char* id) const {
        return *static_cast<const Extension*>(instance.extension(id));
    }
    double value(uint32_t id) const { return instance.value(id); }

    claphost::Instance instance;
    const clap_plugin* plugin;

private:
    static const claphost::Module& entry() {
        static const claphost::Module linked(&clap_entry);
        return linked;
    }
};

} // namespace norvale::test
