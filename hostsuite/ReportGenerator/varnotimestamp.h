#pragma once

#include "reportgenerator_export.h"

#include <QDateTime>

namespace VarnoResultDataXml {

// The time of the character at Position in a data block's content; Quality is the
// decoder's confidence in percent, -1 when it gave none.
struct REPORTGENERATOR_EXPORT TimeStamp
{
    QDateTime Time;
    int Position = 0;
    int Quality = -1;
};

} // namespace VarnoResultDataXml
