#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QtTest>

#include <climits>

using namespace Fixtures;

namespace {

// "abc" [0,3), gap "\n" [3,10), "de" [10,12), gap "\n\n" [12,20), "fg" [20,22); one second per run.
BlockPtr Mixed()
{
    BlockPtr block(new DecodedTextBlock(1, 1, T0));
    AddRun(*block, QStringLiteral("abc"), 90, 0);
    AddGap(*block, 7, QStringLiteral("\n"), 1000);
    AddRun(*block, QStringLiteral("de"), 90, 2000);
    AddGap(*block, 8, QStringLiteral("\n\n"), 3000);
    AddRun(*block, QStringLiteral("fg"), 90, 4000);
    return block;
}

} // namespace

class TestDecodedTextBlock : public QObject {
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void qualityAndVisiblePositions();
    void appendGapKeepsTheChain();
    void trimFront_data();
    void trimFront();
    void clear();
    void adjustUserDataAfterChanges_data();
    void adjustUserDataAfterChanges();
    void applySeparators();
};

void TestDecodedTextBlock::mapping_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<QString>("expected"); // times in seconds after T0
    // clang-format off
    QTest::newRow("text index: most negative position") << "TextIndex" << INT_MIN << 0 << 0 << "0";
    QTest::newRow("text index: run after wide gap counts the gap's one break") << "TextIndex" << 10 << 0 << 0 << "4";
    QTest::newRow("text index: run after two-break gap") << "TextIndex" << 20 << 0 << 0 << "8";
    QTest::newRow("text index: largest position gives the text length") << "TextIndex" << INT_MAX << 0 << 0 << "10";
    QTest::newRow("position: negative index") << "PositionOfIndex" << -1 << 0 << 0 << "0";
    QTest::newRow("position: gap break maps to the gap start") << "PositionOfIndex" << 3 << 0 << 0 << "3";
    QTest::newRow("position: first character after a gap") << "PositionOfIndex" << 4 << 0 << 0 << "10";
    QTest::newRow("position: second break of two-break gap") << "PositionOfIndex" << 7 << 0 << 0 << "13";
    QTest::newRow("position: largest index gives the end") << "PositionOfIndex" << INT_MAX << 0 << 0 << "22";
    QTest::newRow("snippet: end of a run is the gap") << "IndexOfPosition" << 3 << 0 << 0 << "1";
    QTest::newRow("snippet: end position is in no snippet") << "IndexOfPosition" << 22 << 0 << 0 << "-1";
    QTest::newRow("snippet: negative start snippet counts as 0") << "IndexOfPosition" << 3 << INT_MIN << 0 << "1";
    QTest::newRow("snippet: search starts after the containing snippet") << "IndexOfPosition" << 3 << 2 << 0 << "-1";
    QTest::newRow("span: ends exactly at the run end") << "PositionSpan" << 0 << 1 << 2 << "2";
    QTest::newRow("span: line with its break covers the whole gap") << "PositionSpan" << 0 << 0 << 4 << "10";
    QTest::newRow("span: runs out of snippets") << "PositionSpan" << 4 << 20 << 100 << "2";
    QTest::newRow("span: largest count covers all positions") << "PositionSpan" << 0 << 0 << INT_MAX << "22";
    QTest::newRow("span: two-break gap at start takes one position") << "PositionSpan" << 3 << 12 << 1 << "1";
    QTest::newRow("span: two-break gap inside takes the rest") << "PositionSpan" << 3 << 13 << 1 << "7";
    QTest::newRow("span: one-break gap is its width whatever the count") << "PositionSpan" << 1 << 5 << 0 << "7";
    QTest::newRow("span: no characters of a data run cover nothing") << "PositionSpan" << 0 << 1 << 0 << "0";
    QTest::newRow("span: most negative snippet") << "PositionSpan" << INT_MIN << 0 << 2 << "0";
    QTest::newRow("span: position outside the snippet") << "PositionSpan" << 0 << 3 << 2 << "0";
    QTest::newRow("span: most negative count") << "PositionSpan" << 0 << 0 << INT_MIN << "0";
    QTest::newRow("text: from inside a run to the largest position") << "Text" << 11 << INT_MAX << 0 << "e\n\nfg";
    QTest::newRow("text: the whole int range is the whole text") << "Text" << INT_MIN << INT_MAX << 0 << "abc\nde\n\nfg";
    QTest::newRow("text: a reversed range holds nothing, not the rest") << "Text" << 11 << 3 << 0 << "";
    QTest::newRow("text from snippet: the two-break gap on") << "TextFromSnippet" << 3 << 0 << 0 << "\n\nfg";
    QTest::newRow("text from snippet: past the last") << "TextFromSnippet" << 5 << 0 << 0 << "";
    QTest::newRow("snippet text: most negative index") << "SnippetText" << INT_MIN << 0 << 0 << "";
    QTest::newRow("snippet time: a gap has its own") << "SnippetTime" << 3 << 0 << 0 << "3";
    QTest::newRow("snippet time: past the last") << "SnippetTime" << 5 << 0 << 0 << "invalid";
    QTest::newRow("time at: negative start snippet counts as 0") << "TimeAt" << 11 << INT_MIN << 0 << "2";
    QTest::newRow("time at: outside the block the last time") << "TimeAt" << INT_MIN << 0 << 0 << "4";
    QTest::newRow("time at: search past the snippets the last time") << "TimeAt" << 5 << INT_MAX << 0 << "4";
    // clang-format on
}

void TestDecodedTextBlock::mapping()
{
    QFETCH(QString, function);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    const BlockPtr block = Mixed();
    QVERIFY_BLOCK(*block);
    const auto secs = [](const QDateTime& t) { return t.isValid() ? QString::number(T0.secsTo(t)) : "invalid"; };
    const QString result = function == "TextIndex" ? QString::number(block->TextIndex(a))
        : function == "PositionOfIndex"             ? QString::number(block->PositionOfIndex(a))
        : function == "IndexOfPosition"             ? QString::number(block->IndexOfPosition(a, b))
        : function == "PositionSpan"                ? QString::number(block->PositionSpan(a, b, c))
        : function == "Text"                        ? block->Text(a, b)
        : function == "TextFromSnippet"             ? block->TextFromSnippet(a)
        : function == "SnippetText"                 ? block->SnippetText(a)
        : function == "SnippetTime"                 ? secs(block->SnippetTime(a))
                                                    : secs(block->TimeAt(a, b));
    QTEST(result, "expected");
}

void TestDecodedTextBlock::qualityAndVisiblePositions()
{
    // Negative quality means none; 0 is a quality.
    BlockPtr runs(new DecodedTextBlock(1, 1, T0));
    QVERIFY(!runs->TimeAt(0, 0).isValid() && !runs->LastTimestamp().isValid());
    QCOMPARE(runs->TextIndex(5) + runs->PositionOfIndex(5), 0);
    AddRun(*runs, QStringLiteral("ab"), -1);
    AddRun(*runs, QStringLiteral("\n\nxy"), -20);
    QVERIFY(!runs->HasQuality());
    AddGap(*runs, 5, QStringLiteral("\n\n"));
    QCOMPARE(runs->FirstVisiblePosition(runs->snippets.at(1)), 4);
    QCOMPARE(runs->FirstVisiblePosition(runs->snippets.at(2)), -1);
    const DecodedTextSnippet copy = runs->snippets.at(1); // found by its start, not its address
    QCOMPARE(runs->FirstVisiblePosition(copy), 4);
    QCOMPARE(runs->FirstVisiblePosition(DecodedTextSnippet()), -1);
    AddRun(*runs, QStringLiteral("cd"), 0);
    QVERIFY(runs->HasQuality());
}

// Which separator a gap gets, and how it widens, is checked through the intake (tst_intake).
void TestDecodedTextBlock::appendGapKeepsTheChain()
{
    const BlockPtr block = MakeBlock({ "abc" });
    for (const auto& range : { qMakePair(INT_MIN, INT_MAX), qMakePair(6, 4), qMakePair(4, 9), qMakePair(2, 9) })
        QVERIFY(!block->AppendGap(range.first, range.second, QString()));
    QVERIFY(block->AppendGap(3, 40, QString()));
    // A trailing gap never moves its end before its start.
    block->AppendGap(INT_MIN, 2, QString());
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block), QStringLiteral("0-3:3q90 g3-40:2"));
}

void TestDecodedTextBlock::trimFront_data()
{
    QTest::addColumn<int>("excess");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("annotations");
    // Runs "abc" [0,3), "defg" [3,7), "hi" [7,9); annotations [0,2), [2,3), [5,6).
    const QString whole = QStringLiteral("0-3:3q90 3-7:4q90 7-9:2q90");
    // clang-format off
    QTest::newRow("excess at a run boundary") << 3 << 3 << "g0-3:1 3-7:4q90 7-9:2q90" << "2-3 5-6";
    QTest::newRow("excess inside a run keeps it") << 4 << 3 << "g0-3:1 3-7:4q90 7-9:2q90" << "5-6";
    QTest::newRow("two runs") << 7 << 7 << "g0-7:1 7-9:2q90" << "";
    QTest::newRow("short of the first run's end") << 2 << 0 << whole << "0-2 2-3 5-6";
    QTest::newRow("most negative excess") << INT_MIN << 0 << whole << "0-2 2-3 5-6";
    QTest::newRow("everything, no gap left") << 9 << 9 << "" << "";
    QTest::newRow("largest excess") << INT_MAX << 9 << "" << "";
    // clang-format on
}

void TestDecodedTextBlock::trimFront()
{
    QFETCH(int, excess);
    const BlockPtr block = MakeBlock({ "abc", "defg", "hi" });
    block->timestamp = T0.addSecs(-60);
    block->userData << Note(UserData::CommentType, 0, 2) << Note(UserData::CommentType, 2, 3)
                    << Note(UserData::CommentType, 5, 6);
    block->userDataCount = 3;
    QTEST(block->TrimFront(excess), "removed");
    QVERIFY_BLOCK(*block);
    QTEST(Layout(*block), "layout");
    QTEST(Ranges(*block), "annotations");
    QCOMPARE(block->userDataCount, 3);
    if (block->IsGap(0))
        QCOMPARE(block->snippets.first().timestamp, block->timestamp); // the block's time
}

void TestDecodedTextBlock::clear()
{
    // Whether Clear frees the annotations is left to the leak check of the sanitizer build.
    const BlockPtr mixed = Mixed();
    mixed->userData << Note(UserData::CommentType, 0, 1);
    mixed->streamPosition = 40;
    QCOMPARE(mixed->Clear(), 10);
    QVERIFY(mixed->text.isEmpty() && mixed->snippets.isEmpty() && mixed->userData.isEmpty() && !mixed->streamPosition);
}

// The walk skips the annotations it knows to lie before an edit; whatever was inserted, removed
// or re-allocated in between, the outcome must be the plain rules applied to every annotation.
void TestDecodedTextBlock::adjustUserDataAfterChanges_data()
{
    QTest::addColumn<bool>("spanning");
    QTest::addColumn<bool>("appended");
    QTest::addColumn<bool>("separators");
    QTest::newRow("one-position marks in order of Start, as the merge sets them")
        << false << false << false;
    QTest::newRow("long comments reach over later edits") << true << false << false;
    QTest::newRow("imported annotations appended out of order") << true << true << false;
    QTest::newRow("separators move annotations in place") << true << false << true;
}

void TestDecodedTextBlock::adjustUserDataAfterChanges()
{
    QFETCH(bool, spanning);
    QFETCH(bool, appended);
    QFETCH(bool, separators);
    const BlockPtr block = MakeBlock({ QString(400, QLatin1Char('x')) });
    QRandomGenerator random(20261206);
    int blockEnd = block->EndPosition();
    const auto addAnnotation = [&]() {
        const int start = random.bounded(blockEnd - 1);
        const int length = spanning && random.bounded(4) == 0 ? random.bounded(1, 120) : 1;
        UserData* annotation = Note(UserData::CallSignType, start, qMin(start + length, blockEnd));
        int at = block->userData.size();
        if (!appended || random.bounded(3) != 0) {
            while (at > 0 && block->userData.at(at - 1)->Start > start)
                --at;
        }
        block->userData.insert(at, annotation);
    };
    for (int k = 0; k < 60; ++k)
        addAnnotation();

    for (int step = 0; step < 3000; ++step) {
        switch (random.bounded(6)) {
        case 0:
            addAnnotation();
            break;
        case 1: {
            // A freed annotation's address is the likeliest one for the next.
            if (block->userData.isEmpty())
                break;
            const int start = block->userData.at(random.bounded(block->userData.size()))->Start;
            block->RemoveUserDataStartingIn(start, start);
            addAnnotation();
            break;
        }
        case 2:
            if (separators) {
                block->snippets.last().flags |= SnippetSeparatorWanted;
                block->ApplySeparators(0, QStringLiteral("| "), random.bounded(2) == 0);
                blockEnd = block->EndPosition();
            }
            break;
        default: {
            // Mostly near the end, where the merge inserts; now and then at the ends of the int
            // range, where sums must not wrap. to below from as well: taking a change back that
            // had made its range longer.
            const int pick = random.bounded(40);
            const int from = pick == 0 ? INT_MIN : random.bounded(4) == 0 ? random.bounded(blockEnd)
                                                                          : blockEnd - random.bounded(1, 40);
            const int to = pick == 0 ? INT_MAX : from + random.bounded(-2, 3);
            const int delta = pick == 1 ? INT_MAX : pick == 2 ? INT_MIN : random.bounded(-3, 4);
            const auto seen = [](const UserData* u, qint64 start, qint64 end) {
                return QStringLiteral("%1:%2-%3").arg(quintptr(u)).arg(start).arg(end);
            };
            QStringList expected, got;
            for (const UserData* annotation : qAsConst(block->userData)) {
                qint64 start = annotation->Start;
                qint64 end = annotation->End;
                if (start < from && from < end)
                    end = qMax(end + delta, start + 1);
                else if (start < to ? from < start : !(from == to && start == to && end == qint64(from) + delta)) {
                    start += delta;
                    end += delta;
                }
                if (start >= 0 && end <= blockEnd)
                    expected << seen(annotation, start, end);
            }
            block->AdjustUserData(from, to, delta);
            for (const UserData* annotation : qAsConst(block->userData))
                got << seen(annotation, annotation->Start, annotation->End);
            const QString at = QStringLiteral("seed 20261206 step %1, %2 %3 %4: ").arg(step).arg(from).arg(to).arg(delta);
            QCOMPARE(at + got.join(' '), at + expected.join(' '));
        }
        }
    }
}

void TestDecodedTextBlock::applySeparators()
{
    const BlockPtr block = MakeBlock({ "ab", "cd", "ef" });
    block->snippets[1].flags = block->snippets[2].flags = SnippetSeparatorWanted;
    block->userData << Note(UserData::CommentType, 0, 1) << Note(UserData::CommentType, 2, 3)
                    << Note(UserData::CommentType, 4, 5);
    for (int from : { INT_MIN, -1, 3, INT_MAX })
        QVERIFY(!block->ApplySeparators(from, QStringLiteral("--"), true));
    // From a later snippet only the runs from there on are touched.
    QVERIFY(block->ApplySeparators(2, QStringLiteral("--"), true));
    QCOMPARE(block->text, QStringLiteral("abcd--ef"));
    QVERIFY(block->ApplySeparators(0, QStringLiteral("--"), true));
    QVERIFY(!block->ApplySeparators(0, QStringLiteral("--"), true));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("ab--cd--ef"));
    QCOMPARE(block->snippets.at(1).flags, SnippetSeparatorWanted | SnippetSeparatorInserted);
    QCOMPARE(Layout(*block), QStringLiteral("0-2:2q90 2-6:4q90 6-10:4q90"));
    QCOMPARE(Ranges(*block), QStringLiteral("0-1 4-5 8-9")); // still on "a", "c" and "e"
    // A mark on the separator itself stays where the run starts when the separator goes.
    block->userData << Note(UserData::CommentType, 2, 3);
    // A run that no longer wants its separator loses it even when inserting.
    block->snippets[2].flags &= ~SnippetSeparatorWanted;
    QVERIFY(block->ApplySeparators(0, QStringLiteral("--"), true));
    QCOMPARE(block->text, QStringLiteral("ab--cdef"));
    QVERIFY(block->ApplySeparators(0, QStringLiteral("--"), false));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abcdef"));
    QCOMPARE(Ranges(*block), QStringLiteral("0-1 2-3 4-5 2-3"));
    QCOMPARE(block->snippets.at(1).flags, SnippetSeparatorWanted);

    // Text that is not the separator is left where a separator is flagged.
    block->snippets[1].flags |= SnippetSeparatorInserted;
    QVERIFY(!block->ApplySeparators(0, QStringLiteral("--"), false));
    QCOMPARE(block->text, QStringLiteral("abcdef"));
    QCOMPARE(block->snippets.at(1).flags, SnippetSeparatorWanted);
}

QTEST_GUILESS_MAIN(TestDecodedTextBlock)
#include "tst_decodedtextblock.moc"
