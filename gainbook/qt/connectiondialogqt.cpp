#include "connectiondialogqt.h"

#include "datasourceeditorqt.h"
#include "widgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::gainbook::qt {

ConnectionDialogQt::ConnectionDialogQt(const ConnectionSettings& initial, QWidget* parent)
    : QDialog(parent), ui_(this, std::string(kProgramTitle)), logic_(ui_, initial) {
    setWindowTitle(QString::fromUtf8("Подключение к базе данных"));
    auto* layout = new QVBoxLayout(this);

    auto* admin = new QPushButton(QStringLiteral("Вызов ODBC Data Source Administrator"), this);
    admin->setAutoDefault(false);
    admin->setAccessibleName(admin->text());
    layout->addWidget(admin);

    auto* grid = new QGridLayout;
    dataSources_ = new QComboBox(this);
    dataSources_->setMinimumContentsLength(32);
    user_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    grid->addWidget(labelFor(QString::fromUtf8("Название источника данных"), dataSources_, this), 0,
                    0);
    grid->addWidget(dataSources_, 0, 1);
    grid->addWidget(labelFor(QString::fromUtf8("Имя пользователя"), user_, this), 1, 0);
    grid->addWidget(user_, 1, 1);
    grid->addWidget(labelFor(QString::fromUtf8("Пароль пользователя"), password_, this), 2, 0);
    grid->addWidget(password_, 2, 1);
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("Отмена"), this);
    auto* test = new QPushButton(QString::fromUtf8("Тест"), this);
    ok->setDefault(true);
    cancel->setAutoDefault(false);
    test->setAutoDefault(false);
    for (QPushButton* b : {ok, cancel, test}) {
        b->setAccessibleName(b->text());
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);

    connect(admin, &QPushButton::clicked, this, [this] { administer(); });
    connect(ok, &QPushButton::clicked, this, &ConnectionDialogQt::accept);
    connect(cancel, &QPushButton::clicked, this, &ConnectionDialogQt::reject);
    connect(test, &QPushButton::clicked, this, [this] {
        takeFields();
        logic_.test();
    });

    logic_.listDataSources();
    sync();
}

void ConnectionDialogQt::sync() {
    setEntries(dataSources_, logic_.entries(), logic_.selected());
    user_->setText(q(logic_.user));
    password_->setText(q(logic_.password));
}

void ConnectionDialogQt::takeFields() {
    logic_.select(dataSources_->currentIndex());
    logic_.user = s(user_->text());
    logic_.password = s(password_->text());
}

void ConnectionDialogQt::accept() {
    takeFields();
    if (logic_.ok())
        QDialog::accept();
}

void ConnectionDialogQt::administer() {
    takeFields();
    DataSourceEditorDialog editor(this);
    editor.exec();
    logic_.listDataSources();
    sync();
}

std::optional<ConnectionChoice> runConnectionDialog(QWidget* parent,
                                                    const ConnectionSettings& initial) {
    ConnectionDialogQt dialog(initial, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    ConnectionChoice choice{dialog.logic().takeConnection(), dialog.logic().settings()};
    if (!choice.connection)
        return std::nullopt;
    return choice;
}

} // namespace orv::gainbook::qt
