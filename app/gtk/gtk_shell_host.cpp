#include "app/gtk/gtk_shell_host.h"

#include <unistd.h>

#include <memory>
#include <vector>

#include "app/gtk/pdf_renderer.h"

namespace ddd::app {
namespace {

std::string runChooser(GtkFileChooserNative* chooser) {
    std::string path;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
        if (chosen) path = chosen;
        g_free(chosen);
    }
    g_object_unref(chooser);
    return path;
}

bool endsWithPdf(const std::string& path) {
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail) c = static_cast<char>(g_ascii_tolower(c));
    return tail == ".pdf";
}

// Opens the folder of the file when no file manager offers to select it.
void openContainingFolder(const std::string& path) {
    GFile* file = g_file_new_for_path(path.c_str());
    GFile* folder = g_file_get_parent(file);
    if (folder) {
        gchar* uri = g_file_get_uri(folder);
        GError* error = nullptr;
        if (!g_app_info_launch_default_for_uri(uri, nullptr, &error)) {
            diagLog(std::string("reveal failed: ") + (error ? error->message : "unknown error"));
        }
        if (error) g_error_free(error);
        g_free(uri);
        g_object_unref(folder);
    }
    g_object_unref(file);
}

// An id under which the finder's window announces itself: the desktop shows the launch and lets
// the window take the focus the user's click asked for.
std::string startupNotifyId(const std::string& exePath) {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return "";
    GAppInfo* info = g_app_info_create_from_commandline(exePath.c_str(), "Fahrerermittlung", G_APP_INFO_CREATE_NONE, nullptr);
    if (!info) return "";
    GdkAppLaunchContext* context = gdk_display_get_app_launch_context(display);
    gdk_app_launch_context_set_timestamp(context, gtk_get_current_event_time());
    gchar* id = g_app_launch_context_get_startup_notify_id(G_APP_LAUNCH_CONTEXT(context), info, nullptr);
    std::string text = id ? id : "";
    g_free(id);
    g_object_unref(context);
    g_object_unref(info);
    return text;
}

}  // namespace

std::string GtkShellHost::chooseDddFile() {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new("Datei öffnen", parentWindow(), GTK_FILE_CHOOSER_ACTION_OPEN, "Öffnen", "Abbrechen");
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Fahrtenschreiber-Downloads (.ddd)");
    // Every letter case of the extension, as the archive sync and the folder walks accept.
    gtk_file_filter_add_pattern(filter, "*.[dD][dD][dD]");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), FALSE);
    return runChooser(chooser);
}

std::string GtkShellHost::chooseFolder(const std::string& message, const std::string& prompt) {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(message.empty() ? "Ordner wählen" : message.c_str(), parentWindow(),
                                                                GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                                prompt.empty() ? "Auswählen" : prompt.c_str(), "Abbrechen");
    gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(chooser), TRUE);
    return runChooser(chooser);
}

std::string GtkShellHost::chooseSavePath(const std::string& suggestedName) {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new("Sichern", parentWindow(), GTK_FILE_CHOOSER_ACTION_SAVE, "Sichern", "Abbrechen");
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), suggestedName.c_str());
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(chooser), TRUE);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "PDF");
    gtk_file_filter_add_pattern(filter, "*.[pP][dD][fF]");
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    std::string path = runChooser(chooser);
    // The only allowed type is PDF, so a name typed without it gets the extension.
    if (!path.empty() && !endsWithPdf(path)) path += ".pdf";
    return path;
}

void GtkShellHost::revealInFinder(const std::string& path) {
    if (path.empty()) return;
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        if (error) g_error_free(error);
        openContainingFolder(path);
        return;
    }
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    const gchar* uris[] = {uri ? uri : "", nullptr};
    // Asynchronous, so a slow or absent file manager never blocks the window.
    g_dbus_connection_call(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1", "ShowItems",
                           g_variant_new("(^ass)", uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr,
                           +[](GObject* source, GAsyncResult* result, gpointer data) {
                               std::unique_ptr<std::string> path(static_cast<std::string*>(data));
                               GError* error = nullptr;
                               GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
                               if (reply) {
                                   g_variant_unref(reply);
                                   return;
                               }
                               g_error_free(error);
                               openContainingFolder(*path);
                           },
                           new std::string(path));
    g_free(uri);
    g_object_unref(bus);
}

GtkShellHost::GtkShellHost(std::string exePath) : exePath_(std::move(exePath)), standby_(exePath_) {
    standby_.onLost([this](const std::string& scanFolder, const std::string& startupId) { spawnFinder(scanFolder, startupId); });
}

void GtkShellHost::launchFinder(const std::string& scanFolder) {
    const std::string startupId = startupNotifyId(exePath_);
    if (!standby_.handOver(scanFolder, startupId)) spawnFinder(scanFolder, startupId);
}

void GtkShellHost::spawnFinder(const std::string& scanFolder, const std::string& startupId) {
    std::vector<gchar*> argv{const_cast<gchar*>(exePath_.c_str()), const_cast<gchar*>("--finder")};
    if (!scanFolder.empty()) {
        argv.push_back(const_cast<gchar*>("--scan"));
        argv.push_back(const_cast<gchar*>(scanFolder.c_str()));
    }
    argv.push_back(nullptr);
    gchar** env = g_get_environ();
    if (!startupId.empty()) env = g_environ_setenv(env, "DESKTOP_STARTUP_ID", startupId.c_str(), TRUE);
    GError* error = nullptr;
    const bool spawned = g_spawn_async(nullptr, argv.data(), env, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
    g_strfreev(env);
    if (spawned) return;

    diagLog(std::string("launchFinder failed: ") + (error && error->message ? error->message : "unknown error"));
    if (error) g_error_free(error);
    GtkWidget* warning = gtk_message_dialog_new(parentWindow(), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s",
                                                "Fahrerermittlung konnte nicht geöffnet werden.");
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(warning), "%s",
                                             "Das Fenster konnte nicht gestartet werden. Bitte starten Sie die App neu und versuchen Sie es erneut.");
    gtk_dialog_run(GTK_DIALOG(warning));
    gtk_widget_destroy(warning);
}

void GtkShellHost::renderReportPdfAsync(const std::string& callId, const std::string& html, const std::string& outPath) {
    renderPdfAsync(html, outPath, [this, callId](bool ok) {
        if (view_) view_->resolve(callId, ok ? 0 : 1, ok ? "true" : "false");
    });
}

void GtkShellHost::renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done) {
    ::ddd::app::renderPdfAsync(html, outPath, std::move(done));
}

void GtkShellHost::evaluateScript(const std::string& script, std::function<void(std::string)> done) {
    if (!view_) {
        done("");
        return;
    }
    view_->evaluate(script, std::move(done));
}

std::string runningExecutable(const char* argv0) {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length > 0) return std::string(buffer.data(), static_cast<std::size_t>(length));
    return argv0 ? argv0 : "";
}

}  // namespace ddd::app
