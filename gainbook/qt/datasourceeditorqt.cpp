#include "datasourceeditorqt.h"

#include "widgets.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace orv::gainbook::qt {

namespace {
constexpr const char* kCaption = "Источники данных ODBC";

QPushButton* button(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setAutoDefault(false);
    b->setAccessibleName(b->text());
    return b;
}
} // namespace

DataSourceEditorDialog::DataSourceEditorDialog(QWidget* parent)
    : QDialog(parent), ui_(this, kCaption) {
    setWindowTitle(QString::fromUtf8(kCaption));
    auto* layout = new QHBoxLayout(this);

    auto* left = new QVBoxLayout;
    sources_ = new QListWidget(this);
    left->addWidget(labelFor(QString::fromUtf8("Источники данных"), sources_, this));
    left->addWidget(sources_);
    layout->addLayout(left, 1);

    auto* right = new QGridLayout;
    name_ = new QLineEdit(this);
    right->addWidget(labelFor(QString::fromUtf8("Имя источника данных"), name_, this), 0, 0);
    right->addWidget(name_, 0, 1);
    user_ = new QRadioButton(QString::fromUtf8("Пользовательский"), this);
    system_ = new QRadioButton(QString::fromUtf8("Системный"), this);
    user_->setAccessibleName(user_->text());
    system_->setAccessibleName(system_->text());
    auto* kind = new QButtonGroup(this);
    kind->addButton(user_);
    kind->addButton(system_);
    user_->setChecked(true);
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(user_);
    kinds->addWidget(system_);
    right->addLayout(kinds, 1, 1);
    driver_ = new QComboBox(this);
    for (const std::string& d : installedDrivers())
        driver_->addItem(q(d));
    right->addWidget(labelFor(QString::fromUtf8("Драйвер"), driver_, this), 2, 0);
    right->addWidget(driver_, 2, 1);
    attributes_ = new QTableWidget(0, 2, this);
    attributes_->setHorizontalHeaderLabels(
        {QString::fromUtf8("Параметр"), QString::fromUtf8("Значение")});
    attributes_->horizontalHeader()->setStretchLastSection(true);
    right->addWidget(labelFor(QString::fromUtf8("Параметры"), attributes_, this), 3, 0, 1, 2);
    right->addWidget(attributes_, 4, 0, 1, 2);
    auto* rows = new QHBoxLayout;
    auto* addRow = button("Добавить строку", this);
    auto* removeRow = button("Удалить строку", this);
    rows->addWidget(addRow);
    rows->addWidget(removeRow);
    right->addLayout(rows, 5, 0, 1, 2);
    auto* actions = new QHBoxLayout;
    auto* fresh = button("Новый", this);
    auto* saveButton = button("Сохранить", this);
    auto* removeButton = button("Удалить", this);
    auto* close = button("Закрыть", this);
    for (QPushButton* b : {fresh, saveButton, removeButton, close})
        actions->addWidget(b);
    right->addLayout(actions, 6, 0, 1, 2);
    layout->addLayout(right, 2);

    connect(sources_, &QListWidget::currentRowChanged, this, [this](int row) { chosen(row); });
    connect(addRow, &QPushButton::clicked, this, [this] {
        attributes_->insertRow(attributes_->rowCount());
        attributes_->setCurrentCell(attributes_->rowCount() - 1, 0);
    });
    connect(removeRow, &QPushButton::clicked, this, [this] {
        if (attributes_->currentRow() >= 0)
            attributes_->removeRow(attributes_->currentRow());
    });
    connect(fresh, &QPushButton::clicked, this, [this] {
        sources_->setCurrentRow(-1);
        editing_.reset();
        showDefinition(DataSourceDefinition{});
        name_->setFocus();
    });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(removeButton, &QPushButton::clicked, this, [this] { remove(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    resize(760, 420);
    list();
}

void DataSourceEditorDialog::list(const std::string& select, bool system) {
    const QSignalBlocker block(sources_);
    sources_->clear();
    listed_.clear();
    int chosenRow = -1;
    for (bool sys : {true, false}) {
        for (const std::string& n : dataSourceNames(sys)) {
            if (n == select && sys == system)
                chosenRow = static_cast<int>(listed_.size());
            listed_.emplace_back(n, sys);
            sources_->addItem(q(n + (sys ? " (System DSN)" : " (User DSN)")));
        }
    }
    sources_->setCurrentRow(chosenRow);
    editing_.reset();
    if (chosenRow < 0)
        showDefinition(DataSourceDefinition{});
    else
        chosen(chosenRow);
}

void DataSourceEditorDialog::chosen(int row) {
    if (row < 0 || row >= static_cast<int>(listed_.size()))
        return;
    const auto& [n, sys] = listed_[static_cast<std::size_t>(row)];
    if (const auto d = readDataSource(n, sys)) {
        showDefinition(*d);
        editing_ = listed_[static_cast<std::size_t>(row)];
    }
}

void DataSourceEditorDialog::showDefinition(const DataSourceDefinition& d) {
    name_->setText(q(d.name));
    (d.system ? system_ : user_)->setChecked(true);
    int driver = driver_->findText(q(d.driver));
    if (driver < 0 && !d.driver.empty()) {
        driver_->addItem(q(d.driver)); // a driver given by its library path
        driver = driver_->count() - 1;
    }
    driver_->setCurrentIndex(driver < 0 && driver_->count() > 0 && d.name.empty() ? 0 : driver);
    attributes_->setRowCount(0);
    for (const auto& [key, value] : d.attributes) {
        const int r = attributes_->rowCount();
        attributes_->insertRow(r);
        attributes_->setItem(r, 0, new QTableWidgetItem(q(key)));
        attributes_->setItem(r, 1, new QTableWidgetItem(q(value)));
    }
}

DataSourceDefinition DataSourceEditorDialog::definition() const {
    DataSourceDefinition d;
    d.name = s(name_->text().trimmed());
    d.system = system_->isChecked();
    d.driver = s(driver_->currentText());
    for (int r = 0; r < attributes_->rowCount(); ++r) {
        const QTableWidgetItem* key = attributes_->item(r, 0);
        const QTableWidgetItem* value = attributes_->item(r, 1);
        const std::string k = key ? s(key->text().trimmed()) : std::string();
        const std::string v = value ? s(value->text()) : std::string();
        if (k.empty() && v.empty())
            continue;
        d.attributes.emplace_back(k, v);
    }
    return d;
}

bool DataSourceEditorDialog::save() {
    const DataSourceDefinition d = definition();
    std::string error;
    if (!writeDataSource(d, error)) {
        ui_.warn(error, kCaption);
        return false;
    }
    if (editing_ && (editing_->first != d.name || editing_->second != d.system) &&
        !removeDataSource(editing_->first, editing_->second, error))
        ui_.warn(error, kCaption);
    list(d.name, d.system);
    return true;
}

bool DataSourceEditorDialog::remove() {
    const int row = sources_->currentRow();
    if (row < 0 || row >= static_cast<int>(listed_.size()))
        return false;
    const auto [n, sys] = listed_[static_cast<std::size_t>(row)];
    if (!ui_.confirmChange("Удалить источник данных " + n + "?", kCaption))
        return false;
    std::string error;
    if (!removeDataSource(n, sys, error)) {
        ui_.warn(error, kCaption);
        return false;
    }
    list();
    return true;
}

} // namespace orv::gainbook::qt
