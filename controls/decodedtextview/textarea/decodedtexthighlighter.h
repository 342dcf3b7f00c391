#pragma once

#include "dtv_export.h"

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class DecodedTextContent;

// Colours annotated text and greys out closed transmissions, line by line,
// through each line's layout item.
class DTV_EXPORT DecodedTextHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    DecodedTextHighlighter(DecodedTextContent* content, const QTextCharFormat& format);
    ~DecodedTextHighlighter() override;

protected:
    void highlightBlock(const QString& text) override;

private:
    Q_DISABLE_COPY(DecodedTextHighlighter)

    DecodedTextContent* content;
    QTextCharFormat commentFormat;
    QTextCharFormat callSignFormat;
    QTextCharFormat changeFormat;
    QTextCharFormat closedFormat;
};
