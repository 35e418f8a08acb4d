// The editor driven as a host drives it, through a real X server: a build of
// the plug-in loaded from its .clap file, its window in a host window, a
// host timer ticking it every 33 ms, input sent with XTest, and the frames it
// presents seen through the X server's DAMAGE extension. Nothing here reads
// the editor's own counters, so any build can be compared with any other.
//
// Per case and scale it prints the editor's CPU time per painted frame
// (median and p95, thread CPU time of the tick), painted frames per second,
// the X server's CPU time per second (from /proc) and the time from the
// pointer's arrival to the present of the frame that answers it: ticked at
// once as if the timer were due ("timer"), or, where the host watches the X
// connection's descriptor, when that descriptor wakes the host ("fd"; the
// timer then fires at the start of each period, before the input).
//
//   editor_interaction_bench PLUGIN.clap XSERVER_PID [LABEL]
//
// scripts/editor-interaction-bench.sh starts the X server and runs it.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <clap/ext/gui.h>
#include <clap/ext/posix-fd-support.h>
#include <clap/ext/preset-load.h>
#include <clap/ext/timer-support.h>
#include <clap/factory/preset-discovery.h>

#include "tests/clap_host/test_host.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(33);
constexpr int kSteps = 200;

// Design-unit places of the current layout (with a module selected): the
// first knob of GLOBAL (mix), the knobs' row, and the curve graph.
constexpr double kMixX = 66, kKnobRowY = 592;
constexpr double kGraphX = 60, kGraphY = 112, kGraphW = 1346, kGraphH = 374;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double threadCpuMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// utime + stime of a process, in seconds.
double processCpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // After the command's closing parenthesis: field 3 (the state) onwards;
    // utime and stime are fields 14 and 15.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i >= 14) ticks += std::stod(field);
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double percentile(std::vector<double> v, double q) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

struct Result {
    std::vector<double> cpu, latency;
    double seconds = 0, serverSeconds = 0;
};

class Bench {
public:
    Bench(const char* path, int serverPid, double scale, bool watchFds)
        : host_(true, watchFds), module_(path), serverPid_(serverPid), scale_(scale) {}

    bool open() {
        if (dpy_ == nullptr || !module_.ok()) return false;
        int event, error, major, minor;
        if (!XTestQueryExtension(dpy_, &event, &error, &major, &minor) ||
            !XDamageQueryExtension(dpy_, &damageEvent_, &error))
            return false;
        parent_ = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 2900, 1800, 0, 0, 0);
        XMapWindow(dpy_, parent_);
        XSync(dpy_, False);
        instance_ = std::make_unique<claphost::Instance>(module_, host_);
        const clap_plugin_t* p = instance_->plugin();
        if (p == nullptr || !instance_->activate()) return false;
        auto* load = static_cast<const clap_plugin_preset_load_t*>(
            instance_->extension(CLAP_EXT_PRESET_LOAD));
        if (load == nullptr || !load->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN,
                                                    nullptr, "filter_wobble"))
            return false;
        gui_ = static_cast<const clap_plugin_gui_t*>(instance_->extension(CLAP_EXT_GUI));
        timer_ = static_cast<const clap_plugin_timer_support_t*>(
            instance_->extension(CLAP_EXT_TIMER_SUPPORT));
        fds_ = static_cast<const clap_plugin_posix_fd_support_t*>(
            instance_->extension(CLAP_EXT_POSIX_FD_SUPPORT));
        const clap_window_t window{CLAP_WINDOW_API_X11, {.x11 = parent_}};
        if (gui_ == nullptr || timer_ == nullptr || !gui_->create(p, CLAP_WINDOW_API_X11, false) ||
            !gui_->set_scale(p, scale_) || !gui_->set_parent(p, &window) || !gui_->show(p) ||
            host_.timers.empty() || (host_.offerFds && (fds_ == nullptr || host_.fds.empty())))
            return false;
        Window root, up, *children = nullptr;
        unsigned count = 0;
        XQueryTree(dpy_, parent_, &root, &up, &children, &count);
        if (count == 0) return false;
        damage_ = XDamageCreate(dpy_, children[0], XDamageReportNonEmpty);
        XFree(children);
        for (int i = 0; i < 10; ++i)
            step(nullptr, false);
        return true;
    }

    ~Bench() {
        if (instance_ && gui_ != nullptr) gui_->destroy(instance_->plugin());
        instance_.reset();
        if (dpy_ != nullptr) XCloseDisplay(dpy_);
    }

    // Pointer in design units.
    void move(double x, double y) {
        XTestFakeMotionEvent(dpy_, 0, int(x * scale_), int(y * scale_), CurrentTime);
    }
    void button(bool down) { XTestFakeButtonEvent(dpy_, 1, down, CurrentTime); }

    // One clock period: the input, the host's tick, the audio, then waiting
    // for the present until the next period starts.
    Result run(int steps, const std::function<void(int)>& act, bool audio) {
        Result r;
        const double server0 = processCpuSeconds(serverPid_);
        const auto start = Clock::now();
        next_ = start;
        for (int i = 0; i < steps; ++i)
            step([&] { act(i); }, audio, &r);
        r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        r.serverSeconds = processCpuSeconds(serverPid_) - server0;
        return r;
    }

private:
    void step(const std::function<void()>& act, bool audio, Result* r = nullptr) {
        next_ += kTick;
        // A present that came after its period still answers that period's
        // tick; a period without one painted nothing.
        XSync(dpy_, False);
        drain(r);
        waiting_ = false;
        XDamageSubtract(dpy_, damage_, None, None);
        const clap_plugin_t* p = instance_->plugin();
        const auto tick = [&](const std::function<void()>& call) {
            const double cpu0 = threadCpuMs();
            call();
            cpu_ = threadCpuMs() - cpu0;
        };
        const auto onTimer = [&] { timer_->on_timer(p, host_.timers.front()); };
        if (host_.offerFds) onTimer();
        if (act) act();
        XSync(dpy_, False); // the server has turned the input into events
        input_ = Clock::now();
        waiting_ = true;
        if (!host_.offerFds) tick(onTimer);
        if (audio) process();
        for (;;) {
            drain(r);
            const auto left = next_ - Clock::now();
            if (left <= Clock::duration::zero()) break;
            fd_set fds;
            FD_ZERO(&fds);
            int top = ConnectionNumber(dpy_);
            FD_SET(top, &fds);
            for (int fd : host_.fds)
                FD_SET(fd, &fds), top = std::max(top, fd);
            timeval wait{0,
                         long(std::chrono::duration_cast<std::chrono::microseconds>(left).count())};
            if (select(top + 1, &fds, nullptr, nullptr, &wait) <= 0) continue;
            for (int fd : std::vector(host_.fds))
                if (FD_ISSET(fd, &fds)) tick([&] { fds_->on_fd(p, fd, CLAP_POSIX_FD_READ); });
        }
        // A tick that overran a whole period is not caught up with, as a
        // host's timer would not; a late wake-up is.
        if (Clock::now() - next_ > kTick) next_ = Clock::now();
    }

    void drain(Result* r) {
        while (XPending(dpy_) > 0) {
            XEvent e;
            XNextEvent(dpy_, &e);
            if (e.type != damageEvent_ + XDamageNotify || !waiting_) continue;
            waiting_ = false;
            if (r == nullptr) continue;
            r->cpu.push_back(cpu_);
            r->latency.push_back(ms(Clock::now() - input_));
        }
    }

    // One period of audio with the transport's own clock: the scope moves.
    void process() {
        for (int half = 0; half < 2; ++half) {
            block_.fillInput(
                [](uint32_t i, int) { return 0.5f * std::sin(0.05f * static_cast<float>(i)); },
                frame_);
            block_.run(instance_->plugin());
            frame_ += block_.frames;
        }
    }

    claphost::TestHost host_;
    claphost::Module module_;
    std::unique_ptr<claphost::Instance> instance_;
    const clap_plugin_gui_t* gui_ = nullptr;
    const clap_plugin_timer_support_t* timer_ = nullptr;
    const clap_plugin_posix_fd_support_t* fds_ = nullptr;
    claphost::AudioBlock block_{800};
    uint32_t frame_ = 0;
    Display* dpy_ = XOpenDisplay(nullptr);
    Window parent_ = 0;
    Damage damage_ = 0;
    int damageEvent_ = 0;
    int serverPid_;
    double scale_;
    Clock::time_point next_, input_;
    double cpu_ = 0;       // the last tick's CPU time
    bool waiting_ = false; // for the last tick's present
};

// 0 .. 1 .. 0 over a period of steps.
double triangle(int i, int period) {
    const double f = std::fmod(double(i) / period, 1.0);
    return 1 - std::fabs(2 * f - 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PLUGIN.clap XSERVER_PID [LABEL]\n", argv[0]);
        return 2;
    }
    const char* label = argc > 3 ? argv[3] : "editor";
    const int serverPid = std::atoi(argv[2]);
    struct Case {
        const char* name;
        int steps;
        bool audio;
        std::function<void(Bench&, int)> act;
    };
    const Case cases[] = {
        {"knob drag", kSteps, false,
         [](Bench& b, int i) {
             if (i == 0) b.move(kMixX, kKnobRowY), b.button(true);
             b.move(kMixX, kKnobRowY - 80 * triangle(i, 80));
             if (i == kSteps - 1) b.button(false);
         }},
        {"point drag", kSteps, false,
         [](Bench& b, int i) {
             const double x = kGraphX + kGraphW * (0.3 + 0.4 * triangle(i, 100));
             const double y = kGraphY + kGraphH * (0.5 - 0.3 * std::sin(i * 0.1));
             if (i == 0) b.move(kGraphX + kGraphW * 0.3, kGraphY + kGraphH * 0.5), b.button(true);
             b.move(x, y);
             if (i == kSteps - 1) b.button(false);
         }},
        {"hover sweep", kSteps, false,
         [](Bench& b, int i) { b.move(20 + 1390.0 * i / (kSteps - 1), kKnobRowY); }},
        {"idle, scope", int(10000 / kTick.count()), true, [](Bench&, int) {}},
    };
    std::printf("%-10s %-5s %5s %-12s %6s %6s %9s %9s %9s %9s %9s\n", "build", "tick", "scale",
                "case", "frames", "fps", "cpu med", "cpu p95", "X cpu %", "lat med", "lat p95");
    for (bool watchFds : {false, true})
        for (double scale : {1.0, 2.0})
            for (const Case& c : cases) {
                if (watchFds && c.audio) continue; // the timer paints the scope either way
                Bench bench(argv[1], serverPid, scale, watchFds);
                if (!bench.open()) {
                    std::fprintf(stderr, "cannot open the editor of %s at scale %g\n", argv[1],
                                 scale);
                    return 1;
                }
                const Result r = bench.run(
                    c.steps, [&](int i) { c.act(bench, i); }, c.audio);
                std::printf(
                    "%-10s %-5s %5g %-12s %6zu %6.1f %7.2fms %7.2fms %8.1f%% %7.1fms %7.1fms\n",
                    label, watchFds ? "fd" : "timer", scale, c.name, r.cpu.size(),
                    double(r.cpu.size()) / r.seconds, percentile(r.cpu, 0.5),
                    percentile(r.cpu, 0.95), 100 * r.serverSeconds / r.seconds,
                    percentile(r.latency, 0.5), percentile(r.latency, 0.95));
                std::fflush(stdout);
            }
    return 0;
}
