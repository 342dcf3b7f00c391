#include "decodedtexttimelabels_p.h"

#include "decodedtextpixelcopy_p.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <limits>

namespace {

// Room above and below a row in which the ink of its label is looked for.
constexpr int Margin = 8;
constexpr int MaxRows = 512;
constexpr int MaxTexts = 4096;
constexpr qint64 TextsValidMs = 1000;

} // namespace

void DecodedTextTimeLabels::Begin(const QPainter* painter, const QColor& fill, int w, int h,
                                  const void* screen)
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
    // How text is rasterised also depends on what is painted on (a window rasterises text for
    // its screen) and on the screen.
    const int kind = painter->device()->devType();
    if (now != format || fill != background || painter->font() != font || painter->pen() != pen
        || int(painter->renderHints()) != hints || painter->layoutDirection() != direction
        || dpi != resolution || kind != deviceKind || screen != onScreen || w != width
        || h != rowHeight || rows.size() > MaxRows) {
        rows.clear();
        format = now;
        background = fill;
        font = painter->font();
        pen = painter->pen();
        hints = int(painter->renderHints());
        direction = painter->layoutDirection();
        resolution = dpi;
        deviceKind = kind;
        onScreen = screen;
        width = w;
        rowHeight = h;
    }
    active = true;
}

void DecodedTextTimeLabels::End()
{
    active = false;
}

QString DecodedTextTimeLabels::Text(QDateTime time)
{
    // Snippet times are UTC, whatever time zone the QDateTime carries.
    time.setTimeSpec(Qt::UTC);
    if (!time.isValid())
        return QString();
    if (!textsMade.isValid() || textsMade.hasExpired(TextsValidMs) || texts.size() >= MaxTexts) {
        texts.clear();
        textsMade.start();
    }
    // Zones are whole seconds off UTC: the second tells the label.
    const qint64 ms = time.toMSecsSinceEpoch();
    const qint64 key = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    const auto kept = texts.constFind(key);
    if (kept != texts.constEnd())
        return *kept;
    return *texts.insert(key, time.toLocalTime().toString(QStringLiteral("hh:mm:ss")));
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
        auto found = rows.find(label);
        if (found == rows.end())
            found = rows.insert(label, Row { QImage(), Inside(painter, rect, label) });
        if (!found->pixels.isNull()) {
            painter->drawImage(QPoint(0, y), found->pixels); // opaque: drawing it copies it
            paintedTo = y + rowHeight;
            return;
        }
        if (found->inside) {
            painter->drawText(rect, Qt::AlignLeft, label);
            found->pixels = TargetRow(painter, rect);
            paintedTo = y + rowHeight;
            return;
        }
    }
    painter->drawText(rect, Qt::AlignLeft, label);
    // Its ink may reach past its row: nothing is copied over it any more in this paint.
    paintedTo = std::numeric_limits<int>::max();
}

bool DecodedTextTimeLabels::Inside(const QPainter* painter, const QRect& rect,
                                   const QString& label) const
{
    // Drawn on an image with room around the row, the label must leave that room and a clear
    // line at either edge of its row untouched: the target may rasterise text otherwise (for
    // a screen's subpixels), which spreads its ink by less than a pixel.
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
        if (y > Margin && y < Margin + rowHeight - 1)
            continue;
        const auto* line = reinterpret_cast<const QRgb*>(probe.constScanLine(y));
        if (std::any_of(line, line + probe.width(), [plain](QRgb p) { return p != plain; }))
            return false;
    }
    return true;
}

QImage DecodedTextTimeLabels::TargetRow(const QPainter* painter, const QRect& rect) const
{
    // The row as just drawn on the target, which decides how text is rasterised there; only
    // where this paint painted all of it, over nothing but the background.
    const QPaintEngine* engine = painter->paintEngine();
    const QImage& target = *static_cast<const QImage*>(engine->paintDevice());
    const QTransform transform = painter->deviceTransform();
    const QRect row(qRound(transform.dx()), qRound(transform.dy()) + rect.top(), width, rowHeight);
    const QRegion clip = engine->systemClip();
    if (painter->hasClipping() || !target.rect().contains(row)
        || (!clip.isEmpty() && !QRegion(row).subtracted(clip).isEmpty()))
        return QImage();
    return target.copy(row);
}
