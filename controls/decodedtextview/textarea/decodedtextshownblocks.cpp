#include "decodedtextshownblocks.h"

#include "varnoresultdataxml.h"

#include <algorithm>

using VarnoResultDataXml::UserData;

bool DecodedTextShownBlocks::Shape::operator==(const Shape& other) const
{
    return snippets == other.snippets && textSize == other.textSize
           && startPosition == other.startPosition && endPosition == other.endPosition
           && firstEnd == other.firstEnd && firstLength == other.firstLength
           && firstFlags == other.firstFlags;
}

DecodedTextShownBlocks::Shape DecodedTextShownBlocks::ShapeOf(const DecodedTextBlock& block)
{
    Shape shape;
    shape.snippets = block.snippets.size();
    shape.textSize = block.text.size();
    shape.startPosition = block.StartPosition();
    shape.endPosition = block.EndPosition();
    if (!block.snippets.isEmpty()) {
        const DecodedTextSnippet& first = block.snippets.first();
        shape.firstEnd = first.end;
        shape.firstLength = first.length;
        // Only the gap mark shows; marks of edits, merges and exports change no line.
        shape.firstFlags = first.flags & SnippetGap;
    }
    return shape;
}

void DecodedTextShownBlocks::Reset()
{
    valid = true;
    staleAll = false;
    unsafe = 0;
    entries.clear();
    stale.clear();
    firstStale = false;
    newest.reset();
    markedBlock.reset();
    checkedBlock.reset();
}

void DecodedTextShownBlocks::Invalidate()
{
    valid = false;
    staleAll = true;
    markedBlock.reset();
    checkedBlock.reset();
}

QVector<DecodedTextShownBlocks::Mark> DecodedTextShownBlocks::MarksOf(const DecodedTextBlock& block)
{
    QVector<Mark> out;
    out.reserve(block.userData.size());
    for (const UserData* u : block.userData) {
        if (!u)
            continue;
        Mark mark;
        mark.start = u->Start;
        mark.end = qMax(qint64(u->End), mark.start + 1);
        mark.type = u->Type;
        out.append(mark);
    }
    return out;
}

bool DecodedTextShownBlocks::SameMarksBefore(const QVector<Mark>& a, const QVector<Mark>& b,
                                             qint64 end)
{
    int i = 0;
    int j = 0;
    for (;;) {
        while (i < a.size() && a.at(i).start >= end)
            ++i;
        while (j < b.size() && b.at(j).start >= end)
            ++j;
        if (i == a.size() || j == b.size())
            return i == a.size() && j == b.size();
        const Mark& x = a.at(i);
        const Mark& y = b.at(j);
        if (x.start != y.start || qMin(x.end, end) != qMin(y.end, end) || x.type != y.type)
            return false;
        ++i;
        ++j;
    }
}

void DecodedTextShownBlocks::Appended(const BlockPtr& block, int inserted, bool quality,
                                      bool lineAsWhole)
{
    if (entries.isEmpty() || entries.last().block != block) {
        Entry entry;
        entry.block = block;
        entry.quality = quality;
        entries.append(entry);
        ++unsafe; // no lines yet
    }
    Entry& entry = entries.last();
    const bool wasSafe = IsSafe(entry);
    if (inserted >= 0) {
        // Pieces coloured differently, or a piece that does not simply continue the text
        // shown (a widened gap shows its separator again), differ from one whole append.
        if (entry.hasLines && (quality != entry.quality || !lineAsWhole))
            entry.canonical = false;
        entry.shownLength += inserted;
        if (entry.shownLength != block->text.size())
            entry.canonical = false;
        entry.hasLines = true;
        entry.shape = ShapeOf(*block);
    }
    const bool safe = IsSafe(entry);
    if (wasSafe != safe)
        unsafe += safe ? -1 : 1;
}

void DecodedTextShownBlocks::MarkStale(const BlockPtr& block)
{
    if (!stale.contains(block))
        stale.append(block);
}

void DecodedTextShownBlocks::DropFront(int count)
{
    for (int i = 0; i < count && !entries.isEmpty(); ++i) {
        if (!IsSafe(entries.first()))
            --unsafe;
        stale.removeAll(entries.first().block);
        entries.removeFirst();
    }
}

void DecodedTextShownBlocks::DropLast()
{
    if (entries.isEmpty())
        return;
    if (!IsSafe(entries.last()))
        --unsafe;
    stale.removeAll(entries.last().block);
    entries.removeLast();
}

void DecodedTextShownBlocks::CutFront(int shownLength)
{
    if (entries.isEmpty())
        return;
    Entry& entry = entries.first();
    entry.shownLength = shownLength;
    entry.shape = ShapeOf(*entry.block);
}

void DecodedTextShownBlocks::CutBack(int shownLength)
{
    if (!entries.isEmpty())
        entries.last().shownLength = shownLength;
}

void DecodedTextShownBlocks::ForgetClosed()
{
    stale.erase(std::remove_if(stale.begin(), stale.end(),
                               [](const BlockPtr& block) { return block->closed; }),
                stale.end());
}

DecodedTextShownBlocks::Run DecodedTextShownBlocks::RunOf(const DecodedTextSnippet& snippet)
{
    return { snippet.length, snippet.start,   snippet.end,
             snippet.shift,  snippet.quality, snippet.flags };
}

void DecodedTextShownBlocks::NoteChecked(const BlockPtr& block, int revision, int threshold,
                                         bool quality)
{
    checkedBlock = block;
    checkedRevision = revision;
    checkedThreshold = threshold;
    checkedQuality = quality;
    if (!block) {
        checkedText.clear();
        checkedRuns.clear();
        return;
    }
    checkedText = block->text;
    checkedRuns.resize(block->snippets.size());
    for (int i = 0; i < block->snippets.size(); ++i)
        checkedRuns[i] = RunOf(block->snippets.at(i));
}

int DecodedTextShownBlocks::CheckedUpTo(const BlockPtr& block, const QVector<int>& textStart,
                                        int revision, int threshold, bool quality) const
{
    if (!block || block != checkedBlock || revision != checkedRevision
        || threshold != checkedThreshold || quality != checkedQuality)
        return 0;
    const QString& text = block->text;
    const int count = block->snippets.size();
    if (textStart.size() != count + 1 || textStart.at(count) != text.size())
        return 0;
    const int comparable = qMin(text.size(), checkedText.size());
    int same = 0;
    if (text.constData() == checkedText.constData()) {
        same = comparable;
    } else {
        const QChar* a = text.constData();
        const QChar* b = checkedText.constData();
        while (same < comparable && a[same] == b[same])
            ++same;
    }
    const int runs = qMin(count, checkedRuns.size());
    int i = 0;
    while (i < runs && textStart.at(i + 1) <= same
           && RunOf(block->snippets.at(i)) == checkedRuns.at(i))
        ++i;
    // A line's item looks ahead to the next run that holds text, past empty ones.
    int j = i - 1;
    while (j > 0 && block->snippets.at(j).length <= 0)
        --j;
    return textStart.at(qMax(0, j));
}
