// Live card reads through pcscd and the virtual reader: a download holds every EF of the card
// byte for byte; a read that cannot give one ends in its German sentence, nothing left behind.
#include "card/card_read_reply.h"
#include "card/card_reader.h"
#include "core/card_file.h"
#include "tests/card/card_rig.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <winscard.h>
#include <cstring>
#include <functional>
#include <map>
#include <regex>

namespace ddd::test {
namespace {

using gen::Generation;
using RecordMap = std::map<std::pair<std::uint8_t, std::uint16_t>, std::vector<std::uint8_t>>;  // by appendix and FID

// Download tools read every EF of the applications except Card_Download, which they write,
// and the chip's own files outside the applications.
RecordMap recordsOf(const std::vector<std::uint8_t>& download, bool onlyReadable) {
    RecordMap records;
    const auto index = splitTlv(download);
    for (const TlvRecord& r : index.value().records) {
        const bool readable = r.fid != 0x050E && r.fid != 0x0002 && r.fid != 0x0005;
        EXPECT_TRUE((onlyReadable && !readable) || records.emplace(std::pair(r.appendix, r.fid), std::vector(r.value.begin(), r.value.end())).second)
            << "record written twice: FID " << r.fid;
    }
    return records;
}

template <class T, class Change>
T with(T value, Change change) {
    change(value);
    return value;
}
using B = emu::CardBehaviour;

struct DownloadCase { std::string name; gen::CardDescription card; emu::CardBehaviour behaviour; };
void PrintTo(const DownloadCase& c, std::ostream* out) { *out << c.name; }
class CardDownload : public testing::TestWithParam<DownloadCase> {};

// The reply saves the download as card.ddd in a private folder and hands it to the analysis.
TEST_P(CardDownload, FileDecodesCleanlyAndHoldsEveryEfOfTheCard) {
    const DownloadCase& c = GetParam();
    const std::vector<std::uint8_t> written = gen::writeCardDownload(c.card);
    PrivateTempDir temp;
    CardStack stack(emu::cardImageFromDownload(written), c.behaviour);
    std::string download;
    const CardReadReply reply = readCardReply(emu::VirtualReaderService::readerName(), [&](const std::filesystem::path& saved) {
        download = readFile(saved);
        return std::string("{\"ok\":true}");
    });
    EXPECT_EQ(reply.json, "{\"ok\":true}");
    EXPECT_EQ(reply.savedFile, reply.tempFolder / "card.ddd");
    EXPECT_EQ(reply.tempFolder.parent_path(), temp.path());
    EXPECT_TRUE(std::regex_match(reply.tempFolder.filename().string(), std::regex("tacho-card-[0-9a-f]{16}"))) << reply.tempFolder;
    EXPECT_EQ(std::filesystem::status(reply.tempFolder).permissions(), std::filesystem::perms::owner_all);

    const std::vector<std::uint8_t> read(download.begin(), download.end());
    const auto decoded = decodeCardFile(read);
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    const DriverCardFile& file = decoded.value();
    EXPECT_EQ(std::pair(file.gen1.has_value(), file.gen2.has_value()),
              std::pair(c.card.generation != Generation::Gen2, c.card.generation != Generation::Gen1));
    for (const auto* part : {&file.gen1, &file.gen2}) {
        EXPECT_TRUE(!*part || ((*part)->issues.empty() && (*part)->identification && (*part)->driverActivity));
    }
    EXPECT_EQ(recordsOf(read, false), recordsOf(written, true));
    // A second-generation card's download carries the first-generation records first.
    bool seenGen2 = false;
    for (const TlvRecord& record : file.records) {
        seenGen2 = seenGen2 || record.appendix >= kAppendixGen2Data;
        EXPECT_FALSE(seenGen2 && record.appendix < kAppendixGen2Data) << "FID " << record.fid;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cards, CardDownload,
    testing::Values(DownloadCase{"FirstGenerationCard", gen::randomCard(11, 120, Generation::Gen1), {}},
                    DownloadCase{"SecondGenerationCardWithBothApplications", gen::randomCard(12, 120, Generation::Both), {}},
                    DownloadCase{"SecondGenerationApplicationOnly", gen::randomCard(13, 60, Generation::Gen2), {}},
                    DownloadCase{"CardNamingTheExactLengthWith6Cxx", gen::randomCard(14, 60, Generation::Gen1),
                                 with(B{}, [](B& b) { b.exactLength = true; })},
                    DownloadCase{"CardHandingOutDataByGetResponse", gen::randomCard(15, 60, Generation::Both),
                                 with(B{}, [](B& b) { b.dataByGetResponse = true; })},
                    // 13766 bytes of cyclic area and 4 of pointers: an EF of exactly 54 full chunks.
                    DownloadCase{"ActivityFileOfWholeChunks", with(gen::randomCard(16, 60, Generation::Gen1), [](auto& c) { c.gen1.activityBytes = 13766; }), {}},
                    // Past 32 KiB the card is read with the offset form of READ BINARY.
                    DownloadCase{"ActivityFilePast32KiB", with(gen::randomCard(17, 200, Generation::Both), [](auto& c) { c.gen2.activityBytes = 40000; }), {}}),
    [](const auto& info) { return info.param.name; });

// What the read meets besides the card: from no service at all to a disk that fills up.
enum class Setup { NoService, HungService, NoReader, EmptyReader, Card, HeldExclusively, InTransaction, NoTemporaryFolder, DiskFull };
using Analysis = std::function<std::string(const std::filesystem::path&)>;

struct FaultCase {
    std::string name;
    Setup setup;
    std::optional<emu::CardImage> image;
    emu::CardBehaviour behaviour;
    std::string message;
    std::string readerName = emu::VirtualReaderService::readerName();
    Analysis analysis = [](const std::filesystem::path& file) { return ADD_FAILURE() << "analysis run on " << file, std::string("{}"); };
};
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

// Holds the card the way another program would while it lives.
class RivalApplication {
public:
    RivalApplication(Setup setup, const std::string& reader) {
        if (setup != Setup::HeldExclusively && setup != Setup::InTransaction) return;
        EXPECT_EQ(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context_), SCARD_S_SUCCESS);
        DWORD protocol = 0;
        EXPECT_EQ(SCardConnect(context_, reader.c_str(), setup == Setup::HeldExclusively ? SCARD_SHARE_EXCLUSIVE : SCARD_SHARE_SHARED,
                               SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card_, &protocol),
                  SCARD_S_SUCCESS);
        EXPECT_TRUE(setup != Setup::InTransaction || SCardBeginTransaction(card_) == SCARD_S_SUCCESS);
    }
    ~RivalApplication() { card_ && SCardDisconnect(card_, SCARD_RESET_CARD), context_ && SCardReleaseContext(context_); }

private:
    SCARDCONTEXT context_ = 0;
    SCARDHANDLE card_ = 0;
};

// A service socket that takes connections but never answers, like a hung pcscd.
class HungService {
public:
    HungService() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath().c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd_, 16), 0);
    }
    ~HungService() { ::close(fd_), ::unlink(socketPath().c_str()); }

private:
    static std::filesystem::path socketPath() { return emu::privateServiceFolder() / "pcscd.comm"; }
    int fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
};

class CardFault : public testing::TestWithParam<FaultCase> {};

TEST_P(CardFault, EndsInItsMessageWithoutAnalysisOrFile) {
    const FaultCase& c = GetParam();
    PrivateTempDir temp;
    std::optional<HungService> hung;
    std::optional<CardStack> stack;
    if (c.setup == Setup::HungService) hung.emplace();
    if (c.setup == Setup::NoReader) stack.emplace(std::nullopt, emu::CardBehaviour{}, emu::VirtualReaderService::Readers::None);
    if (c.setup == Setup::EmptyReader) stack.emplace(std::nullopt);
    if (c.setup >= Setup::Card) stack.emplace(c.image, c.behaviour);
    if (c.setup == Setup::NoTemporaryFolder) ::setenv("TMPDIR", (temp.path() / "missing").c_str(), 1);
    RivalApplication rival(c.setup, c.readerName);
    CardReadLimits limits;
    limits.perCall = std::chrono::milliseconds(1500);
    const CardReadReply reply = [&] {
        const FileSizeLimit full(c.setup == Setup::DiskFull ? 4096 : RLIM_INFINITY);
        return readCardReply(c.readerName, c.analysis, limits);
    }();
    EXPECT_EQ(reply.json, "{\"ok\":false,\"error\":\"" + c.message + "\"}");
    EXPECT_TRUE(reply.savedFile.empty() && reply.tempFolder.empty());
    EXPECT_TRUE(temp.entries().empty()) << testing::PrintToString(temp.entries());
    // vpcd offers two slots, the second on the next port.
    if (c.setup < Setup::Card) {
        EXPECT_EQ(listReadersJson(limits), c.setup == Setup::EmptyReader ? R"(["Virtual PCD 00 00","Virtual PCD 00 01"])" : "[]");
    }
}

emu::CardImage gen1Card() { return imageOf(gen::randomCard(31, 60, Generation::Gen1)); }
emu::CardImage gen2Card() { return imageOf(gen::randomCard(32, 60, Generation::Both)); }
const std::string kCannotRead = "Karte konnte nicht gelesen werden.";
const std::string kPulled = "Karte wurde während des Lesens entfernt.";
const std::string kInUse = "Karte wird von einer anderen Anwendung verwendet.";
const std::string kNoService = "Smartcard-Dienst nicht verfügbar.";

INSTANTIATE_TEST_SUITE_P(
    Faults, CardFault,
    testing::Values(
        FaultCase{"NoServiceRunning", Setup::NoService, {}, {}, kNoService},
        FaultCase{"ServiceThatNeverAnswers", Setup::HungService, {}, {}, kNoService},
        FaultCase{"NoReaderAttached", Setup::NoReader, {}, {}, kCannotRead},
        FaultCase{"NoReaderChosen", Setup::Card, gen1Card(), {}, "Kein Kartenleser ausgewählt.", ""},
        FaultCase{"ReaderWithoutCard", Setup::EmptyReader, {}, {}, "Bitte Fahrerkarte einstecken."},
        FaultCase{"CardPulledWhileReadingGen1", Setup::Card, gen1Card(), with(B{}, [](B& b) { b.pullAtCommand = 40; }), kPulled},
        FaultCase{"CardPulledWhileReadingGen2", Setup::Card, gen2Card(), with(B{}, [](B& b) { b.pullAtCommand = 300; }), kPulled},
        FaultCase{"UnexpectedStatusInTheMiddleOfAFile", Setup::Card, gen1Card(),
                  with(B{}, [](B& b) { b.readStatus = {0x0504, 510, 0x6F00}; }), kCannotRead},
        FaultCase{"UnexpectedStatusOnTheFirstRead", Setup::Card, gen2Card(),
                  with(B{}, [](B& b) { b.readStatus = {0x0520, 0, 0x6982}; }), kCannotRead},
        FaultCase{"CardStopsAnswering", Setup::Card, gen1Card(), with(B{}, [](B& b) { b.stallAtCommand = 25; }), kCannotRead},
        FaultCase{"NotATachographCard", Setup::Card, emu::foreignCardImage(), {}, "Keine Fahrerkarte erkannt."},
        FaultCase{"TachographCardWithoutReadableFiles", Setup::Card,
                  with(gen1Card(), [](emu::CardImage& i) { for (auto& application : i.applications) application.files.clear(); }), {},
                  "Karte enthält keine lesbaren Fahrerdaten."},
        // A GNSS file larger than a download record can hold.
        FaultCase{"FileTooLargeForADownload", Setup::Card,
                  with(imageOf(gen::randomCard(33, 30, Generation::Gen2)),
                       [](emu::CardImage& i) { i.applications.back().files[0x0523].data.assign(70000, 0); }), {}, kCannotRead},
        FaultCase{"CardHeldExclusivelyByAnotherApplication", Setup::HeldExclusively, gen1Card(), {}, kInUse},
        FaultCase{"CardInAnotherApplicationsTransaction", Setup::InTransaction, gen1Card(), {}, kInUse},
        FaultCase{"TemporaryFolderMissing", Setup::NoTemporaryFolder, gen1Card(), {}, "Kartendaten konnten nicht gespeichert werden."},
        FaultCase{"DiskFullWhenSaving", Setup::DiskFull, gen1Card(), {}, "Kartendaten konnten nicht gespeichert werden."},
        // An analysis that throws takes the saved folder with it.
        FaultCase{"AnalysisThrowsAStandardException", Setup::Card, gen1Card(), {}, "Kartenlesen fehlgeschlagen: disk \\\"gone\\\"",
                  emu::VirtualReaderService::readerName(),
                  [](const std::filesystem::path&) -> std::string { throw std::runtime_error("disk \"gone\""); }},
        FaultCase{"AnalysisThrowsAnythingElse", Setup::Card, gen1Card(), {}, "Kartenlesen fehlgeschlagen.",
                  emu::VirtualReaderService::readerName(), [](const std::filesystem::path&) -> std::string { throw 42; }}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace ddd::test
