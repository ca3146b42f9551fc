// The adapter link's input path: latency from a 40-byte line written by the adapter (the
// master side of a pty, or a UDP datagram) to the line posted by the line monitor, as the
// thread that takes posted lines gets it, as p50 / p99 / max; and the monitor's passes per
// second on an open, quiet link (a monitor that looked every 10 ms would show 100). Prints
// one table.
#include "adapter/CLineMonitor.h"
#include "adapter/CModem.h"
#include "controller/CModemMonitoredLink.h"
#include "core/CMessageQueue.h"
#include "core/Trace.h"
#include "support/PtyScriptedPeer.h"
#include "support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kSamples = 2000;
constexpr auto kQuietTime = 3s;
const char* const kAddress = "127.43.4.7";

struct Result {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    double passesPerSecond = 0;
    int lost = 0;
};

// One 40-byte report line, CR LF included.
constexpr char kLineText[] = "CALL:0,1;2,1;3,17;4,5551212;5,40855512\r\n";
static_assert(sizeof(kLineText) == 41);
const std::string kLine = kLineText;

Result Measure(CModem& modem, CScriptedPeer& peer) {
    Result r;
    // Let the session's last answer arrive, then start from nothing.
    modem.WaitForReply("OK\r", 2s);
    modem.DrainInput(100);

    CModemMonitoredLink link(modem, {});
    CMessageQueue posted;
    CLineMonitor monitor(link, CSystemClock::Instance(),
                         CLineMonitor::SHooks{[&](CMessage msg) { posted.Post(std::move(msg)); }, nullptr});
    monitor.Start();
    std::vector<double> us;
    us.reserve(kSamples);
    CMessage msg;
    for (int i = 0; i < kSamples; ++i) {
        const auto start = Clock::now();
        peer.Send(kLine);
        if (!posted.WaitForMessage(1000) || !posted.TryTake(msg)) {
            ++r.lost;
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    r.p50 = us[us.size() / 2];
    r.p99 = us[us.size() * 99 / 100];
    r.max = us.back();

    const auto before = monitor.Passes();
    std::this_thread::sleep_for(kQuietTime); // nothing arrives: the monitor should sleep throughout
    r.passesPerSecond =
        static_cast<double>(monitor.Passes() - before) / std::chrono::duration<double>(kQuietTime).count();
    return r;
}

void Print(const char* label, const Result& r) {
    std::printf("%-8s %10.1f %10.1f %10.1f %14.2f %6d\n", label, r.p50, r.p99, r.max, r.passesPerSecond, r.lost);
}

} // namespace

int main() {
    TempDir dir;
    SetTraceFilePath(dir.File("Ringvale.dbg"));
    const std::string locks = dir.File("lock");
    ::mkdir(locks.c_str(), 0755);
    auto script = std::make_shared<CAdapterScript>();
    CModemHooks hooks = FastModemHooks(locks, 2s);

    std::printf("adapter line -> line posted by the monitor, 40-byte line, %d samples (us); quiet-link monitor "
                "passes over %lld s\n",
                kSamples, static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kQuietTime).count()));
    std::printf("%-8s %10s %10s %10s %14s %6s\n", "link", "p50", "p99", "max", "passes/s", "lost");

    {
        auto pty = CScriptedPeer::OnPty(dir.File("ttyRV"), CAdapterScript::Bind(script));
        CModem modem(hooks);
        if (!pty->Valid() || !modem.Open(dir.File("ttyRV"), 115200, kAddress, kAdapterPort, true)) {
            std::fprintf(stderr, "cannot open the pty link\n");
            return 1;
        }
        Print("pty", Measure(modem, *pty));
    }
    {
        auto udp =
            CScriptedPeer::OnUdp(kAddress, kAdapterPort, CAdapterScript::Bind(std::make_shared<CAdapterScript>()));
        CModem modem(hooks);
        if (!udp->Valid() || !modem.Open(dir.File("ttyRV"), 115200, kAddress, kAdapterPort, false)) {
            std::fprintf(stderr, "cannot open the UDP link\n");
            return 1;
        }
        Print("udp", Measure(modem, *udp));
    }
    std::printf("(a monitor sleeping 10 ms between looks would pass 100 times a second and add up to 10 ms)\n");
    SetTraceFilePath("Ringvale.dbg");
    return 0;
}
