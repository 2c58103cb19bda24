// Replacing files whole: what the path names decides what is written, on the real file
// system of a temporary directory.
#include "files/replacefile.h"

#include "testdb.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using orv::files::replaceFile;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t entries(const fs::path& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

} // namespace

TEST(ReplaceFile, AnythingButARegularFileIsRefusedAndStaysWhatItIs) {
    orv::test::TempDir dir;
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path folder = dir / "folder";
    fs::create_directory(folder);
    fs::create_symlink("pipe", dir / "link-to-pipe");
    for (const fs::path& target : {fifo, folder, dir / "link-to-pipe"}) {
        std::string why;
        EXPECT_FALSE(replaceFile(target, "data", &why)) << target;
        EXPECT_EQ(why, orv::files::kNotARegularFile);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_symlink(dir / "link-to-pipe"));
    EXPECT_EQ(entries(dir.path()), 3u); // no temporary file left behind
}

TEST(ReplaceFile, LinksAreFollowedToTheFileTheyNameDanglingOnesIncluded) {
    orv::test::TempDir dir;
    fs::create_directory(dir / "sub");
    // first -> sub/second -> third (relative to sub), which does not exist yet.
    fs::create_symlink("sub/second", dir / "first");
    fs::create_symlink("third", dir / "sub" / "second");
    std::string why;
    ASSERT_TRUE(replaceFile(dir / "first", "new", &why)) << why;
    EXPECT_TRUE(fs::is_symlink(dir / "first"));
    EXPECT_TRUE(fs::is_symlink(dir / "sub" / "second"));
    EXPECT_EQ(readFile(dir / "sub" / "third"), "new");
    // Written again through the links: the file they name is replaced.
    ASSERT_TRUE(replaceFile(dir / "first", "newer", &why)) << why;
    EXPECT_EQ(readFile(dir / "sub" / "third"), "newer");
    EXPECT_TRUE(fs::is_symlink(dir / "first"));

    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    EXPECT_FALSE(replaceFile(dir / "loop-a", "x", &why));
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(fs::is_symlink(dir / "loop-a"));
}

TEST(ReplaceFile, ANameAsLongAsTheFileSystemAllowsIsWritten) {
    orv::test::TempDir dir;
    for (const std::string& name :
         {std::string(250, 'n'), std::string(255, 'n'), std::string("Ж") + std::string(251, 'n')}) {
        std::string why;
        ASSERT_TRUE(replaceFile(dir / name, "first", &why)) << name.size() << ' ' << why;
        ASSERT_TRUE(replaceFile(dir / name, "second", &why)) << name.size() << ' ' << why;
        EXPECT_EQ(readFile(dir / name), "second");
    }
    EXPECT_EQ(entries(dir.path()), 3u);
}
