#include "decodedtextsignrows.h"

#include <QFontMetrics>
#include <QTextLayout>

#include <algorithm>

void DecodedTextSignRows::Begin(const QFont& paintFont)
{
    if (paintFont != font) {
        font = paintFont;
        lines.clear();
        rowsHeights.clear();
        // Rows read off the layout stack alike only in a font that has every printable
        // character itself, all as wide: fallback fonts change how tall a row is, and the
        // kerning of proportional fonts where a prefix cut at a colour change wraps.
        const QFontMetrics metrics(font);
        const int advance = metrics.horizontalAdvance(QLatin1Char('X'));
        plainFont = true;
        for (char16_t c = 0x20; plainFont && c < 0x7f; ++c)
            plainFont = metrics.inFont(QChar(c)) && metrics.horizontalAdvance(QChar(c)) == advance;
    }
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const Line& line) { return !line.visited; }),
                lines.end());
    for (Line& line : lines)
        line.visited = false;
    current = -1;
}

void DecodedTextSignRows::SelectLine(const void* block, int start, const QRect& wrap,
                                     const QString& text, const QTextBlock& shown)
{
    current = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines.at(i).block == block && lines.at(i).start == start) {
            current = i;
            break;
        }
    }
    if (current < 0) {
        lines.append(Line());
        current = lines.size() - 1;
    }
    Line& line = lines[current];
    if (line.visited || line.wrap != wrap) {
        // Shown twice in one paint, or wrapped differently: start the line afresh.
        line.heights.clear();
    } else {
        // Heights stay valid for the text that did not change.
        const int n = qMin(line.text.size(), text.size());
        const QChar* a = line.text.constData();
        const QChar* b = text.constData();
        const int same = int(std::mismatch(a, a + n, b).first - a);
        for (auto it = line.heights.begin(); it != line.heights.end();) {
            if (it.key() > same)
                it = line.heights.erase(it);
            else
                ++it;
        }
    }
    line.block = block;
    line.start = start;
    line.wrap = wrap;
    line.text = text;
    line.visited = true;
    line.shown = shown;
    // Printable ASCII lays out alike wherever it stands: one font, no tabs, no forced breaks,
    // no clusters. Other characters, or text the document does not show (yet), are measured.
    const QString shownText = shown.text();
    const int n = qMin(text.size(), shownText.size());
    int plain = 0;
    while (plain < n && text.at(plain) == shownText.at(plain) && text.at(plain).unicode() >= 0x20
           && text.at(plain).unicode() < 0x7f)
        ++plain;
    line.plain = plain;
}

int DecodedTextSignRows::Height(const QFontMetrics& metrics, int flags, int length)
{
    const int laid = LayoutHeight(metrics, flags, length);
    return laid >= 0 ? laid : MeasuredHeight(metrics, flags, length);
}

int DecodedTextSignRows::LayoutHeight(const QFontMetrics& metrics, int flags, int length)
{
    const Line& line = lines.at(current);
    length = qMin(length, line.text.size());
    if (!plainFont || length < 1 || length > line.plain || !(flags & Qt::TextWrapAnywhere))
        return -1;
    const QTextLayout* layout = line.shown.layout();
    // Text being composed in an input method is laid out in the line but is not its text.
    if (!layout || layout->lineCount() == 0 || !layout->preeditAreaText().isEmpty()
        || layout->textOption().wrapMode() != QTextOption::WrapAnywhere
        || layout->lineAt(0).width() != qreal(line.wrap.width()))
        return -1;
    // The prefix wraps as the whole line does up to its last character, whose row is the last
    // of the prefix; the shorter prefix never has more rows.
    const QTextLine row = layout->lineForTextPosition(length - 1);
    if (!row.isValid())
        return -1;
    return RowsHeight(metrics, flags, row.lineNumber() + 1);
}

int DecodedTextSignRows::RowsHeight(const QFontMetrics& metrics, int flags, int rows)
{
    const auto found = rowsHeights.constFind(rows);
    if (found != rowsHeights.constEnd())
        return found.value();
    // Rows of one font stack alike whether the text wraps or breaks: measuring that many short
    // lines gives the height, leading and rounding included.
    QString text(2 * rows - 1, QLatin1Char('\n'));
    for (int i = 0; i < text.size(); i += 2)
        text[i] = QLatin1Char('X');
    const int h = metrics.boundingRect(QRect(0, 0, 1 << 20, 100), flags, text).height();
    rowsHeights.insert(rows, h);
    return h;
}

int DecodedTextSignRows::MeasuredHeight(const QFontMetrics& metrics, int flags, int length)
{
    Line& line = lines[current];
    // Past the end the text measured is the whole line.
    length = qMin(length, line.text.size());
    const auto found = line.heights.constFind(length);
    if (found != line.heights.constEnd())
        return found.value();
    const QString prefix = line.text.left(length);
    const QString shorter = prefix.isEmpty() ? prefix : prefix.left(prefix.size() - 1);
    const int h = qMax(metrics.boundingRect(line.wrap, flags, prefix).height(),
                       metrics.boundingRect(line.wrap, flags, shorter).height());
    line.heights.insert(length, h);
    return h;
}
