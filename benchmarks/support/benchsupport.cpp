#include "benchsupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

namespace BenchSupport {

void PrepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The view reads and writes its settings; a run must not touch the user's.
    static QTemporaryDir configDir;
    qputenv("VX_APP_CONFIG", QFile::encodeName(configDir.filePath(QStringLiteral("bench.ini"))));
    // Every channel mark asks for the user's name; without this the stand-in user service would
    // look the login up in the password database each time, where a host answers from its
    // session.
    if (!qEnvironmentVariableIsSet("VX_USER"))
        qputenv("VX_USER", "bench");
}

QString Option(const QStringList& arguments, const QString& name, const QString& fallback)
{
    const int at = arguments.indexOf(name);
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : fallback;
}

double Scale(const QStringList& arguments)
{
    bool ok = false;
    const double scale = Option(arguments, QStringLiteral("--scale"), QStringLiteral("1")).toDouble(&ok);
    return ok && scale > 0 ? scale : 1.0;
}

qint64 StatusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

double CpuSeconds()
{
    rusage usage;
    std::memset(&usage, 0, sizeof(usage));
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString Rate(double perSecond, const char* unit)
{
    if (perSecond >= 1e6)
        return QStringLiteral("%1 M %2/s").arg(perSecond / 1e6, 0, 'f', 2).arg(QLatin1String(unit));
    if (perSecond >= 1e3)
        return QStringLiteral("%1 k %2/s").arg(perSecond / 1e3, 0, 'f', 1).arg(QLatin1String(unit));
    return QStringLiteral("%1 %2/s").arg(perSecond, 0, 'f', 1).arg(QLatin1String(unit));
}

QString Megabytes(qint64 kilobytes)
{
    return QStringLiteral("%1 MB").arg(kilobytes / 1024.0, 0, 'f', 1);
}

QString Duration(double seconds)
{
    if (seconds >= 1)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
    if (seconds >= 1e-3)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', 2);
    return QStringLiteral("%1 us").arg(seconds * 1e6, 0, 'f', 1);
}

void Row(const QString& caseName, const QString& measure, const QString& value,
         const QString& reference, double ratio, const QString& target, bool met)
{
    std::printf("| %s | %s | %s | %s | %.2f | %s | %s |\n", qPrintable(caseName),
                qPrintable(measure), qPrintable(value), qPrintable(reference), ratio,
                qPrintable(target), met ? "met" : "missed");
    std::fflush(stdout);
}

void Note(const QString& text)
{
    std::printf("note: %s\n", qPrintable(text));
    std::fflush(stdout);
}

} // namespace BenchSupport
