#pragma once

#include "recordingschedule.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class FeedAddress;
class QTcpSocket;

// Plays a schedule to a listening launcher: connects, writes every frame when it is due at the
// chosen pace, and closes the connection once everything is written.
class FeedSender : public QObject
{
    Q_OBJECT

public:
    FeedSender(const RecordingSchedule& schedule, double speed, QObject* parent = nullptr);
    ~FeedSender() override;

    void Start(const FeedAddress& address);
    int SentCount() const;

signals:
    // error is empty when every frame was delivered to the connection and it was closed.
    void Finished(const QString& error);

private:
    void Step();
    void Stop(const QString& error);

    const RecordingSchedule& m_schedule;
    double m_speed;
    QTcpSocket* m_socket;
    QString m_peer;
    int m_next = 0;
    bool m_done = false;
    QElapsedTimer m_elapsed;
    QTimer m_timer;
};
