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

} // namespace orv::files
