#include "resultdataxmlreader_p.h"

#include "ivarnoresultdata.h"
#include "resultdataxmlwriter_p.h"
#include "varnodatablock.h"
#include "varnotimestamp.h"
#include "varnotransmission.h"
#include "varnouserdata.h"

#include <QDateTime>
#include <QSet>

namespace VarnoResultDataXml {

namespace {

const QString CharElement = QStringLiteral("Char");

// The writer's own form of a time, "yyyy-MM-ddTHH:mm:ss.zzzZ", read by hand: the general ISO
// parser is a large share of reading a document. Any other form, and any field out of range,
// is left to the general parser, which then decides as it always did.
bool ReadWrittenTime(const QString& text, QDateTime* time)
{
    static const char form[] = "dddd-dd-ddTdd:dd:dd.dddZ";
    constexpr int length = int(sizeof(form)) - 1;
    if (text.size() != length)
        return false;
    int value[length] = {};
    for (int i = 0; i < length; ++i) {
        const ushort c = text.at(i).unicode();
        if (form[i] == 'd') {
            if (c < '0' || c > '9')
                return false;
            value[i] = c - '0';
        } else if (c != ushort(form[i])) {
            return false;
        }
    }
    const auto number = [&value](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count; ++i)
            n = n * 10 + value[i];
        return n;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime clock(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
    if (!date.isValid() || !clock.isValid())
        return false;
    *time = QDateTime(date, clock, Qt::UTC);
    return true;
}

} // namespace

ResultDataXmlReader::ResultDataXmlReader(const QString& xml) : m_xml(xml)
{
    m_xml.setNamespaceProcessing(false);
}

ResultDataXmlReader::ResultDataXmlReader(const QByteArray& data) : m_xml(data)
{
    m_xml.setNamespaceProcessing(false);
}

std::unique_ptr<DataBlock> ResultDataXmlReader::ReadDataBlockDocument()
{
    if (!OpenRoot(QStringLiteral("DataBlock")))
        return nullptr;
    std::unique_ptr<DataBlock> block = ReadDataBlock();
    if (!block || !CloseDocument())
        return nullptr;
    return block;
}

std::unique_ptr<Transmission> ResultDataXmlReader::ReadTransmissionDocument()
{
    if (!OpenRoot(QStringLiteral("Transmission")))
        return nullptr;
    std::unique_ptr<Transmission> transmission = ReadTransmission();
    if (!transmission || !CloseDocument())
        return nullptr;
    return transmission;
}

bool ResultDataXmlReader::ReadResultDataDocument(
    std::vector<std::unique_ptr<Transmission>>& transmissions)
{
    transmissions.clear();
    if (!OpenRoot(QStringLiteral("ResultData")))
        return false;
    while (NextChild()) {
        if (m_xml.name() != QLatin1String("Transmission"))
            return Fail(QStringLiteral("unexpected element %1 in ResultData")
                            .arg(m_xml.name().toString()));
        std::unique_ptr<Transmission> transmission = ReadTransmission();
        if (!transmission)
            return false;
        transmissions.push_back(std::move(transmission));
    }
    if (m_xml.hasError() || !CloseDocument()) {
        transmissions.clear();
        return false;
    }
    return true;
}

QString ResultDataXmlReader::ErrorString() const
{
    return m_xml.errorString();
}

bool ResultDataXmlReader::ParseTime(const QString& text, QDateTime* time)
{
    *time = QDateTime();
    if (text.isEmpty())
        return true;
    if (text.startsWith(QLatin1Char('@'))) {
        bool ok = false;
        const qint64 ms = text.midRef(1).toLongLong(&ok, 10);
        if (!ok || ms < -ResultDataXmlWriter::TimeLimitMs || ms > ResultDataXmlWriter::TimeLimitMs)
            return false;
        *time = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        return time->isValid();
    }
    if (ReadWrittenTime(text, time))
        return true;
    QDateTime parsed = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return false;
    // The format's times are UTC; a time without a zone designator is taken as one.
    if (parsed.timeSpec() == Qt::LocalTime)
        parsed.setTimeSpec(Qt::UTC);
    *time = parsed.toUTC();
    return true;
}

bool ResultDataXmlReader::Fail(const QString& message)
{
    if (!m_xml.hasError())
        m_xml.raiseError(message);
    return false;
}

bool ResultDataXmlReader::OpenRoot(const QString& name)
{
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        case QXmlStreamReader::Characters:
            if (!m_xml.isWhitespace())
                return Fail(QStringLiteral("text before the root element"));
            break;
        case QXmlStreamReader::DTD:
            return Fail(QStringLiteral("document type declarations are not accepted"));
        case QXmlStreamReader::StartElement:
            if (m_xml.name() != name)
                return Fail(QStringLiteral("root element is %1, expected %2")
                                .arg(m_xml.name().toString(), name));
            return true;
        default:
            return Fail(QStringLiteral("no root element"));
        }
    }
    return Fail(QStringLiteral("no root element"));
}

bool ResultDataXmlReader::CloseDocument()
{
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EndDocument:
            break;
        case QXmlStreamReader::Characters:
            if (!m_xml.isWhitespace())
                return Fail(QStringLiteral("text after the root element"));
            break;
        case QXmlStreamReader::Invalid:
            return false;
        default:
            return Fail(QStringLiteral("content after the root element"));
        }
    }
    return !m_xml.hasError();
}

// Moves to the next child element of the current structural element. False at the
// element's end or on an error; stray text is an error, comments are skipped.
bool ResultDataXmlReader::NextChild()
{
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
            return false;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        case QXmlStreamReader::Characters:
            if (!m_xml.isWhitespace())
                return Fail(QStringLiteral("unexpected text between elements"));
            break;
        case QXmlStreamReader::Invalid:
            return false;
        default:
            return Fail(QStringLiteral("unexpected %1").arg(m_xml.tokenString()));
        }
    }
    return Fail(QStringLiteral("document ends inside an element"));
}

std::unique_ptr<Transmission> ResultDataXmlReader::ReadTransmission()
{
    auto transmission = std::make_unique<Transmission>();
    QDateTime start;
    QDateTime stop;
    if (!ReadTime(QStringLiteral("start"), &start) || !ReadTime(QStringLiteral("stop"), &stop))
        return nullptr;
    transmission->SetStartTime(start);
    transmission->SetStopTime(stop);
    while (NextChild()) {
        if (m_xml.name() != QLatin1String("DataBlock")) {
            Fail(QStringLiteral("unexpected element %1 in Transmission")
                     .arg(m_xml.name().toString()));
            return nullptr;
        }
        std::unique_ptr<DataBlock> block = ReadDataBlock();
        if (!block)
            return nullptr;
        transmission->AddDataBlock(block.release());
    }
    if (m_xml.hasError())
        return nullptr;
    return transmission;
}

std::unique_ptr<DataBlock> ResultDataXmlReader::ReadDataBlock()
{
    int id = 0;
    int channel = 0;
    int offset = 0;
    int reserved = 0;
    bool rtl = false;
    if (!ReadNumber(QStringLiteral("id"), true, &id)
        || !ReadNumber(QStringLiteral("channel"), true, &channel)
        || !ReadNumber(QStringLiteral("offset"), false, &offset)
        || !ReadNumber(QStringLiteral("reserved"), false, &reserved)
        || !ReadBool(QStringLiteral("rtl"), &rtl))
        return nullptr;

    auto block = std::make_unique<DataBlock>(channel, offset, reserved);
    block->SetID(id);
    block->SetContentDirectionRTL(rtl);
    bool haveContent = false;
    bool haveCode = false;
    while (NextChild()) {
        const QStringRef name = m_xml.name();
        if (name == QLatin1String("Content") && !haveContent) {
            QString content;
            if (!ReadText(&content))
                return nullptr;
            // Written content is restored as it was, without normalising it again.
            block->AppendData(content);
            haveContent = true;
        } else if (name == QLatin1String("ContentCode") && !haveCode) {
            QString code;
            if (!ReadText(&code))
                return nullptr;
            block->SetContentCode(code);
            haveCode = true;
        } else if (name == QLatin1String("TimeStamp")) {
            if (!ReadTimeStamp(*block))
                return nullptr;
        } else if (name == QLatin1String("UserData")) {
            std::unique_ptr<UserData> userData = ReadUserData();
            if (!userData)
                return nullptr;
            block->AddUserData(userData.release());
        } else {
            Fail(QStringLiteral("unexpected or repeated element %1 in DataBlock")
                     .arg(name.toString()));
            return nullptr;
        }
    }
    if (m_xml.hasError())
        return nullptr;
    return block;
}

bool ResultDataXmlReader::ReadTimeStamp(DataBlock& block)
{
    TimeStamp stamp;
    if (!ReadNumber(QStringLiteral("position"), true, &stamp.Position)
        || !ReadNumber(QStringLiteral("quality"), false, &stamp.Quality)
        || !ReadTime(QStringLiteral("time"), &stamp.Time) || !ReadEmpty())
        return false;
    block.GetTimeStamp().append(stamp);
    return true;
}

std::unique_ptr<UserData> ResultDataXmlReader::ReadUserData()
{
    auto userData = std::make_unique<UserData>();
    if (!ReadNumber(QStringLiteral("start"), true, &userData->Start)
        || !ReadNumber(QStringLiteral("end"), true, &userData->End)
        || !ReadNumber(QStringLiteral("channel"), false, &userData->Channel)
        || !ReadTime(QStringLiteral("changeTime"), &userData->ChangeTime))
        return nullptr;
    const struct
    {
        QLatin1String name;
        QString UserData::*member;
    } fields[] = {
        {QLatin1String("Type"), &UserData::Type},
        {QLatin1String("Text"), &UserData::Text},
        {QLatin1String("Comment"), &UserData::Comment},
        {QLatin1String("ReplacedText"), &UserData::ReplacedText},
        {QLatin1String("CallSign"), &UserData::CallSign},
        {QLatin1String("Modifier"), &UserData::Modifier},
    };
    QSet<int> seen;
    while (NextChild()) {
        int field = -1;
        for (int i = 0; i < int(sizeof(fields) / sizeof(fields[0])); ++i) {
            if (m_xml.name() == fields[i].name)
                field = i;
        }
        if (field < 0 || seen.contains(field)) {
            Fail(QStringLiteral("unexpected or repeated element %1 in UserData")
                     .arg(m_xml.name().toString()));
            return nullptr;
        }
        seen.insert(field);
        if (!ReadText(&((*userData).*fields[field].member)))
            return nullptr;
    }
    if (m_xml.hasError())
        return nullptr;
    return userData;
}

// Reads a text element's mixed content up to its end: characters as they are, <Char code/>
// as the UTF-16 code unit it names.
bool ResultDataXmlReader::ReadText(QString* text)
{
    text->clear();
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::Characters:
            if (m_xml.text().size() > IVarnoResultData::ValueLimit - text->size())
                return Fail(QStringLiteral("text longer than %1 characters")
                                .arg(IVarnoResultData::ValueLimit));
            text->append(m_xml.text());
            break;
        case QXmlStreamReader::StartElement: {
            if (m_xml.name() != CharElement)
                return Fail(QStringLiteral("unexpected element %1 in text")
                                .arg(m_xml.name().toString()));
            if (!m_xml.attributes().hasAttribute(QLatin1String("code")))
                return Fail(QStringLiteral("Char without code"));
            bool ok = false;
            const uint code = m_xml.attributes().value(QLatin1String("code")).toUInt(&ok, 10);
            if (!ok || code > 0xFFFF)
                return Fail(QStringLiteral("Char code is not a UTF-16 code unit"));
            if (text->size() >= IVarnoResultData::ValueLimit)
                return Fail(QStringLiteral("text longer than %1 characters")
                                .arg(IVarnoResultData::ValueLimit));
            text->append(QChar(static_cast<ushort>(code)));
            if (!ReadEmpty())
                return false;
            break;
        }
        case QXmlStreamReader::EndElement:
            return true;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        case QXmlStreamReader::Invalid:
            return false;
        default:
            return Fail(QStringLiteral("unexpected %1 in text").arg(m_xml.tokenString()));
        }
    }
    return Fail(QStringLiteral("document ends inside a text"));
}

// Consumes an element that may hold nothing but whitespace and comments.
bool ResultDataXmlReader::ReadEmpty()
{
    const QString name = m_xml.name().toString();
    if (NextChild())
        return Fail(QStringLiteral("%1 must be empty").arg(name));
    return !m_xml.hasError();
}

bool ResultDataXmlReader::ReadNumber(const QString& name, bool required, int* value)
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    if (!attributes.hasAttribute(name)) {
        if (required)
            return Fail(QStringLiteral("%1 without %2").arg(m_xml.name().toString(), name));
        return true;
    }
    bool ok = false;
    const int number = attributes.value(name).toInt(&ok, 10);
    if (!ok)
        return Fail(QStringLiteral("%1 is not a number").arg(name));
    if (number < -IVarnoResultData::ValueLimit || number > IVarnoResultData::ValueLimit)
        return Fail(QStringLiteral("%1 %2 is outside -%3..%3")
                        .arg(name, QString::number(number),
                             QString::number(IVarnoResultData::ValueLimit)));
    *value = number;
    return true;
}

bool ResultDataXmlReader::ReadTime(const QString& name, QDateTime* time)
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    if (!ParseTime(attributes.value(name).toString(), time))
        return Fail(QStringLiteral("%1 is not a time").arg(name));
    return true;
}

bool ResultDataXmlReader::ReadBool(const QString& name, bool* value)
{
    const QXmlStreamAttributes attributes = m_xml.attributes();
    if (!attributes.hasAttribute(name))
        return true;
    const QStringRef text = attributes.value(name);
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        *value = true;
    else if (text == QLatin1String("false") || text == QLatin1String("0"))
        *value = false;
    else
        return Fail(QStringLiteral("%1 is not true or false").arg(name));
    return true;
}

} // namespace VarnoResultDataXml
