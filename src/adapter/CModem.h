// CModem: the system's only link to the telephone adapter (a 3Com ImpactIQ driven by AT
// commands), over the serial port or, while a dial-up connection holds that port, over UDP
// datagrams to the adapter's network address, port 2323.
//
// CModem runs no thread of its own. Whoever owns the link reads the adapter's output straight
// from the device: the handshake (WaitForReply, DrainInput) while Open runs, the line monitor
// afterwards (it waits on InputFd() together with its own wake-up descriptor and takes what
// is there with ReadInput). Commands are written straight through.
//
// Threads and locks:
//  - Open, Close, ReadInput, WaitForInput, WaitForReply and DrainInput read and change the
//    link: callers hold the controller's link lock around them (or run before the monitor
//    thread exists), so exactly one thread reads at a time and every byte goes to exactly one
//    consumer. A handshake's bytes read past its last reply stay for the next reader.
//  - Write / WriteCommand may be called from any thread at any time; the transport mutex
//    keeps them off a device that Close is closing.
//  - AbortOpens may be called from any thread; it ends the handshake's waits at once.
//
// Every "<dbg>", "TX: " and "RX: " line goes to the trace file (core/Trace.h).
#pragma once

#include "adapter/CSerialDevice.h"
#include "core/MessageBox.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The UDP port of the adapter's network side.
constexpr int kAdapterPort = 2323;

// The adapter's fixed network address: env RINGVALE_ADAPTER_ADDRESS when set and not empty,
// else "127.0.0.1".
std::string DefaultAdapterAddress();

// Everything the link needs from the controller, and the long waits, injectable so that tests
// run fast. Defaults are the real program's values.
struct CModemHooks {
    // The modal "OK" message box for the three handshake failures. Called on the thread that
    // runs Open (the controller posts it to the UI thread when that is a worker). May be empty.
    MessageBoxFn messageBox;
    // The SReg63 setting (the system's copy of the adapter's S-register 63, default 9): read
    // when "ATS63=%d\r" is sent, written when the adapter reports a nonzero value. When either
    // is empty, CModem keeps its own copy (see CModem::SReg63()).
    std::function<int()> getSReg63;
    std::function<void(int)> setSReg63;
    // Contact named in the socket failure message: "...Please contact support: <contact>.";
    // empty ends the text with "Please contact support.".
    std::string supportContact;
    // Where the serial port's UUCP lock file goes.
    std::string lockDir = CSerialDevice::DefaultLockDir();

    // Pause between two failed serial opens (also after the last one).
    std::chrono::milliseconds serialRetryDelay{1000};
    // Number of serial opens in one serial attempt.
    int serialTries = 10;
    // Time limit of every reply wait of the handshake.
    std::chrono::milliseconds replyTimeout{10000};
    // Every "discard input for 500 ms" of the rate check and StartSession.
    std::chrono::milliseconds discardDelay{500};
    // The pause after the final "AT*SC\r".
    std::chrono::milliseconds finalPause{500};
};

class CModem {
public:
    // Creates the UDP socket (non-blocking, bound to any local port; a failure is traced as
    // "<dbg> CModem::CModem() failed on socket Create(): 0x%8.8X" and later socket attempts
    // then fail) and the descriptors the link waits on. Without those there is no link: the
    // failure is traced and every Open fails with it.
    explicit CModem(CModemHooks hooks = {});
    // Unless the link runs over the socket, calls Close() (which sends "AT$V0\r" and
    // "ATE1\r"); over the socket nothing is sent.
    ~CModem();
    CModem(const CModem&) = delete;
    CModem& operator=(const CModem&) = delete;

    // Brings the link up and runs the handshake. portName: the ComPort setting ("COMn" or a
    // device path, see SerialPathFromPortName); baudRate: the Baud setting; address/port: the
    // adapter's network address and kAdapterPort. serialFirst: try the serial port (10 tries,
    // serialRetryDelay apart) before the socket; false tries the socket first.
    // Always starts with Close() (so an open link gets "AT$V0\r" "ATE1\r" first).
    // Returns true when a transport is up and the session started; on false the link is closed,
    // LastOpenProblem() says why, and a handshake failure has shown its message box through
    // hooks.messageBox (the socket's "AT$V1" failure only when serialFirst is false: as the
    // fallback of a failed serial port it is the port's problem the user needs to hear of).
    // May take long: tries, rate check and reply time-outs. Caller holds the link lock.
    bool Open(const std::string& portName, int baudRate, const std::string& address, int port, bool serialFirst);
    // As Open, on the serial port alone (for a device that has just come back: the socket
    // cannot reach an adapter whose cable was gone).
    bool OpenSerial(const std::string& portName, int baudRate);
    // How many opens have ended (successful or not): whoever watches the link can tell that
    // someone else tried it meanwhile.
    unsigned Opens() const { return m_opens.load(); }

    // Why the last Open failed: the serial port's errno and its text (the last try's), or what
    // went wrong once the port was open (a rate the driver refuses, no answer, another
    // device). Empty text after a successful Open.
    struct SOpenProblem {
        int error = 0; // errno, 0 when the problem is not a system error
        std::string text;
    };
    SOpenProblem LastOpenProblem() const;

    // For a program that is ending: an Open in progress gives up at its next wait (serial
    // retry, reply wait, discard, pause) without message boxes, and every later Open fails at
    // once. Callable from any thread; cannot be undone.
    void AbortOpens();
    bool Aborted() const { return m_aborted.load(); }
    // Waits for the given time; false (at once) when AbortOpens() ends the wait.
    bool Pause(std::chrono::milliseconds delay);

    // Sends "AT$V0\r" and "ATE1\r" (over whatever is open; traced even when nothing is),
    // closes the serial port, marks the socket unused (it stays created) and discards input
    // not yet taken. Safe when nothing is open. Caller holds the link lock.
    void Close();

    // True while the link runs over the serial port or the socket.
    bool IsOpen() const;
    // True while the link runs over the socket (a dial-up connection holds the serial port).
    bool OnSocket() const;
    // True while the link runs over the serial port.
    bool OnSerial() const;
    // The device node the serial link holds, also after it broke (none without a serial link).
    SDeviceNode SerialNode() const;

    // A descriptor that polls readable while input waits for ReadInput: bytes on the open
    // transport, bytes a handshake read past its last reply, or a link that just broke. It
    // stays the same for the object's lifetime, so a waiter never holds the device itself:
    // Close releases the port at once even while a thread waits here. -1 when it could not
    // be created.
    int InputFd() const { return m_inputFd; }
    // Takes up to length bytes of input without waiting. Returns the count (0 when nothing is
    // there), or -1 when the link is closed or broken. A link that breaks (the device went
    // away, the socket failed) is traced as "<dbg> ReadD() returned -1, pausing thread" once
    // and not read again until the next Open. Caller holds the link lock.
    int ReadInput(char* buffer, int length);
    // Blocks until input waits, timeout passes or AbortOpens() is called; true when input waits.
    bool WaitForInput(std::chrono::milliseconds timeout);
    // Waits for the given time, then discards every byte of input that is there.
    void DrainInput(int milliseconds);
    void DrainInput(std::chrono::milliseconds delay);

    // Writes bytes to the open transport (one datagram on the socket). Returns the number of
    // bytes written or -1 (nothing open, or the write failed).
    int Write(const char* bytes, int length);
    // Traces "TX: " + text, then writes text. Every AT command goes through here.
    int WriteCommand(const std::string& text);

    // Applies raw mode, the rate in bit/s (any rate, also those without a B-constant such as
    // 14400; 0 or less means the default 115200) and RTS/CTS flow control to the open serial
    // port; byte size, parity and stop bits stay as they were. Reads the settings back: false
    // when no serial port is open or the driver did not take them (traced, and recorded as
    // the open problem).
    bool ConfigurePort(int baudRate);

    // Waits up to timeoutMs for a complete reply line (ending in CR; LF dropped) that contains
    // expected; each line seen is traced as "RX: " + line. Lines that do not match are
    // consumed; what follows the matching line stays for the next reader. A line longer than
    // 98 characters keeps its first 98 characters and its CR. While S63 capture is on, the
    // first line starting with a digit sets S63Value(). Returns false at once on a closed or
    // broken link.
    bool WaitForReply(const std::string& expected, int timeoutMs);
    bool WaitForReply(const std::string& expected, std::chrono::milliseconds timeout);

    // The identification and set-up sequence for the transport Open brought up (serial or
    // socket variant). Returns false after its message box and Close() when the adapter is
    // not an ImpactIQ 3.2x (serial) or does not answer "AT$V1\r" (socket; the box only with
    // socketFailureBox).
    bool StartSession(bool socketFailureBox);

    // S63 capture used by StartSession: arm it before "ATS63?\r", read it afterwards.
    void SetS63Expected(bool expected);
    bool S63Expected() const;
    int S63Value() const;

    // The SReg63 value as the hooks see it (or CModem's own copy, default 9, without hooks).
    int SReg63() const;
    void SetSReg63(int value);

    const CModemHooks& Hooks() const { return m_hooks; }

private:
    // Open's work: serialFirst chooses the order of the two transports; without socketToo only
    // the serial port is tried.
    bool OpenTransports(const std::string& portName, int baudRate, const std::string& address, int port,
                        bool serialFirst, bool socketToo);
    bool TrySerial(const std::string& path);
    bool TrySocket(const std::string& address, int port);
    // The transport read of up to length bytes: the count, 0 when nothing is waiting (an empty
    // datagram and an error the network reported for an earlier send are dropped; the link
    // keeps listening), or -1 when the link is broken or closed.
    int ReadD(char* buffer, int length);
    int SocketReceiveError();
    // Writes all bytes to the tty within its write time limit; the count written, or -1.
    static int WriteSerial(int fd, const char* bytes, int length);
    // One datagram over the socket when the link runs over it; the count sent, or -1.
    int SendDatagram(const char* bytes, int length);
    // Reads what the transport has into the input buffer, which must be empty; as ReadD.
    int Fill();
    // Adds the transport's descriptor to the input set / takes it out again.
    void WatchTransport(int fd);
    void UnwatchTransport();
    // Keeps the input descriptor readable exactly while the input buffer holds bytes.
    void SignalBuffered();
    void DiscardInput();
    void SetProblem(SOpenProblem problem);

    CModemHooks m_hooks;

    mutable std::mutex m_transportMutex; // guards m_serial and the fds' use by Write and Close
    CSerialDevice m_serial;
    int m_socket = -1;
    std::atomic<bool> m_socketOpen{false};
    std::atomic<bool> m_serialOpen{false};

    std::atomic<int> m_s63Value{0};
    std::atomic<bool> m_s63Expected{false};
    std::atomic<int> m_ownSReg63{9};

    // Input. Only the link lock's holder touches these (see the top of this file).
    int m_inputFd = -1;         // epoll set: the transport in use and m_bufferedFd
    int m_bufferedFd = -1;      // eventfd, readable while the input buffer holds bytes
    int m_abortFd = -1;         // eventfd, readable once AbortOpens() was called
    int m_waitError = 0;        // errno of a descriptor that could not be created
    int m_watchedFd = -1;       // the transport's descriptor in the set, -1 when none
    bool m_broken = false;      // the transport failed a read; not read again until the next Open
    std::vector<char> m_buffer; // one transport read (64 KiB: the largest datagram)
    std::size_t m_bufferAt = 0; // next byte to take
    std::size_t m_bufferEnd = 0;
    bool m_bufferedSignalled = false;

    std::atomic<bool> m_aborted{false};
    std::atomic<unsigned> m_opens{0};

    mutable std::mutex m_problemMutex;
    SOpenProblem m_problem; // guarded by m_problemMutex
};
