#pragma once

#include "orvoappstartup_export.h"

#include <QString>

// A configuration scope with typed keys. The order of the virtual operations is part of
// the binary interface; flags are reserved and 0 is the only value used.
class ORVOAPPSTARTUP_EXPORT ICfg
{
public:
    enum View {
        DefaultView = 0,
        AppView = 1
    };

    virtual ~ICfg();

    // A new configuration scoped to the sub-group name, owned by the caller; null when
    // there is none to give.
    virtual ICfg* OpenSubCfg(QString name, int flags) = 0;
    virtual QString ReadString(QString key, QString defaultValue, int flags) = 0;
    virtual int ReadInt(QString key, int defaultValue, int flags) = 0;
    // True when the value has reached the storage.
    virtual bool WriteString(QString key, QString value, int flags) = 0;
    virtual bool WriteInt(QString key, int value, int flags) = 0;
};
