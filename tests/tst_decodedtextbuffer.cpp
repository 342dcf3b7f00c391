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

// GetBlock and Trim as plain walks over the public fields, for comparison with the buffer's own.
QExplicitlySharedDataPointer<DecodedTextBlock> PlainGetBlock(DecodedTextBuffer& buffer,
                                                            const QDateTime& timestamp, int id)
{
    for (int i = buffer.blocks.size() - 1; i >= 0; --i) {
        if (buffer.blocks.at(i)->timestamp == timestamp && buffer.blocks.at(i)->id == id)
            return buffer.blocks.at(i);
    }
    if (!buffer.blocks.isEmpty())
        buffer.blocks.last()->closed = true;
    buffer.blocks.append(QExplicitlySharedDataPointer<DecodedTextBlock>(
        new DecodedTextBlock(buffer.channel, id, timestamp)));
    return buffer.blocks.last();
}

bool PlainTrim(DecodedTextBuffer& buffer, int bufferSize)
{
    const int limit = bufferSize + (buffer.hold ? bufferSize / 2 : bufferSize / 10);
    int total = 0;
    bool changed = false;
    for (int i = buffer.blocks.size() - 1; i >= 0; --i) {
        const QExplicitlySharedDataPointer<DecodedTextBlock> block = buffer.blocks.at(i);
        total += block->text.size();
        if (total > limit) {
            if (buffer.hold) {
                buffer.overflow = true;
                return false;
            }
            changed = block->TrimFront(total - bufferSize) > 0 || changed;
        }
        if (!buffer.hold && block->snippets.isEmpty()) {
            buffer.blocks.removeAt(i);
            changed = true;
        }
    }
    return changed;
}

QString Describe(const DecodedTextBuffer& buffer)
{
    QStringList out;
    out << QString::number(buffer.overflow);
    for (const auto& block : buffer.blocks) {
        out << QStringLiteral("%1/%2:%3:%4%5")
                   .arg(kStart.secsTo(block->timestamp))
                   .arg(block->id)
                   .arg(block->text.size())
                   .arg(block->snippets.size())
                   .arg(block->closed ? "c" : "");
    }
    return out.join(QLatin1Char(' '));
}

// Changes made to a buffer through its public fields, past GetBlock and Trim.
enum class DirectChange {
    AppendBlock,
    RemoveOldest,
    ReplaceMiddle,
    SwapTwo,
    RefillReversed,
    InsertEmpty,
    GrowNewest,
    ClearNewest,
    ClearOldest,
    RekeyNewest,
};

QExplicitlySharedDataPointer<DecodedTextBlock> MadeBlock(int key, int characters)
{
    QExplicitlySharedDataPointer<DecodedTextBlock> block(
        new DecodedTextBlock(1, key, kStart.addSecs(key)));
    FillBlock(*block, characters);
    return block;
}

void Apply(DecodedTextBuffer& buffer, DirectChange change)
{
    switch (change) {
    case DirectChange::AppendBlock:
        buffer.blocks.append(MadeBlock(100, 1500));
        break;
    case DirectChange::RemoveOldest:
        buffer.blocks.removeFirst();
        break;
    case DirectChange::ReplaceMiddle:
        buffer.blocks[2] = MadeBlock(200, 700);
        break;
    case DirectChange::SwapTwo:
        buffer.blocks.swapItemsAt(1, 3);
        break;
    case DirectChange::RefillReversed: {
        const auto all = buffer.blocks;
        buffer.blocks.clear();
        for (int i = all.size() - 1; i >= 0; --i)
            buffer.blocks.append(all.at(i));
        break;
    }
    case DirectChange::InsertEmpty:
        buffer.blocks.insert(2, MadeBlock(300, 0));
        break;
    case DirectChange::GrowNewest:
        FillBlock(*buffer.LastBlock(), 1500);
        break;
    case DirectChange::ClearNewest:
        buffer.LastBlock()->Clear();
        break;
    case DirectChange::ClearOldest:
        buffer.FirstBlock()->Clear();
        break;
    case DirectChange::RekeyNewest:
        buffer.LastBlock()->id = 400;
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(DirectChange)

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
    void directChangesSeenByGetBlockAndTrim_data();
    void directChangesSeenByGetBlockAndTrim();
    void getBlockSearchesWhenAKeyChanged();
    void randomSequencesMatchThePlainWalk();
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

void TestDecodedTextBuffer::directChangesSeenByGetBlockAndTrim_data()
{
    QTest::addColumn<DirectChange>("change");
    QTest::addColumn<bool>("hold");
    // Changes to the list itself.
    QTest::newRow("appended block takes the buffer over its limit")
        << DirectChange::AppendBlock << false;
    QTest::newRow("appended block makes a held buffer overflow") << DirectChange::AppendBlock << true;
    QTest::newRow("oldest removed, its key is gone") << DirectChange::RemoveOldest << false;
    QTest::newRow("middle block replaced in place") << DirectChange::ReplaceMiddle << false;
    QTest::newRow("two blocks swapped") << DirectChange::SwapTwo << false;
    QTest::newRow("same blocks refilled newest first") << DirectChange::RefillReversed << false;
    QTest::newRow("empty block inserted in the middle") << DirectChange::InsertEmpty << false;
    QTest::newRow("empty block inserted in a held buffer") << DirectChange::InsertEmpty << true;
    // Changes to blocks handed out by the buffer.
    QTest::newRow("newest block grown past the limit") << DirectChange::GrowNewest << false;
    QTest::newRow("newest block grown in a held buffer") << DirectChange::GrowNewest << true;
    QTest::newRow("newest block cleared") << DirectChange::ClearNewest << false;
    QTest::newRow("oldest block cleared") << DirectChange::ClearOldest << false;
    QTest::newRow("newest block given another key") << DirectChange::RekeyNewest << false;
}

void TestDecodedTextBuffer::directChangesSeenByGetBlockAndTrim()
{
    QFETCH(DirectChange, change);
    QFETCH(bool, hold);
    DecodedTextBuffer buffer(1);
    DecodedTextBuffer plain(1);
    buffer.hold = plain.hold = hold;
    for (int key = 0; key < 6; ++key) {
        FillBlock(*buffer.GetBlock(kStart.addSecs(key), key), 300);
        FillBlock(*PlainGetBlock(plain, kStart.addSecs(key), key), 300);
    }

    // Each step on both buffers; what differs afterwards, or an empty string.
    auto trim = [&]() {
        const bool changed = buffer.Trim(2000);
        const bool expected = PlainTrim(plain, 2000);
        const QString got = QStringLiteral("%1 %2").arg(changed).arg(Describe(buffer));
        const QString want = QStringLiteral("%1 %2").arg(expected).arg(Describe(plain));
        return got == want ? QString() : QStringLiteral("trim: %1 | %2").arg(got, want);
    };
    auto get = [&](int key, int characters) {
        const auto got = buffer.GetBlock(kStart.addSecs(key), key);
        const auto expected = PlainGetBlock(plain, kStart.addSecs(key), key);
        FillBlock(*got, characters);
        FillBlock(*expected, characters);
        const int index = buffer.blocks.indexOf(got);
        const int want = plain.blocks.indexOf(expected);
        return index == want && Describe(buffer) == Describe(plain)
            ? QString()
            : QStringLiteral("get %1: %2 %3 | %4 %5")
                  .arg(key).arg(index).arg(Describe(buffer)).arg(want).arg(Describe(plain));
    };
#define STEP(difference)                                                                           \
    do {                                                                                           \
        const QString dtvDifference = (difference);                                                \
        QVERIFY2(dtvDifference.isEmpty(), qPrintable(dtvDifference));                              \
    } while (false)

    STEP(trim());
    STEP(get(6, 100));
    STEP(trim());
    Apply(buffer, change);
    Apply(plain, change);
    STEP(trim());
    // An older block written to after GetBlock found it, the newest key from before the change,
    // a new block, and the key a changed block may have taken.
    STEP(get(1, 300));
    STEP(trim());
    STEP(get(6, 50));
    STEP(get(7, 50));
    STEP(get(400, 10));
    STEP(trim());
#undef STEP
}

void TestDecodedTextBuffer::getBlockSearchesWhenAKeyChanged()
{
    DecodedTextBuffer buffer(1);
    const auto older = buffer.GetBlock(kStart, 1);
    const auto newer = MadeBlock(0, 10);
    newer->timestamp = kStart;
    newer->id = 1;
    buffer.blocks.append(newer);
    buffer.GetBlock(kStart.addSecs(5), 5);
    // The newer of the two blocks with one key takes another key, so the older one answers.
    newer->id = 2;
    QCOMPARE(buffer.GetBlock(kStart, 1), older);
    QCOMPARE(buffer.blocks.size(), 3);
}

void TestDecodedTextBuffer::randomSequencesMatchThePlainWalk()
{
    // Intakes into new and older blocks, trims to various sizes, holds, and changes made past
    // the buffer, with keys drawn from a small set so that blocks are found again, dropped and
    // duplicated.
    QRandomGenerator random(20240301);
    DecodedTextBuffer buffer(1);
    DecodedTextBuffer plain(1);
    for (int step = 0; step < 3000; ++step) {
        const int action = random.bounded(100);
        const int key = random.bounded(24);
        const int characters = random.bounded(400);
        int got = -2;
        int expected = -2;
        if (action < 45) {
            const auto block = buffer.GetBlock(kStart.addSecs(key), key);
            const auto other = PlainGetBlock(plain, kStart.addSecs(key), key);
            got = buffer.blocks.indexOf(block);
            expected = plain.blocks.indexOf(other);
            FillBlock(*block, characters);
            FillBlock(*other, characters);
        } else if (action < 75) {
            static const int sizes[] = { 200, 1000, 2000, 5000 };
            const int size = sizes[key % 4];
            got = buffer.Trim(size);
            expected = PlainTrim(plain, size);
        } else if (action < 80) {
            buffer.hold = plain.hold = !buffer.hold;
        } else if (action < 85) {
            // Every other one without text, so that Trim drops it while an older one keeps
            // its key.
            const int length = step % 2 ? characters : 0;
            buffer.blocks.append(MadeBlock(key, length));
            plain.blocks.append(MadeBlock(key, length));
        } else if (action < 90 && !buffer.blocks.isEmpty()) {
            const int index = key % buffer.blocks.size();
            buffer.blocks.removeAt(index);
            plain.blocks.removeAt(index);
        } else if (action < 95 && !buffer.blocks.isEmpty()) {
            buffer.LastBlock()->Clear();
            plain.LastBlock()->Clear();
        } else if (!buffer.blocks.isEmpty()) {
            FillBlock(*buffer.FirstBlock(), characters);
            FillBlock(*plain.FirstBlock(), characters);
        }
        QVERIFY2(got == expected && Describe(buffer) == Describe(plain),
                 qPrintable(QStringLiteral("step %1, action %2: %3 %4 | %5 %6")
                                .arg(step).arg(action).arg(got).arg(Describe(buffer))
                                .arg(expected).arg(Describe(plain))));
    }
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
