#include "responsecurvedialogqt.h"

#include "responseplot.h"
#include "responsepreviewqt.h"
#include "widgets.h"

#include "text/text.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace orv::gainbook::qt {

namespace {

using response::Motion;
using response::UnitDirection;

// A button text of the system: its "\r\n" and "\r" line breaks shown as lines.
QString shownText(const char* text) {
    return q(text::replaceAll(text::replaceAll(text, "\r\n", "\n"), "\r", "\n"));
}

QPushButton* button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(shownText(text), parent);
    b->setAutoDefault(false);
    b->setAccessibleName(oneLine(b->text()));
    b->setMinimumHeight(b->sizeHint().height() + 8);
    return b;
}

QRadioButton* radio(const QString& text, const char* name, QButtonGroup* group, QWidget* parent) {
    auto* r = new QRadioButton(text, parent);
    r->setAccessibleName(QString::fromUtf8(name));
    group->addButton(r);
    return r;
}

void setText(QLineEdit* edit, const std::string& value) {
    if (s(edit->text()) != value) {
        const QSignalBlocker block(edit);
        edit->setText(q(value));
    }
}

void setChecked(QAbstractButton* b, bool on) {
    const QSignalBlocker block(b);
    b->setChecked(on);
}

} // namespace

PlotFrame::PlotFrame(const ResponseCurveDialog& logic, QWidget* parent)
    : QFrame(parent), logic_(logic) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setMinimumSize(360, 240);
    setAccessibleName(QString::fromUtf8("График АЧХ"));
}

response::PlotRect PlotFrame::plotRect() const {
    const QRect r = contentsRect().adjusted(2, 2, -2, -2);
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void PlotFrame::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    plot::drawWindowPlot(painter, plotRect(), logic_.plotInputs());
}

ResponseCurveDialogQt::ResponseCurveDialogQt(const MainWindow& owner, ui::Interaction& ui,
                                             QWidget* ownerWidget)
    : QDialog(ownerWidget), logic_(owner, ui), ui_(ui) {
    setWindowTitle(QString::fromUtf8(kResponseCurveTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildControls());
    layout->addWidget(buildPlot(), 1);
    bind();
    logic_.busyChanged = [this] {
        if (logic_.busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    };
    logic_.previewOpen = [] { return ResponsePreviewWindow::isOpen(); };
    logic_.showPreview = [this, &ui](const response::PlotPage& page) {
        ResponsePreviewWindow::open(page, ui, parentWidget());
    };
    resize(1000, 640);
    sync();
}

QWidget* ResponseCurveDialogQt::buildControls() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);

    auto* grid = new QGridLayout;
    c_.low = new QLineEdit(box);
    c_.high = new QLineEdit(box);
    c_.points = new QLineEdit(box);
    grid->addWidget(labelFor(QString::fromUtf8("НЧ"), c_.low, box), 0, 0);
    grid->addWidget(c_.low, 0, 1);
    grid->addWidget(labelFor(QString::fromUtf8("ВЧ"), c_.high, box), 1, 0);
    grid->addWidget(c_.high, 1, 1);
    c_.pointsLabel = labelFor(QString::fromUtf8(logic_.pointsLabel()), c_.points, box);
    grid->addWidget(c_.pointsLabel, 2, 0);
    grid->addWidget(c_.points, 2, 1);
    column->addLayout(grid);

    auto* motion = new QButtonGroup(box);
    auto* motionRow = new QHBoxLayout;
    c_.displacement = radio(QStringLiteral("f"), "Смещение (f)", motion, box);
    c_.velocity = radio(QStringLiteral("f'"), "Скорость (f')", motion, box);
    c_.acceleration = radio(QStringLiteral("f\""), "Ускорение (f\")", motion, box);
    for (QRadioButton* r : {c_.displacement, c_.velocity, c_.acceleration})
        motionRow->addWidget(r);
    motionRow->addStretch();
    column->addLayout(motionRow);

    auto* units = new QButtonGroup(box);
    c_.inverse = radio({}, "Единицы nm/counts", units, box);
    c_.direct = radio({}, "Единицы counts/nm", units, box);
    column->addWidget(c_.inverse);
    column->addWidget(c_.direct);

    auto* source = new QButtonGroup(box);
    c_.fromDatabase = radio(QString::fromUtf8("Из базы"), "Из базы", source, box);
    c_.fromFile = radio(QString::fromUtf8("Из файла"), "Из файла", source, box);
    column->addWidget(c_.fromDatabase);
    column->addWidget(c_.fromFile);

    c_.fullScreen = button(kFullScreenButton, box);
    c_.compute = button(kComputeButton, box);
    c_.writeToFile = button(kWriteToFileButton, box);
    for (QPushButton* b : {c_.fullScreen, c_.compute, c_.writeToFile})
        column->addWidget(b);
    column->addStretch();
    return box;
}

QWidget* ResponseCurveDialogQt::buildPlot() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    c_.logY = new QCheckBox(QStringLiteral("Log10"), box);
    c_.logY->setAccessibleName(QString::fromUtf8("Log10 амплитуды"));
    column->addWidget(c_.logY, 0, Qt::AlignLeft);
    c_.plot = new PlotFrame(logic_, box);
    column->addWidget(c_.plot, 3);
    c_.logX = new QCheckBox(QStringLiteral("Log10"), box);
    c_.logX->setAccessibleName(QString::fromUtf8("Log10 частоты"));
    column->addWidget(c_.logX, 0, Qt::AlignRight);

    c_.result = new QPlainTextEdit(box);
    c_.result->setReadOnly(true);
    c_.result->setLineWrapMode(QPlainTextEdit::NoWrap);
    c_.result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c_.result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c_.result->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    c_.result->setAccessibleName(QString::fromUtf8("Результат расчета"));
    c_.result->setTabChangesFocus(true);
    column->addWidget(c_.result, 2);
    return box;
}

void ResponseCurveDialogQt::bind() {
    ResponseCurveDialog& d = logic_;
    const auto bindEdit = [this](QLineEdit* edit, std::string& field) {
        connect(edit, &QLineEdit::textEdited, this, [&field](const QString& t) { field = s(t); });
    };
    bindEdit(c_.low, d.low);
    bindEdit(c_.high, d.high);
    bindEdit(c_.points, d.points);
    for (auto [r, m] : {std::pair{c_.displacement, Motion::Displacement},
                        std::pair{c_.velocity, Motion::Velocity},
                        std::pair{c_.acceleration, Motion::Acceleration}})
        connect(r, &QRadioButton::clicked, this,
                [this, &d, m = m] { run([&d, m] { d.chooseMotion(m); }); });
    for (auto [r, u] : {std::pair{c_.inverse, UnitDirection::Inverse},
                        std::pair{c_.direct, UnitDirection::Direct}})
        connect(r, &QRadioButton::clicked, this,
                [this, &d, u = u] { run([&d, u] { d.chooseUnits(u); }); });
    for (auto [r, src] : {std::pair{c_.fromDatabase, CurveSource::Database},
                          std::pair{c_.fromFile, CurveSource::File}})
        connect(r, &QRadioButton::clicked, this,
                [this, &d, src = src] { run([&d, src] { d.chooseSource(src); }); });
    connect(c_.logX, &QCheckBox::clicked, this,
            [this, &d](bool on) { run([&d, on] { d.setLogX(on); }); });
    connect(c_.logY, &QCheckBox::clicked, this,
            [this, &d](bool on) { run([&d, on] { d.setLogY(on); }); });
    connect(c_.compute, &QPushButton::clicked, this, [this, &d] { run([&d] { d.compute(); }); });
    connect(c_.fullScreen, &QPushButton::clicked, this,
            [this, &d] { run([&d] { d.fullScreen(); }); });
    connect(c_.writeToFile, &QPushButton::clicked, this,
            [this, &d] { run([&d] { d.writeToFile(); }); });
}

void ResponseCurveDialogQt::run(const std::function<void()>& handler) {
    handler();
    sync();
}

void ResponseCurveDialogQt::refresh() {
    run([this] { logic_.refresh(); });
}

void ResponseCurveDialogQt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    refresh();
}

void ResponseCurveDialogQt::sync() {
    const ResponseCurveDialog& d = logic_;
    setText(c_.low, d.low);
    setText(c_.high, d.high);
    setText(c_.points, d.points);
    for (QLineEdit* e : {c_.low, c_.high, c_.points})
        e->setEnabled(d.gridFieldsEnabled);
    c_.pointsLabel->setText(QString::fromUtf8(d.pointsLabel()));
    setChecked(c_.displacement, d.motion == Motion::Displacement);
    setChecked(c_.velocity, d.motion == Motion::Velocity);
    setChecked(c_.acceleration, d.motion == Motion::Acceleration);
    c_.inverse->setText(QString::fromUtf8(d.unitCaption(UnitDirection::Inverse)));
    c_.direct->setText(QString::fromUtf8(d.unitCaption(UnitDirection::Direct)));
    c_.inverse->setAccessibleName(QString::fromUtf8("Единицы ") + c_.inverse->text());
    c_.direct->setAccessibleName(QString::fromUtf8("Единицы ") + c_.direct->text());
    setChecked(c_.inverse, d.units == UnitDirection::Inverse);
    setChecked(c_.direct, d.units == UnitDirection::Direct);
    setChecked(c_.fromDatabase, d.source == CurveSource::Database);
    setChecked(c_.fromFile, d.source == CurveSource::File);
    c_.fromFile->setEnabled(d.fileSourceEnabled);
    setChecked(c_.logX, d.logX);
    setChecked(c_.logY, d.logY);
    if (d.resultText != shownResult_) {
        shownResult_ = d.resultText;
        c_.result->setPlainText(q(text::replaceAll(shownResult_, "\r\n", "\n")));
    }
    // What the frame says beside the curve, for readers of the screen too.
    c_.plot->setAccessibleDescription(q(response::plotNote(d.plotInputs()).value_or("")));
    c_.plot->update();
}

} // namespace orv::gainbook::qt
