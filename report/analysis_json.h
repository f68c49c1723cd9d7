// The analysis document the dashboard reads: one JSON text per analysed driver, with German
// local dates and times and "HH:MM" durations.
#pragma once

#include <string>

#include "analysis/analysis_result.h"
#include "core/json_writer.h"

namespace ddd {

// Never fails: a result whose ok is false gives the error document.
std::string toAnalysisJson(const AnalysisResult& result);
// The same document into a writer, which may hand it on in pieces.
void writeAnalysisJson(JsonWriter& writer, const AnalysisResult& result);

// The analysis of an opened card download and of the other downloads of its driver in the same
// folder tree, as the analysis document.
std::string analyzeOpenedFile(const std::string& path);

}  // namespace ddd
