#pragma once

#include <QObject>
#include <QString>

class QWidget;

// The launcher's --screenshot: a picture of the session's main window, taken on request (the
// end of a timed run) or when that window is about to close, while it is still shown.
class SessionScreenshot : public QObject
{
    Q_OBJECT

public:
    // Watches the application's windows for the close of the main window.
    explicit SessionScreenshot(const QString& path, QObject* parent = nullptr);

    // Takes the picture now; false with a message on standard error when there is no window
    // or the file cannot be written.
    bool Take();
    bool Taken() const { return taken; }
    bool Ok() const { return ok; }

    // A visible main window if there is one, else the largest visible top-level widget.
    static QWidget* MainWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString path;
    bool taken = false;
    bool ok = true;
};
