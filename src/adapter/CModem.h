// CModem: the system's only link to the telephone adapter (a 3Com ImpactIQ driven by AT
// commands), over the serial port or, while a dial-up connection holds that port, over UDP
// datagrams to the adapter's network address, port 2323.
//
// A reader thread copies every received byte into a FIFO byte queue; everything above reads
// the adapter's output from that queue (WaitForReply during the handshake, the line monitor
// afterwards with ReadQueued / WaitForData). Commands are written straight through.
//
// Threads and locks:
//  - The reader thread is started by the constructor (paused) and ended by the destructor. It
//    blocks in poll() on the transport and an eventfd; it never polls on a timer. Pause and
//    stop requests wake it through the eventfd.
//  - The queue mutex guards the byte queue; a condition variable tells waiters about new bytes.
//  - Open, Close and WaitForReply consume from the same queue as the line monitor: callers must
//    hold the controller's link lock around them (or run before the monitor thread exists).
//    Lock order: link lock, then the queue mutex (inside CModem).
//  - Write / WriteCommand may be called from any thread at any time.
//
// Every "<dbg>", "TX: " and "RX: " line goes to the trace file (core/Trace.h).
#pragma once

#include "adapter/CSerialDevice.h"
#include "core/MessageBox.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

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
    // then fail) and starts the reader thread, paused. Without the eventfd that wakes the
    // reader there is no reader: the failure is traced and every Open fails with it.
    explicit CModem(CModemHooks hooks = {});
    // Unless the link runs over the socket, calls Close() (which sends "AT$V0\r" and
    // "ATE1\r"); over the socket nothing is sent. Then stops and joins the reader thread.
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
    // pauses the reader and waits until it has stopped reading, closes the serial port, marks
    // the socket unused (it stays created) and empties the queue. Safe when nothing is open.
    // Caller holds the link lock.
    void Close();

    // True while the link runs over the serial port or the socket.
    bool IsOpen() const;
    // True while the link runs over the socket (a dial-up connection holds the serial port).
    bool OnSocket() const;
    // True while the link runs over the serial port.
    bool OnSerial() const;

    // The transport read. buffer == nullptr: look ahead, returns the number of bytes waiting
    // (0 when none). Otherwise reads up to length bytes. Returns -1 when the link is broken or
    // closed. On the socket an empty datagram is dropped and an error the network reported
    // for an earlier send (port unreachable) is traced; both return 0, the link keeps
    // listening. Used by the reader thread; not for consumers (they read the queue).
    int ReadD(char* buffer, int length);
    // Writes bytes to the open transport (one datagram on the socket). Returns the number of
    // bytes written or -1 (nothing open, or the write failed).
    int Write(const char* bytes, int length);
    // Traces "TX: " + text, then writes text. Every AT command goes through here.
    int WriteCommand(const std::string& text);

    // buffer == nullptr: returns the number of queued bytes. Otherwise removes up to length
    // bytes from the head of the queue into buffer and returns how many it removed (0 if none).
    int ReadQueued(char* buffer, int length);
    // The same, returning up to maxBytes bytes as a string ("" when the queue is empty).
    std::string ReadQueued(std::size_t maxBytes);
    // Blocks until the queue holds at least one byte, InterruptWait() is called, or timeout
    // passes. Returns true when bytes are queued. This is how the line monitor waits for
    // adapter output without polling.
    bool WaitForData(std::chrono::milliseconds timeout);
    // The same, but an InterruptWait() made since InterruptGeneration() returned `generation`
    // ends the wait at once: a caller that reads the generation before checking its own stop
    // flag can never sleep through a stop request.
    bool WaitForData(std::chrono::milliseconds timeout, std::uint64_t generation);
    std::uint64_t InterruptGeneration();
    // Wakes every WaitForData caller at once (e.g. the monitor thread at shut-down).
    void InterruptWait();
    // Waits for the given time, then discards everything queued.
    void DrainInput(int milliseconds);
    void DrainInput(std::chrono::milliseconds delay);

    // Applies raw mode, the rate in bit/s (any rate, also those without a B-constant such as
    // 14400; 0 or less means the default 115200) and RTS/CTS flow control to the open serial
    // port; byte size, parity and stop bits stay as they were. Reads the settings back: false
    // when no serial port is open or the driver did not take them (traced, and recorded as
    // the open problem).
    bool ConfigurePort(int baudRate);

    // Waits up to timeoutMs for a complete reply line (ending in CR; LF dropped) that contains
    // expected; each line seen is traced as "RX: " + line. Lines that do not match are
    // consumed. A line longer than 98 characters keeps its first 98 characters and its CR.
    // While S63 capture is on, the first line starting with a digit sets S63Value().
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

    // How often the reader thread woke from its blocking wait (for bytes, a request, or
    // nothing): for the benchmark and tests that check a quiet link costs no wake-ups.
    std::uint64_t ReaderWakeups() const { return m_wakeups.load(); }

private:
    bool TrySerial(const std::string& path);
    bool TrySocket(const std::string& address, int port);
    void PauseReader();
    void ResumeReader();
    void WakeReader();
    void ReaderLoop();
    void AppendToQueue(const char* bytes, int count);
    int SerialLookAhead(int fd);
    int SocketReceiveError();
    void SetProblem(SOpenProblem problem);

    CModemHooks m_hooks;

    mutable std::mutex m_transportMutex; // guards m_serial and the fds' use by Read/Write
    CSerialDevice m_serial;
    int m_socket = -1;
    std::atomic<bool> m_socketOpen{false};
    std::atomic<bool> m_serialOpen{false};

    std::atomic<int> m_s63Value{0};
    std::atomic<bool> m_s63Expected{false};
    std::atomic<int> m_ownSReg63{9};

    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueCv; // new bytes, interrupts and AbortOpens
    std::deque<char> m_queue;
    std::uint64_t m_interruptCount = 0; // guarded by m_queueMutex
    std::atomic<bool> m_aborted{false}; // set under m_queueMutex

    mutable std::mutex m_problemMutex;
    SOpenProblem m_problem; // guarded by m_problemMutex

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{true};
    std::mutex m_ackMutex;
    std::condition_variable m_ackCv;
    bool m_pausedAck = false; // guarded by m_ackMutex
    int m_wakeFd = -1;        // eventfd that wakes the reader for pause and stop
    int m_wakeError = 0;      // errno of its creation when it could not be created
    std::atomic<std::uint64_t> m_wakeups{0};
    std::thread m_reader;
};
