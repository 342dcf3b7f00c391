#include "blockinvariants.h"
#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtexthighlighter.h"
#include "decodedtextlastlinecache_p.h"
#include "documentcomparison.h"
#include "widgetfixtures.h"

#include <QHelpEvent>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolTip>
#include <QtTest>

#include <optional>

using namespace WidgetFixtures;
using DocumentComparison::ItemOf;
using DocumentComparison::Lines;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);
const int Channel = 3;
const int OtherChannel = 4;

// A block of the channel with runs separated by '|', each a second after the one before; a
// text area given takes the block and each run as they arrive.
BlockPtr NewBlock(DecodedTextData& model, int id, const QString& runs = QString(),
                  DecodedTextContent* intake = nullptr)
{
    BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0.addSecs(60 * id), id);
    if (intake)
        intake->UpdateContent();
    for (const QString& run : runs.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        AddRun(*block, run, T0.addSecs(block->snippets.size()));
        if (intake)
            intake->UpdateContent();
    }
    return block;
}

// A text area of the channel filled with one block per entry of `blocks`, runs as NewBlock lays
// them down: appended as they arrive, or all at once by a refresh.
struct Area {
    explicit Area(const QStringList& blocks = {}, bool appended = false)
    {
        for (int i = 0; i < blocks.size(); ++i)
            NewBlock(model, i + 1, blocks.at(i), appended ? &content : nullptr);
        if (!appended)
            content.RefreshContent();
    }
    // Shows it at a fixed size and fills it again, as a pane does on opening.
    bool Show(int width = 400, int height = 200)
    {
        content.resize(width, height);
        content.show();
        const bool exposed = QTest::qWaitForWindowExposed(&content);
        content.RefreshContent();
        return exposed;
    }
    QStringList Lines() const { return DocumentComparison::Lines(content.document()); }

    DecodedTextData model;
    DecodedTextContent content { Channel, false, &model, nullptr };
};

// Fires after any 10 ms timer started before it.
void LetDeferredScrollRun()
{
    QTimer sentinel;
    sentinel.setSingleShot(true);
    QSignalSpy fired(&sentinel, &QTimer::timeout);
    sentinel.start(40);
    QVERIFY(fired.wait());
}

// Feeds channels through the model's intake, as a decoder would; mapped, every channel's text
// is also merged into the aggregation channel.
struct Feeder {
    Feeder(DecodedTextData& model, bool mapped) : model(model), mapped(mapped) {}
    // Characters of the current transmission (older: the one before) from stream position
    // `from` (-1: where it stopped), in runs of alternating quality, with a call sign `sign`
    // characters after `from` if given. Run times start again at the transmission's start, so
    // a merge puts them between those delivered before.
    void Send(int length, int from = -1, bool older = false, std::optional<int> sign = {}, int source = Channel)
    {
        const int key = older ? current - 1 : current;
        int& stream = streams[qMakePair(key, source)];
        const int position = from < 0 ? stream : from;
        static const char* const words[] = {"CQ ", "DE ", "TEST\n", "599 ", "73\n", "K "};
        static const int qualities[] = {80, -1, 30, 95};
        QString content;
        while (content.size() < length)
            content += QLatin1String(words[(serial++) % 6]);
        content.truncate(length);
        if (flat)
            content.replace(QLatin1Char('\n'), QLatin1Char(' '));
        // The second decoder's text differs from the first's wherever a merge puts it.
        if (source != Channel)
            content = content.toLower();
        QVector<TimeStamp> stamps;
        for (int run = 0; run * 7 < length; ++run)
            stamps << Stamp(position + run * 7, T0.addSecs(key).addMSecs(run), qualities[(serial + run) % 4]);
        QVector<UserData*> marks;
        if (sign)
            marks << Mark(UserData::CallSignType, position + *sign, position + 3, QStringLiteral("K1A"));
        const QString xml = BlockXml(source, T0.addSecs(key), content, marks, stamps);
        QVector<int> used;
        if (mapped)
            model.AddTransmission({{Channel, Channel}, {OtherChannel, OtherChannel}}, used, xml);
        else
            model.AddTransmission(xml);
        stream = position + length;
    }
    int Stream() const { return streams.value(qMakePair(current, Channel)); }

    DecodedTextData& model;
    bool mapped;
    QMap<QPair<int, int>, int> streams;
    int current = 0;
    int serial = 0;
    bool flat = false; // no line breaks: the block is one line
};

// Where the painted gutters of two text areas differ: both follow the layout items and the
// scroll position, so a pane that differs from a rebuild in either shows it here.
QString GutterDifference(DecodedTextContent& a, DecodedTextContent& b)
{
    for (const char* name : {"Timestamps", "Info"}) {
        auto* x = a.findChild<QWidget*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        auto* y = b.findChild<QWidget*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        if (!x || !y || x->grab().toImage() != y->grab().toImage())
            return QStringLiteral("%1 gutter").arg(QLatin1String(name));
    }
    return QString();
}

// The first line whose colours differ from a plain reading of its block: a character shows the
// colour of the last annotation in block order that covers its position (green call sign, cyan
// comment, yellow change; an emptied one still covers one character), any other character of a
// closed block is grey ('#'), the rest and lines without item stay plain; '!' marks an
// annotation that also sets a foreground. With colour coding, a character of a block that has
// any quality at all is inserted red ('*' after it) when its run is below the threshold or has
// no quality.
QString Mismatch(const QTextDocument* doc, bool coding, int threshold)
{
    for (QTextBlock line = doc->firstBlock(); line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* item = ItemOf(line);
        const QVector<UserData*> marks = item ? item->block->userData : QVector<UserData*>();
        const QList<DecodedTextSnippet> runs = item ? item->block->snippets : QList<DecodedTextSnippet>();
        const bool rated
            = std::any_of(runs.begin(), runs.end(), [](const auto& r) { return r.quality >= 0; });
        QString shown;
        QString wanted;
        for (int i = 0; i < line.text().size(); ++i) {
            const int at = item ? item->start + i : 0;
            QChar colour = item && item->block->closed ? '#' : '.';
            for (const UserData* u : marks)
                if (u->Start <= at && at < qMax(u->End, u->Start + 1))
                    colour = u->Type == UserData::CallSignType ? 'g'
                        : u->Type == UserData::ChangeType      ? 'y'
                                                               : 'c';
            int quality = -1;
            for (const DecodedTextSnippet& r : runs)
                quality = r.start <= at && at < r.end ? r.quality : quality;
            wanted += QString(colour) + (coding && rated && quality < threshold ? "*" : "");
            QTextCharFormat f;
            for (const QTextLayout::FormatRange& r : line.layout()->formats())
                if (i >= r.start && i < r.start + r.length)
                    f = r.format;
            const bool grey = f.hasProperty(QTextFormat::ForegroundBrush)
                && f.foreground().color() == QColor(100, 100, 100);
            const QRgb bg
                = f.background().style() == Qt::NoBrush ? 0 : f.background().color().rgb();
            // An annotation adds a background only: the colour coding's foreground stays.
            const bool both = bg && f.hasProperty(QTextFormat::ForegroundBrush);
            shown += both ? '!'
                          : QHash<QRgb, char> { { qRgb(0, 255, 0), 'g' },
                                                { qRgb(0, 255, 255), 'c' },
                                                { qRgb(255, 255, 0), 'y' } }
                                .value(bg, grey ? '#' : '.');
            QTextCursor c(line);
            c.setPosition(line.position() + i + 1);
            if (c.charFormat().foreground().color() == Qt::red)
                shown += '*';
        }
        if (shown != wanted)
            return QStringLiteral("line %1: %2 instead of %3")
                .arg(line.blockNumber())
                .arg(shown, wanted);
    }
    return QString();
}

} // namespace

class TestDecodedTextContent : public QObject
{
    Q_OBJECT

private slots:
    void gutterLayout();
    void documentLines_data();
    void documentLines();
    void refreshAfterTrim_data();
    void refreshAfterTrim();
    void paneIntakeMatchesRebuild_data();
    void paneIntakeMatchesRebuild();
    void colorsMatchPlainReading();
    void rightToLeftFollowsBlock();
    void deferredScrollRespectsFocus();
    void screenShowsFullRepaint_data();
    void screenShowsFullRepaint();
    void tooltips();
};

void TestDecodedTextContent::gutterLayout()
{
    Area a;
    QVERIFY(a.Show());
    auto* time = a.content.findChild<QWidget*>(QStringLiteral("Timestamps"), Qt::FindDirectChildrenOnly);
    auto* info = a.content.findChild<QWidget*>(QStringLiteral("Info"), Qt::FindDirectChildrenOnly);
    QVERIFY(time && info);
    QCOMPARE(time->width(), a.content.fontMetrics().horizontalAdvance(QStringLiteral("29:99:99")) + 4);
    // Time gutter outermost, then the call signs, then the text, all as high as the text; no
    // width (-1) leaves the gutter as it was, 0 hides it.
    for (const int width : { 60, -1, 0, 70 }) {
        a.content.SetInfoAreaWidth(width);
        const int shown = width < 0 ? 60 : width;
        QCOMPARE(info->isVisible(), shown > 0);
        QCOMPARE(info->geometry().left(), time->geometry().right() + 1);
        QCOMPARE(a.content.viewport()->geometry().left(), info->geometry().left() + shown);
        QCOMPARE(time->geometry().top(), a.content.viewport()->geometry().top());
        QCOMPARE(time->height(), a.content.viewport()->height());
    }
}

void TestDecodedTextContent::documentLines_data()
{
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("one line") << QStringList{"abc"} << QStringList{"abc|0-3|0"};
    QTest::newRow("a block without text yet has its separator and its own line")
        << QStringList{"abc", ""} << QStringList{"abc|0-3|0", "|-", "|-"};
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
    for (const bool appended : { true, false }) {
        // Appending leaves what is shown alone: the lines, their items and a selection in them.
        Area a(blocks, appended);
        QCOMPARE(a.Lines(), lines);
        const DecodedTextLayoutItem* first = ItemOf(a.content.document()->firstBlock());
        Select(a.content, 0, 1);
        AddRun(*a.model.GetChannelData(Channel)->LastBlock(), "x", T0);
        a.content.UpdateContent();
        QCOMPARE(a.Lines().mid(0, lines.size() - 1), lines.mid(0, lines.size() - 1));
        QCOMPARE(ItemOf(a.content.document()->firstBlock()), first);
        QCOMPARE(a.content.textCursor().selectedText(), QStringLiteral("a"));
    }
    Area a(blocks);
    QVERIFY(a.Show());
    const QImage times = a.content.findChild<QWidget*>(QStringLiteral("Timestamps"))->grab().toImage();
    // Every character of a line with an item maps to a block position and back; a line's end
    // belongs to the next line, and a separator line to no block. Only lines with text of a block
    // have a time label.
    for (QTextBlock line = a.content.document()->firstBlock(); line.isValid(); line = line.next()) {
        const DecodedTextLayoutItem* own = ItemOf(line);
        const QRect r = a.content.cursorRect(QTextCursor(line));
        QVERIFY2((Ink(times, r.top(), r.bottom()) > 0) == (own && own->start < own->end), qPrintable(line.text()));
        for (int i = 0; i < line.length(); ++i) {
            const DecodedTextLayoutItem found = a.content.ItemAtPosition(line.position() + i);
            QCOMPARE(found.block, own ? own->block : BlockPtr());
            if (own && own->start + i < own->end)
                QCOMPARE(a.content.DocumentPosition(own->block, found.start), line.position() + i);
        }
    }
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
    Area a({ "hello", "world" });
    Select(a.content, from, to);
    a.model.GetChannelData(Channel)->blocks.removeFirst();
    a.content.RefreshContent();
    QCOMPARE(a.content.toPlainText(), QStringLiteral("world"));
    const QTextCursor c = a.content.textCursor();
    QCOMPARE(c.selectedText(), selected.isNull() ? QString() : selected);
    QCOMPARE(c.selectionStart(), selected.isNull() ? 5 : from - 7);
}

void TestDecodedTextContent::paneIntakeMatchesRebuild_data()
{
    // Steps: "t<n>" n transmissions of 90 characters, each ended; "n<n>" a new transmission
    // of n characters; "c<n>" n more for it; "g<n>" n more after 3 lost; "r<n>" resent from n
    // characters back; "o<n>" n more for the transmission before, with a call sign; "a" a
    // call sign delivered with the next 20 characters ("A": one reaching 20 characters back
    // into lines already shown); "u" the host marks a call sign in the newest block; "e" end
    // of transmission; "h"/"H" hold on/off; "q"/"Q" colour coding on/off; "s" a selection;
    // "x<n>" n characters of a second decoder for the current transmission; "p"/"P" channel
    // separator on/off; "f"/"F" offline on/off; "O<n>" n more for the transmission before,
    // with a call sign reaching back over the one "o" left there; "X" the host exports the
    // channel; "l<n>" n pieces drawn at random for the open transmission (mostly plain pieces,
    // now and then one with a call sign, a gap, a resend, a mark by the host, a selection,
    // colour coding switched, and in aggregation rows pieces of the second decoder), each
    // compared with the rebuild, gutters included; "k<n>" the pane's first line of the newest
    // block is highlighted for a call sign the block then loses again, the line left so, before
    // n characters of the second decoder; "w"/"W" the decoders send no line breaks / line
    // breaks again. Aggregation rows show the aggregation channel, fed by mapped intake online.
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
    QTest::newRow("a call sign reaching back into a transmission already ended")
        << "t1 n30 e A n20 e" << false;
    QTest::newRow("hold defers trimming, release catches up") << "t13 h t6 H t2" << false;
    QTest::newRow("offline mark in the newest block, then data for an older one")
        << "f t14 n40 e n30 u o10 r5 o10 e t2" << false;
    QTest::newRow("export clears edited runs, then data for an older one")
        << "f t14 n40 e n30 u c5 X o10 r5 e t1" << false;
    QTest::newRow("a call sign of an older block replaced by one delivered with data")
        << "f t14 n40 e n30 o10 r5 u O10 e t1" << false;
    // A transmission that never ends while the buffer trims its front again and again: the
    // pane cuts the head of the open block and continues it instead of rebuilding.
    QTest::newRow("long open transmission trimmed from its front, drawn pieces")
        << "n40 l500" << false;
    QTest::newRow("long open transmission after closed blocks left, colour coding")
        << "q t4 n40 l400" << false;
    QTest::newRow("long open transmission with the operator holding the channel")
        << "n40 l150 h l40 H l150" << false;
    QTest::newRow("aggregation: long open transmission trimmed, drawn pieces")
        << "n40 l400" << true;
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
    QTest::newRow("aggregation: a line highlighted behind the merges' back")
        << "t2 n60 x30 c20 x20 k10 c20 x10 k10" << true;
    // The last line keeps its shaping once it is long, and gives it up to the next one.
    QTest::newRow("aggregation: one long line, merged into and trimmed, then the next")
        << "w n40 x300 c200 x100 l60 e n30 x300 W c40 x20 w c300 e t1" << true;
    QTest::newRow("long lines of an open transmission trimmed from its front")
        << "w n40 l300 W c30 w l100" << false;
}

void TestDecodedTextContent::paneIntakeMatchesRebuild()
{
    QFETCH(QString, steps);
    QFETCH(bool, aggregation);
    DecodedTextData model;
    model.SetBufferSize(1000);
    model.SetQualityThreshold(50);
    Feeder feeder(model, aggregation);
    const int shown = aggregation ? DecodedTextData::AggregationChannelID : Channel;

    // The pane takes the incremental road; the reference rebuilds and re-highlights in full.
    DecodedTextChannel pane(QStringLiteral("c"), shown, &model, nullptr);
    pane.resize(300, 400);
    pane.show();
    pane.ExpandTextArea(true);
    DecodedTextContent* a = pane.findChild<DecodedTextContent*>();
    QVERIFY(a);
    DecodedTextContent b(shown, false, &model, nullptr);
    b.resize(a->size());
    b.show();
    QObject::connect(&model, &DecodedTextData::DataChanged, &b, [&b, shown](int channel, bool refresh) {
        if (channel == shown)
            refresh ? b.RefreshContent() : b.UpdateContent();
    });
    QObject::connect(&model, &DecodedTextData::TransmissionChanged, &b, [&b, shown](int channel) {
        if (channel == shown)
            b.UpdateView();
    });
    b.RefreshContent();
    DecodedTextContent fresh(shown, false, &model, nullptr);

    // Each row draws the same pieces every run.
    QRandomGenerator random(qHash(steps));
    const auto draw = [&random, aggregation]() -> QString {
        const int roll = random.bounded(100);
        const int length = 1 + random.bounded(60);
        if (roll < 8) return QStringLiteral("a");
        if (roll < 14) return QStringLiteral("g%1").arg(length);
        if (roll < 18) return QStringLiteral("r%1").arg(1 + random.bounded(20));
        if (roll < 20) return QStringLiteral("u");
        if (roll < 23) return QStringLiteral("s");
        if (roll < 25) return QString::fromLatin1(roll == 23 ? "q" : "Q");
        if (aggregation && roll < 45) return QStringLiteral("x%1").arg(length);
        return QStringLiteral("c%1").arg(length);
    };
    QStringList pending = steps.split(QLatin1Char(' '));
    while (!pending.isEmpty()) {
        QString step = pending.takeFirst();
        if (step.startsWith(QLatin1Char('l'))) {
            const int left = step.mid(1).toInt();
            if (left <= 0)
                continue;
            pending.prepend(QStringLiteral("l%1").arg(left - 1));
            step = draw();
        }
        const int n = step.mid(1).toInt();
        const char op = step.at(0).toLatin1();
        switch (op) {
        case 't':
            for (int i = 0; i < n; ++i) {
                ++feeder.current;
                feeder.Send(90);
                model.EndTransmission();
            }
            break;
        case 'n': ++feeder.current; feeder.Send(n); break;
        case 'c': feeder.Send(n); break;
        case 'g': feeder.Send(n, feeder.Stream() + 3); break;
        case 'r': feeder.Send(n + 10, feeder.Stream() - n); break;
        case 'o': feeder.Send(n, -1, true, 1); break;
        case 'O': feeder.Send(n, -1, true, -7); break;
        case 'f': case 'F': model.SetOffline(op == 'f'); break;
        case 'X': {
            VarnoResultDataXml::VarnoResultData document;
            model.GetData(shown, document, false);
            break;
        }
        case 'a': feeder.Send(20, -1, false, 1); break;
        case 'A': feeder.Send(20, -1, false, -19); break;
        case 'x': feeder.Send(n, -1, false, {}, OtherChannel); break;
        case 'k': {
            BlockPtr newest = model.GetChannelData(shown)->LastBlock();
            const int start = newest->StartPosition();
            UserData* sign = Mark(UserData::CallSignType, start, start + 3, QStringLiteral("DL1AB"));
            newest->userData.append(sign);
            a->document()->findChild<DecodedTextHighlighter*>()->rehighlightBlock(
                a->document()->findBlock(a->DocumentPosition(newest, start)));
            newest->userData.removeAll(sign);
            delete sign;
            feeder.Send(n, -1, false, {}, OtherChannel);
            break;
        }
        case 'e': model.EndTransmission(); break;
        case 'w': case 'W': feeder.flat = op == 'w'; break;
        case 'h': case 'H': model.GetChannelData(Channel)->hold = op == 'h'; break;
        case 'p': case 'P':
            model.SetChannelSeparator(op == 'p' ? QStringLiteral(" | ") : QString());
            break;
        case 'u': {
            BlockPtr newest = model.GetChannelData(shown)->LastBlock();
            const int start = newest->StartPosition() + 1;
            UserData* sign = Mark(UserData::CallSignType, start, start + 3, QStringLiteral("DL1AB"));
            if (!model.SetUserData(newest, sign, UserData::CallSignType, start, start + 3))
                delete sign;
            break;
        }
        case 'q': case 'Q':
            for (DecodedTextContent* content : {a, &b})
                QMetaObject::invokeMethod(content, "SlotColorCoding", Q_ARG(bool, op == 'q'));
            break;
        case 's':
            for (DecodedTextContent* content : {a, &b})
                Select(*content, content->document()->characterCount() - 40,
                       content->document()->characterCount() - 30);
            break;
        }
        // b takes the same slots as the pane; only a document filled anew shows an append that
        // went wrong in both. Data for an older block leaves the lines behind until a refresh.
        if (!steps.contains(QLatin1Char('o'), Qt::CaseInsensitive)) {
            fresh.RefreshContent();
            QCOMPARE(Lines(a->document()), Lines(fresh.document()));
        }
        QString difference = DocumentComparison::Difference(*a, b);
        if (difference.isEmpty() && steps.contains(QLatin1Char('l')))
            difference = GutterDifference(*a, b);
        QVERIFY2(difference.isEmpty(), qPrintable(step + QStringLiteral(": ") + difference));
        // The last line keeps its shaping when it is long, no other line does: a line that
        // kept it once and was left would hold all of it after every layout until trimmed.
        const QTextBlock last = a->document()->lastBlock();
        for (QTextBlock line = a->document()->firstBlock(); line.isValid(); line = line.next()) {
            const bool keeps = line == last
                && line.length() >= DecodedTextLastLineCache::LongLine;
            const char* wrong = keeps ? "does not keep its shaping" : "keeps its shaping";
            QVERIFY2(line.layout()->cacheEnabled() == keeps,
                     qPrintable(QStringLiteral("%1: line %2 of %3, %4 characters, %5")
                                    .arg(step)
                                    .arg(line.blockNumber())
                                    .arg(a->document()->blockCount())
                                    .arg(line.length())
                                    .arg(QLatin1String(wrong))));
        }
    }
    LetDeferredScrollRun();
    QCOMPARE(DocumentComparison::Difference(*a, b), QString());
    // Nobody reads in the pane: it shows the very end, wrapped lines laid out late included.
    QCOMPARE(a->verticalScrollBar()->value(), a->verticalScrollBar()->maximum());
    if (steps.contains(QLatin1Char('l')))
        QCOMPARE(GutterDifference(*a, b), QString());
}

// Blocks of letters and line breaks in runs of random quality, with annotations of every kind,
// mostly short, some across many lines or past the block's end, some emptied; drawn by a refresh
// (from an index of each block), line by line (from the block's own list) and after the newest
// block was closed while shown.
void TestDecodedTextContent::colorsMatchPlainReading()
{
    const quint32 seed = 20240115;
    QRandomGenerator random(seed);
    const QString types[] = { UserData::CallSignType, UserData::CommentType, UserData::ChangeType };
    const int qualities[] = { -1, 49, 50, 90 };
    for (int round = 0; round < 30; ++round) {
        DecodedTextData model;
        model.SetQualityThreshold(50);
        BlockPtr block;
        for (int id = 1, blocks = random.bounded(1, 4); id <= blocks; ++id) {
            // A new block closes the one before. One in four first blocks has no quality at all;
            // inserted plain, a later one takes on the colour of the text in front of it.
            block = NewBlock(model, id);
            const bool rated = id > 1 || random.bounded(4) > 0;
            for (int runs = random.bounded(1, 6); runs > 0; --runs) {
                QString text;
                for (int i = random.bounded(1, 60); i > 0; --i)
                    text += random.bounded(12) == 0 ? QChar('\n') : QChar('a' + random.bounded(26));
                const int first = block->snippets.isEmpty() ? 1 : 0; // rated means some quality
                AddRun(*block, text, T0, rated ? qualities[random.bounded(first, 4)] : -1);
            }
            for (int n = random.bounded(40); n > 0; --n) {
                const int start = random.bounded(block->text.size() + 1);
                const int length
                    = random.bounded(10) == 0 ? random.bounded(150) : random.bounded(-2, 6);
                block->userData.append(Mark(types[random.bounded(3)], start, start + length, "X"));
            }
        }
        const bool coding = random.bounded(2);
        DecodedTextContent content(Channel, false, &model, nullptr);
        QMetaObject::invokeMethod(&content, "SlotColorCoding", Q_ARG(bool, coding));
        const QString where = QStringLiteral("seed %1 round %2, ").arg(seed).arg(round);
        QCOMPARE(where + Mismatch(content.document(), coding, 50), where);
        content.document()->findChild<DecodedTextHighlighter*>()->rehighlight();
        QCOMPARE(where + Mismatch(content.document(), coding, 50), where);
        block->closed = true;
        content.UpdateView();
        QCOMPARE(where + Mismatch(content.document(), coding, 50), where);
    }
}

void TestDecodedTextContent::rightToLeftFollowsBlock()
{
    Area a;
    NewBlock(a.model, 1, "abc")->rightToLeft = true;
    a.content.RefreshContent();
    const QTextOption option = a.content.document()->defaultTextOption();
    QCOMPARE(option.alignment(), Qt::Alignment(Qt::AlignRight));
    QCOMPARE(option.wrapMode(), QTextOption::WrapAnywhere);
    // A rebuild must not lose the direction along with the old document.
    a.content.RefreshContent();
    QCOMPARE(a.content.document()->defaultTextOption().textDirection(), Qt::RightToLeft);

    NewBlock(a.model, 2, "def");
    a.content.UpdateContent();
    QCOMPARE(a.content.document()->defaultTextOption().textDirection(), Qt::LeftToRight);
    QCOMPARE(a.content.document()->defaultTextOption().alignment(), Qt::Alignment(Qt::AlignLeft));
}

void TestDecodedTextContent::deferredScrollRespectsFocus()
{
    Area a;
    QVERIFY(a.Show(300, 120) && QTest::qWaitForWindowActive(&a.content));
    QTRY_VERIFY(a.content.hasFocus());
    QScrollBar* bar = a.content.verticalScrollBar();
    // A rebuild shows the very end of wrapped lines with the operator in the text too;
    // paneIntakeMatchesRebuild follows a pane without the focus.
    for (int i = 1; i <= 40; ++i)
        NewBlock(a.model, i, QStringLiteral("line %1 wraps in a pane").arg(i));
    a.content.RefreshContent();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    LetDeferredScrollRun();
    QTest::qWait(50); // paints that lay out more lines
    QCOMPARE(bar->value(), bar->maximum());

    // While the operator works in the text, new text does not pull the view away.
    bar->setValue(0);
    NewBlock(a.model, 41, "new");
    a.content.UpdateContent();
    LetDeferredScrollRun();
    QTest::qWait(50);
    QCOMPARE(bar->value(), 0);

    QTest::keyClick(&a.content, Qt::Key_Escape);
    QVERIFY(!a.content.hasFocus());
    NewBlock(a.model, 42, "newer");
    a.content.UpdateContent();
    QTRY_COMPARE(bar->value(), bar->maximum());
}

// Only the part of the view from the first line changed is painted again after a change of the
// document: the screen must still show what painting everything shows, through appends at the
// end and below the view, merges into the middle, resends, call signs reaching back into lines
// shown before, trims, ends and scrolling.
void TestDecodedTextContent::screenShowsFullRepaint_data()
{
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("appendsOnly");
    QTest::addColumn<bool>("follows"); // nobody reads in it or scrolls it
    QTest::newRow("aggregation channel: merges into the middle")
        << int(DecodedTextData::AggregationChannelID) << false << false;
    QTest::newRow("aggregation channel: merges while the view follows the end")
        << int(DecodedTextData::AggregationChannelID) << false << true;
    QTest::newRow("decoder channel: call signs reaching back into lines shown")
        << Channel << false << false;
    QTest::newRow("decoder channel: appends, view moved down and back between two paints")
        << Channel << true << true;
}

void TestDecodedTextContent::screenShowsFullRepaint()
{
    QFETCH(int, shown);
    QFETCH(bool, appendsOnly);
    QFETCH(bool, follows);
    DecodedTextData model;
    model.SetBufferSize(1000);
    Feeder feeder(model, true);
    DecodedTextContent content(shown, false, &model, nullptr);
    QObject::connect(&model, &DecodedTextData::DataChanged, &content, [&](int channel, bool refresh) {
        if (channel == shown)
            refresh ? content.RefreshAfterIntake() : content.UpdateContent();
    });
    // Wide enough for a row to take several appends.
    content.resize(appendsOnly ? 600 : 300, 200);
    content.SetInfoAreaWidth(70);
    content.show();
    QVERIFY(QTest::qWaitForWindowExposed(&content));
    if (follows) {
        // Nobody reads in it: the view follows the end. Activation would give it the focus.
        QVERIFY(QTest::qWaitForWindowActive(&content));
        content.clearFocus();
    }
    QScrollBar* bar = content.verticalScrollBar();
    QRandomGenerator random(7);
    ++feeder.current;
    for (int step = 0; step < 120; ++step) {
        const int roll = appendsOnly ? 0 : random.bounded(follows ? 90 : 100);
        const int length = 1 + random.bounded(appendsOnly ? 12 : 40);
        if (roll < 40) feeder.Send(length);
        else if (roll < 70) feeder.Send(length, -1, false, {}, OtherChannel);
        else if (roll < 78) feeder.Send(length + 5, qMax(0, feeder.Stream() - length));
        else if (roll < 84) { model.EndTransmission(); ++feeder.current; }
        else if (roll < 90) feeder.Send(length, -1, false, -20 - random.bounded(60)); // a call sign reaching back
        else bar->setValue(random.bounded(bar->maximum() + 1));
        const auto screenShown = [&] {
            QApplication::processEvents();
            // A timer that came due meanwhile may have moved pixels whose repaint is still on
            // its way: the window shows them only after that repaint.
            QApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
            const QImage screen = content.screen()->grabWindow(content.winId()).toImage();
            return screen.convertToFormat(QImage::Format_RGB32)
                == content.grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        if (appendsOnly) {
            // Painted before the deferred scroll to the end comes, and again after it.
            QVERIFY2(screenShown(), qPrintable(QStringLiteral("step %1").arg(step)));
            // Two rows one way and one back: a strip at the top and one at the bottom are
            // painted at once.
            const int value = bar->value();
            const int way = value + 2 <= bar->maximum() ? 1 : value >= 2 ? -1 : 0;
            if (way) {
                bar->setValue(value + 2 * way);
                bar->setValue(value + way);
                QVERIFY2(screenShown(), qPrintable(QStringLiteral("step %1, moved").arg(step)));
            }
            if (step % 2 == 0)
                LetDeferredScrollRun();
        } else if (step % 3 == 0) {
            LetDeferredScrollRun();
        }
        QVERIFY2(screenShown(), qPrintable(QStringLiteral("step %1").arg(step)));
    }
    // Painting the background itself, the text area shows what its style sheet paints behind it
    // once another style sheet may paint there too.
    QVERIFY(content.viewport()->testAttribute(Qt::WA_OpaquePaintEvent));
    const QImage own = content.grab().toImage();
    qApp->setStyleSheet(QStringLiteral("QToolTip { color: black }"));
    QVERIFY(!content.viewport()->testAttribute(Qt::WA_OpaquePaintEvent));
    QCOMPARE(content.grab().toImage(), own);
    qApp->setStyleSheet(QString());
}

void TestDecodedTextContent::tooltips()
{
    Area a({ "abcdefgh" });
    a.model.GetChannelData(Channel)->LastBlock()->userData.append(Mark(UserData::CallSignType, 0, 3, "DL1ABC"));
    QVERIFY(a.Show());
    QMetaObject::invokeMethod(&a.content, "SlotTooltipTime", Q_ARG(bool, false));
    // Over a character of the text, or at its height over the time gutter.
    auto help = [&](int position, bool overTimes = false) {
        const QPoint p = PointAt(a.content, position) + a.content.viewport()->pos();
        const QPoint at = overTimes ? QPoint(1, p.y()) : p;
        QHelpEvent e(QEvent::ToolTip, at, a.content.mapToGlobal(at));
        return QApplication::sendEvent(&a.content, &e) && e.isAccepted();
    };

    QVERIFY(help(1));
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Call Sign: DL1ABC"));
    // Over the time gutter there is no tooltip, and a shown one goes away.
    QVERIFY(!help(1, true));
    QTRY_VERIFY(!QToolTip::isVisible());
    // Plain text without time: nothing to say; with time: the local time of its run.
    QVERIFY(!help(7));
    QMetaObject::invokeMethod(&a.content, "SlotTooltipTime", Q_ARG(bool, true));
    QVERIFY(help(7));
    QTRY_COMPARE(QToolTip::text(), T0.toLocalTime().toString(QStringLiteral("hh:mm:ss")));
    QToolTip::hideText();
}

QTEST_MAIN(TestDecodedTextContent)
#include "tst_decodedtextcontent.moc"
