#pragma once

#include "ummbase_export.h"

#include <QString>

namespace UMM {

// Who is working at this station, as recorded with everything the operator changes.
class UMMBASE_EXPORT ActiveUserProxy
{
public:
    static ActiveUserProxy& instance();

    // VX_USER when it is set, even when set empty (looked up on every call); otherwise the
    // operating system's login name.
    QString GetUserName() const;

    ActiveUserProxy(const ActiveUserProxy&) = delete;
    ActiveUserProxy& operator=(const ActiveUserProxy&) = delete;

private:
    ActiveUserProxy();

    static QString LoginName();
};

} // namespace UMM
