#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QSignalSpy>
#include <QtTest>

using namespace VarnoResultDataXml;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
const QDateTime T1 = T0.addSecs(600);
const QDateTime T2 = T0.addSecs(1200);

struct Run {
    int position;
    int second; // run time = T0 + second
};

// One data block of one transmission, fed through the plain intake.
void Feed(DecodedTextData& model, const QDateTime& start, int channel, int id,
          const QString& content, const QVector<Run>& runs, const QVector<UserData>& notes = {})
{
    Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(channel, 0, 0);
    block->SetID(id);
    block->SetContent(content);
    for (const Run& run : runs) {
        TimeStamp stamp;
        stamp.Position = run.position;
        stamp.Quality = 75;
        stamp.Time = T0.addSecs(run.second);
        block->GetTimeStamp().append(stamp);
    }
    for (const UserData& note : notes)
        block->AddUserData(new UserData(note));
    transmission.AddDataBlock(block);
    model.AddTransmission(transmission.GetXmlString());
}

UserData Note(const QString& type, int start, int end, const QString& text)
{
    UserData note;
    note.Type = type;
    note.Start = start;
    note.End = end;
    note.Modifier = QStringLiteral("op");
    note.ChangeTime = T0.addSecs(5);
    if (type == UserData::CallSignType)
        note.CallSign = text;
    else
        note.Comment = text;
    return note;
}

QVector<int> Positions(const DataBlock& block)
{
    QVector<int> out;
    for (const TimeStamp& stamp : block.GetTimeStamp())
        out << stamp.Position;
    return out;
}

// Each annotation as "type|comment|call sign|the characters it covers", so that two blocks can
// be compared by what their annotations mark, whatever the positions are.
QStringList MarkedText(const DecodedTextBlock& block)
{
    QStringList out;
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
    void exportingTwiceAddsSecondDataBlocks();
    void openOnly_data();
    void openOnly();
    void userChannelJoinsTheLastTransmission();
    void sameStartTimeFindsTheLastMatch_data();
    void sameStartTimeFindsTheLastMatch();
    void annotationsRebasedToTextIndices_data();
    void annotationsRebasedToTextIndices();
    void annotationIndicesMatchTextIndexInListOrder();
    void exportClearsChangedAndEdited();
    void missingChannelExportsNothing();
    void roundTripKeepsTextAndAnnotations();
};

void TestExport::blocksGoIntoTransmissionsByStartTime()
{
    DecodedTextData model;
    Feed(model, T0, 2, 1, "abc", { { 0, 1 } });
    Feed(model, T0, 2, 1, "de", { { 5, 2 } });
    Feed(model, T1, 2, 1, "xyz", { { 0, 700 }, { 1, 701 } });
    VarnoResultData document;

    model.GetData(2, document, false);

    QCOMPARE(document.GetTransmission().size(), 2);
    const Transmission* first = document.GetTransmission().at(0);
    QCOMPARE(first->GetStartTime(), T0);
    QCOMPARE(first->GetStopTime(), T0.addSecs(2)); // raised to the last run's time
    QCOMPARE(first->GetDataBlock().size(), 1);
    const DataBlock* data = first->GetDataBlock().first();
    QCOMPARE(data->GetChannel(), 2);
    QCOMPARE(data->GetID(), 1);
    // One frame per snippet, the gap's line breaks included, positions as text indices.
    QCOMPARE(data->GetContent(), QStringLiteral("abc\n\nde"));
    QCOMPARE(Positions(*data), (QVector<int> { 0, 3, 5 }));
    QCOMPARE(data->GetTimeStamp().at(0).Time, T0.addSecs(1));
    QCOMPARE(data->GetTimeStamp().at(1).Time, T0.addSecs(1));
    QCOMPARE(data->GetTimeStamp().at(2).Time, T0.addSecs(2));

    const Transmission* second = document.GetTransmission().at(1);
    QCOMPARE(second->GetStartTime(), T1);
    QCOMPARE(second->GetStopTime(), T0.addSecs(701));
    QCOMPARE(second->GetDataBlock().first()->GetContent(), QStringLiteral("xyz"));
    QCOMPARE(Positions(*second->GetDataBlock().first()), (QVector<int> { 0, 1 }));
}

void TestExport::exportingTwiceAddsSecondDataBlocks()
{
    DecodedTextData model;
    Feed(model, T0, 2, 1, "abc", { { 0, 1 } });
    Feed(model, T1, 2, 1, "xyz", { { 0, 2 } });
    Feed(model, T0, 3, 4, "other", { { 0, 3 } });
    VarnoResultData document;
    model.GetData(2, document, false);
    model.GetData(3, document, false);
    model.GetData(2, document, false);

    QCOMPARE(document.GetTransmission().size(), 2);
    const QVector<DataBlock*>& first = document.GetTransmission().at(0)->GetDataBlock();
    QCOMPARE(first.size(), 3);
    QCOMPARE(first.at(0)->GetContent(), QStringLiteral("abc"));
    QCOMPARE(first.at(1)->GetChannel(), 3);
    QCOMPARE(first.at(1)->GetID(), 4);
    QCOMPARE(first.at(2)->GetContent(), QStringLiteral("abc"));
    QCOMPARE(document.GetTransmission().at(0)->GetStopTime(), T0.addSecs(3));
    QCOMPARE(document.GetTransmission().at(1)->GetDataBlock().size(), 2);
}

void TestExport::openOnly_data()
{
    QTest::addColumn<bool>("endFirst");
    QTest::addColumn<QStringList>("written");

    QTest::newRow("only the open newest block is written") << false << QStringList { "new" };
    QTest::newRow("all blocks closed writes nothing") << true << QStringList {};
}

void TestExport::openOnly()
{
    QFETCH(bool, endFirst);
    QFETCH(QStringList, written);
    DecodedTextData model;
    Feed(model, T0, 2, 1, "old", { { 0, 1 } });
    Feed(model, T1, 2, 1, "new", { { 0, 2 } });
    if (endFirst)
        model.EndTransmission();
    const auto buffer = model.GetChannelData(2);
    VarnoResultData document;

    model.GetData(2, document, true);

    QStringList contents;
    for (const Transmission* t : document.GetTransmission()) {
        for (const DataBlock* d : t->GetDataBlock())
            contents << d->GetContent();
    }
    QCOMPARE(contents, written);
    // Skipped blocks keep their changed mark; written ones lose it.
    QVERIFY(buffer->FirstBlock()->changed);
    QCOMPARE(buffer->LastBlock()->changed, endFirst);
    QVERIFY(model.IsChanged(2));
}

void TestExport::userChannelJoinsTheLastTransmission()
{
    DecodedTextData model;
    const int user = DecodedTextData::UserChannelID;
    const auto buffer = model.GetChannelData(user);
    auto typed
        = [&buffer](const QDateTime& key, int id, const QString& text, const QDateTime& time) {
              BlockPtr block = buffer->GetBlock(key, id);
              if (text.isEmpty())
                  return;
              DecodedTextSnippet word;
              word.end = word.length = text.size();
              word.quality = 100;
              word.flags = SnippetEdited;
              word.timestamp = time;
              block->snippets << word;
              block->text = text;
              block->changed = true;
          };
    typed(T0, 1, "first ", T0.addSecs(30));
    typed(T1, 2, QString(), T1);
    typed(T2, 3, "third", T2.addSecs(10));

    VarnoResultData empty;
    model.GetData(user, empty, false);
    // Without a transmission the first non-empty block opens one under its own start time.
    QCOMPARE(empty.GetTransmission().size(), 1);
    QCOMPARE(empty.GetTransmission().first()->GetStartTime(), T0);
    QCOMPARE(empty.GetTransmission().first()->GetDataBlock().size(), 2);

    DecodedTextData decoded;
    Feed(decoded, T0, 2, 1, "abc", { { 0, 1 } });
    Feed(decoded, T1, 2, 1, "xyz", { { 0, 601 } });
    VarnoResultData document;
    decoded.GetData(2, document, false);
    model.GetData(user, document, false);

    QCOMPARE(document.GetTransmission().size(), 2);
    QCOMPARE(document.GetTransmission().at(0)->GetDataBlock().size(), 1);
    const Transmission* last = document.GetTransmission().at(1);
    QCOMPARE(last->GetStartTime(), T1);
    QStringList contents;
    for (const DataBlock* d : last->GetDataBlock())
        contents << QStringLiteral("%1:%2").arg(d->GetChannel()).arg(d->GetContent());
    QCOMPARE(contents, QStringList({ "2:xyz", "1000:first ", "1000:third" }));
    QCOMPARE(last->GetStopTime(), T2.addSecs(10));
    QVERIFY(!model.IsChanged(user));
}

void TestExport::sameStartTimeFindsTheLastMatch_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QVector<QDateTime>>("starts");
    QTest::addColumn<int>("chosen"); // index of the transmission that gets the data block

    QTest::newRow("two transmissions share the start time: the later one takes the block")
        << 2 << QVector<QDateTime> { T0, T1, T0, T2 } << 2;
    QTest::newRow("the same instant in local time is the same start time")
        << 2 << QVector<QDateTime> { T0.toLocalTime(), T1 } << 0;
    QTest::newRow("user channel ignores a matching start time and takes the last")
        << int(DecodedTextData::UserChannelID) << QVector<QDateTime> { T0, T1, T0, T2 } << 3;
}

void TestExport::sameStartTimeFindsTheLastMatch()
{
    QFETCH(int, channel);
    QFETCH(QVector<QDateTime>, starts);
    QFETCH(int, chosen);
    DecodedTextData model;
    if (channel == DecodedTextData::UserChannelID) {
        BlockPtr block = model.GetChannelData(channel)->GetBlock(T0, 1);
        DecodedTextSnippet word;
        word.end = word.length = 4;
        word.timestamp = T0.addSecs(5);
        block->snippets << word;
        block->text = QStringLiteral("word");
    } else {
        Feed(model, T0, channel, 1, "word", { { 0, 5 } });
    }
    VarnoResultData document;
    for (const QDateTime& start : qAsConst(starts)) {
        auto* transmission = new Transmission;
        transmission->SetStartTime(start);
        transmission->SetStopTime(start);
        document.AddTransmission(transmission);
    }

    model.GetData(channel, document, false);

    QCOMPARE(document.GetTransmission().size(), starts.size());
    for (int k = 0; k < starts.size(); ++k) {
        const Transmission* transmission = document.GetTransmission().at(k);
        QCOMPARE(transmission->GetDataBlock().size(), k == chosen ? 1 : 0);
        if (k == chosen)
            QCOMPARE(transmission->GetDataBlock().first()->GetContent(), QStringLiteral("word"));
    }
}

void TestExport::annotationsRebasedToTextIndices_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("exportedStart"); // -1: not written
    QTest::addColumn<int>("exportedEnd");

    // The block: a gap [0,10) holding "\n", then "abcdefgh" at [10,18).
    QTest::newRow("after a gap of width 10 the index is 9 lower") << 12 << 15 << 3 << 6;
    QTest::newRow("inside the gap counts from the gap's start") << 4 << 6 << 4 << 6;
    QTest::newRow("at position zero") << 0 << 2 << 0 << 2;
    QTest::newRow("touching the end overlaps and maps to the text length") << 18 << 20 << 9 << 11;
    QTest::newRow("beyond the end is not written") << 19 << 21 << -1 << -1;
    QTest::newRow("negative start maps to zero and keeps its width") << -3 << 2 << 0 << 5;
}

void TestExport::annotationsRebasedToTextIndices()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(int, exportedStart);
    QFETCH(int, exportedEnd);
    DecodedTextData model;
    Feed(model, T0, 2, 1, "abcdefgh", { { 10, 1 } });
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    QCOMPARE(block->text, QStringLiteral("\nabcdefgh"));
    auto* note = new UserData(Note(UserData::CommentType, start, end, QStringLiteral("remark")));
    block->userData.append(note);

    VarnoResultData document;
    model.GetData(2, document, false);

    const QVector<UserData*>& out
        = document.GetTransmission().first()->GetDataBlock().first()->GetUserData();
    if (exportedStart < 0) {
        QVERIFY(out.isEmpty());
        return;
    }
    QCOMPARE(out.size(), 1);
    QVERIFY(out.first() != note);
    QCOMPARE(out.first()->Start, exportedStart);
    QCOMPARE(out.first()->End, exportedEnd);
    QCOMPARE(out.first()->Comment, QStringLiteral("remark"));
    QCOMPARE(out.first()->Modifier, QStringLiteral("op"));
    QCOMPARE(out.first()->ChangeTime, T0.addSecs(5));
    // The block's own annotation keeps its positions.
    QCOMPARE(note->Start, start);
    QCOMPARE(note->End, end);
}

void TestExport::annotationIndicesMatchTextIndexInListOrder()
{
    DecodedTextData model;
    Feed(model, T0, 2, 1, "CQ CQ", { { 0, 1 }, { 3, 2 } });
    Feed(model, T0, 2, 1, "DE K",
         { { 9, 3 }, { 9, 4 }, { 11, 5 }, { 16, 6 } }); // gap, empty run, padding
    Feed(model, T0, 2, 1, "X", { { 30, 7 } });
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    QVERIFY_BLOCK(*block);
    const int end = block->EndPosition();
    // Descending starts, so the list order differs from the position order.
    for (int p = end + 1; p >= -1; --p)
        block->userData.append(
            new UserData(Note(UserData::CallSignType, p, p + 2, QString::number(p))));

    VarnoResultData document;
    model.GetData(2, document, false);

    const QVector<UserData*>& out
        = document.GetTransmission().first()->GetDataBlock().first()->GetUserData();
    QCOMPARE(out.size(), end + 2); // every start from -1 to the end position overlaps
    for (int k = 0; k < out.size(); ++k) {
        const int position = out.at(k)->CallSign.toInt();
        QCOMPARE(position, end - k);
        QCOMPARE(out.at(k)->Start, block->TextIndex(position));
        QCOMPARE(out.at(k)->End, out.at(k)->Start + 2);
    }
}

void TestExport::exportClearsChangedAndEdited()
{
    DecodedTextData model;
    QVERIFY(!model.IsChanged(2));
    Feed(model, T0, 2, 1, "abc", { { 0, 1 } });
    Feed(model, T0, 2, 1, "def", { { 6, 2 } });
    Feed(model, T0, 3, 1, "other", { { 0, 3 } });
    QVERIFY(model.IsChanged(2));
    QVERIFY(model.IsChanged(3));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    for (DecodedTextSnippet& s : block->snippets)
        s.flags |= SnippetEdited;

    VarnoResultData document;
    model.GetData(2, document, false);

    QVERIFY(!model.IsChanged(2));
    QVERIFY(!block->changed);
    QVERIFY(model.IsChanged(3));
    QCOMPARE(block->snippets.size(), 3);
    for (const DecodedTextSnippet& s : block->snippets)
        QVERIFY(!(s.flags & SnippetEdited));
    QVERIFY(block->snippets.at(1).flags & SnippetGap);

    Feed(model, T0, 2, 1, "g", { { 9, 4 } });
    QVERIFY(model.IsChanged(2));
}

void TestExport::missingChannelExportsNothing()
{
    DecodedTextData model;
    QSignalSpy created(&model, &DecodedTextData::ChannelCreated);
    VarnoResultData document;

    model.GetData(4, document, false);
    QVERIFY(!model.IsChanged(4));

    QVERIFY(document.GetTransmission().isEmpty());
    QVERIFY(!model.ChannelExists(4));
    QCOMPARE(created.count(), 0);
}

void TestExport::roundTripKeepsTextAndAnnotations()
{
    DecodedTextData original;
    const QString call = UserData::CallSignType;
    const QString comment = UserData::CommentType;
    Feed(original, T0, 2, 1, "CQ CQ DE DL1ABC", { { 0, 1 }, { 6, 2 } },
         { Note(call, 9, 15, "DL1ABC") });
    Feed(original, T0, 2, 1, "PSE K",
         { { 20, 3 }, { 24, 4 }, { 27, 5 } }); // gap before, padding after
    Feed(original, T0, 2, 1, "Ü ä", { { 23, 6 } }); // resend into "PSE K"
    Feed(original, T0, 3, 7, "QRZ?", { { 12, 2 } }, { Note(comment, 12, 15, "asks") });
    Feed(original, T1, 2, 1, "73 GL", { { 0, 700 } }, { Note(comment, 0, 2, "greeting") });
    Feed(original, T1, 3, 7, "\nTU\n", { { 0, 701 }, { 1, 702 } });
    original.GetChannelData(2)->FirstBlock()->userData.append(
        new UserData(Note(comment, 21, 23, "on the resent text")));
    const int channels[] = { 2, 3 };

    VarnoResultData document;
    for (int channel : channels)
        original.GetData(channel, document, false);
    const QString xml = document.GetXmlString();

    VarnoResultData reread;
    QVERIFY(reread.SetXmlString(xml));
    QCOMPARE(reread.GetTransmission().size(), 2);
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
            QCOMPARE(is.timestamp, was.timestamp);
            QCOMPARE(is.id, was.id);
            QCOMPARE(is.text, was.text);
            QCOMPARE(MarkedText(is), MarkedText(was));
            QCOMPARE(is.LastTimestamp(), was.LastTimestamp());
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
