#include "core/responselink.h"
#include "core/records.h"

#include "ini/inifile.h"
#include "text/text.h"

#include <cstdlib>
#include <fstream>

namespace orv::sitewright {

ResponseLinkSettings readResponseLinkSettings(const std::filesystem::path& localFile,
                                              const orv::ini::SettingsFiles& shared) {
    const orv::ini::IniFile local(localFile);
    ResponseLinkSettings s;
    s.useDb = local.readInt("SYSTEM", "USE_DB", 0) != 0;
    s.gainbookDir = local.read("SYSTEM", "GAINBOOK_DIR", "", 1023);
    s.baseDir = local.read("ORV", "DIR", "", 4095);
    if (s.baseDir.empty())
        s.baseDir = shared.read("ORV", "DIR", "", 4095);
    if (const char* env = std::getenv("ORV"))
        s.orvEnv = env;
    if (s.baseDir.empty())
        s.baseDir = s.orvEnv.value_or("");
    return s;
}

std::vector<std::string> gainbookCandidates(const ResponseLinkSettings& s,
                                            const std::filesystem::path& currentDir) {
    const std::string exe = kGainbookExecutable;
    std::vector<std::string> c;
    c.push_back(s.gainbookDir + "/" + exe);
    c.push_back(currentDir.string() + "/" + exe);
    c.push_back("../gainbook/" + exe);
    if (s.orvEnv)
        c.push_back(*s.orvEnv + "/util/gainbook/" + exe);
    else
        c.push_back(std::string(kDefaultInstallDir) + "/util/gainbook/" + exe);
    return c;
}

std::optional<std::string> findGainbook(const ResponseLinkSettings& settings,
                                        const std::filesystem::path& currentDir) {
    for (const std::string& candidate : gainbookCandidates(settings, currentDir)) {
        std::error_code ec;
        if (std::filesystem::is_directory(candidate, ec))
            continue;
        std::ifstream probe(candidate, std::ios::binary);
        if (probe)
            return candidate;
    }
    return std::nullopt;
}

std::string gainbookArguments(const ConnectionSettings& connection, const std::string& station,
                              const std::string& channel, const std::string& location) {
    return orv::text::format("ODBC=%s USER=%s PASSWORD=%s %s:%s:%s", connection.dsn.c_str(),
                             connection.user.c_str(), connection.password.c_str(),
                             orv::text::truncateChars(station, kCodeChars).c_str(), channel.c_str(),
                             orv::text::truncateChars(location, kCodeChars).c_str());
}

std::string gainbookCommandLine(const std::string& program, const std::string& arguments) {
    const bool quote = program.find(' ') != std::string::npos;
    return (quote ? "\"" + program + "\"" : program) + " " + arguments;
}

std::string responseDirectory(const std::string& baseDir) {
    std::string dir = baseDir;
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir + "RESPONSE";
}

std::vector<std::string> splitAtBlanks(const std::string& text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (pos >= text.size())
            break;
        std::size_t end = text.find(' ', pos);
        if (end == std::string::npos)
            end = text.size();
        words.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

} // namespace orv::sitewright
