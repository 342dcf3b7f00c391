#include "decodedtexttickerstyle.h"

#include <QPainter>
#include <QStyleOptionFrame>

DecodedTextTickerStyle::DecodedTextTickerStyle()
    : QProxyStyle(QStringLiteral("fusion"))
{
}

bool DecodedTextTickerStyle::Key::operator==(const Key& other) const
{
    return size == other.size && state == other.state && direction == other.direction
        && palette == other.palette && lineWidth == other.lineWidth
        && midLineWidth == other.midLineWidth && features == other.features;
}

void DecodedTextTickerStyle::SetCaching(bool on)
{
    caching = on;
}

void DecodedTextTickerStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                           QPainter* painter, const QWidget* widget) const
{
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || !frame || !caching || !painter->device()
        || painter->device()->devicePixelRatioF() != 1.0 || !painter->transform().isIdentity()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const Key now { frame->rect.size(), frame->state,        frame->direction,
                    frame->palette.cacheKey(), frame->lineWidth, frame->midLineWidth,
                    int(frame->features) };
    if (panel.isNull() || !(now == key)) {
        Keep(*frame, widget);
        key = now;
    }
    // Opaque pixels come out the same whatever lay below; antialiased ones blend with it, and
    // blending a copy rounds otherwise than drawing there, so those are drawn.
    const QPoint at = frame->rect.topLeft();
    painter->save();
    painter->setClipRegion(opaque.translated(at), Qt::IntersectClip);
    painter->drawImage(at, panel);
    painter->restore();
    if (!blended.isEmpty()) {
        painter->save();
        painter->setClipRegion(blended.translated(at), Qt::IntersectClip);
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        painter->restore();
    }
}

void DecodedTextTickerStyle::Keep(const QStyleOption& option, const QWidget* widget) const
{
    panel = QImage(option.rect.size(), QImage::Format_ARGB32_Premultiplied);
    panel.fill(Qt::transparent);
    QStyleOptionFrame at(*qstyleoption_cast<const QStyleOptionFrame*>(&option));
    at.rect.moveTo(0, 0);
    {
        QPainter onPanel(&panel);
        QProxyStyle::drawPrimitive(PE_PanelLineEdit, &at, &onPanel, widget);
    }
    opaque = QRegion();
    blended = QRegion();
    for (int y = 0; y < panel.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(panel.constScanLine(y));
        for (int x = 0; x < panel.width();) {
            const int alpha = qAlpha(line[x]);
            int end = x + 1;
            while (end < panel.width() && (qAlpha(line[end]) == 255) == (alpha == 255)
                   && (qAlpha(line[end]) == 0) == (alpha == 0))
                ++end;
            if (alpha == 255)
                opaque += QRect(x, y, end - x, 1);
            else if (alpha > 0)
                blended += QRect(x, y, end - x, 1);
            x = end;
        }
    }
}
