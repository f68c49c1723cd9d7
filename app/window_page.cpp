#include "app/window_page.h"

#include "app/bridge_text.h"
#include "report/analysis_json.h"

namespace ddd::app {
namespace {

constexpr const char* kPlaceholderHtml = R"HTML(<!doctype html>
<html lang="de"><head><meta charset="utf-8"><title>VELMORANT DDD</title>
<style>
body{font:15px/1.45 "DejaVu Sans",sans-serif;margin:0;background:#f3f5f8;color:#14213d}
header{display:flex;align-items:center;gap:14px;padding:18px 28px;background:#14213d;color:#fff}
header h1{font-size:20px;margin:0;letter-spacing:.08em}
main{padding:24px 28px;max-width:900px}
.card{background:#fff;border-radius:10px;padding:18px 22px;box-shadow:0 1px 3px rgba(0,0,0,.12);margin-bottom:16px}
dl{display:grid;grid-template-columns:180px 1fr;gap:6px 14px;margin:0}dt{color:#5c677d}dd{margin:0;font-weight:600}
#status{color:#5c677d}.err{color:#b00020}
button{font:inherit;padding:7px 14px;border-radius:6px;border:1px solid #14213d;background:#fff;cursor:pointer}
</style></head><body>
<header><svg width="46" height="30" viewBox="0 0 46 30" aria-hidden="true"><rect x="1" y="1" width="44" height="28" rx="6" fill="#fca311"/><path d="M9 8l7 14 7-14M26 22V8h5a7 7 0 0 1 0 14z" fill="none" stroke="#14213d" stroke-width="3" stroke-linejoin="round"/></svg>
<h1>VELMORANT DDD</h1></header>
<main>
<div class="card"><p id="status">Brücke wird geprüft …</p><button id="open">Datei öffnen …</button></div>
<div class="card" id="result" hidden><dl>
<dt>Datei</dt><dd id="file"></dd><dt>Fahrer</dt><dd id="driver"></dd><dt>Kartennummer</dt><dd id="card"></dd>
<dt>Zeitraum</dt><dd id="period"></dd><dt>Dateien zusammengeführt</dt><dd id="merged"></dd>
<dt>Arbeitsschichten</dt><dd id="shifts"></dd><dt>Verstöße</dt><dd id="violations"></dd></dl></div>
</main>
<script>
function show(id, text) { document.getElementById(id).textContent = text; }
function status(text, failed) { var s = document.getElementById('status'); s.textContent = text; s.className = failed ? 'err' : ''; }
function openPath(path) {
  status('Analyse läuft …');
  return shellAnalyze(path).then(function(doc) {
    if (!doc || !doc.ok) { status('Analyse fehlgeschlagen: ' + ((doc && doc.error) || 'unbekannt'), true); return; }
    show('file', path); show('driver', doc.driver); show('card', doc.card); show('period', doc.period);
    show('merged', String(doc.filesMerged)); show('shifts', String((doc.shifts || []).length));
    show('violations', String((doc.violations || []).length));
    document.getElementById('result').hidden = false;
    status('Brücke aktiv: Analyse vom nativen Teil erhalten.');
  });
}
document.getElementById('open').onclick = function() {
  shellOpenFile().then(function(path) { if (path) openPath(path); });
};
if (!window.tachoStartupFile) { status('Bridge nicht verfügbar', true); }
else tachoStartupFile().then(function(path) {
  if (path) return openPath(path);
  status('Brücke aktiv. Keine Datei beim Start übergeben.');
});
</script></body></html>)HTML";

}  // namespace

std::string takeStartupFile(ShellState& state) {
    if (state.startupFile.empty()) return "null";
    state.currentFile = state.startupFile;
    state.startupFile.clear();
    return jsonQuote(state.currentFile);
}

WindowPage placeholderDashboardPage() {
    WindowPage page;
    page.html = kPlaceholderHtml;
    page.bind = [](WebView& view, ShellState& state, ShellHost& host) {
        view.bind("tachoStartupFile", [&state](const std::string&) { return takeStartupFile(state); });
        view.bind("shellOpenFile", [&state, &host](const std::string&) {
            const std::string path = host.chooseDddFile();
            if (path.empty()) return std::string("null");
            state.currentFile = path;
            return jsonQuote(path);
        });
        view.bindAsync("shellAnalyze", [&view, &state](const std::string& callId, const std::string& request) {
            const std::string path = normalizeSlashes(firstStringArg(request));
            if (state.analysisThread.joinable()) state.analysisThread.join();
            state.currentFile = path;
            state.analysisThread = std::thread([&view, callId, path] {
                std::string document;
                try {
                    document = analyzeOpenedFile(path);
                } catch (const std::exception& error) {
                    document = "{\"ok\":false,\"error\":" + jsonQuote(error.what()) + "}";
                }
                view.dispatch([&view, callId, document] { view.resolve(callId, 0, document); });
            });
        });
    };
    return page;
}

}  // namespace ddd::app
