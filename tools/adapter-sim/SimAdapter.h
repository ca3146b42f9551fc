// The simulated adapter's command interpreter: the AT dialogue (identification, echo,
// verbose results, S-registers, rate, store) and the call commands, which it hands to the
// call model. Replies go back to the session the command came from; unsolicited reports go to
// the session that sent the last command (the link the program is using).
#pragma once

#include "AtCommand.h"
#include "ControlCommand.h"
#include "SimCallModel.h"
#include "SimLog.h"
#include "SimSession.h"

#include <map>
#include <string>
#include <vector>

class CSimAdapter {
public:
    static constexpr int kDefaultRate = 115200;

    struct Config {
        std::string model = "3C882";   // the ATI line
        std::string firmware = "3.21"; // AT%V answers "Version <firmware>"
        int s63 = 9;
        int rate = kDefaultRate; // the rate the adapter runs at when it starts
        CSimCallModel::Config calls;
    };

    CSimAdapter(Config config, CSimLog& log, CSimCallModel::ClockFn clock);

    // Executes one received command line from the session.
    void Execute(CSimSession& from, const std::string& line);

    // Applies a phone event or a raw line from a control command; "OK" or "ERR <why>".
    std::string ApplyEvent(const CControlCommand& cmd);

    // Where unsolicited reports go; nullptr drops them (logged).
    void SetReportTarget(CSimSession* session) { m_target = session; }
    CSimSession* ReportTarget() const { return m_target; }

    CSimCallModel& Calls() { return m_calls; }
    int Rate() const { return m_rate; }
    int Register(int reg) const;
    bool CallReportsOn() const { return m_callReports; }

    // True for the rates AT$B accepts (0 meaning the default rate).
    static bool SupportedRate(int rate);

private:
    bool Run(CSimSession& from, const CAtCommand& cmd);
    void EmitReport(const std::string& line);

    Config m_config;
    CSimLog& m_log;
    CSimCallModel m_calls;
    CSimSession* m_target = nullptr;
    std::map<int, int> m_registers;
    int m_rate;
    bool m_callReports = false;
    bool m_executing = false;
    std::vector<std::string> m_held; // reports caused by the command being executed
};
