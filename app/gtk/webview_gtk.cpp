#include "app/gtk/webview_gtk.h"

#include <exception>
#include <utility>

#include "app/bridge_text.h"

namespace ddd::app {
namespace {

constexpr const char* kMessageChannel = "__ddd__";

// The page's half of the calling convention: every bound name becomes a function that posts
// {id, name, request} and returns a promise, settled when native code evaluates reply().
constexpr const char* kBridgeScript = R"JS((function(){
if (window.__ddd__) return;
var pending = {};
var next = 0;
function call(name, args) {
  return new Promise(function(resolve, reject) {
    var id = String(++next);
    pending[id] = {resolve: resolve, reject: reject};
    window.webkit.messageHandlers.__ddd__.postMessage({id: id, name: name, request: JSON.stringify(args)});
  });
}
window.__ddd__ = {
  bind: function(name) {
    window[name] = function() { return call(name, Array.prototype.slice.call(arguments)); };
  },
  reply: function(id, status, text) {
    var p = pending[id];
    if (!p) return;
    delete pending[id];
    var value;
    if (text !== '') {
      try { value = JSON.parse(text); }
      catch (e) { p.reject(new Error('Failed to parse binding result as JSON')); return; }
    }
    if (status === 0) p.resolve(value); else p.reject(value);
  }
};
})();)JS";

void addUserScript(WebKitUserContentManager* content, const std::string& source) {
    WebKitUserScript* script = webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
}

// The text of a string value; empty for anything else.
std::string stringOf(JSCValue* value) {
    std::string text;
    if (value && jsc_value_is_string(value)) {
        gchar* raw = jsc_value_to_string(value);
        text = raw;
        g_free(raw);
    }
    return text;
}

std::string stringProperty(JSCValue* object, const char* name) {
    JSCValue* value = jsc_value_object_get_property(object, name);
    const std::string text = stringOf(value);
    if (value) g_object_unref(value);
    return text;
}

std::string bindScript(const std::string& name) {
    return "window.__ddd__&&window.__ddd__.bind(" + jsonQuote(name) + ");";
}

}  // namespace

struct DddWebView::DispatchedTask {
    DddWebView* owner;
    guint source;
    std::function<void()> task;
};

DddWebView::DddWebView(GtkApplication* application, WebKitWebContext* context, bool shown) : mainThread_(std::this_thread::get_id()) {
    window_ = application ? GTK_WINDOW(gtk_application_window_new(application)) : GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    content_ = webkit_user_content_manager_new();
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", content_, "web-context",
                                         context ? context : webkit_web_context_get_default(), nullptr));

    WebKitSettings* settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_javascript_can_access_clipboard(settings, TRUE);

    g_signal_connect(content_, (std::string("script-message-received::") + kMessageChannel).c_str(),
                     G_CALLBACK(+[](WebKitUserContentManager*, WebKitJavascriptResult* message, gpointer self) {
                         static_cast<DddWebView*>(self)->onScriptMessage(message);
                     }),
                     this);
    webkit_user_content_manager_register_script_message_handler(content_, kMessageChannel);
    addUserScript(content_, kBridgeScript);

    g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) { static_cast<DddWebView*>(self)->onWindowDestroyed(); }),
                     this);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    gtk_widget_grab_focus(GTK_WIDGET(view_));
    gtk_widget_show_all(shown ? GTK_WIDGET(window_) : GTK_WIDGET(view_));
}

DddWebView::~DddWebView() {
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        for (const guint source : pendingSources_) g_source_remove(source);
        pendingSources_.clear();
    }
    if (window_) {
        g_signal_handlers_disconnect_by_data(window_, this);
        gtk_widget_destroy(GTK_WIDGET(window_));
        window_ = nullptr;
    }
    g_signal_handlers_disconnect_by_data(content_, this);
    g_object_unref(content_);
    if (loop_) g_main_loop_unref(loop_);
}

void DddWebView::addBinding(const std::string& name, Binding binding) {
    bindings_[name] = std::move(binding);
    addUserScript(content_, bindScript(name));
    eval(bindScript(name));
}

void DddWebView::bind(const std::string& name, SyncFunction function) { addBinding(name, Binding{std::move(function), nullptr}); }

void DddWebView::bindAsync(const std::string& name, AsyncFunction function) { addBinding(name, Binding{nullptr, std::move(function)}); }

void DddWebView::onScriptMessage(WebKitJavascriptResult* message) {
    JSCValue* value = webkit_javascript_result_get_js_value(message);
    if (!value || !jsc_value_is_object(value)) return;
    const std::string id = stringProperty(value, "id");
    const std::string name = stringProperty(value, "name");
    const std::string request = stringProperty(value, "request");
    if (id.empty()) return;

    const auto found = bindings_.find(name);
    if (found == bindings_.end()) {
        resolve(id, 1, jsonQuote("no native function named " + name));
        return;
    }
    // Copies, so that a function may rebind its own name while it runs.
    const Binding binding = found->second;
    try {
        if (binding.sync) resolve(id, 0, binding.sync(request));
        else binding.async(id, request);
    } catch (const std::exception& error) {
        resolve(id, 1, jsonQuote(error.what()));
    } catch (...) {
        resolve(id, 1, jsonQuote("native function failed"));
    }
}

void DddWebView::resolve(const std::string& callId, int status, const std::string& result) {
    const std::string script = "window.__ddd__&&window.__ddd__.reply(" + jsonQuote(callId) + "," + std::to_string(status) + "," +
                               jsonQuote(result) + ");";
    eval(script);
}

void DddWebView::init(const std::string& script) { addUserScript(content_, script); }

void DddWebView::eval(const std::string& script) {
    if (std::this_thread::get_id() == mainThread_) {
        evalOnMainThread(script);
        return;
    }
    dispatch([this, script] { evalOnMainThread(script); });
}

void DddWebView::evalOnMainThread(const std::string& script) {
    if (!view_) return;
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr, nullptr,
                                        nullptr);
}

void DddWebView::evaluate(const std::string& script, std::function<void(std::string)> done) {
    if (!view_) {
        done("");
        return;
    }
    auto* callback = new std::function<void(std::string)>(std::move(done));
    webkit_web_view_evaluate_javascript(
        view_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::function<void(std::string)>> done(static_cast<std::function<void(std::string)>*>(data));
            GError* error = nullptr;
            JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
            const std::string text = stringOf(value);
            if (value) g_object_unref(value);
            if (error) g_error_free(error);
            (*done)(text);
        },
        callback);
}

void DddWebView::setHtml(const std::string& html) {
    if (view_) webkit_web_view_load_html(view_, html.c_str(), nullptr);
}

void DddWebView::setTitle(const std::string& title) {
    if (window_) gtk_window_set_title(window_, title.c_str());
}

void DddWebView::setSize(int width, int height, SizeHint hint) {
    if (!window_) return;
    if (hint == SizeHint::Fixed) {
        gtk_window_set_resizable(window_, FALSE);
        gtk_widget_set_size_request(GTK_WIDGET(window_), width, height);
        return;
    }
    gtk_window_set_resizable(window_, TRUE);
    if (hint == SizeHint::None) {
        gtk_window_set_default_size(window_, width, height);
        gtk_window_resize(window_, width, height);
        return;
    }
    GdkGeometry geometry{};
    geometry.min_width = geometry.max_width = width;
    geometry.min_height = geometry.max_height = height;
    gtk_window_set_geometry_hints(window_, nullptr, &geometry, hint == SizeHint::Min ? GDK_HINT_MIN_SIZE : GDK_HINT_MAX_SIZE);
}

void DddWebView::dispatch(std::function<void()> task) {
    auto* dispatched = new DispatchedTask{this, 0, std::move(task)};
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_HIGH_IDLE);
    g_source_set_callback(source, &DddWebView::runDispatched, dispatched, &DddWebView::freeDispatched);
    {
        // Held across the attach, so the task cannot run and unregister before it is registered.
        std::lock_guard<std::mutex> lock(pendingMutex_);
        dispatched->source = g_source_attach(source, nullptr);
        pendingSources_.insert(dispatched->source);
    }
    g_source_unref(source);
}

gboolean DddWebView::runDispatched(gpointer data) {
    auto* dispatched = static_cast<DispatchedTask*>(data);
    {
        std::lock_guard<std::mutex> lock(dispatched->owner->pendingMutex_);
        dispatched->owner->pendingSources_.erase(dispatched->source);
    }
    dispatched->task();
    return G_SOURCE_REMOVE;
}

void DddWebView::freeDispatched(gpointer data) { delete static_cast<DispatchedTask*>(data); }

void DddWebView::run() {
    if (terminated_ || !window_) return;
    if (!loop_) loop_ = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop_);
}

void DddWebView::terminate() {
    terminated_ = true;
    if (loop_) g_main_loop_quit(loop_);
}

void DddWebView::onWindowDestroyed() {
    window_ = nullptr;
    view_ = nullptr;
    terminate();
}

}  // namespace ddd::app
