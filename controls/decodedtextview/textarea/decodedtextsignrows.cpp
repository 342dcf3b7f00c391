#include "decodedtextsignrows.h"

#include <QFontMetrics>

#include <algorithm>

void DecodedTextSignRows::Begin(const QFont& paintFont)
{
    if (paintFont != font) {
        font = paintFont;
        lines.clear();
    }
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const Line& line) { return !line.visited; }),
                lines.end());
    for (Line& line : lines)
        line.visited = false;
    current = -1;
}

void DecodedTextSignRows::SelectLine(const void* block, int start, const QRect& wrap,
                                     const QString& text)
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
}

int DecodedTextSignRows::Height(const QFontMetrics& metrics, int flags, int length)
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
