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

// The invariants every mapping between positions and text relies on: the runs chain without
// holes, every data run owns as many characters as it is wide, and the text is exactly as long
// as the runs together. What a gap owns is not looked at: a change across a gap may leave it
// owning the new characters, which the mappings cope with.
bool KeepsInvariants(const DecodedTextBlock& block)
{
    qint64 total = 0;
    for (int i = 0; i < block.snippets.size(); ++i) {
        const DecodedTextSnippet& s = block.snippets.at(i);
        if (i > 0 && s.start != block.snippets.at(i - 1).end)
            return false;
        if (s.end < s.start || s.length < 0)
            return false;
        if (!(s.flags & SnippetGap) && qint64(s.end) - s.start != s.length)
            return false;
        total += s.length;
    }
    return total == block.text.size();
}

// Typing addresses the block by text index, which is only the position where every position
// is one character: no gaps, the first run at 0, the runs in step with the text. The user
// channel's blocks are always like that; any other block is refused rather than edited at the
// wrong place.
bool PositionsAreIndices(const DecodedTextBlock& block)
{
    if (!block.snippets.isEmpty() && block.snippets.first().start != 0)
        return false;
    for (const DecodedTextSnippet& s : block.snippets) {
        if (s.flags & SnippetGap)
            return false;
    }
    return KeepsInvariants(block);
}

enum class Spread {
    Specified, // the limits a run has by where it lies in the range
    Undo,      // each run gives back what it took last
    Forced     // whatever is still left, so that the runs always own the text
};

// One backward walk over the runs of [from, to] that lets them take part of the remaining
// length change. Returns what is still left; lowest is the lowest index touched. A run touched
// by an earlier walk of the same length change adds to its shift, so that undoing it later
// gives back all it took.
qint64 SpreadLengthChange(QList<DecodedTextSnippet>& snippets, qint64 from, qint64 to,
                          qint64 remaining, Spread mode, int& lowest, QVector<bool>& touched)
{
    for (int i = snippets.size() - 1; i >= 0 && remaining != 0; --i) {
        DecodedTextSnippet& s = snippets[i];
        if (s.start > to)
            continue;
        if (s.end < from)
            break;
        // A gap owns its line breaks, not positions' worth of characters: its length is not
        // its width, so "length = end - start" would put the text and the runs out of step.
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
        s.shift = touched.at(i) ? ClampToInt(qint64(s.shift) + taken) : static_cast<int>(taken);
        touched[i] = true;
        s.flags |= SnippetEdited;
        remaining -= taken;
        lowest = lowest < 0 ? i : qMin(lowest, i);
    }
    return remaining;
}

// The heart of storing an annotation: the annotations of the type that overlap the range are
// taken out (a change gives its characters back first, while it is still in the block), then
// the new one goes in.
struct Replacement
{
    QVector<UserData*> removed; // out of the block, owned by the caller
    UserData* sent = nullptr;   // copy of the new annotation for the host, owned by the caller
    qint64 restored = 0;
};

Replacement ReplaceAnnotations(DecodedTextBlock& block, UserData* incoming, const QString& type,
                               int from, int to)
{
    const bool isChange = type == UserData::ChangeType;
    Replacement result;
    const QVector<UserData*> candidates = block.userData;
    for (int k = candidates.size() - 1; k >= 0; --k) {
        UserData* annotation = candidates.at(k);
        // Giving a change's characters back moves the other annotations and can drop some, so
        // the list is walked over a copy and each one is looked up again (by address only,
        // since a dropped one is gone). Without changes nothing is dropped, and taking one out
        // leaves the lower indices as they were.
        const int at = isChange ? block.userData.indexOf(annotation) : k;
        if (at < 0 || !annotation)
            continue;
        if (annotation->Type != type || !Overlaps(*annotation, from, to))
            continue;
        if (isChange) {
            // The change moves with the others while its characters go back, and the host must
            // still hear of it even if that pushes it out of the block; a copy stands in then.
            const UserData before(*annotation);
            result.restored += block.RevertChangeText(annotation);
            const int still = block.userData.indexOf(annotation);
            if (still >= 0)
                block.userData.remove(still);
            else
                annotation = new UserData(before);
        } else {
            block.userData.remove(at);
        }
        --block.userDataCount;
        annotation->Text = QString();
        annotation->ReplacedText = QString();
        annotation->Comment = QString();
        result.removed.append(annotation);
    }

    if (incoming) {
        int at = 0;
        while (at < block.userData.size() && block.userData.at(at)
               && block.userData.at(at)->Start <= incoming->Start)
            ++at;
        block.userData.insert(at, incoming);
        ++block.userDataCount;
        if (isChange) {
            // An edit can push the new change out of the block, which then deletes it; the host
            // still gets the change as it was stored.
            const UserData before(*incoming);
            block.ApplyChangeText(incoming, from, ClampToInt(qint64(to) + result.restored));
            if (!block.userData.contains(incoming))
                result.sent = new UserData(before);
        }
        if (!result.sent)
            result.sent = new UserData(*incoming);
    }
    return result;
}

// Runs the replacement on a copy of the block and tells whether its runs and text would still
// be in step. A change whose replaced text does not match its range (more characters than the
// range holds, or a range past the runs) would otherwise leave them out of step for good.
bool ReplacementKeepsInvariants(const DecodedTextBlock& block, const UserData* incoming,
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
    const Replacement result = ReplaceAnnotations(trial, probe, type, from, to);
    qDeleteAll(result.removed);
    delete result.sent;
    return KeepsInvariants(trial);
}

} // namespace

bool DecodedTextData::SetUserData(QExplicitlySharedDataPointer<DecodedTextBlock> block,
                                  UserData* userData, const QString& type, int from, int to)
{
    if (!block || block->closed)
        return false;

    const bool isChange = type == UserData::ChangeType;
    QString normalised;
    if (userData) {
        if (isChange) {
            DataBlock scratch(-1, 0, 0);
            scratch.SetContent(userData->Text);
            normalised = scratch.GetContent();
        }
        // An annotation that is reversed or lies outside the block is refused, so that it cannot
        // take the block's annotations with it; a change's own range is that of its new text and
        // may reach past the current end by the characters it adds.
        if (userData->Start > userData->End || userData->Start < block->StartPosition())
            return false;
        if (isChange ? userData->Start > block->EndPosition()
                     : userData->End > block->EndPosition())
            return false;
    }
    if (isChange && KeepsInvariants(*block)) {
        UserData probe;
        if (userData) {
            probe = *userData;
            probe.Text = normalised;
        }
        if (!ReplacementKeepsInvariants(*block, userData ? &probe : nullptr, type, from, to))
            return false;
    }
    if (userData && isChange)
        userData->Text = normalised;

    DataBlock carrier(-1, 0, 0);
    carrier.SetID(block->id);
    carrier.SetChannel(block->channel);
    carrier.SetContent(QStringLiteral("-"));
    TimeStamp stamp;
    stamp.Time = block->snippets.isEmpty() ? QDateTime() : block->snippets.first().timestamp;
    stamp.Position = block->StartPosition();
    carrier.GetTimeStamp().append(stamp);

    const Replacement result = ReplaceAnnotations(*block, userData, type, from, to);
    // The replaced annotations are deleted with the carrier below.
    block->ForgetAnnotationsFrom(0);
    // Empty texts tell the host that these annotations are gone.
    for (UserData* annotation : result.removed)
        carrier.AddUserData(annotation);
    if (result.sent)
        carrier.AddUserData(result.sent);

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
    // A negative count removes nothing that exists; see PositionsAreIndices for the rest.
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
    const qint64 lastCharacter = qMax(blockStart, blockEnd - 1);
    // What one delivery brings replaces what the block held, never another annotation of the
    // same delivery: an export lists annotations that touch each other, and reading it back
    // must keep them all.
    int held = userData.size();
    for (const UserData* annotation : incoming) {
        // A reversed range has no meaning to keep.
        if (!annotation || annotation->End < annotation->Start)
            continue;
        // An export writes the widths of gaps that its text lacks, so an annotation read back
        // may begin or end past the text. It is kept, moved inside the text, rather than lost.
        const qint64 width = qint64(annotation->End) - annotation->Start;
        const qint64 from = qBound(blockStart, qint64(annotation->Start) + offset, lastCharacter);
        const qint64 to = qBound(from, qMax(from + qMin<qint64>(width, 1), qint64(annotation->End) + offset),
                                 qMax(from, blockEnd));
        for (int k = held - 1; k >= 0; --k) {
            UserData* existing = userData.at(k);
            if (existing && existing->Type == annotation->Type
                && Overlaps(*existing, int(from), int(to))) {
                ForgetAnnotationsFrom(k);
                delete existing;
                userData.remove(k);
                --held;
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
    // The values are read first: moving the annotations may move or drop the change itself,
    // and its characters belong where the runs were changed.
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
    // Read first for the same reason: a change that left nothing of its range (empty new text)
    // moves with the annotations behind it, but its characters go back where it started.
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
    QVector<bool> touched(snippets.size(), false);
    qint64 remaining = SpreadLengthChange(snippets, from, to, delta,
                                          revert ? Spread::Undo : Spread::Specified, lowest,
                                          touched);
    // The walk alone can leave a rest: what the runs give back need not add up when a later
    // change in the same run overwrote its shift, and the limits of the runs at the ends of the
    // range can be smaller than the change. The text changes by the whole delta, so the rest is
    // spread as well; otherwise the runs would no longer own the text.
    if (remaining != 0 && revert)
        remaining = SpreadLengthChange(snippets, from, to, remaining, Spread::Specified, lowest,
                                       touched);
    if (remaining != 0)
        SpreadLengthChange(snippets, from, to, remaining, Spread::Forced, lowest, touched);

    if (lowest < 0)
        return;
    // Everything after the lowest run touched follows on from it. A gap keeps its width: after
    // the range that is the same as moving it by the whole delta, and a gap between touched runs
    // would overlap its neighbours if it moved by more than the runs before it.
    for (int i = lowest + 1; i < snippets.size(); ++i) {
        DecodedTextSnippet& s = snippets[i];
        const qint64 width = qint64(s.end) - s.start;
        s.start = snippets.at(i - 1).end;
        s.end = ClampToInt(qint64(s.start) + width);
    }
}
