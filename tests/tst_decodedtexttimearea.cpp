#include "blockinvariants.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtexttimearea.h"

#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);
const int Channel = 7;

void AddRun(DecodedTextBlock& block, const QString& text, const QDateTime& time, int width = -1,
            int flags = 0)
{
    DecodedTextSnippet s;
    s.length = text.size();
    s.start = block.EndPosition();
    s.end = s.start + (width < 0 ? text.size() : width);
    s.flags = flags;
    s.timestamp = time;
    block.snippets.append(s);
    block.text += text;
}

bool Dark(QRgb pixel)
{
    return qGray(pixel) < 120;
}

int Ink(const QImage& image, int top, int bottom)
{
    int count = 0;
    for (int y = qMax(top, 0); y <= qMin(bottom, image.height() - 1); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += Dark(image.pixel(x, y)) ? 1 : 0;
    return count;
}

// Paints one document line through the gutter into an image of the gutter's width.
class Painter
{
public:
    Painter()
        : content(Channel, false, &model, nullptr),
          area(content.findChild<DecodedTextTimeArea*>(QStringLiteral("Timestamps")))
    {
    }

    QImage Paint(DecodedTextLayoutItem& item, int height, int blockWidth = 100)
    {
        QImage image(area->sizeHint().width(), height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(area->font());
        painter.setPen(Qt::black);
        area->PaintBlock(&painter, &item, 0, height, blockWidth);
        return image;
    }

    int LabelHeight() const { return area->fontMetrics().height(); }
    int CharWidth() const { return area->fontMetrics().maxWidth(); }

    DecodedTextData model;
    DecodedTextContent content;
    DecodedTextTimeArea* area;
};

DecodedTextLayoutItem Item(const BlockPtr& block, int start = 0, int snippet = 0)
{
    DecodedTextLayoutItem item;
    item.block = block;
    item.start = start;
    item.end = block->EndPosition();
    item.snippet = snippet;
    return item;
}

BlockPtr Block(const QDateTime& time)
{
    BlockPtr block(new DecodedTextBlock(Channel, 1, T0));
    AddRun(*block, QStringLiteral("abcdefghijklmnopqrstuvwxyz"), time);
    return block;
}

} // namespace

class TestDecodedTextTimeArea : public QObject
{
    Q_OBJECT

private slots:
    void widthBeforeAndAfterTheTextAreaSetsIt();
    void oneLabelPerVisualLine_data();
    void oneLabelPerVisualLine();
    void nullTimeGivesEmptyLabel();
    void labelIsLocalTimeOfUtc();
    void wrappedLineEstimatesItsCharacter();
    void gapMark_data();
    void gapMark();
    void gapLineInTheWidget();
};

void TestDecodedTextTimeArea::widthBeforeAndAfterTheTextAreaSetsIt()
{
    DecodedTextData model;
    DecodedTextContent content(Channel, false, &model, nullptr);
    DecodedTextTimeArea bare(&content);
    QCOMPARE(bare.sizeHint(), QSize(20, 0));
    QCOMPARE(bare.objectName(), QStringLiteral("Timestamps"));
    auto* owned = content.findChild<DecodedTextTimeArea*>(QStringLiteral("Timestamps"));
    QVERIFY(owned->sizeHint().width() > 20);
}

void TestDecodedTextTimeArea::oneLabelPerVisualLine_data()
{
    QTest::addColumn<int>("halfLines");
    QTest::addColumn<int>("labels");

    QTest::newRow("lower than a label still gets one") << 1 << 1;
    QTest::newRow("exactly one visual line") << 2 << 1;
    QTest::newRow("three visual lines, three labels") << 6 << 3;
    QTest::newRow("a partial visual line below gets none") << 7 << 3;
}

void TestDecodedTextTimeArea::oneLabelPerVisualLine()
{
    QFETCH(int, halfLines);
    QFETCH(int, labels);
    Painter p;
    const int h = p.LabelHeight();
    DecodedTextLayoutItem item = Item(Block(T0));
    const QImage image = p.Paint(item, halfLines * h / 2);
    for (int row = 0; row * h < image.height(); ++row) {
        const int ink = Ink(image, row * h, row * h + h - 1);
        if (row < labels)
            QVERIFY2(ink > 0, qPrintable(QStringLiteral("row %1 has no label").arg(row)));
        else
            QCOMPARE(ink, 0);
    }
}

void TestDecodedTextTimeArea::nullTimeGivesEmptyLabel()
{
    Painter p;
    DecodedTextLayoutItem item = Item(Block(QDateTime()));
    QCOMPARE(Ink(p.Paint(item, p.LabelHeight()), 0, p.LabelHeight()), 0);
}

void TestDecodedTextTimeArea::labelIsLocalTimeOfUtc()
{
    Painter p;
    const int h = p.LabelHeight();
    DecodedTextLayoutItem utc = Item(Block(T0));
    // Stored as local time, the same clock reading still means UTC.
    DecodedTextLayoutItem unspecified = Item(Block(QDateTime(T0.date(), T0.time(), Qt::LocalTime)));
    DecodedTextLayoutItem later = Item(Block(T0.addSecs(1)));
    QCOMPARE(p.Paint(unspecified, h), p.Paint(utc, h));
    QVERIFY(p.Paint(later, h) != p.Paint(utc, h));

    if (T0.toLocalTime().time() != QTime(11, 0))
        QSKIP("needs TZ=Europe/Berlin, as ctest sets it");
    QImage expected(p.area->sizeHint().width(), h, QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter painter(&expected);
    painter.setFont(p.area->font());
    painter.drawText(QRect(QPoint(1, 0), QPoint(expected.width() - 3, h - 1)), Qt::AlignLeft,
                     QStringLiteral("11:00:00"));
    painter.end();
    QCOMPARE(p.Paint(utc, h), expected);
}

void TestDecodedTextTimeArea::wrappedLineEstimatesItsCharacter()
{
    Painter p;
    const int h = p.LabelHeight();
    const int perLine = 4;
    BlockPtr block(new DecodedTextBlock(Channel, 1, T0));
    for (int i = 0; i < 12; ++i)
        AddRun(*block, QStringLiteral("x"), T0.addSecs(i));
    DecodedTextLayoutItem wrapped = Item(block, 1, 1);
    const QImage image = p.Paint(wrapped, 3 * h, perLine * p.CharWidth());

    // Visual line n begins about n * perLine characters after the item's start.
    for (int n = 0; n < 3; ++n) {
        DecodedTextLayoutItem single = Item(block, 1 + n * perLine, 1 + n * perLine);
        QCOMPARE(image.copy(0, n * h, image.width(), h), p.Paint(single, h));
    }
}

void TestDecodedTextTimeArea::gapMark_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("strokes");

    QTest::newRow("tall line: bars and slanted strokes") << 20 << true;
    QTest::newRow("line of 6 pixels: only the two bars") << 6 << false;
}

void TestDecodedTextTimeArea::gapMark()
{
    QFETCH(int, height);
    QFETCH(bool, strokes);
    Painter p;
    BlockPtr block(new DecodedTextBlock(Channel, 1, T0));
    AddRun(*block, QStringLiteral("\n\n"), T0, 30, SnippetGap);
    DecodedTextLayoutItem item = Item(block);
    const QImage image = p.Paint(item, height);

    const int w = image.width();
    const int mid = w / 2, q = w / 4;
    for (const int y : {1, height - 2}) {
        for (int x = mid - q; x <= mid + q; ++x)
            QVERIFY2(Dark(image.pixel(x, y)), qPrintable(QStringLiteral("bar gap at %1,%2").arg(x).arg(y)));
    }
    // A gap line shows the mark instead of a time label.
    QCOMPARE(Ink(image, 0, 0), 0);
    const int between = Ink(image, 2, height - 3);
    QCOMPARE(between > 0, strokes);
}

void TestDecodedTextTimeArea::gapLineInTheWidget()
{
    DecodedTextData model;
    BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0, 1);
    AddRun(*block, QStringLiteral("abc"), T0);
    AddRun(*block, QStringLiteral("\n\n"), T0, 10, SnippetGap);
    AddRun(*block, QStringLiteral("de"), T0.addSecs(5));
    QVERIFY_BLOCK(*block);
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.resize(400, 200);
    content.show();
    QVERIFY(QTest::qWaitForWindowExposed(&content));
    content.RefreshContent();
    QCOMPARE(content.document()->blockCount(), 3);

    auto* area = content.findChild<DecodedTextTimeArea*>(QStringLiteral("Timestamps"));
    const QImage image = area->grab().toImage();
    const int q = image.width() / 4;
    for (int line = 0; line < 3; ++line) {
        const QRect r = content.cursorRect(QTextCursor(content.document()->findBlockByNumber(line)));
        int longestRun = 0;
        for (int y = qMax(r.top() - 2, 0); y <= r.bottom() + 2; ++y) {
            int run = 0;
            for (int x = 0; x < image.width(); ++x) {
                run = Dark(image.pixel(x, y)) ? run + 1 : 0;
                longestRun = qMax(longestRun, run);
            }
        }
        QVERIFY(Ink(image, r.top(), r.bottom()) > 0);
        // Only the gap line carries the mark's long horizontal bar.
        if (line == 1)
            QVERIFY(longestRun >= 2 * q + 1);
    }
}

QTEST_MAIN(TestDecodedTextTimeArea)
#include "tst_decodedtexttimearea.moc"
