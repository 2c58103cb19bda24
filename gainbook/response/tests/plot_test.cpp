// The plot geometry as numbers: where the mapping puts the ends of the axes and which values
// a logarithmic axis leaves out. What is drawn (middle line, decade lines, a single point)
// is checked on pictures in gainbook/plot.
#include "response/plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace orv::gainbook::response;

namespace {

const PlotRect kRect{10, 20, 410, 320};

PlotInputs inputs(std::vector<CurvePoint> points, double low, double high, bool logX, bool logY) {
    return {std::move(points), low, high, logX, logY};
}

} // namespace

TEST(PlotMapping, EndsLandInsideTheRectangleOnBothKindsOfAxis) {
    for (bool log : {false, true}) {
        SCOPED_TRACE(log);
        const PlotMapping m(kRect, inputs({{1, 5}, {100, 500}}, 1, 100, log, log));
        EXPECT_EQ(m.x(1), 12);    // left + 2
        EXPECT_EQ(m.x(100), 408); // right - 2
        EXPECT_EQ(m.y(5), 316);   // bottom - 4
        EXPECT_EQ(m.y(500), 24);  // bottom - 4 - (bottom - top - 8)
    }
    // Truncated, not rounded: 12 + 396 * 0.5 / 100 = 13.98.
    EXPECT_EQ(PlotMapping(kRect, inputs({{1, 5}, {2, 6}}, 1, 101, false, false)).x(1.5), 13);
    // The fields, not the points, span the x axis: a point beyond them lies outside.
    EXPECT_GT(*PlotMapping(kRect, inputs({{1, 5}, {200, 6}}, 1, 100, false, false)).x(200), 410);
}

TEST(PlotMapping, LogarithmicAxesLeaveOutWhatTheyCannotTake) {
    const double inf = std::numeric_limits<double>::infinity();
    const PlotInputs in =
        inputs({{0, 1}, {1, -3}, {2, 4}, {4, 16}, {8, inf}, {16, 0}}, 0, 16, true, true);
    const PlotMapping m(kRect, in);
    EXPECT_EQ(m.minAmplitude(), 1.0);
    EXPECT_EQ(m.maxAmplitude(), 16.0);
    EXPECT_EQ(m.low(), 1.0); // a low field of 0 starts the axis at the lowest frequency
    EXPECT_FALSE(m.x(0));
    EXPECT_FALSE(m.x(-1));
    EXPECT_FALSE(m.y(0));
    EXPECT_FALSE(m.y(-3));
    EXPECT_FALSE(m.y(inf));
    // Only (2, 4) and (4, 16) have both coordinates.
    const PlotShapes s = plotShapes(kRect, in);
    ASSERT_EQ(s.curve.size(), 2u);
    const auto x = [](double f) {
        return static_cast<int>(10 + 396 * std::log10(f) / std::log10(16.0) + 2);
    };
    EXPECT_EQ(s.curve[0],
              (PlotPoint{x(2), static_cast<int>(316 - 292 * std::log10(4.0) / std::log10(16.0))}));
    EXPECT_EQ(s.curve[1], (PlotPoint{x(4), 24}));
    for (const PlotPoint& p : s.curve) {
        EXPECT_TRUE(p.x > kRect.left && p.x < kRect.right);
        EXPECT_TRUE(p.y > kRect.top && p.y < kRect.bottom);
    }
}

TEST(PageTexts, TitleFrequenciesAndThePreviewsFields) {
    EXPECT_EQ(pageTitle({"KARC", "BHZ", "2005.01.01 00:00:00"}),
              "Станция: KARC   Канал: BHZ   Время: 2005.01.01 00:00:00");
    EXPECT_EQ(pageFrequency(0.001), "0.001000");
    const PageTexts cut = previewTexts({"СТАНЦИЯДЛИННАЯ", "КАНАЛДЛИННЫЙ", std::string(50, '9')});
    EXPECT_EQ(cut.station, "СТАНЦИЯДЛ");
    EXPECT_EQ(cut.channel, "КАНАЛДЛ");
    EXPECT_EQ(cut.time, std::string(41, '9'));
}
