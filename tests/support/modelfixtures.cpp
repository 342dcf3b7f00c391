#include "modelfixtures.h"

#include <QTemporaryFile>

#include <cstdio>
#include <limits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace VarnoResultDataXml;

namespace Fixtures {

DataBlock* MakeDataBlock(const Piece& piece)
{
    auto* block = new DataBlock(piece.channel, 0, 0);
    block->SetID(piece.id);
    block->SetContent(piece.content);
    for (const Stamp& s : piece.stamps)
        block->GetTimeStamp().append({ T0.addMSecs(s.ms), s.position, s.quality });
    for (const UserData& note : piece.notes)
        block->AddUserData(new UserData(note));
    return block;
}

QString TransmissionXml(const QDateTime& start, const QVector<Piece>& pieces)
{
    Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    for (const Piece& piece : pieces)
        transmission.AddDataBlock(MakeDataBlock(piece));
    return transmission.GetXmlString();
}

BlockPtr MakeBlock(const QStringList& runs, int channel, int id)
{
    BlockPtr block(new DecodedTextBlock(channel, id, T0));
    for (int i = 0; i < runs.size(); ++i)
        AddRun(*block, runs.at(i), 90, 1000 * i);
    return block;
}

static void Append(DecodedTextBlock& block, const QString& text, int width, int flags,
                   int quality, qint64 ms)
{
    DecodedTextSnippet s;
    s.start = block.EndPosition();
    // Tests place runs at the ends of the int range afterwards; the sum must not overflow first.
    s.end = int(qMin<qint64>(qint64(s.start) + width, std::numeric_limits<int>::max()));
    s.length = text.size();
    s.flags = flags;
    s.quality = quality;
    s.timestamp = T0.addMSecs(ms);
    block.snippets.append(s);
    block.text += text;
}

void AddRun(DecodedTextBlock& block, const QString& text, int quality, qint64 ms)
{
    Append(block, text, text.size(), 0, quality, ms);
}

void AddGap(DecodedTextBlock& block, int width, const QString& breaks, qint64 ms)
{
    Append(block, breaks, width, SnippetGap, 0, ms);
}

UserData* Note(const QString& type, int start, int end, const QString& text)
{
    auto* note = new UserData;
    note->Type = type;
    note->Start = start;
    note->End = end;
    note->Comment = text;
    note->CallSign = text;
    return note;
}

UserData* Change(int start, const QString& newText, const QString& replaced, const QString& comment)
{
    auto* change = new UserData;
    change->Type = UserData::ChangeType;
    change->Start = start;
    change->End = start + newText.size();
    change->Text = newText;
    change->ReplacedText = replaced;
    change->Comment = comment;
    return change;
}

QString Layout(const DecodedTextBlock& block)
{
    QStringList parts;
    for (const DecodedTextSnippet& s : block.snippets) {
        const bool gap = s.flags & SnippetGap;
        parts << QStringLiteral("%1%2-%3:%4").arg(gap ? "g" : "").arg(s.start).arg(s.end)
                       .arg(s.length)
                + (gap ? QString() : QStringLiteral("q%1").arg(s.quality));
    }
    return parts.join(QLatin1Char(' '));
}

QString Spans(const DecodedTextBlock& block, bool withShift)
{
    QStringList out;
    for (const DecodedTextSnippet& s : block.snippets)
        out << QStringLiteral("%1-%2").arg(s.start).arg(s.end)
                + (withShift && s.shift ? QStringLiteral("/%1").arg(s.shift) : QString());
    return out.join(QLatin1Char(' '));
}

QString Ranges(const DecodedTextBlock& block)
{
    QStringList out;
    for (const UserData* u : block.userData)
        out << QStringLiteral("%1-%2").arg(u->Start).arg(u->End);
    return out.join(QLatin1Char(' '));
}

void Record(DecodedTextData& model, QStringList* log)
{
    QObject::connect(&model, &DecodedTextData::ChannelCreated,
                     [log](int c) { *log << QStringLiteral("created %1").arg(c); });
    QObject::connect(&model, &DecodedTextData::DataChanged, [log](int c, bool refresh) {
        *log << QStringLiteral("data %1 %2").arg(c).arg(refresh ? "refresh" : "append");
    });
    QObject::connect(&model, &DecodedTextData::TransmissionChanged,
                     [log](int c) { *log << QStringLiteral("end %1").arg(c); });
    QObject::connect(&model, &DecodedTextData::SaveUserData,
                     [log](int c, const QString&) { *log << QStringLiteral("save %1").arg(c); });
}

QByteArray CapturedStandardError(const std::function<void()>& action)
{
#ifdef Q_OS_UNIX
    QTemporaryFile capture;
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    if (!capture.open() || saved < 0)
        return QByteArray();
    dup2(capture.handle(), STDERR_FILENO);
    action();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    capture.seek(0);
    return capture.readAll();
#else
    action();
    return QByteArray();
#endif
}

} // namespace Fixtures
