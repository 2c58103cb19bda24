// Replacing a file whole and atomically: the new content goes into a temporary file beside
// the target, is flushed to disk and renamed over it, so that a reader sees the old file or
// the new one, never a part, and a write that fails half way leaves the old file as it was.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orv::files {

// Writes data as the file at path. A file that exists keeps its mode and (where allowed)
// its owner; a symbolic link is followed, so that the link stays. An existing file that
// may not be written is left alone. The directory must exist. False on any failure, with
// the reason (the system's error text) in why when given; no temporary file is left then.
bool replaceFile(const std::filesystem::path& path, std::string_view data,
                 std::string* why = nullptr);

} // namespace orv::files
