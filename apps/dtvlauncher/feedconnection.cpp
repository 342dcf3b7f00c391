#include "feedconnection.h"

#include "errorhandler.h"
#include "feedaddress.h"
#include "varnoresultdataxml.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

// Frames applied in one go before the other connections get their turn.
const int FramesPerTurn = 32;
// What Qt holds for a connection beyond the frame being cut; a sender that outruns the view
// meets TCP's own flow control instead of filling the launcher's memory.
const qint64 SocketBuffer = 256 * 1024;

void Trace(const QString& text, unsigned short line)
{
    _Q_Trace(text, QStringLiteral("apps\\dtvlauncher\\feedconnection"), line);
}

} // namespace

FeedConnection::FeedConnection(QTcpSocket* socket, QObject* parent)
    : QObject(parent), m_socket(socket),
      m_peer(FeedAddress::Join(socket->peerAddress().toString(), socket->peerPort()))
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(SocketBuffer);
    m_stall.setSingleShot(true);
    connect(&m_stall, &QTimer::timeout, this, [this]() {
        Refuse(
            QStringLiteral("stalled in the middle of a frame for %1 ms").arg(m_stall.interval()));
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &FeedConnection::Pump);
    connect(m_socket, &QTcpSocket::disconnected, this, &FeedConnection::Pump);
}

FeedConnection::~FeedConnection() = default;

QString FeedConnection::Peer() const
{
    return m_peer;
}

int FeedConnection::FrameCount() const
{
    return m_frames;
}

bool FeedConnection::IsOpen() const
{
    return m_open;
}

void FeedConnection::SetStallTimeout(int ms)
{
    m_stall.setInterval(qMax(0, ms));
}

void FeedConnection::Refuse(const QString& reason)
{
    if (!m_open)
        return;
    Trace(QStringLiteral("live feed from %1 closed: %2").arg(m_peer, reason), __LINE__);
    Finish(reason);
}

void FeedConnection::Finish(const QString& reason)
{
    m_open = false;
    m_stall.stop();
    m_socket->abort();
    emit Closed(reason);
}

void FeedConnection::Pump()
{
    m_pumpQueued = false;
    if (!m_open)
        return;
    bool progress = false;
    int handled = 0;
    while (handled < FramesPerTurn) {
        // More is read only when no whole frame waits, so at most one frame and one socket
        // buffer are held per connection.
        if (!m_reader.HasFrame() && m_socket->bytesAvailable() > 0) {
            m_reader.Append(m_socket->readAll());
            progress = true;
        }
        FeedFrame frame;
        QString error;
        const FeedFrameReader::Status status = m_reader.Next(frame, error);
        if (status == FeedFrameReader::Incomplete)
            break;
        if (status == FeedFrameReader::Invalid) {
            Refuse(error);
            return;
        }
        ++m_frames;
        if (!Apply(frame, error)) {
            Refuse(error);
            return;
        }
        ++handled;
        if (!m_open)
            return;
    }
    if (handled == FramesPerTurn) {
        m_pumpQueued = true;
        QTimer::singleShot(0, this, &FeedConnection::Pump);
        return;
    }
    if (m_reader.Buffered() == 0)
        m_stall.stop();
    else if ((progress || !m_stall.isActive()) && m_stall.interval() > 0)
        m_stall.start();
    if (m_socket->state() == QAbstractSocket::UnconnectedState && m_socket->bytesAvailable() == 0) {
        if (m_reader.Buffered() > 0)
            Refuse(QStringLiteral("ended in the middle of a frame, %1 bytes dropped")
                       .arg(m_reader.Buffered()));
        else
            Finish(QString());
    }
}

bool FeedConnection::Apply(const FeedFrame& frame, QString& error)
{
    switch (frame.type) {
    case FeedFrame::AddTransmission: {
        QString xml;
        if (!FeedFrame::DecodeText(frame.payload, xml)) {
            error = QStringLiteral("transmission document is not UTF-8");
            return false;
        }
        VarnoResultDataXml::Transmission transmission;
        if (!transmission.SetXmlString(xml)) {
            error = QStringLiteral("the result-data reader refused the transmission document");
            return false;
        }
        QVector<int> channels;
        for (const VarnoResultDataXml::DataBlock* block : transmission.GetDataBlock()) {
            if (!channels.contains(block->GetChannel()))
                channels.append(block->GetChannel());
        }
        emit TransmissionReceived(xml, channels);
        return true;
    }
    case FeedFrame::EndTransmission:
        if (!frame.payload.isEmpty()) {
            error = QStringLiteral("end-of-transmission frame carries %1 bytes")
                        .arg(frame.payload.size());
            return false;
        }
        emit TransmissionEnded();
        return true;
    case FeedFrame::DefineChannelName: {
        int channel = 0;
        QString name;
        if (!FeedFrame::DecodeChannelName(frame.payload, channel, name, error))
            return false;
        emit ChannelNamed(channel, name);
        return true;
    }
    default:
        error = QStringLiteral("unknown frame type 0x%1").arg(frame.type, 2, 16, QLatin1Char('0'));
        return false;
    }
}
