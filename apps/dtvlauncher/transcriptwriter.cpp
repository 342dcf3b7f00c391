#include "transcriptwriter.h"

#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "sessionrecorder.h"
#include "varnoresultdataxml.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QVector>

#include <algorithm>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::Transmission;
using VarnoResultDataXml::UserData;

namespace {

// Text characters that the notation uses, and controls that would break a line of the log.
QString EscapeText(QChar c)
{
    if (c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('\\'))
        return QString(QLatin1Char('\\')) + c;
    if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f)
        return QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    return QString(c);
}

QString EscapeLabel(const QString& value)
{
    QString escaped;
    for (const QChar c : value) {
        if (c == QLatin1Char(')') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\n");
        else
            escaped += c;
    }
    return escaped;
}

QString Label(const UserData& annotation)
{
    QString label;
    if (annotation.Type == UserData::CallSignType)
        label = QStringLiteral("call ") + EscapeLabel(annotation.CallSign);
    else if (annotation.Type == UserData::CommentType)
        label = QStringLiteral("note ") + EscapeLabel(annotation.Comment);
    else if (annotation.Type == UserData::ChangeType && annotation.ReplacedText.isEmpty())
        label = QStringLiteral("inserted");
    else if (annotation.Type == UserData::ChangeType)
        label = QStringLiteral("was ") + EscapeLabel(annotation.ReplacedText);
    else
        label = EscapeLabel(annotation.Type);
    return QStringLiteral("](%1)").arg(label.trimmed());
}

QString ChannelName(const DecodedTextView* view, int channel)
{
    QString name = view->GetChannelNames().value(channel);
    if (name.isEmpty())
        name = channel == DecodedTextData::UserChannelID
            ? QStringLiteral("User")
            : QStringLiteral("Channel %1").arg(channel);
    return name.replace(QLatin1Char('\t'), QLatin1Char(' '));
}

} // namespace

TranscriptWriter::TranscriptWriter() = default;

QString TranscriptWriter::Render(const QList<DecodedTextView*>& views)
{
    TranscriptWriter writer;
    for (DecodedTextView* view : views) {
        for (int channel : SessionRecorder::Channels(view)) {
            VarnoResultDataXml::VarnoResultData document;
            view->GetData(channel, document, false);
            writer.m_channel = ChannelName(view, channel);
            writer.m_order = QDateTime();
            for (const Transmission* transmission : document.GetTransmission()) {
                for (const DataBlock* block : transmission->GetDataBlock())
                    writer.AddBlock(*block, transmission->GetStartTime());
            }
        }
    }
    std::stable_sort(writer.m_lines.begin(), writer.m_lines.end(),
                     [](const Line& a, const Line& b) { return a.order < b.order; });
    QString transcript;
    for (const Line& line : qAsConst(writer.m_lines)) {
        transcript += line.time.isValid() ? line.time.toUTC().toString(Qt::ISODateWithMs)
                                          : QStringLiteral("-");
        transcript
            += QLatin1Char('\t') + line.channel + QLatin1Char('\t') + line.text + QLatin1Char('\n');
    }
    return transcript;
}

bool TranscriptWriter::Write(const QList<DecodedTextView*>& views, const QString& path,
                             QString& error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(Render(views).toUtf8());
        if (file.commit())
            return true;
    }
    error = QCoreApplication::translate("TranscriptWriter", "Cannot write '%1': %2")
                .arg(path, file.errorString());
    return false;
}

// "[" where an annotation begins, "](label)" where it ends. Annotations nest; one that crosses
// the end of another is closed there with it and opened again right after, so each piece
// carries its label.
void TranscriptWriter::AddBlock(const DataBlock& block, const QDateTime& start)
{
    m_block = &block;
    m_start = start;
    m_marks.clear();
    m_open.clear();
    m_text.clear();
    m_lineStart = 0;
    const QString content = block.GetContent();
    const int length = content.size();
    for (const UserData* annotation : block.GetUserData()) {
        const int from = qBound(0, annotation->Start, length);
        m_marks.append({ from, qBound(from, annotation->End, length), Label(*annotation) });
    }
    // Outer annotations open first.
    std::stable_sort(m_marks.begin(), m_marks.end(), [](const Mark& a, const Mark& b) {
        return a.start < b.start || (a.start == b.start && a.end > b.end);
    });
    int next = 0;
    for (int p = 0; p <= length; ++p) {
        CloseAt(p);
        for (; next < m_marks.size() && m_marks.at(next).start == p; ++next) {
            m_text += QLatin1Char('[');
            m_open.append(next);
            CloseAt(p);
        }
        if (p == length)
            break;
        const QChar c = content.at(p);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && p + 1 < length && content.at(p + 1) == QLatin1Char('\n'))
                ++p;
            EndLine(p + 1);
            continue;
        }
        m_text += EscapeText(c);
    }
    if (!m_text.isEmpty() || m_lineStart < length)
        EndLine(length);
}

void TranscriptWriter::CloseAt(int p)
{
    int lowest = 0;
    while (lowest < m_open.size() && m_marks.at(m_open.at(lowest)).end != p)
        ++lowest;
    QVector<int> reopen;
    while (m_open.size() > lowest) {
        const int mark = m_open.takeLast();
        m_text += m_marks.at(mark).label;
        if (m_marks.at(mark).end != p)
            reopen.prepend(mark);
    }
    for (int mark : qAsConst(reopen)) {
        m_text += QLatin1Char('[');
        m_open.append(mark);
    }
}

// The time of the frame that holds the character at index.
QDateTime TranscriptWriter::TimeAt(int index) const
{
    QDateTime time;
    for (const VarnoResultDataXml::TimeStamp& stamp : m_block->GetTimeStamp()) {
        // Text before the first frame belongs to it.
        if (stamp.Position > index && time.isValid())
            break;
        if (stamp.Time.isValid())
            time = stamp.Time;
    }
    return time.isValid() ? time : m_start;
}

void TranscriptWriter::EndLine(int next)
{
    Line line;
    line.time = TimeAt(m_lineStart);
    if (!m_order.isValid() || (line.time.isValid() && line.time > m_order))
        m_order = line.time;
    line.order = m_order;
    line.channel = m_channel;
    line.text = m_text;
    m_lines.append(line);
    m_text.clear();
    m_lineStart = next;
}
