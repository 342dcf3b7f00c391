#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "varnoresultdataxml.h"
#include "widgetfixtures.h"

#ifndef DTV_NO_LAUNCHER
#include "platformchoice.h"
#include "replayclock.h"
#include "replayer.h"
#include "sessionrecorder.h"
#include "sessionscreenshot.h"
#endif

#include <QMainWindow>
#include <QTextCodec>
#include <QtTest>

using namespace VarnoResultDataXml;
using WidgetFixtures::BlockXml;
using WidgetFixtures::Mark;
using WidgetFixtures::ReadAll;
using WidgetFixtures::WriteAll;

#ifndef DTV_NO_LAUNCHER

namespace {

const QDateTime Origin = QDateTime(QDate(2024, 3, 1), QTime(10, 0, 0), Qt::UTC);

// A run at a time after the origin.
TimeStamp Stamp(int position, qint64 msAfterOrigin, int quality)
{
    return WidgetFixtures::Stamp(position, Origin.addMSecs(msAfterOrigin), quality);
}

// A recording with what a replay has to get right: two channels whose frames interleave,
// a gap, a second transmission, annotations delivered with the text and made afterwards
// (after the gap, so positions and text indices differ), and a change of the text itself.
QString MakeRecording()
{
    DecodedTextData model;
    const auto annotate = [&model](UserData* mark) {
        if (!model.SetUserData(model.GetChannelData(3)->LastBlock(), mark, mark->Type, mark->Start,
                               mark->End))
            delete mark;
    };
    model.AddTransmission(BlockXml(3, Origin, QStringLiteral("Hello world, this is "), {},
                                   { Stamp(0, 1000, 90), Stamp(6, 2000, 40) }, 7));
    model.AddTransmission(BlockXml(5, Origin, QStringLiteral("second channel text "),
                                   { Mark(UserData::CallSignType, 0, 6, QStringLiteral("DL1ABC")) },
                                   { Stamp(0, 1500, 80) }, 2));
    model.AddTransmission(
        BlockXml(3, Origin, QStringLiteral("after the gap "), {}, { Stamp(30, 3000, 70) }, 7));
    annotate(Mark(UserData::CommentType, 0, 5, QStringLiteral("greeting")));
    annotate(Mark(UserData::CallSignType, 31, 34, QStringLiteral("Emil")));
    model.AddTransmission(BlockXml(3, Origin.addSecs(10), QStringLiteral("next transmission "), {},
                                   { Stamp(0, 11000, 60), Stamp(5, 12500, 60) }, 8));
    annotate(Mark(UserData::ChangeType, 0, 4, QStringLiteral("NEXT!"), QStringLiteral("next")));

    VarnoResultData document;
    for (int channel : { 3, 5 })
        model.GetData(channel, document, false);
    return document.GetXmlString();
}

// What a view shows of a document, block by block: text, timed frames and annotations.
QMap<QString, QStringList> Shown(const QString& xml)
{
    VarnoResultData document;
    document.SetXmlString(xml);
    QMap<QString, QStringList> shown;
    for (const Transmission* transmission : document.GetTransmission()) {
        for (const DataBlock* block : transmission->GetDataBlock()) {
            const QString key = QStringLiteral("%1 channel %2 id %3")
                                    .arg(transmission->GetStartTime().toString(Qt::ISODateWithMs))
                                    .arg(block->GetChannel())
                                    .arg(block->GetID());
            QStringList& lines = shown[key];
            const QString content = block->GetContent();
            lines << QStringLiteral("text '%1'").arg(content);
            const QVector<TimeStamp>& stamps = block->GetTimeStamp();
            for (int i = 0; i < stamps.size(); ++i) {
                const int end = i + 1 < stamps.size() ? stamps[i + 1].Position : content.size();
                if (end > stamps[i].Position)
                    lines << QStringLiteral("frame '%1' at %2")
                                 .arg(content.mid(stamps[i].Position, end - stamps[i].Position),
                                      stamps[i].Time.toString(Qt::ISODateWithMs));
            }
            for (const UserData* u : block->GetUserData())
                lines << QStringLiteral("%1 [%2,%3) sign '%4' comment '%5' text '%6' replaced "
                                        "'%7' by %8 at %9")
                             .arg(u->Type)
                             .arg(u->Start)
                             .arg(u->End)
                             .arg(u->CallSign, u->Comment, u->Text, u->ReplacedText, u->Modifier,
                                  u->ChangeTime.toString(Qt::ISODateWithMs));
        }
    }
    return shown;
}

QString ExportView(DecodedTextView* view)
{
    VarnoResultData document;
    for (int channel : SessionRecorder::Channels(view))
        view->GetData(channel, document, false);
    return document.GetXmlString();
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run RunLauncher(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DTV_LAUNCHER_PATH), arguments);
    Run run;
    if (!process.waitForFinished(90000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("launcher did not finish");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TstLauncher : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void replayFollowsTheRecordedPace();
    void replayClockFollowsTheRecording();
    void annotationsAreAppended();

    void launcherRunsTheHarness_data();
    void launcherRunsTheHarness();
    void launcherReplaysARecording();
    void replayReadsTheDeclaredEncoding_data();
    void replayReadsTheDeclaredEncoding();
    void platformFallback_data();
    void platformFallback();
    void screenshotWhenTheWindowCloses();
    void launcherRefuses_data();
    void launcherRefuses();

private:
    QProcessEnvironment Environment() const;

    QTemporaryDir dir;
};

void TstLauncher::init()
{
    QVERIFY(dir.isValid());
    qputenv("VX_APP_CONFIG", dir.filePath(QStringLiteral("launcher.ini")).toUtf8());
}

void TstLauncher::cleanup()
{
    qunsetenv("VX_APP_CONFIG");
}

QProcessEnvironment TstLauncher::Environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VX_APP_CONFIG"), dir.filePath(QStringLiteral("run.ini")));
    return environment;
}

void TstLauncher::replayFollowsTheRecordedPace()
{
    // The second frame of channel 1 is stamped before its first; channel 2 runs in between.
    VarnoResultData document;
    for (const QString& xml :
         { BlockXml(1, Origin, "aaaa bbbb cccc ", {},
                    { Stamp(0, 0, 50), Stamp(5, 6000, 50), Stamp(10, 2000, 50) }),
           BlockXml(2, Origin, "between ", {}, { Stamp(0, 4000, 50) }) }) {
        auto* transmission = new Transmission;
        transmission->SetXmlString(xml);
        document.AddTransmission(transmission);
    }
    DecodedTextView view(nullptr);
    Replayer replayer(&view, nullptr);
    QString error;
    QVERIFY(replayer.Load(document.GetXmlString(), error));
    QCOMPARE(replayer.PieceCount(), 4);
    QCOMPARE(replayer.Origin(), Origin);
    // Twice the pace halves the waits; "cccc" may not overtake "bbbb".
    QVector<qint64> due;
    for (int piece = 0; piece < 4; ++piece)
        due << replayer.DueAfter(piece, 2.0);
    QCOMPARE(due, QVector<qint64>({ 0, 2000, 3000, 3000 }));

    // At a brisk pace the timer delivers all of it, in order.
    QSignalSpy finished(&replayer, &Replayer::Finished);
    replayer.Start(10.0);
    QCOMPARE(replayer.DeliveredCount(), 1);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(replayer.DeliveredCount(), 4);
    const QStringList shown = Shown(ExportView(&view)).first();
    QCOMPARE(shown.first(), QStringLiteral("text 'aaaa bbbb cccc '"));
    QVERIFY(shown.contains(
        QStringLiteral("frame 'cccc ' at %1").arg(Origin.addSecs(2).toString(Qt::ISODateWithMs))));
}

void TstLauncher::replayClockFollowsTheRecording()
{
    ReplayClock clock;
    QVERIFY(!clock.IsStarted());
    const QDateTime past = Origin.addYears(-20);
    clock.Start(past, 50.0);
    QVERIFY(clock.IsStarted());
    const QDateTime now = clock.CurrentTime();
    QVERIFY(now >= past && now < past.addSecs(60));
    // Fifty recorded milliseconds pass for every real one.
    QTRY_VERIFY(clock.CurrentTime() >= past.addMSecs(1000));
    QCOMPARE(clock.CurrentTime().timeSpec(), Qt::UTC);
}

void TstLauncher::annotationsAreAppended()
{
    const QString path = dir.filePath(QStringLiteral("annotations.xml"));
    QVERIFY(WriteAll(path, "earlier\n"));

    DecodedTextView view(nullptr);
    SessionRecorder recorder;
    QString error;
    QVERIFY(recorder.SetAnnotationFile(path, error));
    recorder.Watch(&view);
    recorder.Watch(&view); // watching twice must not write twice
    emit view.SaveUserData(1, QStringLiteral("<one/>"));
    emit view.SaveUserData(2, QStringLiteral("<two/>\n"));
    QCOMPARE(recorder.RecordedCount(), 2);
    QCOMPARE(ReadAll(path), QByteArray("earlier\n<one/>\n<two/>\n"));

    SessionRecorder nowhere;
    QVERIFY(!nowhere.SetAnnotationFile(dir.filePath(QStringLiteral("no/such/dir/file")), error));
    QVERIFY(!error.isEmpty());
}

void TstLauncher::launcherRunsTheHarness_data()
{
    QTest::addColumn<bool>("withoutDisplay");
    QTest::newRow("platform given by the environment") << false;
    QTest::newRow("no display at all picks the offscreen platform") << true;
}

void TstLauncher::launcherRunsTheHarness()
{
    QFETCH(bool, withoutDisplay);

    QProcessEnvironment environment = Environment();
    if (withoutDisplay) {
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    const QString screenshot = dir.filePath(QStringLiteral("shot.png"));
    const QString exported = dir.filePath(QStringLiteral("harness.xml"));
    const QString annotations = dir.filePath(QStringLiteral("harness-annotations.xml"));
    QFile::remove(screenshot);
    QFile::remove(exported);
    const Run run = RunLauncher({ "--name", "Probe", "--seconds", "2.5", "--screenshot", screenshot,
                                  "--export", exported, "--save-annotations", annotations },
                                environment);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("Instance 'Probe'")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("Screenshot written to ")), qPrintable(run.out));
    QVERIFY2(run.err.contains(QRegularExpression(
                 QStringLiteral("AddDataBlock channel=1 timestamp=.+ '0123456789Lorem ipsum '\n"))),
             qPrintable(run.err));

    const QImage image(screenshot);
    QVERIFY(image.width() > 100 && image.height() > 100);
    QVERIFY(QFileInfo::exists(annotations));

    const QMap<QString, QStringList> shown = Shown(QString::fromUtf8(ReadAll(exported)));
    QString channelOne; // the text of its last block
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        if (it.key().contains(QStringLiteral(" channel 1 ")))
            channelOne = it.value().first();
    QVERIFY2(channelOne.startsWith(QStringLiteral("text '0123456789Lorem ipsum ")),
             qPrintable(channelOne));
}

void TstLauncher::launcherReplaysARecording()
{
    const QString recording = MakeRecording();
    const QString input = dir.filePath(QStringLiteral("recording.xml"));
    QVERIFY(WriteAll(input, recording.toUtf8()));

    // The recording spans 12.5 s; at 25 times the pace it is through in half a second.
    const QString output = dir.filePath(QStringLiteral("replayed.xml"));
    const Run run
        = RunLauncher({ "--replay", input, "--speed", "25", "--seconds", "3", "--export", output },
                      Environment());
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("Replay finished")), qPrintable(run.out));

    QCOMPARE(Shown(QString::fromUtf8(ReadAll(output))), Shown(recording));
}

void TstLauncher::replayReadsTheDeclaredEncoding_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QString>("declaration");
    QTest::newRow("UTF-8 needs no declaration") << QByteArray("UTF-8") << QString();
    QTest::newRow("UTF-16 with its byte order mark") << QByteArray("UTF-16") << "UTF-16";
    QTest::newRow("Latin-1 as the declaration says") << QByteArray("ISO-8859-1") << "ISO-8859-1";
}

void TstLauncher::replayReadsTheDeclaredEncoding()
{
    QFETCH(QByteArray, codec);
    QFETCH(QString, declaration);
    DecodedTextData model;
    model.AddTransmission(BlockXml(3, Origin, QStringLiteral("Grüße aus Köln, 73 "), {}, { Stamp(0, 0, 90) }));
    VarnoResultData document;
    model.GetData(3, document, false);
    QString recording = document.GetXmlString();
    if (!declaration.isEmpty())
        recording.replace(QStringLiteral("<?xml version=\"1.0\"?>"),
                          QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>").arg(declaration));
    const QString path = dir.filePath(QStringLiteral("recording.xml"));
    QVERIFY(WriteAll(path, QTextCodec::codecForName(codec)->fromUnicode(recording)));

    DecodedTextView view(nullptr);
    Replayer replayer(&view, nullptr);
    QString error;
    QVERIFY2(replayer.LoadFile(path, error), qPrintable(error));
    QSignalSpy finished(&replayer, &Replayer::Finished);
    replayer.DeliverAll();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(replayer.DeliveredCount(), replayer.PieceCount());
    QCOMPARE(Shown(ExportView(&view)), Shown(recording));
}

void TstLauncher::platformFallback_data()
{
    using System = PlatformChoice::WindowSystem;
    QTest::addColumn<int>("system");
    QTest::addColumn<QByteArrayList>("environment"); // platform, display, Wayland display
    QTest::addColumn<QByteArray>("fallback");
    QTest::newRow("X11 without any display runs offscreen") << int(System::X11OrWayland) << QByteArrayList { "", "", "" } << QByteArray("offscreen");
    QTest::newRow("an X display is used") << int(System::X11OrWayland) << QByteArrayList { "", ":0", "" } << QByteArray();
    QTest::newRow("a Wayland display is used") << int(System::X11OrWayland) << QByteArrayList { "", "", "wayland-0" } << QByteArray();
    QTest::newRow("a chosen platform is kept") << int(System::X11OrWayland) << QByteArrayList { "vnc", "", "" } << QByteArray();
    QTest::newRow("Windows and macOS need no display variable") << int(System::Other) << QByteArrayList { "", "", "" } << QByteArray();
}

void TstLauncher::platformFallback()
{
    QFETCH(int, system);
    QFETCH(QByteArrayList, environment);
    QTEST(PlatformChoice::Fallback(PlatformChoice::WindowSystem(system), environment.at(0), environment.at(1), environment.at(2)),
          "fallback");
}

void TstLauncher::screenshotWhenTheWindowCloses()
{
    const QString path = dir.filePath(QStringLiteral("shot.png"));
    SessionScreenshot screenshot(path);
    QMainWindow window;
    window.setCentralWidget(new DecodedTextView(&window));
    window.resize(320, 240);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!screenshot.Taken());
    // The operator closes the window: the picture shows it as it was.
    window.close();
    QVERIFY(screenshot.Taken() && screenshot.Ok());
    QCOMPARE(QImage(path).size(), window.size());
}

void TstLauncher::launcherRefuses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown option") << QStringList { "--colour", "red" } << 2 << "colour";
    QTest::newRow("seconds not a number") << QStringList { "--seconds", "soon" } << 2 << "soon";
    QTest::newRow("stray argument") << QStringList { "file.xml" } << 2 << "file.xml";
    QTest::newRow("a replay cannot stand still") << QStringList { "--speed", "0" } << 2 << "speed";
    QTest::newRow("empty module name") << QStringList { "--module", "" } << 2 << "--module";
    QTest::newRow("module not found")
        << QStringList { "--module", "NoSuchModuleAnywhere" } << 3 << "NoSuchModuleAnywhere";
    QTest::newRow("library without the entry points")
        << QStringList { "--module", DTV_FOREIGN_LIBRARY_PATH } << 3 << "VXCreate";
    QTest::newRow("replay file missing")
        << QStringList { "--replay", "/nonexistent/recording.xml" } << 5 << "recording.xml";
}

void TstLauncher::launcherRefuses()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const Run run = RunLauncher(arguments, Environment());
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

QTEST_MAIN(TstLauncher)

#else

class TstLauncher : public QObject {
    Q_OBJECT

private slots:
    void launcherNotBuilt() { QSKIP("The launcher is not part of this build"); }
};

QTEST_MAIN(TstLauncher)

#endif

#include "tst_launcher.moc"
