#include <gtest/gtest.h>

#include <random>

#include "analysis/reference_rules.h"
#include "core/primitives.h"
#include "report/analysis_json.h"

namespace ddd {
namespace {

std::int64_t utc(int y, unsigned m, unsigned d, int hh = 0, int mm = 0) {
    return daysFromCivil(y, m, d) * 86400 + hh * 3600 + mm * 60;
}

// A strict checker of JSON text: one value, RFC 8259 grammar, strings of valid UTF-8.
class JsonChecker {
public:
    explicit JsonChecker(const std::string& text) : s_(text) {}
    bool valid() {
        blank();
        if (!value()) return false;
        blank();
        return i_ == s_.size();
    }

private:
    bool value() {
        if (i_ >= s_.size()) return false;
        switch (s_[i_]) {
        case '{': return container('}', true);
        case '[': return container(']', false);
        case '"': return string();
        case 't': return word("true");
        case 'f': return word("false");
        case 'n': return word("null");
        default: return number();
        }
    }
    bool container(char close, bool object) {
        ++i_;
        blank();
        if (i_ < s_.size() && s_[i_] == close) return ++i_, true;
        for (;;) {
            blank();
            if (object && (!string() || (blank(), i_ >= s_.size() || s_[i_++] != ':'))) return false;
            blank();
            if (!value()) return false;
            blank();
            if (i_ >= s_.size()) return false;
            if (s_[i_] == close) return ++i_, true;
            if (s_[i_++] != ',') return false;
        }
    }
    bool string() {
        if (s_[i_] != '"') return false;
        for (++i_; i_ < s_.size();) {
            const auto c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') return ++i_, true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++i_ >= s_.size()) return false;
                if (s_[i_] == 'u') {
                    for (int k = 1; k <= 4; ++k) {
                        if (i_ + k >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_ + k]))) return false;
                    }
                    i_ += 5;
                } else if (std::string("\"\\/bfnrt").find(s_[i_]) != std::string::npos) {
                    ++i_;
                } else {
                    return false;
                }
                continue;
            }
            const int length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
            if (length == 0 || i_ + length > s_.size()) return false;
            for (int k = 1; k < length; ++k) {
                if ((static_cast<unsigned char>(s_[i_ + k]) & 0xC0) != 0x80) return false;
            }
            i_ += length;
        }
        return false;
    }
    bool word(const char* w) {
        const std::string expected(w);
        if (s_.compare(i_, expected.size(), expected) != 0) return false;
        i_ += expected.size();
        return true;
    }
    bool number() {
        const std::size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-') ++i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
        return i_ > start && std::isdigit(static_cast<unsigned char>(s_[i_ - 1]));
    }
    void blank() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }

    const std::string& s_;
    std::size_t i_ = 0;
};

AnalysisResult oneOfEach() {
    AnalysisResult r;
    r.ok = true;
    r.driver = "Max \"Maxi\" M\xC3\xBCller";
    r.card = "DF00001234567800";
    r.nation = 13;
    r.filesMerged = 2;
    ShiftRecord shift;
    shift.core = {utc(2024, 3, 4, 5, 0), utc(2024, 3, 4, 16, 30), 9 * 3600, 3600, 1800, 2700, 0, 7, 0};
    shift.detail.drive = {60, 480, 540};
    shift.detail.work = {0, 60, 60};
    shift.detail.standby = {0, 30, 30};
    shift.detail.breakTime = {0, 45, 45};
    shift.detail.stops = 2;
    shift.detail.acts = 5;
    shift.detail.vehicle = "B-VM 4711";
    shift.detail.distance = 612;
    shift.detail.rest = 660;
    shift.detail.restCompensated = 630;
    r.shifts = {shift};
    r.violations = {{200814, utc(2024, 3, 5, 6, 0), 4, 3, 2}, {200801, utc(2024, 3, 4, 12, 0), 630, 540, 4}};
    LegalViolation count;
    count.code = "eu.561.daily_rest.reduced_count";
    count.regulation = "VO (EG) 561/2006";
    count.severity = 2;
    count.countValued = 1;
    count.value = 4;
    count.limit = 3;
    count.when = utc(2024, 3, 5, 6, 0);
    LegalViolation driving = count;
    driving.code = "eu.561.daily_driving";
    driving.article = "Art. 6 Abs. 1";
    driving.severity = 3;
    driving.countValued = 0;
    driving.value = 10 * 3600 + 30 * 60;
    driving.limit = 9 * 3600;
    r.legalViolations = {count, driving};
    r.forecasts = {{16200, 16200, utc(2024, 3, 4, 16, 30)}};
    r.activities = {{utc(2024, 3, 4, 5, 0), utc(2024, 3, 4, 9, 30), 3, 0}, {utc(2024, 3, 4, 9, 30), utc(2024, 3, 5, 0, 0), 255, 1}};
    r.coverageGaps = {{utc(2024, 3, 4, 9, 30), utc(2024, 3, 5, 0, 0), 0}};
    CardVehicleRecord vehicle;
    vehicle.registration = {13, "B-VM 4711"};
    vehicle.firstUse = 0xFFFFFFFFll;
    vehicle.lastUse = utc(2024, 3, 4, 16, 30);
    vehicle.odometerBegin = 120000;
    vehicle.odometerEnd = 120612;
    r.vehicles = {vehicle};
    r.countries = {{utc(2024, 3, 4, 5, 0), 0, 13, 1, 120000, 0, 0, 0, 0, false}};
    EventFaultRecord event;
    event.type = 7;
    event.begin = utc(2024, 3, 4, 8, 0);
    event.vehicle = vehicle.registration;
    r.events = {event};
    ControlActivity control;
    control.controlTime = utc(2024, 3, 4, 10, 0);
    control.controlType = 0x80;
    control.controlCardNumber = {'D', '1', '2'};
    control.controlVehicle = vehicle.registration;
    r.controls = {control};
    r.specials = {{utc(2024, 3, 4, 12, 0), 2}};
    AuthenticityCheck tampered;
    tampered.status = Authenticity::Invalid;
    tampered.problems = {"Places (0x0506, first generation): signature does not match the file"};
    tampered.notes = {"Card_Certificate (0xC100, first generation): 0012340D012601A1, valid until 01.01.2035"};
    tampered.sentences = {"Die Datei \u201EPlaces\u201C (1. Generation) stimmt nicht mit ihrer Signatur überein."};
    r.authenticity = {{"max_2024-03-05.ddd", tampered}, {"", std::nullopt}};
    r.skippedFiles = {{"/a/M\xFCller.ddd", "ist eine Pipe, keine Datei"}};
    RemainingTimes left;
    left.asOf = utc(2024, 3, 4, 16, 30);
    left.dailyDriving = {8 * 3600 + 59 * 60, 36000};
    left.drivingSinceBreak = {16200, 16200};
    left.weeklyDriving = {57 * 3600, 201600};
    left.fortnightDriving = {80 * 3600, 324000};
    left.weeklyWorkingTime = {59 * 3600, 216000};
    left.dailyRestLatestStart = utc(2024, 3, 4, 23, 0);
    left.reducedDailyRestsLeft = 1;
    r.remaining = left;
    return r;
}

TEST(AnalysisJson, WholeDocumentByteExact) {
    const std::string expected =
        R"({"ok":true,"driver":"Max \"Maxi\" Müller","card":"DF00001234567800","nation":13,)"
        R"("period":"04.03.2024","filesMerged":2,)"
        R"("counts":{"shifts":1,"violations":2,"forecasts":1,"activities":2,"coverageGaps":1,"vehicles":1},)"
        R"("shifts":[{"date":"04.03.2024","beg":"06:00","end":"17:30","dur":"11:30","drive":"09:00","work":"01:00",)"
        R"("standby":"00:30","rest":"11:00","pdf":{"edate":"04.03.2024","veh":"B-VM 4711","stops":2,"acts":5,)"
        R"("durT":["11:15","01:00","10:15"],"drv":["09:00","01:00","08:00"],"wrk":["01:00","00:00","01:00"],)"
        R"("sby":["00:30","00:00","00:30"],"pau":["00:45","00:00","00:45"],"unk":["00:00","00:00","00:00"],)"
        R"("dw":["10:00","01:00","09:00"],"dws":["10:30","01:00","09:30"],"low":false,"restC":"10:30",)"
        R"("restS":"00:00","dist":"612"}}],)"
        R"("violations":[{"code":200814,"rule":")" + std::string(referenceRuleText(200814)) +
        R"(","when":"05.03.2024 · 07:00","val":"4","lim":"3","lvl":2},)"
        R"({"code":200801,"rule":")" + std::string(referenceRuleText(200801)) +
        R"(","when":"04.03.2024 · 13:00","val":"10:30","lim":"09:00","lvl":4}],)"
        R"("legalViolations":[{"code":"eu.561.daily_rest.reduced_count","article":"VO (EG) 561/2006","severity":"SI",)"
        R"("when":"05.03.2024 · 07:00","val":4,"lim":3},{"code":"eu.561.daily_driving","article":"Art. 6 Abs. 1",)"
        R"("severity":"VSI","when":"05.03.2024 · 07:00","val":"10:30","lim":"09:00"}],)"
        R"("coverageGaps":[{"beg":"04.03.2024 10:30","end":"05.03.2024 01:00","dur":"14:30","cause":"Karte nicht gesteckt"}],)"
        R"("forecasts":[{"type":"max","val":"04:30","max":"04:30","when":"04.03.2024"}],)"
        R"("vehicles":[{"plate":"B-VM 4711","nation":13,"first":"-","last":"04.03.2024","odoStart":120000,"odoEnd":120612}],)"
        R"("countries":[{"when":"04.03.2024 06:00","type":0,"country":13,"odometer":120000,"card":""}],)"
        R"("events":[{"type":7,"purpose":"","start":"04.03.2024 09:00","end":"-","plate":"B-VM 4711","codriver":""}],)"
        R"("controls":[{"when":"04.03.2024 11:00","type":128,"card":"D12","plate":"B-VM 4711","begin":"- -","end":"- -"}],)"
        R"("specials":[{"when":"04.03.2024 13:00","type":2}],)"
        R"("activities":[{"date":"04.03.2024","beg":"06:00","end":"10:30","dur":"04:30","type":3,"card":true},)"
        R"({"date":"04.03.2024","beg":"10:30","end":"01:00","dur":"14:30","type":4,"card":false}],)"
        R"("authenticity":[{"file":"max_2024-03-05.ddd","status":"invalid",)"
        R"("problems":["Places (0x0506, first generation): signature does not match the file"],)"
        R"("notes":["Card_Certificate (0xC100, first generation): 0012340D012601A1, valid until 01.01.2035"],)"
        R"("sentences":["Die Datei „Places“ (1. Generation) stimmt nicht mit ihrer Signatur überein."]},)"
        R"({"file":"","status":"unchecked","problems":[],"notes":[],"sentences":[]}],)"
        R"("skipped":{"count":1,"files":[{"file":"/a/M\\xFCller.ddd","reason":"ist eine Pipe, keine Datei"}]},)"
        R"("remaining":{"asOf":"04.03.2024 17:30","dailyDriving":{"used":"08:59","limit":"10:00","left":"01:01"},)"
        R"("drivingSinceBreak":{"used":"04:30","limit":"04:30","left":"00:00"},)"
        R"("weeklyDriving":{"used":"57:00","limit":"56:00","left":"00:00"},)"
        R"("fortnightDriving":{"used":"80:00","limit":"90:00","left":"10:00"},)"
        R"("weeklyWorkingTime":{"used":"59:00","limit":"60:00","left":"01:00"},)"
        R"("dailyRestLatestStart":"05.03.2024 00:00","weeklyRestLatestStart":"",)"
        R"("reducedDailyRestsLeft":1,"reducedDailyRestsAllowed":3,"extensionsLeft":0,"extensionsAllowed":2},)"
        R"("codeNames":{"events":{"7":"Geschwindigkeitsüberschreitung"},"controls":{"128":"Karten-Download"},)"
        R"("specials":{"2":"Out of Scope – Ende"},"countries":{"0":"Beginn"}}})";
    EXPECT_EQ(toAnalysisJson(oneOfEach()), expected);
}

TEST(AnalysisJson, EdgeRenderings) {
    AnalysisResult refused;
    refused.error = "bad \"file\"\n";
    EXPECT_EQ(toAnalysisJson(refused), R"({"ok":false,"error":"bad \"file\"\n"})");

    AnalysisResult empty;
    empty.ok = true;
    const std::string emptyJson = toAnalysisJson(empty);
    EXPECT_NE(emptyJson.find(R"("period":"–")"), std::string::npos);
    EXPECT_NE(emptyJson.find(R"("activities":[])"), std::string::npos);
    EXPECT_NE(emptyJson.find(R"("remaining":null,"codeNames":{"events":{},)"), std::string::npos);

    AnalysisResult spread = oneOfEach();
    spread.activities.push_back({utc(2024, 3, 9, 10, 0), utc(2024, 3, 9, 9, 0), 0, 0});
    spread.activities.back().end = spread.activities.back().start + 100 * 3600;
    const std::string spreadJson = toAnalysisJson(spread);
    EXPECT_NE(spreadJson.find(R"("period":"04.03.2024 – 09.03.2024")"), std::string::npos);
    EXPECT_NE(spreadJson.find(R"("dur":"100:00")"), std::string::npos);

    AnalysisResult names = oneOfEach();
    names.driver = std::string("a\x01" "b\xE9" "c\xC3\xA4\t", 8);
    EXPECT_NE(toAnalysisJson(names).find(R"("driver":"a\u0001b\uFFFDcä\t")"), std::string::npos);

    AnalysisResult negative = oneOfEach();
    negative.coverageGaps[0].end = negative.coverageGaps[0].begin - 60;
    EXPECT_NE(toAnalysisJson(negative).find(R"("dur":"00:00","cause")"), std::string::npos);
}

TEST(AnalysisJson, ValidForEveryText) {
    std::mt19937 random(4711);
    for (int round = 0; round < 2000; ++round) {
        AnalysisResult r = oneOfEach();
        std::string text(random() % 40, '\0');
        for (char& c : text) c = static_cast<char>(random());
        r.driver = text;
        r.shifts[0].detail.vehicle = text;
        r.events[0].vehicle.number = text;
        r.error = text;
        const std::string json = toAnalysisJson(r);
        ASSERT_TRUE(JsonChecker(json).valid()) << json;
        r.ok = false;
        ASSERT_TRUE(JsonChecker(toAnalysisJson(r)).valid());
    }
}

}  // namespace
}  // namespace ddd
