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
    QTextLayout* layout = last.isValid() ? last.layout() : nullptr;
    if (layout && layout == held && layout->cacheEnabled() && !holder.isNull()
        && holder.block() == last)
        return;
    // The line that kept it, if it is still there: a removed line took its layout along, and
    // another line's layout at the same address only loses a cache.
    if (held && !holder.isNull()) {
        const QTextBlock before = holder.block();
        if (before.isValid() && before != last && before.layout() == held)
            held->setCacheEnabled(false);
    }
    held = layout;
    if (!layout) {
        holder = QTextCursor();
        return;
    }
    layout->setCacheEnabled(true);
    holder = QTextCursor(last);
    // Text going on at the line's start, where a merge cuts back to, stays in the line.
    holder.setKeepPositionOnInsert(true);
}
