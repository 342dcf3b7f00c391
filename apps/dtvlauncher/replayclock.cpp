#include "replayclock.h"

#include <cmath>

ReplayClock::ReplayClock() = default;

void ReplayClock::Start(const QDateTime& origin, double speed)
{
    m_origin = origin.toUTC();
    m_speed = speed > 0.0 ? speed : 1.0;
    m_elapsed.start();
}

bool ReplayClock::IsStarted() const
{
    return m_elapsed.isValid();
}

QDateTime ReplayClock::CurrentTime() const
{
    if (!m_origin.isValid())
        return QDateTime::currentDateTimeUtc();
    if (!m_elapsed.isValid())
        return m_origin;
    const double recorded = std::floor(static_cast<double>(m_elapsed.elapsed()) * m_speed);
    return m_origin.addMSecs(static_cast<qint64>(recorded));
}
