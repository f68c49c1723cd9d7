// Driver cards in the smart-card readers of the computer: the list of readers the PC/SC service
// knows and the download of a driver card into the bytes of a card download file.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ddd {

struct CardReadLimits {
    // Bound of every call into the smart-card service that can block. A real card at 9600 baud
    // needs well under a second per command; the bound only catches a service or card that hangs.
    std::chrono::milliseconds perCall{20000};
};

struct CardReadResult {
    std::vector<std::uint8_t> download; // the card download; empty when `error` is set
    std::string error;                  // German sentence for the user, empty on success
    int commands = 0;                   // logical card commands of the download
    int exchanges = 0;                  // APDUs sent
    bool ok() const { return error.empty(); }
};

// Reader names in the service's order; empty when the service is unavailable or has none.
std::vector<std::string> listReaders(const CardReadLimits& limits = {});

// Downloads the driver card in the named reader: both applications a card carries, each EF
// with its signature, in the record format of card download files.
CardReadResult readDriverCard(const std::string& readerName, const CardReadLimits& limits = {});

} // namespace ddd
