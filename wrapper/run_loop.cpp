#include "wrapper/run_loop.h"

#include <algorithm>

#include <base/source/fobject.h>

namespace norvale::vst3 {

using namespace Steinberg;

namespace {

// The idle timer's period, and the shortest the plug-in gets: hosts' loops
// tick no faster.
constexpr uint32_t kMinPeriodMs = 30;
// CLAP timer ids handed out are 1000 + the slot.
constexpr clap_id kFirstTimerId = 1000;

} // namespace

class RunLoop::TimerHandler : public Linux::ITimerHandler, public FObject {
public:
    TimerHandler(RunLoopSink& sink, clap_id id) : sink_(sink), id_(id) {}
    void PLUGIN_API onTimer() override {
        if (id_ == CLAP_INVALID_ID)
            sink_.onIdle();
        else
            sink_.onTimer(id_);
    }
    OBJ_METHODS(TimerHandler, FObject)
    REFCOUNT_METHODS(FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Linux::ITimerHandler)
    END_DEFINE_INTERFACES(FObject)

private:
    RunLoopSink& sink_;
    clap_id id_;
};

struct RunLoop::Timer {
    uint32_t period = 0; // 0: free slot
    IPtr<TimerHandler> handler;
};

struct RunLoop::FdWatch : public Linux::IEventHandler, public FObject {
    FdWatch(RunLoopSink& sink, int fd, clap_posix_fd_flags_t flags)
        : sink(sink), fd(fd), flags(flags) {}
    void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override { sink.onFd(fd, flags); }
    OBJ_METHODS(FdWatch, FObject)
    REFCOUNT_METHODS(FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Linux::IEventHandler)
    END_DEFINE_INTERFACES(FObject)

    RunLoopSink& sink;
    int fd;
    clap_posix_fd_flags_t flags;
    bool attached = false;
};

RunLoop::RunLoop(RunLoopSink& sink) : sink_(sink) {}

RunLoop::~RunLoop() {
    clear();
}

void RunLoop::useContextLoop(Linux::IRunLoop* loop) {
    contextLoop_ = loop;
    setLoop(loop);
}

void RunLoop::useViewLoop(Linux::IRunLoop* loop) {
    if (!contextLoop_) setLoop(loop);
}

void RunLoop::clear() {
    setLoop(nullptr);
    contextLoop_ = nullptr;
    timers_.clear();
    fds_.clear();
}

void RunLoop::setLoop(Linux::IRunLoop* loop) {
    if (loop_.get() == loop) return;
    if (loop_) {
        if (idle_) loop_->unregisterTimer(idle_);
        for (auto& timer : timers_)
            if (timer->handler) loop_->unregisterTimer(timer->handler);
        for (auto& watch : fds_)
            if (watch->attached) loop_->unregisterEventHandler(watch.get());
        for (auto& watch : fds_)
            watch->attached = false;
    }
    loop_ = loop;
    if (!loop_) return;
    if (!idle_) idle_ = owned(new TimerHandler(sink_, CLAP_INVALID_ID));
    loop_->registerTimer(idle_, kMinPeriodMs);
    for (auto& timer : timers_)
        if (timer->period != 0) loop_->registerTimer(timer->handler, timer->period);
    for (auto& watch : fds_)
        watch->attached = loop_->registerEventHandler(watch.get(), watch->fd) == kResultOk;
}

bool RunLoop::registerTimer(uint32_t periodMs, clap_id* id) {
    if (id == nullptr || !loop_) return false;
    auto slot = std::find_if(timers_.begin(), timers_.end(),
                             [](const auto& timer) { return timer->period == 0; });
    if (slot == timers_.end()) slot = timers_.insert(timers_.end(), std::make_unique<Timer>());
    *id = kFirstTimerId + static_cast<clap_id>(slot - timers_.begin());
    (*slot)->period = std::max(periodMs, kMinPeriodMs);
    (*slot)->handler = owned(new TimerHandler(sink_, *id));
    return loop_->registerTimer((*slot)->handler, (*slot)->period) == kResultOk;
}

bool RunLoop::unregisterTimer(clap_id id) {
    if (id < kFirstTimerId || id - kFirstTimerId >= timers_.size() ||
        timers_[id - kFirstTimerId]->period == 0)
        return false;
    Timer& timer = *timers_[id - kFirstTimerId];
    if (loop_) loop_->unregisterTimer(timer.handler);
    timer.period = 0;
    timer.handler = nullptr;
    return true;
}

bool RunLoop::registerFd(int fd, clap_posix_fd_flags_t flags) {
    if (!loop_ || std::any_of(fds_.begin(), fds_.end(), [fd](auto& w) { return w->fd == fd; }))
        return false;
    IPtr<FdWatch> watch = owned(new FdWatch(sink_, fd, flags));
    watch->attached = loop_->registerEventHandler(watch.get(), fd) == kResultOk;
    if (!watch->attached) return false;
    fds_.push_back(std::move(watch));
    return true;
}

bool RunLoop::modifyFd(int fd, clap_posix_fd_flags_t flags) {
    for (auto& watch : fds_)
        if (watch->fd == fd) return (watch->flags = flags), true;
    return false;
}

bool RunLoop::unregisterFd(int fd) {
    const auto at = std::find_if(fds_.begin(), fds_.end(), [fd](auto& w) { return w->fd == fd; });
    if (at == fds_.end()) return false;
    if (loop_ && (*at)->attached) loop_->unregisterEventHandler(at->get());
    fds_.erase(at);
    return true;
}

} // namespace norvale::vst3
