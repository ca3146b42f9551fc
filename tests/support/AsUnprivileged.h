// Runs a piece of a test as an unprivileged user, where root would bypass file modes.
#pragma once

#include <functional>

// The uid and gid of "nobody"; tests make the files such a run needs accessible to it.
inline constexpr unsigned kNobodyId = 65534;

// Runs body in a child process that has dropped to kNobodyId (user and group; a test not run
// as root keeps its own user) and returns the
// child's exit status: body's result, or 126 when the child could not drop its privileges or
// was killed. body runs in a forked copy of the test: it reports through its result only.
int RunAsNobody(const std::function<int()>& body);
