// The connection dialog "Подключение к базе данных" over ConnectionDialog.
#pragma once

#include "connectiondialog.h"
#include "mainwindow.h"
#include "ui/qtinteraction.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace orv::gainbook::qt {

class ConnectionDialogQt : public QDialog {
    Q_OBJECT
public:
    ConnectionDialogQt(const ConnectionSettings& initial, QWidget* parent);

    ConnectionDialog& logic() { return logic_; }
    QComboBox* dataSources() const { return dataSources_; }
    QLineEdit* user() const { return user_; }
    QLineEdit* password() const { return password_; }

    void sync();

public slots:
    void accept() override; // "OK": test, close on success

private:
    void takeFields();
    void administer();

    ui::QtInteraction ui_;
    ConnectionDialog logic_;
    QComboBox* dataSources_;
    QLineEdit* user_;
    QLineEdit* password_;
};

// The connection dialog, run modally over parent (nullptr: no owner); the connection
// and settings after OK, nullopt after "Отмена".
std::optional<ConnectionChoice> runConnectionDialog(QWidget* parent,
                                                    const ConnectionSettings& initial);

} // namespace orv::gainbook::qt
