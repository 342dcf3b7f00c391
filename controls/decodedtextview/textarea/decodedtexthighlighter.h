#pragma once

#include "dtv_export.h"

#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QVector>

class DecodedTextBlock;
class DecodedTextContent;
class QTextBlock;

// Colours annotated text and greys out closed transmissions, line by line,
// through each line's layout item.
class DTV_EXPORT DecodedTextHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    DecodedTextHighlighter(DecodedTextContent* content, const QTextCharFormat& format);
    ~DecodedTextHighlighter() override;

    // Between these the annotations of the shown blocks stay as they are, so those of a block
    // are put in order of position once instead of being searched through for every line.
    void BeginBatch();
    void EndBatch();
    // rehighlight() of the whole document as one batch.
    void RehighlightAll();
    // Whether the line already carries the highlighting rehighlightBlock would give it, which
    // lays the line out again even when nothing changed.
    bool IsCurrent(const QTextBlock& line);
    // How many lines were highlighted so far: lines highlighted as found current before keep
    // that highlighting as long as this stays the same.
    quint64 Highlights() const { return highlights; }

protected:
    void highlightBlock(const QString& text) override;

private:
    Q_DISABLE_COPY(DecodedTextHighlighter)

    struct Span {
        qint64 start;
        qint64 end; // at least start + 1, as drawn
        int order; // place in the block's list: later ones are drawn over earlier ones
        const QTextCharFormat* format;
    };
    const QTextCharFormat* FormatOf(const QString& type) const;
    void IndexBlock(const DecodedTextBlock* block);
    // The formats of the line, set on the highlighter or, with out, noted per character.
    void Formats(const QTextBlock& line, QVector<const QTextCharFormat*>* out);

    DecodedTextContent* content;
    int batch = 0;
    quint64 highlights = 0;
    const DecodedTextBlock* indexed = nullptr;
    QVector<Span> spans; // the indexed block's annotations in order of start
    qint64 longest = 0;
    QTextCharFormat commentFormat;
    QTextCharFormat callSignFormat;
    QTextCharFormat changeFormat;
    QTextCharFormat closedFormat;
};
