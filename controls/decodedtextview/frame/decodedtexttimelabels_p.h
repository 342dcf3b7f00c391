#pragma once

#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPen>
#include <QSize>
#include <QString>

class QPainter;

// The time gutter's labels as rows drawn once: over the gutter's own background a label row
// comes out the same every time, so the row as first drawn on the target stands in for drawing
// it again.
class DecodedTextTimeLabels
{
public:
    // A paint of the gutter whose background is filled with background begins and ends; rows
    // are copied only in between, and only where nothing was drawn before them.
    void Begin(const QPainter* painter, const QColor& background, int width, int rowHeight,
               const void* screen);
    void End();

    // The label text in the rectangle rect of one row: copied when it can be, else drawn.
    void Draw(QPainter* painter, const QRect& rect, const QString& label);
    // Something else was drawn down to bottom.
    void Drawn(int bottom);

    // A snippet time's label, its local time of day. Reading the system's time zone costs a look
    // at the zone's file, so the labels made are kept for a second before it is read again.
    QString Text(QDateTime time);

private:
    struct Row
    {
        QImage pixels; // as first drawn where the whole row was painted
        bool inside = false; // the label's ink stays inside its row
    };
    bool Inside(const QPainter* painter, const QRect& rect, const QString& label) const;
    QImage TargetRow(const QPainter* painter, const QRect& rect) const;

    bool active = false;
    int paintedTo = 0;
    // What the kept rows were drawn with.
    QImage::Format format = QImage::Format_Invalid;
    QColor background;
    QFont font;
    QPen pen;
    int hints = 0;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    QSize resolution;
    int deviceKind = 0;
    const void* onScreen = nullptr;
    int width = 0;
    int rowHeight = 0;
    int labelLeft = 0;
    int labelWidth = 0;
    QHash<QString, Row> rows;
    QHash<qint64, QString> texts; // by seconds since the epoch
    QElapsedTimer textsMade;
};
