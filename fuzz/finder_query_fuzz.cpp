// Search texts from the finder page: parsing, matching against a small index, the JSON answer
// and the report.
#include <string_view>

#include "finder/finder_query.h"
#include "finder/finder_report.h"
#include "fuzz/fuzz_target.h"

namespace {

const ddd::finder::DriverIndex& smallIndex() {
    static const ddd::finder::DriverIndex index = [] {
        ddd::finder::DriverIndex built;
        for (int i = 0; i < 40; ++i) {
            ddd::finder::FinderSession s;
            s.surname = i % 3 ? "Weiß" : "Berger", s.firstNames = "Anna", s.card = "DF00000000000" + std::to_string(i % 7);
            s.plate = i % 4 ? "M AB 12" + std::to_string(i % 5) : "", s.vin = "WDB00000000000" + std::to_string(100 + i);
            s.start = 1709251200 + i * 20000, s.end = i % 6 ? s.start + 30000 : 0, s.source = i % 2 ? 'C' : 'V';
            built.sessions.push_back(s);
        }
        built.buildLookup();
        return built;
    }();
    return index;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto query = ddd::finder::parseFinderQuery(text);
    if (query.timed && query.windowEnd < query.windowStart) __builtin_trap();
    ddd::finder::queryJson(smallIndex(), text);
    ddd::finder::finderReportHtml(smallIndex(), text);
    return 0;
}
