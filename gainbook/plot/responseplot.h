// Drawing the response plot with a Qt painter on any paint device: the plot of the
// frequency-response window, the page of its full-screen preview and the printed page
// are drawn by these functions, and so are the pictures gainbook-cli writes.
#pragma once

#include "response/plot.h"

#include <QByteArray>
#include <QPageLayout>
#include <QSize>

#include <memory>
#include <string>

class QGuiApplication;
class QPainter;

namespace orv::gainbook::plot {

// The curve with the red pen of width 2 (or the middle line of a flat curve) and, with
// log X, the decade lines with the dashed pen.
void drawCurve(QPainter& painter, const response::PlotRect& rect,
               const response::PlotInputs& inputs);

// The window's plot: the rectangle filled white without an outline, then the curve when
// there are points. A curve with a note (response::plotNote) has the note on a line at the
// top of the rectangle and is drawn in windowCurveRect below it, so that neither hides the
// other.
void drawWindowPlot(QPainter& painter, const response::PlotRect& rect,
                    const response::PlotInputs& inputs);
response::PlotRect windowCurveRect(QPainter& painter, const response::PlotRect& rect,
                                   const response::PlotInputs& inputs);

// The print page on a page of pageSize device units: the frame, the low and high
// frequencies under it, the title line, then the curve inside the frame. The page font is
// 60 device units high, as the page layout is, whatever the resolution.
void drawPrintPage(QPainter& painter, QSize pageSize, const response::PlotPage& page);

// Pictures of the print page: an A4 landscape page at this resolution.
inline constexpr int kPageDpi = 300;
QSize pagePixels();

// The print page as a one-page PDF document "АЧХ" of this layout and resolution (a PDF
// file chosen in the print dialog); empty when it could not be drawn.
QByteArray pdfPage(const response::PlotPage& page, const QPageLayout& layout, int dpi);

// Writes the print page into a PDF, PNG or SVG file, chosen by the file name's suffix.
// The file is replaced whole or not at all. Needs a QGuiApplication (fonts). False with a
// message in error when it cannot: the file, what failed and, on the next line, why.
bool writePageFile(const std::string& path, const response::PlotPage& page, std::string& error);
// Whether the name ends in ".pdf", ".png" or ".svg" (in any case).
bool isPageFileName(const std::string& path);

// For programs without windows: a QGuiApplication on the offscreen platform for the life
// of this object, so that pages can be drawn without a display. Does nothing when the
// program has an application object already.
class OffscreenGui {
public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui&) = delete;
    OffscreenGui& operator=(const OffscreenGui&) = delete;

private:
    int argc_ = 1;
    char name_[16] = "gainbook";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

} // namespace orv::gainbook::plot
