// The plug-in created in-process through clap_entry's factory, with the
// shared test host and an audio block whose clap_process tests can edit.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include <clap/entry.h>
#include <clap/factory/plugin-factory.h>

#include "plugin/descriptor.h"
#include "plugin/norvale_plugin.h"
#include "tests/clap_test_host.h"

namespace norvale::test {

using FakeHost = claphost::TestHost;
using claphost::InputEvents;
using claphost::OutputEvents;

// One plug-in instance for the length of a test, created the way a host does.
class TestPlugin {
public:
    explicit TestPlugin(FakeHost& host) : plugin(factory().create_plugin(&factory(), host.clap(), kPluginId)) {
        plugin->init(plugin);
    }
    ~TestPlugin() { plugin->destroy(plugin); }
    TestPlugin(const TestPlugin&) = delete;
    TestPlugin& operator=(const TestPlugin&) = delete;

    NorvalePlugin& object() const { return *NorvalePlugin::from(plugin); }

    template <class Extension>
    const Extension& ext(const char* id) const {
        return *static_cast<const Extension*>(plugin->get_extension(plugin, id));
    }

    double value(uint32_t id) const {
        double v = std::numeric_limits<double>::quiet_NaN();
        ext<clap_plugin_params>(CLAP_EXT_PARAMS).get_value(plugin, id, &v);
        return v;
    }

    const clap_plugin* plugin;

private:
    static const clap_plugin_factory& factory() {
        return *static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    }
};

// A stereo main input, an empty sidechain port and a stereo output.
class AudioBlock {
public:
    explicit AudioBlock(uint32_t frames) : inLeft(frames), inRight(frames), outLeft(frames), outRight(frames) {
        inputs[0] = {inPtrs, nullptr, 2, 0, 0};
        outputs[0] = {outPtrs, nullptr, 2, 0, 0};
        process = {-1, frames, nullptr, inputs, outputs, 2, 1, events.list(), sent.list()};
    }
    AudioBlock(const AudioBlock&) = delete;
    AudioBlock& operator=(const AudioBlock&) = delete;

    clap_process_status run(const TestPlugin& p) { return p.plugin->process(p.plugin, &process); }

    std::vector<float> inLeft, inRight, outLeft, outRight;
    InputEvents events;
    OutputEvents sent;
    clap_process process{};

private:
    float* inPtrs[2] = {inLeft.data(), inRight.data()};
    float* outPtrs[2] = {outLeft.data(), outRight.data()};
    clap_audio_buffer inputs[2]{};
    clap_audio_buffer outputs[1]{};
};

}  // namespace norvale::test
