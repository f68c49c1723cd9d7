// Complete downloads of emulated driver cards through pcscd and the virtual reader: the file
// decodes without a single issue and holds every EF of the card, byte for byte.

#include "card/card_read_reply.h"
#include "card/card_reader.h"
#include "core/card_file.h"
#include "tests/card/card_rig.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>

namespace ddd::test {
namespace {

using gen::Generation;
using RecordKey = std::pair<std::uint8_t, std::uint16_t>; // appendix, FID
using RecordMap = std::map<RecordKey, std::vector<std::uint8_t>>;

// Download tools read every EF of the applications except Card_Download, which they write,
// and the chip's own files outside the applications.
bool readByDownloadTools(std::uint16_t fid) { return fid != 0x050E && fid != 0x0002 && fid != 0x0005; }

RecordMap recordsOf(const std::vector<std::uint8_t>& download, bool onlyReadable) {
    const auto index = splitTlv(download);
    EXPECT_TRUE(index.ok()) << index.error().message;
    RecordMap records;
    if (!index) return records;
    for (const TlvRecord& record : index.value().records) {
        if (onlyReadable && !readByDownloadTools(record.fid)) continue;
        const bool fresh = records.emplace(RecordKey{record.appendix, record.fid},
                                           std::vector<std::uint8_t>(record.value.begin(), record.value.end()))
                               .second;
        EXPECT_TRUE(fresh) << "record written twice: FID " << record.fid << " appendix " << int(record.appendix);
    }
    return records;
}

struct DownloadCase { std::string name; gen::CardDescription card; emu::CardBehaviour behaviour; };

gen::CardDescription withCapacities(gen::CardDescription card, int gen1ActivityBytes, int gen2ActivityBytes) {
    if (gen1ActivityBytes > 0) card.gen1.activityBytes = gen1ActivityBytes;
    if (gen2ActivityBytes > 0) card.gen2.activityBytes = gen2ActivityBytes;
    return card;
}

std::vector<DownloadCase> downloadCases() {
    emu::CardBehaviour exactLength;
    exactLength.exactLength = true;
    emu::CardBehaviour getResponse;
    getResponse.dataByGetResponse = true;
    return {
        {"FirstGenerationCard", gen::randomCard(11, 120, Generation::Gen1), {}},
        {"SecondGenerationCardWithBothApplications", gen::randomCard(12, 120, Generation::Both), {}},
        {"SecondGenerationApplicationOnly", gen::randomCard(13, 60, Generation::Gen2), {}},
        {"CardNamingTheExactLengthWith6Cxx", gen::randomCard(14, 60, Generation::Gen1), exactLength},
        {"CardHandingOutDataByGetResponse", gen::randomCard(15, 60, Generation::Both), getResponse},
        // 13766 bytes of cyclic area and 4 of pointers: an EF of exactly 54 full chunks.
        {"ActivityFileOfWholeChunks", withCapacities(gen::randomCard(16, 60, Generation::Gen1), 13766, 0), {}},
        // Past 32 KiB the card is read with the offset form of READ BINARY.
        {"ActivityFilePast32KiB", withCapacities(gen::randomCard(17, 200, Generation::Both), 0, 40000), {}},
    };
}

void PrintTo(const DownloadCase& c, std::ostream* out) { *out << c.name; }

class CardDownload : public testing::TestWithParam<DownloadCase> {};

TEST_P(CardDownload, FileDecodesCleanlyAndHoldsEveryEfOfTheCard) {
    const DownloadCase& c = GetParam();
    const std::vector<std::uint8_t> written = gen::writeCardDownload(c.card);
    PrivateTempDir temp;
    CardStack stack(emu::cardImageFromDownload(written), c.behaviour);

    const CardReadResult read = readDriverCard(emu::VirtualReaderService::readerName());
    ASSERT_TRUE(read.ok()) << read.error;

    const auto decoded = decodeCardFile(read.download);
    ASSERT_TRUE(decoded.ok()) << decoded.error().message;
    const DriverCardFile& file = decoded.value();
    EXPECT_EQ(file.gen1.has_value(), c.card.generation != Generation::Gen2);
    EXPECT_EQ(file.gen2.has_value(), c.card.generation != Generation::Gen1);
    for (const auto* part : {&file.gen1, &file.gen2}) {
        if (!part->has_value()) continue;
        EXPECT_TRUE((*part)->issues.empty()) << testing::PrintToString((*part)->issues);
        EXPECT_TRUE((*part)->identification.has_value());
        EXPECT_TRUE((*part)->driverActivity.has_value());
    }
    EXPECT_EQ(recordsOf(read.download, false), recordsOf(written, true));
    // A second-generation card's download carries the first-generation records first.
    bool seenGen2 = false;
    for (const TlvRecord& record : file.records) {
        seenGen2 = seenGen2 || record.appendix >= kAppendixGen2Data;
        EXPECT_FALSE(seenGen2 && record.appendix < kAppendixGen2Data) << "FID " << record.fid;
    }
    EXPECT_EQ(read.exchanges, stack.card().commandCount());
    EXPECT_LE(read.commands, read.exchanges);
}

INSTANTIATE_TEST_SUITE_P(Cards, CardDownload, testing::ValuesIn(downloadCases()),
                         [](const auto& info) { return info.param.name; });

std::vector<std::uint8_t> readWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CardReadReply, SavesTheDownloadAsCardDddInAPrivateFolderAndHandsItToTheAnalysis) {
    const auto card = gen::randomCard(21, 90, Generation::Both);
    PrivateTempDir temp;
    CardStack stack(imageOf(card));
    const CardReadResult direct = readDriverCard(emu::VirtualReaderService::readerName());
    ASSERT_TRUE(direct.ok()) << direct.error;

    std::filesystem::path analysed;
    const CardReadReply reply = readCardReply(emu::VirtualReaderService::readerName(), [&](const std::filesystem::path& file) {
        analysed = file;
        return std::string("{\"ok\":true}");
    });

    EXPECT_EQ(reply.json, "{\"ok\":true}");
    EXPECT_EQ(analysed, reply.savedFile);
    EXPECT_EQ(reply.savedFile, reply.tempFolder / "card.ddd");
    EXPECT_EQ(reply.tempFolder.parent_path(), temp.path());
    EXPECT_TRUE(std::regex_match(reply.tempFolder.filename().string(), std::regex("tacho-card-[0-9a-f]{16}")))
        << reply.tempFolder;
    struct stat info {};
    ASSERT_EQ(::stat(reply.tempFolder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(readWhole(reply.savedFile), direct.download);
}

TEST(CardReaders, ListsTheVirtualReadersOfTheService) {
    CardStack stack(std::nullopt);
    // vpcd offers two slots, the second on the next port.
    EXPECT_EQ(listReaders(), (std::vector<std::string>{"Virtual PCD 00 00", "Virtual PCD 00 01"}));
    EXPECT_EQ(listReadersJson(), "[\"Virtual PCD 00 00\",\"Virtual PCD 00 01\"]");
}

} // namespace
} // namespace ddd::test
