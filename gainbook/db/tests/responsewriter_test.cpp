#include "db/responsewriter.h"

#include "db/datetext.h"
#include "db/responsestatements.h"
#include "responsetables.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

using namespace orv::gainbook;
using orv::test::Backend;
using orv::test::TestDatabase;
using orv::ui::Icon;
using Strings = std::vector<std::string>;

class Writer : public testing::TestWithParam<Backend> {
protected:
    Writer() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        orv::gainbook::test::createResponseTables(db);
        connection = db.connect();
    }

    ResponseInput input(const std::string& time, int kind = 0) const {
        return orv::gainbook::test::sampleInput(time, kind);
    }

    void stored(const std::string& start, const std::string& end, const std::string& sac = "OLD",
                const std::string& fap = "") {
        orv::gainbook::test::insertResponse(db, "KZ", "KIV", "BHZ", "00", start, end, sac, fap);
    }

    // Every row of the key as "start / end" (end "-" when open), oldest first.
    Strings rows() { return orv::gainbook::test::storedIntervals(*connection); }

    // Writes through the interval dialog, with the edits set as given (nullopt: as offered).
    WriteOutcome writeVia(const ResponseInput& in, std::optional<std::string> start = std::nullopt,
                          std::optional<std::string> end = std::nullopt, int choose = -1,
                          Strings* offered = nullptr, bool cancel = false) {
        return writeResponse(*connection, ui, in, [&](IntervalChoiceDialog& dialog) {
            if (offered) {
                *offered = dialog.entries;
                offered->push_back("edits: " + dialog.startEdit + " | " + dialog.endEdit);
            }
            if (cancel)
                return false;
            if (choose >= 0)
                dialog.chooseEntry(choose);
            if (start)
                dialog.startEdit = *start;
            if (end)
                dialog.endEdit = *end;
            dialog.write();
            return true;
        });
    }

    TestDatabase db;
    std::unique_ptr<orv::odbc::Connection> connection;
    orv::ui::ScriptedInteraction ui;
};

TEST_P(Writer, TheFirstResponseOfAKeyIsInsertedDirectlyAndOpen) {
    const auto before = nowToTheSecond();
    EXPECT_EQ(writeResponse(*connection, ui, input("2003.01.01 00:00:00"), nullptr),
              WriteOutcome::Written);
    EXPECT_EQ(rows(), (Strings{"2003.01.01 00:00:00 / -"}));
    EXPECT_EQ(ui.messageTexts(), (Strings{"Запись прошла успешно!"}));
    EXPECT_EQ(ui.messages()[0].caption, "Запись информации в базу данных");
    // Line breaks stored as "|"; SENS = 1e9 / CALIB; the units by their ids.
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3|POLES 2|CONSTANT 1.0|");
    EXPECT_EQ(db.scalar("SELECT ID_SENS FROM CALIBRATION"), "1");
    EXPECT_EQ(db.scalar("SELECT ID_FREQ FROM CALIBRATION"), "0");
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT SENS FROM CALIBRATION")), 2e9);
    orv::odbc::Statement st(*connection);
    st.execDirect("SELECT LDDATE FROM CALIBRATION");
    ASSERT_TRUE(orv::odbc::isSuccess(st.fetch()));
    EXPECT_GE(*st.getTimestamp(1), before);
}

TEST_P(Writer, EmptyNetworkAndLocationTakeTheirDefaultsAndUnitsMapToIds) {
    auto in = input("2003.01.01 00:00:00");
    in.network = "";
    in.location = "";
    in.sensUnit = "nm/counts*sec**2";
    in.freqUnit = "rad/sec";
    ASSERT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Written);
    // The success box names the key a defaulted network was written under.
    EXPECT_EQ(ui.messageTexts(),
              (Strings{"Запись прошла успешно!\nСеть не указана, записано под сетью XYN: "
                       "XYN KIV BHZ ??"}));
    EXPECT_EQ(db.scalar("SELECT NETWORK FROM CALIBRATION"), "XYN");
    EXPECT_EQ(db.scalar("SELECT LOCATION FROM CALIBRATION"), "??");
    EXPECT_EQ(db.scalar("SELECT ID_SENS FROM CALIBRATION"), "2");
    EXPECT_EQ(db.scalar("SELECT ID_FREQ FROM CALIBRATION"), "1");
}

TEST_P(Writer, MissingFieldsAndUnusableValuesAreRefusedBeforeTheDatabase) {
    auto in = input("");
    EXPECT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Refused);
    EXPECT_EQ(ui.messages().back().text,
              "Для занесения в базу необходимо заполнить поля Станция, Канал и Время!");
    EXPECT_EQ(ui.messages().back().icon, Icon::Information);

    for (const char* calib : {"", "0", "0.0", "abc"}) {
        in = input("2003.01.01 00:00:00");
        in.calib = calib;
        EXPECT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Refused) << calib;
        EXPECT_NE(ui.messages().back().text.find("CALIB"), std::string::npos);
    }
    in = input("2003.01.01 00:00:00");
    in.text = std::string(kMaxResponseTextBytes + 1, 'x');
    EXPECT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Refused);
    EXPECT_NE(ui.messages().back().text.find("131071"), std::string::npos);
    EXPECT_TRUE(rows().empty());
}

TEST_P(Writer, CodesAreStoredWholeToTheWidthOfTheirColumnsAndNoTextIsNoResponse) {
    auto in = input("2003.01.01 00:00:00");
    in.network = "NETWORK8";
    in.station = "СТАНЦИЯ8";
    in.channel = "CHANNEL8";
    in.location = "LOCATIO8";
    ASSERT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Written)
        << testing::PrintToString(ui.messageTexts());
    EXPECT_EQ(db.scalar("SELECT NETWORK FROM CALIBRATION"), "NETWORK8");
    EXPECT_EQ(db.scalar("SELECT STA FROM CALIBRATION"), "СТАНЦИЯ8");
    EXPECT_EQ(db.scalar("SELECT CHAN FROM CALIBRATION"), "CHANNEL8");
    EXPECT_EQ(db.scalar("SELECT LOCATION FROM CALIBRATION"), "LOCATIO8");

    // One character more in any code: refused, not cut into another station's key.
    for (std::string ResponseInput::*code : {&ResponseInput::network, &ResponseInput::station,
                                             &ResponseInput::channel, &ResponseInput::location}) {
        auto longer = input("2004.01.01 00:00:00");
        longer.*code = "ABCDEFGHI";
        EXPECT_EQ(writeResponse(*connection, ui, longer, nullptr), WriteOutcome::Refused);
        EXPECT_NE(ui.messages().back().text.find("\"ABCDEFGHI\" их 9."), std::string::npos)
            << ui.messages().back().text;
    }
    for (const char* empty : {"", " \r\n\r\n"}) {
        in = input("2004.01.01 00:00:00");
        in.text = empty;
        EXPECT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Refused);
        EXPECT_EQ(ui.messages().back().text,
                  "Текст отклика пуст: записывать нечего.\r\nЗапись в базу не выполнена.");
    }
    EXPECT_EQ(rows().size(), 1u);
}

TEST_P(Writer, ANewOpenResponseClosesTheOpenOneAtItsStart) {
    stored("2003-01-01 00:00:00", "");
    Strings offered;
    EXPECT_EQ(writeVia(input("2005.01.01 00:00:00"), std::nullopt, std::nullopt, -1, &offered),
              WriteOutcome::Written);
    EXPECT_EQ(offered, (Strings{"2003.01.01 00:00:00 / до настоящего времени",
                                "edits: 2005.01.01 00:00:00 | "}));
    EXPECT_EQ(rows(),
              (Strings{"2003.01.01 00:00:00 / 2005.01.01 00:00:00", "2005.01.01 00:00:00 / -"}));
    EXPECT_EQ(ui.messageTexts(), (Strings{"Запись прошла успешно!"}));
    EXPECT_EQ(ui.messages()[0].caption, "Запись информации в базу");
}

TEST_P(Writer, AClosedIntervalOverlappingALaterOneIsAskedAboutNamingIt) {
    stored("2003-01-01 00:00:00", "2005-01-01 00:00:00");
    stored("2005-01-01 00:00:00", "");
    const std::string question =
        "Новый интервал 2004.01.01 00:00:00 / 2006.01.01 00:00:00 перекрывает интервал "
        "2005.01.01 00:00:00 / до настоящего времени, уже записанный в базе.\r\nЗакончить "
        "новый интервал датой 2005.01.01 00:00:00, началом записанного? (Нет: ничего не "
        "записывать)";
    // Нет: nothing is written.
    ui.answer(orv::ui::Answer::No);
    EXPECT_EQ(writeVia(input("2004.01.01 00:00:00 / 2006.01.01 00:00:00")),
              WriteOutcome::DialogFailed);
    EXPECT_EQ(ui.messageTexts(), (Strings{question}));
    EXPECT_EQ(ui.messages()[0].icon, Icon::Question);
    EXPECT_EQ(ui.messages()[0].defaultAnswer, orv::ui::Answer::No); // Enter writes nothing
    EXPECT_EQ(rows(),
              (Strings{"2003.01.01 00:00:00 / 2005.01.01 00:00:00", "2005.01.01 00:00:00 / -"}));
    // Да: the new interval ends where the stored one begins.
    ui.clear();
    ui.answer(orv::ui::Answer::Yes);
    EXPECT_EQ(writeVia(input("2004.01.01 00:00:00 / 2006.01.01 00:00:00")), WriteOutcome::Written);
    EXPECT_EQ(ui.messageTexts(), (Strings{question, "Запись прошла успешно!"}));
    EXPECT_EQ(rows(),
              (Strings{"2003.01.01 00:00:00 / 2004.01.01 00:00:00",
                       "2004.01.01 00:00:00 / 2005.01.01 00:00:00", "2005.01.01 00:00:00 / -"}));
}

TEST_P(Writer, AnOverlappingClosedIntervalIsRefusedWhereNoOneIsAsked) {
    stored("2020-01-01 00:00:00", "");
    EXPECT_EQ(writeResponse(*connection, ui, input("2010.01.01 00:00:00 / 2021.01.01 00:00:00"),
                            [](IntervalChoiceDialog& dialog) {
                                dialog.overlap = IntervalChoiceDialog::Overlap::Refuse;
                                dialog.write();
                                return true;
                            }),
              WriteOutcome::DialogFailed);
    EXPECT_EQ(ui.messageTexts(),
              (Strings{"Новый интервал 2010.01.01 00:00:00 / 2021.01.01 00:00:00 перекрывает "
                       "интервал 2020.01.01 00:00:00 / до настоящего времени, уже записанный в "
                       "базе.\r\nЗапись в базу не выполнена."}));
    EXPECT_EQ(rows(), (Strings{"2020.01.01 00:00:00 / -"}));
    // A closed interval that ends where the stored one begins overlaps nothing.
    ui.clear();
    EXPECT_EQ(writeVia(input("2010.01.01 00:00:00 / 2020.01.01 00:00:00")), WriteOutcome::Written);
    EXPECT_EQ(ui.messageTexts(), (Strings{"Запись прошла успешно!"}));
}

TEST_P(Writer, ANewOpenIntervalBeforeALaterStoredOneEndsAtItsStartAndSaysSo) {
    // Both in the future, so that the open write covers neither.
    stored("2090-01-01 00:00:00", "");
    EXPECT_EQ(writeVia(input("2089.01.01 00:00:00")), WriteOutcome::Written);
    EXPECT_EQ(rows(),
              (Strings{"2089.01.01 00:00:00 / 2090.01.01 00:00:00", "2090.01.01 00:00:00 / -"}));
    EXPECT_EQ(ui.messageTexts(),
              (Strings{"Запись прошла успешно!\r\nНовый интервал закончен датой 2090.01.01 "
                       "00:00:00: с неё в базе начинается интервал 2090.01.01 00:00:00 / до "
                       "настоящего времени."}));
    // A stored interval up to now is still covered and deleted, as before.
    ui.clear();
    stored("2010-01-01 00:00:00", "2011-01-01 00:00:00");
    EXPECT_EQ(writeVia(input("2009.01.01 00:00:00")), WriteOutcome::Written);
    EXPECT_EQ(rows(),
              (Strings{"2009.01.01 00:00:00 / 2089.01.01 00:00:00",
                       "2089.01.01 00:00:00 / 2090.01.01 00:00:00", "2090.01.01 00:00:00 / -"}));
}

TEST_P(Writer, ACoveredRowOfTheSameStartIsReplaced) {
    stored("2003-01-01 00:00:00", "2004-01-01 00:00:00");
    EXPECT_EQ(writeVia(input("2003.01.01 00:00:00 / 2005.01.01 00:00:00")), WriteOutcome::Written);
    EXPECT_EQ(rows(), (Strings{"2003.01.01 00:00:00 / 2005.01.01 00:00:00"}));
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3|POLES 2|CONSTANT 1.0|");
}

TEST_P(Writer, AKeyConflictRollsEverythingBackAndReportsNoSuccess) {
    stored("2002-01-01 00:00:00", "");
    stored("2003-01-01 00:00:00", "2009-01-01 00:00:00");
    EXPECT_EQ(writeVia(input("2003.01.01 00:00:00 / 2005.01.01 00:00:00")),
              WriteOutcome::DialogFailed);
    // The 2002 row would have been closed at 2003: rolled back with the rest.
    EXPECT_EQ(rows(),
              (Strings{"2002.01.01 00:00:00 / -", "2003.01.01 00:00:00 / 2009.01.01 00:00:00"}));
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.starts_with("При попытке записи в базу произошла ошибка:\r\n"));
    EXPECT_EQ(messages[0].icon, Icon::Exclamation);
}

TEST_P(Writer, AFapResponseCompletesARowOfTheSameStartThatHasOnlySac) {
    stored("2003-01-01 00:00:00", "2004-01-01 00:00:00", "KEEP");
    stored("2004-01-01 00:00:00", "");
    EXPECT_EQ(writeVia(input("2003.01.01 00:00:00", 1)), WriteOutcome::Written);
    EXPECT_EQ(rows(),
              (Strings{"2003.01.01 00:00:00 / 2004.01.01 00:00:00", "2004.01.01 00:00:00 / -"}));
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION WHERE FAP IS NOT NULL"), "KEEP");
    // The completed text is stored as it stands.
    EXPECT_EQ(db.scalar("SELECT FAP FROM CALIBRATION WHERE FAP IS NOT NULL"), "1.0 2.0 0.0\r\n");
    EXPECT_DOUBLE_EQ(
        orv::text::toDouble(db.scalar("SELECT SENS FROM CALIBRATION WHERE FAP IS NOT NULL")), 2e9);
}

TEST_P(Writer, ChoosingAListedClosedIntervalReplacesItsRow) {
    stored("2003-01-01 00:00:00", "2004-01-01 00:00:00");
    stored("2004-01-01 00:00:00", "");
    // Entries newest first: [0] the open one, [1] the closed one.
    EXPECT_EQ(writeVia(input("2010.01.01 00:00:00"), std::nullopt, std::nullopt, 1),
              WriteOutcome::Written);
    EXPECT_EQ(rows(),
              (Strings{"2003.01.01 00:00:00 / 2004.01.01 00:00:00", "2004.01.01 00:00:00 / -"}));
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION WHERE ENDDATE IS NOT NULL"),
              "ZEROS 3|POLES 2|CONSTANT 1.0|");
}

TEST_P(Writer, ChoosingTheListedOpenIntervalReplacesItWithANewOpenRow) {
    stored("2003-01-01 00:00:00", "");
    EXPECT_EQ(writeVia(input("2010.01.01 00:00:00"), std::nullopt, std::nullopt, 0),
              WriteOutcome::Written);
    EXPECT_EQ(rows(), (Strings{"2003.01.01 00:00:00 / -"}));
    EXPECT_EQ(db.scalar("SELECT SAC FROM CALIBRATION"), "ZEROS 3|POLES 2|CONSTANT 1.0|");
}

TEST_P(Writer, ANewOpenIntervalKeepsRowsThatStartInTheFutureAndEndsAtTheFirst) {
    stored("2003-01-01 00:00:00", "");
    stored("2999-01-01 00:00:00", "");
    EXPECT_EQ(writeVia(input("2005.01.01 00:00:00")), WriteOutcome::Written);
    EXPECT_EQ(rows(),
              (Strings{"2003.01.01 00:00:00 / 2005.01.01 00:00:00",
                       "2005.01.01 00:00:00 / 2999.01.01 00:00:00", "2999.01.01 00:00:00 / -"}));
}

TEST_P(Writer, CancellingTheDialogWritesNothing) {
    stored("2003-01-01 00:00:00", "");
    EXPECT_EQ(writeVia(input("2005.01.01 00:00:00"), std::nullopt, std::nullopt, -1, nullptr, true),
              WriteOutcome::Cancelled);
    EXPECT_EQ(rows(), (Strings{"2003.01.01 00:00:00 / -"}));
    EXPECT_TRUE(ui.shown().empty());
}

TEST_P(Writer, AMistypedTimeIsRefusedBeforeAnyStatementAndTheHistoryStays) {
    stored("2001-01-01 00:00:00", "2005-01-01 00:00:00");
    stored("2005-01-01 00:00:00", "2008-01-01 00:00:00");
    stored("2008-01-01 00:00:00", "");
    const Strings history = rows();
    // Which texts are dates is the reader's test; here, that the write goes no further.
    EXPECT_EQ(writeVia(input("15.03.2009 00:00:00")), WriteOutcome::Refused);
    EXPECT_TRUE(ui.messages().back().text.starts_with("Время: ")) << ui.messages().back().text;
    EXPECT_EQ(ui.messages().back().icon, Icon::Exclamation);
    // In the dialog: a start that does not exist, an end before the start.
    for (const auto& [start, end, field] :
         {std::tuple{"2009.02.30 00:00:00", "", "STARTDATE: "},
          std::tuple{"2009.03.15 00:00:00", "2009.03.01 00:00:00", "ENDDATE: "}}) {
        ui.clear();
        EXPECT_EQ(writeVia(input("2009.03.15 00:00:00"), start, end), WriteOutcome::DialogFailed);
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_TRUE(ui.messages()[0].text.starts_with(field)) << ui.messages()[0].text;
    }
    EXPECT_EQ(rows(), history);
}

TEST_P(Writer, TypedNumbersTakeADecimalCommaAndRefuseWhatIsNotAFiniteNumber) {
    auto in = input("2003.01.01 00:00:00");
    in.calib = "0,5";
    in.freq = "0,25";
    ASSERT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Written);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT SENS FROM CALIBRATION")), 2e9);
    EXPECT_DOUBLE_EQ(orv::text::toDouble(db.scalar("SELECT FREQ FROM CALIBRATION")), 0.25);
    // 1e-300 is a number, but SENS = 1e9 / CALIB is not finite.
    for (const auto& [calib, freq] :
         {std::pair{"0x10", "1"}, std::pair{"1e-300", "1"}, std::pair{"1", "nan"}}) {
        in = input("2004.01.01 00:00:00");
        in.network = "NEW";
        in.calib = calib;
        in.freq = freq;
        EXPECT_EQ(writeResponse(*connection, ui, in, nullptr), WriteOutcome::Refused)
            << calib << freq;
        EXPECT_NE(ui.messages().back().text.find(std::string(calib) == "1" ? "FREQ" : "CALIB"),
                  std::string::npos)
            << ui.messages().back().text;
    }
    EXPECT_EQ(rows().size(), 1u);
}

TEST_P(Writer, AStepThatCannotRunIsReportedAsAFailure) {
    // No statement can be allocated on a connection that is gone.
    stored("2003-01-01 00:00:00", "");
    connection->disconnect();
    EXPECT_EQ(writeResponse(*connection, ui, input("2005.01.01 00:00:00"), nullptr),
              WriteOutcome::Failed);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, Icon::Exclamation);

    // The connection goes while the interval dialog is open.
    connection = db.connect();
    ui.clear();
    const auto outcome = writeResponse(*connection, ui, input("2005.01.01 00:00:00"),
                                       [&](IntervalChoiceDialog& dialog) {
                                           connection->disconnect();
                                           dialog.write();
                                           return true;
                                       });
    EXPECT_EQ(outcome, WriteOutcome::DialogFailed);
    ASSERT_FALSE(ui.messages().empty());
    for (const auto& m : ui.messages())
        EXPECT_NE(m.text, "Запись прошла успешно!");
    connection = db.connect();
    EXPECT_EQ(rows(), (Strings{"2003.01.01 00:00:00 / -"}));
}

// The preview reads what the write would leave without writing: for each stored history
// and new interval, its rows are those the write then leaves, and a closed interval over a
// later row that starts inside it and ends later is refused by both.
TEST_P(Writer, ThePreviewShowsTheRowsTheWriteLeaves) {
    struct Case {
        Strings stored; // "start|end", end empty when open
        std::string time;
    };
    const std::vector<Case> cases = {
        {{"2000-01-01 00:00:00|2020-01-01 00:00:00"}, "2005.01.01 00:00:00 / 2010.01.01 00:00:00"},
        {{"2015-01-01 00:00:00|"}, "2010.01.01 00:00:00"},
        {{"2000-01-01 00:00:00|2005-01-01 00:00:00", "2005-01-01 00:00:00|2010-01-01 00:00:00",
          "2010-01-01 00:00:00|"},
         "2003.01.01 00:00:00 / 2010.01.01 00:00:00"},
        {{"2000-01-01 00:00:00|", "2090-01-01 00:00:00|"}, "2005.01.01 00:00:00"},
        {{"2005-01-01 00:00:00|2006-01-01 00:00:00"}, "2005.01.01 00:00:00 / 2010.01.01 00:00:00"},
        {{"2020-01-01 00:00:00|2025-01-01 00:00:00"}, "2018.01.01 00:00:00 / 2022.01.01 00:00:00"},
    };
    for (const Case& c : cases) {
        db.exec("DELETE FROM CALIBRATION");
        for (const std::string& row : c.stored)
            stored(row.substr(0, row.find('|')), row.substr(row.find('|') + 1));
        orv::ui::ScriptedInteraction quiet;
        IntervalChoiceDialog dialog(*connection, quiet, *prepareResponse(input(c.time), quiet));
        const IntervalChoiceDialog::Preview preview = dialog.preview();
        Strings promised;
        for (const StoredInterval& i : preview.after)
            promised.push_back(formatDateText(i.start) + " / " +
                               (i.end ? formatDateText(*i.end) : std::string("-")));
        const WriteOutcome outcome =
            writeResponse(*connection, ui, input(c.time), [](IntervalChoiceDialog& d) {
                d.overlap = IntervalChoiceDialog::Overlap::Refuse;
                d.write();
                return true;
            });
        if (preview.kind == IntervalChoiceDialog::Preview::Kind::Refused) {
            EXPECT_EQ(outcome, WriteOutcome::DialogFailed) << c.time;
            EXPECT_EQ(quiet.messageTexts().back(), ui.messageTexts().back()) << c.time;
            continue;
        }
        EXPECT_EQ(preview.kind, IntervalChoiceDialog::Preview::Kind::Writes) << c.time;
        EXPECT_EQ(outcome, WriteOutcome::Written) << c.time;
        EXPECT_EQ(promised, rows()) << c.time;
    }
}

// A new interval whose start is that of a stored row the write keeps (a closed one over a
// row of its start that ends later or is open; an open one starting after now over a row of
// its start) cannot be inserted beside it: the table's key holds one row per start. The
// write fails on the key and leaves the rows as they were; the preview says it is not
// written, rather than promising the rows of a write.
TEST_P(Writer, ThePreviewRefusesWhatTheTableKeyRefusesAtTheSameStart) {
    struct Case {
        Strings stored; // "start|end", end empty when open
        std::string time;
    };
    const std::vector<Case> cases = {
        {{"2012-03-13 08:10:00|"}, "2012.03.13 08:10:00 / 2014.08.12 00:00:00"},
        {{"2005-01-01 00:00:00|2020-01-01 00:00:00"}, "2005.01.01 00:00:00 / 2010.01.01 00:00:00"},
        {{"2090-01-01 00:00:00|"}, "2090.01.01 00:00:00"},
    };
    for (const Case& c : cases) {
        db.exec("DELETE FROM CALIBRATION");
        for (const std::string& row : c.stored)
            stored(row.substr(0, row.find('|')), row.substr(row.find('|') + 1));
        const Strings before = rows();
        orv::ui::ScriptedInteraction quiet;
        IntervalChoiceDialog dialog(*connection, quiet, *prepareResponse(input(c.time), quiet));
        const IntervalChoiceDialog::Preview preview = dialog.preview();
        const WriteOutcome outcome =
            writeResponse(*connection, ui, input(c.time), [](IntervalChoiceDialog& d) {
                d.overlap = IntervalChoiceDialog::Overlap::Refuse;
                d.write();
                return true;
            });
        EXPECT_NE(outcome, WriteOutcome::Written) << c.time;
        connection = db.connect();
        EXPECT_EQ(rows(), before) << c.time;
        EXPECT_EQ(preview.kind, IntervalChoiceDialog::Preview::Kind::Refused) << c.time;
        const Strings said = quiet.messageTexts();
        EXPECT_TRUE(!said.empty() &&
                    said.back().find("Запись в базу не выполнена.") != std::string::npos)
            << c.time << ": " << testing::PrintToString(said);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Writer, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
