#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QSignalSpy>
#include <QtTest>

#include <climits>
#include <memory>

using namespace VarnoResultDataXml;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
const QDateTime T1 = T0.addSecs(600);
const QDateTime T2 = T0.addSecs(1200);
const int Limit = IVarnoResultData::ValueLimit;

struct Run {
    int position, quality, second; // run time = T0 + second
};

struct Piece {
    int channel, id;
    QString content;
    QVector<Run> runs;
    QVector<UserData> notes = {};
};

DataBlock* MakeBlock(const Piece& piece)
{
    auto* block = new DataBlock(piece.channel, 0, 0);
    block->SetID(piece.id);
    block->SetContent(piece.content);
    for (const Run& run : piece.runs) {
        TimeStamp stamp;
        stamp.Position = run.position;
        stamp.Quality = run.quality;
        stamp.Time = T0.addSecs(run.second);
        block->GetTimeStamp().append(stamp);
    }
    for (const UserData& note : piece.notes)
        block->AddUserData(new UserData(note));
    return block;
}

QString Xml(const QDateTime& start, const QVector<Piece>& pieces)
{
    Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    for (const Piece& piece : pieces)
        transmission.AddDataBlock(MakeBlock(piece));
    return transmission.GetXmlString();
}

// One piece of 300 equal letters at its stream position, for the trimming scenarios.
QString Letters(int k)
{
    return QString(300, QChar('a' + k - 1));
}

// "start-end:length" per snippet, "g" in front of gaps, "q<quality>" behind data runs.
QString Layout(const DecodedTextBlock& block)
{
    QStringList parts;
    for (const DecodedTextSnippet& s : block.snippets) {
        QString part = QStringLiteral("%1-%2:%3").arg(s.start).arg(s.end).arg(s.length);
        if (s.flags & SnippetGap)
            part.prepend(QLatin1Char('g'));
        else
            part += QStringLiteral("q%1").arg(s.quality);
        parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

UserData Comment(int start, int end, const QString& comment)
{
    UserData note;
    note.Type = UserData::CommentType;
    note.Start = start;
    note.End = end;
    note.Comment = comment;
    return note;
}

UserData* Note(int start, int end, const QString& comment)
{
    return new UserData(Comment(start, end, comment));
}

// Every model signal in one list, so that the order across signals can be checked.
void Record(DecodedTextData& model, QStringList* log)
{
    QObject::connect(&model, &DecodedTextData::ChannelCreated,
                     [log](int c) { *log << QStringLiteral("created %1").arg(c); });
    QObject::connect(&model, &DecodedTextData::DataChanged, [log](int c, bool refresh) {
        *log << QStringLiteral("data %1 %2").arg(c).arg(refresh ? "refresh" : "append");
    });
    QObject::connect(&model, &DecodedTextData::TransmissionChanged,
                     [log](int c) { *log << QStringLiteral("end %1").arg(c); });
    QObject::connect(&model, &DecodedTextData::SaveUserData,
                     [log](int c, const QString&) { *log << QStringLiteral("save %1").arg(c); });
}

struct FixedClock : DecodedTextClock {
    QDateTime now;
    QDateTime CurrentTime() const override { return now; }
};

} // namespace

Q_DECLARE_METATYPE(Run)

class TestIntake : public QObject {
    Q_OBJECT

private slots:
    void runsBecomeSnippets_data();
    void runsBecomeSnippets();
    void followUpData_data();
    void followUpData();
    void resendReplacesFromThatPosition_data();
    void resendReplacesFromThatPosition();
    void handCheckedResendGapPaddingScenario();
    void handCheckedTrimHoldOverflowScenario();
    void signalsInOrderAndEndingOnce();
    void endTransmissionHandsOutUserChannel_data();
    void endTransmissionHandsOutUserChannel();
    void endTransmissionOfAggregation_data();
    void endTransmissionOfAggregation();
    void mappedIntakeFollowsTheMap();
    void mappedIntakeKeepsOneOpenAggregationBlock();
    void brokenXml_data();
    void brokenXml();
    void refusedDataBlocks_data();
    void refusedDataBlocks();
    void emptyDataBlocksAreSkipped();
    void deliveredAnnotationsOutsideTheTextAreRefused();
};

void TestIntake::runsBecomeSnippets_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QVector<Run>>("runs");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stream");

    // clang-format off
    QTest::newRow("one run covers the content")
        << "abc" << QVector<Run>{{0, 90, 0}} << "0-3:3q90" << "abc" << 3;
    QTest::newRow("each stamp starts a run with its quality")
        << "CQ DE K" << QVector<Run>{{0, 90, 0}, {3, 40, 1}, {6, -1, 2}}
        << "0-3:3q90 3-6:3q40 6-7:1q-1" << "CQ DE K" << 7;
    QTest::newRow("equal positions give an empty run")
        << "abc" << QVector<Run>{{0, 90, 0}, {0, 50, 1}, {2, 70, 2}}
        << "0-0:0q90 0-2:2q50 2-3:1q70" << "abc" << 3;
    QTest::newRow("first position past zero opens with a one-line gap")
        << "abc" << QVector<Run>{{5, 90, 0}} << "g0-5:1 5-8:3q90" << "\nabc" << 8;
    QTest::newRow("last stamp two past the content pads two question marks")
        << "ab" << QVector<Run>{{0, 90, 0}, {4, 60, 1}} << "0-4:4q90 4-4:0q60" << "ab??" << 4;
    QTest::newRow("last stamp at the content end needs no padding")
        << "ab" << QVector<Run>{{0, 90, 0}, {2, 60, 1}} << "0-2:2q90 2-2:0q60" << "ab" << 2;
    // clang-format on
}

void TestIntake::runsBecomeSnippets()
{
    QFETCH(QString, content);
    QFETCH(QVector<Run>, runs);
    DecodedTextData model;
    QSignalSpy data(&model, &DecodedTextData::DataChanged);

    model.AddTransmission(Xml(T0, { { 2, 7, content, runs, {} } }));

    QCOMPARE(data.count(), 1);
    QCOMPARE(data.at(0), (QList<QVariant> { 2, false }));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->id, 7);
    QCOMPARE(block->timestamp, T0);
    QTEST(Layout(*block), "layout");
    QTEST(block->text, "text");
    QTEST(block->streamPosition, "stream");
    QVERIFY(block->changed);
    QVERIFY(!block->closed);
    // Each data run carries the time of its own stamp.
    int run = 0;
    for (const DecodedTextSnippet& s : block->snippets) {
        if (s.flags & SnippetGap)
            continue;
        QCOMPARE(s.timestamp, T0.addSecs(runs.at(run++).second));
    }
    QCOMPARE(run, runs.size());
}

void TestIntake::followUpData_data()
{
    QTest::addColumn<QString>("firstContent");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("text");

    // clang-format off
    QTest::newRow("position where the stream ended continues the runs")
        << "abc" << 3 << "def" << "0-3:3q90 3-6:3q80" << "abcdef";
    QTest::newRow("three lost characters become a gap with an empty line")
        << "abc" << 6 << "def" << "0-3:3q90 g3-6:2 6-9:3q80" << "abc\n\ndef";
    QTest::newRow("after a line break one separator line is enough")
        << "ab\n" << 6 << "de" << "0-3:3q90 g3-6:1 6-8:2q80" << "ab\n\nde";
    QTest::newRow("new text ending in a line break needs one separator line")
        << "abc" << 6 << "de\n" << "0-3:3q90 g3-6:1 6-9:3q80" << "abc\nde\n";
    // clang-format on
}

void TestIntake::followUpData()
{
    QFETCH(QString, firstContent);
    QFETCH(int, position);
    QFETCH(QString, content);
    DecodedTextData model;
    model.AddTransmission(Xml(T0, { { 2, 7, firstContent, { { 0, 90, 0 } } } }));
    QSignalSpy data(&model, &DecodedTextData::DataChanged);

    model.AddTransmission(Xml(T0, { { 2, 7, content, { { position, 80, 1 } } } }));

    QCOMPARE(data.count(), 1);
    QCOMPARE(data.at(0), (QList<QVariant> { 2, false }));
    const auto buffer = model.GetChannelData(2);
    QCOMPARE(buffer->blocks.size(), 1);
    QVERIFY_BLOCK(*buffer);
    QTEST(Layout(*buffer->LastBlock()), "layout");
    QTEST(buffer->LastBlock()->text, "text");
    QCOMPARE(buffer->LastBlock()->streamPosition, position + content.size());
}

void TestIntake::resendReplacesFromThatPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("stream");

    // The block before each resend: "abc" [0,3), "def" [3,6), gap [6,9) "\n\n", "ghi" [9,12).
    // clang-format off
    QTest::newRow("resend inside a run drops that run whole")
        << 4 << "XY" << "0-3:3q90 3-5:2q50" << "abcXY" << 6;
    QTest::newRow("resend into the gap drops the gap")
        << 7 << "Z" << "0-3:3q90 3-6:3q80 6-7:1q50" << "abcdefZ" << 8;
    QTest::newRow("resend of the last run keeps the gap before it")
        << 9 << "GHI!" << "0-3:3q90 3-6:3q80 g6-9:2 9-13:4q50" << "abcdef\n\nGHI!" << 13;
    QTest::newRow("resend from zero replaces everything") << 0 << "new" << "0-3:3q50" << "new" << 3;
    // clang-format on
}

void TestIntake::resendReplacesFromThatPosition()
{
    QFETCH(int, position);
    QFETCH(QString, content);
    DecodedTextData model;
    model.AddTransmission(Xml(T0, { { 2, 7, "abc", { { 0, 90, 0 } } } }));
    model.AddTransmission(Xml(T0, { { 2, 7, "def", { { 3, 80, 1 } } } }));
    model.AddTransmission(Xml(T0, { { 2, 7, "ghi", { { 9, 70, 2 } } } }));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    UserData* stored = Note(9, 12, QStringLiteral("kept"));
    block->userData.append(stored);
    QSignalSpy data(&model, &DecodedTextData::DataChanged);

    model.AddTransmission(Xml(T0, { { 2, 7, content, { { position, 50, 3 } } } }));

    QCOMPARE(data.count(), 1);
    QCOMPARE(data.at(0), (QList<QVariant> { 2, true }));
    QVERIFY_BLOCK(*block);
    QTEST(Layout(*block), "layout");
    QTEST(block->text, "text");
    QTEST(block->streamPosition, "stream");
    // Truncation leaves annotations where they were.
    QCOMPARE(block->userData, QVector<UserData*> { stored });
    QCOMPARE(stored->Start, 9);
    QCOMPARE(stored->End, 12);
}

void TestIntake::handCheckedResendGapPaddingScenario()
{
    // Every expected value below was worked out by hand from the intake rules.
    DecodedTextData model;
    QStringList log;
    Record(model, &log);
    auto feed = [&model](const QDateTime& start, const QString& content, const QVector<Run>& runs) {
        model.AddTransmission(Xml(start, { { 2, 7, content, runs, {} } }));
    };

    feed(T0, "CQ CQ DE", { { 0, 90, 0 }, { 6, 40, 1 } });
    const auto buffer = model.GetChannelData(2);
    const BlockPtr block = buffer->LastBlock();
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block), QStringLiteral("0-6:6q90 6-8:2q40"));
    QCOMPARE(block->streamPosition, 8);

    // Four characters lost: a gap of width 4 holding an empty line, then the run at 12.
    feed(T0, "AB1CD", { { 12, 70, 3 } });
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block), QStringLiteral("0-6:6q90 6-8:2q40 g8-12:2 12-17:5q70"));
    QCOMPARE(block->text, QStringLiteral("CQ CQ DE\n\nAB1CD"));
    QCOMPARE(block->snippets.at(2).timestamp, T0.addSecs(1));
    QCOMPARE(block->streamPosition, 17);
    UserData* comment = Note(12, 17, QStringLiteral("over AB1CD"));
    block->userData.append(comment);

    // The second run starts 1 past the content: one "?" and an empty last run.
    feed(T0, " K", { { 17, 80, 4 }, { 20, 10, 5 } });
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block),
             QStringLiteral("0-6:6q90 6-8:2q40 g8-12:2 12-17:5q70 17-20:3q80 20-20:0q10"));
    QCOMPARE(block->text, QStringLiteral("CQ CQ DE\n\nAB1CD K?"));
    QCOMPARE(block->streamPosition, 20);

    // Resend from 14 maps to position 14, inside [12,17): that run and all after it go; the
    // new run is laid at the remaining end 12.
    feed(T0, "XYZ", { { 14, 95, 6 } });
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block), QStringLiteral("0-6:6q90 6-8:2q40 g8-12:2 12-15:3q95"));
    QCOMPARE(block->text, QStringLiteral("CQ CQ DE\n\nXYZ"));
    QCOMPARE(block->streamPosition, 17);
    QCOMPARE(block->userData, QVector<UserData*> { comment });
    QCOMPARE(comment->Start, 12);
    QCOMPARE(comment->End, 17);

    // 15 is not the stream position (17) but the block's end: the stream re-syncs, no resend.
    feed(T0, "!", { { 15, 50, 7 } });
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block), QStringLiteral("0-6:6q90 6-8:2q40 g8-12:2 12-15:3q95 15-16:1q50"));
    QCOMPARE(block->streamPosition, 16);

    // A new transmission closes the block; data for the old key still goes into it.
    feed(T1, "N", { { 0, 99, 8 } });
    QCOMPARE(buffer->blocks.size(), 2);
    QVERIFY(block->closed);
    const BlockPtr newer = buffer->LastBlock();
    QCOMPARE(newer->timestamp, T1);
    QCOMPARE(Layout(*newer), QStringLiteral("0-1:1q99"));
    feed(T0, ".", { { 16, 60, 9 } });
    QVERIFY_BLOCK(*buffer);
    QCOMPARE(block->text, QStringLiteral("CQ CQ DE\n\nXYZ!."));
    QCOMPARE(block->snippets.last().start, 16);
    QVERIFY(block->closed);
    QVERIFY(!newer->closed);

    const QString append = QStringLiteral("data 2 append");
    QCOMPARE(log,
             QStringList({ "created 2", append, append, append, "data 2 refresh", append, append,
                           append }));
}

void TestIntake::handCheckedTrimHoldOverflowScenario()
{
    // Pieces of 300 letters into a buffer of 1000; the figures were worked out by hand.
    DecodedTextData model;
    model.SetBufferSize(1000);
    QStringList log;
    Record(model, &log);
    auto feed = [&model](int channel, int k, int position) {
        model.AddTransmission(Xml(T0, { { channel, 1, Letters(k), { { position, 90, k } } } }));
    };

    // Without hold: the limit is 1100. Before piece 5 the cut (index 200) lies inside the first
    // run, so nothing goes; before piece 6 the first run goes and a gap stands for it.
    for (int k = 1; k <= 5; ++k)
        feed(3, k, (k - 1) * 300);
    const auto free = model.GetChannelData(3);
    QCOMPARE(free->LastBlock()->text.size(), 1500);
    feed(3, 6, 1500);
    QVERIFY_BLOCK(*free);
    QCOMPARE(Layout(*free->LastBlock()),
             QStringLiteral("g0-300:1 300-600:300q90 600-900:300q90 900-1200:300q90 "
                            "1200-1500:300q90 1500-1800:300q90"));
    QCOMPARE(free->LastBlock()->text.left(2), QStringLiteral("\nb"));
    feed(3, 7, 1800);
    QVERIFY_BLOCK(*free);
    QCOMPARE(free->LastBlock()->text.size(), 1501);
    QCOMPARE(free->LastBlock()->snippets.first().end, 600);
    QCOMPARE(log.mid(log.indexOf("created 3") + 1),
             QStringList({ "data 3 append", "data 3 append", "data 3 append", "data 3 append",
                           "data 3 append", "data 3 refresh", "data 3 refresh" }));

    // With hold the limit is 1500: six pieces fit, the seventh overflows and only its positions
    // are kept (as a gap), the eighth is dropped without a word.
    log.clear();
    const auto held = model.GetChannelData(4);
    held->hold = true;
    for (int k = 1; k <= 7; ++k)
        feed(4, k, (k - 1) * 300);
    QVERIFY(held->overflow);
    const BlockPtr block = held->LastBlock();
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text.size(), 1802);
    QCOMPARE(Layout(*block).section(' ', 6), QStringLiteral("g1800-2100:2"));
    QCOMPARE(block->streamPosition, 1800);
    feed(4, 8, 2100);
    QCOMPARE(block->text.size(), 1802);
    QCOMPARE(log.size(), 8); // created + seven appends, nothing for the dropped piece
    QCOMPARE(log.last(), QStringLiteral("data 4 append"));

    // Hold released: the next piece clears the mark and is taken untrimmed; the stream was left at
    // 1800, so 2400 extends the gap to 2700.
    held->hold = false;
    feed(4, 9, 2400);
    QVERIFY(!held->overflow);
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text.size(), 2102);
    QCOMPARE(Layout(*block).section(' ', 6), QStringLiteral("g1800-2700:2 2700-3000:300q90"));
    QCOMPARE(log.last(), QStringLiteral("data 4 refresh"));

    // The one after that trims: excess 1102 cuts at position 1102, removing the first three runs.
    feed(4, 10, 2700);
    QVERIFY_BLOCK(*block);
    QCOMPARE(
        Layout(*block),
        QStringLiteral("g0-900:1 900-1200:300q90 1200-1500:300q90 1500-1800:300q90 g1800-2700:2 "
                       "2700-3000:300q90 3000-3300:300q90"));
    QCOMPARE(block->text,
             "\n" + Letters(4) + Letters(5) + Letters(6) + "\n\n" + Letters(9) + Letters(10));
    QCOMPARE(log.last(), QStringLiteral("data 4 refresh"));
}

void TestIntake::signalsInOrderAndEndingOnce()
{
    DecodedTextData model;
    QStringList log;
    Record(model, &log);
    QSignalSpy created(&model, &DecodedTextData::ChannelCreated);
    QSignalSpy data(&model, &DecodedTextData::DataChanged);
    QSignalSpy ended(&model, &DecodedTextData::TransmissionChanged);

    model.AddTransmission(Xml(T0,
                              { { 5, 1, "abc", { { 0, 90, 0 } } },
                                { 6, 1, "xyz", { { 0, 90, 0 } } },
                                { 5, 1, "d", { { 3, 90, 1 } } } }));
    QCOMPARE(log,
             QStringList(
                 { "created 5", "data 5 append", "created 6", "data 6 append", "data 5 append" }));
    QCOMPARE(created.count(), 2);
    QCOMPARE(data.count(), 3);
    QCOMPARE(ended.count(), 0);

    log.clear();
    model.AddTransmission(Xml(T0, {}));
    QCOMPARE(log, QStringList({ "end 5", "end 6" }));
    QCOMPARE(ended.count(), 2);
    QVERIFY(model.GetChannelData(5)->LastBlock()->closed);
    QVERIFY(model.GetChannelData(6)->LastBlock()->closed);

    // Ending twice says nothing the second time, and neither does a channel without blocks. A
    // closed block still takes text for its key, and the next end has nothing to close.
    model.GetChannelData(7);
    model.EndTransmission();
    model.AddTransmission(Xml(T0, { { 5, 1, "e", { { 4, 90, 2 } } } }));
    model.EndTransmission();
    QCOMPARE(log, QStringList({ "end 5", "end 6", "created 7", "data 5 append" }));
    QCOMPARE(model.GetChannelData(5)->LastBlock()->text, QStringLiteral("abcde"));
}

void TestIntake::endTransmissionHandsOutUserChannel_data()
{
    QTest::addColumn<bool>("typed");
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("saved");

    QTest::newRow("typed text goes out online") << true << false << true << true;
    QTest::newRow("offline keeps typed text in") << true << true << true << false;
    QTest::newRow("user data disabled keeps typed text in") << true << false << false << false;
    QTest::newRow("nothing typed sends nothing") << false << false << true << false;
}

void TestIntake::endTransmissionHandsOutUserChannel()
{
    QFETCH(bool, typed);
    QFETCH(bool, offline);
    QFETCH(bool, enabled);
    DecodedTextData model;
    FixedClock clock;
    clock.now = T2;
    model.SetClock(&clock);
    model.SetOffline(offline);
    model.EnableUserData(enabled);

    // Data for the user channel only opens its block; the decoder's text is not taken.
    model.AddTransmission(
        Xml(T0, { { DecodedTextData::UserChannelID, 4, "ignored", { { 0, 90, 0 } } } }));
    const auto buffer = model.GetChannelData(DecodedTextData::UserChannelID);
    QCOMPARE(buffer->blocks.size(), 1);
    const BlockPtr first = buffer->LastBlock();
    QCOMPARE(first->id, 4);
    QVERIFY(first->text.isEmpty());
    if (typed) {
        first->text = QStringLiteral("hi ");
        DecodedTextSnippet word;
        word.end = word.length = 3;
        word.quality = 100;
        word.flags = SnippetEdited;
        word.timestamp = T1;
        first->snippets << word;
    }
    QStringList log;
    Record(model, &log);
    QSignalSpy saved(&model, &DecodedTextData::SaveUserData);

    model.EndTransmission();

    QVERIFY(first->closed);
    QTEST(saved.count() == 1, "saved");
    if (saved.count() == 1) {
        QCOMPARE(saved.at(0).at(0).toInt(), DecodedTextData::UserChannelID);
        DataBlock sent;
        QVERIFY(sent.SetXmlString(saved.at(0).at(1).toString()));
        QCOMPARE(sent.GetContent(), QStringLiteral("hi "));
    }
    QCOMPARE(log.last(), QStringLiteral("data 1000 refresh"));
    // Only the newest block survives (and only with text), and a fresh one takes the next edits.
    QCOMPARE(buffer->blocks.size(), typed ? 2 : 1);
    const BlockPtr fresh = buffer->LastBlock();
    QCOMPARE(fresh->id, 5);
    QCOMPARE(fresh->timestamp, T2);
    QVERIFY(!fresh->closed);
    QVERIFY_BLOCK(*buffer);
}

void TestIntake::endTransmissionOfAggregation_data()
{
    QTest::addColumn<bool>("offline");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("signal");

    // Twelve runs of 100: Trim(1000) cuts at index 200, the first two runs go and a gap leads.
    QTest::newRow("offline trims to 1000 whatever the buffer size")
        << true << 1001 << "data 0 refresh";
    QTest::newRow("online the aggregation channel just ends") << false << 1200 << "end 0";
}

void TestIntake::endTransmissionOfAggregation()
{
    QFETCH(bool, offline);
    DecodedTextData model;
    model.SetOffline(offline);
    for (int k = 0; k < 12; ++k)
        model.AddTransmission(
            Xml(T0, { { 0, 1, QString(100, QChar('a' + k)), { { k * 100, 90, k } } } }));
    const BlockPtr block = model.GetChannelData(0)->LastBlock();
    QCOMPARE(block->text.size(), 1200);
    QStringList log;
    Record(model, &log);

    model.EndTransmission();

    QTEST(QString(log.join(',')), "signal");
    QTEST(block->text.size(), "length");
    QVERIFY_BLOCK(*block);
    if (offline) {
        QVERIFY(block->text.startsWith("\nc"));
        QCOMPARE(block->snippets.first().end, 200);
    }
}

void TestIntake::mappedIntakeFollowsTheMap()
{
    DecodedTextData model;
    QStringList log;
    Record(model, &log);
    QVector<int> used { 9 };
    const QMap<int, int> map { { 3, 5 }, { 4, -1 }, { 6, DecodedTextData::AggregationChannelID } };

    model.AddTransmission(map, used, Xml(T0, {}));
    QVERIFY(log.isEmpty());
    QVERIFY(!model.ChannelExists(DecodedTextData::AggregationChannelID));

    model.AddTransmission(map, used,
                          Xml(T0,
                              { { 3, 1, "abc", { { 0, 90, 0 } } },
                                { 4, 1, "no", { { 0, 90, 0 } } },
                                { 7, 1, "unmapped", { { 0, 90, 0 } } },
                                { 6, 1, "self", { { 0, 90, 0 } } },
                                { 3, 2, "def", { { 0, 90, 1 } } } }));

    QCOMPARE(used, (QVector<int> { 9, 3 }));
    for (int absent : { 3, 4, 6, 7 })
        QVERIFY2(!model.ChannelExists(absent), qPrintable(QString::number(absent)));
    const auto target = model.GetChannelData(5);
    QCOMPARE(target->blocks.size(), 2);
    QCOMPARE(target->blocks.at(0)->text, QStringLiteral("abc"));
    QCOMPARE(target->blocks.at(1)->text, QStringLiteral("def"));
    QCOMPARE(target->blocks.at(1)->channel, 5);
    // Channel blocks are closed right after their merge; only the aggregation block stays open.
    QVERIFY(target->blocks.at(0)->closed);
    QVERIFY(target->blocks.at(1)->closed);
    const auto aggregation = model.GetChannelData(DecodedTextData::AggregationChannelID);
    QCOMPARE(aggregation->blocks.size(), 1);
    QCOMPARE(aggregation->LastBlock()->id, 1);
    QCOMPARE(aggregation->LastBlock()->timestamp, T0);
    QVERIFY(!aggregation->LastBlock()->closed);

    QStringList order;
    for (const QString& entry : qAsConst(log))
        order << (entry.startsWith("data 0") ? QStringLiteral("data 0") : entry);
    QCOMPARE(order,
             QStringList({ "created 0", "created 5", "data 5 append", "data 0", "data 5 append",
                           "data 0" }));
}

void TestIntake::mappedIntakeKeepsOneOpenAggregationBlock()
{
    DecodedTextData model;
    QVector<int> used;
    const QMap<int, int> map { { 1, 1 } };
    model.AddTransmission(map, used, Xml(T0, { { 1, 1, "a", { { 0, 90, 0 } } } }));
    model.AddTransmission(map, used, Xml(T1, { { 1, 1, "b", { { 0, 90, 600 } } } }));
    const auto aggregation = model.GetChannelData(DecodedTextData::AggregationChannelID);
    QCOMPARE(aggregation->blocks.size(), 1);

    // An empty transmission does not end anything in the mapped intake.
    model.AddTransmission(map, used, QString());
    QVERIFY(!aggregation->LastBlock()->closed);

    QSignalSpy ended(&model, &DecodedTextData::TransmissionChanged);
    model.EndTransmission();
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).toInt(), 0);

    model.AddTransmission(map, used, Xml(T2, { { 1, 1, "c", { { 0, 90, 1200 } } } }));
    QCOMPARE(aggregation->blocks.size(), 2);
    QCOMPARE(aggregation->LastBlock()->id, 2);
    QCOMPARE(aggregation->LastBlock()->timestamp, T2);
    QVERIFY(!aggregation->LastBlock()->closed);
    QCOMPARE(used, QVector<int> { 1 });
}

void TestIntake::brokenXml_data()
{
    QTest::addColumn<QString>("xml");

    const QString whole = Xml(T0, { { 2, 1, "more", { { 3, 90, 1 } } } });
    QTest::newRow("not xml at all") << "this is not a document";
    QTest::newRow("document cut off in the middle") << whole.left(60);
    QTest::newRow("empty string") << QString();
    QTest::newRow("binary noise") << QString::fromLatin1("\x01<\x02>\xff<<&&;");
}

void TestIntake::brokenXml()
{
    QFETCH(QString, xml);
    DecodedTextData model;
    model.AddTransmission(Xml(T0, { { 2, 1, "abc", { { 0, 90, 0 } } } }));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    UserData* stored = Note(0, 3, QStringLiteral("kept"));
    block->userData.append(stored);
    QStringList log;
    Record(model, &log);

    // Mapped: a document that does not parse is ignored.
    QVector<int> used;
    model.AddTransmission(QMap<int, int> { { 2, 2 } }, used, xml);
    QVERIFY(log.isEmpty());
    QVERIFY(used.isEmpty());
    QVERIFY(!block->closed);

    // Plain: it reads as an empty transmission, which ends the transmission.
    model.AddTransmission(xml);
    QCOMPARE(log, QStringList({ "end 2" }));
    QVERIFY(block->closed);
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abc"));
    QCOMPARE(block->userData, QVector<UserData*> { stored });
}

void TestIntake::refusedDataBlocks_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QVector<int>>("positions");
    QTest::addColumn<int>("stream"); // forced stream position of the target, -1 to leave it
    QTest::addColumn<bool>("taken");

    // Channel 2 holds "abc" at [0,3) with stream position 3 before each row.
    using P = QVector<int>;
    // clang-format off
    QTest::newRow("well-formed follow-up is taken") << 2 << "def" << P{3, 4} << -1 << true;
    QTest::newRow("stamps out of order") << 2 << "defg" << P{3, 6, 5} << -1 << false;
    QTest::newRow("negative stream position") << 2 << "def" << P{-4} << -1 << false;
    QTest::newRow("position past the document limit") << 2 << "def" << P{Limit + 1} << -1 << false;
    QTest::newRow("position at int max") << 2 << "def" << P{INT_MAX} << -1 << false;
    QTest::newRow("text running past the document limit")
        << 2 << "def" << P{Limit - 1} << -1 << false;
    QTest::newRow("stamps promising millions of lost characters")
        << 2 << "d" << P{3, 3 + 5000000} << -1 << false;
    QTest::newRow("a few promised characters are padded") << 2 << "d" << P{3, 8} << -1 << true;
    QTest::newRow("gap would carry the block past the limit")
        << 2 << "ab" << P{Limit - 2} << 0 << false;
    QTest::newRow("far gap within the limit is taken") << 2 << "ab" << P{Limit - 2} << -1 << true;
    QTest::newRow("negative channel") << -3 << "def" << P{0} << -1 << false;
    QTest::newRow("channel at int max") << INT_MAX << "def" << P{0} << -1 << false;
    QTest::newRow("channel past the document limit") << Limit + 1 << "def" << P{0} << -1 << false;
    QTest::newRow("channel at the document limit is taken") << Limit << "def" << P{0} << -1 << true;
    // clang-format on
}

void TestIntake::refusedDataBlocks()
{
    QFETCH(int, channel);
    QFETCH(QString, content);
    QFETCH(QVector<int>, positions);
    QFETCH(int, stream);
    QFETCH(bool, taken);
    DecodedTextData model;
    model.AddTransmission(Xml(T0, { { 2, 1, "abc", { { 0, 90, 0 } } } }));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    UserData* stored = Note(0, 3, QStringLiteral("kept"));
    block->userData.append(stored);
    if (stream >= 0)
        block->streamPosition = stream;
    const int streamBefore = block->streamPosition;
    const QString layoutBefore = Layout(*block);
    QStringList log;
    Record(model, &log);

    // Straight into AddData: values beyond what a document may carry never parse from XML.
    QVector<Run> runs;
    for (int p : positions)
        runs.append({ p, 70, 1 });
    std::unique_ptr<DataBlock> data(MakeBlock({ channel, 1, content, runs, {} }));
    model.AddData(data.get(), T0, BlockPtr());

    QVERIFY_BLOCK(*block);
    QCOMPARE(block->userData, QVector<UserData*> { stored });
    QCOMPARE(stored->Start, 0);
    QCOMPARE(stored->End, 3);
    if (taken) {
        QCOMPARE(log.last(), QStringLiteral("data %1 append").arg(channel));
        QVERIFY(model.ChannelExists(channel));
        QVERIFY_BLOCK(*model.GetChannelData(channel));
        return;
    }
    QVERIFY(log.isEmpty());
    QVERIFY(!model.ChannelExists(channel) || channel == 2);
    QCOMPARE(Layout(*block), layoutBefore);
    QCOMPARE(block->text, QStringLiteral("abc"));
    QCOMPARE(block->streamPosition, streamBefore);

    // The channel keeps working afterwards.
    model.AddTransmission(Xml(T0, { { 2, 1, "d", { { block->streamPosition, 90, 2 } } } }));
    QVERIFY_BLOCK(*block);
    QVERIFY(block->text.endsWith('d'));
}

void TestIntake::emptyDataBlocksAreSkipped()
{
    DecodedTextData model;
    model.AddTransmission(Xml(T0, { { 2, 1, "abc", { { 0, 90, 0 } } } }));
    QStringList log;
    Record(model, &log);

    model.AddTransmission(Xml(T0,
                              { { 2, 1, QString(), { { 3, 90, 1 } } },
                                { 2, 1, "no stamps", {}, {} },
                                { 3, 1, "xy", { { 0, 80, 1 } } } }));

    QCOMPARE(log, QStringList({ "created 3", "data 3 append" }));
    QCOMPARE(model.GetChannelData(2)->LastBlock()->text, QStringLiteral("abc"));
    QCOMPARE(model.GetChannelData(2)->LastBlock()->streamPosition, 3);
    QCOMPARE(model.GetChannelData(3)->LastBlock()->text, QStringLiteral("xy"));
}

void TestIntake::deliveredAnnotationsOutsideTheTextAreRefused()
{
    DecodedTextData model;
    model.AddTransmission(Xml(T0, { { 2, 1, "abcde", { { 0, 90, 0 } } } }));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    UserData* stored = Note(0, 2, QStringLiteral("kept"));
    block->userData.append(stored);

    // Stream positions 5..9 land at block positions 5..9.
    const QVector<UserData> notes { Comment(6, 8, "good"), Comment(8, 6, "reversed"),
                                    Comment(-40, 6, "before"), Comment(7, 400, "beyond") };
    model.AddTransmission(Xml(T0, { { 2, 1, "fghij", { { 5, 90, 1 } }, notes } }));

    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abcdefghij"));
    QCOMPARE(block->userData.size(), 2);
    QCOMPARE(block->userData.at(0), stored);
    QCOMPARE(block->userData.at(1)->Comment, QStringLiteral("good"));
    QCOMPARE(block->userData.at(1)->Start, 6);
    QCOMPARE(block->userData.at(1)->End, 8);
}

QTEST_GUILESS_MAIN(TestIntake)
#include "tst_intake.moc"
