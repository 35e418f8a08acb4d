// The parameter table as the preset format and the engine rely on it; values
// and texts as a host sees them are tested through the ABI in clap_host.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "plugin/params.h"

namespace norvale {
namespace {

TEST(ParamTable, LookupByIdAndKey) {
    EXPECT_EQ(paramById(kParamWidEnd), &paramTable()[82]);
    EXPECT_EQ(paramById(kParamCount), nullptr);
    EXPECT_EQ(paramByKey("mix"), paramTable());
    for (const char* bad : {"MIX", "mix ", ""}) EXPECT_EQ(paramByKey(bad), nullptr) << bad;
    EXPECT_EQ(paramByKey(nullptr), nullptr);
}

TEST(ParamTable, KeysAreUniqueAndEveryRowIsDocumented) {
    std::set<std::string> keys;
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const plugincore::ParamDesc& p = kParams[i];
        EXPECT_EQ(p.id, i);
        EXPECT_TRUE(keys.insert(p.key).second) << p.key;
        EXPECT_EQ(paramByKey(p.key), &p);
        EXPECT_GT(std::strlen(p.help), 20u) << p.key;
        if (p.kind == plugincore::ParamKind::Enum) {
            EXPECT_EQ(p.maxValue, p.itemCount - 1.0) << p.key;
        }
    }
}

TEST(ParamTable, PerModuleIdsFollowModuleKeys) {
    for (int m = 0; m < kModuleCount; ++m) {
        const std::string prefix = std::string(moduleKey(m)) + "_";
        EXPECT_EQ(kParams[kModuleOnParams[m]].key, prefix + "on");
        EXPECT_EQ(kParams[kModuleRateParams[m]].key, prefix + "rate");
        EXPECT_EQ(kParams[kModulePhaseParams[m]].key, prefix + "phase");
        EXPECT_EQ(kParams[kModuleSmoothParams[m]].key, prefix + "smooth");
        EXPECT_EQ(kParams[kModuleTriggerParams[m]].key, prefix + "trigger");
        EXPECT_EQ(kParams[kModuleLoopParams[m]].key, prefix + "loop");
        EXPECT_EQ(kParams[kModuleEndParams[m]].key, prefix + "end");
    }
}

}  // namespace
}  // namespace norvale
