#include "decodedtextscrollfollower_p.h"

#include <QScrollBar>

DecodedTextScrollFollower::DecodedTextScrollFollower(QScrollBar* bar, QObject* parent)
    : QObject(parent), bar(bar)
{
    connect(bar, SIGNAL(rangeChanged(int, int)), this, SLOT(RangeChanged(int, int)));
    connect(bar, SIGNAL(valueChanged(int)), this, SLOT(ValueChanged(int)));
}

void DecodedTextScrollFollower::AtBottom()
{
    following = bar->value() == bar->maximum();
}

void DecodedTextScrollFollower::Release()
{
    following = false;
}

void DecodedTextScrollFollower::RangeChanged(int, int maximum)
{
    if (!following)
        return;
    moving = true;
    bar->setValue(maximum);
    moving = false;
}

void DecodedTextScrollFollower::ValueChanged(int value)
{
    // Anyone else moving the view off the end ends the following.
    if (!moving && value != bar->maximum())
        following = false;
}
