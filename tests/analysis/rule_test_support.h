// Helpers of the rule-check tests: findings reduced to what a case states, timelines with a
// stretch lengthened by seconds, and generated card downloads evaluated as the analysis does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/merge.h"
#include "analysis/rule_engine.h"
#include "tests/analysis/generated_histories.h"
#include "tests/analysis/test_support.h"

namespace ddd::test {

// The Monday the rule tables start from, and their units.
inline const std::int64_t kMonday = utcDay(2024, 3, 4);
inline constexpr std::int64_t h = kHour;
inline constexpr std::int64_t m = 60;

// What a case states of a finding.
struct Finding {
    std::string code;
    std::int32_t severity = 0;
    std::int64_t value = 0;
    std::int64_t limit = 0;
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t when = 0;

    bool operator==(const Finding&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Finding& f) {
    return out << "{" << f.code << " class " << f.severity << " value " << f.value << " limit " << f.limit
               << " [" << f.start << ", " << f.end << ") when " << f.when << "}";
}

// The findings of the rules whose identifier begins with `rule` ("eu.561.daily_rest" takes the
// daily rest and the reduced-rest count), in the engine's order.
inline std::vector<Finding> findingsOf(const std::vector<LegalViolation>& all, std::string_view rule) {
    std::vector<Finding> out;
    for (const auto& v : all) {
        if (std::string_view(v.rule).starts_with(rule)) out.push_back({v.code, v.severity, v.value, v.limit, v.start, v.end, v.when});
    }
    return out;
}

inline std::vector<LegalViolation> strictFindings(const Timeline& timeline) {
    return evaluateRules(timeline, RuleOptions{}).violations;
}

// Stretch `index` cut short by `seconds`, leaving a hole before the next one.
inline Timeline withHole(Timeline timeline, std::size_t index, std::int64_t seconds) {
    timeline.at(index).end -= seconds;
    return timeline;
}

// "H:MM" of a number of minutes, for building block texts.
inline std::string hm(int minutes) {
    const int m = minutes % 60;
    return std::to_string(minutes / 60) + (m < 10 ? ":0" : ":") + std::to_string(m);
}

// The text repeated `times` times.
inline std::string repeated(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += std::string(text) + " ";
    return out;
}

// A named case of a rule table: a timeline and the findings it must give.
struct RuleCase { const char* name; Timeline timeline; std::vector<Finding> expected; };

// Each case's strict findings of the rules whose identifier begins with `rule`.
inline void expectFindings(std::string_view rule, const std::vector<RuleCase>& cases) {
    for (const auto& c : cases) EXPECT_EQ(findingsOf(strictFindings(c.timeline), rule), c.expected) << c.name;
}

// The same with each timeline laid out from a block text by `lay`.
struct BlocksCase { const char* name; std::string blocks; std::vector<Finding> expected; };

template <class Lay>
void expectFindings(std::string_view rule, const std::vector<BlocksCase>& cases, Lay lay) {
    for (const auto& c : cases) EXPECT_EQ(findingsOf(strictFindings(lay(c.blocks)), rule), c.expected) << c.name;
}

// The strict findings of a card download written from a generated timeline, decoded and merged.
inline std::vector<LegalViolation> strictFindingsOfDownload(const gen::Timeline& history) {
    gen::CardDescription card;
    card.days = history.days();
    const DriverCardFile file = decodeWritten(withLargeActivityArea(card));
    const DriverCardFile* files[] = {&file};
    return evaluateMergedView(mergeDownloads(files), RuleOptions{}).violations;
}

}  // namespace ddd::test
