#include "launcheroptions.h"

#include "feedaddress.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cmath>

namespace {

bool ReadPositive(const QCommandLineParser& parser, const QCommandLineOption& option,
                  bool zeroAllowed, double& value, QString& error)
{
    if (!parser.isSet(option))
        return true;
    const QString text = parser.value(option);
    bool ok = false;
    const double parsed = text.toDouble(&ok);
    if (!ok || !std::isfinite(parsed) || parsed < 0.0 || (!zeroAllowed && parsed == 0.0)) {
        error = QCoreApplication::translate("LauncherOptions", "Invalid value for --%1: '%2'")
                    .arg(option.names().constFirst(), text);
        return false;
    }
    value = parsed;
    return true;
}

} // namespace

bool LauncherOptions::Parse(const QStringList& arguments, LauncherOptions& options,
                            QString& error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "LauncherOptions",
        "Loads a module of the suite and runs its instance, or replays a recorded result-data "
        "document into a DecodedTextView."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption module(
        QStringLiteral("module"),
        QCoreApplication::translate("LauncherOptions",
                                    "Module to load: a library name or path (default %1).")
            .arg(options.module),
        QStringLiteral("NAME"));
    const QCommandLineOption name(
        QStringLiteral("name"),
        QCoreApplication::translate("LauncherOptions",
                                    "Name given to the module instance (default %1).")
            .arg(options.name),
        QStringLiteral("TEXT"));
    const QCommandLineOption seconds(
        QStringLiteral("seconds"),
        QCoreApplication::translate("LauncherOptions",
                                    "Quit after N seconds (default: when the window closes)."),
        QStringLiteral("N"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QCoreApplication::translate("LauncherOptions",
                                    "Save an image of the main window before quitting."),
        QStringLiteral("FILE"));
    const QCommandLineOption replay(
        QStringLiteral("replay"),
        QCoreApplication::translate(
            "LauncherOptions",
            "Instead of the module, feed a view with the transmissions of a result-data "
            "document at their recorded pace."),
        QStringLiteral("FILE"));
    const QCommandLineOption speed(
        QStringLiteral("speed"),
        QCoreApplication::translate("LauncherOptions",
                                    "Replay pace relative to the recording (default 1)."),
        QStringLiteral("X"));
    const QCommandLineOption saveAnnotations(
        QStringLiteral("save-annotations"),
        QCoreApplication::translate("LauncherOptions",
                                    "Append every annotation document the view sends to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption exportFile(
        QStringLiteral("export"),
        QCoreApplication::translate(
            "LauncherOptions", "On exit, write every channel into one result-data document."),
        QStringLiteral("FILE"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QCoreApplication::translate(
            "LauncherOptions",
            "Instead of the module, show what decoder programs send to this TCP port "
            "(address 127.0.0.1 unless given; docs/live-feed.md)."),
        QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption transcript(
        QStringLiteral("transcript"),
        QCoreApplication::translate("LauncherOptions",
                                    "On exit, write the text of every channel to FILE as a "
                                    "plain-text log."),
        QStringLiteral("FILE"));
    parser.addOptions({ module, name, seconds, screenshot, replay, speed, saveAnnotations,
                        exportFile, listen, transcript });

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    options.usage = parser.helpText();
    options.helpRequested = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    options.versionRequested = parser.isSet(version);
    if (!parser.positionalArguments().isEmpty()) {
        error = QCoreApplication::translate("LauncherOptions", "Unexpected argument: '%1'")
                    .arg(parser.positionalArguments().constFirst());
        return false;
    }
    if (parser.isSet(module)) {
        options.module = parser.value(module);
        if (options.module.isEmpty()) {
            error = QCoreApplication::translate("LauncherOptions", "--module needs a name");
            return false;
        }
    }
    if (parser.isSet(name))
        options.name = parser.value(name);
    if (!ReadPositive(parser, seconds, true, options.seconds, error)
        || !ReadPositive(parser, speed, false, options.speed, error))
        return false;
    options.screenshot = parser.value(screenshot);
    options.replay = parser.value(replay);
    options.saveAnnotations = parser.value(saveAnnotations);
    options.exportFile = parser.value(exportFile);
    options.listen = parser.value(listen);
    options.transcript = parser.value(transcript);
    if (parser.isSet(listen)) {
        FeedAddress address;
        if (!FeedAddress::Parse(options.listen, true, address, error)) {
            error = QCoreApplication::translate("LauncherOptions", "Invalid value for --listen: %1")
                        .arg(error);
            return false;
        }
        if (parser.isSet(replay)) {
            error = QCoreApplication::translate("LauncherOptions",
                                                "--listen and --replay exclude each other");
            return false;
        }
    }
    return true;
}
