#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "widgetfixtures.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>

using namespace WidgetFixtures;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 6, 1), QTime(9, 0, 0), Qt::UTC);
const int Channel = 3;

// A text area in a window that is not the active one, as a monitoring screen beside the
// operator's main work: the written focus rule cannot hold it still there.
struct Pane {
    Pane()
    {
        content.resize(320, 160);
        content.show();
        other.show();
        QApplication::setActiveWindow(&other);
        for (int i = 0; i < 30; ++i)
            Line();
        content.RefreshContent();
        Settle();
    }
    // A transmission of one line, as a decoder delivers it.
    void Line()
    {
        const int n = ++lines;
        BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0.addSecs(n), n);
        AddRun(*block, QStringLiteral("CQ DE OK%1DX K").arg(n), T0.addSecs(n));
        content.UpdateContent();
    }
    // Lets the deferred scroll and the paints run.
    static void Settle() { QTest::qWait(60); }
    void Wheel(int notches)
    {
        const QPoint at = content.viewport()->rect().center();
        QWheelEvent wheel(at, content.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(content.viewport(), &wheel);
    }
    QScrollBar* Bar() const { return content.verticalScrollBar(); }
    QToolButton* Badge() const { return content.findChild<QToolButton*>(QStringLiteral("PausedBadge")); }
    QString Top() const { return content.cursorForPosition(QPoint(0, 0)).block().text(); }

    DecodedTextData model;
    DecodedTextContent content { Channel, false, &model, nullptr };
    QWidget other;
    int lines = 0;
};

} // namespace

class TestDecodedTextLiveFollow : public QObject
{
    Q_OBJECT

private slots:
    void wheelPausesWithoutFocus()
    {
        Pane p;
        QVERIFY(!p.content.hasFocus());
        for (const char* back : { "badge", "scrolling to the very bottom", "Ctrl+End" }) {
            // Two notches up: reading starts, and arriving text leaves the view where it is.
            p.Wheel(2);
            const int reading = p.Bar()->value();
            const int end = p.Bar()->maximum();
            QVERIFY2(reading < end, back);
            const QString top = p.Top();
            for (int i = 0; i < 4; ++i)
                p.Line();
            Pane::Settle();
            QCOMPARE(p.Bar()->value(), reading);
            QVERIFY(p.Badge() && p.Badge()->isVisible());
            QCOMPARE(p.Badge()->text(),
                     QStringLiteral("Paused \u00b7 %1 new lines").arg(p.Bar()->maximum() - end));
            // Old text trimmed and the document rebuilt: the operator still reads the same line.
            p.model.GetChannelData(Channel)->blocks.removeFirst();
            p.Line();
            p.content.RefreshContent();
            Pane::Settle();
            QCOMPARE(p.Top(), top);
            QVERIFY(p.Badge()->isVisible() && p.Bar()->value() < p.Bar()->maximum());

            if (back[0] == 'b')
                QTest::mouseClick(p.Badge(), Qt::LeftButton);
            else if (back[0] == 's')
                p.Bar()->triggerAction(QAbstractSlider::SliderToMaximum);
            else {
                // Keys need the focus, which the wheel gave the text area: the operator's window is
                // the active one now. Only the return to live gives the focus up; the cursor's own
                // move to the end would keep it, and with it the view, still.
                QApplication::setActiveWindow(p.content.window());
                QVERIFY(p.content.hasFocus());
                QTest::keyClick(&p.content, Qt::Key_End, Qt::ControlModifier);
            }
            QVERIFY2(!p.Badge()->isVisible(), back);
            // Live again: new text is followed.
            p.Line();
            Pane::Settle();
            QCOMPARE(p.Bar()->value(), p.Bar()->maximum());
        }
    }

    void mouseHoldsTheView()
    {
        Pane p;
        // Text arrives, and its scroll to the bottom is due in 10 ms; the operator presses the
        // button over a word before that, in a window that does not give the text the focus.
        p.Line();
        const int value = p.Bar()->value();
        const QPoint word = p.content.cursorRect(QTextCursor(p.content.document()->firstBlock())).center();
        QTest::mousePress(p.content.viewport(), Qt::LeftButton, Qt::NoModifier, word);
        p.content.clearFocus();
        p.Line();
        Pane::Settle();
        QCOMPARE(p.Bar()->value(), value);
        // Released, the view still holds for the second click of a double click ...
        QTest::mouseRelease(p.content.viewport(), Qt::LeftButton, Qt::NoModifier, word);
        p.Line();
        QTest::qWait(QApplication::doubleClickInterval() / 2);
        QCOMPARE(p.Bar()->value(), value);
        // ... then catches up with what came meanwhile.
        QTRY_COMPARE(p.Bar()->value(), p.Bar()->maximum());
    }
};

QTEST_MAIN(TestDecodedTextLiveFollow)
#include "tst_decodedtextlivefollow.moc"
