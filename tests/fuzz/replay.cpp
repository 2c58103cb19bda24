// Runs a fuzz target once on each input it is given, without libFuzzer: every file named,
// and every file in a folder named (in name order; a missing folder holds none). The
// build without ORV_FUZZ runs its kept inputs this way as a test.
#include "fuzz.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

void runOn(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

} // namespace

int main(int argc, char** argv) {
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::vector<fs::path> files;
        if (fs::is_directory(arg)) {
            for (const fs::directory_entry& e : fs::directory_iterator(arg))
                if (e.is_regular_file())
                    files.push_back(e.path());
            std::sort(files.begin(), files.end());
        } else if (fs::exists(arg)) {
            files.push_back(arg);
        }
        for (const fs::path& f : files) {
            std::cout << f.string() << std::endl; // named before a crash can hide it
            runOn(f);
            ++count;
        }
    }
    std::cout << count << " inputs run\n";
    return 0;
}
