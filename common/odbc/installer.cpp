#include "odbc/installer.h"

#include <odbcinst.h>

namespace orv::odbc::installer {

namespace {

// Longer than any value unixODBC keeps, so that no read is ever cut.
constexpr int kValueBuffer = 4096;
// Stands for a missing key: no stored value can be this.
constexpr const char* kMissing = "\x01";

// Sets the configuration mode for its lifetime and restores "both" afterwards.
class SystemMode {
public:
    SystemMode() { SQLSetConfigMode(ODBC_SYSTEM_DSN); }
    ~SystemMode() { SQLSetConfigMode(ODBC_BOTH_DSN); }
    SystemMode(const SystemMode&) = delete;
    SystemMode& operator=(const SystemMode&) = delete;
};

bool writeValue(std::string_view section, std::string_view key, std::string_view value) {
    return SQLWritePrivateProfileString(std::string(section).c_str(), std::string(key).c_str(),
                                        std::string(value).c_str(), kDataSourcesFile);
}

} // namespace

std::string nulList(const std::vector<std::string>& texts) {
    std::string list;
    for (const std::string& t : texts)
        list.append(t).push_back('\0');
    list.push_back('\0');
    return list;
}

std::string lastError() {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    WORD length = 0;
    const RETCODE rc = SQLInstallerError(1, &code, message, sizeof message - 1, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
        return {};
    return message[0] ? message : "ODBC installer error " + std::to_string(code);
}

std::optional<std::string> systemValue(const char* file, std::string_view section,
                                       std::string_view key) {
    SystemMode mode;
    std::string buffer(kValueBuffer, '\0');
    const int n = SQLGetPrivateProfileString(std::string(section).c_str(), std::string(key).c_str(),
                                             kMissing, buffer.data(), kValueBuffer, file);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    if (buffer == kMissing)
        return std::nullopt;
    return buffer;
}

bool systemSectionHas(const char* file, std::string_view section,
                      const std::vector<Attribute>& attributes) {
    for (const Attribute& a : attributes) {
        if (systemValue(file, section, a.key) != a.value)
            return false;
    }
    return true;
}

bool writeSystemDataSource(std::string_view name, std::string_view driver,
                           const std::vector<Attribute>& attributes) {
    std::vector<Attribute> all{{"Driver", std::string(driver)}};
    all.insert(all.end(), attributes.begin(), attributes.end());
    // unixODBC writes only into an existing odbc.ini; reading the system one creates it.
    if (systemSectionHas(kDataSourcesFile, name, all))
        return true;
    SystemMode mode;
    if (!SQLWriteDSNToIni(std::string(name).c_str(), std::string(driver).c_str()))
        return false;
    for (const Attribute& a : attributes) {
        if (!writeValue(name, a.key, a.value))
            return false;
    }
    return true;
}

} // namespace orv::odbc::installer
