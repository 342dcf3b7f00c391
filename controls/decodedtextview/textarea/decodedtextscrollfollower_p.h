#pragma once

#include <QObject>

class QScrollBar;

// Keeps a text area at the bottom once it was sent there. The editor lays out wrapped lines
// only when they come into view, so the scroll range may still grow after the scroll to the
// bottom; until someone moves the view or it is told to let go, it follows the new end.
class DecodedTextScrollFollower : public QObject
{
    Q_OBJECT

public:
    DecodedTextScrollFollower(QScrollBar* bar, QObject* parent);

    // The view was just put at the bottom on purpose.
    void AtBottom();
    // The view is to stay where it is from now on.
    void Release();

private slots:
    void RangeChanged(int minimum, int maximum);
    void ValueChanged(int value);

private:
    QScrollBar* bar;
    bool following = false;
    bool moving = false;
};
