// Report decoder and line framer: arbitrary adapter output is framed into lines, each line
// decoded and its report rendered as the trace text. Checks what the decoder promises.
#include "adapter/CLineMonitor.h"
#include "calls/CModemReport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class CCheckingSink : public IModemReportSink {
public:
    void OnCallReport(const CModemReport& report) override { Check(report, false); }
    void OnAudioReport(const CModemReport& report) override { Check(report, true); }

private:
    static void Check(const CModemReport& report, bool audio) {
        if (report.m_bAudio != audio) {
            std::abort();
        }
        for (const std::string* digits : {&report.m_strRemoteNumber, &report.m_strLocalNumber}) {
            for (const char c : *digits) {
                if (c < '0' || c > '9') {
                    std::abort(); // numbers are kept as digits only
                }
            }
        }
        const std::string text = audio ? AudioReportText(report) : CallReportText(report);
        (void)text;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CLineFramer framer;
    CCheckingSink sink;
    for (std::size_t i = 0; i < size; ++i) {
        if (auto line = framer.Feed(static_cast<char>(data[i]))) {
            if (line->size() > CLineFramer::kMaxLine) {
                std::abort();
            }
            OnModemLine(*line, sink);
        }
    }
    // The whole input as one line, without the framer's length limit.
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    if (auto report = ParseModemReport(whole)) {
        const std::string text = report->m_bAudio ? AudioReportText(*report) : CallReportText(*report);
        (void)text;
    }
    return 0;
}
