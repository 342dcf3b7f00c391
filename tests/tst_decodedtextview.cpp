#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "varnoresultdataxml.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace VarnoResultDataXml;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

struct Run
{
    int position;
    int second; // run time = start + second
};

QString Xml(int channel, const QString& text, const QDateTime& start,
            const QVector<Run>& runs = {{0, 0}})
{
    Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(channel, 0, 0);
    block->SetID(1);
    block->SetContent(text);
    for (const Run& run : runs) {
        TimeStamp stamp;
        stamp.Time = start.addSecs(run.second);
        stamp.Position = run.position;
        stamp.Quality = 90;
        block->GetTimeStamp().append(stamp);
    }
    transmission.AddDataBlock(block);
    return transmission.GetXmlString();
}

QSplitter* Splitter(DecodedTextView& view)
{
    return view.findChild<QSplitter*>();
}

// What the splitter holds, top to bottom: channel numbers, "label:<text>" for the filler.
QStringList Stack(DecodedTextView& view)
{
    QStringList items;
    QSplitter* splitter = Splitter(view);
    for (int i = 0; i < splitter->count(); ++i) {
        QWidget* w = splitter->widget(i);
        if (auto* pane = qobject_cast<DecodedTextChannel*>(w))
            items << QString::number(pane->GetChannel()) + (pane->IsExpanded() ? "+" : "");
        else if (auto* label = qobject_cast<QLabel*>(w))
            items << QStringLiteral("label:") + label->text();
        else
            items << QStringLiteral("?");
    }
    return items;
}

DecodedTextChannel* Pane(DecodedTextView& view, int channel)
{
    const auto panes = view.findChildren<DecodedTextChannel*>();
    for (DecodedTextChannel* pane : panes) {
        if (pane->GetChannel() == channel)
            return pane;
    }
    return nullptr;
}

QString Title(DecodedTextView& view, int channel)
{
    DecodedTextChannel* pane = Pane(view, channel);
    if (!pane)
        return QStringLiteral("<no pane>");
    return pane->GetCaption()->findChild<QLabel*>(QStringLiteral("ChannelLabel"))->text();
}

// Stands in for a host that wants to decide itself when the view is cleared.
class ResetCounter : public QObject
{
    Q_OBJECT

public:
    int count = 0;

public slots:
    void Count() { ++count; }
};

} // namespace

class TestDecodedTextView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void metaObjectInterface();
    void castsToBothBases();
    void newViewWaitsForData();
    void firstPaneOpensLaterPanesStayClosed();
    void panesStandInChannelOrder_data();
    void panesStandInChannelOrder();
    void closedPaneBehindFillerStaysInOrder();
    void panesAreTitled();
    void renamingReachesPaneAndModel();
    void closingLastOpenPaneBringsEmptyFiller();
    void removeChannelDropsPaneAndBuffer();
    void removeUnknownChannelChangesNothing();
    void resetClearsEverything();
    void requestedResetRunsLater();
    void resetHandlerTakesOverRequests();
    void badResetHandlerIsReported();
    void showChannelOpensPane();
    void contextMenuOffersUserChannel();
    void contextMenuNeedsUserData();
    void disablingUserDataRemovesUserChannel();
    void applyUserChannelRespectsAutoApply();
    void selectCallSignReusesLastSign();
    void lastTimestampIsNewestRun();
    void handThroughOperations();

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
    const QMetaObject& mo = DecodedTextView::staticMetaObject;
    QStringList methods;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        methods << QString::fromLatin1(mo.method(i).methodSignature());
    const QStringList expected{
        "NewTransmission()",         "SaveUserData(int,QString)", "ApplyAlphabet(QString)",
        "ResetNotification()",       "AddTransmission(QString)",  "ChannelCreated(int)",
        "ShowChannel(int)",          "UpdateLayout()",            "SetBufferSize(int)",
        "SetMorse(bool)",            "EnableUserData(bool)",      "SetQualityThreshold(int)",
        "EndTransmission()",         "DefineCallSign(QString)",   "SelectCallSign(QString)",
        "ShowContextMenu(QPoint)",   "Reset()",                   "ApplyUserChannel(bool)"};
    QCOMPARE(methods, expected);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(mo.method(mo.methodOffset() + i).methodType(), QMetaMethod::Signal);
    for (int i = 4; i < 18; ++i) {
        QCOMPARE(mo.method(mo.methodOffset() + i).methodType(), QMetaMethod::Slot);
        QCOMPARE(mo.method(mo.methodOffset() + i).access(), QMetaMethod::Public);
    }
}

void TestDecodedTextView::castsToBothBases()
{
    DecodedTextView view(nullptr);
    QCOMPARE(view.qt_metacast("DecodedTextView"), static_cast<void*>(&view));
    QCOMPARE(view.qt_metacast("SaveComponentIf"),
             static_cast<void*>(static_cast<SaveComponentIf*>(&view)));
    QCOMPARE(view.qt_metacast("QWidget"), static_cast<void*>(static_cast<QWidget*>(&view)));
    QCOMPARE(view.qt_metacast("DecodedTextData"), nullptr);
    QCOMPARE(view.objectName(), QStringLiteral("DecodedTextView"));
    QCOMPARE(view.contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(view.focusPolicy(), Qt::ClickFocus);
}

void TestDecodedTextView::newViewWaitsForData()
{
    DecodedTextView view(nullptr);
    QCOMPARE(Stack(view), QStringList{"label:Waiting for valid data"});
    auto* label = qobject_cast<QLabel*>(Splitter(view)->widget(0));
    QCOMPARE(label->alignment(), Qt::AlignHCenter);
    QCOMPARE(Splitter(view)->orientation(), Qt::Vertical);
    QCOMPARE(Splitter(view)->handleWidth(), 5);
    QVERIFY(!Splitter(view)->childrenCollapsible());
}

void TestDecodedTextView::firstPaneOpensLaterPanesStayClosed()
{
    DecodedTextView view(nullptr);
    view.AddTransmission(Xml(2, QStringLiteral("CQ CQ"), T0));
    QCOMPARE(Stack(view), QStringList{"2+"});
    view.AddTransmission(Xml(4, QStringLiteral("QRZ"), T0));
    QCOMPARE(Stack(view), (QStringList{"2+", "4"}));
}

void TestDecodedTextView::panesStandInChannelOrder_data()
{
    QTest::addColumn<QVector<int>>("announced");
    QTest::addColumn<QStringList>("stack");

    QTest::newRow("announced backwards and mixed")
        << QVector<int>{5, 1, 3} << QStringList{"1", "3", "5+"};
    QTest::newRow("announcing a channel twice adds nothing")
        << QVector<int>{5, 1, 3, 3, 5} << QStringList{"1", "3", "5+"};
    QTest::newRow("user channel after the decoder channels")
        << QVector<int>{1000, 7, 2} << QStringList{"2", "7", "1000+"};
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
    QCOMPARE(Stack(view), (QStringList{"5", "label:"}));

    // New panes go in front of the pane that follows them, so the channels stay in order
    // whatever the filler label's place.
    view.GetLastTimestamp(7);
    view.GetLastTimestamp(9);
    view.GetLastTimestamp(8);
    view.GetLastTimestamp(1);
    QStringList panes = Stack(view);
    panes.removeAll(QStringLiteral("label:"));
    QCOMPARE(panes, (QStringList{"1", "5", "7", "8", "9"}));
    QCOMPARE(Stack(view).size(), 6);
}

void TestDecodedTextView::panesAreTitled()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(3);
    view.GetLastTimestamp(DecodedTextData::UserChannelID);
    QCOMPARE(Title(view, 3), QStringLiteral("Channel 3"));
    QCOMPARE(Title(view, 1000), QStringLiteral("User"));
}

void TestDecodedTextView::renamingReachesPaneAndModel()
{
    DecodedTextView view(nullptr);
    // Naming a channel before it exists gives the new pane that name.
    view.DefineChannelName(7, QStringLiteral("Coast station"));
    QCOMPARE(view.GetChannelNames().value(7), QStringLiteral("Coast station"));
    view.GetLastTimestamp(7);
    QCOMPARE(Title(view, 7), QStringLiteral("Coast station"));

    view.DefineChannelName(7, QStringLiteral("Ship"));
    QCOMPARE(Title(view, 7), QStringLiteral("Ship"));
    QCOMPARE(view.GetChannelNames().value(7), QStringLiteral("Ship"));
}

void TestDecodedTextView::closingLastOpenPaneBringsEmptyFiller()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(1);
    view.GetLastTimestamp(2);
    Pane(view, 1)->ToggleTextArea();
    QCOMPARE(Stack(view), (QStringList{"1", "2", "label:"}));
    Pane(view, 2)->ToggleTextArea();
    QCOMPARE(Stack(view), (QStringList{"1", "2+"}));

    view.RemoveChannel(2);
    QCOMPARE(Stack(view), (QStringList{"1", "label:"}));
    view.RemoveChannel(1);
    QCOMPARE(Stack(view), QStringList{"label:Waiting for valid data"});
}

void TestDecodedTextView::removeChannelDropsPaneAndBuffer()
{
    DecodedTextView view(nullptr);
    view.AddTransmission(Xml(3, QStringLiteral("CQ"), T0));
    QCOMPARE(view.GetLastTimestamp(3), T0);

    view.RemoveChannel(3);
    QVERIFY(!Pane(view, 3));
    QCOMPARE(Stack(view), QStringList{"label:Waiting for valid data"});

    // The buffer went too: asking again makes a fresh, empty channel.
    QCOMPARE(view.GetLastTimestamp(3), QDateTime());
    QCOMPARE(Stack(view), QStringList{"3+"});
}

void TestDecodedTextView::removeUnknownChannelChangesNothing()
{
    DecodedTextView view(nullptr);
    view.AddTransmission(Xml(3, QStringLiteral("CQ"), T0));
    view.GetLastTimestamp(4);
    view.RemoveChannel(9);
    QCOMPARE(Stack(view), (QStringList{"3+", "4"}));
    QCOMPARE(view.GetLastTimestamp(3), T0);
}

void TestDecodedTextView::resetClearsEverything()
{
    DecodedTextView view(nullptr);
    QSignalSpy notified(&view, &DecodedTextView::ResetNotification);
    view.AddTransmission(Xml(3, QStringLiteral("CQ"), T0));
    view.AddTransmission(Xml(5, QStringLiteral("DE"), T0));

    view.Reset();
    QCOMPARE(notified.count(), 1);
    QCOMPARE(Stack(view), QStringList{"label:Waiting for valid data"});
    QVERIFY(view.findChildren<DecodedTextChannel*>().isEmpty());
    QCOMPARE(view.GetLastTimestamp(5), QDateTime());
}

void TestDecodedTextView::requestedResetRunsLater()
{
    DecodedTextView view(nullptr);
    QSignalSpy notified(&view, &DecodedTextView::ResetNotification);
    view.AddTransmission(Xml(3, QStringLiteral("CQ"), T0));
    DecodedTextContent* content = Pane(view, 3)->findChild<DecodedTextContent*>();
    QVERIFY(content);

    content->SlotClearAll();
    // The text area that asked is still there when its request returns.
    QCOMPARE(notified.count(), 0);
    QCOMPARE(Stack(view), QStringList{"3+"});

    QTRY_COMPARE(notified.count(), 1);
    QCOMPARE(Stack(view), QStringList{"label:Waiting for valid data"});
}

void TestDecodedTextView::resetHandlerTakesOverRequests()
{
    DecodedTextView view(nullptr);
    ResetCounter first;
    ResetCounter second;
    QSignalSpy notified(&view, &DecodedTextView::ResetNotification);
    QVERIFY(view.SetResetHandler(&first, SLOT(Count())));
    QVERIFY(view.SetResetHandler(&second, SLOT(Count())));

    view.AddTransmission(Xml(3, QStringLiteral("CQ"), T0));
    Pane(view, 3)->findChild<DecodedTextContent*>()->SlotClearAll();
    QCOMPARE(first.count, 0);
    QTRY_COMPARE(second.count, 1);
    QCOMPARE(first.count, 1);

    QTest::qWait(50);
    QCOMPARE(notified.count(), 0);
    QCOMPARE(Stack(view), QStringList{"3+"});

    // The host clears when it decides to.
    view.Reset();
    QCOMPARE(notified.count(), 1);
}

void TestDecodedTextView::badResetHandlerIsReported()
{
    DecodedTextView view(nullptr);
    ResetCounter handler;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QObject::connect: No such slot.*"));
    QVERIFY(!view.SetResetHandler(&handler, SLOT(NoSuchSlot())));
}

void TestDecodedTextView::showChannelOpensPane()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(1);
    view.GetLastTimestamp(2);
    view.ShowChannel(2);
    QCOMPARE(Stack(view), (QStringList{"1+", "2+"}));
    view.ShowChannel(9);
    QCOMPARE(Stack(view), (QStringList{"1+", "2+"}));
}

void TestDecodedTextView::contextMenuOffersUserChannel()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(2);
    QStringList offered;
    QTimer::singleShot(0, this, [&offered] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        const auto actions = menu->actions();
        for (QAction* action : actions)
            offered << action->text();
        if (!actions.isEmpty())
            actions.first()->trigger();
        menu->close();
    });
    view.ShowContextMenu(QPoint(5, 5));

    QCOMPARE(offered, QStringList{"Show user channel"});
    QCOMPARE(Stack(view), (QStringList{"2+", "1000+"}));
    QVERIFY(view.findChildren<QMenu*>().isEmpty());
}

void TestDecodedTextView::contextMenuNeedsUserData()
{
    DecodedTextView view(nullptr);
    view.EnableUserData(false);
    bool menuShown = false;
    QTimer closer;
    closer.setSingleShot(true);
    connect(&closer, &QTimer::timeout, this, [&menuShown] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    closer.start(0);
    view.ShowContextMenu(QPoint(5, 5));
    QTest::qWait(20);
    QVERIFY(!menuShown);
    QVERIFY(!view.UserDataEnabled());
}

void TestDecodedTextView::disablingUserDataRemovesUserChannel()
{
    DecodedTextView view(nullptr);
    view.GetLastTimestamp(2);
    view.GetLastTimestamp(DecodedTextData::UserChannelID);
    view.EnableUserData(true);
    QCOMPARE(Stack(view), (QStringList{"2+", "1000"}));

    view.EnableUserData(false);
    QCOMPARE(Stack(view), QStringList{"2+"});
    QVERIFY(!view.UserDataEnabled());
    QVERIFY(!view.GetChannelsWithActiveUserData().contains(DecodedTextData::UserChannelID));
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
    view.AddTransmission(Xml(2, QStringLiteral("CQ DE DL1ABC"), T0));
    QSignalSpy saved(&view, &DecodedTextView::SaveUserData);

    // Nothing selected before: nothing to reuse.
    view.SelectCallSign(QString());
    QCOMPARE(saved.count(), 0);

    // No pane has a selection, so the open pane marks its last word.
    view.SelectCallSign(QStringLiteral("DL1ABC"));
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0).at(0).toInt(), 2);
    QVERIFY(saved.at(0).at(1).toString().contains(QStringLiteral("DL1ABC")));

    view.SelectCallSign(QString());
    QCOMPARE(saved.count(), 2);
    QVERIFY(saved.at(1).at(1).toString().contains(QStringLiteral("DL1ABC")));
}

void TestDecodedTextView::lastTimestampIsNewestRun()
{
    DecodedTextView view(nullptr);
    view.AddTransmission(Xml(4, QStringLiteral("CQ CQ DE X"), T0, {{0, 0}, {3, 7}}));
    QCOMPARE(view.GetLastTimestamp(4), T0.addSecs(7));
    QCOMPARE(view.GetLastTimestamp(6), QDateTime());
    QVERIFY(Pane(view, 6));
}

void TestDecodedTextView::handThroughOperations()
{
    DecodedTextView view(nullptr);
    view.SetBufferSize(500);
    QCOMPARE(view.GetBufferSize(), 1000);
    view.SetBufferSize(25000);
    QCOMPARE(view.GetBufferSize(), 25000);

    view.AddTransmission(Xml(3, QStringLiteral("CQ"), T0));
    QVERIFY(view.IsChanged(3));
    VarnoResultData document;
    view.GetData(3, document, false);
    QCOMPARE(document.GetTransmission().size(), 1);
    QCOMPARE(document.GetTransmission().at(0)->GetDataBlock().size(), 1);
    QCOMPARE(document.GetTransmission().at(0)->GetDataBlock().at(0)->GetContent(),
             QStringLiteral("CQ"));
    QVERIFY(!view.IsChanged(3));

    view.DefineCallSign(QStringLiteral("DL1ABC"));
    view.SetMorse(true);
    QCOMPARE(Stack(view), QStringList{"3+"});
}

QTEST_MAIN(TestDecodedTextView)
#include "tst_decodedtextview.moc"
