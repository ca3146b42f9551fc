#include "support/CallTestRig.h"

#include "calls/CModemReport.h"
#include "core/Trace.h"

#include "core/Format.h"

#include <algorithm>

namespace calltest {
std::string Offer(int port, int id, const std::string& remote, const std::string& local) {
    return StrFormat("CALL:0,1;2,%d;3,%d;4,%s;5,%s", port, id, local.c_str(), remote.c_str());
}
std::string Report(int type, int port, int id) {
    return StrFormat("CALL:0,%d;2,%d;3,%d", type, port, id);
}
std::string Audio(int port, int code) {
    return StrFormat("AUD:2,%d;40,%d", port, code);
}
std::string Digit(int port, char digit) {
    return StrFormat("AUD:2,%d;42,%c", port, digit);
}
} // namespace calltest

CCallTestRig::CCallTestRig(const std::function<void(CSettings&)>& configure, bool withStores) {
    SetTraceFilePath(dir.File("Ringvale.dbg"));
    settings.SetDefaults();
    settings.m_strDefaultAreaCode = "408";
    settings.m_strPhoneBookName = dir.File("RV.pbk");
    settings.m_strCallLogName = dir.File("RV.log");
    if (configure) {
        configure(settings);
    }
    // Files that exist make the stores save on every change.
    WriteFileText(settings.m_strPhoneBookName, "PhoneBookVersion2\r\n");
    WriteFileText(settings.m_strCallLogName, "CallLogVersion2\r\n");
    if (withStores) {
        phoneBook = std::make_unique<CPhoneBook>(settings.m_strPhoneBookName, settings.m_strDefaultAreaCode);
        callLog = std::make_unique<CCallLog>(settings.m_strCallLogName, settings.m_strDefaultAreaCode);
    }

    SCallHooks hooks;
    hooks.log = [this](const std::string& text) {
        logs.push_back({text, clock.TickMs()});
        host.AppendActivityLine(activity.Add(Trace(text), clock.Now()));
    };
    hooks.sendCommand = [this](const std::string& command) { commands.push_back({command, clock.TickMs()}); };
    hooks.post = [this](CMessage msg) { queue.Post(std::move(msg)); };
    hooks.phoneBookEntryUpdated = [this](std::uint64_t id) { refreshedEntries.push_back(id); };
    hooks.announceNewCall = [this] { ++newCalls; };
    hooks.showSelectedTile = [this](int tile) { selectedTiles.push_back(tile); };
    hooks.phoneBook = [this] { return phoneBook.get(); };
    hooks.callLog = [this] { return callLog.get(); };
    control = std::make_unique<CCallControl>(host, clock, settings, std::move(hooks));
    control->SetDialUp(this);
}

CCallTestRig::~CCallTestRig() {
    control->ShutDown();
    control.reset();
    SetTraceFilePath("Ringvale.dbg");
}

void CCallTestRig::Line(const std::string& line) {
    OnModemLine(line, *control);
    Pump();
}

void CCallTestRig::Pump() {
    queue.Drain([this](CMessage&& msg) { control->OnMessage(msg); });
}

std::uint64_t CCallTestRig::AddEntry(const std::string& number, const std::string& lastName,
                                     const std::string& firstName, std::uint32_t flags) {
    auto entry = std::make_unique<CPhoneBookEntry>(number, lastName, firstName, "", "");
    entry->m_dwFlags = flags;
    const std::uint64_t id = entry->m_id;
    phoneBook->Add(std::move(entry));
    return id;
}

std::vector<std::string> CCallTestRig::Commands() const {
    std::vector<std::string> out;
    for (const SEvent& e : commands) {
        out.push_back(e.text);
    }
    return out;
}

void CCallTestRig::ClearEvents() {
    commands.clear();
    logs.clear();
    toggles.clear();
    host.ClearCalls();
}

bool CCallTestRig::Logged(const std::string& text) const {
    return CountLogged(text) > 0;
}

int CCallTestRig::CountLogged(const std::string& text) const {
    return static_cast<int>(std::count_if(logs.begin(), logs.end(), [&](const SEvent& e) { return e.text == text; }));
}

std::int64_t CCallTestRig::TickOf(const std::string& text) const {
    for (const auto* list : {&commands, &logs, &toggles}) {
        for (const SEvent& e : *list) {
            if (e.text == text) {
                return e.tickMs;
            }
        }
    }
    return -1;
}

std::string CCallTestRig::CallLogFile() const {
    return ReadFileText(settings.m_strCallLogName);
}

void CCallTestRig::ToggleDialUpConnection() {
    ++m_toggles;
    toggles.push_back({"TOGGLE", clock.TickMs()});
    callsAtToggle.push_back(control->Calls().Size());
}
