#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextinfoarea.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QHelpEvent>
#include <QInputDialog>
#include <QMap>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QRubberBand>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <functional>

using VarnoResultDataXml::DataBlock;
using VarnoResultDataXml::TimeStamp;
using VarnoResultDataXml::Transmission;
using VarnoResultDataXml::UserData;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 3, 4), QTime(12, 0, 0), Qt::UTC);
const int Channel = 4;
// Two call signs on the first line, two on the second, none on the third.
const QString Text = QStringLiteral("CQ DE DL1ABC DL1ABC K\nDE OH2XYZ SP3KEY\nEND");

UserData* Sign(int start, int end, const QString& sign)
{
    auto* u = new UserData;
    u->Type = UserData::CallSignType;
    u->Start = start;
    u->End = end;
    u->CallSign = sign;
    return u;
}

QString Xml(const QString& text = Text,
            const QVector<UserData*>& marks
            = { Sign(6, 12, QStringLiteral("DL1ABC")), Sign(13, 19, QStringLiteral("DL1ABC/P")),
                Sign(25, 31, QStringLiteral("OH2XYZ")), Sign(32, 38, QStringLiteral("SP3KEY")) })
{
    Transmission transmission;
    transmission.SetStartTime(T0);
    transmission.SetStopTime(T0);
    auto* block = new DataBlock(Channel, 0, 0);
    block->SetID(1);
    block->SetContent(text);
    TimeStamp stamp;
    stamp.Time = T0;
    stamp.Quality = 90;
    block->GetTimeStamp().append(stamp);
    for (UserData* mark : marks)
        block->AddUserData(mark);
    auto* comment = new UserData;
    comment->Type = UserData::CommentType;
    comment->Start = 0;
    comment->End = 2;
    comment->Comment = QStringLiteral("not a call sign");
    block->AddUserData(comment);
    transmission.AddDataBlock(block);
    return transmission.GetXmlString();
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

class TextDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return 800;
        case PdmHeight:
            return 800;
        case PdmWidthMM:
        case PdmHeightMM:
            return 200;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 0xffffff;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        }
        return 0;
    }

    mutable TextEngine engine;
};

struct View {
    explicit View(const QString& xml = Xml()) : content(Channel, false, &model, nullptr)
    {
        model.AddTransmission(xml);
        // Wide enough that no line wraps even beside a wide gutter.
        content.resize(900, 300);
        content.show();
        content.RefreshContent();
        info = content.findChild<DecodedTextInfoArea*>(QStringLiteral("Info"));
    }
    BlockPtr Block() { return model.GetChannelData(Channel)->LastBlock(); }
    // The vertical middle of a document line, in the gutter's coordinates.
    int LineY(int line)
    {
        QTextCursor cursor(content.document()->findBlockByNumber(line));
        return content.cursorRect(cursor).center().y();
    }
    int Advance(const QString& text) { return info->fontMetrics().horizontalAdvance(text); }
    // The rows of call signs as the gutter paints them, top to bottom.
    QStringList Rows()
    {
        TextDevice device;
        info->render(&device);
        return device.engine.rows.values();
    }

    DecodedTextData model;
    DecodedTextContent content;
    DecodedTextInfoArea* info = nullptr;
};

void Move(QWidget* widget, const QPoint& pos, Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent move(QEvent::MouseMove, pos, Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Watches for a popup menu: hands it to `answer`, which must close it.
void WhenPopup(const std::function<void(QMenu*)>& answer, bool* seen)
{
    auto* timer = new QTimer(qApp); // parented, so a watch that outlives its test is still freed
    const QDeadlineTimer deadline(3000);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, answer, seen] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (menu) {
            *seen = true;
            answer(menu);
        }
    });
    timer->start(10);
}

} // namespace

class TestDecodedTextInfoArea : public QObject {
    Q_OBJECT

private slots:
    void construction();
    void setWidth_data();
    void setWidth();
    void paintsBackgroundAndEdge();
    void rowsPerLine();
    void longRowIsElided();
    void signAtLineStart();
    void narrowestGutterDrawsNothing();
    void addCallSignCollectsOnce();
    void clickSelectsCallSign_data();
    void clickSelectsCallSign();
    void doubleClickEdits();
    void rightClickMenu();
    void rightClickBesideCallSigns();
    void callSignsText();
    void tooltipOverGutter();
    void widthDrag_data();
    void widthDrag();
    void cursorOverGrip();
};

void TestDecodedTextInfoArea::construction()
{
    View v;
    QVERIFY(v.info);
    QCOMPARE(v.info->parentWidget(), &v.content);
    QCOMPARE(v.info->sizeHint(), QSize(50, 0));
    QVERIFY(v.info->hasMouseTracking());
    QVERIFY(v.info->isVisible());

    // A stored width of 0 hides the gutter of a new text area.
    DecodedTextData model;
    model.SetInfoAreaWidth(0);
    DecodedTextContent hidden(Channel, false, &model, nullptr);
    hidden.show();
    auto* info = hidden.findChild<DecodedTextInfoArea*>(QStringLiteral("Info"));
    QVERIFY(info);
    QCOMPARE(info->sizeHint().width(), 0);
    QVERIFY(!info->isVisible());
}

void TestDecodedTextInfoArea::setWidth_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("hint");
    QTest::newRow("zero hides") << 0 << 0;
    QTest::newRow("narrower than the margin counts as hidden") << 3 << 0;
    QTest::newRow("the margin is the smallest width") << 4 << 4;
    QTest::newRow("wide") << 180 << 180;
}

void TestDecodedTextInfoArea::setWidth()
{
    QFETCH(int, width);
    QFETCH(int, hint);
    View v;
    v.info->SetWidth(width);
    QCOMPARE(v.info->sizeHint(), QSize(hint, 0));
}

void TestDecodedTextInfoArea::paintsBackgroundAndEdge()
{
    View v;
    const QImage image = v.info->grab().toImage();
    QCOMPARE(image.width(), 50);
    // Below the text the gutter is light grey, with a dark grey edge line two pixels in.
    const int y = image.height() - 5;
    QCOMPARE(QColor(image.pixel(20, y)), QColor(220, 220, 220));
    QCOMPARE(QColor(image.pixel(48, y)), QColor(Qt::darkGray));
}

void TestDecodedTextInfoArea::rowsPerLine()
{
    View v;
    v.content.SetInfoAreaWidth(400);
    QCOMPARE(
        v.Rows(),
        (QStringList { QStringLiteral("DL1ABC, DL1ABC/P"), QStringLiteral("OH2XYZ, SP3KEY") }));
    QCOMPARE(v.model.GetInfoAreaWidth(), 400);
}

void TestDecodedTextInfoArea::longRowIsElided()
{
    View v;
    const QStringList rows = v.Rows();
    QCOMPARE(rows.size(), 2);
    for (const QString& row : rows) {
        QVERIFY2(row.endsWith(QChar(0x2026)), qPrintable(row));
        QVERIFY(v.Advance(row) <= 42);
    }
}

void TestDecodedTextInfoArea::signAtLineStart()
{
    View v(Xml(QStringLiteral("AB\nDK1XX CD"), { Sign(3, 8, QStringLiteral("DK1XX")) }));
    v.content.SetInfoAreaWidth(300);
    // The text area reports a sign at the very start of a line for the line before as well,
    // one row too high; with fonts whose leading is negative that row is not cut off.
    if (v.info->fontMetrics().leading() < 0)
        QEXPECT_FAIL("", "text area places a line-start sign also on the line before", Continue);
    QCOMPARE(v.Rows(), QStringList { QStringLiteral("DK1XX") });
}

void TestDecodedTextInfoArea::narrowestGutterDrawsNothing()
{
    View v;
    v.content.SetInfoAreaWidth(4);
    QVERIFY(v.info->isVisible());
    QCOMPARE(v.Rows(), QStringList {});
}

void TestDecodedTextInfoArea::addCallSignCollectsOnce()
{
    View v;
    v.content.SetInfoAreaWidth(300);
    UserData a, b, c;
    a.CallSign = QStringLiteral("AA1A");
    b.CallSign = QStringLiteral("BB2B");
    c.CallSign = QStringLiteral("CC3C");
    TextDevice device;
    {
        QPainter painter(&device);
        painter.setFont(v.info->font());
        v.info->AddCallSign(&painter, &a, 10, 30);
        v.info->AddCallSign(&painter, &a, 10, 30); // the same mark reported twice
        v.info->AddCallSign(&painter, &b, 10, 30);
        v.info->AddCallSign(&painter, &c, 40, 60); // a later visual line starts a new row
        v.info->FlushRow(&painter);
        v.info->FlushRow(&painter); // nothing left to draw
    }
    QCOMPARE(device.engine.rows.values(),
             (QStringList { QStringLiteral("AA1A, BB2B"), QStringLiteral("CC3C") }));
    QVERIFY(device.engine.rows.firstKey() < device.engine.rows.lastKey());
}

void TestDecodedTextInfoArea::clickSelectsCallSign_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("before"); // text left of the click in the row
    QTest::addColumn<int>("dx"); // pixels right of that
    QTest::addColumn<QString>("selected");

    QTest::newRow("first sign of the row") << 0 << QString() << 1 << QStringLiteral("DL1ABC");
    QTest::newRow("right end of a sign still hits")
        << 0 << QStringLiteral("DL1ABC") << 0 << QStringLiteral("DL1ABC");
    QTest::newRow("separator hits nothing") << 0 << QStringLiteral("DL1ABC") << 2 << QString();
    QTest::newRow("second sign") << 0 << QStringLiteral("DL1ABC, ") << 2
                                 << QStringLiteral("DL1ABC");
    QTest::newRow("second line") << 1 << QStringLiteral("OH2XYZ, ") << 1
                                 << QStringLiteral("SP3KEY");
    QTest::newRow("line without signs") << 2 << QString() << 1 << QString();
    QTest::newRow("left margin") << 0 << QString() << -2 << QString();
}

void TestDecodedTextInfoArea::clickSelectsCallSign()
{
    QFETCH(int, line);
    QFETCH(QString, before);
    QFETCH(int, dx);
    QFETCH(QString, selected);

    View v;
    v.content.SetInfoAreaWidth(300);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    const QPoint pos(4 + v.Advance(before) + dx, v.LineY(line));
    QTest::mouseClick(v.info, Qt::LeftButton, Qt::NoModifier, pos);
    QCOMPARE(v.content.textCursor().selectedText(), selected);
    QCOMPARE(saved.count(), 0);
}

void TestDecodedTextInfoArea::doubleClickEdits()
{
    View v;
    v.content.SetInfoAreaWidth(300);
    QString title, preset;
    auto* timer = new QTimer(qApp); // parented, so a watch that outlives its test is still freed
    QObject::connect(timer, &QTimer::timeout, [&, timer] {
        if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            title = dialog->windowTitle();
            preset = dialog->textValue();
            dialog->setTextValue(QStringLiteral("SP3KEY/M"));
            dialog->accept();
        }
    });
    timer->start(10);
    QTest::mouseDClick(v.info, Qt::LeftButton, Qt::NoModifier,
                       QPoint(4 + v.Advance(QStringLiteral("OH2XYZ, ")) + 1, v.LineY(1)));
    QCOMPARE(title, QStringLiteral("Define Call Sign"));
    QCOMPARE(preset, QStringLiteral("SP3KEY"));
    const UserData* mark = v.Block()->FindUserData(UserData::CallSignType, 32, 33);
    QVERIFY(mark);
    QCOMPARE(mark->CallSign, QStringLiteral("SP3KEY/M"));
    QCOMPARE(mark->Start, 32);
    QCOMPARE(mark->End, 38);
}

void TestDecodedTextInfoArea::rightClickMenu()
{
    View v;
    v.content.SetInfoAreaWidth(300);
    const auto buffer = v.model.GetChannelData(Channel);
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);

    bool seen = false, heldWhileOpen = false;
    QStringList texts;
    QString selectedWhileOpen;
    WhenPopup(
        [&](QMenu* menu) {
            heldWhileOpen = buffer->hold;
            selectedWhileOpen = v.content.textCursor().selectedText();
            for (QAction* action : menu->actions())
                texts << action->text();
            menu->actions().last()->trigger();
            menu->close();
        },
        &seen);
    QTest::mouseClick(v.info, Qt::RightButton, Qt::NoModifier, QPoint(6, v.LineY(1)));
    QVERIFY(seen);
    QCOMPARE(texts, (QStringList { QStringLiteral("Edit"), QStringLiteral("Delete") }));
    QVERIFY(heldWhileOpen);
    QVERIFY(!buffer->hold);
    QCOMPARE(selectedWhileOpen, QStringLiteral("OH2XYZ"));
    // "Delete" removed the mark it was opened on, and only that one.
    QVERIFY(!v.Block()->FindUserData(UserData::CallSignType, 25, 31));
    QVERIFY(v.Block()->FindUserData(UserData::CallSignType, 32, 38));
    QCOMPARE(saved.count(), 1);
    QCOMPARE(v.Rows(),
             (QStringList { QStringLiteral("DL1ABC, DL1ABC/P"), QStringLiteral("SP3KEY") }));
}

void TestDecodedTextInfoArea::rightClickBesideCallSigns()
{
    View v;
    v.content.SetInfoAreaWidth(300);
    const auto buffer = v.model.GetChannelData(Channel);
    bool seen = false;
    WhenPopup([](QMenu* menu) { menu->close(); }, &seen);
    QTest::mouseClick(v.info, Qt::RightButton, Qt::NoModifier,
                      QPoint(4 + v.Advance(QStringLiteral("OH2XYZ, SP3KEY")) + 20, v.LineY(1)));
    QTest::mouseClick(v.info, Qt::RightButton, Qt::NoModifier, QPoint(6, v.LineY(2)));
    QVERIFY(!seen);
    QVERIFY(!buffer->hold);
    QCOMPARE(v.Block()->userData.size(), 5);
}

void TestDecodedTextInfoArea::callSignsText()
{
    View v;
    DecodedTextLayoutItem item;
    QString text;
    v.info->CallSignsText(item, text);
    QCOMPARE(text, QString());

    // The signs that begin from start to end, both ends included.
    item.block = v.Block();
    item.start = 22;
    item.end = 32;
    v.info->CallSignsText(item, text);
    QCOMPARE(text, QStringLiteral("OH2XYZ, SP3KEY"));
    text = QStringLiteral("earlier");
    item.start = 13;
    item.end = 25;
    v.info->CallSignsText(item, text);
    QCOMPARE(text, QStringLiteral("earlier, DL1ABC/P, OH2XYZ"));
}

void TestDecodedTextInfoArea::tooltipOverGutter()
{
    View v;
    const QPoint local(v.info->geometry().left() + 10, v.info->geometry().top() + v.LineY(0));
    QHelpEvent help(QEvent::ToolTip, local, v.content.mapToGlobal(local));
    QApplication::sendEvent(&v.content, &help);
    QTRY_VERIFY(QToolTip::isVisible());
    // Unabridged, whatever the gutter shows, and only the signs of that line.
    QCOMPARE(QToolTip::text(), QStringLiteral("DL1ABC, DL1ABC/P"));
    QToolTip::hideText();
}

void TestDecodedTextInfoArea::widthDrag_data()
{
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("width");
    QTest::newRow("wider") << 60 << 110;
    QTest::newRow("narrower") << -20 << 30;
    QTest::newRow("never below the margin") << -200 << 4;
}

void TestDecodedTextInfoArea::widthDrag()
{
    QFETCH(int, dx);
    QFETCH(int, width);
    View v;
    QSignalSpy saved(&v.model, &DecodedTextData::SaveUserData);
    const QString selectionBefore = v.content.textCursor().selectedText();

    const QPoint grip(48, v.LineY(0));
    QTest::mousePress(v.info, Qt::LeftButton, Qt::NoModifier, grip);
    auto* band = v.content.findChild<QRubberBand*>();
    QVERIFY(band);
    QVERIFY(band->isVisible());
    QCOMPARE(band->shape(), QRubberBand::Line);
    const int startX = band->geometry().left();
    QCOMPARE(startX, v.info->mapTo(&v.content, grip).x());

    Move(v.info, grip + QPoint(dx, 0), Qt::LeftButton);
    QCOMPARE(band->geometry().left(), startX + dx);
    QCOMPARE(v.info->cursor().shape(), Qt::SplitHCursor);
    // Nothing changes until the button is let go.
    QCOMPARE(v.model.GetInfoAreaWidth(), 50);

    QTest::mouseRelease(v.info, Qt::LeftButton, Qt::NoModifier, grip + QPoint(dx, 0));
    QVERIFY(!band->isVisible());
    QCOMPARE(v.model.GetInfoAreaWidth(), width);
    QCOMPARE(v.info->sizeHint().width(), width);
    QCOMPARE(v.info->width(), width);
    // A press on the grip is no click on a call sign.
    QCOMPARE(v.content.textCursor().selectedText(), selectionBefore);
    QCOMPARE(saved.count(), 0);
}

void TestDecodedTextInfoArea::cursorOverGrip()
{
    View v;
    Move(v.info, QPoint(10, v.LineY(0)));
    QCOMPARE(v.info->cursor().shape(), Qt::ArrowCursor);
    Move(v.info, QPoint(46, v.LineY(0)));
    QCOMPARE(v.info->cursor().shape(), Qt::SplitHCursor);
    Move(v.info, QPoint(45, v.LineY(0)));
    QCOMPARE(v.info->cursor().shape(), Qt::ArrowCursor);

    // A right click on the grip drags as well.
    QTest::mousePress(v.info, Qt::RightButton, Qt::NoModifier, QPoint(47, v.LineY(0)));
    QTest::mouseRelease(v.info, Qt::RightButton, Qt::NoModifier, QPoint(57, v.LineY(0)));
    QCOMPARE(v.model.GetInfoAreaWidth(), 60);
}

QTEST_MAIN(TestDecodedTextInfoArea)
#include "tst_decodedtextinfoarea.moc"
