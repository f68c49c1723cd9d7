// Rendering of a complete HTML document into a PDF of A4 portrait pages with an off-screen WebKitGTK
// view: the document is laid out 820 px wide, cut into numbered sheets that never split a row, and
// printed one sheet a page. Both renderers work on the main thread only and share two warm views,
// each with a web process of its own: renders start in the order they were asked for, two at a
// time.
#pragma once

#include <functional>
#include <string>

namespace ddd::app {

inline constexpr const char* kNoDisplayMessage =
    "PDF rendering needs a graphical session (no X11 or Wayland display could be opened)";

// Spins the GLib main loop until the PDF is written or `timeoutSeconds` have passed (renders asked
// for earlier start first, within that time). The file appears complete or not at all. Fits
// report::HtmlToPdf.
bool renderHtmlToPdf(const std::string& html, const std::string& outPath, std::string& error, double timeoutSeconds);

// Returns at once; `done` is called exactly once on the main thread (at once when the job cannot
// start). There is no time-out: a page that never finishes loading keeps its job.
void renderPdfAsync(const std::string& html, const std::string& outPath, std::function<void(bool)> done);

// Renders that have not finished yet, the running one included.
std::size_t livePdfJobs();

}  // namespace ddd::app
