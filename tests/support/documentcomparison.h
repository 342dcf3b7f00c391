#pragma once

#include <QString>

class DecodedTextContent;

namespace DocumentComparison {

// The first difference between what two text areas show: text, the layout item of every
// line, the formats given at insertion, the highlighting, the cursor, the scroll position and
// the text direction; empty when there is none.
QString Difference(const DecodedTextContent& a, const DecodedTextContent& b);

} // namespace DocumentComparison
