#include "mainwindowqt.h"

#include "connectiondialogqt.h"
#include "dateeditordialogqt.h"
#include "fileformatdialogqt.h"
#include "intervalchoicedialogqt.h"
#include "savesettingsqt.h"
#include "widgets.h"

#include "text/text.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace orv::gainbook::qt {

namespace {

QPushButton* button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setAutoDefault(false); // Enter presses no button of this window
    // A row of buttons is as high as its two-line ones.
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    b->setAccessibleName(oneLine(b->text()));
    return b;
}

QComboBox* dropDown(QWidget* parent, bool editable) {
    auto* box = new QComboBox(parent);
    box->setEditable(editable);
    if (editable)
        box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumContentsLength(10);
    return box;
}

QPlainTextEdit* textView(QWidget* parent, bool readOnly, const char* name) {
    auto* view = new QPlainTextEdit(parent);
    view->setReadOnly(readOnly);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setAccessibleName(QString::fromUtf8(name));
    // Tab moves on to the next control, as everywhere else in the window.
    view->setTabChangesFocus(true);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    view->setFont(mono);
    return view;
}

// The lists of the database panel and the fields of the file panel stand under the same
// labels; each control is named with its panel, so that every name in the window is its own.
QString inDatabase(const char* label) {
    return QString::fromUtf8(label) + QString::fromUtf8(" (в базе)");
}
QString fromFile(const char* label) {
    return QString::fromUtf8(label) + QString::fromUtf8(" (из файла)");
}

void setText(QLineEdit* edit, const std::string& text) {
    if (s(edit->text()) != text) {
        const QSignalBlocker block(edit);
        edit->setText(q(text));
    }
}

// Texts are held with "\r\n" line ends; the views show a line per "\r\n".
std::string viewText(const std::string& text) {
    return text::replaceAll(text, "\r\n", "\n");
}
std::string heldText(const QString& view) {
    return text::replaceAll(s(view), "\n", "\r\n");
}

void setText(QPlainTextEdit* edit, const std::string& text) {
    const std::string shown = viewText(text);
    if (s(edit->toPlainText()) != shown) {
        const QSignalBlocker block(edit);
        edit->setPlainText(q(shown));
    }
}

} // namespace

MainWindowDialog::MainWindowDialog(ui::Interaction& ui, ConnectionDialogRunner runner,
                                   std::filesystem::path currentDirectory,
                                   ini::SettingsFiles sharedSettings, FileFormatRunner formatRunner,
                                   QWidget* parent)
    : QDialog(parent), ui_(ui),
      logic_(ui,
             runner ? std::move(runner)
                    : ConnectionDialogRunner([this](const ConnectionSettings& initial) {
                          return runConnectionDialog(isVisible() ? this : nullptr, initial);
                      }),
             std::move(currentDirectory), std::move(sharedSettings)) {
    setWindowTitle(QStringLiteral("Gainbook"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("accessories-text-editor")));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);

    auto* layout = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    buildMenu(menu);
    layout->setMenuBar(menu);
    auto* panels = new QHBoxLayout;
    databasePanel_ = buildDatabasePanel();
    panels->addWidget(databasePanel_, 1);
    panels->addWidget(buildFilePanel(), 1);
    layout->addLayout(panels);

    logic_.formatDialog = formatRunner ? std::move(formatRunner) : fileFormatRunner(this);
    logic_.intervalDialog = intervalChoiceRunner(this);
    logic_.dateEditorDialog = dateEditorRunner(this);
    logic_.busyChanged = [this] {
        if (logic_.busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    };
    resize(1040, 720);
    sync();
}

MainWindowDialog::~MainWindowDialog() {
    // The frequency-response windows read this window's state: they go first.
    qDeleteAll(findChildren<ResponseCurveDialogQt*>(Qt::FindDirectChildrenOnly));
    qDeleteAll(findChildren<ArchiveCheckDialogQt*>(Qt::FindDirectChildrenOnly));
}

void MainWindowDialog::buildMenu(QMenuBar* menu) {
    QMenu* settings = menu->addMenu(QString::fromUtf8("&Настройка"));
    settings->addAction(QString::fromUtf8("&Подключение"), this, [this] { chooseConnection(); });
    menu->addAction(QString::fromUtf8("&Ачх"), this, [this] { openResponseCurve(); });
    menu->addAction(QString::fromUtf8("Проверка &архива"), this, [this] { openArchiveCheck(); });
    menu->addAction(QString::fromUtf8("В&ыход"), this,
                    [this] { QDialog::done(QDialog::Rejected); });
}

QWidget* MainWindowDialog::buildDatabasePanel() {
    auto* box = new QGroupBox(QString::fromUtf8("В БАЗЕ"), this);
    auto* grid = new QGridLayout(box);

    auto* view = new QGroupBox(QString::fromUtf8("Выбор формата просмотра (SAC или FAP)"), box);
    auto* viewRow = new QHBoxLayout(view);
    db_.sac = new QRadioButton(QStringLiteral("SAC"), view);
    db_.fap = new QRadioButton(QStringLiteral("FAP"), view);
    db_.sac->setAccessibleName(QStringLiteral("SAC"));
    db_.fap->setAccessibleName(QStringLiteral("FAP"));
    viewRow->addWidget(db_.sac);
    viewRow->addWidget(db_.fap);
    viewRow->addStretch();
    grid->addWidget(view, 0, 0, 1, 2);

    buildKeyLists(box, grid);

    db_.sens = new QLineEdit(box);
    db_.freq = new QLineEdit(box);
    db_.sens->setReadOnly(true);
    db_.freq->setReadOnly(true);
    db_.sensLabel = labelFor(QStringLiteral("SENS"), db_.sens, box);
    db_.freqLabel = labelFor(QStringLiteral("FREQ"), db_.freq, box);
    grid->addWidget(db_.sensLabel, 7, 0);
    grid->addWidget(db_.freqLabel, 7, 1);
    grid->addWidget(db_.sens, 8, 0);
    grid->addWidget(db_.freq, 8, 1);

    db_.storedText = textView(box, true, "Текст из базы");
    grid->addWidget(db_.storedText, 9, 0, 1, 2);
    grid->setRowStretch(9, 1);

    auto* buttons = new QHBoxLayout;
    db_.dateEditor = button("Вызов Date Editor", box);
    db_.writeToFile = button("ЗАПИСАТЬ\n  В ФАЙЛ", box);
    db_.writeStationXml = button("    В\nSTATIONXML", box);
    db_.deleteFromDatabase = button("УДАЛИТЬ\n ИЗ БАЗЫ", box);
    buttons->addWidget(db_.dateEditor);
    buttons->addWidget(db_.writeToFile);
    buttons->addWidget(db_.writeStationXml);
    buttons->addWidget(db_.deleteFromDatabase);
    grid->addLayout(buttons, 10, 0, 1, 2);

    connectDatabasePanel();
    return box;
}

// The lists that choose the key: network and station (in the order chosen), channel,
// location, interval (rows 1 to 6 of the panel).
void MainWindowDialog::buildKeyLists(QGroupBox* box, QGridLayout* grid) {
    db_.byNetwork = new QRadioButton(QString::fromUtf8("Сеть"), box);
    db_.byStation = new QRadioButton(QString::fromUtf8("Станция"), box);
    db_.byNetwork->setAccessibleName(QString::fromUtf8("Сеть первой"));
    db_.byStation->setAccessibleName(QString::fromUtf8("Станция первой"));
    auto* order = new QButtonGroup(box);
    order->addButton(db_.byNetwork);
    order->addButton(db_.byStation);
    db_.networks = dropDown(box, false);
    db_.stations = dropDown(box, false);
    db_.networks->setAccessibleName(inDatabase("Сеть"));
    db_.stations->setAccessibleName(inDatabase("Станция"));
    grid->addWidget(db_.byNetwork, 1, 0);
    grid->addWidget(db_.byStation, 1, 1);
    grid->addWidget(db_.networks, 2, 0);
    grid->addWidget(db_.stations, 2, 1);

    db_.channels = dropDown(box, false);
    db_.locations = dropDown(box, false);
    grid->addWidget(labelFor(QString::fromUtf8("Канал"), db_.channels, box, inDatabase("Канал")), 3,
                    0);
    grid->addWidget(
        labelFor(QString::fromUtf8("Расположение"), db_.locations, box, inDatabase("Расположение")),
        3, 1);
    grid->addWidget(db_.channels, 4, 0);
    grid->addWidget(db_.locations, 4, 1);

    db_.intervals = dropDown(box, true);
    grid->addWidget(labelFor(QString::fromUtf8("Время (гггг.мм.дд чч:мм:сс)"), db_.intervals, box,
                             inDatabase("Время")),
                    5, 0, 1, 2);
    grid->addWidget(db_.intervals, 6, 0, 1, 2);
}

// The database panel's controls bound to the browser and the window's actions.
void MainWindowDialog::connectDatabasePanel() {
    ResponseBrowser& b = logic_.browser;
    connect(db_.sac, &QRadioButton::clicked, this,
            [this, &b] { run([&b] { b.chooseView(true); }); });
    connect(db_.fap, &QRadioButton::clicked, this,
            [this, &b] { run([&b] { b.chooseView(false); }); });
    connect(db_.byNetwork, &QRadioButton::clicked, this,
            [this, &b] { run([&b] { b.chooseBrowseOrder(false); }); });
    connect(db_.byStation, &QRadioButton::clicked, this,
            [this, &b] { run([&b] { b.chooseBrowseOrder(true); }); });
    const auto bindList = [this, &b](QComboBox* combo, void (ResponseBrowser::*pick)(int)) {
        connect(combo, &QComboBox::activated, this,
                [this, &b, pick](int index) { run([&b, pick, index] { (b.*pick)(index); }); });
    };
    bindList(db_.networks, &ResponseBrowser::pickNetwork);
    bindList(db_.stations, &ResponseBrowser::pickStation);
    bindList(db_.channels, &ResponseBrowser::pickChannel);
    bindList(db_.locations, &ResponseBrowser::pickLocation);
    bindList(db_.intervals, &ResponseBrowser::pickInterval);
    const auto bindButton = [this](QPushButton* pushButton, void (MainWindow::*action)()) {
        connect(pushButton, &QPushButton::clicked, this, [this, action] {
            (logic_.*action)();
            sync();
        });
    };
    bindButton(db_.dateEditor, &MainWindow::openDateEditor);
    bindButton(db_.writeToFile, &MainWindow::writeStoredToFile);
    bindButton(db_.writeStationXml, &MainWindow::writeKeyAsStationXml);
    bindButton(db_.deleteFromDatabase, &MainWindow::deleteFromDatabase);
}

QWidget* MainWindowDialog::buildFilePanel() {
    auto* box = new QGroupBox(QString::fromUtf8("ИЗ ФАЙЛА "), this);
    auto* grid = new QGridLayout(box);

    file_.fileLabel = new QLabel(box);
    // Read by its text, the file's name; described by its role.
    file_.fileLabel->setAccessibleDescription(QString::fromUtf8("Загруженный файл"));
    file_.fileLabel->setVisible(false);
    // Its line is kept while it is hidden: loading a file moves no field of the panel.
    QSizePolicy keepLine = file_.fileLabel->sizePolicy();
    keepLine.setRetainSizeWhenHidden(true);
    file_.fileLabel->setSizePolicy(keepLine);
    file_.fileLabel->setMinimumHeight(file_.fileLabel->fontMetrics().height());
    grid->addWidget(file_.fileLabel, 0, 0, 1, 2);

    buildFileFields(box, grid);

    file_.text = textView(box, false, "Текст из файла");
    grid->addWidget(file_.text, 11, 0, 1, 2);
    grid->setRowStretch(11, 1);

    auto* buttons = new QHBoxLayout;
    file_.writeToDatabase = button("ЗАПИСАТЬ\n   В БАЗУ", box);
    file_.loadFromFile = button("ЗАГРУЗИТЬ\n ИЗ ФАЙЛА", box);
    buttons->addWidget(file_.writeToDatabase);
    buttons->addWidget(file_.loadFromFile);
    grid->addLayout(buttons, 12, 0, 1, 2);

    connectFilePanel();
    return box;
}

// The fields of the file panel: CALIB and FREQ with their units, the key and the interval
// (rows 1 to 10 of the panel).
void MainWindowDialog::buildFileFields(QGroupBox* box, QGridLayout* grid) {
    file_.calib = new QLineEdit(box);
    file_.calibUnits = dropDown(box, true);
    grid->addWidget(labelFor(QStringLiteral("CALIB"), file_.calib, box), 1, 0);
    grid->addWidget(labelFor(QStringLiteral("CALIB_UNITS (SENS_UNITS)"), file_.calibUnits, box), 1,
                    1);
    grid->addWidget(file_.calib, 2, 0);
    grid->addWidget(file_.calibUnits, 2, 1);

    file_.calper = new QLineEdit(box);
    file_.freqUnits = dropDown(box, true);
    grid->addWidget(labelFor(QStringLiteral("FREQ (CALPER)"), file_.calper, box), 3, 0);
    grid->addWidget(labelFor(QStringLiteral("FREQ_UNITS"), file_.freqUnits, box), 3, 1);
    grid->addWidget(file_.calper, 4, 0);
    grid->addWidget(file_.freqUnits, 4, 1);

    file_.network = new QLineEdit(box);
    file_.station = new QLineEdit(box);
    file_.channel = new QLineEdit(box);
    file_.location = new QLineEdit(box);
    grid->addWidget(labelFor(QString::fromUtf8("Сеть"), file_.network, box, fromFile("Сеть")), 5,
                    0);
    grid->addWidget(labelFor(QString::fromUtf8("Станция"), file_.station, box, fromFile("Станция")),
                    5, 1);
    grid->addWidget(file_.network, 6, 0);
    grid->addWidget(file_.station, 6, 1);
    grid->addWidget(labelFor(QString::fromUtf8("Канал"), file_.channel, box, fromFile("Канал")), 7,
                    0);
    grid->addWidget(
        labelFor(QString::fromUtf8("Расположение"), file_.location, box, fromFile("Расположение")),
        7, 1);
    grid->addWidget(file_.channel, 8, 0);
    grid->addWidget(file_.location, 8, 1);

    file_.time = new QLineEdit(box);
    grid->addWidget(labelFor(QString::fromUtf8("Время (гггг.мм.дд чч:мм:сс)"), file_.time, box,
                             fromFile("Время")),
                    9, 0, 1, 2);
    grid->addWidget(file_.time, 10, 0, 1, 2);
}

// The file panel's fields bound to the panel's state, its buttons to the window's actions.
void MainWindowDialog::connectFilePanel() {
    FilePanel& f = logic_.file;
    const auto bindEdit = [this](QLineEdit* edit, std::string& field) {
        connect(edit, &QLineEdit::textEdited, this, [&field](const QString& t) { field = s(t); });
    };
    bindEdit(file_.calib, f.calib);
    bindEdit(file_.calper, f.calper);
    bindEdit(file_.network, f.network);
    bindEdit(file_.station, f.station);
    bindEdit(file_.channel, f.channel);
    bindEdit(file_.location, f.location);
    bindEdit(file_.time, f.time);
    connect(file_.text, &QPlainTextEdit::textChanged, this,
            [this] { logic_.file.text = heldText(file_.text->toPlainText()); });
    connect(file_.calper, &QLineEdit::textEdited, this,
            [this] { run([this] { logic_.calperEdited(); }); });
    connect(file_.calibUnits, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { logic_.file.calibUnitText = s(t); });
    connect(file_.freqUnits, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { logic_.file.freqUnitText = s(t); });
    connect(file_.calibUnits, &QComboBox::activated, this, [this](int index) {
        logic_.file.calibUnits.selected = index;
        logic_.file.calibUnitText = logic_.file.calibUnits.selectedText();
        run([this] { logic_.calibUnitChanged(); });
    });
    connect(file_.freqUnits, &QComboBox::activated, this, [this](int index) {
        logic_.file.freqUnits.selected = index;
        logic_.file.freqUnitText = logic_.file.freqUnits.selectedText();
        run([this] { logic_.freqUnitChanged(); });
    });
    for (auto [b, action] : {std::pair{file_.loadFromFile, &MainWindow::loadFromFile},
                             std::pair{file_.writeToDatabase, &MainWindow::writeToDatabase}}) {
        connect(b, &QPushButton::clicked, this,
                [this, action = action] { run([this, action] { (logic_.*action)(); }); });
    }
}

void MainWindowDialog::sync() {
    setWindowTitle(q(logic_.title));
    const ResponseBrowser& d = logic_.browser;
    db_.sac->setChecked(d.viewSac);
    db_.fap->setChecked(!d.viewSac);
    db_.byStation->setChecked(d.browseByStation);
    db_.byNetwork->setChecked(!d.browseByStation);
    setEntries(db_.networks, d.networks.entries, d.networks.selected);
    setEntries(db_.stations, d.stations.entries, d.stations.selected);
    setEntries(db_.channels, d.channels.entries, d.channels.selected);
    setEntries(db_.locations, d.locations.entries, d.locations.selected);
    setEntries(db_.intervals, d.intervals.entries, d.intervals.selected);
    if (d.intervals.selected < 0) {
        const QSignalBlocker block(db_.intervals);
        db_.intervals->setEditText(QString());
    }
    db_.sensLabel->setText(q(d.sensLabel));
    db_.freqLabel->setText(q(d.freqLabel));
    setText(db_.sens, d.sensValue);
    setText(db_.freq, d.freqValue);
    setText(db_.storedText, d.storedText);
    // An empty view says what the record holds instead.
    db_.storedText->setPlaceholderText(q(d.storedTextNote));
    db_.storedText->setAccessibleDescription(q(d.storedTextNote));

    const FilePanel& f = logic_.file;
    file_.fileLabel->setText(q(f.fileLabel));
    file_.fileLabel->setVisible(f.fileLabelVisible);
    setText(file_.calib, f.calib);
    setEntries(file_.calibUnits, f.calibUnits.entries, f.calibUnits.selected);
    {
        const QSignalBlocker block(file_.calibUnits);
        file_.calibUnits->setEditText(q(f.calibUnitText));
    }
    setText(file_.calper, f.calper);
    setEntries(file_.freqUnits, f.freqUnits.entries, f.freqUnits.selected);
    {
        const QSignalBlocker block(file_.freqUnits);
        file_.freqUnits->setEditText(q(f.freqUnitText));
    }
    setText(file_.network, f.network);
    setText(file_.station, f.station);
    setText(file_.channel, f.channel);
    setText(file_.location, f.location);
    setText(file_.time, f.time);
    setText(file_.text, f.text);
    file_.writeToDatabase->setEnabled(f.writeEnabled);
    emit shown();
}

ResponseCurveDialogQt* MainWindowDialog::openResponseCurve() {
    auto* dialog = new ResponseCurveDialogQt(logic_, ui_, this);
    connect(this, &MainWindowDialog::shown, dialog, &ResponseCurveDialogQt::refresh);
    responseCurve_ = dialog;
    // Beside the main window, else where it covers none of its buttons, not centred over it.
    if (const QScreen* screen = this->screen()) {
        const QRect m = frameGeometry();
        const QRect s = screen->availableGeometry();
        const QSize least = dialog->minimumSizeHint();
        const ScreenRect at =
            placeBesideMainWindow({m.x(), m.y(), m.width(), m.height()}, dialog->width(),
                                  dialog->height(), {s.x(), s.y(), s.width(), s.height()},
                                  buttonRects(), {0, 0, least.width(), least.height()});
        dialog->resize(at.width, at.height);
        dialog->move(at.x, at.y);
    }
    dialog->show();
    return dialog;
}

ArchiveCheckDialogQt* MainWindowDialog::openArchiveCheck() {
    if (!archiveCheck_) {
        archiveCheck_ = new ArchiveCheckDialogQt(logic_, ui_, this);
        connect(this, &MainWindowDialog::shown, archiveCheck_, &ArchiveCheckDialogQt::refresh);
        connect(archiveCheck_, &ArchiveCheckDialogQt::panelChanged, this, &MainWindowDialog::sync);
    }
    // Where it leaves the database panel uncovered: the chosen line is shown there.
    if (const QScreen* screen = this->screen(); screen && !archiveCheck_->isVisible()) {
        const QRect m = frameGeometry();
        const QRect s = screen->availableGeometry();
        const QRect p(databasePanel_->mapToGlobal(QPoint(0, 0)), databasePanel_->size());
        const QSize least = archiveCheck_->minimumSizeHint();
        const ScreenRect at = placeBesideMainWindow(
            {m.x(), m.y(), m.width(), m.height()}, archiveCheck_->width(), archiveCheck_->height(),
            {s.x(), s.y(), s.width(), s.height()}, {{p.x(), p.y(), p.width(), p.height()}},
            {0, 0, least.width(), least.height()});
        archiveCheck_->resize(at.width, at.height);
        archiveCheck_->move(at.x, at.y);
    }
    archiveCheck_->show();
    archiveCheck_->raise();
    archiveCheck_->activateWindow();
    return archiveCheck_;
}

std::vector<ScreenRect> MainWindowDialog::buttonRects() const {
    std::vector<ScreenRect> rects;
    const auto add = [&rects](const QRect& r) {
        rects.push_back({r.x(), r.y(), r.width(), r.height()});
    };
    // The window's own, not those of the windows it owns.
    for (const QPushButton* b : findChildren<QPushButton*>())
        if (b->window() == this && b->isVisibleTo(this))
            add(QRect(b->mapToGlobal(QPoint(0, 0)), b->size()));
    for (const QMenuBar* bar : findChildren<QMenuBar*>())
        for (QAction* action : bar->actions())
            add(bar->actionGeometry(action).translated(bar->mapToGlobal(QPoint(0, 0))));
    return rects;
}

void MainWindowDialog::run(const std::function<void()>& handler) {
    handler();
    sync();
}

void MainWindowDialog::startUp(const std::vector<std::string>& arguments) {
    logic_.startUp(arguments);
    sync();
}

void MainWindowDialog::chooseConnection() {
    logic_.chooseConnection();
    sync();
}

void MainWindowDialog::finish() {
    // The frequency-response windows and their preview go before the question.
    for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isWindow() && w->isVisible())
            w->close();
    SaveSettingsDialog save = logic_.close(std::filesystem::current_path());
    if (save.closesAtOnce())
        return;
    SaveSettingsDialogQt dialog(save, isVisible() ? this : nullptr);
    dialog.exec();
}

void MainWindowDialog::accept() {}

void MainWindowDialog::reject() {
    if (logic_.acceptsCancel())
        QDialog::reject();
}

void MainWindowDialog::closeEvent(QCloseEvent* event) {
    // The close box arrives as a system command first.
    logic_.systemCommand();
    QDialog::closeEvent(event);
}

void MainWindowDialog::moveEvent(QMoveEvent* event) {
    if (event->spontaneous() && isVisible())
        logic_.systemCommand();
    QDialog::moveEvent(event);
}

void MainWindowDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && event->spontaneous())
        logic_.systemCommand();
    QDialog::changeEvent(event);
}

} // namespace orv::gainbook::qt
