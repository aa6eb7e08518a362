#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace ostrevo {

// How a second start of the same configuration reaches the running desktop program: a
// local socket in the private runtime directory (beside the single-instance lock), on
// which the running instance listens. The request is one line, "show", answered "ok"
// once the window has been asked to come to the front.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(QString socketPath, QObject *parent = nullptr);
    ~InstanceChannel() override;

    // The running instance: listens. It holds the single-instance lock, so a socket file
    // left by an instance that crashed is stale and is replaced.
    bool listen();
    const QString &error() const { return m_error; }

    // A second start: asks the running instance to show its window. False when nobody
    // answered (a headless monitor holds the lock, or it is not listening).
    static bool requestShow(const QString &socketPath, int timeoutMs = 5000);

signals:
    void showRequested();

private:
    void onConnection();

    QString m_path;
    QString m_error;
    QLocalServer *m_server = nullptr;
};

} // namespace ostrevo
