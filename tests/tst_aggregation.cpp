// The merge of mapped channels into the aggregation channel: block operations on hand-built
// blocks, scenarios through the mapped intake, and randomised sequences checked against the
// properties the merged text must have.

#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

using namespace Fixtures;
using namespace VarnoResultDataXml;

namespace {

// One run per word: <channel>@<second>:<text> for data ('~' a line break),
// <channel>@<second>/<width>:<text> for a gap.
BlockPtr Build(const QString& layout)
{
    BlockPtr block(new DecodedTextBlock(0, 1, T0));
    for (QString word : layout.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString head = word.section(':', 0, 0);
        const QString text = word.section(':', 1).replace('~', '\n');
        const qint64 ms = 1000 * head.section('@', 1).section('/', 0, 0).toInt();
        if (head.contains('/'))
            AddGap(*block, head.section('/', 1).toInt(), text, ms);
        else
            AddRun(*block, text, 0, ms);
        block->snippets.last().sourceChannel = head.section('@', 0, 0).toInt();
        block->snippets.last().sourcePosition = block->snippets.last().start;
    }
    return block;
}

// "channel:text" per run, line breaks shown as '~'.
QString Runs(const DecodedTextBlock& block)
{
    QStringList out;
    int index = 0;
    for (const DecodedTextSnippet& s : block.snippets) {
        out << QStringLiteral("%1:%2").arg(s.sourceChannel).arg(block.text.mid(index, s.length));
        index += s.length;
    }
    return out.join(' ').replace('\n', '~');
}

// "start:channel:callsign" of every call sign, in list order.
QString Marks(const DecodedTextBlock& block)
{
    QStringList out;
    for (const UserData* u : block.userData)
        if (u->Type == UserData::CallSignType)
            out << QStringLiteral("%1:%2:%3").arg(u->Start).arg(u->Channel).arg(u->CallSign);
    return out.join(' ');
}

// "c4-6" a comment over [4, 6), "s4-6" an operator's call sign; kept in order of Start.
void AddAnnotations(DecodedTextBlock& block, const QString& ranges)
{
    for (const QString& range : ranges.split(' ', Qt::SkipEmptyParts)) {
        UserData* u = Note(range.startsWith('s') ? UserData::CallSignType : UserData::CommentType,
                           range.mid(1).section('-', 0, 0).toInt(), range.section('-', 1).toInt(),
                           QString());
        int at = block.userData.size();
        while (at > 0 && block.userData.at(at - 1)->Start > u->Start)
            --at;
        block.userData.insert(at, u);
    }
}

QString Flagged(const DecodedTextBlock& block, int flag)
{
    QStringList out;
    for (int k = 0; k < block.snippets.size(); ++k)
        if (block.snippets.at(k).flags & flag)
            out << QString::number(k);
    return out.join(' ');
}

struct Run {
    qint64 ms;
    QString text;
    int quality = 70;
};

// Sends data blocks through the mapped intake (channels 1 to 3 onto themselves), continuing
// each channel's stream where it ended unless a position is given.
struct Feeder {
    Feeder(DecodedTextData& model, const QDateTime& start = T0) : model(model), start(start) { }
    void Send(int channel, const QVector<Run>& runs, int position = -1)
    {
        Piece piece { channel, 1, QString(), {} };
        int at = position < 0 ? next.value(channel) : position;
        for (const Run& run : runs) {
            piece.stamps.append({ at, run.quality, run.ms });
            piece.content += run.text;
            at += run.text.size();
        }
        next[channel] = at;
        model.AddTransmission(map, used, TransmissionXml(start, { piece }));
    }
    BlockPtr Aggregation() const { return model.GetChannelData(0)->LastBlock(); }

    DecodedTextData& model;
    QDateTime start;
    QMap<int, int> map { { 1, 1 }, { 2, 2 }, { 3, 3 } };
    QVector<int> used;
    QMap<int, int> next;
};

// What the merged text must satisfy whatever the order of arrival: runs in time order; each
// channel's runs, in order and without the separator, give that channel's text; one channel
// mark at the first visible character of every run whose channel differs from the one of the
// visible run before it and none elsewhere; the separator exactly in front of changes whose
// visible text starts at the run's start and that do not follow a gap.
QString CheckProperties(DecodedTextData& model, const QString& separator)
{
    const BlockPtr agg = model.GetChannelData(0)->LastBlock();
    const QString problem = BlockInvariants::Check(*agg);
    if (!problem.isEmpty())
        return problem;
    QMultiMap<int, const UserData*> signs;
    for (const UserData* u : agg->userData)
        if (u->Type == UserData::CallSignType)
            signs.insert(u->Start, u);
    QMap<int, QString> merged;
    QMap<int, int> lastPosition;
    int previousChannel = -1, changes = 0, index = 0;
    for (int k = 0; k < agg->snippets.size(); ++k) {
        const DecodedTextSnippet& s = agg->snippets.at(k);
        const auto where = [&](const QString& what) {
            return QStringLiteral("run %1 of '%2': %3").arg(k).arg(Runs(*agg), what);
        };
        QString text = agg->text.mid(index, s.length);
        index += s.length;
        if (k > 0 && s.timestamp < agg->snippets.at(k - 1).timestamp)
            return where("earlier than the run before it");
        if (s.flags & SnippetStale)
            return where("still stale");
        if (lastPosition.contains(s.sourceChannel)
            && s.sourcePosition <= lastPosition.value(s.sourceChannel))
            return where("out of its channel's order");
        lastPosition[s.sourceChannel] = s.sourcePosition;
        const bool inserted = (s.flags & SnippetSeparatorInserted) != 0;
        if (inserted && (separator.isEmpty() || !text.startsWith(separator)))
            return where("separator flagged but not in the text");
        if (inserted)
            text.remove(0, separator.size());
        merged[s.sourceChannel] += text;

        static const QRegularExpression notBreak(QStringLiteral("[^\n]"));
        const int visible = text.indexOf(notBreak);
        const bool change = visible >= 0 && s.sourceChannel != previousChannel;
        const bool wanted
            = change && k > 0 && visible == 0 && !(agg->snippets.at(k - 1).flags & SnippetGap);
        if (change)
            previousChannel = s.sourceChannel;
        if (bool(s.flags & SnippetSeparatorWanted) != wanted
            || inserted != (wanted && !separator.isEmpty()))
            return where("separator flags are wrong");
        if (bool(s.flags & SnippetChannelMark) != change)
            return where("channel mark flag is wrong");
        int marks = 0;
        for (auto it = signs.lowerBound(s.start); it != signs.end() && it.key() < s.end;
             ++it, ++marks) {
            const UserData* u = it.value();
            const int expected = s.start + visible + (inserted ? separator.size() : 0);
            if (u->Start != expected || u->End != expected + 1 || u->Channel != s.sourceChannel
                || u->CallSign != model.GetChannelNames().value(s.sourceChannel) || u->Modifier != "operator")
                return where(QStringLiteral("mark at %1 of %2 named '%3'")
                                 .arg(u->Start).arg(u->Channel).arg(u->CallSign));
        }
        if (marks != (change ? 1 : 0))
            return where(QStringLiteral("%1 marks").arg(marks));
        changes += change ? 1 : 0;
    }
    if (signs.size() != changes || agg->userDataCount < changes)
        return QStringLiteral("%1 marks, count %2 for %3 changes")
            .arg(signs.size()).arg(agg->userDataCount).arg(changes);
    for (auto it = merged.cbegin(); it != merged.cend(); ++it) {
        const BlockPtr source = model.GetChannelData(it.key())->LastBlock();
        if (!source || source->text != it.value())
            return QStringLiteral("channel %1 merged as '%2'").arg(it.key()).arg(it.value());
    }
    return QString();
}

} // namespace

class TestAggregation : public QObject {
    Q_OBJECT

private slots:
    void init() { qputenv("VX_USER", "operator"); }
    void blockOperations_data();
    void blockOperations();
    void marksAndSeparators_data();
    void marksAndSeparators();
    void partialMarkUpdate();
    void mergeOfOddSources();
    void resendReusesStaleRuns();
    void separatorAndNamesFollowOnlyTheNewestBlock();
    void exportOfAggregationChannel();
    void randomised_data();
    void randomised();
};

// clang-format off
void TestAggregation::blockOperations_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("annotations");
    // "shift <index> <delta> [<end>]" sets the end of run <index> first when given; "replace <piece>"
    // puts a piece as wide as it is long into run 1; "remove <from> <to>" takes annotations out.
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("expected"); // text|spans|annotation ranges
    QTest::newRow("data runs close up behind a grown run") << "1@1:ab 1@1:cde 1@1:f" << "" << "shift 0 2 4" << "abcdef|0-4 4-7 7-8|";
    QTest::newRow("gap keeps its width and moves by delta") << "1@1:ab 1@1/3:~ 1@1:cd" << "" << "shift 0 1 3" << "ab~cd|0-3 3-6 6-8|";
    QTest::newRow("gap behind a run that gave up its positions moves back") << "1@1:ab 1@1:cd 1@1/2:~ 1@1:ef" << "" << "shift 1 -2 2" << "abcd~ef|0-2 2-2 2-4 4-6|";
    QTest::newRow("data follows its predecessor even when delta disagrees") << "1@1:ab 1@1:cd 1@1/2:~" << "" << "shift 0 -2" << "abcd~|0-2 2-4 2-4|";
    QTest::newRow("huge delta saturates instead of wrapping") << "1@1:ab 1@1/3:~" << "" << "shift 0 2147483647" << "ab~|0-2 2147483647-2147483647|";
    QTest::newRow("index before the first run keeps a chained block") << "1@1:ab 1@1:cd" << "" << "shift -1 3" << "abcd|0-2 2-4|";
    QTest::newRow("wider run pushes followers and their annotations") << "1@1:ab 2@2:cd 1@3:ef" << "c0-1 c4-5" << "replace WXYZ" << "abWXYZef|0-2 2-6 6-8|0-1 6-7";
    QTest::newRow("appended run moves an empty annotation at the end along") << "1@1:ab 2@2:" << "c0-1 c2-2" << "replace xyz" << "abxyz|0-2 2-5|0-1 5-5";
    QTest::newRow("appended run drops an annotation reaching past the end") << "1@1:ab 2@2:" << "c0-4" << "replace xyz" << "abxyz|0-2 2-5|";
    // Both ends count; one reaching in from before stays.
    QTest::newRow("annotations starting in a range go") << "1@1:abcdefghijkl" << "c0-1 c1-6 c3-4 c5-9 c9-10 c10-12" << "remove 3 9" << "abcdefghijkl|0-12|0-1 1-6 10-12";
}

void TestAggregation::marksAndSeparators_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("annotations");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("wanted");
    QTest::newRow("operator call sign in the run: no mark, separator still wanted") << "1@1:ab 2@2:cdef" << "s3-5" << "0:1: 3:0:" << "1";
    // An annotation that only touches a range overlaps it.
    QTest::newRow("mark on the last position of the run before") << "1@1:~a 2@2:bc" << "" << "1:1:" << "1";
    QTest::newRow("operator call sign ending where the run starts") << "1@1:~abc 2@2:de" << "s2-4" << "2:0:" << "1";
    QTest::newRow("operator call sign ending before the run") << "1@1:~abc 2@2:de" << "s1-3" << "1:0: 4:2:" << "1";
    QTest::newRow("comments after a call sign reaching into the run") << "1@1:~abc 2@2:defg" << "s2-5 c5-6 c6-7" << "2:0:" << "1";
}
// clang-format on

void TestAggregation::blockOperations()
{
    QFETCH(QString, layout);
    QFETCH(QString, annotations);
    QFETCH(QString, operation);
    const BlockPtr block = Build(layout);
    AddAnnotations(*block, annotations);
    const QStringList op = operation.split(' ');
    if (op.first() == "shift" && op.size() > 3)
        block->snippets[op.at(1).toInt()].end = op.at(3).toInt();
    if (op.first() == "shift")
        block->ShiftFollowing(op.at(1).toInt(), op.at(2).toInt());
    else if (op.first() == "replace")
        block->ReplaceSnippetText(1, 7, 42, op.at(1).size(), false, op.at(1));
    else
        block->RemoveUserDataStartingIn(op.at(1).toInt(), op.at(2).toInt());
    const QString state = QStringLiteral("%1|%2|%3").arg(block->text, Spans(*block), Ranges(*block));
    QTEST(QString(state).replace('\n', '~'), "expected");
    // An index outside the block changes nothing.
    const QString before = block->text + Spans(*block);
    block->ReplaceSnippetText(block->snippets.size(), 1, 0, 9, false, QStringLiteral("nine"));
    block->ReplaceSnippetText(-1, 1, 0, 9, false, QStringLiteral("nine"));
    QCOMPARE(block->text + Spans(*block), before);
}

void TestAggregation::marksAndSeparators()
{
    QFETCH(QString, layout);
    QFETCH(QString, annotations);
    const BlockPtr block = Build(layout);
    AddAnnotations(*block, annotations);
    DecodedTextData model;
    block->UpdateChannelMarks(0, &model);
    QTEST(Marks(*block), "marks");
    QTEST(Flagged(*block, SnippetSeparatorWanted), "wanted");
}

void TestAggregation::partialMarkUpdate()
{
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("ALPHA"));
    model.DefineChannelName(2, QStringLiteral("BRAVO"));
    const BlockPtr block = Build(QStringLiteral("1@1:~ab 2@2:~cd 2@3:~ef 3@4:~~ 1@5:~gh"));
    block->UpdateChannelMarks(0, &model);
    QCOMPARE(Marks(*block), QStringLiteral("1:1:ALPHA 4:2:BRAVO 12:1:ALPHA"));
    QCOMPARE(Flagged(*block, SnippetChannelMark), QStringLiteral("0 1 4"));
    for (const UserData* u : block->userData)
        QVERIFY(u->Modifier == "operator"
                && qAbs(u->ChangeTime.secsTo(QDateTime::currentDateTimeUtc())) < 60);
    // A run joining the channel before it loses its mark, not the operator's call sign beside
    // it; updating from a later run takes the channel of the last mark before it. Taking a
    // mark away leaves the count of marks made.
    block->userData.insert(2, Note(UserData::CallSignType, 4, 5, QStringLiteral("OP")));
    block->snippets[1].sourceChannel = 1;
    block->UpdateChannelMarks(1, &model);
    QCOMPARE(Marks(*block), QStringLiteral("1:1:ALPHA 4:0:OP 7:2:BRAVO 12:1:ALPHA"));
    block->snippets[4].sourceChannel = 2;
    block->UpdateChannelMarks(3, &model);
    QCOMPARE(Marks(*block), QStringLiteral("1:1:ALPHA 4:0:OP 7:2:BRAVO"));
    QCOMPARE(block->userDataCount, 4);
}

void TestAggregation::mergeOfOddSources()
{
    DecodedTextData model;
    bool refresh = false;
    // Nothing usable: only content code and direction are taken over.
    const BlockPtr agg = Build(QStringLiteral("1@1:~xy"));
    const BlockPtr source(new DecodedTextBlock(2, 1, T0));
    source->contentCode = QStringLiteral("LAT");
    source->rightToLeft = true;
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(agg, source, &model, 0, &refresh));
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(agg, BlockPtr(), &model, 0, &refresh));
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(agg, source, &model, -1, nullptr));
    QCOMPARE(agg->contentCode, QStringLiteral("LAT"));
    QVERIFY(agg->rightToLeft && !agg->changed && !refresh);

    // Source positions at the ends of the int range: the run too wide for the position space
    // is left out, the others are laid at the aggregation block's own positions.
    const int low = std::numeric_limits<int>::min(), high = std::numeric_limits<int>::max();
    const struct { const char* text; int start, end; } runs[]
        = { { "ab", low, low + 2 }, { "??", low + 2, high }, { "cde", high - 3, high } };
    for (const auto& run : runs) {
        AddRun(*source, QString::fromLatin1(run.text), 0, 2000);
        source->snippets.last().start = run.start;
        source->snippets.last().end = run.end;
    }
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(agg, source, &model, 0, &refresh));
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg) + ' ' + Spans(*agg), QStringLiteral("1:~xy 2:ab 2:cde 0-3 3-5 5-8"));
    QVERIFY(agg->snippets.at(2).sourcePosition == high - 3 && agg->changed);

    // A map that points a channel at 0 makes the target its own aggregation block.
    const BlockPtr self = Build(QStringLiteral("0@1:ab 0@2:cd 0@3:~ef"));
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(self, self, &model, 1, &refresh));
    QCOMPARE(Runs(*self), QStringLiteral("0:ab 0:cd 0:~ef"));
}

void TestAggregation::resendReusesStaleRuns()
{
    DecodedTextData model;
    Feeder feed { model };
    feed.Send(1, { { 0, "\nCQ CQ" } });
    feed.Send(2, { { 1000, "\nQRZ" } });
    feed.Send(1, { { 2000, "\nDE ALPHA" }, { 3000, "\nPSE K" } });
    BlockPtr agg = feed.Aggregation();
    AddAnnotations(*agg, QStringLiteral("c2-4 c21-23"));
    const int count = agg->userDataCount;
    // Resent from stream position 6 with the same time: the run is filled in place (its new
    // quality ignored), the run after it goes with the comment inside it.
    feed.Send(1, { { 2000, "\nDE ALFA!", 20 } }, 6);
    QCOMPARE(feed.used, (QVector<int> { 1, 2 }));
    agg = feed.Aggregation();
    QCOMPARE(QStringLiteral("%1 q%2 %3 +%4").arg(Runs(*agg)).arg(agg->snippets.at(2).quality)
                 .arg(Ranges(*agg)).arg(agg->userDataCount - count),
             QStringLiteral("1:~CQ CQ 2:~QRZ 1:~DE ALFA! q70 1-2 2-4 7-8 11-12 +0"));
    QCOMPARE(CheckProperties(model, QString()), QString());
    // Resent with a later time, the older runs stay merged.
    feed.Send(1, { { 5000, "\nDE K" } }, 6);
    QCOMPARE(Runs(*feed.Aggregation()), QStringLiteral("1:~CQ CQ 2:~QRZ 1:~DE ALFA! 1:~DE K"));
}

// How marks and separators follow resends and renames is left to the randomised merge.
void TestAggregation::separatorAndNamesFollowOnlyTheNewestBlock()
{
    DecodedTextData model;
    QSignalSpy changed(&model, &DecodedTextData::DataChanged);
    model.DefineChannelName(1, QStringLiteral("DL1ABC"));
    model.SetChannelSeparator(QStringLiteral("\n")); // no aggregation block to rewrite yet
    QVERIFY(model.ChannelExists(0) && changed.isEmpty());
    Feeder feed { model };
    feed.Send(1, { { 0, "CQ CQ" } });
    feed.Send(2, { { 1000, "QRZ" } });
    feed.Send(1, { { 2000, "DE ALPHA" } });
    const BlockPtr agg = feed.Aggregation();
    QCOMPARE(agg->text + ' ' + Marks(*agg), QStringLiteral("CQ CQ\nQRZ\nDE ALPHA 0:1:DL1ABC 6:2: 10:1:DL1ABC"));
    // Channel 2 resends its run as line breaks: channel 1's second run loses mark and separator.
    feed.Send(2, { { 1000, "\n\n\n" } }, 0);
    QCOMPARE(agg->text + ' ' + Marks(*agg), QStringLiteral("CQ CQ\n\n\nDE ALPHA 0:1:DL1ABC"));

    model.EndTransmission();
    Feeder next { model, T0.addSecs(3600) };
    next.Send(1, { { 3600000, "XX" } });
    next.Send(2, { { 3601000, "YY" } });
    changed.clear();
    model.SetChannelSeparator(QString());
    model.SetChannelSeparator(QString()); // the same again is no change
    model.DefineChannelName(1, QStringLiteral("DL9NEW"));
    QCOMPARE(QList<QVariantList>(changed), (QList<QVariantList> { { 0, true } }));
    QCOMPARE(next.Aggregation()->text + ' ' + Marks(*next.Aggregation()), QStringLiteral("XXYY 0:1:DL9NEW 2:2:"));
    QCOMPARE(agg->text + ' ' + Marks(*agg), QStringLiteral("CQ CQ\n\n\nDE ALPHA 0:1:DL1ABC"));
}

void TestAggregation::exportOfAggregationChannel()
{
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("DL1ABC"));
    model.DefineChannelName(2, QStringLiteral("F5XYZ"));
    model.SetChannelSeparator(QStringLiteral("\n"));
    Feeder feed { model };
    feed.Send(1, { { 0, "\nCQ" } });
    feed.Send(1, { { 1000, "DE K" } }, 6); // three characters lost: a gap for positions 3 to 6
    // Channel 2's run of the gap's time goes behind it: a change after a gap wants no
    // separator, the change back to channel 1 does.
    feed.Send(2, { { 0, "QRZ" } });
    const BlockPtr agg = feed.Aggregation();
    QCOMPARE(agg->text + '|' + Spans(*agg),
             QStringLiteral("\nCQ\n\nQRZ\nDE K|0-3 3-6 6-9 9-14"));
    QCOMPARE(CheckProperties(model, QStringLiteral("\n")), QString());

    VarnoResultData document;
    model.GetData(0, document, false);
    const Transmission* transmission = document.GetTransmission().first();
    QCOMPARE(transmission->GetStopTime(), T0.addSecs(1));
    const DataBlock* block = transmission->GetDataBlock().first();
    QVERIFY(block->GetChannel() == 0 && block->GetContent() == agg->text);
    QStringList out;
    for (const auto& stamp : block->GetTimeStamp())
        out << QStringLiteral("%1@%2").arg(stamp.Position).arg(T0.msecsTo(stamp.Time));
    for (const UserData* u : block->GetUserData())
        out << QStringLiteral("%1-%2:%3").arg(u->Start).arg(u->End).arg(u->CallSign);
    QCOMPARE(out.join(' '), QStringLiteral("0@0 3@0 5@0 8@1000 1-2:DL1ABC 5-6:F5XYZ 9-10:DL1ABC"));
    QVERIFY(!agg->changed);
}

void TestAggregation::randomised_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<uint>("seed");
    // Without a separator every run starts with a line break, so no mark sits on a run's first
    // position; with one, runs also start with visible text, but nothing is resent or lost and
    // channel 1 opens the block, so no run is ever put in front of a mark on its first position.
    QTest::newRow("no separator, resends and lost characters") << QString() << 20240301u;
    QTest::newRow("separator switched off and on now and then") << QStringLiteral("\n") << 4711u;
}

void TestAggregation::randomised()
{
    // Three channels, in random order with times that collide across channels, runs of line
    // breaks, and an unmapped channel.
    QFETCH(QString, separator);
    QFETCH(uint, seed);
    const bool visibleStarts = !separator.isEmpty();
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("ALPHA"));
    model.SetChannelSeparator(separator);
    Feeder feed { model };
    feed.map.insert(7, -1);
    if (visibleStarts)
        feed.Send(1, { { 0, "VVV DE ALPHA" } });
    QRandomGenerator rng(seed);
    QHash<int, QVector<QPair<int, QVector<Run>>>> sent;
    QHash<int, qint64> clock;
    auto letter = [&rng] { return QLatin1Char("ABCDEFGH KLM"[rng.bounded(12)]); };
    // An append leaves the text before it as it was and takes no mark back; anything else must
    // be announced as a refresh.
    bool refreshed = false;
    connect(&model, &DecodedTextData::DataChanged, this, [&refreshed](int c, bool r) { refreshed = refreshed || (c == 0 && r); });
    for (int step = 0; step < 400; ++step) {
        const BlockPtr agg = model.GetChannelData(0)->LastBlock();
        const QString before = agg ? agg->text : QString();
        const int marksMade = agg ? agg->userDataCount : 0;
        refreshed = false;
        const int channel = 1 + rng.bounded(3);
        const int action = rng.bounded(20);
        if (step == 200)
            model.DefineChannelName(3, QStringLiteral("CHARLIE"));
        if (action == 0) {
            feed.Send(7, { { clock.value(1), "\nIGNORED" } });
        } else if (action < 3 && !visibleStarts && !sent.value(channel).isEmpty()) {
            // Every data block from a random one on again, new letters in the same places.
            auto& blocks = sent[channel];
            for (int b = rng.bounded(blocks.size()); b < blocks.size(); ++b) {
                for (Run& run : blocks[b].second) {
                    for (QChar& c : run.text)
                        c = c == '\n' ? c : QChar(letter());
                }
                feed.Send(channel, blocks.at(b).second, blocks.at(b).first);
            }
        } else {
            QVector<Run> runs;
            for (int r = 1 + rng.bounded(3); r > 0; --r) {
                clock[channel] += visibleStarts ? 500 + 500 * rng.bounded(3) : 500 * rng.bounded(4);
                const int shape = rng.bounded(8);
                QString text = shape == 0 ? QString(1 + rng.bounded(3), '\n')
                                          : QString(shape < 5 || !visibleStarts ? "\n" : "");
                for (int k = shape == 0 ? 0 : 2 + rng.bounded(6); k > 0; --k)
                    text += letter();
                runs.append({ clock.value(channel), text, int(rng.bounded(101)) });
            }
            int position = feed.next.value(channel);
            if (action == 3 && !visibleStarts && position > 0)
                position += 1 + rng.bounded(4);
            sent[channel].append({ position, runs });
            feed.Send(channel, runs, position);
        }
        const QString at = QStringLiteral("seed %1 step %2: ").arg(seed).arg(step);
        QVERIFY2(refreshed || feed.Aggregation()->text.startsWith(before), qPrintable(at + "changed without a refresh"));
        QVERIFY2(feed.Aggregation()->userDataCount >= marksMade, qPrintable(at + "count of marks made went down"));
        if (!separator.isEmpty() && step % 50 == 49) {
            model.SetChannelSeparator(QString());
            QCOMPARE(CheckProperties(model, QString()), QString());
            model.SetChannelSeparator(separator);
        }
        const QString problem = CheckProperties(model, separator);
        QVERIFY2(problem.isEmpty(), qPrintable(at + problem));
    }
    QVERIFY(feed.Aggregation()->snippets.size() > 300);
    QVERIFY(!model.ChannelExists(7));
}

QTEST_GUILESS_MAIN(TestAggregation)
#include "tst_aggregation.moc"
