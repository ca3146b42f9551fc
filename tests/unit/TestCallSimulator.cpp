// A call through the whole program against the adapter simulator: it rings, the phone is
// lifted on the simulator, the program answers, the simulator connects and later hangs up,
// and the call log file holds the record.
#include "controller/CMainDialog.h"
#include "core/Trace.h"
#include "dialup/CSimulatedDialUpService.h"
#include "records/CPhoneBook.h"
#include "support/CFakeClock.h"
#include "support/CFakeWindowHost.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;

// The call log file's start field: local "year,month,day,hour,minute,second".
std::string LocalDateField(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tmv{};
    localtime_r(&tt, &tmv);
    return std::to_string(tmv.tm_year + 1900) + "," + std::to_string(tmv.tm_mon + 1) + "," +
           std::to_string(tmv.tm_mday) + "," + std::to_string(tmv.tm_hour) + "," + std::to_string(tmv.tm_min) + "," +
           std::to_string(tmv.tm_sec);
}

TEST(CallSimulator, AnsweredCallEndsInTheCallLogFile) {
    TempDir dir;
    ScopedCwd cwd(dir.Path());
    SetTraceFilePath(dir.File("Ringvale.dbg"));
    CSimProcess sim({dir.Path(), "127.0.62.7", {}});
    ASSERT_TRUE(sim.Running());

    CSettings settings;
    settings.SetDefaults();
    settings.m_strComPort = sim.LinkPath();
    settings.m_strDefaultAreaCode = "408";
    WriteFileText(dir.File("RV.cfg"), settings.Serialize(false));
    {
        CPhoneBook seed(dir.File("RV.pbk"), "408");
        seed.Add(std::make_unique<CPhoneBookEntry>("4085551212", "Smith", "John", "", ""));
        ASSERT_TRUE(seed.Save());
    }

    CFakeClock clock;
    CFakeWindowHost host(&clock);
    CSimulatedDialUpService dialUp(dir.File("dialup-sim.txt"), dir.Path());
    CMainDialog::SOptions options;
    options.settingsPath = dir.File("RV.cfg");
    options.adapterAddress = sim.Address();
    options.modemHooks.serialTries = 1;
    options.modemHooks.serialRetryDelay = 0ms;
    options.modemHooks.discardDelay = 50ms;
    options.modemHooks.finalPause = 50ms;
    CMainDialog dialog(host, clock, dialUp, options);
    ASSERT_TRUE(dialog.OnInitDialog());
    ASSERT_TRUE(host.MessageBoxes().empty());
    // Handles the program's messages until the condition holds (at most 10 s).
    const auto pumpUntil = [&](const auto& done) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            dialog.Messages().WaitForMessage(50);
            dialog.DrainMessages();
        }
        return true;
    };

    ASSERT_TRUE(sim.Command("ring 1 4085551212 5551212"));
    ASSERT_TRUE(pumpUntil([&] { return host.HasActivity("Call offering: 4085551212"); }));
    EXPECT_EQ(host.Tile(0).name, "John Smith");
    ASSERT_EQ(host.CallerIdPopups().size(), 1u);

    ASSERT_TRUE(sim.Command("offhook 1"));
    // The program answers when it has handled the off-hook report.
    EXPECT_TRUE(pumpUntil([&] { return sim.Log().find("RX pty AT*1A/") != std::string::npos; }));
    ASSERT_TRUE(pumpUntil([&] { return host.HasActivity("Call connected"); }));
    const std::int64_t connectedAt = clock.Now();
    clock.AdvanceSeconds(42);

    ASSERT_TRUE(sim.Command("hangup-far 1"));
    ASSERT_TRUE(pumpUntil([&] { return host.HasActivity("Call log updated"); }));
    EXPECT_TRUE(host.HasActivity("Phone book updated"));
    EXPECT_EQ(host.StatusText(3), "1 New Call");
    EXPECT_EQ(host.TrayTip(), "Ringvale - 1 New Call");
    EXPECT_FALSE(host.Tile(0).call);
    const CPhoneBookEntry* entry = dialog.PhoneBook()->Find("4085551212");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->m_nIncomingCalls, 1);
    EXPECT_EQ(entry->m_spanTotalIncoming, 42);
    // The phone book window was told to rewrite the entry's row.
    const auto sent = host.SentMessages();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [&](const auto& m) {
        return m.first == EWindow::PhoneBook && m.second.key == entry->m_id;
    }));

    dialog.OnOK();
    const std::string expected = "CallLogVersion2\r\n\"John Smith\",\"4085551212\",\"0\",\"1\",\"" +
                                 LocalDateField(connectedAt) + "\",\"42\",\"0\"\r\n";
    EXPECT_EQ(ReadFileText(dir.File("RV.log")), expected);
    SetTraceFilePath("Ringvale.dbg");
}

} // namespace
