#include "presets/preset_files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plugincore {

// ---- locations ----

namespace {

const char* absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && value[0] == '/') ? value : nullptr;
}

// Every byte of a multi-byte UTF-8 character is kept, so names in any
// script keep their letters.
bool isStemChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c >= 0x80;
}

// A folder counts only when it holds a preset, directly or one folder down.
bool holdsPresetFile(const std::filesystem::path& folder, const char* extension) {
    namespace fs = std::filesystem;
    const std::string suffix = std::string(".") + extension;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it.depth() > 1) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string name = it->path().filename().string();
        std::error_code statError;
        if (name.size() > suffix.size() && name.ends_with(suffix) &&
            fs::is_regular_file(it->path(), statError))
            return true;
    }
    return false;
}

} // namespace

std::string userPresetDir(const PresetContext& ctx) {
    if (const char* config = absoluteEnv("XDG_CONFIG_HOME"))
        return std::string(config) + "/" + ctx.dirName + "/presets";
    if (const char* home = absoluteEnv("HOME"))
        return std::string(home) + "/.config/" + ctx.dirName + "/presets";
    return "";
}

std::string factoryPresetDir(const PresetContext& ctx) {
    // Any function of this file names the shared object the plug-in lives in.
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&factoryPresetDir), &info) == 0 ||
        info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        return "";
    return factoryPresetDirBeside(ctx, info.dli_fname);
}

std::string factoryPresetDirBeside(const PresetContext& ctx, const std::string& binaryPath) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(binaryPath).parent_path();
    if (dir.empty() || dir == dir.root_path()) return "";
    const std::string word = ctx.dirName;
    const auto ours = [&word](const fs::path& folder) {
        const std::string name = folder.filename().string();
        return name == word || name == word + ".clap" || name == word + ".vst3";
    };
    // Inside the plug-in's own bundle, or in a folder named for it; a folder
    // that merely sits near the plug-in file (~/presets beside ~/.clap) is
    // someone else's.
    std::vector<fs::path> candidates;
    if (ours(dir)) candidates.push_back(dir / "presets");
    const fs::path contents = dir.parent_path();
    if (contents.filename() == "Contents" && contents.parent_path().extension() == ".vst3")
        candidates.push_back(contents / "Resources" / "presets");
    candidates.push_back(dir / (word + ".clap") / "presets");
    candidates.push_back(dir / word / "presets");
    for (const fs::path& candidate : candidates)
        if (holdsPresetFile(candidate, ctx.extension)) return candidate.string();
    return "";
}

std::string presetFileStem(const std::string& name) {
    std::string stem;
    bool replaced = false; // the last character written stands for other bytes
    for (const char c : name) {
        if (isStemChar(static_cast<unsigned char>(c))) {
            stem += c;
            replaced = false;
        } else if (!stem.empty() && !replaced) {
            stem += '_';
            replaced = true;
        }
    }
    while (!stem.empty() && stem.back() == '_')
        stem.pop_back();
    return stem;
}

std::string userPresetPathIn(const PresetContext& ctx, const std::string& folder,
                             const std::string& name) {
    const std::string dir = userPresetDir(ctx);
    if (dir.empty()) return "";
    std::string stem = presetFileStem(name);
    if (stem.empty()) stem = "preset";
    const std::string sub = presetFileStem(folder);
    const std::string file = stem + "." + ctx.extension;
    return sub.empty() ? dir + "/" + file : dir + "/" + sub + "/" + file;
}

std::string userPresetPath(const PresetContext& ctx, const std::string& name) {
    return userPresetPathIn(ctx, "", name);
}

// ---- reading and writing ----

namespace {

// Saving through a symbolic link replaces the file it points to, as an
// in-place write would, instead of the link itself.
std::string resolvedTarget(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

// Six characters that differ between calls, processes and moments; clashes
// are caught by O_EXCL and retried.
std::string uniqueSuffix() {
    static std::atomic<uint64_t> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t z = (static_cast<uint64_t>(getpid()) << 32) ^ static_cast<uint64_t>(now.tv_nsec) ^
                 (static_cast<uint64_t>(now.tv_sec) << 20) ^
                 (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull; // splitmix64 finaliser
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string s(6, 'x');
    for (char& c : s) {
        c = kChars[z % (sizeof kChars - 1)];
        z /= sizeof kChars - 1;
    }
    return s;
}

// Beside the target so the rename stays on one file system; hidden, and with
// the name cut short so a long preset name cannot push it past NAME_MAX.
// Mode 0666 lets the umask decide, as a plain fopen would; -1 with errno set
// when no temporary file can be made.
int createTemporary(const std::string& target, std::string& tempPath) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = target.substr(folder.size(), 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "." + base + ".tmp-" + uniqueSuffix();
        const int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Best effort: makes the rename itself survive a power cut.
void syncFolder(const std::string& file) {
    const std::string folder = std::filesystem::path(file).parent_path().string();
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

} // namespace

bool readPresetBytes(const std::string& path, std::string& bytes, std::string& err) {
    // Non-blocking, so a FIFO cannot hang the open; for files it changes nothing.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        err = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        err = "read error on '" + path + "': not a regular file";
        ok = false;
    } else if (ok && st.st_size > static_cast<off_t>(kMaxPresetBytes)) {
        err = "'" + path + "' is larger than 1 MiB, too large for a preset";
        ok = false;
    }
    bytes.clear();
    char chunk[4096];
    while (ok) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || bytes.size() + static_cast<size_t>(n) > kMaxPresetBytes) {
            err = "read error on '" + path + "'";
            ok = false;
        } else if (n == 0) {
            break;
        } else {
            bytes.append(chunk, static_cast<size_t>(n));
        }
    }
    close(fd);
    return ok;
}

bool writePresetFile(const std::string& path, const std::string& text, std::string& err) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty()) {
        std::error_code created;
        fs::create_directories(folder, created);
        std::error_code ignored;
        if (created && !fs::is_directory(folder, ignored)) {
            err = "cannot create " + folder.string() + ": " + created.message();
            return false;
        }
    }

    struct stat old;
    if (stat(resolvedTarget(path).c_str(), &old) == 0 && S_ISDIR(old.st_mode)) {
        err = "cannot write " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    AtomicFile file;
    if (!file.open(path)) {
        err = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!file.write(text.data(), text.size()) || !file.commit()) {
        err = "could not finish writing " + path;
        return false;
    }
    return true;
}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::open(const std::string& target) {
    discard();
    target_ = resolvedTarget(target);
    struct stat old;
    const bool exists = stat(target_.c_str(), &old) == 0;
    fd_ = createTemporary(target_, temporary_);
    if (fd_ < 0) {
        temporary_.clear();
        return false;
    }
    // A replaced file keeps the permissions it had.
    if (exists) fchmod(fd_, old.st_mode & 07777);
    return true;
}

bool AtomicFile::write(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::commit() {
    bool ok = fd_ >= 0 && fsync(fd_) == 0;
    int error = fd_ < 0 ? EBADF : errno;
    if (fd_ >= 0 && close(fd_) != 0 && ok) {
        ok = false;
        error = errno;
    }
    fd_ = -1;
    if (ok && rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        discard();
        errno = error;
        return false;
    }
    temporary_.clear();
    syncFolder(target_);
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

} // namespace plugincore
