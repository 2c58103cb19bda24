#include "responseplot.h"

#include "files/replacefile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygon>
#include <QSvgGenerator>

#include <algorithm>
#include <cstdio>

namespace orv::gainbook::plot {
namespace {

using response::PlotLine;
using response::PlotRect;

QString q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QLine qline(const PlotLine& l) {
    return {l.from.x, l.from.y, l.to.x, l.to.y};
}

QPen curvePen() {
    QPen pen(QColor(255, 0, 0), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    return pen;
}

QPen decadePen() {
    QPen pen(Qt::black, 1, Qt::CustomDashLine, Qt::FlatCap);
    pen.setDashPattern({18, 6}); // the dash of a dashed line on the original display
    return pen;
}

// The page font: 60 device units from the top of a line to the bottom of the next, of
// normal weight, proportional, of the default family.
QFont pageFont(QPaintDevice* device) {
    QFont font;
    font.setStyleHint(QFont::SansSerif, QFont::PreferOutline);
    font.setWeight(QFont::Normal);
    font.setPixelSize(60);
    const qreal height = QFontMetricsF(font, device).height();
    if (height > 0)
        font.setPixelSize(std::max(1, qRound(60 * 60 / height)));
    return font;
}

// Text with its top left corner at (x, y).
void drawTextAt(QPainter& painter, int x, int y, const std::string& text) {
    painter.drawText(QPointF(x, y + painter.fontMetrics().ascent()), q(text));
}

constexpr const char* kPageWriteFailed = "не удалось записать файл";

bool failed(std::string& error, const std::string& message) {
    error = message;
    return false;
}

} // namespace

void drawCurve(QPainter& painter, const PlotRect& rect, const response::PlotInputs& inputs) {
    const response::PlotShapes shapes = response::plotShapes(rect, inputs);
    painter.save();
    painter.setPen(curvePen());
    if (shapes.middleLine)
        painter.drawLine(qline(*shapes.middleLine));
    if (shapes.curve.size() >= 2) {
        QPolygon line;
        line.reserve(static_cast<qsizetype>(shapes.curve.size()));
        for (const response::PlotPoint& p : shapes.curve)
            line.append(QPoint(p.x, p.y));
        painter.drawPolyline(line);
    }
    painter.setPen(decadePen());
    for (const PlotLine& l : shapes.decadeLines)
        painter.drawLine(qline(l));
    // A frame left empty says why.
    if (const std::optional<std::string> why = response::plotRefusal(inputs)) {
        painter.setPen(Qt::black);
        painter.drawText(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top)
                             .adjusted(8, 8, -8, -8),
                         Qt::AlignCenter | Qt::TextWordWrap, q(*why));
    }
    painter.restore();
}

void drawWindowPlot(QPainter& painter, const PlotRect& rect, const response::PlotInputs& inputs) {
    painter.fillRect(QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
                     Qt::white);
    if (inputs.points.empty())
        return;
    const PlotRect curve = windowCurveRect(painter, rect, inputs);
    if (const std::optional<std::string> note = response::plotNote(inputs)) {
        painter.save();
        painter.setPen(Qt::black);
        drawTextAt(painter, rect.left + 6, rect.top + 2, *note);
        painter.restore();
    }
    drawCurve(painter, curve, inputs);
}

PlotRect windowCurveRect(QPainter& painter, const PlotRect& rect,
                         const response::PlotInputs& inputs) {
    if (!response::plotNote(inputs))
        return rect;
    const int band = painter.fontMetrics().height() + 4;
    return {rect.left, std::min(rect.top + band, rect.bottom), rect.right, rect.bottom};
}

void drawPrintPage(QPainter& painter, QSize pageSize, const response::PlotPage& page) {
    PlotRect r = response::printFrame(pageSize.width(), pageSize.height());
    painter.save();
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1);
    r = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};

    painter.setFont(pageFont(painter.device()));
    drawTextAt(painter, 149, r.bottom + 20, response::pageLowText(page.plot));
    // A long high frequency ends at the page's right edge rather than beyond it.
    const std::string high = response::pageHighText(page.plot);
    const int highWidth = painter.fontMetrics().horizontalAdvance(q(high));
    drawTextAt(painter, std::max(0, std::min(r.right - 100, pageSize.width() - highWidth - 20)),
               r.bottom + 20, high);
    drawTextAt(painter, 200, 60, response::pageTitle(page.texts));
    // The note on the line under the title, outside the frame the curve may fill.
    if (const std::optional<std::string> note = response::plotNote(page.plot))
        drawTextAt(painter, 200, 125, *note);
    painter.restore();
    drawCurve(painter, r, page.plot);
}

bool isPageFileName(const std::string& path) {
    const QString suffix = QFileInfo(q(path)).suffix().toLower();
    return suffix == QLatin1String("pdf") || suffix == QLatin1String("png") ||
           suffix == QLatin1String("svg");
}

namespace {

// Without a desktop session Qt warns about what it misses (a runtime directory, ...);
// a command-line program keeps its output for its own messages.
QtMessageHandler previousHandler = nullptr;

void criticalOnly(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg)
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

OffscreenGui::OffscreenGui() {
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(criticalOnly);
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
}

OffscreenGui::~OffscreenGui() {
    if (!app_)
        return;
    app_.reset();
    qInstallMessageHandler(previousHandler);
}

QSize pagePixels() {
    const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF());
    return layout.fullRectPixels(kPageDpi).size();
}

QByteArray pdfPage(const response::PlotPage& page, const QPageLayout& layout, int dpi) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(dpi);
        pdf.setPageLayout(layout);
        pdf.setTitle(QString::fromUtf8("АЧХ"));
        QPainter painter;
        if (!painter.begin(&pdf))
            return {};
        drawPrintPage(painter, QSize(pdf.width(), pdf.height()), page);
        if (!painter.end())
            return {};
    }
    return buffer.data();
}

bool writePageFile(const std::string& path, const response::PlotPage& page, std::string& error) {
    const QString suffix = QFileInfo(q(path)).suffix().toLower();
    const QSize size = pagePixels();
    // The picture is made in memory and replaces the file whole: a picture that cannot
    // be made or written leaves an existing file as it was.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPainter painter;
    if (suffix == QLatin1String("pdf")) {
        const QByteArray pdf = pdfPage(
            page, QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, {}), kPageDpi);
        if (pdf.isEmpty())
            return failed(error, path + ": " + kPageWriteFailed + "\nPDF не нарисован");
        buffer.write(pdf);
    } else if (suffix == QLatin1String("png")) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        const int dotsPerMetre = qRound(kPageDpi / 0.0254);
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
        painter.begin(&image);
        drawPrintPage(painter, size, page);
        painter.end();
        if (!image.save(&buffer, "PNG"))
            return failed(error, path + ": " + kPageWriteFailed + "\nPNG не закодирован");
    } else if (suffix == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setResolution(kPageDpi);
        svg.setTitle(QString::fromUtf8("АЧХ"));
        if (!painter.begin(&svg))
            return failed(error, path + ": " + kPageWriteFailed + "\nSVG не начат");
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        drawPrintPage(painter, size, page);
        if (!painter.end())
            return failed(error, path + ": " + kPageWriteFailed + "\nSVG не завершён");
    } else {
        return failed(error, path + ": ожидается файл .pdf, .png или .svg");
    }
    const QByteArray& bytes = buffer.data();
    std::string why;
    if (!files::replaceFile(path, std::string_view(bytes.constData(), bytes.size()), &why))
        return failed(error, path + ": " + kPageWriteFailed + "\n" + why);
    return true;
}

} // namespace orv::gainbook::plot
