// Helpers shared by the Qt tests: screenshots, a message-box recorder, a settable clock, a
// fake dial-up service and pixel probes.
#pragma once

#include "core/Clock.h"
#include "core/MessageBox.h"
#include "dialup/IDialUpService.h"

#include <QDir>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Saves the widget as <name>.png under $RINGVALE_SCREENSHOT_DIR (nothing when it is unset).
inline void SaveScreenshot(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("RINGVALE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        return;
    }
    QDir().mkpath(dir);
    widget->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

inline void SavePixmap(const QPixmap& pixmap, const QString& name) {
    const QString dir = qEnvironmentVariable("RINGVALE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        return;
    }
    QDir().mkpath(dir);
    pixmap.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

struct MessageRecorder {
    std::vector<std::string> messages;
    MessageBoxFn Fn() {
        return [this](const std::string& text) { messages.push_back(text); };
    }
};

class SettableClock final : public IClock {
public:
    explicit SettableClock(std::int64_t now) : m_now(now) {}
    std::int64_t Now() const override { return m_now; }
    std::int64_t TickMs() const override { return m_now * 1000; }
    void Set(std::int64_t now) { m_now = now; }

private:
    std::int64_t m_now;
};

// Entries with their devices, in the order given; nothing can be dialled.
class FakeDialUpService final : public IDialUpService {
public:
    explicit FakeDialUpService(std::vector<std::pair<std::string, std::string>> entries)
        : m_entries(std::move(entries)) {}
    int Dial(const std::string&, const std::string&, const std::string&, DialUpHandle& handle) override {
        handle = 0;
        return 1;
    }
    std::string ErrorText(int) override { return "not available"; }
    void HangUp(DialUpHandle) override {}
    EDialUpStatus Status(DialUpHandle) override { return EDialUpStatus::Disconnected; }
    std::vector<DialUpConnectionInfo> ActiveConnections() override { return {}; }
    std::vector<std::string> Entries() override {
        std::vector<std::string> names;
        for (const auto& entry : m_entries) {
            names.push_back(entry.first);
        }
        return names;
    }
    std::string EntryDeviceName(const std::string& name) override {
        for (const auto& entry : m_entries) {
            if (entry.first == name) {
                return entry.second;
            }
        }
        return {};
    }

private:
    std::vector<std::pair<std::string, std::string>> m_entries;
};

// Number of pixels of exactly this colour inside the rectangle.
inline int CountColor(const QImage& image, const QRect& area, QRgb color) {
    int count = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF)) {
                ++count;
            }
        }
    }
    return count;
}

// The rightmost column holding a pixel of this colour; -1 when there is none.
inline int RightmostColumnOf(const QImage& image, QRgb color) {
    for (int x = image.width() - 1; x >= 0; --x) {
        for (int y = 0; y < image.height(); ++y) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF)) {
                return x;
            }
        }
    }
    return -1;
}

// The widget rendered at one device pixel per pixel.
inline QImage Render(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    widget->render(&image);
    return image;
}
