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

TEST(EditorPrefs, KeepsEveryKeyBesideTheUserPresets) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path());
    EXPECT_EQ(editorPrefsPath(), dir / "Norvale/editor.conf");
    EXPECT_EQ(loadEditorPrefs(), Prefs());
    std::string err;
    ASSERT_TRUE(saveEditorPref("grid", "1/12", err)) << err;
    ASSERT_TRUE(saveEditorPref("zoom", " 1.5 ", err)) << err;
    ASSERT_TRUE(saveEditorPref("grid", "off", err)) << err;
    EXPECT_EQ(loadEditorPrefs(), (Prefs{{"grid", "off"}, {"zoom", "1.5"}}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "Norvale"), {}), 1);

    for (const auto& [key, value] : {std::pair{"", "x"}, {"a b", "x"}, {"a=b", "x"}, {"k", "1\n2"}})
        EXPECT_FALSE(saveEditorPref(key, value, err)) << key;
    EXPECT_EQ(loadEditorPrefs(), (Prefs{{"grid", "off"}, {"zoom", "1.5"}}));

    ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv noHome("HOME", "relative");
    EXPECT_EQ(loadEditorPrefs(), Prefs());
    EXPECT_FALSE(saveEditorPref("grid", "1/8", err));
    EXPECT_NE(err.find("configuration folder"), std::string::npos) << err;
}

TEST(EditorPrefs, ReadsWhatIsSoundOfADamagedFile) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", dir.path());
    std::filesystem::create_directories(dir / "Norvale");
    const std::pair<std::string, Prefs> cases[] = {
        {"grid = 1/8\r\n# comment\nno equals\n= empty key\nbad key = 1\nzoom=2", //
         {{"grid", "1/8"}, {"zoom", "2"}}},
        {std::string("grid = \0\xff\n", 10), {{"grid", std::string("\0\xff", 2)}}},
        {std::string(70 * 1024, 'x') + "\ngrid = 1/4\n", {}},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(dir / "Norvale/editor.conf", text);
        EXPECT_EQ(loadEditorPrefs(), expected) << text.substr(0, 40);
    }
    // Saving over a damaged file keeps what could be read.
    writeFile(dir / "Norvale/editor.conf", "zoom = 2\ngarbage\n");
    std::string err;
    ASSERT_TRUE(saveEditorPref("grid", "1/6", err)) << err;
    EXPECT_EQ(readFile(dir / "Norvale/editor.conf"),
              "# Norvale editor preferences, rewritten by the editor.\ngrid = 1/6\nzoom = 2\n");
    std::filesystem::remove(dir / "Norvale/editor.conf");
    std::filesystem::create_directory(dir / "Norvale/editor.conf");
    EXPECT_EQ(loadEditorPrefs(), Prefs());
    EXPECT_FALSE(saveEditorPref("grid", "1/6", err));
}

} // namespace
} // namespace norvale
