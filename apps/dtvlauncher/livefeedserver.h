#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QTcpServer>
#include <QVector>

class DecodedTextView;
class FeedAddress;
class FeedConnection;

// Accepts decoder programs on a TCP port and feeds what each sends into one view: every
// connection's frames in its own order, connections side by side. A connection that sends
// something unusable is closed alone (FeedConnection); the others and what was shown stay.
class LiveFeedServer : public QObject
{
    Q_OBJECT

public:
    // The view must outlive the server.
    explicit LiveFeedServer(DecodedTextView* view, QObject* parent = nullptr);
    ~LiveFeedServer() override;

    bool Listen(const FeedAddress& address, QString& error);
    // Where it listens, with the port the system chose for port 0.
    QString Address() const;
    quint16 Port() const;
    int ConnectionCount() const;
    // For connections accepted from now on; see FeedConnection::SetStallTimeout.
    void SetStallTimeout(int ms);

signals:
    void ConnectionOpened(const QString& peer);
    // reason is empty when the decoder ended the connection between two frames.
    void ConnectionClosed(const QString& peer, int frames, const QString& reason);
    // The first transmission for a channel has been shown.
    void ChannelSeen(int channel);

private:
    void Accept();
    void Show(const QString& xml, const QVector<int>& channels);
    void Name(int channel, const QString& name);

    DecodedTextView* m_view;
    QTcpServer m_server;
    QVector<FeedConnection*> m_connections;
    QSet<int> m_seen;
    int m_stallTimeout = 30000;
};
