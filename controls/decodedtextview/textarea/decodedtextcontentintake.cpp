// The text area's answers to routine intake: a refresh after trimming and the end of a
// transmission, done on the lines that changed only.

#include "decodedtextcontent.h"

#include "decodedtextdata.h"
#include "decodedtexthighlighter.h"
#include "decodedtextlivefollow_p.h"
#include "decodedtextshownblocks.h"

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

} // namespace

void DecodedTextContent::NoteNewest()
{
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    shown->newest = buffer ? buffer->LastBlock() : QExplicitlySharedDataPointer<DecodedTextBlock>();
    shown->first = buffer ? buffer->FirstBlock() : QExplicitlySharedDataPointer<DecodedTextBlock>();
    shown->firstAnnotations = shown->first ? shown->first->userData.size() : 0;
}

void DecodedTextContent::RehighlightStale()
{
    highlighter->BeginBatch();
    if (shown->staleAll) {
        highlighter->RehighlightAll();
        shown->staleAll = false;
        shown->firstStale = false;
    }
    if (shown->firstStale) {
        shown->firstStale = false;
        for (QTextBlock line = document()->firstBlock(); line.isValid(); line = line.next()) {
            const DecodedTextLayoutItem* item = ItemOf(line);
            if (!item || shown->entries.isEmpty() || item->block != shown->entries.first().block)
                break;
            highlighter->rehighlightBlock(line);
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
                highlighter->rehighlightBlock(line);
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

void DecodedTextContent::RefreshAfterIntake()
{
    if (editable || busy || !shown->valid || !RefreshFrontTrimmed())
        RefreshContent();
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

    // The shown blocks from the oldest kept to the newest shown must still stand together in
    // the buffer (blocks are only appended, and removed when emptied).
    const int count = blocks.size();
    int r = count - 1;
    const int lowest = qMax(0, count - 64);
    while (r >= lowest && blocks.at(r) != redo)
        --r;
    if (r < lowest || r != m - 1 - j)
        return false;
    // The new data must have gone into the newest shown block or a later one; anything else
    // changed a block whose lines would be kept.
    const BlockPtr written = buffer->LastWritten();
    if (written) {
        int w = count - 1;
        while (w >= r && blocks.at(w) != written)
            --w;
        if (w < r)
            return false;
    }
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
        QTextCursor probe(doc);
        probe.movePosition(QTextCursor::End);
        if (probe.charFormat() != textCursor().charFormat())
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

    busy = 1;
    live->BeginRebuild();

    // The selection, as the rebuild computes it.
    int a = 0;
    int b = 0;
    bool restore = false;
    if (SelectionToKeep(a, b)) {
        const int d = DocumentPosition(first, first->StartPosition());
        a -= d;
        b -= d;
        restore = true;
    }

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

    // From here on as the rebuild: its appends would have left the view at the end of the
    // kept text, coming from the top of an empty document.
    if (QScrollBar* bar = verticalScrollBar())
        bar->setValue(0);
    QTextCursor atEnd(doc);
    atEnd.movePosition(QTextCursor::End);
    setTextCursor(atEnd);
    if (!hasFocus() && !dialogOpen && !live->HoldsStill())
        live->ScrollLater();
    for (int i = r; i < count; ++i)
        AppendBlock(blocks.at(i));

    // The oldest block may have lost annotations to the trimming.
    t.firstStale = true;
    RehighlightStale();
    NoteNewest();

    FinishRefresh(restore, a, b);
    return true;
}
