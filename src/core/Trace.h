// The diagnostic trace file "Ringvale.dbg": every command sent to the adapter, every line
// received from it, the link's "<dbg>" lines and the call events. Emptied once per run,
// written one whole line at a time from any thread.
#pragma once

#include <string>

// Appends "<local time> <escaped text>" as one line and returns the text it was given, so
// that callers can hand the same text on to the activity list.
const std::string& Trace(const std::string& text);

// Empties the trace file (done once, first thing at program start).
void TruncateTrace();

// The trace file's path; "Ringvale.dbg" in the working directory unless changed (tests).
void SetTraceFilePath(const std::string& path);
std::string TraceFilePath();
