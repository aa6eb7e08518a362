#include "app/InstanceChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>

namespace ostrevo {

namespace {

const QByteArray ShowRequest = QByteArrayLiteral("show\n");
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
            const QByteArray line = socket->readLine(MaxRequest);
            if (line == ShowRequest) {
                emit showRequested();
                socket->write(ShowAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool InstanceChannel::requestShow(const QString &socketPath, int timeoutMs)
{
    QLocalSocket socket;
    QDeadlineTimer deadline(timeoutMs);
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(ShowRequest);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    QByteArray answer;
    while (!answer.contains('\n') && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        answer += socket.readAll();
    }
    return answer == ShowAnswer;
}

} // namespace ostrevo
