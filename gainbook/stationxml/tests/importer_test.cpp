// What an import decides to write, before any database is touched: the writer's checks of
// the fields (so that a dry run promises only what the import writes), and epochs of one
// channel that overlap in the documents.
#include "handmade.h"
#include "stationxml/importer.h"

#include <gtest/gtest.h>

using orv::stationxml::EpochPlan;
using orv::stationxml::ImportedEpoch;
using orv::stationxml::planImport;
using namespace orv::stationxml::test;
using Verdict = EpochPlan::Verdict;

namespace {

std::vector<EpochPlan> plansOf(const std::vector<std::string>& docs,
                               std::vector<ImportedEpoch>& epochs) {
    std::string error;
    for (const std::string& doc : docs)
        EXPECT_TRUE(orv::stationxml::readStationXml(doc, epochs, error)) << error;
    return planImport(epochs);
}

} // namespace

// Codes the writer refuses (longer than 8, a tab, an empty channel) and an end before the
// start are refused in the plan, with the writer's message, as the write would.
TEST(StationXmlImportPlan, TheWritersChecksDecide) {
    std::vector<ImportedEpoch> epochs;
    const auto plans = plansOf(
        {document(
             {HandmadeChannel{}, HandmadeChannel{}.named("A&#9;B"), HandmadeChannel{}.named(""),
              HandmadeChannel{}.named("HHE").during("2020-01-01T00:00:00", "2019-01-01T00:00:00")}),
         document({HandmadeChannel{}}, "ABCDEFGHI"), document({HandmadeChannel{}}, "ABCDEFGHIJKL")},
        epochs);
    ASSERT_EQ(plans.size(), 6u);
    EXPECT_EQ(plans[0].verdict, Verdict::Writable) << plans[0].reason;
    for (std::size_t i = 1; i < plans.size(); ++i) {
        EXPECT_EQ(plans[i].verdict, Verdict::Refused) << plans[i].name;
        EXPECT_FALSE(plans[i].reason.empty()) << plans[i].name;
    }
    EXPECT_NE(plans[4].reason.find("8"), std::string::npos) << plans[4].reason;
}

// Two epochs of one channel that overlap are refused together, each naming the other; one
// that begins where the other ends does not overlap it.
TEST(StationXmlImportPlan, OverlappingEpochsOfOneChannelAreRefusedTogether) {
    struct Case {
        HandmadeChannel first, second;
        bool overlap;
    };
    const std::vector<Case> cases = {
        {HandmadeChannel{}.during("2021-01-01T00:00:00"),
         HandmadeChannel{}.during("2020-01-01T00:00:00"), true},
        {HandmadeChannel{}.during("2020-01-01T00:00:00", "2025-01-01T00:00:00"),
         HandmadeChannel{}.during("2021-01-01T00:00:00", "2022-01-01T00:00:00"), true},
        {HandmadeChannel{}.during("2020-01-01T00:00:00", "2021-01-01T00:00:00"),
         HandmadeChannel{}.during("2021-01-01T00:00:00"), false},
        // the empty location spelt two ways is one channel
        {HandmadeChannel{}.named("HHZ", ""), HandmadeChannel{}.named("HHZ", "??"), true},
    };
    for (const Case& c : cases) {
        std::vector<ImportedEpoch> epochs;
        // In two documents: the check spans every file of one import.
        const auto plans = plansOf({document({c.first}), document({c.second})}, epochs);
        ASSERT_EQ(plans.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            const EpochPlan& p = plans[std::size_t(i)];
            EXPECT_EQ(p.verdict, c.overlap ? Verdict::Refused : Verdict::Writable) << p.name;
            if (c.overlap) {
                EXPECT_NE(p.reason.find(plans[std::size_t(1 - i)].name), std::string::npos)
                    << p.reason;
            }
        }
    }
}
