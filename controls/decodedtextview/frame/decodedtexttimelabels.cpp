#include "decodedtexttimelabels_p.h"

#include "decodedtextpixelcopy_p.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <limits>

namespace {

// Rows drawn for finding out whether a label stays inside its row.
constexpr int Margin = 8;
constexpr int MaxRows = 512;

} // namespace

void DecodedTextTimeLabels::Begin(const QPainter* painter, const QColor& fill, int w, int h)
{
    active = false;
    paintedTo = std::numeric_limits<int>::min();
    // Only an image target tells the pixels' format, which decides how text blends.
    const QPaintDevice* target = painter->paintEngine() ? painter->paintEngine()->paintDevice()
                                                        : nullptr;
    if (!DecodedTextPixelCopy::Copyable(painter) || !target
        || target->devType() != QInternal::Image || w <= 0 || h <= 0 || !fill.isValid()
        || fill.alpha() != 255)
        return;
    const QImage::Format now = static_cast<const QImage*>(target)->format();
    const QSize dpi(painter->device()->logicalDpiX(), painter->device()->logicalDpiY());
    if (now != format || fill != background || painter->font() != font || painter->pen() != pen
        || int(painter->renderHints()) != hints || painter->layoutDirection() != direction
        || dpi != resolution || w != width || h != rowHeight || rows.size() > MaxRows) {
        rows.clear();
        format = now;
        background = fill;
        font = painter->font();
        pen = painter->pen();
        hints = int(painter->renderHints());
        direction = painter->layoutDirection();
        resolution = dpi;
        width = w;
        rowHeight = h;
    }
    active = true;
}

void DecodedTextTimeLabels::End()
{
    active = false;
}

void DecodedTextTimeLabels::Drawn(int bottom)
{
    paintedTo = qMax(paintedTo, bottom);
}

void DecodedTextTimeLabels::Draw(QPainter* painter, const QRect& rect, const QString& label)
{
    const int y = rect.top();
    if (rect.left() != labelLeft || rect.width() != labelWidth) {
        rows.clear();
        labelLeft = rect.left();
        labelWidth = rect.width();
    }
    // A copied row covers all it spans with the background: only where nothing is drawn yet.
    if (active && y >= paintedTo && rect.height() == rowHeight) {
        const auto found = rows.constFind(label);
        if (found != rows.constEnd() && !found->isNull()) {
            painter->drawImage(QPoint(0, y), *found); // opaque: drawing it copies it
            paintedTo = y + rowHeight;
            return;
        }
        if (found == rows.constEnd()) {
            painter->drawText(rect, Qt::AlignLeft, label);
            const QImage kept = Kept(painter, rect, label);
            rows.insert(label, kept);
            paintedTo = kept.isNull() ? std::numeric_limits<int>::max() : y + rowHeight;
            return;
        }
    }
    painter->drawText(rect, Qt::AlignLeft, label);
    // Its ink may reach past its row: nothing is copied over it any more in this paint.
    paintedTo = std::numeric_limits<int>::max();
}

QImage DecodedTextTimeLabels::Kept(const QPainter* painter, const QRect& rect,
                                   const QString& label) const
{
    // The row as just drawn on the target, which decides how text is rasterised there, where
    // this paint painted all of it and nothing but its background was there before.
    const QPaintEngine* engine = painter->paintEngine();
    const QImage& target = *static_cast<const QImage*>(engine->paintDevice());
    const QTransform transform = painter->deviceTransform();
    const QRect row(qRound(transform.dx()), qRound(transform.dy()) + rect.top(), width, rowHeight);
    const QRegion clip = engine->systemClip();
    if (painter->hasClipping() || !target.rect().contains(row)
        || (!clip.isEmpty() && !QRegion(row).subtracted(clip).isEmpty()))
        return QImage();
    // The label must stay inside its row, or a copy would lose what it drew beyond: drawn
    // again with room around the row, it must leave that room untouched.
    QImage probe(width, rowHeight + 2 * Margin, format);
    probe.setDotsPerMeterX(qRound(resolution.width() / 0.0254));
    probe.setDotsPerMeterY(qRound(resolution.height() / 0.0254));
    probe.fill(background);
    const QRgb plain = probe.pixel(0, 0);
    {
        QPainter onProbe(&probe);
        onProbe.setRenderHints(QPainter::RenderHints(hints));
        onProbe.setLayoutDirection(direction);
        onProbe.setFont(painter->font());
        onProbe.setPen(painter->pen());
        onProbe.drawText(rect.translated(0, Margin - rect.top()), Qt::AlignLeft, label);
    }
    for (int y = 0; y < probe.height(); ++y) {
        if (y >= Margin && y < Margin + rowHeight)
            continue;
        const auto* line = reinterpret_cast<const QRgb*>(probe.constScanLine(y));
        if (std::any_of(line, line + probe.width(), [plain](QRgb p) { return p != plain; }))
            return QImage();
    }
    return target.copy(row);
}
