#include "decodedtextdata.h"

#include "activeuserproxy.h"
#include "errorhandler.h"
#include "varnoresultdataxml.h"

#include <QCoreApplication>

#include <climits>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::UserData;
using VarnoResultDataXml::VarnoResultDataException;

namespace {

// Positions, counts and deltas reach these operations from widgets, decoders and imported
// documents unchecked; arithmetic on them is done in 64 bits and brought back into int range.
int ClampToInt(qint64 value)
{
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// Touching the range at either end counts, so that a mark right next to a selection is found
// by the actions on that selection.
bool Overlaps(const UserData& annotation, int from, int to)
{
    const int s = annotation.Start;
    const int e = annotation.End;
    return (s <= from && from < e) || (s <= to && to < e) || (from <= s && s < to)
        || (from <= e && e < to);
}

bool ContainsPosition(const DecodedTextSnippet& snippet, int position)
{
    return snippet.start <= position && position < snippet.end;
}

// The runs chain without holes, every data run owns as many characters as it is wide, gaps own
// line breaks only and the text is exactly as long as the runs together.
bool HoldsTogether(const DecodedTextBlock& block)
{
    qint64 total = 0;
    for (int i = 0; i < block.snippets.size(); ++i) {
        const DecodedTextSnippet& s = block.snippets.at(i);
        if (i > 0 && s.start != block.snippets.at(i - 1).end)
            return false;
        if (s.end < s.start || s.length < 0)
            return false;
        if (s.flags & SnippetGap) {
            if (!(s.flags & SnippetSeparatorInserted)) {
                const QStringRef own = block.text.midRef(ClampToInt(total), s.length);
                for (const QChar c : own) {
                    if (c != QLatin1Char('\n'))
                        return false;
                }
            }
        } else if (qint64(s.end) - s.start != s.length) {
            return false;
        }
        total += s.length;
    }
    return total == block.text.size();
}

// Typing addresses the block by text index; that only works where every position is one
// character, as in the user channel.
bool PositionsAreIndices(const DecodedTextBlock& block)
{
    if (!block.snippets.isEmpty() && block.snippets.first().start != 0)
        return false;
    for (const DecodedTextSnippet& s : block.snippets) {
        if (s.flags & SnippetGap)
            return false;
    }
    return HoldsTogether(block);
}

enum class Spread {
    Specified, // the limits a run has by where it lies in the range
    Undo,      // each run gives back what it took last
    Forced     // whatever is still left, so that the runs always own the text
};

// One backward walk over the runs of [from, to] that lets them take part of the remaining
// length change. Returns what is still left; lowest is the lowest index touched.
qint64 SpreadLengthChange(QList<DecodedTextSnippet>& snippets, qint64 from, qint64 to,
                          qint64 remaining, Spread mode, int& lowest)
{
    for (int i = snippets.size() - 1; i >= 0 && remaining != 0; --i) {
        DecodedTextSnippet& s = snippets[i];
        if (s.start > to)
            continue;
        if (s.end < from)
            break;
        // A gap's characters are its separator, not decoded text; giving it a share would
        // leave the gap owning other characters than line breaks.
        if (s.flags & SnippetGap)
            continue;

        qint64 amount = remaining;
        if (mode == Spread::Undo) {
            amount = -qint64(s.shift);
        } else if (mode == Spread::Forced) {
            if (amount < 0)
                amount = qMax(amount, qMax<qint64>(s.start, from) - s.end);
        } else {
            const bool inside = s.start >= from && s.end <= to;
            const bool atFrom = s.start == from;
            const bool covers = s.start <= from && s.end >= to;
            if (!inside && !atFrom && !covers) {
                const qint64 limit = s.start > from ? to - s.start : s.end - from;
                amount = qBound(-limit, amount, limit);
            }
        }

        qint64 newEnd = qint64(s.end) + amount;
        if (newEnd < s.start)
            newEnd = s.start;
        if (newEnd > INT_MAX)
            newEnd = INT_MAX;
        const qint64 taken = newEnd - s.end;
        s.end = static_cast<int>(newEnd);
        s.length = s.end - s.start;
        s.shift = static_cast<int>(taken);
        s.flags |= SnippetEdited;
        remaining -= taken;
        lowest = i;
    }
    return remaining;
}

// Steps shared by the rehearsal and the real edit: the annotations of the type that overlap
// the range are taken out (a change gives its characters back first), then the new one goes
// in. The annotations taken out belong to the caller.
QVector<UserData*> ReplaceAnnotations(DecodedTextBlock& block, UserData* incoming,
                                      const QString& type, int from, int to)
{
    const bool isChange = type == UserData::ChangeType;
    QVector<UserData*> removed;
    qint64 restored = 0;
    const QVector<UserData*> candidates = block.userData;
    for (int k = candidates.size() - 1; k >= 0; --k) {
        UserData* annotation = candidates.at(k);
        // Giving a change's characters back moves the other annotations and can drop some;
        // only those still in the block are looked at, and only by address until then.
        // Without changes nothing is dropped and taking one out leaves the lower indices.
        const int at = isChange ? block.userData.indexOf(annotation) : k;
        if (at < 0 || !annotation)
            continue;
        if (annotation->Type != type || !Overlaps(*annotation, from, to))
            continue;
        // Out of the list first, so that moving the others cannot move or drop this one.
        block.userData.remove(at);
        if (isChange)
            restored += block.RevertChangeText(annotation);
        --block.userDataCount;
        removed.append(annotation);
    }

    if (incoming) {
        int at = 0;
        while (at < block.userData.size()
               && (!block.userData.at(at) || block.userData.at(at)->Start <= incoming->Start))
            ++at;
        block.userData.insert(at, incoming);
        ++block.userDataCount;
        if (isChange)
            block.ApplyChangeText(incoming, from, ClampToInt(qint64(to) + restored));
    }
    return removed;
}

// Runs the replacement on a copy of the block and tells whether the block would still hold
// together with the new annotation in it. A change whose texts do not match its range could
// otherwise leave the text and the runs out of step.
bool ReplacementHoldsTogether(const DecodedTextBlock& block, const UserData* incoming,
                              const QString& type, int from, int to)
{
    DecodedTextBlock trial(block.channel, block.id, block.timestamp);
    trial.text = block.text;
    trial.snippets = block.snippets;
    trial.userData.reserve(block.userData.size());
    for (const UserData* annotation : block.userData) {
        if (annotation)
            trial.userData.append(new UserData(*annotation));
    }
    UserData* probe = incoming ? new UserData(*incoming) : nullptr;
    const QVector<UserData*> removed = ReplaceAnnotations(trial, probe, type, from, to);
    qDeleteAll(removed);
    // The probe is compared by address only: if moving annotations dropped it, it is gone.
    return HoldsTogether(trial) && (!probe || trial.userData.contains(probe));
}

} // namespace

bool DecodedTextData::SetUserData(QExplicitlySharedDataPointer<DecodedTextBlock> block,
                                  UserData* userData, const QString& type, int from, int to)
{
    if (!block || block->closed)
        return false;

    const bool isChange = type == UserData::ChangeType;
    UserData incoming;
    if (userData) {
        incoming = *userData;
        if (isChange) {
            // The host compares change texts in their normal form; the change keeps covering
            // exactly its new text.
            DataBlock scratch(-1, 0, 0);
            scratch.SetContent(userData->Text);
            incoming.Text = scratch.GetContent();
            incoming.End = ClampToInt(qint64(incoming.End) + incoming.Text.size()
                                      - userData->Text.size());
        }
        // An annotation must lie in the block; a change may reach past the current end by
        // the characters it adds.
        if (incoming.Start > incoming.End || incoming.Start < block->StartPosition())
            return false;
        if (isChange ? incoming.Start > block->EndPosition()
                     : incoming.End > block->EndPosition())
            return false;
    }
    if (isChange && HoldsTogether(*block)
        && !ReplacementHoldsTogether(*block, userData ? &incoming : nullptr, type, from, to))
        return false;
    if (userData) {
        userData->Text = incoming.Text;
        userData->End = incoming.End;
    }

    DataBlock carrier(-1, 0, 0);
    carrier.SetID(block->id);
    carrier.SetChannel(block->channel);
    carrier.SetContent(QStringLiteral("-"));
    TimeStamp stamp;
    stamp.Time = block->snippets.isEmpty() ? QDateTime() : block->snippets.first().timestamp;
    stamp.Position = block->StartPosition();
    carrier.GetTimeStamp().append(stamp);

    const QVector<UserData*> removed = ReplaceAnnotations(*block, userData, type, from, to);
    for (UserData* annotation : removed) {
        // Empty texts tell the host that the annotation is gone.
        annotation->Text = QString();
        annotation->ReplacedText = QString();
        annotation->Comment = QString();
        carrier.AddUserData(annotation);
    }
    if (userData)
        carrier.AddUserData(new UserData(*userData));

    if (!offline && block->channel != UserChannelID)
        emit SaveUserData(block->channel, carrier.GetXmlString());
    else
        block->MarkEdited(from);

    block->changed = true;
    return true;
}

QString DecodedTextData::GetModifier() const
{
    const QString name = UMM::ActiveUserProxy::instance().GetUserName();
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

QVector<int> DecodedTextData::GetChannelsWithActiveUserData()
{
    QVector<int> channels;
    for (const QExplicitlySharedDataPointer<DecodedTextBuffer>& buffer : qAsConst(buffers)) {
        if (!buffer)
            continue;
        for (const QExplicitlySharedDataPointer<DecodedTextBlock>& block : qAsConst(buffer->blocks)) {
            if (block && !block->closed && block->userDataCount > 0) {
                channels.append(buffer->channel);
                break;
            }
        }
    }
    return channels;
}

void DecodedTextData::ApplyUserChannel()
{
    for (const QExplicitlySharedDataPointer<DecodedTextBuffer>& buffer : qAsConst(buffers)) {
        if (!buffer || buffer->channel != UserChannelID)
            continue;
        const QExplicitlySharedDataPointer<DecodedTextBlock> block = buffer->LastBlock();
        if (!block)
            return;
        const QString edited = block->TakeEditedData();
        if (!edited.isEmpty())
            emit SaveUserData(block->channel, edited);
        return;
    }
}

UserData* DecodedTextBlock::FindUserData(const QString& type, int from, int to) const
{
    for (UserData* annotation : userData) {
        if (annotation && annotation->Type == type && Overlaps(*annotation, from, to))
            return annotation;
    }
    return nullptr;
}

void DecodedTextBlock::CollectUserData(const QString& type, int from, int to,
                                       QVector<UserData*>& out) const
{
    for (UserData* annotation : userData) {
        if (annotation && annotation->Type == type && Overlaps(*annotation, from, to))
            out.append(annotation);
    }
}

int DecodedTextBlock::UserDataFlags(int from, int to) const
{
    int flags = 1;
    for (const UserData* annotation : userData) {
        if (!annotation || !Overlaps(*annotation, from, to))
            continue;
        if (annotation->Type == UserData::CallSignType)
            flags |= 4;
        else if (annotation->Type == UserData::CommentType)
            flags |= 2;
        else if (annotation->Type == UserData::ChangeType)
            flags |= 8;
    }
    return flags;
}

void DecodedTextBlock::ToolTip(int position, QString& out, bool withTime) const
{
    if (position < 0)
        return;
    if (withTime && position < EndPosition()) {
        const QDateTime time = TimeAt(position, 0);
        if (time.isValid()) {
            const QDateTime utc(time.date(), time.time(), Qt::UTC);
            out += utc.toLocalTime().toString(QStringLiteral("hh:mm:ss"));
        }
    }
    for (const UserData* annotation : userData) {
        if (!annotation || annotation->Start > position || position > annotation->End)
            continue;
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        if (annotation->Type == UserData::CallSignType) {
            out += QCoreApplication::translate("DecodedTextData", "Call Sign: ")
                + annotation->CallSign;
        } else if (annotation->Type == UserData::ChangeType) {
            out += QCoreApplication::translate("DecodedTextData", "Change: ")
                + annotation->ReplacedText;
            if (!annotation->Comment.isEmpty()) {
                out += QLatin1Char('\n');
                out += QCoreApplication::translate("DecodedTextData", "Comment: ")
                    + annotation->Comment;
            }
        } else {
            out += QCoreApplication::translate("DecodedTextData", "Comment: ")
                + annotation->Comment;
        }
    }
}

int DecodedTextBlock::InsertTypedText(int index, int count, QString typed, DecodedTextData* model)
{
    if (index < 0 || index > text.size() || count < 0 || !PositionsAreIndices(*this))
        return -1;
    typed.replace(QChar(0x2029), QLatin1Char('\n'));
    if (qint64(index) + count > text.size()) {
        // The editor counts the end of its document as one more character than the block has.
        count = text.size() - index;
        if (typed.size() > 1)
            typed.chop(1);
    }
    if (typed.isEmpty() && count == 0)
        return -1;

    for (int i = 0; i < snippets.size(); ++i) {
        if (!ContainsPosition(snippets.at(i), index))
            continue;
        const int delta = typed.size() - count;
        ApplyLengthChange(index, index + count, delta, false);
        AdjustUserData(index, index + count, delta);
        text.replace(index, count, typed);
        changed = true;
        return snippets.at(i).start;
    }

    int result = index;
    int consumed = 0;
    if (!snippets.isEmpty() && !text.isEmpty() && !text.at(text.size() - 1).isSpace()) {
        // The word being typed continues the last run up to its first white space.
        while (consumed < typed.size() && !typed.at(consumed).isSpace())
            ++consumed;
        if (consumed < typed.size())
            ++consumed;
        DecodedTextSnippet& last = snippets.last();
        last.end += consumed;
        last.length += consumed;
        last.shift = consumed;
        last.flags |= SnippetEdited;
        result = last.start;
    }

    const QDateTime now = model ? model->GetTickCount() : QDateTime::currentDateTimeUtc();
    int wordStart = consumed;
    for (int k = consumed; k < typed.size(); ++k) {
        const bool lastCharacter = k == typed.size() - 1;
        if (!typed.at(k).isSpace() && !lastCharacter)
            continue;
        DecodedTextSnippet word;
        word.start = index + wordStart;
        word.end = index + k + 1;
        word.length = k + 1 - wordStart;
        word.quality = 100;
        word.flags = SnippetEdited;
        word.timestamp = now;
        snippets.append(word);
        wordStart = k + 1;
    }

    text.append(typed);
    changed = true;
    return result;
}

QString DecodedTextBlock::TakeEditedData()
{
    int first = -1;
    for (int i = 0; i < snippets.size(); ++i) {
        if (snippets.at(i).flags & SnippetEdited) {
            first = i;
            break;
        }
    }
    int startPosition = text.size();
    if (first >= 0) {
        // The whole run of one time goes out, not just its edited tail.
        while (first > 0 && snippets.at(first - 1).timestamp == snippets.at(first).timestamp)
            --first;
        startPosition = snippets.at(first).start;
    }
    if (startPosition >= text.size())
        return QString();

    try {
        DataBlock data(channel, startPosition, 0);
        WriteBlock(&data, startPosition, first);
        return data.GetXmlString();
    } catch (const VarnoResultDataException& e) {
        if (ErrorHandler::Instance().TraceMask() & 0x20) {
            _Q_Trace(QStringLiteral("TakeEditedData: %1").arg(e.GetMessage()),
                     QStringLiteral("controls\\decodedtextview\\decodedtextdata"), 920);
        }
    }
    return QString();
}

void DecodedTextBlock::ImportUserData(const QVector<UserData*>& incoming, int offset)
{
    const qint64 blockStart = StartPosition();
    const qint64 blockEnd = EndPosition();
    for (const UserData* annotation : incoming) {
        if (!annotation)
            continue;
        const qint64 from = qint64(annotation->Start) + offset;
        const qint64 to = qint64(annotation->End) + offset;
        // One that does not fit the block is left out; it must not cost the block the
        // annotations it already has.
        if (from > to || from < blockStart || to > blockEnd)
            continue;
        for (int k = userData.size() - 1; k >= 0; --k) {
            UserData* existing = userData.at(k);
            if (existing && existing->Type == annotation->Type
                && Overlaps(*existing, int(from), int(to))) {
                delete existing;
                userData.remove(k);
            }
        }
        UserData* copy = new UserData(*annotation);
        copy->Start = int(from);
        copy->End = int(to);
        userData.append(copy);
    }
}

void DecodedTextBlock::MarkEdited(int position)
{
    for (DecodedTextSnippet& snippet : snippets) {
        if (ContainsPosition(snippet, position)) {
            snippet.flags |= SnippetEdited;
            return;
        }
    }
}

void DecodedTextBlock::ApplyChangeText(UserData* change, int from, int to)
{
    // Moving the annotations may drop the change itself, so its values are read first.
    const int start = change->Start;
    const QString newText = change->Text;
    const QString replaced = change->ReplacedText;
    const int delta = newText.size() - replaced.size();
    ApplyLengthChange(from, to, delta, false);
    AdjustUserData(from, to, delta);
    text.replace(TextIndex(start), replaced.size(), newText);
}

int DecodedTextBlock::RevertChangeText(UserData* change)
{
    const int start = change->Start;
    const int end = change->End;
    const QString newText = change->Text;
    const QString replaced = change->ReplacedText;
    const int delta = replaced.size() - newText.size();
    ApplyLengthChange(start, end, delta, true);
    AdjustUserData(start, end, delta);
    text.replace(TextIndex(start), newText.size(), replaced);
    return delta;
}

void DecodedTextBlock::ApplyLengthChange(int from, int to, int delta, bool revert)
{
    int lowest = -1;
    qint64 remaining = SpreadLengthChange(snippets, from, to, delta,
                                          revert ? Spread::Undo : Spread::Specified, lowest);
    // What the runs gave back need not add up when a later change in the same run overwrote
    // its shift, and the limits can leave a rest; the text changes by the whole delta, so the
    // rest is spread as well.
    if (remaining != 0 && revert)
        remaining = SpreadLengthChange(snippets, from, to, remaining, Spread::Specified, lowest);
    if (remaining != 0)
        SpreadLengthChange(snippets, from, to, remaining, Spread::Forced, lowest);

    if (lowest < 0)
        return;
    for (int i = lowest + 1; i < snippets.size(); ++i) {
        DecodedTextSnippet& s = snippets[i];
        const qint64 width = qint64(s.end) - s.start;
        s.start = snippets.at(i - 1).end;
        s.end = ClampToInt(qint64(s.start) + width);
    }
}
