// The editor view under a fake frame and run loop, on an Xvfb display. The
// plug-in's "clap.gui" arrives separately; until it does these skip.
#include <gtest/gtest.h>

#include <pluginterfaces/gui/iplugviewcontentscalesupport.h>

#include "gui/window_spec.h"
#include "vst3/vst3_host.h"

#include <pluginterfaces/vst/ivstcontextmenu.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <vector>
#undef None
#undef Bool

namespace vst3host {
namespace {

int gXErrors = 0;

// Timers fire only when a test calls fire(), so ticks are under its control.
struct RunLoop : Linux::IRunLoop, FObject {
    int timers = 0;
    bool refuses = false; // a loop that takes neither timers nor descriptors
    std::vector<Linux::ITimerHandler*> handlers;
    using Handler = Linux::IEventHandler;
    tresult PLUGIN_API registerEventHandler(Handler*, int) override {
        return refuses ? kResultFalse : kResultOk;
    }
    tresult PLUGIN_API unregisterEventHandler(Handler*) override { return kResultOk; }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, uint64) override {
        if (refuses) return kResultFalse;
        handlers.push_back(handler);
        return ++timers, kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override {
        std::erase(handlers, handler);
        return --timers, kResultOk;
    }
    void fire() {
        for (auto* handler : std::vector(handlers))
            handler->onTimer();
    }
    OBJ_METHODS(RunLoop, FObject)
    REFCOUNT_METHODS(FObject)
    DEFINE_INTERFACES DEF_INTERFACE(Linux::IRunLoop) END_DEFINE_INTERFACES(FObject)
};

struct Frame : IPlugFrame, FObject {
    IPtr<RunLoop> loop;
    tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* rect) override {
        return view->onSize(rect);
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (loop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid))
            return loop->queryInterface(iid, obj);
        QUERY_INTERFACE(iid, obj, IPlugFrame::iid, IPlugFrame)
        return FObject::queryInterface(iid, obj);
    }
    REFCOUNT_METHODS(FObject)
};

// A host's menu: an entry (tag 7), a separator, a checked entry; logs "x<tag> ".
struct HostMenu : IContextMenu, IContextMenuTarget, FObject {
    std::string& log;
    explicit HostMenu(std::string& log) : log(log) {}
    int32 PLUGIN_API getItemCount() override { return 3; }
    tresult PLUGIN_API getItem(int32 index, Item& item, IContextMenuTarget** target) override {
        const int32 flags[] = {0, Item::kIsSeparator, Item::kIsChecked};
        item = {{}, 7 + index, flags[index % 3]};
        return addRef(), *target = this, kResultOk;
    }
    tresult PLUGIN_API addItem(const Item&, IContextMenuTarget*) override { return kResultOk; }
    tresult PLUGIN_API removeItem(const Item&, IContextMenuTarget*) override { return kResultOk; }
    tresult PLUGIN_API popup(UCoord, UCoord) override { return kResultFalse; }
    tresult PLUGIN_API executeMenuItem(int32 tag) override {
        return log += "x" + std::to_string(tag) + ' ', kResultOk;
    }
    OBJ_METHODS(HostMenu, FObject)
    REFCOUNT_METHODS(FObject)
    DEFINE_INTERFACES DEF_INTERFACE(IContextMenu) END_DEFINE_INTERFACES(FObject)
};

// Logs the controller's edits ("b0 p0 e0 ") and menus asked for ("m0 ").
struct Edits : Local<IComponentHandler>, IComponentHandler3 {
    std::string log;
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        QUERY_INTERFACE(iid, obj, IComponentHandler3::iid, IComponentHandler3)
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
    IContextMenu* PLUGIN_API createContextMenu(IPlugView*, const ParamID* id) override {
        return log += "m" + std::to_string(*id) + ' ', new HostMenu(log);
    }
    tresult note(char kind, ParamID id) {
        log += kind + std::to_string(id) + ' ';
        return kResultOk;
    }
    tresult PLUGIN_API beginEdit(ParamID id) override { return note('b', id); }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue) override { return note('p', id); }
    tresult PLUGIN_API endEdit(ParamID id) override { return note('e', id); }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
};

class View : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(instance.component);
        view = owned(instance.controller->createView(ViewType::kEditor));
        if (!view) GTEST_SKIP() << "the plug-in offers no \"clap.gui\" yet";
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "run under xvfb-run -a";
        XSetErrorHandler([](Display*, XErrorEvent*) { return ++gXErrors, 0; });
        frame->loop = owned(new RunLoop());
    }
    void TearDown() override {
        if (display != nullptr) XCloseDisplay(display);
    }
    void* parent(Window* made = nullptr) {
        Window w =
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1280, 1000, 0, 0, 0);
        XSync(display, False); // the editor's own connection must see it
        return made != nullptr ? reinterpret_cast<void*>(*made = w) : reinterpret_cast<void*>(w);
    }

    Instance instance;
    IPtr<IPlugView> view;
    IPtr<Frame> frame = owned(new Frame());
    Display* display = nullptr;
};

TEST_F(View, RemovedThenParentDestroyedGivesNoXErrorAndReattaches) {
    ASSERT_EQ(view->setFrame(frame), kResultOk);
    for (int round = 0; round < 2; ++round) {
        Window host = 0;
        ASSERT_EQ(view->attached(parent(&host), kPlatformTypeX11EmbedWindowID), kResultOk);
        EXPECT_GT(frame->loop->timers, 0);
        ASSERT_EQ(view->removed(), kResultOk);
        XDestroyWindow(display, host);
        XSync(display, False);
        EXPECT_EQ(gXErrors, 0);
    }
    EXPECT_EQ(instance.controller->createView(ViewType::kEditor), nullptr); // one at a time
}

// Without a run loop that clocks it there is no editor, and the user is told
// why: a VST 3 host has no log, so on standard error.
TEST_F(View, FrameWithoutAWorkingRunLoopMakesAttachFail) {
    for (const bool loopRefuses : {false, true}) {
        frame->loop = loopRefuses ? owned(new RunLoop()) : nullptr;
        if (loopRefuses) frame->loop->refuses = true;
        ASSERT_EQ(view->setFrame(frame), kResultOk);
        testing::internal::CaptureStderr();
        EXPECT_NE(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("no editor"), std::string::npos)
            << loopRefuses;
    }
}

TEST_F(View, TerminateWhileTheHostHoldsTheView) {
    ASSERT_EQ(view->setFrame(frame), kResultOk);
    ASSERT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
    instance.component->terminate();
    EXPECT_EQ(view->removed(), kResultFalse);
    view->setFrame(nullptr);
    view = nullptr;
    instance.component = nullptr;
}

// A knob drag and a typed value (the X keys reach the entry its click opened)
// reach the host as begin, perform, end; a size off the aspect is taken whole,
// while the constraint answers the aspect.
TEST_F(View, EditsReachTheHostAndAnySizeIsTaken) {
    static Edits edits; // outlives the controller even if an assertion ends the test
    edits.log.clear();
    ASSERT_EQ(instance.controller->setComponentHandler(&edits), kResultOk);
    ASSERT_EQ(view->setFrame(frame), kResultOk);
    Window host = 0;
    XMapWindow(display, reinterpret_cast<Window>(parent(&host)));
    XSync(display, False);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(host), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    const auto pump = [&] {
        for (int i = 0; i < 4; ++i) {
            XSync(display, False);
            usleep(5000);
            frame->loop->fire();
        }
    };
    // A press, a drag up by rise, the release, then keys.
    const auto input = [&](int x, int y, int rise, std::vector<KeySym> keys) {
        XTestFakeMotionEvent(display, 0, x, y, CurrentTime);
        pump();
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        pump();
        XTestFakeMotionEvent(display, 0, x, y - rise, CurrentTime);
        pump();
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        for (KeySym key : keys)
            for (bool down : {true, false})
                XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), down, CurrentTime);
        pump();
    };
    pump();
    // The "mix" knob, first control of the GLOBAL panel at scale 1, and its value box.
    const int x = 24 + 42, y = 482 + 46;
    input(x, y, 40, {});
    input(x, y + 39, 0, {XK_5, XK_Return});
    EXPECT_TRUE(std::regex_match(edits.log, std::regex("b0 (p0 )+e0 b0 p0 e0 "))) << edits.log;

    // The first host item lies below our two entries and a separator.
    edits.log.clear();
    for (const auto& [cx, cy, button] : {std::tuple{x, y, 3u}, {x + 60, y + 4 + 40 + 9 + 10, 1u}}) {
        XTestFakeMotionEvent(display, 0, cx, cy, CurrentTime);
        pump();
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
        pump();
    }
    EXPECT_EQ(edits.log, "m0 x7 ");
    ViewRect off(0, 0, 1000, 800), asked = off;
    EXPECT_EQ(view->canResize(), kResultTrue);
    EXPECT_EQ(view->checkSizeConstraint(&asked), kResultTrue);
    EXPECT_EQ(std::pair(asked.getWidth(), asked.getHeight()), std::pair(1000, 559));
    EXPECT_EQ(view->onSize(&off), kResultOk);
    pump();
    Window root, up, *children = nullptr;
    unsigned n = 0, width = 0, height = 0, border, depth;
    int left, top;
    XQueryTree(display, host, &root, &up, &children, &n);
    ASSERT_EQ(n, 1u);
    XGetGeometry(display, children[0], &root, &left, &top, &width, &height, &border, &depth);
    XFree(children);
    EXPECT_EQ(std::pair(width, height), std::pair(1000u, 800u));
    EXPECT_EQ(view->removed(), kResultOk);
    instance.controller->setComponentHandler(nullptr);
}

// Run once per virtual screen (tests/vst3.cmake): it opens at a zoom that fits
// with a title bar, and a host may shrink it to every smaller zoom.
TEST_F(View, FirstOpenFitsTheScreenAndShrinksToTheSmallestZoom) {
    const int screenW = DisplayWidth(display, 0), screenH = DisplayHeight(display, 0);
    const std::vector<double> fitting = screenH == 768 ? std::vector{0.75, 0.9} : std::vector{1.0};
    const auto sized = [](double z) {
        return ViewRect(0, 0, int32((norvale::kWindowSpec.width + 32) * z + 0.5),
                        int32(norvale::kWindowSpec.height * z + 0.5));
    };
    ASSERT_EQ(view->setFrame(frame), kResultOk);
    // Ardour says 1 before every open: the ordinary density, no size.
    ASSERT_EQ(FUnknownPtr<IPlugViewContentScaleSupport>(view)->setContentScaleFactor(1), kResultOk);
    ASSERT_EQ(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
    ViewRect now, checked;
    ASSERT_EQ(view->getSize(&now), kResultOk);
    EXPECT_TRUE(std::any_of(fitting.begin(), fitting.end(),
                            [&](double z) {
                                return now.getWidth() == sized(z).getWidth() &&
                                       now.getHeight() == sized(z).getHeight();
                            }))
        << now.getWidth() << "x" << now.getHeight() << " on " << screenW << "x" << screenH;
    EXPECT_TRUE(now.getWidth() <= screenW && now.getHeight() + 30 <= screenH);
    for (double z : norvale::kZoomSteps) {
        ViewRect wanted = sized(z);
        ASSERT_EQ(view->checkSizeConstraint(&(checked = wanted)), kResultTrue) << z;
        ASSERT_EQ(view->onSize(&wanted), kResultOk) << z;
        ASSERT_EQ(view->getSize(&now), kResultOk);
        EXPECT_TRUE(checked.getWidth() == wanted.getWidth() &&
                    now.getWidth() == wanted.getWidth() && now.getHeight() == wanted.getHeight())
            << z;
    }
    EXPECT_EQ(view->removed(), kResultOk);
}

} // namespace
} // namespace vst3host
