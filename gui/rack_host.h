// What the rack and its preset bar need from the window they live in.
#pragma once

namespace norvale {

struct RackHost {
    // The input focus, for a text entry opened by a click; true when held.
    virtual bool takeKeyboard() = 0;
    virtual void releaseKeyboard() = 0;
    // The zoom the user picked (a step of kZoomSteps), or 0 to follow the host.
    virtual double zoomChoice() const { return 0; }
    virtual void chooseZoom(double /*zoom*/) {}
    virtual ~RackHost() = default;
};

// An editor painted off-screen has nothing to type into.
struct NoKeyboard final : RackHost {
    bool takeKeyboard() override { return false; }
    void releaseKeyboard() override {}
};

} // namespace norvale
