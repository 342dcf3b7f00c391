#pragma once

#include <QObject>
#include <QRectF>

#include <functional>

class QPlainTextEdit;
class QTextBlock;

// Keeps a read-only text edit's repaint after a change of its document to the lines that
// changed. The editor's document layout answers every change that spans lines, as every append
// does, by repainting the whole view; the lines in front of the first line changed keep their
// place and their pixels, so only the part of the view from that line down is painted again.
class DecodedTextRepaintScope : public QObject
{
    Q_OBJECT

public:
    // geometry gives a line's rectangle in the coordinates of the editor's repaint requests,
    // those of its protected blockBoundingGeometry; repaint(view, whole) does what the editor
    // does with such a request, the view painted again only in view, while whoever follows its
    // repaints (the gutters, the host) is told of whole. Does nothing unless the editor's
    // repaint can be taken over.
    // firstShown gives the number of the first line the view shows while it follows the end,
    // -1 otherwise: a view held elsewhere shows rows that depend on the lines laid out above it.
    static void Attach(QPlainTextEdit* edit, std::function<QRectF(const QTextBlock&)> geometry,
                       std::function<void(const QRectF&, const QRectF&)> repaint,
                       std::function<int()> firstShown);

private slots:
    void ContentsChange(int from, int charsRemoved, int charsAdded);
    void ContentsChanged();
    void UpdateRequest(const QRectF& rect);

private:
    DecodedTextRepaintScope(QPlainTextEdit* edit, QObject* control,
                            std::function<QRectF(const QTextBlock&)> geometry,
                            std::function<void(const QRectF&, const QRectF&)> repaint,
                            std::function<int()> firstShown);

    QPlainTextEdit* edit;
    std::function<QRectF(const QTextBlock&)> geometry;
    std::function<void(const QRectF&, const QRectF&)> repaint;
    std::function<int()> firstShown;
    // Where the change the document is telling its layout of begins, while it does.
    int changedFrom = -1;
};
