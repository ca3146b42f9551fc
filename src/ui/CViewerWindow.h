// The viewer's window, "Ringvale Viewer": the four call tiles of the program that owns the
// adapter, read-only, with Reject and Block beside a tile whose incoming call is offering
// (when that program takes commands), the call log as it grows, and a status line with the
// broker connection and the publishers heard of.
#pragma once

#include "core/Clock.h"
#include "net/CViewerModel.h"

#include <QMainWindow>

#include <array>
#include <functional>

class CTileCtrl;
class CViewerLogModel;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

class CViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    // Publishes a command message (topic, payload).
    using SendFn = std::function<void(const std::string& topic, const std::string& payload)>;

    explicit CViewerWindow(const IClock& clock, SendFn send, QWidget* parent = nullptr);

    // The tiles and their buttons as the model has them.
    void ShowTiles(const CViewerModel& model);
    void ShowStatus(const QString& text);
    void AddRecord(const SNetLogRecord& record);

    CTileCtrl* Tile(int tile) const { return m_tiles[static_cast<std::size_t>(tile)]; }
    QPushButton* RejectButton(int tile) const { return m_reject[static_cast<std::size_t>(tile)]; }
    QPushButton* BlockButton(int tile) const { return m_block[static_cast<std::size_t>(tile)]; }
    CViewerLogModel* LogModel() const { return m_logModel; }
    QString StatusText() const;

private:
    void Ask(int tile, SNetCommand::EAction action);

    const IClock& m_clock;
    SendFn m_send;
    const CViewerModel* m_model = nullptr;
    std::array<CTileCtrl*, CViewerModel::kTiles> m_tiles{};
    std::array<QPushButton*, CViewerModel::kTiles> m_reject{};
    std::array<QPushButton*, CViewerModel::kTiles> m_block{};
    CViewerLogModel* m_logModel;
    QTableView* m_log;
    QLabel* m_status;
    QTimer* m_clockTimer; // repaints the running times while a tile shows a call
};
