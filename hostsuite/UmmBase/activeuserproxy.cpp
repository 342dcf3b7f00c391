#include "activeuserproxy.h"

#include <QtGlobal>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h maps GetUserName to GetUserNameW, which would rename the member defined here.
#undef GetUserName
#else
#include <pwd.h>
#include <unistd.h>
#include <vector>
#endif

namespace UMM {

ActiveUserProxy::ActiveUserProxy() = default;

ActiveUserProxy& ActiveUserProxy::instance()
{
    static ActiveUserProxy proxy;
    return proxy;
}

QString ActiveUserProxy::GetUserName() const
{
    if (qEnvironmentVariableIsSet("VX_USER"))
        return qEnvironmentVariable("VX_USER");
    return LoginName();
}

QString ActiveUserProxy::LoginName()
{
#if defined(_WIN32)
    wchar_t buffer[257];
    DWORD size = sizeof(buffer) / sizeof(buffer[0]);
    if (GetUserNameW(buffer, &size) && size > 0)
        return QString::fromWCharArray(buffer, int(size) - 1);
    return qEnvironmentVariable("USERNAME");
#else
    for (const char* variable : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (bufferSize <= 0)
        bufferSize = 16384;
    std::vector<char> buffer(static_cast<size_t>(bufferSize));
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result
        && result->pw_name)
        return QString::fromLocal8Bit(result->pw_name);
    return QString();
#endif
}

} // namespace UMM
