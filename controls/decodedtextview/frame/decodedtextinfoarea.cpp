#include "decodedtextinfoarea.h"

#include "decodedtextblock.h"
#include "decodedtextcontent.h"
#include "decodedtextlayoutitem.h"
#include "varnoresultdataxml.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRubberBand>

using VarnoResultDataXml::UserData;

DecodedTextInfoArea::DecodedTextInfoArea(DecodedTextContent* content)
    : QWidget(content),
      content(content),
      background(220, 220, 220, 255),
      rubberBand(nullptr),
      dragging(false),
      pressX(0),
      textLeft(0),
      textRight(0),
      margin(4),
      gutterWidth(0),
      lastItem(nullptr)
{
    SetWidth(50);
    setObjectName(QStringLiteral("Info"));
    // Every paint fills what it paints with an opaque colour first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The grip's cursor must follow the mouse without a button held.
    setMouseTracking(true);
}

DecodedTextInfoArea::~DecodedTextInfoArea()
{
    // Parented to the text area, yet it belongs to this gutter.
    delete rubberBand;
}

QSize DecodedTextInfoArea::sizeHint() const
{
    return QSize(gutterWidth, 0);
}

void DecodedTextInfoArea::SetWidth(int width)
{
    if (width < margin) {
        gutterWidth = 0;
        textLeft = 0;
        textRight = 0;
    } else {
        gutterWidth = width;
        textLeft = margin;
        textRight = width - margin;
    }
    updateGeometry();
}

void DecodedTextInfoArea::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect r = event->rect();
    painter.fillRect(r, background);
    // The one-pixel dark grey line: stroking it through the paint region's clip cost more than
    // the rest of the gutter, and on an unscaled device filling it gives the same pixels.
    if (devicePixelRatioF() == 1.0) {
        painter.fillRect(QRect(gutterWidth - 2, r.top(), 1, r.height()), Qt::darkGray);
    } else {
        painter.setPen(Qt::darkGray);
        painter.drawLine(gutterWidth - 2, r.top(), gutterWidth - 2, r.bottom());
    }
    if (gutterWidth > margin) {
        painter.setPen(Qt::black);
        content->PaintInfoArea(&painter, contentsRect());
        FlushRow(&painter);
    }
}

void DecodedTextInfoArea::AddCallSign(QPainter* painter, const UserData* item, int top,
                                      int bottom)
{
    if (top != rowRect.top())
        FlushRow(painter);
    if (item == lastItem)
        return;
    rowRect = QRect(QPoint(textLeft, top), QPoint(textRight - 1, bottom - 1));
    if (!rowText.isEmpty())
        rowText += QStringLiteral(", ");
    rowText += item->CallSign;
    lastItem = item;
}

void DecodedTextInfoArea::FlushRow(QPainter* painter)
{
    if (rowRect.isValid()) {
        const QString shown = fontMetrics().elidedText(rowText, Qt::ElideRight, rowRect.width());
        painter->drawText(rowRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
        rowRect = QRect();
    }
    rowText.clear();
    lastItem = nullptr;
}

UserData* DecodedTextInfoArea::CallSignAt(const DecodedTextLayoutItem& item, int x) const
{
    if (x < textLeft || x >= textRight || !item.block || item.block->userData.isEmpty())
        return nullptr;
    // Repeats the layout of the painted row.
    const QFontMetrics metrics = fontMetrics();
    const int separator = metrics.horizontalAdvance(QStringLiteral(", "));
    int x0 = textLeft;
    for (UserData* u : qAsConst(item.block->userData)) {
        if (!u || u->Type != UserData::CallSignType || u->Start < item.start)
            continue;
        const int w = metrics.horizontalAdvance(u->CallSign);
        if (x0 <= x && x <= x0 + w)
            return u;
        x0 += separator + w;
    }
    return nullptr;
}

UserData* DecodedTextInfoArea::SelectCallSignAt(const QPoint& pos)
{
    DecodedTextLayoutItem item = content->ItemAtPoint(pos);
    UserData* hit = CallSignAt(item, pos.x());
    if (hit) {
        item.start = hit->Start;
        item.end = hit->End - hit->Start < 1 ? hit->Start + 1 : hit->End;
        content->SelectItem(item);
    }
    return hit;
}

void DecodedTextInfoArea::ShowMenuAt(const QPoint& pos)
{
    content->SetChannelHold(true);
    if (SelectCallSignAt(pos)) {
        QMenu* menu = new QMenu(this);
        QAction* edit = new QAction(tr("Edit"), menu);
        connect(edit, SIGNAL(triggered()), this, SLOT(EditUserData()));
        menu->addAction(edit);
        QAction* remove = new QAction(tr("Delete"), menu);
        connect(remove, SIGNAL(triggered()), this, SLOT(DeleteUserData()));
        menu->addAction(remove);
        menu->exec(mapToGlobal(pos));
        delete menu;
    }
    content->SetChannelHold(false);
}

void DecodedTextInfoArea::CallSignsText(const DecodedTextLayoutItem& item, QString& text) const
{
    if (!item.block)
        return;
    for (const UserData* u : qAsConst(item.block->userData)) {
        if (!u || u->Type != UserData::CallSignType)
            continue;
        if (u->Start < item.start || u->Start > item.end)
            continue;
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += u->CallSign;
    }
}

void DecodedTextInfoArea::EditUserData()
{
    content->EditCallSign();
}

void DecodedTextInfoArea::DeleteUserData()
{
    content->DeleteCallSign();
}

void DecodedTextInfoArea::mousePressEvent(QMouseEvent* event)
{
    if (event->x() >= textRight) {
        if (!rubberBand)
            rubberBand = new QRubberBand(QRubberBand::Line, content);
        pressX = event->x();
        const int x = mapTo(content, event->pos()).x();
        bandGeometry = content->contentsRect();
        bandGeometry.setLeft(x);
        bandGeometry.setRight(x);
        rubberBand->setGeometry(bandGeometry);
        rubberBand->show();
        dragging = true;
    } else if (event->button() != Qt::RightButton) {
        SelectCallSignAt(event->pos());
    } else {
        ShowMenuAt(event->pos());
    }
}

void DecodedTextInfoArea::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging) {
        const int x = bandGeometry.left() + (event->x() - pressX);
        QRect band = bandGeometry;
        band.setLeft(x);
        band.setRight(x);
        rubberBand->setGeometry(band);
        setCursor(Qt::SplitHCursor);
    } else {
        setCursor(event->x() < textRight ? Qt::ArrowCursor : Qt::SplitHCursor);
    }
}

void DecodedTextInfoArea::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging)
        return;
    const int newWidth = qMax(margin, gutterWidth + (event->x() - pressX));
    dragging = false;
    rubberBand->hide();
    content->SetInfoAreaWidth(newWidth);
}

void DecodedTextInfoArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (SelectCallSignAt(event->pos()))
        content->EditCallSign();
}
