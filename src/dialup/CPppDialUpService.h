// The dial-up service of a Linux system: pppd with the peers files in /etc/ppp/peers.
//
// - Entries are the files of the peers directory, sorted by name; an entry's device is the tty
//   its peers file names.
// - Dial runs "pppd call <entry> [file <options>] updetach lock ipparam ringvale-<entry>" and
//   waits for pppd: with updetach it exits 0 once the link is up, or with its error status.
//   None of these options is privileged: Debian's pppd is setuid root for the group dip and
//   refuses privileged options (linkname, for one) from a normal user. The user name and
//   password go into an options file (CPppOptionsFile), removed as soon as pppd has read it.
// - The pppd of a connection the program made is found without privilege: it holds the UUCP
//   lock of the entry's tty (pppd's "lock" writes <lock dir>/LCK..<tty> with the pid of the
//   daemon) and carries our ipparam on its command line, which /proc shows. Status and hang-up (SIGTERM, which a user
//   may send to the pppd it started) use that pid. Active connections are all pppd processes, each with the tty whose
//   lock it holds or, without one, the tty its command line (or the peers file it calls) names; so a connection someone
//   else started is seen too.
//
// Handles are small numbers this object hands out; each stands for one pppd process. The
// calls may come from more than one thread; CancelDial comes from another thread than Dial.
#pragma once

#include "core/ProcessEndFd.h"
#include "dialup/IDialUpService.h"

#include <map>
#include <mutex>
#include <sys/types.h>

class CPppOptionsFile;

struct PppDialUpConfig {
    std::string peersDir = "/etc/ppp/peers";
    std::string procDir = "/proc";
    std::string lockDir = "/var/lock";
    // The pppd program; empty: "pppd" from the PATH, then from searchDirs (the sbin directories
    // are often not on a normal user's PATH).
    std::string pppdPath;
    std::vector<std::string> searchDirs = {"/usr/local/sbin", "/usr/sbin", "/sbin"};
    // Where the options file goes; empty: see CPppOptionsFile::Directory.
    std::string optionsDir;
};

class CPppDialUpService : public IDialUpService {
public:
    explicit CPppDialUpService(PppDialUpConfig config = {});

    int Dial(const std::string& entryName, const std::string& userName, const std::string& password,
             DialUpHandle& handle) override;
    void CancelDial() override;
    std::string ErrorText(int code) override;
    void HangUp(DialUpHandle handle) override;
    EDialUpStatus Status(DialUpHandle handle) override;
    int EndFd(DialUpHandle handle) override; // the pidfd of our pppd
    std::vector<DialUpConnectionInfo> ActiveConnections() override;
    std::vector<std::string> Entries() override;
    std::string EntryDeviceName(const std::string& entryName) override;

    // The pppd program Dial would run; "" when there is none.
    std::string FindPppd() const;

    // The options file that passes the user name and password ("" when both are empty).
    static std::string OptionsFileText(const std::string& userName, const std::string& password);
    // The ipparam that marks the pppd of a dial of ours.
    static std::string IpParam(const std::string& entryName) { return "ringvale-" + entryName; }

    // Start-up: removes the options files that an earlier run left behind when it ended during
    // a dial.
    void RemoveStaleOptionsFiles() const;

private:
    struct Link {
        std::string entry;
        pid_t pid = 0; // 0 until known
        bool hangUpRequested = false;
        CProcessEndFd ended; // opened when a wait for the end first asks for it
    };

    bool EntryExists(const std::string& entryName) const;
    // The pid of our own pppd for an entry: the holder of the lock of the entry's tty when it is
    // ours, else any pppd with the entry's ipparam; 0 when none runs.
    pid_t FindOwnPppd(const std::string& entryName) const;
    bool IsOwnPppd(pid_t pid, const std::string& entryName) const;
    // The handle for a pppd process; a new one when it has none yet. Needs m_mutex.
    DialUpHandle HandleForLocked(pid_t pid, const std::string& entryName);
    // Runs pppd and waits for it; returns its exit status or one of the error codes.
    int RunPppd(const std::string& pppd, const std::vector<std::string>& args, CPppOptionsFile& options);
    // Waits until pppd has ended, removing the options file once pppd has read it.
    bool WaitForPppd(pid_t pid, CPppOptionsFile& options, int& status);

    PppDialUpConfig m_config;
    std::mutex m_mutex;
    std::map<DialUpHandle, Link> m_links;
    DialUpHandle m_nextHandle = 1;
    pid_t m_dialPid = 0;            // the pppd of the dial in progress; guarded by m_mutex
    bool m_cancelRequested = false; // guarded by m_mutex
};
