// The adapter's place on the host's Linux run loop: an idle timer for the
// adapter's own main-thread work, and the timers and descriptors the plug-in
// registers through "clap.timer-support" and "clap.posix-fd-support". The
// loop comes from the host context, or else from the editor's frame while a
// view is attached; what is registered moves with it. Main thread only; the
// component serialises every call under its main lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <clap/ext/posix-fd-support.h>
#include <clap/id.h>
#include <pluginterfaces/base/smartpointer.h>
#include <pluginterfaces/gui/iplugview.h>

namespace norvale::vst3 {

// What the run loop calls back into.
class RunLoopSink {
public:
    virtual void onIdle() = 0;
    virtual void onTimer(clap_id id) = 0;
    virtual void onFd(int fd, clap_posix_fd_flags_t flags) = 0;

protected:
    ~RunLoopSink() = default;
};

class RunLoop {
public:
    explicit RunLoop(RunLoopSink& sink);
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // The host context's loop (null when it gives none): used from now on.
    void useContextLoop(Steinberg::Linux::IRunLoop* loop);
    // The frame's loop while a view is attached (null when it goes); it
    // stands in only when the host context gave none.
    void useViewLoop(Steinberg::Linux::IRunLoop* loop);
    // Leaves the loop and forgets every timer and descriptor.
    void clear();

    // Periods below 30 ms are raised to 30. False without a loop.
    bool registerTimer(uint32_t periodMs, clap_id* id);
    bool unregisterTimer(clap_id id);
    bool registerFd(int fd, clap_posix_fd_flags_t flags);
    bool modifyFd(int fd, clap_posix_fd_flags_t flags);
    bool unregisterFd(int fd);

private:
    class TimerHandler;
    struct Timer;
    struct FdWatch;
    void setLoop(Steinberg::Linux::IRunLoop* loop);

    RunLoopSink& sink_;
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> contextLoop_;
    Steinberg::IPtr<Steinberg::Linux::IRunLoop> loop_; // in use
    Steinberg::IPtr<TimerHandler> idle_;
    std::vector<std::unique_ptr<Timer>> timers_;
    std::vector<Steinberg::IPtr<FdWatch>> fds_;
};

} // namespace norvale::vst3
