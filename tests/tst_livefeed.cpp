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

TimeStamp At(int position, int seconds)
{
    return WidgetFixtures::Stamp(position, Origin.addSecs(seconds), 80);
}

QByteArray Header(quint32 length, char type)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(length, bytes.data());
    return bytes + type;
}

// Every block of a document as its own XML, by transmission, channel and id: what a view fed
// with the document has to give back exactly.
QMap<QString, QString> Blocks(const QString& xml)
{
    VarnoResultData document;
    document.SetXmlString(xml);
    QMap<QString, QString> blocks;
    for (const Transmission* transmission : document.GetTransmission()) {
        for (const DataBlock* block : transmission->GetDataBlock())
            blocks.insert(QStringLiteral("%1 %2 %3")
                              .arg(transmission->GetStartTime().toString(Qt::ISODateWithMs))
                              .arg(block->GetChannel())
                              .arg(block->GetID()),
                          block->GetXmlString());
    }
    return blocks;
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

// A decoder's recording as the launcher's --export writes it: transmissions of several frames
// and lines, a call sign and a comment, times that interleave with the other decoders'.
QString Recording(int channel, const QString& name)
{
    DecodedTextData model;
    for (int t = 0; t < 3; ++t) {
        const QString text = QStringLiteral("CQ CQ DE %1\nQSL %2 K ").arg(name).arg(t);
        model.AddTransmission(
            BlockXml(channel, Origin.addSecs(10 * t), text,
                     { Mark(UserData::CallSignType, 9, 9 + name.size(), name),
                       Mark(UserData::CommentType, 0, 5, QStringLiteral("calling")) },
                     { At(0, 10 * t + channel), At(6, 10 * t + channel + 2),
                       At(text.size() - 6, 10 * t + 5) },
                     t + 1));
    }
    VarnoResultData document;
    model.GetData(channel, document, false);
    return ChannelNameNotes::Insert(document.GetXmlString(), { { channel, name } });
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

} // namespace

class TstLiveFeed : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readerCutsFramesAtAnySplit();
    void readerJudgesHeaders_data();
    void readerJudgesHeaders();
    void addressesParse_data();
    void addressesParse();
    void badClientIsCutOffAlone_data();
    void badClientIsCutOffAlone();
    void transcriptNotation_data();
    void transcriptNotation();
    void fileMenuSavesWhatTheViewShows();
    void decodersFeedTheLauncher();
    void programsRefuse_data();
    void programsRefuse();

private:
    QProcessEnvironment Environment() const;

    QTemporaryDir dir;
    QStringList traces;
    ErrorHandler::OutputSink previousSink;
};

void TstLiveFeed::init()
{
    QVERIFY(dir.isValid());
    qputenv("VX_APP_CONFIG", dir.filePath(QStringLiteral("test.ini")).toUtf8());
    traces.clear();
    previousSink = ErrorHandler::SetOutputSink([this](const QString& line) { traces << line; });
}

void TstLiveFeed::cleanup()
{
    ErrorHandler::SetOutputSink(previousSink);
    qunsetenv("VX_APP_CONFIG");
}

QProcessEnvironment TstLiveFeed::Environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VX_APP_CONFIG"), dir.filePath(QStringLiteral("run.ini")));
    return environment;
}

void TstLiveFeed::readerCutsFramesAtAnySplit()
{
    std::mt19937 random(4711);
    QVector<FeedFrame> sent;
    QByteArray stream;
    for (int i = 0; i < 60; ++i) {
        const int size = i % 20 == 7 ? 70000 : int(random() % 300);
        FeedFrame frame(quint8(1 + random() % 3), QByteArray(size, char('a' + i % 26)));
        sent << frame;
        stream += frame.Encode();
    }
    FeedFrameReader reader;
    QVector<FeedFrame> received;
    for (int at = 0; at < stream.size();) {
        const int chunk = 1 + int(random() % (random() % 2 ? 7 : 5000));
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
    for (int i = 0; i < sent.size(); ++i) {
        QCOMPARE(received[i].type, sent[i].type);
        QCOMPARE(received[i].payload, sent[i].payload);
    }
    QCOMPARE(reader.Buffered(), 0);
}

void TstLiveFeed::readerJudgesHeaders_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");

    const int waits = FeedFrameReader::Incomplete;
    const int refused = FeedFrameReader::Invalid;
    QTest::newRow("the largest frame allowed is waited for")
        << Header(FeedFrame::MaxLength, 1) << waits << "";
    QTest::newRow("one byte more is refused before its payload comes")
        << Header(FeedFrame::MaxLength + 1, 1) << refused << "exceeds the limit of 16777216";
    QTest::newRow("a length without room for the type") << Header(0, 1) << refused << "length 0";
    QTest::newRow("an unknown type is refused at once") << Header(9, 0x7f) << refused << "0x7f";
    QTest::newRow("half a header is no verdict yet") << QByteArray(3, '\0') << waits << "";
}

void TstLiveFeed::readerJudgesHeaders()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QString, reason);

    FeedFrameReader reader;
    reader.Append(bytes);
    FeedFrame frame;
    QString error;
    QCOMPARE(int(reader.Next(frame, error)), status);
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TstLiveFeed::addressesParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("anyPort");
    QTest::addColumn<QString>("expected"); // empty: refused

    QTest::newRow("a port alone stays on loopback") << "5555" << false << "127.0.0.1:5555";
    QTest::newRow("any address only when given") << "0.0.0.0:5555" << false << "0.0.0.0:5555";
    QTest::newRow("IPv6 in brackets") << "[::1]:80" << false << "[::1]:80";
    QTest::newRow("localhost") << "localhost:7" << false << "127.0.0.1:7";
    QTest::newRow("port 0 to listen anywhere free") << "0" << true << "127.0.0.1:0";
    QTest::newRow("port 0 cannot be connected to") << "0" << false << "";
    QTest::newRow("IPv6 without brackets is ambiguous") << "::1:80" << false << "";
    QTest::newRow("host names are not resolved") << "example.org:80" << false << "";
    QTest::newRow("port beyond 16 bits") << "70000" << true << "";
    QTest::newRow("nothing") << "" << true << "";
}

void TstLiveFeed::addressesParse()
{
    QFETCH(QString, text);
    QFETCH(bool, anyPort);
    QFETCH(QString, expected);

    FeedAddress address;
    QString error;
    const bool parsed = FeedAddress::Parse(text, anyPort, address, error);
    QCOMPARE(parsed, !expected.isEmpty());
    QCOMPARE(parsed ? address.ToString() : QString(), expected);
    QCOMPARE(error.isEmpty(), parsed);
}

void TstLiveFeed::badClientIsCutOffAlone_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("hangUp"); // the client closes its end after the bytes
    QTest::addColumn<QString>("reason");

    const auto transmission = [](const QByteArray& document) {
        return FeedFrame(FeedFrame::AddTransmission, document).Encode();
    };
    QTest::newRow("announces more than 16 MiB")
        << Header(FeedFrame::MaxLength + 1, 1) + "abc" << false << "exceeds the limit";
    QTest::newRow("garbage: an HTTP request")
        << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << false << "exceeds the limit";
    QTest::newRow("unknown type") << FeedFrame(0x42, "x").Encode() << false << "type 0x42";
    QTest::newRow("the reader refuses the document")
        << transmission("<Transmission><Bogus/></Transmission>") << false << "refused";
    QTest::newRow("a whole recording where a transmission belongs")
        << transmission("<ResultData version=\"1\"/>") << false << "refused";
    QTest::newRow("not UTF-8") << transmission("<Transmission>\xff</Transmission>") << false
                               << "not UTF-8";
    QTest::newRow("end of transmission with a payload")
        << FeedFrame(FeedFrame::EndTransmission, "x").Encode() << false << "carries 1 bytes";
    QTest::newRow("negative channel")
        << FeedFrame::ChannelName(-3, "x") << false << "-3 out of range";
    QTest::newRow("channel name frame too short")
        << FeedFrame(FeedFrame::DefineChannelName, "ab").Encode() << false << "lacks the channel";
    QTest::newRow("half a frame, then silence")
        << FeedFrame::Transmission(BlockXml(2, Origin, "lost")).left(40) << false << "stalled";
    QTest::newRow("half a frame, then gone")
        << FeedFrame::Transmission(BlockXml(2, Origin, "lost")).left(40) << true
        << "ended in the middle of a frame, 40 bytes dropped";
}

void TstLiveFeed::badClientIsCutOffAlone()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, hangUp);
    QFETCH(QString, reason);

    MonitorWindow window;
    DecodedTextView& view = *window.View();
    LiveFeedServer server(&view);
    window.Watch(&server);
    server.SetStallTimeout(500);
    FeedAddress anyPort;
    QString error;
    QVERIFY2(server.Listen(anyPort, error), qPrintable(error));
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

void TstLiveFeed::transcriptNotation_data()
{
    QTest::addColumn<QStringList>("transmissions");
    QTest::addColumn<QStringList>("expected");

    const QString t0 = QStringLiteral("2024-03-01T10:00:00.000Z\t");
    const QString t1 = QStringLiteral("2024-03-01T10:00:01.000Z\t");
    const QString t2 = QStringLiteral("2024-03-01T10:00:02.000Z\t");
    QTest::newRow("every kind of line break; a line has its first character's time")
        << QStringList { BlockXml(1, Origin, "CQ CQ\r\nDE X\nK\rAR", {},
                                  { At(0, 0), At(7, 1), At(12, 2) }) }
        << QStringList { t0 + "Channel 1\tCQ CQ", t1 + "Channel 1\tDE X", t2 + "Channel 1\tK",
                         t2 + "Channel 1\tAR" };
    QTest::newRow("call sign, comment, correction and insertion inline")
        << QStringList { BlockXml(1, Origin, "CQ DE DL1ABC QTH BERLN K",
                                  { Mark(UserData::CallSignType, 6, 12, "DL1ABC"),
                                    Mark(UserData::CommentType, 0, 2, "general call"),
                                    Mark(UserData::ChangeType, 17, 22, "BERLN", "BERLIN"),
                                    Mark(UserData::ChangeType, 23, 24, "K") }) }
        << QStringList { t0
                         + "Channel 1\t[CQ](note general call) DE [DL1ABC](call DL1ABC) QTH "
                           "[BERLN](was BERLIN) [K](inserted)" };
    QTest::newRow("nested and crossing annotations keep their labels")
        << QStringList { BlockXml(1, Origin, "ABCDEFGH",
                                  { Mark(UserData::CommentType, 0, 8, "all"),
                                    Mark(UserData::CallSignType, 2, 4, "CD"),
                                    Mark(UserData::ChangeType, 3, 6, "DEF", "XYZ") }) }
        << QStringList { t0 + "Channel 1\t[AB[C[D](was XYZ)](call CD)[EF](was XYZ)GH](note all)" };
    QTest::newRow("the notation's characters and controls are escaped") << QStringList {
        BlockXml(1, Origin, "a[b]c\\d\ae\tf", { Mark(UserData::CommentType, 1, 3, "x)y\nz") })
    } << QStringList { t0 + "Channel 1\ta[\\[b](note x\\)y\\nz)\\]c\\\\d\\x07e\tf" };
    QTest::newRow("channels merge in time order under their names")
        << QStringList { BlockXml(1, Origin, "one\ntwo", {}, { At(0, 0), At(4, 2) }),
                         BlockXml(2, Origin, "mid", {}, { At(0, 1) }) }
        << QStringList { t0 + "Channel 1\tone", t1 + "Hu go\tmid", t2 + "Channel 1\ttwo" };
}

void TstLiveFeed::transcriptNotation()
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

void TstLiveFeed::fileMenuSavesWhatTheViewShows()
{
    MonitorWindow window;
    window.View()->AddTransmission(BlockXml(3, Origin, "CQ DE DL1ABC\nK "));
    window.View()->DefineChannelName(3, QStringLiteral("Emil"));
    window.show();
    QMenu* file = window.menuBar()->actions().first()->menu();
    QCOMPARE(WidgetFixtures::MenuTexts(*file),
             QStringList({ "Save &Transcript…", "&Export…", "-", "&Quit" }));

    const QString transcript = dir.filePath(QStringLiteral("menu.txt"));
    const QString exported = dir.filePath(QStringLiteral("menu.xml"));
    for (const QString& path : { transcript, exported }) {
        file->actions().at(path == transcript ? 0 : 1)->trigger();
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = window.findChild<QFileDialog*>()) && dialog->isVisible());
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
        QTRY_VERIFY(QFileInfo::exists(path) && !window.findChild<QFileDialog*>());
    }
    QCOMPARE(QString::fromUtf8(ReadAll(transcript)), TranscriptWriter::Render({ window.View() }));
    QCOMPARE(Blocks(QString::fromUtf8(ReadAll(exported))).size(), 1);
    QCOMPARE(ChannelNameNotes::Read(QString::fromUtf8(ReadAll(exported))).value(3),
             QStringLiteral("Emil"));

    file->actions().last()->trigger();
    QVERIFY(!window.isVisible());
}

void TstLiveFeed::decodersFeedTheLauncher()
{
    const QString exported = dir.filePath(QStringLiteral("live.xml"));
    const QString transcript = dir.filePath(QStringLiteral("live.txt"));
    QProcess launcher;
    launcher.setProcessEnvironment(Environment());
    launcher.start(QStringLiteral(DTV_LAUNCHER_PATH),
                   { "--listen", "0", "--export", exported, "--transcript", transcript });
    QString output;
    const QString port
        = AwaitOutput(launcher, output, QStringLiteral("Listening on 127.0.0.1:(\\d+)"));
    QVERIFY2(!port.isEmpty(), qPrintable(output + launcher.readAllStandardError()));

    // Three decoders at once, each on its own channel, their recordings interleaved in time.
    const QMap<int, QString> names { { 1, "DL1ABC" }, { 2, "OE3XYZ" }, { 4, "OK1DX" } };
    QMap<QString, QString> expected;
    DecodedTextView reference(nullptr);
    std::vector<std::unique_ptr<QProcess>> feeds;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        const QString recording = Recording(it.key(), it.value());
        const QString path = dir.filePath(QStringLiteral("decoder%1.xml").arg(it.key()));
        QVERIFY(WriteAll(path, recording.toUtf8()));
        expected.insert(Blocks(recording));
        VarnoResultData document;
        document.SetXmlString(recording);
        for (const Transmission* transmission : document.GetTransmission())
            reference.AddTransmission(transmission->GetXmlString());
        reference.DefineChannelName(it.key(), it.value());
        feeds.emplace_back(new QProcess);
        feeds.back()->start(QStringLiteral(DTV_FEED_PATH), { "--to", port, path, "--speed", "40" });
    }
    for (const std::unique_ptr<QProcess>& feed : feeds) {
        QVERIFY(feed->waitForFinished(15000));
        QVERIFY2(feed->exitCode() == 0, feed->readAllStandardError().constData());
    }
    AwaitOutput(launcher, output, QStringLiteral("(disconnected after)"), 3);
    launcher.terminate(); // a stop from outside still writes the export and the transcript
    QVERIFY(launcher.waitForFinished(15000));
    QVERIFY2(launcher.exitCode() == 0, launcher.readAllStandardError().constData());

    const QString live = QString::fromUtf8(ReadAll(exported));
    QCOMPARE(Blocks(live), expected);
    QCOMPARE(ChannelNameNotes::Read(live), names);
    QCOMPARE(QString::fromUtf8(ReadAll(transcript)), TranscriptWriter::Render({ &reference }));
}

void TstLiveFeed::programsRefuse_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QString launcher = QStringLiteral(DTV_LAUNCHER_PATH);
    const QString feed = QStringLiteral(DTV_FEED_PATH);
    QTest::newRow("listen without a port")
        << launcher << QStringList { "--listen", "here" } << 2 << "--listen";
    QTest::newRow("listen and replay at once")
        << launcher << QStringList { "--listen", "0", "--replay", "r.xml" } << 2 << "exclude";
    QTest::newRow("port taken") << launcher << QStringList { "--listen", "BUSY" } << 6
                                << "Cannot listen";
    QTest::newRow("sender without --to") << feed << QStringList { "r.xml" } << 2 << "--to";
    QTest::newRow("sender speed zero")
        << feed << QStringList { "--to", "1", "--speed", "0", "r.xml" } << 2 << "--speed";
    QTest::newRow("recording missing")
        << feed << QStringList { "--to", "1", "/nonexistent/r.xml" } << 3 << "/nonexistent/r.xml";
    QTest::newRow("not a recording")
        << feed << QStringList { "--to", "1", "GARBAGE" } << 3 << "not a result-data document";
    QTest::newRow("nobody listening")
        << feed << QStringList { "--to", "FREE", "RECORDING" } << 1 << "refused";
}

void TstLiveFeed::programsRefuse()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    QTcpServer busy;
    QVERIFY(busy.listen(QHostAddress::LocalHost));
    quint16 freePort = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        freePort = closed.serverPort();
    }
    const QString garbage = dir.filePath(QStringLiteral("garbage.xml"));
    const QString recording = dir.filePath(QStringLiteral("recording.xml"));
    QVERIFY(WriteAll(garbage, "no xml") && WriteAll(recording, Recording(1, "X").toUtf8()));
    for (QString& argument : arguments) {
        argument.replace(QLatin1String("BUSY"), QString::number(busy.serverPort()))
            .replace(QLatin1String("FREE"), QString::number(freePort))
            .replace(QLatin1String("GARBAGE"), garbage)
            .replace(QLatin1String("RECORDING"), recording);
    }
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(15000));
    QCOMPARE(process.exitCode(), exitCode);
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(error.contains(message, Qt::CaseInsensitive), qPrintable(error));
}

QTEST_MAIN(TstLiveFeed)

#else

class TstLiveFeed : public QObject {
    Q_OBJECT

private slots:
    void launcherNotBuilt() { QSKIP("The launcher is not part of this build"); }
};

QTEST_MAIN(TstLiveFeed)

#endif

#include "tst_livefeed.moc"
