#include "resultdataxmlwriter_p.h"

#include "ivarnoresultdata.h"
#include "varnodatablock.h"
#include "varnoresultdata.h"
#include "varnoresultdataexception.h"
#include "varnotimestamp.h"
#include "varnotransmission.h"
#include "varnouserdata.h"

#include <QDateTime>
#include <QtGlobal>

namespace VarnoResultDataXml {

ResultDataXmlWriter::ResultDataXmlWriter() : m_xml(&m_output)
{
    m_xml.setAutoFormatting(false);
}

QString ResultDataXmlWriter::WriteDataBlockDocument(const DataBlock& block)
{
    BeginDocument();
    WriteDataBlock(block);
    return EndDocument();
}

QString ResultDataXmlWriter::WriteTransmissionDocument(const Transmission& transmission)
{
    BeginDocument();
    WriteTransmission(transmission);
    return EndDocument();
}

QString ResultDataXmlWriter::WriteResultDataDocument(const VarnoResultData& data)
{
    BeginDocument();
    StartElement(QStringLiteral("ResultData"));
    m_xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    for (const Transmission* transmission : data.GetTransmission())
        WriteTransmission(*transmission);
    EndElement();
    return EndDocument();
}

QString ResultDataXmlWriter::FormatTime(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    const QDateTime utc = time.toUTC();
    const int year = utc.date().year();
    if (year >= 1 && year <= 9999)
        return utc.toString(Qt::ISODateWithMs);
    const qint64 ms = utc.toMSecsSinceEpoch();
    if (ms < -TimeLimitMs || ms > TimeLimitMs)
        throw VarnoResultDataException(
            QStringLiteral("time of year %1 is outside the writable range").arg(year));
    return QLatin1Char('@') + QString::number(ms);
}

bool ResultDataXmlWriter::NeedsCharElement(const QString& text, int index)
{
    const ushort c = text.at(index).unicode();
    if (c < 0x20)
        return c != '\t' && c != '\n'; // a raw CR would come back as LF
    if (c >= 0x7F && c <= 0x9F)
        return true; // legal in XML 1.0 but discouraged, and other readers reject them
    if (c == 0xFFFE || c == 0xFFFF)
        return true;
    if (QChar::isHighSurrogate(c))
        return index + 1 >= text.size() || !text.at(index + 1).isLowSurrogate();
    if (QChar::isLowSurrogate(c))
        return index == 0 || !text.at(index - 1).isHighSurrogate();
    return false;
}

void ResultDataXmlWriter::BeginDocument()
{
    m_xml.writeStartDocument();
    m_xml.writeCharacters(QStringLiteral("\n"));
}

QString ResultDataXmlWriter::EndDocument()
{
    m_xml.writeEndDocument();
    return m_output;
}

void ResultDataXmlWriter::Indent()
{
    if (m_open.isEmpty())
        return;
    m_open.last() = true;
    m_xml.writeCharacters(QLatin1Char('\n') + QString(2 * m_open.size(), QLatin1Char(' ')));
}

void ResultDataXmlWriter::StartElement(const QString& name)
{
    Indent();
    m_xml.writeStartElement(name);
    m_open.append(false);
}

void ResultDataXmlWriter::EndElement()
{
    const bool hadChildren = m_open.takeLast();
    if (hadChildren)
        m_xml.writeCharacters(QLatin1Char('\n') + QString(2 * m_open.size(), QLatin1Char(' ')));
    m_xml.writeEndElement();
}

void ResultDataXmlWriter::EmptyElement(const QString& name)
{
    Indent();
    m_xml.writeEmptyElement(name);
}

void ResultDataXmlWriter::WriteTransmission(const Transmission& transmission)
{
    StartElement(QStringLiteral("Transmission"));
    WriteTime(QStringLiteral("start"), transmission.GetStartTime());
    WriteTime(QStringLiteral("stop"), transmission.GetStopTime());
    for (const DataBlock* block : transmission.GetDataBlock())
        WriteDataBlock(*block);
    EndElement();
}

void ResultDataXmlWriter::WriteDataBlock(const DataBlock& block)
{
    StartElement(QStringLiteral("DataBlock"));
    WriteNumber(QStringLiteral("id"), block.GetID());
    WriteNumber(QStringLiteral("channel"), block.GetChannel());
    WriteNumber(QStringLiteral("offset"), block.GetOffset());
    if (block.GetReserved() != 0)
        WriteNumber(QStringLiteral("reserved"), block.GetReserved());
    m_xml.writeAttribute(QStringLiteral("rtl"), block.GetContentDirectionRTL()
                                                    ? QStringLiteral("true")
                                                    : QStringLiteral("false"));
    WriteTextElement(QStringLiteral("ContentCode"), block.GetContentCode());
    WriteTextElement(QStringLiteral("Content"), block.GetContent());
    for (const TimeStamp& stamp : block.GetTimeStamp())
        WriteTimeStamp(stamp);
    for (const UserData* userData : block.GetUserData())
        WriteUserData(*userData);
    EndElement();
}

void ResultDataXmlWriter::WriteTimeStamp(const TimeStamp& stamp)
{
    EmptyElement(QStringLiteral("TimeStamp"));
    WriteNumber(QStringLiteral("position"), stamp.Position);
    WriteNumber(QStringLiteral("quality"), stamp.Quality);
    WriteTime(QStringLiteral("time"), stamp.Time);
}

void ResultDataXmlWriter::WriteUserData(const UserData& userData)
{
    StartElement(QStringLiteral("UserData"));
    WriteNumber(QStringLiteral("start"), userData.Start);
    WriteNumber(QStringLiteral("end"), userData.End);
    WriteNumber(QStringLiteral("channel"), userData.Channel);
    WriteTime(QStringLiteral("changeTime"), userData.ChangeTime);
    WriteTextElement(QStringLiteral("Type"), userData.Type);
    WriteTextElement(QStringLiteral("Text"), userData.Text);
    WriteTextElement(QStringLiteral("Comment"), userData.Comment);
    WriteTextElement(QStringLiteral("ReplacedText"), userData.ReplacedText);
    WriteTextElement(QStringLiteral("CallSign"), userData.CallSign);
    WriteTextElement(QStringLiteral("Modifier"), userData.Modifier);
    EndElement();
}

void ResultDataXmlWriter::WriteNumber(const QString& name, int value)
{
    if (value < -IVarnoResultData::ValueLimit || value > IVarnoResultData::ValueLimit)
        throw VarnoResultDataException(QStringLiteral("%1 %2 is outside -%3..%3")
                                           .arg(name, QString::number(value),
                                                QString::number(IVarnoResultData::ValueLimit)));
    m_xml.writeAttribute(name, QString::number(value));
}

void ResultDataXmlWriter::WriteTime(const QString& name, const QDateTime& time)
{
    const QString text = FormatTime(time);
    if (!text.isEmpty())
        m_xml.writeAttribute(name, text);
}

void ResultDataXmlWriter::WriteTextElement(const QString& name, const QString& text)
{
    if (text.isEmpty())
        return;
    if (text.size() > IVarnoResultData::ValueLimit)
        throw VarnoResultDataException(
            QStringLiteral("%1 of %2 characters is longer than %3")
                .arg(name, QString::number(text.size()),
                     QString::number(IVarnoResultData::ValueLimit)));
    Indent();
    m_xml.writeStartElement(name);
    int runStart = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (!NeedsCharElement(text, i))
            continue;
        if (i > runStart)
            m_xml.writeCharacters(text.mid(runStart, i - runStart));
        m_xml.writeEmptyElement(QStringLiteral("Char"));
        m_xml.writeAttribute(QStringLiteral("code"), QString::number(text.at(i).unicode()));
        runStart = i + 1;
    }
    if (runStart < text.size())
        m_xml.writeCharacters(text.mid(runStart));
    m_xml.writeEndElement();
}

} // namespace VarnoResultDataXml
