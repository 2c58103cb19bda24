// A station dialog on a throwaway database, driven without a display.
#pragma once

#include "core/stationdlg.h"
#include "text/text.h"
#include "ui/scripted.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <memory>

// Records what it is asked to start instead of starting it.
class RecordingLauncher : public orv::sitewright::ProcessLauncher {
public:
    bool startDetached(const std::string& program,
                       const std::vector<std::string>& arguments) override {
        started.push_back({program, arguments});
        return true;
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> started;
};

// Codes that mean something to one SQL dialect or another: quotes, a backslash (an escape
// in MariaDB's default mode), the wildcards of LIKE, comment starts and a statement end.
inline const std::vector<std::string> kHostileCodes = {
    "'", "\\'", "\\", "%", "_", "--", "#", ";", "\\'or 1#", "'or 1=1", "K%", "'--"};

class DialogTest : public testing::TestWithParam<orv::test::Backend> {
protected:
    DialogTest() : db(GetParam()) {}
    void SetUp() override {
        ORV_SKIP_IF_UNAVAILABLE(db);
        db.createSiteTable();
        if (withChannelTable)
            db.createSiteChanTable();
        startup = db.connect();
    }

    orv::sitewright::DialogContext context() {
        orv::sitewright::DialogContext c;
        c.settings.dsn = db.dsn();
        c.settings.user = db.user();
        c.settings.password = db.password();
        c.startupConnection = startup.get();
        c.ui = &ui;
        c.launcher = &launcher;
        c.localSettings = dir / "Sitewright.ini";
        c.systemSettings = dir / "orv.ini";
        return c;
    }

    // A dialog opened on the requested station.
    std::unique_ptr<orv::sitewright::CStationDlg> openDialog(const std::string& station = "") {
        auto d = std::make_unique<orv::sitewright::CStationDlg>(context(), station);
        d->open();
        return d;
    }

    // A text as a literal of the test's back end: apostrophes doubled and, on MariaDB,
    // whose default mode reads a backslash as an escape, backslashes too.
    std::string literal(const std::string& text) const {
        std::string quoted = text;
        if (db.backend() == orv::test::Backend::MariaDB)
            quoted = orv::text::replaceAll(quoted, "\\", "\\\\");
        // Built by appends: GCC 12 at -O3 reads the sum of a literal and a string as an
        // overlapping copy.
        std::string result(1, '\'');
        result += orv::text::replaceAll(quoted, "'", "''");
        result += '\'';
        return result;
    }

    // A station with the given groups written straight into the tables.
    void addSite(const std::string& sta, int nindex, int ngroups) {
        db.exec(orv::text::format("INSERT INTO SITE (STA, NINDEX, NGROUPS, LAT, LON, ELEV) "
                                  "VALUES (%s, %d, %d, 10, 20, 30)",
                                  literal(sta).c_str(), nindex, ngroups));
    }
    void addChan(const std::string& sta, const std::string& chan, int group, int index,
                 const std::string& extraColumns = "", const std::string& extraValues = "") {
        db.exec(orv::text::format("INSERT INTO SITECHAN (STA, CHAN, NGROUP, CHANINDEX%s) VALUES "
                                  "(%s, %s, %d, %d%s)",
                                  extraColumns.c_str(), literal(sta).c_str(), literal(chan).c_str(),
                                  group, index, extraValues.c_str()));
    }
    std::vector<std::string> channelsOf(const std::string& sta) {
        auto v = db.column("SELECT CHAN FROM SITECHAN WHERE STA='" + sta + "' ORDER BY CHAN");
        return v;
    }

    std::string site(const std::string& column, const std::string& sta) {
        return db.scalar("SELECT " + column + " FROM SITE WHERE STA='" + sta + "'");
    }

    bool withChannelTable = true;
    orv::test::TestDatabase db;
    orv::test::TempDir dir;
    std::unique_ptr<orv::odbc::Connection> startup;
    orv::ui::ScriptedInteraction ui;
    RecordingLauncher launcher;
};
