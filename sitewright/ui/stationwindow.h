// The station dialog's widgets, bound to CStationDlg: every change a user makes is
// handed to the logic, and after every handler the widgets show the logic's controls.
#pragma once

#include "core/stationdlg.h"

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orv::sitewright {

class StationWindow : public QDialog {
    Q_OBJECT
public:
    StationWindow(CStationDlg& logic, orv::ui::Interaction& ui, QWidget* parent = nullptr);

    // Opens the station (fills the lists, looks up the requested code) and shows it.
    void openStation();
    // Puts the logic's controls into the widgets.
    void syncFromLogic();

private:
    QLineEdit* addEdit(const char* accessibleName);
    void bindEdit(QLineEdit* edit, std::string StationControls::*field);
    void applyFocus();
    QWidget* widgetFor(const ControlId& id) const;
    void setButtonCaption(int index);

    CStationDlg& logic_;
    orv::ui::Interaction& ui_;
    QComboBox* sta_ = nullptr;
    QLineEdit *cod_ = nullptr, *lat_ = nullptr, *lon_ = nullptr, *elev_ = nullptr,
              *nindex_ = nullptr, *descr_ = nullptr, *staname_ = nullptr, *underground_ = nullptr,
              *ondate_ = nullptr, *offdate_ = nullptr, *ngroups_ = nullptr, *dnorth_ = nullptr,
              *deast_ = nullptr;
    QComboBox* refsta_ = nullptr;
    std::array<QLineEdit*, kChannels> chan_{};
    std::array<QPushButton*, kChannels> response_{};
    std::array<QComboBox*, kGroups> lcode_{};
    std::array<QLineEdit*, kGroups> sps_{};
    std::array<QLineEdit*, kGroups> sensor_{};
};

// "Копирование станции": the new code of a copy. Returns nullopt on Cancel.
std::optional<std::string> askCopyCode(QWidget* parent, orv::ui::Interaction& ui,
                                       const std::string& offered);

} // namespace orv::sitewright
