#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QSignalSpy>
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

UserData Value(UserData* note)
{
    const std::unique_ptr<UserData> owned(note);
    return *owned;
}

// "position@ms after T0" per time stamp.
QString Stamps(const DataBlock& block)
{
    QStringList out;
    for (const TimeStamp& stamp : block.GetTimeStamp())
        out << QStringLiteral("%1@%2").arg(stamp.Position).arg(T0.msecsTo(stamp.Time));
    return out.join(QLatin1Char(' '));
}

// "channel:content" of every data block of a transmission.
QStringList Contents(const Transmission& transmission)
{
    QStringList out;
    for (const DataBlock* d : transmission.GetDataBlock())
        out << QStringLiteral("%1:%2").arg(d->GetChannel()).arg(d->GetContent());
    return out;
}

// "start-stop" in ms after T0 per transmission, then "channel/id:content stamps" per data block;
// transmissions apart by " | ".
QString Describe(const VarnoResultData& document)
{
    QStringList out;
    for (const Transmission* t : document.GetTransmission()) {
        out << QStringLiteral("%1-%2").arg(T0.msecsTo(t->GetStartTime()))
                   .arg(T0.msecsTo(t->GetStopTime()));
        for (const DataBlock* d : t->GetDataBlock())
            out.last() += QStringLiteral(" %1/%2:%3 %4").arg(d->GetChannel()).arg(d->GetID())
                              .arg(d->GetContent(), Stamps(*d));
    }
    return out.join(QStringLiteral(" | "));
}

// Key, text and last run's time of a block, then each annotation as "type|comment|call
// sign|the characters it covers".
QStringList Summary(const DecodedTextBlock& block)
{
    QStringList out { QString::number(block.timestamp.toMSecsSinceEpoch()),
                      QString::number(block.id), block.text,
                      QString::number(block.LastTimestamp().toMSecsSinceEpoch()) };
    for (const UserData* u : block.userData)
        out << QStringList { u->Type, u->Comment, u->CallSign,
                             block.text.mid(block.TextIndex(u->Start), u->End - u->Start) }
                   .join('|');
    return out;
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void blocksGoIntoTransmissionsByStartTime();
    void openOnly();
    void userChannelJoinsTheLastTransmission();
    void sameStartTimeFindsTheLastMatch_data();
    void sameStartTimeFindsTheLastMatch();
    void annotationsRebasedToTextIndices_data();
    void annotationsRebasedToTextIndices();
    void roundTripKeepsTextAndAnnotations();
};

void TestExport::blocksGoIntoTransmissionsByStartTime()
{
    DecodedTextData model;
    QSignalSpy created(&model, &DecodedTextData::ChannelCreated);
    VarnoResultData document;
    model.GetData(4, document, false);
    // A missing channel is not created by the export.
    QVERIFY(document.GetTransmission().isEmpty() && created.isEmpty() && !model.IsChanged(4));

    Feed(model, T0, 2, "abc", { { 0, 75, 1000 } });
    Feed(model, T0, 2, "de", { { 5, 75, 2000 } });
    Feed(model, T1, 2, "xyz", { { 0, 75, 700000 }, { 1, 75, 701000 } });
    Feed(model, T0, 3, "other", { { 0, 75, 3000 } }, {}, 4);
    const BlockPtr block = model.GetChannelData(2)->FirstBlock();
    for (DecodedTextSnippet& s : block->snippets)
        s.flags |= SnippetEdited;
    model.GetData(2, document, false);
    // The export clears the changed and edited marks of that channel only.
    QVERIFY(!model.IsChanged(2) && !block->changed && model.IsChanged(3));
    for (const DecodedTextSnippet& s : block->snippets)
        QCOMPARE(s.flags & ~SnippetGap, 0);
    model.GetData(3, document, false);

    // Stop times raised to the last run's time; one frame per snippet, the gap's line breaks
    // included, positions as text indices.
    QCOMPARE(Describe(document),
             QStringLiteral("0-3000 2/1:abc\n\nde 0@1000 3@1000 5@2000 3/4:other 0@3000 | "
                            "600000-701000 2/1:xyz 0@700000 1@701000"));
    Feed(model, T0, 2, "g", { { 9, 75, 4000 } });
    QVERIFY(model.IsChanged(2));

    // Exporting again adds second data blocks to the same transmissions.
    model.GetData(2, document, false);
    QCOMPARE(document.GetTransmission().size(), 2);
    QCOMPARE(Contents(*document.GetTransmission().at(0)),
             QStringList({ "2:abc\n\nde", "3:other", "2:abc\n\nde\n\ng" }));
}

void TestExport::openOnly()
{
    for (bool endFirst : { false, true }) {
        DecodedTextData model;
        Feed(model, T0, 2, "old", { { 0, 75, 1000 } });
        Feed(model, T1, 2, "new", { { 0, 75, 2000 } });
        if (endFirst)
            model.EndTransmission();
        const auto buffer = model.GetChannelData(2);
        VarnoResultData document;
        model.GetData(2, document, true);
        QStringList contents;
        for (const Transmission* t : document.GetTransmission())
            contents << Contents(*t);
        // Only the open newest block is written; skipped blocks keep their changed mark.
        QCOMPARE(contents, endFirst ? QStringList() : QStringList("2:new"));
        QVERIFY(buffer->FirstBlock()->changed);
        QCOMPARE(buffer->LastBlock()->changed, endFirst);
    }
}

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

    // Without a transmission the first non-empty block opens one under its own start time.
    VarnoResultData alone;
    model.GetData(user, alone, false);
    QCOMPARE(Describe(alone),
             QStringLiteral("0-1210000 1000/1:first  0@30000 1000/3:third 0@1210000"));
    QVERIFY(!model.IsChanged(user));

    DecodedTextData decoded;
    Feed(decoded, T0, 2, "abc", { { 0, 75, 1000 } });
    Feed(decoded, T1, 2, "xyz", { { 0, 75, 601000 } });
    VarnoResultData document;
    decoded.GetData(2, document, false);
    model.GetData(user, document, false);
    QCOMPARE(Describe(document).section(" | ", 1),
             QStringLiteral("600000-1210000 2/1:xyz 0@601000 1000/1:first  0@30000 "
                            "1000/3:third 0@1210000"));
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

void TestExport::annotationsRebasedToTextIndices_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("expected"); // the block's range, then the written one
    // The block: a gap [0,10) holding "\n", then "abcdefgh" at [10,18).
    // clang-format off
    QTest::newRow("after a gap of width 10 the index is 9 lower") << 12 << 15 << "12-15|3-6 remark op 5";
    QTest::newRow("inside the gap counts from the gap's start") << 4 << 6 << "4-6|4-6 remark op 5";
    QTest::newRow("touching the end overlaps and maps to the text length") << 18 << 20 << "18-20|9-11 remark op 5";
    QTest::newRow("beyond the end is not written") << 19 << 21 << "19-21";
    QTest::newRow("negative start maps to zero and keeps its width") << -3 << 2 << "-3-2|0-5 remark op 5";
    // clang-format on
}

void TestExport::annotationsRebasedToTextIndices()
{
    QFETCH(int, start);
    QFETCH(int, end);
    DecodedTextData model;
    Feed(model, T0, 2, "abcdefgh", { { 10, 75, 1000 } });
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    UserData* note = Note(UserData::CommentType, start, end, QStringLiteral("remark"));
    note->Modifier = QStringLiteral("op");
    note->ChangeTime = T0.addSecs(5);
    block->userData.append(note);

    VarnoResultData document;
    model.GetData(2, document, false);
    QStringList out { Ranges(*block) }; // the block keeps its own
    for (const UserData* u : document.GetTransmission()[0]->GetDataBlock()[0]->GetUserData())
        out << QStringLiteral("%1-%2 %3 %4 %5").arg(u->Start).arg(u->End)
                   .arg(u->Comment, u->Modifier).arg(T0.secsTo(u->ChangeTime));
    QTEST(out.join('|'), "expected");
}

void TestExport::roundTripKeepsTextAndAnnotations()
{
    DecodedTextData original;
    const QString call = UserData::CallSignType;
    const QString comment = UserData::CommentType;
    Feed(original, T0, 2, "CQ CQ DE DL1ABC", { { 0, 75, 1000 }, { 6, 75, 2000 } },
         { Value(Note(call, 9, 15, "DL1ABC")) });
    Feed(original, T0, 2, "PSE K",
         { { 20, 75, 3000 }, { 24, 75, 4000 }, { 27, 75, 5000 } }); // gap before, padding after
    Feed(original, T0, 2, QString::fromUtf8("Ü ä"), { { 23, 75, 6000 } }); // resend into "PSE K"
    Feed(original, T0, 3, "QRZ?", { { 12, 75, 2000 } }, { Value(Note(comment, 12, 15, "asks")) },
         7);
    Feed(original, T1, 2, "73 GL", { { 0, 75, 700000 } },
         { Value(Note(comment, 0, 2, "greeting")) });
    Feed(original, T1, 3, "\nTU\n", { { 0, 75, 701000 }, { 1, 75, 702000 } }, {}, 7);
    original.GetChannelData(2)->FirstBlock()->userData.append(
        Note(comment, 21, 23, "on the resent text"));
    // Descending starts, so that list order and position order differ; apart, since touching
    // call signs would replace each other when read back.
    for (int p = 15; p >= 12; p -= 2)
        original.GetChannelData(3)->FirstBlock()->userData.append(
            Note(call, p, p + 1, QString::number(p)));
    const int channels[] = { 2, 3 };

    VarnoResultData document;
    for (int channel : channels)
        original.GetData(channel, document, false);
    const QString xml = document.GetXmlString();
    VarnoResultData reread;
    QVERIFY(reread.SetXmlString(xml));
    DecodedTextData copy;
    for (const Transmission* transmission : reread.GetTransmission())
        copy.AddTransmission(transmission->GetXmlString());

    for (int channel : channels) {
        const auto before = original.GetChannelData(channel);
        const auto after = copy.GetChannelData(channel);
        QVERIFY_BLOCK(*after);
        QCOMPARE(after->blocks.size(), before->blocks.size());
        for (int b = 0; b < before->blocks.size(); ++b) {
            const DecodedTextBlock& was = *before->blocks.at(b);
            const DecodedTextBlock& is = *after->blocks.at(b);
            QCOMPARE(Summary(is), Summary(was));
        }
    }
    // The copy writes the same document again: same frames, times and annotation indices.
    VarnoResultData again;
    for (int channel : channels)
        copy.GetData(channel, again, false);
    QCOMPARE(again.GetXmlString(), xml);
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
