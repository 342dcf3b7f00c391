#pragma once

#include "vxbase_export.h"

class VXException;

// What a host installs to be told about exceptions that a component trapped.
// The order of the two operations is part of the binary interface.
class VXBASE_EXPORT IErrorHandler
{
public:
    virtual ~IErrorHandler();

    // context and severity are the caller's classification; show asks for the operator to be
    // told, fatal says the caller cannot go on.
    virtual void HandleException(const VXException& e, int context, int severity, bool show,
                                 bool fatal) = 0;
    virtual void ReportException(const VXException& e) = 0;
};
