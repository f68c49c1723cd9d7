#include "finder/finder_report.h"

#include <cinttypes>
#include <cstdio>

#include "core/html_escape.h"
#include "core/primitives.h"
#include "finder/finder_query.h"

namespace ddd::finder {
namespace {

constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"de\"><head><meta charset=\"utf-8\"><title>Fahrerermittlung</title><style>\n"
    "body{font-family:'Plus Jakarta Sans','Segoe UI',system-ui,sans-serif;font-size:12px;color:#0c1512;"
    "background:#fff;margin:0}\n"
    ".page{max-width:900px;padding:36px 44px;margin:0 auto}\n"
    ".head{display:flex;justify-content:space-between;align-items:flex-end;border-bottom:2px solid #0c1512;"
    "padding-bottom:10px;margin-bottom:16px}\n"
    ".brand{font-weight:800;font-size:15px;letter-spacing:.04em}\n"
    ".sub{color:#5c6b66}\n"
    ".q{margin:12px 0 16px}\n"
    "table{width:100%;border-collapse:collapse;font-size:11px;font-variant-numeric:tabular-nums}\n"
    "th{font-size:9.5px;text-transform:uppercase;letter-spacing:.06em;color:#93a29c;text-align:left;"
    "padding:6px 8px;border-bottom:1px solid #dfe6e3}\n"
    "td{color:#5c6b66;white-space:nowrap;padding:6px 8px;border-bottom:1px solid #eef2f0}\n"
    "td.p{font-weight:700;color:#0c1512}\n"
    "tr.hit td{background:#e7f3ed}\n"
    ".foot{font-size:10.5px;color:#93a29c;margin-top:14px;padding-top:8px;border-top:1px solid #dfe6e3}\n"
    ".none{font-weight:700;color:#0f7a56;background:#e7f3ed;border-radius:8px;padding:14px 16px}\n"
    "</style></head><body><div class=\"page\"><div class=\"head\"><div class=\"brand\">VELMORANT DDD</div>"
    "<div class=\"sub\">Fahrerermittlung — wer fuhr ein Fahrzeug zu einem Zeitpunkt?</div></div>";

constexpr const char* kClose = "<div class=\"foot\">VELMORANT DDD · Fahrerermittlung</div></div></body></html>";

std::string dateTimeCell(std::int64_t t) { return t < 1 ? "—" : formatDateTime(t); }

std::string roleText(const FinderSession& s) {
    if (s.source == 'C') return "Fahrer (Karte)";
    return s.slot == 1 ? "Beifahrer" : "Fahrer";
}

void criteriaLine(std::string& html, const FinderQuery& q, std::size_t count, std::size_t shown) {
    html += "<div class=\"q\">Suche: ";
    if (!q.plate.empty()) html += "Kennzeichen <b>" + escapeHtml(q.plate) + "</b> ";
    if (!q.name.empty()) html += "Fahrer <b>" + escapeHtml(q.name) + "</b> ";
    if (!q.vin.empty()) html += "FIN <b>" + escapeHtml(q.vin) + "</b> ";
    if (q.timed) html += "Zeitpunkt <b>" + dateTimeCell(q.windowStart) + "</b>";
    html += " · " + std::to_string(count) + " Treffer";
    if (shown < count) html += " (zeige " + std::to_string(shown) + ")";
    html += "</div>";
}

void row(std::string& html, const FinderMatch& m) {
    const FinderSession& s = m.session;
    html += m.timeExact ? "<tr class=\"hit\">" : "<tr>";
    html += "<td class=\"p\">" + escapeHtml(displayName(s)) + "</td>";
    html += "<td>" + roleText(s) + "</td>";
    html += "<td>" + escapeHtml(s.plate.empty() ? s.vin : s.plate) + "</td>";
    html += "<td>" + dateTimeCell(s.start) + "</td>";
    html += "<td>" + (s.end < 1 ? std::string("offen") : dateTimeCell(s.end)) + "</td>";
    html += "<td>" + std::to_string(s.odometerStart > 0 ? s.odometerStart : s.odometerEnd) + "</td>";
    html += "<td>" + escapeHtml(s.card) + "</td>";
    html += "<td>" + std::string(s.source == 'V' ? "Fahrzeugeinheit" : "Fahrerkarte") + "</td></tr>";
}

}  // namespace

std::string finderReportHtml(const DriverIndex& index, std::string_view queryText) {
    const FinderQuery q = parseFinderQuery(queryText);
    std::string html = kHead;
    if (!q.error.empty()) {
        html += "<div class=\"none\">" + escapeHtml(q.error) + "</div>";
        return html + kClose;
    }
    std::size_t count = 0;
    const std::vector<FinderMatch> shown = firstMatches(index, q, count);
    criteriaLine(html, q, count, shown.size());
    if (count == 0) {
        html += "<div class=\"none\">Keine Übereinstimmung für die gesuchten Kriterien.</div>";
        return html + kClose;
    }
    html += "<table><thead><tr><th>Fahrer</th><th>Rolle</th><th>Kennzeichen / FIN</th><th>Von</th><th>Bis</th>"
            "<th>km</th><th>Kartennr.</th><th>Quelle</th></tr></thead><tbody>";
    for (const FinderMatch& m : shown) row(html, m);
    html += "</tbody></table>";
    if (shown.size() < count) {
        html += "<div class=\"foot\">Hinweis: Es werden nur die ersten " + std::to_string(shown.size()) + " von " +
                std::to_string(count) + " Treffern angezeigt.</div>";
    }
    return html + kClose;
}

}  // namespace ddd::finder
