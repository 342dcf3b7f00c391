#pragma once

#include "dtv_export.h"

#include <QDateTime>

// Time source for hosts that replay or simulate; the model asks it for "now".
class DTV_EXPORT DecodedTextClock
{
public:
    virtual QDateTime CurrentTime() const = 0;
};
