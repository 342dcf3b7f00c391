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

    QTemporaryDir dir;
    QStringList traces;
    ErrorHandler::OutputSink previousSink;

    void Start(QProcess& process, const QString& program, const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VX_APP_CONFIG"), dir.filePath(QStringLiteral("run.ini")));
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
    }

    // The exit code and what a program wrote to its error output.
    QPair<int, QString> Run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        Start(process, program, arguments);
        if (!process.waitForFinished(15000))
            process.kill();
        return { process.exitCode(), QString::fromUtf8(process.readAllStandardError()) };
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

        const QString t0 = QStringLiteral("2024-03-01T10:00:00.000Z\t");
        const QString t1 = QStringLiteral("2024-03-01T10:00:01.000Z\t");
        const QString t2 = QStringLiteral("2024-03-01T10:00:02.000Z\t");
        const QString t3 = QStringLiteral("2024-03-01T10:00:03.000Z\t");
        QTest::newRow("every kind of line break; a line has its first character's time; "
                      "channels merge in time order under their names")
            << QStringList { BlockXml(1, Origin, "CQ CQ\r\nDE X\nK\rAR", {},
                                      { At(0, 0), At(7, 2), At(12, 3) }),
                             BlockXml(2, Origin, "mid", {}, { At(0, 1) }) }
            << QStringList { t0 + "Channel 1\tCQ CQ", t1 + "Hu go\tmid", t2 + "Channel 1\tDE X",
                             t3 + "Channel 1\tK", t3 + "Channel 1\tAR" };
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
        Start(launcher, QStringLiteral(DTV_LAUNCHER_PATH),
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
        QElapsedTimer sending;
        sending.start();
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
        // Each recording spans more than 21 s; at 40 times the pace that is still over half a second.
        QVERIFY2(sending.elapsed() >= 520, qPrintable(QString::number(sending.elapsed())));
        AwaitOutput(launcher, output, QStringLiteral("(disconnected after)"), 3);
        const auto taken = Run(QStringLiteral(DTV_LAUNCHER_PATH), { "--listen", port });
        QVERIFY2(taken.first == 6 && taken.second.contains("Cannot listen"), qPrintable(taken.second));
        launcher.terminate(); // a stop from outside still writes the export and the transcript
        QVERIFY(launcher.waitForFinished(15000));
        QVERIFY2(launcher.exitCode() == 0, launcher.readAllStandardError().constData());

        const QString live = QString::fromUtf8(ReadAll(exported));
        QCOMPARE(Blocks(live), expected);
        QCOMPARE(ChannelNameNotes::Read(live), names);
        QCOMPARE(QString::fromUtf8(ReadAll(transcript)), TranscriptWriter::Render({ &reference }));

        // Once the launcher is gone, a decoder finds nobody to send to.
        const auto alone = Run(QStringLiteral(DTV_FEED_PATH),
                               { "--to", port, dir.filePath(QStringLiteral("decoder1.xml")) });
        QVERIFY2(alone.first == 1 && alone.second.contains("refused"), qPrintable(alone.second));
        // Port 0 is only for listening anywhere free.
        const auto nowhere = Run(QStringLiteral(DTV_FEED_PATH),
                                 { "--to", "0", dir.filePath(QStringLiteral("decoder1.xml")) });
        QVERIFY2(nowhere.first == 2 && nowhere.second.contains("not a port"), qPrintable(nowhere.second));
    }
};

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
