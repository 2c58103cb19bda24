// The plot drawn into images and files under the offscreen platform: what the window's
// plot shows for the edge cases of the curve, and what a page file holds.
#include "responseplot.h"

#include "formats/responsefile.h"
#include "response/panelload.h"
#include "text/text.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace orv::gainbook;
using response::CurvePoint;
using response::PlotInputs;
using response::PlotRect;

namespace {

QGuiApplication& app() {
    static int argc = 1;
    static char name[] = "gainbook_plot_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* a = new QGuiApplication(argc, argv);
    return *a;
}

const PlotRect kRect{2, 2, 402, 302};

QImage windowPlot(const PlotInputs& in) {
    QImage image(404, 304, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QPainter painter(&image);
    plot::drawWindowPlot(painter, kRect, in);
    return image;
}

bool isRed(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
}
bool isBlack(QRgb c) {
    return qRed(c) < 60 && qGreen(c) < 60 && qBlue(c) < 60;
}

// The rows (or columns) that hold at least one pixel of the kind.
template <typename Pred> std::vector<int> linesWith(const QImage& image, bool rows, Pred pred) {
    std::vector<int> found;
    const int outer = rows ? image.height() : image.width();
    const int inner = rows ? image.width() : image.height();
    for (int i = 0; i < outer; ++i)
        for (int j = 0; j < inner; ++j)
            if (pred(rows ? image.pixel(j, i) : image.pixel(i, j))) {
                found.push_back(i);
                break;
            }
    return found;
}

std::vector<CurvePoint> realCurve() {
    std::string error;
    const std::string path = std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ";
    const response::PanelLoad load =
        response::loadIntoPanel(formats::readFileBytes(path, error).value_or(""), "KARC", "",
                                [] { return std::optional(formats::LoadedFileKind::Sac); }, {});
    response::CurveInputs in;
    in.sourceText = load.file.text;
    return response::computeCurve(in).points;
}

std::filesystem::path tempPath(const std::string& name) {
    return std::filesystem::temp_directory_path() /
           ("gainbook_plot_" + std::to_string(::getpid()) + "_" + name);
}

} // namespace

TEST(WindowPlot, FlatCurveDrawsTheMiddleLineOnEitherAmplitudeAxis) {
    app();
    for (bool logY : {false, true}) {
        SCOPED_TRACE(logY);
        const QImage image = windowPlot({{{1, 7}, {2, 7}, {5, 7}}, 1, 5, false, logY});
        // y = bottom - (bottom - top) / 2 = 152, from the left edge to right - 4.
        const std::vector<int> rows = linesWith(image, true, isRed);
        ASSERT_FALSE(rows.empty());
        EXPECT_LE(rows.front(), 152);
        EXPECT_GE(rows.back(), 152);
        EXPECT_LE(rows.back() - rows.front(), 2); // the pen is 2 wide
        EXPECT_TRUE(isRed(image.pixel(3, 152)));
        EXPECT_TRUE(isRed(image.pixel(397, 152)));
        EXPECT_FALSE(isRed(image.pixel(401, 152)));
        EXPECT_EQ(image.pixel(200, 50), qRgb(255, 255, 255)); // the rectangle is filled
        EXPECT_EQ(image.pixel(1, 1), qRgb(160, 160, 164));    // and only the rectangle
    }
}

TEST(WindowPlot, DecadeLinesOneSinglePointAndNoPoints) {
    app();
    // 0.001 to 20 Hz on a logarithmic axis: dashed lines at 0.01, 0.1, 1 and 10 Hz, at
    // left + 400 * k / log10(20000).
    const QImage decades = windowPlot({{{0.001, 1}, {20, 2}}, 0.001, 20, true, false});
    std::vector<int> expected;
    for (int k = 1; k <= 4; ++k)
        expected.push_back(2 + static_cast<int>(400 * k / std::log10(20000.0)));
    EXPECT_EQ(linesWith(decades, false, isBlack), expected);
    // A dashed line: some of its pixels are white.
    int white = 0;
    for (int y = 2; y < 300; ++y)
        white += decades.pixel(expected[0], y) == qRgb(255, 255, 255);
    EXPECT_GT(white, 20);

    // A single point spans no amplitude: the flat middle line.
    const QImage single = windowPlot({{{1, 3}}, 1, 5, false, false});
    EXPECT_TRUE(isRed(single.pixel(3, 152)));
    EXPECT_TRUE(isRed(single.pixel(397, 152)));
    // Nothing a logarithmic amplitude axis can take: the frame says why instead.
    const QImage zeros = windowPlot({{{1, 0}, {2, 0}}, 1, 5, false, true});
    EXPECT_TRUE(linesWith(zeros, true, isRed).empty());
    EXPECT_FALSE(linesWith(zeros, true, isBlack).empty());
    const QImage none = windowPlot({{}, 0.001, 20, true, true});
    EXPECT_TRUE(linesWith(none, true, isRed).empty());
    EXPECT_TRUE(linesWith(none, false, isBlack).empty());
}

// The texts of a page file are checked on the PDF of gainbook-cli plot and of the print
// command; here the picture itself.
TEST(PageFiles, PngOfARealResponseHasTheRedCurveInsideTheFrame) {
    app();
    response::PlotPage page{{realCurve(), 0.001, 20, true, true},
                            {"KARC", "BHZ", "2005.01.01 00:00:00"}};
    ASSERT_EQ(page.plot.points.size(), 1234u);
    const std::filesystem::path png = tempPath("page.png");
    std::string error;
    ASSERT_TRUE(plot::writePageFile(png.string(), page, error)) << error;
    const QImage image(QString::fromStdString(png.string()));
    std::filesystem::remove(png);
    ASSERT_EQ(image.size(), plot::pagePixels());
    EXPECT_EQ(image.width(), 3508); // A4 landscape at 300 dpi
    // The frame from (199, 199) to (width - 200, height - 100); the curve inside it.
    const int right = image.width() - 200;
    const int bottom = image.height() - 100;
    EXPECT_TRUE(isBlack(image.pixel(199, 1000)));
    EXPECT_TRUE(isBlack(image.pixel(right, 1000)));
    EXPECT_TRUE(isBlack(image.pixel(1500, bottom)));
    const std::vector<int> rows = linesWith(image, true, isRed);
    const std::vector<int> columns = linesWith(image, false, isRed);
    ASSERT_FALSE(rows.empty());
    EXPECT_GT(rows.front(), 199);
    EXPECT_LT(rows.back(), bottom);
    EXPECT_GT(columns.front(), 199);
    EXPECT_LT(columns.back(), right);
    EXPECT_GT(columns.back() - columns.front(), 3000); // across the whole frame

    EXPECT_FALSE(plot::writePageFile(tempPath("page.bmp").string(), page, error));
    EXPECT_FALSE(plot::writePageFile("/nonexistent/dir/page.svg", page, error));
}

namespace {

// A seismometer of 1 Hz with damping 0.7 as velocity: |H| = w / |(iw - p1)(iw - p2)|,
// computed here from its closed form, rises up to 1 Hz and falls above.
constexpr double kTwoPi = 6.283185307179586;
constexpr double kDamping = 0.7;

double seismometer(double f) {
    const double w = kTwoPi * f;
    const double w0 = kTwoPi;
    return w / std::hypot(w0 * w0 - w * w, 2 * kDamping * w0 * w);
}

std::vector<CurvePoint> seismometerCurve() {
    const double re = -kDamping * kTwoPi;
    const double im = kTwoPi * std::sqrt(1 - kDamping * kDamping);
    // As velocity the last of the two zeros is left out.
    response::CurveInputs in;
    in.sourceText = orv::text::format(
        "ZEROS 2\r\n0 0\r\n0 0\r\nPOLES 2\r\n%.17g %.17g\r\n%.17g %.17g\r\nCONSTANT 1\r\n", re, im,
        re, -im);
    return response::computeCurve(in).points;
}

} // namespace

// Column by column, the red pixels of the page hold the row where the closed form puts the
// response at that column's frequency (log X 0.001 to 20 Hz, log Y).
TEST(PageFiles, PngCurveFollowsAnIndependentEvaluationColumnByColumn) {
    app();
    const response::PlotPage page{{seismometerCurve(), 0.001, 20, true, true}, {"S", "C", "T"}};
    const std::filesystem::path png = tempPath("columns.png");
    std::string error;
    ASSERT_TRUE(plot::writePageFile(png.string(), page, error)) << error;
    const QImage image(QString::fromStdString(png.string()));
    std::filesystem::remove(png);
    ASSERT_FALSE(image.isNull());
    // The curve's rectangle: the frame (199, 199, width - 199, height - 99) less 1.
    const int left = 200, top = 200, right = image.width() - 200, bottom = image.height() - 100;
    const double aMin = seismometer(0.001); // the lowest end is the lowest point
    const double aMax = seismometer(1.0);   // the grid holds 1 Hz, the peak
    int checked = 0;
    int previous = 0;
    for (int x = left + 4; x <= right - 6; ++x) {
        const double f =
            std::pow(10.0, -3 + std::log10(20000.0) * (x - left - 2 + 0.5) / (right - left - 4));
        const double y = (bottom - 4) - (bottom - top - 8) * std::log10(seismometer(f) / aMin) /
                                            std::log10(aMax / aMin);
        int lowest = -1, highest = -1;
        for (int row = top; row < bottom; ++row)
            if (isRed(image.pixel(x, row))) {
                highest = highest < 0 ? row : highest;
                lowest = row;
            }
        if (highest < 0 && isBlack(image.pixel(x, bottom - 3)))
            continue; // a decade line drawn over the curve
        ASSERT_GE(highest, 0) << "no curve in column " << x;
        EXPECT_GE(y, highest - 3.0) << "column " << x << " f " << f;
        EXPECT_LE(y, lowest + 3.0) << "column " << x << " f " << f;
        // Up to the peak the curve rises on the page (rows decrease), then falls.
        if (checked > 0 && f < 0.9) {
            EXPECT_LE(highest, previous + 1) << x;
        } else if (checked > 0 && f > 1.1) {
            EXPECT_GE(lowest, previous - 1) << x;
        }
        previous = f < 1 ? highest : lowest;
        ++checked;
    }
    EXPECT_GT(checked, 3000);
}

// A negative constant: the frame shows the curve of the positive one, pixel for pixel, under
// a line that holds the note; the page says it under the title.
TEST(WindowPlot, ReversedPolarityIsTheModulusWithItsNote) {
    app();
    std::vector<CurvePoint> negative = seismometerCurve();
    const PlotInputs positive{negative, 0.001, 20, true, true};
    for (CurvePoint& p : negative)
        p.amplitude = -p.amplitude;
    const QImage reversed = windowPlot({negative, 0.001, 20, true, true});
    QImage plain(reversed.size(), QImage::Format_RGB32);
    plain.fill(Qt::white);
    PlotRect below;
    {
        QPainter painter(&plain);
        below = plot::windowCurveRect(painter, kRect, {negative, 0.001, 20, true, true});
        plot::drawCurve(painter, below, positive);
    }
    EXPECT_GT(below.top, kRect.top + 8);
    int red = 0, dark = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            ASSERT_EQ(isRed(reversed.pixel(x, y)), isRed(plain.pixel(x, y))) << x << "," << y;
            red += isRed(plain.pixel(x, y));
            if (y < below.top && x < 200)
                dark += qGray(reversed.pixel(x, y)) < 128;
        }
    EXPECT_GT(red, 400);
    EXPECT_GT(dark, 50); // the note
    const std::filesystem::path svg = tempPath("reversed.svg");
    std::string error;
    ASSERT_TRUE(plot::writePageFile(svg.string(),
                                    {{negative, 0.001, 20, true, true}, {"S", "C", "T"}}, error))
        << error;
    std::ifstream in(svg);
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(svg);
    // The page's words, the runs of its text elements joined.
    std::string words;
    for (std::size_t at = page.find("<text"); at != std::string::npos;
         at = page.find("<text", at + 1)) {
        const std::size_t from = page.find('>', at) + 1;
        words += page.substr(from, page.find("</text>", from) - from);
    }
    EXPECT_NE(words.find("обратная полярность: CONSTANT &lt; 0, показан модуль"), std::string::npos)
        << words;
}

// A high frequency of 1e30 prints as a long number: it ends inside the page.
TEST(PageFiles, ALongHighFrequencyStaysOnThePage) {
    app();
    const response::PlotPage page{{{{1, 1}, {1e30, 2}}, 1, 1e30, true, true}, {"S", "C", "T"}};
    const std::filesystem::path png = tempPath("label.png");
    std::string error;
    ASSERT_TRUE(plot::writePageFile(png.string(), page, error)) << error;
    const QImage image(QString::fromStdString(png.string()));
    std::filesystem::remove(png);
    ASSERT_FALSE(image.isNull());
    // The rightmost column with a trace of the label under the frame.
    int rightmost = -1;
    for (int y = image.height() - 80; y < image.height(); ++y)
        for (int x = image.width() / 2; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 200)
                rightmost = std::max(rightmost, x);
    ASSERT_GT(rightmost, image.width() / 2); // the label is there
    EXPECT_LT(rightmost, image.width() - 10) << rightmost;
}

// Every format is written whole, and a failed write says why on its second line.
TEST(PageFiles, EveryFormatIsWrittenWholeAndAFailureSaysWhy) {
    app();
    const response::PlotPage page{{seismometerCurve(), 0.001, 20, true, true}, {"S", "C", "T"}};
    for (const char* suffix : {"pdf", "png", "svg"}) {
        SCOPED_TRACE(suffix);
        std::string error;
        EXPECT_FALSE(
            plot::writePageFile(std::string("/nonexistent/dir/page.") + suffix, page, error));
        EXPECT_NE(error.find("\nNo such file or directory"), std::string::npos) << error;
        // Written: the file is the picture, whole.
        const std::filesystem::path file = tempPath(std::string("whole.") + suffix);
        ASSERT_TRUE(plot::writePageFile(file.string(), page, error)) << error;
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::filesystem::remove(file);
        const std::string head = std::string(suffix) == "pdf"   ? "%PDF"
                                 : std::string(suffix) == "png" ? "\x89PNG"
                                                                : "<?xml";
        EXPECT_EQ(bytes.substr(0, head.size()), head);
    }
}
