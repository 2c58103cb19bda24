// The window "Проверка архива" without a display, over real databases: what it checks (the
// panel's station or network, or the whole archive after a question), its Russian lines,
// their order by severity and by rule, and a chosen line shown in the database panel.
#include "archivecheckdialog.h"

#include "../db/tests/responsetables.h"
#include "testdb.h"
#include "ui/scripted.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orv;
using namespace orv::gainbook;
using orv::test::Backend;
using orv::test::TempDir;
using orv::test::TestDatabase;
using orv::ui::Answer;
using Strings = std::vector<std::string>;

namespace {

// One origin zero and one pole at -2*pi rad/s, CONSTANT 1000: for velocity at 1 Hz the
// sensitivity is 1000 / (2*pi*sqrt(2)) = 112.5395 counts per nm/s.
const char* const kSac = "ZEROS 1\r\nPOLES 1\r\n-6.283185307179586 0\r\nCONSTANT 1000\r\n";
constexpr double kSens = 112.5395;

class CheckWindow : public testing::TestWithParam<Backend> {
protected:
    CheckWindow() : db(GetParam()) {}

    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        db.createSiteTable();
        db.createSiteChanTable("EDEPTH");
        gainbook::test::createResponseTables(db);
        // KIV: two intervals that overlap, the second with a SENS its text does not give.
        site("KIV", 50);
        chan("KIV", "BHZ", 20);
        resp("KZ", "KIV", "BHZ", "2001-01-01 00:00:00", "2003-01-01 00:00:00", kSens);
        resp("KZ", "KIV", "BHZ", "2002-01-01 00:00:00", "", 5.0);
        // ABC: an H channel at 20 samples per second, and a channel without a response.
        site("ABC", 51);
        chan("ABC", "HHZ", 20);
        chan("ABC", "BHN", 20);
        resp("KZ", "ABC", "HHZ", "2000-01-01 00:00:00", "", kSens);
        // XYZ, in another network: a latitude beyond the pole.
        site("XYZ", 95);
        chan("XYZ", "BHZ", 20);
        resp("II", "XYZ", "BHZ", "2000-01-01 00:00:00", "", kSens);

        window =
            std::make_unique<MainWindow>(ui, ConnectionDialogRunner{}, dir.path(), dir / "ORV.ini");
        window->startUp({"ODBC=" + db.dsn(), "USER=ORV", "PASSWORD=KTZ"});
        ASSERT_TRUE(window->connected()) << testing::PrintToString(ui.messageTexts());
        ui.clear();
    }
    void site(const std::string& sta, double lat) {
        db.exec("INSERT INTO SITE(STA,LAT,LON,ELEV) VALUES('" + sta + "'," + std::to_string(lat) +
                ",70,100)");
    }
    void chan(const std::string& sta, const std::string& cha, double sps) {
        db.exec("INSERT INTO SITECHAN(STA,CHAN,NGROUP,SPS,LCODE,LAT,LON,EDEPTH) VALUES('" + sta +
                "','" + cha + "',1," + std::to_string(sps) + ",'00',NULL,NULL,NULL)");
    }
    void resp(const std::string& net, const std::string& sta, const std::string& cha,
              const std::string& start, const std::string& end, double sens) {
        gainbook::test::insertResponse(db, net, sta, cha, "00", start, end, kSac, "", sens, 1);
    }
    // The panel on a key.
    void show(const std::string& net, const std::string& sta, const std::string& cha) {
        window->browser.requestSelection(sta, net, cha, "00");
        window->fillDatabasePanel();
    }
    // Each line as "severity rule key start".
    static Strings shown(const ArchiveCheckDialog& d) {
        Strings out;
        for (const CheckLine& l : d.lines)
            out.push_back(l.severity + " " + l.rule + " " + l.key + " " + l.start);
        return out;
    }
    static Strings sorted(Strings s) {
        std::sort(s.begin(), s.end());
        return s;
    }

    TestDatabase db;
    TempDir dir;
    ui::ScriptedInteraction ui;
    std::unique_ptr<MainWindow> window;
};

const std::string kOverlap = "ошибка epoch-overlap KZ.KIV.00.BHZ 2002.01.01 00:00:00";
const std::string kSensText = "ошибка sens-text KZ.KIV.00.BHZ 2002.01.01 00:00:00";
const std::string kNoResponse = "предупреждение chan-no-response -.ABC.00.BHN ";
const std::string kBandRate = "предупреждение band-rate -.ABC.00.HHZ ";
const std::string kLatitude = "ошибка lat-range -.XYZ.-.- ";

} // namespace

TEST_P(CheckWindow, ChecksThePanelsStationOrNetworkOrTheWholeArchiveAfterAQuestion) {
    show("KZ", "KIV", "BHZ");
    ArchiveCheckDialog d(*window, ui);
    // The panel's first list is the station's: the station is checked.
    EXPECT_EQ(d.scope, CheckScope::Station);
    EXPECT_EQ(d.scopeText(CheckScope::Station), "Станция KIV");
    EXPECT_EQ(d.scopeText(CheckScope::Network), "Сеть KZ");
    d.run();
    EXPECT_EQ(sorted(shown(d)), sorted({kOverlap, kSensText}));
    EXPECT_EQ(d.summary, "Ошибок: 2, предупреждений: 0 (станция KIV: откликов 2, станций 1, "
                         "каналов 1)");
    // Every line says in Russian what is wrong and what to change.
    EXPECT_EQ(d.lines[0].text, "интервалы одного ключа перекрываются или открыты оба: закройте "
                               "более ранний интервал в начале этого.");

    d.chooseScope(CheckScope::Network);
    d.run();
    EXPECT_EQ(sorted(shown(d)), sorted({kOverlap, kSensText, kNoResponse, kBandRate}));

    // The whole archive only after the user agrees.
    d.chooseScope(CheckScope::Archive);
    ui.answer(Answer::No);
    d.run();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].caption, kArchiveCheckTitle);
    EXPECT_EQ(shown(d).size(), 4u);
    ui.clear();
    ui.answer(Answer::Yes);
    d.run();
    EXPECT_EQ(sorted(shown(d)), sorted({kOverlap, kSensText, kNoResponse, kBandRate, kLatitude}));
    EXPECT_TRUE(ui.allAnswersUsed());

    // Kept to a number of lines, the rest counted.
    d.maxLines = 2;
    d.run();
    EXPECT_EQ(d.lines.size(), 2u);
    EXPECT_NE(d.summary.find("Ошибок: 3, предупреждений: 2"), std::string::npos) << d.summary;
    EXPECT_NE(d.summary.find("показаны первые 2"), std::string::npos) << d.summary;

    // Browsing by network, the network is offered first; an empty panel leaves the archive.
    ArchiveCheckDialog byNetwork(*window, ui);
    window->browser.chooseBrowseOrder(false);
    byNetwork.refresh();
    EXPECT_EQ(byNetwork.scope, CheckScope::Network);
    window->browser.fullReset();
    byNetwork.refresh();
    EXPECT_EQ(byNetwork.scope, CheckScope::Archive);
    EXPECT_FALSE(byNetwork.scopeEnabled(CheckScope::Station));
    EXPECT_FALSE(byNetwork.scopeEnabled(CheckScope::Network));
}

TEST_P(CheckWindow, SortsByRuleAndBySeverityKeepingTheOrderFoundWithinAndTheChosenLine) {
    show("KZ", "KIV", "BHZ");
    ArchiveCheckDialog d(*window, ui);
    d.chooseScope(CheckScope::Network);
    d.run();
    const Strings found = shown(d);
    d.selected = 1;
    const std::string chosen = found[1];

    d.sortBy(CheckOrder::Severity);
    Strings bySeverity;
    for (const char* severity : {"ошибка ", "предупреждение "})
        std::copy_if(found.begin(), found.end(), std::back_inserter(bySeverity),
                     [&](const std::string& l) { return l.starts_with(severity); });
    EXPECT_EQ(shown(d), bySeverity);
    EXPECT_EQ(shown(d)[d.selected], chosen);

    d.sortBy(CheckOrder::Rule);
    EXPECT_EQ(shown(d), (Strings{kBandRate, kNoResponse, kOverlap, kSensText}));
    d.sortBy(CheckOrder::Rule); // again: the other way
    EXPECT_EQ(shown(d), (Strings{kSensText, kOverlap, kNoResponse, kBandRate}));
    EXPECT_EQ(shown(d)[d.selected], chosen);

    d.sortBy(CheckOrder::Found);
    EXPECT_EQ(shown(d), found);
}

TEST_P(CheckWindow, AChosenLineShowsItsKeyAndIntervalInTheDatabasePanel) {
    show("II", "XYZ", "BHZ");
    ArchiveCheckDialog d(*window, ui);
    d.chooseScope(CheckScope::Archive);
    d.run();
    const auto line = [&](const std::string& text) {
        const Strings s = shown(d);
        return int(std::find(s.begin(), s.end(), text) - s.begin());
    };
    ui.clear();

    // A response's finding: its key and the interval it names.
    d.chooseLine(line(kSensText));
    BrowserKey k = window->browser.currentKey();
    EXPECT_EQ(k.station + " " + k.network + " " + k.channel + " " + k.location, "KIV KZ BHZ 00");
    EXPECT_EQ(k.interval, "2002.01.01 00:00:00");
    d.chooseLine(line(kOverlap));
    EXPECT_EQ(window->browser.currentKey().interval, "2002.01.01 00:00:00");

    // A station's finding names no network: the panel, browsing by network, shows the
    // station in a network of its own.
    window->browser.chooseBrowseOrder(false);
    d.chooseLine(line(kLatitude));
    k = window->browser.currentKey();
    EXPECT_EQ(k.station + " " + k.network, "XYZ II");
    EXPECT_TRUE(ui.messages().empty()) << testing::PrintToString(ui.messageTexts());

    // A channel without any response: the user is told that the panel shows another key.
    d.chooseLine(line(kNoResponse));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text,
              "В базе нет отклика -.ABC.00.BHN: панель «В БАЗЕ» показывает ближайший ключ.");
    EXPECT_EQ(d.selected, line(kNoResponse));
}

TEST_P(CheckWindow, WithoutAConnectionNothingIsChecked) {
    window->connection.reset();
    ArchiveCheckDialog d(*window, ui);
    d.run();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Нет подключения к базе данных: проверять нечего.");
    EXPECT_TRUE(d.lines.empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, CheckWindow, testing::ValuesIn(orv::test::allBackends()),
                         orv::test::backendParamName);
