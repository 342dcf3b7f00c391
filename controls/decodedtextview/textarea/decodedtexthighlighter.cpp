#include "decodedtexthighlighter.h"

#include "decodedtextcontent.h"
#include "decodedtextlayoutitem.h"
#include "varnoresultdataxml.h"

#include <QColor>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

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

void DecodedTextHighlighter::BeginBatch()
{
    ++batch;
}

void DecodedTextHighlighter::EndBatch()
{
    if (batch > 0 && --batch == 0) {
        indexed = nullptr;
        spans.clear();
    }
}

void DecodedTextHighlighter::RehighlightAll()
{
    BeginBatch();
    rehighlight();
    EndBatch();
}

const QTextCharFormat* DecodedTextHighlighter::FormatOf(const QString& type) const
{
    if (type == UserData::CallSignType)
        return &callSignFormat;
    if (type == UserData::ChangeType)
        return &changeFormat;
    return &commentFormat;
}

void DecodedTextHighlighter::IndexBlock(const DecodedTextBlock* block)
{
    indexed = block;
    spans.clear();
    longest = 0;
    const QVector<UserData*>& annotations = block->userData;
    spans.reserve(annotations.size());
    for (int k = 0; k < annotations.size(); ++k) {
        const UserData* u = annotations.at(k);
        if (!u)
            continue;
        const qint64 start = u->Start;
        const qint64 end = u->End <= u->Start ? start + 1 : qint64(u->End);
        spans.append({ start, end, k, FormatOf(u->Type) });
        longest = qMax(longest, end - start);
    }
    std::stable_sort(spans.begin(), spans.end(),
                     [](const Span& a, const Span& b) { return a.start < b.start; });
}

void DecodedTextHighlighter::highlightBlock(const QString& /*text*/)
{
    ++highlights;
    Formats(currentBlock(), nullptr);
}

bool DecodedTextHighlighter::IsCurrent(const QTextBlock& line)
{
    const QTextLayout* layout = line.layout();
    if (!layout || !layout->preeditAreaText().isEmpty())
        return false;
    // The highlighter keeps a format for every character of the line, not its line break.
    QVector<const QTextCharFormat*> changes(qMax(0, line.length() - 1), nullptr);
    Formats(line, &changes);
    // The ranges QSyntaxHighlighter makes of them: runs of one format, plain ones left out. The
    // four formats differ from each other, so runs of one format are runs of one pointer.
    const QVector<QTextLayout::FormatRange> current = layout->formats();
    int r = 0;
    const int n = changes.size();
    for (int i = 0; i < n;) {
        const QTextCharFormat* format = changes.at(i);
        const int start = i;
        while (i < n && changes.at(i) == format)
            ++i;
        if (!format)
            continue;
        if (r >= current.size() || current.at(r).start != start
            || current.at(r).length != i - start || current.at(r).format != *format)
            return false;
        ++r;
    }
    return r == current.size();
}

void DecodedTextHighlighter::Formats(const QTextBlock& line, QVector<const QTextCharFormat*>* out)
{
    const auto* item = dynamic_cast<const DecodedTextLayoutItem*>(line.userData());
    if (!item || !item->block)
        return;
    // QSyntaxHighlighter::setFormat, or the same on out.
    const auto setFormat = [this, out](int start, int count, const QTextCharFormat& format) {
        if (!out) {
            QSyntaxHighlighter::setFormat(start, count, format);
            return;
        }
        if (start < 0 || start >= out->size())
            return;
        const int end = qMin(start + count, out->size());
        for (int i = start; i < end; ++i)
            (*out)[i] = &format;
    };

    const int P = line.position();
    const int E = P + line.length();
    // Annotations carry block positions; this maps them onto the line.
    const qint64 off = qint64(P) - item->start;

    if (item->block->closed)
        setFormat(0, E - P, closedFormat);

    if (batch == 0) {
        // Wide sums: block positions near the int limits must not wrap when mapped.
        for (const UserData* u : qAsConst(item->block->userData)) {
            if (!u)
                continue;
            const qint64 s = qint64(u->Start) + off;
            qint64 e = qint64(u->End) + off;
            if (e <= s)
                e = s + 1; // an emptied change must still be visible
            const bool drawn = (s >= P && s <= E) || (e >= P && e <= E) || (s <= P && e >= E);
            if (!drawn)
                continue;
            const int from = int(qMax(s, qint64(P)));
            const int to = int(qMax(qMin(e, qint64(E)), qint64(from)));
            setFormat(from - P, to - from, *FormatOf(u->Type));
        }
        return;
    }

    // An annotation is drawn on the line when it starts before the line's end and ends after
    // its start, both ends included; the longest one bounds how far back such a start lies.
    if (indexed != item->block.data())
        IndexBlock(item->block.data());
    const qint64 lo = qint64(P) - off;
    const qint64 hi = qint64(E) - off;
    const auto byStart = [](const Span& span, qint64 value) { return span.start < value; };
    auto first = std::lower_bound(spans.cbegin(), spans.cend(), lo - longest, byStart);
    const auto last = std::upper_bound(
        first, spans.cend(), hi, [](qint64 value, const Span& span) { return value < span.start; });
    QVector<const Span*> drawn;
    for (; first != last; ++first) {
        if (first->end >= lo)
            drawn.append(&*first);
    }
    std::sort(drawn.begin(), drawn.end(),
              [](const Span* a, const Span* b) { return a->order < b->order; });
    for (const Span* span : qAsConst(drawn)) {
        const int from = int(qMax(span->start + off, qint64(P)));
        const int to = int(qMax(qMin(span->end + off, qint64(E)), qint64(from)));
        setFormat(from - P, to - from, *span->format);
    }
}
