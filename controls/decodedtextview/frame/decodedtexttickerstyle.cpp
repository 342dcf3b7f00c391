#include "decodedtexttickerstyle.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionFrame>

DecodedTextTickerStyle::DecodedTextTickerStyle(QLineEdit* ticker)
    : QProxyStyle(QStringLiteral("fusion")), ticker(ticker)
{
}

void DecodedTextTickerStyle::Attach(QLineEdit* ticker)
{
    if (!ApplicationStyleIsFusion() || !ticker->parentWidget())
        return;
    auto* style = new DecodedTextTickerStyle(ticker);
    style->setParent(ticker);
    ticker->setStyle(style);
    // A widget with a style of its own is not told when the application's style changes; its
    // parent is.
    ticker->parentWidget()->installEventFilter(style);
}

bool DecodedTextTickerStyle::ApplicationStyleIsFusion()
{
    const QStyle* style = QApplication::style();
    return style && qstrcmp(style->metaObject()->className(), "QFusionStyle") == 0;
}

bool DecodedTextTickerStyle::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::StyleChange && !ApplicationStyleIsFusion()) {
        watched->removeEventFilter(this);
        ticker->setStyle(nullptr);
        deleteLater();
    }
    return false;
}

bool DecodedTextTickerStyle::Key::operator==(const Key& other) const
{
    return size == other.size && state == other.state && direction == other.direction
        && palette == other.palette && group == other.group && lineWidth == other.lineWidth
        && midLineWidth == other.midLineWidth && features == other.features;
}

void DecodedTextTickerStyle::SetCaching(bool on)
{
    caching = on;
}

// Whether copying the kept panel gives the pixels drawing it would: an unscaled, unrotated
// raster target of 32-bit pixels, drawn on whole pixels, opaque, over what lies below.
bool DecodedTextTickerStyle::Copyable(const QPainter* painter)
{
    const QPaintEngine* engine = painter->paintEngine();
    const QPaintDevice* target = engine ? engine->paintDevice() : nullptr;
    const QTransform transform = painter->deviceTransform();
    if (!target || engine->type() != QPaintEngine::Raster || painter->opacity() != 1.0
        || painter->compositionMode() != QPainter::CompositionMode_SourceOver
        || painter->device()->devicePixelRatioF() != 1.0
        || transform.type() > QTransform::TxTranslate || transform.dx() != qRound(transform.dx())
        || transform.dy() != qRound(transform.dy()))
        return false;
    if (target->devType() == QInternal::Image) {
        const QImage::Format format = static_cast<const QImage*>(target)->format();
        return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
            || format == QImage::Format_ARGB32_Premultiplied;
    }
    return target->devType() == QInternal::Pixmap && target->depth() == 32;
}

void DecodedTextTickerStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                           QPainter* painter, const QWidget* widget) const
{
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || !frame || !caching || !Copyable(painter)) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const Key now { frame->rect.size(),
                    frame->state,
                    frame->direction,
                    frame->palette.cacheKey(),
                    frame->palette.currentColorGroup(),
                    frame->lineWidth,
                    frame->midLineWidth,
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
