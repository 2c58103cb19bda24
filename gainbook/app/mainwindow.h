// The main window of the response editor without its widgets: the connection chosen at
// start (command line, Gainbook.ini, ORV.ini, then the connection dialog), the schema
// check, the unit lists, the menu, the close rules and the offer to save changed
// settings on exit. The Qt layer binds the controls to this state and calls the
// handlers; tests drive it directly.
#pragma once

#include "commandline.h"
#include "dateeditordialog.h"
#include "db/browser.h"
#include "db/connection.h"
#include "db/responsewriter.h"
#include "db/schema.h"
#include "fileformatdialog.h"
#include "panels.h"
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
    // currentDirectory holds Gainbook.ini; sharedSettings are the shared ORV.ini files (the
    // user's first, which changed settings are saved to).
    MainWindow(ui::Interaction& ui, ConnectionDialogRunner connectionDialog,
               std::filesystem::path currentDirectory, ini::SettingsFiles sharedSettings);

    // --- start-up ---------------------------------------------------------------------
    // arguments: the command line without the program name.
    void startUp(const std::vector<std::string>& arguments);

    // --- menu -------------------------------------------------------------------------
    // "&Настройка" > "&Подключение": a connection chosen in the dialog replaces the open
    // one; the schema is checked and the database panel filled again.
    void chooseConnection();
    // "&Ачх" opens a new ResponseCurveDialog over this window's panels each time.

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

    // --- database panel ---------------------------------------------------------------
    // The panel is the browser: the window calls its pick and choose operations.
    // "Вызов Date Editor": the date editor over the panel's key; when it closes, the
    // panel's intervals are read again.
    void openDateEditor();
    // "ЗАПИСАТЬ\n  В ФАЙЛ": the shown record into a SAC or FAP file.
    void writeStoredToFile();
    // "В STATIONXML": the key shown, every interval, with its station, as a StationXML
    // document.
    void writeKeyAsStationXml();
    // "УДАЛИТЬ\n ИЗ БАЗЫ": the shown record, or the text shown, deleted; the panel then
    // shows the same key, or the nearest one left.
    void deleteFromDatabase();
    // Fills the database panel from CALIBRATION (an empty panel without a connection).
    void fillDatabasePanel();

    // --- file panel -------------------------------------------------------------------
    // "ЗАГРУЗИТЬ\n ИЗ ФАЙЛА": the file choice, the format question for a bare file, the
    // header or the SITECHAN look-up for the fields, and CALIB from the text.
    void loadFromFile();
    // "ЗАПИСАТЬ\n   В БАЗУ": the response of the file panel into CALIBRATION; the
    // database panel then shows the written key.
    void writeToDatabase();
    // The selection of the CALIB unit or of the FREQ unit changed: CALIB of a pole-zero
    // text is computed again.
    void calibUnitChanged();
    void freqUnitChanged();
    // The FREQ field was edited: CALIB is computed again when the field holds a usable
    // frequency (above zero for a pole-zero text; the FAP rule for a FAP text).
    void calperEdited();

    // How the window asks its questions; the Qt layer sets its dialogs, tests script them.
    FileFormatRunner formatDialog;
    DateEditorRunner dateEditorDialog;
    std::function<bool(IntervalChoiceDialog&)> intervalDialog;

    bool connected() const { return connection && connection->isOpen(); }
    // Called whenever busy changes (the wait cursor).
    std::function<void()> busyChanged;
    void setBusy(bool b);

    // --- state, in the order the window keeps it ----------------------------------------
    std::string title = "Gainbook";
    bool busy = false;
    bool viewSac() const { return browser.viewSac; }
    bool systemCommandSeen = false;
    DatabaseConnection connection;
    ConnectionSettings settings;
    std::filesystem::path localSettingsFile;
    ini::SettingsFiles sharedSettings;
    std::optional<DbmsKind> dbmsKind;
    bool settingsFromLocalFile = true;
    bool siteChanPresent = false;
    bool siteChanHasLcode = false;

    // The database panel, with the start selection and its interval to select.
    ResponseBrowser browser;
    FilePanel file;

    // The folder of the last StationXML document written, where the next choice opens.
    std::string lastStationXmlFolder;

    // Set once at start-up, read when the window closes.
    SettingsSource settingsSource = SettingsSource::CommandLineOrDialog;
    std::string startupDataSource;

private:
    // Opens settings; on failure shows the warning with the caption of the file in use.
    bool openWithSettings();
    bool checkSchema();
    bool fillUnits();
    void takeOver(ConnectionChoice choice);
    void dropConnection();
    // CALIB of the file panel's text with its units; a refused text empties the panel.
    void recomputeCalib(bool sacOnly);
    void refuseText(std::string_view message);
    // The save choice of the StationXML document of the key.
    ui::FileChoice stationXmlChoice(const BrowserKey& key) const;

    ui::Interaction& ui_;
    ConnectionDialogRunner connectionDialog_;
};

// Busy for the life of an action, on every way out.
class BusyScope {
public:
    explicit BusyScope(MainWindow& w) : w_(w) { w_.setBusy(true); }
    ~BusyScope() { w_.setBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    MainWindow& w_;
};

} // namespace orv::gainbook
