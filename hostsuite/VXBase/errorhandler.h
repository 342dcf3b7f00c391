#pragma once

#include "ierrorhandler.h"
#include "vxbase_export.h"

#include <QString>
#include <functional>

// The process's error handler: the trace mask that enables diagnostic traces, the
// IErrorHandler that exceptions are handed to, and the line output both of them use.
class VXBASE_EXPORT ErrorHandler
{
public:
    // Receives each finished diagnostic line, without its newline.
    using OutputSink = std::function<void(const QString& line)>;

    static ErrorHandler& Instance();

    // The installed handler, or the built-in one that logs the exception's fields.
    static IErrorHandler* Interface();
    // Installs a handler owned by the caller; nullptr brings back the built-in one.
    static void SetInterface(IErrorHandler* handler);

    // Redirects diagnostic lines (traces and the built-in handler's log) away from standard
    // error, e.g. into a test's recorder; an empty sink restores standard error.
    // Returns the sink that was in place.
    static OutputSink SetOutputSink(OutputSink sink);
    static void WriteLine(const QString& line);

    // Enabled trace bits from VX_TRACE_MASK, decimal or 0x-prefixed hexadecimal; 0 when the
    // variable is unset or not a number. Read on every call so it can be changed at run time.
    unsigned int TraceMask() const;

    ErrorHandler(const ErrorHandler&) = delete;
    ErrorHandler& operator=(const ErrorHandler&) = delete;

private:
    ErrorHandler();
};

// Writes "file(line): text" as one diagnostic line.
VXBASE_EXPORT void _Q_Trace(const QString& text, const QString& file, unsigned short line);
