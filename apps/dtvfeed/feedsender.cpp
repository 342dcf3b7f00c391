#include "feedsender.h"

#include "feedaddress.h"

#include <QTcpSocket>

#include <cmath>

namespace {

const int ConnectTimeout = 10000;

} // namespace

FeedSender::FeedSender(const RecordingSchedule& schedule, double speed, QObject* parent)
    : QObject(parent), m_schedule(schedule), m_speed(speed > 0.0 ? speed : 1.0),
      m_socket(new QTcpSocket(this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FeedSender::Step);
    connect(m_socket, &QTcpSocket::connected, this, [this]() {
        m_elapsed.start();
        Step();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this]() {
        Stop(m_socket->error() == QAbstractSocket::RemoteHostClosedError
                 ? QStringLiteral("%1 closed the connection after %2 of %3 frames")
                       .arg(m_peer)
                       .arg(m_next)
                       .arg(m_schedule.Events().size())
                 : QStringLiteral("%1: %2").arg(m_peer, m_socket->errorString()));
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this]() {
        if (m_next == m_schedule.Events().size() && m_socket->bytesToWrite() == 0)
            Stop(QString());
        else
            Stop(
                QStringLiteral("%1 closed the connection after %2 frames").arg(m_peer).arg(m_next));
    });
}

FeedSender::~FeedSender() = default;

void FeedSender::Start(const FeedAddress& address)
{
    m_peer = address.ToString();
    m_socket->connectToHost(address.host, address.port);
    QTimer::singleShot(ConnectTimeout, this, [this]() {
        if (m_socket->state() != QAbstractSocket::ConnectedState && m_next == 0)
            Stop(QStringLiteral("%1: no connection within %2 s")
                     .arg(m_peer)
                     .arg(ConnectTimeout / 1000));
    });
}

int FeedSender::SentCount() const
{
    return m_next;
}

void FeedSender::Step()
{
    const QVector<RecordingSchedule::Event>& events = m_schedule.Events();
    const auto dueAt = [this, &events](int index) {
        return static_cast<qint64>(std::ceil(static_cast<double>(events.at(index).due) / m_speed));
    };
    const qint64 now = m_elapsed.elapsed();
    while (m_next < events.size() && dueAt(m_next) <= now)
        m_socket->write(events.at(m_next++).frame);
    if (m_next < events.size()) {
        m_timer.start(static_cast<int>(qBound<qint64>(0, dueAt(m_next) - now, 24 * 3600 * 1000)));
        return;
    }
    // Closes once everything written has gone out; disconnected() then reports success.
    m_socket->disconnectFromHost();
}

void FeedSender::Stop(const QString& error)
{
    if (m_done)
        return;
    m_done = true;
    m_timer.stop();
    emit Finished(error);
}
