// An emulated tachograph driver card for tests and benchmarks: it plugs into the virtual reader
// of the vsmartcard driver (vpcd) over TCP and answers the commands of a driver-card download
// from the elementary files of a card download, with switches for misbehaving cards.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace ddd::emu {

using ByteVector = std::vector<std::uint8_t>;

struct ElementaryFile {
    ByteVector data;
    std::optional<ByteVector> signature; // what COMPUTE DIGITAL SIGNATURE answers after its hash
};

struct CardApplication {
    std::array<std::uint8_t, 6> aid{};
    std::map<std::uint16_t, ElementaryFile> files;
};

struct CardImage {
    ByteVector atr;
    std::vector<CardApplication> applications;
};

inline constexpr std::array<std::uint8_t, 6> kTachographAid{0xFF, 0x54, 0x41, 0x43, 0x48, 0x4F};
inline constexpr std::array<std::uint8_t, 6> kSmartTachographAid{0xFF, 0x53, 0x4D, 0x52, 0x44, 0x54};

// The card that holds the EFs of a card download: records of appendix 0 and 1 form the
// first-generation application, 2 and 3 the second-generation one. Throws std::invalid_argument
// for bytes that are not a card download.
CardImage cardImageFromDownload(std::span<const std::uint8_t> download);

// A card with no tachograph application, such as a bank card.
CardImage foreignCardImage();

struct CardBehaviour {
    // The card leaves the reader when this command (counted from 0) arrives.
    int pullAtCommand = -1;
    // The card stays in the reader but stops answering from this command on.
    int stallAtCommand = -1;
    // READ BINARY of `fid` at offsets from `fromOffset` on answers `statusWord` without data.
    struct ReadStatus {
        std::uint16_t fid = 0;
        std::uint32_t fromOffset = 0;
        std::uint16_t statusWord = 0x6F00;
    };
    std::optional<ReadStatus> readStatus;
    // A READ BINARY that asks for more than the file holds is refused with 6Cxx, xx being the
    // bytes left, as T=0 cards do; otherwise the rest comes back with 6282.
    bool exactLength = false;
    // Answers that carry data announce it with 61xx and hand it out on GET RESPONSE.
    bool dataByGetResponse = false;
};

class EmulatedCard {
public:
    explicit EmulatedCard(CardImage image, CardBehaviour behaviour = {});
    ~EmulatedCard();
    EmulatedCard(const EmulatedCard&) = delete;
    EmulatedCard& operator=(const EmulatedCard&) = delete;

    // Connects to the virtual reader listening on 127.0.0.1:port and serves it on a thread of
    // its own. False when no reader accepted the card within `timeout`.
    bool insert(std::uint16_t port, std::chrono::milliseconds timeout);
    // The card leaves the reader: the connection is closed.
    void pull();

    // Command APDUs answered or refused so far (control messages of the reader not counted).
    int commandCount() const { return commands_.load(); }

    // Answers one command APDU directly, without reader and service, for measuring the cost of
    // the download code alone. Only for a card that is not in a reader.
    ByteVector respond(std::span<const std::uint8_t> apdu);

private:
    void serve();
    ByteVector select(std::span<const std::uint8_t> apdu);
    ByteVector readBinary(std::uint32_t offset, std::size_t wanted, bool offsetForm);
    ByteVector computeSignature();
    ByteVector withStatus(ByteVector data, std::uint16_t statusWord);
    void resetSession();

    CardImage image_;
    CardBehaviour behaviour_;
    int socket_ = -1;
    std::thread server_;
    std::mutex socketMutex_;
    std::atomic<int> commands_{0};

    // Session state of the card, touched only by the serving thread.
    const CardApplication* application_ = nullptr;
    const ElementaryFile* file_ = nullptr;
    std::uint16_t fileId_ = 0;
    const ElementaryFile* hashed_ = nullptr;
    ByteVector pendingResponse_;
};

} // namespace ddd::emu
