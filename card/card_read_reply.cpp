#include "card/card_read_reply.h"

#include "card/card_temp_folder.h"
#include "core/json_writer.h"
#include "report/analysis_json.h"

#include <exception>

namespace ddd {
namespace {

std::string failure(const std::string& message) {
    std::string json = "{\"ok\":false,\"error\":";
    appendJsonString(json, message);
    json += '}';
    return json;
}

} // namespace

std::string listReadersJson(const CardReadLimits& limits) {
    std::string json = "[";
    for (const std::string& name : listReaders(limits)) {
        if (json.size() > 1) json += ',';
        appendJsonString(json, name);
    }
    json += ']';
    return json;
}

CardReadReply readCardReply(const std::string& readerName, const OpenedFileAnalysis& analyze, const CardReadLimits& limits) {
    CardReadReply reply;
    try {
        const CardReadResult read = readDriverCard(readerName, limits);
        if (!read.ok()) {
            reply.json = failure(read.error);
            return reply;
        }
        const SavedCardDownload saved = saveCardDownload(read.download);
        if (!saved.ok()) {
            reply.json = failure(saved.error);
            return reply;
        }
        reply.savedFile = saved.file;
        reply.tempFolder = saved.folder;
        reply.json = analyze(saved.file);
        return reply;
    } catch (const std::exception& e) {
        reply.json = failure(std::string("Kartenlesen fehlgeschlagen: ") + e.what());
    } catch (...) {
        reply.json = failure("Kartenlesen fehlgeschlagen.");
    }
    if (!reply.tempFolder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(reply.tempFolder, ignored);
        reply.savedFile.clear();
        reply.tempFolder.clear();
    }
    return reply;
}

} // namespace ddd

namespace ddd {

CardReadReply readCardAndAnalyze(const std::string& readerName, const CardReadLimits& limits) {
    return readCardReply(
        readerName, [](const std::filesystem::path& file) { return analyzeOpenedFile(file.string()); }, limits);
}

} // namespace ddd
