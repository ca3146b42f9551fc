// The controller: start-up order through the host, shut-down once on every path, the timer,
// the private messages and command ids, and the whole road of an adapter report through the
// simulator, the tty, the reader, the monitor, the queue and the decoder.
#include "controller/CMainDialog.h"
#include "core/Format.h"
#include "core/Trace.h"
#include "support/CFakeClock.h"
#include "support/CFakeWindowHost.h"
#include "support/ControllerTestOptions.h"
#include "support/MosquittoBroker.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class CFakeDialUp final : public IDialUpService {
public:
    int Dial(const std::string&, const std::string&, const std::string&, DialUpHandle& handle) override {
        handle = 0;
        return 1;
    }
    std::string ErrorText(int) override { return "failed"; }
    void HangUp(DialUpHandle handle) override { hungUp.push_back(handle); }
    EDialUpStatus Status(DialUpHandle) override { return EDialUpStatus::Disconnected; }
    std::vector<DialUpConnectionInfo> ActiveConnections() override {
        ++enumerations;
        if (!foreignUp) {
            return {};
        }
        return {{1, "Other", "/dev/ttyOther"}, {2, "Adapter", "/dev/ttyAdapter"}};
    }
    std::vector<std::string> Entries() override { return {}; }
    std::string EntryDeviceName(const std::string&) override { return {}; }
    std::vector<DialUpHandle> hungUp;
    std::atomic<bool> foreignUp{false};
    std::atomic<int> enumerations{0};
};

class CCountingPart final : public IControllerPart {
public:
    bool OnCommand(int id) override {
        commands.push_back(id);
        return true;
    }
    bool OnMessage(CMessage& msg) override {
        messages.push_back(msg.id);
        return true;
    }
    void OnTimerTick() override { ++ticks; }
    void OnShutDown() override { ++shutDowns; }
    std::vector<int> commands;
    std::vector<EMessageId> messages;
    int ticks = 0;
    int shutDowns = 0;
};

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest() : m_cwd(m_dir.Path()) { SetTraceFilePath(m_dir.File("Ringvale.dbg")); }
    ~ControllerTest() override {
        m_dialog.reset();
        SetTraceFilePath("Ringvale.dbg");
    }

    // Settings for a run without an adapter: a tty that does not exist and an address that
    // cannot be connected, so the open fails at once and sends nothing anywhere.
    CSettings BaseSettings() const {
        CSettings s = QuickControllerSettings(m_dir.File("no-such-tty"));
        s.m_strDefaultAreaCode = "408";
        s.m_rcMainPos = {10, 20, 500, 400};
        s.m_dwTotalInternetTime = 90061;
        return s;
    }
    void WriteSettings(const CSettings& s) { WriteFileText(m_dir.File("RV.cfg"), s.Serialize(s.m_bWasMinimized)); }

    void Create(const std::string& address = "999.1.1.1") {
        m_dialog =
            std::make_unique<CMainDialog>(m_host, m_clock, m_dialUp, QuickControllerOptions(m_dir.Path(), address));
    }
    void Start(const CSettings& s) {
        WriteSettings(s);
        Create();
        ASSERT_TRUE(m_dialog->OnInitDialog());
    }
    std::string TraceText() const { return ReadFileText(m_dir.File("Ringvale.dbg")); }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
            ++n;
        }
        return n;
    }
    // Drains the controller's queue until the condition holds (at most 10 s).
    bool PumpUntil(const std::function<bool()>& condition) { return PumpMessagesUntil(*m_dialog, condition); }

    TempDir m_dir;
    ScopedCwd m_cwd;
    CFakeClock m_clock;
    CFakeWindowHost m_host{&m_clock};
    CFakeDialUp m_dialUp;
    std::unique_ptr<CMainDialog> m_dialog;
};

TEST_F(ControllerTest, StartUpOrderWithoutAdapter) {
    Start(BaseSettings());
    const std::vector<std::string> order = {
        "SetWindowRect(Main,10,20,500,400)",
        "AttachStores(phonebook,calllog)",
        "ShowWindow(PhoneBook,1)",
        "ShowWindow(CallLog,1)",
        // The device and the system's reason, not a dial-up message: no dial-up was involved.
        "MessageBox(The ImpactIQ could not be opened on " + m_dir.File("no-such-tty") +
            ":\nNo such file or directory.\n\nPlease make sure that the port is correct\nand that no other "
            "applications are using it.)",
        "SetSelectIndicator(0,1)",
        "StartTimer(1000,200)",
        "VisibleActivityLines()",
        "AddTrayIcon(128,Ringvale)",
        "RedrawMenuBar()",
        "SetButtonCheck(1057,1)",
        "SetStatusText(0,Offline)",
        "SetStatusText(3,No new calls)",
        "SetStatusText(2,Total: 001:01:01:01)",
    };
    int last = -1;
    for (const auto& call : order) {
        const int at = m_host.IndexOfCall(call);
        EXPECT_GT(at, last) << call;
        last = std::max(last, at);
    }
    EXPECT_EQ(m_host.MessageBoxes().size(), 1u);
    EXPECT_TRUE(m_host.Menu(EMenu::Internet).empty());
    EXPECT_TRUE(m_host.ControlEnabled(ctl::kDialUp));
    EXPECT_FALSE(m_dialog->Monitor().ForeignWatch());
    EXPECT_TRUE(m_dialog->Monitor().Running()) << "the monitor runs even without an adapter";
    EXPECT_EQ(m_dialog->Settings().m_dwPhoneBookColumnMask & 0x9u, 0x9u);
    EXPECT_NE(TraceText().find("TX: ATS76=3<0D>"), std::string::npos);
}

TEST_F(ControllerTest, ConnectionItemsOnlyForConfiguredSlotsWithTheirOwnIds) {
    const struct {
        const char* label;
        std::array<std::string, 3> names;
        std::vector<CFakeWindowHost::SMenuEntry> items;
    } cases[] = {
        {"none", {"", "<none selected>", ""}, {}},
        {"gap keeps the slot ids",
         {"Work", "<none selected>", "Home"},
         {{32809, "Connect to Work", false}, {32811, "Connect to Home", false}}},
        {"all three",
         {"A", "B", "C"},
         {{32809, "Connect to A", false}, {32810, "Connect to B", false}, {32811, "Connect to C", false}}},
        {"only the last", {"", "", "<none selected>x"}, {{32811, "Connect to <none selected>x", false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CSettings s = BaseSettings();
        s.m_strRASConnection = c.names;
        Start(s);
        EXPECT_EQ(m_host.Menu(EMenu::Internet), c.items);
        // Rebuilding replaces the items instead of adding more.
        m_dialog->RebuildConnectionMenu();
        EXPECT_EQ(m_host.Menu(EMenu::Internet), c.items);
        m_dialog->ShutDown();
        m_dialog.reset();
    }
}

TEST_F(ControllerTest, CallWaitingRegisterAtStartUpAndOnTheButton) {
    CSettings s = BaseSettings();
    s.m_bEnableCallWaiting = false;
    s.m_nCallWaitingOffValue = 2;
    s.m_nCallWaitingOnValue = 1;
    Start(s);
    EXPECT_FALSE(m_host.ButtonChecked(ctl::kCallWaiting));
    EXPECT_NE(TraceText().find("TX: ATS76=2<0D>"), std::string::npos);
    m_dialog->OnCommand(ctl::kCallWaiting);
    EXPECT_TRUE(m_host.ButtonChecked(ctl::kCallWaiting));
    EXPECT_TRUE(m_dialog->Settings().m_bEnableCallWaiting);
    EXPECT_NE(TraceText().find("TX: ATS76=1<0D>"), std::string::npos);
}

TEST_F(ControllerTest, MinimisedAtStartAndOnceMoreOnTheFirstTick) {
    const struct {
        bool wasMinimized;
        bool atStartup;
        bool toTray;
        int minimizes; // MinimizeMain calls after start-up and one tick
        int hides;     // ShowWindow(Main,0) calls
    } cases[] = {
        {false, false, false, 0, 0},
        {true, false, false, 2, 0},
        {false, true, false, 2, 0},
        {false, true, true, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.wasMinimized << c.atStartup << c.toTray);
        CSettings s = BaseSettings();
        s.m_bWasMinimized = c.wasMinimized;
        s.m_bMinimizeAtStartup = c.atStartup;
        s.m_bMinimizeToTray = c.toTray;
        m_host.ClearCalls();
        Start(s);
        m_dialog->OnTimer(ctl::kTimer);
        m_dialog->OnTimer(ctl::kTimer);
        EXPECT_EQ(m_host.CountCalls("MinimizeMain()"), c.minimizes);
        EXPECT_EQ(m_host.CountCalls("ShowWindow(Main,0)"), c.hides);
        m_dialog->ShutDown();
        m_dialog.reset();
    }
}

TEST_F(ControllerTest, ShutDownRunsOnceWhicheverPathsAreTaken) {
    using Path = void (CMainDialog::*)();
    const std::vector<std::vector<Path>> paths = {
        {&CMainDialog::OnOK},
        {&CMainDialog::OnCancel, &CMainDialog::OnOK},
        {&CMainDialog::OnClose, &CMainDialog::OnCancel, &CMainDialog::OnClose},
    };
    for (const auto& sequence : paths) {
        CSettings s = BaseSettings();
        Start(s);
        m_host.SetWindowRect(EWindow::PhoneBook, {1, 2, 3, 4});
        m_host.SetWindowRect(EWindow::Main, {30, 40, 50, 60});
        m_host.ClearCalls();
        TruncateTrace();
        for (Path p : sequence) {
            (m_dialog.get()->*p)();
        }
        EXPECT_EQ(m_host.CountCalls("RemoveTrayIcon()"), 1);
        EXPECT_EQ(m_host.CountCalls("StopTimer(1000)"), 1);
        EXPECT_EQ(m_host.CountCalls("EndDialog("), static_cast<int>(sequence.size()));
        EXPECT_FALSE(m_dialog->Monitor().Running());
        EXPECT_EQ(m_host.AttachedPhoneBook(), nullptr);
        // The adapter never opened: the idle commands are still traced, once.
        const std::string trace = TraceText();
        EXPECT_EQ(Count(trace, "TX: AT$V0<0D>"), 1) << trace;
        EXPECT_EQ(Count(trace, "TX: ATE1<0D>"), 1);
        EXPECT_LT(trace.find("TX: AT$V0<0D>"), trace.find("TX: ATE1<0D>"));
        // Positions were stored and saved.
        CSettings saved;
        saved.Parse(ReadFileText(m_dir.File("RV.cfg")), {});
        EXPECT_EQ(saved.m_rcPhoneBookPos, (CRect{1, 2, 3, 4}));
        EXPECT_EQ(saved.m_rcMainPos, (CRect{30, 40, 50, 60}));
        m_dialog.reset();
    }
}

TEST_F(ControllerTest, ShutDownBeforeStartUpDoesNothing) {
    Create();
    m_dialog->OnOK();
    EXPECT_EQ(m_host.CountCalls("RemoveTrayIcon()"), 0);
    EXPECT_EQ(ReadFileText(m_dir.File("RV.cfg")), "") << "nothing was loaded, so nothing is saved";
    EXPECT_EQ(m_host.DialogResults(), std::vector<int>{1});
}

TEST_F(ControllerTest, CancelledConfigurationEndsStartUp) {
    Create();
    EXPECT_FALSE(m_dialog->OnInitDialog()); // no settings file; the fake dialog is cancelled
    EXPECT_EQ(m_host.CountCalls("RunSettingsDialog("), 1);
    EXPECT_EQ(m_host.CountCalls("AddTrayIcon("), 0);
    m_dialog->OnClose();
    EXPECT_EQ(m_host.CountCalls("RemoveTrayIcon()"), 0) << "nothing to shut down";
}

TEST_F(ControllerTest, TimerRefreshesTilesEveryFifthTickAndSetsIndicatorsOnlyOnChange) {
    Start(BaseSettings());
    CCountingPart part;
    m_dialog->AddPart(&part);
    // A call in tile 0, so that call control has a tile to repaint on every refresh.
    m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, "CALL:0,5;2,1;3,17"));
    m_dialog->DrainMessages();
    m_dialog->DrainMessages();
    m_host.ClearCalls();
    for (int i = 0; i < 12; ++i) {
        m_dialog->OnTimer(ctl::kTimer);
    }
    m_dialog->OnTimer(4711); // another timer id: ignored
    m_dialog->DrainMessages();
    EXPECT_EQ(m_host.CountCalls("SetTile(0,"), 2) << "call control handles the refreshes";
    EXPECT_TRUE(part.messages.empty());
    EXPECT_EQ(part.ticks, 12);
    EXPECT_EQ(m_host.CountCalls("SetHoldIndicator("), 4) << "set once, then only on change";

    // A held call blinks its indicator with the phase.
    m_dialog->SetTileStateSource(
        [](int tile) { return tile == 2 ? CMainDialog::ETileState::Held : CMainDialog::ETileState::Empty; });
    m_host.ClearCalls();
    for (int i = 0; i < 4; ++i) {
        m_dialog->OnTimer(ctl::kTimer);
    }
    EXPECT_EQ(m_host.CountCalls("SetHoldIndicator(2,"), 4);
    EXPECT_EQ(m_host.CountCalls("SetHoldIndicator("), 5) << "tile 0 goes unlit once";
}

// Idle, the timer is stopped: it runs only while a call is shown, the tray blinks or a
// minimise waits for the next tick, and restarts when such work appears.
TEST_F(ControllerTest, TimerRunsOnlyWhileSomethingBlinksOrCounts) {
    CSettings s = BaseSettings();
    s.m_bMinimizeAtStartup = true;
    Start(s);
    EXPECT_TRUE(m_dialog->TimerRunning());
    m_host.ClearCalls();
    m_dialog->OnTimer(ctl::kTimer); // the pending minimise is done; nothing else to do
    EXPECT_EQ(m_host.CountCalls("MinimizeMain()"), 1);
    EXPECT_FALSE(m_dialog->TimerRunning());
    EXPECT_EQ(m_host.CountCalls("StopTimer(1000)"), 1);

    struct Step {
        const char* line;
        bool running;
    } steps[] = {
        {"CALL:0,1;2,1;3,17;4,5551212;5,4085551212", true}, // offered: a tile shows it
        {"OK", true},
        {"CALL:0,5;2,1;3,17", true}, // connected: its time counts
        {"CALL:0,0;2,1;3,17", true}, // disconnected and logged: the tray blinks for the new call
    };
    for (const Step& step : steps) {
        m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, step.line));
        m_dialog->DrainMessages();
        m_dialog->DrainMessages(); // what call control posted in turn
        EXPECT_EQ(m_dialog->TimerRunning(), step.running) << step.line;
    }
    EXPECT_EQ(m_host.CountCalls("StartTimer(1000,200)"), 1) << "started once, not on every message";
    // The left click on the tray icon acknowledges the new call: nothing is left to blink.
    // The tick after it stops the timer.
    m_dialog->OnMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmLButtonDown));
    EXPECT_TRUE(m_dialog->TimerRunning());
    m_dialog->OnTimer(ctl::kTimer);
    EXPECT_FALSE(m_dialog->TimerRunning());
    EXPECT_EQ(m_host.CountCalls("StopTimer(1000)"), 2);
    // Every hold indicator was left unlit before it stopped.
    for (int tile = 0; tile < 4; ++tile) {
        EXPECT_FALSE(m_host.HoldIndicator(tile)) << tile;
    }
    // A part that asks for ticks keeps it running.
    struct CTickingPart final : IControllerPart {
        bool OnCommand(int) override { return false; }
        bool OnMessage(CMessage&) override { return false; }
        bool NeedsTimer() const override { return true; }
    } part;
    m_dialog->AddPart(&part);
    m_dialog->OnCommand(-12345);
    EXPECT_TRUE(m_dialog->TimerRunning());
}

// Adding or editing a phone book entry puts its display name on the call log records with
// its number (and only those), and the call log window is told to show the new names.
TEST_F(ControllerTest, AddedAndEditedEntriesNameTheirCallLogRecords) {
    Start(BaseSettings());
    CCallLog& log = *m_dialog->CallLog();
    log.Add(std::make_unique<CCallLogRecord>("Unknown caller", "4085551212", false, true, 1000, 60, 0));
    log.Add(std::make_unique<CCallLogRecord>("Unknown caller", "14085551212", false, true, 1100, 60, 0));
    log.Add(std::make_unique<CCallLogRecord>("Unknown caller", "4085551212", true, true, 1200, 60, 1));
    auto names = [&] {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < log.GetCount(); ++i) {
            out.push_back(log.GetAt(i)->m_strName + "|" + log.GetAt(i)->m_strNumber);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    m_host.ClearCalls();

    CMessage add = CMessage::Make(WM_RV_PB_ADD_ENTRY);
    add.object = std::make_shared<CPhoneBookEntry>("4085551212", "Lee", "Ann", "", "");
    m_dialog->OnMessage(std::move(add));
    EXPECT_EQ(names(),
              (std::vector<std::string>{"Ann Lee|4085551212", "Ann Lee|4085551212", "Unknown caller|14085551212"}));
    EXPECT_EQ(m_host.CountCalls("SendToWindow(CallLog,WM_RV_PB_ADD_ENTRY)"), 1);

    ASSERT_EQ(m_dialog->PhoneBook()->GetCount(), 1U);
    const std::uint64_t id = m_dialog->PhoneBook()->GetAt(0)->m_id;
    CMessage edit = CMessage::WithKey(WM_RV_PB_REPLACE_ENTRY, id);
    edit.object = std::make_shared<CPhoneBookEntry>("4085551212", "Lee", "Bob", "", "");
    m_dialog->OnMessage(std::move(edit));
    EXPECT_EQ(names(),
              (std::vector<std::string>{"Bob Lee|4085551212", "Bob Lee|4085551212", "Unknown caller|14085551212"}));
    EXPECT_EQ(m_host.CountCalls("SendToWindow(CallLog,WM_RV_PB_REPLACE_ENTRY)"), 1);
    // The file holds the new names too.
    EXPECT_EQ(Count(ReadFileText(m_dir.File("RV.log")), "Bob Lee"), 2);
}

TEST_F(ControllerTest, DeletesAreUndoneUntilTheWindowIsHidden) {
    CSettings s = BaseSettings();
    s.m_bPhoneBookVisible = true;
    s.m_bCallLogVisible = true;
    Start(s);
    CPhoneBook& book = *m_dialog->PhoneBook();
    CCallLog& log = *m_dialog->CallLog();
    auto lee = std::make_unique<CPhoneBookEntry>("4085551212", "Lee", "Ann", "", "");
    lee->m_dwFlags = PBF_IGNORE;
    lee->m_nIncomingCalls = 4;
    const std::uint64_t leeId = lee->m_id;
    book.Add(std::move(lee));
    book.Add(std::make_unique<CPhoneBookEntry>("4085550002", "Abbot", "Bo", "", ""));
    for (const char* name : {"old", "mid", "new"}) {
        log.Add(std::make_unique<CCallLogRecord>(name, "4085551212", false, true, 1000, 60, 0));
    }
    const std::uint64_t midId = log.GetAt(1)->m_id;
    auto undoState = [&](EWindow window) {
        for (auto sent = m_host.SentMessages(); !sent.empty(); sent.pop_back()) {
            if (sent.back().first == window && sent.back().second.id == WM_RV_UNDO_AVAILABLE) {
                return sent.back().second.wParam;
            }
        }
        return std::int64_t{-1};
    };

    m_dialog->OnMessage(CMessage::WithKeys(WM_RV_PB_DELETE_ENTRY, {leeId}));
    m_dialog->OnMessage(CMessage::WithKeys(WM_RV_LOG_DELETE_RECORD, {midId}));
    EXPECT_EQ(book.GetCount(), 1u);
    EXPECT_EQ(log.GetCount(), 2u);
    EXPECT_EQ(undoState(EWindow::PhoneBook), 1);
    log.Add(std::make_unique<CCallLogRecord>("newest", "4085551212", false, true, 1000, 60, 0));

    m_dialog->OnCommand(cmd::kUndoPhoneBookDelete);
    m_dialog->OnCommand(cmd::kUndoCallLogDelete);
    ASSERT_NE(book.FindById(leeId), nullptr);
    EXPECT_EQ(book.FindById(leeId)->m_nIncomingCalls, 4);
    EXPECT_TRUE(book.IsIgnored("5551212"));
    EXPECT_EQ(log.IndexOf(midId), 2) << "back between old and new, below the record added since";
    EXPECT_EQ(undoState(EWindow::PhoneBook), 0);
    const auto sent = m_host.SentMessages();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [&](const auto& m) {
        return m.first == EWindow::CallLog && m.second.id == WM_RV_RESTORED && m.second.Keys().front() == midId;
    }));
    EXPECT_EQ(Count(ReadFileText(m_dir.File("RV.log")), "\"mid\""), 1);

    // Hiding the window forgets what could be undone.
    m_dialog->OnMessage(CMessage::WithKeys(WM_RV_PB_DELETE_ENTRY, {leeId}));
    m_dialog->OnCommand(cmd::kViewPhoneBook);
    EXPECT_EQ(undoState(EWindow::PhoneBook), 0);
    m_dialog->OnCommand(cmd::kUndoPhoneBookDelete);
    EXPECT_EQ(book.FindById(leeId), nullptr);
}

TEST_F(ControllerTest, BlockingACallerFromTheLogRejectsItsNextCall) {
    Start(BaseSettings());
    CCallLog& log = *m_dialog->CallLog();
    CPhoneBook& book = *m_dialog->PhoneBook();
    book.Add(std::make_unique<CPhoneBookEntry>("4155550123", "Stone", "Bob", "", ""));
    log.Add(std::make_unique<CCallLogRecord>("Unknown caller", "14085553344", false, false, 1000, 0, 0));
    log.Add(std::make_unique<CCallLogRecord>("Bob Stone", "4155550123", false, true, 1000, 9, 0));
    log.Add(std::make_unique<CCallLogRecord>("Unknown caller", "", false, false, 1000, 0, 0));
    m_dialog->OnMessage(CMessage::WithKey(WM_RV_LOG_BLOCK_CALLER, log.GetAt(2)->m_id));
    m_dialog->OnMessage(CMessage::WithKey(WM_RV_LOG_BLOCK_CALLER, log.GetAt(1)->m_id));
    m_dialog->OnMessage(CMessage::WithKey(WM_RV_LOG_BLOCK_CALLER, log.GetAt(0)->m_id)); // no number: nothing
    ASSERT_EQ(book.GetCount(), 2u);
    EXPECT_TRUE(book.IsIgnored("4155550123")) << "the known entry is marked";
    const CPhoneBookEntry* made = book.Find("4085553344");
    ASSERT_NE(made, nullptr) << "an entry is made under the number as lookups compare it";
    EXPECT_EQ(made->m_strName, " ");
    EXPECT_EQ(made->m_dwFlags, PBF_IGNORE);
    EXPECT_EQ(m_host.CountCalls("SendToWindow(PhoneBook,WM_RV_PB_ADD_ENTRY)"), 1);
    EXPECT_EQ(m_host.CountCalls("SendToWindow(PhoneBook,WM_RV_PB_SET_IGNORE)"), 1);

    m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, "CALL:0,1;2,1;3,17;4,5551212;5,14085553344"));
    m_dialog->DrainMessages();
    EXPECT_NE(TraceText().find("TX: AT*1H/17<0D>"), std::string::npos);
}

TEST_F(ControllerTest, ImportAndExportThroughTheFileDialog) {
    Start(BaseSettings());
    CPhoneBook& book = *m_dialog->PhoneBook();
    CCallLog& log = *m_dialog->CallLog();
    log.Add(std::make_unique<CCallLogRecord>("Unknown caller", "4085551212", false, true, 1000, 60, 0));
    WriteFileText(m_dir.File("in.vcf"), "BEGIN:VCARD\r\nN:Lee;Ann\r\nTEL:(408) 555-1212\r\nEMAIL:a@b\r\n"
                                        "END:VCARD\r\n");
    WriteFileText(m_dir.File("bad.csv"), "Name,Number\r\nBob,\"415\r\n");
    m_host.ChooseFileAnswers(
        {m_dir.File("in.vcf"), m_dir.File("bad.csv"), m_dir.File("out.vcf"), m_dir.File("log.csv"), ""});
    m_host.ClearCalls();
    const std::size_t startUpBoxes = m_host.MessageBoxes().size(); // the missing adapter
    m_dialog->OnCommand(cmd::kPhoneBookImport);
    m_dialog->OnCommand(cmd::kPhoneBookImport);
    m_dialog->OnCommand(cmd::kPhoneBookExport);
    m_dialog->OnCommand(cmd::kCallLogExport);
    m_dialog->OnCommand(cmd::kPhoneBookExport); // cancelled
    const std::vector<std::string> boxes = m_host.MessageBoxes();
    EXPECT_EQ(std::vector<std::string>(boxes.begin() + static_cast<std::ptrdiff_t>(startUpBoxes), boxes.end()),
              (std::vector<std::string>{
                  "Imported from " + m_dir.File("in.vcf") +
                      ":\n1 added, 0 updated, 0 unchanged, 0 skipped.\nNot imported: EMAIL (1).",
                  m_dir.File("bad.csv") +
                      " could not be imported: line 2: a quoted field is not closed.\nThe phone book is unchanged."}));
    EXPECT_EQ(book.GetCount(), 1u);
    EXPECT_EQ(log.GetAt(0)->m_strName, "Ann Lee") << "the call log takes the imported name";
    EXPECT_EQ(m_host.CountCalls("AttachStores(phonebook,calllog)"), 1);
    EXPECT_NE(ReadFileText(m_dir.File("out.vcf")).find("N:Lee;Ann;;;\r\n"), std::string::npos);
    EXPECT_EQ(ReadFileText(m_dir.File("log.csv")).substr(0, 8), "Name,Num");
    EXPECT_EQ(m_host.CountCalls("ChooseFile("), 5);
}

TEST_F(ControllerTest, StoreFilesThatAreNoStoresSurviveARunUntouched) {
    const std::string notes = "buy milk\r\ncall Ann back\r\n";
    const std::string script = "#!/bin/sh\nexec true\n";
    WriteFileText(m_dir.File("RV.pbk"), notes);
    WriteFileText(m_dir.File("RV.log"), script);
    Start(BaseSettings());
    const std::vector<std::string> boxes = m_host.MessageBoxes(); // then the adapter's, which is missing
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], StrFormat(CPhoneBook::kNotStoreFormat, "RV.pbk"));
    EXPECT_EQ(boxes[1], StrFormat(CCallLog::kNotStoreFormat, "RV.log"));
    CMessage add = CMessage::Make(WM_RV_PB_ADD_ENTRY);
    add.object = std::make_shared<CPhoneBookEntry>("4085551212", "Lee", "Ann", "", "");
    m_dialog->OnMessage(std::move(add));
    m_dialog->CallLog()->Add(std::make_unique<CCallLogRecord>("Ann Lee", "4085551212", false, true, 1000, 60, 0));
    m_dialog->OnOK();
    EXPECT_EQ(m_dialog->PhoneBook(), nullptr);
    EXPECT_EQ(m_host.MessageBoxes(), boxes) << "said once";
    EXPECT_EQ(ReadFileText(m_dir.File("RV.pbk")), notes);
    EXPECT_EQ(ReadFileText(m_dir.File("RV.log")), script);
}

TEST_F(ControllerTest, MessagesReachTheirHandlers) {
    Start(BaseSettings());
    CCountingPart part;
    m_dialog->AddPart(&part);
    m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, "CALL:0,1;2,1;3,17;4,5551212;5,4085551212"));
    m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, "OK"));
    m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, "CALL:0,5;2,3;3,17"));
    m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, "CALL:0,6;2,1;3,17"));
    m_dialog->PostMessage(CMessage::WithText(WM_RV_MODEM_LINE, "AUD:2,2;42,7"));
    m_dialog->PostMessage(CMessage::WithText(WM_RV_STATUS_TEXT, "Online to Work", 0));
    m_dialog->PostMessage(CMessage::WithText(WM_RV_DIAL_NUMBER, "4085551212"));
    EXPECT_GE(m_host.MessagesPendingCount(), 7);
    EXPECT_EQ(m_dialog->DrainMessages(), 7u);
    EXPECT_EQ(m_host.ActivityTexts(), (std::vector<std::string>{"Call offering: 4085551212", "DTMF: 7"}));
    EXPECT_EQ(m_host.StatusText(0), "Online to Work");
    EXPECT_TRUE(part.messages.empty()) << "call control dials";
    const std::string trace = TraceText();
    EXPECT_NE(trace.find("TX: AT*1D5551212<0D>"), std::string::npos);
    EXPECT_NE(trace.find(" Call offering: 4085551212\r\n"), std::string::npos);

    // A tick of the on-line clock counts only while the own connection is up.
    m_dialog->OnMessage(CMessage::Make(WM_RV_ONLINE_TIME, 59, 100));
    EXPECT_EQ(m_host.StatusText(2), "Total: 001:01:01:01");
    m_dialog->Monitor().SetOnlineClock({true, m_clock.Now(), 41});
    m_dialog->OnMessage(CMessage::Make(WM_RV_ONLINE_TIME, 59, 100));
    EXPECT_EQ(m_host.StatusText(1), "Current: 000:00:00:59");
    EXPECT_EQ(m_host.StatusText(2), "Total: 000:00:01:40");
    EXPECT_EQ(m_dialog->Settings().m_dwTotalInternetTime, 100u);
    m_dialog->OnCommand(cmd::kClearTotalTimer);
    EXPECT_EQ(m_host.StatusText(2), "Total: 000:00:00:00");
    EXPECT_EQ(m_dialog->Settings().m_dwTotalInternetTime, 0u);
    EXPECT_EQ(m_dialog->Monitor().OnlineClock().totalAtStart, 0);

    // The foreign connection ended and the monitor reopened the link.
    m_host.EnableControl(ctl::kDialUp, false);
    m_dialog->OnMessage(CMessage::Make(WM_RV_LINK_RESTORED));
    EXPECT_TRUE(m_host.ControlEnabled(ctl::kDialUp));
    EXPECT_TRUE(m_host.MenuItemEnabled(cmd::kToggleDialUp));
    EXPECT_EQ(m_host.StatusText(0), "Offline");
}

TEST_F(ControllerTest, MessageBoxAskedForOnAWorkerIsShownOnTheWindowThread) {
    Start(BaseSettings());
    const auto before = m_host.MessageBoxes().size();
    std::thread worker([this] { m_dialog->ShowMessage("from the worker"); });
    worker.join();
    EXPECT_EQ(m_host.MessageBoxes().size(), before);
    m_dialog->DrainMessages();
    ASSERT_EQ(m_host.MessageBoxes().size(), before + 1);
    EXPECT_EQ(m_host.MessageBoxes().back(), "from the worker");
}

TEST_F(ControllerTest, CommandsAreRoutedToTheirOwners) {
    Start(BaseSettings());
    CCountingPart part;
    m_dialog->AddPart(&part);
    m_dialog->OnCommand(cmd::kViewPhoneBook);
    EXPECT_FALSE(m_dialog->Settings().m_bPhoneBookVisible);
    EXPECT_FALSE(m_host.IsWindowVisible(EWindow::PhoneBook));
    m_dialog->OnCommand(cmd::kViewCallLog);
    EXPECT_FALSE(m_host.IsWindowVisible(EWindow::CallLog));
    m_dialog->OnCommand(cmd::kLogIncompleteCalls);
    EXPECT_TRUE(m_dialog->Settings().m_bIncompleteCallsToPhoneBook);
    m_dialog->OnCommand(cmd::kHelp);
    EXPECT_EQ(m_host.CountCalls("OpenHelp()"), 1);
    for (const int id : {ctl::kHangUp, ctl::kHold, ctl::kKeypadFirst, ctl::kTileSelect[3], ctl::kDialUp,
                         cmd::kToggleDialUp, cmd::kConnection1}) {
        m_dialog->OnCommand(id);
    }
    // Call control owns the call buttons, the keypad and the tile select buttons, the dial-up
    // manager the dial-up button, the toggle and the connection items: none reaches a later part.
    EXPECT_TRUE(part.commands.empty());
    EXPECT_EQ(m_dialog->CallControl().Tiles().SelectedTile(), 3);
    EXPECT_TRUE(m_host.SelectIndicator(3));
    EXPECT_FALSE(m_host.SelectIndicator(0));

    // The configuration dialog's result replaces the settings and rebuilds the menu.
    m_host.SetSettingsDialog([](CWindowHost::ESettingsDialog, CSettings& s) {
        s.m_strRASConnection[1] = "Office";
        return true;
    });
    m_dialog->OnCommand(cmd::kConfigure);
    EXPECT_EQ(m_host.Menu(EMenu::Internet),
              (std::vector<CFakeWindowHost::SMenuEntry>{{32810, "Connect to Office", false}}));

    // The network dialog's result starts publishing to the broker it names (a port nobody
    // listens on: never a broker of the machine).
    std::vector<CWindowHost::ESettingsDialog> shown;
    const int port = CMosquittoBroker::FreePort();
    m_host.SetSettingsDialog([&](CWindowHost::ESettingsDialog dialog, CSettings& s) {
        shown.push_back(dialog);
        s.m_bMqttEnabled = true;
        s.m_strMqttHost = "127.0.0.1";
        s.m_nMqttPort = port;
        s.m_strMqttTopicPrefix = "test/rv";
        return true;
    });
    m_dialog->OnCommand(cmd::kNetwork);
    EXPECT_EQ(shown, std::vector<CWindowHost::ESettingsDialog>{CWindowHost::ESettingsDialog::Network});
    EXPECT_TRUE(m_dialog->Settings().m_bMqttEnabled);
    EXPECT_TRUE(m_host.HasActivity(StrFormat("Network: publishing to 127.0.0.1:%d as test/rv", port)));

    m_dialog->OnCommand(cmd::kOk);
    EXPECT_EQ(part.shutDowns, 1);
    EXPECT_EQ(m_host.DialogResults(), std::vector<int>{1});
}

// While a settings dialog is open the program goes on: a connection is chosen from the tray,
// a list window is shown or hidden. On OK each dialog hands back only the values it shows, so
// those changes stay, and so does the S63 value the adapter gave at start-up.
TEST_F(ControllerTest, SettingsDialogsHandBackOnlyTheValuesTheyShow) {
    CSimProcess sim({m_dir.Path(), "127.0.61.3", {"--s63", "12"}});
    ASSERT_TRUE(sim.Running());
    CSettings s = BaseSettings();
    s.m_strComPort = sim.LinkPath();
    s.m_nSReg63 = 9;
    s.m_strRASConnection = {"Work", "Home", ""};
    WriteSettings(s);
    Create(sim.Address());
    ASSERT_TRUE(m_dialog->OnInitDialog());
    ASSERT_TRUE(sim.WaitForLog("RX pty ATS63=12"));

    m_host.SetSettingsDialog([this](CWindowHost::ESettingsDialog dialog, CSettings& edited) {
        if (dialog == CWindowHost::ESettingsDialog::Configuration) {
            m_dialog->OnCommand(cmd::kConnection1 + 1); // "Connect to Home" from the tray
            m_dialog->OnCommand(cmd::kViewCallLog);
            edited.m_strDefaultAreaCode = "650";
        } else {
            m_dialog->OnCommand(cmd::kViewPhoneBook);
            edited.m_strRCDTMF = "*7#";
        }
        return true;
    });
    m_dialog->OnCommand(cmd::kConfigure);
    m_dialog->OnCommand(cmd::kRemoteControl);
    EXPECT_FALSE(m_host.HasActivity("Reopening the adapter on " + sim.LinkPath())) << "the port is the same";
    const CSettings& now = m_dialog->Settings();
    EXPECT_EQ(now.m_strDefaultAreaCode, "650");
    EXPECT_EQ(now.m_strRCDTMF, "*7#");
    EXPECT_EQ(now.m_nCurrentRASConnection, 1);
    EXPECT_FALSE(now.m_bCallLogVisible);
    EXPECT_FALSE(now.m_bPhoneBookVisible);
    EXPECT_EQ(m_host.IsWindowVisible(EWindow::CallLog), now.m_bCallLogVisible);
    EXPECT_EQ(m_host.IsWindowVisible(EWindow::PhoneBook), now.m_bPhoneBookVisible);

    m_dialog->OnOK();
    CSettings saved;
    saved.Parse(ReadFileText(m_dir.File("RV.cfg")), {});
    EXPECT_EQ(saved.m_nSReg63, 12);
    EXPECT_EQ(saved.m_nCurrentRASConnection, 1);
}

// A new port or rate from the configuration is used at once: the link is closed and opened
// on it with the whole handshake; a port that is gone is said as at start-up and kept.
TEST_F(ControllerTest, NewPortOrRateFromTheConfigurationReopensTheLinkAtOnce) {
    CSimProcess first({m_dir.Path(), "127.0.61.4", {}});
    TempDir otherDir;
    CSimProcess second({otherDir.Path(), "127.0.61.4", {"--rate", "57600", "--udp-port", "2324"}});
    ASSERT_TRUE(first.Running() && second.Running());
    CSettings s = BaseSettings();
    s.m_strComPort = first.LinkPath();
    WriteSettings(s);
    // No adapter on the network: a port that fails is not replaced by it (and its replies
    // are not waited for long).
    CMainDialog::SOptions options = QuickControllerOptions(m_dir.Path(), "127.0.61.5");
    options.modemHooks.replyTimeout = std::chrono::milliseconds(1500);
    m_dialog = std::make_unique<CMainDialog>(m_host, m_clock, m_dialUp, options);
    ASSERT_TRUE(m_dialog->OnInitDialog());
    ASSERT_TRUE(first.WaitForLog("RX pty ATS76=3"));

    struct Row {
        std::string port;
        int baud;
        CSimProcess* answers; // the simulator that gets the handshake, nullptr: none
        const char* box;      // a part of the message box that follows, "" for none
    };
    const std::string gone = m_dir.File("serial/by-id/usb-3Com_ImpactIQ-if00-port0");
    const Row rows[] = {
        {second.LinkPath(), 57600, &second, ""},
        {gone, 57600, nullptr, "could not be opened on "},
        {first.LinkPath(), 115200, &first, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port);
        const std::size_t firstLog = first.Log().size();
        const std::size_t secondLog = second.Log().size();
        const std::size_t boxes = m_host.MessageBoxes().size();
        m_host.SetSettingsDialog([&](CWindowHost::ESettingsDialog, CSettings& edited) {
            edited.m_strComPort = row.port;
            edited.m_nBaud = row.baud;
            return true;
        });
        m_dialog->OnCommand(cmd::kConfigure);
        EXPECT_EQ(m_dialog->Settings().m_strComPort, row.port);
        if (row.answers != nullptr) {
            const std::size_t from = row.answers == &first ? firstLog : secondLog;
            EXPECT_TRUE(row.answers->WaitForLogAfter(from, "RX pty ATI"));
            EXPECT_TRUE(row.answers->WaitForLogAfter(from, "RX pty ATS76=3"));
            EXPECT_EQ(m_host.MessageBoxes().size(), boxes);
        } else {
            ASSERT_TRUE(PumpUntil([&] { return m_host.MessageBoxes().size() > boxes; }));
            const std::string box = m_host.MessageBoxes().back();
            EXPECT_NE(box.find(row.box + row.port), std::string::npos) << box;
            EXPECT_NE(box.find("No such file or directory"), std::string::npos) << box;
        }
        EXPECT_TRUE(m_host.HasActivity("Reopening the adapter on " + row.port));
    }
    // The port it left was given back in its idle settings.
    EXPECT_TRUE(second.WaitForLog("RX pty AT$V0"));
    m_dialog->OnOK();
}

// The adapter's device is missing at start-up and goes away again later: the status bar and
// the tray tip say the adapter is disconnected, also after a dial-up attempt failed meanwhile,
// and each time the device is back the link is opened on it by itself, with the handshake and
// the call-waiting register.
TEST_F(ControllerTest, LinkIsTakenUpAgainWhenItsDeviceComesBack) {
    CSimProcess sim({m_dir.Path(), "127.0.61.6", {}});
    ASSERT_TRUE(sim.Running());
    ASSERT_TRUE(sim.Command("unplug"));
    CSettings s = BaseSettings();
    s.m_strComPort = sim.LinkPath();
    s.m_strRASConnection = {"Work", "", ""};
    WriteSettings(s);
    Create();
    ASSERT_TRUE(m_dialog->OnInitDialog());
    EXPECT_EQ(m_host.MessageBoxes().size(), 1u) << "the start-up open failed";
    ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Adapter disconnected"; }));
    EXPECT_TRUE(m_host.HasActivity("Adapter disconnected: waiting for " + sim.LinkPath()));
    m_dialog->AnnounceNewCall();
    EXPECT_EQ(m_host.TrayTip(), "Ringvale - Adapter disconnected - 1 New Call");
    m_dialog->OnCommand(cmd::kConnection1); // the dial fails, and so does the reopen after it
    ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Adapter disconnected"; }));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::size_t simAt = sim.Log().size();
        ASSERT_TRUE(sim.Command("replug"));
        ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Offline"; }));
        EXPECT_EQ(m_host.TrayTip(), "Ringvale - 1 New Call");
        EXPECT_TRUE(sim.WaitForLogAfter(simAt, "RX pty AT*SC"));
        EXPECT_TRUE(sim.WaitForLogAfter(simAt, "RX pty ATS76=3"));
        ASSERT_TRUE(sim.Command("unplug"));
        ASSERT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Adapter disconnected"; }));
        EXPECT_EQ(m_host.TrayTip(), "Ringvale - Adapter disconnected - 1 New Call");
    }
    m_dialog->OnOK(); // while it waits
}

TEST_F(ControllerTest, TrayClicks) {
    CSettings s = BaseSettings();
    s.m_bMinimizeToTray = true;
    s.m_strRASConnection = {"Work", "", ""};
    Start(s);
    // Left click with nothing pending and minimise-to-tray set: hides, then restores.
    m_dialog->OnMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmLButtonDown));
    EXPECT_FALSE(m_host.IsWindowVisible(EWindow::Main));
    EXPECT_EQ(m_host.StatusText(3), "No new calls");
    EXPECT_EQ(m_host.TrayTip(), "Ringvale");
    m_dialog->OnMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmLButtonDown));
    EXPECT_TRUE(m_host.IsWindowVisible(EWindow::Main));
    // Another icon id is not ours.
    m_dialog->OnMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, 7, kWmLButtonDown));
    EXPECT_TRUE(m_host.IsWindowVisible(EWindow::Main));

    // Right click: the pop-up menu with the connection items between the two separators; the
    // choice is handled like the same menu command.
    m_host.SetPopupChoice(cmd::kViewCallLog);
    m_dialog->OnMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmRButtonDown));
    const auto popups = m_host.PopupMenus();
    ASSERT_EQ(popups.size(), 1u);
    std::vector<int> ids;
    for (const auto& item : popups[0]) {
        ids.push_back(item.command);
    }
    EXPECT_EQ(ids, (std::vector<int>{32779, 32778, 0, 1057, 32791, 0, 32809, 0, 1}));
    EXPECT_TRUE(popups[0][3].checked) << "call waiting is on";
    EXPECT_FALSE(m_dialog->Settings().m_bCallLogVisible);
}

TEST_F(ControllerTest, NewCallsBlinkTheTrayUntilTheLeftClick) {
    CSettings s = BaseSettings();
    s.m_bCallLogVisible = false;
    s.m_bWasMinimized = true;
    Start(s);
    m_dialog->AnnounceNewCall();
    EXPECT_EQ(m_host.StatusText(3), "1 New Call");
    m_dialog->AnnounceNewCall();
    EXPECT_EQ(m_host.StatusText(3), "2 New Calls");
    EXPECT_EQ(m_host.TrayTip(), "Ringvale - 2 New Calls");
    std::vector<int> images;
    for (int i = 0; i < 4; ++i) {
        m_dialog->OnTimer(ctl::kTimer);
        images.push_back(m_host.TrayImage());
    }
    EXPECT_EQ(images, (std::vector<int>{167, 128, 167, 128}));

    // The click acknowledges: restores the window, shows the call log, stops the blinking.
    m_dialog->OnMessage(CMessage::Make(WM_RV_TRAY_NOTIFY, ctl::kTrayIcon, kWmLButtonDown));
    EXPECT_FALSE(m_host.IsMainMinimized());
    EXPECT_TRUE(m_host.IsWindowVisible(EWindow::CallLog));
    EXPECT_TRUE(m_dialog->Settings().m_bCallLogVisible);
    EXPECT_EQ(m_host.StatusText(3), "No new calls");
    EXPECT_EQ(m_host.TrayTip(), "Ringvale");
    EXPECT_EQ(m_dialog->NewCallCount(), 0);
    const int calls = m_host.CountCalls("SetTrayImage(");
    m_dialog->OnTimer(ctl::kTimer);
    EXPECT_EQ(m_host.CountCalls("SetTrayImage("), calls) << "no blinking after the click";
    m_dialog->AnnounceNewCall();
    EXPECT_EQ(m_host.StatusText(3), "1 New Call");
}

// The whole road of a report: simulator → pty → CModem reader → monitor → queue → decoder.
TEST_F(ControllerTest, OfferedCallFromTheSimulatorReachesTheActivityList) {
    CSimProcess sim({m_dir.Path(), "127.0.61.1", {}});
    ASSERT_TRUE(sim.Running());
    CSettings s = BaseSettings();
    s.m_strComPort = sim.LinkPath();
    WriteSettings(s);
    Create(sim.Address());
    ASSERT_TRUE(m_dialog->OnInitDialog());
    EXPECT_TRUE(m_host.MessageBoxes().empty());
    EXPECT_EQ(m_host.StatusText(0), "Offline");
    ASSERT_TRUE(sim.WaitForLog("RX pty ATS76=3"));

    ASSERT_TRUE(sim.Command("ring 1 4085551212 5551212"));
    EXPECT_TRUE(PumpUntil([&] { return m_host.HasActivity("Call offering: 4085551212"); }));
    EXPECT_NE(TraceText().find("RX: CALL:0,1;2,1;3,"), std::string::npos);

    // The phone is lifted: the audio report arrives the same way.
    ASSERT_TRUE(sim.Command("offhook 1"));
    EXPECT_TRUE(PumpUntil([&] { return m_host.HasActivity("Local off-hook"); }));

    m_dialog->OnOK();
    EXPECT_TRUE(sim.WaitForLog("RX pty AT$V0"));
    EXPECT_TRUE(sim.WaitForLog("RX pty ATE1"));
}

// A dial-up connection that is not ours holds the adapter's serial port at start-up: the link
// runs over the socket until that connection ends, then the monitor moves it back.
TEST_F(ControllerTest, ForeignDialUpConnectionIsWatchedUntilItEnds) {
    CSimProcess sim({m_dir.Path(), "127.0.61.2", {}});
    ASSERT_TRUE(sim.Running());
    const int holder = ::open(sim.LinkPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    m_dialUp.foreignUp = true;

    CSettings s = BaseSettings();
    s.m_strComPort = sim.LinkPath();
    s.m_strModemName = "/dev/ttyAdapter";
    s.m_strRASConnection = {"Work", "", ""};
    WriteSettings(s);
    Create(sim.Address());
    ASSERT_TRUE(m_dialog->OnInitDialog());
    EXPECT_TRUE(m_host.MessageBoxes().empty());
    EXPECT_TRUE(m_dialog->Modem().OnSocket());
    EXPECT_EQ(m_host.StatusText(0), "Online (at startup)");
    EXPECT_FALSE(m_host.ControlEnabled(ctl::kDialUp));
    EXPECT_FALSE(m_host.MenuItemEnabled(cmd::kToggleDialUp));
    EXPECT_TRUE(m_dialog->Monitor().ForeignWatch());
    EXPECT_FALSE(m_host.Menu(EMenu::Internet).at(0).checked) << "not our connection";

    // Reports still arrive, over the socket.
    ASSERT_TRUE(sim.Command("ring 2 5551234"));
    EXPECT_TRUE(PumpUntil([&] { return m_host.HasActivity("Call offering: 5551234"); }));

    // The watch checks again every 500 ms while the connection is up.
    EXPECT_EQ(m_dialUp.enumerations.load(), 1);
    m_clock.AdvanceMs(500);
    m_dialog->Monitor().Wake();
    EXPECT_TRUE(PumpUntil([&] { return m_dialUp.enumerations.load() >= 2; }));
    EXPECT_TRUE(m_dialog->Monitor().ForeignWatch());

    // The connection ends and releases the port.
    ::close(holder);
    m_dialUp.foreignUp = false;
    m_clock.AdvanceMs(500);
    m_dialog->Monitor().Wake();
    EXPECT_TRUE(PumpUntil([&] { return m_host.StatusText(0) == "Offline"; }));
    EXPECT_TRUE(m_host.HasActivity("RAS disconnected - closing/opening"));
    EXPECT_TRUE(m_host.HasActivity("   Success, on serial"));
    EXPECT_TRUE(m_host.ControlEnabled(ctl::kDialUp));
    EXPECT_TRUE(m_host.MenuItemEnabled(cmd::kToggleDialUp));
    EXPECT_FALSE(m_dialog->Monitor().ForeignWatch());
    EXPECT_FALSE(m_dialog->Modem().OnSocket());
    m_dialog->OnOK();
}

} // namespace
