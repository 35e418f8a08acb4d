// Editor preferences: kept beside the user preset folder, one key changed
// without losing the others, and a damaged file read as far as it is sound.
#include <gtest/gtest.h>

#include <filesystem>

#include "presets/editor_prefs.h"
#include "presets/test_files.h"

namespace norvale {
namespace {

using presets_test::readFile;
using presets_test::ScopedEnv;
using presets_test::TempDir;
using presets_test::writeFile;
using Prefs = std::map<std::string, std::string>;

TEST(EditorPrefs, KeepsEveryKeyBesideTheUserPresetsAndReadsWhatIsSound) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path());
    const std::string file = dir / "Norvale/editor.conf";
    EXPECT_EQ(editorPrefsPath(), file);
    std::string err;
    for (const auto& [key, value] : {std::pair{"", "x"}, {"a b", "x"}, {"a=b", "x"}, {"k", "1\n2"}})
        EXPECT_FALSE(saveEditorPref(key, value, err)) << key;
    ASSERT_TRUE(saveEditorPref("grid", "1/12", err)) << err;
    ASSERT_TRUE(saveEditorPref("zoom", " 1.5 ", err)) << err;
    ASSERT_TRUE(saveEditorPref("grid", "off", err)) << err;
    EXPECT_EQ(loadEditorPrefs(), (Prefs{{"grid", "off"}, {"zoom", "1.5"}}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "Norvale"), {}), 1);
    // A damaged file gives what is sound in it, and a save keeps that.
    writeFile(file, "grid = 1/8\r\n# comment\nno equals\n= empty key\nbad key = 1\nzoom=2");
    EXPECT_EQ(loadEditorPrefs(), (Prefs{{"grid", "1/8"}, {"zoom", "2"}}));
    ASSERT_TRUE(saveEditorPref("grid", "1/6", err)) << err;
    EXPECT_EQ(readFile(file),
              "# Norvale editor preferences, rewritten by the editor.\ngrid = 1/6\nzoom = 2\n");
    writeFile(file, std::string(70 * 1024, 'x') + "\ngrid = 1/4\n");
    EXPECT_EQ(loadEditorPrefs(), Prefs());
    // No configuration folder: defaults, and a save says why it cannot be kept.
    ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv noHome("HOME", "relative");
    EXPECT_EQ(loadEditorPrefs(), Prefs());
    EXPECT_FALSE(saveEditorPref("grid", "1/8", err));
    EXPECT_NE(err.find("configuration folder"), std::string::npos) << err;
}

} // namespace
} // namespace norvale
