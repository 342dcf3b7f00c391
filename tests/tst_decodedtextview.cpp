#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "widgetfixtures.h"

#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QtTest>

using WidgetFixtures::BlockXml;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
const QString Waiting = QStringLiteral("label:Waiting for valid data");

// What the splitter holds, top to bottom: channel numbers ("+" when open), "label:<text>" for
// the filler.
QStringList Stack(DecodedTextView& view)
{
    QStringList items;
    QSplitter* splitter = view.findChild<QSplitter*>();
    for (int i = 0; i < splitter->count(); ++i) {
        QWidget* w = splitter->widget(i);
        if (auto* pane = qobject_cast<DecodedTextChannel*>(w))
            items << QString::number(pane->GetChannel()) + (pane->IsExpanded() ? "+" : "");
        else if (auto* label = qobject_cast<QLabel*>(w))
            items << QStringLiteral("label:") + label->text();
    }
    return items;
}

DecodedTextChannel* Pane(DecodedTextView& view, int channel)
{
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>())
        if (pane->GetChannel() == channel)
            return pane;
    return nullptr;
}

// Stands in for a host that wants to decide itself when the view is cleared.
class ResetCounter : public QObject {
    Q_OBJECT

public:
    int count = 0;

public slots:
    void Count() { ++count; }
};

} // namespace

class TestDecodedTextView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void metaObjectInterface();
    void panesStandInChannelOrder_data();
    void panesStandInChannelOrder();
    void closedPaneBehindFillerStaysInOrder();
    void namesReachPaneAndModel();
    void removeChannel();
    void requestedResetRunsLater();
    void resetHandlerTakesOverRequests();
    void userChannelComesAndGoes();
    void applyUserChannelRespectsAutoApply();
    void selectCallSignReusesLastSign();
    void lastTimestampAndChanges();

private:
    QTemporaryDir configDir;
};

void TestDecodedTextView::initTestCase()
{
    // Keep the settings of these views away from the user's configuration.
    QVERIFY(configDir.isValid());
    qputenv("VX_APP_CONFIG", configDir.filePath(QStringLiteral("view.ini")).toLocal8Bit());
}

void TestDecodedTextView::metaObjectInterface()
{
    // Hosts connect by these signatures; nothing may be missing, renamed or added.
    const QMetaObject& mo = DecodedTextView::staticMetaObject;
    QStringList methods;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        methods << QString::fromLatin1(mo.method(i).methodSignature())
                + (mo.method(i).methodType() == QMetaMethod::Signal ? " signal" : "");
    QCOMPARE(methods,
             QStringList({ "NewTransmission() signal", "SaveUserData(int,QString) signal",
                           "ApplyAlphabet(QString) signal", "ResetNotification() signal",
                           "AddTransmission(QString)", "ChannelCreated(int)", "ShowChannel(int)",
                           "UpdateLayout()", "SetBufferSize(int)", "SetMorse(bool)",
                           "EnableUserData(bool)", "SetQualityThreshold(int)", "EndTransmission()",
                           "DefineCallSign(QString)", "SelectCallSign(QString)",
                           "ShowContextMenu(QPoint)", "Reset()", "ApplyUserChannel(bool)" }));
    for (int i = mo.methodOffset() + 4; i < mo.methodCount(); ++i)
        QCOMPARE(mo.method(i).access(), QMetaMethod::Public);
    // The host reaches the saving interface through the meta-object cast.
    DecodedTextView view(nullptr);
    QCOMPARE(view.qt_metacast("SaveComponentIf"),
             static_cast<void*>(static_cast<SaveComponentIf*>(&view)));
}

void TestDecodedTextView::panesStandInChannelOrder_data()
{
    QTest::addColumn<QVector<int>>("announced");
    QTest::addColumn<QStringList>("stack");

    QTest::newRow("no channel yet: waiting") << QVector<int> {} << QStringList { Waiting };
    QTest::newRow("announced backwards and mixed, the first one opens")
        << QVector<int> { 5, 1, 3 } << QStringList { "1", "3", "5+" };
    QTest::newRow("announcing a channel twice adds nothing")
        << QVector<int> { 5, 1, 3, 3, 5 } << QStringList { "1", "3", "5+" };
    QTest::newRow("user channel after the decoder channels")
        << QVector<int> { 1000, 7, 2 } << QStringList { "2", "7", "1000+" };
}

void TestDecodedTextView::panesStandInChannelOrder()
{
    QFETCH(QVector<int>, announced);
    QFETCH(QStringList, stack);
    DecodedTextView view(nullptr);
    for (int channel : announced)
        view.GetLastTimestamp(channel);
    QCOMPARE(Stack(view), stack);
}

void TestDecodedTextView::closedPaneBehindFillerStaysInOrder()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(5);
    Pane(view, 5)->ToggleTextArea();
    QCOMPARE(Stack(view), QStringList({ "5", "label:" }));

    // New panes go in front of the pane that follows them, whatever the filler's place.
    for (int channel : { 7, 9, 8, 1 })
        view.GetLastTimestamp(channel);
    QStringList panes = Stack(view);
    QCOMPARE(panes.removeAll(QStringLiteral("label:")), 1);
    QCOMPARE(panes, QStringList({ "1", "5", "7", "8", "9" }));
}

void TestDecodedTextView::namesReachPaneAndModel()
{
    DecodedTextView view(nullptr);
    auto title = [&view](int channel) {
        return Pane(view, channel)
            ->GetCaption()
            ->findChild<QLabel*>(QStringLiteral("ChannelLabel"))
            ->text();
    };
    // Naming a channel before it exists gives the new pane that name.
    view.DefineChannelName(7, QStringLiteral("Coast station"));
    view.GetLastTimestamp(7);
    view.GetLastTimestamp(3);
    view.GetLastTimestamp(DecodedTextData::UserChannelID);
    QCOMPARE(QStringList({ title(7), title(3), title(1000) }),
             QStringList({ "Coast station", "Channel 3", "User" }));

    view.DefineChannelName(7, QStringLiteral("Ship"));
    QCOMPARE(title(7), QStringLiteral("Ship"));
    QCOMPARE(view.GetChannelNames().value(7), QStringLiteral("Ship"));
}

void TestDecodedTextView::removeChannel()
{
    DecodedTextView view(nullptr);
    view.AddTransmission(BlockXml(3, T0, QStringLiteral("CQ")));
    view.GetLastTimestamp(4);
    view.RemoveChannel(9);
    QCOMPARE(Stack(view), QStringList({ "3+", "4" }));

    // Without an open pane the filler stands below; without panes it waits again.
    view.RemoveChannel(3);
    QCOMPARE(Stack(view), QStringList({ "4", "label:" }));
    view.RemoveChannel(4);
    QCOMPARE(Stack(view), QStringList { Waiting });

    // The buffer went too: asking again makes a fresh, empty channel.
    QCOMPARE(view.GetLastTimestamp(3), QDateTime());
    QCOMPARE(Stack(view), QStringList { "3+" });
}

void TestDecodedTextView::requestedResetRunsLater()
{
    DecodedTextView view(nullptr);
    QSignalSpy notified(&view, &DecodedTextView::ResetNotification);
    view.AddTransmission(BlockXml(3, T0, QStringLiteral("CQ")));
    view.AddTransmission(BlockXml(5, T0, QStringLiteral("DE")));
    Pane(view, 3)->findChild<DecodedTextContent*>()->SlotClearAll();
    // The text area that asked is still there when its request returns.
    QCOMPARE(notified.count(), 0);
    QCOMPARE(Stack(view), QStringList({ "3+", "5" }));
    // Then everything goes: panes and buffers.
    QTRY_COMPARE(notified.count(), 1);
    QCOMPARE(Stack(view), QStringList { Waiting });
    QCOMPARE(view.GetLastTimestamp(5), QDateTime());
}

void TestDecodedTextView::resetHandlerTakesOverRequests()
{
    DecodedTextView view(nullptr);
    ResetCounter first, second, bad;
    QSignalSpy notified(&view, &DecodedTextView::ResetNotification);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QObject::connect: No such slot.*"));
    QVERIFY(!view.SetResetHandler(&bad, SLOT(NoSuchSlot())));
    QVERIFY(view.SetResetHandler(&first, SLOT(Count())));
    QVERIFY(view.SetResetHandler(&second, SLOT(Count())));

    view.AddTransmission(BlockXml(3, T0, QStringLiteral("CQ")));
    Pane(view, 3)->findChild<DecodedTextContent*>()->SlotClearAll();
    QCOMPARE(first.count, 0);
    QTRY_COMPARE(second.count, 1);
    QCOMPARE(first.count, 1);
    QCoreApplication::processEvents();
    QCOMPARE(notified.count(), 0);
    QCOMPARE(Stack(view), QStringList { "3+" });

    // The host clears when it decides to.
    view.Reset();
    QCOMPARE(notified.count(), 1);
}

void TestDecodedTextView::userChannelComesAndGoes()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(2);
    QStringList offered;
    bool seen = false;
    WidgetFixtures::WhenPopup(
        [&offered](QMenu* menu) {
            offered = WidgetFixtures::MenuTexts(*menu);
            menu->actions().first()->trigger();
            menu->close();
        },
        &seen);
    view.ShowContextMenu(QPoint(5, 5));
    QVERIFY(seen);
    QCOMPARE(offered, QStringList { "Show user channel" });
    QCOMPARE(Stack(view), QStringList({ "2+", "1000+" }));
    QVERIFY(view.findChildren<QMenu*>().isEmpty());

    // Without annotations the user channel goes, and there is nothing to offer: no menu at all.
    view.EnableUserData(false);
    QCOMPARE(Stack(view), QStringList { "2+" });
    QVERIFY(!view.GetChannelsWithActiveUserData().contains(DecodedTextData::UserChannelID));
    view.ShowContextMenu(QPoint(5, 5));
    QVERIFY(!QApplication::activePopupWidget());
    QVERIFY(view.findChildren<QMenu*>().isEmpty());
}

void TestDecodedTextView::applyUserChannelRespectsAutoApply()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(DecodedTextData::UserChannelID);
    DecodedTextCaption* caption = Pane(view, 1000)->GetCaption();
    QSignalSpy applied(caption, &DecodedTextCaption::OnApply);

    view.ApplyUserChannel(false);
    QCOMPARE(applied.count(), 0);
    caption->setModified(true);
    view.ApplyUserChannel(true);
    QCOMPARE(applied.count(), 1);
    // With automatic applying off, only a forced apply goes through.
    QVERIFY(QMetaObject::invokeMethod(caption, "setAutoApplyEnabled", Q_ARG(bool, false)));
    caption->setModified(true);
    view.ApplyUserChannel(true);
    QCOMPARE(applied.count(), 1);
    view.ApplyUserChannel(false);
    QCOMPARE(applied.count(), 2);
}

void TestDecodedTextView::selectCallSignReusesLastSign()
{
    DecodedTextView view(nullptr);
    view.AddTransmission(BlockXml(2, T0, QStringLiteral("CQ DE DL1ABC")));
    QSignalSpy saved(&view, &DecodedTextView::SaveUserData);

    // Nothing selected before: nothing to reuse. Then the open pane marks its last word, and
    // an empty sign reuses the last one.
    for (const QString& sign : { QString(), QStringLiteral("DL1ABC"), QString() })
        view.SelectCallSign(sign);
    QCOMPARE(saved.count(), 2);
    for (const QList<QVariant>& message : saved) {
        QCOMPARE(message.at(0).toInt(), 2);
        QVERIFY(message.at(1).toString().contains(QStringLiteral("DL1ABC")));
    }
}

void TestDecodedTextView::lastTimestampAndChanges()
{
    DecodedTextView view(nullptr);
    view.AddTransmission(
        BlockXml(4, T0, QStringLiteral("CQ CQ DE X"), {},
                 { WidgetFixtures::Stamp(0, T0), WidgetFixtures::Stamp(3, T0.addSecs(7)) }));
    QCOMPARE(view.GetLastTimestamp(4), T0.addSecs(7));
    QCOMPARE(view.GetLastTimestamp(6), QDateTime());
    QVERIFY(Pane(view, 6));
    // The host collects what changed and marks it as taken.
    QVERIFY(view.IsChanged(4));
    VarnoResultDataXml::VarnoResultData document;
    view.GetData(4, document, false);
    QCOMPARE(document.GetTransmission().at(0)->GetDataBlock().at(0)->GetContent(),
             QStringLiteral("CQ CQ DE X"));
    QVERIFY(!view.IsChanged(4));
}

QTEST_MAIN(TestDecodedTextView)
#include "tst_decodedtextview.moc"
