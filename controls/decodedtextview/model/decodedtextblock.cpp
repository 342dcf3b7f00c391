#include "decodedtextblock.h"

#include "varnoresultdataxml.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>

using VarnoResultDataXml::UserData;

namespace {

// Positions and counts arrive from widgets and decoders unchecked; sums are formed in 64 bits
// and brought back into int range only at the end.
int ClampToInt(qint64 value)
{
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// The furthest position an annotation reaches for AdjustUserData: one that starts below 0 is
// deleted by any adjustment, so it reaches everywhere.
qint64 Reach(const UserData* annotation)
{
    if (annotation->Start < 0)
        return std::numeric_limits<qint64>::max();
    return qMax(qint64(annotation->Start) + 1, qint64(annotation->End));
}

// Index of the first place where two lists of annotations differ, up to n: compared a chunk at
// a time, as this runs on every edit of a long block.
int FirstDifference(const UserData* const* a, const UserData* const* b, int n)
{
    constexpr int Chunk = 64;
    int k = 0;
    while (k + Chunk <= n && std::memcmp(a + k, b + k, Chunk * sizeof(*a)) == 0)
        k += Chunk;
    while (k < n && a[k] == b[k])
        ++k;
    return k;
}

bool Contains(const DecodedTextSnippet& snippet, int position)
{
    return snippet.start <= position && position < snippet.end;
}

} // namespace

DecodedTextBlock::DecodedTextBlock(int channel_, int id_, const QDateTime& timestamp_)
    : channel(channel_), id(id_), timestamp(timestamp_)
{
}

DecodedTextBlock::~DecodedTextBlock()
{
    Clear();
}

int DecodedTextBlock::StartPosition() const
{
    return snippets.isEmpty() ? 0 : snippets.first().start;
}

int DecodedTextBlock::EndPosition() const
{
    return snippets.isEmpty() ? 0 : snippets.last().end;
}

int DecodedTextBlock::TextIndex(int position) const
{
    if (snippets.isEmpty() || position <= snippets.first().start)
        return 0;
    qint64 index = 0;
    for (const DecodedTextSnippet& snippet : snippets) {
        if (Contains(snippet, position))
            return ClampToInt(index + position - snippet.start);
        index += snippet.length;
    }
    return ClampToInt(index);
}

int DecodedTextBlock::PositionOfIndex(int index) const
{
    if (snippets.isEmpty())
        return 0;
    if (index <= 0)
        return snippets.first().start;
    int remainder = index;
    for (const DecodedTextSnippet& snippet : snippets) {
        if (snippet.length > remainder)
            return ClampToInt(qint64(snippet.start) + remainder);
        remainder -= snippet.length;
    }
    return snippets.last().end;
}

int DecodedTextBlock::IndexOfPosition(int position, int fromSnippet) const
{
    for (int i = qMax(fromSnippet, 0); i < snippets.size(); ++i) {
        if (Contains(snippets.at(i), position))
            return i;
    }
    return -1;
}

bool DecodedTextBlock::IsGap(int i) const
{
    return i >= 0 && i < snippets.size() && (snippets.at(i).flags & SnippetGap);
}

bool DecodedTextBlock::HasQuality() const
{
    for (int i = snippets.size() - 1; i >= 0; --i) {
        if (snippets.at(i).quality >= 0)
            return true;
    }
    return false;
}

QString DecodedTextBlock::Text(int fromPosition, int toPosition) const
{
    // A reversed range holds no text (mid would read a negative count as "to the end").
    const qint64 count = qint64(toPosition) - fromPosition;
    if (count <= 0)
        return QString();
    return text.mid(TextIndex(fromPosition), ClampToInt(count));
}

// Index in the text of snippet i's first character. The snippets own the text between them
// (their lengths add up to its size), so it is counted from the nearer end: the newest runs of
// a long open block, which every append asks for, are found at once.
static int TextIndexOfSnippet(const DecodedTextBlock& block, int i)
{
    const int count = block.snippets.size();
    qint64 index = 0;
    if (i <= count / 2) {
        for (int k = 0; k < i; ++k)
            index += block.snippets.at(k).length;
    } else {
        index = block.text.size();
        for (int k = count - 1; k >= i; --k)
            index -= block.snippets.at(k).length;
    }
    return ClampToInt(index);
}

QString DecodedTextBlock::SnippetText(int i) const
{
    if (i < 0 || i >= snippets.size())
        return QString();
    return text.mid(TextIndexOfSnippet(*this, i), snippets.at(i).length);
}

QString DecodedTextBlock::TextFromSnippet(int i) const
{
    if (i < 0 || i >= snippets.size())
        return QString();
    return text.mid(TextIndexOfSnippet(*this, i));
}

QDateTime DecodedTextBlock::SnippetTime(int i) const
{
    if (i < 0 || i >= snippets.size())
        return QDateTime();
    return snippets.at(i).timestamp;
}

QDateTime DecodedTextBlock::TimeAt(int position, int fromSnippet) const
{
    if (snippets.isEmpty())
        return QDateTime();
    const int i = IndexOfPosition(position, fromSnippet);
    return i < 0 ? snippets.last().timestamp : snippets.at(i).timestamp;
}

QDateTime DecodedTextBlock::LastTimestamp() const
{
    return snippets.isEmpty() ? QDateTime() : snippets.last().timestamp;
}

int DecodedTextBlock::FirstVisiblePosition(const DecodedTextSnippet& snippet) const
{
    if (snippet.length <= 0)
        return -1;
    // One of our own snippets is located by identity, which also holds for zero-width runs that
    // own characters; a copy is located by its start position.
    int index = -1;
    int sum = 0;
    for (const DecodedTextSnippet& own : snippets) {
        if (&own == &snippet) {
            index = sum;
            break;
        }
        sum += own.length;
    }
    if (index < 0)
        index = TextIndex(snippet.start);
    const int last = qMin(qint64(index) + snippet.length, qint64(text.size()));
    for (int k = index; k < last; ++k) {
        if (text.at(k) != QLatin1Char('\n'))
            return ClampToInt(qint64(snippet.start) + (k - index));
    }
    return -1;
}

int DecodedTextBlock::PositionSpan(int i, int position, int count) const
{
    // A negative count covers nothing; a count of 0 is answered like any other.
    if (i < 0 || i >= snippets.size() || count < 0)
        return 0;
    const DecodedTextSnippet& snippet = snippets.at(i);
    if (!Contains(snippet, position))
        return 0;
    const qint64 width = qint64(snippet.end) - snippet.start;
    if (snippet.flags & SnippetGap) {
        // A one-character gap stands for its whole width; of a two-character gap the first line
        // break takes one position and the empty line the rest.
        if (snippet.length < 2)
            return ClampToInt(width);
        return position == snippet.start ? 1 : ClampToInt(width - 1);
    }
    const qint64 available = qint64(snippet.end) - position;
    if (count <= available)
        return count;
    qint64 remaining = count - available;
    qint64 span = available;
    for (int k = i + 1; k < snippets.size(); ++k) {
        const DecodedTextSnippet& next = snippets.at(k);
        if (next.length > remaining)
            return ClampToInt(span + remaining);
        remaining -= next.length;
        span += qint64(next.end) - next.start;
    }
    return ClampToInt(span);
}

bool DecodedTextBlock::AppendGap(int startPosition, int endPosition, const QString& newText)
{
    if (!snippets.isEmpty() && (snippets.last().flags & SnippetGap)) {
        DecodedTextSnippet& gap = snippets.last();
        // An end in front of the gap's start would give it a negative width.
        if (endPosition >= gap.start)
            gap.end = endPosition;
        return false;
    }
    // A gap that does not continue the position space or ends before it starts would break the
    // chain every mapping relies on.
    if (startPosition != EndPosition() || endPosition < startPosition)
        return false;

    const QLatin1Char lineBreak('\n');
    const bool needsEmptyLine =
        !newText.endsWith(lineBreak) && !text.isEmpty() && !text.endsWith(lineBreak);
    const QString separator = needsEmptyLine ? QStringLiteral("\n\n") : QStringLiteral("\n");

    DecodedTextSnippet gap;
    gap.length = separator.size();
    gap.start = startPosition;
    gap.end = endPosition;
    gap.quality = 0;
    gap.flags = SnippetGap;
    gap.timestamp = snippets.isEmpty() ? timestamp : snippets.last().timestamp;
    snippets.append(gap);
    text.append(separator);
    return true;
}

void DecodedTextBlock::TruncateFrom(int position)
{
    const int first = IndexOfPosition(position, 0);
    if (first < 0)
        return;
    int keep = 0;
    for (int k = 0; k < first; ++k)
        keep += snippets.at(k).length;
    snippets.erase(snippets.begin() + first, snippets.end());
    text.truncate(keep);
}

int DecodedTextBlock::TrimFront(int excess)
{
    if (snippets.isEmpty())
        return 0;
    const int cut = PositionOfIndex(excess);

    int removedSnippets = 0;
    int removedCharacters = 0;
    while (removedSnippets < snippets.size() && snippets.at(removedSnippets).end <= cut) {
        removedCharacters += snippets.at(removedSnippets).length;
        ++removedSnippets;
    }
    if (removedSnippets > 0) {
        snippets.erase(snippets.begin(), snippets.begin() + removedSnippets);
        text.remove(0, removedCharacters);
        if (!snippets.isEmpty()) {
            // The remaining snippets keep their positions, so the annotations stay valid; the
            // leading gap fills the position space from 0 up to them.
            DecodedTextSnippet gap;
            gap.length = 1;
            gap.start = 0;
            gap.end = snippets.first().start;
            gap.quality = 0;
            gap.flags = SnippetGap;
            gap.timestamp = timestamp;
            snippets.prepend(gap);
            text.prepend(QLatin1Char('\n'));
        }
    }

    for (int k = userData.size() - 1; k >= 0; --k) {
        if (userData.at(k)->End < cut) {
            ForgetAnnotationsFrom(k);
            delete userData.at(k);
            userData.remove(k);
        }
    }
    return removedCharacters;
}

int DecodedTextBlock::Clear()
{
    const int former = text.size();
    text.clear();
    contentCode.clear();
    snippets.clear();
    streamPosition = 0;
    for (int k = userData.size() - 1; k >= 0; --k)
        delete userData.at(k);
    userData.clear();
    ForgetAnnotationsFrom(0);
    userDataCount = 0;
    rightToLeft = false;
    closed = false;
    changed = false;
    return former;
}

void DecodedTextBlock::AdjustUserData(int from, int to, int delta)
{
    const qint64 end = EndPosition();
    // An annotation that starts at or after 0 and ends by both from and to lies before the
    // edit: none of the rules moves or deletes it as long as from is inside the block (to may
    // lie below from when a change is taken back). The merge inserts
    // near the end of a long aggregation block, so most of its channel marks are such; the
    // leading run of them is known from the last walk, as long as the same objects still
    // stand in the same places (every removal in the block forgets what was learnt from it
    // on, so a deleted annotation's address cannot be mistaken for a live one).
    int first = 0;
    if (from <= end) {
        const qint64 before = qMin(from, to);
        const int known = int(std::upper_bound(reachUpTo.cbegin(), reachUpTo.cend(), before)
                              - reachUpTo.cbegin());
        const int limit = qMin(known, userData.size());
        first = FirstDifference(userData.constData(), reachOwners.constData(), limit);
    }

    for (int k = userData.size() - 1; k >= first; --k) {
        UserData* annotation = userData.at(k);
        qint64 start = annotation->Start;
        qint64 stop = annotation->End;
        if (start < from && from < stop) {
            stop += delta;
            if (stop <= start)
                stop = start + 1;
        } else if (start < to) {
            if (from < start) {
                start += delta;
                stop += delta;
            }
        } else if (!(from == to && start == to && stop == qint64(from) + delta)) {
            start += delta;
            stop += delta;
        }
        if (start < 0 || stop > end) {
            delete annotation;
            userData.remove(k);
            continue;
        }
        annotation->Start = ClampToInt(start);
        annotation->End = ClampToInt(stop);
    }

    reachOwners.resize(first);
    reachUpTo.resize(first);
    qint64 upTo = first > 0 ? reachUpTo.at(first - 1) : std::numeric_limits<qint64>::min();
    for (int k = first; k < userData.size(); ++k) {
        upTo = qMax(upTo, Reach(userData.at(k)));
        reachOwners.append(userData.at(k));
        reachUpTo.append(upTo);
    }
}

void DecodedTextBlock::ForgetAnnotationsFrom(int index)
{
    if (index <= 0) {
        // Shrinking and clearing keep the storage; forgetting all gives it back.
        reachOwners = QVector<UserData*>();
        reachUpTo = QVector<qint64>();
    } else if (index < reachOwners.size()) {
        reachOwners.resize(index);
        reachUpTo.resize(index);
    }
}

bool DecodedTextBlock::ApplySeparators(int fromSnippet, const QString& separator, bool insert)
{
    // There is no run to start from outside the list.
    if (fromSnippet < 0 || fromSnippet >= snippets.size())
        return false;
    const int separatorLength = separator.size();
    // The merge calls this for the runs it touched at the end of a long block: count the text
    // index back from the end, so the cost follows those runs, not the whole block.
    int index = text.size();
    for (int k = fromSnippet; k < snippets.size(); ++k)
        index -= snippets.at(k).length;

    bool textChanged = false;
    int delta = 0;
    for (int k = fromSnippet; k < snippets.size(); ++k) {
        DecodedTextSnippet& snippet = snippets[k];
        snippet.start += delta;
        snippet.end += delta;
        if (insert && (snippet.flags & SnippetSeparatorWanted)) {
            if (!(snippet.flags & SnippetSeparatorInserted)) {
                snippet.flags |= SnippetSeparatorInserted;
                text.insert(index, separator);
                snippet.length += separatorLength;
                snippet.end += separatorLength;
                ForgetAnnotationsFrom(0);
                for (UserData* annotation : qAsConst(userData)) {
                    if (annotation->Start >= snippet.start) {
                        annotation->Start += separatorLength;
                        annotation->End += separatorLength;
                    }
                }
                delta += separatorLength;
                textChanged = textChanged || separatorLength > 0;
            }
        } else if (snippet.flags & SnippetSeparatorInserted) {
            snippet.flags &= ~SnippetSeparatorInserted;
            if (snippet.length >= separatorLength
                && text.midRef(index, separatorLength) == separator) {
                text.remove(index, separatorLength);
                snippet.length -= separatorLength;
                snippet.end -= separatorLength;
                ForgetAnnotationsFrom(0);
                for (UserData* annotation : qAsConst(userData)) {
                    if (annotation->Start > snippet.start) {
                        annotation->Start -= separatorLength;
                        annotation->End -= separatorLength;
                    }
                }
                delta -= separatorLength;
                textChanged = textChanged || separatorLength > 0;
            }
        }
        index += snippet.length;
    }
    return textChanged;
}
