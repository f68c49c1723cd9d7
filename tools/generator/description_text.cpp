#include "tools/generator/description_text.h"

#include "tools/generator/card_generator.h"

#include <algorithm>
#include <map>
#include <vector>

namespace ddd::gen {

const char* const kDescriptionFormatHelp = R"(DESCRIPTION FORMAT (one statement per line; '#' starts a comment; UTF-8)
  generation gen1|gen2|both          default gen1
  nation N                           issuing nation (numeric code, 13 = Germany)
  card NUMBER                        16-character card number
  codepage N                         code page of the names and plates that follow
                                     (1-16 ISO 8859-N, 80 KOI8-R, 85 KOI8-U; default 1)
  authority TEXT | surname TEXT | firstnames TEXT
  birth YYYY-MM-DD   issued YYYY-MM-DD   expires YYYY-MM-DD   language XX
  licence NUMBER [nation=N]
  lastdownload YYYY-MM-DDTHH:MM
  invehicle YYYY-MM-DDTHH:MM         downloaded then while still in a vehicle: the newest vehicle
                                     so far stays open and the current session has no end
  day YYYY-MM-DD HH:MM ACTIVITY [HH:MM ACTIVITY ...] [presence=N] [km=N]
        one day record as stored; ACTIVITY is rest|break, avail, work or drive, with optional
        modifiers +co (co-driver slot), +crew, +absent (card not inserted)
  shift YYYY-MM-DDTHH:MM ACTIVITY H:MM [ACTIVITY H:MM ...]
        a stretch of continuous activity; the shifts are cut into day records like a card
        does it (uncovered minutes of a touched day are 'card not inserted, unknown')
  vehicle plate="MZ-VM 1024" [nation=13] first=DATETIME last=DATETIME odometer=BEGIN-END
          [counter=N] [vin=VIN]
  place time=DATETIME type=begin|end|N [country=13] [region=N] [odometer=N] [lat=N] [lon=N]
  event type=N begin=DATETIME end=DATETIME [plate=TEXT] [nation=N] [group=N]
  fault type=N begin=DATETIME end=DATETIME [plate=TEXT] [nation=N] [group=N]
  condition time=DATETIME type=N     specific condition (3 ferry/train begin, 4 end, ...)
  capacity gen1|gen2 [activity=N] [vehicles=N] [places=N] [events=N] [faults=N]
          [conditions=N] [start=N]   (start = offset of the first day record in the buffer)
  inject KIND [fid=N] [part=gen1|gen2|both] [value=N] [day=N] [bytes=HEX]
        a deliberate defect; KIND and its value:
          truncate value=SIZE          appendix fid= value=BYTE     reserved-length fid=
          past-end fid= [value=EXTRA]  resize fid= value=SIZE       patch fid= value=OFFSET bytes=
          omit fid=                    duplicate fid= [bytes=]      previous-length day= [value=]
          record-length day= value=    minute day= [value=1440]
        (day = index of the day record, 0 = oldest; part defaults to both)
  DATETIME is YYYY-MM-DDTHH:MM (UTC); numbers may be written in hex as 0x..
Example:
  generation both
  surname Mustermann
  firstnames Max
  day 2024-03-04 00:00 rest 06:00 work 06:15 drive 10:45 break 11:30 drive 15:00 rest
  shift 2024-03-05T06:00 work 0:15 drive 4:30 break 0:45 drive 4:00 work 0:20
  vehicle plate="MZ-VM 1024" first=2024-03-04T06:00 last=2024-03-05T16:00 odometer=412310-413200
)";

namespace {

struct Line {
    int number;
    std::vector<std::string> words;
    std::string rest; // everything after the keyword, trimmed
};

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return std::string(s.substr(b, e - b + 1));
}

// Words separated by blanks; double quotes group a value with blanks (plate="MZ-VM 1024").
std::vector<std::string> splitLine(std::string_view s, int number) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : s) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) throw DescriptionError(number, "unterminated quote");
    if (inWord) words.push_back(word);
    return words;
}

class Parser {
public:
    explicit Parser(const Line& line) : line_(line) {}

    [[noreturn]] void fail(const std::string& message) const { throw DescriptionError(line_.number, message); }

    long long number(const std::string& text) const {
        try {
            std::size_t used = 0;
            const long long v = std::stoll(text, &used, 0);
            if (used == text.size()) return v;
        } catch (const std::exception&) {
        }
        fail("\"" + text + "\" is not a number");
    }

    BcdDay date(const std::string& text) const {
        int y = 0, m = 0, d = 0;
        char tail = 0;
        if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || m < 1 ||
            m > 12 || d < 1 || d > 31) {
            fail("\"" + text + "\" is not a date YYYY-MM-DD");
        }
        return {y, m, d};
    }

    std::int64_t day(const std::string& text) const {
        const BcdDay d = date(text);
        return utcDay(d.year, d.month, d.day);
    }

    std::int64_t dateTime(const std::string& text) const {
        const auto t = text.find('T');
        if (t == std::string::npos) fail("\"" + text + "\" is not a date and time YYYY-MM-DDTHH:MM");
        return day(text.substr(0, t)) + 60 * std::int64_t{minutes(text.substr(t + 1))};
    }

    int minutes(const std::string& text) const {
        try {
            return minuteOfDay(text);
        } catch (const std::invalid_argument& e) {
            fail(e.what());
        }
    }

    // key=value attributes of the words after the keyword (and after `skip` positional words).
    std::map<std::string, std::string> attributes(std::size_t skip, const std::vector<std::string>& allowed) const {
        std::map<std::string, std::string> out;
        for (std::size_t i = 1 + skip; i < line_.words.size(); ++i) {
            const std::string& w = line_.words[i];
            const auto eq = w.find('=');
            if (eq == std::string::npos) fail("expected key=value, got \"" + w + "\"");
            const std::string key = w.substr(0, eq);
            if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) fail("unknown attribute \"" + key + "\"");
            out[key] = w.substr(eq + 1);
        }
        return out;
    }

    const std::string& require(const std::map<std::string, std::string>& a, const std::string& key) const {
        const auto it = a.find(key);
        if (it == a.end()) fail("missing " + key + "=");
        return it->second;
    }

    long long numberOr(const std::map<std::string, std::string>& a, const std::string& key, long long dflt) const {
        const auto it = a.find(key);
        return it == a.end() ? dflt : number(it->second);
    }

    const Line& line() const { return line_; }

private:
    const Line& line_;
};

struct State {
    CardDescription card;
    std::uint8_t codePage = 1;
    std::vector<Segment> shifts;
};

EventFaultRecord eventFault(const Parser& p, const State& s) {
    const auto a = p.attributes(0, {"type", "begin", "end", "plate", "nation", "group"});
    EventFaultRecord r;
    r.type = static_cast<int>(p.number(p.require(a, "type")));
    r.begin = p.dateTime(p.require(a, "begin"));
    r.end = p.dateTime(p.require(a, "end"));
    r.vehicle = {static_cast<std::uint8_t>(p.numberOr(a, "nation", 13)),
                 Text(a.count("plate") ? a.at("plate") : std::string(), s.codePage)};
    r.group = static_cast<int>(p.numberOr(a, "group", -1));
    return r;
}

void day(const Parser& p, State& s) {
    const auto& w = p.line().words;
    if (w.size() < 2) p.fail("day needs a date");
    std::string changes;
    std::size_t i = 2;
    for (; i < w.size() && w[i].find('=') == std::string::npos; ++i) changes += w[i] + " ";
    Day d;
    try {
        d = dayFromText(p.day(w[1]), changes);
    } catch (const std::invalid_argument& e) {
        p.fail(e.what());
    }
    const auto a = p.attributes(i - 1, {"presence", "km"});
    d.presenceCounter = static_cast<int>(p.numberOr(a, "presence", static_cast<long long>(s.card.days.size()) + 1));
    d.distanceKm = static_cast<int>(p.numberOr(a, "km", 0));
    s.card.days.push_back(std::move(d));
}

void shift(const Parser& p, State& s) {
    const auto& w = p.line().words;
    if (w.size() < 2) p.fail("shift needs a start YYYY-MM-DDTHH:MM");
    std::string blocks;
    for (std::size_t i = 2; i < w.size(); ++i) blocks += w[i] + " ";
    Timeline t(p.dateTime(w[1]));
    try {
        t.add(blocks);
    } catch (const std::invalid_argument& e) {
        p.fail(e.what());
    }
    s.shifts.insert(s.shifts.end(), t.segments().begin(), t.segments().end());
}

void vehicle(const Parser& p, State& s) {
    const auto a = p.attributes(0, {"plate", "nation", "first", "last", "odometer", "counter", "vin"});
    VehicleUse v;
    v.registration = {static_cast<std::uint8_t>(p.numberOr(a, "nation", 13)), Text(p.require(a, "plate"), s.codePage)};
    v.firstUse = p.dateTime(p.require(a, "first"));
    v.lastUse = p.dateTime(p.require(a, "last"));
    const std::string& odo = p.require(a, "odometer");
    const auto dash = odo.find('-');
    if (dash == std::string::npos) p.fail("odometer=BEGIN-END expected");
    v.odometerBegin = static_cast<int>(p.number(odo.substr(0, dash)));
    v.odometerEnd = static_cast<int>(p.number(odo.substr(dash + 1)));
    v.vuDataBlockCounter = static_cast<int>(p.numberOr(a, "counter", 0));
    if (a.count("vin")) v.vin = a.at("vin");
    s.card.vehicles.push_back(std::move(v));
}

void place(const Parser& p, State& s) {
    const auto a = p.attributes(0, {"time", "type", "country", "region", "odometer", "lat", "lon"});
    Place pl;
    pl.time = p.dateTime(p.require(a, "time"));
    const std::string& type = p.require(a, "type");
    pl.entryType = type == "begin" ? 0 : type == "end" ? 1 : static_cast<int>(p.number(type));
    pl.country = static_cast<std::uint8_t>(p.numberOr(a, "country", 13));
    pl.region = static_cast<std::uint8_t>(p.numberOr(a, "region", 0));
    pl.odometer = static_cast<int>(p.numberOr(a, "odometer", 0));
    pl.gnssTime = pl.time;
    pl.latitude = static_cast<int>(p.numberOr(a, "lat", 0));
    pl.longitude = static_cast<int>(p.numberOr(a, "lon", 0));
    s.card.places.push_back(pl);
}

void capacity(const Parser& p, State& s) {
    const auto& w = p.line().words;
    if (w.size() < 2 || (w[1] != "gen1" && w[1] != "gen2")) p.fail("capacity gen1|gen2 expected");
    Capacities& c = w[1] == "gen1" ? s.card.gen1 : s.card.gen2;
    const auto a = p.attributes(1, {"activity", "vehicles", "places", "events", "faults", "conditions", "start"});
    c.activityBytes = static_cast<int>(p.numberOr(a, "activity", c.activityBytes));
    c.vehicles = static_cast<int>(p.numberOr(a, "vehicles", c.vehicles));
    c.places = static_cast<int>(p.numberOr(a, "places", c.places));
    c.eventsPerType = static_cast<int>(p.numberOr(a, "events", c.eventsPerType));
    c.faultsPerType = static_cast<int>(p.numberOr(a, "faults", c.faultsPerType));
    c.specificConditions = static_cast<int>(p.numberOr(a, "conditions", c.specificConditions));
    c.activityStartOffset = static_cast<int>(p.numberOr(a, "start", c.activityStartOffset));
}

std::vector<std::uint8_t> hexBytes(const Parser& p, const std::string& hex) {
    if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        p.fail("bytes= takes an even number of hex digits");
    }
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

void inject(const Parser& p, State& s) {
    using K = Fault::Kind;
    struct Kind {
        const char* name;
        K kind;
        long long defaultValue;
    };
    static const Kind kinds[] = {
        {"truncate", K::TruncateAt, 0},         {"appendix", K::BadAppendix, 4},  {"reserved-length", K::ReservedLength, 0},
        {"past-end", K::LengthPastEnd, 1},      {"resize", K::ResizeEf, 0},       {"patch", K::PatchEf, 0},
        {"omit", K::OmitEf, 0},                 {"duplicate", K::DuplicateEf, 0}, {"previous-length", K::PreviousLength, -1},
        {"record-length", K::RecordLength, 13}, {"minute", K::MinuteOutOfRange, 1440},
    };
    const auto& w = p.line().words;
    if (w.size() < 2) p.fail("inject needs a kind");
    const Kind* kind = nullptr;
    for (const Kind& k : kinds) {
        if (w[1] == k.name) kind = &k;
    }
    if (!kind) p.fail("unknown fault \"" + w[1] + "\"");
    const auto a = p.attributes(1, {"fid", "part", "value", "day", "bytes"});
    Fault f;
    f.kind = kind->kind;
    f.fid = static_cast<std::uint16_t>(p.numberOr(a, "fid", 0));
    const std::string part = a.count("part") ? a.at("part") : "both";
    if (part == "gen1") f.part = Generation::Gen1;
    else if (part == "gen2") f.part = Generation::Gen2;
    else if (part != "both") p.fail("part is gen1, gen2 or both");
    f.value = p.numberOr(a, "value", kind->defaultValue);
    f.day = static_cast<int>(p.numberOr(a, "day", 0));
    if (a.count("bytes")) f.bytes = hexBytes(p, a.at("bytes"));
    s.card.inject.push_back(std::move(f));
}

void statement(const Parser& p, State& s) {
    const std::string& key = p.line().words[0];
    const std::string& rest = p.line().rest;
    Identity& id = s.card.identity;
    const auto needArg = [&] {
        if (rest.empty()) p.fail(key + " needs a value");
    };
    if (key == "generation") {
        if (rest == "gen1") s.card.generation = Generation::Gen1;
        else if (rest == "gen2") s.card.generation = Generation::Gen2;
        else if (rest == "both") s.card.generation = Generation::Both;
        else p.fail("generation is gen1, gen2 or both");
    } else if (key == "nation") {
        needArg();
        id.issuingNation = static_cast<std::uint8_t>(p.number(rest));
    } else if (key == "card") {
        if (rest.size() > 16) p.fail("card number longer than 16 characters");
        id.cardNumber = rest;
    } else if (key == "codepage") {
        needArg();
        s.codePage = static_cast<std::uint8_t>(p.number(rest));
    } else if (key == "authority") {
        id.issuingAuthority = Text(rest, s.codePage);
    } else if (key == "surname") {
        id.surname = Text(rest, s.codePage);
    } else if (key == "firstnames") {
        id.firstNames = Text(rest, s.codePage);
    } else if (key == "birth") {
        id.birthDate = p.date(rest);
    } else if (key == "issued") {
        id.issueDate = p.day(rest);
        id.validityBegin = id.issueDate;
    } else if (key == "expires") {
        id.expiryDate = p.day(rest);
    } else if (key == "language") {
        if (rest.size() > 2) p.fail("language is two letters");
        id.preferredLanguage = rest;
    } else if (key == "licence") {
        needArg();
        const auto a = p.attributes(1, {"nation"});
        s.card.licence.number = p.line().words[1];
        s.card.licence.nation = static_cast<std::uint8_t>(p.numberOr(a, "nation", s.card.licence.nation));
    } else if (key == "lastdownload") {
        s.card.lastCardDownload = p.dateTime(rest);
    } else if (key == "invehicle") {
        leaveInVehicle(s.card, p.dateTime(rest));
    } else if (key == "day") {
        day(p, s);
    } else if (key == "shift") {
        shift(p, s);
    } else if (key == "vehicle") {
        vehicle(p, s);
    } else if (key == "place") {
        place(p, s);
    } else if (key == "event") {
        s.card.events.push_back(eventFault(p, s));
    } else if (key == "fault") {
        s.card.faults.push_back(eventFault(p, s));
    } else if (key == "condition") {
        const auto a = p.attributes(0, {"time", "type"});
        s.card.specificConditions.push_back({p.dateTime(p.require(a, "time")), static_cast<int>(p.number(p.require(a, "type")))});
    } else if (key == "capacity") {
        capacity(p, s);
    } else if (key == "inject") {
        inject(p, s);
    } else {
        p.fail("unknown statement \"" + key + "\"");
    }
}

} // namespace

CardDescription parseDescription(std::string_view text) {
    State s;
    int number = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto eol = text.find('\n', pos);
        std::string_view raw = text.substr(pos, eol == std::string_view::npos ? text.npos : eol - pos);
        pos = eol == std::string_view::npos ? text.size() + 1 : eol + 1;
        ++number;
        if (const auto hash = raw.find('#'); hash != std::string_view::npos) raw = raw.substr(0, hash);
        Line line{number, splitLine(raw, number), {}};
        if (line.words.empty()) continue;
        const std::string trimmed = trim(raw);
        line.rest = trim(std::string_view(trimmed).substr(line.words[0].size()));
        statement(Parser(line), s);
    }
    if (!s.shifts.empty()) {
        auto fromShifts = daysFromTimeline(s.shifts, static_cast<int>(s.card.days.size()) + 1);
        s.card.days.insert(s.card.days.end(), fromShifts.begin(), fromShifts.end());
        std::stable_sort(s.card.days.begin(), s.card.days.end(), [](const Day& a, const Day& b) { return a.date < b.date; });
    }
    return s.card;
}

} // namespace ddd::gen
