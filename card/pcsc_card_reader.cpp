// The PC/SC session of a card download: context, shared connection with T=0 or T=1, one
// transaction around the whole download, and transmission with the protocol's control
// information. Every call that can block runs under the session's ServiceCallBound.

#include "card/card_reader.h"

#include "card/download_protocol.h"
#include "card/service_call_bound.h"

#include <winscard.h>

#include <algorithm>

namespace ddd {
namespace {

constexpr DWORD kReceiveBufferSize = 4096;

// How long a failed exchange waits for the service to notice a pulled card. The virtual reader
// answers the command that meets the pulled card with no bytes at all and the service marks
// the card absent on its next poll, a few hundred milliseconds later.
constexpr std::chrono::milliseconds kRemovalWindow{1000};

class PcscChannel : public CardChannel {
public:
    PcscChannel(SCARDCONTEXT context, const std::string& reader, SCARDHANDLE card, DWORD protocol, ServiceCallBound& bound,
                std::chrono::milliseconds perCall)
        : context_(context), reader_(reader), card_(card), protocol_(protocol), bound_(bound),
          removalWindow_(std::min(kRemovalWindow, perCall / 2)) {}

    RawExchange exchange(std::span<const std::uint8_t> command) override {
        RawExchange result;
        result.response.resize(kReceiveBufferSize);
        DWORD received = kReceiveBufferSize;
        const SCARD_IO_REQUEST* pci = protocol_ == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
        const LONG rv = bound_.run([&] {
            return SCardTransmit(card_, pci, command.data(), static_cast<DWORD>(command.size()), nullptr,
                                 result.response.data(), &received);
        });
        result.response.resize(rv == SCARD_S_SUCCESS ? received : 0);
        if (rv == SCARD_W_REMOVED_CARD || rv == SCARD_E_NO_SMARTCARD) {
            result.failure = RawExchange::Failure::CardRemoved;
        } else if (rv != SCARD_S_SUCCESS || received < 2) {
            result.failure = cardLeft() ? RawExchange::Failure::CardRemoved : RawExchange::Failure::Failed;
        }
        return result;
    }

private:
    // Readers differ in what a card pulled in the middle of a command yields, so after a failed
    // exchange the card's presence decides between "pulled" and "failed".
    bool cardLeft() {
        if (bound_.expired()) return false;
        SCARD_READERSTATE state{};
        state.szReader = reader_.c_str();
        state.dwCurrentState = SCARD_STATE_UNAWARE;
        const auto deadline = std::chrono::steady_clock::now() + removalWindow_;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            const LONG rv = bound_.run([&] {
                return SCardGetStatusChange(context_, static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0)), &state, 1);
            });
            if (rv != SCARD_S_SUCCESS) return false;
            if ((state.dwEventState & SCARD_STATE_EMPTY) != 0) return true;
            if (left.count() <= 0) return false;
            state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
        }
    }

    SCARDCONTEXT context_;
    const std::string& reader_;
    SCARDHANDLE card_;
    DWORD protocol_;
    ServiceCallBound& bound_;
    std::chrono::milliseconds removalWindow_;
};

// The service context of one session, released on every path.
class ServiceContext {
public:
    explicit ServiceContext(ServiceCallBound& bound) : bound_(bound) {
        established_ = bound_.run([&] { return SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_); }) ==
                       SCARD_S_SUCCESS;
    }
    ~ServiceContext() {
        if (established_) bound_.run([&] { return SCardReleaseContext(context_); });
    }
    ServiceContext(const ServiceContext&) = delete;
    ServiceContext& operator=(const ServiceContext&) = delete;

    bool established() const { return established_; }
    SCARDCONTEXT handle() const { return context_; }

private:
    ServiceCallBound& bound_;
    SCARDCONTEXT context_ = 0;
    bool established_ = false;
};

std::string connectFailureMessage(LONG rv) {
    switch (rv) {
    case SCARD_E_SHARING_VIOLATION: return "Karte wird von einer anderen Anwendung verwendet.";
    case SCARD_E_NO_SMARTCARD:
    case SCARD_W_REMOVED_CARD: return "Bitte Fahrerkarte einstecken.";
    default: return "Karte konnte nicht gelesen werden.";
    }
}

} // namespace

std::vector<std::string> listReaders(const CardReadLimits& limits) {
    std::vector<std::string> readers;
    ServiceCallBound bound(limits.perCall);
    ServiceContext context(bound);
    if (!context.established()) return readers;
    DWORD size = 0;
    if (bound.run([&] { return SCardListReaders(context.handle(), nullptr, nullptr, &size); }) != SCARD_S_SUCCESS || size == 0) {
        return readers;
    }
    std::vector<char> names(size, '\0');
    if (bound.run([&] { return SCardListReaders(context.handle(), nullptr, names.data(), &size); }) != SCARD_S_SUCCESS) {
        return readers;
    }
    // NUL-terminated names, the list ends with an empty one; the zeroed buffer ends any list
    // the service left unterminated.
    names.push_back('\0');
    for (std::size_t start = 0; start < names.size() && names[start] != '\0';) {
        const std::string name(names.data() + start);
        readers.push_back(name);
        start += name.size() + 1;
    }
    return readers;
}

CardReadResult readDriverCard(const std::string& readerName, const CardReadLimits& limits) {
    CardReadResult result;
    if (readerName.empty()) {
        result.error = "Kein Kartenleser ausgewählt.";
        return result;
    }
    ServiceCallBound bound(limits.perCall);
    ServiceContext context(bound);
    if (!context.established()) {
        result.error = "Smartcard-Dienst nicht verfügbar.";
        return result;
    }
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const LONG connected = bound.run([&] {
        return SCardConnect(context.handle(), readerName.c_str(), SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1,
                            &card, &protocol);
    });
    // The service holds a connection back while another application keeps the card in a
    // transaction, so a connection that outlives its bound means the card is in use.
    if (connected != SCARD_S_SUCCESS) {
        result.error = bound.expired() ? "Karte wird von einer anderen Anwendung verwendet." : connectFailureMessage(connected);
        return result;
    }
    // Whether the transaction began is not checked: a reader without transaction support still
    // serves the download. A transaction that never begins, though, means another application
    // keeps the card.
    bound.run([&] { return SCardBeginTransaction(card); });
    const bool cardBusy = bound.expired();
    DownloadOutcome outcome;
    if (!cardBusy) {
        PcscChannel channel(context.handle(), readerName, card, protocol, bound, limits.perCall);
        outcome = downloadDriverCard(channel);
        bound.run([&] { return SCardEndTransaction(card, SCARD_LEAVE_CARD); });
    }
    bound.run([&] { return SCardDisconnect(card, SCARD_LEAVE_CARD); });

    result.commands = outcome.commands;
    result.exchanges = outcome.exchanges;
    if (cardBusy) {
        result.error = "Karte wird von einer anderen Anwendung verwendet.";
    } else {
        result.error = downloadFailureMessage(outcome);
    }
    if (result.ok()) result.download = std::move(outcome.download);
    return result;
}

} // namespace ddd
