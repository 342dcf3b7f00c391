#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QtTest>

#include <algorithm>
#include <climits>
#include <functional>

using namespace Fixtures;

namespace {

// Runs of at most 100 characters, so that trimming works run by run; with runs of white space
// for the ticker to simplify.
void FillBlock(DecodedTextBlock& block, int characters)
{
    for (; characters > 0; characters -= 100)
        AddRun(block, QStringLiteral(" x\t y\n ").repeated(20).left(qMin(characters, 100)));
}

BlockPtr AddBlock(DecodedTextBuffer& buffer, int characters)
{
    // Every call makes a new transmission key, also after blocks were removed.
    static int nextId = 0;
    ++nextId;
    BlockPtr block = buffer.GetBlock(T0.addSecs(nextId), nextId);
    FillBlock(*block, characters);
    return block;
}

// GetBlock and Trim as plain walks over the public fields, for comparison with the buffer's own.
BlockPtr PlainGetBlock(DecodedTextBuffer& buffer, const QDateTime& timestamp, int id)
{
    for (int i = buffer.blocks.size() - 1; i >= 0; --i) {
        if (buffer.blocks.at(i)->timestamp == timestamp && buffer.blocks.at(i)->id == id)
            return buffer.blocks.at(i);
    }
    if (!buffer.blocks.isEmpty())
        buffer.blocks.last()->closed = true;
    buffer.blocks.append(BlockPtr(new DecodedTextBlock(buffer.channel, id, timestamp)));
    return buffer.blocks.last();
}

bool PlainTrim(DecodedTextBuffer& buffer, int bufferSize)
{
    const qint64 limit = qint64(bufferSize) + (buffer.hold ? bufferSize / 2 : bufferSize / 10);
    qint64 total = 0;
    if (buffer.hold) {
        // A held buffer loses nothing; it is marked once its text passes the limit (which a
        // negative size puts below even an empty buffer).
        for (const BlockPtr& block : qAsConst(buffer.blocks))
            total += block->text.size();
        buffer.overflow = buffer.overflow || total > limit;
        return false;
    }
    bool changed = false;
    for (int i = buffer.blocks.size() - 1; i >= 0; --i) {
        const BlockPtr block = buffer.blocks.at(i);
        total += block->text.size();
        if (total > limit)
            changed = block->TrimFront(int(qMin<qint64>(total - bufferSize, INT_MAX))) > 0 || changed;
        if (block->snippets.isEmpty()) {
            buffer.blocks.removeAt(i);
            changed = true;
        }
    }
    return changed;
}

// Only the newest block stays, and only while it has snippets.
void PlainRemoveOldBlocks(DecodedTextBuffer& buffer)
{
    buffer.blocks = buffer.blocks.mid(buffer.blocks.size() - 1);
    if (!buffer.blocks.isEmpty() && buffer.blocks.last()->snippets.isEmpty())
        buffer.blocks.clear();
}

// Every block simplified, oldest first, a blank after each; of that the end that fits.
QString PlainTicker(const DecodedTextBuffer& buffer, int limit)
{
    QString ticker;
    for (const auto& b : buffer.blocks)
        ticker += b->text.simplified() + ' ';
    return ticker.right(qMax(limit, 0));
}

QString Describe(const DecodedTextBuffer& buffer)
{
    QStringList out { QString::number(buffer.overflow) };
    for (const auto& b : buffer.blocks)
        out << QStringLiteral("%1/%2:%3:%4%5").arg(T0.secsTo(b->timestamp)).arg(b->id)
                   .arg(b->text.size()).arg(b->snippets.size()).arg(b->closed ? "c" : "");
    return out.join(' ');
}

BlockPtr MadeBlock(int key, int characters)
{
    BlockPtr block(new DecodedTextBlock(1, key, T0.addSecs(key)));
    FillBlock(*block, characters);
    return block;
}

} // namespace

class TestDecodedTextBuffer : public QObject {
    Q_OBJECT

private slots:
    void droppedBlocksAreLetGo();
    void getBlockSearchesWhenAKeyChanged();
    void randomSequencesMatchThePlainWalk();
};

void TestDecodedTextBuffer::droppedBlocksAreLetGo()
{
    // A pane may still hold a block the buffer dropped; the buffer must keep no reference.
    DecodedTextBuffer buffer(1);
    BlockPtr shown = AddBlock(buffer, 5000);
    AddBlock(buffer, 11000);
    QVERIFY(buffer.Trim(10000));
    QCOMPARE(buffer.blocks.size(), 1);
    QVERIFY(shown->ref.loadRelaxed() == 1 && shown->text.isEmpty());
    shown = buffer.FirstBlock();
    AddBlock(buffer, 10);
    buffer.RemoveOldBlocks();
    QCOMPARE(shown->ref.loadRelaxed(), 1);
}

void TestDecodedTextBuffer::getBlockSearchesWhenAKeyChanged()
{
    DecodedTextBuffer buffer(1);
    const auto older = buffer.GetBlock(T0, 1);
    const auto newer = MadeBlock(1, 10);
    newer->timestamp = T0;
    buffer.blocks.append(newer);
    buffer.GetBlock(T0.addSecs(5), 5);
    // The newer of the two blocks with one key takes another key, so the older one answers.
    newer->id = 2;
    QCOMPARE(buffer.GetBlock(T0, 1), older);
    QCOMPARE(buffer.blocks.size(), 3);
}

void TestDecodedTextBuffer::randomSequencesMatchThePlainWalk()
{
    // Intakes into new and older blocks, trims to various sizes, holds, the old blocks dropped at
    // the end of a transmission, the ticker of any length, and changes made past
    // the buffer: anything to the list, text and key of the newest block, text of the oldest
    // (the blocks a caller may hold and write to). Keys come from a small set, so that blocks
    // are found again, dropped and duplicated.
    QRandomGenerator random(20240301);
    DecodedTextBuffer buffer(1);
    DecodedTextBuffer plain(1);
    for (int step = 0; step < 4000; ++step) {
        const int action = random.bounded(100);
        const int key = random.bounded(24), characters = random.bounded(400);
        const int count = buffer.blocks.size();
        const int index = count ? key % count : 0, other = count ? characters % count : 0;
        int got = -2, expected = -2;
        const auto both = [&](const std::function<void(DecodedTextBuffer&)>& change) {
            change(buffer);
            change(plain);
        };
        // Sums near the ends of the int range must neither wrap nor trim too little.
        static const int sizes[] = { INT_MIN, 0, 200, 1000, 2000, 5000, INT_MAX };
        if (action == 99) {
            buffer.RemoveOldBlocks();
            PlainRemoveOldBlocks(plain);
        } else if (action < 40) {
            const auto block = buffer.GetBlock(T0.addSecs(key), key);
            const auto twin = PlainGetBlock(plain, T0.addSecs(key), key);
            got = buffer.blocks.indexOf(block);
            expected = plain.blocks.indexOf(twin);
            FillBlock(*block, characters);
            FillBlock(*twin, characters);
        } else if (action < 65) {
            got = buffer.Trim(sizes[key % 7]);
            expected = PlainTrim(plain, sizes[key % 7]);
        } else if (action < 70) {
            // As the intake does, the mark of an overflow goes when it has been dealt with.
            buffer.hold = plain.hold = !buffer.hold;
            buffer.overflow = plain.overflow = false;
        } else if (action < 75) {
            // Every other one without text, so that Trim drops it while an older one keeps
            // its key; some land in the middle of the list.
            const int length = step % 2 ? characters : 0;
            both([&](DecodedTextBuffer& b) { b.blocks.insert(step % 3 ? count : index, MadeBlock(key, length)); });
        } else if (count == 0) {
        } else if (action < 79) {
            both([&](DecodedTextBuffer& b) { b.blocks.removeAt(index); });
        } else if (action < 82) {
            both([&](DecodedTextBuffer& b) { b.blocks[index] = MadeBlock(key, characters); });
        } else if (action < 85) {
            both([&](DecodedTextBuffer& b) { b.blocks.swapItemsAt(index, other); });
        } else if (action < 86) {
            both([&](DecodedTextBuffer& b) { std::reverse(b.blocks.begin(), b.blocks.end()); });
        } else if (action < 90) {
            both([&](DecodedTextBuffer& b) { (key % 2 ? b.FirstBlock() : b.LastBlock())->Clear(); });
        } else if (action < 94) {
            // The newest block takes another key, so an older one with its old key answers.
            both([&](DecodedTextBuffer& b) { b.LastBlock()->id = characters % 24; });
        } else {
            both([&](DecodedTextBuffer& b) {
                FillBlock(*(key % 2 ? b.FirstBlock() : b.LastBlock()), characters * 4);
            });
        }
        const QString at = QStringLiteral("seed 20240301 step %1 action %2: ").arg(step).arg(action);
        const int ticker = sizes[characters % 7];
        QCOMPARE(at + QString::number(got) + Describe(buffer) + '|' + buffer.TickerText(ticker),
                 at + QString::number(expected) + Describe(plain) + '|' + PlainTicker(plain, ticker));
    }
}

QTEST_GUILESS_MAIN(TestDecodedTextBuffer)
#include "tst_decodedtextbuffer.moc"
