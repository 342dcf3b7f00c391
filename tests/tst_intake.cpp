#include "blockinvariants.h"
#include "errorhandler.h"
#include "modelfixtures.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace Fixtures;
using VarnoResultDataXml::DataBlock;

namespace {

const QDateTime T1 = T0.addSecs(600);
const QDateTime T2 = T0.addSecs(1200);
const int Limit = VarnoResultDataXml::IVarnoResultData::ValueLimit;

// The trace lines the action writes.
QStringList Traces(const std::function<void()>& action)
{
    QStringList lines;
    const auto previous = ErrorHandler::SetOutputSink([&lines](const QString& line) { lines << line; });
    action();
    ErrorHandler::SetOutputSink(previous);
    return lines;
}

struct Feed {
    QString content;
    QVector<Stamp> stamps;
};
using Feeds = QVector<Feed>;

QString Xml(const QDateTime& start, int channel, const QString& content,
            const QVector<Stamp>& stamps)
{
    return TransmissionXml(start, { { channel, 1, content, stamps } });
}

} // namespace

Q_DECLARE_METATYPE(Feed)

class TestIntake : public QObject {
    Q_OBJECT

private slots:
    void feedsOfOneChannel_data();
    void feedsOfOneChannel();
    void handCheckedTrimHoldOverflowScenario();
    void signalsInOrderAndEndingOnce();
    void endTransmissionHandsOutUserChannel_data();
    void endTransmissionHandsOutUserChannel();
    void offlineEndTrimsAggregation();
    void aggregationBoundedOnline();
    void mappedIntakeFollowsTheMap();
    void brokenXml();
    void refusedDataBlocks_data();
    void refusedDataBlocks();
    void emptyAndBadPiecesAreSkipped();
    void emptyBlockAfterTrimStillRefreshes();
    void blockTakesContentCodeAndDirection();
};

void TestIntake::feedsOfOneChannel_data()
{
    QTest::addColumn<Feeds>("feeds");
    QTest::addColumn<QString>("expected"); // layout | text | stream position
    QTest::addColumn<bool>("refresh");
    const Feed abc { "abc", { { 0, 90, 0 } } };
    const Feed abcdefGhi[]
        = { abc, { "def", { { 3, 80, 1000 } } }, { "ghi", { { 9, 70, 2000 } } } };
    auto resend = [&](const Feed& last) {
        return Feeds { abcdefGhi[0], abcdefGhi[1], abcdefGhi[2], last };
    };
    // clang-format off
    QTest::newRow("each stamp starts a run with its quality")
        << Feeds{{"CQ DE K", {{0, 90, 0}, {3, 40, 1000}, {6, -1, 2000}}}} << "0-3:3q90 3-6:3q40 6-7:1q-1|CQ DE K|7" << false;
    QTest::newRow("equal positions give an empty run") << Feeds{{"abc", {{0, 90, 0}, {0, 50, 1000}}}} << "0-0:0q90 0-3:3q50|abc|3" << false;
    QTest::newRow("first position past zero opens with a one-line gap") << Feeds{{"abc", {{5, 90, 0}}}} << "g0-5:1 5-8:3q90|\nabc|8" << false;
    QTest::newRow("last stamp two past the content pads two question marks")
        << Feeds{{"ab", {{0, 90, 0}, {4, 60, 1000}}}} << "0-4:4q90 4-4:0q60|ab??|4" << false;
    QTest::newRow("last stamp at the content end needs no padding")
        << Feeds{{"ab", {{0, 90, 0}, {2, 60, 1000}}}} << "0-2:2q90 2-2:0q60|ab|2" << false;
    QTest::newRow("follow-up where the stream ended continues the runs")
        << Feeds{abc, {"def", {{3, 80, 1000}}}} << "0-3:3q90 3-6:3q80|abcdef|6" << false;
    QTest::newRow("three lost characters become a gap with an empty line")
        << Feeds{abc, {"def", {{6, 80, 1000}}}} << "0-3:3q90 g3-6:2 6-9:3q80|abc\n\ndef|9" << false;
    QTest::newRow("after a line break one separator line is enough")
        << Feeds{{"ab\n", {{0, 90, 0}}}, {"de", {{6, 80, 1000}}}} << "0-3:3q90 g3-6:1 6-8:2q80|ab\n\nde|8" << false;
    QTest::newRow("new text ending in a line break needs one separator line")
        << Feeds{abc, {"de\n", {{6, 80, 1000}}}} << "0-3:3q90 g3-6:1 6-9:3q80|abc\nde\n|9" << false;
    QTest::newRow("resend inside a run drops that run whole") << resend({"XY", {{4, 50, 3000}}}) << "0-3:3q90 3-5:2q50|abcXY|6" << true;
    QTest::newRow("resend into the gap drops the gap") << resend({"Z", {{7, 50, 3000}}}) << "0-3:3q90 3-6:3q80 6-7:1q50|abcdefZ|8" << true;
    QTest::newRow("resend of the last run keeps the gap before it")
        << resend({"GHI!", {{9, 50, 3000}}}) << "0-3:3q90 3-6:3q80 g6-9:2 9-13:4q50|abcdef\n\nGHI!|13" << true;
    QTest::newRow("resend from zero replaces everything") << resend({"new", {{0, 50, 3000}}}) << "0-3:3q50|new|3" << true;
    // clang-format on
}

void TestIntake::feedsOfOneChannel()
{
    QFETCH(Feeds, feeds);
    QFETCH(bool, refresh);
    DecodedTextData model;
    for (int k = 0; k + 1 < feeds.size(); ++k)
        model.AddTransmission(Xml(T0, 2, feeds.at(k).content, feeds.at(k).stamps));
    BlockPtr block = model.GetChannelData(2)->LastBlock();
    UserData* stored = Note(UserData::CommentType, 9, 12);
    if (block)
        block->userData.append(stored);
    QSignalSpy data(&model, &DecodedTextData::DataChanged);

    model.AddTransmission(Xml(T0, 2, feeds.last().content, feeds.last().stamps));

    QCOMPARE(QList<QVariantList>(data), QList<QVariantList>({ { 2, refresh } }));
    QCOMPARE(model.GetChannelData(2)->blocks.size(), 1);
    if (!block) {
        block = model.GetChannelData(2)->LastBlock();
        delete stored;
    } else {
        // Truncation leaves annotations where they were.
        QVERIFY(block->userData == QVector<UserData*> { stored } && Ranges(*block) == "9-12");
    }
    QVERIFY_BLOCK(*block);
    QTEST(QStringLiteral("%1|%2|%3").arg(Layout(*block), block->text).arg(block->streamPosition),
          "expected");
    QCOMPARE(block->snippets.last().timestamp, T0.addMSecs(feeds.last().stamps.last().ms));
    QVERIFY(block->timestamp == T0 && block->changed && !block->closed);
}

void TestIntake::handCheckedTrimHoldOverflowScenario()
{
    // Pieces of 300 letters into a buffer of 1000; the figures were worked out by hand.
    DecodedTextData model;
    model.SetBufferSize(1000);
    QStringList log;
    Record(model, &log);
    auto letters = [](int k) { return QString(300, QChar('a' + k - 1)); };
    auto feed = [&](int channel, int k, int position) {
        model.AddTransmission(Xml(T0, channel, letters(k), { { position, 90, k } }));
    };

    // Without hold the limit is 1100: before piece 5 the cut lies inside the first run, so
    // nothing goes; before piece 6 the first run goes and a gap stands for it.
    for (int k = 1; k <= 6; ++k)
        feed(3, k, (k - 1) * 300);
    const BlockPtr free = model.GetChannelData(3)->LastBlock();
    QVERIFY_BLOCK(*free);
    QCOMPARE(Layout(*free).section(' ', 0, 1) + ' ' + QString::number(free->text.size()),
             QStringLiteral("g0-300:1 300-600:300q90 1501"));
    QCOMPARE(log.mid(4), QStringList({ "data 3 append", "data 3 append", "data 3 refresh" }));

    // With hold the limit is 1500: the seventh piece overflows and only its positions stay (as
    // a gap), the eighth is dropped without a signal, the host told by a trace.
    log.clear();
    const auto held = model.GetChannelData(4);
    held->hold = true;
    const QStringList traces = Traces([&] {
        for (int k = 1; k <= 8; ++k)
            feed(4, k, (k - 1) * 300);
    });
    QVERIFY(held->overflow);
    QCOMPARE(traces.size(), 1);
    QVERIFY(traces.first().endsWith("data block 1 of channel 4 dropped: the channel is held over its limit"));
    const BlockPtr block = held->LastBlock();
    QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(block->text.size())
                 .arg(Layout(*block).section(' ', 6)).arg(block->streamPosition).arg(log.size()),
             QStringLiteral("1802 g1800-2100:2 1800 8"));

    // Released: the next piece clears the mark and is taken untrimmed (the gap grows to 2700),
    // the one after trims with excess 1102, removing the first three runs.
    held->hold = false;
    feed(4, 9, 2400);
    QVERIFY(!held->overflow);
    QCOMPARE(block->text.size(), 2102);
    feed(4, 10, 2700);
    QVERIFY_BLOCK(*block);
    QCOMPARE(Layout(*block),
             QStringLiteral("g0-900:1 900-1200:300q90 1200-1500:300q90 1500-1800:300q90 "
                            "g1800-2700:2 2700-3000:300q90 3000-3300:300q90"));
    QCOMPARE(log.last(), QStringLiteral("data 4 refresh"));
}

void TestIntake::signalsInOrderAndEndingOnce()
{
    DecodedTextData model;
    QStringList log;
    Record(model, &log);
    model.AddTransmission(TransmissionXml(T0,
                                          { { 5, 1, "abc", { { 0, 90, 0 } } },
                                            { 6, 1, "xyz", { { 0, 90, 0 } } },
                                            { 5, 1, "d", { { 3, 90, 1000 } } } }));
    model.AddTransmission(TransmissionXml(T0, {}));
    QVERIFY(model.GetChannelData(5)->LastBlock()->closed);
    // Ending twice says nothing the second time, nor does a channel without blocks; a closed
    // block still takes text for its key.
    model.GetChannelData(7);
    model.EndTransmission();
    model.AddTransmission(Xml(T0, 5, "e", { { 4, 90, 2000 } }));
    model.EndTransmission();
    QCOMPARE(log,
             QStringList({ "created 5", "data 5 append", "created 6", "data 6 append",
                           "data 5 append", "end 5", "end 6", "created 7", "data 5 append" }));
    QCOMPARE(model.GetChannelData(5)->LastBlock()->text, QStringLiteral("abcde"));
}

void TestIntake::endTransmissionHandsOutUserChannel_data()
{
    for (const char* column : { "typed", "offline", "enabled", "saved" })
        QTest::addColumn<bool>(column);
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
    model.AddTransmission(TransmissionXml(
        T0, { { DecodedTextData::UserChannelID, 4, "ignored", { { 0, 90, 0 } } } }));
    const auto buffer = model.GetChannelData(DecodedTextData::UserChannelID);
    const BlockPtr first = buffer->LastBlock();
    QVERIFY(first->id == 4 && first->text.isEmpty());
    if (typed) {
        AddRun(*first, QStringLiteral("hi "), 100);
        first->snippets.last().flags = SnippetEdited;
    }
    QSignalSpy saved(&model, &DecodedTextData::SaveUserData);
    QSignalSpy data(&model, &DecodedTextData::DataChanged);

    model.EndTransmission();

    QVERIFY(first->closed);
    QTEST(saved.count() == 1, "saved");
    if (saved.count() == 1) {
        DataBlock sent;
        QVERIFY(sent.SetXmlString(saved.at(0).at(1).toString()));
        QCOMPARE(sent.GetContent(), QStringLiteral("hi "));
    }
    QCOMPARE(data.last(), (QVariantList { DecodedTextData::UserChannelID, true }));
    // Only the newest block survives (and only with text); a fresh one takes the next edits.
    QCOMPARE(buffer->blocks.size(), typed ? 2 : 1);
    QVERIFY(buffer->LastBlock()->id == 5 && buffer->LastBlock()->timestamp == T2
            && !buffer->LastBlock()->closed);
}

void TestIntake::offlineEndTrimsAggregation()
{
    // Twelve runs of 100: offline the end trims to 1000 whatever the buffer size, cutting at
    // index 200; online the aggregation channel just ends.
    for (bool offline : { true, false }) {
        DecodedTextData model;
        model.SetOffline(offline);
        for (int k = 0; k < 12; ++k)
            model.AddTransmission(Xml(T0, 0, QString(100, QChar('a' + k)), { { k * 100, 90, k } }));
        const BlockPtr block = model.GetChannelData(0)->LastBlock();
        QStringList log;
        Record(model, &log);
        model.EndTransmission();
        QCOMPARE(log, QStringList(offline ? "data 0 refresh" : "end 0"));
        QVERIFY_BLOCK(*block);
        QCOMPARE(QStringLiteral("%1 %2").arg(block->text.size()).arg(block->snippets.first().end),
                 QString(offline ? "1001 200" : "1200 100"));
    }
}

// Online, the merged channel is bounded before every merge as each channel is before its
// intake, with the same margin and hold; offline only the end of a transmission trims it.
void TestIntake::aggregationBoundedOnline()
{
    for (const QString mode : { "online", "held", "offline" }) {
        DecodedTextData model;
        model.SetBufferSize(1000);
        model.SetOffline(mode == "offline");
        QStringList log;
        Record(model, &log);
        QVector<int> used;
        for (int k = 0; k < 30; ++k) {
            if (k == 20)
                model.GetChannelData(0)->hold = mode == "held";
            model.AddTransmission({ { 2, 2 }, { 3, 3 } }, used,
                                  Xml(T0, 2 + k % 2, QString(100, QChar('a' + k % 26)), { { k / 2 * 100, 90, k } }));
        }
        const BlockPtr block = model.GetChannelData(0)->LastBlock();
        QVERIFY_BLOCK(*block);
        // Online trimmed to its limit before the last run of 100 came in, a gap line leading it;
        // held, it is only marked once over the larger limit; offline it keeps everything.
        const int size = block->text.size();
        QVERIFY2(mode == "online" ? size <= 1201 && size > 1000 : mode == "held" ? size > 1500 : size == 3000,
                 qPrintable(QStringLiteral("%1: %2").arg(mode).arg(size)));
        QCOMPARE(log.contains("data 0 refresh"), mode != "offline");
        QCOMPARE(model.GetChannelData(0)->overflow, mode == "held");
    }
}

void TestIntake::mappedIntakeFollowsTheMap()
{
    DecodedTextData model;
    QStringList log;
    Record(model, &log);
    QVector<int> used { 9 };
    const QMap<int, int> map { { 3, 5 }, { 4, -1 }, { 6, DecodedTextData::AggregationChannelID } };
    model.AddTransmission(map, used, TransmissionXml(T0, {}));
    QVERIFY(log.isEmpty());

    const QStringList traces = Traces([&] {
        model.AddTransmission(map, used,
                              TransmissionXml(T0, { { 3, 1, "abc", { { 0, 90, 0 } } },
                                                    { 4, 1, "no", { { 0, 90, 0 } } },
                                                    { 7, 1, "unmapped", { { 0, 90, 0 } } },
                                                    { 6, 1, "self", { { 0, 90, 0 } } },
                                                    { 3, 2, "def", { { 0, 90, 1000 } } } }));
    });
    QCOMPARE(used, (QVector<int> { 9, 3 }));
    // Left out by the map is the host's choice; mapped onto the merge itself is an error.
    QCOMPARE(traces.size(), 1);
    QVERIFY(traces.first().endsWith("data block 1 of channel 6 refused: mapped onto the aggregation channel"));
    for (int absent : { 3, 4, 6, 7 })
        QVERIFY2(!model.ChannelExists(absent), qPrintable(QString::number(absent)));
    const auto target = model.GetChannelData(5);
    QCOMPARE(target->blocks.size(), 2);
    // Channel blocks are closed right after their merge; only the aggregation block stays open.
    QVERIFY(target->blocks.at(1)->text == "def" && target->blocks.at(0)->closed
            && target->blocks.at(1)->closed);
    const auto aggregation = model.GetChannelData(DecodedTextData::AggregationChannelID);
    QCOMPARE(log.mid(0, 3), QStringList({ "created 0", "created 5", "data 5 append" }));

    // An empty transmission ends nothing here; a later one after the end opens a new block.
    model.AddTransmission(map, used, QString());
    QVERIFY(!aggregation->LastBlock()->closed);
    model.EndTransmission();
    QCOMPARE(log.last(), QStringLiteral("end 0"));
    model.AddTransmission(map, used,
                          TransmissionXml(T2, { { 3, 1, "c", { { 0, 90, 1200000 } } } }));
    QVERIFY(aggregation->blocks.size() == 2 && aggregation->LastBlock()->id == 2
            && aggregation->LastBlock()->timestamp == T2);
}

void TestIntake::brokenXml()
{
    for (const QString& xml : { QStringLiteral("this is not a document"),
                                Xml(T0, 2, "more", { { 3, 90, 1 } }).left(60) }) {
        DecodedTextData model;
        model.AddTransmission(Xml(T0, 2, "abc", { { 0, 90, 0 } }));
        const BlockPtr block = model.GetChannelData(2)->LastBlock();
        QStringList log;
        Record(model, &log);
        // Mapped, a document that does not parse is ignored; plain, it reads as an empty
        // transmission, which ends the transmission.
        QVector<int> used;
        model.AddTransmission(QMap<int, int> { { 2, 2 } }, used, xml);
        QVERIFY(log.isEmpty() && used.isEmpty() && !block->closed);
        model.AddTransmission(xml);
        QCOMPARE(log, QStringList({ "end 2" }));
        QCOMPARE(block->text, QStringLiteral("abc"));
    }
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
    QTest::newRow("stamps out of order") << 2 << "defg" << P{3, 6, 5} << -1 << false;
    QTest::newRow("negative stream position") << 2 << "def" << P{-4} << -1 << false;
    QTest::newRow("text running past the document limit") << 2 << "def" << P{Limit - 1} << -1 << false;
    QTest::newRow("stamps promising millions of lost characters") << 2 << "d" << P{3, 3 + 5000000} << -1 << false;
    QTest::newRow("a few promised characters are padded") << 2 << "d" << P{3, 8} << -1 << true;
    QTest::newRow("a new channel is padded up to its second stamp") << 4 << "x" << P{0, 5000} << -1 << true;
    QTest::newRow("padding up to the buffer size and its tenth is taken") << 2 << "d" << P{3, 11004} << -1 << true;
    QTest::newRow("padding one past what the buffer holds is refused") << 2 << "d" << P{3, 11005} << -1 << false;
    QTest::newRow("gap would carry the block past the limit") << 2 << "ab" << P{Limit - 2} << 0 << false;
    QTest::newRow("far gap within the limit is taken") << 2 << "ab" << P{Limit - 2} << -1 << true;
    QTest::newRow("negative channel") << -3 << "def" << P{0} << -1 << false;
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
    model.AddTransmission(Xml(T0, 2, "abc", { { 0, 90, 0 } }));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    if (stream >= 0)
        block->streamPosition = stream;
    const int streamBefore = block->streamPosition;
    QStringList log;
    Record(model, &log);

    // Straight into AddData: values beyond what a document may carry never parse from XML.
    QVector<Stamp> stamps;
    for (int p : positions)
        stamps.append({ p, 70, 1000 });
    std::unique_ptr<DataBlock> data(MakeDataBlock({ channel, 1, content, stamps }));
    const QStringList traces = Traces([&] { model.AddData(data.get(), T0, BlockPtr()); });

    QVERIFY_BLOCK(*block);
    if (taken) {
        QVERIFY(traces.isEmpty());
        QCOMPARE(log.last(), QStringLiteral("data %1 append").arg(channel));
        QVERIFY_BLOCK(*model.GetChannelData(channel));
        QCOMPARE(model.GetChannelData(channel)->LastBlock()->streamPosition,
                 qMax(positions.last(), positions.first() + content.size()));
        return;
    }
    // The host hears of every refusal, with the block and the channel.
    QCOMPARE(traces.size(), 1);
    QVERIFY2(traces.first().contains(QStringLiteral("data block 1 of channel %1 refused: ").arg(channel)),
             qPrintable(traces.first()));
    QVERIFY(log.isEmpty() && (!model.ChannelExists(channel) || channel == 2));
    QCOMPARE(Layout(*block), QStringLiteral("0-3:3q90"));
    QCOMPARE(block->streamPosition, streamBefore);
}

void TestIntake::emptyAndBadPiecesAreSkipped()
{
    DecodedTextData model;
    model.AddTransmission(Xml(T0, 2, "abcde", { { 0, 90, 0 } }));
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    QStringList log;
    Record(model, &log);
    // Stream positions 5..9 are block positions 5..9 here. Delivered annotations are moved into
    // the block's text; only a reversed one cannot be placed.
    auto comment = [](int start, int end) {
        const std::unique_ptr<UserData> note(Note(UserData::CommentType, start, end));
        return *note;
    };
    const QVector<UserData> notes { comment(6, 8), comment(8, 6), comment(-40, 6),
                                    comment(7, 400), comment(30, 31) };
    const QStringList traces = Traces([&] {
        model.AddTransmission(TransmissionXml(T0,
                                              { { 2, 1, QString(), { { 5, 90, 1000 } } },
                                                { 2, 1, "no stamps", {}, { comment(0, 1) } },
                                                { 3, 1, "xy", { { 0, 80, 1000 } } },
                                                { 2, 1, "fghij", { { 5, 90, 1000 } }, notes } }));
    });
    QCOMPARE(log, QStringList({ "created 3", "data 3 append", "data 2 append" }));
    QCOMPARE(block->text + ' ' + Ranges(*block), QStringLiteral("abcdefghij 6-8 0-6 7-10 9-10"));
    // Empty pieces are no error, unless annotations are lost with them; the reversed one is.
    QCOMPARE(traces.size(), 2);
    QVERIFY(traces.at(0).endsWith("1 annotations of data block 1 of channel 2 refused: the block carries no text"));
    QVERIFY(traces.at(1).endsWith("annotation Comment [8, 6) of data block 1 of channel 2 refused: it ends before it starts"));
}

// The trim in front of a block without text changed the channel all the same.
void TestIntake::emptyBlockAfterTrimStillRefreshes()
{
    DecodedTextData model;
    model.SetBufferSize(1000);
    QVector<Stamp> runs;
    for (int p = 0; p < 1000; p += 100)
        runs.append({ p, 90, 0 });
    model.AddTransmission(Xml(T0, 2, QString(1000, 'x'), runs));
    model.AddTransmission(Xml(T1, 2, QString(150, 'y'), { { 1000, 90, 0 } }));
    QStringList log;
    Record(model, &log);
    model.AddTransmission(Xml(T2, 2, QString(), { { 1150, 90, 0 } }));
    QCOMPARE(log, QStringList({ "data 2 refresh" }));
    QCOMPARE(model.GetChannelData(2)->FirstBlock()->text.count('x'), 900);
}

void TestIntake::blockTakesContentCodeAndDirection()
{
    DecodedTextData model;
    std::unique_ptr<DataBlock> data(MakeDataBlock({ 2, 1, "abc", { { 0, 90, 0 } } }));
    data->SetContentCode(QStringLiteral("LAT"));
    data->SetContentDirectionRTL(true);
    model.AddData(data.get(), T0, BlockPtr());
    const BlockPtr block = model.GetChannelData(2)->LastBlock();
    QCOMPARE(block->contentCode + (block->rightToLeft ? " rtl" : " ltr"), QStringLiteral("LAT rtl"));
}

QTEST_GUILESS_MAIN(TestIntake)
#include "tst_intake.moc"
