#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextinfoarea.h"
#include "decodedtextsignrows.h"
#include "decodedtexttimearea.h"
#include "widgetfixtures.h"

#include <QHelpEvent>
#include <QInputDialog>
#include <QMenu>
#include <QPaintEngine>
#include <QPainter>
#include <QRandomGenerator>
#include <QRubberBand>
#include <QScopeGuard>
#include <QTextBlock>
#include <QToolTip>
#include <QtTest>

using namespace WidgetFixtures;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 3, 4), QTime(12, 0, 0), Qt::UTC);
const int Channel = 4;
// Two call signs on the first line, two on the second, the first of them at the line's very
// start, none on the third; and a comment, which the gutter leaves out.
QString Xml()
{
    return BlockXml(Channel, T0, QStringLiteral("CQ DE DL1ABC DL1ABC K\nOH2XYZ SP3KEY DE\nEND"),
                    { Mark(UserData::CallSignType, 6, 12, QStringLiteral("DL1ABC")),
                      Mark(UserData::CallSignType, 13, 19, QStringLiteral("DL1ABC/P")),
                      Mark(UserData::CallSignType, 22, 28, QStringLiteral("OH2XYZ")),
                      Mark(UserData::CallSignType, 29, 35, QStringLiteral("SP3KEY")),
                      Mark(UserData::CommentType, 0, 2, "not a sign") });
}

// Takes down the text a painter draws, by baseline, instead of pixels.
class TextEngine : public QPaintEngine {
public:
    TextEngine() : QPaintEngine(QPaintEngine::AllFeatures) { }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override { }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { }
    void drawPath(const QPainterPath&) override { }
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        rows[qRound(p.y())] += item.text();
    }
    Type type() const override { return QPaintEngine::User; }

    QMap<int, QString> rows;
};

// An image whose painters draw through the text engine.
class TextDevice : public QImage {
public:
    TextDevice() : QImage(800, 800, QImage::Format_Mono) { }
    QPaintEngine* paintEngine() const override { return &engine; }

    mutable TextEngine engine;
};

// The rows of call signs as the gutter of a text area paints them, by baseline.
QMap<int, QString> Painted(DecodedTextContent& content)
{
    TextDevice device;
    content.findChild<DecodedTextInfoArea*>(QStringLiteral("Info"))->render(&device);
    return device.engine.rows;
}

struct View {
    explicit View(int width = 50)
        : content(Channel, false, &model, nullptr)
    {
        model.AddTransmission(Xml());
        // Wide enough that no line wraps even beside a wide gutter.
        content.resize(900, 300);
        content.show();
        content.RefreshContent();
        content.SetInfoAreaWidth(width);
        info = content.findChild<DecodedTextInfoArea*>(QStringLiteral("Info"));
    }
    // The vertical middle of a document line, in the gutter's coordinates.
    int LineY(int line)
    {
        return content.cursorRect(QTextCursor(content.document()->findBlockByNumber(line)))
            .center()
            .y();
    }
    // Where a text begins in a row: after the gutter's margin and what stands before it.
    int X(const QString& before) { return 4 + info->fontMetrics().horizontalAdvance(before); }
    QStringList Rows() { return Painted(content).values(); }
    void Move(const QPoint& pos, Qt::MouseButtons buttons = Qt::NoButton)
    {
        QMouseEvent move(QEvent::MouseMove, pos, Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(info, &move);
    }

    DecodedTextData model;
    DecodedTextContent content;
    DecodedTextInfoArea* info = nullptr;
};

const QDateTime Jan15(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);

// One run of the alphabet, or that many runs of one character a second apart.
BlockPtr Timed(const QDateTime& time, int runs = 1)
{
    BlockPtr block(new DecodedTextBlock(7, 1, Jan15));
    for (int i = 0; i < runs; ++i)
        AddRun(*block, runs == 1 ? QStringLiteral("abcdefghijklmnopqrstuvwxyz") : "x",
               time.isValid() ? time.addSecs(i) : time);
    return block;
}

// Paints one document line through the time gutter of a text area.
struct Painter {
    void Paint(QPaintDevice* device, const BlockPtr& block, int height, int start = 0, int blockWidth = 100)
    {
        DecodedTextLayoutItem item;
        item.block = block;
        item.start = item.snippet = start;
        item.end = block->EndPosition();
        QPainter painter(device);
        painter.setFont(area->font());
        painter.setPen(Qt::black);
        area->PaintBlock(&painter, &item, 0, height, blockWidth);
    }

    DecodedTextData model;
    DecodedTextContent content { 7, false, &model, nullptr };
    DecodedTextTimeArea* area = content.findChild<DecodedTextTimeArea*>();
    const int h = area->fontMetrics().height();
};

} // namespace

class TestDecodedTextInfoArea : public QObject {
    Q_OBJECT

private slots:
    void rows_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("hint");
        QTest::addColumn<QStringList>("rows"); // empty strings: elided rows, checked by width

        // A line ends before the next one starts: a sign at a line's start belongs to that line only,
        // and with a font whose leading is negative a row reported for the line before shows it twice.
        QTest::newRow("one row per line with signs, in text order")
            << 400 << 400 << QStringList { "DL1ABC, DL1ABC/P", "OH2XYZ, SP3KEY" };
        QTest::newRow("rows too long for the gutter are elided") << 50 << 50 << QStringList { "", "" };
        QTest::newRow("the margin alone draws nothing") << 4 << 4 << QStringList {};
        QTest::newRow("narrower than the margin counts as hidden") << 3 << 0 << QStringList {};
        QTest::newRow("zero hides") << 0 << 0 << QStringList {};
    }

    void rows()
    {
        QFETCH(int, width);
        QFETCH(int, hint);
        QFETCH(QStringList, rows);
        View v(width);
        QCOMPARE(v.info->sizeHint(), QSize(hint, 0));
        // A new text area takes the stored width, 0 hiding the gutter there.
        DecodedTextContent fresh(Channel, false, &v.model, nullptr);
        fresh.show();
        QCOMPARE(fresh.findChild<DecodedTextInfoArea*>(QStringLiteral("Info"))->isVisible(), width > 0);

        const QMap<int, QString> baselines = Painted(v.content);
        const QStringList painted = baselines.values();
        QCOMPARE(painted.size(), rows.size());
        for (int i = 0; i < rows.size(); ++i) {
            // Row i stands beside line i, the line where its signs begin.
            const int baseline = baselines.keys().at(i);
            QVERIFY2(qAbs(baseline - v.LineY(i)) < v.info->fontMetrics().height() / 2 + 1,
                     qPrintable(QString::number(baseline)));
            if (!rows.at(i).isEmpty()) {
                QCOMPARE(painted.at(i), rows.at(i));
            } else {
                QVERIFY2(painted.at(i).endsWith(QChar(0x2026)), qPrintable(painted.at(i)));
                QVERIFY(v.X(painted.at(i)) <= width - 4);
            }
        }
    }

    void rowsFollowTextMergedInFront()
    {
        // One long wrapped aggregation line whose channel marks the gutter shows. Runs merged into
        // its middle move the marks behind them to other rows; the gutter, painted after every
        // step, must paint what one that never painted before paints.
        DecodedTextData model;
        model.SetInfoAreaWidth(120);
        model.DefineChannelName(1, QStringLiteral("ONE"));
        model.DefineChannelName(2, QStringLiteral("TWO"));
        const int aggregation = DecodedTextData::AggregationChannelID;
        DecodedTextContent painted(aggregation, false, &model, nullptr);
        painted.resize(320, 700);
        painted.show();
        const QMap<int, int> map { { 1, 1 }, { 2, 2 } };
        QVector<int> used;
        QMap<int, int> positions;
        for (int step = 0; step < 15; ++step) {
            // Times repeat, so most runs go in front of runs merged before. The last step resends
            // the run before with other letters: the text in front of the marks behind it changes,
            // their positions do not.
            const bool resend = step == 14;
            const int channel = resend ? 1 : 1 + step % 2;
            const QString text(resend ? 12 : 5 + (step * 7) % 11, QChar(resend ? 'i' : 'a' + step));
            if (resend)
                positions[channel] -= text.size();
            const QVector<TimeStamp> stamps { Stamp(positions[channel], T0.addMSecs(step % 3 * 10)) };
            model.AddTransmission(map, used, BlockXml(channel, T0, text, {}, stamps));
            positions[channel] += text.size();
            painted.RefreshContent();
            DecodedTextContent fresh(aggregation, false, &model, nullptr);
            fresh.resize(painted.size());
            fresh.show();
            fresh.RefreshContent();
            QCOMPARE(Painted(painted), Painted(fresh));
        }
        QVERIFY(painted.document()->blockCount() == 1);
        QVERIFY(Painted(painted).size() >= 4);
    }

    void layoutRowsMatchMeasuredRows()
    {
        // Rows read off the layout must be the rows measuring the text gives, whatever the
        // width, the runs of blanks at the wrap and the colours splitting the text.
        QRandomGenerator rng(7);
        DecodedTextData model;
        DecodedTextContent content(Channel, false, &model, nullptr);
        content.show();
        int laid = 0;
        for (int round = 0; round < 24; ++round) {
            content.resize(200 + rng.bounded(300), 300);
            QString text;
            while (text.size() < 400)
                text += QString(1 + rng.bounded(rng.bounded(2) ? 3 : 40), QChar(ushort('!' + rng.bounded(90))))
                        + QString(rng.bounded(4), QLatin1Char(' '));
            content.setPlainText(text);
            QTextCursor red(content.document());
            QTextCharFormat lowQuality;
            lowQuality.setForeground(Qt::red);
            for (int i = 0; i < 20; ++i) {
                red.setPosition(rng.bounded(text.size()));
                red.setPosition(qMin(text.size(), red.position() + rng.bounded(9)), QTextCursor::KeepAnchor);
                red.setCharFormat(lowQuality);
            }
            // The model's text may differ from what the document shows: measured from there on.
            const int differs = round % 3 ? text.size() : rng.bounded(text.size());
            QString modelText = text;
            modelText[differs] = QLatin1Char('\t');
            const QTextBlock line = content.document()->firstBlock();
            const bool composing = round % 5 == 4; // an input method's text is not the line's
            if (composing)
                line.layout()->setPreeditArea(3, QStringLiteral("xyz"));
            const QRectF bounds = content.document()->documentLayout()->blockBoundingRect(line);
            const int margin = int(content.document()->documentMargin());
            DecodedTextSignRows rows;
            rows.Begin(content.font());
            rows.SelectLine(this, 0, QRect(0, 0, int(bounds.width()) - 2 * margin, 100), modelText, line);
            const QFontMetrics metrics = content.fontMetrics();
            const int flags = Qt::TextWrapAnywhere | Qt::AlignTop | Qt::AlignLeft;
            for (int length = 1; length <= text.size(); ++length) {
                const int h = rows.LayoutHeight(metrics, flags, length);
                QCOMPARE(h < 0, composing || length > differs);
                if (h >= 0)
                    QCOMPARE(h, rows.MeasuredHeight(metrics, flags, length));
                laid += line.layout()->lineForTextPosition(length - 1).lineNumber() > 0 && h >= 0;
            }
        }
        QVERIFY(laid > 2000);
    }

    void addCallSignCollectsOnce()
    {
        View v(300);
        UserData a, b;
        a.CallSign = QStringLiteral("AA1A");
        b.CallSign = QStringLiteral("BB2B");
        TextDevice device;
        QPainter painter(&device);
        for (const UserData* u : { &a, &a, &b }) // the same mark reported twice shows once
            v.info->AddCallSign(&painter, u, 10, 30);
        v.info->FlushRow(&painter);
        v.info->FlushRow(&painter); // nothing left to draw
        QCOMPARE(device.engine.rows.values(), QStringList({ "AA1A, BB2B" }));
    }

    void clickSelectsCallSign_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("before"); // text left of the click in the row
        QTest::addColumn<int>("dx"); // pixels right of that
        QTest::addColumn<QString>("selected");

        QTest::newRow("first sign of the row") << 0 << QString() << 1 << QStringLiteral("DL1ABC");
        QTest::newRow("right end of a sign still hits") << 0 << "DL1ABC" << 0 << "DL1ABC";
        QTest::newRow("separator hits nothing") << 0 << "DL1ABC" << 2 << QString();
        QTest::newRow("second sign of a later line") << 1 << "OH2XYZ, " << 1 << "SP3KEY";
        QTest::newRow("past a row's last sign the hit test runs on into the next line's")
            << 0 << "DL1ABC, DL1ABC/P, " << 1 << "OH2XYZ";
        QTest::newRow("line without signs") << 2 << QString() << 1 << QString();
        QTest::newRow("left margin") << 0 << QString() << -2 << QString();
    }

    void clickSelectsCallSign()
    {
        QFETCH(int, line);
        QFETCH(QString, before);
        QFETCH(int, dx);
        QFETCH(QString, selected);

        View v(300);
        QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
        QTest::mouseClick(v.info, Qt::LeftButton, Qt::NoModifier,
                          QPoint(v.X(before) + dx, v.LineY(line)));
        QCOMPARE(v.content.textCursor().selectedText(), selected);
        QCOMPARE(saved.count(), 0);
    }

    void doubleClickEdits()
    {
        View v(300);
        QString preset;
        WhenModal<QInputDialog>([&](QInputDialog* dialog) {
            preset = dialog->windowTitle() + QLatin1Char(':') + dialog->textValue();
            dialog->setTextValue(QStringLiteral("SP3KEY/M"));
            dialog->accept();
        });
        QTest::mouseDClick(v.info, Qt::LeftButton, Qt::NoModifier,
                           QPoint(v.X(QStringLiteral("OH2XYZ, ")) + 1, v.LineY(1)));
        QCOMPARE(preset, QStringLiteral("Define Call Sign:SP3KEY"));
        const UserData* mark
            = v.model.GetChannelData(Channel)->LastBlock()->FindUserData(UserData::CallSignType, 29, 30);
        QVERIFY(mark);
        QCOMPARE(mark->CallSign, QStringLiteral("SP3KEY/M"));
        QCOMPARE(mark->End, 35);
    }

    void rightClickMenu()
    {
        View v(300);
        const auto buffer = v.model.GetChannelData(Channel);
        QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

        // On a sign the channel holds while the menu is open; "Delete" removes only that sign.
        bool seen = false, held = false;
        QString offered;
        WhenPopup(
            [&](QMenu* menu) {
                held = buffer->hold;
                offered = MenuTexts(*menu).join(QLatin1Char(',')) + QLatin1Char(':')
                    + v.content.textCursor().selectedText();
                menu->actions().last()->trigger();
                menu->close();
            },
            &seen);
        QTest::mouseClick(v.info, Qt::RightButton, Qt::NoModifier, QPoint(6, v.LineY(1)));
        QVERIFY(seen && held);
        QVERIFY(!buffer->hold);
        QCOMPARE(offered, QStringLiteral("Edit,Delete:OH2XYZ"));
        QCOMPARE(saved.count(), 1);
        QCOMPARE(v.Rows(), QStringList({ "DL1ABC, DL1ABC/P", "SP3KEY" }));

        // Where a click hits no sign no menu comes up, and the channel is let go at once.
        seen = false;
        WhenPopup([](QMenu* menu) { menu->close(); }, &seen, 500);
        QTest::mouseClick(v.info, Qt::RightButton, Qt::NoModifier, QPoint(6, v.LineY(2)));
        QVERIFY(!seen);
        QVERIFY(!buffer->hold);
        QCOMPARE(saved.count(), 1);
    }

    void tooltipOverGutter()
    {
        View v;
        const QPoint local(v.info->geometry().left() + 10, v.info->geometry().top() + v.LineY(0));
        QHelpEvent help(QEvent::ToolTip, local, v.content.mapToGlobal(local));
        QApplication::sendEvent(&v.content, &help);
        QTRY_VERIFY(QToolTip::isVisible());
        // Unabridged, whatever the gutter shows; the line's end is included, so a sign at the
        // next line's first character is named too.
        QCOMPARE(QToolTip::text(), QStringLiteral("DL1ABC, DL1ABC/P, OH2XYZ"));
        QToolTip::hideText();
    }

    void widthDrag_data()
    {
        QTest::addColumn<bool>("right");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("width");
        QTest::newRow("wider") << false << 60 << 110;
        QTest::newRow("never below the margin") << false << -200 << 4;
        QTest::newRow("the right button drags as well") << true << 10 << 60;
    }

    void widthDrag()
    {
        QFETCH(bool, right);
        const Qt::MouseButton button = right ? Qt::RightButton : Qt::LeftButton;
        QFETCH(int, dx);
        QFETCH(int, width);
        View v;
        // The grip is the gutter's right edge: the cursor says so there only.
        v.Move(QPoint(45, v.LineY(0)));
        QCOMPARE(v.info->cursor().shape(), Qt::ArrowCursor);
        const QPoint grip(46, v.LineY(0));
        v.Move(grip);
        QCOMPARE(v.info->cursor().shape(), Qt::SplitHCursor);

        QTest::mousePress(v.info, button, Qt::NoModifier, grip);
        auto* band = v.content.findChild<QRubberBand*>();
        QVERIFY(band && band->isVisible());
        QCOMPARE(band->geometry().left(), v.info->mapTo(&v.content, grip).x());
        v.Move(grip + QPoint(dx, 0), button);
        QCOMPARE(band->geometry().left(), v.info->mapTo(&v.content, grip).x() + dx);
        // Nothing changes until the button is let go.
        QCOMPARE(v.model.GetInfoAreaWidth(), 50);

        QTest::mouseRelease(v.info, button, Qt::NoModifier, grip + QPoint(dx, 0));
        QVERIFY(!band->isVisible());
        QCOMPARE(v.model.GetInfoAreaWidth(), width);
        QCOMPARE(v.info->width(), width);
        // A press on the grip is no click on a call sign.
        QVERIFY(!v.content.textCursor().hasSelection());
    }

    // The time gutter: a label for each visual line it fits beside, the local time of the UTC time.
    void timeLabels_data()
    {
        QTest::addColumn<QDateTime>("time"); // of the line's first run
        QTest::addColumn<int>("runs"); // more than one: one character each, a second apart
        QTest::addColumn<int>("start"); // the item's first character and run
        QTest::addColumn<int>("halfRows"); // the line's height, in halves of a label's
        QTest::addColumn<int>("perRow"); // characters of the widest size on a visual line
        QTest::addColumn<QStringList>("labels"); // visual row and label
        const QStringList one { "0 11:00:00" };
        QTest::newRow("lower than a label still gets one") << Jan15 << 1 << 0 << 1 << 9 << one;
        QTest::newRow("a partial visual line below gets none")
            << Jan15 << 1 << 0 << 7 << 9 << QStringList { "0 11:00:00", "1 11:00:00", "2 11:00:00" };
        QTest::newRow("no time, no label") << QDateTime() << 1 << 0 << 2 << 9 << QStringList {};
        QTest::newRow("stored as local time, the same clock reading still means UTC")
            << QDateTime(Jan15.date(), Jan15.time(), Qt::LocalTime) << 1 << 0 << 2 << 9 << one;
        QTest::newRow("a wrapped line estimates the character each visual line begins with")
            << Jan15 << 12 << 1 << 6 << 4 << QStringList { "0 11:00:01", "1 11:00:05", "2 11:00:09" };
    }

    void timeLabels()
    {
        QFETCH(QDateTime, time);
        QFETCH(int, runs);
        QFETCH(int, start);
        QFETCH(int, halfRows);
        QFETCH(int, perRow);
        if (Jan15.toLocalTime().time() != QTime(11, 0))
            QSKIP("needs TZ=Europe/Berlin, as ctest sets it");
        Painter p;
        TextDevice device;
        p.Paint(&device, Timed(time, runs), halfRows * p.h / 2, start, perRow * p.area->fontMetrics().maxWidth());
        QStringList labels;
        for (auto it = device.engine.rows.cbegin(); it != device.engine.rows.cend(); ++it)
            labels << QString::number(it.key() / p.h) + QLatin1Char(' ') + it.value();
        QTEST(labels, "labels");
    }

    void gapMark()
    {
        // Two bars across the middle half instead of a time label; slanted strokes between them
        // only where the line is taller than 6 pixels.
        for (const int height : { 20, 6 }) {
            Painter p;
            BlockPtr block(new DecodedTextBlock(7, 1, Jan15));
            AddRun(*block, QStringLiteral("\n\n"), Jan15, -1, 30, SnippetGap);
            QImage image(p.area->sizeHint().width(), height, QImage::Format_RGB32);
            image.fill(Qt::white);
            p.Paint(&image, block, height);
            const int mid = image.width() / 2, q = image.width() / 4;
            for (const int y : { 1, height - 2 })
                QCOMPARE(Ink(image, y, y, mid - q, mid + q), 2 * q + 1);
            QCOMPARE(Ink(image, 0, 0), 0);
            QCOMPARE(Ink(image, 2, height - 3) > 0, height > 6);
        }
    }

    // Label texts are kept by the second they show: random times, many within a second of one
    // painted before, around the epoch and long before it, each read as its own conversion.
    void timeLabelTextsMatchConversion()
    {
        Painter p;
        const QDateTime epoch(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC);
        const QDateTime anchors[] = { Jan15, epoch, epoch.addYears(-30), Jan15.addDays(180) };
        QRandomGenerator random(11);
        QVector<QDateTime> times{ QDateTime(QDate(), QTime(0, 0, 0, 1)), epoch.addMSecs(1) };
        for (int i = 0; i < 300; ++i)
            times << anchors[random.bounded(4)].addMSecs(random.bounded(6000) - 3000);
        for (const QDateTime& time : qAsConst(times)) {
            TextDevice device;
            p.Paint(&device, Timed(time), p.h);
            const QString expected =
                time.isValid() ? time.toLocalTime().toString(QStringLiteral("hh:mm:ss")) : QString();
            QCOMPARE(device.engine.rows.isEmpty() ? QString() : device.engine.rows.first(),
                     expected);
        }
    }

    // Label rows kept from an earlier paint must give the pixels of drawing them: labels of
    // several times, whole or cut by a narrow gutter, wrapped lines and lost text between.
    void timeLabelsCopiedLookDrawn()
    {
        DecodedTextData model;
        for (int t = 0; t < 8; ++t) {
            const QDateTime start = Jan15.addSecs(61 * t);
            model.AddTransmission(BlockXml(Channel, start,
                                           t % 2 ? QString(90, QLatin1Char('w')) : "CQ DE K\n599",
                                           {}, { Stamp(0, start), Stamp(5, start.addSecs(7)) }));
            model.AddTransmission(BlockXml(Channel, start, "K\n", {}, { Stamp(200, start) }));
            model.EndTransmission();
        }
        DecodedTextContent content(Channel, false, &model, nullptr);
        content.resize(250, 400);
        content.show();
        content.RefreshContent();
        auto* area = content.findChild<DecodedTextTimeArea*>(QStringLiteral("Timestamps"));
        const auto painted = [area](bool caching) {
            area->SetLabelCaching(caching);
            QVector<QImage> out; // rows kept in the first paint are copied in the second
            for (int i = 0; i < 2; ++i) {
                out.append(QImage(area->size(), QImage::Format_RGB32));
                out.last().fill(Qt::white);
                area->render(&out.last());
            }
            return out;
        };
        for (const int width : { area->width(), 20 }) {
            area->resize(width, area->height());
            area->SetWidth(width);
            const QVector<QImage> drawn = painted(false);
            QCOMPARE(painted(true), drawn);
            QVERIFY(Ink(drawn.first(), 0, drawn.first().height() - 1) > 0);
        }
    }

    // Labels are the local time of day; a change of the system's time zone shows in labels
    // painted a second later at the latest, as a new gutter paints them.
    void timeLabelsFollowTimeZone()
    {
        const QByteArray zone = qgetenv("TZ");
        const bool hadZone = qEnvironmentVariableIsSet("TZ");
        const auto restore = qScopeGuard([&] {
            if (hadZone)
                qputenv("TZ", zone);
            else
                qunsetenv("TZ");
        });
        qputenv("TZ", "UTC0");
        DecodedTextData model;
        model.AddTransmission(BlockXml(Channel, Jan15, "CQ DE K\n599\nK", {},
                                       { Stamp(0, Jan15), Stamp(8, Jan15.addSecs(7)) }));
        const auto rendered = [&model] {
            DecodedTextContent content(Channel, false, &model, nullptr);
            content.resize(250, 200);
            content.show();
            content.RefreshContent();
            return content.findChild<QWidget*>(QStringLiteral("Timestamps"))->grab().toImage();
        };
        DecodedTextContent content(Channel, false, &model, nullptr);
        content.resize(250, 200);
        content.show();
        content.RefreshContent();
        QWidget* area = content.findChild<QWidget*>(QStringLiteral("Timestamps"));
        const QImage utc = area->grab().toImage();
        QCOMPARE(utc, rendered());
        qputenv("TZ", "IST-5:30");
        QTRY_VERIFY(area->grab().toImage() != utc);
        QCOMPARE(area->grab().toImage(), rendered());
    }
};

QTEST_MAIN(TestDecodedTextInfoArea)
#include "tst_decodedtextinfoarea.moc"
