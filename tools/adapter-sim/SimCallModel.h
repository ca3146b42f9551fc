// The two analog phone ports of the simulated adapter and the calls on them.
//
// Every change is announced as a report line, in the adapter's grammar:
//   "CALL:0,<type>;2,<port>;3,<id>;4,<local>;5,<remote>"   call events
//   "AUD:2,<port>;40,<code>"  hook events (1 on-hook, 2 off-hook, 3 flash)
//   "AUD:2,<port>;42,<digit>" a digit dialed on the phone or received from the far end
// Events from the outside world (a caller rings, the far end answers, the phone is lifted...)
// come in through the event methods, which return "" or the reason they were refused.
// The program's call commands come in through the command methods, which return whether the
// adapter accepts them (OK) or not (ERROR).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Call states, numbered as the report types that announce them.
enum ESimCallState {
    SCS_Offering = 1,
    SCS_Initiating = 2,
    SCS_Connecting = 3,
    SCS_Forwarding = 4,
    SCS_Connected = 5,
    SCS_Hold = 7,
};

// Report types that are events rather than states.
constexpr int kReportDisconnected = 0;
constexpr int kReportRecalled = 10;
constexpr int kReportExisting = 99;

struct CSimCall {
    int id = 0;
    int port = 1; // 1 or 2
    int state = SCS_Offering;
    std::string local;
    std::string remote;
    std::string dialed;                   // digits taken while initiating
    std::optional<std::int64_t> digitEnd; // the dialed number is complete at this time
    std::optional<std::int64_t> answerAt; // the far end answers at this time
};

class CSimCallModel {
public:
    struct Config {
        int firstId = 1;
        int answerDelayMs = 1000;  // far end answers an outgoing call after this; -1: only on request
        int digitTimeoutMs = 4000; // a number dialed digit by digit is complete after this pause
    };
    using LineFn = std::function<void(const std::string&)>;
    using ClockFn = std::function<std::int64_t()>; // monotonic milliseconds

    CSimCallModel(Config config, LineFn emit, LineFn note, ClockFn clock);

    // Events from the outside world.
    std::string Ring(int port, const std::string& remote, const std::string& local);
    std::string AnswerFar(int port);
    std::string HangUpFar(int port);
    std::string OffHook(int port);
    std::string OnHook(int port);
    std::string Flash(int port);
    std::string Digit(int port, char digit);
    std::string Dtmf(int port, const std::string& digits);
    std::string Existing(int port, const std::string& remote, const std::string& local);

    // The program's call commands.
    bool Answer(int port, int id);
    bool HangUp(int port, int id);
    bool Hold(int port, int id);
    bool Retrieve(int port, int id);
    bool NewCall(int port);
    bool DialDigit(int port, char digit, int id);
    bool DialNumber(int port, const std::string& number);
    // Reports every call in progress again (established calls as type 99).
    void ReportAll();

    // S-register 76: bit 0 call waiting on port 1, bit 1 on port 2.
    void SetCallWaiting(int s76) { m_callWaiting = s76; }

    // Runs the timers that are due; NextDeadline is the earliest pending one.
    void Tick();
    std::optional<std::int64_t> NextDeadline() const;

    const std::vector<CSimCall>& Calls() const { return m_calls; }
    bool IsOffHook(int port) const;

private:
    CSimCall* Find(int port, int id);
    CSimCall* FindInState(int port, std::initializer_list<int> states);
    void Report(const CSimCall& call, int type);
    void SetState(CSimCall& call, int state, int reportType);
    void Remove(int id);
    void Audio(int port, const std::string& field);
    // A new call on the port with the next id, reported by nobody yet.
    CSimCall& AddCall(int port);
    void CompleteNumber(CSimCall& call);
    std::string CheckPort(int port) const;
    std::string CheckOffHook(int port) const;
    std::string SetHook(int port, bool offHook);

    Config m_config;
    LineFn m_emit;
    LineFn m_note;
    ClockFn m_clock;
    std::vector<CSimCall> m_calls; // in order of creation
    int m_nextId;
    int m_callWaiting = 3;
    bool m_offHook[2] = {false, false};
};
