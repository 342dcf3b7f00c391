#include "decodedtextshownblocks.h"
#include "modelfixtures.h"

#include <QtTest>

using namespace Fixtures;

namespace {

// Runs as "text", "text@quality", "#width" for a gap of that many positions holding a line
// break, or "~width" for one holding no text.
void Fill(DecodedTextBlock& block, const QStringList& runs)
{
    block.text.clear();
    block.snippets.clear();
    for (int i = 0; i < runs.size(); ++i) {
        const QString& run = runs.at(i);
        if (run.startsWith(QLatin1Char('#')) || run.startsWith(QLatin1Char('~'))) {
            AddGap(block, run.mid(1).toInt(),
                   run.startsWith(QLatin1Char('#')) ? QStringLiteral("\n") : QString(), 1000 * i);
            continue;
        }
        const QStringList parts = run.split(QLatin1Char('@'));
        AddRun(block, parts.at(0), parts.size() > 1 ? parts.at(1).toInt() : 90, 1000 * i);
    }
}

QVector<int> TextStarts(const DecodedTextBlock& block)
{
    QVector<int> starts { 0 };
    for (const DecodedTextSnippet& s : block.snippets)
        starts << starts.last() + s.length;
    return starts;
}

} // namespace

class TestDecodedTextShownBlocks : public QObject {
    Q_OBJECT

private slots:
    void checkedUpTo_data();
    void checkedUpTo();
    void checkedUpToNeedsTheSameState();
};

void TestDecodedTextShownBlocks::checkedUpTo_data()
{
    // The block's runs when its lines were checked, its runs now, and the run at whose first
    // character the lines still known as checked end.
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QStringList>("now");
    QTest::addColumn<int>("upToRun");
    const QStringList four { "CQ CQ ", "DE K1A\n", "TEST ", "73\n" };
    QTest::newRow("nothing changed: all but the last run") << four << four << 3;
    QTest::newRow("a run's text changed: the run in front is left out too")
        << four << QStringList { "CQ CQ ", "DE K1A\n", "TEXT ", "73\n" } << 1;
    QTest::newRow("a later run's quality changed, not its text")
        << four << QStringList { "CQ CQ ", "DE K1A\n", "TEST @20", "73\n" } << 1;
    QTest::newRow("a gap widened: the runs behind it moved, their text did not")
        << QStringList { "CQ CQ ", "DE K1A\n", "#3", "TEST ", "73\n" }
        << QStringList { "CQ CQ ", "DE K1A\n", "#5", "TEST ", "73\n" } << 1;
    QTest::newRow("a run changed behind an empty gap: the run in front of the gap is left out")
        << QStringList{ "CQ CQ ", "DE K1A\n", "~3", "TEST ", "73\n" }
        << QStringList{ "CQ CQ ", "DE K1A\n", "~3", "TEXT ", "73\n" } << 1;
    QTest::newRow("the second run's quality changed: nothing in front of it is known")
        << four << QStringList { "CQ CQ ", "DE K1A\n@20", "TEST ", "73\n" } << 0;
    QTest::newRow("the first run changed")
        << four << QStringList { "CQ DE ", "DE K1A\n", "TEST ", "73\n" } << 0;
    QTest::newRow("a run merged in between")
        << four << QStringList { "CQ CQ ", "DE K1A\n", "QRL ", "TEST ", "73\n" } << 1;
    QTest::newRow("runs cut back and continued otherwise")
        << four << QStringList { "CQ CQ ", "DE K1A\n", "TE", "ST 73\n" } << 1;
    QTest::newRow("runs added behind the end") << QStringList(four.mid(0, 2)) << four << 1;
    QTest::newRow("the same text cut into other runs")
        << four << QStringList { "CQ CQ DE K1A\n", "TEST ", "73\n" } << 0;
}

void TestDecodedTextShownBlocks::checkedUpTo()
{
    QFETCH(QStringList, checked);
    QFETCH(QStringList, now);
    QFETCH(int, upToRun);
    BlockPtr block = MakeBlock({});
    Fill(*block, checked);
    DecodedTextShownBlocks shown;
    shown.NoteChecked(block, 5, 50, true);
    Fill(*block, now);
    const QVector<int> starts = TextStarts(*block);
    QCOMPARE(shown.CheckedUpTo(block, starts, 5, 50, true), starts.at(upToRun));
}

void TestDecodedTextShownBlocks::checkedUpToNeedsTheSameState()
{
    const QStringList runs { "CQ CQ ", "DE K1A\n", "TEST ", "73\n" };
    BlockPtr block = MakeBlock(runs);
    const QVector<int> starts = TextStarts(*block);
    DecodedTextShownBlocks shown;
    QCOMPARE(shown.CheckedUpTo(block, starts, 5, 50, true), 0);
    shown.NoteChecked(block, 5, 50, true);
    QCOMPARE(shown.CheckedUpTo(block, starts, 5, 50, true), starts.at(3));
    // The document changed since, the threshold, the colouring, or it is another block.
    QCOMPARE(shown.CheckedUpTo(block, starts, 6, 50, true), 0);
    QCOMPARE(shown.CheckedUpTo(block, starts, 5, 60, true), 0);
    QCOMPARE(shown.CheckedUpTo(block, starts, 5, 50, false), 0);
    QCOMPARE(shown.CheckedUpTo(MakeBlock(runs), starts, 5, 50, true), 0);
    // Run starts that do not add up to the text.
    QCOMPARE(shown.CheckedUpTo(block, starts.mid(0, 4), 5, 50, true), 0);
    for (const bool invalidate : { true, false }) {
        shown.NoteChecked(block, 5, 50, true);
        invalidate ? shown.Invalidate() : shown.Reset();
        QCOMPARE(shown.CheckedUpTo(block, starts, 5, 50, true), 0);
    }
}

QTEST_GUILESS_MAIN(TestDecodedTextShownBlocks)
#include "tst_decodedtextshownblocks.moc"
