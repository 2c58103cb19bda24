#include "dialog_fixture.h"

#include "ui/stationwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdlib>

using namespace orv::sitewright;

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "sitewright_ui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals are gone by the time statics are torn down.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace

class StationWindowTest : public DialogTest {
protected:
    void SetUp() override {
        application();
        DialogTest::SetUp();
    }
};

TEST_P(StationWindowTest, EveryControlIsLabelledOrNamedAndNoLabelIsClipped) {
    addSite("KIV", 1, 2);
    db.exec("UPDATE SITE SET DESCR='Кисловодск', STANAME='Kislovodsk', COD='KIV', "
            "UNDERGROUND='Известняк', ONDATE={ts '2001-05-07 00:00:00'}, REFSTA='KIV', "
            "DNORTH=1.25, LON=-142.123456, ELEV=-1234.56789 WHERE STA='KIV'");
    addChan("KIV", "BHZ", 1, 0, ", SPS, LCODE, DESCR, CALIBFILE",
            ", 20, '00', 'STS-2', 'kiv_bhz.pz'");
    addChan("KIV", "BHN", 1, 1, ", SPS, LCODE, DESCR", ", 20, '00', 'STS-2'");
    addChan("KIV", "BHE", 1, 2, ", SPS, LCODE, DESCR", ", 20, '00', 'STS-2'");
    addChan("KIV", "SHZ", 2, 0, ", SPS", ", 0.5");
    CStationDlg logic(context(), "KIV");
    StationWindow window(logic, ui);
    window.openStation();
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle().toStdString(), logic.title());

    QSet<QWidget*> buddies;
    for (QLabel* label : window.findChildren<QLabel*>()) {
        ASSERT_NE(label->buddy(), nullptr) << label->text().toStdString();
        buddies.insert(label->buddy());
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w) &&
            !qobject_cast<QAbstractButton*>(w))
            continue;
        if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
            continue; // the edit field of a combo box
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty() &&
                                                         b->text() != QStringLiteral("…") &&
                                                         b->accessibleName().isEmpty()) {
            EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
            continue; // a button names itself
        }
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

    // What the edits show fits into them.
    for (QLineEdit* e : window.findChildren<QLineEdit*>())
        EXPECT_LE(e->fontMetrics().horizontalAdvance(e->text()), e->contentsRect().width() - 4)
            << e->text().toStdString();

    // The shown station and the grid's enabling.
    auto edits = window.findChildren<QLineEdit*>();
    bool sawName = false;
    for (QLineEdit* e : edits)
        sawName |= e->text() == QString::fromUtf8("Кисловодск");
    EXPECT_TRUE(sawName);

    if (const char* out = std::getenv("ORV_TEST_ARTEFACTS"); out && *out) {
        const std::string file = std::string(out) + "/sitewright-station-dialog-" +
                                 orv::test::backendName(GetParam()) + ".png";
        EXPECT_TRUE(window.grab().save(QString::fromStdString(file)));
    }
}

TEST_P(StationWindowTest, TypingAndWritingGoThroughTheLogic) {
    addSite("NEWER", 5, 1);
    CStationDlg logic(context(), "");
    StationWindow window(logic, ui);
    window.openStation();
    window.show();
    QApplication::processEvents();
    auto* station = window.findChildren<QComboBox*>().at(0);
    station->lineEdit()->setFocus();
    QTest::keyClicks(station->lineEdit(), "new");
    // Raised to upper case, and not completed to the station listed.
    EXPECT_EQ(logic.controls().sta, "NEW");
    EXPECT_EQ(station->currentText(), "NEW");
    EXPECT_EQ(logic.controls().chan[0], "BLZ");
    QLineEdit* groups = nullptr;
    for (QLineEdit* e : window.findChildren<QLineEdit*>())
        if (e->accessibleName() == QString::fromUtf8("К-во групп каналов:"))
            groups = e;
    ASSERT_NE(groups, nullptr);
    groups->setFocus();
    groups->selectAll();
    groups->insert("2");
    EXPECT_EQ(logic.state().ngroups, 2);
    EXPECT_FALSE(logic.controls().chanEnabled[6]);
    QPushButton* write = nullptr;
    for (QPushButton* b : window.findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8("Записать в БД"))
            write = b;
    ASSERT_NE(write, nullptr);
    write->click();
    EXPECT_EQ(db.scalar("SELECT NGROUPS FROM SITE WHERE STA='NEW'"), "2");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN"), "6");
}

INSTANTIATE_TEST_SUITE_P(Backends, StationWindowTest, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
