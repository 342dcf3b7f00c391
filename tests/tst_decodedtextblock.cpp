#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QtTest>

#include <climits>

using VarnoResultDataXml::UserData;

namespace {

const QDateTime kBlockTime(QDate(2024, 3, 1), QTime(10, 0, 0), Qt::UTC);

QDateTime TimeOf(int second)
{
    return kBlockTime.addSecs(second);
}

void AddRun(DecodedTextBlock& block, const QString& characters, int quality = 90, int second = 0)
{
    DecodedTextSnippet run;
    run.start = block.EndPosition();
    run.end = run.start + characters.size();
    run.length = characters.size();
    run.quality = quality;
    run.timestamp = TimeOf(second);
    block.snippets.append(run);
    block.text += characters;
}

void AddGapRun(DecodedTextBlock& block, int width, const QString& separator, int second = 0)
{
    DecodedTextSnippet gap;
    gap.start = block.EndPosition();
    gap.end = gap.start + width;
    gap.length = separator.size();
    gap.flags = SnippetGap;
    gap.timestamp = TimeOf(second);
    block.snippets.append(gap);
    block.text += separator;
}

// "abc" [0,3), gap "\n" [3,10), "de" [10,12), gap "\n\n" [12,20), "fg" [20,22); one second per run.
void FillMixed(DecodedTextBlock& block)
{
    AddRun(block, QStringLiteral("abc"), 90, 0);
    AddGapRun(block, 7, QStringLiteral("\n"), 1);
    AddRun(block, QStringLiteral("de"), 90, 2);
    AddGapRun(block, 8, QStringLiteral("\n\n"), 3);
    AddRun(block, QStringLiteral("fg"), 90, 4);
}

UserData* Annotate(DecodedTextBlock& block, int start, int end,
                   const QString& type = UserData::CommentType)
{
    auto* annotation = new UserData;
    annotation->Start = start;
    annotation->End = end;
    annotation->Type = type;
    block.userData.append(annotation);
    return annotation;
}

// Counts the annotations still alive, to see that the block deletes what it owns.
struct CountedUserData : UserData
{
    static int alive;
    CountedUserData() { ++alive; }
    ~CountedUserData() override { --alive; }
};
int CountedUserData::alive = 0;

} // namespace

class TestDecodedTextBlock : public QObject
{
    Q_OBJECT

private slots:
    void mixedBlockIsWellFormed();
    void textIndex_data();
    void textIndex();
    void positionOfIndex_data();
    void positionOfIndex();
    void indexOfPosition_data();
    void indexOfPosition();
    void positionSpan_data();
    void positionSpan();
    void snippetReaders_data();
    void snippetReaders();
    void text_data();
    void text();
    void timeAt();
    void hasQuality();
    void firstVisiblePosition();
    void appendGapSeparator_data();
    void appendGapSeparator();
    void appendGapMergesConsecutiveGaps();
    void appendGapRefusesBrokenChain_data();
    void appendGapRefusesBrokenChain();
    void truncateFrom_data();
    void truncateFrom();
    void trimFront_data();
    void trimFront();
    void trimFrontTwiceKeepsLeadingGap();
    void clearAndDestructionDeleteAnnotations();
    void adjustUserData_data();
    void adjustUserData();
    void applySeparatorsRoundTrip();
    void applySeparatorsFromLaterSnippet();
    void applySeparatorsLeavesForeignText();
    void applySeparatorsOutOfRange_data();
    void applySeparatorsOutOfRange();
};

void TestDecodedTextBlock::mixedBlockIsWellFormed()
{
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    QVERIFY_BLOCK(block);
    QCOMPARE(block.StartPosition(), 0);
    QCOMPARE(block.EndPosition(), 22);
    DecodedTextBlock empty(1, 2, kBlockTime);
    QCOMPARE(empty.EndPosition(), 0);
    QCOMPARE(empty.TextIndex(5), 0);
    QCOMPARE(empty.PositionOfIndex(5), 0);
}

void TestDecodedTextBlock::textIndex_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("index");
    QTest::newRow("most negative position") << INT_MIN << 0;
    QTest::newRow("before the first snippet") << -1 << 0;
    QTest::newRow("block start") << 0 << 0;
    QTest::newRow("inside first run") << 2 << 2;
    QTest::newRow("start of one-break gap") << 3 << 3;
    QTest::newRow("run after wide gap counts the gap's one break") << 10 << 4;
    QTest::newRow("inside run after gap") << 11 << 5;
    QTest::newRow("start of two-break gap") << 12 << 6;
    QTest::newRow("run after two-break gap") << 20 << 8;
    QTest::newRow("last character") << 21 << 9;
    QTest::newRow("end position gives total length") << 22 << 10;
    QTest::newRow("largest position gives total length") << INT_MAX << 10;
}

void TestDecodedTextBlock::textIndex()
{
    QFETCH(int, position);
    QFETCH(int, index);
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    QCOMPARE(block.TextIndex(position), index);
}

void TestDecodedTextBlock::positionOfIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("position");
    QTest::newRow("most negative index") << INT_MIN << 0;
    QTest::newRow("negative index") << -1 << 0;
    QTest::newRow("first character") << 0 << 0;
    QTest::newRow("inside first run") << 2 << 2;
    QTest::newRow("gap break maps to gap start") << 3 << 3;
    QTest::newRow("first character after gap") << 4 << 10;
    QTest::newRow("second break of two-break gap") << 7 << 13;
    QTest::newRow("run after two-break gap") << 8 << 20;
    QTest::newRow("index of text length gives end") << 10 << 22;
    QTest::newRow("largest index gives end") << INT_MAX << 22;
}

void TestDecodedTextBlock::positionOfIndex()
{
    QFETCH(int, index);
    QFETCH(int, position);
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    QCOMPARE(block.PositionOfIndex(index), position);
}

void TestDecodedTextBlock::indexOfPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("fromSnippet");
    QTest::addColumn<int>("snippet");
    QTest::newRow("block start") << 0 << 0 << 0;
    QTest::newRow("end of first run is the gap") << 3 << 0 << 1;
    QTest::newRow("last position of gap") << 9 << 0 << 1;
    QTest::newRow("inside last run") << 21 << 0 << 4;
    QTest::newRow("end position is in no snippet") << 22 << 0 << -1;
    QTest::newRow("negative position") << -1 << 0 << -1;
    QTest::newRow("most negative position") << INT_MIN << 0 << -1;
    QTest::newRow("largest position") << INT_MAX << 0 << -1;
    QTest::newRow("negative start snippet counts as 0") << 3 << INT_MIN << 1;
    QTest::newRow("search starts after the containing snippet") << 3 << 2 << -1;
    QTest::newRow("start snippet past the end") << 3 << INT_MAX << -1;
}

void TestDecodedTextBlock::indexOfPosition()
{
    QFETCH(int, position);
    QFETCH(int, fromSnippet);
    QFETCH(int, snippet);
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    QCOMPARE(block.IndexOfPosition(position, fromSnippet), snippet);
}

void TestDecodedTextBlock::positionSpan_data()
{
    QTest::addColumn<int>("snippet");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("span");
    QTest::newRow("fits in data run") << 0 << 0 << 2 << 2;
    QTest::newRow("ends exactly at run end") << 0 << 1 << 2 << 2;
    QTest::newRow("line with its break covers the whole gap") << 0 << 0 << 4 << 10;
    QTest::newRow("continues into run after gap") << 0 << 0 << 5 << 11;
    QTest::newRow("runs out of snippets") << 4 << 20 << 100 << 2;
    QTest::newRow("largest count covers all positions") << 0 << 0 << INT_MAX << 22;
    QTest::newRow("one-break gap is its width") << 1 << 5 << 1 << 7;
    QTest::newRow("two-break gap at start takes one position") << 3 << 12 << 1 << 1;
    QTest::newRow("two-break gap inside takes the rest") << 3 << 13 << 1 << 7;
    QTest::newRow("negative snippet") << -1 << 0 << 2 << 0;
    QTest::newRow("most negative snippet") << INT_MIN << 0 << 2 << 0;
    QTest::newRow("snippet past the end") << 5 << 21 << 2 << 0;
    QTest::newRow("largest snippet") << INT_MAX << 0 << 2 << 0;
    QTest::newRow("position outside the snippet") << 0 << 3 << 2 << 0;
    QTest::newRow("most negative position") << 0 << INT_MIN << 2 << 0;
    QTest::newRow("largest position") << 0 << INT_MAX << 2 << 0;
    QTest::newRow("no characters in a data run cover nothing") << 0 << 1 << 0 << 0;
    QTest::newRow("a one-break gap stands for its width whatever the count") << 1 << 5 << 0 << 7;
    QTest::newRow("a two-break gap inside whatever the count") << 3 << 14 << 0 << 7;
    QTest::newRow("negative count") << 0 << 0 << -5 << 0;
    QTest::newRow("most negative count") << 0 << 0 << INT_MIN << 0;
}

void TestDecodedTextBlock::positionSpan()
{
    QFETCH(int, snippet);
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(int, span);
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    QCOMPARE(block.PositionSpan(snippet, position, count), span);
}

void TestDecodedTextBlock::snippetReaders_data()
{
    QTest::addColumn<int>("snippet");
    QTest::addColumn<QString>("own");
    QTest::addColumn<QString>("rest");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<QDateTime>("time");
    QTest::newRow("first run") << 0 << "abc" << "abc\nde\n\nfg" << false << TimeOf(0);
    QTest::newRow("one-break gap") << 1 << "\n" << "\nde\n\nfg" << true << TimeOf(1);
    QTest::newRow("two-break gap") << 3 << "\n\n" << "\n\nfg" << true << TimeOf(3);
    QTest::newRow("last run") << 4 << "fg" << "fg" << false << TimeOf(4);
    QTest::newRow("negative") << -1 << QString() << QString() << false << QDateTime();
    QTest::newRow("most negative") << INT_MIN << QString() << QString() << false << QDateTime();
    QTest::newRow("one past the last") << 5 << QString() << QString() << false << QDateTime();
    QTest::newRow("largest") << INT_MAX << QString() << QString() << false << QDateTime();
}

void TestDecodedTextBlock::snippetReaders()
{
    QFETCH(int, snippet);
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    QTEST(block.SnippetText(snippet), "own");
    QTEST(block.TextFromSnippet(snippet), "rest");
    QTEST(block.IsGap(snippet), "gap");
    QTEST(block.SnippetTime(snippet), "time");
}

void TestDecodedTextBlock::text_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first run") << 0 << 3 << "abc";
    QTest::newRow("run after gap") << 10 << 12 << "de";
    QTest::newRow("to the largest position") << 11 << INT_MAX << "e\n\nfg";
    QTest::newRow("whole int range") << INT_MIN << INT_MAX << "abc\nde\n\nfg";
    QTest::newRow("empty range") << 5 << 5 << "";
    QTest::newRow("reversed range") << 11 << 10 << "";
    QTest::newRow("reversed extreme range") << INT_MAX << INT_MIN << "";
}

void TestDecodedTextBlock::text()
{
    QFETCH(int, from);
    QFETCH(int, to);
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    QTEST(block.Text(from, to), "expected");
}

void TestDecodedTextBlock::timeAt()
{
    DecodedTextBlock block(1, 1, kBlockTime);
    QVERIFY(!block.TimeAt(0, 0).isValid());
    QVERIFY(!block.LastTimestamp().isValid());
    FillMixed(block);
    QCOMPARE(block.TimeAt(11, 0), TimeOf(2));
    QCOMPARE(block.TimeAt(11, INT_MIN), TimeOf(2));
    QCOMPARE(block.TimeAt(0, 3), TimeOf(4));
    QCOMPARE(block.TimeAt(INT_MIN, 0), TimeOf(4));
    QCOMPARE(block.TimeAt(5, INT_MAX), TimeOf(4));
    QCOMPARE(block.LastTimestamp(), TimeOf(4));
}

void TestDecodedTextBlock::hasQuality()
{
    DecodedTextBlock block(1, 1, kBlockTime);
    QVERIFY(!block.HasQuality());
    AddRun(block, QStringLiteral("ab"), -1);
    AddRun(block, QStringLiteral("cd"), -20);
    QVERIFY(!block.HasQuality());
    AddRun(block, QStringLiteral("ef"), 0);
    AddRun(block, QStringLiteral("gh"), -1);
    QVERIFY(block.HasQuality());
}

void TestDecodedTextBlock::firstVisiblePosition()
{
    DecodedTextBlock block(1, 1, kBlockTime);
    AddRun(block, QStringLiteral("ab"));
    AddRun(block, QStringLiteral("\n\nxy"));
    AddGapRun(block, 5, QStringLiteral("\n\n"));
    QCOMPARE(block.FirstVisiblePosition(block.snippets.at(0)), 0);
    QCOMPARE(block.FirstVisiblePosition(block.snippets.at(1)), 4);
    QCOMPARE(block.FirstVisiblePosition(block.snippets.at(2)), -1);
    const DecodedTextSnippet copy = block.snippets.at(1);
    QCOMPARE(block.FirstVisiblePosition(copy), 4);
    QCOMPARE(block.FirstVisiblePosition(DecodedTextSnippet()), -1);
}

void TestDecodedTextBlock::appendGapSeparator_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("following");
    QTest::addColumn<QString>("separator");
    QTest::newRow("empty block") << "" << "x" << "\n";
    QTest::newRow("after text without break") << "abc" << "x" << "\n\n";
    QTest::newRow("after text ending in break") << "abc\n" << "x" << "\n";
    QTest::newRow("following text ends in break") << "abc" << "x\n" << "\n";
    QTest::newRow("no following text") << "abc" << "" << "\n\n";
}

void TestDecodedTextBlock::appendGapSeparator()
{
    QFETCH(QString, before);
    QFETCH(QString, following);
    QFETCH(QString, separator);
    DecodedTextBlock block(1, 1, kBlockTime);
    if (!before.isEmpty())
        AddRun(block, before, 90, 7);
    const int end = block.EndPosition();
    QVERIFY(block.AppendGap(end, end + 40, following));
    QVERIFY_BLOCK(block);
    QCOMPARE(block.text, before + separator);
    const DecodedTextSnippet& gap = block.snippets.last();
    QCOMPARE(gap.flags, SnippetGap);
    QCOMPARE(gap.length, separator.size());
    QCOMPARE(gap.start, end);
    QCOMPARE(gap.end, end + 40);
    QCOMPARE(gap.quality, 0);
    QCOMPARE(gap.timestamp, before.isEmpty() ? kBlockTime : TimeOf(7));
}

void TestDecodedTextBlock::appendGapMergesConsecutiveGaps()
{
    DecodedTextBlock block(1, 1, kBlockTime);
    AddRun(block, QStringLiteral("abc"));
    QVERIFY(block.AppendGap(3, 10, QString()));
    QVERIFY(!block.AppendGap(10, 25, QString()));
    QVERIFY_BLOCK(block);
    QCOMPARE(block.snippets.size(), 2);
    QCOMPARE(block.snippets.last().end, 25);
    QCOMPARE(block.text, QStringLiteral("abc\n\n"));
}

void TestDecodedTextBlock::appendGapRefusesBrokenChain_data()
{
    QTest::addColumn<int>("startPosition");
    QTest::addColumn<int>("endPosition");
    QTest::newRow("whole int range") << INT_MIN << INT_MAX;
    QTest::newRow("ends before it starts") << 3 << 1;
    QTest::newRow("starts past the end") << 10 << 20;
    QTest::newRow("starts before the end") << 1 << 20;
}

void TestDecodedTextBlock::appendGapRefusesBrokenChain()
{
    QFETCH(int, startPosition);
    QFETCH(int, endPosition);
    DecodedTextBlock block(1, 1, kBlockTime);
    AddRun(block, QStringLiteral("abc"));
    QVERIFY(!block.AppendGap(startPosition, endPosition, QString()));
    QCOMPARE(block.snippets.size(), 1);
    QCOMPARE(block.text, QStringLiteral("abc"));
    // A trailing gap never moves its end in front of its start either.
    block.AppendGap(3, 8, QString());
    block.AppendGap(startPosition, qMin(endPosition, 2), QString());
    QVERIFY_BLOCK(block);
}

void TestDecodedTextBlock::truncateFrom_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("snippets");
    QTest::newRow("inside a run removes it whole") << 11 << "abc\n" << 2;
    QTest::newRow("start of a run") << 10 << "abc\n" << 2;
    QTest::newRow("inside a gap") << 5 << "abc" << 1;
    QTest::newRow("block start empties it") << 0 << "" << 0;
    QTest::newRow("end position changes nothing") << 22 << "abc\nde\n\nfg" << 5;
    QTest::newRow("most negative position") << INT_MIN << "abc\nde\n\nfg" << 5;
    QTest::newRow("largest position") << INT_MAX << "abc\nde\n\nfg" << 5;
}

void TestDecodedTextBlock::truncateFrom()
{
    QFETCH(int, position);
    DecodedTextBlock block(1, 1, kBlockTime);
    FillMixed(block);
    Annotate(block, 20, 22);
    block.TruncateFrom(position);
    QVERIFY_BLOCK(block);
    QTEST(block.text, "text");
    QTEST(block.snippets.size(), "snippets");
    QCOMPARE(block.userData.size(), 1);
}

void TestDecodedTextBlock::trimFront_data()
{
    QTest::addColumn<int>("excess");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("gapEnd");
    QTest::addColumn<int>("annotations");
    // Runs "abc" [0,3), "defg" [3,7), "hi" [7,9); annotations [0,2), [2,3), [5,6).
    QTest::newRow("excess at run boundary") << 3 << 3 << "\ndefghi" << 3 << 2;
    QTest::newRow("excess inside a run keeps it") << 4 << 3 << "\ndefghi" << 3 << 1;
    QTest::newRow("two runs") << 7 << 7 << "\nhi" << 7 << 0;
    QTest::newRow("excess short of the first run end") << 2 << 0 << "abcdefghi" << -1 << 3;
    QTest::newRow("no excess") << 0 << 0 << "abcdefghi" << -1 << 3;
    QTest::newRow("most negative excess") << INT_MIN << 0 << "abcdefghi" << -1 << 3;
    QTest::newRow("everything, no gap left") << 9 << 9 << "" << -1 << 0;
    QTest::newRow("largest excess") << INT_MAX << 9 << "" << -1 << 0;
}

void TestDecodedTextBlock::trimFront()
{
    QFETCH(int, excess);
    QFETCH(int, gapEnd);
    DecodedTextBlock block(1, 1, kBlockTime);
    AddRun(block, QStringLiteral("abc"), 90, 1);
    AddRun(block, QStringLiteral("defg"), 90, 2);
    AddRun(block, QStringLiteral("hi"), 90, 3);
    Annotate(block, 0, 2);
    Annotate(block, 2, 3);
    Annotate(block, 5, 6);
    block.userDataCount = 3;

    QTEST(block.TrimFront(excess), "removed");
    QVERIFY_BLOCK(block);
    QTEST(block.text, "text");
    QTEST(block.userData.size(), "annotations");
    QCOMPARE(block.userDataCount, 3);
    if (gapEnd >= 0) {
        const DecodedTextSnippet& gap = block.snippets.first();
        QCOMPARE(gap.flags, SnippetGap);
        QCOMPARE(gap.length, 1);
        QCOMPARE(gap.start, 0);
        QCOMPARE(gap.end, gapEnd);
        QCOMPARE(gap.timestamp, kBlockTime);
        QCOMPARE(block.EndPosition(), 9);
    } else {
        QVERIFY(!block.IsGap(0));
    }
}

void TestDecodedTextBlock::trimFrontTwiceKeepsLeadingGap()
{
    DecodedTextBlock block(1, 1, kBlockTime);
    for (int i = 0; i < 5; ++i)
        AddRun(block, QStringLiteral("0123456789"));
    QCOMPARE(block.TrimFront(10), 10);
    QVERIFY_BLOCK(block);
    // The leading gap's break is a character too: excess 11 reaches the second run's end.
    QCOMPARE(block.TrimFront(11), 11);
    QVERIFY_BLOCK(block);
    QCOMPARE(block.text.size(), 31);
    QCOMPARE(block.snippets.size(), 4);
    QCOMPARE(block.snippets.at(0).end, 20);
}

void TestDecodedTextBlock::clearAndDestructionDeleteAnnotations()
{
    CountedUserData::alive = 0;
    {
        QExplicitlySharedDataPointer<DecodedTextBlock> block(new DecodedTextBlock(3, 4, kBlockTime));
        FillMixed(*block);
        block->userData.append(new CountedUserData);
        block->userData.append(new CountedUserData);
        block->contentCode = QStringLiteral("ASCII");
        block->rightToLeft = block->closed = block->changed = true;
        block->userDataCount = 2;
        block->streamPosition = 40;
        QCOMPARE(block->Clear(), 10);
        QCOMPARE(CountedUserData::alive, 0);
        QVERIFY(block->text.isEmpty() && block->contentCode.isEmpty());
        QVERIFY(block->snippets.isEmpty() && block->userData.isEmpty());
        QCOMPARE(block->userDataCount, 0);
        QCOMPARE(block->streamPosition, 0);
        QVERIFY(!block->rightToLeft && !block->closed && !block->changed);
        QCOMPARE(block->channel, 3);
        QCOMPARE(block->id, 4);

        block->userData.append(new CountedUserData);
        QCOMPARE(CountedUserData::alive, 1);
    }
    QCOMPARE(CountedUserData::alive, 0);
}

void TestDecodedTextBlock::adjustUserData_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("newStart"); // -1: deleted
    QTest::addColumn<int>("newEnd");
    // The block is 20 positions long.
    QTest::newRow("change inside grows the end") << 5 << 6 << 3 << 2 << 8 << 2 << 11;
    QTest::newRow("shrinking keeps one position") << 5 << 8 << -10 << 2 << 8 << 2 << 3;
    QTest::newRow("starting inside the range moves") << 5 << 10 << 2 << 6 << 8 << 8 << 10;
    QTest::newRow("starting at from stays") << 5 << 10 << 2 << 5 << 8 << 5 << 8;
    QTest::newRow("after the range moves") << 5 << 10 << 3 << 12 << 15 << 15 << 18;
    QTest::newRow("insertion point at own end stays") << 5 << 5 << 2 << 5 << 7 << 5 << 7;
    QTest::newRow("insertion point moves a wider one") << 5 << 5 << 2 << 5 << 8 << 7 << 10;
    QTest::newRow("pushed past the block end is deleted") << 5 << 10 << 3 << 18 << 20 << -1 << -1;
    QTest::newRow("pulled before 0 is deleted") << 1 << 2 << -5 << 3 << 5 << -1 << -1;
    QTest::newRow("largest delta deletes") << 5 << 10 << INT_MAX << 12 << 15 << -1 << -1;
    QTest::newRow("most negative delta deletes") << 5 << 10 << INT_MIN << 12 << 15 << -1 << -1;
    QTest::newRow("largest delta inside") << 5 << 6 << INT_MAX << 2 << 8 << -1 << -1;
    QTest::newRow("most negative delta inside") << 5 << 6 << INT_MIN << 2 << 8 << 2 << 3;
    QTest::newRow("range over all ints moves what starts in it") << INT_MIN << INT_MAX << 4 << 2 << 8 << 6 << 12;
}

void TestDecodedTextBlock::adjustUserData()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, delta);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, newStart);
    QFETCH(int, newEnd);
    DecodedTextBlock block(1, 1, kBlockTime);
    AddRun(block, QStringLiteral("01234567890123456789"));
    UserData* untouched = Annotate(block, 0, 1);
    UserData* annotation = Annotate(block, start, end);
    block.AdjustUserData(from, to, delta);
    QVERIFY(block.userData.contains(untouched));
    if (from > 0)
        QCOMPARE(untouched->Start, 0);
    if (newStart < 0) {
        QCOMPARE(block.userData.size(), 1);
        return;
    }
    QCOMPARE(block.userData.size(), 2);
    QCOMPARE(annotation->Start, newStart);
    QCOMPARE(annotation->End, newEnd);
}

void TestDecodedTextBlock::applySeparatorsRoundTrip()
{
    DecodedTextBlock block(0, 1, kBlockTime);
    AddRun(block, QStringLiteral("ab"));
    AddRun(block, QStringLiteral("cd"));
    AddRun(block, QStringLiteral("ef"));
    block.snippets[1].flags = SnippetSeparatorWanted;
    block.snippets[2].flags = SnippetSeparatorWanted;
    UserData* onA = Annotate(block, 0, 1);
    UserData* onC = Annotate(block, 2, 3);
    UserData* onE = Annotate(block, 4, 5);
    const QString separator = QStringLiteral("--");

    QVERIFY(block.ApplySeparators(0, separator, true));
    QVERIFY_BLOCK(block);
    QCOMPARE(block.text, QStringLiteral("ab--cd--ef"));
    QCOMPARE(block.snippets.at(1).flags, SnippetSeparatorWanted | SnippetSeparatorInserted);
    QCOMPARE(block.snippets.at(2).start, 6);
    QCOMPARE(block.EndPosition(), 10);
    QCOMPARE(onA->Start, 0);
    QCOMPARE(block.Text(onC->Start, onC->End), QStringLiteral("c"));
    QCOMPARE(block.Text(onE->Start, onE->End), QStringLiteral("e"));

    QVERIFY(!block.ApplySeparators(0, separator, true));
    QCOMPARE(block.text, QStringLiteral("ab--cd--ef"));
    // A mark on the separator itself stays where the run starts when the separator goes.
    UserData* onSeparator = Annotate(block, 2, 3);

    QVERIFY(block.ApplySeparators(0, separator, false));
    QVERIFY_BLOCK(block);
    QCOMPARE(block.text, QStringLiteral("abcdef"));
    QCOMPARE(block.snippets.at(2).flags, SnippetSeparatorWanted);
    QCOMPARE(block.EndPosition(), 6);
    QCOMPARE(onC->Start, 2);
    QCOMPARE(onSeparator->Start, 2);
    QCOMPARE(onE->Start, 4);
    QCOMPARE(onE->End, 5);
}

void TestDecodedTextBlock::applySeparatorsFromLaterSnippet()
{
    DecodedTextBlock block(0, 1, kBlockTime);
    AddRun(block, QStringLiteral("ab"));
    AddRun(block, QStringLiteral("cd"));
    AddRun(block, QStringLiteral("ef"));
    block.snippets[1].flags = SnippetSeparatorWanted;
    block.snippets[2].flags = SnippetSeparatorWanted;
    QVERIFY(block.ApplySeparators(2, QStringLiteral("|"), true));
    QVERIFY_BLOCK(block);
    QCOMPARE(block.text, QStringLiteral("abcd|ef"));
    QVERIFY(!(block.snippets.at(1).flags & SnippetSeparatorInserted));

    // A run that no longer wants its separator loses it even when inserting.
    block.snippets[2].flags &= ~SnippetSeparatorWanted;
    QVERIFY(block.ApplySeparators(0, QStringLiteral("|"), true));
    QVERIFY_BLOCK(block);
    QCOMPARE(block.text, QStringLiteral("ab|cdef"));
}

void TestDecodedTextBlock::applySeparatorsLeavesForeignText()
{
    DecodedTextBlock block(0, 1, kBlockTime);
    AddRun(block, QStringLiteral("ab"));
    AddRun(block, QStringLiteral("xyz"));
    block.snippets[1].flags = SnippetSeparatorWanted | SnippetSeparatorInserted;
    QVERIFY(!block.ApplySeparators(0, QStringLiteral("--"), false));
    QCOMPARE(block.text, QStringLiteral("abxyz"));
    QCOMPARE(block.snippets.at(1).flags, SnippetSeparatorWanted);
    QVERIFY_BLOCK(block);
}

void TestDecodedTextBlock::applySeparatorsOutOfRange_data()
{
    QTest::addColumn<int>("fromSnippet");
    QTest::newRow("most negative") << INT_MIN;
    QTest::newRow("negative") << -1;
    QTest::newRow("snippet count") << 2;
    QTest::newRow("largest") << INT_MAX;
}

void TestDecodedTextBlock::applySeparatorsOutOfRange()
{
    QFETCH(int, fromSnippet);
    DecodedTextBlock block(0, 1, kBlockTime);
    AddRun(block, QStringLiteral("ab"));
    AddRun(block, QStringLiteral("cd"));
    block.snippets[1].flags = SnippetSeparatorWanted;
    QVERIFY(!block.ApplySeparators(fromSnippet, QStringLiteral("--"), true));
    QCOMPARE(block.text, QStringLiteral("abcd"));
    QCOMPARE(block.snippets.at(1).flags, SnippetSeparatorWanted);
}

QTEST_GUILESS_MAIN(TestDecodedTextBlock)
#include "tst_decodedtextblock.moc"
