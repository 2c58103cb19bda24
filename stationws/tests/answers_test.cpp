// The answers kept in memory: given back byte for byte with the request's creation time,
// within their generation and their bound in bytes.
#include "answers.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <random>

using orv::stationws::AnswerMemory;

namespace {

// A StationXML answer of n channel epochs (compressible, as real answers are).
std::string document(int epochs, const std::string& created = "2026-01-02T03:04:05Z") {
    std::string d = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FDSNStationXML "
                    "xmlns=\"http://www.fdsn.org/xml/station/1\" schemaVersion=\"1.2\">\n"
                    " <Source>ORV</Source>\n <Module>stationws</Module>\n <Created>" +
                    created + "</Created>\n";
    for (int i = 0; i < epochs; ++i)
        d += "  <Channel code=\"BHZ\" locationCode=\"00\" startDate=\"20" +
             std::to_string(10 + i % 80) +
             "-01-01T00:00:00Z\"><Latitude>34.9459</Latitude>"
             "</Channel>\n";
    return d + "</FDSNStationXML>\n";
}

// Random bytes do not compress: n of them cost about n.
std::string noise(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(random());
    return s;
}

} // namespace

TEST(AnswerMemory, GivesTheDocumentBackWithTheRequestsCreationTime) {
    AnswerMemory memory(1 << 20);
    const std::string large = document(400), small = document(1);
    memory.keep("/query?sta=ANMO&level=channel", 1, large);
    memory.keep("/query?sta=TUC", 1, small);
    memory.keep("POST\nlevel=channel\nIU ANMO * * * *\n", 1, "");
    memory.keep("/query?format=text", 1, "#Network|Station\nIU|ANMO\n");

    EXPECT_EQ(memory.find("/query?sta=ANMO&level=channel", 1, "2026-12-09T16:00:00Z"),
              document(400, "2026-12-09T16:00:00Z"));
    EXPECT_EQ(memory.find("/query?sta=TUC", 1, "2026-12-09T16:00:01Z"),
              document(1, "2026-12-09T16:00:01Z"));
    // Nothing matched; a text answer has no creation time.
    EXPECT_EQ(memory.find("POST\nlevel=channel\nIU ANMO * * * *\n", 1, "2026-12-09T16:00:00Z"), "");
    EXPECT_EQ(memory.find("/query?format=text", 1, "2026-12-09T16:00:00Z"),
              "#Network|Station\nIU|ANMO\n");
    EXPECT_EQ(memory.find("/query?sta=KAPI", 1, "2026-12-09T16:00:00Z"), std::nullopt);
    // The large one is held compressed.
    EXPECT_LT(memory.bytes(), large.size() / 4);
}

TEST(AnswerMemory, ANewerGenerationForgetsWhatWasKeptAndAnOlderOneIsNotKept) {
    AnswerMemory memory(1 << 20);
    memory.keep("/query?sta=ANMO", 3, document(2));
    EXPECT_EQ(memory.find("/query?sta=ANMO", 2, "2026-12-09T16:00:00Z"), std::nullopt);
    EXPECT_TRUE(memory.find("/query?sta=ANMO", 3, "2026-12-09T16:00:00Z"));
    EXPECT_TRUE(memory.holds("/query?sta=ANMO"));
    EXPECT_FALSE(memory.holds("/query?sta=TUC"));
    EXPECT_EQ(memory.find("/query?sta=ANMO", 4, "2026-12-09T16:00:00Z"), std::nullopt);
    EXPECT_FALSE(memory.holds("/query?sta=ANMO"));
    EXPECT_EQ(memory.answers(), 0u);
    EXPECT_EQ(memory.bytes(), 0u);
    // A reading of generation 3 that ends after 4 was seen.
    memory.keep("/query?sta=ANMO", 3, document(2));
    EXPECT_EQ(memory.answers(), 0u);
    memory.keep("/query?sta=ANMO", 4, document(3));
    EXPECT_EQ(memory.find("/query?sta=ANMO", 4, "2026-12-09T16:00:00Z"),
              document(3, "2026-12-09T16:00:00Z"));
}

// An answer is kept from its query's second reading on, whatever changed in between; the
// queries noted are bounded.
TEST(AnswerMemory, AQueryIsKeptFromItsSecondReading) {
    AnswerMemory memory(1 << 20);
    EXPECT_FALSE(memory.admits("/query?sta=ANMO", 1));
    EXPECT_TRUE(memory.admits("/query?sta=ANMO", 1));
    EXPECT_FALSE(memory.admits("/query?sta=TUC", 1));
    EXPECT_TRUE(memory.admits("/query?sta=ANMO", 2));
    EXPECT_FALSE(memory.admits("/query?sta=ANMO", 1)) << "an older generation's reading";
    for (int i = 0; i < 70000; ++i)
        memory.admits("/query?sta=S" + std::to_string(i), 2);
    EXPECT_FALSE(memory.admits("/query?sta=ANMO", 2));
    EXPECT_TRUE(memory.admits("/query?sta=S69999", 2));
}

TEST(AnswerMemory, HoldsAtMostItsBytesAndForgetsTheLeastLatelyAskedFirst) {
    const std::size_t budget = 100 * 1000;
    AnswerMemory memory(budget);
    // Ten of 9,000 bytes fit, with their keys; the first is asked again before the rest come.
    for (int i = 0; i < 30; ++i) {
        memory.keep("/query?sta=S" + std::to_string(i), 1, noise(9000, i));
        EXPECT_LE(memory.bytes(), budget);
        if (i > 0) {
            EXPECT_TRUE(memory.find("/query?sta=S0", 1, "2026-12-09T16:00:00Z")) << i;
        }
    }
    EXPECT_EQ(memory.answers(), 10u);
    EXPECT_EQ(memory.find("/query?sta=S0", 1, "x"), noise(9000, 0));
    EXPECT_EQ(memory.find("/query?sta=S29", 1, "x"), noise(9000, 29));
    EXPECT_EQ(memory.find("/query?sta=S1", 1, "x"), std::nullopt);
    EXPECT_EQ(memory.find("/query?sta=S20", 1, "x"), std::nullopt);
    // One answer larger than the whole bound is not kept, and drops nothing.
    memory.keep("/query?sta=BIG", 1, noise(budget + 1, 99));
    EXPECT_EQ(memory.answers(), 10u);
    // The same key kept again replaces its answer.
    memory.keep("/query?sta=S0", 1, "#Network\n");
    EXPECT_EQ(memory.find("/query?sta=S0", 1, "x"), "#Network\n");
    EXPECT_EQ(memory.answers(), 10u);
}

// What is counted is what is held: a compressed answer holds no more than its compressed
// bytes (the allocator's own count, where the allocator is glibc's).
TEST(AnswerMemory, TheBytesCountedAreTheBytesHeld) {
    AnswerMemory memory(std::size_t(128) << 20);
    const std::string answer = document(400);
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 1000; ++i)
        memory.keep("/query?sta=S" + std::to_string(i), 1, answer);
    const std::size_t held = mallinfo2().uordblks - before;
    EXPECT_EQ(memory.answers(), 1000u);
    EXPECT_LT(memory.bytes(), std::size_t(1000) * answer.size() / 4);
    EXPECT_LE(held, memory.bytes() * 3 / 2) << memory.bytes();
}
