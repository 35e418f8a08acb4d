// The factory as a host scans it.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include "vst3/vst3_host.h"

namespace vst3host {
namespace {

// RFC 4122 version 5 in the DNS namespace, with the first three fields
// stored little-endian the way VST 3 class ids are kept.
std::array<uint8_t, 16> expectedClassId(const std::string& clapId) {
    const uint8_t dns[16] = {0x6b, 0xa7, 0xb8, 0x10, 0x9d, 0xad, 0x11, 0xd1,
                             0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};
    std::string input(reinterpret_cast<const char*>(dns), 16);
    input += clapId;
    uint8_t d[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const uint8_t*>(input.data()), input.size(), d);
    d[6] = (d[6] & 0x0F) | 0x50;
    d[8] = (d[8] & 0x3F) | 0x80;
    return {d[3], d[2], d[1],  d[0],  d[5],  d[4],  d[7],  d[6],
            d[8], d[9], d[10], d[11], d[12], d[13], d[14], d[15]};
}

TEST(Factory, OneClassWithTheIdOfTheClapIdentifier) {
    IPtr<IPluginFactory> factory = Module::get().factory();
    FUnknownPtr<IPluginFactory3> factory3(factory);
    ASSERT_TRUE(factory3);
    ASSERT_EQ(factory->countClasses(), 1);
    PClassInfo2 info{};
    PClassInfoW wide{};
    PFactoryInfo about{};
    ASSERT_EQ(factory3->getClassInfo2(0, &info), kResultOk);
    ASSERT_EQ(factory3->getClassInfoUnicode(0, &wide), kResultOk);
    ASSERT_EQ(factory->getFactoryInfo(&about), kResultOk);
    EXPECT_NE(factory3->getClassInfo2(1, &info), kResultOk);

    const clap_plugin_descriptor* descriptor = clapFace().descriptor();
    const auto id = expectedClassId(descriptor->id);
    EXPECT_EQ(std::memcmp(info.cid, id.data(), 16), 0);
    EXPECT_EQ(std::memcmp(wide.cid, id.data(), 16), 0);
    EXPECT_STREQ(info.category, kVstAudioEffectClass);
    EXPECT_STREQ(info.name, descriptor->name);
    EXPECT_STREQ(info.sdkVersion, kVstVersionString);
    EXPECT_EQ(std::string(info.subCategories).substr(0, 3), "Fx|");
    auto terminated = [](const auto& f) {
        return std::find(f, f + std::size(f), 0) != f + std::size(f);
    };
    EXPECT_TRUE(terminated(info.name) && terminated(info.vendor) && terminated(info.version) &&
                terminated(info.subCategories) && terminated(info.sdkVersion) &&
                terminated(wide.name) && terminated(wide.vendor) && terminated(about.vendor) &&
                terminated(about.url) && terminated(about.email));

    // createInstance answers the interface asked for; a foreign id, nothing.
    void* object = nullptr;
    ASSERT_EQ(factory->createInstance(info.cid, IAudioProcessor::iid, &object), kResultOk);
    static_cast<IAudioProcessor*>(object)->release();
    TUID other{};
    EXPECT_NE(factory->createInstance(other, IComponent::iid, &object), kResultOk);
}

} // namespace
} // namespace vst3host
