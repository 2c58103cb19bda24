// scale-bench: generates the archive on each back end and prints the table of the
// editors' steps on it. Run through bench/run, which provides the data sources.
//
//   scale-bench --backend NAME=DSN... --cli GAINBOOK_CLI --work DIR [--generate]
//               [--repeat N] [--program-repeat N] [--generate-only]
#include "archive.h"

#include "text/text.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using namespace orv;

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int usage() {
    std::cerr << "usage: scale-bench --backend NAME=DSN... --cli GAINBOOK_CLI --work DIR "
                 "[--generate | --generate-only] [--repeat N] [--program-repeat N]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<std::string, std::string>> backends;
    bench::MeasureOptions options;
    bool generate = false;
    bool measure = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--backend" && hasValue) {
            const std::string v = argv[++i];
            const auto eq = v.find('=');
            if (eq == std::string::npos)
                return usage();
            backends.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--cli" && hasValue) {
            options.cli = argv[++i];
        } else if (a == "--work" && hasValue) {
            options.workDir = argv[++i];
        } else if (a == "--repeat" && hasValue) {
            options.repeat = std::atoi(argv[++i]);
        } else if (a == "--program-repeat" && hasValue) {
            options.programRepeat = std::atoi(argv[++i]);
        } else if (a == "--generate") {
            generate = true;
        } else if (a == "--generate-only") {
            generate = true;
            measure = false;
        } else {
            return usage();
        }
    }
    if (backends.empty() || options.cli.empty() || options.workDir.empty())
        return usage();
    options.poleZeroText = fileText(BENCH_POLE_ZERO_FILE);

    const std::string loadBefore = loadAverage();
    const auto started = std::chrono::steady_clock::now();
    std::vector<bench::Figures> results;
    try {
        for (const auto& [name, dsn] : backends) {
            options.dsn = dsn;
            std::cerr << name << ":\n";
            if (generate) {
                odbc::Connection c;
                if (odbc::isError(c.connect(dsn, options.user, options.password)))
                    throw bench::BenchError("cannot connect to " + dsn + ": " + c.diagnostic());
                bench::generateArchive(c, options.poleZeroText, std::cerr);
            }
            if (measure)
                results.push_back(bench::measureArchive(options, std::cerr));
        }
    } catch (const std::exception& e) {
        std::cerr << "scale-bench: " << e.what() << "\n";
        return 1;
    }
    if (!measure)
        return 0;
    const double minutes =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 60;

    std::cout << text::format("%u cores; load average %s at the start, %s at the end; %.1f min\n\n",
                              std::thread::hardware_concurrency(), loadBefore.c_str(),
                              loadAverage().c_str(), minutes);
    std::cout << "| Step |";
    for (const auto& backend : backends)
        std::cout << ' ' << backend.first << " |";
    std::cout << "\n|---|";
    for (std::size_t i = 0; i < backends.size(); ++i)
        std::cout << "---|";
    std::cout << "\n";
    for (const std::string& step : bench::stepNames()) {
        std::cout << "| " << step << " |";
        for (const auto& figures : results) {
            const auto found = figures.find(step);
            std::cout << ' ' << (found == figures.end() ? "-" : found->second) << " |";
        }
        std::cout << "\n";
    }
    return 0;
}
