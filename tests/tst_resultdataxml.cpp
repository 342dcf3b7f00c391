#include "varnoresultdataxml.h"

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

// The block travels through all three kinds of document; each must give it back unchanged.
std::unique_ptr<DataBlock> ThroughBlockDocument(const DataBlock& block)
{
    auto copy = std::make_unique<DataBlock>();
    if (!copy->SetXmlString(block.GetXmlString()))
        return nullptr;
    return copy;
}

QString DescribeTimes(const QDateTime& a, const QDateTime& b)
{
    return QStringLiteral("%1 (%2) vs %3 (%4)")
        .arg(a.toString(Qt::ISODateWithMs), QString::number(a.timeSpec()),
             b.toString(Qt::ISODateWithMs), QString::number(b.timeSpec()));
}

bool SameTime(const QDateTime& expected, const QDateTime& actual)
{
    if (!expected.isValid())
        return !actual.isValid();
    return actual.isValid() && actual.timeSpec() == Qt::UTC && actual == expected;
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

} // namespace

class TestResultDataXml : public QObject
{
    Q_OBJECT

private slots:
    void contentSurvivesEveryDocument_data();
    void contentSurvivesEveryDocument();
    void setContentGivesNfc_data();
    void setContentGivesNfc();
    void timesSurviveToTheMillisecond_data();
    void timesSurviveToTheMillisecond();
    void everyUserDataMemberSurvives();
    void framesBecomeTimeStampsWithoutQuality();
    void directTimeStampsKeepQuality();
    void emptyBlocksAreCarriedInOrder();
    void transmissionLooksTheSameInsideADocument();
    void documentedExampleReads();
    void handWrittenDocumentReads();
    void boundaryValuesAreAccepted();
    void valuesOutsideTheBoundCannotBeWritten_data();
    void valuesOutsideTheBoundCannotBeWritten();
    void successfulReadReplacesPreviousData();
    void hostileInputLeavesObjectEmpty_data();
    void hostileInputLeavesObjectEmpty();
};

void TestResultDataXml::contentSurvivesEveryDocument_data()
{
    QTest::addColumn<QString>("content");
    QTest::newRow("LF line breaks, which XML keeps") << QStringLiteral("one\ntwo\n\nthree\n");
    QTest::newRow("CR LF, which a parser folds into LF") << QStringLiteral("one\r\ntwo\r\n");
    QTest::newRow("lone CR, which a parser turns into LF") << QStringLiteral("one\rtwo\r");
    QTest::newRow("mixed breaks in a row") << QStringLiteral("\r\r\n\n\r");
    QTest::newRow("tabs and edge spaces") << QStringLiteral("  \tindented\t  ");
    QTest::newRow("whitespace only, not ignorable here") << QStringLiteral(" \n ");
    QTest::newRow("markup characters") << QStringLiteral("<a href=\"x\">&amp; ]]> '</a>");
    QTest::newRow("text that looks like our escape")
        << QStringLiteral("<Char code=\"13\"/>&#13;");
    QTest::newRow("non-ASCII") << QString::fromUtf8("Grüße, Привет, 東京, ½°±");
    QTest::newRow("right-to-left") << QString::fromUtf8("مرحبا بالعالم שלום 123");
    QTest::newRow("surrogate pair") << QString::fromUtf8("a\xF0\x9F\x93\xA1z");
    QTest::newRow("lone high surrogate") << (QStringLiteral("a") + Units({0xD83D}) + "z");
    QTest::newRow("lone low surrogate") << (QStringLiteral("a") + Units({0xDCE1}) + "z");
    QTest::newRow("high surrogate at the end") << (QStringLiteral("a") + Units({0xD800}));
    QTest::newRow("pair in the wrong order") << Units({0xDC00, 0xD800});
    QTest::newRow("non-characters U+FFFE U+FFFF") << Units({0xFFFE, 'x', 0xFFFF});
    QTest::newRow("every C0 control") << Range(0x00, 0x1F);
    QTest::newRow("DEL and every C1 control") << Range(0x7F, 0x9F);
    QTest::newRow("NUL between letters") << Units({'a', 0, 'b', 0, 0});
    QTest::newRow("byte order mark inside") << Units({'a', 0xFEFF, 'b'});
}

void TestResultDataXml::contentSurvivesEveryDocument()
{
    QFETCH(QString, content);
    const QDateTime time = Utc(2024, 5, 1, 10, 0, 0, 1);

    auto* block = new DataBlock(7, 0, 0);
    block->SetID(3);
    // AppendData keeps the text exactly as given, where SetContent would normalise it.
    block->SetTimeStamp(time);
    block->BeginFrame();
    block->AppendData(content);
    block->EndFrame();
    block->SetContentCode(content);
    auto* userData = new UserData;
    userData->Comment = content;
    block->AddUserData(userData);

    const std::unique_ptr<DataBlock> single = ThroughBlockDocument(*block);
    QVERIFY(single);
    QCOMPARE(single->GetContent(), content);
    QCOMPARE(single->GetContentCode(), content);
    QCOMPARE(single->GetUserData().size(), 1);
    QCOMPARE(single->GetUserData().first()->Comment, content);

    Transmission transmission;
    transmission.AddDataBlock(block);
    Transmission readTransmission;
    QVERIFY(readTransmission.SetXmlString(transmission.GetXmlString()));
    QCOMPARE(readTransmission.GetDataBlock().size(), 1);
    QCOMPARE(readTransmission.GetDataBlock().first()->GetContent(), content);

    VarnoResultData document;
    auto* inDocument = new Transmission;
    auto* copy = new DataBlock(7);
    copy->AppendData(content);
    inDocument->AddDataBlock(copy);
    document.AddTransmission(inDocument);
    VarnoResultData readDocument;
    QVERIFY(readDocument.SetXmlString(document.GetXmlString()));
    QCOMPARE(readDocument.GetTransmission().size(), 1);
    QCOMPARE(readDocument.GetTransmission().first()->GetDataBlock().first()->GetContent(),
             content);
}

void TestResultDataXml::setContentGivesNfc_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::newRow("combining acute is composed")
        << QString::fromUtf8("Cafe\xCC\x81") << QString::fromUtf8("Caf\xC3\xA9");
    QTest::newRow("Hangul jamo become a syllable")
        << Units({0x1100, 0x1161}) << Units({0xAC00});
    QTest::newRow("composed text is kept") << QString::fromUtf8("Grüße") << QString::fromUtf8("Grüße");
    QTest::newRow("controls pass unchanged") << Units({'\r', 0x01, 0x85}) << Units({'\r', 0x01, 0x85});
}

void TestResultDataXml::setContentGivesNfc()
{
    QFETCH(QString, given);
    QFETCH(QString, stored);
    DataBlock block;
    block.SetContent(given);
    QCOMPARE(block.GetContent(), stored);
    const std::unique_ptr<DataBlock> read = ThroughBlockDocument(block);
    QVERIFY(read);
    QCOMPARE(read->GetContent(), stored);
}

void TestResultDataXml::timesSurviveToTheMillisecond_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::newRow("UTC with milliseconds") << Utc(2024, 5, 1, 10, 0, 0, 123);
    QTest::newRow("last millisecond of a day") << Utc(2023, 12, 31, 23, 59, 59, 999);
    QTest::newRow("local time is written as the same instant")
        << QDateTime(QDate(2024, 7, 1), QTime(12, 30, 15, 7), Qt::LocalTime);
    QTest::newRow("offset from UTC")
        << QDateTime(QDate(2024, 1, 1), QTime(1, 0, 0, 500), Qt::OffsetFromUTC, -5 * 3600);
    QTest::newRow("epoch") << QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    QTest::newRow("first day of year 1") << Utc(1, 1, 1, 0, 0, 0, 0);
    QTest::newRow("year 9999") << Utc(9999, 12, 31, 23, 59, 59, 999);
    QTest::newRow("year beyond four digits") << Utc(20000, 6, 1, 1, 2, 3, 4);
    QTest::newRow("year before the common era") << Utc(-44, 3, 15, 12, 0, 0, 1);
    QTest::newRow("invalid stays invalid") << QDateTime();
}

void TestResultDataXml::timesSurviveToTheMillisecond()
{
    QFETCH(QDateTime, time);

    auto* block = new DataBlock(1);
    TimeStamp stamp;
    stamp.Time = time;
    stamp.Position = 0;
    stamp.Quality = 50;
    block->GetTimeStamp().append(stamp);
    auto* userData = new UserData;
    userData->ChangeTime = time;
    block->AddUserData(userData);
    Transmission transmission;
    transmission.SetStartTime(time);
    transmission.SetStopTime(time);
    transmission.AddDataBlock(block);

    Transmission read;
    QVERIFY(read.SetXmlString(transmission.GetXmlString()));
    QVERIFY2(SameTime(time, read.GetStartTime()), qPrintable(DescribeTimes(time, read.GetStartTime())));
    QVERIFY(SameTime(time, read.GetStopTime()));
    const DataBlock* readBlock = read.GetDataBlock().value(0);
    QVERIFY(readBlock);
    QCOMPARE(readBlock->GetTimeStamp().size(), 1);
    QVERIFY(SameTime(time, readBlock->GetTimeStamp().first().Time));
    QVERIFY(SameTime(time, readBlock->GetUserData().first()->ChangeTime));
}

void TestResultDataXml::everyUserDataMemberSurvives()
{
    QCOMPARE(UserData::CallSignType, QStringLiteral("CallSign"));
    QCOMPARE(UserData::CommentType, QStringLiteral("Comment"));
    QCOMPARE(UserData::ChangeType, QStringLiteral("Change"));

    DataBlock block(5);
    auto* change = new UserData;
    change->Start = 4;
    change->End = 9;
    change->Channel = 12;
    change->Type = UserData::ChangeType;
    change->Text = QStringLiteral("new\r\ntext");
    change->Comment = QString::fromUtf8("fixed by ear — ok");
    change->ReplacedText = Units({'o', 0x01, 'l', 'd'});
    change->CallSign = QStringLiteral("DL1ABC");
    change->Modifier = QString::fromUtf8("Zoë");
    change->ChangeTime = Utc(2024, 2, 29, 23, 59, 58, 42);
    block.AddUserData(change);
    auto* bare = new UserData;
    bare->Type = UserData::CommentType;
    bare->Start = -3;
    block.AddUserData(bare);
    block.AddUserData(nullptr);

    const std::unique_ptr<DataBlock> read = ThroughBlockDocument(block);
    QVERIFY(read);
    QCOMPARE(read->GetUserData().size(), 2);
    const UserData& a = *read->GetUserData().at(0);
    QCOMPARE(a.Start, 4);
    QCOMPARE(a.End, 9);
    QCOMPARE(a.Channel, 12);
    QCOMPARE(a.Type, UserData::ChangeType);
    QCOMPARE(a.Text, change->Text);
    QCOMPARE(a.Comment, change->Comment);
    QCOMPARE(a.ReplacedText, change->ReplacedText);
    QCOMPARE(a.CallSign, change->CallSign);
    QCOMPARE(a.Modifier, change->Modifier);
    QCOMPARE(a.ChangeTime, change->ChangeTime);
    const UserData& b = *read->GetUserData().at(1);
    QCOMPARE(b.Type, UserData::CommentType);
    QCOMPARE(b.Start, -3);
    QCOMPARE(b.End, 0);
    QCOMPARE(b.Channel, 0);
    QVERIFY(b.Text.isEmpty());
    QVERIFY(!b.ChangeTime.isValid());

    const UserData copied(*change);
    QCOMPARE(copied.ReplacedText, change->ReplacedText);
    QCOMPARE(copied.ChangeTime, change->ChangeTime);
}

void TestResultDataXml::framesBecomeTimeStampsWithoutQuality()
{
    const QDateTime first = Utc(2024, 5, 1, 10, 0, 0, 0);
    const QDateTime second = Utc(2024, 5, 1, 10, 0, 1, 250);
    DataBlock block(2);
    block.SetTimeStamp(first);
    block.BeginFrame();
    block.AppendData(QStringLiteral("CQ "));
    block.AppendData(QStringLiteral("CQ "));
    block.EndFrame();
    block.AppendData(QStringLiteral("|"));
    block.SetTimeStamp(second);
    block.BeginFrame();
    block.AppendData(QStringLiteral("DE"));
    block.EndFrame();
    block.EndFrame(); // no frame is open: nothing to record

    QCOMPARE(block.GetContent(), QStringLiteral("CQ CQ |DE"));
    const std::unique_ptr<DataBlock> read = ThroughBlockDocument(block);
    QVERIFY(read);
    QCOMPARE(read->GetContent(), QStringLiteral("CQ CQ |DE"));
    const QVector<TimeStamp>& stamps = read->GetTimeStamp();
    QCOMPARE(stamps.size(), 2);
    QCOMPARE(stamps.at(0).Position, 0);
    QCOMPARE(stamps.at(0).Quality, -1);
    QCOMPARE(stamps.at(0).Time, first);
    QCOMPARE(stamps.at(1).Position, 7);
    QCOMPARE(stamps.at(1).Quality, -1);
    QCOMPARE(stamps.at(1).Time, second);
}

void TestResultDataXml::directTimeStampsKeepQuality()
{
    DataBlock block(1);
    block.SetContent(QStringLiteral("abcdef"));
    const int qualities[] = {87, 0, 100, -1};
    for (int i = 0; i < 4; ++i) {
        TimeStamp stamp;
        stamp.Time = Utc(2024, 1, 1, 0, 0, 0, i);
        stamp.Position = 5 - i; // deliberately not ascending: order is the writer's
        stamp.Quality = qualities[i];
        block.GetTimeStamp().append(stamp);
    }
    const std::unique_ptr<DataBlock> read = ThroughBlockDocument(block);
    QVERIFY(read);
    QCOMPARE(read->GetTimeStamp().size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(read->GetTimeStamp().at(i).Quality, qualities[i]);
        QCOMPARE(read->GetTimeStamp().at(i).Position, 5 - i);
        QCOMPARE(read->GetTimeStamp().at(i).Time, Utc(2024, 1, 1, 0, 0, 0, i));
    }
}

void TestResultDataXml::emptyBlocksAreCarriedInOrder()
{
    VarnoResultData document;
    for (int t = 0; t < 2; ++t) {
        auto* transmission = new Transmission;
        transmission->SetStartTime(Utc(2024, 1, 1, 0, t, 0, 0));
        auto* empty = new DataBlock(10 + t, 0, 0);
        empty->SetID(100 + t);
        transmission->AddDataBlock(empty);
        auto* packed = new DataBlock(-1, 4000, 9);
        packed->SetID(200 + t);
        packed->SetContentDirectionRTL(true);
        packed->SetContent(QStringLiteral("x"));
        transmission->AddDataBlock(packed);
        transmission->AddDataBlock(nullptr);
        document.AddTransmission(transmission);
    }
    document.AddTransmission(nullptr);

    VarnoResultData read;
    QVERIFY(read.SetXmlString(document.GetXmlString()));
    QCOMPARE(read.GetTransmission().size(), 2);
    for (int t = 0; t < 2; ++t) {
        const Transmission* transmission = read.GetTransmission().at(t);
        QCOMPARE(transmission->GetStartTime(), Utc(2024, 1, 1, 0, t, 0, 0));
        QVERIFY(!transmission->GetStopTime().isValid());
        QCOMPARE(transmission->GetDataBlock().size(), 2);
        const DataBlock* empty = transmission->GetDataBlock().at(0);
        QCOMPARE(empty->GetID(), 100 + t);
        QCOMPARE(empty->GetChannel(), 10 + t);
        QVERIFY(empty->GetContent().isEmpty());
        QVERIFY(empty->GetTimeStamp().isEmpty());
        QVERIFY(!empty->GetContentDirectionRTL());
        const DataBlock* packed = transmission->GetDataBlock().at(1);
        QCOMPARE(packed->GetID(), 200 + t);
        QCOMPARE(packed->GetChannel(), -1);
        QCOMPARE(packed->GetOffset(), 4000);
        QCOMPARE(packed->GetReserved(), 9);
        QVERIFY(packed->GetContentDirectionRTL());
    }
}

void TestResultDataXml::transmissionLooksTheSameInsideADocument()
{
    auto* transmission = new Transmission;
    transmission->SetStartTime(Utc(2024, 1, 1, 0, 0, 0, 0));
    auto* block = new DataBlock(3);
    block->SetContent(QStringLiteral("a\rb"));
    transmission->AddDataBlock(block);
    const QString alone = transmission->GetXmlString();
    VarnoResultData document;
    document.AddTransmission(transmission);
    const QString inside = document.GetXmlString();

    auto element = [](const QString& xml) {
        const int from = xml.indexOf(QLatin1String("<Transmission"));
        const int to = xml.indexOf(QLatin1String("</Transmission>"));
        QStringList lines = xml.mid(from, to - from).split(QLatin1Char('\n'));
        for (QString& line : lines)
            line = line.trimmed();
        return lines;
    };
    QVERIFY(alone.contains(QLatin1String("<Transmission")));
    QCOMPARE(element(inside), element(alone));
}

void TestResultDataXml::documentedExampleReads()
{
    VarnoResultData document;
    QVERIFY(document.SetXmlString(QString::fromUtf8(DocumentedExample)));
    QCOMPARE(document.GetTransmission().size(), 1);
    const Transmission* transmission = document.GetTransmission().first();
    QCOMPARE(transmission->GetStopTime(), Utc(2024, 5, 1, 10, 0, 7, 250));
    QCOMPARE(transmission->GetDataBlock().size(), 2);
    const DataBlock* block = transmission->GetDataBlock().first();
    QCOMPARE(block->GetContent(), QStringLiteral("CQ CQ DE DL1ABC\r\nK"));
    QCOMPARE(block->GetContentCode(), QStringLiteral("ITA2"));
    QCOMPARE(block->GetTimeStamp().size(), 2);
    QCOMPARE(block->GetTimeStamp().at(1).Position, 6);
    QCOMPARE(block->GetUserData().first()->CallSign, QStringLiteral("DL1ABC"));
    QVERIFY(transmission->GetDataBlock().at(1)->GetContentDirectionRTL());
    // And what we write is what the example shows.
    QCOMPARE(document.GetXmlString(), QString::fromUtf8(DocumentedExample));
}

void TestResultDataXml::handWrittenDocumentReads()
{
    // What another program might send: comments, a CDATA section, times with an offset or
    // without a zone, the "@" form, booleans as digits, attributes in any order.
    const QString xml = QStringLiteral(
        "<?xml version='1.0' encoding='UTF-8'?>\n<!-- sent by a test -->\n"
        "<Transmission stop='@-1' start='2024-05-01T12:00:00.250+02:00'>"
        "  <DataBlock rtl='1' channel='9' id='4'>"
        "    <Content><![CDATA[a<b & c]]>\td<!-- note --></Content>"
        "    <TimeStamp time='2024-05-01T10:00:00' position='2'/>"
        "    <UserData end='1' start='0'><Comment> spaced </Comment></UserData>"
        "  </DataBlock>"
        "</Transmission><?done?>");
    Transmission transmission;
    QVERIFY(transmission.SetXmlString(xml));
    QCOMPARE(transmission.GetStartTime(), Utc(2024, 5, 1, 10, 0, 0, 250));
    QCOMPARE(transmission.GetStartTime().timeSpec(), Qt::UTC);
    QCOMPARE(transmission.GetStopTime(), Utc(1969, 12, 31, 23, 59, 59, 999));
    QCOMPARE(transmission.GetDataBlock().size(), 1);
    const DataBlock* block = transmission.GetDataBlock().first();
    QCOMPARE(block->GetID(), 4);
    QVERIFY(block->GetContentDirectionRTL());
    QCOMPARE(block->GetContent(), QStringLiteral("a<b & c\td"));
    QCOMPARE(block->GetTimeStamp().first().Time, Utc(2024, 5, 1, 10, 0, 0, 0));
    QCOMPARE(block->GetTimeStamp().first().Quality, -1);
    QCOMPARE(block->GetUserData().first()->Comment, QStringLiteral(" spaced "));
}

void TestResultDataXml::boundaryValuesAreAccepted()
{
    const int limit = IVarnoResultData::ValueLimit;
    QCOMPARE(limit, 100000000);
    DataBlock block(-limit, limit, -limit);
    block.SetID(limit);
    TimeStamp stamp;
    stamp.Position = limit;
    stamp.Quality = -limit;
    block.GetTimeStamp().append(stamp);
    auto* userData = new UserData;
    userData->Start = -limit;
    userData->End = limit;
    block.AddUserData(userData);
    const std::unique_ptr<DataBlock> read = ThroughBlockDocument(block);
    QVERIFY(read);
    QCOMPARE(read->GetChannel(), -limit);
    QCOMPARE(read->GetOffset(), limit);
    QCOMPARE(read->GetReserved(), -limit);
    QCOMPARE(read->GetID(), limit);
    QCOMPARE(read->GetTimeStamp().first().Position, limit);
    QCOMPARE(read->GetTimeStamp().first().Quality, -limit);
    QCOMPARE(read->GetUserData().first()->End, limit);
}

void TestResultDataXml::valuesOutsideTheBoundCannotBeWritten_data()
{
    QTest::addColumn<int>("field");
    QTest::newRow("id") << 0;
    QTest::newRow("channel") << 1;
    QTest::newRow("time stamp position") << 2;
    QTest::newRow("user data end") << 3;
    QTest::newRow("most negative int as quality") << 4;
}

void TestResultDataXml::valuesOutsideTheBoundCannotBeWritten()
{
    QFETCH(int, field);
    const int beyond = IVarnoResultData::ValueLimit + 1;
    DataBlock block(field == 1 ? beyond : 1);
    block.SetID(field == 0 ? beyond : 1);
    TimeStamp stamp;
    stamp.Position = field == 2 ? beyond : 0;
    stamp.Quality = field == 4 ? std::numeric_limits<int>::min() : 0;
    block.GetTimeStamp().append(stamp);
    auto* userData = new UserData;
    userData->End = field == 3 ? beyond : 0;
    block.AddUserData(userData);

    // A document that would not read back must not be written.
    QString message;
    try {
        block.GetXmlString();
    } catch (const VarnoResultDataException& e) {
        message = e.GetMessage();
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
    QVERIFY2(!message.isEmpty(), "no exception");
}

void TestResultDataXml::successfulReadReplacesPreviousData()
{
    Transmission source;
    source.AddDataBlock(new DataBlock(1));
    Transmission target;
    target.SetStartTime(Utc(2000, 1, 1, 0, 0, 0, 0));
    target.AddDataBlock(new DataBlock(8));
    target.AddDataBlock(new DataBlock(9));
    QVERIFY(target.SetXmlString(source.GetXmlString()));
    QCOMPARE(target.GetDataBlock().size(), 1);
    QCOMPARE(target.GetDataBlock().first()->GetChannel(), 1);
    QVERIFY(!target.GetStartTime().isValid());

    DataBlock block(4);
    block.SetContent(QStringLiteral("old"));
    block.AddUserData(new UserData);
    QVERIFY(block.SetXmlString(DataBlock(6).GetXmlString()));
    QCOMPARE(block.GetChannel(), 6);
    QVERIFY(block.GetContent().isEmpty());
    QVERIFY(block.GetUserData().isEmpty());
}

enum Target { BlockDocument, TransmissionDocument, WholeDocument };
Q_DECLARE_METATYPE(Target)

void TestResultDataXml::hostileInputLeavesObjectEmpty_data()
{
    QTest::addColumn<Target>("target");
    QTest::addColumn<QString>("xml");

    const QString block = QStringLiteral("<DataBlock id=\"1\" channel=\"2\">%1</DataBlock>");
    const QString transmission = QStringLiteral("<Transmission>%1</Transmission>");
    const QString whole = QStringLiteral("<ResultData>%1</ResultData>");
    auto inBlock = [&](const QString& inner) { return block.arg(inner); };

    QTest::newRow("empty text") << WholeDocument << QString();
    QTest::newRow("only a declaration") << BlockDocument << QStringLiteral("<?xml version=\"1.0\"?>");
    QTest::newRow("unclosed root") << TransmissionDocument << QStringLiteral("<Transmission>");
    QTest::newRow("mismatched end tag")
        << BlockDocument << QStringLiteral("<DataBlock id=\"1\" channel=\"2\"></Content>");
    QTest::newRow("raw control character")
        << BlockDocument << inBlock(QStringLiteral("<Content>a") + QChar(1) + "</Content>");
    QTest::newRow("two roots") << BlockDocument << (inBlock(QString()) + inBlock(QString()));
    QTest::newRow("text after the root") << BlockDocument << (inBlock(QString()) + "junk");
    QTest::newRow("block document given to a transmission")
        << TransmissionDocument << inBlock(QString());
    QTest::newRow("transmission given to a whole document")
        << WholeDocument << transmission.arg(QString());
    QTest::newRow("whole document given to a block") << BlockDocument << whole.arg(QString());
    QTest::newRow("block directly under the document root")
        << WholeDocument << whole.arg(inBlock(QString()));
    QTest::newRow("data block without channel")
        << TransmissionDocument << transmission.arg(QStringLiteral("<DataBlock id=\"1\"/>"));
    QTest::newRow("data block without id")
        << TransmissionDocument << transmission.arg(QStringLiteral("<DataBlock channel=\"1\"/>"));
    QTest::newRow("time stamp without position")
        << BlockDocument << inBlock(QStringLiteral("<TimeStamp quality=\"5\"/>"));
    QTest::newRow("user data without end")
        << BlockDocument << inBlock(QStringLiteral("<UserData start=\"1\"/>"));
    QTest::newRow("non-numeric id")
        << BlockDocument << QStringLiteral("<DataBlock id=\"one\" channel=\"2\"/>");
    QTest::newRow("number with trailing letters")
        << BlockDocument << QStringLiteral("<DataBlock id=\"12ab\" channel=\"2\"/>");
    QTest::newRow("fractional channel")
        << BlockDocument << QStringLiteral("<DataBlock id=\"1\" channel=\"2.5\"/>");
    QTest::newRow("hexadecimal position")
        << BlockDocument << inBlock(QStringLiteral("<TimeStamp position=\"0x10\"/>"));
    QTest::newRow("empty quality")
        << BlockDocument << inBlock(QStringLiteral("<TimeStamp position=\"1\" quality=\"\"/>"));
    QTest::newRow("position just beyond the bound")
        << BlockDocument << inBlock(QStringLiteral("<TimeStamp position=\"100000001\"/>"));
    QTest::newRow("negative start beyond the bound")
        << BlockDocument << inBlock(QStringLiteral("<UserData start=\"-100000001\" end=\"0\"/>"));
    QTest::newRow("offset beyond int")
        << BlockDocument << QStringLiteral("<DataBlock id=\"1\" channel=\"2\" offset=\"4294967296\"/>");
    QTest::newRow("time that is not a time")
        << TransmissionDocument << QStringLiteral("<Transmission start=\"yesterday\"/>");
    QTest::newRow("epoch milliseconds beyond the range")
        << TransmissionDocument << QStringLiteral("<Transmission start=\"@9223372036854775807\"/>");
    QTest::newRow("direction that is not a boolean")
        << BlockDocument << QStringLiteral("<DataBlock id=\"1\" channel=\"2\" rtl=\"maybe\"/>");
    QTest::newRow("escape beyond UTF-16")
        << BlockDocument << inBlock(QStringLiteral("<Content><Char code=\"65536\"/></Content>"));
    QTest::newRow("escape without code")
        << BlockDocument << inBlock(QStringLiteral("<Content><Char/></Content>"));
    QTest::newRow("escape with content")
        << BlockDocument << inBlock(QStringLiteral("<Content><Char code=\"1\">x</Char></Content>"));
    QTest::newRow("element inside a text")
        << BlockDocument << inBlock(QStringLiteral("<Content><b>x</b></Content>"));
    QTest::newRow("unknown element") << BlockDocument << inBlock(QStringLiteral("<Extra/>"));
    QTest::newRow("stray text between elements")
        << TransmissionDocument << transmission.arg(QStringLiteral("text"));
    QTest::newRow("content given twice")
        << BlockDocument << inBlock(QStringLiteral("<Content>a</Content><Content>b</Content>"));
    QTest::newRow("internal entity")
        << BlockDocument
        << (QStringLiteral("<!DOCTYPE DataBlock [<!ENTITY e \"x\">]>") + inBlock("<Content>&e;</Content>"));
    QString laughs = QStringLiteral("<!DOCTYPE DataBlock [<!ENTITY a0 \"lol\">");
    for (int i = 1; i < 10; ++i)
        laughs += QStringLiteral("<!ENTITY a%1 \"&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;&a%2;\">")
                      .arg(i)
                      .arg(i - 1);
    laughs += QStringLiteral("]>") + inBlock(QStringLiteral("<Content>&a9;</Content>"));
    QTest::newRow("exponential entity expansion") << BlockDocument << laughs;
    QTest::newRow("external entity")
        << BlockDocument
        << (QStringLiteral("<!DOCTYPE DataBlock [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>")
            + inBlock("<Content>&x;</Content>"));
    QTest::newRow("undeclared entity")
        << BlockDocument << inBlock(QStringLiteral("<Content>&nbsp;</Content>"));
    const int depth = 20000;
    QTest::newRow("deep nesting inside a block")
        << BlockDocument
        << inBlock(QStringLiteral("<a>").repeated(depth) + QStringLiteral("</a>").repeated(depth));
    QTest::newRow("deep nesting inside a text")
        << BlockDocument
        << inBlock(QStringLiteral("<Content>") + QStringLiteral("<a>").repeated(depth)
                   + QStringLiteral("</a>").repeated(depth) + QStringLiteral("</Content>"));
    QTest::newRow("bad block after a good one in a document")
        << WholeDocument
        << whole.arg(transmission.arg(inBlock(QString()) + "<DataBlock id=\"x\" channel=\"1\"/>"));
}

void TestResultDataXml::hostileInputLeavesObjectEmpty()
{
    QFETCH(Target, target);
    QFETCH(QString, xml);

    switch (target) {
    case BlockDocument: {
        DataBlock block(3);
        block.SetContent(QStringLiteral("kept?"));
        block.GetTimeStamp().append(TimeStamp());
        block.AddUserData(new UserData);
        QVERIFY(!block.SetXmlString(xml));
        QVERIFY(block.GetContent().isEmpty());
        QVERIFY(block.GetTimeStamp().isEmpty());
        QVERIFY(block.GetUserData().isEmpty());
        break;
    }
    case TransmissionDocument: {
        Transmission transmission;
        transmission.AddDataBlock(new DataBlock(1));
        transmission.SetStartTime(Utc(2024, 1, 1, 0, 0, 0, 0));
        QVERIFY(!transmission.SetXmlString(xml));
        QVERIFY(transmission.GetDataBlock().isEmpty());
        QVERIFY(!transmission.GetStartTime().isValid());
        break;
    }
    case WholeDocument: {
        VarnoResultData document;
        document.AddTransmission(new Transmission);
        QVERIFY(!document.SetXmlString(xml));
        QVERIFY(document.GetTransmission().isEmpty());
        break;
    }
    }
}

QTEST_GUILESS_MAIN(TestResultDataXml)
#include "tst_resultdataxml.moc"
