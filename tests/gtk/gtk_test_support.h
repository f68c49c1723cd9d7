// Helpers of the window tests: window pictures saved as test artifacts and a desktop host whose
// dialogs answer what the test says; the main-loop helpers come with it.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/gtk/gtk_shell_host.h"
#include "app/gtk/webview_gtk.h"
#include "tests/gtk/main_loop.h"

namespace ddd::test {

inline std::filesystem::path artifactFolder() {
    const std::filesystem::path folder = DDD_GTK_ARTIFACTS;
    std::filesystem::create_directories(folder);
    return folder;
}

// The visible part of the web view as a PNG file; true when it was written.
inline bool snapshotPng(app::DddWebView& view, const std::filesystem::path& file) {
    bool done = false;
    bool written = false;
    struct Job {
        bool* done;
        bool* written;
        std::string path;
    } job{&done, &written, file.string()};
    webkit_web_view_get_snapshot(
        view.view(), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            auto* job = static_cast<Job*>(data);
            cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
            if (surface) {
                *job->written = cairo_surface_write_to_png(surface, job->path.c_str()) == CAIRO_STATUS_SUCCESS;
                cairo_surface_destroy(surface);
            }
            *job->done = true;
        },
        &job);
    spinUntil([&] { return done; });
    return written;
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

// The desktop host with scripted dialogs: files, folders and save paths come from the test (each
// folder dialog takes the next of folderAnswers, then folderAnswer), revealed files and finder
// starts are recorded; PDFs come from the real renderer.
class DialogFreeHost : public app::GtkShellHost {
public:
    DialogFreeHost() : GtkShellHost(DDD_APP_PATH) {}
    std::string chooseDddFile() override { return fileAnswer; }
    std::string chooseFolder(const std::string& message, const std::string&) override {
        folderMessages.push_back(message);
        if (!folderAnswers.empty()) {
            std::string next = folderAnswers.front();
            folderAnswers.erase(folderAnswers.begin());
            return next;
        }
        return folderAnswer;
    }
    std::string chooseSavePath(const std::string& suggestedName) override {
        suggestedNames.push_back(suggestedName);
        return saveAnswer;
    }
    void revealInFinder(const std::string& path) override { revealed.push_back(path); }
    // Recorded instead of started, so a test leaves no finder process behind.
    void launchFinder(const std::string& scanFolder) override { finderFolders.push_back(scanFolder); }

    std::string fileAnswer;
    std::string folderAnswer;
    std::vector<std::string> folderAnswers;
    std::string saveAnswer;
    std::vector<std::string> folderMessages;
    std::vector<std::string> suggestedNames;
    std::vector<std::string> revealed;
    std::vector<std::string> finderFolders;
};

}  // namespace ddd::test
