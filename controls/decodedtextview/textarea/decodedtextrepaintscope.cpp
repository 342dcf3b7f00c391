#include "decodedtextrepaintscope_p.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace {

QObject* TextControl(QPlainTextEdit* edit)
{
    for (QObject* child : edit->children()) {
        if (qstrcmp(child->metaObject()->className(), "QPlainTextEditControl") == 0)
            return child;
    }
    return nullptr;
}

// The layout's request for everything from the top down.
bool Everything(const QRectF& rect)
{
    return rect.isValid() && rect.top() <= 0 && rect.height() >= 1e8;
}

} // namespace

void DecodedTextRepaintScope::Attach(QPlainTextEdit* edit,
                                     std::function<QRectF(const QTextBlock&)> geometry,
                                     std::function<void(const QRectF&, const QRectF&)> repaint,
                                     std::function<int()> firstShown)
{
    QObject* control = TextControl(edit);
    if (!control || edit->metaObject()->indexOfMethod("_q_repaintContents(QRectF)") < 0)
        return;
    if (!QObject::disconnect(control, SIGNAL(updateRequest(QRectF)), edit,
                             SLOT(_q_repaintContents(QRectF))))
        return;
    new DecodedTextRepaintScope(edit, control, std::move(geometry), std::move(repaint),
                                std::move(firstShown));
}

DecodedTextRepaintScope::DecodedTextRepaintScope(QPlainTextEdit* edit, QObject* control,
                                                 std::function<QRectF(const QTextBlock&)> geometry,
                                                 std::function<void(const QRectF&, const QRectF&)> repaint,
                                                 std::function<int()> firstShown)
    : QObject(edit), edit(edit), geometry(std::move(geometry)), repaint(std::move(repaint)),
      firstShown(std::move(firstShown))
{
    connect(control, SIGNAL(updateRequest(QRectF)), this, SLOT(UpdateRequest(QRectF)));
    // The document tells its layout of a change between these two.
    connect(edit->document(), SIGNAL(contentsChange(int, int, int)), this,
            SLOT(ContentsChange(int, int, int)));
    connect(edit->document(), SIGNAL(contentsChanged()), this, SLOT(ContentsChanged()));
}

void DecodedTextRepaintScope::ContentsChange(int from, int, int)
{
    changedFrom = from;
}

void DecodedTextRepaintScope::ContentsChanged()
{
    changedFrom = -1;
}

void DecodedTextRepaintScope::UpdateRequest(const QRectF& rect)
{
    QRectF scope = rect;
    if (changedFrom >= 0 && Everything(rect) && edit->isReadOnly()) {
        // From the line in front: ink of the first line changed may reach above its top.
        QTextBlock first = edit->document()->findBlock(changedFrom);
        if (first.isValid() && first.previous().isValid())
            first = first.previous();
        // From a line above the first one shown the whole view changed: its place is not
        // needed, and finding it would lay out the lines between, which nobody looks at.
        const int shownFirst = firstShown();
        if (first.isValid() && (shownFirst < 0 || first.blockNumber() >= shownFirst))
            scope.setTop(qMax(rect.top(), geometry(first).top()));
    }
    repaint(scope, rect);
}
