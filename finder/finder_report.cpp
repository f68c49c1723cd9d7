#include "finder/finder_report.h"

#include <cinttypes>
#include <cstdio>
#include <map>

#include "core/atomic_file.h"
#include "core/card_signature.h"
#include "core/certificate.h"
#include "core/html_escape.h"
#include "core/primitives.h"
#include "finder/finder_query.h"

namespace ddd::finder {
namespace {

constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"de\"><head><meta charset=\"utf-8\"><title>Fahrerermittlung</title><style>\n"
    "body{font-family:'Plus Jakarta Sans','Segoe UI',system-ui,sans-serif;font-size:12px;color:#0c1512;"
    "background:#fff;margin:0}\n"
    ".page{max-width:820px;padding:36px 40px;margin:0 auto;box-sizing:border-box}\n"
    ".head{display:flex;justify-content:space-between;align-items:flex-end;border-bottom:2px solid #0c1512;"
    "padding-bottom:10px;margin-bottom:16px}\n"
    ".brand{font-weight:800;font-size:15px;letter-spacing:.04em}\n"
    ".sub{color:#5c6b66}\n"
    ".q{margin:12px 0 16px}\n"
    "table{width:100%;border-collapse:collapse;table-layout:fixed;font-size:10px;font-variant-numeric:tabular-nums}\n"
    "th{font-size:8.5px;text-transform:uppercase;letter-spacing:.04em;color:#93a29c;text-align:left;"
    "padding:5px 4px;border-bottom:1px solid #dfe6e3}\n"
    "td{color:#5c6b66;padding:5px 4px;border-bottom:1px solid #eef2f0;vertical-align:top;overflow-wrap:anywhere}\n"
    "td.p{font-weight:700;color:#0c1512}\n"
    "td.n{text-align:right}\n"
    "tr.hit td{background:#e7f3ed}\n"
    ".src td{font-size:9px}\n"
    ".src td.h{font-family:'DejaVu Sans Mono',monospace;font-size:8px}\n"
    ".sec{font-size:10px;font-weight:700;text-transform:uppercase;letter-spacing:.06em;color:#0f7a56;margin:22px 0 6px}\n"
    ".foot{font-size:10.5px;color:#93a29c;margin-top:14px;padding-top:8px;border-top:1px solid #dfe6e3}\n"
    ".none{font-weight:700;color:#8a5a00;background:#fdf3e1;border-radius:8px;padding:14px 16px}\n"
    "</style></head><body><div class=\"page\" data-head=\"";

constexpr const char* kHeadEnd =
    "\"><div class=\"head\"><div class=\"brand\">VELMORANT DDD</div>"
    "<div class=\"sub\">Fahrerermittlung — wer fuhr ein Fahrzeug zu einem Zeitpunkt?</div></div>";

constexpr const char* kClose = "<div class=\"foot\">VELMORANT DDD · Fahrerermittlung</div></div></body></html>";

// Column widths that fit the table to the page: dates, card numbers and sources wrap inside them.
constexpr const char* kColumns =
    "<colgroup><col style=\"width:16%\"><col style=\"width:9%\"><col style=\"width:12%\"><col style=\"width:12%\">"
    "<col style=\"width:12%\"><col style=\"width:6%\"><col style=\"width:17%\"><col style=\"width:16%\"></colgroup>";

std::string dateTimeCell(std::int64_t t) { return t < 1 ? "—" : formatDateTime(t); }

// The searched time as entered: a whole day is its date alone, hours are shown as a span.
std::string searchedTime(const FinderQuery& q) {
    const CivilTime from = toCivilTime(q.windowStart);
    const CivilTime to = toCivilTime(q.windowEnd);
    const bool wholeDay = from.minuteOfDay == 0 && to.minuteOfDay == 0 && q.windowEnd - q.windowStart >= 23 * 3600;
    if (wholeDay) return formatDate(q.windowStart);
    return formatDateTime(q.windowStart) + " – " + (to.minuteOfDay == 0 ? std::string("24:00") : formatTime(q.windowEnd)) + " Uhr";
}

void criteriaLine(std::string& html, const FinderQuery& q, std::size_t count, std::size_t shown) {
    html += "<div class=\"q\">Suche: ";
    if (!q.plate.empty()) html += "Kennzeichen <b>" + escapeHtml(q.plate) + "</b> ";
    if (!q.name.empty()) html += "Fahrer <b>" + escapeHtml(q.name) + "</b> ";
    if (!q.vin.empty()) html += "FIN <b>" + escapeHtml(q.vin) + "</b> ";
    if (q.timed) html += "Zeitpunkt <b>" + searchedTime(q) + "</b>";
    html += " · " + std::to_string(count) + " Treffer";
    if (shown < count) html += " (zeige " + std::to_string(shown) + ")";
    html += "</div>";
}

std::string pageHead(const FinderQuery& q) {
    std::string head = "Fahrerermittlung";
    if (!q.plate.empty()) head += " · Kennzeichen " + q.plate;
    if (!q.name.empty()) head += " · Fahrer " + q.name;
    if (q.timed) head += " · Zeitpunkt " + searchedTime(q);
    return head;
}

void row(std::string& html, const FinderMatch& m) {
    const FinderSession& s = m.session;
    html += m.timeExact ? "<tr class=\"hit\">" : "<tr>";
    html += "<td class=\"p\">" + escapeHtml(displayName(s)) + "</td>";
    html += "<td>" + roleText(m) + "</td>";
    html += "<td>" + escapeHtml(s.plate.empty() ? s.vin : s.plate) + "</td>";
    html += "<td>" + dateTimeCell(s.start) + "</td>";
    html += "<td>" + (s.end < 1 ? std::string("offen") : dateTimeCell(s.end)) + "</td>";
    html += "<td class=\"n\">" + (m.km >= 0 ? std::to_string(m.km) : std::string("—")) + "</td>";
    html += "<td>" + escapeHtml(s.card) + "</td>";
    html += "<td>" + sourcesText(m) + "</td></tr>";
}

// Whether the download can be trusted as it is: the card's signatures checked against the
// trusted roots; vehicle-unit downloads are not checked.
std::string signatureStatus(char source, const std::vector<std::uint8_t>& bytes) {
    if (source != 'C') return "nicht geprüft (Fahrzeugeinheit)";
    switch (verifyCardDownload(bytes, installedTrustAnchors()).status) {
        case Authenticity::Valid: return "Signatur gültig";
        case Authenticity::Invalid: return "Signatur ungültig";
        case Authenticity::Unanchored: return "nicht prüfbar (kein Wurzelzertifikat)";
        case Authenticity::Uncheckable: return "nicht prüfbar (Zertifikate fehlen)";
        case Authenticity::Unsigned: return "nicht signiert";
    }
    return "nicht geprüft";
}

// Every download the shown rows rest on, with the fingerprint that lets a reader prove the file
// he holds is the one the report was made from.
void sourceFiles(std::string& html, const std::vector<FinderMatch>& shown) {
    std::map<std::string, char> files;
    for (const FinderMatch& m : shown) {
        for (const MatchSource& s : m.sources) files.emplace(s.file, s.source);
    }
    html += "<div class=\"sec\">Quelldateien</div><table class=\"src\"><colgroup><col style=\"width:34%\">"
            "<col style=\"width:44%\"><col style=\"width:22%\"></colgroup><thead><tr><th>Datei</th><th>SHA-256</th>"
            "<th>Signatur</th></tr></thead><tbody>";
    for (const auto& [file, source] : files) {
        const auto bytes = readWholeFile(file);
        html += "<tr><td>" + escapeHtml(file) + "</td><td class=\"h\">" + (bytes ? sha256Hex(*bytes) : std::string("—")) +
                "</td><td>" + (bytes ? signatureStatus(source, *bytes) : std::string("Datei nicht lesbar")) + "</td></tr>";
    }
    html += "</tbody></table>";
}

}  // namespace

std::string finderReportHtml(const DriverIndex& index, std::string_view queryText) {
    const FinderQuery q = parseFinderQuery(queryText);
    std::string html = kHead + escapeHtml(pageHead(q)) + kHeadEnd;
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
    html += std::string("<table>") + kColumns + "<thead><tr><th>Fahrer</th><th>Rolle</th><th>Kennzeichen / FIN</th><th>Von</th><th>Bis</th>"
            "<th>km</th><th>Kartennr.</th><th>Quelle</th></tr></thead><tbody>";
    for (const FinderMatch& m : shown) row(html, m);
    html += "</tbody></table>";
    if (shown.size() < count) {
        html += "<div class=\"foot\">Hinweis: Es werden nur die ersten " + std::to_string(shown.size()) + " von " +
                std::to_string(count) + " Treffern angezeigt.</div>";
    }
    sourceFiles(html, shown);
    return html + kClose;
}

}  // namespace ddd::finder
