// The options file that hands the user name and password of a dial to pppd ("file <path>"):
// never the command line, where every user could read them.
//
// It is created with mode 0600 in the user's runtime directory ($XDG_RUNTIME_DIR, which only
// the user can reach and which does not outlive the session; $TMPDIR or /tmp where there is
// none) and removed as soon as pppd has read it: an inotify watch reports pppd's close of the
// file. Its name carries the pid of the program that made it, so that a later start can tell a
// file left behind by a crash ("ringvale-ppp-<pid>-XXXXXX" of a pid that is gone) from one that
// a running copy is still using.
#pragma once

#include <string>

class CPppOptionsFile {
public:
    static constexpr const char* kPrefix = "ringvale-ppp-";

    CPppOptionsFile() = default;
    ~CPppOptionsFile(); // removes the file if it is still there
    CPppOptionsFile(const CPppOptionsFile&) = delete;
    CPppOptionsFile& operator=(const CPppOptionsFile&) = delete;

    // Writes the text to a new file in dir. False with err set when it cannot.
    bool Create(const std::string& dir, const std::string& text, int& err);
    // "" before Create and once the file is gone.
    const std::string& Path() const { return m_path; }

    // Readable once someone who opened the file only to read it has closed it again; -1 when
    // the file cannot be watched (it then stays until Remove).
    int ReadWatchFd() const { return m_watch; }
    // Call when ReadWatchFd is readable: removes the file if it has been read. True when the
    // file is gone.
    bool RemoveIfRead();
    void Remove();

    // The directory for the file: the configured one, else $XDG_RUNTIME_DIR when it is a
    // directory of the user's that nobody else can enter, else $TMPDIR, else /tmp.
    static std::string Directory(const std::string& configured);
    // Removes the files of this kind in dir that belong to the user and whose program has
    // ended; returns how many.
    static int RemoveStale(const std::string& dir);

private:
    std::string m_path;
    int m_watch = -1;
};
