// The connection dialog "Подключение к базе данных": the data sources known to the
// driver manager (system ones first), user name and password, "Тест" with a list of the
// tables, "OK" (which tests first) and "Отмена". The dialog opens the connection itself;
// after OK the caller takes it over with the three settings.
#pragma once

#include "db/connection.h"
#include "ui/interaction.h"

#include <string>
#include <vector>

namespace orv::gainbook {

inline constexpr std::string_view kSystemDsnSuffix = " (System DSN)";
inline constexpr std::string_view kUserDsnSuffix = " (User DSN)";

// "Gainbook   Источник данных: " + data source + ", Пользователь: " + user
std::string connectedTitle(const ConnectionSettings& settings);

class ConnectionDialog {
public:
    ConnectionDialog(ui::Interaction& ui, ConnectionSettings initial);

    // Lists the data sources again and selects the one named by the settings (from the
    // second entry on, then the first; the first when none matches); puts the user name
    // and password into their fields.
    void listDataSources();

    const std::vector<std::string>& entries() const { return entries_; }
    int selected() const { return selected_; }
    void select(int index) { selected_ = index; }
    // The edit fields.
    std::string user;
    std::string password;

    // "Тест": true when the connection opened (the report with the tables is shown).
    bool test();
    // "OK": tests; true when the dialog is to close with OK.
    bool ok() { return test(); }

    // The settings of the last try.
    const ConnectionSettings& settings() const { return settings_; }
    // The connection of the last successful try; the caller owns it from now on.
    DatabaseConnection takeConnection() { return std::move(connection_); }

    // The data source name of an entry: the text before its suffix.
    static std::string dataSourceOf(std::string_view entry);

private:
    ui::Interaction& ui_;
    ConnectionSettings settings_;
    DatabaseConnection connection_;
    std::vector<std::string> entries_;
    int selected_ = -1;
};

} // namespace orv::gainbook
