#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

namespace VarnoResultDataXml {
class DataBlock;
class Transmission;
}

// What a decoder would have sent while a recording was made, as live-feed frames with the
// time each is due: first the channel names the recording carries, then every recorded frame
// of text as a transmission of its own (keyed like the recorded block, so the receiver
// rebuilds the same blocks, annotations with the block's last frame), and the end of every
// recorded transmission after its last frame.
class RecordingSchedule
{
public:
    struct Event {
        qint64 due = 0; // milliseconds after the first frame, at the recorded pace
        QByteArray frame;
    };

    // A result-data document as the launcher's --export writes it.
    bool Load(const QString& xml, QString& error);
    const QVector<Event>& Events() const;
    int TextFrameCount() const;

private:
    struct Piece {
        QDateTime due;
        QString xml;
    };

    void AddBlock(const VarnoResultDataXml::Transmission& transmission,
                  const VarnoResultDataXml::DataBlock& block, QVector<Piece>& pieces);

    QVector<Event> m_events;
    int m_textFrames = 0;
};
