// gainbook-cli import of generated documents of a whole network (10,000 and 50,000 channel
// epochs, each with a sensor, a digitiser and a 64-coefficient FIR stage): the peak resident
// memory of the process, as the kernel counts it, stays under 100 MB whatever the size, and
// the import finishes within a bound. The speed is printed for the record.
#include "clirunner.h"
#include "documentchecks.h"
#include "handmade.h"
#include "testdb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace orv::stationxml::test;

namespace {

constexpr long kMemoryBoundKb = 100 * 1000;

// The sanitizer's allocator holds freed memory back and makes the import several times
// slower: neither the peak nor the time says anything about the import there.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_SANITIZER()                                                                     \
    GTEST_SKIP() << "memory and time are not measured under AddressSanitizer"
#else
#define SKIP_UNDER_SANITIZER() (void)0
#endif

// A FIR stage of 64 coefficients, as a digitiser's decimation gives it.
std::string firStage() {
    std::string s =
        "<Stage number=\"3\"><FIR>" + units("COUNTS", "COUNTS") + "<Symmetry>NONE</Symmetry>";
    for (int i = 0; i < 64; ++i)
        s += "<NumeratorCoefficient i=\"" + std::to_string(i) + "\">" +
             std::to_string(i == 0 ? 1.0 : 1e-7 * i) + "</NumeratorCoefficient>";
    return s +
           "</FIR><Decimation><InputSampleRate>20</InputSampleRate><Factor>1</Factor><Offset>0"
           "</Offset><Delay>0</Delay><Correction>0</Correction></Decimation>" +
           stageGain("1") + "</Stage>";
}

// epochs channel epochs in stations of 100 (10 locations of 10 channels), one epoch each,
// written to path; the size of the file.
std::uintmax_t generate(const std::filesystem::path& path, int epochs) {
    static const char* const kChannels[] = {"HHZ", "HHN", "HHE", "BHZ", "BHN",
                                            "BHE", "LHZ", "LHN", "LHE", "EHZ"};
    HandmadeChannel c;
    c.response = velocityResponse();
    c.response.insert(c.response.size(), firStage());
    std::ofstream out(path, std::ios::binary);
    const std::string whole = document({c}, "S0000");
    const std::size_t stationAt = whole.find("<Station ");
    const std::size_t channelAt = whole.find("<Channel ");
    const std::size_t channelEnd = whole.find("</Channel>") + 10;
    out << whole.substr(0, stationAt);
    for (int station = 0; station * 100 < epochs; ++station) {
        char code[16];
        std::snprintf(code, sizeof code, "S%04d", station);
        std::string head = whole.substr(stationAt, channelAt - stationAt);
        head.replace(head.find("S0000"), 5, code);
        out << head;
        for (int i = 0; i < 100 && station * 100 + i < epochs; ++i) {
            HandmadeChannel ch = c.named(kChannels[i % 10], "0" + std::to_string(i / 10));
            const std::string one = document({ch}, code);
            out << one.substr(one.find("<Channel "),
                              one.find("</Channel>") + 10 - one.find("<Channel "));
        }
        out << "</Station>";
    }
    out << whole.substr(channelEnd + std::string("</Station>").size());
    out.close();
    return std::filesystem::file_size(path);
}

struct Measured {
    int status = -1;
    double seconds = 0;
    long peakKb = 0; // the child's largest resident set
    std::string out, err;
};

// Runs gainbook-cli with args, ended after limit seconds; its peak memory from wait4.
Measured measure(const std::filesystem::path& dir, const std::vector<std::string>& args,
                 int limit) {
    std::vector<std::string> all = {GAINBOOK_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string outPath = (dir / "out").string(), errPath = (dir / "err").string();
    posix_spawn_file_actions_addopen(&files, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&files, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    Measured m;
    const int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0)
        return m;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limit))
            kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.peakKb = usage.ru_maxrss;
    m.out = orv::gainbook::test::slurp(dir / "out");
    m.err = orv::gainbook::test::slurp(dir / "err");
    return m;
}

void record(const char* what, int epochs, std::uintmax_t bytes, const Measured& m) {
    std::printf("[ measured ] %s: %d epochs, %.1f MB document, %.1f s, %.0f epochs/s, peak %.1f "
                "MB resident\n",
                what, epochs, double(bytes) / 1e6, m.seconds, epochs / m.seconds,
                double(m.peakKb) / 1000);
}

} // namespace

// The documents alone (no data source): 10,000 and 50,000 epochs in the same memory.
TEST(StationXmlScale, ADryRunHoldsOneChannelAtATime) {
    SKIP_UNDER_SANITIZER();
    orv::test::TempDir dir;
    for (const int epochs : {10000, 50000}) {
        const auto file = dir.path() / "network.xml";
        const std::uintmax_t bytes = generate(file, epochs);
        const Measured m = measure(dir.path(), {"import", file.string(), "--dry-run"}, 300);
        record("import --dry-run", epochs, bytes, m);
        ASSERT_EQ(m.status, 0) << m.err.substr(0, 2000);
        EXPECT_NE(m.out.find("было бы записано " + std::to_string(epochs)), std::string::npos)
            << m.out.substr(m.out.size() - 200);
        EXPECT_LT(m.peakKb, kMemoryBoundKb) << epochs << " epochs";
    }
}

class StationXmlScaleOnDatabase : public CliOnDatabase {};

// 10,000 epochs written for real, in batches of transactions.
TEST_P(StationXmlScaleOnDatabase, TenThousandEpochsAreWrittenInBoundedMemory) {
    SKIP_UNDER_SANITIZER();
    constexpr int kEpochs = 10000;
    const auto file = dir.path() / "network.xml";
    const std::uintmax_t bytes = generate(file, kEpochs);
    // Kept where ORV_SCALE_DOCUMENT names, to measure an import by hand on other data sources.
    if (const char* keep = std::getenv("ORV_SCALE_DOCUMENT"))
        std::filesystem::copy_file(file, keep, std::filesystem::copy_options::overwrite_existing);
    std::vector<std::string> args = {"import", file.string(), "--yes"};
    for (const std::string a : {"--dsn", db.dsn().c_str(), "--user", "ORV", "--password", "KTZ"})
        args.push_back(a);
    const Measured m = measure(dir.path(), args, 600);
    record(("import on " + orv::test::backendName(GetParam())).c_str(), kEpochs, bytes, m);
    ASSERT_EQ(m.status, 0) << m.err.substr(0, 2000);
    EXPECT_NE(m.out.find("записано 10000 из 10000"), std::string::npos);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM CALIBRATION"), "10000");
    EXPECT_LT(m.peakKb, kMemoryBoundKb);
}

INSTANTIATE_TEST_SUITE_P(Backends, StationXmlScaleOnDatabase,
                         testing::ValuesIn(orv::test::allBackends()), orv::test::backendParamName);
