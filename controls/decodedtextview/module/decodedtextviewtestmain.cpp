#include "decodedtextviewtestmain.h"

#include <QCloseEvent>
#include <QCoreApplication>

DecodedTextViewTestMain::DecodedTextViewTestMain(QWidget* parent)
    : QMainWindow(parent)
{
}

DecodedTextViewTestMain::~DecodedTextViewTestMain() = default;

QSize DecodedTextViewTestMain::sizeHint() const
{
    return QSize(600, 600);
}

void DecodedTextViewTestMain::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    // The harness is the whole application when it runs stand-alone.
    QCoreApplication::quit();
}
