#include "tests/gtk/x11_windows.h"

#include <X11/Xlib.h>

namespace ddd::test {
namespace {

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

}  // namespace

X11Windows::~X11Windows() {
    if (display_) XCloseDisplay(asDisplay(display_));
}

bool X11Windows::open() {
    // A window may go between listing and reading its title; Xlib's default handler would end the test.
    XSetErrorHandler(+[](Display*, XErrorEvent*) { return 0; });
    if (!display_) display_ = XOpenDisplay(nullptr);
    return display_ != nullptr;
}

unsigned long X11Windows::find(const std::string& title) {
    Display* display = asDisplay(display_);
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Window root = DefaultRootWindow(display);
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, children[i], netWmName, 0, 1024, False, utf8, &type, &format, &items, &after, &data) == Success && data) {
            if (title == reinterpret_cast<const char*>(data)) found = children[i];
            XFree(data);
        }
    }
    if (children) XFree(children);
    return found;
}

void X11Windows::close(unsigned long window) {
    Display* display = asDisplay(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

}  // namespace ddd::test
