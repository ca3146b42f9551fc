// A scripted stand-in for the adapter, for tests where exact bytes and rates matter:
//  - on a pseudo-terminal: openpty(), the slave linked to a path of the test's choice (usable
//    as the ComPort setting), the peer reading and writing the master side;
//  - on UDP: a datagram socket bound to <address>:<port>, replying to whoever sent last.
// A thread reads what the program under test sends, splits it into commands at CR, records
// each with the tty rate in force, and writes whatever the responder returns.
// CAdapterScript is a small ImpactIQ-like responder with the knobs the handshake tests need.
#pragma once

#include "adapter/CModem.h"
#include "adapter/SerialPortSettings.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct CPeerCommand {
    std::string text; // the command as received, with its CR
    int rate = 0;     // the tty's rate when it arrived (0 on UDP)
};

class CScriptedPeer {
public:
    // Gets the command (with CR) and the tty rate; returns the bytes to send back ("" = none).
    using Responder = std::function<std::string(const std::string& command, int rate)>;

    // A pty whose slave is linked at linkPath. Valid() is false when openpty or symlink failed.
    static std::unique_ptr<CScriptedPeer> OnPty(const std::string& linkPath, Responder responder);
    // A UDP socket bound to address:port.
    static std::unique_ptr<CScriptedPeer> OnUdp(const std::string& address, int port, Responder responder);
    ~CScriptedPeer();
    CScriptedPeer(const CScriptedPeer&) = delete;
    CScriptedPeer& operator=(const CScriptedPeer&) = delete;

    bool Valid() const { return m_fd >= 0; }
    // Sends bytes unprompted (pty: to the master; UDP: to the last sender, one datagram).
    bool Send(const std::string& bytes);
    // Everything received so far, split into commands.
    std::vector<CPeerCommand> Commands() const;
    // Only the texts, in order.
    std::vector<std::string> CommandTexts() const;
    // Waits until at least count commands were received.
    bool WaitForCommandCount(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until a command equal to text (with CR) was received.
    bool WaitForCommand(const std::string& text, std::chrono::milliseconds timeout) const;
    // pty only: the slave's current rate (as the program set it), 0 when unknown.
    int SlaveRate() const;
    // pty only: the slave's settings as the master side reads them.
    SSerialSettings SlaveSettings() const;
    // pty only: the slave device path (/dev/pts/N).
    const std::string& SlavePath() const { return m_slavePath; }
    // pty only: closes the master, as when the device vanishes.
    void HangUp();

private:
    CScriptedPeer(bool udp, Responder responder);
    void Start();
    void Run();

    bool m_udp;
    Responder m_responder;
    int m_fd = -1;      // pty master or UDP socket
    int m_slaveFd = -1; // pty slave kept open so the master never sees EIO between opens
    int m_stopFd = -1;  // eventfd that ends the thread
    std::string m_slavePath;
    std::string m_linkPath;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<CPeerCommand> m_commands;
    std::string m_partial;
    std::vector<unsigned char> m_lastSender; // sockaddr of the last UDP sender
    std::thread m_thread;
};

// An ImpactIQ-like responder. Echo is on until "ATE0\r"; replies are "\r\n<text>\r\n" lines.
// While lockedRate is nonzero it answers only at that tty rate ("AT$B230400\r" locks it at
// 230400, "AT$B0\r" unlocks it).
struct CAdapterScript {
    std::string modelLine = "3C882";
    std::string versionLine = "3Com ImpactIQ Version 3.21";
    std::string s63Line = "009";
    int lockedRate = 0;
    bool echo = true;
    std::atomic<bool> silent{false}; // answers nothing at all (may change while the peer runs)

    std::string Respond(const std::string& command, int rate);
    // A Responder bound to a shared script (the peer's thread is the only caller).
    static CScriptedPeer::Responder Bind(std::shared_ptr<CAdapterScript> script);
};

// CModem hooks for tests: every long wait shortened (serial tries 5 ms apart, reply time-out as
// given, 50 ms discards, 1 ms final pause), lock files in lockDir, message boxes recorded.
CModemHooks FastModemHooks(const std::string& lockDir, std::chrono::milliseconds replyTimeout,
                           std::shared_ptr<std::vector<std::string>> boxes = nullptr);

// Takes the link's input as its reader does (wait on the input descriptor, then ReadInput) until
// done(what was taken) holds or timeout passes; returns what was taken.
std::string ReadLinkInput(CModem& modem, const std::function<bool(const std::string&)>& done,
                          std::chrono::milliseconds timeout = std::chrono::seconds(3));
// The same until n bytes were taken.
std::string ReadLinkInput(CModem& modem, std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(3));

// The trace file's lines without their time stamps ("TX: ATI<0D>", "<dbg> ...").
std::vector<std::string> TraceTexts(const std::string& tracePath);
// Only the lines that start with prefix, prefix removed (e.g. "TX: ").
std::vector<std::string> TraceTexts(const std::string& tracePath, const std::string& prefix);
// Waits until the trace holds a line equal to text.
bool WaitForTraceLine(const std::string& tracePath, const std::string& text, std::chrono::milliseconds timeout);
