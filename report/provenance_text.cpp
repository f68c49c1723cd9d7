#include "report/provenance_text.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "analysis/pipeline.h"
#include "core/atomic_file.h"
#include "core/json_writer.h"
#include "core/primitives.h"
#include "report/month_restriction.h"

namespace ddd::report {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr const char* kEnDash = " – ";
const std::string kRulerDouble(56, '=');
const std::string kRulerSingle(56, '-');

std::string periodText(const std::string& key) {
    if (key.empty()) return "Gesamter Verlauf";
    if (key.size() == 7 && key[4] == '/' && std::isdigit(static_cast<unsigned char>(key[5])) &&
        std::isdigit(static_cast<unsigned char>(key[6]))) {
        const int month = (key[5] - '0') * 10 + (key[6] - '0');
        if (month >= 1 && month <= 12) return std::string(germanMonthName(month)) + " " + key.substr(0, 4);
    }
    return key;
}

std::string dayRuns(std::vector<std::int64_t> days) {
    std::sort(days.begin(), days.end());
    std::string text;
    for (std::size_t i = 0; i < days.size();) {
        std::size_t last = i;
        while (last + 1 < days.size() && days[last + 1] - days[last] == kDay) ++last;
        if (!text.empty()) text += ", ";
        text += formatDate(days[i]);
        if (last > i) text += kEnDash + formatDate(days[last]);
        i = last + 1;
    }
    return text;
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

// Each day goes to exactly one file; the file that explains most of the still unassigned days
// is taken first, so that as few files as possible are listed.
std::map<std::size_t, std::vector<std::int64_t>> attributeDays(const ProvenanceModel& model,
                                                               const std::vector<const ProvenanceDay*>& days) {
    std::map<std::size_t, std::vector<std::int64_t>> byFile;
    std::vector<bool> assigned(days.size(), false);
    for (;;) {
        std::vector<std::size_t> counts(model.files.size(), 0);
        for (std::size_t d = 0; d < days.size(); ++d) {
            if (assigned[d]) continue;
            for (std::size_t source : days[d]->sources) {
                if (source < counts.size()) ++counts[source];
            }
        }
        std::size_t best = 0;
        for (std::size_t f = 1; f < counts.size(); ++f) {
            const auto& a = model.files[f];
            const auto& b = model.files[best];
            const std::int64_t latestA = a.latestDate.value_or(0), latestB = b.latestDate.value_or(0);
            if (counts[f] > counts[best] || (counts[f] == counts[best] && (latestA < latestB ||
                                                                           (latestA == latestB && a.name < b.name)))) {
                best = f;
            }
        }
        if (counts.empty() || counts[best] == 0) return byFile;
        for (std::size_t d = 0; d < days.size(); ++d) {
            if (assigned[d]) continue;
            const auto& sources = days[d]->sources;
            if (std::find(sources.begin(), sources.end(), best) == sources.end()) continue;
            assigned[d] = true;
            byFile[best].push_back(days[d]->day);
        }
    }
}

void appendFileBlock(std::string& text, std::size_t number, const ProvenanceFile& file, std::vector<std::int64_t> days) {
    // A name holding a line break would forge a line of the manifest (a source, a date).
    text += "  (" + std::to_string(number) + ") " + visibleText(file.name) + "\n";
    const bool knownDownload = file.downloadTime && !isEmptyTime(*file.downloadTime);
    text += "   Kartenauslesung: " + (knownDownload ? formatDateTime(*file.downloadTime) : std::string("unbekannt")) + "\n";
    if (file.distinctDates > 0 && file.earliestDate && file.latestDate) {
        text += "   Datei-Abdeckung: " + formatDate(*file.earliestDate) + kEnDash + formatDate(*file.latestDate) + "  (" +
                plural(file.distinctDates, " Tag in der Datei)", " Tage in der Datei)") + "\n";
    }
    text += "   Tage daraus:     " + dayRuns(days) + "  (" + plural(days.size(), " Tag)", " Tage)") + "\n";
}

}  // namespace

std::string renderProvenanceText(const ProvenanceModel& model, const std::string& periodKey, std::int64_t createdAt) {
    std::string text = kRulerDouble + "\n  QUELLENNACHWEIS — VELMORANT DDD\n" + kRulerDouble + "\n";
    text += "Fahrer:   " + visibleText(model.driver);
    if (model.nation != 0) text += (model.driver.empty() ? "(" : "  (") + nationName(model.nation) + ")";
    text += "\nKarte:    " + visibleText(model.card) + "\n";
    text += "Zeitraum: " + periodText(periodKey) + "\n";
    text += "Erstellt: " + formatDate(createdAt) + " durch VELMORANT DDD\n\n";

    std::vector<const ProvenanceDay*> selected;
    for (const auto& day : model.days) {
        if (day.sources.empty()) continue;
        if (!periodKey.empty() && monthKeyOf(day.day) != periodKey) continue;
        selected.push_back(&day);
    }
    const auto byFile = attributeDays(model, selected);
    if (byFile.empty()) {
        text += "Für diesen Zeitraum wurden keine Tagesdaten aus Quelldateien\nübernommen.\n";
        return text;
    }

    std::vector<std::size_t> listed;
    for (const auto& entry : byFile) listed.push_back(entry.first);
    std::sort(listed.begin(), listed.end(),
              [&](std::size_t a, std::size_t b) { return model.files[a].name < model.files[b].name; });

    text += "Dieser Bericht wurde aus " +
            plural(listed.size(), " Quelldatei zusammengesetzt.\n", " Quelldateien zusammengesetzt.\n");
    text += "Für jeden Tag ist die Datei angegeben, aus der er übernommen\n";
    text += "wurde — jede lässt sich einzeln öffnen und unabhängig prüfen\n";
    text += "(z. B. in einer Tachograph-Auswertung wie Tavrisco).\n";
    text += kRulerSingle + "\n";
    std::size_t attributed = 0;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const auto& days = byFile.at(listed[i]);
        attributed += days.size();
        appendFileBlock(text, i + 1, model.files[listed[i]], days);
    }
    text += kRulerSingle + "\n";
    text += "Zusammengesetzt: " + plural(attributed, " Tag aus ", " Tage aus ") +
            plural(listed.size(), " Datei.\n", " Dateien.\n");

    std::vector<std::int64_t> conflicts;
    for (const auto* day : selected) {
        if (day->conflict) conflicts.push_back(day->day);
    }
    if (!conflicts.empty()) {
        text += "\nHinweis: Diese Karte wurde mehrfach ausgelesen. Für die folgenden\n";
        text += "Tage lagen weitere (meist frühere oder unvollständige) Auslesungen\n";
        text += "vor; verwendet wurde jeweils die vollständigste — die oben\n";
        text += "zugeordnete Datei:\n";
        text += "   " + dayRuns(conflicts) + "\n";
    }
    return text;
}

std::string provenanceTextOfFile(const std::string& openedPath, const std::string& periodKey, std::int64_t createdAt) {
    std::optional<CardGroup> group = driverGroupOfFile(openedPath);
    if (!group) {
        // Not found beside other downloads (no ".ddd" name, say): the file alone, as the analysis takes it.
        const auto bytes = readWholeFile(openedPath);
        if (!bytes) return {};
        auto decoded = decodeCardFile(*bytes);
        if (!decoded) return {};
        group.emplace();
        group->paths.push_back(openedPath);
        group->cards.push_back(std::make_unique<DriverCardFile>(std::move(decoded).value()));
    }
    std::vector<const DriverCardFile*> cards;
    for (const auto& card : group->cards) cards.push_back(card.get());
    const AnalysisResult result = analyze(cards);
    if (!result.ok) return {};
    return renderProvenanceText(buildProvenance(group->paths, cards, result.card, result.driver, result.nation), periodKey,
                                createdAt);
}

}  // namespace ddd::report
