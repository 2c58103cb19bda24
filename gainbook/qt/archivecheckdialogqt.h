// The widgets of the window "Проверка архива", bound to ArchiveCheckDialog, which holds the
// findings and the handlers. The list is filled from the logic's lines and sorted by it.
#pragma once

#include "archivecheckdialog.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace orv::gainbook::qt {

class ArchiveCheckDialogQt : public QDialog {
    Q_OBJECT
public:
    ArchiveCheckDialogQt(MainWindow& owner, ui::Interaction& ui, QWidget* ownerWidget);

    ArchiveCheckDialog& logic() { return logic_; }

    struct Controls {
        QRadioButton* station;
        QRadioButton* network;
        QRadioButton* archive;
        QPushButton* check;
        QTableWidget* findings;
        QLabel* chosen;
        QLabel* summary;
    };
    const Controls& controls() const { return c_; }

signals:
    // A chosen line changed the main window's database panel.
    void panelChanged();

public slots:
    // The main window's panels changed: the scope's texts follow them.
    void refresh();

private:
    void bind();
    void fillList();
    void sync();

    ArchiveCheckDialog logic_;
    Controls c_{};
};

} // namespace orv::gainbook::qt
