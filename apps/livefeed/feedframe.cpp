#include "feedframe.h"

#include "ivarnoresultdata.h"

#include <QTextCodec>
#include <QtEndian>

FeedFrame::FeedFrame(quint8 type_, const QByteArray& payload_) : type(type_), payload(payload_) { }

QByteArray FeedFrame::Encode() const
{
    QByteArray bytes(HeaderSize + 1, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size() + 1), bytes.data());
    bytes[HeaderSize] = static_cast<char>(type);
    bytes.append(payload);
    return bytes;
}

QByteArray FeedFrame::Transmission(const QString& xml)
{
    return FeedFrame(AddTransmission, xml.toUtf8()).Encode();
}

QByteArray FeedFrame::End()
{
    return FeedFrame(EndTransmission, QByteArray()).Encode();
}

QByteArray FeedFrame::ChannelName(int channel, const QString& name)
{
    QByteArray payload(4, Qt::Uninitialized);
    qToBigEndian<qint32>(channel, payload.data());
    payload.append(name.toUtf8());
    return FeedFrame(DefineChannelName, payload).Encode();
}

bool FeedFrame::IsKnownType(quint8 type)
{
    return type == AddTransmission || type == EndTransmission || type == DefineChannelName;
}

bool FeedFrame::DecodeText(const QByteArray& bytes, QString& text)
{
    static QTextCodec* const utf8 = QTextCodec::codecForName("UTF-8");
    // A leading byte-order mark is dropped, as an XML reader reading bytes would.
    QTextCodec::ConverterState state;
    text = utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

bool FeedFrame::DecodeChannelName(const QByteArray& payload, int& channel, QString& name,
                                  QString& error)
{
    if (payload.size() < 4) {
        error = QStringLiteral("channel-name frame of %1 bytes lacks the channel number")
                    .arg(payload.size());
        return false;
    }
    channel = qFromBigEndian<qint32>(payload.constData());
    // The range a result-data document can carry; below it lie the scratch markers.
    if (channel < 0 || channel > VarnoResultDataXml::IVarnoResultData::ValueLimit) {
        error = QStringLiteral("channel number %1 out of range").arg(channel);
        return false;
    }
    if (!DecodeText(payload.mid(4), name)) {
        error = QStringLiteral("channel name is not UTF-8");
        return false;
    }
    return true;
}
