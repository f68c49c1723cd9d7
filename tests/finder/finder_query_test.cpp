// Finder searches: the search window, matching and order, the answers' JSON, and the lookup
// checked against a plain pass over all sessions.
#include <gtest/gtest.h>

#include <random>

#include "core/primitives.h"
#include "finder/finder_query.h"
#include "tests/support/temp_folder.h"
#include "tools/generator/card_generator.h"

namespace {

using namespace ddd::finder;
using ddd::gen::utcTime;

FinderSession session(std::string first, std::string surname, std::string card, std::string plate, std::string vin,
                      std::int64_t start, std::int64_t end, char source = 'V', std::uint32_t slot = 0) {
    FinderSession s;
    s.firstNames = std::move(first), s.surname = std::move(surname), s.card = std::move(card), s.plate = std::move(plate);
    s.vin = std::move(vin), s.start = start, s.end = end, s.source = source, s.slot = slot, s.file = "/daten/" + s.card + ".ddd";
    return s;
}

DriverIndex sampleIndex() {
    DriverIndex index;
    index.sessions = {
        session("Anna", "Berger", "D1", "M AB 123", "WDB0000000MAB1230", utcTime(2024, 3, 5, "05:00"), utcTime(2024, 3, 5, "14:00")),
        session("Karl", "Weiß", "D2", "M AB 123", "WDB0000000MAB1230", utcTime(2024, 3, 5, "05:10"), utcTime(2024, 3, 5, "14:00"), 'V', 1),
        session("Anna", "Berger", "D1", "M AB 123", "", utcTime(2024, 3, 5, "05:00"), utcTime(2024, 3, 5, "14:00"), 'C'),
        session("Ömer", "Yilmaz", "D3", "KA-X 9", "VF1000000000000KA", utcTime(2024, 3, 5, "16:00"), 0),
        session("", "Nowak", "D4", "", "XMAB123YYYYYYYYYY", utcTime(2024, 3, 1, "08:00"), utcTime(2024, 3, 1, "12:00")),
        session("Eva", "", "D5", "B-Q 1", "", utcTime(2024, 2, 1, "08:00"), utcTime(2024, 2, 1, "09:00")),
    };
    return index;
}

std::vector<std::string> cardsOf(const std::vector<FinderMatch>& matches) {
    std::vector<std::string> cards;
    for (const auto& m : matches) cards.push_back(m.session.card + (m.timeExact ? "!" : ""));
    return cards;
}

// Each query finds exactly these sessions, by the full pass and by the lookup.
TEST(FinderQuery, FindsExactlyTheseSessions) {
    struct QueryCase { const char* name; const char* json; std::vector<std::string> cards; };  // in answer order; "!" marks timeExact
    const QueryCase cases[] = {
        QueryCase{"empty_query_all_by_start", "{}", {"D5", "D4", "D1", "D2", "D3"}},
        QueryCase{"not_json_at_all", "Wer fuhr?", {"D5", "D4", "D1", "D2", "D3"}},
        QueryCase{"plate_with_odd_spacing_and_case", R"({"plate":"m-ab  123"})", {"D4", "D1", "D2"}},
        QueryCase{"plate_found_in_vin", R"({"plate":"xmab"})", {"D4"}},
        QueryCase{"name_part_lower_case", R"({"name":"BERG"})", {"D1"}},
        QueryCase{"name_across_first_and_surname", R"({"name":"karl wei"})", {"D2"}},
        QueryCase{"name_with_umlaut_bytes", R"({"name":"Ömer"})", {"D3"}},
        QueryCase{"vin", R"({"vin":"vf1"})", {"D3"}},
        QueryCase{"plate_at_an_hour", R"({"plate":"MAB123","y":2024,"mo":3,"d":5,"hStart":6,"hEnd":-1})", {"D1!", "D2"}},
        QueryCase{"whole_day", R"({"y":2024,"mo":3,"d":5})", {"D1", "D2", "D3"}},
        QueryCase{"open_session_lasts_ten_years", R"({"y":2030,"mo":1,"d":1,"hStart":0,"hEnd":1})", {"D3!"}},
        QueryCase{"instant_outside_every_session", R"({"y":2024,"mo":3,"d":5,"hStart":15,"hEnd":16})", {}},
        QueryCase{"exact_before_overlapping", R"({"y":2024,"mo":3,"d":5,"hStart":6,"hEnd":18})", {"D1!", "D2", "D3"}},
        QueryCase{"wrong_types_ignored", R"({"plate":42,"name":["x"],"y":"2024","mo":3,"d":5})", {"D5", "D4", "D1", "D2", "D3"}},
        QueryCase{"escaped_strings", R"({"name":"\u00d6mer"})", {"D3"}},
        QueryCase{"escaped_strings_in_upper_case_hex", R"({"name":"\u00D6mer"})", {"D3"}},
        QueryCase{"truncated_json_keeps_what_was_read", R"({"plate":"KA","name":"Ömer)", {"D3"}},
    };
    DriverIndex index = sampleIndex();
    DriverIndex withLookup = sampleIndex();
    withLookup.buildLookup();
    for (const QueryCase& c : cases) {
        const FinderQuery q = parseFinderQuery(c.json);
        EXPECT_EQ(cardsOf(queryByFullPass(index, q)), c.cards) << c.name;
        EXPECT_EQ(cardsOf(query(withLookup, q)), c.cards) << c.name;
    }
}

TEST(FinderQuery, SearchWindowInGermanLegalTime) {
    struct Case { const char* name; const char* json; const char* start; const char* end; };  // UTC, "YYYY-MM-DD HH:MM"
    auto utc = [](const char* text) {
        const std::string t(text);
        return utcTime(std::stoi(t.substr(0, 4)), std::stoi(t.substr(5, 2)), std::stoi(t.substr(8, 2)), t.substr(11, 5));
    };
    const Case cases[] = {
        {"change to summer time", R"({"y":2024,"mo":3,"d":31,"hStart":2,"hEnd":4})", "2024-03-31 01:00", "2024-03-31 02:00"},
        {"winter day", R"({"y":2024,"mo":1,"d":15})", "2024-01-14 23:00", "2024-01-15 23:00"},
        {"summer day", R"({"y":2024,"mo":7,"d":1})", "2024-06-30 22:00", "2024-07-01 22:00"},
        {"one hour from the start hour", R"({"y":2024,"mo":7,"d":1,"hStart":8})", "2024-07-01 06:00", "2024-07-01 07:00"},
        {"end hour alone", R"({"y":2024,"mo":1,"d":15,"hEnd":6})", "2024-01-14 23:00", "2024-01-15 05:00"},
        // 02:00 to 03:00 does not exist on that day: the window shrinks to the instant of the change.
        {"hour the clock skips", R"({"y":2024,"mo":3,"d":31,"hStart":2})", "2024-03-31 01:00", "2024-03-31 01:00"},
        {"change to winter time", R"({"y":2024,"mo":10,"d":27,"hStart":0,"hEnd":24})", "2024-10-26 22:00", "2024-10-27 23:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FinderQuery q = parseFinderQuery(c.json);
        EXPECT_TRUE(q.timed && q.error.empty());
        EXPECT_EQ(std::pair(q.windowStart, q.windowEnd), std::pair(utc(c.start), utc(c.end)));
    }
}

TEST(FinderQuery, UnusableDayOrHoursAreRefusedInGerman) {
    const DriverIndex index = sampleIndex();
    struct Case { const char* json; const char* answer; };
    const Case cases[] = {
        {R"({"y":2024,"mo":2,"d":30})", R"({"ok":false,"error":"Ungültiges Datum."})"},
        {R"({"y":2024,"mo":13,"d":1})", R"({"ok":false,"error":"Ungültiges Datum."})"},
        {R"({"y":99999999999999999999,"mo":1,"d":1})", R"({"ok":false,"error":"Ungültiges Datum."})"},
        {R"({"y":2024,"mo":1,"d":1,"hStart":24})", R"({"ok":false,"error":"Ungültige Anfangsstunde: erlaubt sind 0 bis 23 Uhr."})"},
        {R"({"y":2024,"mo":1,"d":1,"hEnd":25})", R"({"ok":false,"error":"Ungültige Endstunde: erlaubt sind 1 bis 24 Uhr."})"},
        {R"({"y":2024,"mo":1,"d":1,"hStart":9,"hEnd":7})", R"({"ok":false,"error":"Die Endstunde muss nach der Anfangsstunde liegen."})"},
    };
    for (const Case& c : cases) EXPECT_EQ(queryJson(index, c.json), c.answer) << c.json;
    // Without a complete date there is no time filter at all.
    EXPECT_FALSE(parseFinderQuery(R"({"y":2024,"mo":3,"hStart":30})").timed);
}

TEST(FinderQuery, AnswerJsonByteExact) {
    DriverIndex index;
    FinderSession s = session("Anna \"Ann\"", "Berger", "D1", "M AB 123", "V\\1", 1709614800, 0, 'V', 1);
    s.odometerEnd = 4711;
    s.file = "/a\tb.ddd";
    index.sessions = {s};
    EXPECT_EQ(queryJson(index, R"({"y":2024,"mo":3,"d":5,"hStart":6})"),
              R"({"count":1,"shown":1,"matches":[{"driver":"Anna \"Ann\" Berger","slot":1,"source":"V","role":"Beifahrer",)"
              R"("plate":"M AB 123","vin":"V\\1","start":1709614800,"end":0,"km":null,"card":"D1","file":"/a\\x09b.ddd",)"
              R"("sources":[{"source":"V","file":"/a\\x09b.ddd"}],"timeExact":true}],"activity":null})");
    EXPECT_EQ(queryJson(DriverIndex{}, "{}"), R"({"count":0,"shown":0,"matches":[],"activity":null})");
}

FinderSession withOdometer(FinderSession s, std::int64_t begin, std::int64_t end) {
    s.odometerStart = begin;
    s.odometerEnd = end;
    return s;
}

// The driver card and the vehicle unit record one trip each in their own way: one row per trip
// and role, naming both sources, the role from the unit, km the distance driven.
TEST(FinderQuery, OneRowPerTripAndRole) {
    const std::int64_t k0500 = utcTime(2024, 3, 5, "04:00"), k0900 = utcTime(2024, 3, 5, "08:00"),
                       k0930 = utcTime(2024, 3, 5, "08:30"), k1400 = utcTime(2024, 3, 5, "13:00");
    const FinderSession card = withOdometer(session("Anna", "Berger", "D1", "M AB 123", "", k0500, k1400, 'C'), 1000, 1300);
    const FinderSession unit =
        withOdometer(session("Anna", "Berger", "D1", "M-AB 123", "WDB1", k0500 + 30, k1400 - 30, 'V'), 1000, 1300);
    auto changed = [&](auto edit) { FinderSession s = unit; edit(s); return s; };
    struct Case { const char* name; std::vector<FinderSession> sessions; std::vector<std::string> rows; };  // role, sources, times, km
    const Case cases[] = {
        {"card and unit are one trip", {card, unit}, {"Fahrer CV 05:00-14:00 300"}},
        {"co-driver by the unit", {card, changed([](FinderSession& s) { s.slot = 1; })}, {"Beifahrer CV 05:00-14:00 300"}},
        {"card alone has no role", {card}, {"unbekannt C 05:00-14:00 300"}},
        {"open trip has no distance", {withOdometer(session("A", "B", "D1", "P 1", "", k0500, 0, 'C'), 1000, 0)},
         {"unbekannt C 05:00-offen -1"}},
        {"driver then co-driver in one card record",
         {card, withOdometer(session("Anna", "Berger", "D1", "M AB 123", "", k0500, k0900, 'V', 0), 1000, 1150),
          withOdometer(session("Anna", "Berger", "D1", "M AB 123", "", k0930, k1400, 'V', 1), 1150, 1300)},
         {"Fahrer CV 05:00-09:00 150", "Beifahrer CV 09:30-14:00 150"}},
        {"other vehicle is another trip", {card, changed([](FinderSession& s) { s.plate = "KA X 9"; s.vin = ""; })},
         {"unbekannt C 05:00-14:00 300", "Fahrer V 05:00-13:59 300"}},
        {"unit stay outside the card record", {card, changed([&](FinderSession& s) { s.start = k1400 + 600; s.end = 0; })},
         {"unbekannt C 05:00-14:00 300", "Fahrer V 14:10-offen -1"}},
    };
    for (const Case& c : cases) {
        DriverIndex index;
        index.sessions = c.sessions;
        std::vector<std::string> rows;
        for (const FinderMatch& m : query(index, parseFinderQuery("{}"))) {
            std::string kinds;
            for (const MatchSource& s : m.sources) kinds += s.source;
            rows.push_back(roleText(m) + " " + kinds + " " + ddd::formatTime(m.session.start) + "-" +
                           (m.session.end ? ddd::formatTime(m.session.end) : "offen") + " " + std::to_string(m.km));
        }
        EXPECT_EQ(rows, c.rows) << c.name;
    }
}

TEST(FinderQuery, AtMost500RowsAreShown) {
    DriverIndex index;
    for (int i = 0; i < 750; ++i) index.sessions.push_back(session("A", "B", "D" + std::to_string(i), "P", "", 1000 + i, 2000 + i));
    index.buildLookup();
    const std::string answer = queryJson(index, "{}");
    EXPECT_EQ(answer.rfind(R"({"count":750,"shown":500,"matches":[)", 0), 0u);
    EXPECT_TRUE(ddd::test::contains(answer, "\"card\":\"D499\"") && !ddd::test::contains(answer, "\"card\":\"D500\""));
}

TEST(FinderQuery, OptionsJson) {
    DriverIndex index;
    index.sessions = {session("Anna", "Berger", "D1", "M AB 123", "", 1, 2), session("Anna", "Bergér", "D1", "M AB 123", "WDB2", 1, 2),
                      session("", "", "D1", "M AB 123", "WDB1", 1, 2), session("Karl", "Weiß", "", "", "VIN9", 1, 2),
                      session("Karl", "Weiß", "D2", "", "", 1, 2)};
    EXPECT_EQ(optionsJson(index),
              R"({"drivers":[{"name":"Anna Berger","card":"D1"},{"name":"Karl Weiß","card":"D2"}],)"
              R"("vehicles":[{"plate":"M AB 123","vin":"WDB1"},{"plate":"VIN9","vin":"VIN9"}]})");
    EXPECT_EQ(optionsJson(DriverIndex{}), R"({"drivers":[],"vehicles":[]})");
}

// The lookup may only skip sessions, never change an answer: random indexes and random
// queries against the plain pass.
TEST(FinderQuery, LookupAnswersLikeTheFullPass) {
    std::mt19937_64 random(42);
    const char* plates[] = {"M AB 123", "M-AB 124", "KA X 9", "", "B Q 1"};
    const char* vins[] = {"WDB1", "", "VF1MAB123", "XYZ"};
    const char* names[] = {"Anna", "Karl", "Ömer", ""};
    DriverIndex index;
    const std::int64_t base = utcTime(2024, 3, 1, "00:00");
    for (int i = 0; i < 3000; ++i) {
        const std::int64_t start = base + static_cast<std::int64_t>(random() % (40 * 86400));
        const std::int64_t end = random() % 10 == 0 ? 0 : start + static_cast<std::int64_t>(random() % 50000);
        index.sessions.push_back(session(names[random() % 4], names[random() % 4], "D" + std::to_string(random() % 30),
                                         plates[random() % 5], vins[random() % 4], random() % 50 == 0 ? 0 : start, end,
                                         random() % 2 ? 'C' : 'V', static_cast<std::uint32_t>(random() % 2)));
    }
    index.buildLookup();
    const char* plateQueries[] = {"", "mab", "M-AB 123", "9", "zzz"};
    const char* nameQueries[] = {"", "anna", "ömer", "a k"};
    for (int i = 0; i < 400; ++i) {
        std::string json = std::string("{\"plate\":\"") + plateQueries[random() % 5] + "\",\"name\":\"" + nameQueries[random() % 4] + "\"";
        if (random() % 3 != 0) {
            json += ",\"y\":2024,\"mo\":3,\"d\":" + std::to_string(1 + random() % 31);
            if (random() % 2) json += ",\"hStart\":" + std::to_string(random() % 24) + ",\"hEnd\":-1";
        }
        if (random() % 5 == 0) json += std::string(",\"vin\":\"") + (random() % 2 ? "mab" : "wdb") + "\"";
        json += "}";
        const FinderQuery q = parseFinderQuery(json);
        const auto fast = query(index, q);
        const auto plain = queryByFullPass(index, q);
        ASSERT_EQ(fast.size(), plain.size()) << json;
        for (std::size_t k = 0; k < fast.size(); ++k) {
            ASSERT_EQ(std::tuple(fast[k].session.file, fast[k].session.start, fast[k].timeExact),
                      std::tuple(plain[k].session.file, plain[k].session.start, plain[k].timeExact)) << json;
        }
        std::size_t count = 0;
        const auto first = firstMatches(index, q, count);
        ASSERT_EQ(count, plain.size());
        for (std::size_t k = 0; k < first.size(); ++k) ASSERT_EQ(first[k].session.start, plain[k].session.start);
    }
}

}  // namespace
