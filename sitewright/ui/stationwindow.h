// The station dialog's widgets, bound to CStationDlg: every change a user makes is
// handed to the logic, and after every handler the widgets show the logic's controls.
#pragma once

#include "core/stationdlg.h"

#include <QDialog>

#include <array>

class QComboBox;
class QGridLayout;
class QLayout;
class QLineEdit;
class QPushButton;
class QValidator;

namespace orv::sitewright {

class ResponseFileButton;

class StationWindow : public QDialog {
    Q_OBJECT
public:
    StationWindow(CStationDlg& logic, orv::ui::Interaction& ui, QWidget* parent = nullptr);

    // Opens the station (fills the lists, looks up the requested code) and shows it.
    void openStation();
    // Puts the logic's controls into the widgets.
    void syncFromLogic();

protected:
    // Escape does nothing: only "Выйти" and the close box end the program. Enter in a
    // field presses nothing either, for no button is a default button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLayout* createStationFields();
    QWidget* createArrayBox();
    QWidget* createChannelGrid();
    void addChannel(QGridLayout* grid, int group, int component);
    void addGroupFields(QGridLayout* grid, int group);
    QLayout* createButtons();
    void bindStationFields();

    QLineEdit* addEdit(const char* accessibleName);
    QComboBox* addStationList(const char* accessibleName);
    void bindEdit(QLineEdit* edit, std::string StationControls::*field);
    // Runs a handler of the logic, then shows its controls (and its focus, if asked).
    void run(void (CStationDlg::*handler)(), bool withFocus);
    void applyFocus();
    QWidget* widgetFor(const ControlId& id) const;

    CStationDlg& logic_;
    orv::ui::Interaction& ui_;
    QValidator* upperCase_ = nullptr;
    QComboBox* sta_ = nullptr;
    QLineEdit *cod_ = nullptr, *lat_ = nullptr, *lon_ = nullptr, *elev_ = nullptr,
              *nindex_ = nullptr, *descr_ = nullptr, *staname_ = nullptr, *underground_ = nullptr,
              *ondate_ = nullptr, *offdate_ = nullptr, *ngroups_ = nullptr, *dnorth_ = nullptr,
              *deast_ = nullptr;
    QComboBox* refsta_ = nullptr;
    std::array<QLineEdit*, kChannels> chan_{};
    std::array<ResponseFileButton*, kChannels> response_{};
    std::array<QComboBox*, kGroups> lcode_{};
    std::array<QLineEdit*, kGroups> sps_{};
    std::array<QLineEdit*, kGroups> sensor_{};
};

// "Копирование станции": the new code of a copy. Returns nullopt on Cancel.
std::optional<std::string> askCopyCode(QWidget* parent, orv::ui::Interaction& ui,
                                       const std::string& offered);

} // namespace orv::sitewright
