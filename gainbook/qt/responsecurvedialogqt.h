// The widgets of the frequency-response window "Амплитудно-частотная характеристика",
// bound to ResponseCurveDialog, which holds the state and computes. The plot frame draws
// the stored points; it never computes.
#pragma once

#include "responsecurvedialog.h"

#include <QDialog>
#include <QFrame>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace orv::gainbook::qt {

class ResponseCurveDialogQt;

// The sunken white frame the curve is drawn in, 2 pixels inside its client area.
class PlotFrame : public QFrame {
public:
    PlotFrame(const ResponseCurveDialog& logic, QWidget* parent);
    // The plot rectangle in the frame's coordinates.
    response::PlotRect plotRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ResponseCurveDialog& logic_;
};

class ResponseCurveDialogQt : public QDialog {
    Q_OBJECT
public:
    // owner: the main window, whose panels the window reads and over which it is centred.
    ResponseCurveDialogQt(const MainWindow& owner, ui::Interaction& ui, QWidget* ownerWidget);

    ResponseCurveDialog& logic() { return logic_; }

    struct Controls {
        QLineEdit* low;
        QLineEdit* high;
        QLabel* pointsLabel;
        QLineEdit* points;
        QRadioButton* displacement;
        QRadioButton* velocity;
        QRadioButton* acceleration;
        QRadioButton* inverse;
        QRadioButton* direct;
        QRadioButton* fromDatabase;
        QRadioButton* fromFile;
        QCheckBox* logX;
        QCheckBox* logY;
        QPushButton* fullScreen;
        QPushButton* compute;
        QPushButton* writeToFile;
        QPlainTextEdit* result;
        PlotFrame* plot;
    };
    const Controls& controls() const { return c_; }

public slots:
    // The main window's panels changed: computed again when an input changed.
    void refresh();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildControls();
    QWidget* buildPlot();
    void bind();
    // Runs a handler of the logic and shows the state it left.
    void run(const std::function<void()>& handler);
    void sync();

    ResponseCurveDialog logic_;
    ui::Interaction& ui_;
    Controls c_{};
    std::string shownResult_;
};

} // namespace orv::gainbook::qt
