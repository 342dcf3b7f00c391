#include "errorhandler.h"

#include "stderrerrorhandler_p.h"

#include <QMutex>
#include <QMutexLocker>
#include <cstdio>

namespace {

QMutex& StateMutex()
{
    static QMutex mutex;
    return mutex;
}

IErrorHandler*& InstalledHandler()
{
    static IErrorHandler* handler = nullptr;
    return handler;
}

ErrorHandler::OutputSink& InstalledSink()
{
    static ErrorHandler::OutputSink sink;
    return sink;
}

unsigned int ParseTraceMask(const QByteArray& raw)
{
    const QByteArray text = raw.trimmed();
    bool ok = false;
    unsigned int value = 0;
    if (text.startsWith("0x") || text.startsWith("0X"))
        value = text.mid(2).toUInt(&ok, 16);
    else
        value = text.toUInt(&ok, 10);
    return ok ? value : 0u;
}

} // namespace

ErrorHandler::ErrorHandler() = default;

ErrorHandler& ErrorHandler::Instance()
{
    static ErrorHandler instance;
    return instance;
}

IErrorHandler* ErrorHandler::Interface()
{
    static StdErrErrorHandler builtIn;
    QMutexLocker lock(&StateMutex());
    IErrorHandler* handler = InstalledHandler();
    return handler ? handler : &builtIn;
}

void ErrorHandler::SetInterface(IErrorHandler* handler)
{
    QMutexLocker lock(&StateMutex());
    InstalledHandler() = handler;
}

ErrorHandler::OutputSink ErrorHandler::SetOutputSink(OutputSink sink)
{
    QMutexLocker lock(&StateMutex());
    OutputSink previous = std::move(InstalledSink());
    InstalledSink() = std::move(sink);
    return previous;
}

void ErrorHandler::WriteLine(const QString& line)
{
    OutputSink sink;
    {
        QMutexLocker lock(&StateMutex());
        sink = InstalledSink();
    }
    // Called outside the lock so that a sink may itself trace or swap sinks.
    if (sink) {
        sink(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

unsigned int ErrorHandler::TraceMask() const
{
    return ParseTraceMask(qgetenv("VX_TRACE_MASK"));
}

void _Q_Trace(const QString& text, const QString& file, unsigned short line)
{
    ErrorHandler::WriteLine(QStringLiteral("%1(%2): %3").arg(file, QString::number(line), text));
}
