#include "blockinvariants.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <functional>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::Transmission;
using VarnoResultDataXml::UserData;
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

UserData* Mark(const QString& type, int start, int end, const QString& value,
               const QString& replaced = QString())
{
    auto* u = new UserData;
    u->Type = type;
    u->Start = start;
    u->End = end;
    if (type == UserData::CallSignType)
        u->CallSign = value;
    else if (type == UserData::ChangeType)
        u->Text = value;
    else
        u->Comment = value;
    u->ReplacedText = replaced;
    u->Modifier = QStringLiteral("earlier");
    u->ChangeTime = T0;
    return u;
}

QString Xml(int channel, const QDateTime& start, const QString& text,
            const QVector<UserData*>& marks = {}, int position = 0)
{
    Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(channel, 0, 0);
    block->SetID(1);
    block->SetContent(text);
    TimeStamp stamp;
    stamp.Time = start;
    stamp.Position = position;
    stamp.Quality = 90;
    block->GetTimeStamp().append(stamp);
    for (UserData* mark : marks)
        block->AddUserData(mark);
    transmission.AddDataBlock(block);
    return transmission.GetXmlString();
}

// A read-only channel with a closed block and an open one carrying a call sign on "OH2XYZ",
// a comment on "HELLO" and a change that made "WORLD" out of "WURLD".
void FeedChannel(DecodedTextData& model)
{
    model.AddTransmission(Xml(Channel, T0, Closed));
    model.EndTransmission();
    model.AddTransmission(
        Xml(Channel, T0.addSecs(60), Open,
            { Mark(UserData::CallSignType, Oh2xyz, Oh2xyz + 6, QStringLiteral("OH2XYZ")),
              Mark(UserData::CommentType, Hello, Hello + 5, QStringLiteral("greeting")),
              Mark(UserData::ChangeType, World, World + 5, QStringLiteral("WORLD"),
                   QStringLiteral("WURLD")) }));
}

class Probe : public DecodedTextContent {
public:
    Probe(int channel, bool editable, DecodedTextData* model)
        : DecodedTextContent(channel, editable, model, nullptr)
    {
    }
    using DecodedTextContent::dragEnterEvent;
    using DecodedTextContent::dropEvent;
};

struct View {
    View(int channel, bool editable) : channel(channel), content(channel, editable, &model)
    {
        content.resize(640, 360);
        content.show();
    }
    BlockPtr Newest() { return model.GetChannelData(channel)->LastBlock(); }

    int channel;
    DecodedTextData model;
    Probe content;
};

int DocPos(DecodedTextContent& content, const BlockPtr& block, int position)
{
    return content.DocumentPosition(block, position);
}

// A point inside the character at a document position, in viewport coordinates.
QPoint PointAt(DecodedTextContent& content, int position)
{
    QTextCursor cursor(content.document());
    cursor.setPosition(position);
    const QRect r = content.cursorRect(cursor);
    return QPoint(r.left() + 1, r.center().y());
}

void Select(DecodedTextContent& content, int from, int to)
{
    QTextCursor cursor(content.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    content.setTextCursor(cursor);
}

void Unselect(DecodedTextContent& content)
{
    QTextCursor cursor = content.textCursor();
    cursor.clearSelection();
    content.setTextCursor(cursor);
}

QStringList Describe(const QMenu& menu)
{
    QStringList out;
    for (const QAction* action : menu.actions())
        out << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return out;
}

QAction* Find(const QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// Builds the context menu for a point as ShowContextMenu does and triggers one entry.
bool Trigger(DecodedTextContent& content, const QPoint& point, const QString& text)
{
    QMenu menu;
    content.AddActions(&menu, point);
    QAction* action = Find(menu, text);
    if (!action)
        return false;
    action->trigger();
    return true;
}

// Answers the next modal dialog of type T once it is up; any other modal window that turns
// up instead is rejected, so a wrong dialog fails the test rather than hanging it.
template<typename T> void WhenModal(std::function<void(T*)> answer)
{
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        T* dialog = qobject_cast<T*>(modal);
        if (dialog && dialog->isVisible()) {
            timer->deleteLater();
            timer->stop();
            answer(dialog);
        } else if (deadline.hasExpired()) {
            timer->deleteLater();
            timer->stop();
            if (auto* other = qobject_cast<QDialog*>(modal))
                other->reject();
        }
    });
    timer->start(10);
}

QString AnswerTextDialog(QDialog* dialog, const QString& text, const QString& comment,
                         QString* shown = nullptr, QString* shownComment = nullptr)
{
    auto* editor = dialog->findChild<QPlainTextEdit*>();
    auto* line = dialog->findChild<QLineEdit*>();
    if (shown)
        *shown = editor ? editor->toPlainText() : QStringLiteral("<no editor>");
    if (shownComment)
        *shownComment = line ? line->text() : QStringLiteral("<no line>");
    if (editor && !text.isNull())
        editor->setPlainText(text);
    if (line && !comment.isNull())
        line->setText(comment);
    return dialog->windowTitle();
}

QVector<UserData> Carried(const QSignalSpy& spy, int index)
{
    DataBlock block;
    QVector<UserData> out;
    if (!block.SetXmlString(spy.at(index).at(1).toString()))
        return out;
    for (const UserData* u : block.GetUserData())
        out << *u;
    return out;
}

QVector<UserData*> OfType(const BlockPtr& block, const QString& type)
{
    QVector<UserData*> out;
    for (UserData* u : block->userData)
        if (u->Type == type)
            out << u;
    return out;
}

} // namespace

class TestContentEditing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void menuEntries_data();
    void menuEntries();
    void menuWithoutAnnotations();
    void menuInUserChannel();
    void defineCallSign_data();
    void defineCallSign();
    void callSignDialogOffersKnownSigns();
    void insertComment_data();
    void insertComment();
    void deleteAnnotations_data();
    void deleteAnnotations();
    void deleteSection();
    void editSelectionWidensToChange();
    void insertTextAtPoint();
    void textDialogWithoutChange_data();
    void textDialogWithoutChange();
    void refusedWhenClosedMeanwhile();
    void refusedInUserChannelStillModifies();
    void doubleClickShortcuts_data();
    void doubleClickShortcuts();
    void dragCallSignToWord();
    void dragOntoClosedBlock();
    void dropWithoutDragOrFromElsewhere();
    void selectCallSign_data();
    void selectCallSign();
    void typing();
    void typingLineBreaks();
    void typingInsideOpenBlock();
    void closedBlockIsReadOnly();
    void clearAll();
};

void TestContentEditing::initTestCase()
{
    qputenv("VX_USER", "tester");
}

void TestContentEditing::menuEntries_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("closedBlock");
    QTest::addColumn<QStringList>("group");

    const QString dcs = QStringLiteral("Define Call Sign"), ic = QStringLiteral("Insert Comment"),
                  it = QStringLiteral("Insert Text"), es = QStringLiteral("Edit Selection"),
                  dc = QStringLiteral("Delete Call Sign"), dco = QStringLiteral("Delete Comment"),
                  ds = QStringLiteral("Delete Selection"), dse = QStringLiteral("Delete Section");
    // Positions in the open block; group = what follows "Show user channel".
    QTest::newRow("point on a call sign offers it for edit and delete")
        << Oh2xyz + 2 << -1 << false << QStringList { QStringLiteral("-"), dcs, dc };
    QTest::newRow("point on plain text offers only Insert Text")
        << 1 << -1 << false << QStringList { QStringLiteral("-"), it };
    QTest::newRow("point on a comment")
        << Hello << -1 << false << QStringList { QStringLiteral("-"), ic, dco };
    QTest::newRow("point on a change")
        << World + 4 << -1 << false << QStringList { QStringLiteral("-"), es, ds };
    QTest::newRow("point just after a word belongs to nothing")
        << Oh2xyz + 6 << -1 << false << QStringList { QStringLiteral("-"), it };
    QTest::newRow("selection over plain text")
        << 0 << 3 << false << QStringList { QStringLiteral("-"), dcs, ic, es, dse };
    QTest::newRow("selection over a change offers Delete Selection")
        << World + 1 << Test + 2 << false << QStringList { QStringLiteral("-"), dcs, ic, es, ds };
    QTest::newRow("selection touching the call sign")
        << 0 << Oh2xyz << false << QStringList { QStringLiteral("-"), dcs, ic, es, dc, dse };
    QTest::newRow("point in the closed block") << 3 << -1 << true << QStringList {};
    QTest::newRow("selection in the closed block") << 0 << 5 << true << QStringList {};
}

void TestContentEditing::menuEntries()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, closedBlock);
    QFETCH(QStringList, group);

    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = closedBlock ? v.model.GetChannelData(Channel)->FirstBlock() : v.Newest();
    QVERIFY(block);

    const int docFrom = DocPos(v.content, block, from);
    QPoint point = PointAt(v.content, docFrom);
    if (to >= 0)
        Select(v.content, docFrom, DocPos(v.content, block, to));
    else
        Unselect(v.content);

    QMenu menu;
    v.content.AddActions(&menu, point);
    const QStringList expected = QStringList { QStringLiteral("Clear all channels"),
                                               QStringLiteral("-"),
                                               QStringLiteral("Morse ColorCoding"),
                                               QStringLiteral("Tooltip with timestamp"),
                                               QStringLiteral("-"),
                                               QStringLiteral("Show user channel") }
        + group + QStringList { QStringLiteral("-"), QStringLiteral("Properties") };
    QCOMPARE(Describe(menu), expected);
    for (QAction* action : menu.actions())
        QCOMPARE(action->parent(), &menu);
    QCOMPARE(menu.actions().at(0)->objectName(), QStringLiteral("ClearAllAction"));
    QCOMPARE(menu.actions().at(2)->objectName(), QStringLiteral("ColorCodingAction"));
    QCOMPARE(menu.actions().at(3)->objectName(), QStringLiteral("TooltipTimeAction"));
    QCOMPARE(menu.actions().last()->objectName(), QStringLiteral("PropertiesAction"));
    // The selection item is what the actions will work on.
    const int expectedBlockFlag = group.isEmpty() ? 0 : 1;
    QCOMPARE(v.content.FlagsAtPoint(point) & 1, expectedBlockFlag);
}

void TestContentEditing::menuWithoutAnnotations()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.model.EnableUserData(false);
    v.content.RefreshContent();
    const QPoint onSign = PointAt(v.content, DocPos(v.content, v.Newest(), Oh2xyz));

    QMenu menu;
    v.content.AddActions(&menu, onSign);
    QCOMPARE(Describe(menu),
             (QStringList { QStringLiteral("Clear all channels"), QStringLiteral("-"),
                            QStringLiteral("Morse ColorCoding"),
                            QStringLiteral("Tooltip with timestamp"), QStringLiteral("-"),
                            QStringLiteral("-"), QStringLiteral("Properties") }));

    // The check items show and switch the widget's state.
    QAction* coding = Find(menu, QStringLiteral("Morse ColorCoding"));
    QAction* tooltip = Find(menu, QStringLiteral("Tooltip with timestamp"));
    QVERIFY(coding->isCheckable() && !coding->isChecked());
    QVERIFY(tooltip->isCheckable() && tooltip->isChecked());
    coding->trigger();
    tooltip->trigger();
    QMenu again;
    v.content.AddActions(&again, onSign);
    QVERIFY(Find(again, QStringLiteral("Morse ColorCoding"))->isChecked());
    QVERIFY(!Find(again, QStringLiteral("Tooltip with timestamp"))->isChecked());
}

void TestContentEditing::menuInUserChannel()
{
    View v(User, true);
    QTest::keyClicks(&v.content, QStringLiteral("ABC DEF"));
    const BlockPtr block = v.Newest();
    QVERIFY(block);
    QCOMPARE(block->text, QStringLiteral("ABC DEF"));

    // On plain typed text the group has its separator and nothing under it.
    Unselect(v.content);
    QMenu point;
    v.content.AddActions(&point, PointAt(v.content, 1));
    QCOMPARE(
        Describe(point),
        (QStringList { QStringLiteral("Clear all channels"), QStringLiteral("-"),
                       QStringLiteral("Morse ColorCoding"),
                       QStringLiteral("Tooltip with timestamp"), QStringLiteral("-"),
                       QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("Properties") }));

    // A selection offers marking and commenting, but no text changes.
    Select(v.content, 0, 3);
    QMenu selection;
    v.content.AddActions(&selection, PointAt(v.content, 1));
    QCOMPARE(Describe(selection).mid(5, 3),
             (QStringList { QStringLiteral("-"), QStringLiteral("Define Call Sign"),
                            QStringLiteral("Insert Comment") }));
    QCOMPARE(Describe(selection).size(), 10);

    // With the channel there, the menu no longer offers to show it; triggering it shows it.
    View other(Channel, false);
    FeedChannel(other.model);
    other.content.RefreshContent();
    QSignalSpy shown(&other.model, &DecodedTextData::ShowChannel);
    QVERIFY(Trigger(other.content, PointAt(other.content, 0), QStringLiteral("Show user channel")));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), User);
    QMenu after;
    other.content.AddActions(&after, PointAt(other.content, 0));
    QVERIFY(!Find(after, QStringLiteral("Show user channel")));
}

void TestContentEditing::defineCallSign_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("stored");

    QTest::newRow("accepted sign is stored") << QStringLiteral("DK0XX") << true << true;
    QTest::newRow("cancelled dialog stores nothing") << QStringLiteral("DK0XX") << false << false;
    QTest::newRow("accepted without a sign stores nothing") << QString() << true << false;
}

void TestContentEditing::defineCallSign()
{
    QFETCH(QString, answer);
    QFETCH(bool, accept);
    QFETCH(bool, stored);

    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    const int from = DocPos(v.content, block, Hello);
    Select(v.content, from, from + 5);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    QString title, label;
    bool helpButton = true;
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        title = dialog->windowTitle();
        label = dialog->labelText();
        helpButton = dialog->windowFlags() & Qt::WindowContextHelpButtonHint;
        dialog->setTextValue(answer);
        accept ? dialog->accept() : dialog->reject();
    });
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    QVERIFY(Trigger(v.content, PointAt(v.content, from), QStringLiteral("Define Call Sign")));
    QCOMPARE(title, QStringLiteral("Define Call Sign"));
    QCOMPARE(label, QStringLiteral("Type"));
    QVERIFY(!helpButton);

    const QVector<UserData*> signs = OfType(block, UserData::CallSignType);
    QCOMPARE(saved.count(), stored ? 1 : 0);
    QCOMPARE(signs.size(), stored ? 2 : 1);
    QCOMPARE(v.model.GetCallSigns().contains(answer), stored);
    QCOMPARE(v.content.textCursor().hasSelection(), !stored);
    if (!stored)
        return;
    const UserData* mark = block->FindUserData(UserData::CallSignType, Hello, Hello + 5);
    QVERIFY(mark);
    QCOMPARE(mark->CallSign, answer);
    QCOMPARE(mark->Text, QStringLiteral("HELLO"));
    QCOMPARE(mark->Start, Hello);
    QCOMPARE(mark->End, Hello + 5);
    QCOMPARE(mark->Modifier, QStringLiteral("tester"));
    QCOMPARE(mark->ChangeTime.timeSpec(), Qt::UTC);
    QVERIFY(mark->ChangeTime >= before && mark->ChangeTime <= QDateTime::currentDateTimeUtc());
    QCOMPARE(saved.at(0).at(0).toInt(), Channel);
    const QVector<UserData> carried = Carried(saved, 0);
    QCOMPARE(carried.size(), 1);
    QCOMPARE(carried.at(0).CallSign, answer);
    QCOMPARE(carried.at(0).Type, UserData::CallSignType);
}

void TestContentEditing::callSignDialogOffersKnownSigns()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.model.IndexOfCallSign(QStringLiteral("ZZ9ZZ"));
    v.model.IndexOfCallSign(QStringLiteral("AA1AA"));
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();

    // An existing sign opens with itself, registered among the known ones.
    Unselect(v.content);
    QStringList items;
    QString preset;
    bool editable = false;
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        items = dialog->comboBoxItems();
        preset = dialog->textValue();
        editable = dialog->isComboBoxEditable();
        dialog->reject();
    });
    QVERIFY(Trigger(v.content, PointAt(v.content, DocPos(v.content, block, Oh2xyz + 1)),
                    QStringLiteral("Define Call Sign")));
    QCOMPARE(items,
             (QStringList { QStringLiteral("AA1AA"), QStringLiteral("OH2XYZ"),
                            QStringLiteral("ZZ9ZZ") }));
    QCOMPARE(preset, QStringLiteral("OH2XYZ"));
    QVERIFY(editable);

    // Unmarked text opens with the alphabetically first known sign.
    const int from = DocPos(v.content, block, Test);
    Select(v.content, from, from + 4);
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        preset = dialog->textValue();
        dialog->reject();
    });
    QVERIFY(Trigger(v.content, PointAt(v.content, from), QStringLiteral("Define Call Sign")));
    QCOMPARE(preset, QStringLiteral("AA1AA"));
}

void TestContentEditing::insertComment_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("shown");

    QTest::newRow("no comment yet opens empty") << QStringList {} << QString();
    QTest::newRow("two different comments are joined by a blank")
        << QStringList { QStringLiteral("first"), QStringLiteral("second") }
        << QStringLiteral("first second");
    QTest::newRow("equal neighbours are shown once")
        << QStringList { QStringLiteral("same"), QStringLiteral("same") } << QStringLiteral("same");
}

void TestContentEditing::insertComment()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, shown);

    View v(Channel, false);
    v.model.AddTransmission(Xml(Channel, T0, Open));
    const BlockPtr block = v.Newest();
    // Overlapping comments of other operators, kept in the block's order of starts.
    for (int i = 0; i < existing.size(); ++i)
        block->userData.append(
            Mark(UserData::CommentType, Hello + i, Hello + 3 + i, existing.at(i)));
    v.content.RefreshContent();
    const int from = DocPos(v.content, block, Hello);
    Select(v.content, from, from + 5);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    QString preset, title, label;
    QLineEdit::EchoMode echo = QLineEdit::Password;
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        preset = dialog->textValue();
        title = dialog->windowTitle();
        label = dialog->labelText();
        echo = dialog->textEchoMode();
        dialog->setTextValue(QStringLiteral("merged"));
        dialog->accept();
    });
    QVERIFY(Trigger(v.content, PointAt(v.content, from), QStringLiteral("Insert Comment")));
    QCOMPARE(title, QStringLiteral("Insert Comment"));
    QCOMPARE(label, QStringLiteral("Comment"));
    QCOMPARE(echo, QLineEdit::Normal);
    QCOMPARE(preset, shown);

    // Accepting replaces every comment over the range by the one new comment.
    const QVector<UserData*> comments = OfType(block, UserData::CommentType);
    QCOMPARE(comments.size(), 1);
    QCOMPARE(comments.at(0)->Comment, QStringLiteral("merged"));
    QCOMPARE(comments.at(0)->Text, QStringLiteral("HELLO"));
    QCOMPARE(saved.count(), 1);
    const QVector<UserData> carried = Carried(saved, 0);
    QCOMPARE(carried.size(), existing.size() + 1);
    for (int i = 0; i < existing.size(); ++i)
        QVERIFY2(carried.at(i).Comment.isEmpty(), "a removed comment goes out with empty texts");
    QCOMPARE(carried.last().Comment, QStringLiteral("merged"));
}

void TestContentEditing::deleteAnnotations_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");

    QTest::newRow("call sign") << Oh2xyz + 3 << QStringLiteral("Delete Call Sign")
                               << UserData::CallSignType << Open;
    QTest::newRow("comment") << Hello + 1 << QStringLiteral("Delete Comment")
                             << UserData::CommentType << Open;
    QTest::newRow("change brings the decoded text back")
        << World + 1 << QStringLiteral("Delete Selection") << UserData::ChangeType
        << QStringLiteral("QRZ DE OH2XYZ HELLO WURLD TEST");
}

void TestContentEditing::deleteAnnotations()
{
    QFETCH(int, at);
    QFETCH(QString, action);
    QFETCH(QString, type);
    QFETCH(QString, text);

    View v(Channel, false);
    // A change delivered with the text is applied to it already: the text shows "WORLD".
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    QVERIFY(Trigger(v.content, PointAt(v.content, DocPos(v.content, block, at)), action));
    QVERIFY(OfType(block, type).isEmpty());
    QCOMPARE(block->userData.size(), 2);
    QCOMPARE(saved.count(), 1);
    QCOMPARE(Carried(saved, 0).size(), 1);
    QCOMPARE(Carried(saved, 0).at(0).Type, type);
    QVERIFY(!v.content.textCursor().hasSelection());
    QCOMPARE(block->text, text);
    QVERIFY(v.content.document()->toPlainText().endsWith(text));
    QVERIFY_BLOCK(*block);
}

void TestContentEditing::deleteSection()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    // "QRZ DE": six characters that touch no annotation.
    const int from = DocPos(v.content, block, 0);
    Select(v.content, from, from + 6);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    QVERIFY(Trigger(v.content, PointAt(v.content, from), QStringLiteral("Delete Section")));
    QCOMPARE(OfType(block, UserData::ChangeType).size(), 2);
    const UserData* change = block->FindUserData(UserData::ChangeType, 0, 1);
    QVERIFY(change);
    QCOMPARE(change->Text, QStringLiteral("[...deleted...]"));
    QCOMPARE(change->Start, 0);
    QCOMPARE(change->End, 15);
    QCOMPARE(change->ReplacedText, QStringLiteral("QRZ DE"));
    QCOMPARE(block->text, QStringLiteral("[...deleted...] OH2XYZ HELLO WORLD TEST"));
    // The later annotations moved with their text.
    QCOMPARE(block->FindUserData(UserData::CallSignType, 0, 100)->Start, Oh2xyz + 9);
    // The document is rebuilt from the model and shows the marker.
    QVERIFY(v.content.document()->toPlainText().endsWith(block->text));
    QCOMPARE(saved.count(), 1);
    QCOMPARE(Carried(saved, 0).at(0).ReplacedText, QStringLiteral("QRZ DE"));
    QVERIFY_BLOCK(*block);
}

void TestContentEditing::editSelectionWidensToChange()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    // From "LO" of HELLO into the middle of the change "WORLD".
    const int from = DocPos(v.content, block, Hello + 3);
    Select(v.content, from, DocPos(v.content, block, World + 2));

    QString shown, shownComment, title, labelText;
    bool buttons = false;
    WhenModal<QDialog>([&](QDialog* dialog) {
        title = AnswerTextDialog(dialog, QStringLiteral("LO EARTH"), QStringLiteral("fixed"),
                                 &shown, &shownComment);
        buttons = dialog->findChild<QDialogButtonBox*>() != nullptr;
        if (auto* label = dialog->findChild<QLabel*>())
            labelText = label->text();
        dialog->accept();
    });
    QVERIFY(Trigger(v.content, PointAt(v.content, from), QStringLiteral("Edit Selection")));
    QCOMPARE(title, QStringLiteral("Edit Selection"));
    QVERIFY(buttons);
    QCOMPARE(labelText, QStringLiteral("Comment"));
    QCOMPARE(shown, QStringLiteral("LO WORLD"));
    QCOMPARE(shownComment, QString());

    const QVector<UserData*> changes = OfType(block, UserData::ChangeType);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.at(0)->Text, QStringLiteral("LO EARTH"));
    QCOMPARE(changes.at(0)->ReplacedText, QStringLiteral("LO WURLD"));
    QCOMPARE(changes.at(0)->Comment, QStringLiteral("fixed"));
    QCOMPARE(changes.at(0)->Start, Hello + 3);
    QCOMPARE(changes.at(0)->End, Hello + 3 + 8);
    QCOMPARE(block->text, QStringLiteral("QRZ DE OH2XYZ HELLO EARTH TEST"));
    QVERIFY(v.content.document()->toPlainText().endsWith(block->text));
    QVERIFY_BLOCK(*block);
}

void TestContentEditing::insertTextAtPoint()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    Unselect(v.content);

    QString shown = QStringLiteral("<not opened>"), shownComment, title;
    WhenModal<QDialog>([&](QDialog* dialog) {
        title = AnswerTextDialog(dialog, QStringLiteral("DE "), QString(), &shown, &shownComment);
        dialog->accept();
    });
    QVERIFY(Trigger(v.content, PointAt(v.content, DocPos(v.content, block, 0)),
                    QStringLiteral("Insert Text")));
    QCOMPARE(title, QStringLiteral("Insert Text"));
    QCOMPARE(shown, QString());
    QCOMPARE(shownComment, QString());
    const UserData* change = block->FindUserData(UserData::ChangeType, 0, 1);
    QVERIFY(change);
    QCOMPARE(change->Start, 0);
    QCOMPARE(change->End, 3);
    QCOMPARE(change->ReplacedText, QString());
    QVERIFY(block->text.startsWith(QStringLiteral("DE QRZ DE")));
    QVERIFY_BLOCK(*block);
}

void TestContentEditing::textDialogWithoutChange_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted as shown") << true;
    QTest::newRow("cancelled after typing") << false;
}

void TestContentEditing::textDialogWithoutChange()
{
    QFETCH(bool, accept);
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    const int from = DocPos(v.content, block, 0);
    Select(v.content, from, from + 3);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    WhenModal<QDialog>([&](QDialog* dialog) {
        AnswerTextDialog(dialog, accept ? QString() : QStringLiteral("XXX"), QString());
        accept ? dialog->accept() : dialog->reject();
    });
    QVERIFY(Trigger(v.content, PointAt(v.content, from), QStringLiteral("Edit Selection")));
    QCOMPARE(saved.count(), 0);
    QCOMPARE(OfType(block, UserData::ChangeType).size(), 1);
    QCOMPARE(block->text, Open);
}

void TestContentEditing::refusedWhenClosedMeanwhile()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    const int from = DocPos(v.content, block, Test);
    Select(v.content, from, from + 4);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    QSignalSpy modified(&v.content, &DecodedTextContent::OnModification);

    QString warningTitle, warningText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        // The transmission ends while the operator is still typing.
        v.model.EndTransmission();
        dialog->setTextValue(QStringLiteral("DK0XX"));
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            warningTitle = box->windowTitle();
            warningText = box->text();
            icon = box->icon();
            box->accept();
        });
        dialog->accept();
    });
    QVERIFY(Trigger(v.content, PointAt(v.content, from), QStringLiteral("Define Call Sign")));
    QCOMPARE(warningTitle, QStringLiteral("Save"));
    QCOMPARE(warningText,
             QStringLiteral("Unable to save modification. The transmission is finished."));
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(saved.count(), 0);
    QCOMPARE(OfType(block, UserData::CallSignType).size(), 1);
    QCOMPARE(modified.count(), 0); // read-only channel

    // The widget is not left busy: new text still shows.
    v.model.AddTransmission(Xml(Channel, T0.addSecs(120), QStringLiteral("NEW TEXT")));
    v.content.UpdateContent();
    QVERIFY(v.content.document()->toPlainText().endsWith(QStringLiteral("NEW TEXT")));
}

void TestContentEditing::refusedInUserChannelStillModifies()
{
    View v(User, true);
    QTest::keyClicks(&v.content, QStringLiteral("HELLO"));
    const BlockPtr block = v.Newest();
    QVERIFY(block);
    Select(v.content, 0, 5);
    QCOMPARE(v.content.FlagsAtPoint(QPoint()), 1 | 16);
    // Closed after the range was taken, as by the end of a transmission meanwhile.
    block->closed = true;
    QSignalSpy modified(&v.content, &DecodedTextContent::OnModification);

    bool warned = false;
    WhenModal<QInputDialog>([&](QInputDialog* dialog) {
        dialog->setTextValue(QStringLiteral("X"));
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            warned = true;
            box->accept();
        });
        dialog->accept();
    });
    v.content.EditCallSign();
    QVERIFY(warned);
    QCOMPARE(modified.count(), 1);
    QCOMPARE(modified.at(0).at(0).toBool(), true);
    QVERIFY(block->userData.isEmpty());
}

void TestContentEditing::doubleClickShortcuts_data()
{
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("dialogTitle");

    QTest::newRow("change opens the text dialog") << World + 1 << QStringLiteral("Insert Text");
    QTest::newRow("call sign opens its editor") << Oh2xyz + 1 << QStringLiteral("Define Call Sign");
    QTest::newRow("comment opens the comment dialog")
        << Hello + 1 << QStringLiteral("Insert Comment");
    QTest::newRow("plain text selects the word") << Test + 1 << QString();
}

void TestContentEditing::doubleClickShortcuts()
{
    QFETCH(int, at);
    QFETCH(QString, dialogTitle);

    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    QString title;
    if (!dialogTitle.isEmpty()) {
        WhenModal<QDialog>([&](QDialog* dialog) {
            title = dialog->windowTitle();
            dialog->reject();
        });
    }
    QTest::mouseDClick(v.content.viewport(), Qt::LeftButton, Qt::NoModifier,
                       PointAt(v.content, DocPos(v.content, block, at)));
    QCOMPARE(title, dialogTitle);
    if (dialogTitle.isEmpty())
        QCOMPARE(v.content.textCursor().selectedText(), QStringLiteral("TEST"));
}

void TestContentEditing::dragCallSignToWord()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    const UserData original = *block->FindUserData(UserData::CallSignType, Oh2xyz, Oh2xyz + 1);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    // Press on the call sign and move with the button held: the drag starts from the mark.
    const QPoint press = PointAt(v.content, DocPos(v.content, block, Oh2xyz + 2));
    QTest::mousePress(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, press);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(30, 0), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(v.content.viewport(), &move);

    const QPoint target = PointAt(v.content, DocPos(v.content, block, Test + 2));
    QMimeData mime;
    QDropEvent drop(target, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    v.content.dropEvent(&drop);

    const QVector<UserData*> signs = OfType(block, UserData::CallSignType);
    QCOMPARE(signs.size(), 1);
    QCOMPARE(signs.at(0)->Start, Test);
    QCOMPARE(signs.at(0)->End, Test + 4);
    QCOMPARE(signs.at(0)->Text, QStringLiteral("TEST"));
    QCOMPARE(signs.at(0)->CallSign, original.CallSign);
    QCOMPARE(signs.at(0)->Modifier, original.Modifier);
    QCOMPARE(signs.at(0)->ChangeTime, original.ChangeTime);
    // One message takes the old mark away, the next one sets the new one.
    QCOMPARE(saved.count(), 2);
    QCOMPARE(Carried(saved, 0).at(0).CallSign, QString(original.CallSign));
    QCOMPARE(Carried(saved, 0).at(0).Start, Oh2xyz);
    QCOMPARE(Carried(saved, 1).at(0).Start, Test);
    QVERIFY(!v.content.textCursor().hasSelection());

    // The drag is over: a second drop moves nothing.
    QDropEvent again(PointAt(v.content, DocPos(v.content, block, 1)), Qt::MoveAction, &mime,
                     Qt::LeftButton, Qt::NoModifier);
    v.content.dropEvent(&again);
    QCOMPARE(saved.count(), 2);
}

void TestContentEditing::dragOntoClosedBlock()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    const BlockPtr closed = v.model.GetChannelData(Channel)->FirstBlock();
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    const QPoint press = PointAt(v.content, DocPos(v.content, block, Oh2xyz));
    QTest::mousePress(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, press);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(0, 20), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(v.content.viewport(), &move);

    QMimeData mime;
    QDropEvent drop(PointAt(v.content, DocPos(v.content, closed, 7)), Qt::MoveAction, &mime,
                    Qt::LeftButton, Qt::NoModifier);
    v.content.dropEvent(&drop);
    QCOMPARE(saved.count(), 0);
    QVERIFY(block->FindUserData(UserData::CallSignType, Oh2xyz, Oh2xyz + 1));
    QVERIFY(closed->userData.isEmpty());
    // The word under the drop stays selected.
    QCOMPARE(v.content.textCursor().selectedText(), QStringLiteral("DL1ABC"));

    // Afterwards new text still arrives in the document.
    v.model.AddTransmission(Xml(Channel, T0.addSecs(60), QStringLiteral(" MORE"), {}, Open.size()));
    v.content.UpdateContent();
    QVERIFY(v.content.document()->toPlainText().endsWith(Open + QStringLiteral(" MORE")));
}

void TestContentEditing::dropWithoutDragOrFromElsewhere()
{
    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    const QString before = v.content.document()->toPlainText();

    // Drops reach the text area in read-only channels too.
    QVERIFY(v.content.viewport()->acceptDrops());
    // A drag from another widget or program is not taken.
    QMimeData mime;
    mime.setText(QStringLiteral("DROPPED"));
    QDragEnterEvent enter(PointAt(v.content, 0), Qt::CopyAction | Qt::MoveAction, &mime,
                          Qt::LeftButton, Qt::NoModifier);
    enter.accept();
    v.content.dragEnterEvent(&enter);
    QVERIFY(!enter.isAccepted());

    // A press on plain text starts no drag; a drop then does nothing at all.
    const QPoint press = PointAt(v.content, DocPos(v.content, block, 1));
    QTest::mousePress(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, press);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(30, 0), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(v.content.viewport(), &move);
    QTest::mouseRelease(v.content.viewport(), Qt::LeftButton, Qt::NoModifier,
                        press + QPoint(30, 0));
    QDropEvent drop(PointAt(v.content, DocPos(v.content, block, Test)), Qt::MoveAction, &mime,
                    Qt::LeftButton, Qt::NoModifier);
    v.content.dropEvent(&drop);
    QCOMPARE(saved.count(), 0);
    QCOMPARE(v.content.document()->toPlainText(), before);

    // A drag that was released is over too.
    const QPoint onSign = PointAt(v.content, DocPos(v.content, block, Oh2xyz));
    QTest::mousePress(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, onSign);
    QMouseEvent drag(QEvent::MouseMove, onSign + QPoint(30, 0), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(v.content.viewport(), &drag);
    QTest::mouseRelease(v.content.viewport(), Qt::LeftButton, Qt::NoModifier, onSign);
    v.content.dropEvent(&drop);
    QCOMPARE(saved.count(), 0);
}

void TestContentEditing::selectCallSign_data()
{
    QTest::addColumn<bool>("withSelection");
    QTest::addColumn<bool>("selectionOnly");
    QTest::addColumn<bool>("marked");
    QTest::addColumn<int>("start");

    QTest::newRow("selection is marked") << true << true << true << Hello;
    QTest::newRow("no selection, selection only") << false << true << false << -1;
    QTest::newRow("no selection marks the last word") << false << false << true << Test;
}

void TestContentEditing::selectCallSign()
{
    QFETCH(bool, withSelection);
    QFETCH(bool, selectionOnly);
    QFETCH(bool, marked);
    QFETCH(int, start);

    View v(Channel, false);
    FeedChannel(v.model);
    v.content.RefreshContent();
    const BlockPtr block = v.Newest();
    if (withSelection) {
        const int from = DocPos(v.content, block, Hello);
        Select(v.content, from, from + 5);
    } else {
        Unselect(v.content);
    }
    QVERIFY(!v.content.SelectCallSign(QString(), selectionOnly));
    QCOMPARE(v.content.SelectCallSign(QStringLiteral("DF0AA"), selectionOnly), marked);
    const UserData* mark = nullptr;
    for (const UserData* u : OfType(block, UserData::CallSignType))
        if (u->CallSign == QStringLiteral("DF0AA"))
            mark = u;
    QCOMPARE(mark != nullptr, marked);
    if (mark) {
        QCOMPARE(mark->Start, start);
        QVERIFY(v.model.GetCallSigns().contains(QStringLiteral("DF0AA")));
    }

    // A closed newest block cannot take it.
    v.model.EndTransmission();
    v.content.UpdateView();
    Unselect(v.content);
    QVERIFY(!v.content.SelectCallSign(QStringLiteral("DF0BB"), false));
}

void TestContentEditing::typing()
{
    View v(User, true);
    QSignalSpy modified(&v.content, &DecodedTextContent::OnModification);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    QTest::keyClicks(&v.content, QStringLiteral("CQ DE"));

    const BlockPtr block = v.Newest();
    QVERIFY(block);
    QCOMPARE(block->text, QStringLiteral("CQ DE"));
    QCOMPARE(block->id, 1);
    QCOMPARE(modified.count(), 5);
    QVERIFY(modified.at(4).at(0).toBool());
    QCOMPARE(saved.count(), 0); // the user channel hands its text out later
    QVERIFY_BLOCK(*block);
    const auto* item
        = dynamic_cast<const DecodedTextLayoutItem*>(v.content.document()->firstBlock().userData());
    QVERIFY(item);
    QCOMPARE(item->block, block);
    QCOMPARE(item->start, 0);
    QCOMPARE(item->end, 5);

    // Deleting the last character takes it from the block too.
    QTest::keyClick(&v.content, Qt::Key_Backspace);
    QCOMPARE(block->text, QStringLiteral("CQ D"));
    QCOMPARE(item->end, 4);
    QVERIFY_BLOCK(*block);

    // The document's own rebuild is not typing.
    const int before = modified.count();
    v.content.RefreshContent();
    QCOMPARE(block->text, QStringLiteral("CQ D"));
    QCOMPARE(modified.count(), before);
}

void TestContentEditing::typingLineBreaks()
{
    View v(User, true);
    QTest::keyClicks(&v.content, QStringLiteral("ONE"));
    QTest::keyClick(&v.content, Qt::Key_Return);
    QTest::keyClicks(&v.content, QStringLiteral("TWO"));
    QTest::keyClick(&v.content, Qt::Key_Return);
    QTest::keyClicks(&v.content, QStringLiteral("3"));

    const BlockPtr block = v.Newest();
    QCOMPARE(block->text, QStringLiteral("ONE\nTWO\n3"));
    QVERIFY_BLOCK(*block);
    // Every line carries the block positions it shows.
    QStringList lines;
    for (QTextBlock line = v.content.document()->firstBlock(); line.isValid(); line = line.next()) {
        const auto* item = dynamic_cast<const DecodedTextLayoutItem*>(line.userData());
        QVERIFY(item);
        QCOMPARE(item->block, block);
        lines << QStringLiteral("%1:%2-%3").arg(line.text()).arg(item->start).arg(item->end);
    }
    QCOMPARE(lines,
             (QStringList { QStringLiteral("ONE:0-4"), QStringLiteral("TWO:4-8"),
                            QStringLiteral("3:8-9") }));
}

void TestContentEditing::typingInsideOpenBlock()
{
    View v(User, true);
    QTest::keyClicks(&v.content, QStringLiteral("AAA"));
    v.model.EndTransmission(); // hands the text out, a fresh block takes the next edits
    v.content.RefreshContent();
    QTest::keyClicks(&v.content, QStringLiteral("HELO WORLD"));

    const auto buffer = v.model.GetChannelData(User);
    QCOMPARE(buffer->blocks.size(), 2);
    const BlockPtr block = buffer->LastBlock();
    QCOMPARE(buffer->FirstBlock()->text, QStringLiteral("AAA"));
    QCOMPARE(block->text, QStringLiteral("HELO WORLD"));
    QCOMPARE(v.content.document()->toPlainText(), QStringLiteral("AAA\n\nHELO WORLD"));

    // Fix the typo inside the open block: the document offset of the block is taken off.
    QTextCursor cursor = v.content.textCursor();
    cursor.setPosition(DocPos(v.content, block, 3));
    v.content.setTextCursor(cursor);
    QVERIFY(v.content.textInteractionFlags() & Qt::TextEditable);
    QTest::keyClicks(&v.content, QStringLiteral("L"));
    QCOMPARE(block->text, QStringLiteral("HELLO WORLD"));
    QCOMPARE(buffer->FirstBlock()->text, QStringLiteral("AAA"));
    QVERIFY_BLOCK(*block);
    const auto* item
        = dynamic_cast<const DecodedTextLayoutItem*>(v.content.document()->lastBlock().userData());
    QVERIFY(item);
    QCOMPARE(item->block, block);
    QCOMPARE(item->end, block->EndPosition());
}

void TestContentEditing::closedBlockIsReadOnly()
{
    View v(User, true);
    QTest::keyClicks(&v.content, QStringLiteral("OLD"));
    v.model.EndTransmission();
    v.content.RefreshContent();
    const auto buffer = v.model.GetChannelData(User);
    const BlockPtr closed = buffer->FirstBlock();
    QVERIFY(closed->closed);

    // In the closed block the operator can select, not type.
    QTextCursor cursor = v.content.textCursor();
    cursor.setPosition(1);
    v.content.setTextCursor(cursor);
    QVERIFY(!(v.content.textInteractionFlags() & Qt::TextEditable));
    QVERIFY(v.content.textInteractionFlags() & Qt::TextSelectableByMouse);
    QTest::keyClicks(&v.content, QStringLiteral("X"));
    QCOMPARE(closed->text, QStringLiteral("OLD"));

    // At the very end typing is possible again.
    cursor.movePosition(QTextCursor::End);
    v.content.setTextCursor(cursor);
    QVERIFY(v.content.textInteractionFlags() & Qt::TextEditable);
    QTest::keyClicks(&v.content, QStringLiteral("NEW"));
    QCOMPARE(buffer->LastBlock()->text, QStringLiteral("NEW"));
}

void TestContentEditing::clearAll()
{
    View user(User, true);
    QSignalSpy modified(&user.content, &DecodedTextContent::OnModification);
    QSignalSpy reset(&user.model, &DecodedTextData::ResetRequest);
    QVERIFY(Trigger(user.content, QPoint(1, 1), QStringLiteral("Clear all channels")));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(modified.count(), 1);
    QCOMPARE(modified.at(0).at(0).toBool(), false);

    View other(Channel, false);
    QSignalSpy quiet(&other.content, &DecodedTextContent::OnModification);
    QSignalSpy otherReset(&other.model, &DecodedTextData::ResetRequest);
    QVERIFY(Trigger(other.content, QPoint(1, 1), QStringLiteral("Clear all channels")));
    QCOMPARE(otherReset.count(), 1);
    QCOMPARE(quiet.count(), 0);
}

QTEST_MAIN(TestContentEditing)
#include "tst_contentediting.moc"
