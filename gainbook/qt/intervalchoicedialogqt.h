// The dialog "Выбор интервала времени" over IntervalChoiceDialog.
#pragma once

#include "db/responsewriter.h"

#include <QDialog>

#include <functional>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace orv::gainbook::qt {

class IntervalChoiceDialogQt : public QDialog {
    Q_OBJECT
public:
    // The logic is initialised already (its list and edits filled).
    IntervalChoiceDialogQt(IntervalChoiceDialog& logic, QWidget* parent);
    QListWidget* intervals() const { return intervals_; }
    QLineEdit* startDate() const { return start_; }
    QLineEdit* endDate() const { return end_; }
    QPushButton* writeButton() const { return write_; }

public slots:
    void accept() override; // "Записать": writes, then closes as accepted

private:
    void sync();

    IntervalChoiceDialog& logic_;
    QListWidget* intervals_;
    QLineEdit* start_;
    QLineEdit* end_;
    QPushButton* write_;
};

// Shows the Qt dialog modally over the given window; true when it ended with "Записать".
std::function<bool(IntervalChoiceDialog&)> intervalChoiceRunner(QWidget* parent);

} // namespace orv::gainbook::qt
