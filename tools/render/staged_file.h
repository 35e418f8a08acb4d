// A file written under a temporary name in its target's folder and renamed
// into place only by commit, so a failed run leaves the target untouched.
// Temporary files are also removed when the program is interrupted.
#pragma once

#include <string>

namespace norvale::render {

class StagedFile {
public:
    explicit StagedFile(const std::string& target);  // throws RenderError
    ~StagedFile();  // removes the temporary file unless committed
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    int fd() const { return fd_; }
    const std::string& target() const { return target_; }

    void writeAll(const void* data, std::size_t size);  // throws RenderError
    void commit();  // throws RenderError

private:
    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    int slot_ = -1;  // entry in the interrupt clean-up list
    bool committed_ = false;
};

}  // namespace norvale::render
