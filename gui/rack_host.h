// What the rack and its preset bar need from the window they live in.
#pragma once

namespace norvale {

struct RackHost {
    // The input focus, for a text entry opened by a click; true when held.
    virtual bool takeKeyboard() = 0;
    virtual void releaseKeyboard() = 0;
    virtual ~RackHost() = default;
};

// An editor painted off-screen has nothing to type into.
struct NoKeyboard final : RackHost {
    bool takeKeyboard() override { return false; }
    void releaseKeyboard() override {}
};

} // namespace norvale
