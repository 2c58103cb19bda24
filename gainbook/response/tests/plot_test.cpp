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

// A point inside the amplitude range lands on the row its axis puts it: the linear axis
// divides the height in proportion to a, the logarithmic one to log10 a.
TEST(PlotMapping, RowOfAPointInsideTheRangeOnEachAmplitudeAxis) {
    const std::vector<CurvePoint> points{{1, 5}, {2, 6}, {3, 10}};
    // 316 - 292 * (6 - 5) / (10 - 5) = 257.6
    EXPECT_EQ(PlotMapping(kRect, inputs(points, 1, 3, false, false)).y(6), 257);
    // 316 - 292 * log10(6 / 5) / log10(10 / 5) = 239.19...
    EXPECT_EQ(PlotMapping(kRect, inputs(points, 1, 3, false, true)).y(6), 239);
    EXPECT_EQ(plotShapes(kRect, inputs(points, 1, 3, false, false)).curve[1],
              (PlotPoint{210, 257}));
}

// An amplitude span below 1e-10 is flat (the middle line), one above it a curve; a single
// point spans nothing and is flat too.
TEST(PlotShapes, FlatBelowATenthOfANanoAndForASinglePoint) {
    const PlotLine middle{{10, 170}, {406, 170}}; // y = 320 - 300 / 2
    const PlotShapes flat =
        plotShapes(kRect, inputs({{1, 1}, {2, 1 + 0.9e-10}}, 1, 2, false, false));
    EXPECT_EQ(flat.middleLine, middle);
    EXPECT_TRUE(flat.curve.empty());
    const PlotShapes curve =
        plotShapes(kRect, inputs({{1, 1}, {2, 1 + 1.1e-10}}, 1, 2, false, false));
    EXPECT_FALSE(curve.middleLine);
    EXPECT_EQ(curve.curve, (std::vector<PlotPoint>{{12, 316}, {408, 24}}));
    for (bool log : {false, true})
        EXPECT_EQ(plotShapes(kRect, inputs({{1, 3}}, 1, 1, log, log)).middleLine, middle) << log;
}

// Frequencies 1e-300 to 1e9 span more decades than a ratio of doubles holds: refused with
// a word, and nothing drawn, rather than one decade line after another without end.
TEST(PlotShapes, SpansBeyondTheDoublesAreRefusedAndDecadeLinesBounded) {
    const PlotInputs wide = inputs({{1e-11, 1}, {1e9, 2}}, 1e-300, 1e9, true, true);
    EXPECT_EQ(plotRefusal(wide), std::string(kFrequencySpanMessage));
    const PlotShapes none = plotShapes(kRect, wide);
    EXPECT_TRUE(none.curve.empty());
    EXPECT_TRUE(none.decadeLines.empty());
    // 300 decades are a finite span but do not fit 100 pixels: no more lines than columns.
    const PlotInputs many = inputs({{1e-150, 1}, {1e150, 2}}, 1e-150, 1e150, true, true);
    EXPECT_FALSE(plotRefusal(many));
    EXPECT_EQ(plotShapes({10, 20, 110, 320}, many).decadeLines.size(), 100u);
    const double big = std::numeric_limits<double>::max();
    EXPECT_EQ(plotRefusal(inputs({{1, -big}, {2, big}}, 1, 2, false, false)),
              std::string(kAmplitudeSpanMessage));
    EXPECT_EQ(plotRefusal(inputs({{1, 2}, {2, 3}}, -big, big, false, false)),
              std::string(kFrequencySpanMessage));
}

// A negative constant makes every amplitude negative: the curve is drawn as the modulus, on
// either amplitude axis, where the positive constant's curve is, and the note says so. A
// curve of zeros has nothing a logarithmic axis can take, and signs mixed are no polarity.
TEST(PlotShapes, ReversedPolarityIsDrawnAsTheModulusWithItsNote) {
    const std::vector<CurvePoint> negative{{1, -5}, {2, 0}, {3, -10}};
    const std::vector<CurvePoint> modulus{{1, 5}, {2, 0}, {3, 10}};
    for (bool logY : {false, true}) {
        SCOPED_TRACE(logY);
        EXPECT_FALSE(plotRefusal(inputs(negative, 1, 3, true, logY)));
        const PlotShapes drawn = plotShapes(kRect, inputs(negative, 1, 3, true, logY));
        EXPECT_EQ(drawn.curve, plotShapes(kRect, inputs(modulus, 1, 3, true, logY)).curve);
        EXPECT_EQ(drawn.curve.size(), logY ? 2u : 3u);
        EXPECT_EQ(plotNote(inputs(negative, 1, 3, true, logY)),
                  std::string("обратная полярность: CONSTANT < 0, показан модуль"));
        EXPECT_FALSE(plotNote(inputs(modulus, 1, 3, true, logY)));
    }
    EXPECT_EQ(plotRefusal(inputs({{1, 0}, {2, 0}}, 1, 3, false, true)),
              std::string(kNoPositiveAmplitudeMessage));
    const std::vector<CurvePoint> mixed{{1, -5}, {2, 6}, {3, 10}};
    EXPECT_FALSE(plotNote(inputs(mixed, 1, 3, false, true)));
    EXPECT_EQ(plotShapes(kRect, inputs(mixed, 1, 3, false, true)).curve.size(), 2u);
    EXPECT_FALSE(plotRefusal(inputs({}, 1, 3, false, true))); // no points: nothing to say
}

TEST(PageTexts, TheLowTextIsWhereTheFrequencyAxisStarts) {
    EXPECT_EQ(pageLowText(inputs({{0, 1}, {0.5, 2}, {1, 3}}, 0, 1, true, false)), "0.500000");
    EXPECT_EQ(pageLowText(inputs({{0, 1}, {0.5, 2}, {1, 3}}, 0, 1, false, false)), "0.000000");
    EXPECT_EQ(pageHighText(inputs({{0, 1}}, 0, 20, true, false)), "20.000000");
}
