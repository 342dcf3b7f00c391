#include "decodedtextchannel.h"
#include "decodedtextview.h"
#include "decodedtextwatch.h"
#include "widgetfixtures.h"

#include <QLabel>
#include <QRandomGenerator>
#include <QtTest>

using WidgetFixtures::BlockXml;
using WidgetFixtures::Stamp;

namespace {

const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);

// One piece of a decoder's stream: its text from a stream position, stamped by position.
void Send(DecodedTextView& view, int channel, const QString& text, int position,
          const QDateTime& start = T0, qint64 lateMs = 0)
{
    view.AddTransmission(BlockXml(channel, start, text, {},
                                  { Stamp(position, T0.addMSecs(10 * position + lateMs)) }));
}

QStringList Told(const QSignalSpy& spy)
{
    QStringList told;
    for (const QList<QVariant>& hit : spy)
        told << QStringLiteral("%1:%2").arg(hit.at(0).toInt()).arg(hit.at(1).toString());
    return told;
}

bool WordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == '_' || c == '/';
}

// The plain reference: every whole-word, any-case occurrence of the words in the text.
QStringList Occurrences(int channel, const QString& text, const QStringList& words)
{
    QStringList found;
    for (const QString& word : words) {
        for (int i = 0; i + word.size() <= text.size(); ++i) {
            if (text.midRef(i, word.size()).compare(word, Qt::CaseInsensitive) == 0
                && (i == 0 || !WordCharacter(text.at(i - 1)))
                && (i + word.size() == text.size() || !WordCharacter(text.at(i + word.size()))))
                found << QStringLiteral("%1:%2").arg(channel).arg(word);
        }
    }
    return found;
}

QLabel* HitMarker(DecodedTextView& view, int channel)
{
    for (DecodedTextChannel* pane : view.findChildren<DecodedTextChannel*>()) {
        if (pane->GetChannel() == channel)
            return pane->GetCaption()->findChild<QLabel*>(QStringLiteral("WatchHits"));
    }
    return nullptr;
}

} // namespace

class TestDecodedTextWatch : public QObject {
    Q_OBJECT

private slots:
    void init();
    void randomStreamsTellEveryOccurrenceOnce();
    void toldOnceAtItsFirstCharacter();
    void openAndClosedChannels();
    void mergedTextIsToldForItsChannel();
    void knownCallSigns();
    void listIsKeptInItsOwnGroup();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString file;
};

void TestDecodedTextWatch::init()
{
    dir.reset(new QTemporaryDir);
    file = dir->filePath(QStringLiteral("app.ini"));
    qputenv("VX_APP_CONFIG", file.toLocal8Bit());
}

// Words split over pieces, waiting at the end for the next character, inside longer words,
// resent alike or later: after each transmission, what was told equals a plain search.
void TestDecodedTextWatch::randomStreamsTellEveryOccurrenceOnce()
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
        QMap<int, QString> sent; // per channel, the current transmission's text
        QMap<int, QDateTime> starts;
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
            if (!starts.contains(channel))
                starts[channel] = T0;
            const int action = int(random.bounded(10));
            QString& text = sent[channel];
            if (action == 0 && !text.isEmpty()) {
                // The decoder sends again from where an earlier piece began, alike or later.
                const int from = cuts[channel].at(int(random.bounded(cuts[channel].size())));
                Send(view, channel, text.mid(from), from, starts[channel],
                     random.bounded(2) ? 0 : 700);
                cuts[channel].resize(cuts[channel].indexOf(from) + 1);
            } else if (action == 1) {
                view.EndTransmission();
                finish();
                for (auto it = starts.begin(); it != starts.end(); ++it)
                    it.value() = it.value().addSecs(60);
            } else {
                QString piece;
                for (int n = 1 + int(random.bounded(4)); n > 0; --n)
                    piece += tokens.at(int(random.bounded(tokens.size())))
                        + (random.bounded(3) ? " " : "");
                cuts[channel].append(text.size());
                Send(view, channel, piece, text.size(), starts[channel]);
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

void TestDecodedTextWatch::toldOnceAtItsFirstCharacter()
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

void TestDecodedTextWatch::openAndClosedChannels()
{
    DecodedTextView view;
    view.resize(600, 400);
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    view.Watch()->SetWords({ "DL1ABC" });
    QSignalSpy spy(view.Watch(), &DecodedTextWatch::Hit);
    Send(view, 1, "CQ DL1ABC K", 0); // the first channel opens
    Send(view, 2, "DE DL1ABC K", 0);
    Send(view, 2, " DL1ABC K", 11);
    QCOMPARE(Told(spy), (QStringList { "1:DL1ABC", "2:DL1ABC", "2:DL1ABC" }));
    QTRY_VERIFY(HitMarker(view, 2) && HitMarker(view, 2)->isVisible());
    QCOMPARE(HitMarker(view, 2)->text(), QStringLiteral("2 watch hits"));
    QCOMPARE(HitMarker(view, 1)->text(), QStringLiteral("1 watch hit"));

    view.ShowChannel(2); // opening the pane is looking at it
    QTRY_VERIFY(!HitMarker(view, 2)->isVisible());
    QVERIFY(HitMarker(view, 1)->isVisible());
    // So is focusing it; and a word that arrives while the operator works there is seen.
    view.findChild<DecodedTextChannel*>(QStringLiteral("Channel 1"))
        ->findChild<QWidget*>(QStringLiteral("DecodedTextContent"))
        ->setFocus();
    QTRY_VERIFY(!HitMarker(view, 1)->isVisible());
    Send(view, 1, " DL1ABC K", 11);
    QCOMPARE(spy.size(), 4);
    QTest::qWait(20);
    QVERIFY(!HitMarker(view, 1)->isVisible());
}

void TestDecodedTextWatch::mergedTextIsToldForItsChannel()
{
    DecodedTextView view;
    view.Watch()->SetWords({ "DL1ABC" });
    QSignalSpy spy(view.Watch(), &DecodedTextWatch::Hit);
    QVector<int> used;
    view.AddTransmission({ { 5, 5 }, { 6, 6 } }, used,
                         BlockXml(5, T0, "CQ DL1ABC", {}, { Stamp(0, T0) }));
    view.AddTransmission({ { 5, 5 }, { 6, 6 } }, used,
                         BlockXml(6, T0, "DL1ABC DE", {}, { Stamp(0, T0.addSecs(1)) }, 2));
    view.EndTransmission();
    QCOMPARE(Told(spy), (QStringList { "5:DL1ABC", "6:DL1ABC" }));
}

void TestDecodedTextWatch::knownCallSigns()
{
    DecodedTextView view;
    view.DefineCallSign("DL2XYZ");
    QSignalSpy spy(view.Watch(), &DecodedTextWatch::Hit);
    Send(view, 1, "DL2XYZ K ", 0);
    view.Watch()->SetWatchCallSigns(true);
    QCOMPARE(view.Watch()->Words(), QStringList());
    Send(view, 1, "DL2XYZ DL3NEW ", 9);
    view.DefineCallSign("DL3NEW"); // watched from the next text on
    Send(view, 1, "dl3new ", 23);
    QCOMPARE(Told(spy), (QStringList { "1:DL2XYZ", "1:DL3NEW" }));
}

void TestDecodedTextWatch::listIsKeptInItsOwnGroup()
{
    const QStringList words { "DL1ABC", "cq dx", "a,b; c=d", "\"quoted\"", "back\\slash", "Grüße" };
    {
        DecodedTextView view;
        view.Watch()->SetWords(words);
        view.Watch()->SetWatchCallSigns(true);
    }
    // The view's own group is not touched: nothing of it changed.
    QCOMPARE(QSettings(file, QSettings::IniFormat).childGroups(), QStringList { "DecodedTextWatch" });
    const QByteArray written = WidgetFixtures::ReadAll(file);
    {
        DecodedTextView view;
        QCOMPARE(view.Watch()->Words(), words);
        QVERIFY(view.Watch()->WatchCallSigns());
    }
    // Unchanged, it is not written again.
    QCOMPARE(WidgetFixtures::ReadAll(file), written);
}

QTEST_MAIN(TestDecodedTextWatch)
#include "tst_decodedtextwatch.moc"
