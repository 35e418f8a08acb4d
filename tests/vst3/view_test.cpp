// The editor view under a fake frame and run loop, on an Xvfb display. The
// plug-in's "clap.gui" arrives separately; until it does these skip.
#include <gtest/gtest.h>

#include "vst3/vst3_host.h"

#include <X11/Xlib.h>
#undef None
#undef Bool

namespace vst3host {
namespace {

int gXErrors = 0;

struct RunLoop : Linux::IRunLoop, FObject {
    int timers = 0;
    using Handler = Linux::IEventHandler;
    tresult PLUGIN_API registerEventHandler(Handler*, int) override { return kResultOk; }
    tresult PLUGIN_API unregisterEventHandler(Handler*) override { return kResultOk; }
    tresult PLUGIN_API registerTimer(Linux::ITimerHandler*, uint64) override {
        return ++timers, kResultOk;
    }
    tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler*) override {
        return --timers, kResultOk;
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
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 600, 0, 0, 0);
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

TEST_F(View, FrameWithoutRunLoopMakesAttachFail) {
    frame->loop = nullptr;
    ASSERT_EQ(view->setFrame(frame), kResultOk);
    EXPECT_NE(view->attached(parent(), kPlatformTypeX11EmbedWindowID), kResultOk);
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

} // namespace
} // namespace vst3host
