#include "feedframereader.h"

#include <QtEndian>

void FeedFrameReader::Append(const QByteArray& bytes)
{
    // Consumed bytes are dropped in one go once they are the larger part, so that cutting
    // many small frames off the front stays linear.
    if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(bytes);
}

FeedFrameReader::Status FeedFrameReader::Next(FeedFrame& frame, QString& error)
{
    const int available = Buffered();
    if (available < FeedFrame::HeaderSize)
        return Incomplete;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_offset);
    if (length > FeedFrame::MaxLength) {
        error = QStringLiteral("frame of %1 bytes exceeds the limit of %2")
                    .arg(length)
                    .arg(FeedFrame::MaxLength);
        return Invalid;
    }
    if (length == 0) {
        error = QStringLiteral("frame of length 0 has no type");
        return Invalid;
    }
    if (available == FeedFrame::HeaderSize)
        return Incomplete;
    const auto type = static_cast<quint8>(m_buffer.at(m_offset + FeedFrame::HeaderSize));
    if (!FeedFrame::IsKnownType(type)) {
        error = QStringLiteral("unknown frame type 0x%1").arg(type, 2, 16, QLatin1Char('0'));
        return Invalid;
    }
    if (static_cast<quint32>(available - FeedFrame::HeaderSize) < length)
        return Incomplete;
    frame.type = type;
    frame.payload = m_buffer.mid(m_offset + FeedFrame::HeaderSize + 1, int(length) - 1);
    m_offset += FeedFrame::HeaderSize + int(length);
    if (m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    return Complete;
}

bool FeedFrameReader::HasFrame() const
{
    const int available = Buffered();
    if (available <= FeedFrame::HeaderSize)
        return false;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_offset);
    return length > 0 && length <= FeedFrame::MaxLength
        && static_cast<quint32>(available - FeedFrame::HeaderSize) >= length;
}

int FeedFrameReader::Buffered() const
{
    return m_buffer.size() - m_offset;
}
