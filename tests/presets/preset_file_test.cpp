// Reading preset files, and replacing them without ever losing one.
#include "presets/preset_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "presets/norvale_presets.h"
#include "presets/test_files.h"

namespace plugincore {
namespace {

using presets_test::entryCount;
using presets_test::readFile;
using presets_test::TempDir;
using presets_test::writeFile;
using norvale::CurveSet;

TEST(PresetFileRead, NamesComeFromTheFileWhenTheTextHasNone) {
    TempDir dir;
    PresetData data;
    std::string err;
    writeFile(dir / "Pump.norvale", "mix = 0.5\n");
    ASSERT_TRUE(norvale::parsePresetFile(dir / "Pump.norvale", data, err));
    EXPECT_EQ(data.name, "Pump");
    writeFile(dir / ".norvale", "mix = 0.5\n");
    ASSERT_TRUE(norvale::parsePresetFile(dir / ".norvale", data, err));
    EXPECT_EQ(data.name, "");
    writeFile(dir / "Named.norvale", "name = Given\n");
    ASSERT_TRUE(norvale::parsePresetFile(dir / "Named.norvale", data, err));
    EXPECT_EQ(data.name, "Given");

    CurveSet curves;
    ASSERT_TRUE(norvale::parsePresetFileWithCurves(dir / "Pump.norvale", data, curves, err));
    EXPECT_EQ(data.name, "");
}

TEST(PresetFileRead, Messages) {
    TempDir dir;
    PresetData data;
    CurveSet curves;
    std::string err;
    const std::string missing = dir / "missing.norvale";
    EXPECT_FALSE(norvale::parsePresetFile(missing, data, err));
    EXPECT_EQ(err, "cannot open '" + missing + "': No such file or directory");
    EXPECT_FALSE(norvale::parsePresetFileWithCurves(missing, data, curves, err));
    EXPECT_EQ(err, "cannot open '" + missing + "'");

    const std::string bad = dir / "bad.norvale";
    writeFile(bad, "name = B\ncurve vol 0=1\n");
    EXPECT_TRUE(norvale::parsePresetFile(bad, data, err));  // curves are not its business
    EXPECT_FALSE(norvale::parsePresetFileWithCurves(bad, data, curves, err));
    EXPECT_EQ(err, bad + ": a shape curve line could not be read");
    writeFile(bad, "oops\n");
    EXPECT_FALSE(norvale::parsePresetFile(bad, data, err));
    EXPECT_EQ(err, bad + ": line 1: expected 'key = value'");
}

TEST(PresetFileWrite, CreatesFoldersAndReplacesFiles) {
    TempDir dir;
    std::string err;
    const std::string path = dir / "a/b/Deep.norvale";
    ASSERT_TRUE(writePresetFile(path, "name = One\n", err)) << err;
    EXPECT_EQ(readFile(path), "name = One\n");
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(writePresetFile(path, "name = Two\n", err)) << err;
    EXPECT_EQ(readFile(path), "name = Two\n");
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(entryCount(dir / "a/b"), 1);

    // A name near the file system's limit leaves no room for a suffix; the
    // temporary file must not need one.
    const std::string longest = dir / (std::string(247, 'L') + ".norvale");
    ASSERT_TRUE(writePresetFile(longest, "name = L\n", err)) << err;
    EXPECT_EQ(readFile(longest), "name = L\n");

    // Through a link the file behind it is replaced and the link stays.
    std::filesystem::create_symlink(path, dir / "link.norvale");
    ASSERT_TRUE(writePresetFile(dir / "link.norvale", "name = Three\n", err)) << err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.norvale"));
    EXPECT_EQ(readFile(path), "name = Three\n");
}

TEST(PresetFileWrite, ParentThatIsAFileFails) {
    TempDir dir;
    writeFile(dir / "file", "x");
    std::string err;
    EXPECT_FALSE(writePresetFile(dir / "file/sub/P.norvale", "name = P\n", err));
    EXPECT_EQ(err.rfind("cannot create " + (dir / "file/sub") + ": ", 0), 0u) << err;
    EXPECT_EQ(readFile(dir / "file"), "x");
}

TEST(PresetFileWrite, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir / "Keep.norvale";
    writeFile(path, "name = Old\n");
    const std::string big(1 << 16, '#');
    std::string err;

    // A file-size limit makes the write itself fail, even for root.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool wrote = writePresetFile(path, big, err);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(err, "could not finish writing " + path);
    EXPECT_EQ(readFile(path), "name = Old\n");
    EXPECT_EQ(entryCount(dir.path()), 1);
}

TEST(PresetFileWrite, ReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    TempDir dir;
    const std::string path = dir / "Keep.norvale";
    writeFile(path, "name = Old\n");
    std::string err;
    chmod(dir.path().c_str(), 0555);
    EXPECT_FALSE(writePresetFile(path, "name = New\n", err));
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(err, "cannot write " + path + ": Permission denied");
    EXPECT_EQ(readFile(path), "name = Old\n");
    EXPECT_EQ(entryCount(dir.path()), 1);
}

}  // namespace
}  // namespace plugincore
