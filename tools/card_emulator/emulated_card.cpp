// The card side of the virtual reader's socket protocol: every message is a 2-byte big-endian
// length and a payload; a one-byte payload is a control message of the reader (0x00 power off,
// 0x01 power on, 0x02 reset, 0x04 ATR request, only the last one answered), any longer payload
// is a command APDU, answered with the response data followed by SW1 SW2.

#include "tools/card_emulator/emulated_card.h"

#include "core/byte_reader.h"
#include "core/card_file.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace ddd::emu {
namespace {

constexpr std::uint16_t kOk = 0x9000;
constexpr std::uint16_t kEndOfFile = 0x6282;
constexpr std::uint16_t kConditionsNotSatisfied = 0x6985;
constexpr std::uint16_t kNoCurrentEf = 0x6986;
constexpr std::uint16_t kFileNotFound = 0x6A82;
constexpr std::uint16_t kWrongParameters = 0x6A86;
constexpr std::uint16_t kOffsetOutside = 0x6B00;
constexpr std::uint16_t kInsNotSupported = 0x6D00;
constexpr std::uint16_t kClaNotSupported = 0x6E00;
// The offset form answers in one short response: tag 0x53, length 0x81 xx, then the data.
constexpr std::size_t kOffsetFormMaxData = 256 - 3;

bool sendAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool receiveAll(int fd, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        // The reader sends the length and the payload of a message separately; acknowledging
        // at once keeps its Nagle delay from adding 40 ms to every command.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
        const ssize_t got = ::recv(fd, data, size, 0);
        if (got <= 0) return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool sendMessage(int fd, const ByteVector& payload) {
    ByteVector message{static_cast<std::uint8_t>(payload.size() >> 8), static_cast<std::uint8_t>(payload.size())};
    message.insert(message.end(), payload.begin(), payload.end());
    return sendAll(fd, message.data(), message.size());
}

bool receiveMessage(int fd, ByteVector& payload) {
    std::uint8_t header[2];
    if (!receiveAll(fd, header, 2)) return false;
    payload.resize(static_cast<std::size_t>(header[0]) << 8 | header[1]);
    return receiveAll(fd, payload.data(), payload.size());
}

ByteVector statusOnly(std::uint16_t statusWord) {
    return {static_cast<std::uint8_t>(statusWord >> 8), static_cast<std::uint8_t>(statusWord)};
}

} // namespace

CardImage cardImageFromDownload(std::span<const std::uint8_t> download) {
    const auto index = splitTlv(download);
    if (!index) throw std::invalid_argument("not a card download: " + index.error().message);
    CardApplication gen1{kTachographAid, {}};
    CardApplication gen2{kSmartTachographAid, {}};
    for (const TlvRecord& record : index.value().records) {
        CardApplication& application = record.appendix < kAppendixGen2Data ? gen1 : gen2;
        ElementaryFile& file = application.files[record.fid];
        ByteVector value(record.value.begin(), record.value.end());
        if (record.appendix % 2 == 0) {
            file.data = std::move(value);
        } else {
            file.signature = std::move(value);
        }
    }
    CardImage image;
    // Direct convention, T=0 only, four historical bytes.
    image.atr = {0x3B, 0x04, 0x80, 0x44, 0x44, 0x44};
    if (!gen1.files.empty()) image.applications.push_back(std::move(gen1));
    if (!gen2.files.empty()) image.applications.push_back(std::move(gen2));
    return image;
}

CardImage foreignCardImage() {
    CardImage image;
    image.atr = {0x3B, 0x04, 0x80, 0x42, 0x41, 0x4E};
    CardApplication payment{{0xA0, 0x00, 0x00, 0x00, 0x04, 0x10}, {}};
    payment.files[0x0101].data = ByteVector(64, 0x5A);
    image.applications.push_back(std::move(payment));
    return image;
}

EmulatedCard::EmulatedCard(CardImage image, CardBehaviour behaviour)
    : image_(std::move(image)), behaviour_(behaviour) {}

EmulatedCard::~EmulatedCard() { pull(); }

bool EmulatedCard::insert(std::uint16_t port, std::chrono::milliseconds timeout) {
    pull();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // The reader may still be starting: retry until it listens.
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard lock(socketMutex_);
            socket_ = fd;
            break;
        }
        ::close(fd);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    resetSession();
    server_ = std::thread([this] { serve(); });
    return true;
}

void EmulatedCard::pull() {
    {
        std::lock_guard lock(socketMutex_);
        if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
    }
    if (server_.joinable()) server_.join();
    std::lock_guard lock(socketMutex_);
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

void EmulatedCard::serve() {
    ByteVector message;
    while (receiveMessage(socket_, message)) {
        if (message.size() == 1) {
            if (message[0] == 0x04) {
                if (!sendMessage(socket_, image_.atr)) break;
            } else {
                resetSession();
            }
            continue;
        }
        const int index = commands_.fetch_add(1);
        if (index == behaviour_.pullAtCommand) break;
        if (behaviour_.stallAtCommand >= 0 && index >= behaviour_.stallAtCommand) continue;
        if (!sendMessage(socket_, respond(message))) break;
    }
    // Leaving the loop means the card is out of the reader, whoever ended the connection.
    ::shutdown(socket_, SHUT_RDWR);
}

void EmulatedCard::resetSession() {
    application_ = nullptr;
    file_ = nullptr;
    fileId_ = 0;
    hashed_ = nullptr;
    pendingResponse_.clear();
}

ByteVector EmulatedCard::respond(std::span<const std::uint8_t> apdu) {
    ByteReader in(apdu);
    const std::uint8_t cla = in.u8();
    const std::uint8_t ins = in.u8();
    const std::uint8_t p1 = in.u8();
    const std::uint8_t p2 = in.u8();
    if (ins == 0xC0 && cla == 0x00) {
        if (pendingResponse_.empty()) return statusOnly(kConditionsNotSatisfied);
        const std::size_t wanted = in.remaining() > 0 ? in.u8() : 0;
        const std::size_t n = std::min(pendingResponse_.size(), wanted == 0 ? std::size_t{256} : wanted);
        ByteVector out(pendingResponse_.begin(), pendingResponse_.begin() + static_cast<std::ptrdiff_t>(n));
        pendingResponse_.erase(pendingResponse_.begin(), pendingResponse_.begin() + static_cast<std::ptrdiff_t>(n));
        // The final status word waits behind the data, in the last two bytes.
        if (pendingResponse_.size() == 2) {
            out.insert(out.end(), pendingResponse_.begin(), pendingResponse_.end());
            pendingResponse_.clear();
        } else {
            const std::size_t left = pendingResponse_.size() - 2;
            out.push_back(0x61);
            out.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(left, 256)));
        }
        return out;
    }
    pendingResponse_.clear();
    if (cla == 0x80 && ins == 0x2A && p1 == 0x90 && p2 == 0x00) {
        if (file_ == nullptr) return statusOnly(kConditionsNotSatisfied);
        hashed_ = file_;
        return statusOnly(kOk);
    }
    if (cla != 0x00) return statusOnly(kClaNotSupported);
    switch (ins) {
    case 0xA4:
        return select(apdu);
    case 0x2A:
        if (p1 == 0x9E && p2 == 0x9A) return computeSignature();
        return statusOnly(kWrongParameters);
    case 0xB0: {
        if (p1 & 0x80) return statusOnly(kWrongParameters);
        const std::size_t le = in.remaining() > 0 ? in.u8() : 0;
        return readBinary(static_cast<std::uint32_t>(p1) << 8 | p2, le == 0 ? 256 : le, false);
    }
    case 0xB1: {
        // Lc, then the offset data object 54 n offset, then Le.
        const std::uint8_t lc = in.u8();
        const std::uint8_t tag = in.u8();
        const std::uint8_t n = in.u8();
        if (in.failed() || tag != 0x54 || n < 1 || n > 3 || lc != n + 2) return statusOnly(kWrongParameters);
        std::uint32_t offset = 0;
        for (std::uint8_t i = 0; i < n; ++i) offset = offset << 8 | in.u8();
        if (in.failed()) return statusOnly(kWrongParameters);
        return readBinary(offset, kOffsetFormMaxData, true);
    }
    default:
        return statusOnly(kInsNotSupported);
    }
}

ByteVector EmulatedCard::select(std::span<const std::uint8_t> apdu) {
    ByteReader in(apdu);
    in.skip(2);
    const std::uint8_t p1 = in.u8();
    in.skip(1);
    const std::uint8_t lc = in.u8();
    const auto body = in.bytes(lc);
    if (in.failed()) return statusOnly(kWrongParameters);
    if (p1 == 0x04) {
        resetSession();
        for (const CardApplication& application : image_.applications) {
            if (std::equal(body.begin(), body.end(), application.aid.begin(), application.aid.end())) {
                application_ = &application;
                return statusOnly(kOk);
            }
        }
        return statusOnly(kFileNotFound);
    }
    if (p1 != 0x02 || lc != 2) return statusOnly(kWrongParameters);
    file_ = nullptr;
    if (application_ == nullptr) return statusOnly(kFileNotFound);
    const std::uint16_t fid = static_cast<std::uint16_t>(body[0] << 8 | body[1]);
    const auto found = application_->files.find(fid);
    if (found == application_->files.end()) return statusOnly(kFileNotFound);
    file_ = &found->second;
    fileId_ = fid;
    return statusOnly(kOk);
}

ByteVector EmulatedCard::readBinary(std::uint32_t offset, std::size_t wanted, bool offsetForm) {
    if (file_ == nullptr) return statusOnly(kNoCurrentEf);
    if (behaviour_.readStatus && behaviour_.readStatus->fid == fileId_ && offset >= behaviour_.readStatus->fromOffset) {
        return statusOnly(behaviour_.readStatus->statusWord);
    }
    const ByteVector& data = file_->data;
    if (offset >= data.size()) return statusOnly(kOffsetOutside);
    const std::size_t left = data.size() - offset;
    if (wanted > left && behaviour_.exactLength && !offsetForm) {
        return statusOnly(static_cast<std::uint16_t>(0x6C00 | left));
    }
    const std::size_t n = std::min(wanted, left);
    ByteVector out;
    if (offsetForm) {
        out.push_back(0x53);
        if (n >= 0x80) out.push_back(0x81);
        out.push_back(static_cast<std::uint8_t>(n));
    }
    out.insert(out.end(), data.begin() + offset, data.begin() + static_cast<std::ptrdiff_t>(offset + n));
    return withStatus(std::move(out), n < wanted ? kEndOfFile : kOk);
}

ByteVector EmulatedCard::computeSignature() {
    if (hashed_ == nullptr || !hashed_->signature) return statusOnly(kConditionsNotSatisfied);
    ByteVector signature = *hashed_->signature;
    hashed_ = nullptr;
    return withStatus(std::move(signature), kOk);
}

ByteVector EmulatedCard::withStatus(ByteVector data, std::uint16_t statusWord) {
    const ByteVector status = statusOnly(statusWord);
    if (behaviour_.dataByGetResponse && !data.empty()) {
        pendingResponse_ = std::move(data);
        const std::size_t announced = std::min<std::size_t>(pendingResponse_.size(), 256);
        pendingResponse_.insert(pendingResponse_.end(), status.begin(), status.end());
        return {0x61, static_cast<std::uint8_t>(announced)};
    }
    data.insert(data.end(), status.begin(), status.end());
    return data;
}

} // namespace ddd::emu
