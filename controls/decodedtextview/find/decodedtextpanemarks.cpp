#include "decodedtextpanemarks_p.h"

#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextfinder.h"
#include "decodedtextlayoutitem.h"
#include "decodedtextmatcher_p.h"
#include "decodedtextwatch.h"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>

namespace {
// Extra selections cost every paint a look at each of them: only the lines around the view
// get them, at most this many characters.
const int MostCharacters = 20000;

const QColor WatchColor(201, 167, 255);
const QColor FoundColor(255, 184, 108);
const QColor CurrentColor(255, 106, 0);

QTextCharFormat Format(const QColor& background, bool current = false)
{
    QTextCharFormat format;
    format.setBackground(background);
    if (current)
        format.setForeground(Qt::white);
    return format;
}

bool Same(const QList<QTextEdit::ExtraSelection>& a, const QList<QTextEdit::ExtraSelection>& b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).cursor.anchor() != b.at(i).cursor.anchor()
            || a.at(i).cursor.position() != b.at(i).cursor.position()
            || a.at(i).format.background() != b.at(i).format.background())
            return false;
    }
    return true;
}
}

DecodedTextPaneMarks::DecodedTextPaneMarks(DecodedTextChannel* pane, DecodedTextFinder* finder)
    : QObject(pane), pane(pane), finder(finder), timer(new QTimer(this))
{
    setObjectName(QStringLiteral("FindMarks"));
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, SIGNAL(timeout()), this, SLOT(Update()));
    connect(pane, SIGNAL(TextAreaChanged()), this, SLOT(PaneToggled()));
    Content();
    Schedule();
}

DecodedTextPaneMarks* DecodedTextPaneMarks::Of(DecodedTextChannel* pane)
{
    return pane->findChild<DecodedTextPaneMarks*>(QString(), Qt::FindDirectChildrenOnly);
}

void DecodedTextPaneMarks::Schedule()
{
    if (!timer->isActive())
        timer->start();
}

DecodedTextContent* DecodedTextPaneMarks::Content()
{
    if (content)
        return content;
    // The pane makes its text area when it is first opened.
    content = pane->findChild<DecodedTextContent*>(QString(), Qt::FindDirectChildrenOnly);
    if (content) {
        connect(content->document(), SIGNAL(contentsChange(int, int, int)), this,
                SLOT(DocumentChanged(int, int, int)));
        connect(content->verticalScrollBar(), SIGNAL(valueChanged(int)), this, SLOT(Scrolled()));
        content->installEventFilter(this);
        dirtyFrom = 0;
        dirtyTo = content->document()->characterCount();
    }
    return content;
}

void DecodedTextPaneMarks::ShowFound(int count)
{
    if (count == found)
        return;
    found = count;
    captionDirty = true;
    Schedule();
}

void DecodedTextPaneMarks::AddHit()
{
    // The operator who works in the pane sees the word arrive.
    if (content && content->hasFocus())
        return;
    ++hits;
    captionDirty = true;
    Schedule();
}

void DecodedTextPaneMarks::ResetHits()
{
    if (hits == 0)
        return;
    hits = 0;
    captionDirty = true;
    Schedule();
}

void DecodedTextPaneMarks::CurrentChanged(bool here)
{
    current = QTextCursor();
    DecodedTextContent* c = Content();
    if (here && c && PlaceCurrent(c)) {
        c->setTextCursor(current);
        c->centerCursor();
        // As if the operator had scrolled there: a pane away from its end holds still, with
        // its badge to go back, so arriving text does not take the match out of view.
        c->verticalScrollBar()->triggerAction(QAbstractSlider::SliderMove);
    }
    Schedule();
}

bool DecodedTextPaneMarks::eventFilter(QObject* watched, QEvent* event)
{
    // Only the text area is watched; it is not looked at here, as it may be on its way out.
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
        Schedule();
    return QObject::eventFilter(watched, event);
}

void DecodedTextPaneMarks::PaneToggled()
{
    Content();
    if (pane->IsExpanded())
        ResetHits();
    finder->ScheduleRefresh();
    Schedule();
}

void DecodedTextPaneMarks::DocumentChanged(int position, int removed, int added)
{
    // The changed stretch in today's coordinates: what lay behind the change moves with it.
    auto moved = [&](int at, bool end) {
        if (at < position || (end && at == position))
            return at;
        if (at >= position + removed)
            return at + added - removed;
        return end ? position + added : position;
    };
    if (dirtyFrom < 0) {
        dirtyFrom = position;
        dirtyTo = position + added;
    } else {
        dirtyFrom = qMin(moved(dirtyFrom, false), position);
        dirtyTo = qMax(moved(dirtyTo, true), position + added);
    }
    Schedule();
}

void DecodedTextPaneMarks::Scrolled()
{
    Schedule();
}

void DecodedTextPaneMarks::Update()
{
    if (captionDirty) {
        captionDirty = false;
        const QString foundStyle = QStringLiteral("QLabel { background: %1; padding: 0 4px; }");
        if (found > 0 || foundLabel) {
            QLabel* label = Marker(foundLabel, "FindCount", foundStyle.arg(FoundColor.name()));
            label->setText(tr("%1 found").arg(found));
            label->setToolTip(tr("Matches of the find bar's text in this closed channel"));
            label->setVisible(found > 0);
        }
        if (hits > 0 || hitLabel) {
            QLabel* label = Marker(hitLabel, "WatchHits", foundStyle.arg(WatchColor.name()));
            label->setText(hits == 1 ? tr("1 watch hit") : tr("%1 watch hits").arg(hits));
            label->setToolTip(tr("Watched words that arrived since the channel was last opened "
                                 "or focused"));
            label->setVisible(hits > 0);
        }
    }
    if (DecodedTextContent* c = Content()) {
        RevisitChanged(c);
        Highlight(c);
    }
}

QLabel* DecodedTextPaneMarks::Marker(QPointer<QLabel>& label, const char* name,
                                     const QString& style)
{
    if (label)
        return label;
    DecodedTextCaption* caption = pane->GetCaption();
    label = new QLabel(caption);
    label->setObjectName(QString::fromLatin1(name));
    label->setStyleSheet(style);
    // Behind the name and the button, in front of the ticker.
    if (auto* box = qobject_cast<QBoxLayout*>(caption->layout()))
        box->insertWidget(qMin(2, box->count()), label);
    return label;
}

void DecodedTextPaneMarks::RevisitChanged(DecodedTextContent* c)
{
    if (dirtyFrom < 0)
        return;
    const int from = dirtyFrom;
    const int to = dirtyTo;
    dirtyFrom = dirtyTo = -1;
    if (finder->FindMatcher().IsEmpty())
        return;
    // The blocks shown on the changed lines; the lines carry them as their layout items.
    QList<QExplicitlySharedDataPointer<DecodedTextBlock>> blocks;
    const QTextDocument* document = c->document();
    for (QTextBlock line = document->findBlock(from); line.isValid() && line.position() <= to;
         line = line.next()) {
        auto* item = dynamic_cast<DecodedTextLayoutItem*>(line.userData());
        if (item && item->block && (blocks.isEmpty() || blocks.last() != item->block))
            blocks.append(item->block);
    }
    // Typing in the user channel may replace characters without changing any length.
    finder->Revisit(pane->GetChannel(), blocks,
                    pane->GetChannel() == DecodedTextData::UserChannelID);
}

bool DecodedTextPaneMarks::PlaceCurrent(DecodedTextContent* c)
{
    if (!finder->IsCurrent(pane)) {
        current = QTextCursor();
        return false;
    }
    QExplicitlySharedDataPointer<DecodedTextBlock> block;
    int start = 0;
    int end = 0;
    finder->CurrentMatch(&block, &start, &end);
    // The cursor follows edits of the document; a rebuild loses it, and then it is found again.
    if (!current.isNull() && current.document() == c->document()
        && current.selectionEnd() - current.selectionStart() == end - start)
        return true;
    const int at = c->DocumentPosition(block, start);
    if (c->ItemAtPosition(at).block != block) {
        current = QTextCursor();
        return false;
    }
    current = QTextCursor(c->document());
    current.setPosition(at);
    current.setPosition(at + end - start, QTextCursor::KeepAnchor);
    return true;
}

void DecodedTextPaneMarks::Highlight(DecodedTextContent* c)
{
    QList<QTextEdit::ExtraSelection> list;
    if (pane->IsExpanded() && c->isVisible()) {
        const QRect r = c->viewport()->rect();
        const int a = c->cursorForPosition(QPoint(0, r.top() - r.height())).position();
        const int b = qMin(c->cursorForPosition(QPoint(r.right(), r.bottom() + r.height()))
                               .position() + 1,
                           a + MostCharacters);
        auto add = [&](const DecodedTextMatcher& matcher, const QTextCharFormat& format) {
            if (matcher.IsEmpty())
                return;
            QVector<DecodedTextMatcher::Hit> hits;
            for (QTextBlock line = c->document()->findBlock(a);
                 line.isValid() && line.position() < b; line = line.next()) {
                const QString text = line.text();
                const int base = line.position();
                const int lo = qMax(0, a - base);
                const int hi = qMin(text.size(), b - base);
                hits.clear();
                matcher.Scan(QStringView(text).left(qMin(text.size(), hi + matcher.Longest() + 1)),
                             lo, hits);
                for (const DecodedTextMatcher::Hit& hit : qAsConst(hits)) {
                    if (hit.start >= hi)
                        continue;
                    QTextEdit::ExtraSelection selection;
                    selection.cursor = QTextCursor(c->document());
                    selection.cursor.setPosition(base + hit.start);
                    selection.cursor.setPosition(base + hit.end, QTextCursor::KeepAnchor);
                    selection.format = format;
                    list.append(selection);
                }
            }
        };
        if (DecodedTextWatch* watch = finder->Watch())
            add(watch->Matcher(), Format(WatchColor));
        add(finder->FindMatcher(), Format(FoundColor));
        if (PlaceCurrent(c)) {
            QTextEdit::ExtraSelection selection;
            selection.cursor = current;
            selection.format = Format(CurrentColor, true);
            list.append(selection);
        }
    }
    if (!Same(list, c->extraSelections()))
        c->setExtraSelections(list);
}
