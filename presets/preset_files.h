// Preset files: where they live, reading one whole, replacing one
// atomically, and where a user's save goes. All main thread; nothing here
// runs on the audio thread.
#pragma once

#include <cstddef>
#include <string>

#include "presets/preset_data.h"

namespace plugincore {

// ---- locations ----
// Where preset files live and how a preset's name becomes a file name.
// Everything is worked out afresh from the environment on every call;
// nothing here creates folders.

// $XDG_CONFIG_HOME/<dirName>/presets, else $HOME/.config/<dirName>/presets;
// a variable counts only when it holds an absolute path. "" when neither does.
std::string userPresetDir(const PresetContext& ctx);

// The preset folder shipped beside the file that holds this code, or "".
std::string factoryPresetDir(const PresetContext& ctx);
// The same search beside a given file. Only Norvale's own folders count:
// presets/ when the file's folder is the bundle or named <dirName>,
// Contents/Resources/presets of a .vst3 bundle, then <dirName>.clap/presets
// and <dirName>/presets beside the file; the first that holds at least one
// preset file wins.
std::string factoryPresetDirBeside(const PresetContext& ctx, const std::string& binaryPath);

// Letters and digits of any script (UTF-8 bytes), "_" and "-" kept; every
// run of other bytes (blanks, punctuation, path separators) becomes one "_";
// no "_" at either end. May be "".
std::string presetFileStem(const std::string& name);

// <user folder>[/<folder stem>]/<name stem or "preset">.<extension>; "" when
// there is no user preset folder. One level of folders only.
std::string userPresetPathIn(const PresetContext& ctx, const std::string& folder,
                             const std::string& name);
std::string userPresetPath(const PresetContext& ctx, const std::string& name);

// ---- reading and writing ----
// Preset files: reading one whole, and replacing one without ever leaving a
// half-written preset behind.

inline constexpr size_t kMaxPresetBytes = size_t{1} << 20;

// Reads a whole preset file. Refuses what is not a regular file or is larger
// than kMaxPresetBytes; every failure leaves a message naming the path.
bool readPresetBytes(const std::string& path, std::string& bytes, std::string& err);

// Creates missing folders, then writes text to a temporary file beside path
// and renames it over path: on failure an existing file keeps its old
// content and no temporary file is left.
bool writePresetFile(const std::string& path, const std::string& text, std::string& err);

// ---- atomic writing ----
// A file written under a temporary name beside its target and renamed over
// it only by commit, so a failure at any point leaves the target as it was
// and no temporary file behind. Writing through a symbolic link replaces the
// file it names; a replaced file keeps its permissions. Every false return
// leaves errno set.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile(); // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open(const std::string& target);
    bool write(const void* data, size_t size);
    // Flushes to disk, closes and renames into place.
    bool commit();

    int fd() const { return fd_; }
    const std::string& temporaryPath() const { return temporary_; }

private:
    void discard();

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
};

} // namespace plugincore
