#include "modelfixtures.h"

#include <QtTest>

#include <limits>
#include <memory>

using namespace VarnoResultDataXml;

namespace {

const int Limit = IVarnoResultData::ValueLimit;

// A read time must be UTC; a written one is shown as the instant it stands for.
QString Time(const QDateTime& t, bool written)
{
    if (!t.isValid())
        return QString();
    if (!written && t.timeSpec() != Qt::UTC)
        return QStringLiteral("not UTC");
    return t.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz"));
}

// Every field of a data block: a line for the block, each stamp and each annotation.
QString Describe(const DataBlock& b, bool written = false)
{
    QStringList out { QStringLiteral("%1 %2 %3 %4 %5 %6|%7").arg(b.GetID()).arg(b.GetChannel())
                          .arg(b.GetOffset()).arg(b.GetReserved()).arg(b.GetContentDirectionRTL())
                          .arg(b.GetContentCode(), b.GetContent()) };
    for (const TimeStamp& t : b.GetTimeStamp())
        out << QStringLiteral("%1 %2 %3").arg(t.Position).arg(t.Quality).arg(Time(t.Time, written));
    for (const UserData* u : b.GetUserData())
        out << QStringList { QString::number(u->Start), QString::number(u->End),
                             QString::number(u->Channel), u->Type, u->Text, u->Comment,
                             u->ReplacedText, u->CallSign, u->Modifier,
                             Time(u->ChangeTime, written) }.join(',');
    return out.join('\n');
}

QString Describe(const Transmission& t, bool written = false)
{
    QString out = Time(t.GetStartTime(), written) + ' ' + Time(t.GetStopTime(), written);
    for (const DataBlock* b : t.GetDataBlock())
        out += '\n' + Describe(*b, written);
    return out;
}

// Text made of what XML makes awkward: every control, DEL and C1, markup and our own escape,
// CR LF that a parser folds, lone and paired surrogates, non-characters, a byte order mark,
// right-to-left letters and decomposed letters that must not be composed on the way.
QString RandomText(QRandomGenerator& random)
{
    static const QStringList pieces { "<a href=\"x\">", "&amp;", "]]>", "'", "<Char code=\"13\"/>",
                                      "&#13;", "\r\n", " \t", QString::fromUtf8("\xF0\x9F\x93\xA1"),
                                      QString::fromUtf8("مرحبا"), QString::fromUtf16(u"\uFFFE\uFFFF\uFEFF"),
                                      QString::fromUtf16(u"e\u0301\u1100\u1161") };
    QString text;
    for (int n = random.bounded(12); n > 0; --n) {
        const int pick = random.bounded(4);
        text += pick == 0   ? pieces.at(random.bounded(pieces.size()))
            : pick == 1     ? QString(QChar(ushort(random.bounded(0xA0))))
            : pick == 2     ? QString(QChar(ushort(random.bounded(0xD800, 0xE000))))
                            : QString(QLatin1Char(char('a' + random.bounded(26))));
    }
    return text;
}

// Now and then a value beyond the bound, counted: a block holding one must not be written.
int beyond = 0;

int RandomNumber(QRandomGenerator& random)
{
    const int pick = random.bounded(40);
    if (pick < 2)
        return ++beyond, pick == 0 ? Limit + 1 : std::numeric_limits<int>::min();
    return pick < 12 ? -Limit : pick < 22 ? Limit : random.bounded(-Limit, Limit + 1);
}

// Invalid, at an offset from UTC or UTC, over the whole range the writer takes.
QDateTime RandomTime(QRandomGenerator& random)
{
    const qint64 range = Q_INT64_C(100000) * 366 * 24 * 3600 * 1000;
    const qint64 ms = qint64(random.generate64() % quint64(2 * range + 1)) - range;
    const int pick = random.bounded(3);
    return pick == 0 ? QDateTime()
        : pick == 1  ? QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, random.bounded(-50400, 50401))
                     : QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

DataBlock* RandomBlock(QRandomGenerator& random)
{
    auto* block = new DataBlock(RandomNumber(random), RandomNumber(random), RandomNumber(random));
    block->SetID(RandomNumber(random));
    block->SetContentDirectionRTL(random.bounded(2));
    block->SetContentCode(RandomText(random));
    block->AppendData(RandomText(random)); // kept exactly, where SetContent would normalise
    for (int n = random.bounded(4); n > 0; --n)
        block->GetTimeStamp().append({ RandomTime(random), RandomNumber(random), RandomNumber(random) });
    for (int n = random.bounded(4); n > 0; --n) {
        auto* u = new UserData;
        u->Start = RandomNumber(random);
        u->End = RandomNumber(random);
        u->Channel = RandomNumber(random);
        u->ChangeTime = RandomTime(random);
        for (QString* field : { &u->Type, &u->Text, &u->Comment, &u->ReplacedText, &u->CallSign, &u->Modifier })
            *field = RandomText(random);
        block->AddUserData(u);
        block->AddUserData(nullptr); // nothing to carry
    }
    return block;
}

// "thrown" when the writer refuses the block with an exception that carries its message.
QString Refusal(const DataBlock& block)
{
    try {
        block.GetXmlString();
    } catch (const VarnoResultDataException& e) {
        return e.GetMessage().isEmpty() || QString::fromUtf8(e.what()) != e.GetMessage() ? "no message" : "thrown";
    }
    return QString();
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
    // Away from UTC, so that a time read as local time shows.
    void initTestCase() { qputenv("TZ", "Europe/Berlin"); }
    void randomDocumentsSurviveEveryLevel();
    void setContentGivesNfc();
    void framesBecomeStampsWithoutQuality();
    void documentedExampleReadsAndIsWritten();
    void handWrittenDocumentReads();
    void hostileInputLeavesObjectEmpty_data();
    void hostileInputLeavesObjectEmpty();
    void timesReadAsTheIsoParserReadsThem();
};

void TestResultDataXml::randomDocumentsSurviveEveryLevel()
{
    // Read into the same objects each time: a successful read replaces what was there.
    const quint32 seed = 20240501;
    QRandomGenerator random(seed);
    VarnoResultData readDocument;
    Transmission readTransmission;
    DataBlock readBlock;
    for (int round = 0; round < 150; ++round) {
        const QString at = QStringLiteral("seed %1 round %2:\n").arg(seed).arg(round);
        VarnoResultData document;
        QString expected;
        for (int t = random.bounded(3); t > 0; --t) {
            auto* transmission = new Transmission;
            transmission->SetStartTime(RandomTime(random));
            transmission->SetStopTime(RandomTime(random));
            for (int b = random.bounded(4); b > 0; --b) {
                beyond = 0;
                std::unique_ptr<DataBlock> drawn(RandomBlock(random));
                QCOMPARE(at + Refusal(*drawn), at + (beyond ? QStringLiteral("thrown") : QString()));
                if (beyond)
                    continue;
                DataBlock* block = drawn.release();
                transmission->AddDataBlock(block);
                transmission->AddDataBlock(nullptr);
                QVERIFY(readBlock.SetXmlString(block->GetXmlString()));
                QCOMPARE(at + Describe(readBlock), at + Describe(*block, true));
            }
            QVERIFY(readTransmission.SetXmlString(transmission->GetXmlString()));
            QCOMPARE(at + Describe(readTransmission), at + Describe(*transmission, true));
            expected += Describe(*transmission, true) + "\n/";
            document.AddTransmission(transmission);
            document.AddTransmission(nullptr);
        }
        QVERIFY(readDocument.SetXmlString(document.GetXmlString()));
        QString read;
        for (const Transmission* transmission : readDocument.GetTransmission())
            read += Describe(*transmission) + "\n/";
        QCOMPARE(at + read, at + expected);
    }
}

void TestResultDataXml::setContentGivesNfc()
{
    // An accent composed, Hangul jamo made a syllable, controls and a ligature passed unchanged.
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        { u"Cafe\u0301", u"Caf\u00E9" }, { u"\u1100\u1161", u"\uAC00" },
        { u"\r\x01\x85\uFB01", u"\r\x01\x85\uFB01" } };
    for (const auto& c : cases) {
        DataBlock block;
        block.SetContent(QString::fromUtf16(c.first));
        QCOMPARE(block.GetContent(), QString::fromUtf16(c.second));
    }
}

void TestResultDataXml::framesBecomeStampsWithoutQuality()
{
    DataBlock block;
    block.SetTimeStamp(Fixtures::T0);
    block.AppendData(QStringLiteral("<"));
    block.BeginFrame();
    block.AppendData(QStringLiteral("CQ "));
    block.AppendData(QStringLiteral("CQ"));
    block.EndFrame();
    block.EndFrame(); // no frame is open: nothing to record
    QCOMPARE(Describe(block), QStringLiteral("0 -1 0 0 0 |<CQ CQ\n1 -1 2024-05-01T10:00:00.000"));
}

void TestResultDataXml::documentedExampleReadsAndIsWritten()
{
    VarnoResultData document;
    QVERIFY(document.SetXmlString(QString::fromUtf8(DocumentedExample)));
    const Transmission* transmission = document.GetTransmission().value(0);
    QCOMPARE(Describe(*transmission),
             QStringLiteral("2024-05-01T10:00:00.000 2024-05-01T10:00:07.250\n"
                            "1 3 0 0 0 ITA2|CQ CQ DE DL1ABC\r\nK\n0 97 2024-05-01T10:00:00.000\n"
                            "6 -1 2024-05-01T10:00:01.500\n"
                            "9,14,0,CallSign,DL1ABC,,,DL1ABC,operator,2024-05-01T10:02:00.125\n"
                            "2 4 0 0 1 |"));
    QCOMPARE(document.GetXmlString(), QString::fromUtf8(DocumentedExample));
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
    QCOMPARE(Describe(transmission),
             QStringLiteral("2024-05-01T10:00:00.250 1969-12-31T23:59:59.999\n"
                            "4 9 0 0 1 |a<b & c\td\n2 -1 2024-05-01T10:00:00.000\n"
                            "0,1,0,,, spaced ,,,,"));
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
    QTest::newRow("bad block after a good one in a document") << WholeDocument << whole.arg(transmission.arg(inBlock(QString()) + "<DataBlock id=\"x\" channel=\"1\"/>"));
    // clang-format on
}

void TestResultDataXml::hostileInputLeavesObjectEmpty()
{
    QFETCH(Target, target);
    QFETCH(QString, xml);
    // Filled first, so that a refused read can be seen to leave nothing behind.
    VarnoResultData document;
    Transmission transmission;
    DataBlock block;
    QVERIFY(document.SetXmlString(QString::fromUtf8(DocumentedExample)));
    QVERIFY(transmission.SetXmlString(document.GetTransmission().at(0)->GetXmlString()));
    QVERIFY(block.SetXmlString(transmission.GetDataBlock().at(0)->GetXmlString()));
    QVERIFY(target == BlockDocument          ? Refused(block, xml)
            : target == TransmissionDocument ? Refused(transmission, xml)
                                             : Refused(document, xml));
}

// Times in the writer's form are read by hand; every form must come out as the ISO parser reads
// it: UTC, a time without a zone taken as UTC, anything it does not take refused. The written
// form is drawn with fields at and past their ends (leap days, hour 24, second 60, month 13,
// year 0), now and then with another zone, no milliseconds or one character replaced.
void TestResultDataXml::timesReadAsTheIsoParserReadsThem()
{
    const quint32 seed = 20240229;
    QRandomGenerator random(seed);
    const auto field = [&random](std::initializer_list<int> edges, int width, int highest) {
        const int value = random.bounded(2) ? edges.begin()[random.bounded(int(edges.size()))] : random.bounded(highest + 1);
        return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
    };
    for (int round = 0; round < 3000; ++round) {
        QString text = field({ 0, 2023, 2024, 2100 }, 4, 9999) + '-' + field({ 0, 1, 2, 12, 13 }, 2, 12) + '-'
            + field({ 0, 1, 28, 29, 30, 31, 32 }, 2, 31) + 'T' + field({ 0, 23, 24 }, 2, 23) + ':'
            + field({ 0, 59, 60 }, 2, 59) + ':' + field({ 0, 59, 60 }, 2, 59) + '.' + field({ 0, 999 }, 3, 999) + 'Z';
        const int change = random.bounded(8);
        if (change == 0)
            text.replace(text.size() - 1, 1, QStringList({ "+02:00", "", "z", "-00:30" }).at(random.bounded(4)));
        else if (change == 1)
            text.remove(text.size() - 5, 4);
        else if (change == 2)
            text[random.bounded(text.size())] = QString::fromUtf8("09-:Tt.Z \u0662").at(random.bounded(10));
        QDateTime expected = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (expected.timeSpec() == Qt::LocalTime)
            expected.setTimeSpec(Qt::UTC);
        Transmission read;
        const bool ok = read.SetXmlString(QStringLiteral("<Transmission start=\"%1\"/>").arg(text));
        const QString at = QStringLiteral("seed %1 round %2 %3: ").arg(seed).arg(round).arg(text);
        QCOMPARE(at + QString::number(ok) + Time(read.GetStartTime(), false),
                 at + QString::number(expected.isValid()) + Time(expected, true));
    }
}

QTEST_GUILESS_MAIN(TestResultDataXml)
#include "tst_resultdataxml.moc"
