// Driver-card download: the first-generation application (AID FF 54 41 43 48 4F, records of
// appendix 0 and signatures of appendix 1) and the second-generation application (AID
// FF 53 4D 52 44 54, appendix 2 and 3), each read through its fixed list of EFs.
// Record format: FID (2), appendix (1), length (2, big-endian, 0xFFFF reserved), value.

#include "card/download_protocol.h"

#include "core/byte_reader.h"

#include <algorithm>
#include <array>

namespace ddd {
namespace {

struct EfEntry {
    std::uint16_t fid;
    bool isSigned;
};

struct Application {
    std::array<std::uint8_t, 6> aid;
    std::uint8_t dataAppendix;
    std::span<const EfEntry> files;
};

// Certificates first (not signed), then the signed EFs. Card_Download (0x050E) is left out on
// purpose: reading it is the business of download tools that also update it.
constexpr EfEntry kGen1Files[] = {
    {0xC100, false}, {0xC108, false}, {0x0501, true}, {0x0520, true}, {0x0521, true},
    {0x0502, true},  {0x0503, true},  {0x0504, true}, {0x0505, true}, {0x0506, true},
    {0x0507, true},  {0x0508, true},  {0x0522, true},
};

constexpr EfEntry kGen2Files[] = {
    {0xC100, false}, {0xC101, false}, {0xC108, false}, {0xC109, false}, {0x0501, true}, {0x0525, true},
    {0x0520, true},  {0x0521, true},  {0x0502, true},  {0x0503, true},  {0x0504, true}, {0x0505, true},
    {0x0506, true},  {0x0507, true},  {0x0508, true},  {0x0522, true},  {0x0523, true}, {0x0524, true},
    {0x0526, true},  {0x0527, true},  {0x0528, true},  {0x0529, true},  {0x0530, true},
};

constexpr Application kGen1{{0xFF, 0x54, 0x41, 0x43, 0x48, 0x4F}, 0, kGen1Files};
constexpr Application kGen2{{0xFF, 0x53, 0x4D, 0x52, 0x44, 0x54}, 2, kGen2Files};

constexpr std::uint16_t kOk = 0x9000;
constexpr std::uint16_t kEndOfFile = 0x6282;     // end reached before Le bytes
constexpr std::uint16_t kOffsetOutside = 0x6B00; // offset at or past the end of the EF
constexpr std::size_t kMaxExchanges = 32;
constexpr std::size_t kChunk = 255;
constexpr std::size_t kShortOffsetLimit = 32768;
constexpr std::size_t kOffsetFormLimit = 0x100000;
constexpr std::size_t kMaxRecordLength = 65534; // 0xFFFF is reserved in the record header

struct CardResponse {
    std::vector<std::uint8_t> data;
    std::uint16_t statusWord = 0;
};

class Session {
public:
    Session(CardChannel& channel, DownloadOutcome& outcome) : channel_(channel), outcome_(outcome) {}

    bool stopped() const {
        return outcome_.cardRemoved || outcome_.transmitFailed || outcome_.readFailed || outcome_.fileTooLarge;
    }

    // One logical command: resent with the right Le after 6Cxx, completed by GET RESPONSE
    // after 61xx.
    CardResponse transmit(std::vector<std::uint8_t> command) {
        ++outcome_.commands;
        CardResponse result;
        for (std::size_t exchange = 0; exchange < kMaxExchanges; ++exchange) {
            ++outcome_.exchanges;
            RawExchange raw = channel_.exchange(command);
            if (raw.failure == RawExchange::Failure::CardRemoved) {
                outcome_.cardRemoved = true;
                return {};
            }
            if (raw.failure == RawExchange::Failure::Failed || raw.response.size() < 2) {
                outcome_.transmitFailed = true;
                return {};
            }
            const std::uint8_t sw1 = raw.response[raw.response.size() - 2];
            const std::uint8_t sw2 = raw.response.back();
            result.data.insert(result.data.end(), raw.response.begin(), raw.response.end() - 2);
            if (sw1 == 0x6C) {
                result.data.clear();
                command.back() = sw2;
            } else if (sw1 == 0x61) {
                command = {0x00, 0xC0, 0x00, 0x00, sw2};
            } else {
                result.statusWord = static_cast<std::uint16_t>(sw1 << 8 | sw2);
                return result;
            }
        }
        outcome_.transmitFailed = true;
        return {};
    }

    bool selectApplication(const Application& application) {
        std::vector<std::uint8_t> command{0x00, 0xA4, 0x04, 0x0C, 0x06};
        command.insert(command.end(), application.aid.begin(), application.aid.end());
        return transmit(std::move(command)).statusWord == kOk;
    }

    void readApplication(const Application& application) {
        for (const EfEntry& entry : application.files) {
            if (stopped()) return;
            readFile(entry, application.dataAppendix);
        }
    }

private:
    void readFile(const EfEntry& entry, std::uint8_t dataAppendix) {
        const std::uint8_t fidHigh = static_cast<std::uint8_t>(entry.fid >> 8);
        const std::uint8_t fidLow = static_cast<std::uint8_t>(entry.fid);
        // A file the card does not have is skipped: not every card carries every EF.
        if (transmit({0x00, 0xA4, 0x02, 0x0C, 0x02, fidHigh, fidLow}).statusWord != kOk || stopped()) return;
        if (entry.isSigned) transmit({0x80, 0x2A, 0x90, 0x00});
        if (stopped()) return;
        const std::vector<std::uint8_t> content = readContent();
        if (stopped() || content.empty()) return;
        if (content.size() > kMaxRecordLength) {
            outcome_.fileTooLarge = true;
            return;
        }
        appendRecord(entry.fid, dataAppendix, content);
        if (!entry.isSigned) return;
        const CardResponse signature = transmit({0x00, 0x2A, 0x9E, 0x9A, 0x00});
        if (!stopped() && signature.statusWord == kOk && !signature.data.empty()) {
            appendRecord(entry.fid, static_cast<std::uint8_t>(dataAppendix + 1), signature.data);
        }
    }

    // Ends the file on a status that marks its end; any other status is a failed read, so that
    // a file cut short is never taken for a whole one.
    bool endsFile(std::uint16_t statusWord) {
        if (statusWord == kEndOfFile || statusWord == kOffsetOutside) return true;
        outcome_.readFailed = true;
        return false;
    }

    std::vector<std::uint8_t> readContent() {
        std::vector<std::uint8_t> content;
        while (content.size() < kShortOffsetLimit) {
            const CardResponse chunk = transmit({0x00, 0xB0, static_cast<std::uint8_t>(content.size() >> 8),
                                                 static_cast<std::uint8_t>(content.size()), 0xFF});
            if (stopped()) return {};
            content.insert(content.end(), chunk.data.begin(), chunk.data.end());
            if (chunk.statusWord == kOk && chunk.data.size() == kChunk) continue;
            if (chunk.statusWord == kOk || endsFile(chunk.statusWord)) return content;
            return {};
        }
        while (content.size() < kOffsetFormLimit) {
            const CardResponse chunk = transmit(offsetReadCommand(content.size()));
            if (stopped()) return {};
            if (chunk.statusWord != kOk && !endsFile(chunk.statusWord)) return {};
            if (chunk.statusWord == kOffsetOutside) return content;
            const bool more = chunk.statusWord == kOk;
            const bool delivered = appendOffsetAnswer(chunk.data, content);
            if (outcome_.readFailed) return {};
            if (!more || !delivered) return content;
        }
        return content;
    }

    static std::vector<std::uint8_t> offsetReadCommand(std::size_t offset) {
        const std::uint8_t n = offset < 0x100 ? 1 : offset < 0x10000 ? 2 : 3;
        std::vector<std::uint8_t> command{0x00, 0xB1, 0x00, 0x00, static_cast<std::uint8_t>(n + 2), 0x54, n};
        for (int shift = 8 * (n - 1); shift >= 0; shift -= 8) command.push_back(static_cast<std::uint8_t>(offset >> shift));
        command.push_back(0x00);
        return command;
    }

    // Appends the data of a "53 length data" answer; false when it carried none. A missing tag
    // or a length form other than short, 81 xx or 82 xx xx is a failed read.
    bool appendOffsetAnswer(std::span<const std::uint8_t> answer, std::vector<std::uint8_t>& content) {
        if (answer.empty()) return false;
        ByteReader in(answer);
        const std::uint8_t tag = in.u8();
        const std::uint8_t first = in.u8();
        std::size_t length = first;
        if (first == 0x81) {
            length = in.u8();
        } else if (first == 0x82) {
            length = in.u16();
        } else if (first > 0x7F) {
            in.markFailed();
        }
        if (in.failed() || tag != 0x53) {
            outcome_.readFailed = true;
            return false;
        }
        const auto data = in.bytes(std::min(length, in.remaining()));
        content.insert(content.end(), data.begin(), data.end());
        return !data.empty();
    }

    void appendRecord(std::uint16_t fid, std::uint8_t appendix, std::span<const std::uint8_t> value) {
        std::vector<std::uint8_t>& out = outcome_.download;
        out.push_back(static_cast<std::uint8_t>(fid >> 8));
        out.push_back(static_cast<std::uint8_t>(fid));
        out.push_back(appendix);
        out.push_back(static_cast<std::uint8_t>(value.size() >> 8));
        out.push_back(static_cast<std::uint8_t>(value.size()));
        out.insert(out.end(), value.begin(), value.end());
    }

    CardChannel& channel_;
    DownloadOutcome& outcome_;
};

} // namespace

DownloadOutcome downloadDriverCard(CardChannel& channel) {
    DownloadOutcome outcome;
    Session session(channel, outcome);
    outcome.gen1Selected = session.selectApplication(kGen1) && !session.stopped();
    if (outcome.gen1Selected) session.readApplication(kGen1);
    if (!session.stopped() && session.selectApplication(kGen2) && !session.stopped()) {
        session.readApplication(kGen2);
        outcome.gen2Read = true;
    }
    return outcome;
}

std::string downloadFailureMessage(const DownloadOutcome& outcome) {
    if (outcome.cardRemoved) return "Karte wurde während des Lesens entfernt.";
    // A broken transmission or a refused read leaves an incomplete download; saving it would
    // pass a partial card off as a whole one.
    if (outcome.transmitFailed || outcome.readFailed || outcome.fileTooLarge) return "Karte konnte nicht gelesen werden.";
    if (!outcome.gen1Selected && !outcome.gen2Read) return "Keine Fahrerkarte erkannt.";
    if (outcome.download.empty()) return "Karte enthält keine lesbaren Fahrerdaten.";
    return {};
}

} // namespace ddd
