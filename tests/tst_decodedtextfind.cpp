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

QLabel* Marker(DecodedTextView& view, int channel, const char* name)
{
    DecodedTextChannel* pane = Pane(view, channel);
    return pane ? pane->GetCaption()->findChild<QLabel*>(QString::fromLatin1(name)) : nullptr;
}

// One piece of a decoder's stream: its text from a stream position, stamped by position;
// with used, through the mapped intake that merges it into the aggregation channel too.
void Send(DecodedTextView& view, int channel, const QString& text, int position,
          const QDateTime& start = T0, qint64 lateMs = 0, QVector<int>* used = nullptr)
{
    const QString xml = BlockXml(channel, start, text, {},
                                 { Stamp(position, T0.addMSecs(10 * position + lateMs)) });
    if (used)
        view.AddTransmission({ { 1, 1 }, { 2, 2 }, { 3, 3 } }, *used, xml);
    else
        view.AddTransmission(xml);
}

QStringList Told(const QSignalSpy& spy)
{
    QStringList told;
    for (const QList<QVariant>& hit : spy)
        told << QStringLiteral("%1:%2").arg(hit.at(0).toInt()).arg(hit.at(1).toString());
    return told;
}

// The plain reference: every whole-word, any-case occurrence of the words in the text.
QStringList Occurrences(int channel, const QString& text, const QStringList& words)
{
    const auto edge = [&text](int i) {
        const QChar c = i < 0 || i == text.size() ? QChar(' ') : text.at(i);
        return !(c.isLetterOrNumber() || c.isMark() || c == '_' || c == '/');
    };
    QStringList found;
    for (const QString& word : words) {
        for (int i = 0; i + word.size() <= text.size(); ++i) {
            if (text.midRef(i, word.size()).compare(word, Qt::CaseInsensitive) == 0 && edge(i - 1)
                && edge(i + word.size()))
                found << QStringLiteral("%1:%2").arg(channel).arg(word);
        }
    }
    return found;
}

} // namespace

class TestDecodedTextFind : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // The watch list is saved with the view; each test starts from an empty configuration.
        file = dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + ".ini");
        qputenv("VX_APP_CONFIG", file.toLocal8Bit());
    }

    // Appends, resends from anywhere, lost characters, new transmissions, trimming and, with the
    // mapped intake, runs merged into the middle of the aggregation block: after every intake
    // each channel's count equals a plain search of its whole text.
    void countsFollowEveryChangeOfTheText()
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
                    finder.SetText(round < 4 ? "aba" : "aBa", cs == Qt::CaseSensitive);
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

    void stepsThroughTheOpenPanesInOrder()
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
        QTRY_VERIFY(Marker(view, 2, "FindCount") && Marker(view, 2, "FindCount")->isVisible());
        QCOMPARE(Marker(view, 2, "FindCount")->text(), QStringLiteral("4 found"));

        // Enter and F3 step forward through pane 1, then pane 3, and round again; Shift steps back.
        const struct {
            int times; Qt::Key key; Qt::KeyboardModifier mod; const char* count; int pane, at;
        }
            steps[] { { 3, Qt::Key_Return, Qt::NoModifier, "3 of 17", 1, 12 },
                      { 8, Qt::Key_F3, Qt::NoModifier, "11 of 17", 3, 2 },
                      { 1, Qt::Key_Return, Qt::ShiftModifier, "10 of 17", 1, 54 },
                      { 8, Qt::Key_Return, Qt::NoModifier, "1 of 17", 1, 0 },
                      { 1, Qt::Key_F3, Qt::ShiftModifier, "17 of 17", 3, 32 } };
        for (const auto& step : steps) {
            for (int i = 0; i < step.times; ++i)
                QTest::keyClick(edit, step.key, step.mod);
            QTRY_COMPARE(bar->CountText(), QString::fromLatin1(step.count));
            const QTextCursor c = Content(view, step.pane)->textCursor();
            QCOMPARE(c.selectedText() + QString::number(c.selectionStart()),
                     "DL1" + QString::number(step.at));
        }

        // Text arriving while the bar is open is searched, in open and closed panes alike; a
        // rebuilt document gets its highlights back.
        view.AddTransmission(BlockXml(1, T0, "DL1 DL1", {}, { Stamp(60, T0) }));
        view.AddTransmission(BlockXml(2, T0, " dl1", {}, { Stamp(24, T0) }));
        QTRY_COMPARE(bar->CountText(), QStringLiteral("19 of 19"));
        QTRY_COMPARE(Marker(view, 2, "FindCount")->text(), QStringLiteral("5 found"));
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
        QTRY_VERIFY(!Marker(view, 2, "FindCount")->isVisible());
        QCOMPARE(view.Finder()->Count(), 0);

        // Watch hits in the open pane and the closed one are marked until the operator looks.
        view.Watch()->SetWords({ "DL1ABC" });
        QSignalSpy spy(view.Watch(), &DecodedTextWatch::Hit);
        Send(view, 1, " DL1ABC ", 67);
        Send(view, 2, " DL1ABC DL1ABC ", 28);
        QCOMPARE(Told(spy), (QStringList { "1:DL1ABC", "2:DL1ABC", "2:DL1ABC" }));
        QTRY_VERIFY(Marker(view, 2, "WatchHits") && Marker(view, 2, "WatchHits")->isVisible());
        QCOMPARE(Marker(view, 2, "WatchHits")->text(), QStringLiteral("2 watch hits"));
        QCOMPARE(Marker(view, 1, "WatchHits")->text(), QStringLiteral("1 watch hit"));
        view.ShowChannel(2); // opening the pane is looking at it
        QTRY_VERIFY(!Marker(view, 2, "WatchHits")->isVisible());
        QVERIFY(Marker(view, 1, "WatchHits")->isVisible());
        // So is focusing it; and a word that arrives while the operator works there is seen.
        Content(view, 1)->setFocus();
        QTRY_VERIFY(!Marker(view, 1, "WatchHits")->isVisible());
        Send(view, 1, " DL1ABC K", 75);
        QCOMPARE(spy.size(), 4);
        QTest::qWait(20);
        QVERIFY(!Marker(view, 1, "WatchHits")->isVisible());
    }

    void typingInTheUserChannelIsFoundNotWatched()
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
        WidgetFixtures::Select(*content, 9, 9);
        QTest::keyClick(content, Qt::Key_Backspace);
        QTest::keyClicks(content, "C");
        // At once, not only when the edits are handed on after the typing pause.
        QTRY_COMPARE_WITH_TIMEOUT(view.Finder()->CountIn(user), 2, 1000);
        QTRY_COMPARE(Highlights(view, user), 4); // found and watched, each twice
        QCOMPARE(hits.size(), 0);
    }

    // A match away from the end holds the pane; the bar's word goes to the watch list.
    void barOnTextAwayFromTheEnd()
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

    // Words split over pieces, waiting at the end for the next character, inside longer words,
    // resent alike or later, merged into the aggregation channel: after each transmission, what
    // was told equals a plain search of the decoder channels.
    void watchTellsEveryOccurrenceOnce()
    {
        // Blank entries, repeats in another case, loose blanks in a phrase, regex-looking words
        // and thousands more change nothing but what they should.
        QStringList list { "ab", "", "   ", "AB", " b   x ", "ABC/D", "a.c", "(x*" };
        for (int i = 0; i < 2000; ++i)
            list << QStringLiteral("W%1ZZ").arg(i);
        const QStringList words { "ab", "b x", "ABC/D", "a.c", "(x*", "W17ZZ" };
        const QStringList tokens { "ab",  "AB",  "abc", "b",   "x",     "abc/d", "ab_",
                                   "ab/p", "a.c", "axc", "(x*", "w17zz", "\n" };
        QRandomGenerator random(20240501);
        for (int round = 0; round < 20; ++round) {
            DecodedTextView view;
            view.Watch()->SetWords(list);
            QCOMPARE(view.Watch()->Words().mid(0, 5), words.mid(0, 5));
            QCOMPARE(view.Watch()->Words().size(), 2005);
            QSignalSpy spy(view.Watch(), &DecodedTextWatch::Hit);
            QVector<int> used;
            QVector<int>* mapped = round % 5 == 1 ? &used : nullptr;
            QMap<int, QString> sent; // per channel, the current transmission's text
            QDateTime start = T0; // of the current transmission
            QMap<int, QVector<int>> cuts; // where its pieces began
            QStringList expected;
            auto finish = [&] {
                for (int c : sent.keys())
                    expected << Occurrences(c, sent.value(c), words);
                sent.clear();
                cuts.clear();
            };
            for (int step = 0; step < 150; ++step) {
                const int channel = 1 + int(random.bounded(3));
                const int action = int(random.bounded(10));
                QString& text = sent[channel];
                if (action == 0 && !text.isEmpty()) {
                    // The decoder sends again from where an earlier piece began, alike or later.
                    const int from = cuts[channel].at(int(random.bounded(cuts[channel].size())));
                    Send(view, channel, text.mid(from), from, start,
                         random.bounded(2) ? 0 : 700, mapped);
                    cuts[channel].resize(cuts[channel].indexOf(from) + 1);
                } else if (action == 1) {
                    view.EndTransmission();
                    finish();
                    start = start.addSecs(60);
                } else {
                    QString piece;
                    for (int n = 1 + int(random.bounded(4)); n > 0; --n)
                        piece += tokens.at(int(random.bounded(tokens.size())))
                            + (random.bounded(3) ? " " : "");
                    if (mapped) // each piece closes its block there: its last word is whole
                        piece += ' ';
                    cuts[channel].append(text.size());
                    Send(view, channel, piece, text.size(), start, 0, mapped);
                    text += piece;
                }
            }
            view.EndTransmission();
            finish();
            QStringList told = Told(spy);
            told.sort();
            expected.sort();
            QCOMPARE(told, expected);
        }
    }

    void toldOnceAtItsFirstCharacter()
    {
        DecodedTextView view;
        view.Watch()->SetWords({ "DL1ABC" });
        QSignalSpy spy(view.Watch(), &DecodedTextWatch::Hit);
        Send(view, 3, "CQ ", 0);
        Send(view, 3, "DL1A", 3);
        Send(view, 3, "BC K ", 7);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(2).toDateTime(), T0.addMSecs(30));
        // Sent again with other times, corrected away and back: still the same occurrence.
        const QStringList again { "CQ DL1ABC K ", "CQ DL1ABD K ", "CQ DL1ABC K " };
        for (int i = 0; i < again.size(); ++i)
            Send(view, 3, again.at(i), 0, T0, 400 * (i + 1));
        Send(view, 3, "DL1ABC ", 12); // a new one behind it
        QCOMPARE(Told(spy), (QStringList { "3:DL1ABC", "3:DL1ABC" }));
    }

    void knownCallSigns()
    {
        DecodedTextView view;
        QSignalSpy spy(view.Watch(), &DecodedTextWatch::Hit);
        view.Watch()->SetWatchCallSigns(true); // followed while no call sign is known yet
        Send(view, 1, "DL2XYZ K ", 0);
        view.DefineCallSign("DL2XYZ"); // watched from the next text on
        Send(view, 1, "DL2XYZ DL3NEW ", 9);
        view.DefineCallSign("DL3NEW");
        view.Watch()->SetWords({ "K" }); // what is there already is not news
        Send(view, 1, "dl3new k ", 23);
        QCOMPARE(view.Watch()->Words(), QStringList { "K" });
        QCOMPARE(Told(spy), (QStringList { "1:DL2XYZ", "1:DL3NEW", "1:K" }));
    }

    void listIsKeptInItsOwnGroup()
    {
        const QStringList words { "DL1ABC", "cq dx", "a,b; c=d", "\"quoted\"", "back\\slash",
                                  "Grüße" };
        {
            DecodedTextView view;
            view.Watch()->SetWords(words);
            view.Watch()->SetWatchCallSigns(true);
        }
        // The view's own group is not touched: nothing of it changed.
        QCOMPARE(QSettings(file, QSettings::IniFormat).childGroups(),
                 QStringList { "DecodedTextWatch" });
        // Written by hand: a needless rewrite would bring back the written form.
        const QByteArray written =
            WidgetFixtures::ReadAll(file).replace("KnownCallSigns=", "KnownCallSigns = ");
        QVERIFY(WidgetFixtures::WriteAll(file, written));
        {
            DecodedTextView view;
            QCOMPARE(view.Watch()->Words(), words);
            QVERIFY(view.Watch()->WatchCallSigns());
        }
        // Unchanged, it is not written again.
        QCOMPARE(WidgetFixtures::ReadAll(file), written);
    }

private:
    QTemporaryDir dir;
    QString file;
};

QTEST_MAIN(TestDecodedTextFind)
#include "tst_decodedtextfind.moc"
