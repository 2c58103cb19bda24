// The full-screen view of the response plot: a maximised window "Предварительный просмотр
// АЧХ" with the print page as a landscape page in Qt's print preview, drawn from its own
// copy of the curve and its texts; at most one is open at a time. Its print button closes
// it and runs the print command on that page.
//
// The print command: Qt's print dialog (with its "print to PDF file" printer, which many
// desktops have as their only one), then one page named "АЧХ" drawn at the printer's
// resolution; a printer that fails is reported.
#pragma once

#include "response/plot.h"
#include "ui/interaction.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QPrinter;
class QPrintPreviewWidget;

namespace orv::gainbook::qt {

// Chooses the printer; false when the user cancels. The default is Qt's print dialog.
using PrinterChoice = std::function<bool(QPrinter& printer, QWidget* parent)>;

class ResponsePreviewWindow : public QMainWindow {
    Q_OBJECT
public:
    ResponsePreviewWindow(response::PlotPage page, ui::Interaction& ui, QWidget* owner);
    ~ResponsePreviewWindow() override;

    // Opens a new preview window maximised over the owner.
    static ResponsePreviewWindow* open(const response::PlotPage& page, ui::Interaction& ui,
                                       QWidget* owner);
    // Whether a preview window is open anywhere in the program.
    static bool isOpen();

    const response::PlotPage& page() const { return page_; }
    QPrintPreviewWidget* preview() const { return preview_; }
    QAction* printAction() const { return print_; }
    // How the print button chooses the printer (Qt's print dialog when empty).
    PrinterChoice choosePrinter;

private:
    response::PlotPage page_;
    ui::Interaction& ui_;
    std::unique_ptr<QPrinter> printer_;
    QPrintPreviewWidget* preview_;
    QAction* print_;
};

// Sets up a printer for the response page: document "АЧХ", landscape; a PDF file is drawn
// at the resolution of the page pictures.
void preparePrinter(QPrinter& printer);

// Draws the page on a printer already chosen, at its resolution. False when the printer
// failed; the job is then aborted.
bool printPage(QPrinter& printer, const response::PlotPage& page);

// The print command: the printer chosen, the page printed, a failure reported.
void printResponse(const response::PlotPage& page, ui::Interaction& ui, QWidget* parent,
                   const PrinterChoice& choose = {});

} // namespace orv::gainbook::qt
