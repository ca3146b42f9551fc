// Line throughput: 100,000 adapter lines written to a pty, read from CModem, framed and
// decoded by one thread as the line monitor does. The reader takes what is there in one call
// per wake-up; the baseline in the same run takes one byte per call, as a byte-at-a-time
// framer would. Prints lines per second for both.
#include "adapter/CLineMonitor.h"
#include "adapter/CModem.h"
#include "calls/CModemReport.h"
#include "core/Trace.h"
#include "support/PtyScriptedPeer.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kLines = 100000;

class CCountingSink : public IModemReportSink {
public:
    void OnCallReport(const CModemReport&) override { ++m_reports; }
    void OnAudioReport(const CModemReport&) override { ++m_reports; }
    int m_reports = 0;
};

struct SRun {
    double seconds = 0;
    int reports = 0;
};

// Sends the lines in 4 KB writes and consumes until every report is decoded (or 60 s pass).
SRun Run(CModem& modem, CScriptedPeer& pty, const std::string& data, bool bytePerCall) {
    CLineFramer framer;
    CCountingSink sink;
    const auto start = Clock::now();
    std::thread writer([&] {
        for (std::size_t at = 0; at < data.size(); at += 4096) {
            pty.Send(data.substr(at, 4096));
        }
    });
    const auto deadline = start + 60s;
    char buffer[4096];
    while (sink.m_reports < kLines && Clock::now() < deadline) {
        if (!modem.WaitForInput(250ms)) {
            continue;
        }
        const int n = modem.ReadInput(buffer, bytePerCall ? 1 : static_cast<int>(sizeof buffer));
        for (int i = 0; i < n; ++i) {
            if (auto line = framer.Feed(buffer[i])) {
                OnModemLine(*line, sink);
            }
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    return {seconds, sink.m_reports};
}

} // namespace

int main() {
    TempDir dir;
    SetTraceFilePath(dir.File("Ringvale.dbg"));
    const std::string locks = dir.File("lock");
    ::mkdir(locks.c_str(), 0755);
    const std::string link = dir.File("ttyRV");
    auto script = std::make_shared<CAdapterScript>();
    auto pty = CScriptedPeer::OnPty(link, CAdapterScript::Bind(script));
    auto boxes = std::make_shared<std::vector<std::string>>();
    CModem modem(FastModemHooks(locks, 3s, boxes));
    if (!pty->Valid() || !modem.Open(link, 115200, "127.43.5.7", kAdapterPort, true)) {
        std::fprintf(stderr, "cannot open the pty link\n");
        return 1;
    }
    modem.DrainInput(300ms);
    std::string data;
    for (int i = 0; i < kLines; ++i) {
        data += "CALL:0,1;2," + std::to_string(i % 2 + 1) + ";3," + std::to_string(i % 1000) + ";5,4085551212\r\n";
    }
    const SRun queued = Run(modem, *pty, data, false);
    modem.DrainInput(300ms);
    const SRun baseline = Run(modem, *pty, data, true);
    std::printf("%d lines (%zu bytes) through pty + framer + decoder\n", kLines, data.size());
    std::printf("%-34s %10s %12s %8s\n", "reader", "seconds", "lines/s", "lines");
    std::printf("%-34s %10.3f %12.0f %8d\n", "whole input per read", queued.seconds, queued.reports / queued.seconds,
                queued.reports);
    std::printf("%-34s %10.3f %12.0f %8d\n", "one byte per read (baseline)", baseline.seconds,
                baseline.reports / baseline.seconds, baseline.reports);
    return queued.reports == kLines && baseline.reports == kLines ? 0 : 1;
}
