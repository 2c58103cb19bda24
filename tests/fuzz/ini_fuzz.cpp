// The settings files: reading every key the programs read from a file of any content, and
// writing one key into it, which must keep every other key as it was.
#include "fuzz.h"

#include "ini/inifile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Keys the programs read, in the section written and in others (each read loads the
// file again, so they are few); a write sets the first.
struct Key {
    const char* section;
    const char* key;
};
constexpr Key kKeys[] = {{"DATABASE", "ODBC"},
                         {"DATABASE", "USER"},
                         {"DATABASE", "DIR"},
                         {"ORV", "DIR"},
                         {"SYSTEM", "USE_DB"}};

// A folder of this process's own, in memory where the system has one, removed at exit.
const fs::path& folder() {
    static const fs::path dir = [] {
        const fs::path base =
            fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path d = base / ("orv-ini-fuzz." + std::to_string(::getpid()));
        fs::create_directories(d);
        std::atexit([] { fs::remove_all(folder()); });
        return d;
    }();
    return dir;
}

std::vector<std::string> readAll(const orv::ini::IniFile& ini) {
    std::vector<std::string> values;
    for (const Key& k : kKeys)
        values.push_back(ini.read(k.section, k.key, "\x01missing", 1000));
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path path = folder() / "ORV.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const orv::ini::IniFile ini(path);
    const std::vector<std::string> before = readAll(ini);
    ini.readInt("SYSTEM", "USE_DB", -1);

    const std::string value = "Источник данных";
    const bool written = ini.write(kKeys[0].section, kKeys[0].key, value);
    // The write leaves no file of its own behind, whether it succeeded or not.
    ORV_FUZZ_CHECK(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()) == 1);
    if (!written)
        return 0;
    const std::vector<std::string> after = readAll(ini);
    ORV_FUZZ_CHECK(after[0] == value);
    for (std::size_t i = 1; i < std::size(kKeys); ++i)
        ORV_FUZZ_CHECK(after[i] == before[i]);
    return 0;
}
