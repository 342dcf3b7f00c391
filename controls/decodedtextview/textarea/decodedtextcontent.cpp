#include "decodedtextcontent.h"

#include "decodedtextdata.h"
#include "decodedtexthighlighter.h"
#include "decodedtextinfoarea.h"
#include "decodedtextlastlinecache_p.h"
#include "decodedtextlivefollow_p.h"
#include "decodedtextrepaintscope_p.h"
#include "decodedtextshownblocks.h"
#include "decodedtextsignrows.h"
#include "decodedtexttimearea.h"
#include "varnoresultdataxml.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

using VarnoResultDataXml::UserData;

namespace {

// A scroll of an opaque view moves its pixels at once. Moved this often since the last paint,
// the view is only marked for painting: a burst of appends moves it for every line, and moving
// pixels that will be painted again anyway costs more than painting them.
constexpr int MovesPerPaint = 4;
// Beyond this many rectangles a paint is done in one go, as the editor does it.
constexpr int MaxPaintedParts = 8;

// Whether region is a few strips across the same width, one above the other with room between:
// painted one by one, none of them shares a pixel with another, nor does a strip reach past the
// editor's right margin on its own. A fractional pixel ratio could round two strips onto one
// row of pixels.
bool SeparateStrips(const QRegion& region, qreal pixelRatio)
{
    if (region.rectCount() < 2 || region.rectCount() > MaxPaintedParts
        || pixelRatio != std::floor(pixelRatio))
        return false;
    const QRect bounds = region.boundingRect();
    for (const QRect& part : region) {
        if (part.left() != bounds.left() || part.right() != bounds.right())
            return false;
    }
    return true;
}

DecodedTextLayoutItem* ItemOf(const QTextBlock& line)
{
    return dynamic_cast<DecodedTextLayoutItem*>(line.userData());
}

} // namespace

DecodedTextContent::DecodedTextContent(int channel, bool editable, DecodedTextData* model,
                                       QWidget* parent)
    : QPlainTextEdit(parent),
      busy(0),
      channel(channel),
      model(model),
      timeArea(nullptr),
      infoArea(nullptr),
      highlighter(nullptr),
      colorCoding(false),
      tooltipWithTime(true),
      rightToLeft(false),
      editable(editable),
      layoutGuard(false),
      dialogOpen(false),
      shown(new DecodedTextShownBlocks),
      signRows(new DecodedTextSignRows),
      lastLine(new DecodedTextLastLineCache)
{
    setObjectName(QStringLiteral("DecodedTextContent"));

    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setFocusPolicy(Qt::StrongFocus);

    if (editable) {
        setReadOnly(false);
        setUndoRedoEnabled(true);
        setTextInteractionFlags(Qt::TextEditorInteraction);
        connect(this, SIGNAL(cursorPositionChanged()), this, SLOT(SlotPositionChanged()));
        connect(document(), SIGNAL(contentsChange(int, int, int)), this,
                SLOT(SlotTextChanged(int, int, int)));
    } else {
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    }

    setContextMenuPolicy(Qt::CustomContextMenu);
    setContentsMargins(0, 0, 0, 0);
    setFont(QFont(QStringLiteral("Courier"), -1, -1, false));

    timeArea = new DecodedTextTimeArea(this);
    timeArea->setFont(font());
    // Same shape as the gutter's "hh:mm:ss" labels, with the widest digits.
    timeArea->SetWidth(fontMetrics().horizontalAdvance(QStringLiteral("29:99:99")) + 4);

    infoArea = new DecodedTextInfoArea(this);
    infoArea->setFont(font());
    const int infoWidth = model->GetInfoAreaWidth();
    infoArea->SetWidth(infoWidth);
    if (infoWidth == 0)
        infoArea->hide();

    highlighter = new DecodedTextHighlighter(this, currentCharFormat());

    normalFormat = currentCharFormat();
    lowQualityFormat = normalFormat;
    lowQualityFormat.setForeground(QBrush(QColor(255, 0, 0, 255)));

    UpdateColors();

    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAnywhere);
    document()->setDefaultTextOption(option);
    rightToLeft = option.textDirection() == Qt::RightToLeft;

    connect(this, SIGNAL(customContextMenuRequested(const QPoint&)), this,
            SLOT(ShowContextMenu(const QPoint &)));
    connect(this, SIGNAL(updateRequest(QRect,int)), this, SLOT(UpdateView(QRect,int)));

    live = new DecodedTextLiveFollow(this, [this] { return !hasFocus() && !dialogOpen; });
    if (!editable)
        DecodedTextRepaintScope::Attach(
            this, [this](const QTextBlock& line) { return blockBoundingGeometry(line); },
            [this](const QRectF& part, const QRectF& whole) { RepaintContents(part, whole); },
            [this] { return live->Follows() ? firstVisibleBlock().blockNumber() : -1; });
}

// What the editor does with its text control's request to repaint part of the document: the
// part that shows, in the view's coordinates, is painted again and reported. The view is painted
// again only in viewPart; the gutters, whose rows also show annotations of lines the change did
// not touch, and anyone else following the editor's repaints, hear of the whole request.
void DecodedTextContent::RepaintContents(const QRectF& viewPart, const QRectF& whole)
{
    if (!whole.isValid()) {
        viewport()->update();
        emit updateRequest(viewport()->rect(), 0);
        return;
    }
    // As the editor takes its offsets, cut to whole pixels.
    const QPointF content = contentOffset();
    const QPoint offset(int(-content.x()), int(-content.y()));
    const QRect visible(offset, viewport()->size());
    const auto shown = [&](const QRectF& contentsRect) {
        return contentsRect.adjusted(-1, -1, 1, 1)
            .intersected(visible)
            .toAlignedRect()
            .translated(-offset);
    };
    const QRect part = shown(viewPart);
    if (!part.isEmpty())
        viewport()->update(part);
    const QRect reported = shown(whole);
    if (!reported.isEmpty())
        emit updateRequest(reported, 0);
}

DecodedTextContent::~DecodedTextContent() = default;

// ---------------------------------------------------------------------------
// Filling the document

void DecodedTextContent::AppendBlock(QExplicitlySharedDataPointer<DecodedTextBlock> block)
{
    if (!block)
        return;

    QTextDocument* doc = document();
    if (block->rightToLeft != rightToLeft) {
        rightToLeft = block->rightToLeft;
        QTextOption option = doc->defaultTextOption();
        option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        option.setAlignment(rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
        doc->setDefaultTextOption(option);
    }

    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    QTextBlock line = cursor.block();
    const DecodedTextLayoutItem* last = ItemOf(line);

    int position = block->StartPosition();
    bool lineAsWhole = true;
    if (last && last->block) {
        if (last->block != block) {
            // A new transmission: exactly one empty line between two blocks.
            if (!last->block->text.endsWith(QLatin1Char('\n')))
                cursor.insertBlock();
            cursor.insertBlock();
            line = cursor.block();
        } else {
            position = last->end;
            // The continued line must carry the snippet index that laying out the whole block
            // at once would give it, or a rebuild would differ from this document.
            const DecodedTextLayoutItem* before = ItemOf(line.previous());
            int whole = block->IndexOfPosition(
                last->start, before && before->block == block ? before->snippet : 0);
            if (whole < 0)
                whole = block->snippets.size();
            lineAsWhole = whole == last->snippet;
        }
    }

    // The snippet that holds the position is the last line's or a later one; the search only
    // starts over from the first when the line's index does not lead to it.
    const int hint = last && last->block == block ? qMax(last->snippet, 0) : 0;
    int s = block->IndexOfPosition(position, hint);
    if (s < 0 && hint > 0)
        s = block->IndexOfPosition(position, 0);
    if (s < 0) {
        shown->Appended(block, -1, false, true);
        // Only the block's lines were opened and nothing is placed; the line that was last may
        // keep its shaping still. A rebuild follows the end once it is done.
        if (!highlightLater)
            lastLine->Follow(doc);
        return;
    }

    const bool quality = colorCoding && block->HasQuality();
    int inserted = 0;
    if (quality) {
        const int threshold = model->GetQualityThreshold();
        const int count = block->snippets.size();
        for (int i = s; i < count; ++i) {
            const int q = block->snippets.at(i).quality;
            const bool good = q >= 0 && q >= threshold;
            const QString piece = block->SnippetText(i);
            inserted += piece.size();
            cursor.insertText(piece, good ? normalFormat : lowQualityFormat);
        }
    } else {
        const QString piece = block->TextFromSnippet(s);
        inserted = piece.size();
        cursor.insertText(piece);
    }

    int k = 0;
    highlighter->BeginBatch();
    for (; line.isValid(); line = line.next()) {
        DecodedTextLayoutItem* item = ItemOf(line);
        if (item) {
            k = item->snippet;
            position = item->start;
        } else {
            k = block->IndexOfPosition(position, k);
            if (k < 0)
                k = block->snippets.size();
            item = new DecodedTextLayoutItem;
            item->block = block;
            item->start = position;
            item->end = position;
            item->snippet = k;
            line.setUserData(item);
        }
        item->end = item->start + block->PositionSpan(k, item->start, line.length());
        if (!highlightLater)
            highlighter->rehighlightBlock(line);
        position = item->end;
        if (!line.next().isValid()) {
            if (item->end != block->EndPosition())
                item->end = block->EndPosition();
            break;
        }
    }
    highlighter->EndBatch();
    shown->Appended(block, inserted, quality, lineAsWhole);
    if (!block->closed)
        shown->MarkStale(block); // highlighted as open; closing it will change that

    if (highlightLater)
        placeLater = true; // once the whole document is laid out
    else
        PlaceAtEnd(cursor);
}

// Shows the cursor at the end of what was appended, and the view follows it there.
void DecodedTextContent::PlaceAtEnd(const QTextCursor& cursor)
{
    lastLine->Follow(document());
    setTextCursor(cursor);
    // Making the cursor visible may leave the end of the last line below the view, depending on
    // the font's leading; the view is meant to show the end itself.
    if (!live->HoldsStill())
        SlotScrollBottom();

    if (live->Follows())
        live->ScrollLater();
}

void DecodedTextContent::UpdateContent()
{
    if (busy) {
        shown->Invalidate();
        return;
    }
    busy = 1;
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    QExplicitlySharedDataPointer<DecodedTextBlock> last;
    if (buffer)
        last = buffer->LastBlock();
    if (!last) {
        busy = 0;
        return;
    }
    // New data that went into an older block: its lines, which are not renewed here, no longer
    // match a rebuild, and its annotations may have changed.
    const QExplicitlySharedDataPointer<DecodedTextBlock> written = buffer->LastWritten();
    if (written && written != last)
        shown->Invalidate();
    // Trimming that removed no text may still have dropped annotations of the oldest block.
    const QExplicitlySharedDataPointer<DecodedTextBlock> first = buffer->FirstBlock();
    if (first == shown->first && first->userData.size() != shown->firstAnnotations
        && !shown->entries.isEmpty() && shown->entries.first().block == first
        && shown->entries.first().hasLines)
        shown->firstStale = true;
    const QTextCursor saved = textCursor();
    QScrollBar* bar = verticalScrollBar();
    const int slider = bar ? bar->sliderPosition() : 0;
    const int rows = bar ? bar->maximum() : 0;
    AppendBlock(last);
    // Annotations delivered with the data may colour lines shown before.
    if (!shown->entries.isEmpty() && shown->entries.last().block == last
        && shown->entries.last().hasLines)
        shown->MarkStale(last);
    NoteNewest();
    setTextCursor(saved);
    if (bar)
        bar->setValue(slider); // not setSliderPosition: that reports a scroll by the operator
    // Appended text leaves the view where the operator has it while working or reading in it.
    const bool followed = live->Follows();
    if (!followed)
        live->Release();
    if (bar)
        live->LinesAppended(bar->maximum() - rows, followed);
    busy = 0;
}

void DecodedTextContent::RefreshContent()
{
    if (busy) {
        shown->Invalidate();
        return;
    }
    busy = 1;

    int a = 0;
    int b = 0;
    live->BeginRebuild();
    const bool restore = SelectionForRebuild(a, b);

    Rebuild(restore, a, b);
}

// The document anew from the buffer; restore, a and b as FinishRefresh takes them.
void DecodedTextContent::Rebuild(bool restore, int a, int b)
{
    clear();
    shown->Reset();
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    if (buffer && !buffer->blocks.isEmpty()) {
        const auto blocks = buffer->blocks;
        // Inside one edit block, and with the cursor placed only at the end, the document is
        // shaped and laid out once the highlighting is known, not after every insertion.
        QTextCursor batch(document());
        batch.beginEditBlock();
        highlightLater = true;
        placeLater = false;
        for (const auto& block : blocks)
            AppendBlock(block);
        highlightLater = false;
        highlighter->RehighlightAll();
        NoteNewest();
        batch.endEditBlock();
        if (placeLater) {
            batch.movePosition(QTextCursor::End);
            PlaceAtEnd(batch);
        }
    }
    shown->ForgetClosed();

    FinishRefresh(restore, a, b);
}

// The selection as a rebuild puts it back: text in front of the oldest block still held is
// about to go, so the positions move back by where that block began.
bool DecodedTextContent::SelectionForRebuild(int& a, int& b)
{
    if (!SelectionToKeep(a, b))
        return false;
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    QExplicitlySharedDataPointer<DecodedTextBlock> first;
    if (buffer)
        first = buffer->FirstBlock();
    if (!first)
        return false;
    const int d = DocumentPosition(first, first->StartPosition());
    a -= d;
    b -= d;
    return true;
}

// Reads the selection; a rebuild puts it back unless the cursor merely sits at the end.
bool DecodedTextContent::SelectionToKeep(int& a, int& b) const
{
    const QTextCursor cursor = textCursor();
    a = cursor.selectionStart();
    b = cursor.selectionEnd();
    // The end read off the document: moving a copy of the cursor there would shape the last
    // line again to learn where on it the copy stands.
    return b != a || a != document()->characterCount() - 1;
}

// Puts back the selection a rebuild moved (a and b already counted from the new start) and
// leaves the document as freshly loaded.
void DecodedTextContent::FinishRefresh(bool restore, int a, int b)
{
    // The editor measures its scroll range when the document's size changes, with the lines at
    // the end laid out as they were then; lines laid out later (the last one's margin, a wrap)
    // can leave the end cut off or the range depending on the order of the edits. Measured once
    // more on the finished document, the end shows in full however it was reached.
    lastLine->Follow(document());
    if (QAbstractTextDocumentLayout* layout = document()->documentLayout())
        emit layout->documentSizeChanged(layout->documentSize());

    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    const int newEnd = end.position();
    if (restore && a >= 0 && a < newEnd && b <= newEnd) {
        end.setPosition(a);
        if (b != a)
            end.setPosition(b, QTextCursor::KeepAnchor);
        setTextCursor(end);
        ensureCursorVisible();
    }

    live->EndRebuild();
    SlotPositionChanged();
    document()->clearUndoRedoStacks();
    document()->setModified(false);
    busy = 0;
}

// ---------------------------------------------------------------------------
// Slots

void DecodedTextContent::ShowContextMenu(const QPoint& pt)
{
    // The menu's actions work on text that trimming must not take away meanwhile.
    SetChannelHold(true);
    QMenu* menu = createStandardContextMenu();
    AddActions(menu, pt);
    menu->exec(viewport()->mapToGlobal(pt));
    delete menu;
    SetChannelHold(false);
}

void DecodedTextContent::UpdateColors()
{
    setStyleSheet(QStringLiteral("QPlainTextEdit{ color: %1; background-color: %2; "
                                 "selection-color: %2; selection-background-color: %1 }")
                      .arg(model->GetForegroundColor(), model->GetBackgroundColor()));
    UpdateOpaqueViewport();
    update();
}

// The style sheet's background shows through the viewport from behind. Painted by the viewport
// itself, in the same colour, the viewport is opaque: scrolling then moves its pixels instead of
// painting all of it again, and nothing behind it is painted first. Only a plain colour of our
// own style sheet is known to be all that lies behind.
void DecodedTextContent::UpdateOpaqueViewport()
{
    // Only the forms that the style sheet reads as QColor does: a hex code or a single name.
    const QString name = model->GetBackgroundColor().trimmed();
    const bool plainName = name.startsWith(QLatin1Char('#'))
        ? std::all_of(name.begin() + 1, name.end(),
                      [](QChar c) { return std::isxdigit(c.unicode() < 128 ? c.toLatin1() : 0); })
        : !name.isEmpty()
            && std::all_of(name.begin(), name.end(), [](QChar c) {
                   return c.unicode() < 128 && std::isalpha(c.toLatin1());
               });
    const QColor colour = plainName ? QColor(name) : QColor();
    bool ownSheet = qApp->styleSheet().isEmpty();
    for (const QWidget* w = parentWidget(); ownSheet && w; w = w->parentWidget())
        ownSheet = w->styleSheet().isEmpty();
    opaqueBackground = ownSheet && colour.isValid() && colour.alpha() == 255 ? colour : QColor();
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent,
                             opaqueBackground.isValid() && scrollsSincePaint < MovesPerPaint);
}

void DecodedTextContent::UpdateView()
{
    if (busy)
        return;
    busy = 1;
    SlotPositionChanged();
    highlighter->RehighlightAll();
    shown->staleAll = false;
    shown->ForgetClosed();
    busy = 0;
}

void DecodedTextContent::SlotScrollBottom()
{
    if (QScrollBar* bar = verticalScrollBar()) {
        bar->setValue(bar->maximum());
        live->AtBottom();
    }
}

void DecodedTextContent::UpdateView(QRect rect, int dy)
{
    if (dy && scrollsSincePaint >= MovesPerPaint) {
        timeArea->update();
        infoArea->update();
    } else if (dy) {
        timeArea->scroll(0, dy);
        infoArea->scroll(0, dy);
        if (++scrollsSincePaint == MovesPerPaint)
            viewport()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    } else {
        timeArea->update(0, rect.y(), timeArea->width(), rect.height());
        infoArea->update(0, rect.y(), infoArea->width(), rect.height());
    }
    QScrollBar* bar = verticalScrollBar();
    if (rect.contains(viewport()->rect()) && bar && bar->isVisible())
        UpdateMargins();
}

void DecodedTextContent::SlotColorCoding(bool selected)
{
    colorCoding = selected;
    RefreshContent();
}

void DecodedTextContent::SlotTooltipTime(bool selected)
{
    tooltipWithTime = selected;
}

// ---------------------------------------------------------------------------
// Layout of the gutters

void DecodedTextContent::UpdateMargins()
{
    if (layoutGuard)
        return;
    layoutGuard = true;
    const QRect r = contentsRect();
    const int timeWidth = timeArea->sizeHint().width();
    const int infoWidth = infoArea->sizeHint().width();
    timeArea->setGeometry(r.left(), r.top(), timeWidth, r.height());
    infoArea->setGeometry(r.left() + timeWidth, r.top(), infoWidth, r.height());
    // Every update request of the whole viewport comes here; setting the same margins again
    // would lay the scroll area's children out each time for nothing.
    const QMargins margins(timeWidth + infoWidth, 0, 0, 0);
    if (viewportMargins() != margins)
        setViewportMargins(margins);
    if (live)
        live->Place();
    layoutGuard = false;
}

void DecodedTextContent::SetInfoAreaWidth(int width)
{
    if (width < 0)
        return;
    const int current = infoArea->sizeHint().width();
    if (width == 0 && current != 0)
        infoArea->hide();
    else if (width > 0 && current == 0)
        infoArea->show();
    infoArea->SetWidth(width);
    model->SetInfoAreaWidth(width);
    UpdateMargins();
    update();
}

void DecodedTextContent::PaintTimeArea(QPainter* painter, const QRect& rect)
{
    QTextBlock line = firstVisibleBlock();
    int top = int(blockBoundingGeometry(line).translated(contentOffset()).top());
    while (line.isValid() && top <= rect.bottom()) {
        const QRectF bounds = blockBoundingRect(line);
        const int bottom = top + int(bounds.height());
        if (line.isVisible() && bottom >= rect.top()) {
            if (DecodedTextLayoutItem* item = ItemOf(line))
                timeArea->PaintBlock(painter, item, top, bottom, int(bounds.width()));
        }
        line = line.next();
        top = bottom;
    }
}

void DecodedTextContent::PaintInfoArea(QPainter* painter, const QRect& rect)
{
    const QFontMetrics metrics = fontMetrics();
    const int margin = int(document()->documentMargin());
    const int flags = Qt::TextWrapAnywhere | Qt::AlignTop | Qt::AlignLeft;

    signRows->Begin(font());
    QTextBlock line = firstVisibleBlock();
    int top = int(blockBoundingGeometry(line).translated(contentOffset()).top());
    while (line.isValid() && top <= rect.bottom()) {
        const QRect bounds = blockBoundingRect(line).toRect();
        const int bottom = top + bounds.height();
        const DecodedTextLayoutItem* item = ItemOf(line);
        if (line.isVisible() && item && item->block && bottom >= rect.top()) {
            const QRect m(bounds.left(), bounds.top(), bounds.width() - 2 * margin, 100);
            const int lineStart = line.position();
            bool selected = false;
            for (const UserData* u : qAsConst(item->block->userData)) {
                if (!u || u->Type != UserData::CallSignType)
                    continue;
                // A line holds its start up to, not including, the next line's start: a sign
                // at the very start of a line belongs to that line alone.
                const qint64 q = qint64(lineStart) - item->start + u->Start;
                if (q < lineStart || q >= qint64(lineStart) + line.length())
                    continue;
                if (!selected) {
                    // All prefixes measured on this line start at the item's start.
                    signRows->SelectLine(item->block.data(), item->start, m,
                                         item->block->Text(item->start,
                                                           std::numeric_limits<int>::max()),
                                         line);
                    selected = true;
                }
                const qint64 length = qint64(u->Start) + 1 - item->start;
                // The wrapped height up to the sign's first character tells its visual row.
                const int h = signRows->Height(
                    metrics, flags, int(qBound<qint64>(0, length, std::numeric_limits<int>::max())));
                const int y = top + h - metrics.height();
                if (bottom > y)
                    infoArea->AddCallSign(painter, u, y, bottom);
            }
        }
        line = line.next();
        top = bottom;
    }
}

// ---------------------------------------------------------------------------
// Items and positions

DecodedTextLayoutItem DecodedTextContent::ItemAtPoint(const QPoint& point)
{
    const QTextCursor cursor =
        cursorForPosition(QPoint(int(document()->documentMargin()), point.y()));
    return ItemAtPosition(cursor.position());
}

DecodedTextLayoutItem DecodedTextContent::ItemAtPosition(int position)
{
    DecodedTextLayoutItem result;
    const QTextBlock line = document()->findBlock(position);
    if (const DecodedTextLayoutItem* item = ItemOf(line)) {
        result.block = item->block;
        result.start = item->start + (position - line.position());
        result.end = item->end;
    }
    return result;
}

void DecodedTextContent::SelectItem(const DecodedTextLayoutItem& item)
{
    if (!item.block)
        return;
    selectionItem = item;
    QTextCursor cursor = textCursor();
    cursor.setPosition(DocumentPosition(item.block, item.start));
    cursor.setPosition(DocumentPosition(item.block, item.end), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void DecodedTextContent::SetChannelHold(bool hold)
{
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer = model->GetChannelData(channel);
    if (buffer)
        buffer->hold = hold;
}

int DecodedTextContent::DocumentPosition(QExplicitlySharedDataPointer<DecodedTextBlock> block,
                                         int position)
{
    for (QTextBlock line = document()->firstBlock(); line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* item = ItemOf(line);
        if (item && item->block == block && item->start <= position && position < item->end)
            return line.position() - item->start + position;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Events

bool DecodedTextContent::event(QEvent* e)
{
    if ((e->type() == QEvent::StyleChange || e->type() == QEvent::ParentChange) && model)
        UpdateOpaqueViewport();
    if (e->type() != QEvent::ToolTip)
        return QPlainTextEdit::event(e);
    ShowToolTip(static_cast<QHelpEvent*>(e));
    return true;
}

void DecodedTextContent::ShowToolTip(QHelpEvent* e)
{
    QPoint p = e->pos();
    QString text;
    const int timeWidth = timeArea->sizeHint().width();
    const int infoWidth = infoArea->sizeHint().width();
    if (p.x() < timeWidth) {
        // The time gutter has no tooltip of its own.
    } else if (p.x() < timeWidth + infoWidth) {
        infoArea->CallSignsText(ItemAtPoint(p), text);
    } else {
        p.rx() -= timeWidth + infoWidth;
        const DecodedTextLayoutItem item = ItemAtPosition(cursorForPosition(p).position());
        if (item.end - item.start > 0 && item.block)
            item.block->ToolTip(item.start, text, tooltipWithTime);
    }
    if (!text.isEmpty()) {
        QToolTip::showText(e->globalPos(), text, this);
    } else {
        QToolTip::hideText();
        e->ignore();
    }
}

void DecodedTextContent::wheelEvent(QWheelEvent* e)
{
    // Scrolling back means reading: stop following new text. Taking the focus does nothing in
    // a window that is not the active one; the scroll itself pauses the pane as well.
    setFocus(Qt::OtherFocusReason);
    QPlainTextEdit::wheelEvent(e);
}

void DecodedTextContent::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        clearFocus();
        live->Unpause();
    }
    const int before = verticalScrollBar()->value();
    QPlainTextEdit::keyPressEvent(e);
    if (e->matches(QKeySequence::MoveToEndOfDocument) && live->IsPaused())
        live->ResumeLive();
    else if (verticalScrollBar()->value() != before)
        live->OperatorScrolled(); // the keys moved the view itself
}

void DecodedTextContent::paintEvent(QPaintEvent* e)
{
    if (opaqueBackground.isValid()) {
        QPainter painter(viewport());
        painter.fillRect(e->rect(), opaqueBackground);
    }
    // The editor draws every line across the bounding rectangle of what is to be painted, clipped
    // to that rectangle. A scroll back and forth leaves a strip at the top and one at the bottom,
    // and every line between would be drawn for nothing: each strip is painted on its own, each
    // clipped to itself, so no pixel is drawn twice.
    const QRegion& region = e->region();
    if (SeparateStrips(region, viewport()->devicePixelRatioF())) {
        for (const QRect& part : region) {
            QPaintEvent partEvent(part);
            QPlainTextEdit::paintEvent(&partEvent);
        }
    } else {
        QPlainTextEdit::paintEvent(e);
    }
    if (scrollsSincePaint > 0) {
        scrollsSincePaint = 0;
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent, opaqueBackground.isValid());
    }
}

void DecodedTextContent::resizeEvent(QResizeEvent* e)
{
    QPlainTextEdit::resizeEvent(e);
    UpdateMargins();
}
