#include "decodedtextlastlinecache_p.h"

#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

void DecodedTextLastLineCache::Follow(QTextDocument* document)
{
    if (!holder.isNull() && holder.document() != document)
        holder = QTextCursor();
    const QTextBlock last = document->lastBlock();
    const bool wanted = last.isValid() && last.length() >= LongLine;
    if (!holder.isNull()) {
        // The line that kept it; when that line was removed, the one the cursor moved into,
        // which kept nothing unless it is the last.
        const QTextBlock before = holder.block();
        if (before.isValid() && (before != last || !wanted) && before.layout()->cacheEnabled()) {
            QTextLayout* layout = before.layout();
            layout->setCacheEnabled(false);
            // Laid out once more, to the same lines, the line lets go of what it kept; the last
            // line lets go at its next layout anyway.
            auto* lines = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
            if (before != last && lines) {
                layout->clearLayout();
                lines->ensureBlockLayout(before);
            }
        }
        if (before != last || !wanted)
            holder = QTextCursor();
    }
    if (!wanted)
        return;
    if (!last.layout()->cacheEnabled())
        last.layout()->setCacheEnabled(true);
    // At the line's start: a line split in front of the cursor would leave the line behind.
    if (holder.isNull() || holder.position() != last.position()) {
        holder = QTextCursor(last);
        // Text going in at the line's start, where a merge cuts back to, stays in the line.
        holder.setKeepPositionOnInsert(true);
    }
}
