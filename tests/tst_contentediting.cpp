#include "blockinvariants.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "documentcomparison.h"
#include "widgetfixtures.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QtTest>

using namespace WidgetFixtures;
using DocumentComparison::ItemOf;
using DocumentComparison::Lines;
using VarnoResultDataXml::DataBlock;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 3, 4), QTime(12, 0, 0), Qt::UTC);
const int Channel = 5;
const int User = DecodedTextData::UserChannelID;

// The closed transmission, then the open one the operator works on.
const QString Closed = QStringLiteral("CQ DE DL1ABC K");
const QString Open = QStringLiteral("QRZ DE OH2XYZ HELLO WORLD TEST");
// Where the open block's words begin in it.
const int Oh2xyz = 7, Hello = 14, World = 20, Test = 26;

class Probe : public DecodedTextContent {
public:
    Probe(int channel, bool editable, DecodedTextData* model)
        : DecodedTextContent(channel, editable, model, nullptr)
    {
    }
    using DecodedTextContent::dragEnterEvent;
    using DecodedTextContent::dropEvent;
};

// A text area with its model. Fed, a read-only channel holds a closed block and an open one
// with a call sign on "OH2XYZ", a comment on "HELLO" and a change that made "WORLD" of "WURLD".
struct View {
    View(int channel, bool fed) : channel(channel), content(channel, channel == User, &model)
    {
        content.resize(640, 360);
        content.show();
        if (!fed)
            return;
        model.AddTransmission(BlockXml(Channel, T0, Closed));
        model.EndTransmission();
        model.AddTransmission(
            BlockXml(Channel, T0.addSecs(60), Open,
                     { Mark(UserData::CallSignType, Oh2xyz, Oh2xyz + 6, QStringLiteral("OH2XYZ")),
                       Mark(UserData::CommentType, Hello, Hello + 5, QStringLiteral("greeting")),
                       Mark(UserData::ChangeType, World, World + 5, QStringLiteral("WORLD"),
                            QStringLiteral("WURLD")) }));
        content.RefreshContent();
    }
    BlockPtr Newest() { return model.GetChannelData(channel)->LastBlock(); }
    int Doc(int position, BlockPtr block = {})
    {
        return content.DocumentPosition(block ? block : Newest(), position);
    }
    QPoint At(int position, BlockPtr block = {}) { return PointAt(content, Doc(position, block)); }
    // The end of a block has no document position of its own: count from the start.
    void SelectIn(int from, int to) { Select(content, Doc(from), Doc(from) + to - from); }
    QStringList MenuAt(const QPoint& point)
    {
        QMenu menu;
        content.AddActions(&menu, point);
        return MenuTexts(menu);
    }
    // Builds the context menu for a point as ShowContextMenu does and triggers one entry.
    bool Trigger(const QPoint& point, const QString& text)
    {
        QMenu menu;
        content.AddActions(&menu, point);
        QAction* action = FindAction(menu, text);
        if (action)
            action->trigger();
        return action;
    }
    // Presses at a point and moves with the button held, as a drag begins.
    void PressAndMove(const QPoint& press)
    {
        QTest::mousePress(content.viewport(), Qt::LeftButton, Qt::NoModifier, press);
        QMouseEvent move(QEvent::MouseMove, press + QPoint(30, 0), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(content.viewport(), &move);
    }
    void DropAt(const QPoint& point)
    {
        QMimeData mime;
        QDropEvent drop(point, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        content.dropEvent(&drop);
    }

    int channel;
    DecodedTextData model;
    Probe content;
};

QVector<UserData> Carried(const QSignalSpy& spy, int index)
{
    DataBlock block;
    QVector<UserData> out;
    if (block.SetXmlString(spy.at(index).at(1).toString()))
        for (const UserData* u : block.GetUserData())
            out << *u;
    return out;
}

QString Summary(const UserData& u)
{
    if (u.Type == UserData::CallSignType)
        return QStringLiteral("C%1-%2 %3").arg(u.Start).arg(u.End).arg(u.CallSign);
    if (u.Type == UserData::CommentType)
        return QStringLiteral("M%1-%2 %3").arg(u.Start).arg(u.End).arg(u.Comment);
    return QStringLiteral("X%1-%2 %3<%4").arg(u.Start).arg(u.End).arg(u.Text, u.ReplacedText)
        + (u.Comment.isEmpty() ? QString() : QStringLiteral(" #") + u.Comment);
}

// The annotations in order of place, after the text for a block.
QString Describe(const QVector<UserData>& marks, const QString& text = QString())
{
    QStringList out;
    for (const UserData& u : marks)
        out << Summary(u);
    std::stable_sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.mid(1).split(QLatin1Char('-')).at(0).toInt()
            < b.mid(1).split(QLatin1Char('-')).at(0).toInt();
    });
    if (!text.isNull())
        out.prepend(text);
    return out.join(QStringLiteral(" | "));
}

QString Describe(const BlockPtr& block)
{
    QVector<UserData> marks;
    for (const UserData* u : block->userData)
        marks << *u;
    return Describe(marks, block->text);
}

// What SaveUserData told the host, message by message.
QString Messages(const QSignalSpy& saved)
{
    QStringList messages;
    for (int i = 0; i < saved.count(); ++i)
        messages << Describe(Carried(saved, i));
    return messages.join(QStringLiteral(" / "));
}

} // namespace

class TestContentEditing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("VX_USER", "tester"); }
    void menuEntries_data();
    void menuEntries();
    void menuSwitchesAndUserChannel();
    void dialogEdits_data();
    void dialogEdits();
    void insertCommentJoinsOthers();
    void refusedWhenClosedMeanwhile_data();
    void refusedWhenClosedMeanwhile();
    void doubleClickKeepsCallSignsWhole_data();
    void doubleClickKeepsCallSignsWhole();
    void dragCallSignToWord();
    void dropRefused_data();
    void dropRefused();
    void selectCallSign_data();
    void selectCallSign();
    void typing();
    void clearAll();
};

void TestContentEditing::menuEntries_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("closedBlock");
    QTest::addColumn<QStringList>("group");

    const QString dcs = QStringLiteral("Define Call Sign"), ic = QStringLiteral("Insert Comment"),
                  it = QStringLiteral("Insert Text"), es = QStringLiteral("Edit Selection"),
                  dc = QStringLiteral("Delete Call Sign"), dco = QStringLiteral("Delete Comment"),
                  ds = QStringLiteral("Delete Selection"), dse = QStringLiteral("Delete Section"),
                  sep = QStringLiteral("-");
    // Positions in the open block; group = what follows "Show user channel".
    QTest::newRow("point on a call sign offers it for edit and delete")
        << Oh2xyz + 2 << -1 << false << QStringList { sep, dcs, dc };
    QTest::newRow("point on plain text offers only Insert Text")
        << 1 << -1 << false << QStringList { sep, it };
    QTest::newRow("point on a comment") << Hello << -1 << false << QStringList { sep, ic, dco };
    QTest::newRow("point on a change") << World + 4 << -1 << false << QStringList { sep, es, ds };
    QTest::newRow("end of a mark is outside it")
        << Oh2xyz + 6 << -1 << false << QStringList { sep, it };
    QTest::newRow("selection over plain text")
        << 0 << 3 << false << QStringList { sep, dcs, ic, es, dse };
    QTest::newRow("selection over a change deletes it instead of a section")
        << World + 1 << Test + 2 << false << QStringList { sep, dcs, ic, es, ds };
    QTest::newRow("selection touching the call sign offers its deletion too")
        << 0 << Oh2xyz << false << QStringList { sep, dcs, ic, es, dc, dse };
    QTest::newRow("closed block offers no editing") << 0 << 5 << true << QStringList {};
}

void TestContentEditing::menuEntries()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, closedBlock);
    QFETCH(QStringList, group);

    View v(Channel, true);
    const BlockPtr block = closedBlock ? v.model.GetChannelData(Channel)->FirstBlock() : v.Newest();
    const QPoint point = v.At(from, block);
    Select(v.content, v.Doc(from, block), v.Doc(from, block) + qMax(to - from, 0));

    QCOMPARE(v.MenuAt(point),
             QStringList({ "Clear all channels", "-", "Morse ColorCoding",
                           "Tooltip with timestamp*", "-", "Show user channel" })
                 + group + QStringList({ "-", "Properties" }));
    // The selection item is what the actions will work on.
    QCOMPARE(v.content.FlagsAtPoint(point) & 1, group.isEmpty() ? 0 : 1);
}

void TestContentEditing::menuSwitchesAndUserChannel()
{
    View v(Channel, true);
    QSignalSpy shown(&v.model, &DecodedTextData::ShowChannel);
    QVERIFY(v.Trigger(v.At(0), QStringLiteral("Show user channel")));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), User);
    // With the user channel there and annotations off, only the switches are left.
    v.model.EnableUserData(false);
    v.content.RefreshContent();
    QCOMPARE(v.MenuAt(v.At(Oh2xyz)),
             QStringList({ "Clear all channels", "-", "Morse ColorCoding",
                           "Tooltip with timestamp*", "-", "-", "Properties" }));
    // The switches show the widget's state and change it.
    QVERIFY(v.Trigger(v.At(Oh2xyz), QStringLiteral("Morse ColorCoding")));
    QVERIFY(v.Trigger(v.At(Oh2xyz), QStringLiteral("Tooltip with timestamp")));
    QCOMPARE(v.MenuAt(v.At(Oh2xyz)).mid(2, 2),
             QStringList({ "Morse ColorCoding*", "Tooltip with timestamp" }));

    // Typed text offers nothing; a selection of it can be marked and commented, not changed.
    View u(User, false);
    QTest::keyClicks(&u.content, QStringLiteral("ABC DEF"));
    QCOMPARE(u.MenuAt(PointAt(u.content, 1)).mid(5), QStringList({ "-", "-", "Properties" }));
    Select(u.content, 0, 3);
    QCOMPARE(u.MenuAt(PointAt(u.content, 1)).mid(5),
             QStringList({ "-", "Define Call Sign", "Insert Comment", "-", "Properties" }));
}

void TestContentEditing::dialogEdits_data()
{
    QTest::addColumn<QString>("action"); // a menu entry; "2x <title>": a double click opens it
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to"); // -1: a point, no selection
    QTest::addColumn<QString>("answer"); // null: the dialog is cancelled
    QTest::addColumn<QString>("shown"); // what the dialog opened with, "-" for no dialog
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("carried"); // what SaveUserData told the host

    const QString marks = QStringLiteral(" | C7-13 OH2XYZ | M14-19 greeting | X20-25 WORLD<WURLD");
    const QString fed = Open + marks;
    const QString dcs = QStringLiteral("Define Call Sign"), none = QStringLiteral("-");
    // Two signs are known beforehand; the call sign dialog lists them after what it opened with.
    // A new sign opens with the selected text, not with a known sign that Enter would set.
    const QString known = QStringLiteral("HELLO [AA1AA,ZZ9ZZ]");
    QTest::newRow("call sign defined on a selection, offered the selected text")
        << dcs << Hello << Hello + 5 << "DK0XX"
        << known << Open + " | C7-13 OH2XYZ | M14-19 greeting | C14-19 DK0XX | X20-25 WORLD<WURLD"
        << "C14-19 DK0XX";
    QTest::newRow("cancelled call sign dialog stores nothing")
        << dcs << Hello << Hello + 5 << QString() << known << fed << QString();
    QTest::newRow("accepted without a sign stores nothing")
        << dcs << Hello << Hello + 5 << QString("") << known << fed << QString();
    QTest::newRow("existing sign opens with itself, now among the known ones")
        << dcs << Oh2xyz + 1 << -1 << QString() << "OH2XYZ [AA1AA,OH2XYZ,ZZ9ZZ]" << fed << QString();
    QTest::newRow("comment replaced")
        << "Insert Comment" << Hello << Hello + 5 << "merged"
        << "greeting" << Open + " | C7-13 OH2XYZ | M14-19 merged | X20-25 WORLD<WURLD"
        << "M14-19  | M14-19 merged"; // the replaced comment goes out emptied
    QTest::newRow("edit widens the selection to the change it touches")
        << "Edit Selection" << Hello + 3 << World + 2 << "LO EARTH|fixed"
        << "LO WORLD|"
        << "QRZ DE OH2XYZ HELLO EARTH TEST | C7-13 OH2XYZ | M14-19 greeting"
           " | X17-25 LO EARTH<LO WURLD #fixed"
        << "X17-25 LO EARTH<LO WURLD #fixed | X20-25 <";
    QTest::newRow("text inserted at a point moves later marks")
        << "Insert Text" << 0 << -1 << "DE |"
        << "|"
        << "DE " + Open + " | X0-3 DE < | C10-16 OH2XYZ | M17-22 greeting | X23-28 WORLD<WURLD"
        << "X0-3 DE <";
    QTest::newRow("text dialog accepted as shown changes nothing")
        << "Edit Selection" << 0 << 3 << "QRZ|"
        << "QRZ|" << fed << QString();
    QTest::newRow("text dialog cancelled after typing changes nothing")
        << "Edit Selection" << 0 << 3 << QString() << "QRZ|" << fed << QString();
    QTest::newRow("call sign deleted") << "Delete Call Sign" << Oh2xyz + 3 << -1 << "" << none
                                       << Open + " | M14-19 greeting | X20-25 WORLD<WURLD"
                                       << "C7-13 OH2XYZ";
    QTest::newRow("comment deleted") << "Delete Comment" << Hello + 1 << -1 << "" << none
                                     << Open + " | C7-13 OH2XYZ | X20-25 WORLD<WURLD"
                                     << "M14-19 ";
    QTest::newRow("deleted change brings the decoded text back")
        << "Delete Selection" << World + 1 << -1 << "" << none
        << "QRZ DE OH2XYZ HELLO WURLD TEST | C7-13 OH2XYZ | M14-19 greeting"
        << "X20-25 <";
    QTest::newRow("section deleted behind a marker")
        << "Delete Section" << 0 << 6 << "" << none
        << "[...deleted...] OH2XYZ HELLO WORLD TEST | X0-15 [...deleted...]<QRZ DE"
           " | C16-22 OH2XYZ | M23-28 greeting | X29-34 WORLD<WURLD"
        << "X0-15 [...deleted...]<QRZ DE";
    QTest::newRow("text dialog finished by keyboard")
        << "Edit Selection" << Hello << Hello + 5 << "keys:HI|typed" << "HELLO|"
        << "QRZ DE OH2XYZ HI WORLD TEST | C7-13 OH2XYZ | M14-19 greeting | X14-16 HI<HELLO #typed"
           " | X17-22 WORLD<WURLD"
        << "X14-16 HI<HELLO #typed";
    QTest::newRow("double click on a change opens the text dialog")
        << "2x Insert Text" << World + 1 << -1 << QString() << "WORLD|" << fed << QString();
    QTest::newRow("double click on a call sign opens its editor")
        << "2x Define Call Sign" << Oh2xyz + 1 << -1 << QString() << "OH2XYZ [AA1AA,OH2XYZ,ZZ9ZZ]"
        << fed << QString();
    QTest::newRow("double click on a comment opens the comment dialog")
        << "2x Insert Comment" << Hello + 1 << -1 << QString() << "greeting" << fed << QString();
}

void TestContentEditing::dialogEdits()
{
    QFETCH(QString, action);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, answer);
    QFETCH(QString, shown);
    QFETCH(QString, block);
    QFETCH(QString, carried);

    const bool doubleClick = action.startsWith(QStringLiteral("2x "));
    action.remove(QRegularExpression(QStringLiteral("^2x ")));
    View v(Channel, true);
    v.model.IndexOfCallSign(QStringLiteral("ZZ9ZZ"));
    v.model.IndexOfCallSign(QStringLiteral("AA1AA"));
    const BlockPtr newest = v.Newest();
    v.SelectIn(from, to < 0 ? from : to);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    QString opened = QStringLiteral("-");
    if (shown != QStringLiteral("-")) {
        WhenModal<QDialog>([&](QDialog* dialog) {
            if (dialog->windowTitle() != action) { // fails below, not leaving the dialog up
                opened = dialog->windowTitle();
                return dialog->reject();
            }
            auto* input = qobject_cast<QInputDialog*>(dialog);
            auto* editor = dialog->findChild<QPlainTextEdit*>();
            auto* line = dialog->findChild<QLineEdit*>();
            const QStringList parts = answer.split(QLatin1Char('|'));
            if (input) {
                const QStringList known = input->comboBoxItems();
                opened = input->textValue()
                    + (known.isEmpty() ? QString() : " [" + known.join(',') + ']');
                input->setTextValue(answer);
            } else if (editor && line && answer.startsWith(QStringLiteral("keys:"))) {
                // Typed over the selected text; Tab on to the comment, Ctrl+Enter to finish.
                opened = editor->toPlainText() + QLatin1Char('|') + line->text();
                QTest::keyClicks(editor, parts.value(0).mid(5));
                QTest::keyClick(editor, Qt::Key_Tab);
                QTest::keyClicks(QApplication::focusWidget(), parts.value(1));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
                return;
            } else if (editor && line) {
                opened = editor->toPlainText() + QLatin1Char('|') + line->text();
                editor->setPlainText(parts.value(0));
                line->setText(parts.value(1));
            }
            answer.isNull() ? dialog->reject() : dialog->accept();
        });
    }
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    if (doubleClick)
        QTest::mouseDClick(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, v.At(from));
    else
        QVERIFY(v.Trigger(v.At(from), action));
    QCOMPARE(opened, shown);
    QCOMPARE(Describe(newest), block);
    for (const QList<QVariant>& message : saved)
        QCOMPARE(message.at(0).toInt(), Channel);
    QCOMPARE(Messages(saved), carried);
    // What the operator did is signed and dated by them.
    for (const UserData* u : newest->userData) {
        if (u->Modifier == QStringLiteral("earlier"))
            continue;
        QCOMPARE(u->Modifier, QStringLiteral("tester"));
        QCOMPARE(u->ChangeTime.timeSpec(), Qt::UTC);
        QVERIFY(u->ChangeTime >= before && u->ChangeTime <= QDateTime::currentDateTimeUtc());
    }
    QCOMPARE(v.content.textCursor().hasSelection(), carried.isEmpty() && to >= 0);
    QVERIFY(v.content.document()->toPlainText().endsWith(newest->text));
    QVERIFY_BLOCK(*newest);
}

void TestContentEditing::doubleClickKeepsCallSignsWhole_data()
{
    QTest::addColumn<int>("at"); // in "CQ DL/G4ZZA/P DE OE3XYZ/MM 73/ K /x"
    QTest::addColumn<QString>("word");
    QTest::newRow("prefix, sign and suffix") << 7 << "DL/G4ZZA/P";
    QTest::newRow("clicked on the prefix") << 3 << "DL/G4ZZA/P";
    QTest::newRow("maritime suffix") << 19 << "OE3XYZ/MM";
    QTest::newRow("a slash before a blank ends the word") << 27 << "73";
    QTest::newRow("a slash after a blank starts none") << 34 << "x";
}

void TestContentEditing::doubleClickKeepsCallSignsWhole()
{
    QFETCH(int, at);
    View v(Channel, false);
    v.model.AddTransmission(BlockXml(Channel, T0, QStringLiteral("CQ DL/G4ZZA/P DE OE3XYZ/MM 73/ K /x")));
    v.content.RefreshContent();
    QTest::mouseDClick(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, v.At(at));
    QTEST(v.content.textCursor().selectedText(), "word");
}

void TestContentEditing::insertCommentJoinsOthers()
{
    // Overlapping comments of other operators, in the block's order of starts: the dialog
    // shows them joined by a blank, equal neighbours once.
    View v(Channel, false);
    v.model.AddTransmission(BlockXml(Channel, T0, Open));
    for (const char* comment : { "same", "same", "other" })
        v.Newest()->userData.append(Mark(UserData::CommentType, Hello + v.Newest()->userData.size(),
                                         Hello + 3 + v.Newest()->userData.size(), QString(comment)));
    v.content.RefreshContent();
    v.SelectIn(Hello, Hello + 5);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    QString preset;
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        preset = dialog->textValue();
        dialog->setTextValue(QStringLiteral("merged"));
        dialog->accept();
    });
    QVERIFY(v.Trigger(v.At(Hello), QStringLiteral("Insert Comment")));
    QCOMPARE(preset, QStringLiteral("same other"));
    // All of them are replaced by the one new comment.
    QCOMPARE(Describe(v.Newest()), Open + " | M14-19 merged");
    QCOMPARE(Messages(saved), QStringLiteral("M14-17  | M14-19 merged | M15-18  | M16-19 "));
}

void TestContentEditing::refusedWhenClosedMeanwhile_data()
{
    QTest::addColumn<bool>("user");
    QTest::newRow("read-only channel") << false;
    QTest::newRow("user channel still counts it as modified") << true;
}

void TestContentEditing::refusedWhenClosedMeanwhile()
{
    QFETCH(bool, user);
    View v(user ? User : Channel, !user);
    if (user)
        QTest::keyClicks(&v.content, Open);
    const BlockPtr block = v.Newest();
    const QString before = Describe(block);
    v.SelectIn(Test, Test + 4);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    QSignalSpy modified(&v.content, &DecodedTextContent::OnModification);

    QString warning;
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        // The transmission ends while the operator is still typing.
        user ? void(block->closed = true) : v.model.EndTransmission();
        dialog->setTextValue(QStringLiteral("DK0XX"));
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            warning = box->windowTitle() + QLatin1Char('|') + box->text()
                + (box->icon() == QMessageBox::Warning ? "|warning" : "");
            box->accept();
        });
        dialog->accept();
    });
    QVERIFY(v.Trigger(v.At(Test), QStringLiteral("Define Call Sign")));
    QCOMPARE(warning,
             QStringLiteral("Save|Unable to save modification. The transmission is "
                            "finished.|warning"));
    QCOMPARE(saved.count(), 0);
    QCOMPARE(Describe(block), before);
    QCOMPARE(modified.count(), user ? 1 : 0);
    QVERIFY(modified.isEmpty() || modified.at(0).at(0).toBool());
    if (user)
        return;
    // The widget is not left busy: new text still shows.
    v.model.AddTransmission(BlockXml(Channel, T0.addSecs(120), QStringLiteral("NEW TEXT")));
    v.content.UpdateContent();
    QVERIFY(v.content.document()->toPlainText().endsWith(QStringLiteral("NEW TEXT")));
}

void TestContentEditing::dragCallSignToWord()
{
    View v(Channel, true);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    v.PressAndMove(v.At(Oh2xyz + 2));
    v.DropAt(v.At(Test + 2));
    // The mark moves whole, with its author and time; the host hears of the removal first.
    QCOMPARE(Describe(v.Newest()),
             Open + " | M14-19 greeting | X20-25 WORLD<WURLD | C26-30 OH2XYZ");
    const UserData* moved = v.Newest()->FindUserData(UserData::CallSignType, Test, Test + 1);
    QCOMPARE(QStringList({ moved->Text, moved->Modifier }), QStringList({ "TEST", "earlier" }));
    QCOMPARE(moved->ChangeTime, T0);
    QCOMPARE(Messages(saved), QStringLiteral("C7-13 OH2XYZ / C26-30 OH2XYZ"));
    QVERIFY(!v.content.textCursor().hasSelection());
    // The drag is over: a second drop moves nothing.
    v.DropAt(v.At(1));
    QCOMPARE(saved.count(), 2);
}

void TestContentEditing::dropRefused_data()
{
    QTest::addColumn<int>("pressAt");
    QTest::addColumn<bool>("release");
    QTest::addColumn<bool>("ontoClosed");

    QTest::newRow("onto the closed block") << Oh2xyz << false << true;
    QTest::newRow("press on plain text starts no drag") << 1 << false << false;
    QTest::newRow("a released drag is over") << Oh2xyz << true << false;
}

void TestContentEditing::dropRefused()
{
    QFETCH(int, pressAt);
    QFETCH(bool, release);
    QFETCH(bool, ontoClosed);

    View v(Channel, true);
    const BlockPtr closed = v.model.GetChannelData(Channel)->FirstBlock();
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    const QString before = v.content.document()->toPlainText();

    v.PressAndMove(v.At(pressAt));
    if (release)
        QTest::mouseRelease(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, v.At(pressAt));
    v.DropAt(ontoClosed ? v.At(7, closed) : v.At(Test));
    QCOMPARE(saved.count(), 0);
    QVERIFY(v.Newest()->FindUserData(UserData::CallSignType, Oh2xyz, Oh2xyz + 1));
    QVERIFY(closed->userData.isEmpty());
    QCOMPARE(v.content.document()->toPlainText(), before);
    if (!ontoClosed)
        return;
    // The word under the drop stays selected, and new text still arrives afterwards.
    QCOMPARE(v.content.textCursor().selectedText(), QStringLiteral("DL1ABC"));
    v.model.AddTransmission(BlockXml(Channel, T0.addSecs(60), QStringLiteral(" MORE"), {},
                                     { Stamp(Open.size(), T0.addSecs(60)) }));
    v.content.UpdateContent();
    QVERIFY(v.content.document()->toPlainText().endsWith(Open + QStringLiteral(" MORE")));

    // Drops reach read-only channels, but a drag from another widget or program is not taken.
    QVERIFY(v.content.viewport()->acceptDrops());
    QMimeData mime;
    mime.setText(QStringLiteral("DROPPED"));
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    enter.accept();
    v.content.dragEnterEvent(&enter);
    QVERIFY(!enter.isAccepted());
}

void TestContentEditing::selectCallSign_data()
{
    QTest::addColumn<bool>("withSelection");
    QTest::addColumn<bool>("selectionOnly");
    QTest::addColumn<QString>("block");

    const QString fed = Open + QStringLiteral(" | C7-13 OH2XYZ | M14-19 greeting");
    QTest::newRow("selection is marked")
        << true << true << fed + " | C14-19 DF0AA | X20-25 WORLD<WURLD";
    QTest::newRow("no selection, selection only") << false << true << fed + " | X20-25 WORLD<WURLD";
    QTest::newRow("no selection marks the last word")
        << false << false << fed + " | X20-25 WORLD<WURLD | C26-30 DF0AA";
}

void TestContentEditing::selectCallSign()
{
    QFETCH(bool, withSelection);
    QFETCH(bool, selectionOnly);
    QFETCH(QString, block);

    View v(Channel, true);
    withSelection ? v.SelectIn(Hello, Hello + 5) : v.SelectIn(0, 0);
    const bool marks = block.contains(QStringLiteral("DF0AA"));
    QVERIFY(!v.content.SelectCallSign(QString(), selectionOnly));
    QCOMPARE(v.content.SelectCallSign(QStringLiteral("DF0AA"), selectionOnly), marks);
    QCOMPARE(Describe(v.Newest()), block);
    QCOMPARE(v.model.GetCallSigns().contains(QStringLiteral("DF0AA")), marks);
    // A closed newest block cannot take it.
    v.model.EndTransmission();
    v.content.UpdateView();
    Select(v.content, 0, 0);
    QVERIFY(!v.content.SelectCallSign(QStringLiteral("DF0BB"), false));
}

void TestContentEditing::typing()
{
    View v(User, false);
    QSignalSpy modified(&v.content, &DecodedTextContent::OnModification);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    QTest::keyClicks(&v.content, QStringLiteral("ONE"));
    QTest::keyClick(&v.content, Qt::Key_Return);
    QTest::keyClicks(&v.content, QStringLiteral("TWO3"));
    QTest::keyClick(&v.content, Qt::Key_Backspace); // takes the character from the block too
    QTest::keyClick(&v.content, Qt::Key_Return);
    QTest::keyClicks(&v.content, QStringLiteral("3"));

    const BlockPtr closed = v.Newest();
    QCOMPARE(closed->text, QStringLiteral("ONE\nTWO\n3"));
    QVERIFY_BLOCK(*closed);
    QCOMPARE(modified.count(), 11);
    QVERIFY(modified.last().at(0).toBool());
    QCOMPARE(saved.count(), 0); // the user channel hands its text out later
    // Every line carries the block positions it shows.
    QCOMPARE(Lines(v.content.document()), QStringList({ "ONE|0-4|0", "TWO|4-8|1", "3|8-9|2" }));
    QCOMPARE(ItemOf(v.content.document()->lastBlock())->block, closed);
    // The document's own rebuild is not typing.
    v.content.RefreshContent();
    QCOMPARE(modified.count(), 11);

    // Handed out, the block is closed and a fresh one takes the next edits.
    v.model.EndTransmission();
    v.content.RefreshContent();
    QTest::keyClicks(&v.content, QStringLiteral("HELO WORLD"));
    QCOMPARE(v.model.GetChannelData(User)->blocks.size(), 2);
    const BlockPtr block = v.Newest();
    QVERIFY(closed->closed);
    QCOMPARE(v.content.document()->toPlainText(), QStringLiteral("ONE\nTWO\n3\n\nHELO WORLD"));
    // In the closed block the operator can select, not type.
    Select(v.content, 1, 1);
    QVERIFY(!(v.content.textInteractionFlags() & Qt::TextEditable));
    QVERIFY(v.content.textInteractionFlags() & Qt::TextSelectableByMouse);
    QTest::keyClicks(&v.content, QStringLiteral("X"));
    // Fixing the typo inside the open block takes the block's document offset off.
    Select(v.content, v.Doc(3), v.Doc(3));
    QVERIFY(v.content.textInteractionFlags() & Qt::TextEditable);
    QTest::keyClicks(&v.content, QStringLiteral("L"));
    QCOMPARE(block->text, QStringLiteral("HELLO WORLD"));
    QCOMPARE(closed->text, QStringLiteral("ONE\nTWO\n3"));
    QVERIFY_BLOCK(*block);
    QCOMPARE(Lines(v.content.document()).last(), QStringLiteral("HELLO WORLD|0-11|0"));
    QCOMPARE(ItemOf(v.content.document()->lastBlock())->block, block);
}

void TestContentEditing::clearAll()
{
    // Only the user channel counts the reset as a modification of its own.
    for (const bool user : { true, false }) {
        View v(user ? User : Channel, false);
        QSignalSpy modified(&v.content, &DecodedTextContent::OnModification);
        QSignalSpy reset(&v.model, &DecodedTextData::ResetRequest);
        QVERIFY(v.Trigger(QPoint(1, 1), QStringLiteral("Clear all channels")));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(modified.count(), user ? 1 : 0);
        QVERIFY(modified.isEmpty() || !modified.at(0).at(0).toBool());
    }
}

QTEST_MAIN(TestContentEditing)
#include "tst_contentediting.moc"
