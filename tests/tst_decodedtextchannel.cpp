#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtexttickerstyle.h"
#include "widgetfixtures.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using WidgetFixtures::BlockXml;
using WidgetFixtures::Joined;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
const int User = DecodedTextData::UserChannelID;

QLineEdit* Ticker(DecodedTextCaption& caption)
{
    return caption.findChild<QLineEdit*>(QStringLiteral("TickerLine"));
}

// A user channel's caption and what it applied.
struct Watched {
    Watched(bool offline) : caption(QStringLiteral("User"), true, offline, nullptr) { }
    DecodedTextCaption caption;
    QSignalSpy applied { &caption, &DecodedTextCaption::OnApply };
};

} // namespace

class TestDecodedTextChannel : public QObject {
    Q_OBJECT

private slots:
    void activateButtonOpensAndClosesPane()
    {
        DecodedTextData model;
        model.AddTransmission(BlockXml(2, T0, QStringLiteral("CQ DE DL1ABC")));
        DecodedTextChannel pane(QStringLiteral("Channel 2"), 2, &model, nullptr);
        QSignalSpy changed(&pane, &DecodedTextChannel::TextAreaChanged);
        QSignalSpy saved(&model, &DecodedTextData::SaveUserData);
        const int closedHeight = pane.maximumHeight();
        // Closed, the pane builds no text area: not to stay closed, not for properties, not to
        // select a call sign.
        pane.ExpandTextArea(false);
        model.SetProperties(10000, 80, 120, QStringLiteral("Black"), QStringLiteral("White"));
        QVERIFY(!pane.SelectCallSign(QStringLiteral("DL1ABC"), false));
        QVERIFY(changed.isEmpty() && !pane.findChild<DecodedTextContent*>());

        auto* button
            = pane.GetCaption()->findChild<QPushButton*>(QStringLiteral("ChannelActivate"));
        button->click();
        auto* content = pane.findChild<DecodedTextContent*>();
        QVERIFY(pane.IsExpanded() && content && content->isVisibleTo(&pane));
        QVERIFY(pane.maximumHeight() > closedHeight);
        QCOMPARE(Joined(changed.count(), button->toolTip()),
                 QStringLiteral("1,Collapse text view"));
        // Properties given while open reach the text area.
        model.SetProperties(10000, 80, 110, QStringLiteral("Black"), QStringLiteral("White"));
        QCOMPARE(content->findChild<QWidget*>(QStringLiteral("Info"))->sizeHint().width(), 110);
        pane.ExpandTextArea(true);
        button->click();
        QVERIFY(!pane.IsExpanded() && !content->isVisibleTo(&pane));
        QCOMPARE(Joined(changed.count(), button->toolTip()), QStringLiteral("2,Expand text view"));
        // Back to the caption with its margins; the spacing to the text area may remain. Closed
        // again, the text area is not asked for a call sign.
        QVERIFY(pane.maximumHeight() == closedHeight || pane.maximumHeight() == closedHeight + 5);
        QVERIFY(!pane.SelectCallSign(QStringLiteral("DL1ABC"), false));
        QCOMPARE(saved.count(), 0);
        // Reopening shows the same text area again, which marks its last word.
        pane.ToggleTextArea();
        QCOMPARE(pane.findChildren<DecodedTextContent*>(), QList<DecodedTextContent*> { content });
        QVERIFY(pane.SelectCallSign(QStringLiteral("DL1ABC"), false));
        QCOMPARE(saved.count(), 1);
        // The caption shows the end of its own channel's text that fits its budget; gathering,
        // simplifying and cutting are compared with a plain version in tst_decodedtextbuffer.
        model.AddTransmission(BlockXml(2, T0.addSecs(60), QString(150, QLatin1Char('x'))));
        model.AddTransmission(BlockXml(4, T0, QStringLiteral("OTHER")));
        QCOMPARE(Ticker(*pane.GetCaption())->text(), QString(99, QLatin1Char('x')) + QLatin1Char(' '));
        // Shown, the budget is twice what fits, and follows the width.
        DecodedTextCaption* caption = pane.GetCaption();
        const int charWidth = QFontMetrics(Ticker(*caption)->font()).averageCharWidth();
        for (const int width : { 400, 1200 }) {
            pane.resize(width, pane.height());
            pane.show();
            QVERIFY(QTest::qWaitForWindowExposed(&pane));
            QCOMPARE(caption->GetMaxTickerChars(), 2 * caption->contentsRect().width() / charWidth);
        }
    }

    void tickerPanelCopiedLooksDrawn()
    {
        // The panel drawn once and copied must give the pixels of drawing it every time, in
        // every size and look the ticker takes on, also right after the look changes.
        DecodedTextData model;
        DecodedTextChannel pane(QStringLiteral("Channel 2"), 2, &model, nullptr);
        pane.show();
        QLineEdit* ticker = Ticker(*pane.GetCaption());
        auto* style = ticker->findChild<DecodedTextTickerStyle*>();
        QVERIFY(style && ticker->style() == style);
        // Also rendered onto an image over what lies below, twice over one colour and twice over
        // another: what drawing left over the same pixels is taken again, and not over others.
        const auto painted = [&](bool caching) {
            style->SetCaching(caching);
            QVector<QImage> out { ticker->grab().toImage() };
            for (const QColor& below : { QColor(Qt::gray), QColor(Qt::gray), QColor(Qt::darkRed),
                                        QColor(Qt::darkRed) }) {
                out.append(QImage(ticker->size(), QImage::Format_RGB32));
                out.last().fill(below);
                ticker->render(&out.last(), QPoint(), QRegion(), QWidget::DrawChildren);
            }
            return out;
        };
        // Each step changes one thing about the look.
        int width = 300;
        QColor base(Qt::white);
        bool focused = false; // through the caption, its focus proxy
        QApplication::setActiveWindow(&pane);
        const QVector<std::function<void()>> steps {
            [] {}, [&] { width = 777; }, [&] { base = QColor(40, 80, 200); },
            [&] { focused = true; }, [&] { width = 300; }, [&] { base = Qt::white; },
            [&] { focused = false; },
        };
        for (const auto& step : steps) {
            step();
            pane.resize(width, pane.height());
            QPalette palette = pane.palette();
            palette.setColor(QPalette::Base, base);
            palette.setColor(QPalette::Window, base.darker(130));
            pane.setPalette(palette);
            if (focused)
                pane.GetCaption()->setFocus();
            else
                pane.GetCaption()->clearFocus();
            QCOMPARE(ticker->hasFocus(), focused);
            const QVector<QImage> copied = painted(true); // the look before changed
            const QVector<QImage> drawn = painted(false);
            QCOMPARE(copied, drawn);
            QCOMPARE(painted(true), drawn); // the copy kept
        }
        // Under another application style the ticker draws as that style does.
        QApplication::setStyle(QStringLiteral("windows"));
        QCOMPARE(ticker->style(), QApplication::style());
        QApplication::setStyle(QStringLiteral("fusion"));
    }

    void pendingEdit_data()
    {
        // m/u: modified set/cleared, k: a key typed in the opened text area, a: apply now, d/D:
        // data of another/the user channel, t: ticker text.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("result"); // applied, then messages the host got
        // clang-format off
        QTest::newRow("nothing pending, nothing applied") << "a" << "0,0";
        QTest::newRow("a pending edit is applied once") << "maa" << "1,0";
        QTest::newRow("typing is a pending edit, applied it goes to the host") << "ka" << "1,1";
        QTest::newRow("an edit taken back is not applied") << "mua" << "0,0";
        QTest::newRow("data of another channel leaves the edit pending") << "mda" << "1,0";
        QTest::newRow("the user channel's own data: the model took the edits") << "mDa" << "0,0";
        QTest::newRow("ticker text in the user channel means the same") << "mta" << "0,0";
        // clang-format on
    }

    void pendingEdit()
    {
        QFETCH(QString, steps);
        DecodedTextData model;
        DecodedTextChannel pane(QStringLiteral("User"), User, &model, nullptr);
        DecodedTextCaption* caption = pane.GetCaption();
        QVERIFY(!Ticker(*caption)); // the user channel has no ticker
        QSignalSpy applied(caption, &DecodedTextCaption::OnApply);
        QSignalSpy sent(&model, &DecodedTextData::SaveUserData);
        pane.ExpandTextArea(true);
        for (const QChar step : steps) {
            if (step == 'm' || step == 'u')
                caption->setModified(step == 'm');
            else if (step == 'k')
                QTest::keyClicks(pane.findChild<DecodedTextContent*>(), QStringLiteral("x"));
            else if (step == 'd' || step == 'D')
                emit model.DataChanged(step == 'd' ? 5 : User, step == 'D');
            else if (step == 't')
                caption->SetTickerText(QStringLiteral("ignored"));
            else
                caption->applyNow();
        }
        QTEST(Joined(applied.count(), sent.count()), "result");
    }

    void autoApply()
    {
        // User captions with an edit pending: edited again after a second, switched off after
        // the edit, switched off before it, offline, and taken over by the model (ticker text).
        Watched c[] = { { false }, { false }, { false }, { true }, { false } };
        const auto counts = [&c] {
            QString out;
            for (const Watched& w : c)
                out += QString::number(w.applied.count());
            return out;
        };
        c[0].caption.setModified(true);
        c[1].caption.setModified(true);
        for (int i : { 1, 2 })
            QMetaObject::invokeMethod(&c[i].caption, "setAutoApplyEnabled", Q_ARG(bool, false));
        QVERIFY(!c[1].caption.IsAutoApplyEnabled());
        for (int i : { 2, 3, 4 })
            c[i].caption.setModified(true);
        c[4].caption.SetTickerText(QString());
        c[3].caption.show(); // shown, a caption without a ticker has no budget to fit
        QCOMPARE(c[3].caption.GetMaxTickerChars(), 100);

        // The pause is counted from the last edit; switching off stops only later edits.
        QVERIFY(!c[0].applied.wait(1000));
        c[0].caption.setModified(true);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(c[0].applied.wait(7000));
        // Coarse timers may fire up to 5 % early.
        QVERIFY2(clock.elapsed() >= 4700, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(counts(), QStringLiteral("11000"));
        // What was applied, or taken over, is no longer pending; the rest still is.
        for (Watched& w : c)
            w.caption.applyNow();
        QCOMPARE(counts(), QStringLiteral("11110"));
    }
};

QTEST_MAIN(TestDecodedTextChannel)
#include "tst_decodedtextchannel.moc"
