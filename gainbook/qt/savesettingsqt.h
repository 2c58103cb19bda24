// The dialog "Сохранение текущих насторек..." over SaveSettingsDialog.
#pragma once

#include "settings.h"

#include <QDialog>

class QRadioButton;

namespace orv::gainbook::qt {

class SaveSettingsDialogQt : public QDialog {
    Q_OBJECT
public:
    SaveSettingsDialogQt(SaveSettingsDialog& logic, QWidget* parent);
    QRadioButton* local() const { return local_; }
    QRadioButton* system() const { return system_; }

public slots:
    void accept() override; // "Сохранять"

private:
    SaveSettingsDialog& logic_;
    QRadioButton* local_;
    QRadioButton* system_;
};

} // namespace orv::gainbook::qt
