#include "dateeditordialogqt.h"

#include "widgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace orv::gainbook::qt {

DateEditorDialogQt::DateEditorDialogQt(DateEditorDialog& logic, QWidget* parent)
    : QDialog(parent), logic_(logic) {
    setWindowTitle(QString::fromUtf8(kDateEditorTitle));
    auto* grid = new QGridLayout(this);

    c_.networks = new QComboBox(this);
    c_.stations = new QComboBox(this);
    c_.channels = new QComboBox(this);
    c_.locations = new QComboBox(this);
    int column = 0;
    for (auto [box, label] :
         {std::pair{c_.networks, "Сеть"}, std::pair{c_.stations, "Станция"},
          std::pair{c_.channels, "Канал"}, std::pair{c_.locations, "Расположение"}}) {
        box->setMinimumContentsLength(8);
        grid->addWidget(labelFor(QString::fromUtf8(label), box, this), 0, column);
        grid->addWidget(box, 1, column++);
    }

    c_.intervals = new QListWidget(this);
    c_.intervals->setSelectionMode(QAbstractItemView::SingleSelection);
    c_.intervals->setAccessibleName(QString::fromUtf8("Интервалы времени"));
    c_.intervals->setMinimumWidth(
        c_.intervals->fontMetrics().horizontalAdvance(QString(QChar('0')).repeated(46)) + 24);
    grid->addWidget(c_.intervals, 2, 0, 1, 4);

    c_.newStart = new QLineEdit(this);
    c_.newEnd = new QLineEdit(this);
    grid->addWidget(labelFor(QString::fromUtf8(kNewStartField), c_.newStart, this), 3, 0, 1, 2);
    grid->addWidget(labelFor(QString::fromUtf8(kNewEndField), c_.newEnd, this), 3, 2, 1, 2);
    grid->addWidget(c_.newStart, 4, 0, 1, 2);
    grid->addWidget(c_.newEnd, 4, 2, 1, 2);

    auto* buttons = new QHBoxLayout;
    c_.ok = new QPushButton(QStringLiteral("OK"), this);
    c_.cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    c_.apply = new QPushButton(QString::fromUtf8("Применить"), this);
    // Enter presses no button: it neither applies a date nor closes the dialog and so
    // drops a date typed but not applied.
    for (QPushButton* b : {c_.ok, c_.cancel, c_.apply}) {
        b->setAutoDefault(false);
        b->setAccessibleName(b->text());
        buttons->addWidget(b);
    }
    grid->addLayout(buttons, 5, 0, 1, 4);

    const auto bindList = [this](QComboBox* box, void (DateEditorDialog::*pick)(int)) {
        connect(box, &QComboBox::activated, this,
                [this, pick](int index) { run([this, pick, index] { (logic_.*pick)(index); }); });
    };
    bindList(c_.networks, &DateEditorDialog::pickNetwork);
    bindList(c_.stations, &DateEditorDialog::pickStation);
    bindList(c_.channels, &DateEditorDialog::pickChannel);
    bindList(c_.locations, &DateEditorDialog::pickLocation);
    connect(c_.intervals, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != logic_.intervals.selected)
            run([this, row] { logic_.pickInterval(row); });
    });
    connect(c_.newStart, &QLineEdit::textEdited, this,
            [this](const QString& t) { logic_.startEdit = s(t); });
    connect(c_.newEnd, &QLineEdit::textEdited, this,
            [this](const QString& t) { logic_.endEdit = s(t); });
    connect(c_.apply, &QPushButton::clicked, this, [this] { run([this] { logic_.apply(); }); });
    // Both only close the dialog: "Применить" is the one that writes.
    connect(c_.ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(c_.cancel, &QPushButton::clicked, this, &QDialog::reject);
    sync();
}

void DateEditorDialogQt::run(const std::function<void()>& handler) {
    handler();
    sync();
}

void DateEditorDialogQt::sync() {
    setEntries(c_.networks, logic_.networks.entries, logic_.networks.selected);
    setEntries(c_.stations, logic_.stations.entries, logic_.stations.selected);
    setEntries(c_.channels, logic_.channels.entries, logic_.channels.selected);
    setEntries(c_.locations, logic_.locations.entries, logic_.locations.selected);
    {
        const QSignalBlocker block(c_.intervals);
        c_.intervals->clear();
        for (const std::string& e : logic_.intervals.entries)
            c_.intervals->addItem(q(e));
        c_.intervals->setCurrentRow(logic_.intervals.selected);
    }
    const QSignalBlocker blockStart(c_.newStart);
    const QSignalBlocker blockEnd(c_.newEnd);
    c_.newStart->setText(q(logic_.startEdit));
    c_.newEnd->setText(q(logic_.endEdit));
}

DateEditorRunner dateEditorRunner(QWidget* parent) {
    return [parent](DateEditorDialog& logic) {
        DateEditorDialogQt dialog(logic, parent);
        dialog.exec();
    };
}

} // namespace orv::gainbook::qt
