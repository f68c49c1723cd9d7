// The dashboard window's bridge: the tacho* functions the dashboard page calls, and the print
// override that turns the page's window.print() into a saved PDF report.
#pragma once

#include "app/shell_host.h"
#include "app/webview.h"

namespace ddd::app {

// Runs at the start of every page load: printing saves the report through tachoPrint and always
// ends with an afterprint event, so no print dialog ever opens.
inline constexpr const char* kPrintOverrideScript =
    "window.print=function(){var n=window.__berichtName||'';var m=window.__berichtMonth||'';window.__berichtName='';"
    "window.__berichtMonth='';Promise.resolve(window.tachoPrint?window.tachoPrint(n,m):null).then(function(r){"
    "if(window.__onBerichtSaved)window.__onBerichtSaved(r);}).catch(function(){}).then(function(){"
    "window.dispatchEvent(new Event('afterprint'));});};";

// Evaluated in the page: a standalone document of the page's styles and its #printReport element.
inline constexpr const char* kReportExtractionScript =
    "(function(){var c='';var s=document.getElementsByTagName('style');for(var i=0;i<s.length;i++)c+=s[i].outerHTML;"
    "var p=document.getElementById('printReport');return '<!doctype html><meta charset=utf-8>'+c+'<body class=printing>'+"
    "(p?p.outerHTML:'');})()";

// Binds the tacho* functions, then adds the print override. State and host must
// outlive the view; workers are left in `state` for the next call or the shutdown to join.
void bindDashboard(WebView& view, ShellState& state, ShellHost& host);

}  // namespace ddd::app
