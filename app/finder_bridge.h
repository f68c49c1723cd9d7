// The finder window's bridge: the seven tf_* functions over the runtime's index and the script
// that gathers them into window.TachoFinder for the page.
#pragma once

#include "app/finder_runtime.h"
#include "app/shell_host.h"
#include "app/webview.h"

namespace ddd::app {

inline constexpr const char* kFinderReportName = "fahrerermittlung.pdf";

// Binds tf_stats, tf_options, tf_query, tf_scan, tf_rescan, tf_report and tf_reveal in this
// order, then adds the TachoFinder script to every page load. Runtime and host must outlive the view.
void bindFinder(WebView& view, FinderRuntime& runtime, ShellHost& host);

}  // namespace ddd::app
