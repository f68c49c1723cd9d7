#include "app/gtk/pdf_renderer.h"

#include <fcntl.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "app/print_pages_script.h"
#include "app/report_fonts_style.h"
#include "app/shell_host.h"
#include "core/atomic_file.h"

namespace ddd::app {
namespace {

// Taken during static initialisation, which runs on the process's first thread: the thread
// that owns the GLib main loop.
const std::thread::id kMainThread = std::this_thread::get_id();

constexpr int kLayoutWidth = 820;
// A4 portrait in points.
constexpr double kPaperWidth = 595.2756;
constexpr double kPaperHeight = 841.8898;
// WebKit prints a page W pt wide by laying the document out 1.25 W CSS px wide and drawing it at
// 0.8 pt per px. Zooming the printed document by 1.25 W / 820 brings the layout back to the 820 px
// that were measured on screen, drawn across the width of the paper. Only print media is zoomed:
// the measurement sees the document as it is. The minimum height gives an empty document its one
// page; without any page the print job refuses to run.
constexpr double kPrintZoom = 1.25 * kPaperWidth / kLayoutWidth;
// The height of one sheet in layout pixels, a little below the paper's 1159.7 so that rounding in
// the print layout never pushes a sheet's end onto a page of its own.
constexpr int kSheetHeight = 1157;
// The engine's PDF output gives glyphs that the typeface reaches only through a feature (tabular
// figures, the "ff" and "fi" ligatures, contextual forms such as the hyphen between capitals and
// figures) no text, or the text of another character: "Treffer" would extract as "Tre er" and
// "6140-KGV" with a minus sign. Plain forms keep every character searchable as written; letter
// spacing would make text extraction break spaced capitals ("FAH RER") into words.
constexpr const char* kPlainGlyphsStyle =
    "*{letter-spacing:normal!important;font-variant-numeric:normal!important;font-variant-ligatures:none!important;"
    "font-feature-settings:\"liga\" 0,\"clig\" 0,\"calt\" 0,\"case\" 0,\"tnum\" 0!important}";

std::string printZoomStyle() {
    return "@media print{html{zoom:" + std::to_string(kPrintZoom) + ";min-height:1px}}";
}

// The constants of one renderer: the view's initial height and the style injected before the
// document is cut into sheets.
struct RenderProfile {
    int initialHeight;
    const char* style;
};

constexpr RenderProfile kSynchronous{1000, "body{background:#fff}.page{box-shadow:none;border:0;margin:0 auto}"};

constexpr RenderProfile kAsynchronous{
    1200, ".app{display:none!important}#printReport{display:block!important}body{background:#fff!important}"};

// Adds the profile's style, then cuts the document into sheets; evaluates to the sheet count.
std::string paginationScript(const RenderProfile& profile) {
    return "(function(){var s=document.createElement('style');s.textContent='" + std::string(profile.style) +
           "';document.head.appendChild(s);})();" + std::string(printPagesScript()) + "(" +
           std::to_string(kSheetHeight) + ");";
}

// Only GTK's file printer is ever used; without this, finding it would first wait for the
// network print backends (CUPS) to answer.
bool startGtk() {
    if (!gtk_init_check(nullptr, nullptr)) return false;
    g_object_set(gtk_settings_get_default(), "gtk-print-backends", "file", nullptr);
    return true;
}

bool displayAvailable() {
    static const bool available = startGtk();
    return available;
}

std::uintmax_t fileSize(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// The print job writes the file itself; a complete PDF starts with its header and ends with the
// end-of-file marker, which is checked before the file may replace the target.
bool completePdf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string head(5, '\0');
    if (!in.read(head.data(), 5) || head != "%PDF-") return false;
    in.seekg(-32, std::ios::end);
    const std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return tail.find("%%EOF") != std::string::npos;
}

bool syncToDisk(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

// "Print to File" is the name GTK gives its file printer, translated like the rest of GTK.
const char* filePrinterName() { return g_dgettext("gtk30", "Print to File"); }

// Every render view is related to one hidden anchor view and so shares its web process: starting a
// fresh process for each report cost most of a second, a warm one loads the report in tens of
// milliseconds. The anchor also carries the print zoom style and the report typeface, which
// related views inherit: without the embedded faces the engine falls back to a system font and
// embeds all of it in every PDF (hundreds of kilobytes, and most of the print time). A
// render given up because its page hangs takes the shared process down with it (see abandon),
// and the next render starts a new anchor.
WebKitWebView*& anchorSlot() {
    static WebKitWebView* anchor = nullptr;
    return anchor;
}

WebKitWebView* anchorView() {
    WebKitWebView*& anchor = anchorSlot();
    if (anchor == nullptr) {
        WebKitUserContentManager* content = webkit_user_content_manager_new();
        WebKitUserStyleSheet* zoom = webkit_user_style_sheet_new(printZoomStyle().c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                                 WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(content, zoom);
        webkit_user_style_sheet_unref(zoom);
        const std::string faces = std::string(reportFontsStyle()) + kPlainGlyphsStyle;
        WebKitUserStyleSheet* fonts = webkit_user_style_sheet_new(faces.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                                  WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(content, fonts);
        webkit_user_style_sheet_unref(fonts);
        anchor = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(content));
        g_object_unref(content);
        g_object_ref_sink(anchor);
        webkit_web_view_load_html(anchor, "", nullptr);
    }
    return anchor;
}

void dropAnchor() {
    WebKitWebView*& anchor = anchorSlot();
    if (anchor != nullptr) g_object_unref(anchor);
    anchor = nullptr;
}

// Where a render stopped: the asynchronous renderer logs measurement and print failures only.
enum class RenderStage { Load, Measure, Print };

struct PdfOutcome {
    bool ok = false;
    std::string error;        // reason of a failure
    RenderStage stage = RenderStage::Load;
    std::string engineError;  // the engine's own description, "unknown" or "none" when it gave none
    std::uintmax_t bytes = 0;  // size of the PDF the engine produced
    bool written = false;      // the PDF is in place at the target path
};

// One render: an off-screen view that loads the document, measures it and prints it into a
// temporary file beside the target. GLib callbacks hold the job only weakly, so that a job its
// owner gave up (time-out) is torn down at once and its late callbacks find nothing.
class DddPdfJob : public std::enable_shared_from_this<DddPdfJob> {
public:
    using Done = std::function<void(const PdfOutcome&)>;

    DddPdfJob(const RenderProfile& profile, std::string outPath, Done done)
        : profile_(profile), outPath_(std::move(outPath)), done_(std::move(done)) {}

    ~DddPdfJob() {
        g_cancellable_cancel(cancellable_);
        if (print_ != nullptr) {
            g_signal_handlers_disconnect_by_data(print_, this);
            g_object_unref(print_);
        }
        if (view_ != nullptr) g_signal_handlers_disconnect_by_data(view_, this);
        if (window_ != nullptr) gtk_widget_destroy(window_);
        g_object_unref(cancellable_);
    }

    void start(const std::string& html) {
        pdf_.emplace(outPath_);
        if (!pdf_->isOpen()) return finish(failure("could not write PDF to " + outPath_));
        window_ = gtk_offscreen_window_new();
        view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_related_view(anchorView()));
        gtk_widget_set_size_request(GTK_WIDGET(view_), kLayoutWidth, profile_.initialHeight);
        gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
        gtk_widget_show_all(window_);
        g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
        g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
        g_signal_connect(view_, "web-process-terminated", G_CALLBACK(onProcessTerminated), this);
        webkit_web_view_load_html(view_, html.c_str(), nullptr);
    }

    // A render that is given up unfinished may be stuck in a script of its page, which would stall
    // every later render in the shared web process: that process is ended and not used again.
    void abandon() {
        if (finished_ || view_ == nullptr) return;
        g_signal_handlers_disconnect_by_data(view_, this);
        webkit_web_view_terminate_web_process(view_);
        dropAnchor();
    }

private:
    // The handlers above get the raw job pointer: their connections are cut in the destructor,
    // before the job is gone. The asynchronous steps (script result, timer) outlive that
    // possibility and carry a weak reference instead.
    using WeakJob = std::weak_ptr<DddPdfJob>;

    static PdfOutcome failure(std::string error) {
        PdfOutcome outcome;
        outcome.error = std::move(error);
        return outcome;
    }

    // Web fonts load after the document itself; cutting sheets before they are in would measure
    // the pieces in a fallback font, and sheets would run over.
    static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
        auto* job = static_cast<DddPdfJob*>(data);
        if (event != WEBKIT_LOAD_FINISHED || job->finished_ || job->measuring_) return;
        job->measuring_ = true;
        webkit_web_view_call_async_javascript_function(view, "await document.fonts.ready; return 1;", -1, nullptr, nullptr,
                                                       nullptr, job->cancellable_, onFontsReady,
                                                       new WeakJob(job->weak_from_this()));
    }

    static void onFontsReady(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<WeakJob> weak(static_cast<WeakJob*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
        if (value != nullptr) g_object_unref(value);
        if (error != nullptr) g_error_free(error);
        const auto job = weak->lock();
        if (!job || job->finished_) return;
        const std::string script = paginationScript(job->profile_);
        webkit_web_view_evaluate_javascript(job->view_, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                            nullptr, job->cancellable_, onPaginated, new WeakJob(job->weak_from_this()));
    }

    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer data) {
        static_cast<DddPdfJob*>(data)->finish(failure(error != nullptr ? error->message : "page load failed"));
        return TRUE;
    }

    static void onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
        static_cast<DddPdfJob*>(data)->finish(failure("the web engine process ended during the render"));
    }

    static void onPaginated(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<WeakJob> weak(static_cast<WeakJob*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        const auto job = weak->lock();
        if (job && !job->finished_) {
            if (value == nullptr) {
                PdfOutcome outcome = failure("layout measurement failed");
                outcome.stage = RenderStage::Measure;
                outcome.engineError = error != nullptr ? error->message : "unknown";
                job->finish(outcome);
            } else {
                job->capture();
            }
        }
        if (value != nullptr) g_object_unref(value);
        if (error != nullptr) g_error_free(error);
    }

    void capture() {
        GtkPrintSettings* settings = gtk_print_settings_new();
        gtk_print_settings_set_printer(settings, filePrinterName());
        gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
        gchar* uri = g_filename_to_uri(pdf_->temporaryPath().c_str(), nullptr, nullptr);
        gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
        g_free(uri);

        GtkPaperSize* paper = gtk_paper_size_new_custom(GTK_PAPER_NAME_A4, "A4", kPaperWidth, kPaperHeight, GTK_UNIT_POINTS);
        GtkPageSetup* setup = gtk_page_setup_new();
        gtk_page_setup_set_orientation(setup, GTK_PAGE_ORIENTATION_PORTRAIT);
        gtk_page_setup_set_paper_size(setup, paper);
        // The sheets carry their own margins, head and page number.
        for (auto setMargin : {gtk_page_setup_set_top_margin, gtk_page_setup_set_bottom_margin,
                               gtk_page_setup_set_left_margin, gtk_page_setup_set_right_margin}) {
            setMargin(setup, 0, GTK_UNIT_POINTS);
        }

        print_ = webkit_print_operation_new(view_);
        webkit_print_operation_set_print_settings(print_, settings);
        webkit_print_operation_set_page_setup(print_, setup);
        g_signal_connect(print_, "finished", G_CALLBACK(onPrintFinished), this);
        g_signal_connect(print_, "failed", G_CALLBACK(onPrintFailed), this);
        g_object_unref(settings);
        g_object_unref(setup);
        gtk_paper_size_free(paper);
        webkit_print_operation_print(print_);
    }

    static void onPrintFailed(WebKitPrintOperation*, GError* error, gpointer data) {
        auto* job = static_cast<DddPdfJob*>(data);
        job->engineError_ = error != nullptr ? error->message : "none";
        job->printFailed_ = true;
    }

    // "finished" also follows "failed"; the outcome is decided here once.
    static void onPrintFinished(WebKitPrintOperation*, gpointer data) {
        auto* job = static_cast<DddPdfJob*>(data);
        if (job->finished_) return;
        PdfOutcome outcome;
        outcome.stage = RenderStage::Print;
        outcome.engineError = job->printFailed_ ? job->engineError_ : "none";
        const std::string& temporary = job->pdf_->temporaryPath();
        outcome.bytes = fileSize(temporary);
        if (job->printFailed_) {
            outcome.error = job->engineError_;
        } else if (outcome.bytes == 0 || !completePdf(temporary)) {
            outcome.error = "the print job returned no PDF data";
        } else if (!job->pdf_->finish() || !syncToDisk(temporary) || !job->pdf_->commit()) {
            outcome.error = "could not write PDF to " + job->outPath_;
        } else {
            outcome.ok = outcome.written = true;
        }
        job->finish(outcome);
    }

    void finish(PdfOutcome outcome) {
        if (finished_) return;
        finished_ = true;
        if (!outcome.ok && pdf_) pdf_->discard();
        if (outcome.error.empty() && !outcome.ok) outcome.error = "PDF render failed";
        if (done_) {
            Done done = std::move(done_);
            done_ = nullptr;
            done(outcome);
        }
    }

    const RenderProfile& profile_;
    std::string outPath_;
    Done done_;
    GCancellable* cancellable_ = g_cancellable_new();
    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    WebKitPrintOperation* print_ = nullptr;
    std::optional<PendingFile> pdf_;
    bool measuring_ = false;
    bool printFailed_ = false;
    bool finished_ = false;
    std::string engineError_;
};

// State of a synchronous render, read by the waiting loop.
struct DddPdfDelegate {
    bool done = false;
    bool ok = false;
    std::string errorMessage;

    void finishWith(bool succeeded, const std::string& error) {
        ok = succeeded;
        if (!succeeded && !error.empty()) errorMessage = error;
        done = true;
    }
};

// An asynchronous render; kept in the live set until its callback has run.
struct DddShellPdf {
    std::shared_ptr<DddPdfJob> job;
};

std::map<const DddShellPdf*, std::unique_ptr<DddShellPdf>>& liveJobs() {
    static std::map<const DddShellPdf*, std::unique_ptr<DddShellPdf>> jobs;
    return jobs;
}

// A finished job is released from an idle callback, never inside the signal that finished it.
void releaseLater(std::unique_ptr<DddShellPdf> shell) {
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE, [](gpointer) { return G_SOURCE_REMOVE; }, shell.release(),
        [](gpointer data) { delete static_cast<DddShellPdf*>(data); });
}

gboolean keepLoopAwake(gpointer) { return G_SOURCE_CONTINUE; }

}  // namespace

bool renderHtmlToPdf(const std::string& html, const std::string& outPath, std::string& error, double timeoutSeconds) {
    if (std::this_thread::get_id() != kMainThread) {
        error = "renderHtmlToPdf must be called on the main thread";
        return false;
    }
    if (!displayAvailable()) {
        error = kNoDisplayMessage;
        return false;
    }
    if (!g_utf8_validate(html.data(), static_cast<gssize>(html.size()), nullptr)) {
        error = "report HTML is not valid UTF-8";
        return false;
    }
    DddPdfDelegate state;
    {
        auto job = std::make_shared<DddPdfJob>(kSynchronous, outPath,
                                               [&state](const PdfOutcome& o) { state.finishWith(o.ok, o.error); });
        job->start(html);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
        const guint tick = g_timeout_add(20, keepLoopAwake, nullptr);
        while (!state.done && std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, TRUE);
        g_source_remove(tick);
        if (!state.done) job->abandon();
    }
    if (!state.done) {
        error = "PDF render timed out";
        return false;
    }
    if (state.ok) return true;
    error = state.errorMessage.empty() ? "PDF render failed" : state.errorMessage;
    return false;
}

void renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done) {
    if (html.empty() || outPath.empty() || std::this_thread::get_id() != kMainThread) {
        done(false);
        return;
    }
    if (!displayAvailable()) {
        diagLog(kNoDisplayMessage);
        done(false);
        return;
    }
    auto shell = std::make_unique<DddShellPdf>();
    const DddShellPdf* key = shell.get();
    shell->job = std::make_shared<DddPdfJob>(kAsynchronous, outPath, [key, done](const PdfOutcome& o) {
        auto& jobs = liveJobs();
        const auto found = jobs.find(key);
        if (!o.ok && o.stage == RenderStage::Measure) {
            diagLog("PDF layout measurement failed: " + o.engineError);
        } else if (!o.ok && o.stage == RenderStage::Print) {
            diagLog("PDF render failed: data=" + std::to_string(o.bytes) + " err=" + o.engineError +
                    " write=" + (o.written ? "1" : "0"));
        }
        releaseLater(std::move(found->second));
        jobs.erase(found);
        done(o.ok);
    });
    const std::string valid = g_utf8_validate(html.data(), static_cast<gssize>(html.size()), nullptr) ? html : "";
    auto& started = liveJobs().emplace(key, std::move(shell)).first->second;
    started->job->start(valid);
}

std::size_t livePdfJobs() { return liveJobs().size(); }

}  // namespace ddd::app
