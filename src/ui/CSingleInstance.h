// One running copy per data folder. The first copy holds an flock on "Ringvale.lock" in the
// folder for as long as it runs and listens on the local socket "Ringvale.sock" beside it; a
// second start finds the lock taken, asks the first copy through the socket to bring its main
// window forward, and ends without touching any file of the folder.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(const QString& folder, QObject* parent = nullptr);
    ~CSingleInstance() override;
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the folder's lock. True for the first copy; then the socket is listening and
    // onComeForward runs (on this thread) for every later start. False when another copy
    // holds the lock (or the lock file cannot be made: then the folder is shared, as before).
    bool BecomeTheFirst(std::function<void()> onComeForward);

    // The second start: asks the first copy to come forward and waits (at most timeoutMs)
    // until it says it did. False when it did not answer.
    bool AskTheFirstToComeForward(int timeoutMs);

private:
    void OnConnection();
    QString SocketName() const;

    QString m_folder;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_onComeForward;
};
