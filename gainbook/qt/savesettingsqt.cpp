#include "savesettingsqt.h"

#include "widgets.h"

#include "ui/qtinteraction.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orv::gainbook::qt {

SaveSettingsDialogQt::SaveSettingsDialogQt(SaveSettingsDialog& logic, QWidget* parent)
    : QDialog(parent), logic_(logic) {
    setWindowTitle(QString::fromUtf8("Сохранение текущих насторек..."));
    auto* layout = new QVBoxLayout(this);
    local_ = new QRadioButton(QString::fromUtf8("В локальном"), this);
    system_ = new QRadioButton(QString::fromUtf8("В системном"), this);
    for (QRadioButton* r : {local_, system_}) {
        r->setAccessibleName(r->text());
        layout->addWidget(r);
    }
    local_->setChecked(logic_.localSelected());
    system_->setChecked(!logic_.localSelected());
    system_->setEnabled(logic_.systemEnabled());
    connect(local_, &QRadioButton::clicked, this, [this] { logic_.chooseLocal(); });
    connect(system_, &QRadioButton::clicked, this, [this] { logic_.chooseSystem(); });

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QString::fromUtf8("Сохранять"), this);
    auto* skip = new QPushButton(QString::fromUtf8("Не сохранять"), this);
    save->setDefault(true);
    skip->setAutoDefault(false);
    for (QPushButton* b : {save, skip}) {
        b->setAccessibleName(b->text());
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &SaveSettingsDialogQt::accept);
    connect(skip, &QPushButton::clicked, this, &SaveSettingsDialogQt::reject);
}

void SaveSettingsDialogQt::accept() {
    if (!logic_.save())
        ui::QtInteraction(this, "Gainbook")
            .warn("Не удалось записать файл " + logic_.chosenFile().string());
    QDialog::accept();
}

} // namespace orv::gainbook::qt
