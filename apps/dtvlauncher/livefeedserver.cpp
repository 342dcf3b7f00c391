#include "livefeedserver.h"

#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "feedaddress.h"
#include "feedconnection.h"
#include "sessionrecorder.h"

#include <QHostAddress>
#include <QTcpSocket>

LiveFeedServer::LiveFeedServer(DecodedTextView* view, QObject* parent)
    : QObject(parent), m_view(view)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LiveFeedServer::Accept);
}

LiveFeedServer::~LiveFeedServer()
{
    // Closed without telling anyone: the receivers may be on their way out too.
    for (FeedConnection* connection : qAsConst(m_connections))
        connection->disconnect(this);
}

bool LiveFeedServer::Listen(const FeedAddress& address, QString& error)
{
    if (!m_server.listen(QHostAddress(address.host), address.port)) {
        error = QStringLiteral("Cannot listen on %1: %2")
                    .arg(address.ToString(), m_server.errorString());
        return false;
    }
    return true;
}

QString LiveFeedServer::Address() const
{
    return FeedAddress::Join(m_server.serverAddress().toString(), m_server.serverPort());
}

quint16 LiveFeedServer::Port() const
{
    return m_server.serverPort();
}

int LiveFeedServer::ConnectionCount() const
{
    return m_connections.size();
}

void LiveFeedServer::SetStallTimeout(int ms)
{
    m_stallTimeout = ms;
}

void LiveFeedServer::Accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* connection = new FeedConnection(socket, this);
        connection->SetStallTimeout(m_stallTimeout);
        m_connections.append(connection);
        connect(connection, &FeedConnection::TransmissionReceived, this, &LiveFeedServer::Show);
        connect(connection, &FeedConnection::TransmissionEnded, m_view,
                &DecodedTextView::EndTransmission);
        connect(connection, &FeedConnection::ChannelNamed, this, &LiveFeedServer::Name);
        connect(connection, &FeedConnection::Closed, this,
                [this, connection](const QString& reason) {
                    m_connections.removeOne(connection);
                    connection->deleteLater();
                    emit ConnectionClosed(connection->Peer(), connection->FrameCount(), reason);
                });
        emit ConnectionOpened(connection->Peer());
    }
}

void LiveFeedServer::Show(const QString& xml, const QVector<int>& channels)
{
    m_view->AddTransmission(xml);
    for (int channel : channels) {
        if (channel >= 0 && !m_seen.contains(channel)) {
            m_seen.insert(channel);
            emit ChannelSeen(channel);
        }
    }
}

void LiveFeedServer::Name(int channel, const QString& name)
{
    // Naming a channel makes the model create the aggregation channel, which no decoder feeds
    // here; an empty pane for it would push the decoders' panes down.
    const int aggregation = DecodedTextData::AggregationChannelID;
    const bool hadAggregation = SessionRecorder::Channels(m_view).contains(aggregation);
    m_view->DefineChannelName(channel, name);
    if (!hadAggregation && channel != aggregation)
        m_view->RemoveChannel(aggregation);
}
