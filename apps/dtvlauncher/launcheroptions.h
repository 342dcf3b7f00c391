#pragma once

#include <QString>
#include <QStringList>

// What the launcher was asked to do, read from its command line.
class LauncherOptions
{
public:
    // Fills options from the arguments (the program name first). Returns false with a message
    // in error when an option is unknown or has a value that cannot be used. usage holds the
    // help text for --help.
    static bool Parse(const QStringList& arguments, LauncherOptions& options, QString& error);

    QString module = QStringLiteral("DecodedTextView");
    QString name = QStringLiteral("DecodedTextView");
    double seconds = 0.0; // 0: until the window is closed
    QString screenshot;
    QString replay;
    double speed = 1.0;
    QString saveAnnotations;
    QString exportFile;
    QString listen; // [ADDRESS:]PORT
    QString transcript;
    bool helpRequested = false;
    bool versionRequested = false;
    QString usage;
};
