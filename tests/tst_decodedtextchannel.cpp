#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "widgetfixtures.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using WidgetFixtures::BlockXml;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

QLineEdit* Ticker(DecodedTextCaption& caption)
{
    return caption.findChild<QLineEdit*>(QStringLiteral("TickerLine"));
}

DecodedTextContent* Content(DecodedTextChannel& pane)
{
    return pane.findChild<DecodedTextContent*>();
}

void SetAutoApply(DecodedTextCaption& caption, bool enabled)
{
    QVERIFY(QMetaObject::invokeMethod(&caption, "setAutoApplyEnabled", Q_ARG(bool, enabled)));
}

} // namespace

class TestDecodedTextChannel : public QObject {
    Q_OBJECT

private slots:
    void activateButtonOpensAndClosesPane();
    void tickerTexts_data();
    void tickerTexts();
    void maxTickerCharsFollowWidth();
    void applyNowNeedsPendingEdit();
    void autoApply();
    void propertiesReachOpenedTextAreaOnly();
    void closedPaneSelectsNoCallSign();
};

void TestDecodedTextChannel::activateButtonOpensAndClosesPane()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 2"), 2, &model, nullptr);
    QSignalSpy changed(&pane, &DecodedTextChannel::TextAreaChanged);
    const int closedHeight = pane.maximumHeight();
    // Asking a closed pane to stay closed neither signals nor builds a text area.
    pane.ExpandTextArea(false);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!Content(pane));

    auto* button = pane.GetCaption()->findChild<QPushButton*>(QStringLiteral("ChannelActivate"));
    button->click();
    QVERIFY(pane.IsExpanded());
    QCOMPARE(changed.count(), 1);
    DecodedTextContent* content = Content(pane);
    QVERIFY(content && !content->isHidden());
    QVERIFY(pane.maximumHeight() > closedHeight);
    QCOMPARE(button->toolTip(), QStringLiteral("Collapse text view"));
    pane.ExpandTextArea(true);
    QCOMPARE(changed.count(), 1);

    button->click();
    QVERIFY(!pane.IsExpanded());
    QCOMPARE(changed.count(), 2);
    QVERIFY(content->isHidden());
    // Back to the caption with its margins; the spacing to the text area may remain.
    QVERIFY(pane.maximumHeight() == closedHeight || pane.maximumHeight() == closedHeight + 5);
    QCOMPARE(button->toolTip(), QStringLiteral("Expand text view"));

    // Reopening shows the same text area again.
    pane.ToggleTextArea();
    QCOMPARE(Content(pane), content);
    QCOMPARE(pane.findChildren<DecodedTextContent*>().size(), 1);
}

void TestDecodedTextChannel::tickerTexts_data()
{
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<QString>("expected");

    const QString longText = QStringLiteral("0123456789").repeated(15);
    QTest::newRow("blocks gathered oldest first, white space simplified, one blank after each")
        << QStringList { "CQ  CQ\n", "  DE\t\tDL1ABC " } << QStringLiteral("CQ CQ DE DL1ABC ");
    QTest::newRow("text of another channel is not shown") << QStringList { "@OTHER" } << QString();
    QTest::newRow("newest block over the limit keeps only its end")
        << QStringList { "OLD", longText } << (longText + QLatin1Char(' ')).right(100);
    QTest::newRow("older blocks cut where the limit falls")
        << QStringList { "ABCDEFGHIJ", longText.left(95) }
        << (QStringLiteral("ABCDEFGHIJ ") + longText.left(95) + QLatin1Char(' ')).right(100);
}

void TestDecodedTextChannel::tickerTexts()
{
    QFETCH(QStringList, blocks);
    QFETCH(QString, expected);

    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 1"), 1, &model, nullptr);
    for (int i = 0; i < blocks.size(); ++i) {
        const bool other = blocks.at(i).startsWith(QLatin1Char('@'));
        model.AddTransmission(BlockXml(other ? 4 : 1, T0.addSecs(60 * i), blocks.at(i).mid(other)));
    }
    QCOMPARE(Ticker(*pane.GetCaption())->text(), expected);
}

void TestDecodedTextChannel::maxTickerCharsFollowWidth()
{
    DecodedTextCaption caption(QStringLiteral("Channel 1"), false, false, nullptr);
    QCOMPARE(caption.GetMaxTickerChars(), 100);
    caption.resize(400, 20);
    caption.show();
    QVERIFY(QTest::qWaitForWindowExposed(&caption));
    const int charWidth = QFontMetrics(Ticker(caption)->font()).averageCharWidth();
    QCOMPARE(caption.GetMaxTickerChars(), 2 * caption.contentsRect().width() / charWidth);
    caption.resize(1200, 20);
    QCOMPARE(caption.GetMaxTickerChars(), 2 * 1200 / charWidth);

    // The user channel has no ticker and keeps its budget.
    DecodedTextCaption user(QStringLiteral("User"), true, false, nullptr);
    QVERIFY(!Ticker(user));
    user.resize(300, 20);
    user.show();
    QVERIFY(QTest::qWaitForWindowExposed(&user));
    QCOMPARE(user.GetMaxTickerChars(), 100);
}

void TestDecodedTextChannel::applyNowNeedsPendingEdit()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("User"), DecodedTextData::UserChannelID, &model,
                            nullptr);
    DecodedTextCaption* caption = pane.GetCaption();
    QSignalSpy applied(caption, &DecodedTextCaption::OnApply);

    caption->applyNow();
    QCOMPARE(applied.count(), 0);
    caption->setModified(true);
    caption->applyNow();
    caption->applyNow();
    QCOMPARE(applied.count(), 1);
    caption->setModified(true);
    caption->setModified(false);
    caption->applyNow();
    QCOMPARE(applied.count(), 1);

    // Data of another channel leaves the edit pending; the user channel's own ends it, and so
    // does ticker text, which in the user channel only means that the model took the edits.
    caption->setModified(true);
    emit model.DataChanged(5, false);
    caption->applyNow();
    QCOMPARE(applied.count(), 2);
    caption->setModified(true);
    emit model.DataChanged(DecodedTextData::UserChannelID, true);
    caption->applyNow();
    caption->setModified(true);
    caption->SetTickerText(QStringLiteral("ignored"));
    caption->applyNow();
    QCOMPARE(applied.count(), 2);
}

void TestDecodedTextChannel::autoApply()
{
    DecodedTextCaption restarted(QStringLiteral("User"), true, false, nullptr);
    DecodedTextCaption switchedOffLate(QStringLiteral("User"), true, false, nullptr);
    DecodedTextCaption switchedOffEarly(QStringLiteral("User"), true, false, nullptr);
    DecodedTextCaption offline(QStringLiteral("User"), true, true, nullptr);
    DecodedTextCaption takenOver(QStringLiteral("User"), true, false, nullptr);
    QSignalSpy restartedApplied(&restarted, &DecodedTextCaption::OnApply);
    QSignalSpy lateApplied(&switchedOffLate, &DecodedTextCaption::OnApply);
    QSignalSpy earlyApplied(&switchedOffEarly, &DecodedTextCaption::OnApply);
    QSignalSpy offlineApplied(&offline, &DecodedTextCaption::OnApply);
    QSignalSpy takenApplied(&takenOver, &DecodedTextCaption::OnApply);

    // Switching off only stops edits made afterwards; offline nothing applies by itself, and
    // ticker text in the user channel means the model took the edits.
    restarted.setModified(true);
    switchedOffLate.setModified(true);
    SetAutoApply(switchedOffLate, false);
    QVERIFY(!switchedOffLate.IsAutoApplyEnabled());
    SetAutoApply(switchedOffEarly, false);
    switchedOffEarly.setModified(true);
    offline.setModified(true);
    takenOver.setModified(true);
    takenOver.SetTickerText(QString());

    // The pause is counted from the last edit.
    QVERIFY(!restartedApplied.wait(1000));
    restarted.setModified(true);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(restartedApplied.wait(7000));
    // Coarse timers may fire up to 5 % early.
    QVERIFY2(clock.elapsed() >= 4700, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(lateApplied.count(), 1);
    QCOMPARE(earlyApplied.count() + offlineApplied.count() + takenApplied.count(), 0);

    // What was applied, or taken over, is no longer pending; the rest still is.
    for (DecodedTextCaption* caption : { &restarted, &switchedOffEarly, &offline, &takenOver })
        caption->applyNow();
    QCOMPARE(restartedApplied.count(), 1);
    QCOMPARE(earlyApplied.count(), 1);
    QCOMPARE(offlineApplied.count(), 1);
    QCOMPARE(takenApplied.count(), 0);
}

void TestDecodedTextChannel::propertiesReachOpenedTextAreaOnly()
{
    DecodedTextData model;
    DecodedTextChannel opened(QStringLiteral("Channel 1"), 1, &model, nullptr);
    DecodedTextChannel neverOpened(QStringLiteral("Channel 2"), 2, &model, nullptr);
    opened.ExpandTextArea(true);
    model.SetProperties(10000, 80, 120, QStringLiteral("Black"), QStringLiteral("White"));
    QCOMPARE(Content(opened)->findChild<QWidget*>(QStringLiteral("Info"))->sizeHint().width(), 120);
    QVERIFY(!Content(neverOpened));
}

void TestDecodedTextChannel::closedPaneSelectsNoCallSign()
{
    DecodedTextData model;
    model.AddTransmission(BlockXml(1, T0, QStringLiteral("CQ DE DL1ABC")));
    DecodedTextChannel pane(QStringLiteral("Channel 1"), 1, &model, nullptr);
    QSignalSpy saved(&model, &DecodedTextData::SaveUserData);
    QVERIFY(!pane.SelectCallSign(QStringLiteral("DL1ABC"), false));
    // Opened once and closed again, the text area is there but not asked.
    pane.ExpandTextArea(true);
    pane.ExpandTextArea(false);
    QVERIFY(!pane.SelectCallSign(QStringLiteral("DL1ABC"), false));
    QCOMPARE(saved.count(), 0);
    // Open, it marks the last word.
    pane.ExpandTextArea(true);
    QVERIFY(pane.SelectCallSign(QStringLiteral("DL1ABC"), false));
    QCOMPARE(saved.count(), 1);
}

QTEST_MAIN(TestDecodedTextChannel)
#include "tst_decodedtextchannel.moc"
