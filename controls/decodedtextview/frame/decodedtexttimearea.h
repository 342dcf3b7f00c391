#pragma once

#include "dtv_export.h"

#include <QColor>
#include <QWidget>

#include <memory>

class DecodedTextContent;
class DecodedTextLayoutItem;
class DecodedTextTimeLabels;
class QPainter;

// Gutter left of the text that shows the receive time of every visual line
// and marks lines that stand for lost text.
class DTV_EXPORT DecodedTextTimeArea : public QWidget
{
    Q_OBJECT

public:
    explicit DecodedTextTimeArea(DecodedTextContent* content);
    ~DecodedTextTimeArea() override;

    QSize sizeHint() const override;
    void SetWidth(int width);
    void PaintBlock(QPainter* painter, DecodedTextLayoutItem* item, int top, int bottom,
                    int blockWidth);
    // Off, every label is drawn anew in every paint instead of copied from an earlier one.
    void SetLabelCaching(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Q_DISABLE_COPY(DecodedTextTimeArea)

    DecodedTextContent* content;
    QColor background;
    int gutterWidth;
    bool labelCaching = true;
    std::unique_ptr<DecodedTextTimeLabels> labels;
};
