#pragma once

#include "decodedtextclock.h"

#include <QDateTime>
#include <QElapsedTimer>

// The time of a recording as it is replayed: the recording's first time when the replay
// starts, advancing at the replay's pace. Typed text and new user-channel blocks thus carry
// times that fit between the recorded ones.
class ReplayClock : public DecodedTextClock
{
public:
    ReplayClock();

    void Start(const QDateTime& origin, double speed);
    bool IsStarted() const;
    QDateTime CurrentTime() const override;

private:
    QDateTime m_origin;
    double m_speed = 1.0;
    QElapsedTimer m_elapsed;
};
