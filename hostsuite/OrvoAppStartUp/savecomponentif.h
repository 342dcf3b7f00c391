#pragma once

#include "orvoappstartup_export.h"

// A component that keeps settings. The host calls these on every registered component;
// components are never deleted through this interface, hence no virtual destructor.
class ORVOAPPSTARTUP_EXPORT SaveComponentIf
{
public:
    virtual void Save() = 0;
    virtual void Load() = 0;
    virtual void CommitData() = 0;

protected:
    ~SaveComponentIf() = default;
};
