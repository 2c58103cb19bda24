#include "mainwindow.h"

#include "connectiondialog.h"
#include "statements.h"

namespace orv::gainbook {

MainWindow::MainWindow(ui::Interaction& ui, ConnectionDialogRunner connectionDialog,
                       std::filesystem::path currentDirectory,
                       std::filesystem::path systemSettingsFile_)
    : localSettingsFile(localSettingsPath(currentDirectory)),
      systemSettingsFile(std::move(systemSettingsFile_)), ui_(ui),
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
        return true;
    }
    connection.reset();
    if (open.refused)
        ui_.warn(failureText("подключения к базе данных", open.diagnostic),
                 settingsFromLocalFile ? "Ошибка при подключении к базе данных (файл Gainbook.ini)"
                                       : "Ошибка при подключении к базе данных (файл ORV.ini)");
    return false;
}

void MainWindow::takeOver(ConnectionChoice choice) {
    connection = std::move(choice.connection);
    settings = std::move(choice.settings);
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
        ListChoice& list;
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
            u.list.addSorted(v);
        u.list.selectPrefix(std::string(u.preferred));
        u.text = u.list.selectedText();
    }
    return true;
}

void MainWindow::fillDatabasePanel() {
    // The browser fills the lists from CALIBRATION; until then the panel starts empty.
    database.reset();
}

void MainWindow::startUp(const std::vector<std::string>& arguments) {
    database.browseByStation = true;
    database.viewSac = true;
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
    if (!attempted && std::filesystem::exists(systemSettingsFile)) {
        settingsFromLocalFile = false;
        settings = readConnectionSettings(systemSettingsFile);
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
        connection.reset();
        return;
    }
    if (!fillUnits())
        return;

    const StartSelection selection = parseStartSelection(arguments);
    if (selection.requested) {
        startSelectionRequested = true;
        stationToSelect = selection.station;
        channelToSelect = selection.channel;
        locationToSelect = selection.location;
    }
    fillDatabasePanel();
    if (startSelectionMissed)
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
    if (checkSchema()) {
        fillDatabasePanel();
    } else {
        connection.reset();
        database.reset();
    }
}

SaveSettingsDialog MainWindow::close(const std::filesystem::path& currentDirectory) {
    connection.reset();
    return SaveSettingsDialog(settings, settingsSource, startupDataSource, currentDirectory,
                              systemSettingsFile);
}

} // namespace orv::gainbook
