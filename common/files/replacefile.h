// Replacing a file whole and atomically: the new content goes into a temporary file beside
// the target, is flushed to disk and renamed over it, so that a reader sees the old file or
// the new one, never a part, and a write that fails half way leaves the old file as it was.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orv::files {

// Why a path that names something other than a regular file is not replaced.
inline constexpr const char* kNotARegularFile =
    "это не обычный файл (устройство, канал, сокет или каталог): заменять его нельзя";

// Writes data as the file at path. A file that exists keeps its mode and (where allowed)
// its owner; symbolic links are followed, so that they stay, and a link to a file that
// does not exist yet creates that file. Only a regular file is replaced: anything else
// the path names (a device, a pipe, a directory) is refused with kNotARegularFile. The new
// file is a new inode: other hard links to the old file keep the old content. An existing
// file that may not be written is left alone. The directory must exist. False on any
// failure, with the reason (the system's error text) in why when given; no temporary file
// is left then.
bool replaceFile(const std::filesystem::path& path, std::string_view data,
                 std::string* why = nullptr);

// The same replacement for data written in parts, as they come (a document streamed from
// the database): the parts go into the temporary file, and commit() puts it in place. Left
// without commit(), or on any failure, nothing changes and no temporary file is left.
class FileReplacement {
public:
    explicit FileReplacement(const std::filesystem::path& path);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // False, with why(), when the path cannot be replaced or a write failed.
    bool ok() const { return fd_ >= 0; }
    const std::string& why() const { return why_; }
    bool write(std::string_view data);
    // Flushes the file to disk and renames it over the target.
    bool commit();

private:
    void fail(int error);

    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
    std::string why_;
};

} // namespace orv::files
