#include "intervalchoicedialogqt.h"

#include "widgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace orv::gainbook::qt {

IntervalChoiceDialogQt::IntervalChoiceDialogQt(IntervalChoiceDialog& logic, QWidget* parent)
    : QDialog(parent), logic_(logic) {
    setWindowTitle(QString::fromUtf8("Выбор интервала времени"));
    auto* grid = new QGridLayout(this);
    auto* explanation = new QLabel(
        QString::fromUtf8("В базе уже имеется информация для заданных Сети, Станции, Канала и "
                          "Расположения.\nВыберите в какой интервал времени заносить новую "
                          "информацию."),
        this);
    explanation->setWordWrap(true);
    explanation->setBuddy(intervals_ = new QListWidget(this));
    grid->addWidget(explanation, 0, 0, 1, 2);

    intervals_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->addWidget(
        labelFor(QString::fromUtf8("В базе имеется информация по следующим интевалам времени:"),
                 intervals_, this),
        1, 0, 1, 2);
    grid->addWidget(intervals_, 2, 0, 1, 2);
    for (const std::string& e : logic_.entries)
        intervals_->addItem(q(e));

    start_ = new QLineEdit(this);
    end_ = new QLineEdit(this);
    grid->addWidget(labelFor(QStringLiteral("STARTDATE"), start_, this), 3, 0);
    grid->addWidget(labelFor(QStringLiteral("ENDDATE"), end_, this), 3, 1);
    grid->addWidget(start_, 4, 0);
    grid->addWidget(end_, 4, 1);

    auto* buttons = new QHBoxLayout;
    write_ = new QPushButton(QString::fromUtf8("Записать"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    write_->setDefault(true);
    cancel->setAutoDefault(false);
    for (QPushButton* b : {write_, cancel}) {
        b->setAccessibleName(b->text());
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 5, 0, 1, 2);

    // Only a selection counts as a choice: the current row that focus alone sets does not.
    connect(intervals_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = intervals_->selectedItems();
        if (chosen.isEmpty())
            return;
        logic_.chooseEntry(intervals_->row(chosen.front()));
        sync();
    });
    connect(start_, &QLineEdit::textEdited, this,
            [this](const QString& t) { logic_.startEdit = s(t); });
    connect(end_, &QLineEdit::textEdited, this,
            [this](const QString& t) { logic_.endEdit = s(t); });
    connect(write_, &QPushButton::clicked, this, &IntervalChoiceDialogQt::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    sync();
}

void IntervalChoiceDialogQt::sync() {
    const QSignalBlocker blockStart(start_);
    const QSignalBlocker blockEnd(end_);
    start_->setText(q(logic_.startEdit));
    end_->setText(q(logic_.endEdit));
}

void IntervalChoiceDialogQt::accept() {
    logic_.write();
    // Dates that are not dates are to be corrected here; nothing was written.
    if (logic_.editsRefused())
        return;
    QDialog::accept();
}

std::function<bool(IntervalChoiceDialog&)> intervalChoiceRunner(QWidget* parent) {
    return [parent](IntervalChoiceDialog& logic) {
        IntervalChoiceDialogQt dialog(logic, parent);
        return dialog.exec() == QDialog::Accepted;
    };
}

} // namespace orv::gainbook::qt
