#include "documentcomparison.h"

#include "decodedtextcontent.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace DocumentComparison {

const DecodedTextLayoutItem* ItemOf(const QTextBlock& line)
{
    return dynamic_cast<const DecodedTextLayoutItem*>(line.userData());
}

QStringList Lines(const QTextDocument* document)
{
    QStringList out;
    for (QTextBlock line = document->firstBlock(); line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* i = ItemOf(line);
        out << (i ? QStringLiteral("%1|%2-%3|%4")
                        .arg(line.text())
                        .arg(i->start)
                        .arg(i->end)
                        .arg(i->snippet)
                  : line.text() + QStringLiteral("|-"));
    }
    return out;
}

QString Difference(const DecodedTextContent& a, const DecodedTextContent& b)
{
    if (a.toPlainText() != b.toPlainText()) {
        const QString x = a.toPlainText();
        const QString y = b.toPlainText();
        int at = 0;
        while (at < x.size() && at < y.size() && x.at(at) == y.at(at))
            ++at;
        return QStringLiteral("text from %1: %2 | %3").arg(at).arg(x.mid(at, 40), y.mid(at, 40));
    }
    QTextBlock x = a.document()->firstBlock();
    QTextBlock y = b.document()->firstBlock();
    for (int n = 0; x.isValid() && y.isValid(); x = x.next(), y = y.next(), ++n) {
        const DecodedTextLayoutItem* i = ItemOf(x);
        const DecodedTextLayoutItem* j = ItemOf(y);
        if (!i != !j || (i && (i->block != j->block || i->start != j->start || i->end != j->end
                               || i->snippet != j->snippet || i->flags != j->flags)))
            return QStringLiteral("item of line %1").arg(n);
        if (x.charFormat() != y.charFormat() || x.blockFormat() != y.blockFormat())
            return QStringLiteral("line format of line %1").arg(n);
        for (QTextBlock::iterator f = x.begin(), g = y.begin(); !f.atEnd() || !g.atEnd(); ++f, ++g)
            if (f.atEnd() || g.atEnd() || f.fragment().length() != g.fragment().length()
                || f.fragment().charFormat() != g.fragment().charFormat())
                return QStringLiteral("inserted formats of line %1").arg(n);
        if (!(x.layout()->formats() == y.layout()->formats()))
            return QStringLiteral("highlighting of line %1").arg(n);
    }
    if (a.textCursor().anchor() != b.textCursor().anchor()
        || a.textCursor().position() != b.textCursor().position())
        return QStringLiteral("cursor %1-%2 | %3-%4")
            .arg(a.textCursor().anchor())
            .arg(a.textCursor().position())
            .arg(b.textCursor().anchor())
            .arg(b.textCursor().position());
    if (a.verticalScrollBar()->value() != b.verticalScrollBar()->value())
        return QStringLiteral("scroll %1 | %2")
            .arg(a.verticalScrollBar()->value())
            .arg(b.verticalScrollBar()->value());
    if (a.document()->defaultTextOption().textDirection()
        != b.document()->defaultTextOption().textDirection())
        return QStringLiteral("direction");
    return QString();
}

} // namespace DocumentComparison
