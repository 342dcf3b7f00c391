#pragma once

#include "ierrorhandler.h"

class QString;

// The handler in place while the host has installed none: it only logs, so a trapped
// exception is never lost silently.
class StdErrErrorHandler : public IErrorHandler
{
public:
    void HandleException(const VXException& e, int context, int severity, bool show,
                         bool fatal) override;
    void ReportException(const VXException& e) override;

private:
    static QString Describe(const VXException& e);
};
