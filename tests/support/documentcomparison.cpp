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

// What the view shows: the end, or which visual line of which line is at its top. The scroll
// value itself counts lines the editor has not laid out yet as one row each, so two editors
// showing the same text can differ in it.
static QString Shown(const DecodedTextContent& content)
{
    const QScrollBar* bar = content.verticalScrollBar();
    if (bar->value() == bar->maximum())
        return QStringLiteral("end");
    const QTextCursor top = content.cursorForPosition(QPoint(0, 0));
    const QTextBlock line = top.block();
    const QTextLine row = line.layout()->lineForTextPosition(top.position() - line.position());
    return QStringLiteral("line %1 row %2").arg(line.blockNumber()).arg(row.isValid() ? row.lineNumber() : -1);
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
    if (Shown(a) != Shown(b))
        return QStringLiteral("view %1 | %2").arg(Shown(a), Shown(b));
    if (a.document()->defaultTextOption().textDirection()
        != b.document()->defaultTextOption().textDirection())
        return QStringLiteral("direction");
    return QString();
}

} // namespace DocumentComparison
