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

// The open transmission the operator works on, after a closed one; where its words begin.
const QString Open = QStringLiteral("QRZ DE OH2XYZ HELLO WORLD TEST");
const int Oh2xyz = 7, Hello = 14, World = 20, Test = 26;

// The context menu's entries; a menu reads as the letters at their places in Letters.
const QStringList Entries
    = QStringLiteral(
          "-|Clear all channels|Morse ColorCoding|Tooltip with timestamp|Show user channel|"
          "Define Call Sign|Insert Comment|Insert Text|Edit Selection|Delete Call Sign|"
          "Delete Comment|Delete Selection|Delete Section|Properties")
          .split('|');
const QString Letters = QStringLiteral("-AMWUDCIEdcsSP");

// Constructed before the text area that refers to it.
struct Owned {
    DecodedTextData store;
    int shownChannel;
};

// A text area with its model. Fed, a read-only channel holds a closed block and an open one
// with a call sign on "OH2XYZ", a comment on "HELLO" and a change that made "WORLD" of "WURLD".
struct View : Owned, DecodedTextContent {
    View(int channel, bool fed)
        : Owned { {}, channel }, DecodedTextContent(channel, channel == User, &store, nullptr)
    {
        resize(640, 360);
        show();
        if (!fed)
            return;
        store.AddTransmission(BlockXml(Channel, T0, QStringLiteral("CQ DE DL1ABC K")));
        store.EndTransmission();
        store.AddTransmission(BlockXml(
            Channel, T0.addSecs(60), Open,
            { Mark(UserData::CallSignType, Oh2xyz, Oh2xyz + 6, QStringLiteral("OH2XYZ")),
              Mark(UserData::CommentType, Hello, Hello + 5, QStringLiteral("greeting")),
              Mark(UserData::ChangeType, World, World + 5, QStringLiteral("WORLD"), "WURLD") }));
        RefreshContent();
    }
    BlockPtr Newest() { return store.GetChannelData(shownChannel)->LastBlock(); }
    BlockPtr Closed() { return store.GetChannelData(Channel)->FirstBlock(); }
    int Doc(int position, BlockPtr block = {})
    {
        return DocumentPosition(block ? block : Newest(), position);
    }
    QPoint At(int position, BlockPtr block = {}) { return PointAt(*this, Doc(position, block)); }
    // The end of a block has no document position of its own: count from the start.
    void SelectIn(int from, int to, BlockPtr block = {})
    {
        Select(*this, Doc(from, block), Doc(from, block) + qMax(to - from, 0));
    }
    // Builds the context menu for a point as ShowContextMenu does, runs meanwhile, triggers the
    // entry of that text, if any, and returns the letters of the entries, "*" behind a checked one.
    QString Menu(const QPoint& point, const QString& trigger = QString(), const std::function<void()>& meanwhile = {})
    {
        QMenu menu;
        AddActions(&menu, point);
        QString letters;
        for (const QString& text : MenuTexts(menu))
            letters += Letters.at(Entries.indexOf(text.chopped(text.endsWith('*'))))
                + QString(text.endsWith('*') ? "*" : "");
        if (meanwhile)
            meanwhile();
        if (QAction* action = FindAction(menu, trigger))
            action->trigger();
        return letters;
    }
    void DropAt(const QPoint& point)
    {
        QMimeData mime;
        QDropEvent drop(point, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
        dropEvent(&drop);
    }
    // Nothing the operator did leaves the widget busy: new text still shows.
    bool TakesNewText()
    {
        store.AddTransmission(BlockXml(Channel, T0.addSecs(120), QStringLiteral("NEW TEXT")));
        UpdateContent();
        return document()->toPlainText().endsWith(QStringLiteral("NEW TEXT"));
    }
    using DecodedTextContent::dragEnterEvent;
};

// Annotations as "<C|M|X><start>-<end> <value>" (call sign, comment, change) in order of place.
QString Describe(QVector<UserData*> marks)
{
    std::stable_sort(marks.begin(), marks.end(),
                     [](auto a, auto b) { return a->Start < b->Start; });
    QStringList out;
    for (const UserData* u : qAsConst(marks)) {
        const int kind
            = QStringList { UserData::CallSignType, UserData::CommentType }.indexOf(u->Type);
        const QString change = u->Text + '<' + u->ReplacedText + (u->Comment.isEmpty() ? "" : " #");
        out << QStringLiteral("%1%2-%3 ").arg("CMX"[kind < 0 ? 2 : kind]).arg(u->Start).arg(u->End)
                + (kind == 0      ? u->CallSign
                       : kind < 0 ? change + u->Comment
                                  : u->Comment);
    }
    return out.join(QStringLiteral(" | "));
}

// What SaveUserData told the host, message by message, each as the annotations it carries.
QString Messages(const QSignalSpy& saved)
{
    QStringList messages;
    for (const QList<QVariant>& message : saved) {
        DataBlock block;
        messages << (block.SetXmlString(message.at(1).toString()) ? Describe(block.GetUserData())
                                                                  : QStringLiteral("unreadable"));
    }
    return messages.join(QStringLiteral(" / "));
}

// A call sign dragged from a press at from, dropped onto TEST or onto the closed block.
void Drag(View& v, int from, bool releaseFirst, bool ontoClosed)
{
    QTest::mousePress(v.viewport(), Qt::LeftButton, Qt::NoModifier, v.At(from));
    QMouseEvent move(QEvent::MouseMove, v.At(from) + QPoint(30, 0), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v.viewport(), &move);
    if (releaseFirst)
        QTest::mouseRelease(v.viewport(), Qt::LeftButton, Qt::NoModifier, v.At(from));
    v.DropAt(ontoClosed ? v.At(7, v.Closed()) : v.At(Test));
    QVERIFY(v.Closed()->userData.isEmpty());
    QVERIFY(!ontoClosed || v.textCursor().selectedText() == QStringLiteral("DL1ABC"));
    // The mark moves whole, with its author and time. A drop onto the open block moves it or is refused:
    // neither leaves the word there selected.
    if (const UserData* moved = v.Newest()->FindUserData(UserData::CallSignType, Test, Test + 1))
        QCOMPARE(Joined(moved->Text, moved->Modifier, moved->ChangeTime), Joined("TEST", "earlier", T0));
    QVERIFY(ontoClosed || v.textCursor().selectedText() != QStringLiteral("TEST"));
    // Drops reach read-only channels, but a drag from another widget or program is not taken.
    QVERIFY(v.viewport()->acceptDrops());
    QMimeData mime;
    QDragEnterEvent enter(QPoint(1, 1), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.accept();
    v.dragEnterEvent(&enter);
    QVERIFY(!enter.isAccepted());
}

} // namespace

class TestContentEditing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("VX_USER", "tester"); }

    void menuEntries_data()
    {
        QTest::addColumn<QString>("setup"); // fed: the blocks above, also switched or off; typed: the user channel
        QTest::addColumn<int>("from"); // in the open block, or in the typed text
        QTest::addColumn<int>("to"); // -1: a point, no selection
        QTest::addColumn<QString>("menu"); // one letter an entry, see Entries
        // clang-format off
        QTest::newRow("point on a call sign offers it for edit and delete") << "fed" << Oh2xyz + 2 << -1 << "A-MW*-U-Dd-P";
        QTest::newRow("point on plain text offers only Insert Text") << "fed" << 1 << -1 << "A-MW*-U-I-P";
        QTest::newRow("point on a comment") << "fed" << Hello << -1 << "A-MW*-U-Cc-P";
        QTest::newRow("point on a change") << "fed" << World + 4 << -1 << "A-MW*-U-Es-P";
        QTest::newRow("end of a mark is outside it") << "fed" << Oh2xyz + 6 << -1 << "A-MW*-U-I-P";
        QTest::newRow("selection over plain text") << "fed" << 0 << 3 << "A-MW*-U-DCES-P";
        QTest::newRow("selection over a change deletes it instead of a section") << "fed" << World + 1 << Test + 2 << "A-MW*-U-DCEs-P";
        QTest::newRow("selection touching the call sign offers its deletion too") << "fed" << 0 << Oh2xyz << "A-MW*-U-DCEdS-P";
        QTest::newRow("closed block offers no editing") << "closed" << 0 << 5 << "A-MW*-U-P";
        QTest::newRow("typed text offers nothing") << "typed" << 1 << -1 << "A-MW*---P";
        QTest::newRow("typed text can be marked and commented, not changed") << "typed" << 0 << 3 << "A-MW*--DC-P";
        QTest::newRow("switches show their state; a shown user channel is not offered") << "switched" << Oh2xyz << -1 << "A-M*W--Dd-P";
        QTest::newRow("without annotations only the switches are left") << "off" << Oh2xyz << -1 << "A-MW*--P";
        // clang-format on
    }

    void menuEntries()
    {
        QFETCH(QString, setup);
        QFETCH(int, from);
        QFETCH(int, to);
        View v(setup == QStringLiteral("typed") ? User : Channel, setup != QStringLiteral("typed"));
        const BlockPtr block = setup == QStringLiteral("closed") ? v.Closed() : BlockPtr();
        if (setup == QStringLiteral("typed"))
            QTest::keyClicks(&v, QStringLiteral("ABC DEF"));
        if (setup == QStringLiteral("switched"))
            for (const char* entry : { "Show user channel", "Morse ColorCoding", "Tooltip with timestamp" })
                v.Menu(v.At(from), entry);
        v.store.EnableUserData(setup != QStringLiteral("off"));
        v.SelectIn(from, to, block);
        QTEST(v.Menu(v.At(from, block)), "menu");
        // The selection item is what the actions will work on.
        QCOMPARE(v.FlagsAtPoint(v.At(from, block)) & 1, block ? 0 : 1);
    }

    void dialogEdits_data()
    {
        // A menu entry; "2x <title>": a double click opens it; "<title>+": two comments of other
        // operators overlap the one on HELLO, the second equal to it, in the block's order.
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to"); // -1: a point, no selection
        QTest::addColumn<QString>("answer"); // null: the dialog is cancelled; "text|comment"; "ends:": see below
        QTest::addColumn<QString>("shown"); // what the dialog opened with, "-" for no dialog; " ! " a warning
        QTest::addColumn<QString>("carried"); // what SaveUserData told the host
        QTest::addColumn<QString>("text"); // the block's text afterwards, empty: unchanged
        const QString dcs = QStringLiteral("Define Call Sign"), none = QStringLiteral("-");
        // Two signs are known beforehand; the call sign dialog lists them after its text. A new
        // sign opens with the selected text, not with a known sign that Enter would set.
        const QString known = "HELLO [AA1AA,ZZ9ZZ]", knownToo = "OH2XYZ [AA1AA,OH2XYZ,ZZ9ZZ]";
        // clang-format off
        QTest::newRow("call sign defined on a selection, offered the selected text") << dcs << Hello << Hello + 5 << "DK0XX" << known << "C14-19 DK0XX" << "";
        QTest::newRow("cancelled call sign dialog stores nothing") << dcs << Hello << Hello + 5 << QString() << known << "" << "";
        QTest::newRow("accepted without a sign stores nothing") << dcs << Hello << Hello + 5 << "" << known << "" << "";
        QTest::newRow("transmission ended while the dialog was open: refused with a warning") << dcs << Test << Test + 4 << "ends:DK0XX"
            << "TEST [AA1AA,ZZ9ZZ] ! Save,Unable to save modification. The transmission is finished.,true" << "" << "";
        QTest::newRow("comment replaced, the old one goes out emptied") << "Insert Comment" << Hello << Hello + 5 << "merged" << "greeting" << "M14-19  | M14-19 merged" << "";
        QTest::newRow("overlapping comments offered joined, equal neighbours once") << "Insert Comment+" << Hello << Hello + 5 << "merged" << "greeting other"
            << "M14-19  | M14-19 merged | M15-18  | M16-19 " << "";
        QTest::newRow("edit widens the selection to the change it touches") << "Edit Selection" << Hello + 3 << World + 2 << "LO EARTH|fixed" << "LO WORLD|"
            << "X17-25 LO EARTH<LO WURLD #fixed | X20-25 <" << "QRZ DE OH2XYZ HELLO EARTH TEST";
        QTest::newRow("text inserted at a point") << "Insert Text" << 0 << -1 << "DE |" << "|" << "X0-3 DE <" << "DE " + Open;
        QTest::newRow("text dialog accepted as shown changes nothing") << "Edit Selection" << 0 << 3 << "QRZ|" << "QRZ|" << "" << "";
        QTest::newRow("text dialog finished by keyboard: typed, Tab, comment, Ctrl+Enter") << "Edit Selection" << Hello << Hello + 5 << "keys:HI|typed" << "HELLO|"
            << "X14-16 HI<HELLO #typed" << "QRZ DE OH2XYZ HI WORLD TEST";
        QTest::newRow("text dialog cancelled after typing changes nothing") << "Edit Selection" << 0 << 3 << QString() << "QRZ|" << "" << "";
        QTest::newRow("call sign deleted") << "Delete Call Sign" << Oh2xyz + 3 << -1 << "" << none << "C7-13 OH2XYZ" << "";
        QTest::newRow("comment deleted") << "Delete Comment" << Hello + 1 << -1 << "" << none << "M14-19 " << "";
        QTest::newRow("deleted change brings the decoded text back") << "Delete Selection" << World + 1 << -1 << "" << none << "X20-25 <" << "QRZ DE OH2XYZ HELLO WURLD TEST";
        QTest::newRow("section deleted behind a marker") << "Delete Section" << 0 << 6 << "" << none
            << "X0-15 [...deleted...]<QRZ DE" << "[...deleted...] OH2XYZ HELLO WORLD TEST";
        QTest::newRow("double click on a change opens the text dialog") << "2x Insert Text" << World + 1 << -1 << QString() << "WORLD|" << "" << "";
        QTest::newRow("double click on a call sign opens its editor with the sign, now among the known ones") << "2x " + dcs << Oh2xyz + 1 << -1 << QString() << knownToo << "" << "";
        QTest::newRow("double click on a comment opens the comment dialog") << "2x Insert Comment" << Hello + 1 << -1 << QString() << "greeting" << "" << "";
        // "drag": pressed on from, dropped onto TEST, or onto DL1ABC in the closed block ("closed").
        QTest::newRow("a dragged sign moves, the host hears of the removal first") << "drag" << Oh2xyz + 2 << -1 << "" << none
            << "C7-13 OH2XYZ / C26-30 OH2XYZ" << "";
        QTest::newRow("onto the closed block nothing moves, the word there is selected") << "drag" << Oh2xyz << -1 << "closed" << none << "" << "";
        QTest::newRow("press on plain text starts no drag") << "drag" << 1 << -1 << "" << none << "" << "";
        QTest::newRow("a released drag is over") << "released drag" << Oh2xyz << -1 << "" << none << "" << "";
        // clang-format on
    }

    void dialogEdits()
    {
        QFETCH(QString, action);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        QFETCH(QString, carried);
        QFETCH(QString, text);
        const bool doubleClick = action.startsWith(QStringLiteral("2x "));
        action.remove(QRegularExpression(QStringLiteral("^2x ")));
        View v(Channel, true);
        v.store.IndexOfCallSign(QStringLiteral("ZZ9ZZ"));
        v.store.IndexOfCallSign(QStringLiteral("AA1AA"));
        const BlockPtr newest = v.Newest();
        if (action.endsWith('+')) {
            action.chop(1);
            for (const char* comment : { "greeting", "other" }) {
                const int n = newest->userData.size() - 2;
                newest->userData << Mark(UserData::CommentType, Hello + n, Hello + 3 + n, comment);
            }
            v.RefreshContent();
        }
        const QString before = Describe(newest->userData);
        v.SelectIn(from, to < 0 ? from : to);
        QSignalSpy saved(&v.store, &DecodedTextData::SaveUserData);
        QSignalSpy modified(&v, &DecodedTextContent::OnModification);
        QString opened = QStringLiteral("-");
        if (shown != opened)
            WhenModal<QDialog>([&](QDialog* dialog) {
                if (dialog->windowTitle() != action) { // fails below, not leaving the dialog up
                    opened = dialog->windowTitle();
                    return dialog->reject();
                }
                if (answer.startsWith(QStringLiteral("ends:"))) { // while the operator is still typing
                    v.store.EndTransmission();
                    answer = answer.mid(5);
                    WhenModal<QMessageBox>([&](QMessageBox* box) {
                        opened += " ! " + Joined(box->windowTitle(), box->text(), box->icon() == QMessageBox::Warning);
                        box->accept();
                    });
                }
                auto* line = dialog->findChild<QLineEdit*>();
                if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
                    const QStringList known = input->comboBoxItems();
                    opened = input->textValue()
                        + (known.isEmpty() ? "" : " [" + known.join(',') + ']');
                    input->setTextValue(answer);
                } else if (auto* editor = dialog->findChild<QPlainTextEdit*>()) {
                    opened = editor->toPlainText() + '|' + line->text();
                    if (answer.startsWith(QStringLiteral("keys:"))) {
                        QApplication::setActiveWindow(dialog); // shortcuts go to the active window
                        QTest::keyClicks(editor, answer.section('|', 0, 0).mid(5));
                        QTest::keyClick(editor, Qt::Key_Tab);
                        QWidget* next = dialog->focusWidget() ? dialog->focusWidget() : editor;
                        QTest::keyClicks(next, answer.section('|', 1));
                        QTest::keyClick(next, Qt::Key_Return, Qt::ControlModifier);
                        if (dialog->isVisible()) // the keys did not finish it: fail below, not hang
                            dialog->reject();
                        return;
                    }
                    editor->setPlainText(answer.section('|', 0, 0));
                    line->setText(answer.section('|', 1));
                }
                answer.isNull() ? dialog->reject() : dialog->accept();
            });
        const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-1);
        if (doubleClick)
            QTest::mouseDClick(v.viewport(), Qt::LeftButton, Qt::NoModifier, v.At(from));
        else if (action.endsWith(QStringLiteral("drag")))
            Drag(v, from, action.startsWith(QStringLiteral("released")), answer == QStringLiteral("closed"));
        else
            v.Menu(v.At(from), action);
        QCOMPARE(opened, shown);
        QCOMPARE(Messages(saved), carried);
        QCOMPARE(modified.count(), 0); // the host has a read-only channel's edits already
        QCOMPARE(newest->text, text.isEmpty() ? Open : text);
        QVERIFY(!carried.isEmpty() || Describe(newest->userData) == before);
        // What the operator did is signed and dated by them; a sign they set is known from now on.
        for (const UserData* u : newest->userData)
            QVERIFY(u->Modifier == QStringLiteral("earlier")
                    || (u->Modifier == QStringLiteral("tester")
                        && u->ChangeTime.timeSpec() == Qt::UTC && u->ChangeTime >= start
                        && u->ChangeTime <= QDateTime::currentDateTimeUtc()
                        && (u->CallSign.isEmpty() || v.store.GetCallSigns().contains(u->CallSign))));
        if (!action.endsWith(QStringLiteral("drag"))) // a drag leaves the selection of its own
            QCOMPARE(v.textCursor().hasSelection(), carried.isEmpty() && to >= 0 && !shown.contains(" ! "));
        QVERIFY(v.document()->toPlainText().endsWith(newest->text));
        QVERIFY(v.TakesNewText());
    }

    void doubleClickKeepsCallSignsWhole_data()
    {
        QTest::addColumn<int>("at"); // in "CQ DL/G4ZZA/P DE OE3XYZ/MM 73/ K /x"
        QTest::addColumn<QString>("word");
        QTest::newRow("prefix, sign and suffix") << 7 << "DL/G4ZZA/P";
        QTest::newRow("clicked on the prefix") << 3 << "DL/G4ZZA/P";
        QTest::newRow("maritime suffix") << 19 << "OE3XYZ/MM";
        QTest::newRow("a slash before a blank ends the word") << 27 << "73";
        QTest::newRow("a slash after a blank starts none") << 34 << "x";
    }

    void doubleClickKeepsCallSignsWhole()
    {
        View v(Channel, false);
        v.store.AddTransmission(BlockXml(Channel, T0, QStringLiteral("CQ DL/G4ZZA/P DE OE3XYZ/MM 73/ K /x")));
        v.RefreshContent();
        QFETCH(int, at);
        QTest::mouseDClick(v.viewport(), Qt::LeftButton, Qt::NoModifier, v.At(at));
        QTEST(v.textCursor().selectedText(), "word");
    }

    void typing()
    {
        View v(User, false);
        QSignalSpy modified(&v, &DecodedTextContent::OnModification);
        QSignalSpy saved(&v.store, &DecodedTextData::SaveUserData);
        QTest::keyClicks(&v, QStringLiteral("ONE\rTWO3"));
        QTest::keyClick(&v, Qt::Key_Backspace); // takes the character from the block too
        QTest::keyClicks(&v, QStringLiteral("\r3"));
        const BlockPtr closed = v.store.GetChannelData(User)->LastBlock();
        QCOMPARE(closed->text, QStringLiteral("ONE\nTWO\n3"));
        QVERIFY_BLOCK(*closed);
        QCOMPARE(modified.count(), 11);
        QVERIFY(modified.last().at(0).toBool());
        QCOMPARE(saved.count(), 0); // the user channel hands its text out later
        // Every line carries the block positions it shows; the document's rebuild is not typing.
        QCOMPARE(Lines(v.document()), QStringList({ "ONE|0-4|0", "TWO|4-8|1", "3|8-9|2" }));
        QCOMPARE(ItemOf(v.document()->lastBlock())->block, closed);
        v.RefreshContent();
        QCOMPARE(modified.count(), 11);

        // Handed out, the block is closed and a fresh one takes the next edits.
        v.store.EndTransmission();
        v.RefreshContent();
        QTest::keyClicks(&v, QStringLiteral("HELO WORLD"));
        const BlockPtr block = v.store.GetChannelData(User)->LastBlock();
        QVERIFY(closed->closed && block != closed);
        QCOMPARE(v.document()->toPlainText(), QStringLiteral("ONE\nTWO\n3\n\nHELO WORLD"));
        // In the closed block the operator can select, not type.
        Select(v, 1, 1);
        QTest::keyClicks(&v, QStringLiteral("X"));
        // Fixing the typo inside the open block takes the block's document offset off.
        Select(v, v.Doc(3, block), v.Doc(3, block));
        QTest::keyClicks(&v, QStringLiteral("L"));
        QCOMPARE(Joined(block->text, closed->text), Joined("HELLO WORLD", "ONE\nTWO\n3"));
        QVERIFY_BLOCK(*block);
        QCOMPARE(Lines(v.document()).last(), QStringLiteral("HELLO WORLD|0-11|0"));
        QCOMPARE(ItemOf(v.document()->lastBlock())->block, block);
        // An annotation is an edit of the user channel too, even one refused as the transmission
        // ended meanwhile; clearing all is none, it drops the edits.
        const int typed = modified.count();
        QSignalSpy reset(&v.store, &DecodedTextData::ResetRequest);
        QVERIFY(!v.SelectCallSign(QString(), false));
        QVERIFY(v.SelectCallSign(QStringLiteral("DL1ABC"), false));
        WhenModal<QMessageBox>([](QMessageBox* box) { box->accept(); });
        v.Menu(v.At(7, block), QStringLiteral("Delete Call Sign"), [&block] { block->closed = true; });
        v.Menu(QPoint(1, 1), QStringLiteral("Clear all channels"));
        QCOMPARE(Joined(modified.count() - typed, modified.at(typed + 1).at(0), modified.last().at(0), reset.count()),
                 QStringLiteral("3,true,false,1"));
        QCOMPARE(Describe(block->userData), QStringLiteral("C6-11 DL1ABC"));
    }
};

QTEST_MAIN(TestContentEditing)
#include "tst_contentediting.moc"
