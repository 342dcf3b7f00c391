#include "blockinvariants.h"
#include "errorhandler.h"
#include "modelfixtures.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <numeric>

using namespace Fixtures;
using VarnoResultDataXml::DataBlock;

namespace {

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

QString Xml(const QDateTime& start, int channel, const QString& content,
            const QVector<Stamp>& stamps)
{
    return TransmissionXml(start, { { channel, 1, content, stamps } });
}

// What one channel must hold after a sequence of pieces, written out run by run: the next
// piece continues at the block's end, lost stream positions become a gap of line breaks, a
// resend drops the run it lands in and all after it, missing characters are padded with '?',
// and before each piece the block is trimmed to its limit (held: only marked, then overflowing
// pieces keep just their positions and later ones are dropped).
struct Reference {
    struct Run { int start, end; QString text; bool gap; int quality; QDateTime time; };
    QVector<Run> runs;
    int stream = 0, size = 1000;
    bool hold = false, overflow = false, emptyBlock = false;
    QStringList heard;

    int End() const { return runs.isEmpty() ? 0 : runs.last().end; }
    QString Text() const
    {
        return std::accumulate(runs.begin(), runs.end(), QString(),
                               [](QString t, const Run& r) { return t + r.text; });
    }
    void AppendGap(int width, const QString& following)
    {
        if (!runs.isEmpty() && runs.last().gap) {
            runs.last().end += width;
            return;
        }
        const QString text = Text();
        const bool empty = !following.endsWith('\n') && !text.isEmpty() && !text.endsWith('\n');
        runs.append({ End(), End() + width, empty ? "\n\n" : "\n", true, 0,
                      runs.isEmpty() ? T0 : runs.last().time });
    }
    bool Trim()
    {
        const int length = Text().size();
        if (hold) {
            overflow = overflow || length > size + size / 2;
            return false;
        }
        if (std::exchange(emptyBlock, false))
            return true;
        if (length <= size + size / 10)
            return false;
        int cut = End(), index = length - size;
        for (int k = 0; cut == End() && k < runs.size(); index -= runs.at(k++).text.size())
            cut = runs.at(k).text.size() > index ? runs.at(k).start + index : cut;
        int removed = 0;
        while (!runs.isEmpty() && runs.first().end <= cut)
            removed += runs.takeFirst().text.size();
        if (removed > 0 && !runs.isEmpty())
            runs.prepend({ 0, runs.first().start, "\n", true, 0, T0 });
        return removed > 0;
    }
    void Add(const QString& content, const QVector<Stamp>& stamps)
    {
        const int first = stamps.value(0).position;
        const int padding = stamps.isEmpty() ? 0 : stamps.last().position - first - content.size();
        const auto before = [](const Stamp& a, const Stamp& b) { return a.position < b.position; };
        if (first < 0 || !std::is_sorted(stamps.begin(), stamps.end(), before) || padding > size + size / 10) {
            heard << "refused";
            return;
        }
        if (overflow && hold) {
            heard << (content.isEmpty() ? QStringList() : QStringList("dropped"));
            return;
        }
        const bool released = overflow;
        overflow = false;
        bool refresh = released || Trim();
        const bool skip = overflow;
        if (content.isEmpty() || stamps.isEmpty()) {
            emptyBlock = runs.isEmpty();
            if (refresh && !released)
                heard << "refresh";
            return;
        }
        if (first != stream && first == End())
            stream = first;
        if (first < stream) {
            const int position = End() - stream + first;
            for (int k = 0; k < runs.size(); ++k) {
                if (runs.at(k).start <= position && position < runs.at(k).end) {
                    runs.resize(k);
                    break;
                }
            }
            stream = first;
            refresh = true;
        }
        heard << (refresh ? "refresh" : "append");
        if (skip) {
            AppendGap(content.size(), QString());
            return;
        }
        if (first > stream)
            AppendGap(first - stream, content);
        const int offset = End() - first;
        QString rest = content;
        for (int i = 0; i < stamps.size(); ++i) {
            const int start = stamps.at(i).position + offset;
            const int end = i + 1 < stamps.size() ? stamps.at(i + 1).position + offset
                                                  : qMax(start, offset + first + content.size());
            QString text = rest.left(end - start);
            rest.remove(0, text.size());
            text += QString(end - start - text.size(), '?');
            runs.append({ start, end, text, false, stamps.at(i).quality, T0.addMSecs(stamps.at(i).ms) });
        }
        stream = first + content.size() + qMax(0, padding);
    }
    QString Describe() const
    {
        QStringList out { QString::number(stream), QString::number(overflow) };
        for (const Run& r : runs)
            out << QStringLiteral("%1%2-%3:%4q%5@%6").arg(r.gap ? "g" : "").arg(r.start).arg(r.end)
                       .arg(r.text, QString::number(r.gap ? 0 : r.quality)).arg(T0.msecsTo(r.time));
        return out.join(' ');
    }
};

QString Describe(const DecodedTextBuffer& buffer)
{
    const BlockPtr block = buffer.LastBlock();
    QStringList out { QString::number(block ? block->streamPosition : 0), QString::number(buffer.overflow) };
    for (int k = 0, index = 0; block && k < block->snippets.size(); index += block->snippets.at(k++).length) {
        const DecodedTextSnippet& s = block->snippets.at(k);
        out << QStringLiteral("%1%2-%3:%4q%5@%6").arg(s.flags & SnippetGap ? "g" : "").arg(s.start)
                   .arg(s.end).arg(block->text.mid(index, s.length), QString::number(s.quality))
                   .arg(T0.msecsTo(s.timestamp));
    }
    return out.join(' ');
}

} // namespace

class TestIntake : public QObject {
    Q_OBJECT

private slots:
    void randomFeedsMatchTheReference();
    void signalsInOrderAndEndingOnce();
    void endTransmissionHandsOutUserChannel_data();
    void endTransmissionHandsOutUserChannel();
    void aggregationBoundedOnline();
    void runningNumbersStayWritable_data();
    void runningNumbersStayWritable();
    void mappedIntakeFollowsTheMap();
    void refusedDataBlocks_data();
    void refusedDataBlocks();
    void emptyAndBadPiecesAreSkipped();
};

// Random pieces into one channel of a small buffer: continuations, lost characters, resends,
// padded and empty pieces, several runs a piece, the hold switched on and off, and refused pieces:
// negative or out of order stamps and more padding than the buffer holds.
void TestIntake::randomFeedsMatchTheReference()
{
    for (quint32 seed = 1; seed <= 12; ++seed) {
        QRandomGenerator rng(seed);
        DecodedTextData model;
        model.SetBufferSize(1000);
        Reference plain;
        QStringList heard;
        connect(&model, &DecodedTextData::DataChanged, this,
                [&heard](int, bool refresh) { heard << (refresh ? "refresh" : "append"); });
        // Refusals and drops are heard of by the host, naming block and channel.
        const auto sink = ErrorHandler::SetOutputSink([&heard](const QString& line) {
            heard << line.section(QStringLiteral("data block 1 of channel 2 "), 1).section(':', 0, 0);
        });
        const auto buffer = model.GetChannelData(2);
        for (int step = 0; step < 150; ++step) {
            const int action = rng.bounded(20);
            heard.clear();
            plain.heard.clear();
            if (action == 0 || (plain.hold && action == 1)) {
                buffer->hold = plain.hold = !plain.hold;
                continue;
            }
            int first = plain.stream;
            if (action < 3)
                first += 1 + rng.bounded(60);
            else if (action < 5)
                first = rng.bounded(first + 1);
            else if (action == 7)
                first = -1 - first;
            const QString content = action == 5 ? QString()
                : QString(rng.bounded(250), QChar('a' + step % 26)) + QChar(rng.bounded(3) ? 'z' : '\n');
            QVector<Stamp> stamps { { first, int(rng.bounded(101)), 1000 * step } };
            // Action 8 puts a stamp before the one it follows.
            for (int r = rng.bounded(3) + (action == 8); r > 0; --r)
                stamps.append({ stamps.last().position + (action == 8 ? -1 : int(rng.bounded(content.size() / 2 + 1))),
                                50, 1000 * step + r });
            if (action == 6)
                stamps.append({ first + content.size() + int(rng.bounded(1200)), 40, 1000 * step + 9 });
            model.AddTransmission(Xml(T0, 2, content, stamps));
            plain.Add(content, stamps);
            const QString at = QStringLiteral("seed %1 step %2: ").arg(seed).arg(step);
            QCOMPARE(at + heard.join(',') + ' ' + Describe(*buffer),
                     at + plain.heard.join(',') + ' ' + plain.Describe());
            if (buffer->LastBlock())
                QVERIFY_BLOCK(*buffer->LastBlock());
        }
        ErrorHandler::SetOutputSink(sink);
    }
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
    // A document cut short reads as an empty transmission, which ends the transmission.
    model.AddTransmission(Xml(T0, 5, "more", { { 4, 90, 1 } }).left(60));
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

    model.AddTransmission(TransmissionXml(T2, {}));

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

void TestIntake::runningNumbersStayWritable_data()
{
    // A decoder's data block for the channel opens its block with the decoder's id; the next
    // block of the channel takes the next running number.
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("next");
    const int top = VarnoResultDataXml::IVarnoResultData::ValueLimit;
    QTest::newRow("aggregation after the top id a document carries")
        << int(DecodedTextData::AggregationChannelID) << top << 1;
    QTest::newRow("aggregation just below it") << int(DecodedTextData::AggregationChannelID)
                                               << top - 1 << top;
    QTest::newRow("user channel after the top id")
        << int(DecodedTextData::UserChannelID) << top << 1;
    QTest::newRow("user channel after a negative id")
        << int(DecodedTextData::UserChannelID) << -top << 1 - top;
}

void TestIntake::runningNumbersStayWritable()
{
    QFETCH(int, channel);
    QFETCH(int, id);
    QFETCH(int, next);
    DecodedTextData model;
    model.AddTransmission(TransmissionXml(T0, { { channel, id, "ab", { { 0, 90, 0 } } } }));
    model.EndTransmission();
    QVector<int> used;
    model.AddTransmission({ { 1, 1 } }, used,
                          TransmissionXml(T2, { { 1, 7, "cd", { { 0, 90, 0 } } } }));
    const auto buffer = model.GetChannelData(channel);
    QVERIFY(buffer);
    QCOMPARE(buffer->LastBlock()->id, next);
    // Every block of the channel goes out again.
    VarnoResultDataXml::VarnoResultData document;
    model.GetData(channel, document, false);
    for (const VarnoResultDataXml::Transmission* transmission : document.GetTransmission()) {
        try {
            QVERIFY(!transmission->GetXmlString().isEmpty());
        } catch (const VarnoResultDataXml::VarnoResultDataException& e) {
            QFAIL(qPrintable(e.GetMessage()));
        }
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
        // Offline the end trims it to 1000 whatever the buffer size, cutting at the run that
        // holds index 2000; online it just ends.
        log.clear();
        model.EndTransmission();
        QCOMPARE(log.filter(" 0"), QStringList(mode == "offline" ? "data 0 refresh" : "end 0"));
        QVERIFY_BLOCK(*block);
        if (mode == "offline")
            QCOMPARE(QStringLiteral("%1 %2").arg(block->text.size()).arg(block->snippets.first().end),
                     QStringLiteral("1001 2000"));
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
    QTest::newRow("text running past the document limit") << 2 << "def" << P{Limit - 1} << -1 << false;
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
    data->SetContentCode(QStringLiteral("LAT"));
    data->SetContentDirectionRTL(true);
    const QStringList traces = Traces([&] { model.AddData(data.get(), T0, BlockPtr()); });

    QVERIFY_BLOCK(*block);
    if (taken) {
        QVERIFY(traces.isEmpty());
        QCOMPARE(log.last(), QStringLiteral("data %1 append").arg(channel));
        QVERIFY_BLOCK(*model.GetChannelData(channel));
        const BlockPtr target = model.GetChannelData(channel)->LastBlock();
        QCOMPARE(target->streamPosition, qMax(positions.last(), positions.first() + content.size()));
        // The block takes the content code and direction of its latest piece.
        QCOMPARE(target->contentCode + (target->rightToLeft ? " rtl" : " ltr"), QStringLiteral("LAT rtl"));
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
    QVERIFY(traces.at(1).endsWith(
        "annotation Comment [8, 6) of data block 1 of channel 2 refused: it ends before it starts"));
}

QTEST_GUILESS_MAIN(TestIntake)
#include "tst_intake.moc"
