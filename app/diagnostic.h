// The diagnostic mode: one download file analysed without a window, from decoding to the CSV
// set and the PDF report in a private temporary folder that is removed afterwards.
#pragma once

#include <string>

#include "report/driver_report.h"

namespace ddd::app {

inline constexpr const char* kDiagnosticFolderTemplate = "/tmp/ddd_diag.XXXXXX";

// Logs every step and returns the exit code: 0 when the CSV set and the PDF were both written,
// else 1. `folderTemplate` is a mkdtemp template.
int runDiagnostic(const std::string& file, const report::HtmlToPdf& render,
                  const std::string& folderTemplate = kDiagnosticFolderTemplate);

}  // namespace ddd::app
