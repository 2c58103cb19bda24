#include "connectiondialog.h"

#include "text/text.h"

namespace orv::gainbook {

std::string connectedTitle(const ConnectionSettings& settings) {
    return "Gainbook   Источник данных: " + settings.dataSource +
           ", Пользователь: " + settings.user;
}

ConnectionDialog::ConnectionDialog(ui::Interaction& ui, ConnectionSettings initial)
    : ui_(ui), settings_(std::move(initial)) {}

void ConnectionDialog::listDataSources() {
    odbc::Environment env;
    if (!env.valid())
        return;
    entries_.clear();
    for (const auto& ds : odbc::listDataSources(env, true))
        entries_.push_back(ds.name + std::string(kSystemDsnSuffix));
    for (const auto& ds : odbc::listDataSources(env, false))
        entries_.push_back(ds.name + std::string(kUserDsnSuffix));

    selected_ = entries_.empty() ? -1 : 0;
    const int n = static_cast<int>(entries_.size());
    for (int k = 1; k <= n; ++k) {
        const int i = k % n; // from the second entry to the end, then the first
        if (text::startsWithNoCase(entries_[static_cast<std::size_t>(i)], settings_.dataSource)) {
            selected_ = i;
            break;
        }
    }
    user = settings_.user;
    password = settings_.password;
}

std::string ConnectionDialog::dataSourceOf(std::string_view entry) {
    auto cut = entry.find(kSystemDsnSuffix);
    if (cut == std::string_view::npos)
        cut = entry.find(kUserDsnSuffix);
    return std::string(entry.substr(0, cut));
}

bool ConnectionDialog::test() {
    settings_.dataSource = selected_ >= 0 && selected_ < static_cast<int>(entries_.size())
                               ? dataSourceOf(entries_[static_cast<std::size_t>(selected_)])
                               : std::string();
    settings_.user = text::truncateChars(user, kSettingChars);
    settings_.password = text::truncateChars(password, kSettingChars);

    connection_.reset();
    OpenResult open = openConnection(settings_);
    if (!open.connection) {
        if (open.refused)
            ui_.error(failureText("подключения к базе данных", open.diagnostic),
                      "Ошибка при подключении к базе данных");
        return false;
    }
    connection_ = std::move(open.connection);

    std::string report = "Успешное подключение к DSN: " + settings_.dataSource + "\t\r\n" +
                         "Пользователь: " + settings_.user + "\r\n\r\n";
    if (const auto tables = listTables(*connection_)) {
        std::string names;
        for (const std::string& t : *tables)
            names += "\t" + t + "\r\n";
        report += text::format("Количество таблиц: %d\r\n", static_cast<int>(tables->size()));
        report += names;
    }
    ui_.inform(report, "Подключение к источнику данных!");
    return true;
}

} // namespace orv::gainbook
