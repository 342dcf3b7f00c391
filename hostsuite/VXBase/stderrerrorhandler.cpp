#include "stderrerrorhandler_p.h"

#include "errorhandler.h"
#include "vxexception.h"

#include <QString>

void StdErrErrorHandler::HandleException(const VXException& e, int context, int severity,
                                         bool show, bool fatal)
{
    // One multi-argument arg() so that '%' in the exception's texts is never re-expanded.
    ErrorHandler::WriteLine(
        QStringLiteral("HandleException: %1 context=%2 severity=%3 show=%4 fatal=%5")
            .arg(Describe(e), QString::number(context), QString::number(severity),
                 show ? QStringLiteral("true") : QStringLiteral("false"),
                 fatal ? QStringLiteral("true") : QStringLiteral("false")));
}

void StdErrErrorHandler::ReportException(const VXException& e)
{
    ErrorHandler::WriteLine(QStringLiteral("ReportException: %1").arg(Describe(e)));
}

QString StdErrErrorHandler::Describe(const VXException& e)
{
    return QStringLiteral("message=\"%1\" file=\"%2\" class=\"%3\" method=\"%4\" line=%5 code=0x%6")
        .arg(e.GetMessage(), e.GetFile(), e.GetClassName(), e.GetMethod(),
             QString::number(e.GetLine()),
             QStringLiteral("%1").arg(e.GetCode(), 8, 16, QLatin1Char('0')));
}
