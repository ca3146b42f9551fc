// The program's icon in the system tray: its image and tooltip, and the left and right clicks
// on it reported as the controller's tray messages. Where the desktop has no tray the icon
// keeps its state (what it would show) but nothing appears, and clicks never come. On X11 it
// follows the tray as it comes and goes (a panel started after the program, or stopped): the
// icon appears when a tray does, and ShownChanged tells when it can or cannot be seen.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QSystemTrayIcon;

class CTrayIcon : public QObject {
    Q_OBJECT
public:
    // notify(mouseMessage): kWmLButtonDown or kWmRButtonDown.
    explicit CTrayIcon(std::function<void(int mouseMessage)> notify, QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Tests without a display decide whether there is a tray to hide in (Shown() answers it
    // while the icon is added; std::nullopt: ask the desktop again). The real icon still
    // appears only where a tray exists.
    static void SetAvailableForTesting(std::optional<bool> available);

    void Add(int image, const QString& tip);
    void Remove();
    void SetImage(int image);
    void SetTip(const QString& tip);

    bool Present() const { return m_bPresent; }
    // True while the icon is added and a tray shows it: only then may windows hide in the tray.
    bool Shown() const;
    int Image() const { return m_nImage; }
    QString Tip() const { return m_tip; }
    // The live icon; null while absent or where there is no tray.
    QSystemTrayIcon* Icon() const { return m_icon; }

signals:
    // Shown() changed because the tray came or went.
    void ShownChanged(bool shown);

private slots:
    // The desktop's tray appeared or went away.
    void OnTrayChanged();

private:
    void CreateIcon();

    std::function<void(int)> m_notify;
    QSystemTrayIcon* m_icon = nullptr;
    bool m_bPresent = false;
    int m_nImage = 0;
    QString m_tip;
    bool m_bShown = false; // Shown() as last reported
};
