#include "blockinvariants.h"
#include "decodedtextdata.h"

#include <QtTest>

#include <climits>

namespace {

const QDateTime kStart(QDate(2024, 3, 1), QTime(10, 0, 0), Qt::UTC);

// Fills a block with runs of at most 100 characters, so that trimming works run by run.
void FillBlock(DecodedTextBlock& block, int characters)
{
    while (characters > 0) {
        const int size = qMin(characters, 100);
        DecodedTextSnippet run;
        run.start = block.EndPosition();
        run.end = run.start + size;
        run.length = size;
        run.quality = 90;
        run.timestamp = kStart;
        block.snippets.append(run);
        block.text += QString(size, QLatin1Char('x'));
        characters -= size;
    }
}

QExplicitlySharedDataPointer<DecodedTextBlock> AddBlock(DecodedTextBuffer& buffer, int characters)
{
    // Every call makes a new transmission key, also after blocks were removed.
    static int nextId = 0;
    ++nextId;
    QExplicitlySharedDataPointer<DecodedTextBlock> block = buffer.GetBlock(kStart.addSecs(nextId), nextId);
    FillBlock(*block, characters);
    return block;
}

int TotalLength(const DecodedTextBuffer& buffer)
{
    int total = 0;
    for (const auto& block : buffer.blocks)
        total += block->text.size();
    return total;
}

} // namespace

class TestDecodedTextBuffer : public QObject
{
    Q_OBJECT

private slots:
    void emptyBuffer();
    void getBlockAppendsAndCloses();
    void getBlockReusesOlderBlock();
    void trimSingleBlock_data();
    void trimSingleBlock();
    void trimEmptiesOlderBlocks();
    void trimRemovesEmptyBlocks();
    void trimKeepsBlockAliveForHolder();
    void trimExtremeSizes_data();
    void trimExtremeSizes();
    void tickerText_data();
    void tickerText();
    void removeOldBlocks_data();
    void removeOldBlocks();
};

void TestDecodedTextBuffer::emptyBuffer()
{
    DecodedTextBuffer buffer(4);
    QCOMPARE(buffer.channel, 4);
    QVERIFY(!buffer.hold && !buffer.overflow);
    QVERIFY(!buffer.LastBlock());
    QVERIFY(!buffer.FirstBlock());
    QVERIFY(!buffer.Trim(1000));
    QCOMPARE(buffer.TickerText(20), QString());
    buffer.RemoveOldBlocks();
    QVERIFY(buffer.blocks.isEmpty());
}

void TestDecodedTextBuffer::getBlockAppendsAndCloses()
{
    DecodedTextBuffer buffer(4);
    const auto first = buffer.GetBlock(kStart, 7);
    QVERIFY(first);
    QCOMPARE(first->channel, 4);
    QCOMPARE(first->id, 7);
    QCOMPARE(first->timestamp, kStart);
    QVERIFY(!first->closed);
    QCOMPARE(buffer.GetBlock(kStart, 7), first);

    // Same time, another id: a new transmission.
    const auto second = buffer.GetBlock(kStart, 8);
    QVERIFY(second != first);
    QVERIFY(first->closed);
    QVERIFY(!second->closed);
    QCOMPARE(buffer.FirstBlock(), first);
    QCOMPARE(buffer.LastBlock(), second);
}

void TestDecodedTextBuffer::getBlockReusesOlderBlock()
{
    DecodedTextBuffer buffer(4);
    const auto older = buffer.GetBlock(kStart, 1);
    const auto newer = buffer.GetBlock(kStart.addSecs(5), 2);
    QCOMPARE(buffer.GetBlock(kStart, 1), older);
    QCOMPARE(buffer.blocks.size(), 2);
    QVERIFY(!newer->closed);
    QVERIFY(older->closed);
}

void TestDecodedTextBuffer::trimSingleBlock_data()
{
    QTest::addColumn<bool>("hold");
    QTest::addColumn<int>("characters");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("overflow");
    QTest::addColumn<int>("remaining");
    QTest::newRow("size plus its tenth is kept") << false << 11000 << false << false << 11000;
    // Excess 1001 reaches into the eleventh run: ten runs go, one break comes in.
    QTest::newRow("one more is cut back") << false << 11001 << true << false << 10002;
    QTest::newRow("held one above the tenth") << true << 11001 << false << false << 11001;
    QTest::newRow("held at size plus half") << true << 15000 << false << false << 15000;
    QTest::newRow("held above size plus half overflows") << true << 15001 << false << true << 15001;
}

void TestDecodedTextBuffer::trimSingleBlock()
{
    QFETCH(bool, hold);
    QFETCH(int, characters);
    DecodedTextBuffer buffer(1);
    buffer.hold = hold;
    const auto block = AddBlock(buffer, characters);
    QTEST(buffer.Trim(10000), "changed");
    QVERIFY_BLOCK(buffer);
    QTEST(buffer.overflow, "overflow");
    QTEST(TotalLength(buffer), "remaining");
    QCOMPARE(buffer.blocks.size(), 1);
    if (characters - block->text.size() > 0) {
        QVERIFY(block->IsGap(0));
        QCOMPARE(block->snippets.first().end, 1000);
        QCOMPARE(block->text.at(0), QLatin1Char('\n'));
    }
}

void TestDecodedTextBuffer::trimEmptiesOlderBlocks()
{
    DecodedTextBuffer buffer(1);
    const auto oldest = AddBlock(buffer, 1000);
    const auto middle = AddBlock(buffer, 3000);
    const auto newest = AddBlock(buffer, 9000);
    QVERIFY(buffer.Trim(10000));
    QVERIFY_BLOCK(buffer);
    // 9000 + 3000 crosses the limit: the middle block loses 2000, the oldest everything.
    QCOMPARE(buffer.blocks.size(), 2);
    QCOMPARE(buffer.FirstBlock(), middle);
    QCOMPARE(middle->text.size(), 1001);
    QCOMPARE(newest->text.size(), 9000);
    QVERIFY(oldest->snippets.isEmpty());
}

void TestDecodedTextBuffer::trimRemovesEmptyBlocks()
{
    DecodedTextBuffer buffer(1);
    AddBlock(buffer, 50);
    AddBlock(buffer, 0);
    AddBlock(buffer, 50);
    QVERIFY(buffer.Trim(10000));
    QCOMPARE(buffer.blocks.size(), 2);
    QCOMPARE(TotalLength(buffer), 100);

    // A held buffer keeps even its empty blocks.
    AddBlock(buffer, 0);
    buffer.hold = true;
    QVERIFY(!buffer.Trim(10000));
    QCOMPARE(buffer.blocks.size(), 3);
}

void TestDecodedTextBuffer::trimKeepsBlockAliveForHolder()
{
    DecodedTextBuffer buffer(1);
    QExplicitlySharedDataPointer<DecodedTextBlock> shown = AddBlock(buffer, 5000);
    AddBlock(buffer, 11000);
    QVERIFY(buffer.Trim(10000));
    QCOMPARE(buffer.blocks.size(), 1);
    QVERIFY(!buffer.blocks.contains(shown));
    QCOMPARE(shown->ref.loadRelaxed(), 1);
    QVERIFY(shown->text.isEmpty());
}

void TestDecodedTextBuffer::trimExtremeSizes_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("blocks");
    QTest::newRow("most negative size removes all") << INT_MIN << 0;
    QTest::newRow("negative size removes all") << -1 << 0;
    QTest::newRow("zero size removes all") << 0 << 0;
    QTest::newRow("largest size keeps all") << INT_MAX << 2;
}

void TestDecodedTextBuffer::trimExtremeSizes()
{
    QFETCH(int, bufferSize);
    DecodedTextBuffer buffer(1);
    AddBlock(buffer, 300);
    AddBlock(buffer, 300);
    buffer.Trim(bufferSize);
    QVERIFY_BLOCK(buffer);
    QTEST(buffer.blocks.size(), "blocks");

    buffer.hold = true;
    AddBlock(buffer, 300);
    buffer.Trim(bufferSize);
    QCOMPARE(buffer.overflow, bufferSize < 300);
}

void TestDecodedTextBuffer::tickerText_data()
{
    QTest::addColumn<int>("maxLength");
    QTest::addColumn<QString>("ticker");
    // Blocks, oldest first: "first line\nsecond", "third  block".
    QTest::newRow("room for all") << 100 << "first line second third block ";
    QTest::newRow("exactly all") << 30 << "first line second third block ";
    QTest::newRow("newest block alone is too long") << 10 << "ird block ";
    QTest::newRow("cut inside the older block") << 15 << "nd third block ";
    QTest::newRow("no room") << 0 << "";
    QTest::newRow("negative length") << -1 << "";
    QTest::newRow("most negative length") << INT_MIN << "";
    QTest::newRow("largest length") << INT_MAX << "first line second third block ";
}

void TestDecodedTextBuffer::tickerText()
{
    QFETCH(int, maxLength);
    DecodedTextBuffer buffer(1);
    buffer.GetBlock(kStart, 1)->text = QStringLiteral("first line\nsecond");
    buffer.GetBlock(kStart, 2)->text = QStringLiteral(" third  block\n");
    QTEST(buffer.TickerText(maxLength), "ticker");
}

void TestDecodedTextBuffer::removeOldBlocks_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<int>("remaining");
    QTest::newRow("newest with text stays") << QList<int>{5, 0, 7} << 1;
    QTest::newRow("newest without text goes too") << QList<int>{5, 7, 0} << 0;
    QTest::newRow("single block with text") << QList<int>{3} << 1;
    QTest::newRow("single empty block") << QList<int>{0} << 0;
}

void TestDecodedTextBuffer::removeOldBlocks()
{
    QFETCH(QList<int>, sizes);
    QFETCH(int, remaining);
    DecodedTextBuffer buffer(1000);
    QExplicitlySharedDataPointer<DecodedTextBlock> newest;
    for (int size : sizes)
        newest = AddBlock(buffer, size);
    buffer.RemoveOldBlocks();
    QCOMPARE(buffer.blocks.size(), remaining);
    if (remaining == 1)
        QCOMPARE(buffer.LastBlock(), newest);
}

QTEST_GUILESS_MAIN(TestDecodedTextBuffer)
#include "tst_decodedtextbuffer.moc"
