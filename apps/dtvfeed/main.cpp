// dtvfeed: sends a recorded result-data document to a launcher listening for decoders
// (dtvlauncher --listen), at the pace it was recorded, as a decoder program would.

#include "feedaddress.h"
#include "feedsender.h"
#include "recordingschedule.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cmath>
#include <cstdio>

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitSendFailed = 1,
    ExitUsage = 2,
    ExitRecording = 3,
};

int Fail(int code, const QString& text)
{
    std::fprintf(stderr, "dtvfeed: %s\n", qUtf8Printable(text));
    if (code == ExitUsage)
        std::fprintf(stderr, "Try 'dtvfeed --help'.\n");
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dtvfeed"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DTV_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sends the transmissions of a result-data document (as dtvlauncher --export writes "
        "it) to a launcher started with --listen, at their recorded pace."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("Where the launcher listens (address 127.0.0.1 "
                                               "unless given)."),
                                QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Pace relative to the recording (default 1)."),
                                   QStringLiteral("X"));
    parser.addOptions({ to, speed });
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The recording."));
    parser.process(app);

    FeedAddress address;
    QString error;
    if (!parser.isSet(to))
        return Fail(ExitUsage, QStringLiteral("--to is required"));
    if (!FeedAddress::Parse(parser.value(to), false, address, error))
        return Fail(ExitUsage, QStringLiteral("Invalid value for --to: %1").arg(error));
    double pace = 1.0;
    if (parser.isSet(speed)) {
        bool ok = false;
        pace = parser.value(speed).toDouble(&ok);
        if (!ok || !std::isfinite(pace) || pace <= 0.0)
            return Fail(ExitUsage,
                        QStringLiteral("Invalid value for --speed: '%1'").arg(parser.value(speed)));
    }
    if (parser.positionalArguments().size() != 1)
        return Fail(ExitUsage, QStringLiteral("one recording file, please"));

    const QString path = parser.positionalArguments().constFirst();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(ExitRecording,
                    QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    RecordingSchedule schedule;
    if (!schedule.Load(QString::fromUtf8(file.readAll()), error))
        return Fail(ExitRecording, QStringLiteral("%1: %2").arg(path, error));

    FeedSender sender(schedule, pace);
    int result = ExitOk;
    QObject::connect(&sender, &FeedSender::Finished, &app, [&](const QString& failure) {
        if (!failure.isEmpty())
            result = Fail(ExitSendFailed, failure);
        else
            std::printf("Sent %d frames (%d of text) to %s\n", sender.SentCount(),
                        schedule.TextFrameCount(), qUtf8Printable(address.ToString()));
        QCoreApplication::quit();
    });
    sender.Start(address);
    app.exec();
    return result;
}
