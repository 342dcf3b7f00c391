#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtexttimearea.h"
#include "widgetfixtures.h"

#include <QPainter>
#include <QtTest>

using namespace WidgetFixtures;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);

// One run of the alphabet, or that many runs of one character a second apart.
BlockPtr Block(const QDateTime& time, int runs = 1)
{
    BlockPtr block(new DecodedTextBlock(7, 1, T0));
    for (int i = 0; i < runs; ++i)
        AddRun(*block, runs == 1 ? QStringLiteral("abcdefghijklmnopqrstuvwxyz") : "x",
               time.isValid() ? time.addSecs(i) : time);
    return block;
}

// Paints one document line through the gutter of a text area into an image of its width.
struct Painter {
    QImage Paint(const BlockPtr& block, int height, int start = 0, int blockWidth = 100)
    {
        DecodedTextLayoutItem item;
        item.block = block;
        item.start = item.snippet = start;
        item.end = block->EndPosition();
        QImage image(area->sizeHint().width(), height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(area->font());
        painter.setPen(Qt::black);
        area->PaintBlock(&painter, &item, 0, height, blockWidth);
        return image;
    }

    DecodedTextData model;
    DecodedTextContent content { 7, false, &model, nullptr };
    DecodedTextTimeArea* area = content.findChild<DecodedTextTimeArea*>();
    const int h = area->fontMetrics().height();
};

} // namespace

class TestDecodedTextTimeArea : public QObject {
    Q_OBJECT

private slots:
    void oneLabelPerVisualLine_data()
    {
        QTest::addColumn<int>("halfLines");
        QTest::addColumn<bool>("timed");
        QTest::addColumn<int>("labels");
        QTest::newRow("lower than a label still gets one") << 1 << true << 1;
        QTest::newRow("a partial visual line below gets none") << 7 << true << 3;
        QTest::newRow("no time, no label") << 2 << false << 0;
    }

    void oneLabelPerVisualLine()
    {
        QFETCH(int, halfLines);
        QFETCH(bool, timed);
        QFETCH(int, labels);
        Painter p;
        const QImage image = p.Paint(Block(timed ? T0 : QDateTime()), halfLines * p.h / 2);
        for (int row = 0; row * p.h < image.height(); ++row)
            QVERIFY2((Ink(image, row * p.h, row * p.h + p.h - 1) > 0) == (row < labels),
                     qPrintable(QString::number(row)));
    }

    void labelIsLocalTimeOfUtc()
    {
        Painter p;
        // Stored as local time, the same clock reading still means UTC.
        const QDateTime local(T0.date(), T0.time(), Qt::LocalTime);
        QCOMPARE(p.Paint(Block(local), p.h), p.Paint(Block(T0), p.h));
        QVERIFY(p.Paint(Block(T0.addSecs(1)), p.h) != p.Paint(Block(T0), p.h));
        if (T0.toLocalTime().time() != QTime(11, 0))
            QSKIP("needs TZ=Europe/Berlin, as ctest sets it");
        QImage expected(p.area->sizeHint().width(), p.h, QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter painter(&expected);
        painter.setFont(p.area->font());
        painter.drawText(QRect(QPoint(1, 0), QPoint(expected.width() - 3, p.h - 1)), Qt::AlignLeft,
                         QStringLiteral("11:00:00"));
        painter.end();
        QCOMPARE(p.Paint(Block(T0), p.h), expected);
    }

    void wrappedLineEstimatesItsCharacter()
    {
        Painter p;
        const int perLine = 4;
        const BlockPtr block = Block(T0, 12);
        const QImage image = p.Paint(block, 3 * p.h, 1, perLine * p.area->fontMetrics().maxWidth());
        // Visual line n begins about n * perLine characters after the item's start.
        for (int n = 0; n < 3; ++n)
            QCOMPARE(image.copy(0, n * p.h, image.width(), p.h),
                     p.Paint(block, p.h, 1 + n * perLine));
    }

    void gapMark()
    {
        // Two bars across the middle half instead of a time label; slanted strokes between them
        // only where the line is taller than 6 pixels.
        for (const int height : { 20, 6 }) {
            Painter p;
            BlockPtr block(new DecodedTextBlock(7, 1, T0));
            AddRun(*block, QStringLiteral("\n\n"), T0, -1, 30, SnippetGap);
            const QImage image = p.Paint(block, height);
            const int mid = image.width() / 2, q = image.width() / 4;
            for (const int y : { 1, height - 2 })
                QCOMPARE(Ink(image, y, y, mid - q, mid + q), 2 * q + 1);
            QCOMPARE(Ink(image, 0, 0), 0);
            QCOMPARE(Ink(image, 2, height - 3) > 0, height > 6);
        }
    }
};

QTEST_MAIN(TestDecodedTextTimeArea)
#include "tst_decodedtexttimearea.moc"
