// Timing the editors' steps on the archive: the database panel's statements as the
// browser sends them, Gainbook's start, gainbook-cli list and write as processes, and
// the station editor's look-up and write. Every figure is a median.
#include "archive.h"

#include "core/startup.h"
#include "core/stationdlg.h"
#include "db/responsestatements.h"
#include "mainwindow.h"
#include "text/text.h"
#include "ui/scripted.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orv::bench {

using odbc::Parameter;
using text::format;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kStepAllStations =
    "all stations, \"SELECT DISTINCT STA FROM CALIBRATION\" (every start)";
const char* const kStepNetworksOfStation = "networks of a station (every start)";
const char* const kStepAllNetworks = "all networks (browse by network)";
const char* const kStepStationsOfNetwork = "stations of a network";
const char* const kStepChannels = "channels of a station";
const char* const kStepLocations = "locations of a channel";
const char* const kStepIntervals = "interval list";
const char* const kStepRecord = "record with its two units";
const char* const kStepWriteLookups = "the write's look-ups (intervals, dialog list, completion)";
const char* const kStepStart = "Gainbook start to a filled window, channel requested";
const char* const kStepList = "`gainbook-cli list` of everything";
const char* const kStepCheck = "`gainbook-cli check` of everything";
const char* const kStepStationXml = "`gainbook-cli stationxml` of everything, level response";
const char* const kStepImport = "`gainbook-cli import` of 1,000 channel epochs into new keys";
const char* const kStepWriteNew = "`gainbook-cli write` of 200 files into new keys";
const char* const kStepWriteHistory = "the same into keys with 20 intervals";
const char* const kStepLookUp = "Sitewright look-up per typed character (all / existing code)";
const char* const kStepStationWrite = "Sitewright write of a station with 21 channels";

constexpr int kWriteFiles = 200;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

std::string ms(double value) {
    if (value < 1)
        return format("%.2f ms", value);
    if (value < 10)
        return format("%.1f ms", value);
    if (value < 1000)
        return format("%.0f ms", value);
    return format("%.2f s", value / 1000);
}

// A key of the archive, spread over it by i.
struct Key {
    std::string network, station, channel, location;
};
Key keyNumber(int i) {
    const int n = (i * 7) % kNetworks;
    const int s = (i * 37) % kStationsPerNetwork;
    return {networkCode(n), stationCode(n, s), kChannelCodes[i % kKeyChannels],
            kLocationCodes[(i / kKeyChannels) % kKeyLocations]};
}

// Runs a query as the browser does (a statement of its own, every row fetched and its
// first column read) and returns the milliseconds it took.
double timeQuery(odbc::Connection& c, const char* sql, const std::vector<Parameter>& parameters) {
    const auto started = Clock::now();
    odbc::Statement st(c);
    const SQLRETURN rc = parameters.empty() ? st.execDirect(sql) : st.run(sql, parameters);
    if (odbc::isError(rc))
        throw BenchError(std::string(sql) + ": " + st.diagnostic());
    std::size_t rows = 0;
    while (odbc::isSuccess(st.fetch())) {
        st.getText(1);
        ++rows;
    }
    const double elapsed = msSince(started);
    if (rows == 0)
        throw BenchError(std::string(sql) + ": no rows");
    return elapsed;
}

// The median of repeat runs of f(i), after one run that warms the caches.
double medianOf(int repeat, const std::function<double(int)>& f) {
    f(repeat);
    std::vector<double> times;
    for (int i = 0; i < repeat; ++i)
        times.push_back(f(i));
    return median(times);
}

std::vector<Parameter> codes(std::initializer_list<std::string> values) {
    std::vector<Parameter> p;
    for (const auto& v : values)
        p.push_back(Parameter::code(v));
    return p;
}

odbc::Timestamp newestStart() {
    return {kFirstYear + kIntervals - 1, 1, 1, 0, 0, 0};
}

void measureBrowser(odbc::Connection& c, int repeat, Figures& out) {
    namespace sql = gainbook::sql;
    // The first list in the form the database panel sends to this back end.
    const std::string dbms = c.dbmsName().value_or("");
    out[kStepAllStations] = ms(medianOf(
        repeat, [&](int) { return timeQuery(c, gainbook::firstListStatement(true, dbms), {}); }));
    out[kStepNetworksOfStation] = ms(medianOf(repeat, [&](int i) {
        return timeQuery(c, sql::kNetworksOfStation, codes({keyNumber(i).station}));
    }));
    out[kStepAllNetworks] = ms(medianOf(
        repeat, [&](int) { return timeQuery(c, gainbook::firstListStatement(false, dbms), {}); }));
    out[kStepStationsOfNetwork] = ms(medianOf(repeat, [&](int i) {
        return timeQuery(c, sql::kStationsOfNetwork, codes({keyNumber(i).network}));
    }));
    const double byStation = medianOf(repeat, [&](int i) {
        const Key k = keyNumber(i);
        return timeQuery(c, sql::kChannelsOfNetworkStation, codes({k.network, k.station}));
    });
    const double byNetwork = medianOf(repeat, [&](int i) {
        const Key k = keyNumber(i);
        return timeQuery(c, sql::kChannelsOfStationNetwork, codes({k.station, k.network}));
    });
    out[kStepChannels] = ms(std::max(byStation, byNetwork));
    out[kStepLocations] = ms(medianOf(repeat, [&](int i) {
        const Key k = keyNumber(i);
        return timeQuery(c, sql::kLocations, codes({k.station, k.network, k.channel}));
    }));
    out[kStepIntervals] = ms(medianOf(repeat, [&](int i) {
        const Key k = keyNumber(i);
        return timeQuery(c, sql::kIntervals, codes({k.station, k.network, k.channel, k.location}));
    }));
    out[kStepRecord] = ms(medianOf(repeat, [&](int i) {
        const Key k = keyNumber(i);
        std::vector<Parameter> p = codes({k.station, k.network, k.channel, k.location});
        p.push_back(Parameter::date(newestStart(), true));
        return timeQuery(c, sql::kRecordSac, p) +
               timeQuery(c, sql::kSensUnit, {Parameter::unitId(1)}) +
               timeQuery(c, sql::kFreqUnit, {Parameter::unitId(0)});
    }));
    out[kStepWriteLookups] = ms(medianOf(repeat, [&](int i) {
        const Key k = keyNumber(i);
        // The completion test finds no row here; it is timed as it runs, without rows.
        std::vector<Parameter> p = codes({k.network, k.station, k.channel, k.location});
        p.push_back(Parameter::date(newestStart(), true));
        const auto started = Clock::now();
        odbc::Statement st(c);
        if (odbc::isError(st.run(sql::kCompletionSac, p)))
            throw BenchError(std::string("completion test: ") + st.diagnostic());
        while (odbc::isSuccess(st.fetch()))
            ;
        const double completion = msSince(started);
        return timeQuery(c, sql::kExistingIntervals,
                         codes({k.station, k.channel, k.network, k.location})) +
               timeQuery(c, sql::kChoiceIntervals,
                         codes({k.network, k.station, k.channel, k.location})) +
               completion;
    }));
}

void measureGainbookStart(const MeasureOptions& o, Figures& out) {
    const Key k = keyNumber(3);
    const std::vector<std::string> arguments = {"ODBC=" + o.dsn, "USER=" + o.user,
                                                "PASSWORD=" + o.password,
                                                k.station + ":" + k.channel + ":" + k.location};
    const std::filesystem::path dir = o.workDir;
    out[kStepStart] = ms(medianOf(std::max(5, o.repeat / 2), [&](int) {
        ui::ScriptedInteraction ui;
        const auto started = Clock::now();
        gainbook::MainWindow window(ui, nullptr, dir, dir / "ORV.ini");
        window.startUp(arguments);
        const double elapsed = msSince(started);
        if (!window.connected() || window.browser.storedText.empty() ||
            window.browser.stations.selectedText() != k.station)
            throw BenchError("Gainbook did not start on " + k.station);
        return elapsed;
    }));
}

struct ProgramRun {
    double seconds = 0;
    long maxRssKb = 0;
    int status = -1;
};

// Runs a program with its output into files; its time and peak memory.
ProgramRun runProgram(const std::vector<std::string>& argv, const std::string& outFile,
                      const std::string& errFile) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto started = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        throw BenchError("fork failed");
    if (pid == 0) {
        const int outFd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || errFd < 0)
            _exit(127);
        dup2(outFd, 1);
        dup2(errFd, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        throw BenchError("wait4 failed");
    ProgramRun run;
    run.seconds = msSince(started) / 1000;
    run.maxRssKb = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> connectionArguments(const MeasureOptions& o) {
    return {"--dsn", o.dsn, "--user", o.user, "--password", o.password};
}

void measureList(const MeasureOptions& o, std::ostream& log, Figures& out) {
    std::vector<double> seconds;
    long peak = 0;
    std::vector<std::string> argv = {o.cli, "list"};
    for (const auto& a : connectionArguments(o))
        argv.push_back(a);
    const std::string listing = o.workDir + "/list.out";
    for (int i = 0; i < o.programRepeat; ++i) {
        const ProgramRun run = runProgram(argv, listing, o.workDir + "/list.err");
        if (run.status != 0)
            throw BenchError("gainbook-cli list failed, see " + o.workDir + "/list.err");
        seconds.push_back(run.seconds);
        peak = std::max(peak, run.maxRssKb);
    }
    std::ifstream in(listing);
    const auto lines = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
    log << "  list: " << lines << " lines\n";
    out[kStepList] = format("%.2f s, %.0f MB peak", median(seconds), peak / 1024.0);
}

// The whole archive checked (one run: it reads every row), as CSV so that the findings are
// counted by lines; exit 1 only says that errors were found.
void measureCheck(const MeasureOptions& o, std::ostream& log, Figures& out) {
    std::vector<std::string> argv = {o.cli, "check", "--format", "csv"};
    for (const auto& a : connectionArguments(o))
        argv.push_back(a);
    const std::string findings = o.workDir + "/check.csv";
    const ProgramRun run = runProgram(argv, findings, o.workDir + "/check.err");
    if (run.status != 0 && run.status != 1)
        throw BenchError("gainbook-cli check failed, see " + o.workDir + "/check.err");
    std::ifstream in(findings);
    const auto lines = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
    std::ifstream err(o.workDir + "/check.err");
    std::string said((std::istreambuf_iterator<char>(err)), {});
    std::replace(said.begin(), said.end(), '\n', ' ');
    log << "  check: " << (lines > 0 ? lines - 1 : 0) << " findings; " << said << "\n";
    out[kStepCheck] = format("%.1f s, %.0f MB peak", run.seconds, run.maxRssKb / 1024.0);
}

// The whole archive as StationXML (one run: it reads every row), then 1,000 of its epochs
// (stations S0000 and S0001, 500 epochs each) imported again under a network of their own.
void measureStationXml(const MeasureOptions& o, std::ostream& log, Figures& out) {
    std::vector<std::string> argv = {o.cli, "stationxml"};
    for (const auto& a : connectionArguments(o))
        argv.push_back(a);
    const std::string document = o.workDir + "/inventory.xml";
    ProgramRun run = runProgram(argv, document, o.workDir + "/stationxml.err");
    if (run.status != 0)
        throw BenchError("gainbook-cli stationxml failed, see " + o.workDir + "/stationxml.err");
    // The command's closing line on stderr counts the epochs ("эпох каналов N").
    std::ifstream err(o.workDir + "/stationxml.err");
    const std::string said((std::istreambuf_iterator<char>(err)), {});
    const std::string marker = "эпох каналов ";
    const auto found = said.rfind(marker);
    const double epochs =
        found == std::string::npos ? 0 : std::atof(said.c_str() + found + marker.size());
    const auto bytes = std::filesystem::file_size(document);
    std::filesystem::remove(document);
    log << "  stationxml: " << epochs << " channel epochs, " << bytes / 1048576 << " MB\n";
    out[kStepStationXml] = format("%.1f s, %.0f epochs/s, %.0f MB peak", run.seconds,
                                  epochs / run.seconds, run.maxRssKb / 1024.0);

    std::vector<std::string> part = {o.cli, "stationxml", "--sta", "S0000,S0001"};
    for (const auto& a : connectionArguments(o))
        part.push_back(a);
    const std::string partFile = o.workDir + "/part.xml";
    run = runProgram(part, partFile, o.workDir + "/part.err");
    if (run.status != 0)
        throw BenchError("gainbook-cli stationxml failed, see " + o.workDir + "/part.err");
    std::ifstream partIn(partFile);
    std::string partText((std::istreambuf_iterator<char>(partIn)), {});
    for (std::size_t at = partText.find("<Network code=\""); at != std::string::npos;
         at = partText.find("<Network code=\"", at + 1))
        partText.replace(at + 15, partText.find('"', at + 15) - (at + 15), "ZZ");
    const std::string importFile = o.workDir + "/import.xml";
    std::ofstream(importFile, std::ios::binary) << partText;
    std::vector<std::string> import = {o.cli, "import", importFile};
    for (const auto& a : connectionArguments(o))
        import.push_back(a);
    run = runProgram(import, o.workDir + "/import.out", o.workDir + "/import.err");
    if (run.status != 0)
        throw BenchError("gainbook-cli import failed, see " + o.workDir + "/import.err");
    // "записано N из M" closes what it printed.
    std::ifstream importOut(o.workDir + "/import.out");
    const std::string printed((std::istreambuf_iterator<char>(importOut)), {});
    const auto closing = printed.rfind("записано ");
    const double imported =
        closing == std::string::npos ? 0 : std::atof(printed.c_str() + closing + 17);
    log << "  import: " << imported << " channel epochs\n";
    out[kStepImport] = format("%.0f epochs/s", double(imported) / run.seconds);
}

// 200 exported response files of the given keys, all starting at the given time.
std::vector<std::string> responseFiles(const MeasureOptions& o, const std::string& tag,
                                       const std::vector<Key>& keys, const std::string& time) {
    const std::filesystem::path dir = std::filesystem::path(o.workDir) / tag;
    std::filesystem::create_directories(dir);
    std::vector<std::string> paths;
    for (const Key& k : keys) {
        const auto path = dir / (k.network + "." + k.station + "." + k.location + "." + k.channel);
        std::ofstream(path, std::ios::binary)
            << "# Station " << k.station << "\n# Channel " << k.channel << "\n# Location "
            << k.location << "\n# Network " << k.network << "\n# Time " << time << "\n"
            << o.poleZeroText;
        paths.push_back(path.string());
    }
    return paths;
}

// Responses per second of gainbook-cli write over each run's files (the whole program,
// connection and schema check included).
std::string measureWrite(const MeasureOptions& o, const std::string& what,
                         const std::function<std::vector<Key>(int run)>& keysOfRun,
                         std::ostream& log) {
    std::vector<double> rates;
    for (int r = 0; r < o.programRepeat; ++r) {
        const auto files =
            responseFiles(o, what + std::to_string(r), keysOfRun(r), "2015.01.01 00:00:00");
        std::vector<std::string> argv = {o.cli, "write"};
        argv.insert(argv.end(), files.begin(), files.end());
        for (const auto& a : connectionArguments(o))
            argv.push_back(a);
        const ProgramRun run = runProgram(argv, o.workDir + "/write.out", o.workDir + "/write.err");
        if (run.status != 0)
            throw BenchError("gainbook-cli write failed, see " + o.workDir + "/write.err");
        rates.push_back(static_cast<double>(files.size()) / run.seconds);
        log << format("  write %s run %d: %.2f s\n", what.c_str(), r, run.seconds);
    }
    return format("%.0f responses/s", median(rates));
}

void measureCliWrites(const MeasureOptions& o, std::ostream& log, Figures& out) {
    // New keys: a network the archive does not have (one of this run's own, should the
    // archive be measured again).
    const long tag = static_cast<long>(std::time(nullptr) % 10000);
    out[kStepWriteNew] = measureWrite(
        o, "new",
        [tag](int r) {
            std::vector<Key> keys;
            for (int i = 0; i < kWriteFiles; ++i)
                keys.push_back({format("X%04ld%d", tag, r), stationCode(i / kKeyChannels, 0),
                                kChannelCodes[i % kKeyChannels], "00"});
            return keys;
        },
        log);
    // Keys with 20 intervals: each run a network of its own, so that every key written to
    // has its 20.
    out[kStepWriteHistory] = measureWrite(
        o, "history",
        [](int r) {
            std::vector<Key> keys;
            const int n = kNetworks - 1 - r;
            for (int i = 0; i < kWriteFiles; ++i)
                keys.push_back(
                    {networkCode(n), stationCode(n, i / 2), kChannelCodes[i % 2 ? 2 : 0], "00"});
            return keys;
        },
        log);
}

struct StationDialog {
    explicit StationDialog(const MeasureOptions& o) {
        context.settings = {o.dsn, o.user, o.password};
        startup = sitewright::openOperationConnection(context.settings);
        if (!startup)
            throw BenchError("Sitewright cannot connect to " + o.dsn);
        context.startupConnection = startup.get();
        context.ui = &ui;
        context.localSettings = std::filesystem::path(o.workDir) / "Sitewright.ini";
        context.systemSettings = std::filesystem::path(o.workDir) / "orv.ini";
        dialog = std::make_unique<sitewright::CStationDlg>(context, "");
        dialog->open();
    }
    ui::ScriptedInteraction ui;
    sitewright::DialogContext context;
    std::unique_ptr<odbc::Connection> startup;
    std::unique_ptr<sitewright::CStationDlg> dialog;
};

void measureSitewright(const MeasureOptions& o, Figures& out) {
    StationDialog s(o);
    std::vector<double> all;
    std::vector<double> existing;
    for (int i = 0; i < 6; ++i) {
        const std::string code = keyNumber(i * 11).station;
        for (std::size_t n = 1; n <= code.size(); ++n) {
            const auto started = Clock::now();
            s.dialog->onStationTextChanged(code.substr(0, n));
            const double elapsed = msSince(started);
            if (i == 0)
                continue; // warming up
            all.push_back(elapsed);
            if (n == code.size())
                existing.push_back(elapsed);
        }
        if (s.dialog->state().chan[0] != kGroupChannels[0][0])
            throw BenchError("Sitewright did not show " + code);
    }
    out[kStepLookUp] = ms(median(all)) + " / " + ms(median(existing));

    std::vector<double> writes;
    for (int i = 0; i < 5; ++i) {
        const std::string code = stationCode(kNetworks - 1, kStationsPerNetwork - 1 - i);
        s.dialog->onStationTextChanged(code);
        s.dialog->controls().chan[20] = kGroupChannels[6][2];
        s.ui.clear();
        const auto started = Clock::now();
        s.dialog->onWrite();
        writes.push_back(msSince(started));
        const auto texts = s.ui.messageTexts();
        if (texts.empty() || texts.front().find("записана успешно") == std::string::npos)
            throw BenchError("Sitewright did not write " + code + ": " +
                             (texts.empty() ? std::string("no message") : texts.front()));
    }
    out[kStepStationWrite] = ms(median(writes));
}

} // namespace

const std::vector<std::string>& stepNames() {
    static const std::vector<std::string> names = {kStepAllStations,  kStepNetworksOfStation,
                                                   kStepAllNetworks,  kStepStationsOfNetwork,
                                                   kStepChannels,     kStepLocations,
                                                   kStepIntervals,    kStepRecord,
                                                   kStepWriteLookups, kStepStart,
                                                   kStepList,         kStepCheck,
                                                   kStepStationXml,   kStepImport,
                                                   kStepWriteNew,     kStepWriteHistory,
                                                   kStepLookUp,       kStepStationWrite};
    return names;
}

Figures measureArchive(const MeasureOptions& o, std::ostream& log) {
    Figures out;
    {
        odbc::Connection c;
        if (odbc::isError(c.connect(o.dsn, o.user, o.password)))
            throw BenchError("cannot connect to " + o.dsn + ": " + c.diagnostic());
        measureBrowser(c, o.repeat, out);
    }
    log << "  database panel measured\n";
    measureGainbookStart(o, out);
    measureSitewright(o, out);
    log << "  Gainbook start and Sitewright measured\n";
    measureList(o, log, out);
    measureCheck(o, log, out);
    measureStationXml(o, log, out);
    measureCliWrites(o, log, out);
    return out;
}

} // namespace orv::bench
