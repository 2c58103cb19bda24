// A small editor of the user and system ODBC data sources: the list of sources, and for
// the chosen one its name, kind, driver and attributes as key/value rows.
#pragma once

#include "datasources.h"
#include "ui/qtinteraction.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QTableWidget;

namespace orv::gainbook::qt {

class DataSourceEditorDialog : public QDialog {
    Q_OBJECT
public:
    explicit DataSourceEditorDialog(QWidget* parent);

    QListWidget* sources() const { return sources_; }
    QLineEdit* name() const { return name_; }
    QRadioButton* system() const { return system_; }
    QComboBox* driver() const { return driver_; }
    QTableWidget* attributes() const { return attributes_; }

    // Lists the sources again and selects the named one.
    void list(const std::string& select = {}, bool system = false);
    // Shows one definition in the fields.
    void showDefinition(const DataSourceDefinition& d);
    // The fields as a definition.
    DataSourceDefinition definition() const;
    bool save();
    bool remove();

private:
    void chosen(int row);

    ui::QtInteraction ui_;
    QListWidget* sources_;
    QLineEdit* name_;
    QRadioButton* user_;
    QRadioButton* system_;
    QComboBox* driver_;
    QTableWidget* attributes_;
    std::vector<std::pair<std::string, bool>> listed_;
    // The listed source shown in the fields; saving it under another name or kind
    // renames it.
    std::optional<std::pair<std::string, bool>> editing_;
};

} // namespace orv::gainbook::qt
