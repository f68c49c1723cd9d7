// The whole analysis of one card download: decoding, merge, timeline, shifts, both rule
// evaluations, forecasts and the analysis document, whose text must always be valid JSON text.
#include <cstdlib>

#include "analysis/pipeline.h"
#include "core/card_file.h"
#include "core/json_writer.h"
#include "fuzz/fuzz_target.h"
#include "report/analysis_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto file = ddd::decodeCardFile(ddd::Bytes(data, size));
    if (!file) return 0;
    const ddd::DriverCardFile* cards[] = {&file.value()};
    const std::string document = ddd::toAnalysisJson(ddd::analyze(cards));
    // Every card text reaches the document escaped: no control character, no malformed UTF-8.
    if (ddd::visibleText(document) != document) std::abort();
    return 0;
}
