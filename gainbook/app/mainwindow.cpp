#include "mainwindow.h"

#include "connectiondialog.h"
#include "db/datetext.h"
#include "db/sitechanlookup.h"
#include "db/statements.h"
#include "db/typedinput.h"
#include "formats/fap.h"
#include "formats/responsefile.h"
#include "response/evaluation.h"
#include "text/text.h"

namespace orv::gainbook {

namespace {

constexpr const char* kResponseFilter = "All Files (*.*)|*.*|SAC (*.sac)|*.sac|FAP (*.fap)|*.fap||";

} // namespace

MainWindow::MainWindow(ui::Interaction& ui, ConnectionDialogRunner connectionDialog,
                       std::filesystem::path currentDirectory, ini::SettingsFiles sharedSettings_)
    : localSettingsFile(localSettingsPath(currentDirectory)),
      sharedSettings(std::move(sharedSettings_)), browser(nullptr, ui), ui_(ui),
      connectionDialog_(std::move(connectionDialog)) {}

void MainWindow::setBusy(bool b) {
    busy = b;
    if (busyChanged)
        busyChanged();
}

bool MainWindow::openWithSettings() {
    OpenResult open = openConnection(settings);
    if (open.connection) {
        connection = std::move(open.connection);
        browser.setConnection(connection.get());
        return true;
    }
    dropConnection();
    if (open.refused)
        ui_.warn(failureText("подключения к базе данных", open.diagnostic),
                 settingsFromLocalFile ? "Ошибка при подключении к базе данных (файл Gainbook.ini)"
                                       : "Ошибка при подключении к базе данных (файл ORV.ini)");
    return false;
}

void MainWindow::takeOver(ConnectionChoice choice) {
    connection = std::move(choice.connection);
    browser.setConnection(connection.get());
    settings = std::move(choice.settings);
}

void MainWindow::dropConnection() {
    browser.setConnection(nullptr);
    connection.reset();
}

bool MainWindow::checkSchema() {
    Schema schema(*connection, ui_);
    const bool ok = schema.check();
    dbmsKind = schema.kind();
    siteChanPresent = schema.siteChanPresent();
    siteChanHasLcode = schema.siteChanHasLcode();
    return ok;
}

bool MainWindow::fillUnits() {
    struct Units {
        std::string_view table;
        std::string_view query;
        std::string_view preferred;
        ChoiceList& list;
        std::string& text;
    };
    for (const Units& u :
         {Units{"ID_SENS", sql::kSelectCalibUnits, "nm/counts*sec", file.calibUnits,
                file.calibUnitText},
          Units{"ID_FREQ", sql::kSelectFreqUnits, "Hz", file.freqUnits, file.freqUnitText}}) {
        if (!connection->tableExists(u.table))
            continue;
        const TextColumn read = readTextColumn(*connection, u.query);
        if (!read.allocated)
            continue;
        if (!read.executed) {
            ui_.error(
                failureText("получения данных из таблицы " + std::string(u.table), read.diagnostic),
                "Чтение таблицы " + std::string(u.table));
            return false;
        }
        u.list.clear();
        for (const std::string& v : read.values)
            u.list.add(v);
        if (const int found = u.list.findPrefix(std::string(u.preferred)); found >= 0)
            u.list.selected = found;
        u.text = u.list.selectedText();
    }
    return true;
}

void MainWindow::fillDatabasePanel() {
    if (!connected()) {
        browser.fullReset();
        return;
    }
    browser.fillFirstList();
}

void MainWindow::startUp(const std::vector<std::string>& arguments) {
    browser.browseByStation = true;
    browser.viewSac = true;
    file.writeEnabled = false;
    file.calper = "1.0";

    bool attempted = false;
    bool opened = false;
    if (!arguments.empty()) {
        if (auto keys = parseConnectionKeys(joinArguments(arguments), settings)) {
            settings = *keys;
            attempted = true;
            opened = openWithSettings();
            if (opened)
                settingsSource = SettingsSource::CommandLineOrDialog;
        }
    }
    if (!attempted && std::filesystem::exists(localSettingsFile)) {
        settings = readConnectionSettings(localSettingsFile);
        settingsFromLocalFile = true;
        attempted = true;
        opened = openWithSettings();
        if (opened)
            settingsSource = SettingsSource::LocalFile;
    }
    if (!attempted && sharedSettings.anyExists()) {
        settingsFromLocalFile = false;
        settings = readConnectionSettings(sharedSettings);
        attempted = true;
        opened = openWithSettings();
        if (opened)
            settingsSource = SettingsSource::SystemFile;
    }
    if (!opened) {
        auto choice = connectionDialog_ ? connectionDialog_(ConnectionSettings{}) : std::nullopt;
        if (!choice || !choice->connection)
            return;
        takeOver(std::move(*choice));
        settingsSource = SettingsSource::CommandLineOrDialog;
    }
    startupDataSource = settings.dataSource;
    title = connectedTitle(settings);

    if (!checkSchema()) {
        dropConnection();
        return;
    }
    if (!fillUnits())
        return;

    StartSelection selection = parseStartSelection(arguments);
    if (const auto why = selectionRefusal(selection)) {
        ui_.warn(*why);
        selection = {};
    }
    if (selection.requested)
        browser.requestSelection(selection.station, browser.networkToSelect, selection.channel,
                                 selection.location);
    browser.startSelectionMissed = false;
    fillDatabasePanel();
    // A requested station without any stored response is missed as well: the first list
    // alone would just fall back to its first entry.
    if (selection.requested && !selection.station.empty() &&
        browser.stations.findPrefix(selection.station) < 0)
        browser.startSelectionMissed = true;
    // The requested channel has no stored response yet: the user loads one at once.
    if (browser.startSelectionMissed)
        loadFromFile();
}

void MainWindow::chooseConnection() {
    if (!connectionDialog_)
        return;
    auto choice = connectionDialog_(settings);
    if (!choice || !choice->connection)
        return;
    takeOver(std::move(*choice));
    title = connectedTitle(settings);
    if (!checkSchema()) {
        dropConnection();
        browser.fullReset();
        return;
    }
    // Every connection fills the unit lists, so that a write never goes without its units.
    if (fillUnits())
        fillDatabasePanel();
}

SaveSettingsDialog MainWindow::close(const std::filesystem::path& currentDirectory) {
    dropConnection();
    return SaveSettingsDialog(settings, settingsSource, startupDataSource, currentDirectory,
                              sharedSettings.writable());
}

// --- file panel ---------------------------------------------------------------------------

void MainWindow::refuseText(std::string_view message) {
    file.clearRefused();
    ui_.warn(message, formats::kLoadErrorCaption);
}

void MainWindow::loadFromFile() {
    const BusyScope busyScope(*this);
    const ui::FileChoice choice{
        .title = {},
        .directory = responseDirectory(localSettingsFile.parent_path(), sharedSettings),
        .fileName = {},
        .filter = kResponseFilter,
        .defaultExtension = "*"};
    const std::optional<std::string> path = ui_.openFile(choice);
    if (!path)
        return;
    std::string errorText;
    const std::optional<std::string> bytes = formats::readFileBytes(*path, errorText);
    if (!bytes) {
        ui_.error("Не удалось открыть файл " + errorText, formats::kLoadErrorCaption);
        return;
    }
    const std::string name = formats::baseName(*path);
    const std::string fileTime = formats::fileTimeText(*path);
    const formats::ReadResult read = formats::readResponseFile(
        *bytes, name, fileTime, [this]() -> std::optional<formats::LoadedFileKind> {
            FileFormatDialog dialog(false);
            return formatDialog ? formatDialog(dialog) : std::nullopt;
        });
    if (read.status == formats::ReadStatus::Cancelled)
        return;
    if (read.status == formats::ReadStatus::TooLong ||
        read.status == formats::ReadStatus::TooManyRows ||
        read.status == formats::ReadStatus::Unreadable) {
        ui_.warn(formats::refusalText(read), formats::kLoadErrorCaption);
        return;
    }

    const formats::LoadedResponseFile& loaded = read.file;
    file.takeFile(loaded);
    if (loaded.intervalToSelect)
        browser.intervalToSelect = *loaded.intervalToSelect;
    if (loaded.lookUpStationTables && connected() && connection->tableExists("SITECHAN")) {
        if (const auto match = lookUpResponseFile(*connection, ui_, name, fileTime))
            file.takeSiteChanMatch(*match);
    }
    file.writeEnabled = true;
    if (read.status == formats::ReadStatus::WrongFormat) {
        refuseText(formats::kWrongFormatMessage);
        return;
    }
    file.text = loaded.text;
    recomputeCalib(false);
}

void MainWindow::recomputeCalib(bool sacOnly) {
    if (!file.text.empty() && !file.freqText()) {
        ui_.warn(readTypedNumber(kFreqField, file.calper).error);
        return;
    }
    switch (file.computeCalib(sacOnly)) {
    case response::CalibStatus::WrongFormat:
        refuseText(formats::kWrongFormatMessage);
        break;
    case response::CalibStatus::TooLong:
        ui_.warn(formats::kTextTooLongMessage, formats::kLoadErrorCaption);
        break;
    case response::CalibStatus::Set:
    case response::CalibStatus::Unchanged:
        break;
    }
}

void MainWindow::calibUnitChanged() {
    recomputeCalib(true);
}

void MainWindow::freqUnitChanged() {
    recomputeCalib(true);
}

void MainWindow::calperEdited() {
    // While FREQ is being typed, what is not a number yet computes nothing and says nothing.
    const std::optional<std::string> freq = file.freqText();
    if (!freq)
        return;
    // A pole-zero text has a gain at every frequency above zero; a FAP text follows its
    // own rule of when an edit is a frequency.
    const bool usable = file.loadedKind == formats::LoadedFileKind::Sac
                            ? text::toDouble(*freq) > 0.0
                            : formats::freqEditTriggersEvaluation(*freq);
    if (usable)
        recomputeCalib(false);
}

void MainWindow::writeToDatabase() {
    const BusyScope busyScope(*this);
    const ResponseInput input = file.responseInput();
    if (!connected()) {
        // The fields are checked as always; without a connection nothing can be written.
        if (prepareResponse(input, ui_))
            ui_.warn("Нет подключения к базе данных: ответ не записан.",
                     "Запись информации в базу данных");
        return;
    }
    PreparedResponse written;
    const WriteOutcome outcome = writeResponse(*connection, ui_, input, intervalDialog, &written);
    const bool committed = outcome == WriteOutcome::Written || outcome == WriteOutcome::Unconfirmed;
    if (!committed && outcome != WriteOutcome::DialogFailed)
        return;
    browser.requestSelection(written.station, written.network, written.channel, written.location);
    // The interval just written is the one shown.
    if (committed)
        browser.intervalToSelect = formatDateText(written.start);
    fillDatabasePanel();
}

} // namespace orv::gainbook
