#pragma once

#include "dtv_export.h"

#include <QMainWindow>
#include <QSize>

class QCloseEvent;

// The test harness's window; closing it ends the application.
class DTV_EXPORT DecodedTextViewTestMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit DecodedTextViewTestMain(QWidget* parent = nullptr);
    ~DecodedTextViewTestMain() override;

    QSize sizeHint() const override;

protected:
    void closeEvent(QCloseEvent* event) override;
};
