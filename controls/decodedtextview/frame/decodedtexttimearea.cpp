#include "decodedtexttimearea.h"

#include "decodedtextblock.h"
#include "decodedtextcontent.h"
#include "decodedtextlayoutitem.h"
#include "decodedtexttimelabels_p.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

namespace {

void DrawLabel(DecodedTextTimeLabels& labels, QPainter* painter, int y, int w, int h,
               const QDateTime& time)
{
    labels.Draw(painter, QRect(QPoint(1, y), QPoint(w - 3, y + h - 1)), labels.Text(time));
}

} // namespace

DecodedTextTimeArea::DecodedTextTimeArea(DecodedTextContent* content)
    : QWidget(content), content(content), background(220, 220, 220, 255), gutterWidth(20),
      labels(new DecodedTextTimeLabels)
{
    setObjectName(QStringLiteral("Timestamps"));
    // Every paint fills what it paints with an opaque colour first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

DecodedTextTimeArea::~DecodedTextTimeArea() = default;

QSize DecodedTextTimeArea::sizeHint() const
{
    return QSize(gutterWidth, 0);
}

void DecodedTextTimeArea::SetWidth(int width)
{
    gutterWidth = width;
    updateGeometry();
}

void DecodedTextTimeArea::SetLabelCaching(bool on)
{
    labelCaching = on;
}

void DecodedTextTimeArea::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), background);
    painter.setPen(Qt::black);
    if (labelCaching)
        labels->Begin(&painter, background, width(), fontMetrics().height(), screen());
    content->PaintTimeArea(&painter, event->rect());
    labels->End();
}

void DecodedTextTimeArea::PaintBlock(QPainter* painter, DecodedTextLayoutItem* item, int top,
                                     int bottom, int blockWidth)
{
    if (!item || !item->block)
        return;
    const DecodedTextBlock* block = item->block.data();
    const int w = gutterWidth;

    if (block->IsGap(item->snippet)) {
        const int mid = w / 2;
        const int q = w / 4;
        labels->Drawn(bottom);
        painter->drawLine(mid - q, top + 1, mid + q, top + 1);
        painter->drawLine(mid - q, bottom - 2, mid + q, bottom - 2);
        if (top + 4 < bottom - 2) {
            const int strokes = ((bottom - 2) - (top + 4) - 1) / 3 + 1;
            for (int n = 0, y = top + 5; n < strokes; ++n, y += 3)
                painter->drawLine(mid + 3, y - 2, mid - 3, y);
        }
        return;
    }

    const QFontMetrics metrics = fontMetrics();
    const int h = metrics.height();
    DrawLabel(*labels, painter, top, w, h, block->SnippetTime(item->snippet));
    // Further visual lines of a wrapped line: estimate the character that begins each.
    const int perLine = metrics.maxWidth() > 0 ? blockWidth / metrics.maxWidth() : 0;
    int c = 0;
    for (int y = top + h; y + h <= bottom; y += h) {
        c += perLine;
        DrawLabel(*labels, painter, y, w, h, block->TimeAt(item->start + c, item->snippet));
    }
}
