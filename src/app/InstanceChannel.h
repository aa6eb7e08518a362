#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace ostrevo {

// How another start of the same configuration reaches the running monitor: a local
// socket in the private runtime directory (beside the single-instance lock), on which the
// running instance listens. A request is one line ("show", "status", "pause", "resume");
// the answer is text, ended by the running instance closing the connection.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // Answers a request other than "show"; `reply` may be called later (once).
    using Handler = std::function<void(const QByteArray &request, std::function<void(const QByteArray &)> reply)>;

    explicit InstanceChannel(QString socketPath, QObject *parent = nullptr);
    ~InstanceChannel() override;

    // The running instance: listens. It holds the single-instance lock, so a socket file
    // left by an instance that crashed is stale and is replaced.
    bool listen();
    const QString &error() const { return m_error; }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Whether "show" is answered "ok" (a window to show) or "no window".
    void setCanShow(bool canShow) { m_canShow = canShow; }

    // Another start: sends one request and returns the whole answer; nothing when nobody
    // answered in time.
    static std::optional<QByteArray> request(const QString &socketPath, const QByteArray &request,
                                             int timeoutMs = 5000);
    // Asks the running instance to show its window. False when it has none (a headless
    // monitor) or nobody answered.
    static bool requestShow(const QString &socketPath, int timeoutMs = 5000);

signals:
    void showRequested();

private:
    void onConnection();
    void answer(QLocalSocket *socket, const QByteArray &line);

    QString m_path;
    QString m_error;
    QLocalServer *m_server = nullptr;
    Handler m_handler;
    bool m_canShow = true;
};

} // namespace ostrevo
