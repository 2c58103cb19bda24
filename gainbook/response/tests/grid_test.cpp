#include "response/grid.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

using namespace orv::gainbook::response;

TEST(LinearGrid, EvenSteps) {
    EXPECT_EQ(*linearGrid(1, 2, 3), (std::vector<double>{1, 1.5, 2}));
    EXPECT_EQ(*linearGrid(0, 10, 2), (std::vector<double>{0, 10}));
    // Every requested point, the high frequency last, however the steps round.
    const std::vector<double> g = *linearGrid(0.001, 20, 300);
    ASSERT_EQ(g.size(), 300u);
    EXPECT_EQ(g.back(), 20.0);
    EXPECT_NEAR(g[150], 0.001 + 150 * (19.999 / 299), 1e-12);
}

TEST(LinearGrid, DegenerateRequestsGiveNoValuesAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(linearGrid(1, 2, 1)->empty());
    EXPECT_TRUE(linearGrid(1, 2, 0)->empty());
    EXPECT_TRUE(linearGrid(1, 2, -5)->empty());
    EXPECT_TRUE(linearGrid(2, 2, 10)->empty());
    EXPECT_TRUE(linearGrid(3, 2, 10)->empty());
    EXPECT_TRUE(linearGrid(std::nan(""), 2, 10)->empty());
    EXPECT_TRUE(linearGrid(1, std::numeric_limits<double>::infinity(), 10)->empty());
    // A step too small to move the frequency must not loop for ever.
    EXPECT_LE(linearGrid(1e20, 1e20 + 16384, 3)->size(), 3u);
    EXPECT_FALSE(linearGrid(1, 2, 2000000000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(DecadeGrid, DefaultGridRunsFrom0_001To19_9) {
    const std::vector<double> g = *decadeGrid(0.001, 20, 300);
    ASSERT_EQ(g.size(), 4 * 300u + 34u);
    for (int k = 0; k < 300; ++k) {
        EXPECT_NEAR(g[k], 0.001 + 0.009 * k / 300, 1e-15);
        EXPECT_NEAR(g[300 + k], 0.01 + 0.09 * k / 300, 1e-14);
    }
    for (int k = 0; k < 34; ++k)
        EXPECT_NEAR(g[1200 + k], 10 + 0.3 * k, 1e-12);
    EXPECT_NEAR(g.back(), 19.9, 1e-12);
}

TEST(DecadeGrid, BoundsInsideDecadesAndTheirTolerance) {
    // Values below the low bound inside its decade are skipped.
    const std::vector<double> g = *decadeGrid(3, 5, 10);
    EXPECT_EQ(g, (std::vector<double>{3.7, 4.6}));
    // Bounds equal to grid values are kept, also when they differ in the eleventh decimal.
    EXPECT_EQ(decadeGrid(1, 1, 10)->size(), 1u);
    // The first decade here starts from 0.1 * 0.1 * 0.1, a little above 0.001; its
    // values still count as equal to the bounds.
    const std::vector<double> small = *decadeGrid(0.001, 0.0019, 10);
    ASSERT_EQ(small.size(), 2u);
    EXPECT_GT(small[0], 0.001);
    EXPECT_EQ(decadeGrid(0.0019, 0.0019, 10)->size(), 1u);
    // Beyond the tenth decimal nothing counts as equal.
    EXPECT_EQ(decadeGrid(1, 1.9 - 1e-9, 10)->size(), 1u);
    EXPECT_EQ(decadeGrid(1 + 1e-9, 2.8, 10)->front(), 1.9);
    // High below low: nothing.
    EXPECT_TRUE(decadeGrid(5, 3, 10)->empty());
}

TEST(DecadeGrid, DegenerateRequestsGiveNoValuesAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(decadeGrid(0, 20, 300)->empty());
    EXPECT_TRUE(decadeGrid(-1, 20, 300)->empty());
    EXPECT_TRUE(decadeGrid(0.001, 0, 300)->empty());
    EXPECT_TRUE(decadeGrid(0.001, 20, 0)->empty());
    EXPECT_TRUE(decadeGrid(0.001, 20, -3)->empty());
    EXPECT_TRUE(decadeGrid(std::nan(""), 20, 300)->empty());
    EXPECT_TRUE(decadeGrid(0.001, std::numeric_limits<double>::infinity(), 300)->empty());
    EXPECT_TRUE(decadeGrid(0.001, 1e300, 300)->empty());
    // Tiny and huge but finite bounds end.
    EXPECT_FALSE(decadeGrid(1e-300, 1e-290, 3)->empty());
    EXPECT_EQ(decadeGrid(1e-3, 1e290, 3)->size(), 3u * 293u);
    // Requests beyond the point limit give no grid rather than exhausting memory.
    EXPECT_FALSE(decadeGrid(0.001, 20, 2000000000));
    EXPECT_FALSE(decadeGrid(0.001, 1e200, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
