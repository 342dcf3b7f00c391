#include "sessionscreenshot.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMainWindow>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

SessionScreenshot::SessionScreenshot(const QString& path, QObject* parent)
    : QObject(parent), path(path)
{
    qApp->installEventFilter(this);
}

QWidget* SessionScreenshot::MainWindow()
{
    QWidget* best = nullptr;
    int bestArea = -1;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (!window->isVisible())
            continue;
        const int area = window->width() * window->height()
            + (qobject_cast<QMainWindow*>(window) ? 1 << 30 : 0);
        if (area > bestArea) {
            best = window;
            bestArea = area;
        }
    }
    return best;
}

bool SessionScreenshot::Take()
{
    taken = true;
    QWidget* window = MainWindow();
    if (!window) {
        std::fprintf(stderr, "dtvlauncher: no window to take a screenshot of\n");
        ok = false;
    } else if (!window->grab().save(path)) {
        std::fprintf(stderr, "dtvlauncher: cannot write the screenshot to %s\n", qUtf8Printable(path));
        ok = false;
    } else {
        std::fprintf(stdout, "Screenshot written to %s\n",
                     qUtf8Printable(QFileInfo(path).absoluteFilePath()));
        std::fflush(stdout);
        ok = true;
    }
    return ok;
}

bool SessionScreenshot::eventFilter(QObject* watched, QEvent* event)
{
    // Once the close has gone through, the window is hidden and there is nothing to grab; the
    // last picture before the session ends is taken as the main window is asked to close.
    if (event->type() == QEvent::Close && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->isWindow() && watched == MainWindow())
        Take();
    return QObject::eventFilter(watched, event);
}
