#include <gtest/gtest.h>

#include "core/primitives.h"
#include "report/provenance_text.h"
#include "tests/support/temp_folder.h"

namespace ddd::report {
namespace {

using test::contains;

std::int64_t day(int y, unsigned m, unsigned d) { return daysFromCivil(y, m, d) * 86400; }

ProvenanceFile file(const std::string& name, std::int64_t first, std::int64_t last, std::uint32_t dates,
                    std::optional<std::int64_t> download = std::nullopt) {
    ProvenanceFile f;
    f.name = name;
    f.earliestDate = first;
    f.latestDate = last;
    f.distinctDates = dates;
    f.downloadTime = download;
    return f;
}

ProvenanceModel model() {
    ProvenanceModel m;
    m.card = "DF00001234567800";
    m.driver = "Erika Muster";
    m.nation = 13;
    return m;
}

TEST(ProvenanceText, OneFileByteExact) {
    ProvenanceModel m = model();
    m.files.push_back(file("march.ddd", day(2024, 3, 1), day(2024, 3, 5), 4, day(2024, 3, 6) + 9 * 3600));
    for (unsigned d : {1u, 2u, 3u, 5u}) m.days.push_back({day(2024, 3, d), {0}, false});
    const std::string ruler(56, '=');
    const std::string line(56, '-');
    EXPECT_EQ(renderProvenanceText(m, "2024/03", day(2024, 4, 2) + 12 * 3600),
              ruler + "\n  QUELLENNACHWEIS — VELMORANT DDD\n" + ruler + "\n" +
                  "Fahrer:   Erika Muster  (" + nationName(13) + ")\n"
                  "Karte:    DF00001234567800\n"
                  "Zeitraum: März 2024\n"
                  "Erstellt: 02.04.2024 durch VELMORANT DDD\n"
                  "\n"
                  "Dieser Bericht wurde aus 1 Quelldatei zusammengesetzt.\n"
                  "Für jeden Tag ist die Datei angegeben, aus der er übernommen\n"
                  "wurde — jede lässt sich einzeln öffnen und unabhängig prüfen\n"
                  "(z. B. in einer Tachograph-Auswertung wie Tavrisco).\n" +
                  line + "\n"
                  "  (1) march.ddd\n"
                  "   Kartenauslesung: 06.03.2024 10:00\n"
                  "   Datei-Abdeckung: 01.03.2024 – 05.03.2024  (4 Tage in der Datei)\n"
                  "   Tage daraus:     01.03.2024 – 03.03.2024, 05.03.2024  (4 Tage)\n" +
                  line + "\nZusammengesetzt: 4 Tage aus 1 Datei.\n");
}

// A card read in an office reader still records its last download by a tachograph: the read date
// shown is never earlier than the newest data of the file.
TEST(ProvenanceText, CardReadDateNeverBeforeTheData) {
    for (const auto& [latestChange, expected] :
         {std::pair<std::optional<std::int64_t>, std::string>{std::nullopt, "06.03.2024 10:00"},
          {day(2024, 3, 6) + 8 * 3600, "06.03.2024 10:00"},
          {day(2024, 3, 29) + 16 * 3600, "nicht vor 29.03.2024 17:00 (die Karte vermerkt 06.03.2024 10:00)"}}) {
        ProvenanceModel m = model();
        m.files.push_back(file("a.ddd", day(2024, 3, 1), day(2024, 3, 29), 2, day(2024, 3, 6) + 9 * 3600));
        m.files.back().latestChange = latestChange;
        m.days.push_back({day(2024, 3, 1), {0}, false});
        EXPECT_TRUE(contains(renderProvenanceText(m, "", day(2024, 4, 2)), "   Kartenauslesung: " + expected + "\n"))
            << expected;
    }
}

TEST(ProvenanceText, IdenticalDownloadsListOnlyOne) {
    ProvenanceModel m = model();
    m.files.push_back(file("b.ddd", day(2024, 3, 1), day(2024, 3, 2), 2));
    m.files.push_back(file("a.ddd", day(2024, 3, 1), day(2024, 3, 2), 2));
    m.days.push_back({day(2024, 3, 1), {0, 1}, true});
    m.days.push_back({day(2024, 3, 2), {0, 1}, true});
    const std::string text = renderProvenanceText(m, "", day(2024, 4, 2));
    EXPECT_TRUE(contains(text, "  (1) a.ddd\n   Kartenauslesung: unbekannt\n"));
    EXPECT_FALSE(contains(text, "b.ddd"));
    EXPECT_TRUE(contains(text, "Zeitraum: Gesamter Verlauf\n"));
    EXPECT_TRUE(contains(text, "Zusammengesetzt: 2 Tage aus 1 Datei.\n"));
    EXPECT_TRUE(text.ends_with("zugeordnete Datei:\n   01.03.2024 – 02.03.2024\n"));
}

TEST(ProvenanceText, FewestFilesAndSortedListing) {
    ProvenanceModel m = model();
    m.files.push_back(file("z-full.ddd", day(2024, 3, 1), day(2024, 3, 3), 3));
    m.files.push_back(file("a-part.ddd", day(2024, 3, 3), day(2024, 3, 4), 2));
    m.days.push_back({day(2024, 3, 1), {0}, false});
    m.days.push_back({day(2024, 3, 2), {0}, false});
    m.days.push_back({day(2024, 3, 3), {0, 1}, false});
    m.days.push_back({day(2024, 3, 4), {1}, false});
    m.days.push_back({day(2024, 3, 5), {}, false});
    const std::string text = renderProvenanceText(m, "2024/03", day(2024, 4, 2));
    EXPECT_TRUE(contains(text, "  (1) a-part.ddd\n"));
    EXPECT_TRUE(contains(text, "   Tage daraus:     04.03.2024  (1 Tag)\n"));
    EXPECT_TRUE(contains(text, "  (2) z-full.ddd\n"));
    EXPECT_TRUE(contains(text, "   Tage daraus:     01.03.2024 – 03.03.2024  (3 Tage)\n"));
    EXPECT_TRUE(contains(text, "Zusammengesetzt: 4 Tage aus 2 Dateien.\n"));
    EXPECT_FALSE(contains(text, "Hinweis"));
}

TEST(ProvenanceText, NothingInThePeriod) {
    ProvenanceModel m = model();
    m.driver.clear();
    m.files.push_back(file("march.ddd", day(2024, 3, 1), day(2024, 3, 1), 1));
    m.days.push_back({day(2024, 3, 1), {0}, false});
    const std::string text = renderProvenanceText(m, "2024/05", day(2024, 6, 1));
    EXPECT_TRUE(contains(text, "Fahrer:   (" + nationName(13) + ")\n"));
    EXPECT_TRUE(text.ends_with("Erstellt: 01.06.2024 durch VELMORANT DDD\n\nFür diesen Zeitraum wurden keine Tagesdaten "
                               "aus Quelldateien\nübernommen.\n"));
}

TEST(ProvenanceText, PeriodShown) {
    const std::pair<std::string, std::string> cases[] = {{"", "Gesamter Verlauf"}, {"2024/05", "Mai 2024"}, {"2024/13", "2024/13"},
                                                         {"2024/00", "2024/00"}, {"2024/5", "2024/5"},   {"2024-05", "2024-05"}};
    for (const auto& [key, shown] : cases) EXPECT_TRUE(contains(renderProvenanceText(model(), key, 0), "Zeitraum: " + shown + "\n")) << key;
}

}  // namespace
}  // namespace ddd::report
