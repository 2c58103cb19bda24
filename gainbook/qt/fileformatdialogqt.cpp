#include "fileformatdialogqt.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orv::gainbook::qt {

using formats::LoadedFileKind;

FileFormatDialogQt::FileFormatDialogQt(FileFormatDialog& logic, QWidget* parent)
    : QDialog(parent), logic_(logic) {
    setWindowTitle(QString::fromUtf8("Формат файла"));
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox(QString::fromUtf8("Выберите формат открываемого файла"), this);
    auto* column = new QVBoxLayout(group);
    sac_ = new QRadioButton(QStringLiteral("SAC"), group);
    fapOrv_ = new QRadioButton(QStringLiteral("FAP-ORV"), group);
    fapGse2_ = new QRadioButton(QStringLiteral("FAP-GSE2"), group);
    for (auto [radio, kind] :
         {std::pair{sac_, LoadedFileKind::Sac}, std::pair{fapOrv_, LoadedFileKind::FapOrv},
          std::pair{fapGse2_, LoadedFileKind::FapGse2}}) {
        radio->setAccessibleName(radio->text());
        column->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this, [this, kind = kind] { logic_.check(kind); });
    }
    sac_->setVisible(logic_.sacVisible);
    sac_->setChecked(logic_.sacChecked);
    fapOrv_->setChecked(logic_.fapOrvChecked);
    fapGse2_->setChecked(logic_.fapGse2Checked);
    layout->addWidget(group);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    ok->setDefault(true);
    cancel->setAutoDefault(false);
    for (QPushButton* b : {ok, cancel}) {
        b->setAccessibleName(b->text());
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

FileFormatRunner fileFormatRunner(QWidget* parent) {
    return [parent](FileFormatDialog& logic) -> std::optional<LoadedFileKind> {
        FileFormatDialogQt dialog(logic, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return logic.result();
    };
}

} // namespace orv::gainbook::qt
