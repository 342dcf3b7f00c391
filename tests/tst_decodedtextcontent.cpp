#include "blockinvariants.h"
#include "documentcomparison.h"
#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

using VarnoResultDataXml::UserData;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);
const int Channel = 3;
const int OtherChannel = 4;

// Appends one run the way the intake lays them down: chained positions, width == length.
void AddRun(DecodedTextBlock& block, const QString& text, int quality = -1)
{
    DecodedTextSnippet s;
    s.length = text.size();
    s.start = block.EndPosition();
    s.end = s.start + text.size();
    s.quality = quality;
    s.timestamp = T0.addSecs(block.snippets.size());
    block.snippets.append(s);
    block.text += text;
}

BlockPtr NewBlock(DecodedTextData& model, int id, const QString& runs = QString())
{
    BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0.addSecs(60 * id), id);
    if (!runs.isEmpty())
        for (const QString& run : runs.split(QLatin1Char('|')))
            AddRun(*block, run);
    return block;
}

UserData* CallSign(int start, int end, const QString& sign)
{
    auto* u = new UserData;
    u->Type = UserData::CallSignType;
    u->Start = start;
    u->End = end;
    u->CallSign = sign;
    return u;
}

const DecodedTextLayoutItem* ItemOf(const QTextBlock& line)
{
    return dynamic_cast<const DecodedTextLayoutItem*>(line.userData());
}

// "text|start-end|snippet" per line, "text|-" for a line without item.
QStringList Describe(const QTextDocument* doc)
{
    QStringList out;
    for (QTextBlock line = doc->firstBlock(); line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* item = ItemOf(line);
        out << (item ? QStringLiteral("%1|%2-%3|%4")
                           .arg(line.text())
                           .arg(item->start)
                           .arg(item->end)
                           .arg(item->snippet)
                     : line.text() + QStringLiteral("|-"));
    }
    return out;
}

bool IsRed(const QTextDocument* doc, int position)
{
    QTextCursor c(const_cast<QTextDocument*>(doc));
    c.setPosition(position + 1);
    const QTextCharFormat f = c.charFormat();
    return f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().color() == QColor(Qt::red);
}

int Ink(const QImage& image, int top, int bottom, int left = 0, int right = -1)
{
    int count = 0;
    if (right < 0)
        right = image.width() - 1;
    for (int y = qMax(top, 0); y <= qMin(bottom, image.height() - 1); ++y)
        for (int x = left; x <= right; ++x)
            if (qGray(image.pixel(x, y)) < 120)
                ++count;
    return count;
}

// Fires after any 10 ms timer started before it.
void LetDeferredScrollRun()
{
    QTimer sentinel;
    sentinel.setSingleShot(true);
    QSignalSpy fired(&sentinel, &QTimer::timeout);
    sentinel.start(40);
    QVERIFY(fired.wait());
}

// Feeds a channel through the model's intake, as a decoder would.
class Feeder
{
public:
    // Mapped, every channel's text is also merged into the aggregation channel.
    Feeder(DecodedTextData& model, bool mapped) : model(model), mapped(mapped) {}

    // Characters of the current transmission from stream position `from` (-1: where it
    // stopped), in runs of alternating quality, optionally with a call sign delivered along.
    // Each delivery's run times start again at the transmission's start, so that a merge puts
    // its runs between those delivered before.
    void Send(int length, int from = -1, bool older = false, bool withCallSign = false,
              int source = Channel)
    {
        const int key = older ? current - 1 : current;
        int& stream = streams[qMakePair(key, source)];
        const int position = from < 0 ? stream : from;
        static const char* const words[] = {"CQ ", "DE ", "TEST\n", "599 ", "73\n", "K "};
        QString content;
        while (content.size() < length)
            content += QLatin1String(words[(serial++) % 6]);
        content.truncate(length);
        VarnoResultDataXml::Transmission transmission;
        transmission.SetStartTime(T0.addSecs(key));
        auto* data = new VarnoResultDataXml::DataBlock(source, 0, 0);
        data->SetID(1);
        data->SetContent(content);
        for (int run = 0; run * 7 < length; ++run) {
            VarnoResultDataXml::TimeStamp stamp;
            stamp.Time = T0.addSecs(key).addMSecs(run);
            stamp.Position = position + run * 7;
            static const int qualities[] = {80, -1, 30, 95};
            stamp.Quality = qualities[(serial + run) % 4];
            data->GetTimeStamp().append(stamp);
        }
        if (withCallSign) {
            data->AddUserData(CallSign(position + 1, position + 3, QStringLiteral("K1A")));
        }
        transmission.AddDataBlock(data);
        if (mapped) {
            QVector<int> used;
            model.AddTransmission({{Channel, Channel}, {OtherChannel, OtherChannel}}, used,
                                  transmission.GetXmlString());
        } else {
            model.AddTransmission(transmission.GetXmlString());
        }
        stream = position + length;
    }

    void Next() { ++current; }
    int Stream() const { return streams.value(qMakePair(current, Channel)); }

private:
    DecodedTextData& model;
    bool mapped;
    QMap<QPair<int, int>, int> streams;
    int current = 0;
    int serial = 0;
};

// Shows the text area at a fixed size and fills it from the model, as a pane does on opening.
bool ShowFilled(DecodedTextContent& content)
{
    content.resize(400, 200);
    content.show();
    if (!QTest::qWaitForWindowExposed(&content))
        return false;
    content.RefreshContent();
    return true;
}

} // namespace

class TestDecodedTextContent : public QObject
{
    Q_OBJECT

private slots:
    void metaObjectOrder();
    void gutters();
    void documentLines_data();
    void documentLines();
    void appendContinuesLastLine();
    void appendKeepsCursorAndOlderItems();
    void emptyNewBlockGetsSeparator();
    void refreshAfterTrim_data();
    void refreshAfterTrim();
    void paneIntakeMatchesRebuild_data();
    void paneIntakeMatchesRebuild();
    void colorCoding_data();
    void colorCoding();
    void rightToLeftFollowsBlock();
    void deferredScrollRespectsFocus();
    void positionsAndSelection();
    void tooltips();
    void infoAreaWidth();
    void infoAreaPaintsCallSignRow();
    void infoAreaClicksAndGrip();
    void timeGutterPaintsItemLinesOnly();
};

void TestDecodedTextContent::metaObjectOrder()
{
    DecodedTextData model;
    DecodedTextContent content(Channel, false, &model, nullptr);
    const QMetaObject* mo = content.metaObject();
    QStringList methods;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i)
        methods << QString::fromLatin1(mo->method(i).methodSignature());
    const QStringList expected{
        "OnModification(bool)", "UpdateContent()", "RefreshContent()",
        "ShowContextMenu(QPoint)", "UpdateColors()", "SlotClearAll()", "EditCallSign()",
        "DeleteCallSign()", "UpdateView()", "SlotScrollBottom()", "UpdateView(QRect,int)",
        "SlotTextChanged(int,int,int)", "SlotPositionChanged()", "SlotShowProperties()",
        "SlotColorCoding(bool)", "SlotTooltipTime(bool)", "InsertComment()", "InsertText()",
        "EditSelection()", "DeleteComment()", "DeleteSelection()", "DeleteSection()"};
    QCOMPARE(methods, expected);
}

void TestDecodedTextContent::gutters()
{
    DecodedTextData model;
    model.SetInfoAreaWidth(60);
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.resize(400, 200);
    content.show();
    auto* time = content.findChild<QWidget*>(QStringLiteral("Timestamps"), Qt::FindDirectChildrenOnly);
    auto* info = content.findChild<QWidget*>(QStringLiteral("Info"), Qt::FindDirectChildrenOnly);
    QVERIFY(time && info);
    QCOMPARE(time->width(), time->sizeHint().width());
    QCOMPARE(time->sizeHint().width(),
             content.fontMetrics().horizontalAdvance(QStringLiteral("29:99:99")) + 4);
    QCOMPARE(info->width(), 60);
    // Time gutter outermost, then the call signs, then the text.
    QVERIFY(time->geometry().right() < info->geometry().left());
    QCOMPARE(content.viewport()->geometry().left(), info->geometry().right() + 1);
    QCOMPARE(time->geometry().top(), content.viewport()->geometry().top());
    QCOMPARE(time->height(), content.viewport()->height());
}

void TestDecodedTextContent::documentLines_data()
{
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("one line") << QStringList{"abc"} << QStringList{"abc|0-3|0"};
    QTest::newRow("break inside a run")
        << QStringList{"ab\ncd"} << QStringList{"ab|0-3|0", "cd|3-5|0"};
    QTest::newRow("line continues into the next run")
        << QStringList{"ab|c\nd"} << QStringList{"abc|0-4|0", "d|4-5|1"};
    QTest::newRow("separator line has no item after text without final break")
        << QStringList{"abc", "de"} << QStringList{"abc|0-3|0", "|-", "de|0-2|0"};
    QTest::newRow("separator line is the first block's empty last line")
        << QStringList{"abc\n", "de"} << QStringList{"abc|0-4|0", "|4-4|1", "de|0-2|0"};
    QTest::newRow("three blocks, one empty line between each")
        << QStringList{"a", "b", "c"}
        << QStringList{"a|0-1|0", "|-", "b|0-1|0", "|-", "c|0-1|0"};
}

void TestDecodedTextContent::documentLines()
{
    QFETCH(QStringList, blocks);
    QFETCH(QStringList, lines);
    DecodedTextData model;
    for (int i = 0; i < blocks.size(); ++i) {
        BlockPtr block = NewBlock(model, i + 1, blocks.at(i));
        QVERIFY_BLOCK(*block);
    }
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    QCOMPARE(Describe(content.document()), lines);

    // Built piece by piece, the document must look the same as rebuilt at once.
    DecodedTextData model2;
    DecodedTextContent grown(Channel, false, &model2, nullptr);
    for (int i = 0; i < blocks.size(); ++i) {
        NewBlock(model2, i + 1, blocks.at(i));
        grown.UpdateContent();
    }
    QCOMPARE(Describe(grown.document()), lines);
}

void TestDecodedTextContent::appendContinuesLastLine()
{
    DecodedTextData model;
    BlockPtr block = NewBlock(model, 1, "abc");
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();

    AddRun(*block, "de\nf");
    content.UpdateContent();
    QCOMPARE(Describe(content.document()), (QStringList{"abcde|0-6|0", "f|6-7|1"}));

    // Nothing new: nothing appended, no stray line.
    content.UpdateContent();
    QCOMPARE(Describe(content.document()), (QStringList{"abcde|0-6|0", "f|6-7|1"}));

    AddRun(*block, "gh");
    content.UpdateContent();
    QCOMPARE(Describe(content.document()), (QStringList{"abcde|0-6|0", "fgh|6-9|1"}));
    QCOMPARE(ItemOf(content.document()->lastBlock())->end, block->EndPosition());
}

void TestDecodedTextContent::appendKeepsCursorAndOlderItems()
{
    DecodedTextData model;
    NewBlock(model, 1, "hello");
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    const DecodedTextLayoutItem* first = ItemOf(content.document()->firstBlock());

    QTextCursor c = content.textCursor();
    c.setPosition(1);
    c.setPosition(3, QTextCursor::KeepAnchor);
    content.setTextCursor(c);

    NewBlock(model, 2, "world");
    content.UpdateContent();
    // Appending must not rebuild what is already shown.
    QCOMPARE(ItemOf(content.document()->firstBlock()), first);
    QCOMPARE(content.textCursor().selectedText(), QStringLiteral("el"));

    content.moveCursor(QTextCursor::End);
    NewBlock(model, 3, "again");
    content.UpdateContent();
    QCOMPARE(content.textCursor().position(), content.document()->characterCount() - 1);
}

void TestDecodedTextContent::emptyNewBlockGetsSeparator()
{
    DecodedTextData model;
    NewBlock(model, 1, "abc");
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();

    BlockPtr fresh = NewBlock(model, 2);
    content.UpdateContent();
    QCOMPARE(Describe(content.document()), (QStringList{"abc|0-3|0", "|-", "|-"}));

    AddRun(*fresh, "xy");
    content.UpdateContent();
    QCOMPARE(Describe(content.document()), (QStringList{"abc|0-3|0", "|-", "xy|0-2|0"}));
}

void TestDecodedTextContent::refreshAfterTrim_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("selected");

    // Document "hello", "", "world": the second block begins at 7.
    QTest::newRow("selection in the kept block follows its text") << 8 << 11 << "orl";
    QTest::newRow("cursor inside the kept block keeps its place") << 9 << 9 << "";
    QTest::newRow("selection in the dropped block is lost") << 1 << 3 << QString();
    QTest::newRow("selection reaching back into the dropped block is lost") << 3 << 9 << QString();
}

void TestDecodedTextContent::refreshAfterTrim()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, selected);
    DecodedTextData model;
    NewBlock(model, 1, "hello");
    NewBlock(model, 2, "world");
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();

    QTextCursor c = content.textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    content.setTextCursor(c);

    model.GetChannelData(Channel)->blocks.removeFirst();
    content.RefreshContent();
    QCOMPARE(content.toPlainText(), QStringLiteral("world"));
    if (selected.isNull()) {
        QVERIFY(!content.textCursor().hasSelection());
        QCOMPARE(content.textCursor().position(), 5);
    } else {
        QCOMPARE(content.textCursor().selectionStart(), from - 7);
        QCOMPARE(content.textCursor().selectedText(), selected);
    }
}

void TestDecodedTextContent::paneIntakeMatchesRebuild_data()
{
    // Steps: "t<n>" n transmissions of 90 characters, each ended; "n<n>" a new transmission
    // of n characters; "c<n>" n more for it; "g<n>" n more after 3 lost; "r<n>" resent from n
    // characters back; "o<n>" n more for the transmission before, with a call sign; "a" a
    // call sign delivered with the next 20 characters; "u" the host marks a call sign in the
    // newest block; "e" end of transmission; "h"/"H" hold on/off; "q"/"Q" colour coding
    // on/off; "s" a selection; "x<n>" n characters of a second decoder for the current
    // transmission; "p"/"P" channel separator on/off. Aggregation rows show the aggregation
    // channel, fed by mapped intake online, where nothing is trimmed.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("aggregation");
    QTest::newRow("trimming one old block per transmission") << "t16 n30 c20 e t4" << false;
    QTest::newRow("trimming with colour coding") << "q t16 n30 c20 e t4" << false;
    QTest::newRow("colour coding switched while trimming") << "t14 q t3 Q t3" << false;
    QTest::newRow("selection kept, then trimmed away") << "t14 s t2 t20" << false;
    QTest::newRow("long transmission cut at its front") << "n600 c600 c300 t2" << false;
    QTest::newRow("resend and gap in the newest block") << "t14 n40 g20 r15 c30 e t1" << false;
    QTest::newRow("data for an older block") << "t14 n40 e n20 o30 e t2" << false;
    QTest::newRow("annotations from the host and with the data") << "t13 n40 u a e n30 u t3" << false;
    QTest::newRow("hold defers trimming, release catches up") << "t13 h t6 H t2" << false;
    QTest::newRow("aggregation: runs merged into the middle of the open block")
        << "t3 n30 x20 c20 x25 c5 e n40 x30 c10 x10" << true;
    QTest::newRow("aggregation: channel marks and call signs, colour coding")
        << "q t2 n30 a x20 u c20 x20 e n20 a x20 c15 x5" << true;
    QTest::newRow("aggregation: separator switched while merging")
        << "t2 n30 p x20 c20 e n20 x20 c10 P x10 p c10" << true;
    QTest::newRow("aggregation: resends mark and replace stale runs")
        << "t2 n40 x30 r15 x10 e n30 x10 r10 x10 g10 x5" << true;
    QTest::newRow("aggregation: selection kept while the open block changes")
        << "t3 n60 x30 s c10 x10" << true;
}

void TestDecodedTextContent::paneIntakeMatchesRebuild()
{
    QFETCH(QString, steps);
    QFETCH(bool, aggregation);
    DecodedTextData model;
    model.SetBufferSize(1000);
    model.SetQualityThreshold(50);
    Feeder feeder(model, aggregation);
    const int shownChannel = aggregation ? DecodedTextData::AggregationChannelID : Channel;

    // The pane takes the incremental road; the reference rebuilds and re-highlights in full.
    DecodedTextChannel pane(QStringLiteral("c"), shownChannel, &model, nullptr);
    pane.resize(300, 400);
    pane.show();
    pane.ExpandTextArea(true);
    DecodedTextContent* a = pane.findChild<DecodedTextContent*>();
    QVERIFY(a);
    DecodedTextContent b(shownChannel, false, &model, nullptr);
    b.resize(a->size());
    b.show();
    QObject::connect(&model, &DecodedTextData::DataChanged, &b,
                     [&b, shownChannel](int channel, bool refresh) {
        if (channel != shownChannel)
            return;
        if (refresh)
            b.RefreshContent();
        else
            b.UpdateContent();
    });
    QObject::connect(&model, &DecodedTextData::TransmissionChanged, &b,
                     [&b, shownChannel](int channel) {
        if (channel == shownChannel)
            b.UpdateView();
    });
    b.RefreshContent();

    for (const QString& step : steps.split(QLatin1Char(' '))) {
        const int n = step.mid(1).toInt();
        const QChar op = step.at(0);
        if (op == QLatin1Char('t')) {
            for (int i = 0; i < n; ++i) {
                feeder.Next();
                feeder.Send(90);
                model.EndTransmission();
            }
        } else if (op == QLatin1Char('n')) {
            feeder.Next();
            feeder.Send(n);
        } else if (op == QLatin1Char('c')) {
            feeder.Send(n);
        } else if (op == QLatin1Char('g')) {
            feeder.Send(n, feeder.Stream() + 3);
        } else if (op == QLatin1Char('r')) {
            feeder.Send(n + 10, feeder.Stream() - n);
        } else if (op == QLatin1Char('o')) {
            feeder.Send(n, -1, true, true);
        } else if (op == QLatin1Char('a')) {
            feeder.Send(20, -1, false, true);
        } else if (op == QLatin1Char('u')) {
            BlockPtr newest = model.GetChannelData(shownChannel)->LastBlock();
            UserData* sign = CallSign(newest->StartPosition() + 1, newest->StartPosition() + 4,
                                      QStringLiteral("DL1AB"));
            if (!model.SetUserData(newest, sign, UserData::CallSignType, sign->Start, sign->End))
                delete sign;
        } else if (op == QLatin1Char('e')) {
            model.EndTransmission();
        } else if (op == QLatin1Char('h') || op == QLatin1Char('H')) {
            model.GetChannelData(Channel)->hold = op == QLatin1Char('h');
        } else if (op == QLatin1Char('q') || op == QLatin1Char('Q')) {
            for (DecodedTextContent* content : {a, &b})
                QMetaObject::invokeMethod(content, "SlotColorCoding",
                                          Q_ARG(bool, op == QLatin1Char('q')));
        } else if (op == QLatin1Char('x')) {
            feeder.Send(n, -1, false, false, OtherChannel);
        } else if (op == QLatin1Char('p') || op == QLatin1Char('P')) {
            model.SetChannelSeparator(op == QLatin1Char('p') ? QStringLiteral(" | ") : QString());
        } else if (op == QLatin1Char('s')) {
            for (DecodedTextContent* content : {a, &b}) {
                QTextCursor c = content->textCursor();
                c.setPosition(content->document()->characterCount() - 40);
                c.setPosition(content->document()->characterCount() - 30, QTextCursor::KeepAnchor);
                content->setTextCursor(c);
            }
        }
        QVERIFY2(DocumentComparison::Difference(*a, b).isEmpty(),
                 qPrintable(step + QStringLiteral(": ") + DocumentComparison::Difference(*a, b)));
    }
    LetDeferredScrollRun();
    QCOMPARE(DocumentComparison::Difference(*a, b), QString());
}

void TestDecodedTextContent::colorCoding_data()
{
    QTest::addColumn<bool>("coding");
    QTest::addColumn<QString>("qualities");
    QTest::addColumn<QString>("red");

    QTest::newRow("below the threshold is red") << true << "49,90" << "10";
    QTest::newRow("at the threshold is normal") << true << "50,100" << "00";
    QTest::newRow("negative counts as low beside real qualities") << true << "80,-1" << "01";
    QTest::newRow("no quality at all goes in one piece, normal") << true << "-1,-5" << "00";
    QTest::newRow("coding off leaves low quality normal") << false << "10,20" << "00";
}

void TestDecodedTextContent::colorCoding()
{
    QFETCH(bool, coding);
    QFETCH(QString, qualities);
    QFETCH(QString, red);
    DecodedTextData model;
    model.SetQualityThreshold(50);
    BlockPtr block = NewBlock(model, 1);
    const QStringList q = qualities.split(QLatin1Char(','));
    for (const QString& quality : q)
        AddRun(*block, QStringLiteral("xyz"), quality.toInt());
    DecodedTextContent content(Channel, false, &model, nullptr);
    QMetaObject::invokeMethod(&content, "SlotColorCoding", Q_ARG(bool, coding));

    QCOMPARE(content.toPlainText().size(), 3 * q.size());
    for (int i = 0; i < q.size(); ++i)
        for (int k = 0; k < 3; ++k)
            QCOMPARE(IsRed(content.document(), 3 * i + k), red.at(i) == QLatin1Char('1'));
}

void TestDecodedTextContent::rightToLeftFollowsBlock()
{
    DecodedTextData model;
    BlockPtr a = NewBlock(model, 1, "abc");
    a->rightToLeft = true;
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    QTextOption option = content.document()->defaultTextOption();
    QCOMPARE(option.textDirection(), Qt::RightToLeft);
    QCOMPARE(option.alignment(), Qt::Alignment(Qt::AlignRight));
    QCOMPARE(option.wrapMode(), QTextOption::WrapAnywhere);

    // A rebuild must not lose the direction along with the old document.
    content.RefreshContent();
    QCOMPARE(content.document()->defaultTextOption().textDirection(), Qt::RightToLeft);

    NewBlock(model, 2, "def");
    content.UpdateContent();
    option = content.document()->defaultTextOption();
    QCOMPARE(option.textDirection(), Qt::LeftToRight);
    QCOMPARE(option.alignment(), Qt::Alignment(Qt::AlignLeft));
}

void TestDecodedTextContent::deferredScrollRespectsFocus()
{
    DecodedTextData model;
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.resize(300, 120);
    content.show();
    QVERIFY(QTest::qWaitForWindowActive(&content));
    for (int i = 1; i <= 40; ++i)
        NewBlock(model, i, QStringLiteral("line %1").arg(i));
    content.RefreshContent();
    QScrollBar* bar = content.verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    QTRY_COMPARE(bar->value(), bar->maximum());

    content.setFocus();
    QTRY_VERIFY(content.hasFocus());
    bar->setValue(0);
    NewBlock(model, 41, "new");
    content.UpdateContent();
    LetDeferredScrollRun();
    QCOMPARE(bar->value(), 0);

    QTest::keyClick(&content, Qt::Key_Escape);
    QVERIFY(!content.hasFocus());
    NewBlock(model, 42, "newer");
    content.UpdateContent();
    QTRY_COMPARE(bar->value(), bar->maximum());
}

void TestDecodedTextContent::positionsAndSelection()
{
    DecodedTextData model;
    BlockPtr a = NewBlock(model, 1, "hello");
    BlockPtr b = NewBlock(model, 2, "wor\nld");
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();

    QCOMPARE(content.DocumentPosition(b, 5), 12);
    QCOMPARE(content.DocumentPosition(a, 5), 0); // the end is not part of the line
    QCOMPARE(content.DocumentPosition(BlockPtr(new DecodedTextBlock(9, 9, T0)), 0), 0);

    const DecodedTextLayoutItem item = content.ItemAtPosition(9);
    QCOMPARE(item.block, b);
    QCOMPARE(item.start, 2);
    QCOMPARE(item.end, 4);
    QVERIFY(!content.ItemAtPosition(6).block); // separator line

    DecodedTextLayoutItem range;
    range.block = b;
    range.start = 1;
    range.end = 5;
    content.SelectItem(range);
    QCOMPARE(content.textCursor().selectedText(), QStringLiteral("or\u2029l"));

    content.SetChannelHold(true);
    QVERIFY(model.GetChannelData(Channel)->hold);
    content.SetChannelHold(false);
    QVERIFY(!model.GetChannelData(Channel)->hold);
}

void TestDecodedTextContent::tooltips()
{
    DecodedTextData model;
    BlockPtr block = NewBlock(model, 1, "abcdefgh");
    block->userData.append(CallSign(0, 3, "DL1ABC"));
    block->userData.append(CallSign(4, 5, "DL2XYZ"));
    DecodedTextContent content(Channel, false, &model, nullptr);
    QVERIFY(ShowFilled(content));
    QMetaObject::invokeMethod(&content, "SlotTooltipTime", Q_ARG(bool, false));

    const int gutters = content.viewport()->geometry().left();
    auto textPoint = [&](int position) {
        QTextCursor c(content.document());
        c.setPosition(position);
        const QRect r = content.cursorRect(c);
        return QPoint(gutters + r.left() + 2, r.center().y());
    };
    auto help = [&](const QPoint& p) {
        QHelpEvent e(QEvent::ToolTip, p, content.mapToGlobal(p));
        const bool handled = QApplication::sendEvent(&content, &e);
        return handled && e.isAccepted();
    };

    QVERIFY(help(textPoint(1)));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QStringLiteral("Call Sign: DL1ABC"));

    // Over the time gutter there is no tooltip, and a shown one goes away.
    QVERIFY(!help(QPoint(1, textPoint(1).y())));
    QTRY_VERIFY(!QToolTip::isVisible());

    // The call-sign gutter lists the signs of the line.
    const int infoX = content.findChild<QWidget*>(QStringLiteral("Info"))->geometry().left() + 2;
    QVERIFY(help(QPoint(infoX, textPoint(1).y())));
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("DL1ABC, DL2XYZ"));
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());

    // Plain text without time: nothing to say.
    QVERIFY(!help(textPoint(7)));
    QVERIFY(!QToolTip::isVisible());

    QMetaObject::invokeMethod(&content, "SlotTooltipTime", Q_ARG(bool, true));
    QVERIFY(help(textPoint(7)));
    QTRY_VERIFY(QToolTip::isVisible());
    const QString local = T0.toLocalTime().toString(QStringLiteral("hh:mm:ss"));
    QCOMPARE(QToolTip::text(), local);
    QToolTip::hideText();
}

void TestDecodedTextContent::infoAreaWidth()
{
    DecodedTextData model;
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.resize(400, 200);
    content.show();
    QWidget* info = content.findChild<QWidget*>(QStringLiteral("Info"));
    const int left = content.viewport()->geometry().left();
    const int former = info->width();
    QCOMPARE(former, model.GetInfoAreaWidth());

    content.SetInfoAreaWidth(-1);
    QCOMPARE(content.viewport()->geometry().left(), left);
    QVERIFY(info->isVisible());

    content.SetInfoAreaWidth(0);
    QVERIFY(!info->isVisible());
    QCOMPARE(content.viewport()->geometry().left(), left - former);
    QCOMPARE(model.GetInfoAreaWidth(), 0);

    content.SetInfoAreaWidth(70);
    QVERIFY(info->isVisible());
    QCOMPARE(info->width(), 70);
    QCOMPARE(content.viewport()->geometry().left(), left - former + 70);
    QCOMPARE(model.GetInfoAreaWidth(), 70);

    // Built with a stored width of 0, the gutter starts hidden.
    model.SetInfoAreaWidth(0);
    DecodedTextContent hidden(Channel, false, &model, nullptr);
    hidden.show();
    QVERIFY(!hidden.findChild<QWidget*>(QStringLiteral("Info"))->isVisible());
}

void TestDecodedTextContent::infoAreaPaintsCallSignRow()
{
    DecodedTextData model;
    BlockPtr block = NewBlock(model, 1, "abc\ndef\nghi");
    block->userData.append(CallSign(5, 7, "DL1ABC"));
    DecodedTextContent content(Channel, false, &model, nullptr);
    QVERIFY(ShowFilled(content));
    QWidget* info = content.findChild<QWidget*>(QStringLiteral("Info"));

    auto band = [&](int line) {
        const QTextBlock b = content.document()->findBlockByNumber(line);
        return content.cursorRect(QTextCursor(b));
    };
    // Only the line where the sign begins gets a row; the grip line at the right is left out.
    const QImage image = info->grab().toImage();
    const int textRight = info->width() - 5;
    QVERIFY(Ink(image, band(1).top(), band(1).bottom(), 0, textRight) > 0);
    QCOMPARE(Ink(image, band(0).top(), band(0).bottom(), 0, textRight), 0);
    QCOMPARE(Ink(image, band(2).top(), band(2).bottom(), 0, textRight), 0);

    content.SetInfoAreaWidth(4);
    const QImage narrow = info->grab().toImage();
    QCOMPARE(Ink(narrow, 0, narrow.height() - 1, 0, 0), 0);
}

void TestDecodedTextContent::infoAreaClicksAndGrip()
{
    DecodedTextData model;
    BlockPtr block = NewBlock(model, 1, "abc\ndef\nghi");
    block->userData.append(CallSign(5, 7, "K1A"));
    DecodedTextContent content(Channel, false, &model, nullptr);
    QVERIFY(ShowFilled(content));
    QWidget* info = content.findChild<QWidget*>(QStringLiteral("Info"));
    const int y = content.cursorRect(QTextCursor(content.document()->findBlockByNumber(1))).center().y();

    // A click on the sign selects its text, up to the right end of its label; past it, nothing.
    QTest::mouseClick(info, Qt::LeftButton, {}, QPoint(5, y));
    QCOMPARE(content.textCursor().selectedText(), QStringLiteral("ef"));
    const int signEnd = 4 + info->fontMetrics().horizontalAdvance(QStringLiteral("K1A"));
    content.moveCursor(QTextCursor::End);
    QTest::mouseClick(info, Qt::LeftButton, {}, QPoint(signEnd, y));
    QCOMPARE(content.textCursor().selectedText(), QStringLiteral("ef")); // right end still hits
    content.moveCursor(QTextCursor::End);
    QTest::mouseClick(info, Qt::LeftButton, {}, QPoint(signEnd + 2, y));
    QVERIFY(!content.textCursor().hasSelection());

    // A right click beside the signs opens no menu (exec would block here) and releases the hold.
    QTest::mouseClick(info, Qt::RightButton, {}, QPoint(signEnd + 2, y));
    QVERIFY(!model.GetChannelData(Channel)->hold);

    // The grip: split cursor, and a drag sets the stored width, never below 4.
    const int width = info->width();
    QMouseEvent hover(QEvent::MouseMove, QPoint(width - 2, y), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(info, &hover);
    QCOMPARE(info->cursor().shape(), Qt::SplitHCursor);
    QTest::mousePress(info, Qt::LeftButton, {}, QPoint(width - 2, y));
    QVERIFY(content.textCursor().position() == content.document()->characterCount() - 1);
    QTest::mouseRelease(info, Qt::LeftButton, {}, QPoint(width + 28, y));
    QCOMPARE(model.GetInfoAreaWidth(), width + 30);
    QCOMPARE(info->width(), width + 30);
    QTest::mousePress(info, Qt::LeftButton, {}, QPoint(width + 28, y));
    QTest::mouseRelease(info, Qt::LeftButton, {}, QPoint(0, y));
    QCOMPARE(model.GetInfoAreaWidth(), 4);
}

void TestDecodedTextContent::timeGutterPaintsItemLinesOnly()
{
    DecodedTextData model;
    NewBlock(model, 1, "abc");
    NewBlock(model, 2, "def");
    DecodedTextContent content(Channel, false, &model, nullptr);
    QVERIFY(ShowFilled(content));
    QWidget* time = content.findChild<QWidget*>(QStringLiteral("Timestamps"));
    const QImage image = time->grab().toImage();
    for (int line = 0; line < 3; ++line) {
        const QRect r = content.cursorRect(QTextCursor(content.document()->findBlockByNumber(line)));
        const int ink = Ink(image, r.top(), r.bottom());
        if (line == 1)
            QCOMPARE(ink, 0); // separator line without item
        else
            QVERIFY2(ink > 0, qPrintable(QStringLiteral("line %1 has no label").arg(line)));
    }
}

QTEST_MAIN(TestDecodedTextContent)
#include "tst_decodedtextcontent.moc"
