#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QSignalSpy>
#include <QtTest>

#include <climits>
#include <memory>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::UserData;
using Block = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 20, 30), Qt::UTC);

// One data run per piece, chained from position 0, one second apart.
Block MakeBlock(const QStringList& runs, int channel = 3)
{
    Block block(new DecodedTextBlock(channel, 7, T0));
    int position = 0;
    for (int i = 0; i < runs.size(); ++i) {
        DecodedTextSnippet s;
        s.start = position;
        s.length = runs.at(i).size();
        s.end = position + s.length;
        s.quality = 90;
        s.timestamp = T0.addSecs(i);
        block->snippets.append(s);
        block->text += runs.at(i);
        position = s.end;
    }
    return block;
}

void AppendGap(const Block& block, int width)
{
    DecodedTextSnippet gap;
    gap.start = block->EndPosition();
    gap.end = gap.start + width;
    gap.length = 1;
    gap.flags = SnippetGap;
    gap.timestamp = T0;
    block->snippets.append(gap);
    block->text += QLatin1Char('\n');
}

UserData* Note(const QString& type, int start, int end, const QString& text = QStringLiteral("note"))
{
    auto* a = new UserData;
    a->Type = type;
    a->Start = start;
    a->End = end;
    a->Comment = text;
    a->CallSign = text;
    return a;
}

UserData* Change(int start, const QString& newText, const QString& replaced,
                 const QString& comment = QString())
{
    auto* a = new UserData;
    a->Type = UserData::ChangeType;
    a->Start = start;
    a->End = start + newText.size();
    a->Text = newText;
    a->ReplacedText = replaced;
    a->Comment = comment;
    return a;
}

// "start-end" of every annotation in list order, readable when a comparison fails.
QString Ranges(const Block& block)
{
    QStringList out;
    for (const UserData* a : block->userData)
        out << QStringLiteral("%1-%2").arg(a->Start).arg(a->End);
    return out.join(QLatin1Char(' '));
}

std::unique_ptr<DataBlock> Carrier(const QSignalSpy& spy, int i = 0)
{
    std::unique_ptr<DataBlock> carrier(new DataBlock);
    carrier->SetXmlString(spy.at(i).at(1).toString());
    return carrier;
}

} // namespace

class TestUserData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void changeApplyRevertReapply();
    void changeAcrossTwoRunsAndBack();
    void revertAfterLaterChangeInSameRun();
    void insertAtPointKeepsTheChangeInPlace();
    void changeTextIsStoredNormalised();
    void changePushedPastTheEndIsStillSent();
    void changeAtTheEndReplacedAgain();
    void removedDeletionMovesWithItsRevert();
    void restOfALengthChangeIsUndoneExactly();
    void overlapReplacement_data();
    void overlapReplacement();
    void carrierDocument();
    void closedBlockRefuses();
    void notSentOut_data();
    void notSentOut();
    void badAnnotationsAreRefused_data();
    void badAnnotationsAreRefused();
    void extremeRangesDoNotCrash();
    void changeAcrossGapGoesBackWhole();
    void queries();
    void toolTip_data();
    void toolTip();
    void importUserData();
    void channelsWithActiveUserData();
    void modifier();
};

void TestUserData::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
}

void TestUserData::changeApplyRevertReapply()
{
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("Hello"), QStringLiteral(" world")});
    QVERIFY(model.SetUserData(block, Note(UserData::CallSignType, 0, 2), UserData::CallSignType, 0, 2));
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 7, 10), UserData::CommentType, 7, 10));
    QCOMPARE(block->userDataCount, 2);

    // "lo" at [3, 5) becomes "LOOP": two characters more, the comment on "orl" moves with them.
    QVERIFY(model.SetUserData(block, Change(3, "LOOP", "lo"), UserData::ChangeType, 3, 5));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("HelLOOP world"));
    QCOMPARE(block->EndPosition(), 13);
    QCOMPARE(Ranges(block), QStringLiteral("0-2 3-7 9-12"));
    QCOMPARE(block->Text(9, 12), QStringLiteral("orl"));
    QVERIFY(block->snippets.at(0).flags & SnippetEdited);
    QCOMPARE(block->snippets.at(0).shift, 2);
    QCOMPARE(block->userDataCount, 3);
    QVERIFY(block->changed);
    QCOMPARE(spy.count(), 3);

    // The operator edits the same range again: the old characters come back before "X" goes in.
    QVERIFY(model.SetUserData(block, Change(3, "X", "lo"), UserData::ChangeType, 3, 7));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("HelX world"));
    QCOMPARE(Ranges(block), QStringLiteral("0-2 3-4 6-9"));
    QCOMPARE(block->Text(6, 9), QStringLiteral("orl"));
    QCOMPARE(block->userDataCount, 3);
    const auto carrier = Carrier(spy, 3);
    QCOMPARE(carrier->GetUserData().size(), 2);
    QCOMPARE(carrier->GetUserData().at(0)->Start, 3);
    QCOMPARE(carrier->GetUserData().at(0)->End, 7);
    QVERIFY(carrier->GetUserData().at(0)->Text.isEmpty());
    QCOMPARE(carrier->GetUserData().at(1)->Text, QStringLiteral("X"));

    // Deleting the change gives the decoded text back.
    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, 3, 4));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello world"));
    QCOMPARE(Ranges(block), QStringLiteral("0-2 7-10"));
    QCOMPARE(block->userDataCount, 2);

    // And a change can go in again afterwards.
    QVERIFY(model.SetUserData(block, Change(6, "W", "w"), UserData::ChangeType, 6, 7));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello World"));
}

void TestUserData::changeAcrossTwoRunsAndBack()
{
    // Worked out by hand: "lo wo" at [3, 8) spans the end of run 0 and the start of run 1.
    // Run 1 may give up at most 8 - 5 = 3 positions, run 0 the remaining one.
    DecodedTextData model;
    Block block = MakeBlock({QStringLiteral("Hello"), QStringLiteral(" world")});
    QVERIFY(model.SetUserData(block, Change(3, "Z", "lo wo"), UserData::ChangeType, 3, 8));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("HelZrld"));
    QCOMPARE(block->snippets.at(0).end, 4);
    QCOMPARE(block->snippets.at(1).start, 4);
    QCOMPARE(block->snippets.at(1).end, 7);
    QCOMPARE(block->snippets.at(1).shift, -3);

    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, 3, 4));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello world"));
    QCOMPARE(block->snippets.at(0).end, 5);
    QCOMPARE(block->snippets.at(1).end, 11);
}

void TestUserData::revertAfterLaterChangeInSameRun()
{
    // The second change overwrites the run's shift, so undoing the first one cannot rely on it.
    DecodedTextData model;
    Block block = MakeBlock({QStringLiteral("Hello world")});
    QVERIFY(model.SetUserData(block, Change(0, "JJJ", "H"), UserData::ChangeType, 0, 1));
    QVERIFY(model.SetUserData(block, Change(8, "WW", "w"), UserData::ChangeType, 8, 9));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("JJJello WWorld"));

    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, 0, 3));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello WWorld"));
    QCOMPARE(Ranges(block), QStringLiteral("6-8"));

    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, 6, 8));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello world"));
    QCOMPARE(block->userDataCount, 0);
}

void TestUserData::insertAtPointKeepsTheChangeInPlace()
{
    DecodedTextData model;
    Block block = MakeBlock({QStringLiteral("abcdef")});
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 4, 6), UserData::CommentType, 4, 6));
    QVERIFY(model.SetUserData(block, Change(3, "XYZ", QString()), UserData::ChangeType, 3, 3));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abcXYZdef"));
    QCOMPARE(Ranges(block), QStringLiteral("3-6 7-9"));
}

void TestUserData::changeTextIsStoredNormalised()
{
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("cafe!")});
    QVERIFY(model.SetUserData(block, Change(3, QStringLiteral("e\u0301"), "e"), UserData::ChangeType, 3, 4));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("caf\u00e9!"));
    QCOMPARE(block->userData.at(0)->Text, QStringLiteral("\u00e9"));
    // Only the text is normalised; the range stays as the editor gave it.
    QCOMPARE(block->userData.at(0)->End, 5);
    QCOMPARE(Carrier(spy)->GetUserData().at(0)->End, 5);
}

void TestUserData::changePushedPastTheEndIsStillSent()
{
    // The range of the normalised text reaches one past the block's end, so moving the
    // annotations drops the change from the block; the host is still told about it.
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("cafe")});
    QVERIFY(model.SetUserData(block, Change(3, QStringLiteral("e\u0301"), "e"), UserData::ChangeType, 3, 4));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("caf\u00e9"));
    QVERIFY(block->userData.isEmpty());
    QCOMPARE(block->userDataCount, 1);
    QCOMPARE(spy.count(), 1);
    const auto carrier = Carrier(spy);
    QCOMPARE(carrier->GetUserData().size(), 1);
    QCOMPARE(carrier->GetUserData().at(0)->Text, QStringLiteral("\u00e9"));
    QCOMPARE(carrier->GetUserData().at(0)->ReplacedText, QStringLiteral("e"));
}

void TestUserData::changeAtTheEndReplacedAgain()
{
    // Giving "LOOP" back shrinks the block to "Hello", which drops the old change from the block
    // while it is being replaced; it still goes to the host as deleted, with its range.
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("Hello")});
    QVERIFY(model.SetUserData(block, Change(3, "LOOP", "lo"), UserData::ChangeType, 3, 5));
    QCOMPARE(block->text, QStringLiteral("HelLOOP"));
    QVERIFY(model.SetUserData(block, Change(3, "X", "lo"), UserData::ChangeType, 3, 7));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("HelX"));
    QCOMPARE(Ranges(block), QStringLiteral("3-4"));
    QCOMPARE(block->userDataCount, 1);
    const auto carrier = Carrier(spy, 1);
    QCOMPARE(carrier->GetUserData().size(), 2);
    QCOMPARE(carrier->GetUserData().at(0)->Start, 3);
    QCOMPARE(carrier->GetUserData().at(0)->End, 7);
    QVERIFY(carrier->GetUserData().at(0)->Text.isEmpty());
    QCOMPARE(carrier->GetUserData().at(1)->Text, QStringLiteral("X"));
}

void TestUserData::removedDeletionMovesWithItsRevert()
{
    // Worked out by hand: deleting "lo" leaves the change [3, 3). Giving the two characters
    // back moves every annotation from position 3 on by 2, the change itself included, before
    // it is taken out; the text goes back where the change started.
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("Hello world")});
    QVERIFY(model.SetUserData(block, Change(3, QString(), "lo"), UserData::ChangeType, 3, 5));
    QCOMPARE(block->text, QStringLiteral("Hel world"));
    QCOMPARE(Ranges(block), QStringLiteral("3-3"));
    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, 3, 4));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello world"));
    QCOMPARE(block->userDataCount, 0);
    const auto carrier = Carrier(spy, 1);
    QCOMPARE(carrier->GetUserData().size(), 1);
    QCOMPARE(carrier->GetUserData().at(0)->Start, 5);
    QCOMPARE(carrier->GetUserData().at(0)->End, 5);
}

void TestUserData::restOfALengthChangeIsUndoneExactly()
{
    // Worked out by hand: "bc" at [1, 3) becomes six characters. Run 1 may take 3 - 2 = 1,
    // run 0 takes 2 - 1 = 1, and the rest of 2 goes to run 1 as well, which then has taken 3.
    DecodedTextData model;
    Block block = MakeBlock({QStringLiteral("ab"), QStringLiteral("cdefgh")});
    QVERIFY(model.SetUserData(block, Change(1, "WXYZ12", "bc"), UserData::ChangeType, 1, 3));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("aWXYZ12defgh"));
    QCOMPARE(block->snippets.at(0).end, 3);
    QCOMPARE(block->snippets.at(0).shift, 1);
    QCOMPARE(block->snippets.at(1).start, 3);
    QCOMPARE(block->snippets.at(1).end, 12);
    QCOMPARE(block->snippets.at(1).shift, 3);

    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, 1, 2));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abcdefgh"));
    QCOMPARE(block->snippets.at(0).end, 2);
    QCOMPARE(block->snippets.at(1).start, 2);
    QCOMPARE(block->snippets.at(1).end, 8);
}

void TestUserData::overlapReplacement_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("replaced");
    // The new comment goes over [5, 9).
    QTest::newRow("existing reaches into the range") << UserData::CommentType << 7 << 12 << true;
    QTest::newRow("existing covers the range") << UserData::CommentType << 2 << 12 << true;
    QTest::newRow("existing ends where the range starts") << UserData::CommentType << 2 << 5 << true;
    QTest::newRow("existing starts where the range ends") << UserData::CommentType << 9 << 11 << true;
    QTest::newRow("existing lies apart") << UserData::CommentType << 10 << 12 << false;
    QTest::newRow("a call sign is another type") << UserData::CallSignType << 6 << 8 << false;
}

void TestUserData::overlapReplacement()
{
    QFETCH(QString, type);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(bool, replaced);
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("0123456789abcdef")});
    QVERIFY(model.SetUserData(block, Note(type, start, end), type, start, end));
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 5, 9, "new"), UserData::CommentType, 5, 9));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->userData.size(), replaced ? 1 : 2);
    QCOMPARE(block->userDataCount, replaced ? 1 : 2);
    QCOMPARE(Carrier(spy, 1)->GetUserData().size(), replaced ? 2 : 1);
    QVERIFY(block->FindUserData(UserData::CommentType, 5, 9));
    QCOMPARE(block->FindUserData(UserData::CommentType, 5, 9)->Comment, QStringLiteral("new"));
}

void TestUserData::carrierDocument()
{
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("0123"), QStringLiteral("456789")}, 12);
    UserData* old = Note(UserData::CommentType, 7, 10, "old");
    old->Text = QStringLiteral("789");
    old->Modifier = QStringLiteral("bob");
    QVERIFY(model.SetUserData(block, old, UserData::CommentType, 7, 10));
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 5, 9, "new"), UserData::CommentType, 5, 9));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toInt(), 12);

    const auto carrier = Carrier(spy, 1);
    QCOMPARE(carrier->GetID(), 7);
    QCOMPARE(carrier->GetChannel(), 12);
    QCOMPARE(carrier->GetContent(), QStringLiteral("-"));
    QCOMPARE(carrier->GetTimeStamp().size(), 1);
    QCOMPARE(carrier->GetTimeStamp().at(0).Time, T0);
    QCOMPARE(carrier->GetTimeStamp().at(0).Position, 0);
    QCOMPARE(carrier->GetUserData().size(), 2);
    const UserData* removed = carrier->GetUserData().at(0);
    QCOMPARE(removed->Start, 7);
    QCOMPARE(removed->End, 10);
    QCOMPARE(removed->Modifier, QStringLiteral("bob"));
    QVERIFY(removed->Text.isEmpty());
    QVERIFY(removed->Comment.isEmpty());
    QVERIFY(removed->ReplacedText.isEmpty());
    QCOMPARE(carrier->GetUserData().at(1)->Comment, QStringLiteral("new"));
    // The block keeps its own annotation, the document only a copy.
    QVERIFY(block->userData.at(0) != carrier->GetUserData().at(1));
}

void TestUserData::closedBlockRefuses()
{
    DecodedTextData model;
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("Hello world")});
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 0, 5), UserData::CommentType, 0, 5));
    block->closed = true;
    block->changed = false;
    std::unique_ptr<UserData> refused(Change(0, "Hi", "Hello"));
    QVERIFY(!model.SetUserData(block, refused.get(), UserData::ChangeType, 0, 5));
    QVERIFY(!model.SetUserData(block, nullptr, UserData::CommentType, 0, 5));
    QCOMPARE(block->text, QStringLiteral("Hello world"));
    QCOMPARE(block->userData.size(), 1);
    QVERIFY(!block->userData.contains(refused.get()));
    QVERIFY(!block->changed);
    QCOMPARE(spy.count(), 1);
}

void TestUserData::notSentOut_data()
{
    QTest::addColumn<bool>("offline");
    QTest::addColumn<int>("channel");
    QTest::newRow("offline evaluation keeps it for the export") << true << 3;
    QTest::newRow("user channel sends it with its typed text") << false << 1000;
}

void TestUserData::notSentOut()
{
    QFETCH(bool, offline);
    QFETCH(int, channel);
    DecodedTextData model;
    model.SetOffline(offline);
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);
    Block block = MakeBlock({QStringLiteral("abc"), QStringLiteral("def")}, channel);
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 4, 5), UserData::CommentType, 4, 5));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!(block->snippets.at(0).flags & SnippetEdited));
    QVERIFY(block->snippets.at(1).flags & SnippetEdited);
    QCOMPARE(block->userDataCount, 1);
    QVERIFY(block->changed);
}

void TestUserData::badAnnotationsAreRefused_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("replaced");
    QTest::newRow("start after end") << UserData::CommentType << 6 << 2 << QString();
    QTest::newRow("starts before the block") << UserData::CallSignType << -3 << 2 << QString();
    QTest::newRow("ends past the block") << UserData::CommentType << 8 << 40 << QString();
    QTest::newRow("huge range") << UserData::CommentType << INT_MIN << INT_MAX << QString();
    QTest::newRow("change starts past the block") << UserData::ChangeType << 30 << 32 << QString();
    QTest::newRow("change replaces more than its range holds")
        << UserData::ChangeType << 3 << 5 << QStringLiteral("lo world and more");
}

void TestUserData::badAnnotationsAreRefused()
{
    QFETCH(QString, type);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, replaced);
    DecodedTextData model;
    Block block = MakeBlock({QStringLiteral("Hello"), QStringLiteral(" world")});
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 2, 8), UserData::CommentType, 2, 8));
    QVERIFY(model.SetUserData(block, Change(9, "LD", "ld"), UserData::ChangeType, 9, 11));
    const QString before = Ranges(block);
    QSignalSpy spy(&model, &DecodedTextData::SaveUserData);

    std::unique_ptr<UserData> bad(type == UserData::ChangeType ? Change(start, "xy", replaced)
                                                                : Note(type, start, end));
    QVERIFY(!model.SetUserData(block, bad.get(), type, start, end));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello worLD"));
    QCOMPARE(Ranges(block), before);
    QCOMPARE(block->userDataCount, 2);
    QCOMPARE(spy.count(), 0);
}

void TestUserData::extremeRangesDoNotCrash()
{
    DecodedTextData model;
    Block block = MakeBlock({QStringLiteral("Hello world")});
    QVERIFY(model.SetUserData(block, Change(0, "J", "H"), UserData::ChangeType, 0, 1));
    QVERIFY(model.SetUserData(block, Note(UserData::CommentType, 3, 4), UserData::CommentType, 3, 4));
    // A deletion over every position there is takes what overlaps and nothing else.
    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, INT_MIN, INT_MAX));
    QVERIFY(model.SetUserData(block, nullptr, UserData::CallSignType, INT_MAX, INT_MIN));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("Hello world"));
    QCOMPARE(Ranges(block), QStringLiteral("3-4"));
    block->ApplyLengthChange(INT_MIN, INT_MAX, INT_MAX, false);
    block->ApplyLengthChange(INT_MAX, INT_MIN, INT_MIN, true);
}

void TestUserData::changeAcrossGapGoesBackWhole()
{
    DecodedTextData model;
    Block block = MakeBlock({QStringLiteral("abc")});
    AppendGap(block, 7);
    block->snippets.append(MakeBlock({QStringLiteral("def")})->snippets.at(0));
    block->snippets.last().start = 10;
    block->snippets.last().end = 13;
    block->text += QStringLiteral("def");
    QVERIFY_BLOCK(*block);

    // After the gap, positions and text indices differ by the gap's width.
    QVERIFY(model.SetUserData(block, Change(10, "XYZ", "de"), UserData::ChangeType, 10, 12));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abc\nXYZf"));
    QCOMPARE(block->EndPosition(), 14);

    // Worked out by hand: the range [2, 10) touches the first change at its start, so that one
    // gives "de" back first. The gap keeps its width and takes no share; run 0 gives up its
    // last position, and the gap now owns the new character in place of its line break.
    QVERIFY(model.SetUserData(block, Change(2, "Q", "c\n"), UserData::ChangeType, 2, 10));
    QCOMPARE(block->text, QStringLiteral("abQdef"));
    QCOMPARE(Ranges(block), QStringLiteral("2-3"));
    QCOMPARE(block->userDataCount, 1);
    const QVector<int> expected{0, 2, 2, 9, 9, 12};
    QVector<int> ranges;
    int owned = 0;
    for (const DecodedTextSnippet& s : block->snippets) {
        ranges << s.start << s.end;
        owned += s.length;
    }
    QCOMPARE(ranges, expected);
    QCOMPARE(owned, block->text.size());
    QCOMPARE(block->SnippetText(1), QStringLiteral("Q"));

    // Taking the change out gives the line break back to the gap.
    QVERIFY(model.SetUserData(block, nullptr, UserData::ChangeType, 2, 3));
    QVERIFY_BLOCK(*block);
    QCOMPARE(block->text, QStringLiteral("abc\ndef"));
    QCOMPARE(block->snippets.at(1).start, 3);
    QCOMPARE(block->snippets.at(1).end, 10);
    QCOMPARE(block->EndPosition(), 13);
}

void TestUserData::queries()
{
    Block block = MakeBlock({QStringLiteral("0123456789abcdef")});
    block->userData << Note(UserData::CallSignType, 2, 4, "first") << Note(UserData::CommentType, 3, 9)
                    << Note(UserData::CallSignType, 4, 6, "second") << Change(12, "xy", "cd");
    QCOMPARE(block->UserDataFlags(0, 1), 1);
    QCOMPARE(block->UserDataFlags(2, 2), 1 | 4);
    QCOMPARE(block->UserDataFlags(8, 10), 1 | 2);
    QCOMPARE(block->UserDataFlags(0, 16), 1 | 2 | 4 | 8);
    // Touching at the range's start is enough.
    QCOMPARE(block->UserDataFlags(14, 15), 1 | 8);

    QCOMPARE(block->FindUserData(UserData::CallSignType, 4, 5)->CallSign, QStringLiteral("first"));
    QVERIFY(!block->FindUserData(UserData::CallSignType, 7, 10));
    QVector<UserData*> found{nullptr};
    block->CollectUserData(UserData::CallSignType, 0, 16, found);
    QCOMPARE(found.size(), 3);
    QCOMPARE(found.at(2)->CallSign, QStringLiteral("second"));
}

void TestUserData::toolTip_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("withTime");
    QTest::addColumn<QString>("expected");
    // Call sign [0, 5), comment [3, 8), change [10, 12) with a comment; runs start at
    // 10:20:30 UTC, 11:20:30 in Berlin in January.
    QTest::newRow("both annotations in list order")
        << 4 << false << QStringLiteral("Call Sign: DL1ABC\nComment: hello");
    QTest::newRow("time of the second run first")
        << 7 << true << QStringLiteral("11:20:31\nComment: hello");
    QTest::newRow("the end of an annotation counts") << 5 << false << QStringLiteral("Call Sign: DL1ABC\nComment: hello");
    QTest::newRow("change with its comment") << 11 << false << QStringLiteral("Change: ab\nComment: typo");
    QTest::newRow("past the end no time") << 12 << true << QStringLiteral("Change: ab\nComment: typo");
    QTest::newRow("plain text only the time") << 9 << true << QStringLiteral("11:20:31");
    QTest::newRow("negative position") << -1 << true << QString();
}

void TestUserData::toolTip()
{
    QFETCH(int, position);
    QFETCH(bool, withTime);
    QFETCH(QString, expected);
    Block block = MakeBlock({QStringLiteral("abcde"), QStringLiteral("fghijkl")});
    block->userData << Note(UserData::CallSignType, 0, 5, "DL1ABC") << Note(UserData::CommentType, 3, 8, "hello")
                    << Change(10, "AB", "ab", "typo");
    QString out;
    block->ToolTip(position, out, withTime);
    QCOMPARE(out, expected);
}

void TestUserData::importUserData()
{
    Block block = MakeBlock({QStringLiteral("0123456789abcdef")});
    block->userData << Note(UserData::CommentType, 2, 4, "kept") << Note(UserData::CommentType, 9, 11, "old")
                    << Note(UserData::CallSignType, 9, 11, "sign");
    block->userDataCount = 1;
    QVector<UserData*> incoming{Note(UserData::CommentType, 5, 8, "new"),
                                Note(UserData::CommentType, 9, 3, "backwards"),
                                Note(UserData::CommentType, 12, 40, "too long"), nullptr};
    block->ImportUserData(incoming, 3);
    qDeleteAll(incoming);
    QCOMPARE(block->userData.size(), 3);
    QCOMPARE(block->userData.at(0)->Comment, QStringLiteral("kept"));
    QCOMPARE(block->userData.at(1)->CallSign, QStringLiteral("sign"));
    QCOMPARE(block->userData.at(2)->Comment, QStringLiteral("new"));
    QCOMPARE(block->userData.at(2)->Start, 8);
    QCOMPARE(block->userData.at(2)->End, 11);
    QCOMPARE(block->userDataCount, 1);
}

void TestUserData::channelsWithActiveUserData()
{
    DecodedTextData model;
    auto add = [&model](int channel, int id, bool closed, int count) {
        Block block = model.GetChannelData(channel)->GetBlock(T0, id);
        block->userDataCount = count;
        block->closed = closed;
    };
    add(5, 1, false, 1);
    add(5, 2, false, 2);
    add(3, 1, true, 4);
    add(3, 2, false, 1);
    add(7, 1, false, 0);
    add(9, 1, true, 3);
    QCOMPARE(model.GetChannelsWithActiveUserData(), (QVector<int>{5, 3}));
}

void TestUserData::modifier()
{
    DecodedTextData model;
    const QByteArray saved = qgetenv("VX_USER");
    const bool wasSet = qEnvironmentVariableIsSet("VX_USER");
    qputenv("VX_USER", "alice");
    QCOMPARE(model.GetModifier(), QStringLiteral("alice"));
    qputenv("VX_USER", "");
    QCOMPARE(model.GetModifier(), QStringLiteral("unknown"));
    if (wasSet)
        qputenv("VX_USER", saved);
    else
        qunsetenv("VX_USER");
}

QTEST_GUILESS_MAIN(TestUserData)
#include "tst_userdata.moc"
