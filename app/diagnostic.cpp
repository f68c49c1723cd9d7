#include "app/diagnostic.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/settings.h"
#include "app/shell_host.h"
#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/card_signature.h"
#include "report/csv_export.h"

namespace ddd::app {
namespace {

// Whether the data is what the card signed: the status, and each failing file or certificate.
// Only a download that decodes as a card download has a signature status to tell.
void logAuthenticity(const std::string& file) {
    const auto bytes = readWholeFile(file);
    if (!bytes || !decodeCardFile(*bytes)) return;
    const AuthenticityCheck check = verifyCardDownload(*bytes, installedTrustAnchors());
    std::string line = "diag authenticity: " + std::string(authenticityText(check.status));
    for (const std::string& problem : check.problems) line += "; " + problem;
    diagLog(line);
}

}  // namespace

int runDiagnostic(const std::string& file, const report::HtmlToPdf& render, const std::string& folderTemplate) {
    std::vector<char> name(folderTemplate.begin(), folderTemplate.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        diagLog("diag: could not create private temp directory");
        return 1;
    }
    const std::string folder = name.data();
    diagLog("diag: writing into " + folder);
    logAuthenticity(file);

    const report::CsvExportResult csv = report::exportCsv({file}, "", folder + "/csv");
    diagLog("diag CSV: ok=" + std::string(csv.ok ? "1" : "0") + " written=" + std::to_string(csv.written) +
            " err=" + csv.error);

    std::string pdfError;
    const bool pdf =
        report::berichtPdf({file}, "", folder + "/report.pdf", pdfError, loadSettings().showCoverageGaps, render);
    diagLog("diag berichtPdf: ok=" + std::string(pdf ? "1" : "0") + " err=" + pdfError);

    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (error) diagLog("diag: temp cleanup failed: " + (error.message().empty() ? std::string("unknown") : error.message()));
    return csv.ok && pdf ? 0 : 1;
}

}  // namespace ddd::app
