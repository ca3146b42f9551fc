// Finding pppd processes: the process table under /proc (the root is a parameter so that tests
// can give a prepared tree) and the UUCP lock files that name the process holding a tty.
#pragma once

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

struct PppdProcess {
    pid_t pid = 0;
    std::vector<std::string> args; // the command line without the program name
};

// The pid in a UUCP lock file, written as text ("%10d\n", as pppd and the serial tools on Linux
// write it); 0 when the file is missing or holds no pid above 1.
pid_t ReadLockFilePid(const std::string& path);

// The holders of the lock files in a lock directory: pid -> "/dev/<name>" for each
// "LCK..<name>".
std::map<pid_t, std::string> LockHolders(const std::string& lockDir);

// The command line of a process, split at its NUL bytes; empty when the process is gone or has
// ended (a zombie has no command line).
std::vector<std::string> ReadProcessCmdline(const std::string& procDir, pid_t pid);

// True when the command line is pppd's: its program name is "pppd" or a path ending in "/pppd".
bool IsPppdCmdline(const std::vector<std::string>& cmdline);

// True when the process lives and is a pppd (so a pid file left behind by a crashed pppd,
// whose pid now belongs to another program, is not taken for a connection).
bool IsLivePppd(const std::string& procDir, pid_t pid);

// Every live pppd process, in pid order.
std::vector<PppdProcess> ListPppdProcesses(const std::string& procDir);

// The argument following the first occurrence of an option on a command line; "" when absent.
std::string OptionArgument(const std::vector<std::string>& args, const std::string& option);
