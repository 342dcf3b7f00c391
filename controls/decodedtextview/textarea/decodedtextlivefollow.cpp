#include "decodedtextlivefollow_p.h"

#include "decodedtextcontent.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>

DecodedTextLiveFollow::DecodedTextLiveFollow(DecodedTextContent* content,
                                             std::function<bool()> mayScroll)
    : QObject(content), content(content), bar(content->verticalScrollBar()),
      mayScroll(std::move(mayScroll))
{
    hold.setSingleShot(true);
    connect(&hold, SIGNAL(timeout()), this, SLOT(HoldOver()));
    connect(bar, SIGNAL(rangeChanged(int, int)), this, SLOT(RangeChanged(int, int)));
    connect(bar, SIGNAL(valueChanged(int)), this, SLOT(ValueChanged(int)));
    connect(bar, SIGNAL(actionTriggered(int)), this, SLOT(ActionTriggered(int)));
}

bool DecodedTextLiveFollow::HoldsStill() const
{
    return paused || buttonDown || hold.isActive();
}

void DecodedTextLiveFollow::AtBottom()
{
    following = bar->value() == bar->maximum();
}

void DecodedTextLiveFollow::Release()
{
    following = false;
}

void DecodedTextLiveFollow::LinesAppended(int count, bool followed)
{
    if (count <= 0)
        return;
    if (buttonDown || hold.isActive())
        missedWhileHeld = true;
    // Only the operator's own scrolling pauses; the focus alone keeps its written meaning.
    if (followed || !paused)
        return;
    newLines += count;
    ShowBadge();
}

void DecodedTextLiveFollow::OperatorScrolled()
{
    if (bar->sliderPosition() < bar->maximum()) {
        Pause();
        ShowBadge();
    } else if (paused) {
        // Scrolled back to the very end: live again.
        Unpause();
        following = true;
    }
}

void DecodedTextLiveFollow::ResumeLive()
{
    Unpause();
    if (content->isReadOnly())
        content->clearFocus();
    QMetaObject::invokeMethod(content, "SlotScrollBottom");
}

void DecodedTextLiveFollow::Unpause()
{
    paused = false;
    newLines = 0;
    if (badge)
        badge->hide();
}

void DecodedTextLiveFollow::ScrollLater()
{
    QTimer::singleShot(10, this, SLOT(DeferredBottom()));
}

void DecodedTextLiveFollow::MousePressed(Qt::MouseButton button)
{
    // The right button opens the context menu, which takes the release; only the left one
    // selects and double-clicks.
    if (button != Qt::LeftButton)
        return;
    buttonDown = true;
    hold.stop();
}

void DecodedTextLiveFollow::MouseReleased(Qt::MouseButton button)
{
    if (button != Qt::LeftButton || !buttonDown)
        return;
    buttonDown = false;
    // A second click of a double click comes within this time; the word under it must still
    // be the one aimed at.
    hold.start(QApplication::doubleClickInterval());
}

void DecodedTextLiveFollow::Place()
{
    if (!badge)
        return;
    // A child of the scroll area, not of its viewport: the viewport moves its children when
    // it scrolls.
    badge->adjustSize();
    const QRect area = content->viewport()->geometry();
    const int margin = 4;
    badge->move(area.right() - badge->width() - margin, area.bottom() - badge->height() - margin);
}

void DecodedTextLiveFollow::BeginRebuild()
{
    topBlock.reset();
    if (!HoldsStill())
        return;
    // The first line at or below the top of the view that shows decoded text, and how many
    // lines without any (those between two blocks) stand above it in the view.
    const QTextCursor top = content->cursorForPosition(QPoint(0, 0));
    QTextBlock line = top.block();
    int offset = top.position() - line.position();
    for (linesAbove = 0; line.isValid() && linesAbove < 3; ++linesAbove, line = line.next(), offset = 0) {
        const DecodedTextLayoutItem item = content->ItemAtPosition(line.position() + offset);
        if (item.block && item.start < item.end) {
            topBlock = item.block;
            topPosition = item.start;
            rowsBelow = bar->maximum() - bar->value();
            return;
        }
    }
}

void DecodedTextLiveFollow::EndRebuild()
{
    if (!topBlock)
        return;
    const int position = content->DocumentPosition(topBlock, topPosition);
    // Trimmed away meanwhile: what is left of the oldest text is shown.
    const bool found = content->ItemAtPosition(position).block == topBlock;
    topBlock.reset();
    QTextBlock line = content->document()->findBlock(found ? position : 0);
    QTextLine row = found ? line.layout()->lineForTextPosition(position - line.position()) : QTextLine();
    for (int i = 0; found && i < linesAbove && line.previous().isValid(); ++i) {
        line = line.previous();
        row = QTextLine();
    }
    moving = true;
    bar->setValue(line.firstLineNumber() + (row.isValid() ? row.lineNumber() : 0));
    moving = false;
    following = false;
    LinesAppended(bar->maximum() - bar->value() - rowsBelow, false);
}

void DecodedTextLiveFollow::RangeChanged(int, int maximum)
{
    if (!following || HoldsStill())
        return;
    moving = true;
    bar->setValue(maximum);
    moving = false;
}

void DecodedTextLiveFollow::ValueChanged(int value)
{
    // Anyone else moving the view off the end ends the following.
    if (!moving && value != bar->maximum())
        following = false;
}

void DecodedTextLiveFollow::ActionTriggered(int)
{
    // Wheel, scroll bar and page keys end here, with the slider already at its new place.
    OperatorScrolled();
}

void DecodedTextLiveFollow::DeferredBottom()
{
    // The operator may have taken the view in the meantime.
    if (HoldsStill() || !mayScroll())
        return;
    QMetaObject::invokeMethod(content, "SlotScrollBottom");
}

void DecodedTextLiveFollow::HoldOver()
{
    // Text that came while the mouse held the view is caught up with, as it would have been.
    if (missedWhileHeld && !paused && mayScroll())
        QMetaObject::invokeMethod(content, "SlotScrollBottom");
    missedWhileHeld = false;
}

void DecodedTextLiveFollow::BadgeClicked()
{
    ResumeLive();
}

void DecodedTextLiveFollow::Pause()
{
    if (!paused) {
        paused = true;
        newLines = 0;
    }
    following = false;
}

void DecodedTextLiveFollow::ShowBadge()
{
    if (!badge) {
        badge = new QToolButton(content);
        badge->setObjectName(QStringLiteral("PausedBadge"));
        badge->setFocusPolicy(Qt::NoFocus);
        badge->setCursor(Qt::PointingHandCursor);
        badge->setToolTip(tr("Back to the newest text (Ctrl+End)"));
        connect(badge, SIGNAL(clicked()), this, SLOT(BadgeClicked()));
    }
    badge->setText(newLines == 1 ? tr("Paused \u00b7 1 new line")
                                 : tr("Paused \u00b7 %1 new lines").arg(newLines));
    Place();
    badge->show();
    badge->raise();
}
