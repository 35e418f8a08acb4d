// Preset files on disk: reading refuses what is not a preset file and says
// why, writing never leaves half a file, names become safe file names that
// do not replace other presets, and only Norvale's own folders count as
// factory folders.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "presets/preset_files.h"
#include "presets/preset_format.h"
#include "presets/test_files.h"

namespace plugincore {
namespace {

namespace fs = std::filesystem;
using presets_test::readFile;
using presets_test::ScopedEnv;
using presets_test::TempDir;
using presets_test::writeFile;

TEST(PresetFileRead, RefusesWhatIsNoPresetFileWithAReason) {
    TempDir dir;
    fs::create_directory(dir / "folder.norvale");
    mkfifo((dir / "pipe.norvale").c_str(), 0644);
    writeFile(dir / "huge.norvale", "name = H\n" + std::string(kMaxPresetBytes, '#'));
    writeFile(dir / "bad.norvale", "oops\n");
    writeFile(dir / "Pump.norvale", "mix = 1\n");
    const std::pair<std::string, std::string> cases[] = {
        {dir / "folder.norvale",
         "read error on '" + (dir / "folder.norvale") + "': not a regular file"},
        {dir / "pipe.norvale",
         "read error on '" + (dir / "pipe.norvale") + "': not a regular file"},
        {dir / "huge.norvale",
         "'" + (dir / "huge.norvale") + "' is larger than 1 MiB, too large for a preset"},
        {dir / "bad.norvale", dir / "bad.norvale: line 1: expected 'key = value'"},
        {dir / "none.norvale",
         "cannot open '" + (dir / "none.norvale") + "': No such file or directory"},
    };
    for (const auto& [path, message] : cases) {
        PresetData data;
        norvale::CurveSet curves;
        std::string err, errWithCurves;
        EXPECT_FALSE(norvale::parsePresetFile(path, data, err));
        EXPECT_FALSE(norvale::parsePresetFileWithCurves(path, data, curves, errWithCurves));
        EXPECT_EQ(err, message);
        EXPECT_EQ(errWithCurves, message);
    }
    PresetData data;
    std::string err;
    ASSERT_TRUE(norvale::parsePresetFile(dir / "Pump.norvale", data, err)) << err;
    EXPECT_EQ(data.name, "Pump");
}

// A write replaces the whole file or leaves the old one and no other file.
TEST(PresetFileWrite, ReplacesWholeFilesOnly) {
    TempDir dir;
    std::string err;
    const std::string path = dir / "a/b/Deep.norvale";
    ASSERT_TRUE(writePresetFile(path, "name = One\n", err)) << err;
    chmod(path.c_str(), 0640);
    // Through a link the file behind it is replaced, keeping its permissions.
    fs::create_symlink(path, dir / "a/b/link");
    ASSERT_TRUE(writePresetFile(dir / "a/b/link", "name = Three\n", err)) << err;
    EXPECT_EQ(readFile(path), "name = Three\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    const auto entries = [&] { return std::distance(fs::directory_iterator(dir / "a/b"), {}); };
    EXPECT_EQ(entries(), 2);

    writeFile(dir / "file", "x");
    EXPECT_FALSE(writePresetFile(dir / "file/sub/P.norvale", "name = P\n", err));
    EXPECT_EQ(err.rfind("cannot create " + (dir / "file/sub") + ": ", 0), 0u) << err;
    // A file-size limit makes the write itself fail, even for root.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool wrote = writePresetFile(path, std::string(1 << 16, '#'), err);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(err, "could not finish writing " + path);
    EXPECT_EQ(readFile(path), "name = Three\n");
    EXPECT_EQ(entries(), 2);
    if (geteuid() == 0) return; // root writes into read-only folders
    chmod((dir / "a/b").c_str(), 0555);
    EXPECT_FALSE(writePresetFile(path, "name = New\n", err));
    chmod((dir / "a/b").c_str(), 0755);
    EXPECT_EQ(err, "cannot write " + path + ": Permission denied");
    EXPECT_EQ(readFile(path), "name = Three\n");
}

TEST(PresetPaths, UserFolderAndFileNames) {
    const PresetContext& ctx = norvale::presetContext();
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/cfg");
        ScopedEnv home("HOME", "/home/u");
        EXPECT_EQ(userPresetPathIn(ctx, "Bass Lines", "!!!"),
                  "/home/u/.config/Norvale/presets/Bass_Lines/preset.norvale");
    }
    for (const auto& row : presets_test::caseFile("preset_stems.txt"))
        EXPECT_EQ(presetFileStem(row.at(0)), row.at(1)) << row[0];
}

// Names that share a file name get files of their own; the same name again
// replaces its own file.
TEST(PresetSave, NamesThatShareAFileNameKeepTheirOwnFiles) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path());
    const std::string folder = dir / "Norvale/presets/";
    const std::pair<const char*, const char*> saves[] = {
        {"Deep Duck", "Deep_Duck.norvale"}, {"Deep Duck!", "Deep_Duck_2.norvale"},
        {"Deep Duck", "Deep_Duck.norvale"}, {"Deep Duck!", "Deep_Duck_2.norvale"},
        {"Bass/Lead", "Bass/Lead.norvale"}, {"Bass / Lead", "Bass/Lead.norvale"},
        {"Bass Lead", "Bass_Lead.norvale"}, {"Bass_Lead", "Bass_Lead_2.norvale"}};
    for (const auto& [typed, file] : saves) {
        norvale::PresetSaveName name;
        std::string path, err;
        ASSERT_TRUE(norvale::splitPresetSaveName(typed, name, err)) << err;
        ASSERT_TRUE(norvale::presetSavePath(name, path, err)) << err;
        EXPECT_EQ(path, folder + file) << typed;
        ASSERT_TRUE(writePresetFile(path, "name = " + name.name + "\n", err)) << err;
    }
    writeFile(folder + "Odd.norvale", "not a preset");
    norvale::PresetSaveName odd{"", "Odd"};
    std::string path, err;
    ASSERT_TRUE(norvale::presetSavePath(odd, path, err));
    EXPECT_EQ(path, folder + "Odd_2.norvale");
}

// A folder beside the plug-in file counts only when it is Norvale's (its
// bundle, or named for it) and holds a preset: ~/presets beside ~/.clap
// does not.
TEST(PresetPaths, OnlyNorvalesOwnFoldersAreFactoryFolders) {
    TempDir root;
    const auto find = [&](const std::string& plugin) {
        return factoryPresetDirBeside(norvale::presetContext(), root / plugin);
    };
    const auto fill = [&](const std::string& folder) {
        fs::create_directories(root / folder);
        writeFile(root / (folder + "/F.norvale"), "name = F\n");
    };
    fill("home/presets");
    fill("home/.clap/presets");
    fs::create_directories(root / "home/.clap/Norvale.clap/presets"); // ours, but empty
    EXPECT_EQ(find("home/.clap/Norvale.clap"), "");
    fill("home/.clap/Norvale/presets");
    EXPECT_EQ(find("home/.clap/Norvale.clap"), root / "home/.clap/Norvale/presets");
    fill("home/.clap/Norvale.clap/presets/Bass");
    EXPECT_EQ(find("home/.clap/Norvale.clap"), root / "home/.clap/Norvale.clap/presets");
    fill("b/Norvale.vst3/Contents/Resources/presets");
    EXPECT_EQ(find("b/Norvale.vst3/Contents/x86_64-linux/Norvale.so"),
              root / "b/Norvale.vst3/Contents/Resources/presets");
}

} // namespace
} // namespace plugincore
