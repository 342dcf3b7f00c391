#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextfindbar.h"
#include "decodedtextfinder.h"
#include "decodedtextview.h"
#include "decodedtextwatch.h"
#include "decodedtextwatchdialog.h"
#include "widgetfixtures.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

using WidgetFixtures::BlockXml;
using WidgetFixtures::Stamp;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

// The plain reference: every occurrence in every block of the channel, overlapping ones too.
int PlainCount(DecodedTextData& model, int channel, const QString& needle, Qt::CaseSensitivity cs)
{
    int count = 0;
    for (const auto& block : model.GetChannelData(channel)->blocks) {
        for (int at = block->text.indexOf(needle, 0, cs); at >= 0;
             at = block->text.indexOf(needle, at + 1, cs))
            ++count;
    }
    return count;
}

DecodedTextChannel* Pane(DecodedTextView& view, int channel)
{
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>()) {
        if (pane->GetChannel() == channel)
            return pane;
    }
    return nullptr;
}

DecodedTextContent* Content(DecodedTextView& view, int channel)
{
    return Pane(view, channel)->findChild<DecodedTextContent*>();
}

int Highlights(DecodedTextView& view, int channel)
{
    return Content(view, channel)->extraSelections().size();
}

QLabel* FoundMarker(DecodedTextView& view, int channel)
{
    return Pane(view, channel)->GetCaption()->findChild<QLabel*>(QStringLiteral("FindCount"));
}

} // namespace

class TestDecodedTextFind : public QObject {
    Q_OBJECT

private slots:
    void init();
    void countsFollowEveryChangeOfTheText();
    void stepsThroughTheOpenPanesInOrder();
    void typingInTheUserChannelIsFoundNotWatched();
    void barOnTextAwayFromTheEnd();

private:
    QTemporaryDir dir;
};

void TestDecodedTextFind::init()
{
    // The watch list is saved with the view; each test starts from an empty configuration.
    qputenv("VX_APP_CONFIG",
            dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + ".ini").toLocal8Bit());
}

// Appends, resends from anywhere, lost characters, new transmissions, trimming and, with the
// mapped intake, runs merged into the middle of the aggregation block: after every intake
// each channel's count equals a plain search of its whole text.
void TestDecodedTextFind::countsFollowEveryChangeOfTheText()
{
    const QStringList tokens { "ab", "AB", "a", "b", "x ", "\n", "aB" };
    QRandomGenerator random(1805);
    for (int round = 0; round < 6; ++round) {
        const Qt::CaseSensitivity cs = round < 4 ? Qt::CaseInsensitive : Qt::CaseSensitive;
        DecodedTextData model;
        model.SetBufferSize(1000);
        DecodedTextFinder finder(nullptr, &model, nullptr);
        QVector<int> used;
        QMap<int, int> stream;
        QDateTime start = T0;
        for (int step = 0; step < 700; ++step) {
            // Set before any text in some rounds, on text that is there in the others.
            if (step == (round % 3) * 60)
                finder.SetText(round < 4 ? "ab" : "aB", cs == Qt::CaseSensitive);
            const int channel = 1 + int(random.bounded(3));
            const int action = int(random.bounded(14));
            if (action == 0) {
                model.EndTransmission();
                start = start.addSecs(60);
                stream.clear();
                continue;
            }
            QString piece;
            for (int n = 1 + int(random.bounded(9)); n > 0; --n)
                piece += tokens.at(int(random.bounded(tokens.size())));
            int& at = stream[channel];
            const int position =
                action == 1 ? qMax(0, at - int(random.bounded(20))) : at + (action == 2 ? 3 : 0);
            const QDateTime time = T0.addMSecs(step * 100 + random.bounded(300));
            const QString xml = BlockXml(channel, start, piece, {}, { Stamp(position, time),
                                         Stamp(position + piece.size() / 2, time.addMSecs(40)) });
            if (round % 2)
                model.AddTransmission({ { 1, 1 }, { 2, 2 }, { 3, 3 } }, used, xml);
            else
                model.AddTransmission(xml);
            at = position + piece.size();
            for (int c = 0; c <= 3; ++c) {
                if (model.ChannelExists(c) && !finder.Text().isEmpty())
                    QCOMPARE(finder.CountIn(c), PlainCount(model, c, finder.Text(), cs));
            }
        }
    }
}

void TestDecodedTextFind::stepsThroughTheOpenPanesInOrder()
{
    DecodedTextView view;
    view.resize(700, 600);
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    view.AddTransmission(BlockXml(1, T0, QString("DL1 x ").repeated(10)));
    view.AddTransmission(BlockXml(2, T0, QString("DL1 y ").repeated(4)));
    view.AddTransmission(BlockXml(3, T0, QString("z DL1").repeated(7)));
    view.ShowChannel(3);

    QTest::keyClick(Content(view, 1), Qt::Key_F, Qt::ControlModifier);
    DecodedTextFindBar* bar = view.Finder()->Bar();
    QVERIFY(bar && bar->isVisible());
    QLineEdit* edit = bar->TextEdit();
    QTRY_VERIFY(edit->hasFocus());
    QTest::keyClicks(edit, "dl1");
    QTRY_COMPARE(bar->CountText(), QStringLiteral("17 matches"));
    QTRY_COMPARE(Highlights(view, 1), 10);
    QTRY_COMPARE(Highlights(view, 3), 7);
    QTRY_VERIFY(FoundMarker(view, 2) && FoundMarker(view, 2)->isVisible());
    QCOMPARE(FoundMarker(view, 2)->text(), QStringLiteral("4 found"));

    // Enter steps forward through pane 1, then pane 3; Shift+Enter and Shift+F3 step back.
    auto selected = [&](int channel) {
        const QTextCursor c = Content(view, channel)->textCursor();
        return QStringLiteral("%1@%2").arg(c.selectedText()).arg(c.selectionStart());
    };
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(bar->CountText(), QStringLiteral("3 of 17"));
    QCOMPARE(selected(1), QStringLiteral("DL1@12"));
    for (int i = 0; i < 8; ++i)
        QTest::keyClick(edit, Qt::Key_F3);
    QTRY_COMPARE(bar->CountText(), QStringLiteral("11 of 17"));
    QCOMPARE(selected(3), QStringLiteral("DL1@2"));
    QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
    QTRY_COMPARE(bar->CountText(), QStringLiteral("10 of 17"));
    QCOMPARE(selected(1), QStringLiteral("DL1@54"));
    for (int i = 0; i < 8; ++i)
        QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(bar->CountText(), QStringLiteral("1 of 17")); // round again
    QTest::keyClick(edit, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(bar->CountText(), QStringLiteral("17 of 17"));

    // Text arriving while the bar is open is searched, in open and closed panes alike; a
    // rebuilt document gets its highlights back.
    view.AddTransmission(BlockXml(1, T0, "DL1 DL1", {}, { Stamp(60, T0) }));
    view.AddTransmission(BlockXml(2, T0, " dl1", {}, { Stamp(24, T0) }));
    QTRY_COMPARE(bar->CountText(), QStringLiteral("19 of 19"));
    QTRY_COMPARE(FoundMarker(view, 2)->text(), QStringLiteral("5 found"));
    view.SetQualityThreshold(50);
    QTRY_COMPARE(Highlights(view, 1), 12);

    bar->findChild<QCheckBox*>(QStringLiteral("FindMatchCase"))->setChecked(true);
    QTRY_COMPARE(bar->CountText(), QStringLiteral("No matches"));
    QTRY_COMPARE(Highlights(view, 3), 0);
    bar->findChild<QCheckBox*>(QStringLiteral("FindMatchCase"))->setChecked(false);
    QTRY_COMPARE(Highlights(view, 3), 7);

    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
    QTRY_COMPARE(Highlights(view, 1), 0);
    QTRY_COMPARE(Highlights(view, 3), 0);
    QTRY_VERIFY(!FoundMarker(view, 2)->isVisible());
    QCOMPARE(view.Finder()->Count(), 0);
}

void TestDecodedTextFind::typingInTheUserChannelIsFoundNotWatched()
{
    DecodedTextView view;
    view.resize(600, 400);
    view.show();
    view.Watch()->SetWords({ "DL1ABC" });
    QSignalSpy hits(view.Watch(), &DecodedTextWatch::Hit);
    view.Finder()->SetText("dl1abc", false);
    const int user = DecodedTextData::UserChannelID;
    view.AddTransmission(BlockXml(user, T0, "x")); // makes the channel's block
    view.ShowChannel(user);
    DecodedTextContent* content = Content(view, user);
    content->setFocus();
    QTest::keyClicks(content, "CQ DL1ABX DL1ABC");
    QTRY_COMPARE(view.Finder()->CountIn(user), 1);
    // A typed correction inside the text that leaves its length as it was.
    QTextCursor cursor = content->textCursor();
    cursor.setPosition(9);
    content->setTextCursor(cursor);
    QTest::keyClick(content, Qt::Key_Backspace);
    QTest::keyClicks(content, "C");
    // At once, not only when the edits are handed on after the typing pause.
    QTRY_COMPARE_WITH_TIMEOUT(view.Finder()->CountIn(user), 2, 1000);
    QTRY_COMPARE(Highlights(view, user), 4); // found and watched, each twice
    QCOMPARE(hits.size(), 0);
}

// A match away from the end holds the pane; the bar's word goes to the watch list.
void TestDecodedTextFind::barOnTextAwayFromTheEnd()
{
    DecodedTextView view;
    view.resize(500, 300);
    view.show();
    const QString text = "CQ DL1ABC K\n" + QString("line\n").repeated(60);
    view.AddTransmission(BlockXml(1, T0, text));
    QScrollBar* scroll = Content(view, 1)->verticalScrollBar();
    QTRY_COMPARE(scroll->value(), scroll->maximum());
    view.Finder()->OpenBar();
    DecodedTextFindBar* bar = view.Finder()->Bar();
    bar->TextEdit()->setText(QStringLiteral(" dl1abc "));
    QVERIFY(view.Finder()->Next());
    QTRY_COMPARE(Content(view, 1)->textCursor().selectedText(), QStringLiteral(" DL1ABC "));
    const int held = scroll->value();
    QVERIFY(held < scroll->maximum());
    view.AddTransmission(BlockXml(1, T0, "more\n", {}, { Stamp(text.size(), T0) }));
    QTest::qWait(50);
    QCOMPARE(scroll->value(), held);

    bar->findChild<QToolButton*>(QStringLiteral("FindWatch"))->click();
    QCOMPARE(view.Watch()->Words(), QStringList { "dl1abc" });
    // Watched words are highlighted where shown, with or without the bar.
    view.Finder()->CloseBar();
    QTRY_COMPARE(Highlights(view, 1), 1);

    WidgetFixtures::WhenModal<DecodedTextWatchDialog>([](DecodedTextWatchDialog* dialog) {
        auto* entry = dialog->findChild<QLineEdit*>(QStringLiteral("WatchNewWord"));
        QTest::keyClicks(entry, "CQ");
        QTest::keyClick(entry, Qt::Key_Return); // adds, does not close the dialog
        QTest::keyClicks(entry, "Dl1AbC"); // there already, in another case
        QTest::keyClick(entry, Qt::Key_Return);
        dialog->findChild<QCheckBox*>(QStringLiteral("WatchCallSigns"))->setChecked(true);
        QVERIFY(dialog->isVisible());
        dialog->accept();
    });
    bar->findChild<QToolButton*>(QStringLiteral("FindWatchList"))->click();
    QCOMPARE(view.Watch()->Words(), (QStringList { "dl1abc", "CQ" }));
    QVERIFY(view.Watch()->WatchCallSigns());
    QTRY_COMPARE(Highlights(view, 1), 2);
}

QTEST_MAIN(TestDecodedTextFind)
#include "tst_decodedtextfind.moc"
