#pragma once

#include "dtv_export.h"

#include <QImage>
#include <QProxyStyle>
#include <QRegion>

// The style of a caption's ticker: the pane's fusion style, with the line edit's framed panel
// kept as drawn once per size and look. A bank of decoders changes every ticker every second,
// and stroking the rounded frame anew cost more than the text.
class DTV_EXPORT DecodedTextTickerStyle : public QProxyStyle
{
    Q_OBJECT

public:
    DecodedTextTickerStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    // Off, the panel is drawn anew every time, as the plain style does.
    void SetCaching(bool on);

private:
    struct Key
    {
        QSize size;
        State state;
        Qt::LayoutDirection direction = Qt::LeftToRight;
        qint64 palette = 0;
        int lineWidth = 0;
        int midLineWidth = 0;
        int features = 0;

        bool operator==(const Key& other) const;
    };

    void Keep(const QStyleOption& option, const QWidget* widget) const;

    bool caching = true;
    mutable Key key;
    mutable QImage panel;
    // The panel's pixels that cover what lies below, and those that blend with it.
    mutable QRegion opaque;
    mutable QRegion blended;
};
