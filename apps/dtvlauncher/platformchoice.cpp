#include "platformchoice.h"

PlatformChoice::WindowSystem PlatformChoice::BuildDefault()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    return WindowSystem::X11OrWayland;
#else
    return WindowSystem::Other;
#endif
}

QByteArray PlatformChoice::Fallback(WindowSystem system, const QByteArray& chosenPlatform,
                                    const QByteArray& display, const QByteArray& waylandDisplay)
{
    if (system != WindowSystem::X11OrWayland || !chosenPlatform.isEmpty() || !display.isEmpty()
        || !waylandDisplay.isEmpty())
        return QByteArray();
    return QByteArrayLiteral("offscreen");
}
