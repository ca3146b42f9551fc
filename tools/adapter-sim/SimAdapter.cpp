#include "SimAdapter.h"

#include "core/Format.h"

CSimAdapter::CSimAdapter(Config config, CSimLog& log, CSimCallModel::ClockFn clock)
    : m_config(config), m_log(log), m_calls(
                                        config.calls, [this](const std::string& line) { EmitReport(line); },
                                        [this](const std::string& text) { m_log.Write("EV", text); }, std::move(clock)),
      m_rate(config.rate) {
    m_registers[63] = config.s63;
    m_registers[76] = 3;
    m_registers[86] = 0;
    m_calls.SetCallWaiting(3);
}

bool CSimAdapter::SupportedRate(int rate) {
    switch (rate) {
    case 0:
    case 9600:
    case 19200:
    case 38400:
    case 57600:
    case 115200:
    case 230400:
        return true;
    default:
        return false;
    }
}

int CSimAdapter::Register(int reg) const {
    auto it = m_registers.find(reg);
    return it == m_registers.end() ? 0 : it->second;
}

void CSimAdapter::EmitReport(const std::string& line) {
    if (m_executing) {
        m_held.push_back(line); // sent after the command's result
        return;
    }
    if (m_target == nullptr) {
        m_log.Write("DROP", "no link for report " + line);
        return;
    }
    m_target->SendLine(line);
}

void CSimAdapter::Execute(CSimSession& from, const std::string& line) {
    m_log.Write("RX", from.Name(), line);
    CAtCommand cmd = ParseAtCommand(line);
    if (cmd.kind == EAtKind::NotAt) {
        return; // a modem ignores what is not a command (blank lines included)
    }
    m_target = &from;
    m_executing = true;
    bool ok = Run(from, cmd);
    m_executing = false;
    from.SendResult(ok);
    std::vector<std::string> held;
    held.swap(m_held);
    for (const auto& report : held) {
        from.SendLine(report);
    }
    if (ok && cmd.kind == EAtKind::SetRate) {
        int rate = cmd.value == 0 ? kDefaultRate : cmd.value;
        if (rate != m_rate) {
            m_log.Write("RATE", StrFormat("adapter rate %d -> %d", m_rate, rate));
        }
        m_rate = rate; // after the OK, which still goes out at the old rate
    }
}

bool CSimAdapter::Run(CSimSession& from, const CAtCommand& cmd) {
    switch (cmd.kind) {
    case EAtKind::Attention:
    case EAtKind::Store:
        return true;
    case EAtKind::Identify:
        from.SendLine(m_config.model);
        return true;
    case EAtKind::Firmware:
        from.SendLine("Version " + m_config.firmware);
        return true;
    case EAtKind::Echo:
        from.echo = cmd.value != 0;
        return true;
    case EAtKind::Verbose:
        from.verbose = cmd.value != 0;
        return true;
    case EAtKind::Reset:
        from.echo = true;
        from.verbose = true;
        return true;
    case EAtKind::RegQuery:
        from.SendLine(StrFormat("%03d", Register(cmd.reg)));
        return true;
    case EAtKind::RegSet:
        m_registers[cmd.reg] = cmd.value;
        if (cmd.reg == 76) {
            m_calls.SetCallWaiting(cmd.value);
        }
        return true;
    case EAtKind::CallReports:
        m_callReports = cmd.value != 0;
        return true;
    case EAtKind::SetRate:
        return SupportedRate(cmd.value);
    case EAtKind::StatusCheck:
        m_calls.ReportAll();
        return true;
    case EAtKind::Answer:
        return m_calls.Answer(cmd.port, cmd.callId);
    case EAtKind::HangUp:
        return m_calls.HangUp(cmd.port, cmd.callId);
    case EAtKind::Hold:
        return m_calls.Hold(cmd.port, cmd.callId);
    case EAtKind::Retrieve:
        return m_calls.Retrieve(cmd.port, cmd.callId);
    case EAtKind::NewCall:
        return m_calls.NewCall(cmd.port);
    case EAtKind::DialDigit:
        return m_calls.DialDigit(cmd.port, cmd.digit, cmd.callId);
    case EAtKind::DialNumber:
        return m_calls.DialNumber(cmd.port, cmd.number);
    case EAtKind::NotAt:
    case EAtKind::Unknown:
        break;
    }
    return false;
}

std::string CSimAdapter::ApplyEvent(const CControlCommand& cmd) {
    std::string error;
    switch (cmd.verb) {
    case ECtlVerb::Ring:
        error = m_calls.Ring(cmd.port, cmd.remote, cmd.local);
        break;
    case ECtlVerb::AnswerFar:
        error = m_calls.AnswerFar(cmd.port);
        break;
    case ECtlVerb::HangUpFar:
        error = m_calls.HangUpFar(cmd.port);
        break;
    case ECtlVerb::OffHook:
        error = m_calls.OffHook(cmd.port);
        break;
    case ECtlVerb::OnHook:
        error = m_calls.OnHook(cmd.port);
        break;
    case ECtlVerb::Flash:
        error = m_calls.Flash(cmd.port);
        break;
    case ECtlVerb::Digit:
        error = m_calls.Digit(cmd.port, cmd.digit);
        break;
    case ECtlVerb::Dtmf:
        error = m_calls.Dtmf(cmd.port, cmd.text);
        break;
    case ECtlVerb::Existing:
        error = m_calls.Existing(cmd.port, cmd.remote, cmd.local);
        break;
    case ECtlVerb::Raw:
        if (m_target == nullptr) {
            error = "no link to send on";
        } else {
            m_target->SendRaw(cmd.text);
        }
        break;
    case ECtlVerb::None:
        break;
    default:
        error = "not a phone event";
        break;
    }
    return error.empty() ? "OK" : "ERR " + error;
}
