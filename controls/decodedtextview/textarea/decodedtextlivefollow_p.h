#pragma once

#include <QExplicitlySharedDataPointer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class DecodedTextBlock;
class DecodedTextContent;
class QScrollBar;
class QToolButton;

// Whether a text area follows new text or holds still for the operator who reads in it.
// The operator's own scrolling away from the bottom pauses it, with or without the keyboard
// focus; a badge in the corner counts the lines that arrived meanwhile and brings the view
// back to the newest text, as do Ctrl+End and scrolling to the very bottom. While the left
// mouse button is down over the text, and for a double click's time after, nothing scrolls
// by itself. At the bottom, the view also follows a scroll range that grows as wrapped lines
// are laid out late.
class DecodedTextLiveFollow : public QObject
{
    Q_OBJECT

public:
    // mayScroll tells whether the written rules let appended text scroll the view now (no
    // keyboard focus in the text, no annotation dialog open).
    DecodedTextLiveFollow(DecodedTextContent* content, std::function<bool()> mayScroll);

    bool IsPaused() const { return paused; }
    // Paused, or the left button is down over the text or was just released.
    bool HoldsStill() const;
    // Appended text may scroll the view now and nothing holds it: the view follows the end.
    bool Follows() const { return mayScroll() && !HoldsStill(); }

    // The view was just put at the bottom on purpose.
    void AtBottom();
    // Appended text is to leave the view where it is (the operator works in the text).
    void Release();
    // Lines were appended; followed tells whether the view is on its way to them. Counted on
    // the badge while paused.
    void LinesAppended(int count, bool followed);
    // After the operator's own scrolling: paused unless the view is at the very bottom.
    void OperatorScrolled();
    // Back to following the newest text (badge, Ctrl+End): scrolls there now and, in a
    // read-only pane, gives up the keyboard focus that would otherwise keep it still.
    void ResumeLive();
    // Escape: following again from the next text on.
    void Unpause();
    // The 10 ms scroll to the bottom that appended text asks for.
    void ScrollLater();

    void MousePressed(Qt::MouseButton button);
    void MouseReleased(Qt::MouseButton button);
    // Keeps the badge in the viewport's bottom right corner.
    void Place();

    // A rebuild of the document while the view holds still keeps the text that was at the top
    // of the view there, and counts the lines that came below it.
    void BeginRebuild();
    void EndRebuild();

private slots:
    void RangeChanged(int minimum, int maximum);
    void ValueChanged(int value);
    void ActionTriggered(int action);
    void DeferredBottom();
    void HoldOver();
    void BadgeClicked();

private:
    void Pause();
    void ShowBadge();

    DecodedTextContent* content;
    QScrollBar* bar;
    std::function<bool()> mayScroll;
    QPointer<QToolButton> badge;
    QTimer hold;
    bool following = false;
    bool moving = false;
    bool paused = false;
    bool buttonDown = false;
    bool missedWhileHeld = false;
    int newLines = 0;
    QExplicitlySharedDataPointer<DecodedTextBlock> topBlock; // what a rebuild keeps in view
    int topPosition = 0;
    int linesAbove = 0;
    int rowsBelow = 0;
};
