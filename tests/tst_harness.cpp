#include "cfgcenter.h"
#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "decodedtextviewtest.h"
#include "decodedtextviewtestmain.h"
#include "modelfixtures.h"
#include "varnoresultdataxml.h"

#include <QtTest>

#include <memory>

namespace {

const QString SampleText = QStringLiteral(
    "0123456789Lorem ipsum dolor sit amet, consetetur sadipscing elitr, sed diam nonumy eirmod "
    "tempor invidunt ut laboreet dolore magna aliquyam erat, sed diam voluptua.\nAt vero eos et "
    "accusam et justo duo dolores et ea rebum.\nStet clita kasd gubergren, no sea takimata "
    "sanctus est Lorem ipsum dolor sit amet.\nLorem ipsum dolor sit amet, consetetur sadipscing "
    "elitr, sed diam nonumy eirmod tempor invidunt ut labore et dolore magna aliquyam erat, ");

DecodedTextViewTestMain* HarnessWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<DecodedTextViewTestMain*>(widget))
            return window;
    }
    return nullptr;
}

DecodedTextView* HarnessView()
{
    DecodedTextViewTestMain* window = HarnessWindow();
    return window ? qobject_cast<DecodedTextView*>(window->centralWidget()) : nullptr;
}

// One recorded frame of a channel: its text and the time of its first character.
struct Frame {
    QString text;
    int position = 0;
    QDateTime time;
};

struct ChannelExport {
    int transmissions = 0;
    int blocks = 0;
    QDateTime start;
    QString content;
    QVector<Frame> frames;
};

ChannelExport Export(DecodedTextView* view, int channel)
{
    ChannelExport result;
    VarnoResultDataXml::VarnoResultData document;
    view->GetData(channel, document, false);
    result.transmissions = document.GetTransmission().size();
    for (const VarnoResultDataXml::Transmission* transmission : document.GetTransmission()) {
        result.start = transmission->GetStartTime();
        for (const VarnoResultDataXml::DataBlock* block : transmission->GetDataBlock()) {
            ++result.blocks;
            const QString content = block->GetContent();
            const QVector<VarnoResultDataXml::TimeStamp>& stamps = block->GetTimeStamp();
            for (int i = 0; i < stamps.size(); ++i) {
                const int end = i + 1 < stamps.size() ? stamps[i + 1].Position : content.size();
                result.frames.append(
                    Frame { content.mid(stamps[i].Position, end - stamps[i].Position),
                            stamps[i].Position, stamps[i].Time });
            }
            result.content += content;
        }
    }
    return result;
}

// The qualities of the runs a channel's text area shows.
QSet<int> ShownQualities(DecodedTextView* view, int channel)
{
    QSet<int> qualities;
    for (DecodedTextChannel* pane : view->findChildren<DecodedTextChannel*>()) {
        if (pane->GetChannel() != channel)
            continue;
        pane->ExpandTextArea(true);
        auto* content = pane->findChild<DecodedTextContent*>();
        QTextBlock line = content ? content->document()->begin() : QTextBlock();
        for (; line.isValid(); line = line.next()) {
            auto* item = static_cast<DecodedTextLayoutItem*>(line.userData());
            for (int k = 0; item && item->block && k < item->block->snippets.size(); ++k)
                qualities.insert(item->block->snippets.at(k).quality);
        }
    }
    return qualities;
}

} // namespace

class TstHarness : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startConfiguresTheView();
    void ticksBeforeStartDoNothing();
    void fortyOneTicksFeedBothChannels();
    void traceLineDescribesEachBlock();
    void closingTheWindowEndsTheEventLoop();

private:
    QTemporaryDir configDir;
};

void TstHarness::init()
{
    // The view loads and saves its settings; keep them out of the user's configuration.
    QVERIFY(configDir.isValid());
    qputenv("VX_APP_CONFIG", configDir.filePath(QStringLiteral("harness.ini")).toUtf8());
    QVERIFY(!HarnessWindow());
}

void TstHarness::cleanup()
{
    qunsetenv("VX_APP_CONFIG");
}

void TstHarness::startConfiguresTheView()
{
    DecodedTextViewTest harness(QStringLiteral("start"));
    QVERIFY(harness.Start());
    QVERIFY(HarnessWindow()->isVisible());
    DecodedTextView* view = HarnessView();
    QVERIFY(view);
    QCOMPARE(view->GetChannelNames(),
             (QMap<int, QString> { { 0, "Aggregation" }, { 1, "Hugo" }, { 2, "Emil" } }));

    // The threshold reaches the settings the view saves.
    view->Save();
    std::unique_ptr<ICfg> settings(
        CfgCenter::GetAppCfg(ICfg::AppView).OpenSubCfg(QStringLiteral("DecodedTextView"), 0));
    QVERIFY(settings);
    QCOMPARE(settings->ReadInt(QStringLiteral("QualityThreshold"), -1, 0), 50);
}

void TstHarness::ticksBeforeStartDoNothing()
{
    DecodedTextViewTest harness(QStringLiteral("early"));
    QVERIFY(!HarnessWindow()->isVisible());
    for (int tick = 0; tick < 3; ++tick)
        harness.Update();
    QVERIFY(harness.Start());
    harness.Update();
    DecodedTextView* view = HarnessView();
    // The early ticks neither used up text nor moved on to channel 2.
    QCOMPARE(Export(view, 1).content, QStringLiteral("0123456789Lorem ipsum "));
    QCOMPARE(Export(view, 2).blocks, 0);
}

void TstHarness::fortyOneTicksFeedBothChannels()
{
    const QDateTime beforeCreation = QDateTime::currentDateTime();
    DecodedTextViewTest harness(QStringLiteral("feed"));
    const QDateTime afterCreation = QDateTime::currentDateTime();
    QVERIFY(harness.Start());
    auto* timer = harness.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);

    // Channel 1 follows channel 2 only once channel 2 is stamped after the creation time.
    QTRY_VERIFY(QDateTime::currentDateTime() > afterCreation);
    const QDateTime beforeTicks = QDateTime::currentDateTime();
    for (int tick = 1; tick <= 40; ++tick)
        harness.Update();
    const QDateTime afterTicks = QDateTime::currentDateTime();
    QVERIFY(timer->isActive());
    harness.Update();
    QVERIFY(!timer->isActive());

    DecodedTextView* view = HarnessView();
    const ChannelExport one = Export(view, 1);
    const ChannelExport two = Export(view, 2);
    for (const ChannelExport* channel : { &one, &two }) {
        QVERIFY(channel->start >= beforeCreation && channel->start <= afterCreation);
        QCOMPARE(channel->content, SampleText);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4@%5").arg(channel->transmissions).arg(channel->blocks)
                     .arg(channel->frames.size()).arg(channel->frames.last().text)
                     .arg(channel->frames.last().position),
                 QStringLiteral("1 1 20 erat, @436"));
        for (int i = 0; i + 1 < channel->frames.size(); ++i) {
            const QString& text = channel->frames[i].text;
            QVERIFY2(text.size() >= 21 && text.endsWith(QLatin1Char(' ')), qPrintable(text));
        }
    }

    // Channel 2 carries the time of its tick; channel 1 after its first block lags one second
    // behind the channel 2 block before it.
    QVERIFY(one.frames[0].time >= beforeTicks && one.frames[0].time <= afterTicks);
    for (int i = 0; i < 20; ++i) {
        QVERIFY(two.frames[i].time >= beforeTicks && two.frames[i].time <= afterTicks);
        if (i > 0)
            QCOMPARE(one.frames[i].time, two.frames[i - 1].time.addSecs(-1));
    }

    QCOMPARE(ShownQualities(view, 1), QSet<int> { 70 });
    QCOMPARE(ShownQualities(view, 2), QSet<int> { 0 });
}

void TstHarness::traceLineDescribesEachBlock()
{
#ifdef Q_OS_UNIX
    DecodedTextViewTest harness(QStringLiteral("trace"));
    QVERIFY(harness.Start());

    const QString written = QString::fromUtf8(Fixtures::CapturedStandardError([&harness] {
        harness.Update();
        harness.Update();
    }));
    DecodedTextView* view = HarnessView();
    const QDateTime first = Export(view, 1).frames.value(0).time.toLocalTime();
    const QDateTime second = Export(view, 2).frames.value(0).time.toLocalTime();
    const QString expected
        = QStringLiteral("AddDataBlock channel=1 timestamp=%1 '0123456789Lorem ipsum '\n"
                         "AddDataBlock channel=2 timestamp=%2 '0123456789Lorem ipsum '\n")
              .arg(first.toString(Qt::TextDate), second.toString(Qt::TextDate));
    QVERIFY2(written.contains(expected), qPrintable(written));
#else
    QSKIP("The trace line goes to the debugger output here");
#endif
}

void TstHarness::closingTheWindowEndsTheEventLoop()
{
    DecodedTextViewTestMain window;
    window.show();
    QEventLoop loop;
    QTimer::singleShot(0, &window, [&window]() { window.close(); });
    QTimer::singleShot(5000, &loop, [&loop]() { loop.exit(1); });
    QCOMPARE(loop.exec(), 0);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TstHarness)
#include "tst_harness.moc"
