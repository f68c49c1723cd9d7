// Helpers of the window tests: window pictures saved as test artifacts, the page's own faces
// loaded, and the desktop host with scripted dialogs; the main-loop helpers come with it.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <filesystem>
#include <string>

#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/webview_gtk.h"
#include "tests/app/bridge_test_host.h"
#include "tests/gtk/main_loop.h"

namespace ddd::test {

// The visible part of the web view as a PNG file in the artifact folder; true when it was written.
inline bool snapshotPng(app::DddWebView& view, const std::string& name) {
    const std::filesystem::path folder = DDD_GTK_ARTIFACTS;
    std::filesystem::create_directories(folder);
    struct Job {
        bool done = false, written = false;
        std::string path;
    } job{false, false, (folder / (name + ".png")).string()};
    webkit_web_view_get_snapshot(
        view.view(), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            auto* job = static_cast<Job*>(data);
            if (cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
                job->written = cairo_surface_write_to_png(surface, job->path.c_str()) == CAIRO_STATUS_SUCCESS &&
                               std::filesystem::file_size(job->path) > 1000;
                cairo_surface_destroy(surface);
            }
            job->done = true;
        },
        &job);
    spinUntil([&] { return job.done; });
    return job.written;
}

// The weights of the page's own "PJS" faces that load, e.g. "400,500,600,700". Each face is
// loaded explicitly: a face nothing on the page uses yet is not loaded by itself, even once
// document.fonts reports the status 'loaded', so waiting for that status alone can miss it.
inline std::string loadedPageFaces(app::DddWebView& view) {
    view.eval("window.__faces='';Promise.all(Array.from(document.fonts).filter(function(f){return f.family.replace(/\"/g,'')==='PJS';})"
              ".map(function(f){return f.load();})).then(function(faces){window.__faces=faces.filter(function(f){"
              "return f.status==='loaded';}).map(function(f){return f.weight;}).sort().join(',');},"
              "function(e){window.__faces='failed '+e;})");
    return awaitScript(view, "window.__faces || ''");
}

// The desktop host with scripted dialogs; PDFs, scripts and the page come from the real window.
struct DialogFreeHost : ScriptedDialogs<app::GtkShellHost> {
    DialogFreeHost() : ScriptedDialogs(DDD_APP_PATH) {}
};

}  // namespace ddd::test
