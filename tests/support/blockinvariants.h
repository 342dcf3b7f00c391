#pragma once

#include <QString>

class DecodedTextBlock;
class DecodedTextBuffer;

namespace BlockInvariants {

// Describes the first broken invariant of a block, or returns an empty string:
// snippets chained from position 0 without holes or overlaps, a data snippet's width equal
// to its length, gap snippets holding only line breaks, and the text exactly as long as the
// snippets' lengths together.
QString Check(const DecodedTextBlock& block);

// The same for every block of a buffer, prefixed with the block's index.
QString Check(const DecodedTextBuffer& buffer);

} // namespace BlockInvariants

#define QVERIFY_BLOCK(block)                                                                        \
    do {                                                                                            \
        const QString dtvInvariantProblem = BlockInvariants::Check(block);                          \
        QVERIFY2(dtvInvariantProblem.isEmpty(), qPrintable(dtvInvariantProblem));                   \
    } while (false)
