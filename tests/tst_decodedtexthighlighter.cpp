#include "blockinvariants.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

using VarnoResultDataXml::UserData;
using BlockPtr = QExplicitlySharedDataPointer<DecodedTextBlock>;

namespace {

const QDateTime T0(QDate(2024, 1, 15), QTime(10, 0, 0), Qt::UTC);
const int Channel = 5;

void AddRun(DecodedTextBlock& block, const QString& text, int quality = -1)
{
    DecodedTextSnippet s;
    s.length = text.size();
    s.start = block.EndPosition();
    s.end = s.start + text.size();
    s.quality = quality;
    s.timestamp = T0;
    block.snippets.append(s);
    block.text += text;
}

// "C1-4,M0-2,X2-2": call sign, comment (remark) and change annotations with their ranges.
void Annotate(DecodedTextBlock& block, const QString& marks)
{
    for (const QString& a : marks.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        auto* u = new UserData;
        u->Type = a.at(0) == QLatin1Char('C')   ? UserData::CallSignType
                  : a.at(0) == QLatin1Char('X') ? UserData::ChangeType
                                                : UserData::CommentType;
        const QStringList range = a.mid(1).split(QLatin1Char('-'));
        u->Start = range.at(0).toInt();
        u->End = range.at(1).toInt();
        u->CallSign = QStringLiteral("DL1ABC");
        block.userData.append(u);
    }
}

// One code per character of the line: g/c/y for a green/cyan/yellow background,
// '#' for the grey of a closed block, '.' for nothing the highlighter added.
QString Codes(const QTextBlock& line)
{
    QString out;
    const QVector<QTextLayout::FormatRange> formats = line.layout()->formats();
    for (int i = 0; i < line.text().size(); ++i) {
        QTextCharFormat f;
        for (const QTextLayout::FormatRange& r : formats)
            if (i >= r.start && i < r.start + r.length)
                f = r.format;
        const QColor bg = f.background().style() == Qt::NoBrush ? QColor() : f.background().color();
        if (bg == QColor(0, 255, 0))
            out += QLatin1Char('g');
        else if (bg == QColor(0, 255, 255))
            out += QLatin1Char('c');
        else if (bg == QColor(255, 255, 0))
            out += QLatin1Char('y');
        else if (f.hasProperty(QTextFormat::ForegroundBrush)
                 && f.foreground().color() == QColor(100, 100, 100))
            out += QLatin1Char('#');
        else
            out += QLatin1Char('.');
    }
    return out;
}

QStringList AllCodes(const QTextDocument* doc)
{
    QStringList out;
    for (QTextBlock line = doc->firstBlock(); line.isValid(); line = line.next())
        out << Codes(line);
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
    void closingRehighlights();
};

void TestDecodedTextHighlighter::annotations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QStringList>("codes");

    QTest::newRow("call sign across a line break colours both lines")
        << "ab\ncd" << "C1-4" << false << QStringList{".g", "g."};
    QTest::newRow("annotation of a later line leaves the earlier one alone")
        << "ab\ncd" << "C4-5" << false << QStringList{"..", ".g"};
    QTest::newRow("empty change still colours one character")
        << "abcd" << "X2-2" << false << QStringList{"..y."};
    QTest::newRow("later annotation in block order wins")
        << "abcd" << "M0-4,C1-2" << false << QStringList{"cgcc"};
    QTest::newRow("closed block is grey except annotated characters")
        << "abcd" << "M1-2" << true << QStringList{"#c##"};
    QTest::newRow("closed block without annotations is grey throughout")
        << "ab\ncd" << "" << true << QStringList{"##", "##"};
}

void TestDecodedTextHighlighter::annotations()
{
    QFETCH(QString, text);
    QFETCH(QString, marks);
    QFETCH(bool, closed);
    QFETCH(QStringList, codes);
    DecodedTextData model;
    BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0, 1);
    AddRun(*block, text);
    QVERIFY_BLOCK(*block);
    Annotate(*block, marks);
    block->closed = closed;
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    QCOMPARE(AllCodes(content.document()), codes);
}

void TestDecodedTextHighlighter::separatorLineStaysPlain()
{
    DecodedTextData model;
    BlockPtr a = model.GetChannelData(Channel)->GetBlock(T0, 1);
    AddRun(*a, "abc");
    // A sign reaching past the block's text must not spill onto the separator line.
    Annotate(*a, "C1-9");
    BlockPtr b = model.GetChannelData(Channel)->GetBlock(T0.addSecs(60), 2); // closes a
    AddRun(*b, "de");
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    QCOMPARE(AllCodes(content.document()), (QStringList{"#gg", "", ".."}));
    QVERIFY(content.document()->findBlockByNumber(1).layout()->formats().isEmpty());
}

void TestDecodedTextHighlighter::lowQualityShowsThroughAnnotation()
{
    DecodedTextData model;
    model.SetQualityThreshold(50);
    BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0, 1);
    AddRun(*block, "ab", 90);
    AddRun(*block, "cd", 10);
    Annotate(*block, "C1-3");
    DecodedTextContent content(Channel, false, &model, nullptr);
    QMetaObject::invokeMethod(&content, "SlotColorCoding", Q_ARG(bool, true));
    QCOMPARE(AllCodes(content.document()), (QStringList{".gg."}));

    // The annotation adds a background only; the red of the insertion stays underneath.
    const QTextBlock line = content.document()->firstBlock();
    for (const QTextLayout::FormatRange& r : line.layout()->formats())
        QVERIFY(!r.format.hasProperty(QTextFormat::ForegroundBrush));
    QTextCursor c(content.document());
    c.setPosition(3);
    QCOMPARE(c.charFormat().foreground().color(), QColor(Qt::red));
}

void TestDecodedTextHighlighter::closingRehighlights()
{
    DecodedTextData model;
    BlockPtr block = model.GetChannelData(Channel)->GetBlock(T0, 1);
    AddRun(*block, "abc");
    DecodedTextContent content(Channel, false, &model, nullptr);
    content.RefreshContent();
    QCOMPARE(AllCodes(content.document()), QStringList{"..."});

    block->closed = true;
    content.UpdateView();
    QCOMPARE(AllCodes(content.document()), QStringList{"###"});
}

QTEST_MAIN(TestDecodedTextHighlighter)
#include "tst_decodedtexthighlighter.moc"
