#include "decodedtextdata.h"
#include "decodedtextview.h"
#include "errorhandler.h"
#include "varnoresultdataxml.h"
#include "widgetfixtures.h"

#ifndef DTV_NO_LAUNCHER
#include "channelnamenotes.h"
#include "feedaddress.h"
#include "feedframe.h"
#include "feedframereader.h"
#include "livefeedserver.h"
#include "monitorwindow.h"
#include "platformchoice.h"
#include "replayclock.h"
#include "replayer.h"
#include "sessionrecorder.h"
#include "sessionscreenshot.h"
#include "transcriptwriter.h"
#endif

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <random>

using namespace VarnoResultDataXml;
using WidgetFixtures::BlockXml;
using WidgetFixtures::Mark;
using WidgetFixtures::ReadAll;
using WidgetFixtures::WriteAll;

#ifndef DTV_NO_LAUNCHER

namespace {

const QDateTime Origin = QDateTime(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC);
const QString Launcher = QStringLiteral(DTV_LAUNCHER_PATH);
const QString Feed = QStringLiteral(DTV_FEED_PATH);

// A run at a time after the origin.
TimeStamp At(int position, double seconds, int quality = 80)
{
    return WidgetFixtures::Stamp(position, Origin.addMSecs(qRound64(seconds * 1000)), quality);
}

QByteArray Header(quint32 length, char type)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(length, bytes.data());
    return bytes + type;
}

QString TextOf(DecodedTextView& view, int channel)
{
    VarnoResultData document;
    view.GetData(channel, document, false);
    QString text;
    for (const Transmission* transmission : document.GetTransmission())
        for (const DataBlock* block : transmission->GetDataBlock())
            text += block->GetContent();
    return text;
}

// Decoders' recordings as the launcher's --export writes them: transmissions of several frames and
// lines, letters beyond ASCII for the encodings, a call sign, a comment and a correction, times that
// interleave between the channels, a frame stamped before the one it follows. The reference view
// is shown the same.
QString Recording(const QMap<int, QString>& names, DecodedTextView& reference)
{
    DecodedTextData model;
    VarnoResultData document;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        const int channel = it.key();
        reference.DefineChannelName(channel, it.value());
        for (int t = 0; t < 3; ++t) {
            const QString text = QStringLiteral("CQ CQ DE %1\nQSL %2 Grüße K ").arg(it.value()).arg(t);
            const QString xml = BlockXml(
                channel, Origin.addSecs(10 * t), text,
                { Mark(UserData::CallSignType, 9, 9 + it.value().size(), it.value()),
                  Mark(UserData::CommentType, 0, 5, QStringLiteral("calling")),
                  Mark(UserData::ChangeType, text.size() - 8, text.size() - 3, "Grüße", "Gruesse") },
                { At(0, 10 * t + channel, 90), At(6, 10 * t + channel + 2, 40 + t),
                  At(text.size() - 6, 10 * t + 5, 70) },
                t + 1);
            model.AddTransmission(xml);
            reference.AddTransmission(xml);
        }
        model.GetData(channel, document, false);
    }
    return ChannelNameNotes::Insert(document.GetXmlString(), names);
}

// Reads a process's output until it holds a pattern; the captured text, or empty.
QString AwaitOutput(QProcess& process, QString& output, const QString& pattern, int count = 1)
{
    const QRegularExpression expression(pattern);
    QDeadlineTimer deadline(15000);
    while (output.count(expression) < count && !deadline.hasExpired()
           && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(100);
        output += QString::fromUtf8(process.readAllStandardOutput());
    }
    return expression.match(output).captured(1);
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

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TstLauncher : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QStringList traces;
    ErrorHandler::OutputSink previousSink;

    // The programs inherit the test's settings file from init().
    Outcome Run(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        // A process still running is killed as the QProcess goes.
        if (!process.waitForFinished(90000))
            return { -1, QString(), QStringLiteral("did not finish") };
        return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                 QString::fromUtf8(process.readAllStandardOutput()),
                 QString::fromUtf8(process.readAllStandardError()) };
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        qputenv("VX_APP_CONFIG", dir.filePath(QStringLiteral("test.ini")).toUtf8());
        traces.clear();
        previousSink = ErrorHandler::SetOutputSink([this](const QString& line) { traces << line; });
    }

    void cleanup()
    {
        ErrorHandler::SetOutputSink(previousSink);
        qunsetenv("VX_APP_CONFIG");
    }

    void replayFollowsTheRecordedPace()
    {
        // The second frame of channel 1 is stamped before its first; channel 2 runs in between.
        VarnoResultData document;
        for (const QString& xml :
             { BlockXml(1, Origin, "aaaa bbbb cccc ", {},
                        { At(0, 0, 50), At(5, 6, 50), At(10, 2, 50) }),
               BlockXml(2, Origin, "between ", {}, { At(0, 4, 50) }) }) {
            auto* transmission = new Transmission;
            transmission->SetXmlString(xml);
            document.AddTransmission(transmission);
        }
        DecodedTextView view(nullptr);
        ReplayClock clock;
        Replayer replayer(&view, &clock);
        QString error;
        QVERIFY(replayer.Load(document.GetXmlString(), error));
        // Twice the pace halves the waits; "cccc" may not overtake "bbbb".
        QVector<qint64> due;
        for (int piece = 0; piece < replayer.PieceCount(); ++piece)
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
        QCOMPARE(TextOf(view, 1), QStringLiteral("aaaa bbbb cccc "));
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
        DecodedTextView unused(nullptr);
        QString recording = Recording({ { 3, "DL1ABC" }, { 5, "OE3XYZ" } }, unused);
        if (!declaration.isEmpty())
            recording.replace(QStringLiteral("<?xml version=\"1.0\"?>"),
                              QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>").arg(declaration));
        const QString input = dir.filePath(QStringLiteral("recording.xml"));
        QVERIFY(WriteAll(input, QTextCodec::codecForName(codec)->fromUnicode(recording)));
        // The recording spans 27 s; at 200 times the pace it is through in 135 ms.
        const QString output = dir.filePath(QStringLiteral("replayed.xml"));
        const Outcome run
            = Run(Launcher, { "--replay", input, "--speed", "200", "--seconds", "0.8", "--export", output });
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
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* variable : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
            environment.remove(QLatin1String(variable));
        const QString screenshot = dir.filePath(QStringLiteral("shot.png"));
        const QString exported = dir.filePath(QStringLiteral("harness.xml"));
        const Outcome run = Run(Launcher,
                                { "--name", "Probe", "--seconds", "2.5", "--screenshot", screenshot,
                                  "--export", exported },
                                environment);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("Instance 'Probe'")), qPrintable(run.out));
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
        const Outcome run = Run(Launcher, arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    }

    void readerCutsFramesAtAnySplit()
    {
        std::mt19937 random(4711);
        QVector<FeedFrame> sent;
        QByteArray stream;
        for (int i = 0; i < 60; ++i) {
            const int size = i % 20 == 7 ? 70000 : int(random() % 300);
            sent << FeedFrame(quint8(1 + random() % 3), QByteArray(size, char('a' + i % 26)));
            stream += sent.last().Encode();
        }
        // Chunks of a few bytes split headers too; a split header is no verdict yet.
        FeedFrameReader reader;
        QVector<FeedFrame> received;
        for (int at = 0; at < stream.size();) {
            const int chunk = 1 + int(random() % (random() % 2 ? 5 : 5000));
            reader.Append(stream.mid(at, chunk));
            at += chunk;
            for (;;) {
                const bool whole = reader.HasFrame();
                FeedFrame frame;
                QString error;
                const FeedFrameReader::Status status = reader.Next(frame, error);
                QCOMPARE(status == FeedFrameReader::Complete, whole);
                QVERIFY2(status != FeedFrameReader::Invalid, qPrintable(error));
                if (!whole)
                    break;
                received << frame;
            }
        }
        QCOMPARE(received.size(), sent.size());
        for (int i = 0; i < sent.size(); ++i)
            QVERIFY(received[i].type == sent[i].type && received[i].payload == sent[i].payload);
        QCOMPARE(reader.Buffered(), 0);
    }

    void badClientIsCutOffAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("hangUp"); // the client closes its end after the bytes
        QTest::addColumn<QString>("reason");

        const QByteArray half = FeedFrame::Transmission(BlockXml(2, Origin, "lost")).left(40);
        QTest::newRow("announces more than 16 MiB: refused before its payload comes")
            << Header(FeedFrame::MaxLength + 1, 1) + "abc" << false << "exceeds the limit of 16777216";
        QTest::newRow("the largest frame allowed is waited for, until the client goes")
            << Header(FeedFrame::MaxLength, 1) + "abc" << true
            << "ended in the middle of a frame, 8 bytes dropped";
        QTest::newRow("a length without room for the type") << Header(0, 1) << false << "length 0";
        QTest::newRow("an unknown type is refused before its payload comes")
            << Header(9, 0x42) + "x" << false << "type 0x42";
        QTest::newRow("the reader refuses the document")
            << FeedFrame::Transmission("<Transmission><Bogus/></Transmission>") << false << "refused";
        QTest::newRow("not UTF-8")
            << FeedFrame(FeedFrame::AddTransmission, "<Transmission>\xff</Transmission>").Encode()
            << false << "not UTF-8";
        QTest::newRow("end of transmission with a payload")
            << FeedFrame(FeedFrame::EndTransmission, "x").Encode() << false << "carries 1 bytes";
        QTest::newRow("negative channel")
            << FeedFrame::ChannelName(-3, "x") << false << "-3 out of range";
        QTest::newRow("half a frame, then silence") << half << false << "stalled";
        QTest::newRow("half a header, then gone")
            << QByteArray(3, '\0') << true << "ended in the middle of a frame, 3 bytes dropped";
    }

    void badClientIsCutOffAlone()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, hangUp);
        QFETCH(QString, reason);

        MonitorWindow window;
        DecodedTextView& view = *window.View();
        LiveFeedServer server(&view);
        window.Watch(&server);
        server.SetStallTimeout(500);
        QString error;
        QVERIFY2(server.Listen(FeedAddress(), error), qPrintable(error));
        QSignalSpy closed(&server, &LiveFeedServer::ConnectionClosed);
        QTcpSocket good;
        QTcpSocket bad;
        good.connectToHost(QHostAddress::LocalHost, server.Port());
        bad.connectToHost(QHostAddress::LocalHost, server.Port());
        QTRY_COMPARE(server.ConnectionCount(), 2);
        const auto status = [&window, &server](const char* connected) {
            return window.statusBar()->findChild<QLabel*>()->text()
                == QStringLiteral("Listening on %1 · %2 connected").arg(server.Address(), connected);
        };
        QVERIFY(status("2 decoders"));

        QTRY_VERIFY(bad.localPort() != 0);
        const QString peer = QStringLiteral("127.0.0.1:%1").arg(bad.localPort());
        good.write(FeedFrame::Transmission(BlockXml(1, Origin, "before ", {}, { At(0, 0) })));
        // What the bad client sent before its bad frame stays shown.
        bad.write(FeedFrame::Transmission(BlockXml(2, Origin, "kept ")));
        bad.write(bytes);
        if (hangUp)
            bad.disconnectFromHost();
        QTRY_COMPARE(TextOf(view, 2), QStringLiteral("kept "));
        // The good client goes on while the bad one is still being judged.
        good.write(FeedFrame::Transmission(BlockXml(1, Origin, "after ", {}, { At(7, 1) })));
        QTRY_COMPARE(TextOf(view, 1), QStringLiteral("before after "));

        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(closed.at(0).at(0).toString(), peer);
        QVERIFY2(closed.at(0).at(2).toString().contains(reason),
                 qPrintable(closed.at(0).at(2).toString()));
        QCOMPARE(traces.size(), 1);
        QVERIFY2(traces.first().contains(peer) && traces.first().contains(reason),
                 qPrintable(traces.first()));
        QTRY_COMPARE(bad.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(server.ConnectionCount(), 1);
        QCOMPARE(good.state(), QAbstractSocket::ConnectedState);
        QCOMPARE(TextOf(view, 2), QStringLiteral("kept "));
        QVERIFY(status("1 decoder"));
    }

    void transcriptNotation_data()
    {
        QTest::addColumn<QStringList>("transmissions");
        QTest::addColumn<QStringList>("expected");

        const auto at = [](int second) { return QStringLiteral("2024-03-01T10:00:0%1.000Z\t").arg(second); };
        QTest::newRow("every kind of line break; a line has its first character's time; "
                      "channels merge in time order under their names")
            << QStringList { BlockXml(1, Origin, "CQ CQ\r\nDE X\nK\rAR", {},
                                      { At(0, 0), At(7, 2), At(12, 3) }),
                             BlockXml(2, Origin, "mid", {}, { At(0, 1) }) }
            << QStringList { at(0) + "Channel 1\tCQ CQ", at(1) + "Hu go\tmid", at(2) + "Channel 1\tDE X",
                             at(3) + "Channel 1\tK", at(3) + "Channel 1\tAR" };
        QTest::newRow("call sign, comment, correction and insertion inline")
            << QStringList { BlockXml(1, Origin, "CQ DE DL1ABC QTH BERLN K",
                                      { Mark(UserData::CallSignType, 6, 12, "DL1ABC"),
                                        Mark(UserData::CommentType, 0, 2, "general call"),
                                        Mark(UserData::ChangeType, 17, 22, "BERLN", "BERLIN"),
                                        Mark(UserData::ChangeType, 23, 24, "K") }) }
            << QStringList { at(0)
                             + "Channel 1\t[CQ](note general call) DE [DL1ABC](call DL1ABC) QTH "
                               "[BERLN](was BERLIN) [K](inserted)" };
        QTest::newRow("nested and crossing annotations keep their labels")
            << QStringList { BlockXml(1, Origin, "ABCDEFGH",
                                      { Mark(UserData::CommentType, 0, 8, "all"),
                                        Mark(UserData::CallSignType, 2, 4, "CD"),
                                        Mark(UserData::ChangeType, 3, 6, "DEF", "XYZ") }) }
            << QStringList { at(0) + "Channel 1\t[AB[C[D](was XYZ)](call CD)[EF](was XYZ)GH](note all)" };
        QTest::newRow("the notation's characters and controls are escaped") << QStringList {
            BlockXml(1, Origin, "a[b]c\\d\ae\tf", { Mark(UserData::CommentType, 1, 3, "x)y\nz") })
        } << QStringList { at(0) + "Channel 1\ta[\\[b](note x\\)y\\nz)\\]c\\\\d\\x07e\tf" };
    }

    void transcriptNotation()
    {
        QFETCH(QStringList, transmissions);
        QFETCH(QStringList, expected);

        DecodedTextView view(nullptr);
        view.DefineChannelName(2, QStringLiteral("Hu\tgo"));
        for (const QString& xml : transmissions)
            view.AddTransmission(xml);
        QCOMPARE(TranscriptWriter::Render({ &view }),
                 expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }

    void decodersFeedTheLauncher()
    {
        const QString exported = dir.filePath(QStringLiteral("live.xml"));
        const QString transcript = dir.filePath(QStringLiteral("live.txt"));
        QProcess launcher;
        launcher.start(Launcher, { "--listen", "0", "--export", exported, "--transcript", transcript });
        QString output;
        const QString port
            = AwaitOutput(launcher, output, QStringLiteral("Listening on 127.0.0.1:(\\d+)"));
        QVERIFY2(!port.isEmpty(), qPrintable(output + launcher.readAllStandardError()));

        // Three decoders at once, each on its own channel, their recordings interleaved in time.
        const QMap<int, QString> names { { 1, "DL1ABC" }, { 2, "OE3XYZ" }, { 4, "OK1DX" } };
        QMap<QString, QString> expected;
        DecodedTextView reference(nullptr);
        std::vector<std::unique_ptr<QProcess>> feeds;
        QElapsedTimer sending;
        sending.start();
        for (auto it = names.cbegin(); it != names.cend(); ++it) {
            const QString recording = Recording({ { it.key(), it.value() } }, reference);
            const QString path = dir.filePath(QStringLiteral("decoder%1.xml").arg(it.key()));
            QVERIFY(WriteAll(path, recording.toUtf8()));
            expected.insert(Blocks(recording));
            feeds.emplace_back(new QProcess);
            feeds.back()->start(Feed, { "--to", port, path, "--speed", "40" });
        }
        for (const std::unique_ptr<QProcess>& feed : feeds) {
            QVERIFY(feed->waitForFinished(15000));
            QVERIFY2(feed->exitCode() == 0, feed->readAllStandardError().constData());
        }
        // Each recording spans more than 21 s; at 40 times the pace that is still over half a second.
        QVERIFY2(sending.elapsed() >= 520, qPrintable(QString::number(sending.elapsed())));
        AwaitOutput(launcher, output, QStringLiteral("(disconnected after)"), 3);
        launcher.terminate(); // a stop from outside still writes the export and the transcript
        QVERIFY(launcher.waitForFinished(15000));
        QVERIFY2(launcher.exitCode() == 0, launcher.readAllStandardError().constData());

        const QString live = QString::fromUtf8(ReadAll(exported));
        QCOMPARE(Blocks(live), expected);
        QCOMPARE(ChannelNameNotes::Read(live), names);
        QCOMPARE(QString::fromUtf8(ReadAll(transcript)), TranscriptWriter::Render({ &reference }));

        // Once the launcher is gone, a decoder finds nobody to send to.
        const QString first = dir.filePath(QStringLiteral("decoder1.xml"));
        const auto alone = Run(Feed, { "--to", port, first });
        QVERIFY2(alone.exitCode == 1 && alone.err.contains("refused"), qPrintable(alone.err));
        // Port 0 is only for listening anywhere free.
        const auto nowhere = Run(Feed, { "--to", "0", first });
        QVERIFY2(nowhere.exitCode == 2 && nowhere.err.contains("not a port"), qPrintable(nowhere.err));
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
