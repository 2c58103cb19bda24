// The main window of the response editor without its widgets: the connection chosen at
// start (command line, Gainbook.ini, ORV.ini, then the connection dialog), the schema
// check, the unit lists, the menu, the close rules and the offer to save changed
// settings on exit. The Qt layer binds the controls to this state and calls the
// handlers; tests drive it directly.
#pragma once

#include "commandline.h"
#include "connection.h"
#include "panels.h"
#include "schema.h"
#include "settings.h"
#include "ui/interaction.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv::gainbook {

// What the connection dialog hands over after OK.
struct ConnectionChoice {
    DatabaseConnection connection;
    ConnectionSettings settings;
};
// Shows the connection dialog filled with the given settings; nullopt when cancelled.
using ConnectionDialogRunner =
    std::function<std::optional<ConnectionChoice>(const ConnectionSettings& initial)>;

class MainWindow {
public:
    // currentDirectory holds Gainbook.ini; systemSettingsFile is the shared ORV.ini.
    MainWindow(ui::Interaction& ui, ConnectionDialogRunner connectionDialog,
               std::filesystem::path currentDirectory, std::filesystem::path systemSettingsFile);

    // --- start-up ---------------------------------------------------------------------
    // arguments: the command line without the program name.
    void startUp(const std::vector<std::string>& arguments);

    // --- menu -------------------------------------------------------------------------
    // "&Настройка" > "&Подключение": a connection chosen in the dialog replaces the open
    // one; the schema is checked and the database panel filled again.
    void chooseConnection();
    // "&Ачх": the frequency-response window (not part of this window's state yet).
    void openResponseCurve() {}

    // --- closing ----------------------------------------------------------------------
    // Any system command (system menu, close box, minimise, move).
    void systemCommand() { systemCommandSeen = true; }
    // Escape or the close box: the window closes only after a system command was seen.
    bool acceptsCancel() const { return systemCommandSeen; }
    // Enter is ignored.
    bool acceptsOk() const { return false; }
    // The window is destroyed: the connection is closed and the save dialog prepared
    // for the current directory of this moment.
    SaveSettingsDialog close(const std::filesystem::path& currentDirectory);

    // --- panels ---------------------------------------------------------------------
    // The windows call these after the user's choice is in the panel state. The browser,
    // the date editor, deleting, writing and loading fill them in.
    void chooseViewFormat(bool sac) { database.viewSac = sac; }
    void chooseBrowseOrder(bool byStation) { database.browseByStation = byStation; }
    void networkChosen() {}
    void stationChosen() {}
    void channelChosen() {}
    void locationChosen() {}
    void intervalChosen() {}
    // "Вызов Date Editor", "ЗАПИСАТЬ\n  В ФАЙЛ", "УДАЛИТЬ\n ИЗ БАЗЫ".
    void openDateEditor() {}
    void writeStoredToFile() {}
    void deleteFromDatabase() {}
    // Fills the database panel from CALIBRATION.
    void fillDatabasePanel();
    // "ЗАГРУЗИТЬ\n ИЗ ФАЙЛА" and "ЗАПИСАТЬ\n   В БАЗУ".
    void loadFromFile() {}
    void writeToDatabase() {}
    // The CALIB unit was changed (the sensitivity is computed again).
    void calibUnitChanged() {}

    bool connected() const { return connection && connection->isOpen(); }
    // Called whenever busy changes (the wait cursor).
    std::function<void()> busyChanged;
    void setBusy(bool b);

    // --- state, in the order the window keeps it ----------------------------------------
    std::string title = "Gainbook";
    bool busy = false;
    bool viewSac() const { return database.viewSac; }
    std::string intervalToSelect;
    bool startSelectionRequested = false;
    std::string channelToSelect;
    std::string locationToSelect;
    std::string networkToSelect;
    std::string stationToSelect;
    bool systemCommandSeen = false;
    DatabaseConnection connection;
    ConnectionSettings settings;
    std::filesystem::path localSettingsFile;
    std::filesystem::path systemSettingsFile;
    std::optional<DbmsKind> dbmsKind;
    bool settingsFromLocalFile = true;
    bool siteChanPresent = false;
    bool siteChanHasLcode = false;
    bool startSelectionMissed = false;

    DatabasePanel database;
    FilePanel file;

    // Set once at start-up, read when the window closes.
    SettingsSource settingsSource = SettingsSource::CommandLineOrDialog;
    std::string startupDataSource;

private:
    // Opens settings; on failure shows the warning with the caption of the file in use.
    bool openWithSettings();
    bool checkSchema();
    bool fillUnits();
    void takeOver(ConnectionChoice choice);

    ui::Interaction& ui_;
    ConnectionDialogRunner connectionDialog_;
};

} // namespace orv::gainbook
