#include "decodedtextlastlinecache_p.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

DecodedTextLastLineCache::DecodedTextLastLineCache(QTextDocument* document)
    : document(document)
{
}

void DecodedTextLastLineCache::Follow()
{
    const QTextBlock last = document->lastBlock();
    const bool wanted = last.isValid() && last.length() >= LongLine;
    if (!holder.isNull()) {
        // The line that kept it; when that line was removed, the one the cursor moved into,
        // which kept nothing unless it is the last.
        const QTextBlock before = holder.block();
        if (before.isValid() && (before != last || !wanted) && before.layout()->cacheEnabled()) {
            before.layout()->setCacheEnabled(false);
            // Laid out again without the privilege, the line lets go of what it kept.
            if (before != last)
                document->markContentsDirty(before.position(), before.length());
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
