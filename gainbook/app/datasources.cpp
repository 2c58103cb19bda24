#include "datasources.h"

#include <odbcinst.h>

#include <algorithm>

namespace orv::gainbook {

namespace {

constexpr const char* kOdbcIni = "odbc.ini";

// Sets the configuration mode for its lifetime and restores "both" afterwards.
class ConfigMode {
public:
    explicit ConfigMode(bool system) { SQLSetConfigMode(system ? ODBC_SYSTEM_DSN : ODBC_USER_DSN); }
    ~ConfigMode() { SQLSetConfigMode(ODBC_BOTH_DSN); }
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;
};

// A list of texts each ended by '\0', the whole ended by another '\0'.
std::vector<std::string> splitNulList(const std::vector<char>& buffer, std::size_t used) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < used && i < buffer.size() && buffer[i] != '\0') {
        std::string item(&buffer[i]);
        i += item.size() + 1;
        out.push_back(std::move(item));
    }
    return out;
}

std::vector<std::string> profileList(const char* section) {
    std::vector<char> buffer(65536, '\0');
    const int n = SQLGetPrivateProfileString(section, nullptr, "", buffer.data(),
                                             static_cast<int>(buffer.size() - 1), kOdbcIni);
    return n > 0 ? splitNulList(buffer, static_cast<std::size_t>(n)) : std::vector<std::string>{};
}

std::string profileValue(const std::string& section, const std::string& key) {
    std::vector<char> buffer(4096, '\0');
    SQLGetPrivateProfileString(section.c_str(), key.c_str(), "", buffer.data(),
                               static_cast<int>(buffer.size() - 1), kOdbcIni);
    return buffer.data();
}

std::string installerError() {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    WORD length = 0;
    const SQLRETURN rc = SQLInstallerError(1, &code, message, sizeof message - 1, &length);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)
        return message[0] ? message : "ODBC installer error " + std::to_string(code);
    return "ODBC installer error";
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::vector<std::string> installedDrivers() {
    std::vector<char> buffer(65536, '\0');
    WORD used = 0;
    if (!SQLGetInstalledDrivers(buffer.data(), static_cast<WORD>(buffer.size() - 1), &used))
        return {};
    return splitNulList(buffer, buffer.size());
}

std::vector<std::string> dataSourceNames(bool system) {
    ConfigMode mode(system);
    std::vector<std::string> names = profileList(nullptr);
    // unixODBC keeps its defaults in a section of its own.
    std::erase_if(names, [](const std::string& n) { return equalsNoCase(n, "ODBC"); });
    return names;
}

namespace {
// In the configuration mode already set.
std::optional<DataSourceDefinition> readInCurrentMode(const std::string& name, bool system) {
    const auto names = profileList(nullptr);
    if (std::none_of(names.begin(), names.end(),
                     [&](const std::string& n) { return equalsNoCase(n, name); }))
        return std::nullopt;
    DataSourceDefinition d;
    d.name = name;
    d.system = system;
    for (const std::string& key : profileList(name.c_str())) {
        const std::string value = profileValue(name, key);
        if (equalsNoCase(key, "Driver"))
            d.driver = value;
        else
            d.attributes.emplace_back(key, value);
    }
    return d;
}
} // namespace

std::optional<DataSourceDefinition> readDataSource(const std::string& name, bool system) {
    ConfigMode mode(system);
    return readInCurrentMode(name, system);
}

std::string validateDataSource(const DataSourceDefinition& d) {
    if (d.name.empty())
        return "Укажите имя источника данных";
    if (d.name.find_first_of("[]{}(),;?*=!@\\") != std::string::npos)
        return "Имя источника данных не может содержать символы []{}(),;?*=!@\\";
    if (d.driver.empty())
        return "Выберите драйвер";
    for (const auto& [key, value] : d.attributes) {
        (void)value;
        if (key.empty() || key.find_first_of("=[]") != std::string::npos ||
            equalsNoCase(key, "Driver"))
            return "Недопустимое имя параметра: \"" + key + "\"";
    }
    return {};
}

bool writeDataSource(const DataSourceDefinition& d, std::string& error) {
    error = validateDataSource(d);
    if (!error.empty())
        return false;
    ConfigMode mode(d.system);
    const std::optional<DataSourceDefinition> old = readInCurrentMode(d.name, d.system);
    // A new data source is registered with its driver. One that exists is written over in
    // place, so that it stays whole until its replacement is written: registering it
    // again would remove it first.
    if (!old && !SQLWriteDSNToIni(d.name.c_str(), d.driver.c_str())) {
        error = installerError();
        return false;
    }
    // SQLWriteDSNToIni writes the driver's name; keep the driver as the user chose it.
    std::vector<std::pair<std::string, std::string>> values = {{"Driver", d.driver}};
    values.insert(values.end(), d.attributes.begin(), d.attributes.end());
    for (const auto& [key, value] : values) {
        if (!SQLWritePrivateProfileString(d.name.c_str(), key.c_str(), value.c_str(), kOdbcIni)) {
            error = installerError();
            return false;
        }
    }
    // Only now the attributes the user removed go.
    if (old) {
        for (const auto& attribute : old->attributes) {
            const std::string& key = attribute.first;
            const bool kept =
                std::any_of(d.attributes.begin(), d.attributes.end(),
                            [&key](const auto& a) { return equalsNoCase(a.first, key); });
            if (!kept &&
                !SQLWritePrivateProfileString(d.name.c_str(), key.c_str(), nullptr, kOdbcIni)) {
                error = installerError();
                return false;
            }
        }
    }
    return true;
}

bool removeDataSource(const std::string& name, bool system, std::string& error) {
    ConfigMode mode(system);
    if (!SQLRemoveDSNFromIni(name.c_str())) {
        error = installerError();
        return false;
    }
    return true;
}

} // namespace orv::gainbook
