#include "decodedtextbuffer.h"

#include <algorithm>
#include <climits>
#include <limits>

// GetBlock and Trim run for every data block of every transmission, and a large buffer holds
// tens of thousands of blocks, so neither walks them all each time. What they learn of the
// blocks is checked before it is used, because any code may change the public fields:
// - The learnt list shares the data of `blocks`. Whoever changes the list makes it detach from
//   that copy, and then everything is learnt anew. The buffer lets go of the copy before it
//   changes the list itself, so that its own changes copy nothing.
// - GetBlock answers for the newest block by looking at it. Any other block found through the
//   index of keys is looked at in the list before it is returned; if its key no longer
//   matches, the blocks are searched one by one as if there were no index.
// - Trim reads again the blocks that can have changed since it last looked: the newest one
//   then and everything after it, the oldest (FirstBlock hands it out), and the older blocks
//   that GetBlock handed out since.
// What is not checked: the key (timestamp and id) of a block once it is in the list, and the
// text and snippets of an older block written to through a pointer kept from before Trim last
// looked. The model itself writes only to the blocks named above.

namespace {

using BlockPointer = QExplicitlySharedDataPointer<DecodedTextBlock>;

// Older blocks handed out before Trim looks again; past this many, everything is learnt anew,
// so that a buffer that is never trimmed does not collect them.
constexpr int HandedOutLimit = 64;

bool HasKey(const BlockPointer& block, const QDateTime& timestamp, int id)
{
    return block && block->timestamp == timestamp && block->id == id;
}

// Equal keys must land on one entry: valid timestamps are equal when their milliseconds since
// the epoch are, and every invalid timestamp equals every other. The converse is not relied on;
// a block found through the index is always compared itself.
QPair<qint64, int> KeyOf(const QDateTime& timestamp, int id)
{
    return qMakePair(timestamp.isValid() ? timestamp.toMSecsSinceEpoch()
                                         : std::numeric_limits<qint64>::min(),
                     id);
}

} // namespace

DecodedTextBuffer::DecodedTextBuffer(int channel_) : channel(channel_) {}

DecodedTextBuffer::~DecodedTextBuffer() = default;

QExplicitlySharedDataPointer<DecodedTextBlock> DecodedTextBuffer::LastBlock() const
{
    return blocks.isEmpty() ? QExplicitlySharedDataPointer<DecodedTextBlock>() : blocks.last();
}

QExplicitlySharedDataPointer<DecodedTextBlock> DecodedTextBuffer::FirstBlock() const
{
    return blocks.isEmpty() ? QExplicitlySharedDataPointer<DecodedTextBlock>() : blocks.first();
}

QExplicitlySharedDataPointer<DecodedTextBlock> DecodedTextBuffer::GetBlock(const QDateTime& timestamp,
                                                                           int id)
{
    // More data for the newest block, the common case, needs nothing learnt.
    if (!blocks.isEmpty() && HasKey(blocks.constLast(), timestamp, id))
        return blocks.constLast();

    if (!SeenIsCurrent())
        LearnBlocks();
    const auto found = newestWithKey.constFind(KeyOf(timestamp, id));
    if (found != newestWithKey.constEnd()) {
        const int index = IndexOfLabel(found.value());
        if (index >= 0 && HasKey(blocks.at(index), timestamp, id)) {
            if (handedOut.size() >= HandedOutLimit) {
                handedOut.clear();
                ForgetBlocks();
            } else if (handedOut.isEmpty() || handedOut.constLast() != index) {
                handedOut.append(index);
            }
            return blocks.at(index);
        }
        // A key was changed after it was learnt.
        ForgetBlocks();
        for (int i = blocks.size() - 1; i >= 0; --i) {
            if (HasKey(blocks.at(i), timestamp, id))
                return blocks.at(i);
        }
    }

    const bool current = SeenIsCurrent();
    // Let go of the learnt copy first, or appending would copy the whole list.
    seenList = QList<BlockPointer>();
    if (!blocks.isEmpty())
        blocks.constLast()->closed = true;
    BlockPointer block(new DecodedTextBlock(channel, id, timestamp));
    blocks.append(block);
    if (current) {
        SeenBlock entry;
        entry.label = nextLabel++;
        seen.append(entry);
        ++seenEmpty;
        newestWithKey.insert(KeyOf(timestamp, id), entry.label);
        seenList = blocks;
    } else {
        learnt = false;
    }
    return block;
}

bool DecodedTextBuffer::Trim(int bufferSize)
{
    const qint64 margin = hold ? bufferSize / 2 : bufferSize / 10;
    const qint64 limit = qint64(bufferSize) + margin;
    CatchUp();

    // Walking from the newest block to the oldest and adding up their lengths, a held buffer
    // is only marked once the total passes the limit, and a buffer within its limit loses
    // nothing but its blocks without snippets.
    if (hold) {
        if (seenLength > limit)
            overflow = true;
        return false;
    }
    if (seenLength <= limit && seenEmpty == 0)
        return false;

    // The oldest blocks, up to the one in which that total passes the limit, are trimmed with
    // the total reached at each (its own length counted before it is trimmed; the total is
    // never reduced). They are found from the oldest end, where they are.
    const int count = blocks.size();
    int over = 0;
    qint64 total = seenLength;
    while (over < count && total > limit)
        total -= Entry(over++).length;
    bool changed = false;
    for (int i = over - 1; i >= 0; --i) {
        total += Entry(i).length;
        // Sums near the int limits are formed in 64 bits; an excess past INT_MAX removes
        // everything, as INT_MAX does.
        const qint64 excess = qMin(total - bufferSize, qint64(INT_MAX));
        if (blocks.at(i)->TrimFront(static_cast<int>(excess)) > 0)
            changed = true;
        Relearn(i);
    }
    return RemoveEmptyBlocks(over) || changed;
}

namespace {

// The end of text.simplified(), at least need characters of it (all of it when shorter). The
// simplified end of a tail is the end of the simplified whole, so a long open transmission,
// whose ticker is asked for on every piece, is not simplified as a whole each time.
QString SimplifiedTail(const QString& text, int need)
{
    for (qint64 take = qint64(qMax(need, 0)) * 2 + 16;; take *= 2) {
        if (take >= text.size())
            return text.simplified();
        const QString tail = text.right(int(take)).simplified();
        if (tail.size() >= need)
            return tail;
    }
}

} // namespace

QString DecodedTextBuffer::TickerText(int maxLength) const
{
    // A negative length leaves no room (right() would read it as "the whole string").
    const int limit = qMax(maxLength, 0);
    QString ticker;
    for (int i = blocks.size() - 1; i >= 0; --i) {
        // Counted wide: a limit of INT_MAX asks for everything.
        const qint64 room = qint64(limit) + 1 - ticker.size();
        ticker.prepend(SimplifiedTail(blocks.at(i)->text, int(qMin<qint64>(room, INT_MAX)))
                       + QLatin1Char(' '));
        if (ticker.size() > limit)
            return ticker.right(limit);
    }
    return ticker;
}

void DecodedTextBuffer::RemoveOldBlocks()
{
    ForgetBlocks();
    if (blocks.size() > 1)
        blocks.erase(blocks.begin(), blocks.end() - 1);
    if (!blocks.isEmpty() && blocks.last()->snippets.isEmpty())
        blocks.removeLast();
}

bool DecodedTextBuffer::SeenIsCurrent() const
{
    return learnt && seenList.isSharedWith(blocks) && seen.size() - seenFront == blocks.size();
}

void DecodedTextBuffer::LearnBlocks()
{
    const int count = blocks.size();
    seen.resize(count);
    seenFront = 0;
    seenLength = 0;
    seenEmpty = 0;
    newestWithKey.clear();
    newestWithKey.reserve(count);
    duplicateKeys = false;
    for (int i = 0; i < count; ++i) {
        const BlockPointer& block = blocks.at(i);
        SeenBlock& entry = seen[i];
        entry.label = i;
        entry.length = block ? block->text.size() : 0;
        entry.empty = block && block->snippets.isEmpty();
        seenLength += entry.length;
        seenEmpty += entry.empty ? 1 : 0;
        if (!block)
            continue;
        // Oldest first, so that a key held by several blocks ends up with the newest.
        const QPair<qint64, int> key = KeyOf(block->timestamp, block->id);
        duplicateKeys = duplicateKeys || newestWithKey.contains(key);
        newestWithKey.insert(key, entry.label);
    }
    nextLabel = count;
    relearnFrom = qMax(count - 1, 0);
    seenList = blocks;
    learnt = true;
}

void DecodedTextBuffer::ForgetBlocks()
{
    learnt = false;
    seenList = QList<BlockPointer>();
}

void DecodedTextBuffer::CatchUp()
{
    if (SeenIsCurrent()) {
        for (int index : qAsConst(handedOut))
            Relearn(index);
        if (!blocks.isEmpty())
            Relearn(0);
        for (int i = relearnFrom; i < blocks.size(); ++i)
            Relearn(i);
    } else {
        LearnBlocks();
    }
    handedOut.clear();
    relearnFrom = qMax(blocks.size() - 1, 0);
}

void DecodedTextBuffer::Relearn(int index)
{
    if (index < 0 || index >= blocks.size())
        return;
    const BlockPointer& block = blocks.at(index);
    SeenBlock& entry = Entry(index);
    const int length = block ? block->text.size() : 0;
    const bool empty = block && block->snippets.isEmpty();
    seenLength += length - entry.length;
    seenEmpty += (empty ? 1 : 0) - (entry.empty ? 1 : 0);
    entry.length = length;
    entry.empty = empty;
}

DecodedTextBuffer::SeenBlock& DecodedTextBuffer::Entry(int index)
{
    return seen[seenFront + index];
}

int DecodedTextBuffer::IndexOfLabel(qint64 label) const
{
    const auto first = seen.constBegin() + seenFront;
    const auto at = std::lower_bound(first, seen.constEnd(), label,
                                     [](const SeenBlock& entry, qint64 wanted) {
                                         return entry.label < wanted;
                                     });
    return at != seen.constEnd() && at->label == label ? int(at - first) : -1;
}

// Removes every block without snippets, as the walk does with each one it passes. They are
// looked for among the blocks just trimmed at the front, and from the newest down until as many
// are found as were counted.
bool DecodedTextBuffer::RemoveEmptyBlocks(int trimmed)
{
    if (seenEmpty == 0)
        return false;
    QVector<int> gone;
    for (int i = 0; i < trimmed; ++i) {
        if (Entry(i).empty)
            gone.append(i);
    }
    int missing = seenEmpty - gone.size();
    const int before = gone.size();
    for (int i = blocks.size() - 1; i >= trimmed && missing > 0; --i) {
        if (Entry(i).empty) {
            gone.insert(before, i);
            --missing;
        }
    }

    // Let go of the learnt copy, or the changes would copy the whole list.
    seenList = QList<BlockPointer>();
    int front = 0;
    while (front < gone.size() && gone.at(front) == front)
        ++front;
    // From the newest, so that the indices still to go stay put; then the run at the front at once.
    for (int k = gone.size() - 1; k >= front; --k) {
        const int index = gone.at(k);
        ForgetKey(index);
        seenLength -= Entry(index).length;
        seen.remove(seenFront + index);
        blocks.removeAt(index);
    }
    for (int index = 0; index < front; ++index) {
        ForgetKey(index);
        seenLength -= Entry(index).length;
    }
    if (front > 0)
        blocks.erase(blocks.begin(), blocks.begin() + front);
    seenFront += front;
    if (seenFront > 64 && seenFront > seen.size() / 2) {
        seen.remove(0, seenFront);
        seenFront = 0;
    }
    seenEmpty -= gone.size();
    relearnFrom = qMax(blocks.size() - 1, 0);
    // An older block may share a removed block's key, and the index knows only the newest.
    if (duplicateKeys)
        learnt = false;
    else
        seenList = blocks;
    return true;
}

void DecodedTextBuffer::ForgetKey(int index)
{
    const BlockPointer& block = blocks.at(index);
    if (!block)
        return;
    const auto key = newestWithKey.find(KeyOf(block->timestamp, block->id));
    if (key != newestWithKey.end() && key.value() == Entry(index).label)
        newestWithKey.erase(key);
}

void DecodedTextBuffer::NoteWritten(const QExplicitlySharedDataPointer<DecodedTextBlock>& block,
                                    bool rewrote)
{
    lastWritten = block;
    lastRewrote = rewrote;
    ++writes;
}

QExplicitlySharedDataPointer<DecodedTextBlock> DecodedTextBuffer::LastWritten() const
{
    return lastWritten;
}
