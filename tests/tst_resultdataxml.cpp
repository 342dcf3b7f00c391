#include "modelfixtures.h"

#include <QtTest>

#include <memory>

using namespace VarnoResultDataXml;

namespace {

QString Units(std::initializer_list<ushort> codes)
{
    QString text;
    for (ushort code : codes)
        text.append(QChar(code));
    return text;
}

QString Range(ushort first, ushort last)
{
    QString text;
    for (uint code = first; code <= last; ++code)
        text.append(QChar(static_cast<ushort>(code)));
    return text;
}

QDateTime Utc(int year, int month, int day, int h, int m, int s, int ms)
{
    return QDateTime(QDate(year, month, day), QTime(h, m, s, ms), Qt::UTC);
}

std::unique_ptr<DataBlock> ThroughBlockDocument(const DataBlock& block)
{
    auto copy = std::make_unique<DataBlock>();
    if (!copy->SetXmlString(block.GetXmlString()))
        return nullptr;
    return copy;
}

// Every field of a data block, a line for the block, each stamp and each annotation; times in
// ISO form with milliseconds.
QString Describe(const DataBlock& b)
{
    QStringList out { QStringLiteral("%1 %2 %3 %4 %5 %6").arg(b.GetID()).arg(b.GetChannel()).arg(b.GetOffset())
                          .arg(b.GetReserved()).arg(b.GetContentDirectionRTL()).arg(b.GetContent()) };
    for (const TimeStamp& t : b.GetTimeStamp())
        out << QStringLiteral("%1 %2 %3").arg(t.Position).arg(t.Quality).arg(t.Time.toString(Qt::ISODateWithMs));
    for (const UserData* u : b.GetUserData())
        out << QStringList { QString::number(u->Start), QString::number(u->End), QString::number(u->Channel),
                             u->Type, u->Text, u->Comment, u->ReplacedText, u->CallSign, u->Modifier,
                             u->ChangeTime.toString(Qt::ISODateWithMs) }.join(',');
    return out.join('\n');
}

// Read times are always UTC.
bool SameTime(const QDateTime& expected, const QDateTime& actual)
{
    return expected.isValid() ? actual.timeSpec() == Qt::UTC && actual == expected
                              : !actual.isValid();
}

const char* const DocumentedExample = R"(<?xml version="1.0"?>
<ResultData version="1">
  <Transmission start="2024-05-01T10:00:00.000Z" stop="2024-05-01T10:00:07.250Z">
    <DataBlock id="1" channel="3" offset="0" rtl="false">
      <ContentCode>ITA2</ContentCode>
      <Content>CQ CQ DE DL1ABC<Char code="13"/>
K</Content>
      <TimeStamp position="0" quality="97" time="2024-05-01T10:00:00.000Z"/>
      <TimeStamp position="6" quality="-1" time="2024-05-01T10:00:01.500Z"/>
      <UserData start="9" end="14" channel="0" changeTime="2024-05-01T10:02:00.125Z">
        <Type>CallSign</Type>
        <Text>DL1ABC</Text>
        <CallSign>DL1ABC</CallSign>
        <Modifier>operator</Modifier>
      </UserData>
    </DataBlock>
    <DataBlock id="2" channel="4" offset="0" rtl="true"/>
  </Transmission>
</ResultData>
)";

// A refused read leaves the object as a fresh one.
template<class Object> bool Refused(Object& filled, const QString& xml)
{
    return !filled.SetXmlString(xml) && filled.GetXmlString() == Object().GetXmlString();
}

enum Target { BlockDocument, TransmissionDocument, WholeDocument };

} // namespace

Q_DECLARE_METATYPE(Target)

class TestResultDataXml : public QObject {
    Q_OBJECT

private slots:
    void contentSurvivesEveryDocument_data();
    void contentSurvivesEveryDocument();
    void setContentGivesNfc();
    void timesSurviveToTheMillisecond_data();
    void timesSurviveToTheMillisecond();
    void timeFormsReadAsTheIsoParserReadsThem_data();
    void timeFormsReadAsTheIsoParserReadsThem();
    void blocksStampsAndUserDataSurvive();
    void documentedExampleReadsAndIsWritten();
    void handWrittenDocumentReads();
    void valuesAtAndBeyondTheBound();
    void hostileInputLeavesObjectEmpty_data();
    void hostileInputLeavesObjectEmpty();
};

void TestResultDataXml::contentSurvivesEveryDocument_data()
{
    QTest::addColumn<QString>("content");
    // clang-format off
    QTest::newRow("CR LF a parser folds into LF, lone CR") << QStringLiteral("one\r\ntwo\r\r\n\n\r");
    QTest::newRow("whitespace only, not ignorable here") << QStringLiteral(" \t\n ");
    QTest::newRow("markup, and text that looks like our escape") << QStringLiteral("<a href=\"x\">&amp; ]]> '</a><Char code=\"13\"/>&#13;");
    QTest::newRow("surrogate pair and right-to-left") << QString::fromUtf8("a\xF0\x9F\x93\xA1z مرحبا");
    QTest::newRow("lone surrogates") << (QStringLiteral("a") + Units({ 0xD83D }) + "z" + Units({ 0xDCE1, 0xDC00, 0xD800 }));
    QTest::newRow("non-characters U+FFFE U+FFFF and a byte order mark") << Units({ 0xFFFE, 'x', 0xFFFF, 0xFEFF });
    QTest::newRow("every C0 control, NUL included, DEL and C1") << Range(0x00, 0x1F) + Range(0x7F, 0x9F);
    // clang-format on
}

void TestResultDataXml::contentSurvivesEveryDocument()
{
    QFETCH(QString, content);
    auto* block = new DataBlock(7, 0, 0);
    // AppendData keeps the text exactly as given, where SetContent would normalise it.
    block->SetTimeStamp(Utc(2024, 5, 1, 10, 0, 0, 1));
    block->BeginFrame();
    block->AppendData(content);
    block->EndFrame();
    block->SetContentCode(content);
    block->AddUserData(Fixtures::Note(QString(), 0, 0, content)); // comment and call sign

    const std::unique_ptr<DataBlock> single = ThroughBlockDocument(*block);
    QVERIFY(single);
    const UserData* note = single->GetUserData().value(0);
    QCOMPARE(QStringList({ single->GetContent(), single->GetContentCode(), note->Comment,
                           note->CallSign }),
             QStringList({ content, content, content, content }));
    auto* transmission = new Transmission;
    transmission->AddDataBlock(block);
    VarnoResultData document, readDocument;
    document.AddTransmission(transmission);
    Transmission readTransmission;
    QVERIFY(readTransmission.SetXmlString(transmission->GetXmlString()));
    QVERIFY(readDocument.SetXmlString(document.GetXmlString()));
    QCOMPARE(QStringList({ readTransmission.GetDataBlock().value(0)->GetContent(),
                           readDocument.GetTransmission()[0]->GetDataBlock().value(0)->GetContent() }),
             QStringList({ content, content }));
}

void TestResultDataXml::setContentGivesNfc()
{
    const QPair<QString, QString> cases[] = {
        { QString::fromUtf8("Cafe\xCC\x81"), QString::fromUtf8("Caf\xC3\xA9") }, // acute composed
        { Units({ 0x1100, 0x1161 }), Units({ 0xAC00 }) }, // Hangul jamo become a syllable
        { Units({ '\r', 0x01, 0x85 }), Units({ '\r', 0x01, 0x85 }) }, // controls pass unchanged
    };
    for (const auto& c : cases) {
        DataBlock block;
        block.SetContent(c.first);
        QCOMPARE(block.GetContent(), c.second);
        QCOMPARE(ThroughBlockDocument(block)->GetContent(), c.second);
    }
}

void TestResultDataXml::timesSurviveToTheMillisecond_data()
{
    QTest::addColumn<QDateTime>("time");
    // clang-format off
    QTest::newRow("last millisecond of a day") << Utc(2023, 12, 31, 23, 59, 59, 999);
    QTest::newRow("local time is written as the same instant") << QDateTime(QDate(2024, 7, 1), QTime(12, 30, 15, 7), Qt::LocalTime);
    QTest::newRow("offset from UTC") << QDateTime(QDate(2024, 1, 1), QTime(1, 0, 0, 500), Qt::OffsetFromUTC, -5 * 3600);
    QTest::newRow("year beyond four digits") << Utc(20000, 6, 1, 1, 2, 3, 4);
    QTest::newRow("year before the common era") << Utc(-44, 3, 15, 12, 0, 0, 1);
    QTest::newRow("invalid stays invalid") << QDateTime();
    // clang-format on
}

void TestResultDataXml::timesSurviveToTheMillisecond()
{
    QFETCH(QDateTime, time);
    auto* block = new DataBlock(1);
    block->GetTimeStamp().append({ time, 0, -1 });
    block->AddUserData(new UserData);
    block->GetUserData()[0]->ChangeTime = time;
    Transmission transmission;
    transmission.SetStartTime(time);
    transmission.SetStopTime(time);
    transmission.AddDataBlock(block);

    Transmission read;
    QVERIFY(read.SetXmlString(transmission.GetXmlString()));
    const DataBlock* readBlock = read.GetDataBlock().value(0);
    for (const QDateTime& t : { read.GetStartTime(), read.GetStopTime(),
                                readBlock->GetTimeStamp().value(0).Time,
                                readBlock->GetUserData().value(0)->ChangeTime })
        QVERIFY2(SameTime(time, t), qPrintable(t.toString(Qt::ISODateWithMs)));
}

void TestResultDataXml::blocksStampsAndUserDataSurvive()
{
    VarnoResultData document;
    auto* transmission = new Transmission;
    transmission->SetStartTime(Utc(2024, 1, 1, 0, 0, 0, 0));
    transmission->AddDataBlock(new DataBlock(10, 0, 0)); // empty blocks are carried too
    auto* block = new DataBlock(-1, 4000, 9);
    block->SetID(200);
    block->SetContentDirectionRTL(true);
    // Frames become stamps without quality; direct stamps keep theirs, in the writer's order.
    block->SetTimeStamp(Utc(2024, 5, 1, 10, 0, 0, 0));
    block->BeginFrame();
    block->AppendData(QStringLiteral("CQ "));
    block->AppendData(QStringLiteral("CQ "));
    block->EndFrame();
    block->AppendData(QStringLiteral("|"));
    block->EndFrame(); // no frame is open: nothing to record
    block->GetTimeStamp().append({ QDateTime(), 2, 0 });
    UserData* change = Fixtures::Change(4, QStringLiteral("new\r\ntext"),
                                        Units({ 'o', 0x01, 'l', 'd' }), "fixed by ear — ok");
    change->Channel = 12;
    change->CallSign = QStringLiteral("DL1ABC");
    change->Modifier = QString::fromUtf8("Zoë");
    change->ChangeTime = Utc(2024, 2, 29, 23, 59, 58, 42);
    block->AddUserData(change);
    block->AddUserData(nullptr);
    block->AddUserData(Fixtures::Note(QString(), -3, 0, QString()));
    transmission->AddDataBlock(block);
    transmission->AddDataBlock(nullptr);
    document.AddTransmission(transmission);
    document.AddTransmission(nullptr);

    VarnoResultData read;
    QVERIFY(read.SetXmlString(document.GetXmlString()));
    QCOMPARE(read.GetTransmission().size(), 1);
    const QVector<DataBlock*>& blocks = read.GetTransmission().first()->GetDataBlock();
    QCOMPARE(blocks.size(), 2);
    QCOMPARE(Describe(*blocks.at(0)), Describe(DataBlock(10, 0, 0)));
    QCOMPARE(Describe(*blocks.at(1)),
             QStringLiteral("200 -1 4000 9 1 CQ CQ |\n0 -1 2024-05-01T10:00:00.000Z\n2 0 \n")
                 + Describe(*block).section('\n', 3)); // the annotations exactly as written

    // A successful read replaces what was there.
    DataBlock target(4);
    target.SetContent(QStringLiteral("old"));
    target.AddUserData(new UserData);
    QVERIFY(target.SetXmlString(DataBlock(6).GetXmlString()));
    QCOMPARE(target.GetXmlString(), DataBlock(6).GetXmlString());
}

void TestResultDataXml::documentedExampleReadsAndIsWritten()
{
    VarnoResultData document;
    QVERIFY(document.SetXmlString(QString::fromUtf8(DocumentedExample)));
    const Transmission* transmission = document.GetTransmission().value(0);
    QCOMPARE(transmission->GetStopTime(), Utc(2024, 5, 1, 10, 0, 7, 250));
    QCOMPARE(Describe(*transmission->GetDataBlock().value(0)),
             QStringLiteral("1 3 0 0 0 CQ CQ DE DL1ABC\r\nK\n0 97 2024-05-01T10:00:00.000Z\n"
                            "6 -1 2024-05-01T10:00:01.500Z\n"
                            "9,14,0,CallSign,DL1ABC,,,DL1ABC,operator,2024-05-01T10:02:00.125Z"));
    QVERIFY(transmission->GetDataBlock().value(1)->GetContentDirectionRTL());
    QCOMPARE(document.GetXmlString(), QString::fromUtf8(DocumentedExample));
    // A transmission looks the same alone as inside a document.
    const QString alone = transmission->GetXmlString();
    const QString element = alone.mid(alone.indexOf("<Transmission")).trimmed();
    QVERIFY(element.startsWith("<Transmission"));
    QVERIFY(document.GetXmlString().simplified().contains(element.simplified()));
}

void TestResultDataXml::handWrittenDocumentReads()
{
    // What another program might send: comments, a CDATA section, times with an offset or
    // without a zone, the "@" form, booleans as digits, attributes in any order.
    const QString xml
        = QStringLiteral("<?xml version='1.0' encoding='UTF-8'?>\n<!-- sent by a test -->\n"
                         "<Transmission stop='@-1' start='2024-05-01T12:00:00.250+02:00'>"
                         "  <DataBlock rtl='1' channel='9' id='4'>"
                         "    <Content><![CDATA[a<b & c]]>\td<!-- note --></Content>"
                         "    <TimeStamp time='2024-05-01T10:00:00' position='2'/>"
                         "    <UserData end='1' start='0'><Comment> spaced </Comment></UserData>"
                         "  </DataBlock>"
                         "</Transmission><?done?>");
    Transmission transmission;
    QVERIFY(transmission.SetXmlString(xml));
    QVERIFY(SameTime(Utc(2024, 5, 1, 10, 0, 0, 250), transmission.GetStartTime()));
    QCOMPARE(transmission.GetStopTime(), Utc(1969, 12, 31, 23, 59, 59, 999));
    QCOMPARE(Describe(*transmission.GetDataBlock().value(0)),
             QStringLiteral("4 9 0 0 1 a<b & c\td\n2 -1 2024-05-01T10:00:00.000Z\n"
                            "0,1,0,,, spaced ,,,,"));
}

void TestResultDataXml::valuesAtAndBeyondTheBound()
{
    const int limit = IVarnoResultData::ValueLimit;
    DataBlock block(-limit, limit, -limit);
    block.SetID(limit);
    block.GetTimeStamp().append({ QDateTime(), limit, -limit });
    block.AddUserData(Fixtures::Note(QString(), -limit, limit, QString()));
    const std::unique_ptr<DataBlock> read = ThroughBlockDocument(block);
    QVERIFY(read);
    QCOMPARE(Describe(*read), Describe(block));

    // A document that would not read back must not be written: id, channel, position or end
    // beyond the bound, or the most negative int as quality.
    for (int field = 0; field < 5; ++field) {
        DataBlock bad(field == 1 ? limit + 1 : 1);
        bad.SetID(field == 0 ? limit + 1 : 1);
        bad.GetTimeStamp().append({ QDateTime(), field == 2 ? limit + 1 : 0,
                                    field == 4 ? std::numeric_limits<int>::min() : 0 });
        bad.AddUserData(Fixtures::Note(QString(), 0, field == 3 ? limit + 1 : 0, QString()));
        QString message;
        try {
            bad.GetXmlString();
        } catch (const VarnoResultDataException& e) {
            message = e.GetMessage();
            QCOMPARE(QString::fromUtf8(e.what()), message);
        }
        QVERIFY2(!message.isEmpty(),
                 qPrintable(QStringLiteral("no exception for field %1").arg(field)));
    }
}

void TestResultDataXml::hostileInputLeavesObjectEmpty_data()
{
    QTest::addColumn<Target>("target");
    QTest::addColumn<QString>("xml");
    const QString block = QStringLiteral("<DataBlock id=\"1\" channel=\"2\">%1</DataBlock>");
    const QString transmission = QStringLiteral("<Transmission>%1</Transmission>");
    const QString whole = QStringLiteral("<ResultData>%1</ResultData>");
    auto inBlock = [&](const QString& inner) { return block.arg(inner); };
    QString laughs = QStringLiteral("<!DOCTYPE DataBlock [<!ENTITY a0 \"lol\">");
    for (int i = 1; i < 10; ++i)
        laughs += QStringLiteral("<!ENTITY a%1 \"%2\">")
                      .arg(i).arg(QStringLiteral("&a%1;").arg(i - 1).repeated(10));
    const QString deep
        = QStringLiteral("<a>").repeated(20000) + QStringLiteral("</a>").repeated(20000);
    // clang-format off
    QTest::newRow("empty text") << WholeDocument << QString();
    QTest::newRow("unclosed root") << TransmissionDocument << QStringLiteral("<Transmission>");
    QTest::newRow("raw control character") << BlockDocument << inBlock(QStringLiteral("<Content>a") + QChar(1) + "</Content>");
    QTest::newRow("two roots") << BlockDocument << (inBlock(QString()) + inBlock(QString()));
    QTest::newRow("block document given to a transmission") << TransmissionDocument << inBlock(QString());
    QTest::newRow("whole document given to a block") << BlockDocument << whole.arg(QString());
    QTest::newRow("block directly under the document root") << WholeDocument << whole.arg(inBlock(QString()));
    QTest::newRow("data block without channel") << TransmissionDocument << transmission.arg(QStringLiteral("<DataBlock id=\"1\"/>"));
    QTest::newRow("time stamp without position") << BlockDocument << inBlock(QStringLiteral("<TimeStamp quality=\"5\"/>"));
    QTest::newRow("user data without end") << BlockDocument << inBlock(QStringLiteral("<UserData start=\"1\"/>"));
    QTest::newRow("number with trailing letters") << BlockDocument << QStringLiteral("<DataBlock id=\"12ab\" channel=\"2\"/>");
    QTest::newRow("hexadecimal position") << BlockDocument << inBlock(QStringLiteral("<TimeStamp position=\"0x10\"/>"));
    QTest::newRow("position just beyond the bound") << BlockDocument << inBlock(QStringLiteral("<TimeStamp position=\"100000001\"/>"));
    QTest::newRow("offset beyond int") << BlockDocument << QStringLiteral("<DataBlock id=\"1\" channel=\"2\" offset=\"4294967296\"/>");
    QTest::newRow("time that is not a time") << TransmissionDocument << QStringLiteral("<Transmission start=\"yesterday\"/>");
    QTest::newRow("epoch milliseconds beyond the range") << TransmissionDocument << QStringLiteral("<Transmission start=\"@9223372036854775807\"/>");
    QTest::newRow("direction that is not a boolean") << BlockDocument << QStringLiteral("<DataBlock id=\"1\" channel=\"2\" rtl=\"maybe\"/>");
    QTest::newRow("escape beyond UTF-16") << BlockDocument << inBlock(QStringLiteral("<Content><Char code=\"65536\"/></Content>"));
    QTest::newRow("escape with content") << BlockDocument << inBlock(QStringLiteral("<Content><Char code=\"1\">x</Char></Content>"));
    QTest::newRow("unknown element") << BlockDocument << inBlock(QStringLiteral("<Extra/>"));
    QTest::newRow("stray text between elements") << TransmissionDocument << transmission.arg(QStringLiteral("text"));
    QTest::newRow("content given twice") << BlockDocument << inBlock(QStringLiteral("<Content>a</Content><Content>b</Content>"));
    QTest::newRow("external entity") << BlockDocument << (QStringLiteral("<!DOCTYPE DataBlock [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>") + inBlock("<Content>&x;</Content>"));
    QTest::newRow("exponential entity expansion") << BlockDocument << laughs + "]>" + inBlock(QStringLiteral("<Content>&a9;</Content>"));
    QTest::newRow("deep nesting inside a text") << BlockDocument << inBlock("<Content>" + deep + "</Content>");
    QTest::newRow("bad block after a good one in a document")
        << WholeDocument << whole.arg(transmission.arg(inBlock(QString()) + "<DataBlock id=\"x\" channel=\"1\"/>"));
    // clang-format on
}

void TestResultDataXml::hostileInputLeavesObjectEmpty()
{
    QFETCH(Target, target);
    QFETCH(QString, xml);
    // Filled first, so that a refused read can be seen to leave nothing behind.
    DataBlock block;
    block.SetContent(QStringLiteral("kept?"));
    block.GetTimeStamp().append(TimeStamp());
    block.AddUserData(new UserData);
    Transmission transmission;
    transmission.AddDataBlock(new DataBlock(1));
    transmission.SetStartTime(Utc(2024, 1, 1, 0, 0, 0, 0));
    VarnoResultData document;
    document.AddTransmission(new Transmission);
    QVERIFY(target == BlockDocument          ? Refused(block, xml)
            : target == TransmissionDocument ? Refused(transmission, xml)
                                             : Refused(document, xml));
}

void TestResultDataXml::timeFormsReadAsTheIsoParserReadsThem_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("the written form") << "2024-05-01T10:00:01.500Z";
    QTest::newRow("leap day") << "2024-02-29T23:59:59.999Z";
    QTest::newRow("no leap day that year") << "2023-02-29T00:00:00.000Z";
    QTest::newRow("end of day as hour 24") << "2024-05-01T24:00:00.000Z";
    QTest::newRow("leap second") << "2024-06-30T23:59:60.000Z";
    QTest::newRow("year 0") << "0000-01-01T00:00:00.000Z";
    QTest::newRow("month 13") << "2024-13-01T00:00:00.000Z";
    QTest::newRow("offset instead of Z") << "2024-05-01T10:00:01.500+02:00";
    QTest::newRow("no milliseconds") << "2024-05-01T10:00:01Z";
    QTest::newRow("no zone") << "2024-05-01T10:00:01.500";
    QTest::newRow("lower case letters") << "2024-05-01t10:00:01.500z";
    QTest::newRow("other digits") << QString::fromUtf8("\u0662024-05-01T10:00:01.500Z");
}

// Times in the writer's form are read by hand; every form must come out as the ISO parser reads
// it: UTC, a time without a zone taken as UTC, anything it does not take refused.
void TestResultDataXml::timeFormsReadAsTheIsoParserReadsThem()
{
    QFETCH(QString, text);
    QDateTime expected = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (expected.timeSpec() == Qt::LocalTime)
        expected.setTimeSpec(Qt::UTC);
    Transmission read;
    const bool ok = read.SetXmlString(
        QStringLiteral("<Transmission start=\"%1\" stop=\"%1\"/>").arg(text));
    QCOMPARE(ok, expected.isValid());
    if (ok)
        QVERIFY2(SameTime(expected.toUTC(), read.GetStartTime()),
                 qPrintable(read.GetStartTime().toString(Qt::ISODateWithMs)));
}

QTEST_GUILESS_MAIN(TestResultDataXml)
#include "tst_resultdataxml.moc"
