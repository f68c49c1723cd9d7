// The printable driver report ("Bericht"): one self-contained HTML document with the driver,
// summary tiles, the shifts with totals, the findings and the periods that cannot be assessed,
// made to be printed on numbered A4 sheets, with room for the driver's and the dispatcher's signature.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis_result.h"

namespace ddd::report {

struct ReportOptions {
    std::string monthKey;           // empty for the whole history, or "YYYY/MM"
    std::int64_t generatedAt = 0;   // UTC seconds; below 1 means no creation line
    bool showCoverageGaps = true;
};

// The result is restricted to options.monthKey first; a failed analysis gives the error report.
std::string buildReportHtml(const AnalysisResult& result, const ReportOptions& options);

// The building blocks every printed report shares (driver and vehicle): the head with the mark,
// the document's name, a status and the creation date; a labelled field; a summary tile; the
// footer. `pageHead` is the running head printed on every sheet, already escaped; `status` and
// `subtitle` are HTML.
void appendReportHead(std::string& html, const std::string& title, const std::string& subtitle, const std::string& status,
                      std::int64_t generatedAt, const std::string& pageHead);
void appendReportFoot(std::string& html, const std::string& document, const std::string& right);
std::string reportField(const char* label, const std::string& value, bool numeric);
std::string reportTile(const char* label, const std::string& value, bool highlighted);
void appendReportSection(std::string& html, const char* title);

// A table of plain texts, escaped here; rows flagged in `highlighted` are shown in red, and the
// last row as the totals when `totals` is set.
struct ReportColumn {
    const char* label;
    bool left = false;
};
void appendReportTable(std::string& html, const std::vector<ReportColumn>& columns, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& highlighted = {}, bool totals = false);

// Renders an HTML document into a PDF file; false with a reason in `error`. Supplied by the
// window layer, so that the reports stay free of any toolkit.
using HtmlToPdf = std::function<bool(const std::string& html, const std::string& outPath, std::string& error,
                                     double timeoutSeconds)>;

// Analyses `paths`, builds the report for `monthKey` created now and renders it with a 30-second
// time-out. A failed analysis writes no PDF and returns its reason.
bool berichtPdf(const std::vector<std::string>& paths, const std::string& monthKey, const std::string& outPath,
                std::string& error, bool showCoverageGaps, const HtmlToPdf& render);

}  // namespace ddd::report
