#include "dialog_fixture.h"

using namespace orv::sitewright;
using orv::ui::Answer;

class DeleteCopy : public DialogTest {};

TEST_P(DeleteCopy, DeletingAsksFirstAndCancelKeepsEverything) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0);
    auto d = openDialog("KIV");
    ui.answer(Answer::Cancel);
    d->onDelete();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Вы уверены, что хотите удалить информацию о станции KIV");
    EXPECT_EQ(ui.messages()[0].caption, "Внимание!");
    EXPECT_EQ(ui.messages()[0].buttons, orv::ui::Buttons::OkCancel);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "1");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN"), "1");
}

TEST_P(DeleteCopy, DeletingTheLastStationOfTheListShowsANewStation) {
    addSite("AAA", 1, 1);
    addSite("KIV", 2, 1);
    addChan("KIV", "BHZ", 1, 0);
    addChan("AAA", "BHZ", 1, 0);
    auto d = openDialog("KIV");
    ui.answer(Answer::Ok);
    d->onDelete();
    // The deletion is said after the window has moved on.
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].text, "Станция KIV удалена");
    EXPECT_EQ(ui.messages()[1].buttons, orv::ui::Buttons::Ok);
    EXPECT_EQ(db.column("SELECT STA FROM SITE"), (std::vector<std::string>{"AAA"}));
    EXPECT_EQ(channelsOf("KIV"), std::vector<std::string>{});
    EXPECT_EQ(channelsOf("AAA"), (std::vector<std::string>{"BHZ"}));
    EXPECT_EQ(d->controls().staSelection, -1);
    EXPECT_EQ(d->controls().sta, "");
    EXPECT_EQ(d->controls().staList, (std::vector<std::string>{"AAA"}));
    EXPECT_EQ(d->controls().chan[0], "BLZ"); // the defaults of a new station
}

TEST_P(DeleteCopy, DeletingTheOnlyStationEmptiesTheLists) {
    addSite("KIV", 1, 1);
    auto d = openDialog("KIV");
    ui.answer(Answer::Ok);
    d->onDelete();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "0");
    EXPECT_TRUE(d->controls().staList.empty());
    EXPECT_TRUE(d->controls().refstaList.empty());
    EXPECT_EQ(d->controls().nindex, "1");
}

TEST_P(DeleteCopy, DeletingAStationNeverWrittenSelectsTheFirstEntry) {
    addSite("AAA", 1, 1);
    addSite("BBB", 2, 1);
    auto d = openDialog("NEW");
    ui.answer(Answer::Ok);
    d->onDelete();
    EXPECT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(d->controls().staSelection, 0);
    EXPECT_EQ(d->controls().sta, "AAA");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "2");
}

TEST_P(DeleteCopy, ChannelsWithoutASiteRowAreDeletedWithoutError) {
    addSite("AAA", 1, 1);
    addChan("GONE", "BHZ", 1, 0);
    auto d = openDialog("GONE");
    ui.answer(Answer::Ok);
    d->onDelete();
    EXPECT_EQ(ui.messageTexts().back(), "Станция GONE удалена");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITECHAN"), "0");
}

TEST_P(DeleteCopy, ACopyIsWrittenUnderTheNewCodeWithANewNumber) {
    addSite("KIV", 1, 1);
    addChan("KIV", "BHZ", 1, 0, ", CALIBFILE", ", 'kiv.pz'");
    auto d = openDialog("KIV");
    d->controls().descr = "edited";
    std::string offered;
    d->setCopyPrompt([&](const std::string& o) {
        offered = o;
        return std::optional<std::string>("kiv2");
    });
    d->onCopy();
    EXPECT_EQ(offered, "KIV");
    ASSERT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Информация о станции kiv2 в БД записана успешно"}));
    EXPECT_EQ(site("NINDEX", "kiv2"), "2");
    EXPECT_EQ(site("DESCR", "kiv2"), "edited");
    EXPECT_EQ(site("DESCR", "KIV"), "<NULL>"); // the station shown is not written
    EXPECT_EQ(channelsOf("kiv2"), (std::vector<std::string>{"BHZ"}));
    EXPECT_EQ(db.scalar("SELECT CALIBFILE FROM SITECHAN WHERE STA='kiv2'"), "kiv.pz");
    EXPECT_FALSE(d->pendingCopy());
    EXPECT_EQ(d->controls().sta, "kiv2");
}

TEST_P(DeleteCopy, CopyingToATakenOrEmptyCodeIsRefused) {
    addSite("KIV", 1, 1);
    auto d = openDialog("KIV");
    d->setCopyPrompt([](const std::string& o) { return std::optional<std::string>(o); });
    d->onCopy();
    ASSERT_EQ(ui.messageTexts(), (std::vector<std::string>{"Cтанция KIV уже есть в БД !!!"}));
    EXPECT_EQ(ui.messages()[0].icon, orv::ui::Icon::Stop);
    ui.clear();
    d->setCopyPrompt([](const std::string&) { return std::optional<std::string>(""); });
    d->onCopy();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{"Не задано имя станции !!!"}));
    EXPECT_FALSE(d->pendingCopy());
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "1");
}

TEST_P(DeleteCopy, ACancelledCopyLeavesTheNextWriteToTheStationShown) {
    addSite("KIV", 9, 1);
    auto d = openDialog("KIV");
    d->setCopyPrompt([](const std::string&) { return std::nullopt; });
    d->onCopy();
    EXPECT_TRUE(ui.messages().empty());
    d->onWrite();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM SITE"), "1");
    EXPECT_EQ(site("NINDEX", "KIV"), "9");
}

TEST_P(DeleteCopy, ACopyStoppedByValidationStaysPending) {
    addSite("KIV", 1, 1);
    auto d = openDialog("KIV");
    d->controls().lat = "500";
    d->setCopyPrompt([](const std::string&) { return std::optional<std::string>("NEW"); });
    d->onCopy();
    EXPECT_EQ(d->pendingCopy(), std::optional<std::string>("NEW"));
    d->controls().lat = "50";
    d->onWrite();
    EXPECT_EQ(site("LAT", "KIV").substr(0, 2), "10");
    EXPECT_DOUBLE_EQ(orv::text::toDouble(site("LAT", "NEW")), 50);
}

TEST(CopyDialog, TheNewCodeIsAtMostEightCharacters) {
    orv::ui::ScriptedInteraction ui;
    EXPECT_TRUE(CCopyStationDlg("kiv2").accept(ui));
    EXPECT_FALSE(CCopyStationDlg("ABCDEFGHI").accept(ui));
    EXPECT_EQ(ui.messageTexts(),
              (std::vector<std::string>{"Please enter no more than 8 characters."}));
}

INSTANTIATE_TEST_SUITE_P(Backends, DeleteCopy, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);

class NoConnection : public DialogTest {};

TEST_P(NoConnection, OperationsSayTheDatabaseCannotBeOpened) {
    auto c = context();
    c.settings.dsn = "NO_SUCH_SOURCE";
    CStationDlg d(c, "KIV");
    d.open();
    EXPECT_EQ(ui.messageTexts(), (std::vector<std::string>{"Ошибка инициализации базы данных",
                                                           "Ошибка инициализации базы данных"}));
    ui.clear();
    ui.answer(orv::ui::Answer::Ok);
    d.onDelete();
    ASSERT_EQ(ui.messageTexts().size(), 2u);
    EXPECT_EQ(ui.messageTexts()[1],
              "Ошибка открытия базы данных -> DSN=NO_SUCH_SOURCE;UID=ORV;PWD=KTZ;");
}

INSTANTIATE_TEST_SUITE_P(Backends, NoConnection, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
