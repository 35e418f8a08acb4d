#include "presets/preset_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "presets/preset_format.h"

namespace plugincore {

namespace {

std::string nameFromPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

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

bool writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
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

bool parsePresetFile(const PresetContext& ctx, const std::string& path, PresetData& out,
                     std::string& err) {
    std::string bytes;
    if (!readPresetBytes(path, bytes, err)) return false;
    std::string message;
    if (!parsePreset(ctx, bytes.data(), bytes.size(), out, message)) {
        err = path + ": " + message;
        return false;
    }
    if (out.name.empty()) out.name = nameFromPath(path);
    return true;
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

    const std::string target = resolvedTarget(path);
    struct stat old;
    const bool exists = stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) {
        err = "cannot write " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    std::string tempPath;
    const int fd = createTemporary(target, tempPath);
    if (fd < 0) {
        err = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    // A replaced preset keeps the permissions it had.
    if (exists) fchmod(fd, old.st_mode & 07777);
    bool ok = writeAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(tempPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(tempPath.c_str());
        err = "could not finish writing " + path;
        return false;
    }
    syncFolder(target);
    return true;
}

} // namespace plugincore
