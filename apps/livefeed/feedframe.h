#pragma once

#include <QByteArray>
#include <QString>

// One frame of the live feed: a 4-byte big-endian length (of the type byte and the payload),
// the type byte, the payload. docs/live-feed.md describes every type and its payload.
class FeedFrame
{
public:
    enum Type : quint8 {
        AddTransmission = 0x01,
        EndTransmission = 0x02,
        DefineChannelName = 0x03,
    };

    // Longest length a frame may announce; more is refused before any of it is buffered.
    static constexpr quint32 MaxLength = 16u * 1024u * 1024u;
    static constexpr int HeaderSize = 4;

    FeedFrame() = default;
    FeedFrame(quint8 type, const QByteArray& payload);

    quint8 type = 0;
    QByteArray payload;

    QByteArray Encode() const;

    static QByteArray Transmission(const QString& xml);
    static QByteArray End();
    static QByteArray ChannelName(int channel, const QString& name);

    static bool IsKnownType(quint8 type);
    // The payload as text; false when it is not well-formed UTF-8, since a replacement
    // character would silently change what the decoder sent.
    static bool DecodeText(const QByteArray& bytes, QString& text);
    // A DefineChannelName payload: the channel number, then the name. Returns false with the
    // reason in error.
    static bool DecodeChannelName(const QByteArray& payload, int& channel, QString& name,
                                  QString& error);
};
