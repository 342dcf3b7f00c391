#pragma once

#include <QString>
#include <QtGlobal>
#include <QVector>
#include <QXmlStreamWriter>

class QDateTime;

namespace VarnoResultDataXml {

class DataBlock;
class Transmission;
class VarnoResultData;
struct TimeStamp;
class UserData;

// Writes result-data documents. Text elements hold mixed content (characters that XML 1.0
// cannot carry become <Char code="n"/>), so indentation is written by hand and only
// between structural elements, where it cannot alter a text.
class ResultDataXmlWriter
{
public:
    // Milliseconds that the "@" form of a time may reach: about 100 000 years either side
    // of the epoch, far inside what QDateTime computes without overflow.
    static constexpr qint64 TimeLimitMs = Q_INT64_C(100000) * 366 * 24 * 3600 * 1000;

    ResultDataXmlWriter();

    QString WriteDataBlockDocument(const DataBlock& block);
    QString WriteTransmissionDocument(const Transmission& transmission);
    QString WriteResultDataDocument(const VarnoResultData& data);

    // "yyyy-MM-ddTHH:mm:ss.zzzZ" in UTC; "@" and milliseconds since the epoch for years
    // that form cannot hold; empty for an invalid time.
    static QString FormatTime(const QDateTime& time);
    // Whether a character at index must travel as a <Char> element.
    static bool NeedsCharElement(const QString& text, int index);

private:
    void BeginDocument();
    QString EndDocument();
    void StartElement(const QString& name);
    void EndElement();
    void EmptyElement(const QString& name);
    void Indent();

    void WriteTransmission(const Transmission& transmission);
    void WriteDataBlock(const DataBlock& block);
    void WriteTimeStamp(const TimeStamp& stamp);
    void WriteUserData(const UserData& userData);

    void WriteNumber(const QString& name, int value);
    void WriteTime(const QString& name, const QDateTime& time);
    void WriteTextElement(const QString& name, const QString& text);

    QString m_output;
    QXmlStreamWriter m_xml;
    // One entry per open structural element: whether it has child elements yet.
    QVector<bool> m_open;
};

} // namespace VarnoResultDataXml
