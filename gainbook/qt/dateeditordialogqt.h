// The dialog "Редактор времени" over DateEditorDialog.
#pragma once

#include "dateeditordialog.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orv::gainbook::qt {

class DateEditorDialogQt : public QDialog {
    Q_OBJECT
public:
    // The logic is initialised already (its lists filled).
    DateEditorDialogQt(DateEditorDialog& logic, QWidget* parent);

    struct Controls {
        QComboBox* networks;
        QComboBox* stations;
        QComboBox* channels;
        QComboBox* locations;
        QListWidget* intervals;
        QLineEdit* newStart;
        QLineEdit* newEnd;
        QPushButton* ok;
        QPushButton* cancel;
        QPushButton* apply;
    };
    const Controls& controls() const { return c_; }

private:
    // Runs a handler of the logic and shows the state it left.
    void run(const std::function<void()>& handler);
    void sync();

    DateEditorDialog& logic_;
    Controls c_{};
};

// Shows the Qt dialog modally over the given window.
DateEditorRunner dateEditorRunner(QWidget* parent);

} // namespace orv::gainbook::qt
