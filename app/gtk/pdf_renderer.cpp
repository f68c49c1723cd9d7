#include "app/gtk/pdf_renderer.h"

#include <fcntl.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
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

// The off-screen view is laid out this high before the report is cut into sheets; the sheets
// depend on the width alone.
constexpr int kViewHeight = 1200;

// The style each renderer injects before the document is cut into sheets.
constexpr const char* kSynchronousStyle = "body{background:#fff}.page{box-shadow:none;border:0;margin:0 auto}";
constexpr const char* kAsynchronousStyle =
    ".app{display:none!important}#printReport{display:block!important}body{background:#fff!important}";

// The document the warm view keeps loaded between renders: reports are put into it by script.
constexpr const char* kWarmDocument = "<!doctype html><html><head></head><body></body></html>";

// The document given as the argument `html` takes the place of the warm document's content: the
// engine keeps its decoded typefaces and style sheets from one report to the next.
constexpr const char* kReplaceDocumentScript =
    "var d=new DOMParser().parseFromString(html,'text/html');"
    "document.replaceChild(document.adoptNode(d.documentElement),document.documentElement);";

// The body of an asynchronous function run once the document is in place: adds the renderer's
// style, lays the document out (which starts the loads of the typefaces it uses), waits for its
// web fonts (cutting sheets before they are in would measure the pieces in a fallback font, and
// sheets would run over) and cuts the document into sheets; returns the sheet count. The style
// comes before the first layout, which it would otherwise have to redo.
std::string paginationScript(const char* style, bool replaceDocument) {
    return std::string(replaceDocument ? kReplaceDocumentScript : "") + "var s=document.createElement('style');s.textContent='" +
           std::string(style) + "';document.head.appendChild(s);document.body.offsetHeight;await document.fonts.ready;return (" +
           std::string(printPagesScript()) + ")(" + std::to_string(kSheetHeight) + ");";
}

// True when `c` is `lower` in any letter case; `lower` is lower case.
bool matchesLowerCase(char c, char lower) { return g_ascii_tolower(c) == lower; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), matchesLowerCase);
}

// A standards-mode document without scripts can be put into the warm document: the parser that
// reads it there runs no scripts and a missing doctype would lay it out in quirks mode. Any other
// document is loaded as a page of its own.
bool fitsWarmDocument(const std::string& html) {
    if (!startsWithNoCase(html, "<!doctype html>")) return false;
    constexpr std::string_view script = "<script";
    return std::search(html.begin(), html.end(), script.begin(), script.end(), matchesLowerCase) == html.end();
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

class DddPdfJob;

// Renders go through off-screen views that stay warm: each report takes the place of the one
// before inside one kept document (nothing of the earlier report survives, but the decoded
// typefaces do), where a new view per report cost a new page in the web process and a new document
// per report the decoding of its style and typefaces. A view carries the print zoom style and the
// report typeface for every document: without the embedded faces the engine would fall back to a
// system font and embed all of it in every PDF. It draws without GPU compositing, which a print
// never uses and which cost a software GL renderer its memory and time.
// Each view has a web process of its own, so two of them render two reports on two processor
// cores at once; the second is made only when a render waits while the first is busy. Renders
// start in the order they were asked for, each on the first free view. A render given up because
// its page hangs, or whose web process ended, takes its view down with it, and the next render
// there starts a new one.
class WarmView {
public:
    static constexpr std::size_t kViews = 2;

    WebKitWebView* view() {
        if (view_ == nullptr) create();
        return view_;
    }

    // Whether the view holds the warm document (loaded, and not replaced by a page of its own since).
    bool holdsWarmDocument() const { return warmDocument_; }
    void loadWarmDocument() { webkit_web_view_load_html(view(), kWarmDocument, nullptr); }
    void warmDocumentLoaded() { warmDocument_ = true; }
    void loadOwnPage(const std::string& html) {
        webkit_web_view_load_html(view(), html.c_str(), nullptr);
        warmDocument_ = false;
    }

    // Ends the view's web process (a script of the page may be stuck in it) and destroys the view.
    void drop() {
        warmDocument_ = false;
        if (view_ == nullptr) return;
        g_signal_handlers_disconnect_by_data(view_, this);
        webkit_web_view_terminate_web_process(view_);
        gtk_widget_destroy(window_);
        window_ = nullptr;
        view_ = nullptr;
    }

    // The job starts from an idle callback once a view is free and every job asked for before it
    // has started; one whose file cannot be written finishes at once.
    static void enqueue(std::shared_ptr<DddPdfJob> job, std::string html);
    // Takes a finished or abandoned job out of its view or out of the waiting line.
    static void remove(const DddPdfJob* job);
    static std::size_t liveJobs();

private:
    static std::deque<std::shared_ptr<DddPdfJob>>& waiting() {
        static std::deque<std::shared_ptr<DddPdfJob>> jobs;
        return jobs;
    }

    static std::array<WarmView, kViews>& pool() {
        static std::array<WarmView, kViews> views;
        return views;
    }

    void create() {
        WebKitUserContentManager* content = webkit_user_content_manager_new();
        const std::string faces = printZoomStyle() + std::string(reportFontsStyle()) + kPlainGlyphsStyle;
        WebKitUserStyleSheet* style = webkit_user_style_sheet_new(faces.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                                  WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(content, style);
        webkit_user_style_sheet_unref(style);
        view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(content));
        g_object_unref(content);
        // A report replaced by the next one is not worth keeping for going back.
        webkit_settings_set_enable_page_cache(webkit_web_view_get_settings(view_), FALSE);
        webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view_), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
        window_ = gtk_offscreen_window_new();
        gtk_widget_set_size_request(GTK_WIDGET(view_), kLayoutWidth, kViewHeight);
        gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
        gtk_widget_show_all(window_);
        g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
        g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
        g_signal_connect(view_, "web-process-terminated", G_CALLBACK(onProcessTerminated), this);
    }

    static void scheduleStart();
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer self);
    static void onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);

    GtkWidget* window_ = nullptr;
    WebKitWebView* view_ = nullptr;
    bool warmDocument_ = false;
    std::shared_ptr<DddPdfJob> running_;
};

// One render: puts the document into the warm view, cuts it into sheets and prints it into a
// temporary file beside the target. GLib callbacks hold the job only weakly, so that a job its
// owner gave up (time-out) is torn down at once and its late callbacks find nothing.
class DddPdfJob : public std::enable_shared_from_this<DddPdfJob> {
public:
    using Done = std::function<void(const PdfOutcome&)>;

    DddPdfJob(const char* style, std::string outPath, Done done)
        : style_(style), outPath_(std::move(outPath)), done_(std::move(done)) {}

    ~DddPdfJob() {
        g_cancellable_cancel(cancellable_);
        if (print_ != nullptr) {
            g_signal_handlers_disconnect_by_data(print_, this);
            g_object_unref(print_);
        }
        g_object_unref(cancellable_);
    }

    // Creates the temporary file the print job fills and keeps the document until the job's turn;
    // false (the job finished) when the file cannot be written.
    bool prepare(std::string html) {
        pdf_.emplace(outPath_);
        if (!pdf_->isOpen()) {
            finish(failure("could not write PDF to " + outPath_));
            return false;
        }
        replaceDocument_ = fitsWarmDocument(html);
        html_ = std::move(html);
        return true;
    }

    // A document that fits the warm document goes into it at once when the view holds it, else
    // once it is loaded; any other document loads as a page of its own.
    void start(WarmView& view) {
        view_ = &view;
        if (!replaceDocument_) {
            view.loadOwnPage(html_);
            html_.clear();
        } else if (view.holdsWarmDocument()) {
            paginate();
        } else {
            view.loadWarmDocument();
        }
    }

    // A render that is given up unfinished may be stuck in a script of its page, which would stall
    // every later render: the view and its web process go with it.
    void abandon() {
        if (finished_) return;
        finished_ = true;
        if (pdf_) pdf_->discard();
        if (view_ != nullptr) view_->drop();
        WarmView::remove(this);
    }

    void loaded() {
        if (finished_ || measuring_) return;
        if (replaceDocument_) view_->warmDocumentLoaded();
        paginate();
    }

    void failed(std::string error) { finish(failure(std::move(error))); }

private:
    using WeakJob = std::weak_ptr<DddPdfJob>;

    static PdfOutcome failure(std::string error) {
        PdfOutcome outcome;
        outcome.error = std::move(error);
        return outcome;
    }

    void paginate() {
        measuring_ = true;
        const std::string script = paginationScript(style_, replaceDocument_);
        GVariant* arguments = nullptr;
        if (replaceDocument_) {
            GVariantBuilder builder;
            g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
            g_variant_builder_add(&builder, "{sv}", "html", g_variant_new_take_string(g_strndup(html_.data(), html_.size())));
            arguments = g_variant_builder_end(&builder);
            html_.clear();
        }
        webkit_web_view_call_async_javascript_function(view_->view(), script.c_str(), static_cast<gssize>(script.size()),
                                                       arguments, nullptr, nullptr, cancellable_, onPaginated,
                                                       new WeakJob(weak_from_this()));
    }

    static void onPaginated(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<WeakJob> weak(static_cast<WeakJob*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
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

        print_ = webkit_print_operation_new(view_->view());
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

    // The job leaves the queue at once; the next one starts from an idle callback, never inside
    // the signal that finished this one.
    void finish(PdfOutcome outcome) {
        if (finished_) return;
        finished_ = true;
        if (!outcome.ok && pdf_) pdf_->discard();
        if (outcome.error.empty() && !outcome.ok) outcome.error = "PDF render failed";
        WarmView::remove(this);
        if (done_) {
            Done done = std::move(done_);
            done_ = nullptr;
            done(outcome);
        }
    }

    const char* style_;
    std::string outPath_;
    std::string html_;
    Done done_;
    GCancellable* cancellable_ = g_cancellable_new();
    WebKitPrintOperation* print_ = nullptr;
    std::optional<PendingFile> pdf_;
    WarmView* view_ = nullptr;  // the view rendering the job, once started
    bool replaceDocument_ = false;
    bool measuring_ = false;
    bool printFailed_ = false;
    bool finished_ = false;
    std::string engineError_;
};

void WarmView::scheduleStart() {
    g_idle_add(
        [](gpointer) {
            auto& jobs = waiting();
            for (WarmView& view : pool()) {
                if (jobs.empty()) break;
                if (view.running_) continue;
                view.running_ = std::move(jobs.front());
                jobs.pop_front();
                view.running_->start(view);
            }
            return G_SOURCE_REMOVE;
        },
        nullptr);
}

void WarmView::enqueue(std::shared_ptr<DddPdfJob> job, std::string html) {
    if (!job->prepare(std::move(html))) return;
    waiting().push_back(std::move(job));
    scheduleStart();
}

void WarmView::remove(const DddPdfJob* job) {
    std::shared_ptr<DddPdfJob> removed;
    for (WarmView& view : pool()) {
        if (view.running_.get() == job) removed = std::move(view.running_);
    }
    auto& jobs = waiting();
    const auto found = std::find_if(jobs.begin(), jobs.end(), [job](const auto& queued) { return queued.get() == job; });
    if (found != jobs.end()) {
        removed = std::move(*found);
        jobs.erase(found);
    }
    if (!removed) return;
    // The last reference may be this one, and the job may be inside one of its methods.
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE, [](gpointer) { return G_SOURCE_REMOVE; }, new std::shared_ptr<DddPdfJob>(std::move(removed)),
        [](gpointer data) { delete static_cast<std::shared_ptr<DddPdfJob>*>(data); });
    if (!jobs.empty()) scheduleStart();
}

std::size_t WarmView::liveJobs() {
    const auto& views = pool();
    return waiting().size() +
           static_cast<std::size_t>(std::count_if(views.begin(), views.end(), [](const WarmView& view) { return view.running_ != nullptr; }));
}

void WarmView::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    const auto job = static_cast<WarmView*>(self)->running_;
    if (event == WEBKIT_LOAD_FINISHED && job) job->loaded();
}

gboolean WarmView::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer self) {
    if (const auto job = static_cast<WarmView*>(self)->running_) job->failed(error != nullptr ? error->message : "page load failed");
    return TRUE;
}

void WarmView::onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
    auto* view = static_cast<WarmView*>(self);
    g_idle_add(
        [](gpointer self) {
            auto* view = static_cast<WarmView*>(self);
            // Dropped only between renders: a job started meanwhile already loads into a new process.
            if (!view->running_) view->drop();
            return G_SOURCE_REMOVE;
        },
        view);
    if (const auto job = view->running_) job->failed("the web engine process ended during the render");
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
    bool done = false;
    PdfOutcome outcome;
    {
        auto job = std::make_shared<DddPdfJob>(kSynchronousStyle, outPath, [&](const PdfOutcome& o) {
            outcome = o;
            done = true;
        });
        WarmView::enqueue(job, html);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
        const guint tick = g_timeout_add(20, keepLoopAwake, nullptr);
        while (!done && std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, TRUE);
        g_source_remove(tick);
        if (!done) job->abandon();
    }
    if (!done) {
        error = "PDF render timed out";
        return false;
    }
    if (outcome.ok) return true;
    error = outcome.error;
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
    auto job = std::make_shared<DddPdfJob>(kAsynchronousStyle, outPath, [done](const PdfOutcome& o) {
        if (!o.ok && o.stage == RenderStage::Measure) {
            diagLog("PDF layout measurement failed: " + o.engineError);
        } else if (!o.ok && o.stage == RenderStage::Print) {
            diagLog("PDF render failed: data=" + std::to_string(o.bytes) + " err=" + o.engineError +
                    " write=" + (o.written ? "1" : "0"));
        }
        done(o.ok);
    });
    const bool valid = g_utf8_validate(html.data(), static_cast<gssize>(html.size()), nullptr);
    WarmView::enqueue(job, valid ? html : std::string());
}

std::size_t livePdfJobs() { return WarmView::liveJobs(); }

}  // namespace ddd::app
