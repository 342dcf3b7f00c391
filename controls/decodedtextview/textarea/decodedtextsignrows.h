#pragma once

#include <QFont>
#include <QHash>
#include <QRect>
#include <QString>
#include <QVector>

class QFontMetrics;

// The call-sign gutter finds the visual row of a sign by measuring the wrapped text in front of
// it. In a long open paragraph that text is mostly the same from one paint to the next, and
// measuring it again for every sign made painting cost the square of the paragraph. This keeps
// the measured heights of the lines painted last, keyed by the length of the text measured, and
// keeps only those whose text is still the same up to that length.
class DecodedTextSignRows
{
public:
    // Starts a paint in the given font; what the previous paint did not visit is forgotten then.
    void Begin(const QFont& font);
    // The line whose signs follow: its layout item's block and start, the rectangle its text is
    // wrapped in, and its text from the start to the end of the block.
    void SelectLine(const void* block, int start, const QRect& wrap, const QString& text);
    // The larger wrapped height of the line's first `length` characters and of one fewer.
    int Height(const QFontMetrics& metrics, int flags, int length);

private:
    struct Line
    {
        const void* block = nullptr;
        int start = 0;
        QRect wrap;
        QString text;
        QHash<int, int> heights;
        bool visited = false;
    };

    QFont font;
    QVector<Line> lines;
    int current = -1;
};
