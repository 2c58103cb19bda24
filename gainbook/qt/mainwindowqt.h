// The main window's widgets: the menu, the database panel "В БАЗЕ" and the file panel
// "ИЗ ФАЙЛА ", bound to MainWindow, which holds the state and the handlers.
#pragma once

#include "archivecheckdialogqt.h"
#include "mainwindow.h"
#include "responsecurvedialogqt.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace orv::gainbook::qt {

class MainWindowDialog : public QDialog {
    Q_OBJECT
public:
    // Without a runner the connection dialog of this program is shown; without a format
    // runner the dialog "Формат файла" asks for the format of a bare file.
    MainWindowDialog(ui::Interaction& ui, ConnectionDialogRunner runner,
                     std::filesystem::path currentDirectory, ini::SettingsFiles sharedSettings,
                     FileFormatRunner formatRunner = {}, QWidget* parent = nullptr);
    ~MainWindowDialog() override;

    MainWindow& logic() { return logic_; }

    // The start of the window (before it is shown).
    void startUp(const std::vector<std::string>& arguments);
    // Writes the state into the controls.
    void sync();
    // After the window has closed: the connection is closed and changed settings are
    // offered for saving.
    void finish();

    // The controls, for the actions that later fill the panels.
    struct DatabaseControls {
        QRadioButton* sac;
        QRadioButton* fap;
        QRadioButton* byNetwork;
        QRadioButton* byStation;
        QComboBox* networks;
        QComboBox* stations;
        QComboBox* channels;
        QComboBox* locations;
        QComboBox* intervals;
        QLabel* sensLabel;
        QLineEdit* sens;
        QLabel* freqLabel;
        QLineEdit* freq;
        QPlainTextEdit* storedText;
        QPushButton* dateEditor;
        QPushButton* writeToFile;
        QPushButton* writeStationXml;
        QPushButton* deleteFromDatabase;
    };
    struct FileControls {
        QLabel* fileLabel;
        QLineEdit* calib;
        QComboBox* calibUnits;
        QLineEdit* calper;
        QComboBox* freqUnits;
        QLineEdit* network;
        QLineEdit* station;
        QLineEdit* channel;
        QLineEdit* location;
        QLineEdit* time;
        QPlainTextEdit* text;
        QPushButton* writeToDatabase;
        QPushButton* loadFromFile;
    };
    const DatabaseControls& databaseControls() const { return db_; }
    const FileControls& fileControls() const { return file_; }

    // "&Ачх": a new frequency-response window over the panels, remembered as the last one.
    ResponseCurveDialogQt* openResponseCurve();
    ResponseCurveDialogQt* responseCurve() const { return responseCurve_; }
    // "Проверка &архива": the check window over the database panel; one at a time, raised
    // when it is open already.
    ArchiveCheckDialogQt* openArchiveCheck();

signals:
    // The state was written into the controls: the panels may show other texts.
    void shown();

public slots:
    void accept() override; // Enter: ignored
    void reject() override; // Escape and the close box

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildDatabasePanel();
    void buildKeyLists(QGroupBox* box, QGridLayout* grid);
    void connectDatabasePanel();
    QWidget* buildFilePanel();
    void buildFileFields(QGroupBox* box, QGridLayout* grid);
    void connectFilePanel();
    void buildMenu(QMenuBar* menu);
    void chooseConnection();
    // The push buttons and the menu's entries on the screen: what the frequency-response
    // window leaves uncovered.
    std::vector<ScreenRect> buttonRects() const;
    // Runs a handler of the logic and shows the state it left.
    void run(const std::function<void()>& handler);

    ui::Interaction& ui_;
    MainWindow logic_;
    QPointer<ResponseCurveDialogQt> responseCurve_;
    QPointer<ArchiveCheckDialogQt> archiveCheck_;
    QWidget* databasePanel_ = nullptr;
    DatabaseControls db_{};
    FileControls file_{};
};

} // namespace orv::gainbook::qt
