// The text area's answers to routine intake: a refresh after trimming and the end of a
// transmission, done on the lines that changed only.

#include "decodedtextcontent.h"

#include "decodedtextdata.h"
#include "decodedtexthighlighter.h"
#include "decodedtextinfoarea.h"
#include "decodedtextlivefollow_p.h"
#include "decodedtextshownblocks.h"
#include "decodedtexttimearea.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

namespace {

DecodedTextLayoutItem* ItemOf(const QTextBlock& line)
{
    return dynamic_cast<DecodedTextLayoutItem*>(line.userData());
}

// Whether the shown blocks from the oldest kept one to `newest` still stand together at the
// buffer's end, `newest` at index `at` (blocks are only appended, and removed when emptied),
// and the latest write went into `newest` or a later block: a write anywhere else changed a
// block whose lines would be kept.
bool ShownRunIntact(const DecodedTextBuffer& buffer,
                    const QExplicitlySharedDataPointer<DecodedTextBlock>& newest, int at)
{
    const auto& blocks = buffer.blocks;
    const int count = blocks.size();
    int r = count - 1;
    const int lowest = qMax(0, count - 64);
    while (r >= lowest && blocks.at(r) != newest)
        --r;
    if (r < lowest || r != at)
        return false;
    const QExplicitlySharedDataPointer<DecodedTextBlock> written = buffer.LastWritten();
    if (!written)
        return true;
    int w = count - 1;
    while (w >= r && blocks.at(w) != written)
        --w;
    return w >= r;
}

// Whether the document's end carries the format of the editor's cursor, in which text without
// quality colours is inserted; that format goes to plain.
bool EndCarries(QTextDocument* doc, const QTextCursor& editor, QTextCharFormat* plain)
{
    QTextCursor probe(doc);
    probe.movePosition(QTextCursor::End);
    *plain = probe.charFormat();
    return *plain == editor.charFormat();
}

} // namespace

void DecodedTextContent::NoteNewest()
{
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    shown->newest = buffer ? buffer->LastBlock() : QExplicitlySharedDataPointer<DecodedTextBlock>();
    shown->first = buffer ? buffer->FirstBlock() : QExplicitlySharedDataPointer<DecodedTextBlock>();
    shown->firstAnnotations = shown->first ? shown->first->userData.size() : 0;
    shown->writes = buffer ? buffer->Writes() : 0;
}

void DecodedTextContent::RehighlightStale(bool changedOnly)
{
    const auto renew = [this, changedOnly](const QTextBlock& line) {
        if (!changedOnly || !highlighter->IsCurrent(line))
            highlighter->rehighlightBlock(line);
    };
    highlighter->BeginBatch();
    if (shown->staleAll) {
        highlighter->RehighlightAll();
        shown->staleAll = false;
        shown->firstStale = false;
    }
    // Lines of a block that is stale as a whole are done below.
    if (shown->firstStale && !shown->entries.isEmpty()
        && shown->stale.contains(shown->entries.first().block))
        shown->firstStale = false;
    if (shown->firstStale) {
        shown->firstStale = false;
        for (QTextBlock line = document()->firstBlock(); line.isValid(); line = line.next()) {
            const DecodedTextLayoutItem* item = ItemOf(line);
            if (!item || shown->entries.isEmpty() || item->block != shown->entries.first().block)
                break;
            renew(line);
        }
    }
    if (!shown->stale.isEmpty()) {
        // The blocks concerned are the newest ones: walk up from the end until all are done.
        QVector<QExplicitlySharedDataPointer<DecodedTextBlock>> pending = shown->stale;
        QExplicitlySharedDataPointer<DecodedTextBlock> current;
        for (QTextBlock line = document()->lastBlock(); line.isValid(); line = line.previous()) {
            const DecodedTextLayoutItem* item = ItemOf(line);
            if (!item || !item->block)
                continue;
            if (item->block != current) {
                if (current)
                    pending.removeAll(current);
                if (pending.isEmpty())
                    break;
                current = item->block;
            }
            if (pending.contains(current))
                renew(line);
        }
    }
    highlighter->EndBatch();
    shown->ForgetClosed();
}

void DecodedTextContent::UpdateViewAfterIntake()
{
    if (editable) {
        UpdateView();
        return;
    }
    if (busy)
        return;
    busy = 1;
    SlotPositionChanged();
    RehighlightStale();
    busy = 0;
}

// Appends the buffer's blocks from index from on as the rebuild appends them: its appends
// would have left the view at the end of the kept text, coming from the top of an empty
// document.
void DecodedTextContent::AppendAsRebuild(
    const QList<QExplicitlySharedDataPointer<DecodedTextBlock>>& blocks, int from)
{
    if (QScrollBar* bar = verticalScrollBar())
        bar->setValue(0);
    QTextCursor atEnd(document());
    atEnd.movePosition(QTextCursor::End);
    setTextCursor(atEnd);
    if (live->Follows())
        live->ScrollLater();
    for (int i = from; i < blocks.size(); ++i)
        AppendBlock(blocks.at(i));
}

void DecodedTextContent::RefreshAfterIntake()
{
    if (editable || busy || !shown->valid
        || !(RefreshRewritten() || RefreshFrontCut() || RefreshFrontTrimmed()
             || RefreshFrontCut(true)))
        RefreshContent();
}

// The rebuild after an intake that trimmed the buffer and added text only at the end of the
// newest block shown or in blocks after it, done on the lines that differ: the lines of the
// blocks that left the buffer go; the oldest block keeps the lines of its text that is still
// held, and only its head, where the trimming cut it, is laid out again; the newest block is
// continued as an append continues it, and new blocks are appended. So a transmission that
// stays open while the buffer trims its front costs what is cut and added, not what is held.
// Answers false, having changed nothing, unless the result is certain to equal
// RefreshContent's; once it has changed the document and finds that the appends did not come
// out as a rebuild would, it rebuilds. With thenRewritten, for a write that also changed text
// of the newest block (a merge into its middle while the buffer trimmed its front), the front
// is cut here and the rest left to RefreshRewritten.
bool DecodedTextContent::RefreshFrontCut(bool thenRewritten)
{
    using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    DecodedTextShownBlocks& t = *shown;
    if (!buffer || buffer->blocks.isEmpty() || t.entries.isEmpty())
        return false;
    // Exactly one write since the document was last brought up to date, and one that only
    // added text: anything else (a resend, a merge into the middle, separators) is not seen
    // from here, but for the newest block by RefreshRewritten afterwards.
    if (buffer->Writes() != t.writes + 1 || buffer->LastWriteRewrote() != thenRewritten)
        return false;
    int a = 0;
    int b = 0;
    if (thenRewritten
        && (buffer->LastWritten() != t.newest || buffer->blocks.last() != t.newest
            || !live->Follows() || SelectionToKeep(a, b)))
        return false;
    const QList<BlockPtr> blocks = buffer->blocks;
    const BlockPtr first = blocks.first();

    // Entries whose blocks left the buffer lead the list.
    int j = 0;
    int unsafeFront = 0;
    while (j < t.entries.size() && t.entries.at(j).block != first) {
        if (!t.IsSafe(t.entries.at(j)))
            ++unsafeFront;
        ++j;
    }
    const int m = t.entries.size();
    if (j >= m)
        return false;
    const BlockPtr newest = t.entries.at(m - 1).block;
    if (newest != t.newest || t.unsafe != unsafeFront)
        return false;
    if (!ShownRunIntact(*buffer, newest, m - 1 - j))
        return false;
    const int r = m - 1 - j; // the newest shown block's index in the buffer
    const DecodedTextShownBlocks::Entry& kept = t.entries.at(j);
    // Older blocks change only at their front.
    if (first != newest && first->EndPosition() != kept.shape.endPosition)
        return false;
    const int keptShown = kept.shownLength;
    const bool quality = colorCoding && first->HasQuality();
    if (quality != kept.quality || first->IndexOfPosition(first->StartPosition(), 0) != 0)
        return false;

    QTextDocument* doc = document();
    QTextCharFormat plain;
    // A rebuild inserts the oldest block in the editor cursor's format; the kept text must
    // already carry it.
    if (!quality && !EndCarries(doc, textCursor(), &plain))
        return false;

    // Where the text the block still holds begins: behind the gap the trimming put in front.
    const int held = first->snippets.size() > 1 && first->IsGap(0)
            && first->snippets.first().length == 1
        ? first->snippets.at(1).start
        : first->StartPosition();
    // The first line of the oldest block that shows held text only: it and the lines after it
    // stay.
    QTextBlock keep = doc->firstBlock();
    int shownBefore = 0; // characters of the block the document shows in front of it
    while (keep.isValid()) {
        const DecodedTextLayoutItem* item = ItemOf(keep);
        if (item && item->block == first) {
            if (item->start >= held)
                break;
            shownBefore += keep.length();
        } else if (item && shownBefore > 0) {
            return false;
        }
        keep = keep.next();
    }
    if (!keep.isValid())
        return false;
    const DecodedTextLayoutItem keptItem = *ItemOf(keep);
    const int headLength = first->TextIndex(keptItem.start);
    if (headLength < 0 || headLength > first->text.size()
        || (headLength > 0 && first->text.at(headLength - 1) != QLatin1Char('\n')))
        return false;
    // The lines the head becomes, with their items, as AppendBlock lays them out.
    const QString head = first->text.left(headLength);
    QVector<DecodedTextLayoutItem> headItems;
    int position = first->StartPosition();
    int k = 0;
    for (int from = 0; from < headLength;) {
        const int stop = head.indexOf(QLatin1Char('\n'), from);
        const int length = stop - from + 1;
        k = first->IndexOfPosition(position, k);
        if (k < 0)
            k = first->snippets.size();
        DecodedTextLayoutItem item;
        item.block = first;
        item.start = position;
        item.snippet = k;
        item.end = position + first->PositionSpan(k, position, length);
        headItems.append(item);
        position = item.end;
        from = stop + 1;
    }
    if (position != keptItem.start)
        return false;
    const int keptSnippet = first->IndexOfPosition(keptItem.start, k);
    if (keptSnippet < 0)
        return false;
    const int delta = keptSnippet - keptItem.snippet;
    // The kept line must still show the block's text there.
    const QString keptText = keep.text();
    if (first->text.mid(headLength, keptText.size()) != keptText)
        return false;

    busy = 1;
    live->BeginRebuild();

    const bool restore = SelectionForRebuild(a, b);

    // Everything in front of the kept line goes; the head comes in its place, inserted as the
    // rebuild inserts it, so that its pieces carry the same formats. The first line keeps the
    // document's own first line formats, as after clearing.
    QTextCursor edit(doc);
    if (keep.position() > 0) {
        edit.setPosition(keep.position(), QTextCursor::KeepAnchor);
        edit.removeSelectedText();
    }
    if (quality) {
        const int threshold = model->GetQualityThreshold();
        int index = 0;
        for (int i = 0; i < first->snippets.size() && index < headLength; ++i) {
            const DecodedTextSnippet& snippet = first->snippets.at(i);
            const int size = qMin(snippet.length, headLength - index);
            const bool good = snippet.quality >= 0 && snippet.quality >= threshold;
            if (size > 0)
                edit.insertText(first->text.mid(index, size), good ? normalFormat : lowQualityFormat);
            index += snippet.length;
        }
    } else if (headLength > 0) {
        edit.insertText(head, plain);
    }
    QTextBlock line = doc->firstBlock();
    highlighter->BeginBatch();
    for (const DecodedTextLayoutItem& item : qAsConst(headItems)) {
        line.setUserData(new DecodedTextLayoutItem(item));
        highlighter->rehighlightBlock(line);
        line = line.next();
    }
    highlighter->EndBatch();
    DecodedTextLayoutItem moved = keptItem;
    moved.snippet = keptSnippet;
    line.setUserData(new DecodedTextLayoutItem(moved));
    if (delta != 0) {
        for (line = line.next(); line.isValid(); line = line.next()) {
            DecodedTextLayoutItem* item = ItemOf(line);
            if (!item)
                continue;
            if (item->block != first)
                break;
            item->snippet += delta;
        }
    }
    t.DropFront(j);
    t.CutFront(keptShown - shownBefore + headLength);
    // The oldest block may have lost annotations to the trimming.
    t.firstStale = true;

    if (thenRewritten) {
        // Nothing holds the view (checked above), so beginning the rebuild once more there only
        // forgets a place that was never noted.
        busy = 0;
        if (!RefreshRewritten()) {
            busy = 1;
            Rebuild(restore, a, b);
        }
        return true;
    }

    AppendAsRebuild(blocks, r);
    QTextCursor atEnd(doc);
    atEnd.movePosition(QTextCursor::End);
    setTextCursor(atEnd);
    if (!live->HoldsStill())
        SlotScrollBottom();

    RehighlightStale();
    NoteNewest();

    if (t.unsafe != 0) {
        // An append continued a line otherwise than one append of the whole block would.
        Rebuild(restore, a, b);
        return true;
    }
    FinishRefresh(restore, a, b);
    return true;
}

// The rebuild after the intake trimmed the buffer, done on the lines that differ: the lines of
// the blocks that left the buffer go, the newest block shown is laid out again with everything
// after it, and the blocks between keep their lines. Answers false, having changed nothing,
// unless the result is certain to equal RefreshContent's.
bool DecodedTextContent::RefreshFrontTrimmed()
{
    using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    DecodedTextShownBlocks& t = *shown;
    if (!buffer || buffer->blocks.size() < 2 || t.entries.size() < 2)
        return false;
    const QList<BlockPtr> blocks = buffer->blocks;
    const BlockPtr first = blocks.first();

    // Entries whose blocks left the buffer lead the list.
    int j = 0;
    int unsafeFront = 0;
    while (j < t.entries.size() && t.entries.at(j).block != first) {
        if (!t.IsSafe(t.entries.at(j)))
            ++unsafeFront;
        ++j;
    }
    const int m = t.entries.size();
    if (j >= m - 1)
        return false;
    const DecodedTextShownBlocks::Entry& kept = t.entries.at(j);
    const DecodedTextShownBlocks::Entry& newestShown = t.entries.at(m - 1);
    const BlockPtr redo = newestShown.block;
    if (redo != t.newest || DecodedTextShownBlocks::ShapeOf(*first) != kept.shape)
        return false;

    if (!ShownRunIntact(*buffer, redo, m - 1 - j))
        return false;
    const int r = m - 1 - j; // the newest shown block's index in the buffer
    const int unsafeKept = t.unsafe - unsafeFront - (t.IsSafe(newestShown) ? 0 : 1);
    if (unsafeKept != 0)
        return false;

    // A rebuild inserts the first block in the editor cursor's format unless it is coloured by
    // quality; the kept text must already carry that format.
    QTextDocument* doc = document();
    if (colorCoding) {
        if (!kept.quality)
            return false;
    } else {
        QTextCharFormat plain;
        if (!EndCarries(doc, textCursor(), &plain))
            return false;
    }

    QTextBlock head = doc->firstBlock();
    while (head.isValid() && !(ItemOf(head) && ItemOf(head)->block == first))
        head = head.next();
    const BlockPtr previous = t.entries.at(m - 2).block;
    QTextBlock tail = doc->lastBlock();
    while (tail.isValid()) {
        const DecodedTextLayoutItem* item = ItemOf(tail);
        if (item && item->block == previous)
            break;
        if (item && item->block != redo)
            return false;
        tail = tail.previous();
    }
    if (!head.isValid() || !tail.isValid() || head.blockNumber() > tail.blockNumber())
        return false;
    // The line the cut ends in is laid out again after each of the steps below, and the newest
    // block is appended anew; once they hold a good part of the document, as transmissions
    // without line breaks do, a rebuild, which lays everything out once, costs less.
    const int total = doc->characterCount();
    if (4 * tail.length() > total || 2 * (total - tail.position() - tail.length()) > total)
        return false;

    busy = 1;
    live->BeginRebuild();

    int a = 0;
    int b = 0;
    const bool restore = SelectionForRebuild(a, b);

    // The tail first, so that the front positions stay as found. Joining lines may leave the
    // remaining line with the data and line formats of a removed one: they are put back. The
    // first line keeps the document's own first line formats, as after clearing.
    const int cutTail = tail.position() + tail.length() - 1;
    const int cutFront = head.position();
    const DecodedTextLayoutItem headItem = *ItemOf(head);
    const DecodedTextLayoutItem tailItem = *ItemOf(tail);
    const QTextBlockFormat tailFormat = tail.blockFormat();
    const QTextCharFormat tailCharFormat = tail.charFormat();
    QTextCursor edit(doc);
    if (cutTail < doc->characterCount() - 1) {
        edit.setPosition(cutTail);
        edit.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        edit.setBlockFormat(tailFormat);
        edit.setBlockCharFormat(tailCharFormat);
        doc->lastBlock().setUserData(new DecodedTextLayoutItem(tailItem));
        highlighter->rehighlightBlock(doc->lastBlock());
    }
    t.DropLast();
    if (cutFront > 0) {
        edit.setPosition(0);
        edit.setPosition(cutFront, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        doc->firstBlock().setUserData(new DecodedTextLayoutItem(headItem));
    }
    t.DropFront(j);

    AppendAsRebuild(blocks, r);

    // The oldest block may have lost annotations to the trimming.
    t.firstStale = true;
    RehighlightStale();
    NoteNewest();

    FinishRefresh(restore, a, b);
    return true;
}

// The rebuild after a write that changed text the newest block already had (a merge into its
// middle, a resend), done on the lines that differ: the lines in front of the first character
// that a rebuild would show otherwise stay, the block is cut back to the start of the run that
// holds that character and continued from there as an append continues it. The merges of
// parallel decoders land near the end of the aggregation block, so most of its lines stay.
// Only taken when the view follows the end: which rows a view scrolled elsewhere shows depends
// on which lines the editor has laid out before, and a rebuild starts that history over.
// Answers false, having changed nothing, unless the result is certain to equal
// RefreshContent's; once it has changed the document and finds that the append did not come
// out as a rebuild's would, it rebuilds.
bool DecodedTextContent::RefreshRewritten()
{
    using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    DecodedTextShownBlocks& t = *shown;
    if (!buffer || t.entries.isEmpty() || t.unsafe != 0 || !buffer->LastWriteRewrote()
        || buffer->Writes() != t.writes + 1)
        return false;
    int a = 0;
    int b = 0;
    if (!live->Follows() || SelectionToKeep(a, b))
        return false;
    const QList<BlockPtr> blocks = buffer->blocks;
    const int m = t.entries.size();
    if (blocks.size() != m)
        return false;
    const BlockPtr newest = blocks.last();
    if (newest != t.newest || buffer->LastWritten() != newest || t.entries.last().block != newest
        || newest->rightToLeft != rightToLeft)
        return false;
    // The older blocks are as shown: nothing was trimmed or written there.
    for (int i = 0; i + 1 < m; ++i) {
        if (t.entries.at(i).block != blocks.at(i)
            || DecodedTextShownBlocks::ShapeOf(*blocks.at(i)) != t.entries.at(i).shape)
            return false;
    }
    const bool quality = colorCoding && newest->HasQuality();
    if (quality != t.entries.last().quality
        || newest->IndexOfPosition(newest->StartPosition(), 0) != 0)
        return false;

    QTextDocument* doc = document();
    QTextCharFormat plain;
    if (!quality && !EndCarries(doc, textCursor(), &plain))
        return false;

    const QString& text = newest->text;
    const QList<DecodedTextSnippet>& snippets = newest->snippets;
    const int count = snippets.size();
    QVector<int> textStart(count + 1, 0);
    for (int i = 0; i < count; ++i)
        textStart[i + 1] = textStart.at(i) + snippets.at(i).length;
    if (count == 0 || textStart.at(count) != text.size())
        return false;
    const int threshold = model->GetQualityThreshold();
    // Whether the characters [from, to) carry the format a rebuild inserts them in; asked with
    // from never decreasing, j is the first run that may hold from.
    int j = 0;
    const auto insertedAs = [&](int from, int to, const QTextCharFormat& format) {
        if (!quality)
            return format == plain;
        const bool normal = format == normalFormat;
        const bool low = !normal && format == lowQualityFormat;
        while (j < count && textStart.at(j + 1) <= from)
            ++j;
        for (int i = j; i < count && textStart.at(i) < to; ++i) {
            const int q = snippets.at(i).quality;
            if (textStart.at(i + 1) > from && ((q >= 0 && q >= threshold) ? !normal : !low))
                return false;
        }
        return true;
    };

    QTextBlock line = doc->lastBlock();
    if (!ItemOf(line) || ItemOf(line)->block != newest)
        return false;
    while (line.previous().isValid() && ItemOf(line.previous())
           && ItemOf(line.previous())->block == newest)
        line = line.previous();
    const QTextBlock firstLine = line;
    // Lines wholly in front of what the write changed were found as a rebuild makes them when
    // the last write into the block's middle was refreshed, and the document has not changed
    // since; the comparison starts at the line that holds the first character that may differ.
    QTextBlock from = firstLine;
    const int checkedUpTo =
        t.CheckedUpTo(newest, textStart, doc->revision(), threshold, quality);
    if (checkedUpTo > 0) {
        const QTextBlock holder = doc->findBlock(firstLine.position() + checkedUpTo);
        if (holder.position() > firstLine.position() && ItemOf(holder)
            && ItemOf(holder)->block == newest)
            from = holder;
    }

    // The lines as one append of the whole block lays them out, compared with those shown up to
    // the first character that differs in text, format, or the line's item. Reading the
    // document's text at once costs less than making a string of every line, unless it holds
    // much more in front of the lines compared.
    const bool atOnce =
        qint64(doc->characterCount() - from.position()) * 4 >= doc->characterCount();
    const QString documentText = atOnce ? doc->toRawText() : QString();
    QString oneLine;
    QVector<QPair<QTextBlock, int>> kept; // lines compared whose start stays, with text index
    int difference = 0;
    int position = from == firstLine ? newest->StartPosition() : ItemOf(from)->start;
    int k = 0;
    int index = from.position() - firstLine.position();
    for (line = from; line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* item = ItemOf(line);
        if (!item || item->block != newest)
            return false;
        k = newest->IndexOfPosition(position, k);
        if (k < 0)
            k = count;
        if (item->start != position || item->snippet != k) {
            difference = index;
            break;
        }
        // The line break in front of the line gave it its line format.
        if (line != firstLine && !insertedAs(index - 1, index, line.charFormat())) {
            difference = index - 1;
            break;
        }
        kept.append(qMakePair(line, index));
        const int n = line.length() - 1;
        if (!atOnce)
            oneLine = line.text();
        const QChar* lineText =
            atOnce ? documentText.constData() + line.position() : oneLine.constData();
        const int comparable = qMin(n, text.size() - index);
        int same = 0;
        while (same < comparable && text.at(index + same) == lineText[same])
            ++same;
        for (QTextBlock::iterator f = line.begin(); !f.atEnd(); ++f) {
            const QTextFragment fragment = f.fragment();
            const int from = fragment.position() - line.position();
            if (from >= same)
                break;
            const int to = qMin(from + fragment.length(), same);
            if (!insertedAs(index + from, index + to, fragment.charFormat())) {
                same = from; // the fragment's first character may already differ
                break;
            }
        }
        if (same < n || !line.next().isValid() || index + n >= text.size()
            || text.at(index + n) != QLatin1Char('\n')) {
            difference = index + same;
            break;
        }
        const int end = position + newest->PositionSpan(k, position, n + 1);
        if (item->end != end) {
            difference = index + n;
            break;
        }
        position = end;
        index += n + 1;
    }
    if (kept.isEmpty() && from == firstLine)
        return false;

    // The append continues at the start of a run: the one that holds the first difference.
    int s = 0;
    while (s + 1 < count && textStart.at(s + 1) <= difference)
        ++s;
    const int cut = textStart.at(s);
    QTextBlock cutLine;
    int cutIndex = 0;
    if (!kept.isEmpty() && kept.first().second <= cut) {
        int c = kept.size() - 1;
        while (c > 0 && kept.at(c).second > cut)
            --c;
        cutLine = kept.at(c).first;
        cutIndex = kept.at(c).second;
    } else {
        // Among the lines found as checked, in front of those compared.
        cutLine = doc->findBlock(firstLine.position() + cut);
        cutIndex = cutLine.position() - firstLine.position();
        if (cutLine.position() >= from.position())
            return false;
    }
    if (cut <= 0 || cutIndex > cut || cut > cutIndex + cutLine.length() - 1)
        return false;
    // The lines in front of the cut line keep the highlighting all lines were found to show last
    // time, unless some line was highlighted since or an annotation drawn over them changed.
    const QVector<DecodedTextShownBlocks::Mark> marks = DecodedTextShownBlocks::MarksOf(*newest);
    const bool frontCurrent = t.markedBlock == newest
        && t.markedHighlights == highlighter->Highlights() && t.markedClosed == newest->closed
        && DecodedTextShownBlocks::SameMarksBefore(t.marks, marks, ItemOf(cutLine)->start);
    const int checkFrom = frontCurrent ? cutLine.position() : firstLine.position();

    busy = 1;
    live->BeginRebuild();
    const bool restore = SelectionForRebuild(a, b);

    // One edit: the document is told of it once, and the highlighter renews the lines it
    // touched in one pass as the rebuild's does, instead of line by line.
    QTextCursor batch(doc);
    batch.beginEditBlock();
    // The line that remains may carry the data and line formats of a removed one: they are
    // put back, with the line's end where the append goes on.
    DecodedTextLayoutItem cutItem = *ItemOf(cutLine);
    cutItem.end = snippets.at(s).start;
    const QTextBlockFormat cutFormat = cutLine.blockFormat();
    const QTextCharFormat cutCharFormat = cutLine.charFormat();
    QTextCursor edit(doc);
    edit.setPosition(cutLine.position() + cut - cutIndex);
    edit.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    edit.removeSelectedText();
    if (doc->lastBlock().blockFormat() != cutFormat)
        edit.setBlockFormat(cutFormat);
    if (doc->lastBlock().charFormat() != cutCharFormat)
        edit.setBlockCharFormat(cutCharFormat);
    doc->lastBlock().setUserData(new DecodedTextLayoutItem(cutItem));
    t.CutBack(cut);

    // Trimming that removed no text may still have dropped annotations of the oldest block.
    const BlockPtr first = blocks.first();
    if (first != newest && first == t.first && first->userData.size() != t.firstAnnotations)
        t.firstStale = true;

    highlightLater = true;
    placeLater = false;
    AppendBlock(newest);
    highlightLater = false;
    highlighter->BeginBatch();
    batch.endEditBlock();
    highlighter->EndBatch();
    batch.movePosition(QTextCursor::End);
    PlaceAtEnd(batch);

    // The write may have moved annotations over the lines in front of the cut, which the edit
    // did not touch, and the highlighter skips edits while it still waits to do the whole
    // document; lines whose highlighting did not change are left as they are, as the view shows
    // the end.
    highlighter->BeginBatch();
    for (QTextBlock line = doc->findBlock(checkFrom); line.isValid(); line = line.next()) {
        if (!highlighter->IsCurrent(line))
            highlighter->rehighlightBlock(line);
    }
    highlighter->EndBatch();
    const bool newestStale = t.stale.contains(newest);
    t.stale.removeAll(newest);
    RehighlightStale(true);
    // Every line of the block now shows the highlighting of its annotations.
    t.markedBlock = newest;
    t.marks = marks;
    t.markedHighlights = highlighter->Highlights();
    t.markedClosed = newest->closed;
    if (newestStale)
        t.MarkStale(newest);
    NoteNewest();

    if (t.unsafe != 0 || t.entries.last().shownLength != text.size()) {
        Rebuild(restore, a, b);
        return true;
    }
    // The gutters show times and call signs of the lines kept too, which the write may have
    // changed without changing their text.
    timeArea->update();
    infoArea->update();
    FinishRefresh(restore, a, b);
    // A block of one line has nothing in front of its only line to leave unchecked.
    t.NoteChecked(firstLine != doc->lastBlock() ? newest : BlockPtr(), doc->revision(), threshold,
                  quality);
    return true;
}
