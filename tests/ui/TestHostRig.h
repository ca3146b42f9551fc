// The real program's parts without its adapter: the controller on the Qt window host, in a
// temporary working directory, with recorded message boxes. Adapter lines are fed as the
// line monitor would post them; what the program sends shows as "TX: " lines in its trace.
#pragma once

#include "UiTestSupport.h"
#include "controller/CMainDialog.h"
#include "core/Trace.h"
#include "records/CPhoneBookEntry.h"
#include "support/TempDir.h"
#include "ui/CMainWindow.h"
#include "ui/CPhoneBookDlg.h"
#include "ui/CQtWindowHost.h"
#include "ui/CTrayIcon.h"

#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class HostRig {
public:
    static constexpr std::int64_t kNow = 1700000000;

    // Settings for a run without an adapter: a tty that does not exist and an address that
    // cannot be used, so the open fails at once and nothing is sent anywhere.
    static CSettings BaseSettings(const TempDir& dir) {
        CSettings s;
        s.m_strComPort = dir.File("no-such-tty");
        s.m_strPhoneBookName = "RV.pbk";
        s.m_strCallLogName = "RV.log";
        s.m_strDefaultAreaCode = "408";
        s.m_rcMainPos = {40, 30, 600, 500};
        s.m_bPhoneBookVisible = false;
        s.m_bCallLogVisible = false;
        s.m_dwTotalInternetTime = 90061;
        return s;
    }

    HostRig() : HostRig([](CSettings&) {}) {}
    // edit changes the settings written to RV.cfg; tune the controller's options.
    template <typename Edit>
    explicit HostRig(Edit edit, const std::function<void(CMainDialog::SOptions&)>& tune = {}) : m_cwd(m_dir.Path()) {
        using namespace std::chrono_literals;
        SetTraceFilePath(m_dir.File("Ringvale.dbg"));
        CSettings s = BaseSettings(m_dir);
        edit(s);
        WriteFileText(m_dir.File("RV.cfg"), s.Serialize(s.m_bWasMinimized));
        host = std::make_unique<CQtWindowHost>(dialUp);
        host->SetMessageBoxFn(boxes.Fn());
        CMainDialog::SOptions options;
        options.settingsPath = m_dir.File("RV.cfg");
        options.adapterAddress = "999.1.1.1";
        options.modemHooks.lockDir = m_dir.Path();
        options.modemHooks.serialTries = 1;
        options.modemHooks.serialRetryDelay = 0ms;
        if (tune) {
            tune(options);
        }
        dialog = std::make_unique<CMainDialog>(*host, clock, dialUp, std::move(options));
        host->Attach(*dialog);
        started = dialog->OnInitDialog();
        host->ShowMainAfterStartUp();
        if (started && !DeviceNodeAt(SerialPathFromPortName(s.m_strComPort)).Exists() &&
            !QTest::qWaitFor([this] { return Main().StatusParts()->PartText(0) == "Adapter disconnected"; }, 5000)) {
            // The monitor says at once that the device is missing: that settles before a test looks.
            qWarning("the missing adapter was not reported");
        }
    }
    ~HostRig() {
        dialog->ShutDown();
        dialog.reset();
        host.reset();
        SetTraceFilePath("Ringvale.dbg");
    }
    HostRig(const HostRig&) = delete;
    HostRig& operator=(const HostRig&) = delete;

    CMainWindow& Main() const { return host->MainWindow(); }
    const TempDir& Dir() const { return m_dir; }

    // One adapter line, handled as soon as the window thread drains its queue.
    void Line(const std::string& line) { dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, line)); }
    // Lines, then waits until all of them have been handled.
    bool Lines(std::initializer_list<std::string> lines) {
        for (const std::string& line : lines) {
            Line(line);
        }
        return QTest::qWaitFor([this] { return dialog->Messages().Size() == 0; }, 5000);
    }
    // A phone book entry, filed through the controller as the phone book window would.
    void AddEntry(const std::string& number, const std::string& last, const std::string& first) {
        CMessage msg = CMessage::Make(WM_RV_PB_ADD_ENTRY);
        msg.object = std::make_shared<CPhoneBookEntry>(number, last, first, "", "");
        dialog->PostMessage(std::move(msg));
    }

    std::string TraceText() const { return ReadFileText(m_dir.File("Ringvale.dbg")); }
    int CountInTrace(const std::string& what) const {
        const std::string text = TraceText();
        int n = 0;
        for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
            ++n;
        }
        return n;
    }
    // Waits until the trace holds `what` at least `count` times.
    bool WaitForTrace(const std::string& what, int count = 1) const {
        return QTest::qWaitFor([&] { return CountInTrace(what) >= count; }, 5000);
    }

private:
    TempDir m_dir;
    ScopedCwd m_cwd;

public:
    SettableClock clock{kNow};
    FakeDialUpService dialUp{{{"Work ISP", "ImpactIQ"}, {"Home ISP", "ImpactIQ"}}};
    MessageRecorder boxes;
    std::unique_ptr<CQtWindowHost> host;
    std::unique_ptr<CMainDialog> dialog;
    bool started = false;
};
