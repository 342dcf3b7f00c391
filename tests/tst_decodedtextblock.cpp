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

// Counts the annotations alive, to see that the block deletes what it owns.
struct CountedUserData : UserData {
    static int alive;
    CountedUserData() { ++alive; }
    ~CountedUserData() override { --alive; }
};
int CountedUserData::alive = 0;

} // namespace

class TestDecodedTextBlock : public QObject {
    Q_OBJECT

private slots:
    void mapping_data();
    void mapping();
    void readers();
    void appendGap_data();
    void appendGap();
    void trimFront_data();
    void trimFront();
    void clearDeletesAnnotations();
    void adjustUserData_data();
    void adjustUserData();
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
    QTest::addColumn<int>("expected");
    // clang-format off
    QTest::newRow("text index: most negative position") << "TextIndex" << INT_MIN << 0 << 0 << 0;
    QTest::newRow("text index: run after wide gap counts the gap's one break") << "TextIndex" << 10 << 0 << 0 << 4;
    QTest::newRow("text index: run after two-break gap") << "TextIndex" << 20 << 0 << 0 << 8;
    QTest::newRow("text index: largest position gives the text length") << "TextIndex" << INT_MAX << 0 << 0 << 10;
    QTest::newRow("position: negative index") << "PositionOfIndex" << -1 << 0 << 0 << 0;
    QTest::newRow("position: gap break maps to the gap start") << "PositionOfIndex" << 3 << 0 << 0 << 3;
    QTest::newRow("position: first character after a gap") << "PositionOfIndex" << 4 << 0 << 0 << 10;
    QTest::newRow("position: second break of two-break gap") << "PositionOfIndex" << 7 << 0 << 0 << 13;
    QTest::newRow("position: largest index gives the end") << "PositionOfIndex" << INT_MAX << 0 << 0 << 22;
    QTest::newRow("snippet: end of a run is the gap") << "IndexOfPosition" << 3 << 0 << 0 << 1;
    QTest::newRow("snippet: end position is in no snippet") << "IndexOfPosition" << 22 << 0 << 0 << -1;
    QTest::newRow("snippet: negative start snippet counts as 0") << "IndexOfPosition" << 3 << INT_MIN << 0 << 1;
    QTest::newRow("snippet: search starts after the containing snippet") << "IndexOfPosition" << 3 << 2 << 0 << -1;
    QTest::newRow("span: ends exactly at the run end") << "PositionSpan" << 0 << 1 << 2 << 2;
    QTest::newRow("span: line with its break covers the whole gap") << "PositionSpan" << 0 << 0 << 4 << 10;
    QTest::newRow("span: runs out of snippets") << "PositionSpan" << 4 << 20 << 100 << 2;
    QTest::newRow("span: largest count covers all positions") << "PositionSpan" << 0 << 0 << INT_MAX << 22;
    QTest::newRow("span: two-break gap at start takes one position") << "PositionSpan" << 3 << 12 << 1 << 1;
    QTest::newRow("span: two-break gap inside takes the rest") << "PositionSpan" << 3 << 13 << 1 << 7;
    QTest::newRow("span: one-break gap is its width whatever the count") << "PositionSpan" << 1 << 5 << 0 << 7;
    QTest::newRow("span: no characters of a data run cover nothing") << "PositionSpan" << 0 << 1 << 0 << 0;
    QTest::newRow("span: most negative snippet") << "PositionSpan" << INT_MIN << 0 << 2 << 0;
    QTest::newRow("span: position outside the snippet") << "PositionSpan" << 0 << 3 << 2 << 0;
    QTest::newRow("span: most negative count") << "PositionSpan" << 0 << 0 << INT_MIN << 0;
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
    const int result = function == "TextIndex" ? block->TextIndex(a)
        : function == "PositionOfIndex"        ? block->PositionOfIndex(a)
        : function == "IndexOfPosition"        ? block->IndexOfPosition(a, b)
                                               : block->PositionSpan(a, b, c);
    QTEST(result, "expected");
}

void TestDecodedTextBlock::readers()
{
    const BlockPtr block = Mixed();
    QCOMPARE(block->Text(11, INT_MAX), QStringLiteral("e\n\nfg"));
    QCOMPARE(block->Text(INT_MIN, INT_MAX), block->text);
    QVERIFY(block->Text(INT_MAX, INT_MIN).isEmpty());
    QCOMPARE(block->TextFromSnippet(3), QStringLiteral("\n\nfg"));
    QVERIFY(block->TextFromSnippet(5).isNull() && block->SnippetText(INT_MIN).isNull());
    QCOMPARE(block->SnippetTime(3), T0.addSecs(3));
    QVERIFY(!block->SnippetTime(5).isValid());
    QCOMPARE(block->TimeAt(11, INT_MIN), T0.addSecs(2));
    QCOMPARE(block->TimeAt(INT_MIN, 0), T0.addSecs(4)); // outside the block: the last time
    QCOMPARE(block->TimeAt(5, INT_MAX), T0.addSecs(4));

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

void TestDecodedTextBlock::appendGap_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("following");
    QTest::addColumn<QString>("separator");
    // clang-format off
    QTest::newRow("empty block") << "" << "x" << "\n";
    QTest::newRow("after text without break") << "abc" << "x" << "\n\n";
    QTest::newRow("after text ending in break") << "abc\n" << "x" << "\n";
    QTest::newRow("following text ends in break") << "abc" << "x\n" << "\n";
    QTest::newRow("no following text") << "abc" << "" << "\n\n";
    // clang-format on
}

void TestDecodedTextBlock::appendGap()
{
    QFETCH(QString, before);
    QFETCH(QString, following);
    QFETCH(QString, separator);
    BlockPtr block(new DecodedTextBlock(1, 1, T0.addSecs(-60)));
    if (!before.isEmpty())
        AddRun(*block, before);
    const int end = block->EndPosition();
    // A broken chain is refused.
    for (const auto& range : { qMakePair(INT_MIN, INT_MAX), qMakePair(end + 3, end + 1),
                               qMakePair(end + 1, end + 9), qMakePair(end - 1, end + 9) })
        QVERIFY(!block->AppendGap(range.first, range.second, QString()));
    QCOMPARE(block->text, before);
    QVERIFY(block->AppendGap(end, end + 40, following));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, before + separator);
    QCOMPARE(Layout(*block).section(' ', -1),
             QStringLiteral("g%1-%2:%3").arg(end).arg(end + 40).arg(separator.size()));
    // A gap takes the time before it, or the block's own.
    QCOMPARE(block->snippets.last().timestamp, before.isEmpty() ? T0.addSecs(-60) : T0);
    // A following gap widens this one; a trailing gap never moves its end before its start.
    QVERIFY(!block->AppendGap(end + 40, end + 50, QString()));
    QCOMPARE(Layout(*block).section(' ', -1),
             QStringLiteral("g%1-%2:%3").arg(end).arg(end + 50).arg(separator.size()));
    block->AppendGap(INT_MIN, end - 1, QString());
    QVERIFY_BLOCK(*block);
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

void TestDecodedTextBlock::clearDeletesAnnotations()
{
    CountedUserData::alive = 0;
    {
        const BlockPtr block = Mixed();
        block->userData << new CountedUserData << new CountedUserData;
        block->streamPosition = 40;
        QCOMPARE(block->Clear(), 10);
        QCOMPARE(CountedUserData::alive, 0);
        QVERIFY(block->text.isEmpty() && block->snippets.isEmpty() && !block->streamPosition);
        block->userData << new CountedUserData;
    }
    QCOMPARE(CountedUserData::alive, 0);

    // Trimming twice keeps one leading gap; its break counts as a character.
    const BlockPtr block = MakeBlock({ "0123456789", "0123456789", "0123456789", "0123456789" });
    QCOMPARE(block->TrimFront(10), 10);
    QCOMPARE(block->TrimFront(11), 11);
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block), QStringLiteral("g0-20:1 20-30:10q90 30-40:10q90"));
}

void TestDecodedTextBlock::adjustUserData_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("result"); // empty: deleted
    // The block is 20 positions long.
    QTest::newRow("change inside grows the end") << 5 << 6 << 3 << 2 << 8 << "2-11";
    QTest::newRow("shrinking keeps one position") << 5 << 8 << -10 << 2 << 8 << "2-3";
    QTest::newRow("starting inside the range moves") << 5 << 10 << 2 << 6 << 8 << "8-10";
    QTest::newRow("starting at from stays") << 5 << 10 << 2 << 5 << 8 << "5-8";
    QTest::newRow("insertion point at own end stays") << 5 << 5 << 2 << 5 << 7 << "5-7";
    QTest::newRow("insertion point moves a wider one") << 5 << 5 << 2 << 5 << 8 << "7-10";
    QTest::newRow("pushed past the block end is deleted") << 5 << 10 << 3 << 18 << 20 << "";
    QTest::newRow("pulled before 0 is deleted") << 1 << 2 << -5 << 3 << 5 << "";
    QTest::newRow("largest delta inside deletes") << 5 << 6 << INT_MAX << 2 << 8 << "";
    QTest::newRow("most negative delta inside") << 5 << 6 << INT_MIN << 2 << 8 << "2-3";
    QTest::newRow("most negative delta after") << 5 << 10 << INT_MIN << 12 << 15 << "";
    QTest::newRow("range over all ints moves what starts in it")
        << INT_MIN << INT_MAX << 4 << 2 << 8 << "6-12";
}

void TestDecodedTextBlock::adjustUserData()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, delta);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, result);
    const BlockPtr block = MakeBlock({ "01234567890123456789" });
    block->userData << Note(UserData::CommentType, 0, 1) << Note(UserData::CommentType, start, end);
    block->AdjustUserData(from, to, delta);
    QCOMPARE(block->userData.size(), result.isEmpty() ? 1 : 2);
    if (from > 0)
        QCOMPARE(block->userData.first()->Start, 0);
    if (!result.isEmpty())
        QCOMPARE(QStringLiteral("%1-%2")
                     .arg(block->userData.last()->Start)
                     .arg(block->userData.last()->End),
                 result);
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
            struct Seen {
                UserData* annotation;
                qint64 start;
                qint64 end;
            };
            QVector<Seen> expected;
            // Mostly near the end, where the merge inserts.
            const int from = random.bounded(4) == 0 ? random.bounded(blockEnd)
                                                     : blockEnd - random.bounded(1, 40);
            // to below from as well: taking a change back that had made its range longer.
            const int to = from + random.bounded(-2, 3);
            const int delta = random.bounded(-3, 4);
            for (UserData* annotation : qAsConst(block->userData)) {
                qint64 start = annotation->Start;
                qint64 end = annotation->End;
                if (start < from && from < end)
                    end = qMax(end + delta, start + 1);
                else if (start < to ? from < start : !(from == to && start == to && end == from + delta)) {
                    start += delta;
                    end += delta;
                }
                if (start >= 0 && end <= blockEnd)
                    expected.append({ annotation, start, end });
            }
            block->AdjustUserData(from, to, delta);
            QCOMPARE(block->userData.size(), expected.size());
            for (int k = 0; k < expected.size(); ++k) {
                QCOMPARE(block->userData.at(k), expected.at(k).annotation);
                QCOMPARE(block->userData.at(k)->Start, int(expected.at(k).start));
                QCOMPARE(block->userData.at(k)->End, int(expected.at(k).end));
            }
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
