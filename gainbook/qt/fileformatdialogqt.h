// The dialog "Формат файла" over FileFormatDialog.
#pragma once

#include "fileformatdialog.h"

#include <QDialog>

class QRadioButton;

namespace orv::gainbook::qt {

class FileFormatDialogQt : public QDialog {
    Q_OBJECT
public:
    FileFormatDialogQt(FileFormatDialog& logic, QWidget* parent);
    QRadioButton* sac() const { return sac_; }
    QRadioButton* fapOrv() const { return fapOrv_; }
    QRadioButton* fapGse2() const { return fapGse2_; }

private:
    FileFormatDialog& logic_;
    QRadioButton* sac_;
    QRadioButton* fapOrv_;
    QRadioButton* fapGse2_;
};

// Asks with the Qt dialog over the given window.
FileFormatRunner fileFormatRunner(QWidget* parent);

} // namespace orv::gainbook::qt
