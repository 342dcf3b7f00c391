#pragma once

#include "dtv_export.h"

#include <QObject>
#include <QString>

// What the suite's module loader holds of a module instance. The order of the virtual
// operations is part of the binary interface between loader and module.
class DTV_EXPORT IDllInstance
{
public:
    explicit IDllInstance(const QString& name);
    virtual ~IDllInstance();

    // Called by the loader before the instance is wanted on screen.
    virtual bool Start();
    // Reserved for the loader; nothing in this library needs them.
    virtual void Stop();
    virtual void Refresh();

    QString m_name;
};

Q_DECLARE_INTERFACE(IDllInstance, "DecodedTextView.IDllInstance/1.0")
