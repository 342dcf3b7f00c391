// Live feed: the launcher listening for decoders (dtvlauncher --listen, offscreen) while a bank
// of decoder connections each sends a piece of about 50 characters every second, spread over
// the second as independent decoders would. Reports the launcher process's CPU time over the
// wall-clock time of the run as its share of one core; the sending is this process's work
// and is not counted. At the end the launcher exports what it shows, which must hold every
// character sent.
//
//   QT_QPA_PLATFORM=offscreen livefeed_bench [--scale factor] [--connections n] [--seconds s]
//
// connections defaults to 100, seconds (of real time, after a warm-up of five) to 30.

#include "benchsupport.h"
#include "feedframe.h"
#include "piecegenerator.h"
#include "varnoresultdataxml.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <memory>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int WarmUpSeconds = 5;
constexpr int RoundsPerTransmission = 60;
constexpr int PieceLength = 48;

// User and system CPU seconds of another process.
double ProcessCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which may itself hold spaces and parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong())
        / double(sysconf(_SC_CLK_TCK));
}

int Fail(const QString& text)
{
    std::fprintf(stderr, "livefeed_bench: %s\n", qPrintable(text));
    return 1;
}

qint64 ExportedCharacters(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    VarnoResultDataXml::VarnoResultData document;
    if (!document.SetXmlString(QString::fromUtf8(file.readAll())))
        return -1;
    qint64 characters = 0;
    for (const VarnoResultDataXml::Transmission* transmission : document.GetTransmission())
        for (const VarnoResultDataXml::DataBlock* block : transmission->GetDataBlock())
            characters += block->GetContent().size();
    return characters;
}

} // namespace

int main(int argc, char** argv)
{
    PrepareEnvironment();
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const double scale = Scale(arguments);
    const int connections
        = qMax(1, Option(arguments, QStringLiteral("--connections"), QStringLiteral("100")).toInt());
    const double seconds = qMax(
        1.0, Option(arguments, QStringLiteral("--seconds"), QStringLiteral("30")).toDouble() * scale);

    QTemporaryDir dir;
    const QString exported = dir.filePath(QStringLiteral("live.xml"));
    QProcess launcher;
    launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    launcher.start(QStringLiteral(DTV_LAUNCHER_PATH),
                   { QStringLiteral("--listen"), QStringLiteral("0"), QStringLiteral("--export"),
                     exported });
    QString output;
    const QRegularExpression listening(QStringLiteral("Listening on (\\S+):(\\d+)"));
    QDeadlineTimer deadline(30000);
    while (!listening.match(output).hasMatch() && !deadline.hasExpired()
           && launcher.state() != QProcess::NotRunning) {
        launcher.waitForReadyRead(100);
        output += QString::fromUtf8(launcher.readAllStandardOutput());
    }
    const QRegularExpressionMatch match = listening.match(output);
    if (!match.hasMatch())
        return Fail(QStringLiteral("the launcher did not start listening: %1").arg(output));

    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < connections; ++i) {
        sockets.emplace_back(new QTcpSocket);
        sockets.back()->connectToHost(match.captured(1), match.captured(2).toUShort());
    }
    for (const std::unique_ptr<QTcpSocket>& socket : sockets) {
        if (!socket->waitForConnected(10000))
            return Fail(QStringLiteral("cannot connect: %1").arg(socket->errorString()));
    }

    PieceGenerator::Shape shape;
    shape.channels = connections;
    shape.minLength = PieceLength;
    shape.roundsPerTransmission = RoundsPerTransmission;
    PieceGenerator generator(shape, 4242u);

    // Connection i sends its piece of every second i / connections into that second.
    const int rounds = WarmUpSeconds + int(seconds + 0.5);
    qint64 sent = 0;
    double cpuStart = 0;
    QElapsedTimer wall;
    QElapsedTimer measured;
    wall.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, [&]() {
        const qint64 due = wall.elapsed() * connections / 1000;
        while (generator.Pieces() <= due && generator.Pieces() < qint64(rounds) * connections) {
            const int connection = int(generator.Pieces() % connections);
            const PieceGenerator::Piece piece = generator.Next();
            QTcpSocket* socket = sockets.at(size_t(connection)).get();
            socket->write(FeedFrame::Transmission(piece.xml));
            if (piece.endsTransmission)
                socket->write(FeedFrame::End());
            if (generator.Pieces() == qint64(WarmUpSeconds) * connections) {
                cpuStart = ProcessCpuSeconds(launcher.processId());
                measured.start();
            }
        }
        if (generator.Pieces() >= qint64(rounds) * connections) {
            sent = generator.Characters();
            QCoreApplication::quit();
        }
    });
    tick.start(5);
    app.exec();
    const double wallSeconds = measured.elapsed() / 1000.0;
    const double cpu = ProcessCpuSeconds(launcher.processId()) - cpuStart;

    for (const std::unique_ptr<QTcpSocket>& socket : sockets) {
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->waitForDisconnected(5000);
    }
    // The launcher has the last pieces once it has seen every connection end.
    deadline.setRemainingTime(30000);
    while (output.count(QStringLiteral("disconnected after")) < connections
           && !deadline.hasExpired()) {
        launcher.waitForReadyRead(100);
        output += QString::fromUtf8(launcher.readAllStandardOutput());
    }
    launcher.terminate();
    launcher.waitForFinished(30000);
    const qint64 arrived = ExportedCharacters(exported);

    const double share = cpu / wallSeconds;
    Row(QStringLiteral("5 live feed"),
        QStringLiteral("%1 connections x %2 chars/s over TCP into dtvlauncher --listen")
            .arg(connections)
            .arg(double(generator.Characters()) / rounds / connections, 0, 'f', 0),
        QStringLiteral("%1 CPU in %2 s").arg(Duration(cpu), QString::number(wallSeconds, 'f', 1)),
        QStringLiteral("one core"), share, QStringLiteral("< 0.10"), share < 0.10 && arrived == sent);
    Note(QStringLiteral("live feed: %1 of %2 characters sent arrived in the launcher's export%3")
             .arg(arrived)
             .arg(sent)
             .arg(arrived == sent ? QString() : QStringLiteral(" (MISSING TEXT)")));
    return 0;
}
