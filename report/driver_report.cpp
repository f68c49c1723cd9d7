#include "report/driver_report.h"

#include <cstdio>
#include <ctime>
#include <map>

#include "analysis/pipeline.h"
#include "analysis/reference_rules.h"
#include "core/html_escape.h"
#include "core/primitives.h"
#include "report/month_restriction.h"

namespace ddd::report {
namespace {

constexpr double kRenderTimeoutSeconds = 30;

// No shadows and no rounded page corners: the page must print as vector text, and the screen
// and print renderings must look the same, so there are no media-specific rules either.
constexpr const char* kStyle =
    ":root{--i:#0c1512;--m:#5c6b66;--fn:#93a29c;--ln:#e9edeb;--l2:#dde4e1;--br:#0f7a56;--brt:#e7f3ed;"
    "--cr:#c8423d;--crt:#fbe9e8;--wr:#a6720f;--bg:#f6f8f7}\n"
    "*{box-sizing:border-box;-webkit-print-color-adjust:exact;print-color-adjust:exact}\n"
    "html,body{margin:0;padding:0}\n"
    "body{background:var(--bg);color:var(--i);font-family:\"Plus Jakarta Sans\",\"Segoe UI\",system-ui,-apple-system,"
    "sans-serif;font-size:11.5px;line-height:1.45}\n"
    ".page{background:#fff;max-width:820px;margin:22px auto;border:1px solid var(--ln);padding:40px 46px}\n"
    ".num{font-variant-numeric:tabular-nums}\n"
    ".rp-head{display:flex;align-items:center;gap:14px;padding-bottom:16px;border-bottom:2px solid var(--i)}\n"
    ".rp-mk{width:46px;height:30px;flex:none}\n"
    ".rp-wm{font-size:18px;font-weight:700;letter-spacing:.06em;line-height:1.2}\n"
    ".rp-doc{color:var(--m);font-size:11px}\n"
    ".rp-rt{margin-left:auto;text-align:right}\n"
    ".rp-status{display:inline-block;padding:3px 10px;border-radius:10px;background:var(--crt);color:var(--cr);"
    "font-weight:700;font-size:11px;white-space:nowrap}\n"
    ".rp-status.ok{background:var(--brt);color:var(--br)}\n"
    ".rp-status .d{display:inline-block;width:7px;height:7px;border-radius:4px;background:currentColor;"
    "margin-right:6px;vertical-align:1px}\n"
    ".rp-gen{color:var(--fn);font-size:10.5px;margin-top:5px}\n"
    ".rp-who{display:flex;flex-wrap:wrap;gap:12px 36px;padding:18px 0 16px}\n"
    ".rp-f .l{font-size:9.5px;font-weight:600;text-transform:uppercase;letter-spacing:.08em;color:var(--fn)}\n"
    ".rp-f .v{font-size:14px;font-weight:600;margin-top:2px}\n"
    ".rp-summ{display:flex;border:1px solid var(--l2);margin-bottom:6px}\n"
    ".rp-s{flex:1;padding:12px 14px;border-left:1px solid var(--l2)}\n"
    ".rp-s:first-child{border-left:0}\n"
    ".rp-s .n{font-size:22px;font-weight:700;line-height:1.15}\n"
    ".rp-s .n.cr{color:var(--cr)}\n"
    ".rp-s .k{color:var(--m);font-size:10.5px;margin-top:3px}\n"
    ".rp-sec{font-size:10px;font-weight:700;text-transform:uppercase;letter-spacing:.1em;color:var(--br);"
    "margin:22px 0 8px}\n"
    ".rp-tbl{width:100%;border-collapse:collapse;font-variant-numeric:tabular-nums}\n"
    ".rp-tbl th{font-size:9px;font-weight:600;text-transform:uppercase;letter-spacing:.06em;color:var(--fn);"
    "text-align:right;padding:5px 6px;border-bottom:1px solid var(--l2);white-space:nowrap}\n"
    ".rp-tbl td{text-align:right;padding:4px 6px;border-bottom:1px solid var(--ln);color:var(--m);white-space:nowrap}\n"
    ".rp-tbl .l{text-align:left}\n"
    ".rp-tbl td.l{white-space:normal}\n"
    ".rp-tbl .pri{color:var(--i);font-weight:600}\n"
    ".rp-tbl td.pri{white-space:nowrap}\n"
    ".rp-tbl tr.tot td{font-weight:700;color:var(--i);border-top:2px solid var(--i);border-bottom:0;padding-top:6px}\n"
    ".rp-tbl tr.hl td{color:var(--cr);font-weight:600}\n"
    ".rp-fc{font-size:10.5px;color:var(--i)}\n"
    ".rp-vc{display:inline-block;min-width:16px;padding:0 4px;text-align:center;font-weight:700;color:var(--cr);"
    "background:var(--crt)}\n"
    ".rp-none{color:var(--br);background:var(--brt);font-weight:600;padding:10px 14px}\n"
    ".rp-vline,.rp-gline{display:flex;align-items:baseline;gap:12px;padding:6px 0;border-bottom:1px solid var(--ln)}\n"
    ".rp-vline .c{flex:none;width:56px;font-weight:700;color:var(--cr)}\n"
    ".rp-vline.warn .c{color:var(--wr)}\n"
    ".rp-vline .r,.rp-gline .r{flex:1;color:var(--i)}\n"
    ".rp-vline .r s{display:block;text-decoration:none;font-size:9.5px;font-weight:600;text-transform:uppercase;"
    "letter-spacing:.06em;color:var(--cr)}\n"
    ".rp-vline.warn .r s{color:var(--wr)}\n"
    ".rp-vline .w,.rp-gline .w{flex:none;color:var(--m);white-space:nowrap}\n"
    ".rp-vline .val,.rp-gline .val{flex:none;width:96px;text-align:right;font-weight:700;white-space:nowrap}\n"
    ".rp-gap .hint{color:var(--m);font-size:10.5px;margin-bottom:4px}\n"
    ".rp-err{margin-top:22px;padding:14px 16px;background:var(--crt);color:var(--cr);font-weight:700}\n"
    ".rp-err s{display:block;text-decoration:none;font-weight:400;color:var(--i);margin-top:6px}\n"
    ".rp-sign{margin-top:26px}\n"
    ".rp-sign .rp-sign-row{display:flex;gap:36px;margin-top:6px}\n"
    ".rp-sign .rp-sign-c{flex:1}\n"
    ".rp-sign .rp-sign-who{font-weight:700;margin-bottom:26px}\n"
    ".rp-sign .rp-sign-line{border-top:1px solid var(--i);padding-top:3px;margin-bottom:30px;color:var(--m);font-size:10px}\n"
    ".rp-foot{display:flex;justify-content:space-between;margin-top:26px;padding-top:8px;border-top:1px solid var(--l2);"
    "color:var(--fn);font-size:10px}\n";

// A neutral mark: a tachograph dial with a speed needle, 46 x 30 px.
constexpr const char* kMark =
    "<svg class=\"rp-mk\" viewBox=\"0 0 46 30\" xmlns=\"http://www.w3.org/2000/svg\" aria-hidden=\"true\">"
    "<rect x=\"1\" y=\"1\" width=\"44\" height=\"28\" fill=\"#0c1512\"/>"
    "<path d=\"M9 23a14 14 0 0 1 28 0\" fill=\"none\" stroke=\"#e7f3ed\" stroke-width=\"2.4\"/>"
    "<path d=\"M23 23L31 12\" stroke=\"#0f7a56\" stroke-width=\"2.6\" stroke-linecap=\"square\"/>"
    "<rect x=\"21\" y=\"21\" width=\"4\" height=\"4\" fill=\"#e7f3ed\"/></svg>";

constexpr const char* kDocument = "Auswertung Fahrerkarte";
constexpr const char* kSubtitle = "Auswertung Fahrerkarte · Prüfung nach VO (EG) 561/2006";

constexpr const char* kWeekdays[] = {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
constexpr const char* kEnDash = "–";

std::string weekday(std::int64_t t) {
    const CivilTime c = toCivilTime(t);
    const std::int64_t days = daysFromCivil(c.year, c.month, c.day);
    return kWeekdays[((days + 4) % 7 + 7) % 7];  // 1 January 1970 was a Thursday
}

std::string reportDateTime(std::int64_t t) { return formatDateDotTime(t); }

// The running head of every printed sheet: who, which card, which period.
std::string pageHead(const AnalysisResult& r, const std::string& period) {
    std::string head = "Fahrer: " + (r.driver.empty() ? std::string(kEnDash) : r.driver) +
                       " · Karte: " + (r.card.empty() ? std::string(kEnDash) : r.card);
    return period.empty() ? head : head + " · Zeitraum: " + period;
}

std::string valueAndLimit(const ReferenceViolation& v) {
    if (v.code == kRefReducedDailyRestCount) return std::to_string(v.value) + " / " + std::to_string(v.limit);
    return formatDurationMinutes(v.value) + " / " + formatDurationMinutes(v.limit);
}

std::size_t violationsWithin(const std::vector<ReferenceViolation>& violations, const CoreShift& s) {
    std::size_t count = 0;
    for (const auto& v : violations) count += v.when >= s.start && v.when <= s.end ? 1 : 0;
    return count;
}

// Room for the driver and the dispatcher to confirm that the driver was shown the findings.
void appendSignatures(std::string& html) {
    html += "<div class=\"rp-sign\"><div class=\"rp-sec\">Zur Kenntnis genommen</div><div class=\"rp-sign-row\">";
    for (const char* who : {"Fahrer", "Disponent"}) {
        html += std::string("<div class=\"rp-sign-c\"><div class=\"rp-sign-who\">") + who +
                "</div><div class=\"rp-sign-line\">Datum</div><div class=\"rp-sign-line\">Unterschrift</div></div>";
    }
    html += "</div></div>";
}

void appendShifts(std::string& html, const AnalysisResult& r) {
    html += "<div class=\"rp-sec\">Arbeitsschichten</div>";
    if (r.shifts.empty()) {
        html += "<div class=\"rp-none\">Keine Arbeitsschichten im Zeitraum</div>";
        return;
    }
    html += "<table class=\"rp-tbl\"><thead><tr><th class=\"l\">Datum</th><th>Beginn</th><th>Ende</th><th>Dauer</th>"
            "<th>Lenken</th><th>Arbeit</th><th>Bereit.</th><th>Ruhe</th><th class=\"l\">Fahrzeug</th><th>V.</th>"
            "</tr></thead><tbody>";
    std::int64_t duration = 0, drive = 0, work = 0, standby = 0, restMinutes = 0;
    std::size_t violations = 0;
    for (const auto& shift : r.shifts) {
        const CoreShift& s = shift.core;
        const std::size_t count = violationsWithin(r.violations, s);
        duration += s.end - s.start;
        drive += s.drive;
        work += s.work;
        standby += s.standby;
        restMinutes += shift.detail.rest;
        violations += count;
        html += "<tr><td class=\"l pri\">" + weekday(s.start) + " " + escapeHtml(formatDate(s.start)) + "</td>";
        html += "<td>" + formatTime(s.start) + "</td><td>" + formatTime(s.end) + "</td>";
        html += "<td class=\"pri\">" + formatDurationSeconds(s.end - s.start) + "</td>";
        html += "<td>" + formatDurationSeconds(s.drive) + "</td><td>" + formatDurationSeconds(s.work) + "</td>";
        html += "<td>" + formatDurationSeconds(s.standby) + "</td><td>" + formatDurationMinutes(shift.detail.rest) + "</td>";
        html += "<td class=\"l\">";
        if (!shift.detail.vehicle.empty()) html += "<span class=\"rp-fc\">" + escapeHtml(shift.detail.vehicle) + "</span>";
        html += "</td><td>";
        html += count > 0 ? "<span class=\"rp-vc\">" + std::to_string(count) + "</span>" : std::string(kEnDash);
        html += "</td></tr>";
    }
    html += "<tr class=\"tot\"><td class=\"l\">Summe (" + std::to_string(r.shifts.size()) +
            " Schichten)</td><td></td><td></td><td>" + formatDurationSeconds(duration) + "</td><td>" +
            formatDurationSeconds(drive) + "</td><td>" + formatDurationSeconds(work) + "</td><td>" +
            formatDurationSeconds(standby) + "</td><td>" + formatDurationMinutes(restMinutes) + "</td><td></td><td>" +
            (violations > 0 ? std::to_string(violations) : std::string()) + "</td></tr></tbody></table>";
}

void appendViolations(std::string& html, const AnalysisResult& r) {
    if (r.violations.empty()) {
        html += "<div class=\"rp-sec\">Verstöße</div><div class=\"rp-none\">Keine Verstöße im Zeitraum festgestellt</div>";
        return;
    }
    html += "<div class=\"rp-viol\"><div class=\"rp-sec\">Festgestellte Verstöße</div>";
    for (const auto& v : r.violations) {
        const bool warning = v.level < 4;
        html += std::string("<div class=\"rp-vline") + (warning ? " warn" : "") + "\"><span class=\"c num\">" +
                std::to_string(v.code) + "</span><span class=\"r\">" + escapeHtml(referenceRuleText(v.code)) + "<s>" +
                (warning ? "Warnung" : "Kritischer Verstoß") + "</s></span><span class=\"w num\">" +
                reportDateTime(v.when) + "</span><span class=\"val num\">" + valueAndLimit(v) + "</span></div>";
    }
    html += "</div>";
}

void appendCoverageGaps(std::string& html, const AnalysisResult& r) {
    html += "<div class=\"rp-gap\"><div class=\"rp-sec\">Nicht bewertbare Zeiträume</div>";
    html += "<div class=\"hint\">Karte nicht gesteckt oder ohne auswertbare Daten — hier kann die Einhaltung der "
            "Lenk- und Ruhezeiten nicht beurteilt werden.</div>";
    for (const auto& gap : r.coverageGaps) {
        html += "<div class=\"rp-gline\"><span class=\"r\">" + escapeHtml(coverageCauseText(gap.cause)) +
                "</span><span class=\"w num\">" + reportDateTime(gap.begin) + " " + kEnDash + " " +
                reportDateTime(gap.end) + "</span><span class=\"val num\">" + formatDurationSeconds(gap.end - gap.begin) +
                "</span></div>";
    }
    html += "</div>";
}

std::string positionText(const GnssPosition& p) {
    if (!p.known) return kEnDash;
    return degreesMinutesText(p.latitude, true) + " " + degreesMinutesText(p.longitude, false);
}

// Days and working time per country over the period, then every border crossing.
void appendCountries(std::string& html, const AnalysisResult& r) {
    struct Total {
        std::int64_t days = 0;
        CountryTime time;
    };
    std::map<std::uint8_t, Total> totals;
    for (const auto& day : r.countryDays) {
        for (const auto& c : day.countries) {
            Total& t = totals[c.country];
            ++t.days;
            t.time.driving += c.driving;
            t.time.work += c.work;
            t.time.availability += c.availability;
        }
    }
    html += "<div class=\"rp-ctry\"><div class=\"rp-sec\">Länder und Grenzübertritte</div>";
    if (!totals.empty()) {
        html += "<table class=\"rp-tbl\"><thead><tr><th class=\"l\">Land</th><th>Tage</th><th>Lenken</th>"
                "<th>Arbeit</th><th>Bereit.</th><th>Arbeitszeit</th></tr></thead><tbody>";
        for (const auto& [country, t] : totals) {
            html += "<tr><td class=\"l pri\">" + escapeHtml(nationName(country)) + "</td><td>" + std::to_string(t.days) +
                    "</td><td>" + formatDurationSeconds(t.time.driving) + "</td><td>" + formatDurationSeconds(t.time.work) +
                    "</td><td>" + formatDurationSeconds(t.time.availability) + "</td><td class=\"pri\">" +
                    formatDurationSeconds(t.time.workingTime()) + "</td></tr>";
        }
        html += "</tbody></table>";
    }
    if (r.borderCrossings.empty()) {
        html += "<div class=\"rp-none\">Keine Grenzübertritte im Zeitraum</div></div>";
        return;
    }
    html += "<table class=\"rp-tbl\"><thead><tr><th class=\"l\">Zeitpunkt</th><th class=\"l\">Von</th>"
            "<th class=\"l\">Nach</th><th class=\"l\">Position</th><th>Odometer</th><th>Authentisiert</th></tr></thead><tbody>";
    for (const auto& b : r.borderCrossings) {
        html += "<tr><td class=\"l pri\">" + reportDateTime(b.position.time) + "</td><td class=\"l\">" +
                escapeHtml(nationName(b.countryLeft)) + "</td><td class=\"l\">" + escapeHtml(nationName(b.countryEntered)) +
                "</td><td class=\"l\">" + positionText(b.position) + "</td><td>" +
                (isEmptyOdometer(b.odometer) ? std::string(kEnDash) : std::to_string(b.odometer)) + "</td><td>" +
                (b.position.authenticated() ? "ja" : "nein") + "</td></tr>";
    }
    html += "</tbody></table></div>";
}

std::string errorReport(const AnalysisResult& r, const ReportOptions& options) {
    std::string html;
    appendReportHead(html, "Fehler", kSubtitle, "<span class=\"rp-status\"><span class=\"d\"></span>Auswertung fehlgeschlagen</span>",
               options.generatedAt, escapeHtml(pageHead(r, "")));
    if (!r.driver.empty() || !r.card.empty()) {
        html += "<div class=\"rp-who\">" + reportField("Fahrer", r.driver, false) + reportField("Kartennummer", r.card, true) + "</div>";
    }
    html += "<div class=\"rp-err\">Diese Fahrerkarte konnte nicht ausgewertet werden.";
    if (!r.error.empty()) html += "<s>" + escapeHtml(r.error) + "</s>";
    html += "</div>";
    appendReportFoot(html, kDocument, r.card);
    return html;
}

}  // namespace

std::string reportField(const char* label, const std::string& value, bool numeric) {
    return std::string("<div class=\"rp-f\"><div class=\"l\">") + label + "</div><div class=\"v" +
           (numeric ? " num" : "") + "\">" + (value.empty() ? std::string(kEnDash) : escapeHtml(value)) + "</div></div>";
}

std::string reportTile(const char* label, const std::string& value, bool highlighted) {
    return std::string("<div class=\"rp-s\"><div class=\"n num") + (highlighted ? " cr" : "") + "\">" + value +
           "</div><div class=\"k\">" + label + "</div></div>";
}

void appendReportSection(std::string& html, const char* title) { html += std::string("<div class=\"rp-sec\">") + title + "</div>"; }

void appendReportTable(std::string& html, const std::vector<ReportColumn>& columns, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& highlighted, bool totals) {
    html += "<table class=\"rp-tbl\"><thead><tr>";
    for (const ReportColumn& c : columns) html += std::string(c.left ? "<th class=\"l\">" : "<th>") + c.label + "</th>";
    html += "</tr></thead><tbody>";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const bool last = totals && r + 1 == rows.size();
        html += r < highlighted.size() && highlighted[r] ? "<tr class=\"hl\">" : last ? "<tr class=\"tot\">" : "<tr>";
        for (std::size_t i = 0; i < rows[r].size() && i < columns.size(); ++i) {
            html += std::string(columns[i].left ? "<td class=\"l\">" : "<td>") + escapeHtml(rows[r][i]) + "</td>";
        }
        html += "</tr>";
    }
    html += "</tbody></table>";
}

void appendReportHead(std::string& html, const std::string& title, const std::string& subtitle, const std::string& status,
                      std::int64_t generatedAt, const std::string& pageHead) {
    html += "<!doctype html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    html += "<title>Bericht — " + title + "</title>\n<style>";
    html += kStyle;
    html += "</style>\n</head>\n<body>\n<div class=\"page\" data-head=\"" + pageHead + "\"><div class=\"rp\">";
    html += "<div class=\"rp-head\">";
    html += kMark;
    html += "<div><div class=\"rp-wm\">VELMORANT DDD</div><div class=\"rp-doc\">" + subtitle + "</div></div>";
    html += "<div class=\"rp-rt\">" + status;
    if (generatedAt >= 1) html += "<div class=\"rp-gen\">Erstellt am " + formatDate(generatedAt) + "</div>";
    html += "</div></div>";
}

void appendReportFoot(std::string& html, const std::string& document, const std::string& right) {
    html += "<div class=\"rp-foot\"><span>VELMORANT DDD · " + document + "</span><span class=\"num\">" +
            escapeHtml(right) + "</span></div>";
    html += "</div></div>\n</body>\n</html>\n";
}

std::string buildReportHtml(const AnalysisResult& whole, const ReportOptions& options) {
    const AnalysisResult r = restrictToMonth(whole, options.monthKey);
    if (!r.ok) return errorReport(r, options);
    const std::string period = periodText(coveredDaysInMonth(coveredDays(whole.activities), options.monthKey), true);

    const std::string status =
        r.violations.empty() ? "<span class=\"rp-status ok\"><span class=\"d\"></span>Keine Verstöße</span>"
                             : "<span class=\"rp-status\"><span class=\"d\"></span>" + std::to_string(r.violations.size()) +
                                   " Verstöße</span>";
    std::string html;
    appendReportHead(html, escapeHtml(r.driver), kSubtitle, status, options.generatedAt, escapeHtml(pageHead(r, period)));
    html += "<div class=\"rp-who\">" + reportField("Fahrer", r.driver, false) + reportField("Kartennummer", r.card, true) +
            reportField("Ausstellungsland", nationName(r.nation), false) + reportField("Zeitraum", period, false) +
            "</div>";

    std::int64_t drive = 0;
    for (const auto& shift : r.shifts) drive += shift.core.drive;
    const auto shiftCount = static_cast<std::int64_t>(r.shifts.size());
    html += "<div class=\"rp-summ\">";
    html += reportTile("Arbeitsschichten", std::to_string(shiftCount), false);
    html += reportTile("Verstöße", std::to_string(r.violations.size()), !r.violations.empty());
    html += reportTile("Lenkzeit gesamt", formatDurationSeconds(drive), false);
    html += reportTile("&#216; Lenkzeit / Tag", formatDurationSeconds(shiftCount > 0 ? drive / shiftCount : 0), false);
    // The segments of the timeline, as the page counts them and the CSV set lists them.
    html += reportTile("Tätigkeiten", std::to_string(r.activities.size()), false);
    html += "</div>";

    appendShifts(html, r);
    appendViolations(html, r);
    if (options.showCoverageGaps && !r.coverageGaps.empty()) appendCoverageGaps(html, r);
    if (!r.countryDays.empty() || !r.borderCrossings.empty()) appendCountries(html, r);
    appendSignatures(html);
    appendReportFoot(html, kDocument, r.card);
    return html;
}

bool berichtPdf(const std::vector<std::string>& paths, const std::string& monthKey, const std::string& outPath,
                std::string& error, bool showCoverageGaps, const HtmlToPdf& render) {
    const AnalysisResult result = analyzeFiles(paths);
    if (!result.ok) {
        error = result.error;
        return false;
    }
    const ReportOptions options{monthKey, static_cast<std::int64_t>(std::time(nullptr)), showCoverageGaps};
    return render(buildReportHtml(result, options), outPath, error, kRenderTimeoutSeconds);
}

}  // namespace ddd::report
