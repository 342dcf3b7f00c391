#include "blockinvariants.h"
#include "decodedtexthighlighter.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "widgetfixtures.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QRandomGenerator>
#include <QTextLayout>
#include <QtTest>

using namespace WidgetFixtures;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);
const int Channel = 5;

// A block with one run of text and annotations "C1-4,M0-2,X2-2": call sign, comment and change.
BlockPtr Annotated(DecodedTextData& model, int id, const QString& text, const QString& marks = {})
{
    BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0.addSecs(60 * id), id);
    AddRun(*block, text, T0);
    for (const QString& a : marks.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList range = a.mid(1).split(QLatin1Char('-'));
        const QString type = a.at(0) == QLatin1Char('C')   ? UserData::CallSignType
                             : a.at(0) == QLatin1Char('X') ? UserData::ChangeType
                                                           : UserData::CommentType;
        block->userData.append(Mark(type, range.at(0).toInt(), range.at(1).toInt(), "DL1ABC"));
    }
    return block;
}

// One code per character of each line: g/c/y for a green/cyan/yellow background, '#' for the
// grey of a closed block, '.' for nothing the highlighter added.
QStringList Codes(const QTextDocument* doc)
{
    QStringList out;
    for (QTextBlock line = doc->firstBlock(); line.isValid(); line = line.next()) {
        QString codes;
        for (int i = 0; i < line.text().size(); ++i) {
            QTextCharFormat f;
            for (const QTextLayout::FormatRange& r : line.layout()->formats())
                if (i >= r.start && i < r.start + r.length)
                    f = r.format;
            const QColor bg = f.background().style() == Qt::NoBrush ? QColor() : f.background().color();
            const bool grey = f.hasProperty(QTextFormat::ForegroundBrush)
                && f.foreground().color() == QColor(100, 100, 100);
            codes += bg == QColor(0, 255, 0)     ? 'g'
                     : bg == QColor(0, 255, 255) ? 'c'
                     : bg == QColor(255, 255, 0) ? 'y'
                     : grey                      ? '#'
                                                 : '.';
        }
        out << codes;
    }
    return out;
}

} // namespace

class TestDecodedTextHighlighter : public QObject
{
    Q_OBJECT

private slots:
    void annotations_data();
    void annotations();
    void separatorLineStaysPlain();
    void lowQualityShowsThroughAnnotation();
    void refreshDrawsAsLineByLine();
};

void TestDecodedTextHighlighter::annotations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<int>("closed"); // 1: before the text area is filled, 2: after
    QTest::addColumn<QStringList>("codes");

    QTest::newRow("call sign across a line break colours both lines")
        << "ab\ncd" << "C1-4" << 0 << QStringList{".g", "g."};
    QTest::newRow("annotation of a later line leaves the earlier one alone")
        << "ab\ncd" << "C4-5" << 0 << QStringList{"..", ".g"};
    QTest::newRow("empty change still colours one character")
        << "abcd" << "X2-2" << 0 << QStringList{"..y."};
    QTest::newRow("later annotation in block order wins")
        << "abcd" << "M0-4,C1-2" << 0 << QStringList{"cgcc"};
    QTest::newRow("closed block is grey except annotated characters")
        << "abcd" << "M1-2" << 1 << QStringList{"#c##"};
    QTest::newRow("closed block without annotations is grey throughout")
        << "ab\ncd" << "" << 1 << QStringList{"##", "##"};
    QTest::newRow("closing a shown block greys it on the next update")
        << "abc" << "" << 2 << QStringList{"###"};
}

void TestDecodedTextHighlighter::annotations()
{
    QFETCH(QString, text);
    QFETCH(QString, marks);
    QFETCH(int, closed);
    DecodedTextData model;
    BlockPtr block = Annotated(model, 1, text, marks);
    QVERIFY_BLOCK(*block);
    block->closed = closed == 1;
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    if (closed == 2) {
        QCOMPARE(Codes(content.document()), QStringList{QString(text.size(), '.')});
        block->closed = true;
        content.UpdateView();
    }
    QTEST(Codes(content.document()), "codes");
}

void TestDecodedTextHighlighter::separatorLineStaysPlain()
{
    DecodedTextData model;
    // A sign reaching past the block's text must not spill onto the separator line.
    Annotated(model, 1, "abc", "C1-9");
    Annotated(model, 2, "de"); // closes the first
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    QCOMPARE(Codes(content.document()), (QStringList{"#gg", "", ".."}));
    QVERIFY(content.document()->findBlockByNumber(1).layout()->formats().isEmpty());
}

void TestDecodedTextHighlighter::lowQualityShowsThroughAnnotation()
{
    DecodedTextData model;
    model.SetQualityThreshold(50);
    BlockPtr block = Annotated(model, 1, "ab", "C1-3");
    block->snippets[0].quality = 90;
    AddRun(*block, "cd", T0, 10);
    DecodedTextContent content(Channel, false, &model, nullptr);
    QMetaObject::invokeMethod(&content, "SlotColorCoding", Q_ARG(bool, true));
    QCOMPARE(Codes(content.document()), (QStringList{".gg."}));

    // The annotation adds a background only; the red of the insertion stays underneath.
    for (const QTextLayout::FormatRange& r : content.document()->firstBlock().layout()->formats())
        QVERIFY(!r.format.hasProperty(QTextFormat::ForegroundBrush));
    QTextCursor c(content.document());
    c.setPosition(3);
    QCOMPARE(c.charFormat().foreground().color(), QColor(Qt::red));
}

// A refresh finds each line's annotations in an index of the block; drawing them line by line
// from the block's own list must give the same picture.
void TestDecodedTextHighlighter::refreshDrawsAsLineByLine()
{
    DecodedTextData model;
    QRandomGenerator random(77);
    QString text;
    for (int i = 0; i < 600; ++i)
        text += random.bounded(15) == 0 ? QChar('\n') : QChar('a' + random.bounded(26));
    BlockPtr block = Annotated(model, 1, text);
    const QString types[] = { UserData::CallSignType, UserData::CommentType, UserData::ChangeType };
    for (int i = 0; i < 150; ++i) {
        const int start = random.bounded(text.size());
        // Mostly short ones, some across many lines, some emptied (end not after start).
        const int length = random.bounded(10) == 0 ? random.bounded(300) : random.bounded(-2, 6);
        block->userData.append(Mark(types[random.bounded(3)], start, start + length, "DL1ABC"));
    }
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    const QStringList refreshed = Codes(content.document());
    QVERIFY(refreshed.join(QString()).count('c') > 0);

    auto* highlighter = content.document()->findChild<DecodedTextHighlighter*>();
    QVERIFY(highlighter);
    highlighter->rehighlight();
    QCOMPARE(refreshed, Codes(content.document()));
}

QTEST_MAIN(TestDecodedTextHighlighter)
#include "tst_decodedtexthighlighter.moc"
