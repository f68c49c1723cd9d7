#include "app/finder_bridge.h"

#include <string_view>
#include <utility>

#include "app/bridge_text.h"
#include "finder/finder_query.h"
#include "finder/finder_report.h"

namespace ddd::app {
namespace {

constexpr const char* kTachoFinderScript =
    "window.TachoFinder={stats:()=>tf_stats(),options:()=>tf_options(),query:(q)=>tf_query(q),scan:()=>tf_scan(),"
    "rescan:()=>tf_rescan(),report:(q)=>tf_report(q),reveal:(f)=>tf_reveal(f)};";

// The page's search object out of the request ([{...}]). A page that sends the object already
// as JSON text (["{...}"]) is understood too; anything else is the empty search.
std::string queryArg(std::string_view request) {
    std::size_t at = 0;
    const auto skipBlanks = [&] {
        while (at < request.size() && (request[at] == ' ' || request[at] == '\n' || request[at] == '\r' || request[at] == '\t')) ++at;
    };
    skipBlanks();
    if (at < request.size() && request[at] == '[') ++at;
    skipBlanks();
    if (at < request.size() && request[at] == '{') return std::string(request.substr(at));
    if (at < request.size() && request[at] == '"') return parseJsonString(request, at);
    return "{}";
}

}  // namespace

void bindFinder(WebView& view, FinderRuntime& runtime, ShellHost& host) {
    view.bind("tf_stats", [&runtime](const std::string&) {
        std::string stats = finderStatsJson(runtime);
        if (runtime.firstStats) std::exchange(runtime.firstStats, nullptr)();
        return stats;
    });
    view.bind("tf_options", [&runtime](const std::string&) { return finder::optionsJson(currentIndex(runtime)); });
    view.bind("tf_query", [&runtime](const std::string& request) { return finder::queryJson(currentIndex(runtime), queryArg(request)); });
    view.bind("tf_scan", [&runtime, &host](const std::string&) {
        const std::string chosen = host.chooseFolder("Ordner mit Fahrerkarten- und Fahrzeug-Downloads wählen", "Scannen");
        if (chosen.empty()) return finderStatsJson(runtime);
        // Also when the folder lies inside one already recorded: its files may have changed.
        currentIndex(runtime);
        recordFolder(runtime.folders, chosen);
        return rebuildIndex(runtime);
    });
    view.bind("tf_rescan", [&runtime](const std::string&) { return rebuildIndex(runtime); });
    view.bindAsync("tf_report", [&view, &runtime, &host](const std::string& callId, const std::string& request) {
        const std::string path = host.chooseSavePath(kFinderReportName);
        if (path.empty()) {
            view.resolve(callId, 0, "false");
            return;
        }
        host.renderReportPdfAsync(callId, finder::finderReportHtml(currentIndex(runtime), queryArg(request)), path);
    });
    // One of the index's own file paths, in the visible form the page was given.
    view.bind("tf_reveal", [&host](const std::string& request) {
        const std::string path = pathFromPage(firstStringArg(request));
        if (!path.empty()) host.revealInFinder(path);
        return std::string("null");
    });
    view.init(kTachoFinderScript);
}

}  // namespace ddd::app
