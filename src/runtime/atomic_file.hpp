// Replacing a file so that a failed or interrupted write never destroys the previous one: the
// data goes to a temporary file in the same folder, is flushed to disk and renamed over the old
// file, and the folder is synced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

namespace kelvane::runtime {

// Replaces `path` with `bytes`. Throws runtime::Error naming the file and the cause; the old
// file is then untouched and no temporary file is left.
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Replaces `path` with what `write` puts into the (empty, existing) temporary file whose path it
// is given, for writers that open files by name. An exception from `write` removes the
// temporary file and propagates.
void replaceFileAtomically(
    const std::filesystem::path& path,
    const std::function<void(const std::filesystem::path& temporary)>& write);

}  // namespace kelvane::runtime
