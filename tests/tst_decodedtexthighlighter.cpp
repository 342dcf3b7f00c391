#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtexthighlighter.h"
#include "documentcomparison.h"
#include "widgetfixtures.h"

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

using namespace WidgetFixtures;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);
const int Channel = 5;

// The first line whose highlighting differs from a plain reading of its block: a character
// shows the colour of the last annotation in block order that covers its position (green call
// sign, cyan comment, yellow change; an emptied one still covers one character), any other
// character of a closed block is grey ('#'), the rest and lines without item stay plain; '!'
// marks an annotation that also sets a foreground.
QString Mismatch(const QTextDocument* doc)
{
    for (QTextBlock line = doc->firstBlock(); line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* item = DocumentComparison::ItemOf(line);
        const QVector<UserData*> marks = item ? item->block->userData : QVector<UserData*>();
        QString shown, wanted(line.text().size(), item && item->block->closed ? '#' : '.');
        for (int i = 0; i < wanted.size(); ++i) {
            for (const UserData* u : marks)
                if (u->Start <= item->start + i && item->start + i < qMax(u->End, u->Start + 1))
                    wanted[i] = u->Type == UserData::CallSignType ? 'g'
                        : u->Type == UserData::ChangeType         ? 'y'
                                                                  : 'c';
            QTextCharFormat f;
            for (const QTextLayout::FormatRange& r : line.layout()->formats())
                if (i >= r.start && i < r.start + r.length)
                    f = r.format;
            const bool grey = f.hasProperty(QTextFormat::ForegroundBrush)
                && f.foreground().color() == QColor(100, 100, 100);
            const QRgb bg
                = f.background().style() == Qt::NoBrush ? 0 : f.background().color().rgb();
            shown += QHash<QRgb, char> {
                { qRgb(0, 255, 0), 'g' }, { qRgb(0, 255, 255), 'c' }, { qRgb(255, 255, 0), 'y' }
            }.value(bg, grey ? '#' : '.');
            // An annotation adds a background only: the colour coding's foreground stays.
            if (bg && f.hasProperty(QTextFormat::ForegroundBrush))
                shown.back() = '!';
        }
        if (shown != wanted)
            return QStringLiteral("line %1: %2 instead of %3")
                .arg(line.blockNumber())
                .arg(shown, wanted);
    }
    return QString();
}

} // namespace

class TestDecodedTextHighlighter : public QObject {
    Q_OBJECT

private slots:
    // Blocks of letters and line breaks with annotations of every kind, mostly short, some
    // across many lines or past the block's end, some emptied; drawn by a refresh (from an
    // index of each block), line by line (from the block's own list) and after the newest
    // block was closed while shown.
    void matchesPlainReference()
    {
        const quint32 seed = 20240115;
        QRandomGenerator random(seed);
        const QString types[]
            = { UserData::CallSignType, UserData::CommentType, UserData::ChangeType };
        for (int round = 0; round < 30; ++round) {
            DecodedTextData model;
            const int blocks = random.bounded(1, 4);
            BlockPtr block;
            for (int id = 1; id <= blocks; ++id) {
                QString text;
                for (int i = random.bounded(1, 200); i > 0; --i)
                    text += random.bounded(12) == 0 ? QChar('\n') : QChar('a' + random.bounded(26));
                // A new block closes the one before.
                block = model.GetChannelData(Channel)->GetBlock(T0.addSecs(60 * id), id);
                AddRun(*block, text, T0);
                for (int n = random.bounded(40); n > 0; --n) {
                    const int start = random.bounded(text.size() + 1);
                    const int length
                        = random.bounded(10) == 0 ? random.bounded(150) : random.bounded(-2, 6);
                    block->userData.append(
                        Mark(types[random.bounded(3)], start, start + length, "X"));
                }
            }
            DecodedTextContent content(Channel, false, &model, nullptr);
            content.RefreshContent();
            const QString where = QStringLiteral("seed %1 round %2, ").arg(seed).arg(round);
            QCOMPARE(where + Mismatch(content.document()), where);
            content.document()->findChild<DecodedTextHighlighter*>()->rehighlight();
            QCOMPARE(where + Mismatch(content.document()), where);
            block->closed = true;
            content.UpdateView();
            QCOMPARE(where + Mismatch(content.document()), where);
        }
    }
};

QTEST_MAIN(TestDecodedTextHighlighter)
#include "tst_decodedtexthighlighter.moc"
