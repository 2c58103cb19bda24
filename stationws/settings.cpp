#include "settings.h"

#include "ini/inifile.h"
#include "text/text.h"

#include <array>
#include <fstream>
#include <map>
#include <string_view>

namespace orv::stationws {

const char* const kUsage =
    "usage: stationws [--listen HOST:PORT] [--dsn DSN] [--user USER]\n"
    "                 [--password-file FILE | --password PASSWORD] [--public-url URL]\n"
    "                 [--threads N] [--http-threads N] [--timeout SECONDS]\n"
    "                 [--db-timeout SECONDS] [--max-answer BYTES] [--max-body BYTES]\n"
    "                 [--stop-wait SECONDS] [--answer-memory MB]\n"
    "Serves the stations and responses of the database at /fdsnws/station/1/.\n"
    "  --listen         address and port (default 127.0.0.1:8080; port 0: any free one)\n"
    "  --dsn, --user    the data source and its user (default: [DATABASE] of ORV.ini)\n"
    "  --password-file  a file whose first line is the password\n"
    "  --password       the password itself (every local user sees it in ps: prefer\n"
    "                   --password-file or STATIONWS_PASSWORD)\n"
    "  --public-url     the scheme, host and port (and path) clients reach the service at,\n"
    "                   named by the WADL and the error texts (default: the Host header)\n"
    "  --threads        the requests that read the database at once, each with up to two\n"
    "                   connections (default 4)\n"
    "  --http-threads   threads that serve the connections; a connection waiting for its\n"
    "                   client or its answer holds none (default 2)\n"
    "  --timeout        seconds a client may stay silent (six times as long while it holds\n"
    "                   its answer unread), and may take to send the head of a request;\n"
    "                   the body gets as long again, and a second per 64 KB (default 10)\n"
    "  --db-timeout     seconds the database may take to connect or to answer before the\n"
    "                   request gets 503 (default 10)\n"
    "  --max-answer     largest answer in bytes, beyond it 413 (default 0: any)\n"
    "  --max-body       largest POST body in bytes, beyond it 413 (default 1048576)\n"
    "  --stop-wait      seconds SIGTERM waits for the answers in flight before it cuts\n"
    "                   them (default 30)\n"
    "  --answer-memory  megabytes of answers kept in memory (compressed) and given again\n"
    "                   while the database has not changed; 0: every answer is read from\n"
    "                   the database (default 128)\n"
    "Each option may come from the environment instead: STATIONWS_ and its name in\n"
    "capitals, - as _ (STATIONWS_DSN, STATIONWS_PASSWORD, STATIONWS_HTTP_THREADS, ...);\n"
    "an option given on the command line wins.\n";

namespace {

constexpr std::array<std::string_view, 14> kOptions{
    "listen",     "dsn",      "user",         "password",     "password-file",
    "public-url", "threads",  "http-threads", "timeout",      "db-timeout",
    "max-answer", "max-body", "stop-wait",    "answer-memory"};

// A value and where it came from ("--threads" or "STATIONWS_THREADS"), for messages.
struct Given {
    std::string value;
    std::string where;
};

std::string variableOf(std::string_view option) {
    std::string name = "STATIONWS_" + text::toUpper(option);
    for (char& c : name)
        if (c == '-')
            c = '_';
    return name;
}

bool known(std::string_view option) {
    for (const std::string_view o : kOptions)
        if (o == option)
            return true;
    return false;
}

// The scheme and authority (and a path) of a URL that can be written into the WADL and the
// error texts as it is: http or https, printable ASCII without blanks, quotes, angle
// brackets, a query or a fragment. Without a trailing '/'.
std::optional<std::string> publicUrl(std::string_view url) {
    const bool scheme = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
    const std::size_t rest = url.find("://") + 3;
    if (!scheme || url.size() <= rest)
        return std::nullopt;
    for (const char c : url)
        if (c <= ' ' || c >= 0x7f ||
            std::string_view("\"<>\\^`{|}?#'").find(c) != std::string_view::npos)
            return std::nullopt;
    while (url.size() > rest && url.back() == '/')
        url.remove_suffix(1);
    return std::string(url);
}

class Reader {
public:
    explicit Reader(std::map<std::string, Given, std::less<>> given) : given_(std::move(given)) {}

    // The settings; nullopt with error() set when one cannot be used.
    std::optional<Config> read() {
        Config c;
        if (!listen(c) || !database(c) || !number("threads", 1, 256, c.databaseConnections) ||
            !number("http-threads", 1, 4096, c.httpThreads) ||
            !number("timeout", 1, 3600, c.timeoutSeconds) ||
            !number("db-timeout", 1, 3600, c.database.timeoutSeconds) ||
            !number("max-answer", 0, 1LL << 50, c.maxAnswerBytes) ||
            !number("max-body", 1, 1LL << 40, c.maxBodyBytes) ||
            !number("stop-wait", 1, 3600, c.stopSeconds))
            return std::nullopt;
        std::size_t megabytes = c.answerMemoryBytes >> 20;
        if (!number("answer-memory", 0, 1 << 20, megabytes))
            return std::nullopt;
        c.answerMemoryBytes = megabytes << 20;
        if (const Given* g = find("public-url")) {
            const auto url = publicUrl(g->value);
            if (!url)
                return fail(g->where +
                            " takes http://HOST[:PORT][/PATH] or https://...: " + g->value);
            c.publicUrl = *url;
        }
        return c;
    }
    const std::string& error() const { return error_; }

private:
    const Given* find(std::string_view option) const {
        const auto it = given_.find(option);
        return it == given_.end() ? nullptr : &it->second;
    }
    std::nullopt_t fail(std::string message) {
        error_ = std::move(message);
        return std::nullopt;
    }

    template <typename T>
    bool number(std::string_view option, long long low, long long high, T& out) {
        const Given* g = find(option);
        if (!g)
            return true;
        long long n = 0;
        if (!text::parseInt(g->value, n) || n < low || n > high) {
            error_ = g->where + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ": " + g->value;
            return false;
        }
        out = static_cast<T>(n);
        return true;
    }

    bool listen(Config& c) {
        const Given* g = find("listen");
        if (!g)
            return true;
        const std::size_t colon = g->value.rfind(':');
        long long port = 0;
        if (colon == std::string::npos || colon == 0 ||
            !text::parseInt(g->value.substr(colon + 1), port) || port < 0 || port > 65535) {
            error_ = g->where + " takes HOST:PORT: " + g->value;
            return false;
        }
        c.host = g->value.substr(0, colon);
        c.port = static_cast<int>(port);
        return true;
    }

    // The data source, user and password; the password is never repeated in a message.
    bool database(Config& c) {
        const Given* password = find("password");
        const Given* passwordFile = find("password-file");
        if (password && passwordFile && password->where[0] == passwordFile->where[0]) {
            error_ = "give the password once: " + password->where + " or " + passwordFile->where;
            return false;
        }
        // An option on the command line wins over the environment's other way of giving it.
        const bool fromFile = passwordFile && (!password || passwordFile->where[0] == '-');
        if (fromFile) {
            std::ifstream in(passwordFile->value, std::ios::binary);
            std::string line;
            if (!in || !std::getline(in, line)) {
                error_ = "cannot read the password from " + passwordFile->where + " " +
                         passwordFile->value;
                return false;
            }
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            c.database.password = line;
        } else if (password) {
            c.database.password = password->value;
        }
        if (const Given* user = find("user"))
            c.database.user = user->value;
        if (const Given* dsn = find("dsn")) {
            c.database.dataSource = dsn->value;
        } else {
            const ini::SettingsFiles ini = ini::sharedSettings();
            c.database.dataSource = ini.read("DATABASE", "ODBC", "", 255);
            if (!find("user"))
                c.database.user = ini.read("DATABASE", "USER", "", 255);
            if (!password && !passwordFile)
                c.database.password = ini.read("DATABASE", "PASSWORD", "", 255);
        }
        if (c.database.dataSource.empty()) {
            error_ = "no data source (--dsn, STATIONWS_DSN, or [DATABASE] ODBC= in " +
                     ini::sharedSettings().names() + ")";
            return false;
        }
        return true;
    }

    std::map<std::string, Given, std::less<>> given_;
    std::string error_;
};

} // namespace

Settings readSettings(const std::vector<std::string>& arguments, const Environment& environment) {
    Settings settings;
    std::map<std::string, Given, std::less<>> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg == "-h" || arg == "--help") {
            settings.help = true;
            return settings;
        }
        if (arg.rfind("--", 0) != 0 || !known(std::string_view(arg).substr(2))) {
            settings.error = "unknown option: " + arg;
            return settings;
        }
        if (i + 1 >= arguments.size()) {
            settings.error = "missing value of " + arg;
            return settings;
        }
        given[arg.substr(2)] = {arguments[++i], arg};
    }
    for (const std::string_view option : kOptions) {
        const std::string variable = variableOf(option);
        if (given.find(option) == given.end())
            if (const char* value = environment(variable.c_str()))
                given[std::string(option)] = {value, variable};
    }
    Reader reader(std::move(given));
    settings.config = reader.read();
    settings.error = reader.error();
    return settings;
}

} // namespace orv::stationws
