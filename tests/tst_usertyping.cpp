#include "blockinvariants.h"
#include "errorhandler.h"
#include "modelfixtures.h"
#include "widgetfixtures.h"

#include <QtTest>

#include <climits>

using namespace Fixtures;
using VarnoResultDataXml::DataBlock;
using WidgetFixtures::Joined;

namespace {

const int User = DecodedTextData::UserChannelID;

// "start-end" per run, "/shift" behind a run that grew, "*" behind one marked as edited.
QString Runs(const DecodedTextBlock& block)
{
    QStringList runs;
    for (const DecodedTextSnippet& s : block.snippets)
        runs << QStringLiteral("%1-%2").arg(s.start).arg(s.end)
                + (s.shift ? QStringLiteral("/%1").arg(s.shift) : QString())
                + (s.flags & SnippetEdited ? "*" : "");
    return runs.join(QLatin1Char(' '));
}

// What a SaveUserData message carries: channel, block id, offset, text, its stamps as
// "position after the offset@seconds after T0" and the first annotation's call sign.
QString Sent(const QSignalSpy& spy, int i)
{
    DataBlock data;
    if (!data.SetXmlString(spy.at(i).at(1).toString()))
        return QStringLiteral("unreadable");
    QStringList stamps;
    for (const VarnoResultDataXml::TimeStamp& stamp : data.GetTimeStamp())
        stamps << QStringLiteral("%1@%2").arg(stamp.Position).arg(T0.secsTo(stamp.Time));
    const UserData* note = data.GetUserData().value(0);
    return Joined(data.GetChannel(), data.GetID(), data.GetOffset(), data.GetContent(), stamps.join(' '),
                  note ? note->CallSign : QString());
}

} // namespace

class TestUserTyping : public QObject {
    Q_OBJECT

private slots:
    void typing_data()
    {
        QTest::addColumn<QStringList>("runs"); // a last run "+gap": a gap of 6 positions instead
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("result"); // -1: refused, the block stays as it was
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("after");
        const QStringList two { "ab ", "cd" };
        // clang-format off
        QTest::newRow("two words after a space become two runs") << QStringList{"abc "} << 4 << 0 << "de fg" << 4 << "abc de fg" << "0-4 4-7* 7-9*";
        QTest::newRow("a word without space first continues the last run") << QStringList{"abc"} << 3 << 0 << "de fg" << 0 << "abcde fg" << "0-6/3* 6-8*";
        QTest::newRow("count past the end drops the editor's last character") << QStringList{"abc"} << 3 << 1 << QStringLiteral("de\u2029") << 0 << "abcde" << "0-5/2*";
        QTest::newRow("first words of an empty block") << QStringList{} << 0 << 0 << "hi there" << 0 << "hi there" << "0-3* 3-8*";
        QTest::newRow("deletion at the start of the second run") << QStringList{"hello ", "world"} << 6 << 3 << "" << 6 << "hello ld" << "0-6 6-8/-3*";
        // Run 1 may give up 8 - 6 = 2 positions, run 0 the third.
        QTest::newRow("replacement across two runs") << QStringList{"hello ", "world"} << 4 << 4 << "Z" << 0 << "hellZrld" << "0-5/-1* 5-8/-2*";
        QTest::newRow("the largest count ends at the text's end") << two << 1 << INT_MAX << "x" << 0 << "ax" << "0-2/-1* 2-2/-2*";
        QTest::newRow("refused before the text") << two << -1 << 0 << "x" << -1 << "" << "";
        QTest::newRow("refused past the text") << two << 6 << 0 << "x" << -1 << "" << "";
        QTest::newRow("refused: nothing left to remove at the end") << two << 5 << 3 << "" << -1 << "" << "";
        QTest::newRow("refused: negative count") << two << 1 << -4 << "x" << -1 << "" << "";
        // Typing addresses text indices as positions; a block with a gap has other positions.
        QTest::newRow("refused in a block with a gap") << QStringList{"ab ", "+gap"} << 1 << 0 << "x" << -1 << "" << "";
        // clang-format on
    }

    void typing()
    {
        QFETCH(QStringList, runs);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(QString, typed);
        QFETCH(int, result);
        DecodedTextData model;
        FixedClock clock;
        model.SetClock(&clock);
        const bool gap = runs.removeAll(QStringLiteral("+gap")) > 0;
        BlockPtr block = MakeBlock(runs, User);
        if (gap)
            AddGap(*block, 6);
        // An annotation behind the edit keeps marking the same characters.
        block->userData << Note(UserData::CallSignType, block->EndPosition() - 1,
                                block->EndPosition());
        const QString marked = block->text.right(1);
        const bool behind = qint64(index) + count < block->text.size();
        const QString before = Joined(block->text, Runs(*block), block->changed);
        QCOMPARE(block->InsertTypedText(index, count, typed, &model), result);
        if (result < 0) {
            QCOMPARE(Joined(block->text, Runs(*block), block->changed), before);
            return;
        }
        QVERIFY_BLOCK(*block);
        QTEST(block->text, "text");
        QTEST(Runs(*block), "after");
        QVERIFY(block->changed);
        // Typed runs are certain and stamped now; the runs there before keep their times.
        for (int i = 0; i < block->snippets.size(); ++i) {
            const DecodedTextSnippet& s = block->snippets.at(i);
            QCOMPARE(s.timestamp, i < runs.size() ? T0.addSecs(i) : clock.now);
            QCOMPARE(s.quality, i < runs.size() ? 90 : 100);
        }
        const UserData* mark = block->userData.first();
        if (behind)
            QCOMPARE(block->Text(mark->Start, mark->End), marked);
    }

    void applyUserChannel()
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
        QCOMPARE(Sent(spy, 0), QStringLiteral("1000,1,0,cq dx de dl1abc,0@3600 3@3600 6@3630 9@3630,"));
        QVERIFY(!block->changed); // taken: the export does not count it as changed again

        // An annotation goes out with its run and the runs typed at the same time before it; what
        // went out is taken, so the earlier runs do not go out again.
        QVERIFY(model.SetUserData(block, Note(UserData::CallSignType, 9, 15, "DL1ABC"),
                                  UserData::CallSignType, 9, 15));
        QCOMPARE(spy.count(), 1);
        model.ApplyUserChannel();
        QCOMPARE(Sent(spy, 1), QStringLiteral("1000,1,6,de dl1abc,0@3630 3@3630,DL1ABC"));

        // Only the newest block is handed out.
        block->InsertTypedText(15, 0, " more", &model);
        model.GetChannelData(User)->GetBlock(T0, 2);
        model.ApplyUserChannel();
        QCOMPARE(spy.count(), 2);
    }

    void failedExportIsTraced()
    {
        // An id beyond what a document can hold makes the writer throw; the failure is traced
        // only with the exception bit of the trace mask.
        const QByteArray savedMask = qgetenv("VX_TRACE_MASK");
        const QString prefix
            = QStringLiteral("controls\\decodedtextview\\decodedtextdata(920): TakeEditedData: ");
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
            QCOMPARE(lines.size(), mask[2] == '2' ? 1 : 0);
            for (const QString& line : lines)
                QVERIFY2(line.startsWith(prefix) && line.size() > prefix.size(), qPrintable(line));
        }
        qputenv("VX_TRACE_MASK", savedMask);
    }
};

QTEST_GUILESS_MAIN(TestUserTyping)
#include "tst_usertyping.moc"
