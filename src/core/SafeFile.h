// Whole-file reads and crash-safe whole-file writes.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

// Reads the whole file. On failure returns false and sets err to the errno value.
bool ReadWholeFile(const std::string& path, std::string& out, int& err);

// Writes data to "<path>.tmp" in the same directory, flushes it to disk and renames it over
// path, so that a crash or a full disk leaves either the old or the new file whole. The new
// file gets the given mode (before the umask). On failure the old file is untouched, the
// temporary file is removed, and err holds the errno value.
bool SaveFileAtomically(const std::string& path, std::string_view data, mode_t mode, int& err);

// Test hook: when set, SaveFileAtomically fails with this errno after writing the temporary
// file (as a full disk would) and leaves the target untouched. 0 turns it off.
void SetSaveFailureForTesting(int err);
