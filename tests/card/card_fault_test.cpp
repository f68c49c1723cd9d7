// Live card reads that cannot give a complete download: each ends in its German sentence,
// with no analysis run and nothing left in the temporary directory.

#include "card/card_read_reply.h"
#include "card/card_reader.h"
#include "tests/card/card_rig.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <winscard.h>

#include <cstring>

#include <functional>

namespace ddd::test {
namespace {

using gen::Generation;
using Readers = emu::VirtualReaderService::Readers;

enum class Setup { NoService, HungService, NoReader, EmptyReader, Card };

struct FaultCase {
    std::string name;
    Setup setup = Setup::Card;
    std::function<emu::CardImage()> image;
    emu::CardBehaviour behaviour;
    std::string readerName = emu::VirtualReaderService::readerName();
    std::string message;
    // Another application's hold on the card while the reader runs.
    enum class Rival { None, Exclusive, Transaction } rival = Rival::None;
};

emu::CardImage gen1Card() { return imageOf(gen::randomCard(31, 60, Generation::Gen1)); }
emu::CardImage gen2Card() { return imageOf(gen::randomCard(32, 60, Generation::Both)); }

// A tachograph application without any readable file.
emu::CardImage emptyTachographCard() {
    emu::CardImage image = gen1Card();
    for (emu::CardApplication& application : image.applications) application.files.clear();
    return image;
}

// A second-generation card whose GNSS file is larger than a download record can hold.
emu::CardImage oversizedCard() {
    emu::CardImage image = imageOf(gen::randomCard(33, 30, Generation::Gen2));
    image.applications.back().files[0x0523].data.assign(70000, 0);
    return image;
}

emu::CardBehaviour pulledAt(int command) {
    emu::CardBehaviour b;
    b.pullAtCommand = command;
    return b;
}

emu::CardBehaviour readAnswers(std::uint16_t fid, std::uint32_t fromOffset, std::uint16_t statusWord) {
    emu::CardBehaviour b;
    b.readStatus = emu::CardBehaviour::ReadStatus{fid, fromOffset, statusWord};
    return b;
}

emu::CardBehaviour stalledAt(int command) {
    emu::CardBehaviour b;
    b.stallAtCommand = command;
    return b;
}

const std::string kCannotRead = "Karte konnte nicht gelesen werden.";
const std::string kInUse = "Karte wird von einer anderen Anwendung verwendet.";

std::vector<FaultCase> faultCases() {
    using R = FaultCase::Rival;
    return {
        {"NoServiceRunning", Setup::NoService, {}, {}, emu::VirtualReaderService::readerName(), "Smartcard-Dienst nicht verfügbar."},
        {"ServiceThatNeverAnswers", Setup::HungService, {}, {}, emu::VirtualReaderService::readerName(),
         "Smartcard-Dienst nicht verfügbar."},
        {"NoReaderAttached", Setup::NoReader, {}, {}, emu::VirtualReaderService::readerName(), kCannotRead},
        {"NoReaderChosen", Setup::Card, gen1Card, {}, "", "Kein Kartenleser ausgewählt."},
        {"ReaderWithoutCard", Setup::EmptyReader, {}, {}, emu::VirtualReaderService::readerName(), "Bitte Fahrerkarte einstecken."},
        {"CardPulledWhileReadingGen1", Setup::Card, gen1Card, pulledAt(40), emu::VirtualReaderService::readerName(),
         "Karte wurde während des Lesens entfernt."},
        {"CardPulledWhileReadingGen2", Setup::Card, gen2Card, pulledAt(300), emu::VirtualReaderService::readerName(),
         "Karte wurde während des Lesens entfernt."},
        {"UnexpectedStatusInTheMiddleOfAFile", Setup::Card, gen1Card, readAnswers(0x0504, 510, 0x6F00),
         emu::VirtualReaderService::readerName(), kCannotRead},
        {"UnexpectedStatusOnTheFirstRead", Setup::Card, gen2Card, readAnswers(0x0520, 0, 0x6982),
         emu::VirtualReaderService::readerName(), kCannotRead},
        {"NotATachographCard", Setup::Card, emu::foreignCardImage, {}, emu::VirtualReaderService::readerName(),
         "Keine Fahrerkarte erkannt."},
        {"TachographCardWithoutReadableFiles", Setup::Card, emptyTachographCard, {}, emu::VirtualReaderService::readerName(),
         "Karte enthält keine lesbaren Fahrerdaten."},
        {"FileTooLargeForADownload", Setup::Card, oversizedCard, {}, emu::VirtualReaderService::readerName(), kCannotRead},
        {"CardStopsAnswering", Setup::Card, gen1Card, stalledAt(25), emu::VirtualReaderService::readerName(), kCannotRead},
        {"CardHeldExclusivelyByAnotherApplication", Setup::Card, gen1Card, {}, emu::VirtualReaderService::readerName(), kInUse,
         R::Exclusive},
        {"CardInAnotherApplicationsTransaction", Setup::Card, gen1Card, {}, emu::VirtualReaderService::readerName(), kInUse,
         R::Transaction},
    };
}

// Holds the card the way another program would, for as long as it lives.
class RivalApplication {
public:
    RivalApplication(FaultCase::Rival kind, const std::string& reader) {
        if (kind == FaultCase::Rival::None) return;
        EXPECT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_), SCARD_S_SUCCESS);
        const DWORD share = kind == FaultCase::Rival::Exclusive ? SCARD_SHARE_EXCLUSIVE : SCARD_SHARE_SHARED;
        DWORD protocol = 0;
        EXPECT_EQ(SCardConnect(context_, reader.c_str(), share, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card_, &protocol),
                  SCARD_S_SUCCESS);
        if (kind == FaultCase::Rival::Transaction) {
            EXPECT_EQ(SCardBeginTransaction(card_), SCARD_S_SUCCESS);
        }
    }
    ~RivalApplication() {
        if (card_ != 0) SCardDisconnect(card_, SCARD_RESET_CARD);
        if (context_ != 0) SCardReleaseContext(context_);
    }

private:
    SCARDCONTEXT context_ = 0;
    SCARDHANDLE card_ = 0;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

// A service socket that takes connections but never answers, like a hung pcscd.
class HungService {
public:
    HungService() {
        const std::filesystem::path path = emu::privateServiceFolder() / "pcscd.comm";
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd_, 16), 0);
    }
    ~HungService() {
        ::close(fd_);
        std::error_code ignored;
        std::filesystem::remove(emu::privateServiceFolder() / "pcscd.comm", ignored);
    }

private:
    int fd_ = -1;
};

class CardFault : public testing::TestWithParam<FaultCase> {};

TEST_P(CardFault, EndsInItsMessageWithoutAnalysisOrFile) {
    const FaultCase& c = GetParam();
    PrivateTempDir temp;
    std::unique_ptr<CardStack> stack;
    std::unique_ptr<HungService> hung;
    if (c.setup == Setup::HungService) hung = std::make_unique<HungService>();
    if (c.setup == Setup::NoReader) stack = std::make_unique<CardStack>(std::nullopt, emu::CardBehaviour{}, Readers::None);
    if (c.setup == Setup::EmptyReader) stack = std::make_unique<CardStack>(std::nullopt);
    if (c.setup == Setup::Card) stack = std::make_unique<CardStack>(c.image(), c.behaviour);
    RivalApplication rival(c.rival, c.readerName);

    CardReadLimits limits;
    limits.perCall = std::chrono::milliseconds(1500);
    const CardReadReply reply = readCardReply(
        c.readerName,
        [](const std::filesystem::path& file) {
            ADD_FAILURE() << "analysis run on " << file;
            return std::string("{}");
        },
        limits);

    EXPECT_EQ(reply.json, "{\"ok\":false,\"error\":\"" + c.message + "\"}");
    EXPECT_TRUE(reply.savedFile.empty());
    EXPECT_TRUE(reply.tempFolder.empty());
    EXPECT_TRUE(temp.entries().empty()) << testing::PrintToString(temp.entries());
}

INSTANTIATE_TEST_SUITE_P(Faults, CardFault, testing::ValuesIn(faultCases()),
                         [](const auto& info) { return info.param.name; });

TEST(CardReaders, NoneWithoutServiceOrReader) {
    PrivateTempDir temp; // also points the client at the private service socket
    EXPECT_EQ(listReadersJson(), "[]");
    {
        HungService hung;
        CardReadLimits limits;
        limits.perCall = std::chrono::milliseconds(500);
        EXPECT_EQ(listReadersJson(limits), "[]");
    }
    CardStack stack(std::nullopt, emu::CardBehaviour{}, Readers::None);
    EXPECT_EQ(listReadersJson(), "[]");
}

} // namespace
} // namespace ddd::test
