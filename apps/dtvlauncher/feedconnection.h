#pragma once

#include "feedframereader.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class QTcpSocket;

// One decoder's connection to the launcher. Bytes are taken as they come and cut into frames
// (FeedFrameReader); nothing ever waits for more of them, so a connection that stalls in the
// middle of a frame holds up nobody. A frame that cannot be used closes the connection with a
// trace naming the peer and the reason; what it delivered before stays delivered.
class FeedConnection : public QObject
{
    Q_OBJECT

public:
    // Takes the socket over.
    explicit FeedConnection(QTcpSocket* socket, QObject* parent = nullptr);
    ~FeedConnection() override;

    QString Peer() const;
    int FrameCount() const;
    bool IsOpen() const;
    // How long a frame may stay half-received before the connection is dropped; 0: forever.
    void SetStallTimeout(int ms);
    // Closes the connection with a trace, e.g. for a frame the receiver could not use.
    void Refuse(const QString& reason);

signals:
    // A transmission document the result-data reader accepted, with its blocks' channels.
    void TransmissionReceived(const QString& xml, const QVector<int>& channels);
    void TransmissionEnded();
    void ChannelNamed(int channel, const QString& name);
    // The connection is over; reason is empty when the peer ended it between two frames.
    void Closed(const QString& reason);

private:
    void Pump();
    bool Apply(const FeedFrame& frame, QString& error);
    void Finish(const QString& reason);

    QTcpSocket* m_socket;
    FeedFrameReader m_reader;
    QString m_peer;
    int m_frames = 0;
    bool m_open = true;
    bool m_pumpQueued = false;
    QTimer m_stall;
};
