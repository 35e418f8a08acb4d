// The VST 3 module entry points and the factory with its one class. The CLAP
// plug-in always lives in this very object, reached through `clap_entry`;
// the module pairs its own init with one deinit so a CLAP host loading the
// same object keeps its own.
#include <dlfcn.h>
#include <nettle/sha1.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <clap/entry.h>
#include <clap/factory/plugin-factory.h>
#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>

#include "wrapper/clap_as_vst3.h"
#include "wrapper/utf.h"

extern "C" const clap_plugin_entry clap_entry;

namespace norvale::vst3 {

using namespace Steinberg;

// ---- CLAP entry ----

namespace {

std::string ownPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownPath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

struct ClapEntryUse {
    bool initialised = false;
    ~ClapEntryUse() { release(); }
    bool acquire() {
        if (!initialised) initialised = clap_entry.init(ownPath().c_str());
        return initialised;
    }
    void release() {
        if (initialised) clap_entry.deinit();
        initialised = false;
    }
};

ClapEntryUse gClap;
int gModuleEntries = 0;
IPtr<FUnknown> gFactoryHostContext;

} // namespace

const clap_plugin_descriptor* clapDescriptor() {
    if (!gClap.acquire()) return nullptr;
    const auto* factory =
        static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (factory == nullptr || factory->get_plugin_count(factory) < 1) return nullptr;
    const clap_plugin_descriptor* descriptor = factory->get_plugin_descriptor(factory, 0);
    return descriptor != nullptr && descriptor->id != nullptr ? descriptor : nullptr;
}

const clap_plugin* createClapPlugin(const clap_host* host) {
    const clap_plugin_descriptor* descriptor = clapDescriptor();
    if (descriptor == nullptr) return nullptr;
    const auto* factory =
        static_cast<const clap_plugin_factory*>(clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
    return factory->create_plugin(factory, host, descriptor->id);
}

FUnknown* factoryHostContext() {
    return gFactoryHostContext.get();
}

// ---- class description ----

void classIdFor(const char* clapId, TUID out) {
    // Name-based UUID (version 5) in the DNS namespace, stored the way
    // VST 3 class ids keep their first three fields.
    static constexpr uint8_t kDnsNamespace[16] = {0x6b, 0xa7, 0xb8, 0x10, 0x9d, 0xad, 0x11, 0xd1,
                                                  0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
    sha1_ctx context;
    sha1_init(&context);
    sha1_update(&context, sizeof kDnsNamespace, kDnsNamespace);
    sha1_update(&context, std::strlen(clapId), reinterpret_cast<const uint8_t*>(clapId));
    uint8_t digest[SHA1_DIGEST_SIZE];
    sha1_digest(&context, sizeof digest, digest);
    digest[6] = (digest[6] & 0x0F) | 0x50;
    digest[8] = (digest[8] & 0x3F) | 0x80;
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<char>(digest[kOrder[i]]);
}

std::string categoriesFor(const char* const* features) {
    struct Mapping {
        std::string_view feature, category;
    };
    static constexpr Mapping kMappings[] = {
        {"instrument", "Instrument"},
        {"audio-effect", "Fx"},
        {"note-effect", "Instrument|Synth"},
        {"drum", "Instrument|Drum"},
        {"analyzer", "Analyzer"},
        {"synthesizer", "Synth"},
        {"sampler", "Sampler"},
        {"drum-machine", "Drum"},
        {"filter", "Filter"},
        {"phaser", "Modulation"},
        {"equalizer", "EQ"},
        {"de-esser", "Restoration"},
        {"phase-vocoder", "Modulation"},
        {"granular", "Synth"},
        {"frequency-shifter", "Modulator"},
        {"pitch-shifter", "Pitch Shifter"},
        {"distortion", "Distortion"},
        {"transient-shaper", "Distortion"},
        {"compressor", "Dynamics"},
        {"limiter", "Dynamics"},
        {"flanger", "Modulation"},
        {"chorus", "Modulation"},
        {"delay", "Delay"},
        {"reverb", "Reverb"},
        {"tremolo", "Modulation"},
        {"glitch", "Modulation"},
        {"utility", "Tools"},
        {"pitch-correction", "Pitch Shift"},
        {"restoration", "Restoration"},
        {"multi-effects", "Tools"},
        {"mixing", "Mixing"},
        {"mastering", "Mastering"},
        {"ara:required", "OnlyARA"},
        {"external", "External"},
    };
    std::vector<std::string_view> mains, others;
    for (const char* const* word = features; word != nullptr && *word != nullptr; ++word) {
        const auto row = std::find_if(std::begin(kMappings), std::end(kMappings),
                                      [&](const Mapping& m) { return m.feature == *word; });
        if (row == std::end(kMappings)) continue;
        const bool main =
            row->category.starts_with("Fx") || row->category.starts_with("Instrument");
        (main ? mains : others).push_back(row->category);
    }
    // Hosts read the first word as the main type.
    for (auto* words : {&mains, &others}) {
        std::sort(words->begin(), words->end());
        words->erase(std::unique(words->begin(), words->end()), words->end());
    }
    std::string text;
    for (auto* words : {&mains, &others}) {
        for (std::string_view word : *words) {
            const size_t extra = word.size() + (text.empty() ? 0 : 1);
            if (text.size() + extra >= PClassInfo2::kSubCategoriesSize) return text;
            if (!text.empty()) text += '|';
            text += word;
        }
    }
    return text;
}

namespace {

template <size_t N>
void copyText(char8 (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::strncpy(field, text != nullptr ? text : "", N - 1);
}

template <size_t N>
void copyText(char16 (&field)[N], const char* text) {
    utf8ToUtf16(text, reinterpret_cast<char16_t*>(field), N);
}

const char* vendorOf(const clap_plugin_descriptor& d) {
    return d.vendor != nullptr && *d.vendor != 0 ? d.vendor : "Unspecified Vendor";
}

// The three class-info records share their first fields; the later two add
// the same extended ones, in 8-bit or 16-bit text.
template <class Info>
tresult fillClassInfo(int32 index, Info* info) {
    const clap_plugin_descriptor* d = clapDescriptor();
    if (info == nullptr || index != 0 || d == nullptr) return kInvalidArgument;
    classIdFor(d->id, info->cid);
    info->cardinality = PClassInfo::kManyInstances;
    copyText(info->category, kVstAudioEffectClass);
    copyText(info->name, d->name);
    if constexpr (!std::is_same_v<Info, PClassInfo>) {
        info->classFlags = 0;
        copyText(info->subCategories, categoriesFor(d->features).c_str());
        copyText(info->vendor, vendorOf(*d));
        copyText(info->version, d->version);
        copyText(info->sdkVersion, kVstVersionString);
    }
    return kResultOk;
}

// ---- factory ----

class Factory final : public IPluginFactory3 {
public:
    Factory() = default;
    virtual ~Factory() = default;

    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        QUERY_INTERFACE(iid, obj, FUnknown::iid, IPluginFactory)
        QUERY_INTERFACE(iid, obj, IPluginFactory::iid, IPluginFactory)
        QUERY_INTERFACE(iid, obj, IPluginFactory2::iid, IPluginFactory2)
        QUERY_INTERFACE(iid, obj, IPluginFactory3::iid, IPluginFactory3)
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return ++refs_; }
    uint32 PLUGIN_API release() override;

    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override {
        const clap_plugin_descriptor* d = clapDescriptor();
        if (info == nullptr || d == nullptr) return kInvalidArgument;
        copyText(info->vendor, vendorOf(*d));
        copyText(info->url, d->url);
        copyText(info->email, "");
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    int32 PLUGIN_API countClasses() override { return clapDescriptor() != nullptr ? 1 : 0; }

    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override {
        return fillClassInfo(index, info);
    }
    tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) override {
        return fillClassInfo(index, info);
    }
    tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) override {
        return fillClassInfo(index, info);
    }
    tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr) return kInvalidArgument;
        *obj = nullptr;
        const clap_plugin_descriptor* d = clapDescriptor();
        TUID ours;
        if (cid == nullptr || iid == nullptr || d == nullptr) return kInvalidArgument;
        classIdFor(d->id, ours);
        if (std::memcmp(cid, ours, sizeof ours) != 0) return kInvalidArgument;
        IPtr<ClapAsVst3> instance = owned(new (std::nothrow) ClapAsVst3());
        if (!instance) return kOutOfMemory;
        return instance->queryInterface(iid, obj);
    }
    tresult PLUGIN_API setHostContext(FUnknown* context) override {
        gFactoryHostContext = context;
        return kResultOk;
    }

private:
    std::atomic<uint32> refs_{1};
};

Factory* gFactory = nullptr;

uint32 PLUGIN_API Factory::release() {
    const uint32 left = --refs_;
    if (left == 0) {
        // Hosts scan, release and ask again: the next request builds anew.
        if (gFactory == this) gFactory = nullptr;
        gFactoryHostContext = nullptr;
        delete this;
    }
    return left;
}

} // namespace

} // namespace norvale::vst3

// ---- exported entry points ----

extern "C" {

__attribute__((visibility("default"))) bool ModuleEntry(void*) {
    using namespace norvale::vst3;
    if (gModuleEntries++ == 0) gClap.acquire();
    return true;
}

__attribute__((visibility("default"))) bool ModuleExit() {
    using namespace norvale::vst3;
    if (gModuleEntries <= 0) return false;
    if (--gModuleEntries == 0) gClap.release();
    return true;
}

__attribute__((visibility("default"))) Steinberg::IPluginFactory* GetPluginFactory() {
    using namespace norvale::vst3;
    if (clapDescriptor() == nullptr) return nullptr;
    if (gFactory != nullptr) {
        gFactory->addRef();
    } else {
        gFactory = new (std::nothrow) Factory();
    }
    return gFactory;
}

} // extern "C"
