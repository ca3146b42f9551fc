// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <sys/types.h>

// Reads the whole file. On failure returns false and sets err to the errno value. Anything
// but a regular file (a directory, a FIFO, a device) gives EISDIR or EINVAL without blocking,
// and a file larger than maxBytes gives EFBIG without being read.
bool ReadWholeFile(const std::string& path, std::string& out, int& err,
                   std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// What mode a saved file gets: an existing file keeps its own and a new one gets the given
// mode, or the file always ends up with exactly the given mode.
enum class EFileMode { KeepExisting, Exactly };

// Saves data as the whole content of path, crash-safely: a symlink is followed to its target,
// data goes to a new temporary file with a unique name beside the target (created with
// O_EXCL | O_NOFOLLOW and given its final mode and the target's owner before anything is
// written), which is flushed to disk and renamed over the target, so that a crash or a full
// disk leaves either the old or the new file whole. Where the target's folder takes no
// temporary file (or the owner cannot be kept that way), an existing target is rewritten in
// place and flushed instead, and the trace says that this save was not crash-safe. The mode is
// taken exactly as given (no umask). On failure the old file is untouched (except after a
// failed in-place rewrite), no temporary file is left, and err holds the errno value.
bool SaveFileAtomically(const std::string& path, std::string_view data, mode_t mode, int& err,
                        EFileMode policy = EFileMode::KeepExisting);

// Test hook: when set, SaveFileAtomically fails with this errno after writing the temporary
// file (as a full disk would) and leaves the target untouched. 0 turns it off.
void SetSaveFailureForTesting(int err);
