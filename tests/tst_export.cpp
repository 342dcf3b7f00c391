#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QtTest>

#include <memory>

using namespace Fixtures;
using namespace VarnoResultDataXml;

namespace {

const QDateTime T1 = T0.addSecs(600);
const QDateTime T2 = T0.addSecs(1200);

void Feed(DecodedTextData& model, const QDateTime& start, int channel, const QString& content,
          const QVector<Stamp>& stamps, const QVector<UserData>& notes = {}, int id = 1)
{
    model.AddTransmission(TransmissionXml(start, { { channel, id, content, stamps, notes } }));
}

// "channel:content" of every data block of a transmission.
QStringList Contents(const Transmission& transmission)
{
    QStringList out;
    for (const DataBlock* d : transmission.GetDataBlock())
        out << QStringLiteral("%1:%2").arg(d->GetChannel()).arg(d->GetContent());
    return out;
}

QString Key(const DecodedTextBlock& block)
{
    return QStringLiteral("%1/%2").arg(block.timestamp.toMSecsSinceEpoch()).arg(block.id);
}

// A block as a reader of its export sees it: its text, each run's time and characters, and the
// annotations the export writes, in order, with the fields they carry and the text they cover
// (one written past the text is read back on its last character).
QStringList Summary(const DecodedTextBlock& block, bool exported)
{
    QStringList out { block.text };
    int index = 0;
    for (const DecodedTextSnippet& s : block.snippets) {
        out << QStringLiteral("run %1 '%2'").arg(T0.msecsTo(s.timestamp)).arg(block.text.mid(index, s.length));
        index += s.length;
    }
    const int end = block.EndPosition();
    for (const UserData* u : block.userData) {
        const bool written = (u->Start <= 0 && 0 < u->End) || (u->Start <= end && end < u->End)
            || (0 <= u->Start && u->Start < end) || (0 <= u->End && u->End < end);
        if (!written)
            continue;
        const int from = exported ? qMin(block.TextIndex(u->Start), block.text.size() - 1) : u->Start;
        out << QStringList { u->Type, u->Comment, u->CallSign, u->Text, u->ReplacedText,
                             u->Modifier, QString::number(u->Channel),
                             u->ChangeTime.toString(Qt::ISODateWithMs),
                             block.text.mid(from, u->End - u->Start) }
                   .join('|');
    }
    return out;
}

// Every item of the blocks of a channel that have text (and are open, when only open ones are
// written), block by block in the order of their keys, each behind where it comes from.
QStringList Blocks(const QString& at, DecodedTextData& model, int channel, bool exported, bool openOnly = false)
{
    QMap<QString, QStringList> byKey;
    for (const BlockPtr& block : model.GetChannelData(channel)->blocks) {
        if (!exported || (!block->text.isEmpty() && !(openOnly && block->closed)))
            byKey.insert(Key(*block), Summary(*block, exported));
    }
    QStringList out;
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
        for (const QString& item : it.value())
            out << QStringLiteral("%1block %2: %3").arg(at, it.key(), item);
    }
    return out;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void userChannelJoinsTheLastTransmission();
    void sameStartTimeFindsTheLastMatch_data();
    void sameStartTimeFindsTheLastMatch();
    void roundTripKeepsEverything();
};

void TestExport::userChannelJoinsTheLastTransmission()
{
    DecodedTextData model;
    const int user = DecodedTextData::UserChannelID;
    const auto buffer = model.GetChannelData(user);
    auto typed = [&buffer](const QDateTime& key, int id, const QString& text, qint64 ms) {
        BlockPtr block = buffer->GetBlock(key, id);
        if (!text.isEmpty()) {
            AddRun(*block, text, 100, ms);
            block->changed = true;
        }
    };
    typed(T0, 1, "first ", 30000);
    typed(T1, 2, QString(), 0);
    typed(T2, 3, "third", 1210000);

    // Without a transmission the first non-empty block opens one under its own start time; the
    // later blocks join it.
    VarnoResultData alone;
    model.GetData(user, alone, false);
    const Transmission* transmission = alone.GetTransmission().first();
    QCOMPARE(Contents(*transmission), QStringList({ "1000:first ", "1000:third" }));
    QCOMPARE(transmission->GetStartTime(), T0);
    QCOMPARE(transmission->GetStopTime(), T0.addMSecs(1210000));
}

void TestExport::sameStartTimeFindsTheLastMatch_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QVector<QDateTime>>("starts");
    QTest::addColumn<int>("chosen"); // the transmission that gets the data block
    // clang-format off
    QTest::newRow("two transmissions share the start time: the later one takes the block") << 2 << QVector<QDateTime> { T0, T1, T0, T2 } << 2;
    QTest::newRow("the same instant in local time is the same start time") << 2 << QVector<QDateTime> { T0.toLocalTime(), T1 } << 0;
    QTest::newRow("user channel ignores a matching start time and takes the last")
    // clang-format on
        << int(DecodedTextData::UserChannelID) << QVector<QDateTime> { T0, T1, T0, T2 } << 3;
}

void TestExport::sameStartTimeFindsTheLastMatch()
{
    QFETCH(int, channel);
    QFETCH(QVector<QDateTime>, starts);
    QFETCH(int, chosen);
    DecodedTextData model;
    if (channel == DecodedTextData::UserChannelID)
        AddRun(*model.GetChannelData(channel)->GetBlock(T0, 1), QStringLiteral("word"), 100, 5000);
    else
        Feed(model, T0, channel, "word", { { 0, 75, 5000 } });
    VarnoResultData document;
    for (const QDateTime& start : qAsConst(starts)) {
        auto* transmission = new Transmission;
        transmission->SetStartTime(start);
        document.AddTransmission(transmission);
    }
    model.GetData(channel, document, false);
    for (int k = 0; k < starts.size(); ++k)
        QCOMPARE(Contents(*document.GetTransmission().at(k)),
                 k == chosen ? QStringList(QStringLiteral("%1:word").arg(channel)) : QStringList());
}

// Any state the intake and the operator can leave a channel in, written with GetData and read
// into an empty model, comes back with the same blocks, runs and annotations.
void TestExport::roundTripKeepsEverything()
{
    const QString types[] = { UserData::CallSignType, UserData::CommentType, UserData::ChangeType };
    for (quint32 seed = 1; seed <= 80; ++seed) {
        QRandomGenerator rng(seed);
        const auto pick = [&rng](int n) { return int(rng.bounded(n)); };
        const auto word = [&]() {
            static const QString letters = QStringLiteral("ABCDEKLMNOPQRST \n\u00dc");
            QString w;
            for (int i = 1 + pick(12); i > 0; --i)
                w += letters.at(pick(letters.size()));
            return w;
        };
        DecodedTextData original;
        original.SetBufferSize(pick(2) ? 1000 : 10000);
        QMap<QString, int> stream; // next stream position per channel and key
        for (int step = 0; step < 40; ++step) {
            const int channel = 2 + pick(2);
            const QDateTime start = T0.addSecs(600 * pick(3));
            const int id = 1 + pick(2);
            int& position = stream[QStringLiteral("%1 %2 %3").arg(channel).arg(start.toMSecsSinceEpoch()).arg(id)];
            const int action = pick(10);
            if (action < 7) {
                if (action == 0)
                    position += 1 + pick(30); // lost characters
                else if (action == 1)
                    position -= pick(position + 1); // a resend
                const QString content = word() + word();
                QVector<Stamp> stamps { { position, pick(101), 1000 * step } };
                if (pick(2))
                    stamps.append({ position + pick(content.size() + 4), 60, 1000 * step + 500 });
                QVector<UserData> notes;
                for (int n = pick(3); n > 0; --n) {
                    const int from = pick(content.size() + 2) - 1;
                    const int to = from + pick(content.size() + 3);
                    notes << *std::unique_ptr<UserData>(Note(types[pick(2)], from, to, word()));
                    notes.last().Modifier = word();
                    notes.last().ChangeTime = T0.addMSecs(pick(100000));
                }
                Feed(original, start, channel, content, stamps, notes, id);
                position = qMax(position + content.size(), stamps.last().position);
            } else if (action < 9) {
                const BlockPtr block = original.GetChannelData(channel)->LastBlock();
                if (!block || block->text.isEmpty())
                    continue;
                const int end = block->EndPosition();
                const int from = pick(end + 1);
                const int to = qMin(end, from + pick(6));
                const QString& type = types[pick(3)];
                UserData* u = type == UserData::ChangeType
                    ? Change(from, word(), block->Text(from, to))
                    : Note(type, from, to, word());
                if (!original.SetUserData(block, u, type, from, to))
                    delete u;
            } else {
                original.EndTransmission();
            }
        }

        // Channel 4 was never fed: the export writes nothing for it and does not make it.
        const bool openOnly = pick(4) == 0;
        VarnoResultData document;
        for (int channel : { 2, 3, 4 })
            original.GetData(channel, document, openOnly);
        QVERIFY(!original.ChannelExists(4));
        // A written block loses its changed and edited marks, a skipped closed one keeps them.
        for (int channel : { 2, 3 }) {
            for (const BlockPtr& block : original.GetChannelData(channel)->blocks) {
                QCOMPARE(block->changed, openOnly && block->closed);
                for (const DecodedTextSnippet& s : block->snippets)
                    QVERIFY(block->changed || !(s.flags & SnippetEdited));
            }
        }
        // Each transmission stops at the latest last run of its blocks, or where it starts.
        for (const Transmission* t : document.GetTransmission()) {
            QDateTime stop = t->GetStartTime();
            for (const DataBlock* d : t->GetDataBlock())
                stop = qMax(stop, d->GetTimeStamp().isEmpty() ? stop : d->GetTimeStamp().last().Time);
            QCOMPARE(t->GetStopTime(), stop);
        }

        VarnoResultData reread;
        QVERIFY(reread.SetXmlString(document.GetXmlString()));
        DecodedTextData copy;
        copy.SetBufferSize(1000000);
        for (const Transmission* transmission : reread.GetTransmission())
            copy.AddTransmission(transmission->GetXmlString());

        for (int channel : { 2, 3 }) {
            for (const BlockPtr& block : copy.GetChannelData(channel)->blocks) {
                QVERIFY_BLOCK(*block);
                for (const UserData* u : block->userData)
                    QVERIFY(0 <= u->Start && u->Start <= u->End && u->End <= block->text.size());
            }
            const QString at = QStringLiteral("seed %1 channel %2: ").arg(seed).arg(channel);
            const QStringList is = Blocks(at, copy, channel, false);
            const QStringList was = Blocks(at, original, channel, true, openOnly);
            for (int i = 0; i < qMax(is.size(), was.size()); ++i)
                QCOMPARE(is.value(i), was.value(i));
        }
    }
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
