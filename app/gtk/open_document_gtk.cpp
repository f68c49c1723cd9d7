#include "app/gtk/open_document_gtk.h"

#include <string>

#include "app/open_document.h"

namespace ddd::app {

void DddOpenHandler::open(GFile** files, int count) {
    if (!state_ || !files) return;
    std::string path;
    for (int i = 0; i < count && path.empty(); ++i) {
        gchar* local = files[i] ? g_file_get_path(files[i]) : nullptr;
        if (local) path = local;
        g_free(local);
    }
    if (path.empty()) return;

    const bool warm = view_ != nullptr && view_->isOpen();
    diagLog(std::string("open-document event → ") + (warm ? "warm (openPath live)" : "cold (buffered for boot)"));
    if (!warm) {
        state_->startupFile = path;
        return;
    }
    view_->eval(openPathScript(path));
    gtk_window_present(view_->window());
}

}  // namespace ddd::app
