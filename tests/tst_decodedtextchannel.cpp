#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace VarnoResultDataXml;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

// One transmission with one run of text for one channel.
QString Xml(int channel, const QString& text, const QDateTime& start)
{
    Transmission transmission;
    transmission.SetStartTime(start);
    transmission.SetStopTime(start);
    auto* block = new DataBlock(channel, 0, 0);
    block->SetID(1);
    block->SetContent(text);
    TimeStamp stamp;
    stamp.Time = start;
    stamp.Quality = 90;
    block->GetTimeStamp().append(stamp);
    transmission.AddDataBlock(block);
    return transmission.GetXmlString();
}

QLineEdit* Ticker(DecodedTextCaption& caption)
{
    return caption.findChild<QLineEdit*>(QStringLiteral("TickerLine"));
}

QPushButton* Button(DecodedTextCaption& caption)
{
    return caption.findChild<QPushButton*>(QStringLiteral("ChannelActivate"));
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

class TestDecodedTextChannel : public QObject
{
    Q_OBJECT

private slots:
    void captionParts_data();
    void captionParts();
    void iconsAreMagnifyingGlasses_data();
    void iconsAreMagnifyingGlasses();
    void activateButtonOpensAndClosesPane();
    void expandingOpenPaneSignalsNothing();
    void reopeningKeepsTextArea();
    void tickerFollowsOnlyOwnChannel();
    void tickerTexts_data();
    void tickerTexts();
    void maxTickerCharsFollowWidth();
    void userCaptionKeepsTickerBudget();
    void applyNowNeedsPendingEdit();
    void userChannelDataEndsPendingEdit();
    void autoApplyAfterPauseInTyping();
    void autoApplyChoices();
    void propertiesReachOpenedTextAreaOnly();
    void objectNameKeepsOnlyAscii_data();
    void objectNameKeepsOnlyAscii();
    void closedPaneSelectsNoCallSign();
    void renamingShowsInCaption();
};

void TestDecodedTextChannel::captionParts_data()
{
    QTest::addColumn<bool>("userChannel");
    QTest::addColumn<bool>("offline");
    QTest::addColumn<bool>("hasTicker");

    QTest::newRow("decoder channel shows the ticker") << false << false << true;
    QTest::newRow("decoder channel offline still shows the ticker") << false << true << true;
    QTest::newRow("user channel online has no ticker") << true << false << false;
    QTest::newRow("user channel offline has no ticker") << true << true << false;
}

void TestDecodedTextChannel::captionParts()
{
    QFETCH(bool, userChannel);
    QFETCH(bool, offline);
    QFETCH(bool, hasTicker);

    DecodedTextCaption caption(QStringLiteral("Channel 4"), userChannel, offline, nullptr);
    QCOMPARE(caption.objectName(), QStringLiteral("Caption"));
    QCOMPARE(caption.minimumHeight(), 20);
    QCOMPARE(caption.maximumHeight(), 20);

    auto* label = caption.findChild<QLabel*>(QStringLiteral("ChannelLabel"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Channel 4"));
    QVERIFY(label->autoFillBackground());

    QPushButton* button = Button(caption);
    QVERIFY(button);
    QCOMPARE(button->minimumSize(), QSize(40, 20));
    QCOMPARE(button->maximumSize(), QSize(40, 20));
    QCOMPARE(button->toolTip(), QStringLiteral("Expand text view"));
    QVERIFY(!button->icon().isNull());

    QLineEdit* ticker = Ticker(caption);
    QCOMPARE(ticker != nullptr, hasTicker);
    if (ticker) {
        QVERIFY(ticker->isReadOnly());
        QCOMPARE(ticker->focusProxy(), &caption);
        QCOMPARE(ticker->focusPolicy(), Qt::StrongFocus);
    }
    QCOMPARE(caption.GetMaxTickerChars(), 100);
    QVERIFY(caption.IsAutoApplyEnabled());
}

void TestDecodedTextChannel::iconsAreMagnifyingGlasses_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("plus");

    QTest::newRow("expand shows a plus") << QStringLiteral(":/DecodedTextView/icon_expand.png") << true;
    QTest::newRow("collapse shows a minus")
        << QStringLiteral(":/DecodedTextView/icon_collapse.png") << false;
}

void TestDecodedTextChannel::iconsAreMagnifyingGlasses()
{
    QFETCH(QString, path);
    QFETCH(bool, plus);

    QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(image.hasAlphaChannel());
    image = image.convertToFormat(QImage::Format_ARGB32);

    auto dark = [&](int x, int y) {
        const QColor c = image.pixelColor(x, y);
        return c.alpha() > 200 && c.lightness() < 100;
    };
    // Transparent ground in the corners that neither lens nor handle reach.
    QCOMPARE(image.pixelColor(31, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(0, 31).alpha(), 0);
    // Handle towards the lower right, none towards the lower left.
    QVERIFY(dark(26, 26));
    QVERIFY(!dark(5, 26));
    // The lens sits upper left; both signs have a bar across its centre.
    QVERIFY(dark(9, 12) && dark(15, 12));
    // A plus also has its vertical bar above and below the centre.
    QCOMPARE(dark(12, 9), plus);
    QCOMPARE(dark(12, 15), plus);
}

void TestDecodedTextChannel::activateButtonOpensAndClosesPane()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 2"), 2, &model, nullptr);
    QSignalSpy changed(&pane, &DecodedTextChannel::TextAreaChanged);
    const int closedHeight = pane.maximumHeight();
    QCOMPARE(closedHeight, 20 + 2 + 2);
    QVERIFY(!Content(pane));

    QPushButton* button = Button(*pane.GetCaption());
    button->click();
    QVERIFY(pane.IsExpanded());
    QCOMPARE(changed.count(), 1);
    DecodedTextContent* content = Content(pane);
    QVERIFY(content);
    QVERIFY(!content->isHidden());
    QCOMPARE(pane.maximumHeight(), content->maximumHeight());
    QVERIFY(pane.maximumHeight() > closedHeight);
    QCOMPARE(button->toolTip(), QStringLiteral("Collapse text view"));

    button->click();
    QVERIFY(!pane.IsExpanded());
    QCOMPARE(changed.count(), 2);
    QVERIFY(content->isHidden());
    // Back to the caption with its margins; the spacing to the text area may remain.
    QVERIFY(pane.maximumHeight() == closedHeight || pane.maximumHeight() == closedHeight + 5);
    QCOMPARE(button->toolTip(), QStringLiteral("Expand text view"));
}

void TestDecodedTextChannel::expandingOpenPaneSignalsNothing()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 2"), 2, &model, nullptr);
    QSignalSpy changed(&pane, &DecodedTextChannel::TextAreaChanged);

    pane.ExpandTextArea(false);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!Content(pane));

    pane.ExpandTextArea(true);
    pane.ExpandTextArea(true);
    QCOMPARE(changed.count(), 1);
}

void TestDecodedTextChannel::reopeningKeepsTextArea()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 2"), 2, &model, nullptr);
    pane.ToggleTextArea();
    DecodedTextContent* first = Content(pane);
    pane.ToggleTextArea();
    pane.ToggleTextArea();
    QVERIFY(pane.IsExpanded());
    QCOMPARE(Content(pane), first);
    QCOMPARE(pane.findChildren<DecodedTextContent*>().size(), 1);
}

void TestDecodedTextChannel::tickerFollowsOnlyOwnChannel()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 3"), 3, &model, nullptr);
    QLineEdit* ticker = Ticker(*pane.GetCaption());

    model.AddTransmission(Xml(4, QStringLiteral("OTHER CHANNEL"), T0));
    QCOMPARE(ticker->text(), QString());

    model.AddTransmission(Xml(3, QStringLiteral("CQ  CQ\nDE   DL1ABC"), T0));
    QCOMPARE(ticker->text(), QStringLiteral("CQ CQ DE DL1ABC "));
}

void TestDecodedTextChannel::tickerTexts_data()
{
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<QString>("expected");

    const QString longText = QStringLiteral("0123456789").repeated(15);
    QTest::newRow("blocks gathered oldest first, each with one blank")
        << QStringList{QStringLiteral("CQ CQ"), QStringLiteral("DE  DL1ABC")}
        << QStringLiteral("CQ CQ DE DL1ABC ");
    QTest::newRow("white space inside a block is simplified")
        << QStringList{QStringLiteral("  QTH\t\tBERLIN \n")} << QStringLiteral("QTH BERLIN ");
    QTest::newRow("newest block over the limit keeps only its end")
        << QStringList{QStringLiteral("OLD"), longText} << (longText + QLatin1Char(' ')).right(100);
    QTest::newRow("older blocks cut where the limit falls")
        << QStringList{QStringLiteral("ABCDEFGHIJ"), longText.left(95)}
        << (QStringLiteral("ABCDEFGHIJ ") + longText.left(95) + QLatin1Char(' ')).right(100);
}

void TestDecodedTextChannel::tickerTexts()
{
    QFETCH(QStringList, blocks);
    QFETCH(QString, expected);

    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 1"), 1, &model, nullptr);
    QCOMPARE(pane.GetCaption()->GetMaxTickerChars(), 100);
    for (int i = 0; i < blocks.size(); ++i)
        model.AddTransmission(Xml(1, blocks.at(i), T0.addSecs(60 * i)));
    QCOMPARE(Ticker(*pane.GetCaption())->text(), expected);
}

void TestDecodedTextChannel::maxTickerCharsFollowWidth()
{
    DecodedTextCaption caption(QStringLiteral("Channel 1"), false, false, nullptr);
    caption.resize(400, 20);
    caption.show();
    QVERIFY(QTest::qWaitForWindowExposed(&caption));
    const int charWidth = QFontMetrics(Ticker(caption)->font()).averageCharWidth();
    QVERIFY(charWidth > 0);

    QCOMPARE(caption.GetMaxTickerChars(), 2 * caption.contentsRect().width() / charWidth);
    const int narrow = caption.GetMaxTickerChars();

    caption.resize(1200, 20);
    QCOMPARE(caption.width(), 1200);
    QCOMPARE(caption.GetMaxTickerChars(), 2 * 1200 / charWidth);
    QVERIFY(caption.GetMaxTickerChars() > narrow);
}

void TestDecodedTextChannel::userCaptionKeepsTickerBudget()
{
    DecodedTextCaption caption(QStringLiteral("User"), true, false, nullptr);
    caption.resize(1500, 20);
    caption.show();
    QVERIFY(QTest::qWaitForWindowExposed(&caption));
    caption.resize(300, 20);
    QCOMPARE(caption.GetMaxTickerChars(), 100);
}

void TestDecodedTextChannel::applyNowNeedsPendingEdit()
{
    DecodedTextCaption caption(QStringLiteral("User"), true, false, nullptr);
    QSignalSpy applied(&caption, &DecodedTextCaption::OnApply);

    caption.applyNow();
    QCOMPARE(applied.count(), 0);

    caption.setModified(true);
    caption.applyNow();
    QCOMPARE(applied.count(), 1);
    caption.applyNow();
    QCOMPARE(applied.count(), 1);

    caption.setModified(true);
    caption.setModified(false);
    caption.applyNow();
    QCOMPARE(applied.count(), 1);

    // In the user channel the ticker text only means that the model took the edits.
    caption.setModified(true);
    caption.SetTickerText(QStringLiteral("ignored"));
    caption.applyNow();
    QCOMPARE(applied.count(), 1);
}

void TestDecodedTextChannel::userChannelDataEndsPendingEdit()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("User"), DecodedTextData::UserChannelID, &model,
                            nullptr);
    DecodedTextCaption* caption = pane.GetCaption();
    QSignalSpy applied(caption, &DecodedTextCaption::OnApply);

    caption->setModified(true);
    emit model.DataChanged(5, false);
    caption->applyNow();
    QCOMPARE(applied.count(), 1);

    caption->setModified(true);
    emit model.DataChanged(DecodedTextData::UserChannelID, true);
    caption->applyNow();
    QCOMPARE(applied.count(), 1);
}

void TestDecodedTextChannel::autoApplyAfterPauseInTyping()
{
    DecodedTextCaption caption(QStringLiteral("User"), true, false, nullptr);
    QSignalSpy applied(&caption, &DecodedTextCaption::OnApply);
    QElapsedTimer clock;

    // Three edits a second apart: the pause is counted from the last one.
    caption.setModified(true);
    QTest::qWait(1000);
    caption.setModified(true);
    QTest::qWait(1000);
    caption.setModified(true);
    clock.start();

    QVERIFY(!applied.wait(4000));
    QVERIFY(applied.wait(3000));
    // Coarse timers may fire up to 5 % early.
    QVERIFY2(clock.elapsed() >= 4700, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(applied.count(), 1);
    caption.applyNow();
    QCOMPARE(applied.count(), 1);
}

void TestDecodedTextChannel::autoApplyChoices()
{
    DecodedTextCaption switchedOffLate(QStringLiteral("User"), true, false, nullptr);
    DecodedTextCaption switchedOffEarly(QStringLiteral("User"), true, false, nullptr);
    DecodedTextCaption offline(QStringLiteral("User"), true, true, nullptr);
    DecodedTextCaption takenOver(QStringLiteral("User"), true, false, nullptr);
    QSignalSpy lateApplied(&switchedOffLate, &DecodedTextCaption::OnApply);
    QSignalSpy earlyApplied(&switchedOffEarly, &DecodedTextCaption::OnApply);
    QSignalSpy offlineApplied(&offline, &DecodedTextCaption::OnApply);
    QSignalSpy takenApplied(&takenOver, &DecodedTextCaption::OnApply);

    switchedOffLate.setModified(true);
    SetAutoApply(switchedOffLate, false);
    QVERIFY(!switchedOffLate.IsAutoApplyEnabled());

    SetAutoApply(switchedOffEarly, false);
    switchedOffEarly.setModified(true);

    offline.setModified(true);

    takenOver.setModified(true);
    takenOver.SetTickerText(QString());

    QTRY_COMPARE_WITH_TIMEOUT(lateApplied.count(), 1, 7000);
    QTest::qWait(500);
    QCOMPARE(earlyApplied.count(), 0);
    QCOMPARE(offlineApplied.count(), 0);
    QCOMPARE(takenApplied.count(), 0);

    // The edits that were not applied by themselves are still pending where they should be.
    switchedOffEarly.applyNow();
    offline.applyNow();
    takenOver.applyNow();
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

    auto* info = Content(opened)->findChild<QWidget*>(QStringLiteral("Info"));
    QVERIFY(info);
    QCOMPARE(info->sizeHint().width(), 120);
    QVERIFY(!Content(neverOpened));
}

void TestDecodedTextChannel::objectNameKeepsOnlyAscii_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("kept");

    QTest::newRow("ASCII name kept") << QStringLiteral("Channel 7") << true;
    QTest::newRow("Latin-1 letter lost") << QStringLiteral("Kan\u00e4l 7") << false;
    QTest::newRow("Cyrillic lost") << QStringLiteral("\u041a\u0430\u043d\u0430\u043b") << false;
}

void TestDecodedTextChannel::objectNameKeepsOnlyAscii()
{
    QFETCH(QString, name);
    QFETCH(bool, kept);

    DecodedTextData model;
    DecodedTextChannel pane(name, 7, &model, nullptr);
    QCOMPARE(pane.objectName() == name, kept);
    // The caption shows the name as given either way.
    QCOMPARE(pane.GetCaption()->findChild<QLabel*>(QStringLiteral("ChannelLabel"))->text(), name);
}

void TestDecodedTextChannel::closedPaneSelectsNoCallSign()
{
    DecodedTextData model;
    model.AddTransmission(Xml(1, QStringLiteral("CQ DE DL1ABC"), T0));
    DecodedTextChannel pane(QStringLiteral("Channel 1"), 1, &model, nullptr);
    QCOMPARE(pane.SelectCallSign(QStringLiteral("DL1ABC"), false), false);

    // Opened once and closed again, the text area is there but not asked.
    pane.ExpandTextArea(true);
    pane.ExpandTextArea(false);
    QSignalSpy saved(&model, &DecodedTextData::SaveUserData);
    QCOMPARE(pane.SelectCallSign(QStringLiteral("DL1ABC"), false), false);
    QCOMPARE(saved.count(), 0);
}

void TestDecodedTextChannel::renamingShowsInCaption()
{
    DecodedTextData model;
    DecodedTextChannel pane(QStringLiteral("Channel 1"), 1, &model, nullptr);
    pane.DefineChannelName(QStringLiteral("Coast station"));
    QCOMPARE(pane.GetCaption()->findChild<QLabel*>(QStringLiteral("ChannelLabel"))->text(),
             QStringLiteral("Coast station"));
    QCOMPARE(pane.GetChannel(), 1);
}

QTEST_MAIN(TestDecodedTextChannel)
#include "tst_decodedtextchannel.moc"
