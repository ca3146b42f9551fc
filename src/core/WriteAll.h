// Writing a whole buffer to a file descriptor, across short writes and signal interruptions.
#pragma once

#include <string_view>

// True when every byte was written. False on the first error other than EINTR (errno tells
// which) or when the descriptor takes nothing (a non-blocking one that is full: EAGAIN).
bool WriteAll(int fd, std::string_view data);
// The same for a connected socket, through send() with MSG_NOSIGNAL: a peer that has gone
// away gives EPIPE instead of a SIGPIPE.
bool SendAll(int fd, std::string_view data);
