#include "cfgcenter.h"
#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextview.h"
#include "decodedtextviewtest.h"
#include "decodedtextviewtestmain.h"
#include "documentcomparison.h"
#include "modelfixtures.h"

#include <QtTest>

#include <memory>

using DocumentComparison::ItemOf;

namespace {

DecodedTextView* HarnessView()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<DecodedTextViewTestMain*>(widget))
            return qobject_cast<DecodedTextView*>(window->centralWidget());
    return nullptr;
}

// The one block that a channel's text area shows, its pane opened for it; null for more.
QExplicitlySharedDataPointer<DecodedTextBlock> Shown(int channel)
{
    QExplicitlySharedDataPointer<DecodedTextBlock> block;
    for (DecodedTextChannel* pane : HarnessView()->findChildren<DecodedTextChannel*>()) {
        if (pane->GetChannel() != channel)
            continue;
        pane->ExpandTextArea(true);
        const QTextDocument* shown = pane->findChild<DecodedTextContent*>()->document();
        for (QTextBlock line = shown->begin(); line.isValid(); line = line.next()) {
            if (block && ItemOf(line) && ItemOf(line)->block != block)
                return {};
            block = ItemOf(line) ? ItemOf(line)->block : block;
        }
    }
    return block;
}

} // namespace

class TstHarness : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // The view loads and saves its settings; keep them out of the user's configuration.
        QVERIFY(configDir.isValid());
        qputenv("VX_APP_CONFIG", configDir.filePath(QStringLiteral("harness.ini")).toUtf8());
        QVERIFY(!HarnessView());
    }

    void cleanup() { qunsetenv("VX_APP_CONFIG"); }

    void startConfiguresTheViewAndFortyOneTicksFeedBothChannels()
    {
        const QDateTime beforeCreation = QDateTime::currentDateTime();
        DecodedTextViewTest harness(QStringLiteral("feed"));
        const QDateTime afterCreation = QDateTime::currentDateTime();
        // Ticks before the start neither use up text nor move on to channel 2.
        for (int tick = 0; tick < 3; ++tick)
            harness.Update();
        QVERIFY(harness.Start());
        DecodedTextView* view = HarnessView();
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->GetChannelNames(),
                 (QMap<int, QString> { { 0, "Aggregation" }, { 1, "Hugo" }, { 2, "Emil" } }));
        // The threshold reaches the settings the view saves.
        view->Save();
        std::unique_ptr<ICfg> settings(
            CfgCenter::GetAppCfg(ICfg::AppView).OpenSubCfg(QStringLiteral("DecodedTextView"), 0));
        QCOMPARE(settings->ReadInt(QStringLiteral("QualityThreshold"), -1, 0), 50);
        auto* timer = harness.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);

        // Channel 1 follows channel 2 only once channel 2 is stamped after the creation time.
        QTRY_VERIFY(QDateTime::currentDateTime() > afterCreation);
        const QDateTime beforeTicks = QDateTime::currentDateTime();
        const QString written = QString::fromUtf8(Fixtures::CapturedStandardError([&harness] {
            for (int tick = 1; tick <= 40; ++tick)
                harness.Update();
        }));
        const QDateTime afterTicks = QDateTime::currentDateTime();
        QVERIFY(timer->isActive());
        harness.Update();
        QVERIFY(!timer->isActive());

        const QExplicitlySharedDataPointer<DecodedTextBlock> blocks[] = { Shown(1), Shown(2) };
        QVERIFY(blocks[0] && blocks[1]);
        for (int c = 0; c < 2; ++c) {
            QVERIFY(blocks[c]->timestamp >= beforeCreation
                    && blocks[c]->timestamp <= afterCreation);
            QCOMPARE(blocks[c]->text, blocks[0]->text);
            QCOMPARE(blocks[c]->snippets.size(), 20);
            QCOMPARE(blocks[c]->snippets.last().start, 436);
            for (int i = 0; i < 20; ++i) {
                // Blocks end after a word, at least 20 characters on; channel 2 has quality 0.
                const QString run = blocks[c]->SnippetText(i);
                QVERIFY2((run.size() >= 21 || i == 19) && run.endsWith(' '), qPrintable(run));
                QCOMPARE(blocks[c]->snippets[i].quality, c == 0 ? 70 : 0);
                // Channel 2 carries the time of its tick; channel 1 after its first block lags one
                // second behind the channel 2 block before it.
                const QDateTime time = blocks[c]->SnippetTime(i);
                if (c == 1 || i == 0)
                    QVERIFY(time >= beforeTicks && time <= afterTicks);
                else
                    QCOMPARE(time, blocks[1]->SnippetTime(i - 1).addSecs(-1));
            }
        }
        // Each block is traced with its channel, its time and its text.
        const QString expected
            = QStringLiteral("AddDataBlock channel=1 timestamp=%1 '0123456789Lorem ipsum '\n"
                             "AddDataBlock channel=2 timestamp=%2 '0123456789Lorem ipsum '\n")
                  .arg(blocks[0]->SnippetTime(0).toLocalTime().toString(Qt::TextDate),
                       blocks[1]->SnippetTime(0).toLocalTime().toString(Qt::TextDate));
#ifdef Q_OS_UNIX // elsewhere the trace goes to the debugger output
        QVERIFY2(written.contains(expected), qPrintable(written));
#endif
    }

    void closingTheWindowEndsTheEventLoop()
    {
        DecodedTextViewTestMain window;
        window.show();
        QEventLoop loop;
        QTimer::singleShot(0, &window, [&window]() { window.close(); });
        QTimer::singleShot(5000, &loop, [&loop]() { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
        QVERIFY(!window.isVisible());
    }

private:
    QTemporaryDir configDir;
};

QTEST_MAIN(TstHarness)
#include "tst_harness.moc"
