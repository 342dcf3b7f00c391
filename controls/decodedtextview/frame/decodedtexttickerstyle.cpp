#include "decodedtexttickerstyle.h"

#include "decodedtextpixelcopy_p.h"

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

void DecodedTextTickerStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                           QPainter* painter, const QWidget* widget) const
{
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || !frame || !caching
        || !DecodedTextPixelCopy::Copyable(painter)) {
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
    // blending a copy rounds otherwise than drawing there: those are drawn, or, over the same
    // pixels as before, given what drawing left there then.
    const QPoint at = frame->rect.topLeft();
    painter->save();
    painter->setClipRegion(opaque.translated(at), Qt::IntersectClip);
    painter->drawImage(at, panel);
    painter->restore();
    if (blended.isEmpty())
        return;
    const QTransform transform = painter->deviceTransform();
    const QPoint device = at + QPoint(qRound(transform.dx()), qRound(transform.dy()));
    const QVector<QRgb> below = Below(painter, device);
    painter->save();
    painter->setClipRegion(blended.translated(at), Qt::IntersectClip);
    if (!below.isEmpty() && below == under) {
        painter->drawImage(at, drawnOver); // opaque: drawing it copies it
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    painter->restore();
    under.clear();
    if (below.isEmpty())
        return;
    // What drawing leaves over these pixels, found on an image of the target's kind, where no
    // clip of the target's hides any of them.
    const QImage::Format format =
        static_cast<const QImage*>(painter->paintEngine()->paintDevice())->format();
    QImage scratch(panel.size(), format);
    scratch.fill(0);
    for (int i = 0; i < below.size(); ++i) {
        const QPoint& p = blendedPixels.at(i);
        reinterpret_cast<QRgb*>(scratch.scanLine(p.y()))[p.x()] = below.at(i);
    }
    {
        QPainter onScratch(&scratch);
        onScratch.setClipRegion(blended);
        QStyleOptionFrame moved(*frame);
        moved.rect.moveTo(0, 0);
        QProxyStyle::drawPrimitive(element, &moved, &onScratch, widget);
    }
    drawnOver = QImage(panel.size(), QImage::Format_ARGB32_Premultiplied);
    drawnOver.fill(Qt::transparent);
    for (const QPoint& p : qAsConst(blendedPixels)) {
        const QRgb drawn = reinterpret_cast<const QRgb*>(scratch.constScanLine(p.y()))[p.x()];
        // Only what covers the target fully is copied as drawing it would leave it.
        if (qAlpha(drawn) != 255)
            return;
        reinterpret_cast<QRgb*>(drawnOver.scanLine(p.y()))[p.x()] = drawn;
    }
    under = below;
}

QVector<QRgb> DecodedTextTickerStyle::Below(const QPainter* painter, const QPoint& at) const
{
    const QPaintEngine* engine = painter->paintEngine();
    const QPaintDevice* target = engine ? engine->paintDevice() : nullptr;
    if (!target || target->devType() != QInternal::Image)
        return {};
    const QImage& image = *static_cast<const QImage*>(target);
    if (!image.rect().contains(QRect(at, panel.size())))
        return {};
    QVector<QRgb> out;
    out.reserve(blendedPixels.size());
    for (const QPoint& p : qAsConst(blendedPixels))
        out.append(reinterpret_cast<const QRgb*>(image.constScanLine(at.y() + p.y()))[at.x() + p.x()]);
    return out;
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
    blendedPixels.clear();
    under.clear();
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
            else if (alpha > 0) {
                blended += QRect(x, y, end - x, 1);
                for (int i = x; i < end; ++i)
                    blendedPixels.append(QPoint(i, y));
            }
            x = end;
        }
    }
}
