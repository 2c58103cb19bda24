// The frequency-response window "Амплитудно-частотная характеристика" without its widgets:
// the grid fields, the kind of motion, the unit direction, the source (the database
// panel's text or the file panel's), the two "Log10" boxes, and what the last computation
// gave (the points for the plot, the listing for the result box).
//
// The window gathers inputs and shows outputs; the computation is the response library's,
// run when an input changes (a click, the compute button, or a change of the main
// window's panels seen by refresh()), and the plot is drawn again from the stored points.
#pragma once

#include "mainwindow.h"
#include "response/curve.h"
#include "response/plot.h"
#include "ui/interaction.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv::gainbook {

inline constexpr const char* kResponseCurveTitle = "Амплитудно-частотная характеристика";
inline constexpr const char* kPreviewTitle = "Предварительный просмотр АЧХ";
// The system's own wording, misspelling included.
inline constexpr const char* kTwoPreviewsMessage =
    "Невозможно открыть два окна\r\nпредворительного просмотра";
// Button texts, with the line breaks the window shows.
inline constexpr const char* kFullScreenButton = "ПОЛНЫЙ\r  ЭКРАН";
inline constexpr const char* kComputeButton = "РАССЧЕТ \r\n    АЧХ";
inline constexpr const char* kWriteToFileButton = "ЗАПИСЬ\r\nВ ФАЙЛ";

enum class CurveSource { Database, File };

// A window's frame on the screen.
struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// Where the window goes when it opens: beside the main window (to its right, else to its
// left) when the screen has room there. Else in a corner of the screen where it covers none
// of the main window's buttons (the rectangles in buttons), made smaller for that where it
// must but not below least: the corner away from the main window's middle first, then the
// other corner on that side, then the two on the other side; of these the largest. Where
// no corner leaves the buttons free, in the corner away from the main window's middle, so
// that as much of the main window as the screen allows stays uncovered. The window is made
// no larger than the screen.
ScreenRect placeBesideMainWindow(const ScreenRect& mainWindow, int width, int height,
                                 const ScreenRect& screen,
                                 const std::vector<ScreenRect>& buttons = {},
                                 ScreenRect least = {});

class ResponseCurveDialog {
public:
    // The window reads the panels of its owner, which outlives it.
    ResponseCurveDialog(const MainWindow& owner, ui::Interaction& ui);

    // --- what the window shows --------------------------------------------------------
    // The grid fields "НЧ", "ВЧ" and the points; disabled for a FAP source.
    std::string low = "0.001";
    std::string high = "20";
    std::string points = "300";
    bool gridFieldsEnabled = true;
    response::Motion motion = response::Motion::Velocity;
    response::UnitDirection units = response::UnitDirection::Direct;
    CurveSource source = CurveSource::Database;
    bool fileSourceEnabled = false; // "Из файла": only when the file panel holds a text
    bool logX = true;
    bool logY = true;
    // Set by the unit buttons, used by the FAP computation.
    bool derivative = false;
    bool busy = false;
    // The result box: the listing of the last computation, lines ended by CR LF.
    std::string resultText;

    // "Число точек на декаду" with log X, "Число точек" without.
    const char* pointsLabel() const;
    // The texts of the unit buttons for the chosen kind of motion.
    const char* unitCaption(response::UnitDirection direction) const;
    // The points of the last computation, in grid order.
    const std::vector<response::CurvePoint>& curve() const { return curve_; }
    // What the window's plot is drawn from: the points, the low and high frequencies of
    // the fields they were computed with, and the two "Log10" boxes.
    response::PlotInputs plotInputs() const;
    // Station, channel and time of the chosen source's panel.
    response::PageTexts pageTexts() const;

    // --- handlers ---------------------------------------------------------------------
    // The window is shown or the main window's panels changed: the controls follow the
    // source, and the curve is computed again when any input differs from the last
    // computation's.
    void refresh();
    // "РАССЧЕТ \r\n    АЧХ".
    void compute();
    void chooseMotion(response::Motion m);
    void chooseUnits(response::UnitDirection direction);
    void chooseSource(CurveSource s);
    void setLogX(bool on);
    void setLogY(bool on);
    // "ПОЛНЫЙ\r  ЭКРАН": a preview of the page from copies of the curve and its texts;
    // refused while one is open.
    void fullScreen();
    // "ЗАПИСЬ\r\nВ ФАЙЛ": the listing into a FAP file of the flavour the user names, with
    // the header of the source panel's key.
    void writeToFile();

    // The preview's own copy of the page: the curve as plotInputs(), the texts cut to the
    // view's fields.
    response::PlotPage previewPage() const;

    // --- how the window is bound ------------------------------------------------------
    std::function<void()> busyChanged;
    // Whether a preview window is open anywhere in the program.
    std::function<bool()> previewOpen;
    // Opens the preview window with its own page.
    std::function<void(const response::PlotPage&)> showPreview;

private:
    // The source text and the window's choices as the computation takes them.
    response::CurveInputs gatherInputs() const;
    void setBusy(bool b);
    bool sourceIsSac() const;

    const MainWindow& owner_;
    ui::Interaction& ui_;
    std::vector<response::CurvePoint> curve_;
    double curveLow_ = 0.0;
    double curveHigh_ = 0.0;
    std::optional<response::CurveInputs> computedFrom_;
};

} // namespace orv::gainbook
