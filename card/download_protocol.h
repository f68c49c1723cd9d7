// The download protocol of a tachograph driver card, independent of the smart-card service:
// application and file selection, hashing, reading in chunks and signing, with the answers
// assembled into the TLV records of a card download.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ddd {

// One exchange with the card as the smart-card service reports it.
struct RawExchange {
    enum class Failure { None, CardRemoved, Failed };
    Failure failure = Failure::None;
    std::vector<std::uint8_t> response; // data followed by SW1 SW2
};

// The way commands reach the card; the PC/SC session is the real one.
class CardChannel {
public:
    virtual ~CardChannel() = default;
    virtual RawExchange exchange(std::span<const std::uint8_t> command) = 0;
};

struct DownloadOutcome {
    std::vector<std::uint8_t> download; // TLV records as read, first generation first
    bool cardRemoved = false;
    bool transmitFailed = false;
    // The card answered a read with a status that neither delivers data nor marks the end of
    // the file, or with a malformed answer: the file would be cut short.
    bool readFailed = false;
    // A file too large for the 16-bit length of a download record.
    bool fileTooLarge = false;
    bool gen1Selected = false;
    bool gen2Read = false;
    int commands = 0;  // logical commands
    int exchanges = 0; // APDUs sent, GET RESPONSE and resent commands included
};

// Runs the whole download on a card whose session (and transaction) is open.
DownloadOutcome downloadDriverCard(CardChannel& channel);

// The German sentence for the user when the outcome is no complete download, else empty.
std::string downloadFailureMessage(const DownloadOutcome& outcome);

} // namespace ddd
