#pragma once

#include <cstdint>

// Private window messages of the main frame (WM_APP = 0x8000).
enum : unsigned {
    TAVLO_WM_APP = 0x8000,
    TAVLO_WM_VIEWMESSAGE = TAVLO_WM_APP + 100, // a CTavloMessage*, deleted by the receiver
};

// The window that workers report to (the main frame). Send runs the handler on the window
// thread and returns its result after it ran; from the window thread itself it calls directly.
// Post queues the call and returns at once.
class CTavloWindow {
public:
    virtual ~CTavloWindow() = default;
    virtual intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
    virtual void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;
};
