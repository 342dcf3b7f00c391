#include "decodedtexthighlighter.h"

#include "decodedtextcontent.h"
#include "decodedtextlayoutitem.h"
#include "varnoresultdataxml.h"

#include <QColor>
#include <QTextBlock>

using VarnoResultDataXml::UserData;

DecodedTextHighlighter::DecodedTextHighlighter(DecodedTextContent* content,
                                               const QTextCharFormat& format)
    : QSyntaxHighlighter(content->document()), content(content)
{
    commentFormat = format;
    commentFormat.setBackground(QBrush(QColor(0, 255, 255, 255)));
    callSignFormat = format;
    callSignFormat.setBackground(QBrush(QColor(0, 255, 0, 255)));
    changeFormat.setBackground(QBrush(QColor(255, 255, 0, 255)));
    closedFormat.setForeground(QBrush(QColor(100, 100, 100, 255)));
}

DecodedTextHighlighter::~DecodedTextHighlighter() = default;

void DecodedTextHighlighter::highlightBlock(const QString& /*text*/)
{
    const auto* item = dynamic_cast<const DecodedTextLayoutItem*>(currentBlockUserData());
    if (!item || !item->block)
        return;

    const QTextBlock line = currentBlock();
    const int P = line.position();
    const int E = P + line.length();
    // Annotations carry block positions; this maps them onto the line.
    const int off = P - item->start;

    if (item->block->closed)
        setFormat(0, E - P, closedFormat);

    for (const UserData* u : qAsConst(item->block->userData)) {
        if (!u)
            continue;
        const int s = u->Start + off;
        int e = u->End + off;
        if (e <= s)
            e = s + 1; // an emptied change must still be visible
        const bool drawn = (s >= P && s <= E) || (e >= P && e <= E) || (s <= P && e >= E);
        if (!drawn)
            continue;
        const int from = qMax(s, P);
        const int to = qMax(qMin(e, E), from);
        const QTextCharFormat* format = &commentFormat;
        if (u->Type == UserData::CallSignType)
            format = &callSignFormat;
        else if (u->Type == UserData::ChangeType)
            format = &changeFormat;
        setFormat(from - P, to - from, *format);
    }
}
