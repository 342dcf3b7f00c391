#pragma once

#include <QString>
#include <QStringList>

class DecodedTextContent;
class QTextBlock;
class QTextDocument;
class DecodedTextLayoutItem;

namespace DocumentComparison {

// The first difference between what two text areas show: text, the layout item of every
// line, the formats given at insertion, the highlighting, the cursor, the scroll position and
// the text direction; empty when there is none.
QString Difference(const DecodedTextContent& a, const DecodedTextContent& b);

const DecodedTextLayoutItem* ItemOf(const QTextBlock& line);
// "text|start-end|snippet" per line, "text|-" for a line without item.
QStringList Lines(const QTextDocument* document);

} // namespace DocumentComparison
