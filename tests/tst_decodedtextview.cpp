#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "widgetfixtures.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QtTest>

using VarnoResultDataXml::UserData;
using WidgetFixtures::BlockXml;
using WidgetFixtures::Stamp;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
const QString Waiting = QStringLiteral("[Waiting for valid data]");

// What the splitter holds, top to bottom: channel numbers, "+" behind an open pane, "*<seconds
// after T0 of its last stamp>" behind one with text and a caption that is not the default in
// quotes, "[<text>]" for the filler.
QString Stack(DecodedTextView& view)
{
    QStringList items;
    QSplitter* splitter = view.findChild<QSplitter*>();
    for (int i = 0; i < splitter->count(); ++i) {
        if (auto* pane = qobject_cast<DecodedTextChannel*>(splitter->widget(i))) {
            const QString number = QString::number(pane->GetChannel());
            const QDateTime last = view.GetLastTimestamp(pane->GetChannel());
            const QString caption = pane->GetCaption()->findChild<QLabel*>("ChannelLabel")->text();
            items << number + (pane->IsExpanded() ? "+" : "")
                    + (last.isValid() ? "*" + QString::number(T0.secsTo(last)) : "")
                    + (caption == (number == "1000" ? "User" : "Channel " + number) ? "" : '\'' + caption + '\'');
        }
        else if (auto* label = qobject_cast<QLabel*>(splitter->widget(i)))
            items << '[' + label->text() + ']';
    }
    return items.join(QLatin1Char(' '));
}

DecodedTextChannel* Pane(DecodedTextView& view, int channel)
{
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>())
        if (pane->GetChannel() == channel)
            return pane;
    return nullptr;
}

} // namespace

class TestDecodedTextView : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Keep the settings of these views away from the user's configuration.
        QVERIFY(configDir.isValid());
        qputenv("VX_APP_CONFIG", configDir.filePath(QStringLiteral("view.ini")).toLocal8Bit());
    }

    void metaObjectInterface()
    {
        // Hosts connect by these signatures ("!": a signal); nothing may be missing, renamed,
        // reordered or added.
        const QMetaObject& mo = DecodedTextView::staticMetaObject;
        QString methods;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
            methods += mo.method(i).methodSignature()
                + (mo.method(i).methodType() == QMetaMethod::Signal ? "! " : " ");
        QCOMPARE(
            methods,
            "NewTransmission()! SaveUserData(int,QString)! ApplyAlphabet(QString)! "
            "ResetNotification()! AddTransmission(QString) ChannelCreated(int) ShowChannel(int) "
            "UpdateLayout() SetBufferSize(int) SetMorse(bool) EnableUserData(bool) "
            "SetQualityThreshold(int) EndTransmission() DefineCallSign(QString) "
            "SelectCallSign(QString) ShowContextMenu(QPoint) Reset() ApplyUserChannel(bool) ");
        for (int i = mo.methodOffset() + 4; i < mo.methodCount(); ++i)
            QCOMPARE(mo.method(i).access(), QMetaMethod::Public);
        // The host reaches the saving interface through the meta-object cast.
        DecodedTextView view(nullptr);
        QCOMPARE(view.qt_metacast("SaveComponentIf"),
                 static_cast<void*>(static_cast<SaveComponentIf*>(&view)));
    }

    void panes_data()
    {
        // N: announce channel N, cN: its creation told again, xN: text for it, stamped at 0 and 7 s
        // after T0, tN: toggle its pane, -N: remove it, nN: name it "Name<index of the step>".
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("stack");
        // clang-format off
        QTest::newRow("no channel yet: waiting") << "" << Waiting;
        QTest::newRow("announced backwards and mixed, the first one opens") << "5 1 3" << "1 3 5+";
        QTest::newRow("announcing a channel twice adds nothing") << "5 1 3 c3 c5" << "1 3 5+";
        QTest::newRow("user channel after the decoder channels") << "1000 7 2" << "2 7 1000+";
        QTest::newRow("a closed pane leaves an empty filler below") << "5 t5" << "5 []";
        QTest::newRow("new panes go in front of the pane that follows them") << "5 t5 7 9 8 1" << "1 5 [] 7 8 9";
        QTest::newRow("removing an unknown channel changes nothing") << "x3 4 -9" << "3+*7 4";
        QTest::newRow("without an open pane the filler stands below") << "x3 4 -3" << "4 []";
        QTest::newRow("without panes the view waits again") << "x3 4 -3 -4" << Waiting;
        QTest::newRow("a removed channel's text went too") << "x3 -3 3" << "3+";
        // Naming looks into the aggregation channel 0, which brings up its pane: announced first here.
        QTest::newRow("a name given ahead reaches the new pane, the others keep theirs") << "0 n7 7 3 1000" << "0+ 3 7'Name1' 1000";
        QTest::newRow("a new name reaches the pane") << "0 7 n7" << "0+ 7'Name2'";
        // clang-format on
    }

    void panes()
    {
        QFETCH(QString, steps);
        DecodedTextView view(nullptr);
        const QStringList all = steps.split(' ', Qt::SkipEmptyParts);
        for (const QString& step : all) {
            const int channel = step.mid(step.at(0).isDigit() ? 0 : 1).toInt();
            if (step.startsWith('x'))
                view.AddTransmission(BlockXml(channel, T0, QStringLiteral("CQ DE X"), {},
                                              { Stamp(0, T0), Stamp(3, T0.addSecs(7)) }));
            else if (step.startsWith('n'))
                view.DefineChannelName(channel, "Name" + QString::number(all.indexOf(step)));
            else if (step.startsWith('t'))
                Pane(view, channel)->ToggleTextArea();
            else if (step.startsWith('-'))
                view.RemoveChannel(channel);
            else if (step.startsWith('c'))
                view.ChannelCreated(channel);
            else
                view.GetLastTimestamp(channel);
        }
        QTEST(Stack(view), "stack");
    }

    void resetRequests()
    {
        DecodedTextView view(nullptr);
        QSignalSpy notified(&view, &DecodedTextView::ResetNotification);
        view.AddTransmission(BlockXml(3, T0, QStringLiteral("CQ")));
        view.AddTransmission(BlockXml(5, T0, QStringLiteral("DE")));
        Pane(view, 3)->findChild<DecodedTextContent*>()->SlotClearAll();
        // The text area that asked is still there when its request returns; then everything
        // goes: panes and buffers.
        QCOMPARE(notified.count(), 0);
        QCOMPARE(Stack(view), QStringLiteral("3+*0 5*0"));
        QTRY_COMPARE(notified.count(), 1);
        QCOMPARE(Stack(view), Waiting);

        // A host's handler takes the requests over, and so does the next one; the host then
        // clears when it decides to.
        QAction bad, first, second;
        QSignalSpy firstCalls(&first, &QAction::triggered),
            secondCalls(&second, &QAction::triggered);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("QObject::connect: No such slot.*"));
        QVERIFY(!view.SetResetHandler(&bad, SLOT(NoSuchSlot())));
        QVERIFY(view.SetResetHandler(&first, SLOT(trigger())));
        QVERIFY(view.SetResetHandler(&second, SLOT(trigger())));
        view.AddTransmission(BlockXml(3, T0, QStringLiteral("CQ")));
        Pane(view, 3)->findChild<DecodedTextContent*>()->SlotClearAll();
        QCOMPARE(firstCalls.count(), 0);
        QTRY_COMPARE(secondCalls.count(), 1);
        QCOMPARE(firstCalls.count(), 1);
        QCOMPARE(notified.count(), 1);
        QCOMPARE(Stack(view), QStringLiteral("3+*0"));
        view.Reset();
        QCOMPARE(notified.count(), 2);
    }

    void userChannelComesAppliesAndGoes()
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
        QCOMPARE(offered, QStringList { "Show user channel" });
        QCOMPARE(Stack(view), QStringLiteral("2+ 1000+"));
        QVERIFY(view.findChildren<QMenu*>().isEmpty());
        // The host applies a pending edit of the user channel; with automatic applying off,
        // only a forced apply goes through.
        DecodedTextCaption* caption = Pane(view, 1000)->GetCaption();
        QSignalSpy applied(caption, &DecodedTextCaption::OnApply);
        caption->setModified(true);
        view.ApplyUserChannel(true);
        QVERIFY(QMetaObject::invokeMethod(caption, "setAutoApplyEnabled", Q_ARG(bool, false)));
        caption->setModified(true);
        view.ApplyUserChannel(true);
        QCOMPARE(applied.count(), 1);
        view.ApplyUserChannel(false);
        QCOMPARE(applied.count(), 2);
        // Without annotations the user channel goes, and there is nothing to offer: no menu.
        view.EnableUserData(false);
        QCOMPARE(Stack(view), QStringLiteral("2+"));
        view.ShowContextMenu(QPoint(5, 5));
        QVERIFY(!QApplication::activePopupWidget() && view.findChildren<QMenu*>().isEmpty());
    }

    void selectCallSignReusesLastSign()
    {
        DecodedTextView view(nullptr);
        view.AddTransmission(BlockXml(2, T0, QStringLiteral("CQ DE DL1ABC")));
        view.AddTransmission(BlockXml(3, T0, QStringLiteral("QRZ DE OH2XYZ")));
        QSignalSpy saved(&view, &DecodedTextView::SaveUserData);
        // Nothing selected before: nothing to reuse. Then the open pane marks its last word. A
        // selection, here in the other pane, takes the sign first, an empty one reuses the last.
        view.SelectCallSign(QString());
        view.SelectCallSign(QStringLiteral("DL1ABC"));
        Pane(view, 3)->ExpandTextArea(true);
        WidgetFixtures::Select(*Pane(view, 3)->findChild<DecodedTextContent*>(), 0, 3);
        view.SelectCallSign(QString());
        QStringList sent; // channel, range and sign of each mark
        for (const QList<QVariant>& message : saved) {
            VarnoResultDataXml::DataBlock block;
            const UserData* mark
                = block.SetXmlString(message.at(1).toString()) ? block.GetUserData().value(0) : nullptr;
            sent << (mark ? QStringLiteral("%1 %2-%3 ").arg(message.at(0).toInt()).arg(mark->Start).arg(mark->End)
                                + mark->CallSign
                          : QStringLiteral("none"));
        }
        QCOMPARE(sent, QStringList({ "2 6-12 DL1ABC", "3 0-3 DL1ABC" }));
        // A closed newest text takes no sign.
        view.EndTransmission();
        view.SelectCallSign(QStringLiteral("DF0BB"));
        QCOMPARE(saved.count(), 2);
    }

private:
    QTemporaryDir configDir;
};

QTEST_MAIN(TestDecodedTextView)
#include "tst_decodedtextview.moc"
