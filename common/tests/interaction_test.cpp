#include "testdb.h"
#include "ui/qtinteraction.h"
#include "ui/scripted.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

using namespace orv::ui;

TEST(ScriptedInteraction, AnswersFromItsScriptAndRecordsWhatWasShown) {
    ScriptedInteraction ui;
    ui.answer(Answer::No);
    ui.chooseFile(std::string("/data/KIV.BHZ.pz"));
    ui.chooseFile(std::nullopt);
    EXPECT_FALSE(ui.askYesNo("Создать?", "Создание"));
    EXPECT_TRUE(ui.askYesNo("Ещё?")); // nothing queued: Yes
    ui.error("Ошибка", "Заголовок");
    EXPECT_EQ(ui.openFile({"Выбрать файл с АЧХ", "/r", "", "All files|*.*||", ""}),
              "/data/KIV.BHZ.pz");
    EXPECT_EQ(ui.saveFile({}), std::nullopt);
    EXPECT_TRUE(ui.allAnswersUsed());

    ASSERT_EQ(ui.shown().size(), 5u);
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{"Создать?", "Ещё?", "Ошибка"}));
    const auto messages = ui.messages();
    EXPECT_EQ(messages[0].answer, Answer::No);
    EXPECT_EQ(messages[0].icon, Icon::Question);
    EXPECT_EQ(messages[2].icon, Icon::Stop);
    EXPECT_EQ(messages[2].caption, "Заголовок");
    EXPECT_EQ(ui.shown()[3].kind, ScriptedInteraction::Shown::Kind::OpenFile);
    EXPECT_EQ(ui.shown()[3].choice.directory, "/r");

    ScriptedInteraction negative;
    negative.setDefaultAnswerNegative(true);
    EXPECT_EQ(negative.message("?", "", Icon::Exclamation, Buttons::OkCancel), Answer::Cancel);
}

TEST(QtInteraction, WindowsFiltersBecomeQtNameFilters) {
    EXPECT_EQ(qtNameFilters("All files|*.*||"), "All files (*)");
    EXPECT_EQ(qtNameFilters("SAC|*.pz;*.sac|FAP|*.fap||"), "SAC (*.pz *.sac);;FAP (*.fap)");
    // Patterns shown in the description are replaced by Qt's form, not repeated.
    EXPECT_EQ(qtNameFilters("All Files (*.*)|*.*|SAC (*.sac)|*.sac|FAP (*.fap)|*.fap||"),
              "All Files (*);;SAC (*.sac);;FAP (*.fap)");
    EXPECT_EQ(qtNameFilters("Отклики (новые)|*.pz||"), "Отклики (новые) (*.pz)");
    EXPECT_EQ(qtNameFilters(""), "");
}

namespace {

// A key as the keyboard gives it.
void press(QWidget* w, int key, QChar c) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &up);
}

void qtApp() {
    static int argc = 1;
    static char name[] = "common_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

} // namespace

// Enter presses a box's default button: the first of its set (Yes), or the one a question
// names (No for a question whose Yes changes stored data).
TEST(QtInteraction, EnterPressesTheDefaultButtonAQuestionNames) {
    qtApp();
    const auto enterOn = [](const std::function<Answer(QtInteraction&)>& ask) {
        QTimer driver;
        driver.callOnTimeout([] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                press(box, Qt::Key_Return, QChar('\r'));
        });
        driver.start(20);
        QtInteraction ui(nullptr, "T");
        return ask(ui);
    };
    EXPECT_EQ(enterOn([](QtInteraction& ui) {
                  return ui.message("Создать?", "", Icon::Question, Buttons::YesNo);
              }),
              Answer::Yes);
    EXPECT_EQ(enterOn([](QtInteraction& ui) {
                  return ui.confirmChange("Удалить?") ? Answer::Yes : Answer::No;
              }),
              Answer::No);
    EXPECT_EQ(enterOn([](QtInteraction& ui) {
                  return ui.question("Удалить полностью?", "", Buttons::YesNoCancel, Answer::No);
              }),
              Answer::No);
}

TEST(QtInteraction, AFileWithoutExtensionOpensByItsTypedNameOrPath) {
    qtApp();
    orv::test::TempDir dir;
    const std::string path = (dir / "obspy_SAC_PZs_KARC_BHZ").string();
    std::ofstream(path) << "ZEROS 0\n";
    // Types the name into the dialog's name field and presses Enter; a refusal ("not
    // found") is closed and the choice cancelled.
    const auto typeAndOpen = [&](const std::string& typed, const std::string& extension) {
        bool typedOnce = false;
        QTimer driver;
        driver.callOnTimeout([&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->reject();
            } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                if (typedOnce)
                    return files->reject();
                auto* edit = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (!edit)
                    return files->reject();
                typedOnce = true;
                // As the user, outside this timer, which must go on closing refusals.
                QTimer::singleShot(0, edit, [edit, typed] {
                    for (const QChar c : QString::fromStdString(typed))
                        press(edit, Qt::Key_unknown, c);
                    press(edit, Qt::Key_Return, QChar('\r'));
                });
            }
        });
        driver.start(20);
        QtInteraction ui(nullptr, "T");
        return ui.openFile({"", dir.path().string(), "", "All Files (*.*)|*.*||", extension});
    };
    for (const char* extension : {"*", ""}) {
        EXPECT_EQ(typeAndOpen("obspy_SAC_PZs_KARC_BHZ", extension), path) << extension;
        EXPECT_EQ(typeAndOpen(path, extension), path) << extension;
    }
}
