#pragma once

#include "dtv_export.h"

#include <QImage>
#include <QPalette>
#include <QProxyStyle>
#include <QRegion>
#include <QVector>

class QLineEdit;

// The style of a caption's ticker while the application's style is fusion: fusion, with the
// line edit's framed panel kept as drawn once per size and look. A bank of decoders changes
// every ticker every second, and stroking the rounded frame anew cost more than the text.
class DTV_EXPORT DecodedTextTickerStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // Gives the ticker this style if the application's style is fusion, and takes it back
    // once the application's style changes to another.
    static void Attach(QLineEdit* ticker);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

    // Off, the panel is drawn anew every time, as the plain style does.
    void SetCaching(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit DecodedTextTickerStyle(QLineEdit* ticker);

    struct Key
    {
        QSize size;
        State state;
        Qt::LayoutDirection direction = Qt::LeftToRight;
        qint64 palette = 0;
        QPalette::ColorGroup group = QPalette::Active;
        int lineWidth = 0;
        int midLineWidth = 0;
        int features = 0;

        bool operator==(const Key& other) const;
    };

    static bool ApplicationStyleIsFusion();
    void Keep(const QStyleOption& option, const QWidget* widget) const;
    // The target's pixels under the blended ones of the panel drawn at device point at; empty
    // when the target is not an image or the panel reaches beyond it.
    QVector<QRgb> Below(const QPainter* painter, const QPoint& at) const;

    QLineEdit* ticker;
    bool caching = true;
    mutable Key key;
    mutable QImage panel;
    // The panel's pixels that cover what lies below, and those that blend with it.
    mutable QRegion opaque;
    mutable QRegion blended;
    // Blending is done pixel by pixel: over the same pixels the blended ones come out the same.
    // The pixels once found under them, those drawing left there, and the latter as an image.
    mutable QVector<QPoint> blendedPixels;
    mutable QVector<QRgb> under;
    mutable QImage drawnOver;
};
