#include "app/diagnostic.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <vector>

#include "app/settings.h"
#include "app/shell_host.h"
#include "core/atomic_file.h"
#include "core/card_file.h"
#include "core/card_signature.h"
#include "core/json_writer.h"
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

constexpr std::string_view kFolderPrefix = "ddd_diag.";

// The process id in a name "ddd_diag.<pid>.XXXXXX"; 0 for any other name.
pid_t ownerOf(std::string_view name) {
    if (!name.starts_with(kFolderPrefix)) return 0;
    name.remove_prefix(kFolderPrefix.size());
    const std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot > 9) return 0;
    pid_t pid = 0;
    for (const char c : name.substr(0, dot)) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

// A run that crashed or was killed could not remove its folder; the next run does, taking only
// this user's folders whose process is gone.
void removeAbandonedFolders(const std::filesystem::path& parent) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(parent, error), end; !error && it != end; it.increment(error)) {
        const pid_t owner = ownerOf(it->path().filename().native());
        struct stat info {};
        if (owner <= 0 || owner == ::getpid() || ::lstat(it->path().c_str(), &info) != 0) continue;
        if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) continue;
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
        std::error_code removeError;
        std::filesystem::remove_all(it->path(), removeError);
        diagLog("diag: removed abandoned folder " + it->path().string());
    }
}

// Exceptions are caught here so that the folder is always removed and the exit code says failure.
template <typename Step>
bool guarded(const char* name, Step step) {
    try {
        return step();
    } catch (const std::exception& error) {
        diagLog(std::string(name) + ": failed: " + error.what());
    } catch (...) {
        diagLog(std::string(name) + ": failed");
    }
    return false;
}

}  // namespace

std::string diagnosticFolderTemplate() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string parent = tmp && tmp[0] == '/' ? tmp : "/tmp";
    return parent + "/" + std::string(kFolderPrefix) + std::to_string(::getpid()) + ".XXXXXX";
}

int runDiagnostic(const std::string& file, const report::HtmlToPdf& render, const std::string& folderTemplate) {
    removeAbandonedFolders(std::filesystem::path(folderTemplate).parent_path());
    std::vector<char> name(folderTemplate.begin(), folderTemplate.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        diagLog("diag: could not create private temp directory");
        return 1;
    }
    const std::string folder = name.data();
    diagLog("diag: writing into " + folder);
    guarded("diag authenticity", [&] {
        logAuthenticity(file);
        return true;
    });

    const bool csv = guarded("diag CSV", [&] {
        const report::CsvExportResult written = report::exportCsv({file}, "", folder + "/csv");
        diagLog("diag CSV: ok=" + std::string(written.ok ? "1" : "0") + " written=" + std::to_string(written.written) +
                " err=" + visibleText(written.error));
        return written.ok;
    });
    const bool pdf = guarded("diag berichtPdf", [&] {
        std::string pdfError;
        const bool written =
            report::berichtPdf({file}, "", folder + "/report.pdf", pdfError, loadSettings().showCoverageGaps, render);
        diagLog("diag berichtPdf: ok=" + std::string(written ? "1" : "0") + " err=" + visibleText(pdfError));
        return written;
    });

    std::error_code error;
    std::filesystem::remove_all(folder, error);
    if (error) diagLog("diag: temp cleanup failed: " + (error.message().empty() ? std::string("unknown") : error.message()));
    return csv && pdf ? 0 : 1;
}

}  // namespace ddd::app
