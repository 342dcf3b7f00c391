#include "blockinvariants.h"
#include "errorhandler.h"
#include "modelfixtures.h"

#include <QtTest>

#include <climits>

using namespace Fixtures;
using VarnoResultDataXml::DataBlock;

namespace {

const int User = DecodedTextData::UserChannelID;

QString Sent(const QSignalSpy& spy, int i)
{
    DataBlock data;
    if (!data.SetXmlString(spy.at(i).at(1).toString()))
        return QStringLiteral("unreadable");
    const UserData* note = data.GetUserData().value(0);
    return QStringLiteral("%1|%2|%3")
        .arg(data.GetOffset())
        .arg(data.GetContent(), note ? note->CallSign : QString());
}

} // namespace

class TestUserTyping : public QObject {
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void typedRunsAreStamped();
    void refusedEdits_data();
    void refusedEdits();
    void takeEditedDataStepsBackOverSameTime();
    void applyUserChannel();
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
    QTest::addColumn<QString>("spans");
    // clang-format off
    QTest::newRow("two words after a space become two runs") << QStringList{"abc "} << 4 << 0 << "de fg" << "abc de fg" << 4 << "0-4 4-7 7-9";
    QTest::newRow("a word without space first continues the last run") << QStringList{"abc"} << 3 << 0 << "de fg" << "abcde fg" << 0 << "0-6 6-8";
    QTest::newRow("paragraph separator is stored as line break") << QStringList{"abc"} << 3 << 0 << QStringLiteral("x\u2029y") << "abcx\ny" << 0 << "0-5 5-6";
    QTest::newRow("count past the end drops the editor's last character") << QStringList{"abc"} << 3 << 1 << QStringLiteral("de\u2029") << "abcde" << 0 << "0-5";
    QTest::newRow("first words of an empty block") << QStringList{} << 0 << 0 << "hi there" << "hi there" << 0 << "0-3 3-8";
    QTest::newRow("deletion at the start of the second run") << QStringList{"hello ", "world"} << 6 << 3 << "" << "hello ld" << 6 << "0-6 6-8";
    // Run 1 may give up 8 - 6 = 2 positions, run 0 the third.
    QTest::newRow("replacement across two runs") << QStringList{"hello ", "world"} << 4 << 4 << "Z" << "hellZrld" << 0 << "0-5 5-8";
    // clang-format on
}

void TestUserTyping::typing()
{
    QFETCH(QStringList, runs);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, typed);
    DecodedTextData model;
    FixedClock clock;
    model.SetClock(&clock);
    BlockPtr block = MakeBlock(runs, User);
    // An annotation behind the edit keeps marking the same characters.
    block->userData << Note(UserData::CallSignType, block->EndPosition() - 1, block->EndPosition());
    const QString marked = block->text.right(1);
    QTEST(block->InsertTypedText(index, count, typed, &model), "result");
    QVERIFY_BLOCK(*block);
    QTEST(block->text, "text");
    QTEST(Spans(*block), "spans");
    QVERIFY(block->changed);
    if (block->userData.first()->End > 0)
        QCOMPARE(block->Text(block->userData.first()->Start, block->userData.first()->End), marked);
}

void TestUserTyping::typedRunsAreStamped()
{
    DecodedTextData model;
    FixedClock clock;
    model.SetClock(&clock);
    BlockPtr block = MakeBlock({ "abc " }, User);
    QCOMPARE(block->InsertTypedText(4, 0, "de fg", &model), 4);
    QCOMPARE(block->snippets.at(0).flags, 0);
    for (int i = 1; i < 3; ++i) {
        QCOMPARE(block->snippets.at(i).quality, 100);
        QCOMPARE(block->snippets.at(i).flags, SnippetEdited);
        QCOMPARE(block->snippets.at(i).timestamp, clock.now);
    }
    // Continuing a word records how much the run grew and keeps its time.
    const QDateTime typedAt = clock.now;
    clock.now = clock.now.addSecs(5);
    QCOMPARE(block->InsertTypedText(9, 0, "gh", &model), 7);
    QCOMPARE(block->snippets.size(), 3);
    QCOMPARE(block->snippets.at(2).shift, 2);
    QCOMPARE(block->snippets.at(2).timestamp, typedAt);
}

void TestUserTyping::refusedEdits_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("gap");
    QTest::newRow("before the text") << -1 << 0 << "x" << false;
    QTest::newRow("past the text") << 6 << 0 << "x" << false;
    QTest::newRow("nothing typed nor removed") << 2 << 0 << "" << false;
    QTest::newRow("nothing left to remove at the end") << 5 << 3 << "" << false;
    QTest::newRow("negative count") << 1 << -4 << "x" << false;
    QTest::newRow("largest index") << INT_MAX << INT_MAX << "x" << false;
    // Typing addresses text indices as positions; a block with a gap has other positions.
    QTest::newRow("block with a gap") << 1 << 0 << "x" << true;
}

void TestUserTyping::refusedEdits()
{
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, typed);
    QFETCH(bool, gap);
    DecodedTextData model;
    BlockPtr block = MakeBlock({ "ab ", "cd" }, User);
    if (gap)
        AddGap(*block, 6);
    const QString before = block->text + Spans(*block);
    QCOMPARE(block->InsertTypedText(index, count, typed, &model), -1);
    QCOMPARE(block->text + Spans(*block), before);
    QVERIFY(!block->changed);
}

void TestUserTyping::takeEditedDataStepsBackOverSameTime()
{
    BlockPtr block = MakeBlock({ "aa ", "bb ", "cc ", "dd" }, User);
    block->snippets[2].timestamp = block->snippets[1].timestamp;
    block->snippets[2].flags |= SnippetEdited;
    block->changed = true;
    DataBlock data;
    QVERIFY(data.SetXmlString(block->TakeEditedData()));
    QCOMPARE(data.GetChannel(), User);
    QCOMPARE(data.GetID(), 7);
    QCOMPARE(data.GetOffset(), 3);
    QCOMPARE(data.GetContent(), QStringLiteral("bb cc dd"));
    QCOMPARE(data.GetTimeStamp().size(), 3);
    QCOMPARE(data.GetTimeStamp().at(2).Position, 6);
    QCOMPARE(data.GetTimeStamp().at(2).Time, T0.addSecs(3));
    QCOMPARE(block->snippets.at(2).flags, 0);
    QVERIFY(!block->changed);
    QVERIFY(block->TakeEditedData().isEmpty()); // what went out does not go out again
}

void TestUserTyping::applyUserChannel()
{
    DecodedTextData model;
    QSignalSpy created(&model, &DecodedTextData::ChannelCreated);
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    model.ApplyUserChannel();
    QVERIFY(!model.ChannelExists(User)); // nothing to apply creates nothing
    QCOMPARE(created.count() + spy.count(), 0);

    FixedClock clock;
    model.SetClock(&clock);
    BlockPtr block = model.GetChannelData(User)->GetBlock(T0, 1);
    block->InsertTypedText(0, 0, "cq dx", &model);
    clock.now = clock.now.addSecs(30);
    block->InsertTypedText(5, 0, " de dl1abc", &model);
    model.ApplyUserChannel();
    model.ApplyUserChannel();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), User);
    QCOMPARE(Sent(spy, 0), QStringLiteral("0|cq dx de dl1abc|"));

    // An annotation goes out with its run and the runs typed at the same time before it.
    QVERIFY(model.SetUserData(block, Note(UserData::CallSignType, 9, 15, "DL1ABC"),
                              UserData::CallSignType, 9, 15));
    QCOMPARE(spy.count(), 1);
    model.ApplyUserChannel();
    QCOMPARE(Sent(spy, 1), QStringLiteral("6|de dl1abc|DL1ABC"));

    // Only the newest block is handed out.
    block->InsertTypedText(15, 0, " more", &model);
    model.GetChannelData(User)->GetBlock(T0, 2);
    model.ApplyUserChannel();
    QCOMPARE(spy.count(), 2);
}

void TestUserTyping::failedExportIsTraced()
{
    // An id beyond what a document can hold makes the writer throw; the failure is traced only
    // with the exception bit of the trace mask.
    const QByteArray savedMask = qgetenv("VX_TRACE_MASK");
    for (const char* mask : { "0x20", "0x1f" }) {
        QStringList lines;
        const ErrorHandler::OutputSink previous
            = ErrorHandler::SetOutputSink([&lines](const QString& line) { lines << line; });
        qputenv("VX_TRACE_MASK", mask);
        BlockPtr block = MakeBlock({ "ab ", "cd" }, User, 200000000);
        block->snippets[1].flags |= SnippetEdited;
        const QString xml = block->TakeEditedData();
        ErrorHandler::SetOutputSink(previous);
        QVERIFY(xml.isEmpty());
        const bool traced = qstrcmp(mask, "0x20") == 0;
        QCOMPARE(lines.size(), traced ? 1 : 0);
        const QString prefix
            = QStringLiteral("controls\\decodedtextview\\decodedtextdata(920): TakeEditedData: ");
        if (traced)
            QVERIFY2(lines.at(0).startsWith(prefix) && lines.at(0).size() > prefix.size(),
                     qPrintable(lines.at(0)));
    }
    qputenv("VX_TRACE_MASK", savedMask);
}

QTEST_GUILESS_MAIN(TestUserTyping)
#include "tst_usertyping.moc"
