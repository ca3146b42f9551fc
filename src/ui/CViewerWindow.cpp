#include "ui/CViewerWindow.h"

#include "calls/CTileSet.h"

#include "ui/CTileCtrl.h"
#include "ui/CViewerLogModel.h"

#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

CViewerWindow::CViewerWindow(const IClock& clock, SendFn send, QWidget* parent)
    : QMainWindow(parent), m_clock(clock), m_send(std::move(send)), m_logModel(new CViewerLogModel(this)),
      m_log(new QTableView(this)), m_status(new QLabel(this)), m_clockTimer(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Ringvale Viewer"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* tiles = new QGridLayout;
    tiles->setHorizontalSpacing(4);
    for (int tile = 0; tile < CViewerModel::kTiles; ++tile) {
        const auto index = static_cast<std::size_t>(tile);
        auto* frame = new QFrame(central);
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        auto* frameLayout = new QVBoxLayout(frame);
        frameLayout->setContentsMargins(1, 1, 1, 1);
        m_tiles[index] = new CTileCtrl(frame);
        m_tiles[index]->setObjectName(QStringLiteral("tile%1").arg(tile));
        frameLayout->addWidget(m_tiles[index]);
        m_reject[index] = new QPushButton(QStringLiteral("Reject"), central);
        m_reject[index]->setObjectName(QStringLiteral("reject%1").arg(tile));
        m_block[index] = new QPushButton(QStringLiteral("Block"), central);
        m_block[index]->setObjectName(QStringLiteral("block%1").arg(tile));
        m_block[index]->setToolTip(QStringLiteral("Reject the call and mark the caller \"Ignore Caller\""));
        for (QPushButton* button : {m_reject[index], m_block[index]}) {
            button->setEnabled(false);
        }
        connect(m_reject[index], &QPushButton::clicked, this,
                [this, tile] { Ask(tile, SNetCommand::EAction::Reject); });
        connect(m_block[index], &QPushButton::clicked, this, [this, tile] { Ask(tile, SNetCommand::EAction::Block); });
        tiles->addWidget(frame, tile, 0);
        tiles->addWidget(m_reject[index], tile, 1);
        tiles->addWidget(m_block[index], tile, 2);
    }
    tiles->setColumnStretch(0, 1);
    layout->addLayout(tiles);

    m_log->setObjectName(QStringLiteral("callLog"));
    m_log->setModel(m_logModel);
    m_log->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_log->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_log->verticalHeader()->hide();
    m_log->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_log, 1);
    setCentralWidget(central);
    statusBar()->addWidget(m_status, 1);
    connect(m_clockTimer, &QTimer::timeout, this, [this] {
        if (m_model != nullptr) {
            ShowTiles(*m_model); // the running times move on
        }
    });
    resize(560, 480);
}

void CViewerWindow::ShowTiles(const CViewerModel& model) {
    m_model = &model;
    bool anyCall = false;
    for (int tile = 0; tile < CViewerModel::kTiles; ++tile) {
        const auto index = static_cast<std::size_t>(tile);
        const auto& shown = model.TileCalls()[index];
        if (shown) {
            anyCall = true;
            STileView view;
            view.call = true;
            view.port = shown->call.port;
            view.name = shown->call.name;
            view.number = shown->call.number;
            view.runningTime = TileRunningTime(m_clock.Now() - shown->call.start);
            m_tiles[index]->SetView(view);
        } else {
            m_tiles[index]->Clear();
        }
        std::string topic;
        std::string payload;
        const bool askable = model.Command(tile, SNetCommand::EAction::Reject, topic, payload);
        m_reject[index]->setEnabled(askable);
        m_block[index]->setEnabled(askable);
    }
    if (anyCall && !m_clockTimer->isActive()) {
        m_clockTimer->start(1000);
    } else if (!anyCall) {
        m_clockTimer->stop();
    }
}

void CViewerWindow::ShowStatus(const QString& text) {
    m_status->setText(text);
}

QString CViewerWindow::StatusText() const {
    return m_status->text();
}

void CViewerWindow::AddRecord(const SNetLogRecord& record) {
    m_logModel->Add(record);
}

void CViewerWindow::Ask(int tile, SNetCommand::EAction action) {
    std::string topic;
    std::string payload;
    if (m_model != nullptr && m_model->Command(tile, action, topic, payload) && m_send) {
        m_send(topic, payload);
        m_reject[static_cast<std::size_t>(tile)]->setEnabled(false);
        m_block[static_cast<std::size_t>(tile)]->setEnabled(false);
    }
}
