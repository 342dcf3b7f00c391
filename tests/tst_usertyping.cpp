#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "errorhandler.h"
#include "varnoresultdataxml.h"

#include <QSignalSpy>
#include <QtTest>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::UserData;
using Block = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 3, 1), QTime(8, 0, 0), Qt::UTC);

class FixedClock : public DecodedTextClock
{
public:
    QDateTime CurrentTime() const override { return now; }
    QDateTime now = T0.addSecs(3600);
};

// One data run per piece, chained from position 0; times are seconds after T0.
Block MakeBlock(const QStringList& runs, const QVector<int>& seconds = {}, int id = 7)
{
    Block block(new DecodedTextBlock(DecodedTextData::UserChannelID, id, T0));
    int position = 0;
    for (int i = 0; i < runs.size(); ++i) {
        DecodedTextSnippet s;
        s.start = position;
        s.length = runs.at(i).size();
        s.end = position + s.length;
        s.quality = 100;
        s.timestamp = T0.addSecs(i < seconds.size() ? seconds.at(i) : i);
        block->snippets.append(s);
        block->text += runs.at(i);
        position = s.end;
    }
    return block;
}

QVector<int> RunRanges(const Block& block)
{
    QVector<int> out;
    for (const DecodedTextSnippet& s : block->snippets)
        out << s.start << s.end;
    return out;
}

} // namespace

class TestUserTyping : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void typedRunsAreStamped();
    void refusedEdits_data();
    void refusedEdits();
    void typingNeedsPositionsThatAreIndices();
    void editMovesAnnotations();
    void takeEditedDataStepsBackOverSameTime();
    void applyUserChannel();
    void applyUserChannelWithoutChannel();
    void annotationGoesOutWithTypedText();
    void failedExportIsTraced_data();
    void failedExportIsTraced();
};

void TestUserTyping::typing_data()
{
    QTest::addColumn<QStringList>("runs");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QVector<int>>("ranges");

    QTest::newRow("two words after a space become two runs")
        << QStringList{"abc "} << 4 << 0 << "de fg" << "abc de fg" << 4 << QVector<int>{0, 4, 4, 7, 7, 9};
    QTest::newRow("a word without space first continues the last run")
        << QStringList{"abc"} << 3 << 0 << "de fg" << "abcde fg" << 0 << QVector<int>{0, 6, 6, 8};
    QTest::newRow("paragraph separator is stored as line break")
        << QStringList{"abc"} << 3 << 0 << QStringLiteral("x\u2029y") << "abcx\ny" << 0
        << QVector<int>{0, 5, 5, 6};
    QTest::newRow("count past the end drops the editor's last character")
        << QStringList{"abc"} << 3 << 1 << QStringLiteral("de\u2029") << "abcde" << 0 << QVector<int>{0, 5};
    QTest::newRow("first words of an empty block")
        << QStringList{} << 0 << 0 << "hi there" << "hi there" << 0 << QVector<int>{0, 3, 3, 8};
    QTest::newRow("insertion inside the first run")
        << QStringList{"hello ", "world"} << 2 << 0 << "XY" << "heXYllo world" << 0 << QVector<int>{0, 8, 8, 13};
    QTest::newRow("deletion at the start of the second run")
        << QStringList{"hello ", "world"} << 6 << 3 << "" << "hello ld" << 6 << QVector<int>{0, 6, 6, 8};
    // Run 1 may give up 8 - 6 = 2 positions, run 0 the third.
    QTest::newRow("replacement across two runs")
        << QStringList{"hello ", "world"} << 4 << 4 << "Z" << "hellZrld" << 0 << QVector<int>{0, 5, 5, 8};
}

void TestUserTyping::typing()
{
    QFETCH(QStringList, runs);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(QVector<int>, ranges);
    DecodedTextData model;
    FixedClock clock;
    model.SetClock(&clock);
    Block block = MakeBlock(runs);
    QCOMPARE(block->InsertTypedText(index, count, typed, &model), result);
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, text);
    QCOMPARE(RunRanges(block), ranges);
    QVERIFY(block->changed);
}

void TestUserTyping::typedRunsAreStamped()
{
    DecodedTextData model;
    FixedClock clock;
    model.SetClock(&clock);
    Block block = MakeBlock({"abc "});
    QCOMPARE(block->InsertTypedText(4, 0, "de fg", &model), 4);
    QVERIFY_BLOCK(*block);
    QVERIFY(!(block->snippets.at(0).flags & SnippetEdited));
    for (int i = 1; i < 3; ++i) {
        QCOMPARE(block->snippets.at(i).quality, 100);
        QCOMPARE(block->snippets.at(i).flags, SnippetEdited);
        QCOMPARE(block->snippets.at(i).timestamp, clock.now);
    }

    // Continuing a word marks the run it extends and records how much it grew.
    clock.now = clock.now.addSecs(5);
    QCOMPARE(block->InsertTypedText(9, 0, "gh", &model), 7);
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->snippets.size(), 3);
    QCOMPARE(block->snippets.at(2).shift, 2);
    QCOMPARE(block->snippets.at(2).timestamp, T0.addSecs(3600));
}

void TestUserTyping::refusedEdits_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("typed");
    QTest::newRow("before the text") << -1 << 0 << "x";
    QTest::newRow("past the text") << 6 << 0 << "x";
    QTest::newRow("nothing typed nor removed") << 2 << 0 << "";
    QTest::newRow("nothing left to remove at the end") << 5 << 3 << "";
    QTest::newRow("negative count") << 1 << -4 << "x";
    QTest::newRow("largest index") << INT_MAX << INT_MAX << "x";
}

void TestUserTyping::refusedEdits()
{
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, typed);
    DecodedTextData model;
    Block block = MakeBlock({"ab ", "cd"});
    QCOMPARE(block->InsertTypedText(index, count, typed, &model), -1);
    QCOMPARE(block->text, QStringLiteral("ab cd"));
    QCOMPARE(RunRanges(block), (QVector<int>{0, 3, 3, 5}));
    QVERIFY(!block->changed);
}

void TestUserTyping::typingNeedsPositionsThatAreIndices()
{
    // Typing addresses text indices as positions; a block with a gap has other positions.
    DecodedTextData model;
    Block block = MakeBlock({"ab "});
    DecodedTextSnippet gap;
    gap.start = 3;
    gap.end = 9;
    gap.length = 1;
    gap.flags = SnippetGap;
    block->snippets.append(gap);
    block->text += QLatin1Char('\n');
    QCOMPARE(block->InsertTypedText(1, 0, "x", &model), -1);
    QCOMPARE(block->InsertTypedText(4, 0, "x", &model), -1);
    QCOMPARE(block->text, QStringLiteral("ab \n"));
    QVERIFY(!block->changed);

    // Without the gap the same block takes the edit.
    block->snippets.removeLast();
    block->text.chop(1);
    QCOMPARE(block->InsertTypedText(1, 0, "x", &model), 0);
    QCOMPARE(block->text, QStringLiteral("axb "));
}

void TestUserTyping::editMovesAnnotations()
{
    DecodedTextData model;
    Block block = MakeBlock({"hello ", "world"});
    auto* sign = new UserData;
    sign->Type = UserData::CallSignType;
    sign->Start = 6;
    sign->End = 11;
    block->userData << sign;
    QCOMPARE(block->InsertTypedText(0, 0, "XY", &model), 0);
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->Text(sign->Start, sign->End), QStringLiteral("world"));
    QCOMPARE(block->InsertTypedText(1, 3, "", &model), 0);
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Xllo world"));
    QCOMPARE(block->Text(sign->Start, sign->End), QStringLiteral("world"));
}

void TestUserTyping::takeEditedDataStepsBackOverSameTime()
{
    Block block = MakeBlock({"aa ", "bb ", "cc ", "dd"}, {0, 10, 10, 20});
    block->snippets[2].flags |= SnippetEdited;
    block->changed = true;

    const QString xml = block->TakeEditedData();
    DataBlock data;
    QVERIFY(data.SetXmlString(xml));
    QCOMPARE(data.GetChannel(), 1000);
    QCOMPARE(data.GetID(), 7);
    QCOMPARE(data.GetOffset(), 3);
    QCOMPARE(data.GetContent(), QStringLiteral("bb cc dd"));
    QCOMPARE(data.GetTimeStamp().size(), 3);
    QCOMPARE(data.GetTimeStamp().at(0).Time, T0.addSecs(10));
    QCOMPARE(data.GetTimeStamp().at(2).Position, 6);
    QCOMPARE(data.GetTimeStamp().at(2).Time, T0.addSecs(20));
    for (const DecodedTextSnippet& s : block->snippets)
        QVERIFY(!(s.flags & SnippetEdited));
    QVERIFY(!block->changed);

    // What went out does not go out again.
    QVERIFY(block->TakeEditedData().isEmpty());
}

void TestUserTyping::applyUserChannel()
{
    DecodedTextData model;
    FixedClock clock;
    model.SetClock(&clock);
    Block block = model.GetChannelData(DecodedTextData::UserChannelID)->GetBlock(T0, 1);
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    QCOMPARE(block->InsertTypedText(0, 0, "hi there", &model), 0);

    model.ApplyUserChannel();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 1000);
    DataBlock data;
    QVERIFY(data.SetXmlString(spy.at(0).at(1).toString()));
    QCOMPARE(data.GetContent(), QStringLiteral("hi there"));

    model.ApplyUserChannel();
    QCOMPARE(spy.count(), 1);

    // Only the newest block is handed out.
    QCOMPARE(block->InsertTypedText(8, 0, " more", &model), 3);
    Block newer = model.GetChannelData(DecodedTextData::UserChannelID)->GetBlock(T0, 2);
    model.ApplyUserChannel();
    QCOMPARE(spy.count(), 1);
}

void TestUserTyping::applyUserChannelWithoutChannel()
{
    DecodedTextData model;
    QSignalSpy created(&model, &DecodedTextData::ChannelCreated);
    QSignalSpy saved(&model, &DecodedTextData::SaveUserData);
    model.ApplyUserChannel();
    QVERIFY(!model.ChannelExists(DecodedTextData::UserChannelID));
    QCOMPARE(created.count(), 0);
    QCOMPARE(saved.count(), 0);
}

void TestUserTyping::annotationGoesOutWithTypedText()
{
    DecodedTextData model;
    FixedClock clock;
    model.SetClock(&clock);
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = model.GetChannelData(DecodedTextData::UserChannelID)->GetBlock(T0, 1);
    block->InsertTypedText(0, 0, "cq dx", &model);
    clock.now = clock.now.addSecs(30);
    block->InsertTypedText(5, 0, " de dl1abc", &model);
    model.ApplyUserChannel();
    QCOMPARE(spy.count(), 1);

    auto* sign = new UserData;
    sign->Type = UserData::CallSignType;
    sign->Start = 9;
    sign->End = 15;
    sign->CallSign = QStringLiteral("DL1ABC");
    QVERIFY(model.SetUserData(block, sign, UserData::CallSignType, 9, 15));
    QCOMPARE(spy.count(), 1);
    QVERIFY_BLOCK(*block);

    // The mark's run and the runs typed at the same time before it go out with it.
    model.ApplyUserChannel();
    QCOMPARE(spy.count(), 2);
    DataBlock data;
    QVERIFY(data.SetXmlString(spy.at(1).at(1).toString()));
    QCOMPARE(data.GetOffset(), 6);
    QCOMPARE(data.GetContent(), QStringLiteral("de dl1abc"));
    QCOMPARE(data.GetUserData().size(), 1);
    QCOMPARE(data.GetUserData().at(0)->CallSign, QStringLiteral("DL1ABC"));
}

void TestUserTyping::failedExportIsTraced_data()
{
    QTest::addColumn<QByteArray>("mask");
    QTest::addColumn<bool>("traced");
    QTest::newRow("exception traces enabled") << QByteArray("0x20") << true;
    QTest::newRow("other traces only") << QByteArray("0x1f") << false;
    QTest::newRow("no traces") << QByteArray("0") << false;
}

void TestUserTyping::failedExportIsTraced()
{
    QFETCH(QByteArray, mask);
    QFETCH(bool, traced);
    QStringList lines;
    const ErrorHandler::OutputSink previous =
        ErrorHandler::SetOutputSink([&lines](const QString& line) { lines << line; });
    const QByteArray savedMask = qgetenv("VX_TRACE_MASK");
    qputenv("VX_TRACE_MASK", mask);

    // An id beyond what a document can hold makes the writer throw.
    Block block = MakeBlock({"ab ", "cd"}, {}, 200000000);
    block->snippets[1].flags |= SnippetEdited;
    const QString xml = block->TakeEditedData();

    qputenv("VX_TRACE_MASK", savedMask);
    ErrorHandler::SetOutputSink(previous);
    QVERIFY(xml.isEmpty());
    QCOMPARE(lines.size(), traced ? 1 : 0);
    if (traced) {
        const QString prefix =
            QStringLiteral("controls\\decodedtextview\\decodedtextdata(920): TakeEditedData: ");
        QVERIFY2(lines.at(0).startsWith(prefix), qPrintable(lines.at(0)));
        QVERIFY(lines.at(0).size() > prefix.size());
    }
}

QTEST_GUILESS_MAIN(TestUserTyping)
#include "tst_usertyping.moc"
