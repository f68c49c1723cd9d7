// The window tests' view of the X server as a window manager has it: top-level windows found by
// title and closed the way a user closes them. Apart from the tests, as Xlib's macros clash with
// names elsewhere.
#pragma once

#include <string>

namespace ddd::test {

class X11Windows {
public:
    X11Windows() = default;
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    bool open();
    // The top-level window with this title (_NET_WM_NAME), or 0.
    unsigned long find(const std::string& title);
    // Sends WM_DELETE_WINDOW, as a window manager does when the user closes the window.
    void close(unsigned long window);

private:
    void* display_ = nullptr;
};

}  // namespace ddd::test
