// The windows under the offscreen platform: every control there and named, the unit
// lists shown, the close rules, the frequency-response window with its preview and
// printing, and screenshots.
#include "../db/tests/responsetables.h"
#include "connectiondialogqt.h"
#include "datasourceeditorqt.h"
#include "dateeditordialogqt.h"
#include "fileformatdialogqt.h"
#include "intervalchoicedialogqt.h"
#include "mainwindowqt.h"
#include "responsepreviewqt.h"
#include "savesettingsqt.h"

#include "testdb.h"
#include "text/text.h"
#include "ui/qtapplication.h"
#include "ui/qtinteraction.h"
#include "ui/scripted.h"
#include "unwritablefolder.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <tuple>

using namespace orv;
using namespace orv::gainbook;
using namespace orv::gainbook::qt;
using orv::test::Backend;
using orv::test::TempDir;
using orv::test::TestDatabase;
using orv::ui::ScriptedInteraction;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "gainbook_qt_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = [] {
        auto* created = new QApplication(argc, argv);
        orv::ui::setUpApplication(*created); // as the program does
        return created;
    }();
    return *a;
}

// Every label names a control, and every other control carries a name of its own, one
// that no other control of the window has and that screen readers get also when it holds a
// value; Tab leaves every text view.
void expectAccessible(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->accessibleDescription().isEmpty())
            continue; // a text of its own, as the name of the loaded file
        if (label->parent() && label->parent()->inherits("QMessageBox"))
            continue;
        EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
    }
    std::map<QString, std::string> named;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
            qobject_cast<QListWidget*>(w) || qobject_cast<QTableWidget*>(w)) {
            if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
                continue; // the edit field inside an editable combo box
            if (w->inherits("QTableCornerButton") || w->objectName().startsWith("qt_"))
                continue;
            if (auto* view = qobject_cast<QPlainTextEdit*>(w)) {
                EXPECT_TRUE(view->tabChangesFocus()) << view->accessibleName().toStdString();
            }
            const QString name = w->accessibleName();
            EXPECT_FALSE(name.isEmpty()) << w->metaObject()->className();
            EXPECT_EQ(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), name)
                << w->metaObject()->className();
            const auto [it, own] = named.emplace(name, w->metaObject()->className());
            EXPECT_TRUE(own) << name.toStdString() << " names a " << it->second << " and a "
                             << w->metaObject()->className();
        }
    }
}

// Every shown control lies inside the window and every label and button shows its text
// whole.
void expectFits(QWidget* window) {
    const QRect inside = window->rect();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->isWindow())
            continue;
        const QString what = QString::fromUtf8(w->metaObject()->className()) + " " +
                             w->accessibleName() + " " + w->property("text").toString();
        EXPECT_TRUE(inside.contains(QRect(w->mapTo(window, QPoint(0, 0)), w->size())))
            << what.toStdString();
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << what.toStdString();
        }
    }
}

std::string artefact(const char* name) {
    const char* dir = std::getenv("ORV_TEST_ARTEFACTS");
    return dir && *dir ? std::string(dir) + "/" + name : std::string();
}

} // namespace

TEST(MainWindowQt, ShowsBothPanelsWithTheUnitListsAndFitsA1280x800Screen) {
    app();
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    TempDir dir;
    ScriptedInteraction ui;
    MainWindowDialog window(
        ui, [](const ConnectionSettings&) { return std::nullopt; }, dir.path(), dir / "ORV.ini",
        [](FileFormatDialog& d) { return d.result(); });
    window.startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ", "KUR:BHZ:00"});
    ASSERT_TRUE(window.logic().connected());
    window.show();
    QApplication::processEvents();

    EXPECT_EQ(window.windowTitle().toStdString(),
              "Gainbook   Источник данных: " + text::toUpper(db.dsn()) + ", Пользователь: ORV");
    const auto& f = window.fileControls();
    EXPECT_EQ(f.calibUnits->currentText().toStdString(), "nm/counts*sec");
    EXPECT_EQ(f.calibUnits->count(), 3);
    EXPECT_EQ(f.freqUnits->currentText().toStdString(), "Hz");
    EXPECT_EQ(f.calper->text().toStdString(), "1.0");
    EXPECT_FALSE(f.writeToDatabase->isEnabled());
    EXPECT_FALSE(f.fileLabel->isVisible());
    const auto& d = window.databaseControls();
    EXPECT_TRUE(d.sac->isChecked());
    EXPECT_TRUE(d.byStation->isChecked());
    EXPECT_FALSE(d.byNetwork->isChecked());
    EXPECT_TRUE(d.storedText->isReadOnly());
    EXPECT_FALSE(f.text->isReadOnly());

    // Both panels filled: a stored response, and a file loaded with its key typed.
    db.exec("INSERT INTO CALIBRATION (NETWORK,LOCATION,STA,CHAN,STARTDATE,ENDDATE,SENS,ID_SENS,"
            "FREQ,ID_FREQ,SAC) VALUES ('KZ','00','KARC','BHZ',{ts '2003-01-01 00:00:00'},"
            "{ts '2005-01-01 00:00:00'},0.5,1,1,0,'ZEROS 3|POLES 2|CONSTANT 1.0|')");
    window.logic().fillDatabasePanel();
    window.sync();
    // Loading a file shows its name on a line kept for it: no field of the panel moves.
    const auto places = [&f, &window] {
        std::vector<QPoint> at;
        for (QWidget* w : std::initializer_list<QWidget*>{f.calib, f.calper, f.network, f.time,
                                                          f.text, f.loadFromFile})
            at.push_back(w->mapTo(&window, QPoint(0, 0)));
        return at;
    };
    const std::vector<QPoint> unloaded = places();
    ui.chooseFile(std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ");
    f.loadFromFile->click();
    QApplication::processEvents();
    EXPECT_TRUE(f.fileLabel->isVisible());
    EXPECT_EQ(places(), unloaded);
    for (auto [edit, typed] : {std::pair{f.network, "KZ"}, std::pair{f.station, "KARC"},
                               std::pair{f.channel, "BHZ"}, std::pair{f.location, "00"}})
        QTest::keyClicks(edit, typed);
    EXPECT_EQ(window.logic().file.station, "KARC");

    // A 1280x800 screen takes the whole window, every label and button whole.
    EXPECT_LE(window.minimumSizeHint().width(), 1280);
    EXPECT_LE(window.minimumSizeHint().height(), 800);
    EXPECT_LE(window.width(), 1280);
    EXPECT_LE(window.height(), 800);
    window.resize(1280, 800);
    QApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(1280, 800));
    expectFits(&window);
    expectAccessible(&window);
    const std::string shot = artefact("gainbook-main-window.png");
    if (!shot.empty()) {
        EXPECT_TRUE(window.grab().save(QString::fromStdString(shot)));
    }

    // Tab leaves a text view for the next control and types nothing into the text.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (auto [view, next] : {std::pair<QPlainTextEdit*, QWidget*>{f.text, f.writeToDatabase},
                              std::pair<QPlainTextEdit*, QWidget*>{d.storedText, d.dateEditor}}) {
        view->setFocus();
        const QString before = view->toPlainText();
        QTest::keyClick(view, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << view->accessibleName().toStdString();
        EXPECT_EQ(view->toPlainText(), before);
    }

    // The text view shows a line per "\r\n" and gives typed lines back with "\r\n".
    window.logic().file.text = "ZEROS 0\r\nPOLES 0\r\n";
    window.sync();
    EXPECT_EQ(f.text->toPlainText().toStdString(), "ZEROS 0\nPOLES 0\n");
    f.text->moveCursor(QTextCursor::End);
    QTest::keyClicks(f.text, "CONSTANT 1");
    QTest::keyClick(f.text, Qt::Key_Return);
    EXPECT_EQ(window.logic().file.text, "ZEROS 0\r\nPOLES 0\r\nCONSTANT 1\r\n");
    d.fap->click();
    EXPECT_FALSE(window.logic().browser.viewSac);
    // The record holds no FAP text: the empty view says so.
    EXPECT_EQ(d.storedText->placeholderText().toStdString(),
              "У этой записи нет текста FAP, есть только текст SAC: выберите просмотр SAC.");
    f.calibUnits->setCurrentIndex(0);
    emit f.calibUnits->activated(0);
    EXPECT_EQ(window.logic().file.calibUnitText, "nm/counts");
    EXPECT_EQ(window.logic().file.calibUnits.selected, 0);
    EXPECT_EQ(f.calibUnits->currentText().toStdString(), "nm/counts"); // kept after sync

    // The wait cursor while a long operation runs.
    window.logic().setBusy(true);
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    window.logic().setBusy(false);
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

    // Enter is ignored; Escape closes only after a system command.
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible());
    window.close(); // the close box
    EXPECT_FALSE(window.isVisible());
    window.finish(); // started from the command line: nothing offered
    EXPECT_FALSE(window.logic().connected());
}

class MainRoadQt : public testing::TestWithParam<Backend> {};

// One whole road through the real window: a pole-zero file loaded, its key typed, written,
// and shown selected in the database panel; then an older interval of the same key
// written through the interval dialog.
TEST_P(MainRoadQt, LoadsWritesAndShowsTheResponse) {
    app();
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    TempDir dir;
    ScriptedInteraction ui;
    int formatQuestions = 0;
    MainWindowDialog window(
        ui, [](const ConnectionSettings&) { return std::nullopt; }, dir.path(), dir / "ORV.ini",
        [&](FileFormatDialog& d) -> std::optional<formats::LoadedFileKind> {
            ++formatQuestions;
            return d.result(); // "SAC", preselected
        });
    window.startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
    ASSERT_TRUE(window.logic().connected());
    window.show();
    QApplication::processEvents();
    ui.clear();
    const auto& f = window.fileControls();
    const auto& d = window.databaseControls();

    ui.chooseFile(std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ");
    f.loadFromFile->click();
    EXPECT_EQ(formatQuestions, 1);
    EXPECT_TRUE(f.fileLabel->isVisible());
    EXPECT_EQ(f.fileLabel->text().toStdString(), "  obspy_SAC_PZs_KARC_BHZ (SAC)");
    EXPECT_TRUE(f.writeToDatabase->isEnabled());
    EXPECT_TRUE(f.text->toPlainText().startsWith(QStringLiteral("ZEROS 4\n-999.0260  0.0000\n")));
    const std::string calib = f.calib->text().toStdString();
    ASSERT_FALSE(calib.empty());
    EXPECT_EQ(window.logic().file.text.rfind("ZEROS 4\r\n", 0), 0u);

    QTest::keyClicks(f.network, "KZ");
    QTest::keyClicks(f.station, "KARC");
    QTest::keyClicks(f.channel, "BHZ");
    QTest::keyClicks(f.location, "00");
    f.time->selectAll();
    QTest::keyClicks(f.time, "2005.01.01 00:00:00");
    f.writeToDatabase->click();
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Запись прошла успешно!"});
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);

    EXPECT_EQ(d.stations->currentText().toStdString(), "KARC");
    EXPECT_EQ(d.networks->currentText().toStdString(), "KZ");
    EXPECT_EQ(d.channels->currentText().toStdString(), "BHZ");
    EXPECT_EQ(d.locations->currentText().toStdString(), "00");
    EXPECT_EQ(d.intervals->currentText().toStdString(), "2005.01.01 00:00:00");
    EXPECT_EQ(d.sens->text().toStdString(), text::format("%lg", 1e9 / text::toDouble(calib)));
    EXPECT_EQ(d.freq->text().toStdString(), "1");
    EXPECT_EQ(d.sensLabel->text().toStdString(), "SENS (counts*sec/m)");
    EXPECT_EQ(d.freqLabel->text().toStdString(), "FREQ (Hz)");
    EXPECT_TRUE(d.storedText->toPlainText().startsWith(
        QStringLiteral("ZEROS 4\n-999.0260  0.0000\nPOLES 6\n")));

    const std::string shot = artefact(
        ("gainbook-main-road-" + orv::text::toLower(orv::test::backendName(GetParam())) + ".png")
            .c_str());
    if (!shot.empty()) {
        EXPECT_TRUE(window.grab().save(QString::fromStdString(shot)));
    }

    // An older closed interval: the interval dialog lists the stored one and writes.
    ui.clear();
    f.time->selectAll();
    QTest::keyClicks(f.time, "2001.01.01 00:00:00 / 2002.01.01 00:00:00");
    std::vector<std::string> listed;
    std::string start;
    bool dialogSeen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<IntervalChoiceDialogQt*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialogSeen = true;
        for (int i = 0; i < dialog->intervals()->count(); ++i)
            listed.push_back(dialog->intervals()->item(i)->text().toStdString());
        start = dialog->startDate()->text().toStdString();
        expectAccessible(dialog);
        dialog->writeButton()->click();
    });
    f.writeToDatabase->click();
    ASSERT_TRUE(dialogSeen);
    EXPECT_EQ(listed, std::vector<std::string>{"2005.01.01 00:00:00 / до настоящего времени"});
    EXPECT_EQ(start, "2001.01.01 00:00:00");
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Запись прошла успешно!"});
    EXPECT_EQ(d.intervals->count(), 2);
    EXPECT_EQ(d.intervals->currentText().toStdString(),
              "2001.01.01 00:00:00 / 2002.01.01 00:00:00");

    // Choosing a listed interval puts its dates into the edits; a start that is not a date
    // keeps the dialog open to correct it; "Отмена" writes nothing.
    ui.clear();
    f.time->selectAll();
    QTest::keyClicks(f.time, "2009.01.01 00:00:00");
    std::string chosenStart, chosenEnd;
    bool keptOpen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<IntervalChoiceDialogQt*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->intervals()->setCurrentRow(1);
        chosenStart = dialog->startDate()->text().toStdString();
        chosenEnd = dialog->endDate()->text().toStdString();
        dialog->startDate()->selectAll();
        QTest::keyClicks(dialog->startDate(), "2001.02.30 00:00:00");
        dialog->writeButton()->click();
        keptOpen = dialog->isVisible();
        dialog->reject();
    });
    f.writeToDatabase->click();
    EXPECT_EQ(chosenStart, "2001.01.01 00:00:00");
    EXPECT_EQ(chosenEnd, "2002.01.01 00:00:00");
    EXPECT_TRUE(keptOpen);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_TRUE(ui.messages()[0].text.starts_with("STARTDATE: "));
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION"), "2");
    EXPECT_EQ(d.intervals->currentIndex(), 1);

    // Picking the newer interval by hand shows it; "FAP" shows its (empty) FAP text.
    d.intervals->setCurrentIndex(0);
    emit d.intervals->activated(0);
    EXPECT_EQ(window.logic().browser.intervals.selected, 0);
    EXPECT_FALSE(d.storedText->toPlainText().isEmpty());
    d.fap->click();
    EXPECT_TRUE(d.storedText->toPlainText().isEmpty());
    EXPECT_EQ(d.freq->text().toStdString(), "1");
    window.close();
    window.finish();
}

INSTANTIATE_TEST_SUITE_P(Backends, MainRoadQt, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

// The check window through its widgets: opened from the menu on the panel's station, the
// whole archive checked, the lines sorted by a click on a header, and a chosen line shown
// in the database panel.
TEST(ArchiveCheckQt, ChecksSortsAndShowsTheChosenLineInThePanel) {
    app();
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    db.createSiteTable();
    db.createSiteChanTable("EDEPTH");
    gainbook::test::createResponseTables(db);
    const std::string sac = "ZEROS 1\r\nPOLES 1\r\n-6.283185307179586 0\r\nCONSTANT 1000\r\n";
    for (const char* sta : {"ABC", "KIV"}) {
        db.exec(std::string("INSERT INTO SITE(STA,LAT,LON,ELEV) VALUES('") + sta + "',50,70,1)");
        db.exec(std::string("INSERT INTO SITECHAN(STA,CHAN,NGROUP,SPS,LCODE) VALUES('") + sta +
                "','BHZ',1,20,'00')");
    }
    // ABC: a pole in the right half plane; KIV: two intervals that overlap, the second
    // with a SENS its text does not give.
    gainbook::test::insertResponse(db, "KZ", "ABC", "BHZ", "00", "2000-01-01 00:00:00", "",
                                   text::replaceAll(sac, "\n-6", "\n6"), "", 112.5395, 1);
    gainbook::test::insertResponse(db, "KZ", "KIV", "BHZ", "00", "2001-01-01 00:00:00",
                                   "2003-01-01 00:00:00", sac, "", 112.5395, 1);
    gainbook::test::insertResponse(db, "KZ", "KIV", "BHZ", "00", "2002-01-01 00:00:00", "", sac, "",
                                   5.0, 1);
    TempDir dir;
    ScriptedInteraction ui;
    MainWindowDialog window(
        ui, [](const ConnectionSettings&) { return std::nullopt; }, dir.path(), dir / "ORV.ini");
    window.startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
    ASSERT_TRUE(window.logic().connected());
    window.show();
    QApplication::processEvents();
    ui.clear();

    QAction* entry = nullptr;
    for (QAction* a : window.findChild<QMenuBar*>()->actions())
        if (a->text() == QString::fromUtf8("Проверка &архива"))
            entry = a;
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    auto* check = window.findChild<ArchiveCheckDialogQt*>();
    ASSERT_NE(check, nullptr);
    EXPECT_TRUE(check->isVisible());
    const auto& c = check->controls();
    EXPECT_TRUE(c.station->isChecked());
    EXPECT_EQ(c.station->text().toStdString(), "Станция ABC");
    c.check->click();
    ASSERT_EQ(c.findings->rowCount(), 1);
    EXPECT_EQ(c.findings->item(0, 1)->text().toStdString(), "pz-unstable");

    c.archive->click();
    c.check->click(); // the question is answered Yes
    EXPECT_EQ(ui.messages().size(), 1u);
    ASSERT_EQ(c.findings->rowCount(), 3);
    c.findings->horizontalHeader()->sectionClicked(1);
    std::vector<std::string> rules;
    for (int row = 0; row < 3; ++row)
        rules.push_back(c.findings->item(row, 1)->text().toStdString());
    EXPECT_EQ(rules, (std::vector<std::string>{"epoch-overlap", "pz-unstable", "sens-text"}));
    EXPECT_TRUE(c.findings->horizontalHeader()->isSortIndicatorShown());

    c.findings->selectRow(2);
    const auto& d = window.databaseControls();
    EXPECT_EQ(d.stations->currentText().toStdString(), "KIV");
    EXPECT_EQ(d.intervals->currentText().toStdString(), "2002.01.01 00:00:00");
    EXPECT_EQ(d.sens->text().toStdString(), "5");
    EXPECT_EQ(c.chosen->text().toStdString().rfind("KZ.KIV.00.BHZ с 2002.01.01 00:00:00: ", 0), 0u);
    window.close();
    window.finish();
}

class HistoryRoadQt : public testing::TestWithParam<Backend> {};

// The stored history changed through the real window: an interval re-dated in the date
// editor shows in the panel at once; a deleted record leaves the nearest key shown.
TEST_P(HistoryRoadQt, ReDatedInTheDateEditorThenDeleted) {
    app();
    TestDatabase db(GetParam());
    ORV_SKIP_IF_UNAVAILABLE(db);
    TempDir dir;
    ScriptedInteraction ui;
    MainWindowDialog window(
        ui, [](const ConnectionSettings&) { return std::nullopt; }, dir.path(), dir / "ORV.ini");
    window.startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
    ASSERT_TRUE(window.logic().connected());
    for (auto [chan, start, end] : {std::tuple{"BHZ", "2001-01-01 00:00:00", "2003-01-01 00:00:00"},
                                    std::tuple{"BHZ", "2003-01-01 00:00:00", ""},
                                    std::tuple{"SHZ", "2004-01-01 00:00:00", ""}})
        gainbook::test::insertResponse(db, "KZ", "KIV", chan, "00", start, end);
    window.logic().fillDatabasePanel();
    window.sync();
    window.show();
    QApplication::processEvents();
    ui.clear();
    const auto& d = window.databaseControls();
    ASSERT_EQ(d.intervals->currentText().toStdString(), "2003.01.01 00:00:00");

    std::vector<std::string> listed;
    std::string start, end;
    QTimer::singleShot(0, [&] {
        auto* editor = qobject_cast<DateEditorDialogQt*>(QApplication::activeModalWidget());
        if (!editor)
            return;
        const auto& c = editor->controls();
        EXPECT_EQ(editor->windowTitle().toStdString(), "Редактор времени");
        EXPECT_EQ(
            c.stations->currentText().toStdString() + c.networks->currentText().toStdString() +
                c.channels->currentText().toStdString() + c.locations->currentText().toStdString(),
            "KIVKZBHZ00");
        for (int i = 0; i < c.intervals->count(); ++i)
            listed.push_back(c.intervals->item(i)->text().toStdString());
        c.intervals->setCurrentRow(1);
        start = c.newStart->text().toStdString();
        end = c.newEnd->text().toStdString();
        c.newStart->selectAll();
        QTest::keyClicks(c.newStart, "2003.06.01 00:00:00");
        QTest::keyClick(c.newStart, Qt::Key_Return);
        EXPECT_TRUE(editor->isVisible()) << "Enter closed the dialog";
        c.apply->click();
        expectAccessible(editor);
        const std::string shot = artefact("gainbook-date-editor.png");
        if (!shot.empty()) {
            EXPECT_TRUE(editor->grab().save(QString::fromStdString(shot)));
        }
        c.ok->click();
    });
    d.dateEditor->click();
    EXPECT_EQ(listed, (std::vector<std::string>{"2001.01.01 00:00:00 / 2003.01.01 00:00:00",
                                                "2003.01.01 00:00:00 / до настоящего времени"}));
    EXPECT_EQ(start + "|" + end, "2003.01.01 00:00:00|");
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Дата изменена!"});
    EXPECT_EQ(d.intervals->currentText().toStdString(), "2003.06.01 00:00:00");

    // The open interval deleted: the older one is shown, still closed.
    ui.clear();
    d.deleteFromDatabase->click();
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Вы хотите удалить запись полностью?\nСеть KZ, станция "
                                        "KIV, канал BHZ, локация 00, интервал 2003.06.01 00:00:00",
                                        "Запись успешно удалена!"}));
    EXPECT_EQ(d.intervals->count(), 1);
    EXPECT_EQ(d.intervals->currentText().toStdString(),
              "2001.01.01 00:00:00 / 2003.01.01 00:00:00");
    // The only interval of SHZ deleted: the nearest key left, BHZ, is shown.
    d.channels->setCurrentIndex(1);
    emit d.channels->activated(1);
    ASSERT_EQ(d.channels->currentText().toStdString(), "SHZ");
    d.deleteFromDatabase->click();
    EXPECT_EQ(d.channels->count(), 1);
    EXPECT_EQ(d.channels->currentText().toStdString(), "BHZ");
    EXPECT_EQ(d.intervals->currentText().toStdString(),
              "2001.01.01 00:00:00 / 2003.01.01 00:00:00");
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    window.close();
    window.finish();
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryRoadQt, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(FileFormatDialogQt, ShowsTheChoiceOfItsLogic) {
    app();
    FileFormatDialog any;
    FileFormatDialogQt dialog(any, nullptr);
    EXPECT_TRUE(dialog.sac()->isChecked());
    dialog.fapGse2()->click();
    EXPECT_EQ(any.result(), formats::LoadedFileKind::FapGse2);
    expectAccessible(&dialog);

    FileFormatDialog fapOnly(true);
    FileFormatDialogQt second(fapOnly, nullptr);
    second.show();
    EXPECT_FALSE(second.sac()->isVisible());
    EXPECT_TRUE(second.fapOrv()->isChecked());
}

TEST(ConnectionDialogQt, HidesThePasswordAndNamesEveryControl) {
    app();
    TestDatabase db(Backend::SQLite);
    ORV_SKIP_IF_UNAVAILABLE(db);
    ConnectionDialogQt dialog({db.dsn(), "ORV", "KTZ"}, nullptr);
    EXPECT_EQ(dialog.password()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.password()->text().toStdString(), "KTZ");
    EXPECT_EQ(dialog.dataSources()->currentText().toStdString(), db.dsn() + " (System DSN)");
    expectAccessible(&dialog);
    dialog.show();
    QApplication::processEvents();
    const std::string shot = artefact("gainbook-connection-dialog.png");
    if (!shot.empty())
        dialog.grab().save(QString::fromStdString(shot));
}

TEST(DataSourceEditorQt, SavesASourceFromItsFields) {
    app();
    orv::test::odbcIniDir();
    TempDir dir;
    DataSourceEditorDialog editor(nullptr);
    expectAccessible(&editor);
    editor.showDefinition(DataSourceDefinition{
        "GB_QT_EDITED", false, "SQLite3", {{"Database", (dir / "q.db").string()}}});
    ASSERT_TRUE(editor.save());
    const auto read = readDataSource("GB_QT_EDITED", false);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->attributes.size(), 1u);
    EXPECT_GE(editor.sources()->currentRow(), 0);

    // Saved under another name and as a system source: the old one is gone.
    editor.name()->setText(QStringLiteral("GB_QT_RENAMED"));
    editor.system()->setChecked(true);
    ASSERT_TRUE(editor.save());
    EXPECT_FALSE(readDataSource("GB_QT_EDITED", false));
    ASSERT_TRUE(readDataSource("GB_QT_RENAMED", true));
    EXPECT_EQ(editor.sources()->currentItem()->text().toStdString(), "GB_QT_RENAMED (System DSN)");
    std::string error;
    EXPECT_TRUE(removeDataSource("GB_QT_RENAMED", true, error));
}

TEST(SaveSettingsDialogQt, ShowsTheChoicesOfItsLogic) {
    app();
    TempDir dir;
    SaveSettingsDialog fromLocal({"PG", "U", "P"}, SettingsSource::LocalFile, "ORV", dir.path(),
                                 dir / "ORV.ini");
    SaveSettingsDialogQt local(fromLocal, nullptr);
    EXPECT_TRUE(local.local()->isChecked());
    EXPECT_FALSE(local.system()->isChecked());
    EXPECT_FALSE(local.system()->isEnabled());
    expectAccessible(&local);

    SaveSettingsDialog fromSystem({"PG", "U", "P"}, SettingsSource::SystemFile, "ORV", dir.path(),
                                  dir / "ORV.ini");
    SaveSettingsDialogQt system(fromSystem, nullptr);
    EXPECT_TRUE(system.system()->isEnabled());
    system.system()->click();
    system.accept();
    EXPECT_EQ(readConnectionSettings(dir / "ORV.ini").dataSource, "PG");
}

TEST(RussianDesktop, StandardButtonsOfQuestionsReadInRussian) {
    orv::ui::installRussianTranslation(app());
    QMessageBox box(QMessageBox::Question, QStringLiteral("Gainbook"),
                    QString::fromUtf8("В базе данных отсутствует таблица SITECHAN.\r\nСоздать?"),
                    QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&').toStdString(), "Да");
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&').toStdString(), "Нет");
    box.show();
    QApplication::processEvents();
    const std::string shot = artefact("gainbook-question.png");
    if (!shot.empty()) {
        EXPECT_TRUE(box.grab().save(QString::fromStdString(shot)));
    }
}

namespace {

QAction* menuAction(QWidget* window, const char* text) {
    for (QMenuBar* bar : window->findChildren<QMenuBar*>())
        for (QAction* a : bar->actions())
            if (a->text() == QString::fromUtf8(text))
                return a;
    return nullptr;
}

int redPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            n += qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80;
        }
    return n;
}

std::string pdfText(const std::filesystem::path& pdf) {
    const std::filesystem::path txt = pdf.string() + ".txt";
    if (std::system(("pdftotext '" + pdf.string() + "' '" + txt.string() + "'").c_str()) != 0)
        return "pdftotext (poppler-utils) failed";
    std::ifstream in(txt);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// The road an operator takes: a pole-zero file loaded, "&Ачх" opened on the file panel's
// text, computed, then acceleration and a linear amplitude axis chosen.
TEST(ResponseCurveQt, ComputesTheLoadedFileAndRedrawsOnEveryChoice) {
    app();
    TempDir dir;
    ScriptedInteraction ui;
    MainWindowDialog window(
        ui, [](const ConnectionSettings&) { return std::nullopt; }, dir.path(), dir / "ORV.ini",
        [](FileFormatDialog& d) { return d.result(); });
    window.show();
    ui.chooseFile(std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ");
    window.fileControls().loadFromFile->click();
    QTest::keyClicks(window.fileControls().station, "KARC");

    QAction* afr = menuAction(&window, "&Ачх");
    ASSERT_TRUE(afr);
    afr->trigger();
    ResponseCurveDialogQt* dialog = window.responseCurve();
    ASSERT_TRUE(dialog);
    QApplication::processEvents();
    const auto& c = dialog->controls();
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Амплитудно-частотная характеристика");
    EXPECT_EQ(c.low->text().toStdString() + " " + c.high->text().toStdString() + " " +
                  c.points->text().toStdString(),
              "0.001 20 300");
    EXPECT_TRUE(c.velocity->isChecked() && c.direct->isChecked() && c.fromDatabase->isChecked());
    EXPECT_TRUE(c.logX->isChecked() && c.logY->isChecked());
    EXPECT_EQ(c.direct->text().toStdString(), "counts*sec/nm");
    EXPECT_EQ(c.fullScreen->text().toStdString(), "ПОЛНЫЙ\n  ЭКРАН");
    EXPECT_EQ(c.compute->text().toStdString(), "РАССЧЕТ \n    АЧХ");
    EXPECT_EQ(c.writeToFile->text().toStdString(), "ЗАПИСЬ\nВ ФАЙЛ");
    EXPECT_TRUE(c.fromFile->isEnabled());
    EXPECT_TRUE(c.result->toPlainText().isEmpty()); // the database panel shows nothing
    expectAccessible(dialog);

    c.fromFile->click();
    c.compute->click();
    const QString velocity = c.result->toPlainText();
    EXPECT_EQ(velocity.count('\n'), 1234);
    const QImage velocityPlot = c.plot->grab().toImage();
    EXPECT_GT(redPixels(velocityPlot), 500);

    c.acceleration->click();
    EXPECT_EQ(c.direct->text().toStdString(), "counts*sec**2/nm");
    const QString acceleration = c.result->toPlainText();
    EXPECT_NE(acceleration, velocity);
    EXPECT_EQ(acceleration.count('\n'), 1234);
    const QImage accelerationPlot = c.plot->grab().toImage();
    EXPECT_NE(accelerationPlot, velocityPlot);
    c.logY->click();
    EXPECT_FALSE(dialog->logic().logY);
    EXPECT_NE(c.plot->grab().toImage(), accelerationPlot);
    c.logX->click();
    EXPECT_EQ(c.pointsLabel->text().toStdString(), "Число точек");
    EXPECT_EQ(c.result->toPlainText().count('\n'), 300);

    // "ЗАПИСЬ\r\nВ ФАЙЛ": the listing as a FAP file, "FAP-ORV" as the dialog preselects.
    ui.chooseFile((dir / "listing.fap").string());
    c.writeToFile->click();
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Запись прошла успешно!"});
    std::ifstream written(dir / "listing.fap", std::ios::binary);
    std::string header;
    std::getline(written, header);
    EXPECT_TRUE(header.starts_with("CAL2 KARC ")) << header;
    ui.clear();

    const std::string shot = artefact("gainbook-response-curve.png");
    if (!shot.empty()) {
        EXPECT_TRUE(dialog->grab().save(QString::fromStdString(shot)));
    }
    EXPECT_TRUE(ui.messageTexts().empty());
    window.close();
    window.finish();
    EXPECT_FALSE(dialog->isVisible());
}

// "&Ачх" opens the window off the main window rather than centred over it; on a 1280x800
// screen every button of the main window, its menu and its SAC/FAP choice stay free. The
// picture of both on such a screen is kept as an artefact.
TEST(ResponseCurveQt, OpensOffTheMainWindow) {
    app();
    TempDir dir;
    ScriptedInteraction ui;
    MainWindowDialog window(
        ui, [](const ConnectionSettings&) { return std::nullopt; }, dir.path(), dir / "ORV.ini",
        [](FileFormatDialog& d) { return d.result(); });
    window.show();
    window.resize(1040, 720);
    window.move(0, 0);
    window.logic().browser.storedText = "ZEROS 3\r\n-1 0\r\nPOLES 1\r\n-2 0\r\nCONSTANT 4\r\n";
    window.logic().browser.stations = {{"KURK"}, 0};
    window.logic().browser.channels = {{"BHZ"}, 0};
    window.sync();
    ui.chooseFile(std::string(GAINBOOK_TEST_DATA) + "/obspy_SAC_PZs_KARC_BHZ");
    window.fileControls().loadFromFile->click();
    QApplication::processEvents();

    ResponseCurveDialogQt* dialog = window.openResponseCurve();
    QApplication::processEvents();
    const QRect m = window.frameGeometry();
    EXPECT_NE(dialog->geometry().center(), m.center());
    // The test screen is 800 pixels wide: no corner leaves the menu's four entries and the
    // buttons free, and the window goes to the bottom corner away from the main window's
    // middle.
    const QRect available = window.screen()->availableGeometry();
    EXPECT_GE(dialog->frameGeometry().bottom(), available.bottom());
    EXPECT_GE(dialog->frameGeometry().right(), available.right());

    // The buttons and menu entries of the window at (0, 0) on a 1280x800 screen.
    std::vector<QRect> buttons;
    for (QPushButton* b : window.findChildren<QPushButton*>())
        if (b->window() == &window)
            buttons.emplace_back(b->mapTo(&window, QPoint(0, 0)), b->size());
    for (QMenuBar* bar : window.findChildren<QMenuBar*>())
        for (QAction* action : bar->actions())
            buttons.push_back(
                bar->actionGeometry(action).translated(bar->mapTo(&window, QPoint(0, 0))));
    ASSERT_EQ(buttons.size(), 10u);
    std::vector<ScreenRect> rects;
    for (const QRect& b : buttons)
        rects.push_back({b.x(), b.y(), b.width(), b.height()});
    const QSize least = dialog->minimumSizeHint();
    const ScreenRect onSmall =
        placeBesideMainWindow({0, 0, 1040, 720}, 1000, 640, {0, 0, 1280, 800}, rects,
                              {0, 0, least.width(), least.height()});
    const QRect small(onSmall.x, onSmall.y, onSmall.width, onSmall.height);
    EXPECT_GE(small.width(), least.width());
    EXPECT_GE(small.height(), least.height());
    for (const QRect& b : buttons)
        EXPECT_FALSE(small.intersects(b)) << b.x() << "," << b.y();
    QWidget* fap = window.databaseControls().fap;
    EXPECT_FALSE(small.intersects(QRect(fap->mapTo(&window, QPoint(0, 0)), fap->size())));

    const std::string shot = artefact("gainbook-main-with-response-curve.png");
    if (!shot.empty()) {
        dialog->resize(small.size());
        dialog->controls().compute->click();
        QApplication::processEvents();
        QImage screen(1280, 800, QImage::Format_RGB32);
        screen.fill(QColor(40, 60, 90));
        QPainter painter(&screen);
        painter.drawPixmap(0, 0, window.grab());
        painter.drawPixmap(small.topLeft(), dialog->grab());
        painter.setPen(Qt::black);
        painter.drawRect(small.adjusted(0, 0, -1, -1));
        painter.end();
        EXPECT_TRUE(screen.save(QString::fromStdString(shot)));
    }
    window.close();
    window.finish();
}

// The full-screen preview: maximised, with the page; one at a time; its print button prints
// that page. The print command reports a printer that fails.
TEST(ResponseCurveQt, PreviewOneAtATimeAndPrinting) {
    app();
    TempDir dir;
    ScriptedInteraction ui;
    MainWindowDialog window(
        ui, [](const ConnectionSettings&) { return std::nullopt; }, dir.path(), dir / "ORV.ini");
    window.logic().browser.storedText = "ZEROS 3\r\n-1 0\r\nPOLES 1\r\n-2 0\r\nCONSTANT 4\r\n";
    window.logic().browser.stations = {{"KURK"}, 0};
    window.logic().browser.channels = {{"BHZ"}, 0};
    window.logic().browser.intervals = {{"2001.01.01 00:00:00 / 2002.01.01 00:00:00"}, 0, false};
    window.show();
    window.sync();
    ResponseCurveDialogQt* dialog = window.openResponseCurve();
    QApplication::processEvents();

    const auto previews = [] {
        std::vector<ResponsePreviewWindow*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* p = qobject_cast<ResponsePreviewWindow*>(w); p && p->isVisible())
                found.push_back(p);
        return found;
    };
    dialog->controls().fullScreen->click();
    ASSERT_EQ(previews().size(), 1u);
    ResponsePreviewWindow* preview = previews()[0];
    EXPECT_EQ(preview->windowTitle().toStdString(), "Предварительный просмотр АЧХ");
    EXPECT_TRUE(preview->isMaximized());
    preview->preview()->updatePreview();
    EXPECT_EQ(preview->preview()->pageCount(), 1);
    EXPECT_EQ(preview->preview()->orientation(), QPageLayout::Landscape);
    EXPECT_EQ(preview->page().plot.points.size(), 1234u);
    const std::string shot = artefact("gainbook-response-preview.png");
    if (!shot.empty()) {
        EXPECT_TRUE(preview->grab().save(QString::fromStdString(shot)));
    }

    dialog->controls().fullScreen->click();
    EXPECT_EQ(previews().size(), 1u);
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{
                                     "Невозможно открыть два окна\r\nпредворительного просмотра"});

    // "Печать": the preview closes and the page goes to the printer chosen, a PDF file here.
    const std::filesystem::path pdf = dir / "printed.pdf";
    preview->choosePrinter = [&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf.string()));
        return true;
    };
    preview->printAction()->trigger();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(previews().empty());
    const std::string printed = pdfText(pdf);
    EXPECT_NE(
        printed.find("Станция: KURK Канал: BHZ Время: 2001.01.01 00:00:00 / 2002.01.01 00:00:00"),
        std::string::npos)
        << printed;
    EXPECT_NE(printed.find("0.001000"), std::string::npos);
    EXPECT_NE(printed.find("20.000000"), std::string::npos);

    // Closed, it opens again.
    ui.clear();
    dialog->controls().fullScreen->click();
    EXPECT_EQ(previews().size(), 1u);
    EXPECT_TRUE(ui.messageTexts().empty());
    previews()[0]->close();

    // Printed into a file that cannot be written: the file and the system's reason.
    const orv::test::UnwritableFolder readOnly = orv::test::unwritableFolder(dir);
    const std::string refused = (readOnly.path / "page.pdf").string();
    printResponse(dialog->logic().previewPage(), ui, &window, [&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(refused));
        return true;
    });
    EXPECT_EQ(ui.messageTexts(), std::vector<std::string>{"Ошибка при попытке записи в файл\r\n" +
                                                          refused + ": " + readOnly.reason});
    EXPECT_EQ(ui.messages()[0].caption, "Печать АЧХ");
    window.close();
    window.finish();
}
