#include "blockinvariants.h"

#include "decodedtextdata.h"

namespace BlockInvariants {

QString Check(const DecodedTextBlock& block)
{
    int expectedStart = 0;
    int totalLength = 0;
    for (int i = 0; i < block.snippets.size(); ++i) {
        const DecodedTextSnippet& s = block.snippets.at(i);
        if (s.start != expectedStart)
            return QStringLiteral("snippet %1 starts at %2, expected %3").arg(i).arg(s.start).arg(expectedStart);
        if (s.end < s.start)
            return QStringLiteral("snippet %1 ends at %2 before its start %3").arg(i).arg(s.end).arg(s.start);
        if (s.length < 0)
            return QStringLiteral("snippet %1 has negative length %2").arg(i).arg(s.length);
        if (s.flags & SnippetGap) {
            const QString own = block.text.mid(totalLength, s.length);
            if (own.count(QLatin1Char('\n')) != own.size() && !(s.flags & SnippetSeparatorInserted))
                return QStringLiteral("gap snippet %1 holds other text than line breaks").arg(i);
        } else if (s.end - s.start != s.length) {
            return QStringLiteral("data snippet %1 is %2 positions wide but owns %3 characters")
                .arg(i).arg(s.end - s.start).arg(s.length);
        }
        expectedStart = s.end;
        totalLength += s.length;
    }
    if (totalLength != block.text.size())
        return QStringLiteral("text has %1 characters, snippets own %2").arg(block.text.size()).arg(totalLength);
    return QString();
}

QString Check(const DecodedTextBuffer& buffer)
{
    for (int i = 0; i < buffer.blocks.size(); ++i) {
        if (!buffer.blocks.at(i))
            return QStringLiteral("block %1 is null").arg(i);
        const QString problem = Check(*buffer.blocks.at(i));
        if (!problem.isEmpty())
            return QStringLiteral("block %1: %2").arg(i).arg(problem);
    }
    return QString();
}

} // namespace BlockInvariants
