// The container as a whole: TLV chain, record set per generation, EF sizes, reproducibility.

#include "tests/generator/walkers.h"
#include "tools/generator/card_generator.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>

namespace ddd::gen {
namespace {

using test::be;
using test::findTlv;
using test::splitTlv;

constexpr unsigned kSignedEfs[] = {0x0501, 0x0520, 0x050E, 0x0521, 0x0502, 0x0503,
                                   0x0504, 0x0505, 0x0506, 0x0507, 0x0508, 0x0522};

TEST(Container, EveryGenerationIsAWellFormedChainOfSignedEfs) {
    struct Case { const char* name; Generation generation; std::set<unsigned> appendices; };
    const Case cases[] = {
        {"gen1", Generation::Gen1, {0, 1}},
        {"gen2", Generation::Gen2, {2, 3}},
        {"both", Generation::Both, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto records = splitTlv(writeCardDownload(randomCard(11, 30, c.generation)));
        ASSERT_TRUE(records.has_value()) << "chain does not end exactly at the end of the file";
        std::set<unsigned> appendices;
        for (const auto& r : *records) appendices.insert(r.appendix);
        EXPECT_EQ(appendices, c.appendices);
        for (unsigned data : {0u, 2u}) {
            if (!c.appendices.count(data)) continue;
            for (unsigned fid : kSignedEfs) {
                SCOPED_TRACE(fid);
                int copies = 0;
                for (std::size_t i = 0; i < records->size(); ++i) {
                    if ((*records)[i].fid != fid || (*records)[i].appendix != data) continue;
                    ++copies;
                    ASSERT_LT(i + 1, records->size());
                    const auto& sig = (*records)[i + 1];
                    EXPECT_EQ(sig.fid, fid);
                    EXPECT_EQ(sig.appendix, data + 1);
                    EXPECT_EQ(sig.value.size(), data == 0 ? 128u : 64u);
                }
                EXPECT_EQ(copies, 1);
            }
            EXPECT_EQ(findTlv(*records, 0xC100, data)->value.size(), data == 0 ? 194u : 204u);
        }
        EXPECT_EQ(records->front().fid, 0x0002u);
    }
}

TEST(Container, EfSizesFollowTheAnnouncedCapacities) {
    struct Case { const char* name; bool gen2; Capacities caps; };
    Capacities small{600, 3, 4, 2, 5, 7, 9, 11, 0};
    const Case cases[] = {
        {"gen1 default", false, defaultCapacities(Generation::Gen1)},
        {"gen2 default", true, defaultCapacities(Generation::Gen2)},
        {"gen1 small", false, small},
        {"gen2 small", true, small},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardDescription card = randomCard(3, 10, c.gen2 ? Generation::Gen2 : Generation::Gen1);
        (c.gen2 ? card.gen2 : card.gen1) = c.caps;
        const unsigned data = c.gen2 ? 2 : 0;
        const auto records = splitTlv(writeCardDownload(card));
        ASSERT_TRUE(records.has_value());
        const auto size = [&](unsigned fid) { return findTlv(*records, fid, data)->value.size(); };
        const auto& k = c.caps;
        const std::size_t events = (c.gen2 ? 11u : 6u) * static_cast<std::size_t>(k.eventsPerType) * 24;
        EXPECT_EQ(size(0x0501), c.gen2 ? 17u : 10u);
        EXPECT_EQ(size(0x0520), 143u);
        EXPECT_EQ(size(0x0504), 4u + static_cast<std::size_t>(k.activityBytes));
        EXPECT_EQ(size(0x0505), 2u + static_cast<std::size_t>(k.vehicles) * (c.gen2 ? 48 : 31));
        EXPECT_EQ(size(0x0506), (c.gen2 ? 2u : 1u) + static_cast<std::size_t>(k.places) * (c.gen2 ? 21 : 10));
        EXPECT_EQ(size(0x0502), events);
        EXPECT_EQ(size(0x0503), 2u * static_cast<std::size_t>(k.faultsPerType) * 24);
        EXPECT_EQ(size(0x0522), (c.gen2 ? 2u : 0u) + static_cast<std::size_t>(k.specificConditions) * 5);
        const auto& app = findTlv(*records, 0x0501, data)->value;
        EXPECT_EQ(app[3], k.eventsPerType);
        EXPECT_EQ(app[4], k.faultsPerType);
        EXPECT_EQ(be(app, 5, 2), static_cast<unsigned>(k.activityBytes));
        EXPECT_EQ(be(app, 7, 2), static_cast<unsigned>(k.vehicles));
        EXPECT_EQ(be(app, 9, c.gen2 ? 2 : 1), static_cast<unsigned>(k.places));
        if (c.gen2) {
            EXPECT_EQ(be(app, 13, 2), static_cast<unsigned>(k.specificConditions));
        }
    }
}

// The committed demo must be exactly what the tool writes today; regenerate it explicitly with
// `ddd-gen demo demo/demo.ddd` when the demo driver changes.
TEST(Container, CommittedDemoIsReproducible) {
    std::ifstream in(DDD_SOURCE_DIR "/demo/demo.ddd", std::ios::binary);
    ASSERT_TRUE(in) << "demo/demo.ddd missing";
    const std::vector<std::uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(committed, writeCardDownload(demoCard()));
}

} // namespace
} // namespace ddd::gen
