#include "support/AsUnprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

int RunAsNobody(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        return 126;
    }
    if (pid == 0) {
        // A test run by a normal user is unprivileged already.
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobodyId) != 0 || ::setuid(kNobodyId) != 0)) {
            ::_exit(126);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return 126;
    }
    return WEXITSTATUS(status);
}
