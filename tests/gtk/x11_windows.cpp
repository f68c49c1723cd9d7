// The window tests' view of the X server as a window manager has it; apart from the tests, as
// Xlib's macros clash with names elsewhere.
#include <X11/Xlib.h>

#include <string>

namespace ddd::test {
namespace {

Display* display() {
    // A window may go between listing and reading its title; Xlib's default handler would end the test.
    static Display* const opened = (XSetErrorHandler(+[](Display*, XErrorEvent*) { return 0; }), XOpenDisplay(nullptr));
    return opened;
}

}  // namespace

unsigned long findTopLevelWindow(const std::string& title) {
    Display* x = display();
    Window root = DefaultRootWindow(x), parent = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(x, root, &root, &parent, &children, &count)) return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* name = nullptr;
        if (XGetWindowProperty(x, children[i], XInternAtom(x, "_NET_WM_NAME", False), 0, 1024, False, XInternAtom(x, "UTF8_STRING", False),
                               &type, &format, &items, &after, &name) == Success && name) {
            if (title == reinterpret_cast<const char*>(name)) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

void closeTopLevelWindow(unsigned long window) {
    Display* x = display();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, window, False, NoEventMask, &event);
    XFlush(x);
}

}  // namespace ddd::test
