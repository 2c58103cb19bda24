#include "responsepreviewqt.h"

#include "responsecurvedialog.h"
#include "responseplot.h"
#include "widgets.h"

#include "files/replacefile.h"
#include "formats/exportfile.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QTimer>
#include <QToolBar>

namespace orv::gainbook::qt {

namespace {

constexpr const char* kPrintFailedMessage =
    "При попытке печати АЧХ произошла ошибка:\r\nпринтер не принял страницу, задание отменено";
constexpr const char* kPrintCaption = "Печать АЧХ";

// Qt's print dialog: one page, no page numbers or selection to choose; printing into a
// PDF file stays on offer.
bool printDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace

void preparePrinter(QPrinter& printer) {
    printer.setDocName(QString::fromUtf8("АЧХ"));
    printer.setPageOrientation(QPageLayout::Landscape);
    if (printer.outputFormat() == QPrinter::PdfFormat)
        printer.setResolution(plot::kPageDpi);
}

bool printPage(QPrinter& printer, const response::PlotPage& page) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        printer.abort();
        return false;
    }
    plot::drawPrintPage(painter, QSize(printer.width(), printer.height()), page);
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        printer.abort();
        return false;
    }
    return true;
}

void printResponse(const response::PlotPage& page, ui::Interaction& ui, QWidget* parent,
                   const PrinterChoice& choose) {
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer);
    if (!(choose ? choose(printer, parent) : printDialog(printer, parent)))
        return;
    preparePrinter(printer); // the choice may have been a PDF file
    // A file is drawn in memory and replaces the old one whole, so that a file that cannot
    // be written is said with its reason.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        const std::string path = s(printer.outputFileName());
        const QByteArray pdf = plot::pdfPage(page, printer.pageLayout(), printer.resolution());
        std::string why = "PDF не нарисован";
        if (pdf.isEmpty() ||
            !files::replaceFile(path, std::string_view(pdf.constData(), pdf.size()), &why))
            ui.warn(formats::writeFailedText(path, why), kPrintCaption);
        return;
    }
    if (!printPage(printer, page))
        ui.error(kPrintFailedMessage, kPrintCaption);
}

ResponsePreviewWindow::ResponsePreviewWindow(response::PlotPage page, ui::Interaction& ui,
                                             QWidget* owner)
    : QMainWindow(owner, Qt::Window), page_(std::move(page)), ui_(ui),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(kPreviewTitle));
    preparePrinter(*printer_);
    preview_ = new QPrintPreviewWidget(printer_.get(), this);
    preview_->setZoomMode(QPrintPreviewWidget::FitInView);
    preview_->setAccessibleName(QString::fromUtf8("Страница АЧХ"));
    connect(preview_, &QPrintPreviewWidget::paintRequested, this,
            [this](QPrinter* printer) { printPage(*printer, page_); });
    setCentralWidget(preview_);

    QToolBar* tools = addToolBar(QString::fromUtf8("Просмотр"));
    tools->setMovable(false);
    print_ = tools->addAction(QString::fromUtf8("Печать"));
    QAction* fitWidth = tools->addAction(QString::fromUtf8("По ширине"));
    QAction* fitPage = tools->addAction(QString::fromUtf8("Страница целиком"));
    QAction* close = tools->addAction(QString::fromUtf8("Закрыть"));
    connect(fitWidth, &QAction::triggered, preview_, &QPrintPreviewWidget::fitToWidth);
    connect(fitPage, &QAction::triggered, preview_, &QPrintPreviewWidget::fitInView);
    connect(close, &QAction::triggered, this, &QWidget::close);
    // The preview ends first; the owner then prints the page.
    connect(print_, &QAction::triggered, this, [this] {
        QWidget* printer = parentWidget();
        QTimer::singleShot(0, printer ? static_cast<QObject*>(printer) : qApp,
                           [page = page_, &ui = ui_, printer, choose = choosePrinter] {
                               printResponse(page, ui, printer, choose);
                           });
        this->close();
    });
}

ResponsePreviewWindow::~ResponsePreviewWindow() {
    delete preview_; // before the printer it draws on
}

ResponsePreviewWindow* ResponsePreviewWindow::open(const response::PlotPage& page,
                                                   ui::Interaction& ui, QWidget* owner) {
    auto* window = new ResponsePreviewWindow(page, ui, owner);
    // The whole screen also where no window manager maximises windows.
    if (const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        window->setGeometry(screen->availableGeometry());
    window->showMaximized();
    return window;
}

bool ResponsePreviewWindow::isOpen() {
    const QString title = QString::fromUtf8(kPreviewTitle);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title)
            return true;
    return false;
}

} // namespace orv::gainbook::qt
