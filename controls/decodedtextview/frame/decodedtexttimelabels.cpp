#include "decodedtexttimelabels_p.h"

#include "decodedtextpixelcopy_p.h"

#include <QPaintEngine>
#include <QPainter>

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
        const QImage& row = Row(painter, rect, label);
        if (!row.isNull()) {
            painter->drawImage(QPoint(0, y), row); // opaque: drawing it copies it
            paintedTo = y + rowHeight;
            return;
        }
    }
    painter->drawText(rect, Qt::AlignLeft, label);
    paintedTo = qMax(paintedTo, y + rowHeight);
}

const QImage& DecodedTextTimeLabels::Row(const QPainter* painter, const QRect& rect,
                                         const QString& label)
{
    auto found = rows.constFind(label);
    if (found != rows.constEnd())
        return *found;
    // Drawn as the gutter draws it, on its background, with room around the row: the label
    // can be kept only if it left that room untouched.
    QImage image(width, rowHeight + 2 * Margin, format);
    // Text is sized for the resolution of what it is drawn on.
    image.setDotsPerMeterX(qRound(resolution.width() / 0.0254));
    image.setDotsPerMeterY(qRound(resolution.height() / 0.0254));
    image.fill(background);
    const QRgb plain = image.pixel(0, 0);
    {
        QPainter onImage(&image);
        onImage.setRenderHints(QPainter::RenderHints(hints));
        onImage.setLayoutDirection(direction);
        onImage.setFont(painter->font());
        onImage.setPen(painter->pen());
        onImage.drawText(rect.translated(0, Margin - rect.top()), Qt::AlignLeft, label);
    }
    bool inside = true;
    for (int y = 0; y < image.height() && inside; ++y) {
        if (y >= Margin && y < Margin + rowHeight)
            continue;
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != plain) {
                inside = false;
                break;
            }
        }
    }
    return *rows.insert(label, inside ? image.copy(0, Margin, width, rowHeight) : QImage());
}
