#include "dialog_fixture.h"

#include "ui/launcher.h"
#include "ui/qtapplication.h"
#include "ui/stationwindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace orv::sitewright;

namespace {

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 800;

// The application on an offscreen screen of 1280x800, set up as the program sets it up.
QApplication& application() {
    static QApplication* app = [] {
        const auto config = std::filesystem::temp_directory_path() /
                            ("orv-screen-" + std::to_string(getpid()) + ".json");
        std::ofstream(config) << R"({"screens": [{"name": "S", "x": 0, "y": 0, "width": )"
                              << kScreenWidth << R"(, "height": )" << kScreenHeight
                              << R"(, "logicalDpiX": 96, "logicalDpiY": 96}]})";
        static int argc = 3;
        static std::string platform = "offscreen:configfile=" + config.string();
        static char name[] = "sitewright_ui_tests";
        static char option[] = "-platform";
        static char* argv[] = {name, option, platform.data(), nullptr};
        // Never destroyed: Qt's own globals are gone by the time statics are torn down.
        auto* created = new QApplication(argc, argv);
        std::filesystem::remove(config);
        orv::ui::setUpApplication(*created);
        return created;
    }();
    return *app;
}

template <class W> W* named(QWidget& window, const char* accessibleName) {
    for (W* w : window.findChildren<W*>())
        if (w->accessibleName() == QString::fromUtf8(accessibleName))
            return w;
    return nullptr;
}

QPushButton* button(QWidget& window, const char* text) {
    for (QPushButton* b : window.findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text))
            return b;
    return nullptr;
}

QString accessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name) : QString();
}

// The line edit of a combo box belongs to the box.
bool isControl(QWidget* w) {
    if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
        return false;
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QAbstractButton*>(w);
}

} // namespace

class StationWindowTest : public DialogTest {
protected:
    void SetUp() override {
        application();
        DialogTest::SetUp();
    }
    // Shown as on the screen the operators use.
    void show(StationWindow& window) {
        window.openStation();
        window.resize(kScreenWidth, kScreenHeight);
        window.show();
        QApplication::processEvents();
    }
    // A station with every field filled.
    void addKiv() {
        addSite("KIV", 1, 2);
        db.exec("UPDATE SITE SET DESCR='Кисловодск', STANAME='Kislovodsk', COD='KIV', "
                "UNDERGROUND='Известняк', ONDATE={ts '2001-05-07 00:00:00'}, REFSTA='KIV', "
                "DNORTH=1.25, LON=-142.123456, ELEV=-1234.56789 WHERE STA='KIV'");
        addChan("KIV", "BHZ", 1, 0, ", SPS, LCODE, DESCR, CALIBFILE",
                ", 20, '00', 'STS-2', 'SAC_PZs_KIV_BHZ_00_2001.05.07-00.00.00.pz'");
        addChan("KIV", "BHN", 1, 1, ", SPS, LCODE, DESCR", ", 20, '00', 'STS-2'");
        addChan("KIV", "BHE", 1, 2, ", SPS, LCODE, DESCR", ", 20, '00', 'STS-2'");
        addChan("KIV", "SHZ", 2, 0, ", SPS, LCODE", ", 0.5, '10'");
    }
};

TEST_P(StationWindowTest, TheWindowFitsA1280x800ScreenWithEveryLabelWholeAndNamed) {
    addKiv();
    CStationDlg logic(context(), "KIV");
    StationWindow window(logic, ui);
    EXPECT_LE(window.sizeHint().width(), kScreenWidth);
    EXPECT_LE(window.sizeHint().height(), kScreenHeight);
    show(window);
    ASSERT_EQ(window.size(), QSize(kScreenWidth, kScreenHeight));
    EXPECT_EQ(window.windowTitle().toStdString(), logic.title());

    QSet<QWidget*> buddies;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        const std::string text = label->text().toStdString();
        ASSERT_NE(label->buddy(), nullptr) << text;
        buddies.insert(label->buddy());
        EXPECT_GE(label->width(), label->sizeHint().width()) << text;
        const QRect own(label->mapTo(&window, QPoint()), label->size());
        const QRect buddy(label->buddy()->mapTo(&window, QPoint()), label->buddy()->size());
        EXPECT_FALSE(own.intersects(buddy)) << text;
    }
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        const QRect where(w->mapTo(&window, QPoint()), w->size());
        EXPECT_TRUE(window.rect().contains(where)) << w->metaObject()->className();
        if (!isControl(w))
            continue;
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->accessibleName().isEmpty())
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
        else
            EXPECT_TRUE(buddies.contains(w) || !w->accessibleName().isEmpty())
                << w->metaObject()->className();
    }
    const QStringList expected = {"Станция (код)",
                                  "Междуна- родн. код",
                                  "Широта, град",
                                  "Долгота, град",
                                  "Высота, м",
                                  "Номер в БД",
                                  "Название (русское)",
                                  "Название (английское)",
                                  "Почва",
                                  "Открыта (yyyy-mo-dd hh:mi:ss)",
                                  "Закрыта (yyyy-mo-dd hh:mi:ss)",
                                  "К-во групп каналов:",
                                  "Центральная точка",
                                  "Смещение от центральной точки к северу (км)",
                                  "Смещение от центральной точки к востоку(км)",
                                  "Код расположения",
                                  "Отсч./сек.",
                                  "Тип датчика",
                                  "Z",
                                  "N",
                                  "E"};
    QStringList texts;
    for (QLabel* label : window.findChildren<QLabel*>())
        texts << label->text();
    for (const QString& t : expected)
        EXPECT_TRUE(texts.contains(t)) << t.toStdString();

    // What the edits show fits into them, the station shown included.
    for (QLineEdit* e : window.findChildren<QLineEdit*>())
        EXPECT_LE(e->fontMetrics().horizontalAdvance(e->text()), e->contentsRect().width() - 4)
            << e->text().toStdString();
    EXPECT_EQ(named<QLineEdit>(window, "Название (русское)")->text(),
              QString::fromUtf8("Кисловодск"));
    // The width to spare goes to the response files too, not all to the sensor type.
    auto* file = named<QPushButton>(window, "Файл АЧХ канала Z, группа 1");
    EXPECT_GT(file->width(), file->minimumWidth());
    EXPECT_EQ(file->toolTip(), "SAC_PZs_KIV_BHZ_00_2001.05.07-00.00.00.pz");

    if (const char* out = std::getenv("ORV_TEST_ARTEFACTS"); out && *out) {
        const std::string shot = std::string(out) + "/sitewright-station-window-1280x800-" +
                                 orv::test::backendName(GetParam()) + ".png";
        EXPECT_TRUE(window.grab().save(QString::fromStdString(shot)));
    }
}

TEST_P(StationWindowTest, EveryControlKeepsItsOwnAccessibleNameWhenItHasAValue) {
    addKiv();
    CStationDlg logic(context(), "KIV");
    StationWindow window(logic, ui);
    show(window);
    auto* lcode2 = named<QComboBox>(window, "Код расположения, группа 2");
    ASSERT_NE(lcode2, nullptr);
    EXPECT_EQ(lcode2->currentText(), "10");
    EXPECT_EQ(accessibleName(lcode2), QString::fromUtf8("Код расположения, группа 2"));
    auto* station = named<QComboBox>(window, "Станция (код)");
    ASSERT_NE(station, nullptr);
    EXPECT_EQ(station->currentText(), "KIV");
    EXPECT_EQ(accessibleName(station), QString::fromUtf8("Станция (код)"));
    EXPECT_EQ(accessibleName(station->lineEdit()), QString::fromUtf8("Станция (код)"));
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(station);
    EXPECT_EQ(list->text(QAccessible::Value), "KIV");
    EXPECT_EQ(list->childCount(), 2);

    // Every input has a name of its own; a button without one is named by its text.
    QSet<QString> names;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!isControl(w) || (qobject_cast<QPushButton*>(w) && w->accessibleName().isEmpty()))
            continue;
        const QString name = accessibleName(w);
        EXPECT_FALSE(name.isEmpty()) << w->metaObject()->className();
        EXPECT_FALSE(names.contains(name)) << name.toStdString();
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 15 + 2 * kChannels + 3 * kGroups);
}

TEST_P(StationWindowTest, EnterWritesNothingAndEscapeDoesNotCloseTheWindow) {
    CStationDlg logic(context(), "");
    StationWindow window(logic, ui);
    show(window);
    auto* station = named<QComboBox>(window, "Станция (код)");
    station->lineEdit()->setFocus();
    QTest::keyClicks(station->lineEdit(), "NEW");
    for (QWidget* field : std::initializer_list<QWidget*>{
             station->lineEdit(), named<QLineEdit>(window, "Широта, град"),
             named<QLineEdit>(window, "Канал Z, группа 1"),
             named<QLineEdit>(window, "Отсч./сек., группа 1")}) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Enter);
        QTest::keyClick(field, Qt::Key_Escape);
    }
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "0");
    EXPECT_TRUE(ui.shown().empty());

    // The button is pressed by the mouse, or by the space bar when it has the focus.
    QPushButton* write = button(window, "Записать в БД");
    QTest::mouseClick(write, Qt::LeftButton);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "1");
    write->setFocus();
    QTest::keyClick(write, Qt::Key_Space);
    EXPECT_EQ(ui.messageTexts().size(), 2u);

    // "Выйти" and the close box end the program.
    QTest::mouseClick(button(window, "Выйти"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

TEST_P(StationWindowTest, TypingAndWritingGoThroughTheLogic) {
    addSite("NEWER", 5, 1);
    addSite("tst2", 7, 1);
    CStationDlg logic(context(), "");
    StationWindow window(logic, ui);
    show(window);
    auto* station = named<QComboBox>(window, "Станция (код)");
    station->lineEdit()->setFocus();
    QTest::keyClicks(station->lineEdit(), "tst2");
    // Raised to upper case as typed, found as stored.
    EXPECT_EQ(station->currentText(), "tst2");
    EXPECT_EQ(named<QLineEdit>(window, "Номер в БД")->text(), "7");
    station->lineEdit()->selectAll();
    QTest::keyClicks(station->lineEdit(), "new");
    // Raised to upper case, and not completed to the station listed.
    EXPECT_EQ(logic.controls().sta, "NEW");
    EXPECT_EQ(station->currentText(), "NEW");
    EXPECT_EQ(logic.controls().chan[0], "BLZ");
    QLineEdit* lat = named<QLineEdit>(window, "Широта, град");
    lat->setFocus();
    lat->selectAll();
    QTest::keyClicks(lat, "55.75");
    QLineEdit* groups = named<QLineEdit>(window, "К-во групп каналов:");
    groups->setFocus();
    groups->selectAll();
    QTest::keyClicks(groups, "2");
    EXPECT_EQ(logic.state().ngroups, 2);
    EXPECT_FALSE(named<QLineEdit>(window, "Канал Z, группа 3")->isEnabled());
    QTest::mouseClick(button(window, "Записать в БД"), Qt::LeftButton);
    EXPECT_EQ(db.scalar("SELECT NGROUPS FROM SITE WHERE STA='NEW'"), "2");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE WHERE LAT=55.75"), "1");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN"), "6");
    // A date that does not exist is refused with the focus on it.
    QLineEdit* ondate = named<QLineEdit>(window, "Открыта (yyyy-mo-dd hh:mi:ss)");
    ondate->setFocus();
    ondate->selectAll();
    QTest::keyClicks(ondate, "2001-02-31");
    QTest::mouseClick(button(window, "Записать в БД"), Qt::LeftButton);
    EXPECT_EQ(ui.messageTexts().back(),
              "Ошибка задания даты-времени:\n ondate: 2001-02-31 00:00:00");
    EXPECT_EQ(window.focusWidget(), ondate);
}

INSTANTIATE_TEST_SUITE_P(Backends, StationWindowTest, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

TEST(ResponseEditorStart, TheEditorRunsDetachedWithItsArgumentsAndLeavesNoChildBehind) {
    orv::test::TempDir dir;
    const auto record = dir / "args.txt";
    const auto program = dir / "gainbook";
    std::ofstream(program) << "#!/bin/sh\n{ echo \"$PPID\"; for a in \"$@\"; do echo \"$a\"; "
                              "done; } > '"
                           << record.string() << ".tmp'\nmv '" << record.string() << ".tmp' '"
                           << record.string() << "'\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    DetachedLauncher launcher;
    ASSERT_TRUE(
        launcher.startDetached(program.string(), {program.string(), "ODBC=ORV", "KIV:BHN:00"}));
    // Nothing of it is this process's child, so nothing is left to reap.
    int status = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    for (int i = 0; i < 100 && !std::filesystem::exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(record);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0], std::to_string(getpid()));
    EXPECT_EQ(lines[1], "ODBC=ORV");
    EXPECT_EQ(lines[2], "KIV:BHN:00");
    EXPECT_FALSE(launcher.startDetached((dir / "missing").string(), {"missing"}));
}

TEST(CopyDialogWindow, TheButtonsReadInRussianAndCancelCopiesNothing) {
    application();
    orv::ui::ScriptedInteraction ui;
    QStringList texts;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            texts << b->text();
        if (QPushButton* cancel = button(*dialog, "Отмена"))
            cancel->click();
        else
            dialog->reject(); // never left open
    });
    EXPECT_EQ(askCopyCode(nullptr, ui, "KIV"), std::nullopt);
    EXPECT_EQ(texts, (QStringList{"OK", "Отмена"}));
}
