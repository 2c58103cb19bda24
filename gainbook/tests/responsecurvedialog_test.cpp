// The frequency-response window's logic over the main window's panels, without a display:
// which text it computes from, when it computes, and what a FAP source does to the grid
// fields. The one-preview rule is tested with the real windows.
#include "responsecurvedialog.h"

#include "testdb.h"
#include "ui/scripted.h"
#include "unwritablefolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace orv;
using namespace orv::gainbook;
using response::Motion;
using response::UnitDirection;

namespace {

const char* const kPoleZero = "ZEROS 3\r\n-1 0\r\nPOLES 1\r\n-2 0\r\nCONSTANT 4\r\n";
const char* const kFap = " 1.0000000  2.0000000e+009  0.0\r\n"
                         " 2.0000000  4.0000000e+009  0.0\r\n"
                         " 4.0000000  5.0000000e+009  0.0\r\n";

class ResponseCurve : public testing::Test {
protected:
    ResponseCurve() : owner(ui, {}, dir.path(), dir / "ORV.ini"), dialog(owner, ui) {
        dialog.busyChanged = [this] { computations += dialog.busy ? 1 : 0; };
    }
    test::TempDir dir;
    ui::ScriptedInteraction ui;
    MainWindow owner;
    ResponseCurveDialog dialog;
    int computations = 0;
};

} // namespace

TEST_F(ResponseCurve, ComputesTheDatabasePanelsTextOnceForEachChange) {
    dialog.refresh(); // an empty panel: no curve of zeros
    EXPECT_TRUE(dialog.curve().empty());
    EXPECT_TRUE(dialog.resultText.empty());
    owner.browser.storedText = kPoleZero;
    owner.browser.stations = {{"KARC"}, 0};
    owner.browser.channels = {{"BHZ"}, 0};
    owner.browser.intervals = {{"2005.01.01 00:00:00"}, 0, false};
    dialog.refresh();
    EXPECT_EQ(computations, 2);
    EXPECT_FALSE(dialog.fileSourceEnabled);
    EXPECT_TRUE(dialog.gridFieldsEnabled);
    EXPECT_STREQ(dialog.pointsLabel(), "Число точек на декаду");
    // The defaults: 0.001 to 20 Hz, 300 a decade, velocity in counts*sec/nm.
    response::CurveInputs in;
    in.sourceText = kPoleZero;
    EXPECT_EQ(dialog.resultText, response::computeCurve(in).listing);
    EXPECT_EQ(dialog.curve().size(), 1234u);
    EXPECT_STREQ(dialog.unitCaption(UnitDirection::Direct), "counts*sec/nm");

    dialog.refresh(); // nothing changed
    EXPECT_EQ(computations, 2);
    owner.browser.storedText += "\r\n"; // another record shown
    dialog.refresh();
    EXPECT_EQ(computations, 3);
    dialog.chooseMotion(Motion::Acceleration);
    EXPECT_STREQ(dialog.unitCaption(UnitDirection::Inverse), "nm/counts*sec**2");
    dialog.setLogX(false);
    EXPECT_STREQ(dialog.pointsLabel(), "Число точек");
    EXPECT_EQ(dialog.curve().size(), 300u);
    EXPECT_EQ(computations, 5);

    // The plot takes the fields the points were computed with, not what is typed since.
    dialog.low = "0.01";
    dialog.compute();
    dialog.low = "5";
    EXPECT_EQ(dialog.plotInputs().low, 0.01);
    EXPECT_EQ(dialog.pageTexts().station, "KARC");
    EXPECT_EQ(dialog.pageTexts().time, "2005.01.01 00:00:00");
    dialog.points = "99999999";
    dialog.compute();
    EXPECT_TRUE(dialog.curve().empty());
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{response::kTooManyPointsMessage});
}

TEST_F(ResponseCurve, AFapFileFillsAndDisablesTheGridFields) {
    owner.file.text = kFap;
    owner.file.fileLabel = "  table.fap (FAP)";
    owner.file.station = "ОЧЕНЬДЛИННАЯ";
    dialog.refresh();
    EXPECT_TRUE(dialog.fileSourceEnabled);
    dialog.chooseSource(CurveSource::File);
    EXPECT_FALSE(dialog.gridFieldsEnabled);
    EXPECT_EQ(dialog.low, "1.000000");
    EXPECT_EQ(dialog.high, "4.000000");
    EXPECT_EQ(dialog.points, "3");
    EXPECT_EQ(dialog.curve()[1].amplitude, 4e12); // direct units: 1000 times the table
    const int before = computations;
    dialog.refresh(); // the fields the table wrote count as computed with
    EXPECT_EQ(computations, before);

    // Displacement with the direct button sets the derivative flag: v * 2 pi / f.
    dialog.chooseMotion(Motion::Displacement);
    dialog.chooseUnits(UnitDirection::Direct);
    EXPECT_TRUE(dialog.derivative);
    EXPECT_DOUBLE_EQ(dialog.curve()[1].amplitude, 4e12 * response::kTwoPi / 2);

    // A SAC file in the file panel enables the grid again.
    owner.file.text = kPoleZero;
    owner.file.fileLabel = "  pz (SAC)";
    dialog.refresh();
    EXPECT_TRUE(dialog.gridFieldsEnabled);
    EXPECT_EQ(dialog.pageTexts().station, "ОЧЕНЬДЛИННАЯ");
}

TEST_F(ResponseCurve, TheListingIsWrittenWithTheKeyOfItsSourcePanel) {
    dialog.writeToFile(); // nothing computed yet
    EXPECT_EQ(ui.messageTexts(),
              std::vector<std::string>{"АЧХ не рассчитана: записывать в файл нечего."});
    // The file panel's table, while the database panel shows another key.
    owner.browser.stations = {{"KARC"}, 0};
    owner.browser.channels = {{"BHZ"}, 0};
    owner.file.text = kFap;
    owner.file.fileLabel = "  table.fap (FAP)";
    owner.file.station = "ABC";
    owner.file.channel = "SHZ";
    owner.file.time = "2005.10.31 00:00:00";
    dialog.chooseSource(CurveSource::File);
    bool fapOnly = false;
    owner.formatDialog = [&](FileFormatDialog& d) -> std::optional<formats::LoadedFileKind> {
        fapOnly = !d.sacVisible;
        d.check(formats::LoadedFileKind::FapGse2);
        return d.result();
    };
    const std::string path = (dir / "listing.fap").string();
    ui.clear();
    ui.chooseFile(path);
    dialog.writeToFile();
    ASSERT_EQ(ui.shown().size(), 2u);
    EXPECT_EQ(ui.shown()[0].choice.fileName, "ABC_SHZ_2005okt31");
    EXPECT_EQ(ui.shown()[0].choice.filter, "FAP (*.fap)|*.fap|All Files (*.*)|*.*||");
    EXPECT_EQ(ui.shown()[0].choice.title, "Запись в файл: рассчитанная АЧХ как текст FAP");
    EXPECT_TRUE(fapOnly);
    EXPECT_EQ(ui.shown()[1].text, "Запись прошла успешно!");
    EXPECT_EQ(ui.shown()[1].caption, "Запись в файл");
    EXPECT_EQ(ui.shown()[1].icon, ui::Icon::Information);
    std::ifstream in(path, std::ios::binary);
    std::string line1, line2, line3;
    std::getline(in, line1);
    std::getline(in, line2);
    std::getline(in, line3);
    EXPECT_TRUE(line1.starts_with("CAL2 ABC   SHZ ")) << line1;
    EXPECT_TRUE(line1.ends_with("2005.10.31 00:00:00\r")) << line1;
    EXPECT_TRUE(line2.ends_with("GSE2 FAP Triplets 3\r")) << line2;
    // Direct units of a table, as GSE2: 1e21 / (1000 * ORV amplitude).
    EXPECT_EQ(line3, " 1.0000000  5.0000000e+008  0.0\r");

    // A folder that cannot be written: the file and the system's reason.
    const orv::test::UnwritableFolder readOnly = orv::test::unwritableFolder(dir);
    const std::string refused = (readOnly.path / "listing.fap").string();
    ui.clear();
    ui.chooseFile(refused);
    dialog.writeToFile();
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Ошибка при попытке записи в файл\r\n" +
                                                          refused + ": " + readOnly.reason});
}

// The window never leaves an empty plot without a word: a field that is no number and a
// grid without points are said in a box; a decimal comma computes.
TEST_F(ResponseCurve, AnEmptyPlotIsAlwaysSaid) {
    owner.browser.storedText = kPoleZero;
    owner.browser.viewSac = true;
    dialog.refresh();
    ASSERT_EQ(dialog.curve().size(), 1234u);
    EXPECT_TRUE(ui.messageTexts().empty());
    dialog.low = "0,01";
    dialog.compute();
    EXPECT_EQ(dialog.curve().size(), 934u); // 0.01 to 20 Hz
    EXPECT_EQ(dialog.plotInputs().low, 0.01);
    EXPECT_TRUE(ui.messageTexts().empty());

    const struct {
        const char* low;
        const char* high;
        bool logX;
        std::string message;
    } empty[] = {
        {"30", "20", false, response::kNoPointsMessage},
        {"1e-300", "1e9", true, response::kFrequencySpanMessage},
        {"inf", "20", true, "НЧ: \"inf\" - не число"},
    };
    for (const auto& c : empty) {
        ui.clear();
        dialog.low = c.low;
        dialog.high = c.high;
        dialog.setLogX(c.logX);
        EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{c.message}) << c.low;
        EXPECT_EQ(ui.shown().at(0).caption, kResponseCurveTitle);
    }

    // A negative constant: every amplitude is below zero. The curve is drawn as the modulus
    // with its note, on either axis and for either unit, and no box interrupts.
    dialog.low = "0.001";
    dialog.high = "20";
    owner.browser.storedText = "ZEROS 3\r\n-1 0\r\nPOLES 1\r\n-2 0\r\nCONSTANT -4\r\n";
    ui.clear();
    dialog.refresh();
    dialog.chooseUnits(UnitDirection::Inverse);
    dialog.setLogY(false);
    dialog.compute();
    EXPECT_TRUE(ui.messageTexts().empty());
    EXPECT_EQ(response::plotNote(dialog.plotInputs()),
              std::string("обратная полярность: CONSTANT < 0, показан модуль"));
    EXPECT_LT(dialog.curve().at(0).amplitude, 0.0); // the listing keeps its sign
}

// The window opens beside the main window where the screen has room, else off its middle
// in the far corner: on a 1280x800 screen the main window's left and top stay uncovered.
TEST(ResponseCurvePlacement, BesideTheMainWindowOrInTheFarCorner) {
    const ScreenRect small{0, 0, 1280, 800};
    EXPECT_EQ(placeBesideMainWindow({0, 0, 1040, 720}, 1000, 640, small),
              (ScreenRect{280, 160, 1000, 640}));
    EXPECT_EQ(placeBesideMainWindow({240, 80, 1040, 720}, 1000, 640, small),
              (ScreenRect{0, 0, 1000, 640}));
    const ScreenRect wide{0, 0, 2560, 1440};
    EXPECT_EQ(placeBesideMainWindow({100, 50, 1040, 720}, 1000, 640, wide),
              (ScreenRect{1140, 50, 1000, 640}));
    EXPECT_EQ(placeBesideMainWindow({1500, 900, 1040, 720}, 1000, 640, wide),
              (ScreenRect{500, 800, 1000, 640}));
    // A screen smaller than the window: as large as the screen, on it.
    EXPECT_EQ(placeBesideMainWindow({0, 0, 800, 600}, 1000, 640, {0, 30, 800, 570}),
              (ScreenRect{0, 30, 800, 570}));
}

// On a 1280x800 screen the far corner would cover the row of buttons at the foot of the
// main window: the window goes above them, into the top right corner, made lower where the
// buttons stand higher, and into the far corner after all when it would be too low.
TEST(ResponseCurvePlacement, TheMainWindowsButtonsStayFree) {
    const ScreenRect screen{0, 0, 1280, 800};
    const ScreenRect main{0, 0, 1040, 720};
    const std::vector<ScreenRect> buttons{{10, 660, 250, 50}, {780, 660, 250, 50}, {5, 2, 60, 20}};
    EXPECT_EQ(placeBesideMainWindow(main, 1000, 640, screen, buttons, {0, 0, 600, 500}),
              (ScreenRect{280, 0, 1000, 640}));
    const std::vector<ScreenRect> higher{{10, 600, 250, 50}, {780, 600, 250, 50}};
    EXPECT_EQ(placeBesideMainWindow(main, 1000, 640, screen, higher, {0, 0, 600, 500}),
              (ScreenRect{280, 0, 1000, 600}));
    EXPECT_EQ(placeBesideMainWindow(main, 1000, 640, screen, higher, {0, 0, 600, 620}),
              (ScreenRect{280, 160, 1000, 640}));
    // A main window at the right: the buttons at its left foot stay free in the top left.
    EXPECT_EQ(placeBesideMainWindow({240, 80, 1040, 720}, 1000, 640, screen,
                                    {{250, 740, 250, 50}, {1020, 740, 250, 50}}, {0, 0, 600, 500}),
              (ScreenRect{0, 0, 1000, 640}));
}
