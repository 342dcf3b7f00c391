#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QSignalSpy>
#include <QtTest>

#include <climits>
#include <memory>

using namespace Fixtures;
using VarnoResultDataXml::DataBlock;

namespace {

const QString CallSign = UserData::CallSignType;
const QString Comment = UserData::CommentType;
const QString ChangeType = UserData::ChangeType;

// The annotations of the i-th document sent to the host, as "start-end:text".
QString Sent(const QSignalSpy& spy, int i)
{
    DataBlock carrier;
    if (!carrier.SetXmlString(spy.at(i).at(1).toString()))
        return QStringLiteral("unreadable");
    QStringList out;
    for (const UserData* u : carrier.GetUserData())
        out << QStringLiteral("%1-%2:%3").arg(u->Start).arg(u->End).arg(u->Text);
    return out.join(' ');
}

// "text|annotation ranges|annotations made".
QString State(const DecodedTextBlock& block)
{
    return QStringLiteral("%1|%2|%3").arg(block.text, Ranges(block)).arg(block.userDataCount);
}

// State, then "start-end:length" per snippet, "g" behind gaps, "/shift" where there is one and
// "e" where the snippet is marked edited.
QString Snapshot(const DecodedTextBlock& block)
{
    QStringList out;
    for (const DecodedTextSnippet& s : block.snippets)
        out << QStringLiteral("%1-%2:%3%4").arg(s.start).arg(s.end).arg(s.length)
                       .arg(s.flags & SnippetGap ? "g" : "")
                + (s.shift ? QStringLiteral("/%1").arg(s.shift) : QString())
                + (s.flags & SnippetEdited ? "e" : "");
    return State(block) + '|' + out.join(' ');
}

} // namespace

class TestUserData : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TZ", "Europe/Berlin"); }
    void editSteps_data();
    void editSteps();
    void overlapReplacement();
    void refusals_data();
    void refusals();
    void queriesAndToolTips();
    void importUserData();
    void channelsWithActiveUserDataAndModifier();
};

// Each step: "<op><start>-<end>[ <new text>/<replaced text>][ => <state after it>]", op c for a
// change, x to take a change out, n a comment, s a call sign. Runs are apart by '|', "~7" is a
// gap of width 7 holding one line break.
void TestUserData::editSteps_data()
{
    QTest::addColumn<QString>("runs");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("sent"); // every document sent to the host, apart by " / "
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("offline");
    // clang-format off
    // "lo" becomes "LOOP", the comment on "orl" moving along. Edited again, the old characters
    // come back before "X" goes in; the host hears of the old change as deleted and of the new
    // one. Taken out, the decoded text comes back, and a change can go in again.
    QTest::newRow("change applied, edited, taken out and made again") << "Hello| world"
        << QStringList { "s0-2", "n7-10", "c3-5 LOOP/lo => HelLOOP world|0-2 3-7 9-12|3|0-7:7/2e 7-13:6e", "c3-7 X/lo => HelX world|0-2 3-4 6-9|3|0-4:4/-1e 4-10:6e", "x3-4 => Hello world|0-2 7-10|2|0-5:5/1e 5-11:6e", "c6-7 W/w => Hello World|0-2 6-7 7-10|3|0-5:5/1e 5-11:6e" } << "0-2: / 7-10: / 3-7:LOOP / 3-7: 3-4:X / 3-4: / 6-7:W" << 3 << false;
    // Worked out by hand: the last run touched gives up at most what lies of it in the range,
    // the run before it the rest; what is left of a growth goes to the last run again.
    QTest::newRow("shrinking across two runs") << "Hello| world" << QStringList { "n9-10", "c3-8 Z/lo wo => HelZrld|3-4 5-6|2|0-4:4/-1e 4-7:3/-3e", "x3-4 => Hello world|9-10|1|0-5:5/1e 5-11:6/3e" } << "9-10: / 3-4:Z / 3-4:" << 3 << false;
    QTest::newRow("growth beyond both runs' share") << "ab|cdefgh" << QStringList { "n4-5", "c1-3 WXYZ12/bc => aWXYZ12defgh|1-7 8-9|2|0-3:3/1e 3-12:9/3e", "x1-7 => abcdefgh|4-5|1|0-2:2/-1e 2-8:6/-3e" } << "4-5: / 1-7:WXYZ12 / 1-7:" << 3 << false;
    QTest::newRow("insertion at a point") << "abcdef" << QStringList { "n4-5", "c3-3 XYZ/ => abcXYZdef|3-6 7-8|2|0-9:9/3e", "x3-6 => abcdef|4-5|1|0-6:6/-3e" } << "4-5: / 3-6:XYZ / 3-6:" << 3 << false;
    // The second change overwrites the run's shift, so undoing the first cannot rely on it.
    QTest::newRow("revert after a later change in the same run") << "Hello world"
        << QStringList { "c0-1 JJJ/H", "c8-9 WW/w => JJJello WWorld|0-3 8-10|2|0-14:14/1e", "x0-3 => Hello WWorld|6-8|1|0-12:12/-2e", "x6-8 => Hello world||0|0-11:11/-1e" } << "0-3:JJJ / 8-10:WW / 0-3: / 6-8:" << 3 << false;
    // After the gap, positions and text indices differ by the gap's width. Worked out by hand:
    // [2, 10) touches the first change at its start, so that one gives "de" back first. The gap
    // keeps its width and takes no share; run 0 gives up its last position, and the gap owns
    // the new character in place of its line break, which it gets back when the change goes.
    QTest::newRow("change across a gap goes back whole") << "abc|~7|def"
        << QStringList { "c10-12 XYZ/de => abc\nXYZf|10-13|1|0-3:3 3-10:1g 10-14:4/1e", "c2-10 Q/c\n => abQdef|2-3|1|0-2:2/-1e 2-9:1g 9-12:3/-1e", "x2-3 => abc\ndef||0|0-3:3/1e 3-10:1g 10-13:3/-1e" } << "10-13:XYZ / 10-13: 2-3:Q / 2-3:" << 3 << false;
    // Only the text is normalised; the range stays as the editor gave it. Inside the block the
    // change stays, at the block's end it reaches one past the end and is dropped, but is sent.
    QTest::newRow("normalised change inside the block") << "cafe!" << QStringList { "c3-4 e\u0301/e => caf\u00e9!|3-5|1|0-5:5" } << "3-5:\u00e9" << 3 << false;
    QTest::newRow("normalised change at the end is dropped") << "cafe" << QStringList { "c3-4 e\u0301/e => caf\u00e9||1|0-4:4" } << "3-5:\u00e9" << 3 << false;
    // Giving "LOOP" back shrinks "HelLOOP" to "Hello", which drops the old change while it is
    // replaced; it still goes out as deleted, with its range.
    QTest::newRow("change dropped while it is replaced") << "Hello" << QStringList { "c3-5 LOOP/lo", "c3-7 X/lo => HelX|3-4|1|0-4:4/-1e" } << "3-7:LOOP / 3-7: 3-4:X" << 3 << false;
    // Worked out by hand: giving back a deletion's two characters moves every annotation from
    // its start on by 2, the change itself included, before it is taken out.
    QTest::newRow("deletion taken out") << "Hello world" << QStringList { "c3-5 /lo => Hel world|3-3|1|0-9:9/-2e", "x3-4 => Hello world||0|0-11:11/2e" } << "3-3: / 5-5:" << 3 << false;
    // Offline the annotation stays for the export; on the user channel it goes out with the typed
    // text. Either way only the run it covers is marked edited.
    QTest::newRow("offline, nothing is sent") << "abc|def" << QStringList { "n4-5 => abcdef|4-5|1|0-3:3 3-6:3e" } << "" << 3 << true;
    QTest::newRow("the user channel sends nothing") << "abc|def" << QStringList { "n4-5 => abcdef|4-5|1|0-3:3 3-6:3e" } << "" << int(DecodedTextData::UserChannelID) << false;
    // A new comment over [5, 9) replaces a comment it overlaps, touching counts, and no other type.
    QTest::newRow("overlapped comment reaches into the range") << "01234|56789abcdef" << QStringList { "n7-12", "n5-9 => 0123456789abcdef|5-9|1|0-5:5 5-16:11" } << "7-12: / 7-12: 5-9:" << 3 << false;
    QTest::newRow("overlapped comment ends where the range starts") << "01234|56789abcdef" << QStringList { "n2-5", "n5-9 => 0123456789abcdef|5-9|1|0-5:5 5-16:11" } << "2-5: / 2-5: 5-9:" << 3 << false;
    QTest::newRow("overlapped comment starts where the range ends") << "01234|56789abcdef" << QStringList { "n9-11", "n5-9 => 0123456789abcdef|5-9|1|0-5:5 5-16:11" } << "9-11: / 9-11: 5-9:" << 3 << false;
    QTest::newRow("a comment apart stays") << "01234|56789abcdef" << QStringList { "n10-12", "n5-9 => 0123456789abcdef|5-9 10-12|2|0-5:5 5-16:11" } << "10-12: / 5-9:" << 3 << false;
    QTest::newRow("a call sign is another type") << "01234|56789abcdef" << QStringList { "s6-8", "n5-9 => 0123456789abcdef|5-9 6-8|2|0-5:5 5-16:11" } << "6-8: / 5-9:" << 3 << false;
    // clang-format on
}

void TestUserData::editSteps()
{
    QFETCH(QString, runs);
    QFETCH(QStringList, steps);
    QFETCH(int, channel);
    QFETCH(bool, offline);
    DecodedTextData model;
    model.SetOffline(offline);
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    BlockPtr block(new DecodedTextBlock(channel, 7, T0));
    for (const QString& run : runs.split('|'))
        run.startsWith('~') ? AddGap(*block, run.mid(1).toInt()) : AddRun(*block, run);
    for (const QString& step : steps) {
        const QString op = step.section(QStringLiteral(" => "), 0, 0), edit = op.section(' ', 1);
        const int start = op.mid(1).section('-', 0, 0).toInt();
        const int end = op.section('-', 1).section(' ', 0, 0).toInt();
        const QString type = op[0] == 's' ? CallSign : op[0] == 'n' ? Comment : ChangeType;
        UserData* u = op[0] == 'x' ? nullptr
            : type == ChangeType   ? Change(start, edit.section('/', 0, 0), edit.section('/', 1))
                                   : Note(type, start, end);
        QVERIFY2(model.SetUserData(block, u, type, start, end), qPrintable(step));
        QVERIFY(block->changed);
        if (step.contains(QStringLiteral(" => ")))
            QCOMPARE(op + " => " + Snapshot(*block), step);
    }
    // Checked at the end only: a gap holds the text of a change that covers it.
    QVERIFY_BLOCK(*block);
    QStringList sent;
    for (int i = 0; i < spy.size(); ++i)
        sent << Sent(spy, i);
    QTEST(sent.join(QStringLiteral(" / ")), "sent");
}

// Which annotations a new one replaces is left to the edit steps.
void TestUserData::overlapReplacement()
{
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    BlockPtr block = MakeBlock({ "01234", "56789abcdef" }, 12);
    UserData* old = Note(Comment, 7, 12, "old");
    old->Text = QStringLiteral("789");
    old->Modifier = QStringLiteral("bob");
    QVERIFY(model.SetUserData(block, old, Comment, 7, 12));
    QVERIFY(model.SetUserData(block, Note(Comment, 5, 9, "new"), Comment, 5, 9));
    QCOMPARE(block->FindUserData(Comment, 5, 9)->Comment, QStringLiteral("new"));
    // The host gets the block's key and first stamp, then what went (range and modifier only)
    // and what came.
    DataBlock carrier;
    QVERIFY(spy.at(1).at(0).toInt() == 12 && carrier.SetXmlString(spy.at(1).at(1).toString()));
    QStringList out { QStringLiteral("%1 %2 %3 %4@%5").arg(carrier.GetID()).arg(carrier.GetChannel())
                          .arg(carrier.GetContent()).arg(carrier.GetTimeStamp().size())
                          .arg(carrier.GetTimeStamp().value(0).Time == T0) };
    for (const UserData* u : carrier.GetUserData())
        out << QStringList { QString::number(u->Start), QString::number(u->End), u->Modifier,
                             u->Text, u->Comment, u->ReplacedText }.join(',');
    QCOMPARE(out.join(' '), QStringLiteral("7 12 - 1@1 7,12,bob,,, 5,9,,,new,"));
}

void TestUserData::refusals_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("replaced");
    QTest::addColumn<bool>("closed");
    // clang-format off
    QTest::newRow("start after end") << Comment << 6 << 2 << QString() << false;
    QTest::newRow("starts before the block") << CallSign << -3 << 2 << QString() << false;
    QTest::newRow("ends past the block") << Comment << 8 << 40 << QString() << false;
    QTest::newRow("huge range") << Comment << INT_MIN << INT_MAX << QString() << false;
    QTest::newRow("change starts past the block") << ChangeType << 30 << 32 << QString() << false;
    QTest::newRow("change replaces more than its range holds") << ChangeType << 3 << 5 << "lo world and more" << false;
    QTest::newRow("closed block takes no change") << ChangeType << 0 << 5 << "Hello" << true;
    QTest::newRow("closed block keeps its annotations") << Comment << 2 << 8 << QString() << true;
    // clang-format on
}

void TestUserData::refusals()
{
    QFETCH(QString, type);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, replaced);
    QFETCH(bool, closed);
    DecodedTextData model;
    BlockPtr block = MakeBlock({ "Hello", " world" });
    QVERIFY(model.SetUserData(block, Note(Comment, 2, 8), Comment, 2, 8));
    QVERIFY(model.SetUserData(block, Change(9, "LD", "ld"), ChangeType, 9, 11));
    block->closed = closed;
    block->changed = false;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    std::unique_ptr<UserData> bad(type == ChangeType ? Change(start, "xy", replaced)
                                                     : Note(type, start, end));
    QVERIFY(!model.SetUserData(block, bad.get(), type, start, end));
    if (closed)
        QVERIFY(!model.SetUserData(block, nullptr, type, start, end));
    QVERIFY_BLOCK(*block);
    QCOMPARE(State(*block), QStringLiteral("Hello worLD|2-8 9-11|2"));
    QVERIFY(spy.isEmpty() && !block->changed);
    if (closed)
        return;
    // A deletion over every position there is takes what overlaps and nothing else.
    QVERIFY(model.SetUserData(block, nullptr, ChangeType, INT_MIN, INT_MAX));
    QVERIFY(model.SetUserData(block, nullptr, CallSign, INT_MAX, INT_MIN));
    QCOMPARE(State(*block), QStringLiteral("Hello world|2-8|1"));
    // Length changes at the ends of the int range saturate instead of overflowing.
    block->ApplyLengthChange(INT_MIN, INT_MAX, INT_MAX, false);
    block->ApplyLengthChange(INT_MAX, INT_MIN, INT_MIN, true);
}

void TestUserData::queriesAndToolTips()
{
    BlockPtr block = MakeBlock({ "abcde", "fghijkl", "mnop" });
    block->userData << Note(CallSign, 0, 5, "DL1ABC") << Note(Comment, 3, 8, "hello")
                    << Note(CallSign, 4, 6, "second") << Change(14, "xy", "op", "typo");
    // Touching at the range's start is enough; which marks a range holds is left to the menus.
    QVERIFY(block->FindUserData(CallSign, 5, 6)->CallSign == "DL1ABC" && !block->FindUserData(CallSign, 7, 10));
    QVector<UserData*> found { nullptr };
    block->CollectUserData(CallSign, 0, 16, found);
    QCOMPARE(found.size(), 3);
    // Runs start at 10:00 UTC, 12:00 in Berlin in May; the end of an annotation counts.
    QStringList tips;
    for (int position : { 5, 13, 16, -1, 9 }) {
        tips << QString();
        block->ToolTip(position, tips.last(), position != 9);
    }
    QCOMPARE(tips, QStringList({ "12:00:01\nCall Sign: DL1ABC\nComment: hello\nCall Sign: second",
                                 "12:00:02", "Change: op\nComment: typo", "", "" }));
}

void TestUserData::importUserData()
{
    BlockPtr block = MakeBlock({ "0123456789abcdef" });
    block->userData << Note(Comment, 2, 4, "kept") << Note(Comment, 9, 11, "old")
                    << Note(CallSign, 9, 11, "sign");
    block->userDataCount = 1;
    QVector<UserData*> incoming { Note(Comment, 5, 8, "new"), Note(Comment, 9, 3, "backwards"),
                                  Note(Comment, 12, 40, "too long"), nullptr };
    block->ImportUserData(incoming, 3);
    qDeleteAll(incoming);
    // Moved by the offset, replacing what it overlaps of its type, ending with the text when it
    // reaches past it; the count is not touched.
    QCOMPARE(State(*block) + ' ' + block->userData.at(2)->Comment,
             QStringLiteral("0123456789abcdef|2-4 9-11 8-11 15-16|1 new"));
}

void TestUserData::channelsWithActiveUserDataAndModifier()
{
    DecodedTextData model;
    // channel, id, closed, annotations made
    const int blocks[][4] = { { 5, 1, 0, 1 }, { 5, 2, 0, 2 }, { 3, 1, 1, 4 }, { 3, 2, 0, 1 }, { 7, 1, 0, 0 }, { 9, 1, 1, 3 } };
    for (const auto& b : blocks) {
        BlockPtr block = model.GetChannelData(b[0])->GetBlock(T0, b[1]);
        block->closed = b[2];
        block->userDataCount = b[3];
    }
    QCOMPARE(model.GetChannelsWithActiveUserData(), (QVector<int> { 5, 3 }));
    // A host that knows no user name gives way to a placeholder.
    const QByteArray saved = qgetenv("VX_USER");
    qputenv("VX_USER", "");
    QCOMPARE(model.GetModifier(), QStringLiteral("unknown"));
    qputenv("VX_USER", saved);
}

QTEST_GUILESS_MAIN(TestUserData)
#include "tst_userdata.moc"
