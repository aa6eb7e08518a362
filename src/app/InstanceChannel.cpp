#include "app/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

namespace ostrevo {

namespace {

const QByteArray ShowAnswer = QByteArrayLiteral("ok\n");
constexpr qsizetype MaxRequest = 64;

} // namespace

InstanceChannel::InstanceChannel(QString socketPath, QObject *parent) : QObject(parent), m_path(std::move(socketPath))
{
}

InstanceChannel::~InstanceChannel()
{
    if (m_server)
        m_server->close();
}

bool InstanceChannel::listen()
{
    if (m_server && m_server->isListening())
        return true;
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        m_error = QStringLiteral("cannot listen on %1: %2").arg(m_path, m_server->errorString());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &InstanceChannel::onConnection);
    return true;
}

void InstanceChannel::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > MaxRequest)
                    socket->abort();
                return;
            }
            answer(socket, socket->readLine(MaxRequest).trimmed());
        });
    }
}

void InstanceChannel::answer(QLocalSocket *socket, const QByteArray &line)
{
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    QPointer<QLocalSocket> guarded(socket);
    auto reply = [guarded](const QByteArray &text) {
        if (!guarded)
            return;
        guarded->write(text);
        guarded->flush();
        guarded->disconnectFromServer();
    };
    if (line == "show") {
        if (m_canShow)
            emit showRequested();
        reply(m_canShow ? ShowAnswer : QByteArrayLiteral("no window\n"));
    } else if (m_handler) {
        m_handler(line, reply);
    } else {
        reply(QByteArrayLiteral("unknown request\n"));
    }
}

std::optional<QByteArray> InstanceChannel::request(const QString &socketPath, const QByteArray &request, int timeoutMs)
{
    QLocalSocket socket;
    QDeadlineTimer deadline(timeoutMs);
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return std::nullopt;
    socket.write(request + '\n');
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return std::nullopt;
    QByteArray answer;
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        answer += socket.readAll();
    }
    answer += socket.readAll();
    // The answer ends when the running instance closes the connection.
    if (socket.state() == QLocalSocket::ConnectedState)
        return std::nullopt;
    return answer;
}

bool InstanceChannel::requestShow(const QString &socketPath, int timeoutMs)
{
    return request(socketPath, QByteArrayLiteral("show"), timeoutMs) == ShowAnswer;
}

} // namespace ostrevo
