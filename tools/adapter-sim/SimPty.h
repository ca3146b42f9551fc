// The serial side of the simulated adapter: a pseudo-terminal whose slave is linked to a path
// the program uses as its serial port.
//
// The simulator keeps a descriptor of the slave open for its whole life, so the terminal
// survives the program closing and reopening it, and so it can read the rate the program set
// (tcgetattr on its own descriptor). It watches the slave with inotify to know whether anyone
// else has it open: while nobody does, output is dropped as on a real line, and when the last
// user closes it, the exclusive mode that user set (TIOCEXCL) is cleared so the next open works.
#pragma once

#include <string>

class CSimPty {
public:
    CSimPty() = default;
    ~CSimPty();
    CSimPty(const CSimPty&) = delete;
    CSimPty& operator=(const CSimPty&) = delete;

    // Creates the terminal (raw, at `rate`) and the link; an existing symlink is replaced.
    bool Open(const std::string& link, int rate, std::string& error);
    void Close(); // closes the terminal and removes the link

    int MasterFd() const { return m_master; }
    int WatchFd() const { return m_inotify; }
    const std::string& SlaveName() const { return m_slaveName; }
    const std::string& Link() const { return m_link; }

    // Reads what the program wrote; false when the master reports an error.
    bool Read(std::string& out);
    // Writes to the program; false when the bytes were dropped (nobody has the terminal open,
    // or its input buffer is full).
    bool Write(const std::string& bytes);
    // The output rate set on the terminal (0 when unknown).
    int TtyRate() const;

    // Waits until the other users have read what was written to them or have closed the
    // terminal, at most `timeoutMs`: closing the master side throws away whatever the slave
    // side has not read yet, so an exit waits for this first.
    void WaitUntilRead(int timeoutMs);

    // Handles the watch's events. Returns true when the last other user has just closed the
    // terminal (a partial command from it should be forgotten).
    bool HandleWatch();
    int OtherUsers() const { return m_users; }

private:
    int m_master = -1;
    int m_slave = -1;
    int m_inotify = -1;
    int m_users = 0;
    std::string m_slaveName;
    std::string m_link;
};

// Converts between termios speed constants and bits per second (0 when unknown).
int SpeedToRate(unsigned speed);
unsigned RateToSpeed(int rate);
