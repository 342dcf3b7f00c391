#pragma once

#include "dtv_export.h"

#include <QWidget>

class DecodedTextFinder;
class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

// The find bar at the bottom of the view: the text to find, previous and next, the count
// ("3 of 17"), match case, a button that adds the text to the watch list, one that opens the
// watch list, and a close button. Enter steps to the next match, Shift+Enter to the previous
// one, Escape closes the bar.
class DTV_EXPORT DecodedTextFindBar : public QWidget
{
    Q_OBJECT

public:
    DecodedTextFindBar(DecodedTextFinder* finder, QWidget* parent);

    // Shows the bar with the focus in its text, all of it selected, and searches it again.
    void Open();
    QLineEdit* TextEdit() const { return textEdit; }
    QString CountText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void Search();
    void ShowCount();
    void AddToWatch();
    void EditWatchList();

private:
    DecodedTextFinder* finder;
    QLineEdit* textEdit;
    QToolButton* previousButton;
    QToolButton* nextButton;
    QLabel* countLabel;
    QCheckBox* matchCase;
    QToolButton* watchButton;
    QToolButton* watchListButton;
    QToolButton* closeButton;
};
