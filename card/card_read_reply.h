// The whole live card read behind the dashboard's card button: download the card in a reader,
// save it as "card.ddd" in a private temporary folder and answer with the analysis of that
// file, or with {"ok":false,"error":...} in German.
#pragma once

#include "card/card_reader.h"

#include <filesystem>
#include <functional>
#include <string>

namespace ddd {

// Analysis of an opened card download, answering the analysis JSON document.
using OpenedFileAnalysis = std::function<std::string(const std::filesystem::path& file)>;

struct CardReadReply {
    std::string json;                   // the answer for the page
    std::filesystem::path savedFile;    // "card.ddd" when a download was saved, else empty
    std::filesystem::path tempFolder;   // its folder, left for the caller to remove at shutdown
};

// The reader list for the page: a JSON array of the names, "[]" when the service is unavailable
// or has no readers.
std::string listReadersJson(const CardReadLimits& limits = {});

// Never throws: every failure becomes a German message in the JSON answer. When the analysis
// throws, the saved folder is removed again, since nobody will take it over.
CardReadReply readCardReply(const std::string& readerName, const OpenedFileAnalysis& analyze,
                            const CardReadLimits& limits = {});

// The live card read as the dashboard runs it: the saved download is analysed like an opened
// file, together with any other download of the driver in its folder.
CardReadReply readCardAndAnalyze(const std::string& readerName, const CardReadLimits& limits = {});

} // namespace ddd
