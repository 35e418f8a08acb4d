#include "presets/preset_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "presets/norvale_presets.h"
#include "presets/test_files.h"

namespace plugincore {
namespace {

using presets_test::ScopedEnv;
using presets_test::TempDir;

TEST(PresetPaths, UserFolderFollowsTheEnvironment) {
    const PresetContext& ctx = norvale::presetContext();
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg//x");
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(userPresetDir(ctx), "/cfg//x/Norvale/presets");
        EXPECT_EQ(norvale::userPresetDir(), "/cfg//x/Norvale/presets");
    }
    for (const char* unusable : {"relative/cfg", ""}) {
        ScopedEnv xdg("XDG_CONFIG_HOME", unusable);
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(userPresetDir(ctx), "/home/u/.config/Norvale/presets");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
        ScopedEnv home("HOME", "~");
        EXPECT_EQ(userPresetDir(ctx), "");
        EXPECT_EQ(userPresetPathIn(ctx, "Bass", "Sub"), "");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", std::nullopt);
    EXPECT_EQ(userPresetDir(ctx), "");
}

TEST(PresetPaths, FileStems) {
    EXPECT_EQ(presetFileStem("Deep Duck"), "Deep_Duck");
    EXPECT_EQ(presetFileStem("  Deep / Duck!!"), "Deep_Duck");
    // A leading non-ASCII letter vanishes.
    EXPECT_EQ(presetFileStem("\xC3\x89t\xC3\xA9 Pad"), "t_Pad");
    EXPECT_EQ(presetFileStem("a__b"), "a__b");
    EXPECT_EQ(presetFileStem("a_ b"), "a__b");  // a copied "_" does not absorb a replacement
    EXPECT_EQ(presetFileStem("x-1_"), "x-1");
    EXPECT_EQ(presetFileStem("?!."), "");
    EXPECT_EQ(presetFileStem(""), "");
}

TEST(PresetPaths, UserPresetFiles) {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    const PresetContext& ctx = norvale::presetContext();
    EXPECT_EQ(userPresetPathIn(ctx, "Bass Lines", "Sub"),
              "/cfg/Norvale/presets/Bass_Lines/Sub.norvale");
    EXPECT_EQ(userPresetPathIn(ctx, "", "Sub"), "/cfg/Norvale/presets/Sub.norvale");
    EXPECT_EQ(userPresetPathIn(ctx, "../..", "Sub"), "/cfg/Norvale/presets/Sub.norvale");
    EXPECT_EQ(userPresetPath(ctx, "!!!"), "/cfg/Norvale/presets/preset.norvale");
}

TEST(PresetPaths, FactoryFolderCandidatesInOrder) {
    namespace fs = std::filesystem;
    const PresetContext& ctx = norvale::presetContext();
    TempDir root;
    const std::string bin = root / "bundle/arch";
    fs::create_directories(bin);
    const std::string plugin = bin + "/norvale.so";
    EXPECT_EQ(factoryPresetDirBeside(ctx, plugin), "");
    EXPECT_EQ(factoryPresetDirBeside(ctx, "norvale.so"), "");

    fs::create_directories(bin + "/Norvale.clap/presets");
    EXPECT_EQ(factoryPresetDirBeside(ctx, plugin), bin + "/Norvale.clap/presets");
    fs::create_directories(root / "bundle/presets");
    EXPECT_EQ(factoryPresetDirBeside(ctx, plugin), bin + "/../presets");
    fs::create_directories(root / "bundle/Resources/presets");
    EXPECT_EQ(factoryPresetDirBeside(ctx, plugin), bin + "/../Resources/presets");
    presets_test::writeFile(bin + "/presets", "a file, not a folder");
    EXPECT_EQ(factoryPresetDirBeside(ctx, plugin), bin + "/../Resources/presets");
    fs::remove(bin + "/presets");
    fs::create_directory_symlink(root / "bundle/presets", bin + "/presets");
    EXPECT_EQ(factoryPresetDirBeside(ctx, plugin), bin + "/presets");

    // This test program holds the code itself: whatever it finds is a folder.
    const std::string found = factoryPresetDir(ctx);
    EXPECT_TRUE(found.empty() || fs::is_directory(found)) << found;
}

}  // namespace
}  // namespace plugincore
