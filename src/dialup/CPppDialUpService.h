// The dial-up service of a Linux system: pppd with the peers files in /etc/ppp/peers.
//
// - Entries are the files of the peers directory, sorted by name; an entry's device is the tty
//   its peers file names.
// - Dial runs "pppd call <entry> file <options> updetach lock linkname ringvale-<entry>" and waits
//   for pppd: with updetach it exits 0 once the link is up, or with its error status. The user
//   name and password go into a temporary options file of mode 0600 (never on the command line,
//   where every user could read them), removed when pppd has exited.
// - pppd writes the daemon's pid to <run dir>/ppp-ringvale-<entry>.pid; status and hang-up
//   (SIGTERM) use that pid. Active connections are those pids plus every other pppd process
//   found in the process table, with the tty its command line (or the peers file it calls)
//   names, so a connection that someone else started is seen too.
//
// Handles are small numbers this object hands out; each stands for one pppd process of one
// entry. The calls may come from more than one thread.
#pragma once

#include "dialup/IDialUpService.h"

#include <map>
#include <mutex>
#include <sys/types.h>

struct PppDialUpConfig {
    std::string peersDir = "/etc/ppp/peers";
    std::string runDir = "/var/run";
    std::string procDir = "/proc";
    // The pppd program; empty: "pppd" from the PATH, then from searchDirs (the sbin directories
    // are often not on a normal user's PATH).
    std::string pppdPath;
    std::vector<std::string> searchDirs = {"/usr/local/sbin", "/usr/sbin", "/sbin"};
    // Where the temporary options file goes; empty: $TMPDIR, or /tmp.
    std::string tempDir;
};

class CPppDialUpService : public IDialUpService {
public:
    explicit CPppDialUpService(PppDialUpConfig config = {});

    int Dial(const std::string& entryName, const std::string& userName, const std::string& password,
             DialUpHandle& handle) override;
    std::string ErrorText(int code) override;
    void HangUp(DialUpHandle handle) override;
    EDialUpStatus Status(DialUpHandle handle) override;
    std::vector<DialUpConnectionInfo> ActiveConnections() override;
    std::vector<std::string> Entries() override;
    std::string EntryDeviceName(const std::string& entryName) override;

    // The pppd program Dial would run; "" when there is none.
    std::string FindPppd() const;

    // pppd's arguments (after the program name) for dialling an entry; optionsFile "" when no
    // options file is needed.
    static std::vector<std::string> DialArguments(const std::string& entryName, const std::string& optionsFile);
    // The options file that passes the user name and password ("" when both are empty).
    static std::string OptionsFileText(const std::string& userName, const std::string& password);
    // The link name pppd is given, and the pid file it writes for it.
    static std::string LinkName(const std::string& entryName) { return "ringvale-" + entryName; }
    std::string PidFilePath(const std::string& entryName) const;

private:
    struct Link {
        std::string entry;
        pid_t pid = 0; // 0 until known
        bool hangUpRequested = false;
    };

    bool EntryExists(const std::string& entryName) const;
    // The pid of our own pppd for an entry: from its pid file, else from the process table
    // (a pppd with our link name); 0 when none runs.
    pid_t FindOwnPppd(const std::string& entryName) const;
    // The handle for a pppd process; a new one when it has none yet. Needs m_mutex.
    DialUpHandle HandleForLocked(pid_t pid, const std::string& entryName);
    // Runs pppd and waits for it; returns its exit status or one of the error codes.
    int RunPppd(const std::string& pppd, const std::vector<std::string>& args);

    PppDialUpConfig m_config;
    std::mutex m_mutex;
    std::map<DialUpHandle, Link> m_links;
    DialUpHandle m_nextHandle = 1;
};
