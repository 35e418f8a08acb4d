#include "render/staged_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include "render/errors.h"

namespace norvale::render {
namespace {

// Fixed storage: the signal handler may only make async-signal-safe calls.
constexpr int kSlots = 8;
char gPendingPaths[kSlots][PATH_MAX];
volatile std::sig_atomic_t gPendingUsed[kSlots];

extern "C" void removePendingAndReraise(int signal) {
    for (int i = 0; i < kSlots; ++i)
        if (gPendingUsed[i]) unlink(gPendingPaths[i]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void installInterruptCleanup() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, removePendingAndReraise);
}

int registerPending(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    installInterruptCleanup();
    for (int i = 0; i < kSlots; ++i) {
        if (gPendingUsed[i]) continue;
        std::memcpy(gPendingPaths[i], path.c_str(), path.size() + 1);
        gPendingUsed[i] = 1;
        return i;
    }
    return -1;
}

void unregisterPending(int slot) {
    if (slot >= 0) gPendingUsed[slot] = 0;
}

// The mode a new file gets from the umask, or the mode of the file replaced.
mode_t modeFor(const std::string& target) {
    struct stat existing{};
    if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

StagedFile::StagedFile(const std::string& target) : target_(target) {
    namespace fs = std::filesystem;
    const fs::path path(target);
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0)
        throw RenderError(fmt::format("cannot write '{}': {}", target, std::strerror(errno)));
    temporary_ = pattern;
    slot_ = registerPending(temporary_);
    fchmod(fd_, modeFor(target));
}

StagedFile::~StagedFile() {
    if (fd_ >= 0) close(fd_);
    if (!committed_) unlink(temporary_.c_str());
    unregisterPending(slot_);
}

void StagedFile::writeAll(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw RenderError(fmt::format("cannot write '{}': {}", target_, std::strerror(errno)));
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void StagedFile::commit() {
    const int closed = close(fd_);
    fd_ = -1;
    if (closed != 0 || rename(temporary_.c_str(), target_.c_str()) != 0)
        throw RenderError(fmt::format("cannot write '{}': {}", target_, std::strerror(errno)));
    committed_ = true;
    unregisterPending(slot_);
    slot_ = -1;
}

}  // namespace norvale::render
