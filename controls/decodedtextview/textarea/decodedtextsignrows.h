#pragma once

#include "dtv_export.h"

#include <QFont>
#include <QHash>
#include <QRect>
#include <QString>
#include <QTextBlock>
#include <QVector>

class QFontMetrics;

// The call-sign gutter finds the visual row of a sign by measuring the wrapped text in front of
// it. In a long open paragraph measuring that text again for every sign and paint made painting
// cost the square of the paragraph. Where the document line shows the same plain text, the row
// is read off the line's layout instead; elsewhere the measured heights of the lines painted
// last are kept, keyed by the length of the text measured, as long as their text stays the same.
class DTV_EXPORT DecodedTextSignRows
{
public:
    // Starts a paint in the given font; what the previous paint did not visit is forgotten then.
    void Begin(const QFont& font);
    // The line whose signs follow: its layout item's block and start, the rectangle its text is
    // wrapped in, its text from the start to the end of the block, and the laid out document
    // line that shows it.
    void SelectLine(const void* block, int start, const QRect& wrap, const QString& text,
                    const QTextBlock& shown);
    // The larger wrapped height of the line's first `length` characters and of one fewer.
    int Height(const QFontMetrics& metrics, int flags, int length);
    // The same height read off the shown line's layout; -1 where the layout may wrap the text
    // otherwise than measuring it does.
    int LayoutHeight(const QFontMetrics& metrics, int flags, int length);
    // The same height measured.
    int MeasuredHeight(const QFontMetrics& metrics, int flags, int length);

private:
    struct Line
    {
        const void* block = nullptr;
        int start = 0;
        QRect wrap;
        QString text;
        QTextBlock shown;
        // How many leading characters of the text the shown line holds alike and plain.
        int plain = 0;
        QHash<int, int> heights;
        bool visited = false;
    };

    int RowsHeight(const QFontMetrics& metrics, int flags, int rows);

    QFont font;
    bool plainFont = false;
    QVector<Line> lines;
    int current = -1;
    QHash<int, int> rowsHeights;
};
