// The statistics window of the call log: a chart of the calls per day over the last 30 or
// 90 days, stacked by incoming answered, incoming missed and outgoing, and the ten most
// frequent callers with their counts. It reads the call log store and changes nothing.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

class CCallLog;
class QChartView;
class QComboBox;
class QTableWidget;

class CCallStatsDlg : public QWidget {
public:
    explicit CCallStatsDlg(QWidget* parent = nullptr);

    // The store shown (never owned); Refresh afterwards.
    void SetCallLog(const CCallLog* callLog) { m_callLog = callLog; }
    // The clock the last day is taken from (tests fix it).
    void SetNow(std::function<std::int64_t()> now) { m_now = std::move(now); }
    // Reads the store again for the period chosen.
    void Refresh();

    QComboBox* Period() const { return m_period; }
    QChartView* Chart() const { return m_chart; }
    QTableWidget* TopCallers() const { return m_top; }

private:
    const CCallLog* m_callLog = nullptr;
    std::function<std::int64_t()> m_now;
    QComboBox* m_period;
    QChartView* m_chart;
    QTableWidget* m_top;
};
