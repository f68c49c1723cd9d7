// The diagnostic mode: one download file analysed without a window, from decoding to the CSV
// set and the PDF report in a private temporary folder that is removed afterwards.
#pragma once

#include <string>

#include "report/driver_report.h"

namespace ddd::app {

// The mkdtemp template of the run's folder: in TMPDIR (else /tmp), named with the process id so
// that a later run can tell a folder whose run has died.
std::string diagnosticFolderTemplate();

// Logs every step and returns the exit code: 0 when the CSV set and the PDF were both written,
// else 1. `folderTemplate` is a mkdtemp template ending in "ddd_diag.<pid>.XXXXXX". Folders of
// earlier runs beside it whose process no longer lives (a crash, a kill) are removed first.
int runDiagnostic(const std::string& file, const report::HtmlToPdf& render,
                  const std::string& folderTemplate = diagnosticFolderTemplate());

}  // namespace ddd::app
