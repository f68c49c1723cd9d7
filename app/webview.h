// The web view a window shows its page in, as the bridge code sees it: native functions that the
// page calls by name and answers through promises, scripts, and the hop to the main thread.
#pragma once

#include <functional>
#include <string>

namespace ddd::app {

enum class SizeHint { None, Min, Max, Fixed };

class WebView {
public:
    // Receives the JSON array of the call's arguments and returns the JSON result text.
    using SyncFunction = std::function<std::string(const std::string& request)>;
    // Receives the call id and the request; the call is answered later through resolve().
    using AsyncFunction = std::function<void(const std::string& callId, const std::string& request)>;

    virtual ~WebView() = default;

    // window.<name>(...) in every page loaded from now on, and in the current one.
    virtual void bind(const std::string& name, SyncFunction function) = 0;
    virtual void bindAsync(const std::string& name, AsyncFunction function) = 0;
    // Callable from any thread. Status 0 fulfils the page's promise with the parsed result, any
    // other status rejects it; an empty result is undefined, a result that is not JSON rejects.
    virtual void resolve(const std::string& callId, int status, const std::string& result) = 0;

    // Runs at the start of every page loaded from now on, before the page's own scripts.
    virtual void init(const std::string& script) = 0;
    virtual void eval(const std::string& script) = 0;
    virtual void setHtml(const std::string& html) = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual void setSize(int width, int height, SizeHint hint) = 0;

    // Runs the task on the main thread; callable from any thread.
    virtual void dispatch(std::function<void()> task) = 0;
    // The event loop, until the window closes or terminate() is called.
    virtual void run() = 0;
    virtual void terminate() = 0;
};

}  // namespace ddd::app
