#include "decodedtextlastlinecache_p.h"

#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QtTest>

namespace {

const QString Long = QString(DecodedTextLastLineCache::LongLine + 40, QLatin1Char('a'));

void LayOutAll(QPlainTextEdit& edit)
{
    auto* lines = qobject_cast<QPlainTextDocumentLayout*>(edit.document()->documentLayout());
    QVERIFY(lines);
    for (QTextBlock line = edit.document()->firstBlock(); line.isValid(); line = line.next())
        lines->ensureBlockLayout(line);
}

} // namespace

class TestDecodedTextLastLineCache : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheLongLastLineKeepsItsShaping_data();
    void onlyTheLongLastLineKeepsItsShaping();
};

void TestDecodedTextLastLineCache::onlyTheLongLastLineKeepsItsShaping_data()
{
    // The document before, the edits, each followed by the cache ("+text" appended,
    // "<pos>:text" inserted, "<from>-<to>" removed, counted from the start of the last line
    // before the edit; "clear:text" the document filled anew; several separated by '|'), and
    // the document after.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("edits");
    QTest::addColumn<QString>("after");
    QTest::newRow("a short line appended after the long one")
        << "x\n" + Long << "+\nshort" << "x\n" + Long + "\nshort";
    QTest::newRow("a long line appended after the long one")
        << Long << "+\n" + Long << Long + "\n" + Long;
    QTest::newRow("a line break put in at the holder's start: the line that kept it is short")
        << "x\n" + Long << "0:y\n" << "x\ny\n" + Long;
    QTest::newRow("a line break put in inside the holder: both halves long")
        << Long + Long << "300:\n" << (Long + Long).left(300) + "\n" + (Long + Long).mid(300);
    QTest::newRow("the line break in front of the holder removed")
        << "xy\n" + Long << "-2-0" << "x" + Long;
    // The holder ended up inside the line; a line break put in front of it later splits off
    // the part that kept the shaping.
    QTest::newRow("the line break in front removed, then one put in at the line's start")
        << "xy\n" + Long << "-2-0|0:\n" << "\nx" + Long;
    QTest::newRow("the holder cut back below the length")
        << "x\n" + Long << "10-" + QString::number(Long.size()) << "x\n" + Long.left(10);
    QTest::newRow("filled anew with several lines")
        << "x\n" + Long << "clear:" + Long + "\nx\n" + Long << Long + "\nx\n" + Long;
    QTest::newRow("filled anew with one long line") << Long << "clear:" + Long << Long;
}

void TestDecodedTextLastLineCache::onlyTheLongLastLineKeepsItsShaping()
{
    QFETCH(QString, before);
    QFETCH(QString, edits);
    QFETCH(QString, after);
    QPlainTextEdit view;
    view.resize(400, 300);
    view.setPlainText(before);
    QTextDocument* doc = view.document();
    LayOutAll(view);
    DecodedTextLastLineCache cache;
    cache.Follow(doc);
    QVERIFY(doc->lastBlock().layout()->cacheEnabled());

    for (const QString& edit : edits.split(QLatin1Char('|'))) {
        const int lastStart = doc->lastBlock().position();
        QTextCursor cursor(doc);
        if (edit.startsWith(QLatin1Char('+'))) {
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(edit.mid(1));
        } else if (edit.startsWith(QLatin1String("clear:"))) {
            view.clear();
            cursor = QTextCursor(doc);
            cursor.insertText(edit.mid(6));
        } else if (edit.contains(QLatin1Char(':'))) {
            cursor.setPosition(lastStart + edit.section(QLatin1Char(':'), 0, 0).toInt());
            cursor.insertText(edit.section(QLatin1Char(':'), 1));
        } else {
            // A leading minus is part of the first number.
            const int dash = edit.indexOf(QLatin1Char('-'), 1);
            cursor.setPosition(lastStart + edit.left(dash).toInt());
            cursor.setPosition(lastStart + edit.mid(dash + 1).toInt(), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        }
        LayOutAll(view);
        QVector<int> laidOut;
        for (QTextBlock line = doc->firstBlock(); line.isValid(); line = line.next())
            laidOut << line.layout()->lineCount();

        // Letting go lays the line out once more, to the same lines, and asks for no repaint.
        QSignalSpy repaints(doc->documentLayout(), &QAbstractTextDocumentLayout::update);
        QSignalSpy lines(doc->documentLayout(), &QAbstractTextDocumentLayout::updateBlock);
        cache.Follow(doc);
        QCOMPARE(repaints.count(), 0);
        QCOMPARE(lines.count(), 0);
        int n = 0;
        const QTextBlock last = doc->lastBlock();
        for (QTextBlock line = doc->firstBlock(); line.isValid(); line = line.next(), ++n) {
            const bool keeps
                = line == last && line.length() >= DecodedTextLastLineCache::LongLine;
            QVERIFY2(line.layout()->cacheEnabled() == keeps,
                     qPrintable(QStringLiteral("%1: line %2").arg(edit).arg(n)));
            QCOMPARE(line.layout()->lineCount(), laidOut.at(n));
        }
    }
    QCOMPARE(doc->toPlainText(), after);

    // Once nothing changed, nothing changes.
    cache.Follow(doc);
    const QTextBlock last = doc->lastBlock();
    QCOMPARE(last.layout()->cacheEnabled(),
             last.length() >= DecodedTextLastLineCache::LongLine);
}

QTEST_MAIN(TestDecodedTextLastLineCache)
#include "tst_decodedtextlastlinecache.moc"
