#pragma once

#include <QByteArray>

// Which platform plugin the launcher asks Qt for before the application object exists.
class PlatformChoice
{
public:
    // What this build's default platform would be when nothing is chosen.
    enum class WindowSystem { X11OrWayland, Other };
    static WindowSystem BuildDefault();

    // "offscreen" when the session would otherwise fail to open its window: the platform is
    // X11 or Wayland, none was chosen, and there is no display to connect to. Elsewhere (Windows,
    // macOS) windows need no display variable, and an empty result keeps Qt's own choice.
    static QByteArray Fallback(WindowSystem system, const QByteArray& chosenPlatform,
                               const QByteArray& display, const QByteArray& waylandDisplay);
};
