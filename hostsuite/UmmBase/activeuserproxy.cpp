#include "activeuserproxy.h"

#include <QMutex>
#include <QMutexLocker>
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
    // The account database is asked once per user id: every automatic call-sign mark asks for
    // the name, and a lookup may go out to a directory service. The variables above stay
    // looked up on every call, as the host may set them at any time.
    static QMutex mutex;
    static bool known = false;
    static uid_t knownUser = 0;
    static QString knownName;
    const uid_t user = geteuid();
    QMutexLocker lock(&mutex);
    if (known && knownUser == user)
        return knownName;
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (bufferSize <= 0)
        bufferSize = 16384;
    std::vector<char> buffer(static_cast<size_t>(bufferSize));
    passwd entry{};
    passwd* result = nullptr;
    QString name;
    if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &result) == 0 && result
        && result->pw_name)
        name = QString::fromLocal8Bit(result->pw_name);
    // A failed lookup is asked again next time rather than kept.
    known = !name.isEmpty();
    knownUser = user;
    knownName = name;
    return name;
#endif
}

} // namespace UMM
