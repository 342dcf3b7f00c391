// dtvlauncher: runs a module of the suite as the host's module loader would, replays a
// recorded result-data document into a DecodedTextView, or shows what decoders send live.

#include "cfgcenter.h"
#include "decodedtextview.h"
#include "feedaddress.h"
#include "idllinstance.h"
#include "launcheroptions.h"
#include "livefeedserver.h"
#include "modulehost.h"
#include "monitorwindow.h"
#include "platformchoice.h"
#include "quitonsignal.h"
#include "replayclock.h"
#include "replayer.h"
#include "sessionrecorder.h"
#include "sessionscreenshot.h"
#include "transcriptwriter.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitOutputFailed = 1,
    ExitUsage = 2,
    ExitModule = 3,
    ExitInstance = 4,
    ExitReplay = 5,
    ExitListen = 6,
};

void PrintError(const QString& text)
{
    std::fprintf(stderr, "dtvlauncher: %s\n", qUtf8Printable(text));
}

void PrintInfo(const QString& text)
{
    std::fprintf(stdout, "%s\n", qUtf8Printable(text));
    std::fflush(stdout);
}

// Runs the event loop, then does what is due before the session's objects go: the screenshot,
// the export and the saving of registered settings.
int RunSession(QApplication& app, const LauncherOptions& options, SessionRecorder& recorder)
{
    const QList<DecodedTextView*> views = SessionRecorder::FindViews();
    for (DecodedTextView* view : views)
        recorder.Watch(view);

    std::unique_ptr<SessionScreenshot> screenshot;
    if (!options.screenshot.isEmpty())
        screenshot = std::make_unique<SessionScreenshot>(options.screenshot);
    if (options.seconds > 0.0) {
        const int ms = static_cast<int>(qMin(options.seconds * 1000.0, 2.0e9));
        QTimer::singleShot(ms, &app, [&]() {
            if (screenshot)
                screenshot->Take();
            QCoreApplication::quit();
        });
    }
    const int loopResult = app.exec();

    // A session that ended without its window closing (the loop quit otherwise) is still shown.
    if (screenshot && !screenshot->Taken())
        screenshot->Take();
    bool ok = loopResult == 0 && (!screenshot || screenshot->Ok());
    if (!options.exportFile.isEmpty()) {
        QString error;
        if (SessionRecorder::Export(SessionRecorder::FindViews(), options.exportFile, error)) {
            PrintInfo(QStringLiteral("Channels exported to %1")
                          .arg(QFileInfo(options.exportFile).absoluteFilePath()));
        } else {
            PrintError(error);
            ok = false;
        }
    }
    if (!options.transcript.isEmpty()) {
        QString error;
        if (TranscriptWriter::Write(SessionRecorder::FindViews(), options.transcript, error)) {
            PrintInfo(QStringLiteral("Transcript written to %1")
                          .arg(QFileInfo(options.transcript).absoluteFilePath()));
        } else {
            PrintError(error);
            ok = false;
        }
    }
    CfgCenter::SaveAll();
    return ok ? ExitOk : ExitOutputFailed;
}

int RunModule(QApplication& app, const LauncherOptions& options, SessionRecorder& recorder)
{
    ModuleHost host;
    QString error;
    if (!host.Load(options.module, error)) {
        PrintError(error);
        return ExitModule;
    }
    PrintInfo(QStringLiteral("Module %1").arg(host.LibraryPath()));
    if (!host.Create(options.name, error)) {
        PrintError(error);
        return ExitInstance;
    }
    PrintInfo(QStringLiteral("Instance '%1'").arg(host.Instance()->m_name));
    if (!host.Instance()->Start()) {
        PrintError(QStringLiteral("the instance refused to start"));
        host.Destroy();
        return ExitInstance;
    }
    const int result = RunSession(app, options, recorder);
    host.Destroy();
    return result;
}

int RunReplay(QApplication& app, const LauncherOptions& options, SessionRecorder& recorder)
{
    // Declared first so that it outlives the view that asks it for the time.
    ReplayClock clock;
    MonitorWindow window;
    window.setWindowTitle(QStringLiteral("%1 - %2").arg(
        QFileInfo(options.replay).fileName(), QCoreApplication::applicationName()));
    DecodedTextView* view = window.View();
    window.resize(600, 600);

    Replayer replayer(view, &clock);
    QString error;
    if (!replayer.LoadFile(options.replay, error)) {
        PrintError(error);
        return ExitReplay;
    }
    QObject::connect(&replayer, &Replayer::Finished, &app, [&replayer]() {
        PrintInfo(QStringLiteral("Replay finished: %1 pieces").arg(replayer.DeliveredCount()));
    });
    PrintInfo(QStringLiteral("Replaying %1 pieces from %2")
                  .arg(replayer.PieceCount())
                  .arg(QFileInfo(options.replay).absoluteFilePath()));
    window.show();
    replayer.Start(options.speed);
    return RunSession(app, options, recorder);
}

int RunListen(QApplication& app, const LauncherOptions& options, SessionRecorder& recorder)
{
    MonitorWindow window;
    // Declared after the window, so that no connection outlives the view it feeds.
    LiveFeedServer server(window.View());
    FeedAddress address;
    QString error;
    if (!FeedAddress::Parse(options.listen, true, address, error)
        || !server.Listen(address, error)) {
        PrintError(error);
        return ExitListen;
    }
    QObject::connect(&server, &LiveFeedServer::ConnectionOpened, &app, [](const QString& peer) {
        PrintInfo(QStringLiteral("Decoder %1 connected").arg(peer));
    });
    QObject::connect(&server, &LiveFeedServer::ConnectionClosed, &app,
                     [](const QString& peer, int frames, const QString& reason) {
                         const QString text
                             = QStringLiteral("Decoder %1 %2 after %3 frames")
                                   .arg(peer, reason.isEmpty() ? "disconnected" : "cut off")
                                   .arg(frames);
                         PrintInfo(reason.isEmpty() ? text : text + QStringLiteral(": ") + reason);
                     });
    window.setWindowTitle(
        QStringLiteral("%1 - %2").arg(server.Address(), QCoreApplication::applicationName()));
    window.Watch(&server);
    window.resize(800, 700);
    window.show();
    PrintInfo(QStringLiteral("Listening on %1").arg(server.Address()));
    return RunSession(app, options, recorder);
}

} // namespace

int main(int argc, char** argv)
{
    // Without a display there is nothing to connect to; the session still runs, unseen.
    const QByteArray fallback = PlatformChoice::Fallback(
        PlatformChoice::BuildDefault(), qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
        qgetenv("WAYLAND_DISPLAY"));
    if (!fallback.isEmpty())
        qputenv("QT_QPA_PLATFORM", fallback);

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("dtvlauncher"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DTV_VERSION));

    LauncherOptions options;
    QString error;
    if (!LauncherOptions::Parse(QCoreApplication::arguments(), options, error)) {
        PrintError(error);
        std::fprintf(stderr, "Try 'dtvlauncher --help'.\n");
        return ExitUsage;
    }
    if (options.helpRequested) {
        PrintInfo(options.usage.trimmed());
        return ExitOk;
    }
    if (options.versionRequested) {
        PrintInfo(QStringLiteral("dtvlauncher %1").arg(QCoreApplication::applicationVersion()));
        return ExitOk;
    }

    SessionRecorder recorder;
    if (!options.saveAnnotations.isEmpty()
        && !recorder.SetAnnotationFile(options.saveAnnotations, error)) {
        PrintError(error);
        return ExitUsage;
    }
    QuitOnSignal quitOnSignal;
    if (!options.listen.isEmpty())
        return RunListen(app, options, recorder);
    return options.replay.isEmpty() ? RunModule(app, options, recorder)
                                    : RunReplay(app, options, recorder);
}
