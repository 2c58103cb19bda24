#include "ui/qtinteraction.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(qtNameFilters(""), "");
}
