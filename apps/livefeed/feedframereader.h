#pragma once

#include "feedframe.h"

#include <QByteArray>
#include <QString>

// Cuts frames out of the bytes of one connection as they arrive in pieces of any size. A
// frame's header is judged as soon as it is there, so an oversized or unknown frame is refused
// before its payload is waited for or buffered.
class FeedFrameReader
{
public:
    enum Status { Incomplete, Complete, Invalid };

    void Append(const QByteArray& bytes);
    // Takes the frame at the front if it is whole. Invalid leaves the reason in error; the
    // stream cannot be resynchronised after that.
    Status Next(FeedFrame& frame, QString& error);
    // Whether a whole frame is waiting; false while its header is incomplete or invalid.
    bool HasFrame() const;
    // Bytes received but not yet handed out as frames.
    int Buffered() const;

private:
    QByteArray m_buffer;
    int m_offset = 0;
};
