#include "ui/CCallStatsDlg.h"

#include "core/Format.h"
#include "records/CallStatistics.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <ctime>

CCallStatsDlg::CCallStatsDlg(QWidget* parent)
    : QWidget(parent, Qt::Window), m_now([] { return static_cast<std::int64_t>(std::time(nullptr)); }),
      m_period(new QComboBox(this)), m_chart(new QChartView(this)), m_top(new QTableWidget(0, 3, this)) {
    setObjectName(QStringLiteral("CallStatsDlg"));
    setWindowTitle(QStringLiteral("Call Statistics"));
    m_period->setObjectName(QStringLiteral("period"));
    m_period->addItem(QStringLiteral("Last 30 days"), 30);
    m_period->addItem(QStringLiteral("Last 90 days"), 90);
    connect(m_period, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    m_chart->setObjectName(QStringLiteral("chart"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumSize(560, 300);
    m_top->setObjectName(QStringLiteral("topCallers"));
    m_top->setHorizontalHeaderLabels({QStringLiteral("Caller"), QStringLiteral("Number"), QStringLiteral("Calls")});
    m_top->verticalHeader()->setVisible(false);
    m_top->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_top->setSelectionMode(QAbstractItemView::NoSelection);
    m_top->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_top->setMinimumWidth(280);

    auto* top = new QHBoxLayout();
    top->addWidget(new QLabel(QStringLiteral("Calls per day:"), this));
    top->addWidget(m_period);
    top->addStretch(1);
    auto* right = new QVBoxLayout();
    right->addWidget(new QLabel(QStringLiteral("Most frequent callers:"), this));
    right->addWidget(m_top);
    auto* body = new QHBoxLayout();
    body->addWidget(m_chart, 2);
    body->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(body);
    resize(920, 420);
}

void CCallStatsDlg::Refresh() {
    const int days = m_period->currentData().toInt();
    SCallStatistics stats;
    if (m_callLog != nullptr) {
        stats = CallStatistics(*m_callLog, m_now(), days);
    }
    auto* answered = new QBarSet(QStringLiteral("Incoming answered"));
    auto* missed = new QBarSet(QStringLiteral("Incoming missed"));
    auto* outgoing = new QBarSet(QStringLiteral("Outgoing"));
    answered->setColor(QColor(0x2e, 0x7d, 0x32));
    missed->setColor(QColor(0xc6, 0x28, 0x28));
    outgoing->setColor(QColor(0x15, 0x65, 0xc0));
    QStringList labels;
    int most = 0;
    for (const SDayCalls& day : stats.days) {
        *answered << day.answered;
        *missed << day.missed;
        *outgoing << day.outgoing;
        labels << QString::fromStdString(FormatLocalTime(day.dayStart, "%m-%d"));
        most = std::max(most, day.answered + day.missed + day.outgoing);
    }
    auto* series = new QStackedBarSeries();
    series->append({answered, missed, outgoing});
    auto* chart = new QChart();
    chart->addSeries(series);
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* dates = new QBarCategoryAxis();
    dates->append(labels);
    dates->setLabelsAngle(-90);
    dates->setTruncateLabels(false);
    QFont small = dates->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    dates->setLabelsFont(small);
    chart->addAxis(dates, Qt::AlignBottom);
    series->attachAxis(dates);
    auto* counts = new QValueAxis();
    counts->setRange(0, std::max(most, 1));
    counts->setLabelFormat(QStringLiteral("%d"));
    counts->setTickCount(std::min(std::max(most, 1), 5) + 1);
    chart->addAxis(counts, Qt::AlignLeft);
    series->attachAxis(counts);
    QChart* old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;

    m_top->setRowCount(static_cast<int>(stats.topCallers.size()));
    for (int row = 0; row < m_top->rowCount(); ++row) {
        const SCallerCount& caller = stats.topCallers[static_cast<std::size_t>(row)];
        m_top->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(caller.name)));
        m_top->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(caller.number)));
        auto* count = new QTableWidgetItem(QString::number(caller.calls));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_top->setItem(row, 2, count);
    }
    m_top->resizeColumnsToContents();
}
