#pragma once

#include "dtv_export.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

class DecodedTextContent;
class DecodedTextLayoutItem;
class QPainter;
class QRubberBand;
namespace VarnoResultDataXml {
class UserData;
}

// Gutter between the time gutter and the text that lists the call signs marked
// in each visual line; its right edge is a grip that sets its width.
class DTV_EXPORT DecodedTextInfoArea : public QWidget
{
    Q_OBJECT

public:
    explicit DecodedTextInfoArea(DecodedTextContent* content);
    ~DecodedTextInfoArea() override;

    QSize sizeHint() const override;
    void SetWidth(int width);
    void AddCallSign(QPainter* painter, const VarnoResultDataXml::UserData* item, int top,
                     int bottom);
    void FlushRow(QPainter* painter);
    VarnoResultDataXml::UserData* CallSignAt(const DecodedTextLayoutItem& item, int x) const;
    VarnoResultDataXml::UserData* SelectCallSignAt(const QPoint& pos);
    void ShowMenuAt(const QPoint& pos);
    void CallSignsText(const DecodedTextLayoutItem& item, QString& text) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    void EditUserData();
    void DeleteUserData();

private:
    Q_DISABLE_COPY(DecodedTextInfoArea)

    DecodedTextContent* content;
    QColor background;
    QRubberBand* rubberBand;
    bool dragging;
    QRect bandGeometry;
    int pressX;
    int textLeft;
    int textRight;
    int margin;
    int gutterWidth;
    QRect rowRect;
    QString rowText;
    const VarnoResultDataXml::UserData* lastItem;
};
