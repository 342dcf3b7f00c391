#include "decodedtextbuffer.h"

#include <climits>

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
    for (int i = blocks.size() - 1; i >= 0; --i) {
        const QExplicitlySharedDataPointer<DecodedTextBlock>& block = blocks.at(i);
        if (block->timestamp == timestamp && block->id == id)
            return block;
    }
    if (!blocks.isEmpty())
        blocks.last()->closed = true;
    QExplicitlySharedDataPointer<DecodedTextBlock> block(new DecodedTextBlock(channel, id, timestamp));
    blocks.append(block);
    return block;
}

bool DecodedTextBuffer::Trim(int bufferSize)
{
    const qint64 margin = hold ? bufferSize / 2 : bufferSize / 10;
    const qint64 limit = qint64(bufferSize) + margin;
    qint64 total = 0;
    bool changed = false;
    for (int i = blocks.size() - 1; i >= 0; --i) {
        // Hold the block while it may be dropped from the list below.
        const QExplicitlySharedDataPointer<DecodedTextBlock> block = blocks.at(i);
        total += block->text.size();
        if (total > limit) {
            if (hold) {
                overflow = true;
                return false;
            }
            // Sums near the int limits are formed in 64 bits; an excess past INT_MAX removes
            // everything, as INT_MAX does.
            const qint64 excess = qMin(total - bufferSize, qint64(INT_MAX));
            if (block->TrimFront(static_cast<int>(excess)) > 0)
                changed = true;
        }
        if (!hold && block->snippets.isEmpty()) {
            blocks.removeAt(i);
            changed = true;
        }
    }
    return changed;
}

QString DecodedTextBuffer::TickerText(int maxLength) const
{
    // A negative length leaves no room (right() would read it as "the whole string").
    const int limit = qMax(maxLength, 0);
    QString ticker;
    for (int i = blocks.size() - 1; i >= 0; --i) {
        ticker.prepend(blocks.at(i)->text.simplified() + QLatin1Char(' '));
        if (ticker.size() > limit)
            return ticker.right(limit);
    }
    return ticker;
}

void DecodedTextBuffer::RemoveOldBlocks()
{
    if (blocks.size() > 1)
        blocks.erase(blocks.begin(), blocks.end() - 1);
    if (!blocks.isEmpty() && blocks.last()->snippets.isEmpty())
        blocks.removeLast();
}
