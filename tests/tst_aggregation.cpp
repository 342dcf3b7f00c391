// The merge of mapped channels into the aggregation channel: the block operations on hand-built
// blocks, scenarios through the mapped intake, and long randomised sequences checked against the
// properties the merged text must have.

#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::Transmission;
using VarnoResultDataXml::UserData;
using VarnoResultDataXml::VarnoResultData;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 3, 1), QTime(10, 0, 0), Qt::UTC);

QDateTime At(qint64 ms)
{
    return T0.addMSecs(ms);
}

// Builds a block from a compact layout, one run per word:
//   <channel>@<second>:<text>            data run, '~' stands for a line break
//   <channel>@<second>/<width>:<text>    gap run covering width positions
// followed by '!' for a stale run or '^' for one with the separator inserted.
BlockPtr Build(const QString& layout, int channel = 0)
{
    BlockPtr block(new DecodedTextBlock(channel, 1, T0));
    int position = 0;
    const QStringList words = layout.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word : words) {
        DecodedTextSnippet s;
        for (; word.endsWith(QLatin1Char('!')) || word.endsWith(QLatin1Char('^')); word.chop(1))
            s.flags |= word.endsWith(QLatin1Char('!')) ? SnippetStale : SnippetSeparatorInserted;
        const int colon = word.indexOf(QLatin1Char(':'));
        const QString head = word.left(colon);
        const QString text = word.mid(colon + 1).replace(QLatin1Char('~'), QLatin1Char('\n'));
        const int at = head.indexOf(QLatin1Char('@'));
        const int slash = head.indexOf(QLatin1Char('/'));
        s.sourceChannel = head.left(at).toInt();
        s.timestamp = At(1000 * head.mid(at + 1, slash < 0 ? -1 : slash - at - 1).toInt());
        s.length = text.size();
        s.start = position;
        s.end = position + (slash < 0 ? text.size() : head.mid(slash + 1).toInt());
        s.sourcePosition = s.start;
        if (slash >= 0)
            s.flags |= SnippetGap;
        position = s.end;
        block->text += text;
        block->snippets.append(s);
    }
    return block;
}

QString Spans(const DecodedTextBlock& block)
{
    QStringList out;
    for (const DecodedTextSnippet& s : block.snippets)
        out << QStringLiteral("%1-%2").arg(s.start).arg(s.end);
    return out.join(QLatin1Char(' '));
}

// "channel:text" per run, line breaks shown as '~'.
QString Runs(const DecodedTextBlock& block)
{
    QStringList out;
    int index = 0;
    for (const DecodedTextSnippet& s : block.snippets) {
        out << QStringLiteral("%1:%2")
                   .arg(s.sourceChannel)
                   .arg(block.text.mid(index, s.length)
                            .replace(QLatin1Char('\n'), QLatin1Char('~')));
        index += s.length;
    }
    return out.join(QLatin1Char(' '));
}

// "start:channel:callsign" of every call sign, in list order.
QString Marks(const DecodedTextBlock& block)
{
    QStringList out;
    for (const UserData* u : block.userData) {
        if (u->Type == UserData::CallSignType)
            out << QStringLiteral("%1:%2:%3").arg(u->Start).arg(u->Channel).arg(u->CallSign);
    }
    return out.join(QLatin1Char(' '));
}

QString Ranges(const DecodedTextBlock& block)
{
    QStringList out;
    for (const UserData* u : block.userData)
        out << QStringLiteral("%1-%2").arg(u->Start).arg(u->End);
    return out.join(QLatin1Char(' '));
}

// "c4-6" a comment over [4, 6), "s4-6" an operator's call sign; kept in order of Start.
void AddAnnotations(DecodedTextBlock& block, const QString& ranges)
{
    for (const QString& range : ranges.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        UserData* u = new UserData;
        u->Type
            = range.startsWith(QLatin1Char('s')) ? UserData::CallSignType : UserData::CommentType;
        u->Start = range.mid(1).section(QLatin1Char('-'), 0, 0).toInt();
        u->End = range.section(QLatin1Char('-'), 1, 1).toInt();
        int at = block.userData.size();
        while (at > 0 && block.userData.at(at - 1)->Start > u->Start)
            --at;
        block.userData.insert(at, u);
    }
}

QString Flagged(const DecodedTextBlock& block, int flag)
{
    QStringList out;
    for (int k = 0; k < block.snippets.size(); ++k) {
        if (block.snippets.at(k).flags & flag)
            out << QString::number(k);
    }
    return out.join(QLatin1Char(' '));
}

struct Run {
    qint64 ms;
    QString text;
    int quality = 70;
};

// Sends data blocks of one transmission through the mapped intake, continuing each channel's
// decoder stream where it ended unless a position is given.
class Feeder {
public:
    Feeder(DecodedTextData& model, const QDateTime& start = T0) : model(model), start(start)
    {
        for (int channel = 1; channel <= 3; ++channel)
            map.insert(channel, channel);
    }

    void Send(int channel, const QVector<Run>& runs, int position = -1)
    {
        if (position < 0)
            position = next.value(channel);
        Transmission transmission;
        transmission.SetStartTime(start);
        transmission.SetStopTime(start);
        DataBlock* block = new DataBlock(channel, 0, 0);
        block->SetID(1);
        for (const Run& run : runs) {
            block->SetTimeStamp(At(run.ms));
            block->BeginFrame();
            block->AppendData(run.text);
            block->EndFrame();
        }
        for (int i = 0; i < runs.size(); ++i) {
            block->GetTimeStamp()[i].Position += position;
            block->GetTimeStamp()[i].Quality = runs.at(i).quality;
        }
        next[channel] = position + block->GetContent().size();
        transmission.AddDataBlock(block);
        model.AddTransmission(map, used, transmission.GetXmlString());
    }

    BlockPtr Aggregation() const { return model.GetChannelData(0)->LastBlock(); }

    DecodedTextData& model;
    QDateTime start;
    QMap<int, int> map;
    QVector<int> used;
    QMap<int, int> next;
};

int FirstVisible(const QString& text)
{
    for (int k = 0; k < text.size(); ++k) {
        if (text.at(k) != QLatin1Char('\n'))
            return k;
    }
    return -1;
}

// Checks what the merged text must satisfy whatever the order of arrival: runs in time order;
// each channel's runs, in order and without the separator, give that channel's text; a channel
// mark at the first visible character of every run whose channel differs from the one of the
// visible run before it, and no mark anywhere else; the separator exactly in front of the
// changes whose visible text starts at the run's start and that do not follow a gap.
QString CheckProperties(DecodedTextData& model, const QString& separator)
{
    const BlockPtr agg = model.GetChannelData(0)->LastBlock();
    if (!agg)
        return QStringLiteral("no aggregation block");
    const QString problem = BlockInvariants::Check(*agg);
    if (!problem.isEmpty())
        return problem;

    QMultiMap<int, const UserData*> signs;
    for (const UserData* u : agg->userData) {
        if (u->Type == UserData::CallSignType)
            signs.insert(u->Start, u);
    }
    QMap<int, QString> merged;
    QMap<int, int> lastPosition;
    int previousChannel = -1;
    int changes = 0;
    int index = 0;
    for (int k = 0; k < agg->snippets.size(); ++k) {
        const DecodedTextSnippet& s = agg->snippets.at(k);
        const auto where = [&](const QString& what) {
            return QStringLiteral("run %1 of '%2': %3").arg(k).arg(Runs(*agg), what);
        };
        QString text = agg->text.mid(index, s.length);
        index += s.length;
        if (k > 0 && s.timestamp < agg->snippets.at(k - 1).timestamp)
            return where(QStringLiteral("earlier than the run before it"));
        if (s.flags & SnippetStale)
            return where(QStringLiteral("still stale"));
        if (lastPosition.contains(s.sourceChannel)
            && s.sourcePosition <= lastPosition.value(s.sourceChannel))
            return where(QStringLiteral("out of its channel's order"));
        lastPosition[s.sourceChannel] = s.sourcePosition;

        const bool inserted = (s.flags & SnippetSeparatorInserted) != 0;
        if (inserted) {
            if (separator.isEmpty() || !text.startsWith(separator))
                return where(QStringLiteral("separator flagged but not in the text"));
            text.remove(0, separator.size());
        }
        merged[s.sourceChannel] += text;

        const int visible = FirstVisible(text);
        const bool change = visible >= 0 && s.sourceChannel != previousChannel;
        const bool wanted
            = change && k > 0 && visible == 0 && !(agg->snippets.at(k - 1).flags & SnippetGap);
        if (change)
            previousChannel = s.sourceChannel;
        if (bool(s.flags & SnippetSeparatorWanted) != wanted)
            return where(QStringLiteral("separator wanted is %1").arg(!wanted));
        if (inserted != (wanted && !separator.isEmpty()))
            return where(QStringLiteral("separator inserted is %1").arg(inserted));
        if (bool(s.flags & SnippetChannelMark) != change)
            return where(QStringLiteral("channel mark flag is %1").arg(!change));

        int marks = 0;
        for (auto it = signs.lowerBound(s.start); it != signs.end() && it.key() < s.end; ++it) {
            const UserData* u = it.value();
            ++marks;
            const int expected = s.start + visible + (inserted ? separator.size() : 0);
            if (u->Start != expected || u->End != expected + 1 || u->Channel != s.sourceChannel
                || u->CallSign != model.GetChannelNames().value(s.sourceChannel))
                return where(
                    QStringLiteral("mark at %1 of %2 named '%3'")
                        .arg(QString::number(u->Start), QString::number(u->Channel), u->CallSign));
        }
        if (marks != (change ? 1 : 0))
            return where(QStringLiteral("%1 marks").arg(marks));
        changes += change ? 1 : 0;
    }
    if (signs.size() != changes)
        return QStringLiteral("%1 marks for %2 channel changes").arg(signs.size()).arg(changes);
    if (agg->userDataCount < changes)
        return QStringLiteral("userDataCount below the number of marks");

    for (auto it = merged.cbegin(); it != merged.cend(); ++it) {
        const BlockPtr source = model.GetChannelData(it.key())->LastBlock();
        if (!source || source->text != it.value())
            return QStringLiteral("channel %1 merged as '%2', its own text is '%3'")
                .arg(QString::number(it.key()), it.value(), source ? source->text : QString());
    }
    return QString();
}

} // namespace

class TestAggregation : public QObject {
    Q_OBJECT

private slots:
    void init() { qputenv("VX_USER", "operator"); }

    void findInsertIndex_data();
    void findInsertIndex();
    void shiftFollowing_data();
    void shiftFollowing();
    void replaceSnippetText_data();
    void replaceSnippetText();
    void removeUserDataStartingIn_data();
    void removeUserDataStartingIn();
    void updateChannelMarks_data();
    void updateChannelMarks();
    void marksAndSeparators_data();
    void marksAndSeparators();
    void mergeOfOddSources();

    void outOfOrderChannels();
    void markOfFollowingRunCoversInsertedRun();
    void threeChannelsInterleaved();
    void equalTimestampsKeepArrivalOrder();
    void resendReusesAndRemovesStaleRuns();
    void resendWithEarlierTimeReordersAndRemoves();
    void resendWithLaterTimeKeepsOlderRuns();
    void lineBreakRuns();
    void separatorSwitchedOnAndOff();
    void channelNamesBeforeAndAfter();
    void exportOfAggregationChannel();

    void randomisedResendsAndGaps();
    void randomisedWithSeparator();
};

// clang-format off
void TestAggregation::findInsertIndex_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty block takes the first place") << "" << 1 << 5 << 0;
    QTest::newRow("later run is appended") << "1@1:ab 2@2:cd" << 1 << 3 << 2;
    QTest::newRow("earlier than everything goes first") << "1@5:ab 2@6:cd" << 2 << 1 << 0;
    QTest::newRow("between two times") << "1@1:ab 2@3:cd" << 2 << 2 << 1;
    QTest::newRow("equal times keep arrival order") << "1@1:ab 2@2:cd 3@2:ef 1@4:gh" << 1 << 2 << 3;
    QTest::newRow("stale run of the channel among equal times is filled") << "1@1:ab 2@2:cd! 1@2:ef! 3@2:gh" << 1 << 2 << 2;
    QTest::newRow("first of several stale runs") << "1@2:ab! 1@2:cd! 2@3:ef" << 1 << 2 << 0;
    QTest::newRow("stale run of another channel is not filled") << "2@2:ab! 3@2:cd" << 1 << 2 << 2;
    QTest::newRow("stale run of another time is not looked for") << "1@1:ab! 2@3:cd" << 1 << 2 << 1;
    QTest::newRow("equal times at the block's start") << "1@2:ab 2@2:cd 1@3:x" << 3 << 2 << 2;
}
// clang-format on

void TestAggregation::findInsertIndex()
{
    QFETCH(QString, layout);
    QFETCH(int, channel);
    QFETCH(int, second);
    QFETCH(int, expected);
    QCOMPARE(Build(layout)->FindInsertIndex(channel, At(1000 * second)), expected);
}

// clang-format off
void TestAggregation::shiftFollowing_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("edited"); // snippet whose end is set to newEnd first, -1 for none
    QTest::addColumn<int>("newEnd");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QString>("spans");

    QTest::newRow("data runs close up behind a grown run") << "1@1:ab 1@1:cde 1@1:f" << 0 << 4 << 0 << 2 << "0-4 4-7 7-8";
    QTest::newRow("gap keeps its width and moves by delta") << "1@1:ab 1@1/3:~ 1@1:cd" << 0 << 3 << 0 << 1 << "0-3 3-6 6-8";
    QTest::newRow("run that gave up its positions is closed up on") << "1@1:ab 1@1:cd 1@1:ef" << 1 << 2 << 1 << -2 << "0-2 2-2 2-4";
    QTest::newRow("gap behind a run that gave up its positions moves back") << "1@1:ab 1@1:cd 1@1/2:~ 1@1:ef" << 1 << 2 << 1 << -2 << "0-2 2-2 2-4 4-6";
    QTest::newRow("data follows its predecessor even when delta disagrees") << "1@1:ab 1@1:cd 1@1/2:~" << -1 << 0 << 0 << -2 << "0-2 2-4 2-4";
    QTest::newRow("nothing follows the last run") << "1@1:ab 1@1:cd" << 1 << 5 << 1 << 1 << "0-2 2-5";
    QTest::newRow("huge delta saturates instead of wrapping") << "1@1:ab 1@1/3:~" << -1 << 0 << 0 << std::numeric_limits<int>::max() << "0-2 2147483647-2147483647";
    QTest::newRow("index before the first run keeps a chained block") << "1@1:ab 1@1:cd" << -1 << 0 << -1 << 3 << "0-2 2-4";
}
// clang-format on

void TestAggregation::shiftFollowing()
{
    QFETCH(QString, layout);
    QFETCH(int, edited);
    QFETCH(int, newEnd);
    QFETCH(int, index);
    QFETCH(int, delta);
    QFETCH(QString, spans);
    const BlockPtr block = Build(layout);
    if (edited >= 0)
        block->snippets[edited].end = newEnd;
    block->ShiftFollowing(index, delta);
    QCOMPARE(Spans(*block), spans);
}

// clang-format off
void TestAggregation::replaceSnippetText_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("annotations");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("gap");
    QTest::addColumn<QString>("piece");
    QTest::addColumn<QString>("expected"); // text | spans | flags of the run | annotations

    QTest::newRow("same width replaces in place and clears stale") << "1@1:ab 2@2:cd! 1@3:ef" << "c4-5" << 1 << 2 << false << "XY" << "abXYef|0-2 2-4 4-6|0|4-5";
    QTest::newRow("wider run pushes followers and their annotations") << "1@1:ab 2@2:cd 1@3:ef" << "c0-1 c4-5" << 1 << 4 << false << "WXYZ" << "abWXYZef|0-2 2-6 6-8|0|0-1 6-7";
    QTest::newRow("narrower run pulls followers back") << "1@1:ab 2@2:cd 1@3:ef" << "c4-5" << 1 << 1 << false << "Z" << "abZef|0-2 2-3 3-5|0|3-4";
    QTest::newRow("gap piece covers its own width") << "1@1:ab 2@2:cd 1@3:ef" << "" << 1 << 5 << true << "\n\n" << "ab\n\nef|0-2 2-7 7-9|1|";
    QTest::newRow("stale gap filled with data is no gap any more") << "1@1:ab 1@1/3:~! 1@2:cd" << "" << 1 << 2 << false << "XY" << "abXYcd|0-2 2-4 4-6|0|";
    QTest::newRow("separator goes with the replaced text") << "1@1:ab 2@2:~cd^" << "" << 1 << 2 << false << "XY" << "abXY|0-2 2-4|0|";
    QTest::newRow("appended empty run grows the block") << "1@1:ab 2@2:" << "c0-1" << 1 << 3 << false << "xyz" << "abxyz|0-2 2-5|0|0-1";
    QTest::newRow("appended run moves an empty annotation at the end along") << "1@1:ab 2@2:" << "c0-1 c2-2" << 1 << 3 << false << "xyz" << "abxyz|0-2 2-5|0|0-1 5-5";
    QTest::newRow("appended run drops an annotation reaching past the end") << "1@1:ab 2@2:" << "c0-4" << 1 << 3 << false << "xyz" << "abxyz|0-2 2-5|0|";
}
// clang-format on

void TestAggregation::replaceSnippetText()
{
    QFETCH(QString, layout);
    QFETCH(QString, annotations);
    QFETCH(int, index);
    QFETCH(int, width);
    QFETCH(bool, gap);
    QFETCH(QString, piece);
    QFETCH(QString, expected);

    const BlockPtr block = Build(layout);
    AddAnnotations(*block, annotations);
    block->ReplaceSnippetText(index, 7, 42, width, gap, piece);
    const DecodedTextSnippet& s = block->snippets.at(index);
    QCOMPARE(QStringList({ block->text, Spans(*block), QString::number(s.flags), Ranges(*block) })
                 .join(QLatin1Char('|')),
             expected);
    QCOMPARE(s.sourceChannel, 7);
    QCOMPARE(s.sourcePosition, 42);
    QVERIFY_BLOCK(*block);

    // An index outside the block changes nothing.
    const QString before = block->text + Spans(*block);
    block->ReplaceSnippetText(block->snippets.size(), 1, 0, 9, false, QStringLiteral("nine"));
    block->ReplaceSnippetText(-1, 1, 0, 9, false, QStringLiteral("nine"));
    QCOMPARE(block->text + Spans(*block), before);
}

// clang-format off
void TestAggregation::removeUserDataStartingIn_data()
{
    QTest::addColumn<QString>("annotations");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("remaining");

    QTest::newRow("both ends count") << "c0-1 c3-4 c5-9 c9-10 c10-12" << 3 << 9 << "0-1 10-12";
    QTest::newRow("annotation reaching in from before stays") << "c1-6 c4-5" << 3 << 8 << "1-6";
    QTest::newRow("empty range takes the one starting there") << "c2-3 c4-5" << 4 << 4 << "2-3";
}
// clang-format on

void TestAggregation::removeUserDataStartingIn()
{
    QFETCH(QString, annotations);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, remaining);
    const BlockPtr block = Build(QStringLiteral("1@1:abcdefghijkl"));
    AddAnnotations(*block, annotations);
    block->RemoveUserDataStartingIn(from, to);
    QCOMPARE(Ranges(*block), remaining);
}

// clang-format off
void TestAggregation::updateChannelMarks_data()
{
    QTest::addColumn<int>("rechannel"); // run given newChannel before the second update
    QTest::addColumn<int>("newChannel");
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("marked");

    // Runs: 0 ch1 "~ab" [0,3), 1 ch2 "~cd" [3,6), 2 ch2 "~ef" [6,9), 3 ch3 "~~" [9,11), 4 ch1 "~gh" [11,14).
    QTest::newRow("marks at every change, none on invisible runs") << -1 << 0 << 0 << "1:1:ALPHA 4:2:BRAVO 12:1:ALPHA" << "0 1 4";
    QTest::newRow("later start takes the channel of the last mark before it") << 4 << 2 << 3 << "1:1:ALPHA 4:2:BRAVO" << "0 1";
    QTest::newRow("run joining the channel before it loses its mark") << 1 << 1 << 1 << "1:1:ALPHA 7:2:BRAVO 12:1:ALPHA" << "0 2 4";
}
// clang-format on

void TestAggregation::updateChannelMarks()
{
    QFETCH(int, rechannel);
    QFETCH(int, newChannel);
    QFETCH(int, from);
    QFETCH(QString, marks);
    QFETCH(QString, marked);

    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("ALPHA"));
    model.DefineChannelName(2, QStringLiteral("BRAVO"));
    const BlockPtr block = Build(QStringLiteral("1@1:~ab 2@2:~cd 2@3:~ef 3@4:~~ 1@5:~gh"));
    block->UpdateChannelMarks(0, &model);
    QCOMPARE(block->userDataCount, 3);
    if (rechannel >= 0) {
        block->snippets[rechannel].sourceChannel = newChannel;
        block->UpdateChannelMarks(from, &model);
    }
    QCOMPARE(Marks(*block), marks);
    QCOMPARE(Flagged(*block, SnippetChannelMark), marked);
    for (const UserData* u : block->userData) {
        QCOMPARE(u->End, u->Start + 1);
        QCOMPARE(u->Modifier, QStringLiteral("operator"));
        QCOMPARE(u->ChangeTime.timeSpec(), Qt::UTC);
        QVERIFY(qAbs(u->ChangeTime.secsTo(QDateTime::currentDateTimeUtc())) < 60);
    }
    // Taking a mark away leaves the count of annotations made as it was.
    QVERIFY(block->userDataCount >= 3);
}

// clang-format off
void TestAggregation::marksAndSeparators_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("annotations");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("wanted");

    QTest::newRow("visible text at the start of a change wants the separator") << "1@1:ab 2@2:cd" << "" << "0:1: 2:2:" << "1";
    QTest::newRow("line break before the visible text") << "1@1:ab 2@2:~cd" << "" << "0:1: 3:2:" << "";
    QTest::newRow("change right after a gap") << "1@1:ab 1@1/3:~ 2@2:cd" << "" << "0:1: 5:2:" << "";
    QTest::newRow("no change, no mark, no separator") << "2@1:ab 2@2:cd" << "" << "0:2:" << "";
    QTest::newRow("invisible run between counts as text before") << "1@1:ab 2@2:~~ 2@3:cd" << "" << "0:1: 4:2:" << "2";
    QTest::newRow("operator call sign in the run: no mark, separator still wanted") << "1@1:ab 2@2:cdef" << "s3-5" << "0:1: 3:0:" << "1";
    // An annotation that only touches a range overlaps it.
    QTest::newRow("mark on the last position of the run before") << "1@1:~a 2@2:bc" << "" << "1:1:" << "1";
    QTest::newRow("operator call sign ending where the run starts") << "1@1:~abc 2@2:de" << "s2-4" << "2:0:" << "1";
    QTest::newRow("operator call sign ending before the run") << "1@1:~abc 2@2:de" << "s1-3" << "1:0: 4:2:" << "1";
    QTest::newRow("comments after a call sign reaching into the run") << "1@1:~abc 2@2:defg" << "s2-5 c5-6 c6-7" << "2:0:" << "1";
}
// clang-format on

void TestAggregation::marksAndSeparators()
{
    QFETCH(QString, layout);
    QFETCH(QString, annotations);
    QFETCH(QString, marks);
    QFETCH(QString, wanted);
    const BlockPtr block = Build(layout);
    AddAnnotations(*block, annotations);
    DecodedTextData model;
    block->UpdateChannelMarks(0, &model);
    QCOMPARE(Marks(*block), marks);
    QCOMPARE(Flagged(*block, SnippetSeparatorWanted), wanted);
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
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(agg, source, &model, -1, nullptr));
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(agg, BlockPtr(), &model, 0, &refresh));
    QCOMPARE(agg->contentCode, QStringLiteral("LAT"));
    QVERIFY(agg->rightToLeft);
    QVERIFY(!agg->changed);
    QVERIFY(!refresh);

    // Source positions at the ends of the int range: the run too wide for the position space
    // is left out, the others are laid down at the aggregation block's own positions.
    const int low = std::numeric_limits<int>::min();
    const int high = std::numeric_limits<int>::max();
    const int ends[][2] = { { low, low + 2 }, { low + 2, high }, { high - 3, high } };
    const QString texts[] = { QStringLiteral("ab"), QStringLiteral("??"), QStringLiteral("cde") };
    for (int k = 0; k < 3; ++k) {
        DecodedTextSnippet s;
        s.start = ends[k][0];
        s.end = ends[k][1];
        s.length = texts[k].size();
        s.timestamp = At(2000);
        source->snippets.append(s);
        source->text += texts[k];
    }
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(agg, source, &model, 0, &refresh));
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("1:~xy 2:ab 2:cde"));
    QCOMPARE(Spans(*agg), QStringLiteral("0-3 3-5 5-8"));
    QCOMPARE(agg->snippets.at(2).sourcePosition, high - 3);
    QCOMPARE(Marks(*agg), QStringLiteral("3:2:"));
    QVERIFY(agg->changed);

    // A map that points a channel at 0 makes the target its own aggregation block.
    const BlockPtr self = Build(QStringLiteral("0@1:ab 0@2:cd 0@3:~ef"));
    QVERIFY(DecodedTextBlock::MergeIntoAggregation(self, self, &model, 1, &refresh));
    QVERIFY_BLOCK(*self);
    QCOMPARE(Runs(*self), QStringLiteral("0:ab 0:cd 0:~ef"));
}

void TestAggregation::outOfOrderChannels()
{
    DecodedTextData model;
    QSignalSpy changed(&model, &DecodedTextData::DataChanged);
    Feeder feed(model);
    feed.Send(1, { { 1000, QStringLiteral("\nCQ DE DL1ABC") } });
    QVERIFY_BLOCK(*feed.Aggregation());
    QCOMPARE(changed.last(), (QVariantList { 0, false }));
    feed.Send(2, { { 0, QStringLiteral("\nQRZ?") } });
    const BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(changed.last(), (QVariantList { 0, true }));
    QCOMPARE(Runs(*agg), QStringLiteral("2:~QRZ? 1:~CQ DE DL1ABC"));
    QCOMPARE(Marks(*agg), QStringLiteral("1:2: 6:1:"));
    QCOMPARE(agg->snippets.at(0).sourcePosition, 0);
    QCOMPARE(agg->snippets.at(0).quality, 70);
    QCOMPARE(feed.used, (QVector<int> { 1, 2 }));
    QVERIFY(agg->changed);
    QVERIFY(!agg->closed);
    QVERIFY(model.GetChannelData(1)->LastBlock()->closed);
}

void TestAggregation::markOfFollowingRunCoversInsertedRun()
{
    // A mark at the very start of a run touches the end of a run put in front of it, and a
    // touching call sign counts as overlapping: the earlier run gets no mark of its own.
    DecodedTextData model;
    Feeder feed(model);
    feed.Send(1, { { 1000, QStringLiteral("CQ") } });
    feed.Send(2, { { 0, QStringLiteral("DE") } });
    const BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("2:DE 1:CQ"));
    QCOMPARE(Marks(*agg), QStringLiteral("2:1:"));
    QVERIFY(!(agg->snippets.at(0).flags & SnippetChannelMark));
}

void TestAggregation::threeChannelsInterleaved()
{
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("ALPHA"));
    model.DefineChannelName(2, QStringLiteral("BRAVO"));
    model.DefineChannelName(3, QStringLiteral("CHARLIE"));
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("\nCQ CQ") }, { 3000, QStringLiteral("\nDE A") } });
    QVERIFY_BLOCK(*feed.Aggregation());
    feed.Send(2, { { 1000, QStringLiteral("\nQRZ") }, { 4000, QStringLiteral("\nDE B") } });
    QVERIFY_BLOCK(*feed.Aggregation());
    feed.Send(3, { { 2000, QStringLiteral("\nTEST") }, { 3000, QStringLiteral("\nDE C") } });
    const BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("1:~CQ CQ 2:~QRZ 3:~TEST 1:~DE A 3:~DE C 2:~DE B"));
    QCOMPARE(Marks(*agg),
             QStringLiteral("1:1:ALPHA 7:2:BRAVO 11:3:CHARLIE 16:1:ALPHA 21:3:CHARLIE 26:2:BRAVO"));
    QCOMPARE(agg->userDataCount, 6);
    QCOMPARE(CheckProperties(model, QString()), QString());
}

void TestAggregation::equalTimestampsKeepArrivalOrder()
{
    DecodedTextData model;
    Feeder feed(model);
    feed.Send(3, { { 2000, QStringLiteral("\nZZ") } });
    feed.Send(2, { { 1000, QStringLiteral("\nAA") } });
    feed.Send(1, { { 1000, QStringLiteral("\nBB") } });
    feed.Send(2, { { 1000, QStringLiteral("\nDD") } });
    feed.Send(1, { { 2000, QStringLiteral("\nEE") } });
    const BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("2:~AA 1:~BB 2:~DD 3:~ZZ 1:~EE"));
    QCOMPARE(CheckProperties(model, QString()), QString());
}

void TestAggregation::resendReusesAndRemovesStaleRuns()
{
    DecodedTextData model;
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("\nCQ CQ") } });
    feed.Send(2, { { 1000, QStringLiteral("\nQRZ") } });
    feed.Send(1, { { 2000, QStringLiteral("\nDE ALPHA") }, { 3000, QStringLiteral("\nPSE K") } });
    BlockPtr agg = feed.Aggregation();
    QCOMPARE(Spans(*agg), QStringLiteral("0-6 6-10 10-19 19-25"));
    QCOMPARE(Marks(*agg), QStringLiteral("1:1: 7:2: 11:1:"));
    AddAnnotations(*agg, QStringLiteral("c2-4 c21-23"));
    const int count = agg->userDataCount;

    QSignalSpy changed(&model, &DecodedTextData::DataChanged);
    // The decoder resends from stream position 6 with the same time: the run is filled in
    // place with its new quality ignored, the run after it goes with the comment inside it.
    feed.Send(1, { { 2000, QStringLiteral("\nDE ALFA!"), 20 } }, 6);
    agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("1:~CQ CQ 2:~QRZ 1:~DE ALFA!"));
    QCOMPARE(agg->snippets.at(2).quality, 70);
    QCOMPARE(Ranges(*agg), QStringLiteral("1-2 2-4 7-8 11-12"));
    QCOMPARE(agg->userDataCount, count);
    QCOMPARE(changed.last(), (QVariantList { 0, true }));
    QCOMPARE(CheckProperties(model, QString()), QString());
}

void TestAggregation::resendWithEarlierTimeReordersAndRemoves()
{
    DecodedTextData model;
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("\nCQ CQ") } });
    feed.Send(2, { { 1000, QStringLiteral("\nQRZ") } });
    feed.Send(1, { { 2000, QStringLiteral("\nDE ALPHA") } });
    BlockPtr agg = feed.Aggregation();
    QCOMPARE(Marks(*agg), QStringLiteral("1:1: 7:2: 11:1:"));

    // Resent from position 6 with an earlier time: the new run goes before channel 2's run,
    // the old one is stale and leaves together with its mark.
    feed.Send(1, { { 500, QStringLiteral("\nDE") } }, 6);
    agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("1:~CQ CQ 1:~DE 2:~QRZ"));
    QCOMPARE(Spans(*agg), QStringLiteral("0-6 6-9 9-13"));
    QCOMPARE(Marks(*agg), QStringLiteral("1:1: 10:2:"));
    QCOMPARE(CheckProperties(model, QString()), QString());
}

void TestAggregation::resendWithLaterTimeKeepsOlderRuns()
{
    DecodedTextData model;
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("\nCQ CQ") } });
    feed.Send(1, { { 1000, QStringLiteral("\nDE") } });
    feed.Send(2, { { 1500, QStringLiteral("\nQRZ") } });
    // Resent from position 6 but with a time after the run it replaces in the channel: only
    // runs at least as new as the resent text are stale, so the older run stays merged.
    feed.Send(1, { { 2000, QStringLiteral("\nDE ALPHA") } }, 6);
    const BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("1:~CQ CQ 1:~DE 2:~QRZ 1:~DE ALPHA"));
    QCOMPARE(Marks(*agg), QStringLiteral("1:1: 10:2: 14:1:"));
    QCOMPARE(model.GetChannelData(1)->LastBlock()->text, QStringLiteral("\nCQ CQ\nDE ALPHA"));
}

void TestAggregation::lineBreakRuns()
{
    DecodedTextData model;
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("\nCQ CQ") } });
    feed.Send(2, { { 1000, QStringLiteral("\n") } });
    feed.Send(1, { { 2000, QStringLiteral("\nDE") } });
    BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    // A run of line breaks is no change of channel, neither in itself nor for the run after it.
    QCOMPARE(Marks(*agg), QStringLiteral("1:1:"));

    const int position = feed.next.value(2);
    feed.Send(2, { { 3000, QStringLiteral("\nQRZ") } });
    feed.Send(1, { { 4000, QStringLiteral("\nK K") } });
    agg = feed.Aggregation();
    QCOMPARE(Marks(*agg), QStringLiteral("1:1: 11:2: 15:1:"));

    // Channel 2 resends its visible run as line breaks only: its mark goes, and so does the
    // mark of channel 1's next run, which no longer follows another channel.
    feed.Send(2, { { 3000, QStringLiteral("\n\n\n\n") } }, position);
    agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(Runs(*agg), QStringLiteral("1:~CQ CQ 2:~ 1:~DE 2:~~~~ 1:~K K"));
    QCOMPARE(Marks(*agg), QStringLiteral("1:1:"));
    for (const DecodedTextSnippet& s : agg->snippets)
        QCOMPARE(bool(s.flags & SnippetChannelMark), s.start == 0);
    QCOMPARE(CheckProperties(model, QString()), QString());
}

void TestAggregation::separatorSwitchedOnAndOff()
{
    DecodedTextData model;
    model.SetChannelSeparator(QStringLiteral("\n"));
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("CQ CQ") } });
    feed.Send(2, { { 1000, QStringLiteral("QRZ") } });
    feed.Send(1, { { 2000, QStringLiteral("DE ALPHA") } });
    feed.Send(3, { { 3000, QStringLiteral("TEST") } });
    BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(agg->text, QStringLiteral("CQ CQ\nQRZ\nDE ALPHA\nTEST"));
    QCOMPARE(Marks(*agg), QStringLiteral("0:1: 6:2: 10:1: 19:3:"));
    QCOMPARE(CheckProperties(model, QStringLiteral("\n")), QString());

    // Channel 2 resends its run as line breaks: channel 1's second run no longer follows
    // another channel and loses mark and separator.
    feed.Send(2, { { 1000, QStringLiteral("\n\n\n") } }, 0);
    QVERIFY_BLOCK(*agg);
    QCOMPARE(agg->text, QStringLiteral("CQ CQ\n\n\nDE ALPHA\nTEST"));
    QCOMPARE(Marks(*agg), QStringLiteral("0:1: 17:3:"));
    QCOMPARE(CheckProperties(model, QStringLiteral("\n")), QString());

    QSignalSpy changed(&model, &DecodedTextData::DataChanged);
    model.SetChannelSeparator(QString());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last(), (QVariantList { 0, true }));
    QVERIFY_BLOCK(*agg);
    QCOMPARE(agg->text, QStringLiteral("CQ CQ\n\n\nDE ALPHATEST"));
    QCOMPARE(Marks(*agg), QStringLiteral("0:1: 16:3:"));
    QCOMPARE(CheckProperties(model, QString()), QString());

    model.SetChannelSeparator(QStringLiteral("\n"));
    QCOMPARE(agg->text, QStringLiteral("CQ CQ\n\n\nDE ALPHA\nTEST"));
    QCOMPARE(CheckProperties(model, QStringLiteral("\n")), QString());

    // Only the newest aggregation block follows later switches.
    model.EndTransmission();
    Feeder next(model, T0.addSecs(3600));
    next.Send(1, { { 3600000, QStringLiteral("XX") } });
    next.Send(2, { { 3601000, QStringLiteral("YY") } });
    const BlockPtr newest = next.Aggregation();
    QVERIFY(newest != agg);
    QCOMPARE(newest->text, QStringLiteral("XX\nYY"));
    model.SetChannelSeparator(QString());
    QCOMPARE(newest->text, QStringLiteral("XXYY"));
    QCOMPARE(agg->text, QStringLiteral("CQ CQ\n\n\nDE ALPHA\nTEST"));
    QVERIFY_BLOCK(*newest);
}

void TestAggregation::channelNamesBeforeAndAfter()
{
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("DL1ABC"));
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("\nCQ") } });
    feed.Send(2, { { 1000, QStringLiteral("\nQRZ") } });
    const BlockPtr old = feed.Aggregation();
    QCOMPARE(Marks(*old), QStringLiteral("1:1:DL1ABC 4:2:"));
    model.DefineChannelName(2, QStringLiteral("F5XYZ"));
    QCOMPARE(Marks(*old), QStringLiteral("1:1:DL1ABC 4:2:F5XYZ"));

    model.EndTransmission();
    Feeder next(model, T0.addSecs(3600));
    next.Send(1, { { 3600000, QStringLiteral("\nDE") } });
    next.Send(2, { { 3601000, QStringLiteral("\nK") } });
    const BlockPtr newest = next.Aggregation();
    QCOMPARE(Marks(*newest), QStringLiteral("1:1:DL1ABC 4:2:F5XYZ"));
    model.DefineChannelName(1, QStringLiteral("DL9NEW"));
    QCOMPARE(Marks(*newest), QStringLiteral("1:1:DL9NEW 4:2:F5XYZ"));
    QCOMPARE(Marks(*old), QStringLiteral("1:1:DL1ABC 4:2:F5XYZ"));
}

void TestAggregation::exportOfAggregationChannel()
{
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("DL1ABC"));
    model.DefineChannelName(2, QStringLiteral("F5XYZ"));
    model.SetChannelSeparator(QStringLiteral("\n"));
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("\nCQ") } });
    // Three characters lost: a gap stands for positions 3 to 6.
    feed.Send(1, { { 1000, QStringLiteral("DE K") } }, 6);
    // Channel 2's run of the same time as the gap goes behind it: a change after a gap wants
    // no separator, the change back to channel 1 does.
    feed.Send(2, { { 0, QStringLiteral("QRZ") } });
    const BlockPtr agg = feed.Aggregation();
    QVERIFY_BLOCK(*agg);
    QCOMPARE(agg->text, QStringLiteral("\nCQ\n\nQRZ\nDE K"));
    QCOMPARE(Spans(*agg), QStringLiteral("0-3 3-6 6-9 9-14"));
    QCOMPARE(Marks(*agg), QStringLiteral("1:1:DL1ABC 6:2:F5XYZ 10:1:DL1ABC"));
    QCOMPARE(CheckProperties(model, QStringLiteral("\n")), QString());

    VarnoResultData document;
    model.GetData(0, document, false);
    QCOMPARE(document.GetTransmission().size(), 1);
    const Transmission* transmission = document.GetTransmission().first();
    QCOMPARE(transmission->GetStartTime(), T0);
    QCOMPARE(transmission->GetStopTime(), At(1000));
    QCOMPARE(transmission->GetDataBlock().size(), 1);
    DataBlock* block = transmission->GetDataBlock().first();
    QCOMPARE(block->GetChannel(), 0);
    QCOMPARE(block->GetContent(), agg->text);
    QStringList stamps;
    for (const auto& stamp : block->GetTimeStamp())
        stamps << QStringLiteral("%1@%2").arg(stamp.Position).arg(T0.msecsTo(stamp.Time));
    QCOMPARE(stamps.join(QLatin1Char(' ')), QStringLiteral("0@0 3@0 5@0 8@1000"));
    QStringList marks;
    for (const UserData* u : block->GetUserData())
        marks << QStringLiteral("%1-%2:%3").arg(u->Start).arg(u->End).arg(u->CallSign);
    QCOMPARE(marks.join(QLatin1Char(' ')), QStringLiteral("1-2:DL1ABC 5-6:F5XYZ 9-10:DL1ABC"));
    QVERIFY(!agg->changed);
}

void TestAggregation::randomisedResendsAndGaps()
{
    // Three channels, each a line per run, arriving in random order with times that collide
    // across channels, lost characters and resends of earlier data blocks with their times.
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("ALPHA"));
    model.DefineChannelName(2, QStringLiteral("BRAVO"));
    Feeder feed(model);
    feed.map.insert(7, -1);
    QRandomGenerator rng(20240301);
    struct Sent {
        int position;
        QVector<Run> runs;
    };
    QHash<int, QVector<Sent>> sent;
    QHash<int, qint64> clock;
    auto word = [&rng]() {
        QString text(QStringLiteral("\n"));
        const int length = 2 + rng.bounded(6);
        for (int k = 0; k < length; ++k)
            text += QLatin1Char("ABCDEFGH KLM"[rng.bounded(12)]);
        return text;
    };

    for (int step = 0; step < 400; ++step) {
        const int channel = 1 + rng.bounded(3);
        const int action = rng.bounded(20);
        if (step == 200)
            model.DefineChannelName(3, QStringLiteral("CHARLIE"));
        if (action == 0) {
            feed.Send(7, { { clock.value(1), QStringLiteral("\nIGNORED") } });
        } else if (action < 3 && !sent.value(channel).isEmpty()) {
            // Resend every data block from a random one on, same times and widths.
            QVector<Sent>& blocks = sent[channel];
            const int from = rng.bounded(blocks.size());
            for (int b = from; b < blocks.size(); ++b) {
                for (Run& run : blocks[b].runs) {
                    if (FirstVisible(run.text) >= 0)
                        run.text = QStringLiteral("\n")
                            + word()
                                  .mid(1, run.text.size() - 1)
                                  .leftJustified(run.text.size() - 1, QLatin1Char('Z'));
                }
                feed.Send(channel, blocks.at(b).runs, blocks.at(b).position);
            }
        } else {
            QVector<Run> runs;
            const int count = 1 + rng.bounded(3);
            for (int r = 0; r < count; ++r) {
                clock[channel] += 500 * rng.bounded(4);
                const bool lineBreaks = rng.bounded(8) == 0;
                runs.append({ clock.value(channel),
                              lineBreaks ? QString(1 + rng.bounded(3), QLatin1Char('\n')) : word(),
                              rng.bounded(101) });
            }
            int position = feed.next.value(channel);
            if (action == 3 && position > 0)
                position += 1 + rng.bounded(4);
            sent[channel].append({ position, runs });
            feed.Send(channel, runs, position);
        }
        const QString problem = CheckProperties(model, QString());
        QVERIFY2(problem.isEmpty(),
                 qPrintable(QStringLiteral("step %1: %2").arg(step).arg(problem)));
        for (int c = 1; c <= 3; ++c) {
            if (model.ChannelExists(c))
                QVERIFY_BLOCK(*model.GetChannelData(c));
        }
    }
    QVERIFY(feed.Aggregation()->snippets.size() > 300);
    QVERIFY(!model.ChannelExists(7));
}

void TestAggregation::randomisedWithSeparator()
{
    // Three channels in random order with the separator on; runs start with visible text,
    // with a line break, or are line breaks only. The first run of the block is the earliest.
    DecodedTextData model;
    model.DefineChannelName(1, QStringLiteral("ALPHA"));
    model.DefineChannelName(2, QStringLiteral("BRAVO"));
    model.SetChannelSeparator(QStringLiteral("\n"));
    Feeder feed(model);
    feed.Send(1, { { 0, QStringLiteral("VVV DE ALPHA") } });
    QRandomGenerator rng(4711);
    QHash<int, qint64> clock;
    for (int step = 0; step < 300; ++step) {
        const int channel = 1 + rng.bounded(3);
        QVector<Run> runs;
        const int count = 1 + rng.bounded(3);
        for (int r = 0; r < count; ++r) {
            clock[channel] += 500 + 500 * rng.bounded(3);
            QString text;
            const int shape = rng.bounded(6);
            if (shape == 0)
                text = QString(1 + rng.bounded(2), QLatin1Char('\n'));
            else
                text = (shape == 1 ? QStringLiteral("\n") : QString())
                    + QStringLiteral("CQ TEST DE ").mid(rng.bounded(8), 2 + rng.bounded(4));
            runs.append({ clock.value(channel), text });
        }
        feed.Send(channel, runs);
        if (step == 150)
            model.DefineChannelName(3, QStringLiteral("CHARLIE"));
        if (step % 50 == 49) {
            model.SetChannelSeparator(QString());
            const QString off = CheckProperties(model, QString());
            QVERIFY2(off.isEmpty(),
                     qPrintable(QStringLiteral("step %1 off: %2").arg(step).arg(off)));
            model.SetChannelSeparator(QStringLiteral("\n"));
        }
        const QString problem = CheckProperties(model, QStringLiteral("\n"));
        QVERIFY2(problem.isEmpty(),
                 qPrintable(QStringLiteral("step %1: %2").arg(step).arg(problem)));
    }
    QVERIFY(feed.Aggregation()->snippets.size() > 300);
}

QTEST_GUILESS_MAIN(TestAggregation)
#include "tst_aggregation.moc"
