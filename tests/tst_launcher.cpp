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
// (after the gap, so positions and text indices differ), a change of the text itself, and
// letters beyond ASCII for the encodings.
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
    model.AddTransmission(BlockXml(5, Origin, QStringLiteral("Grüße aus Köln, 73 "),
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

// Every block of a document as its own XML (text, timed frames, annotations), by
// transmission, channel and id.
QMap<QString, QString> Blocks(const QString& xml)
{
    VarnoResultData document;
    document.SetXmlString(xml);
    QMap<QString, QString> blocks;
    for (const Transmission* transmission : document.GetTransmission())
        for (const DataBlock* block : transmission->GetDataBlock())
            blocks.insert(QStringLiteral("%1 %2 %3")
                              .arg(transmission->GetStartTime().toString(Qt::ISODateWithMs))
                              .arg(block->GetChannel())
                              .arg(block->GetID()),
                          block->GetXmlString());
    return blocks;
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
    if (!process.waitForFinished(90000)) {
        process.kill();
        process.waitForFinished();
        return { -1, QString(), QStringLiteral("launcher did not finish") };
    }
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
             QString::fromUtf8(process.readAllStandardOutput()),
             QString::fromUtf8(process.readAllStandardError()) };
}

} // namespace

class TstLauncher : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VX_APP_CONFIG"), dir.filePath(QStringLiteral("run.ini")));
        return environment;
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        qputenv("VX_APP_CONFIG", dir.filePath(QStringLiteral("launcher.ini")).toUtf8());
    }

    void cleanup() { qunsetenv("VX_APP_CONFIG"); }

    void replayFollowsTheRecordedPace()
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
        ReplayClock clock;
        Replayer replayer(&view, &clock);
        QString error;
        QVERIFY(replayer.Load(document.GetXmlString(), error));
        QCOMPARE(replayer.PieceCount(), 4);
        QCOMPARE(replayer.Origin(), Origin);
        // Twice the pace halves the waits; "cccc" may not overtake "bbbb".
        QVector<qint64> due;
        for (int piece = 0; piece < 4; ++piece)
            due << replayer.DueAfter(piece, 2.0);
        QCOMPARE(due, QVector<qint64>({ 0, 2000, 3000, 3000 }));

        // At a brisk pace the timer delivers all of it, in order, and the view's clock keeps up.
        QSignalSpy finished(&replayer, &Replayer::Finished);
        replayer.Start(10.0);
        QCOMPARE(replayer.DeliveredCount(), 1);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(replayer.DeliveredCount(), 4);
        const QDateTime now = clock.CurrentTime();
        QVERIFY2(now >= Origin.addSecs(6) && now < Origin.addSecs(60), qPrintable(now.toString()));
        VarnoResultData shown;
        view.GetData(1, shown, false);
        QCOMPARE(shown.GetTransmission().first()->GetDataBlock().first()->GetContent(),
                 QStringLiteral("aaaa bbbb cccc "));
    }

    void launcherReplaysARecording_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QString>("declaration");
        QTest::newRow("UTF-8 needs no declaration") << QByteArray("UTF-8") << QString();
        QTest::newRow("UTF-16 with its byte order mark") << QByteArray("UTF-16") << "UTF-16";
        QTest::newRow("Latin-1 as the declaration says") << QByteArray("ISO-8859-1") << "ISO-8859-1";
    }

    void launcherReplaysARecording()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QString, declaration);
        QString recording = MakeRecording();
        if (!declaration.isEmpty())
            recording.replace(QStringLiteral("<?xml version=\"1.0\"?>"),
                              QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>").arg(declaration));
        const QString input = dir.filePath(QStringLiteral("recording.xml"));
        QVERIFY(WriteAll(input, QTextCodec::codecForName(codec)->fromUnicode(recording)));
        // The recording spans 12.5 s; at 200 times the pace it is through in 63 ms.
        const QString output = dir.filePath(QStringLiteral("replayed.xml"));
        const Run run = RunLauncher(
            { "--replay", input, "--speed", "200", "--seconds", "0.8", "--export", output },
            Environment());
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("Replay finished")), qPrintable(run.out));
        QCOMPARE(Blocks(QString::fromUtf8(ReadAll(output))), Blocks(recording));
    }

    void annotationsAreAppended()
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
        QCOMPARE(ReadAll(path), QByteArray("earlier\n<one/>\n<two/>\n"));
        QVERIFY(!recorder.SetAnnotationFile(dir.filePath(QStringLiteral("no/dir/file")), error));
    }

    void launcherRunsTheHarnessWithoutDisplay()
    {
        // No platform and no display at all: the launcher has to pick the offscreen platform.
        QProcessEnvironment environment = Environment();
        for (const char* variable : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
            environment.remove(QLatin1String(variable));
        const QString screenshot = dir.filePath(QStringLiteral("shot.png"));
        const QString exported = dir.filePath(QStringLiteral("harness.xml"));
        const Run run = RunLauncher({ "--name", "Probe", "--seconds", "2.5", "--screenshot",
                                      screenshot, "--export", exported },
                                    environment);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("Instance 'Probe'")), qPrintable(run.out));
        QVERIFY2(run.err.contains(QRegularExpression(QStringLiteral(
                     "AddDataBlock channel=1 timestamp=.+ '0123456789Lorem ipsum '\n"))),
                 qPrintable(run.err));
        const QImage image(screenshot);
        QVERIFY(image.width() > 100 && image.height() > 100);
        const QString last = Blocks(QString::fromUtf8(ReadAll(exported))).last();
        QVERIFY2(last.contains(QStringLiteral(">0123456789Lorem ipsum ")), qPrintable(last));
    }

    void platformFallback()
    {
        // Offscreen only where a window system needs a display and neither a platform nor a display
        // is named; every combination of the four against that rule.
        using System = PlatformChoice::WindowSystem;
        for (int named = 0; named < 16; ++named) {
            const QByteArray fallback = PlatformChoice::Fallback(
                named & 8 ? System::Other : System::X11OrWayland, named & 1 ? "vnc" : "",
                named & 2 ? ":0" : "", named & 4 ? "wayland-0" : "");
            QVERIFY2(fallback == (named == 0 ? "offscreen" : ""), qPrintable(QString::number(named)));
        }
    }

    void screenshotWhenTheWindowCloses()
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

    void launcherRefuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList { "--colour", "red" } << 2 << "colour";
        QTest::newRow("a replay cannot stand still") << QStringList { "--speed", "0" } << 2 << "speed";
        QTest::newRow("module not found")
            << QStringList { "--module", "NoSuchModuleAnywhere" } << 3 << "NoSuchModuleAnywhere";
        QTest::newRow("library without the entry points")
            << QStringList { "--module", DTV_FOREIGN_LIBRARY_PATH } << 3 << "VXCreate";
        QTest::newRow("listen and replay at once")
            << QStringList { "--listen", "0", "--replay", "r.xml" } << 2 << "exclude";
        QTest::newRow("IPv6 without brackets is ambiguous")
            << QStringList { "--listen", "::1:80" } << 2 << "brackets";
        QTest::newRow("host names are not resolved")
            << QStringList { "--listen", "example.org:80" } << 2 << "not an IP address";
        QTest::newRow("port beyond 16 bits") << QStringList { "--listen", "70000" } << 2 << "not a port";
        QTest::newRow("an address no interface has, shown in brackets")
            << QStringList { "--listen", "[2001:db8::1]:0" } << 6 << "Cannot listen on [2001:db8::1]:0";
        QTest::newRow("replay file missing")
            << QStringList { "--replay", "/nonexistent/recording.xml" } << 5 << "recording.xml";
    }

    void launcherRefuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run run = RunLauncher(arguments, Environment());
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }
};

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
