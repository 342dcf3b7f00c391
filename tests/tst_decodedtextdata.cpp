#include "blockinvariants.h"
#include "modelfixtures.h"

#include <QSignalSpy>
#include <QtTest>

#include <climits>

using namespace Fixtures;

class TestDecodedTextData : public QObject {
    Q_OBJECT

private slots:
    void settersClampAndReportChanges_data();
    void settersClampAndReportChanges();
    void channelsAreCreatedOnceAndClearedSilently();
    void callSignsAndChannelNames();
    void clockResetAndUserChannel();
};

void TestDecodedTextData::settersClampAndReportChanges_data()
{
    QTest::addColumn<QVariantList>("given"); // size, threshold, width, foreground, background
    QTest::addColumn<QVariantList>("stored");
    QTest::addColumn<bool>("changed");
    const QVariantList defaults { 10000, 80, 50, "Black", "White" };
    auto with = [&defaults](int i, const QVariant& value) {
        QVariantList list = defaults;
        list[i] = value;
        return list;
    };
    // clang-format off
    QTest::newRow("empty colours mean the defaults") << QVariantList { 10000, 80, 50, "", "" } << defaults << false;
    QTest::newRow("buffer size below 1000 is raised") << with(0, 999) << with(0, 1000) << true;
    QTest::newRow("most negative buffer size") << with(0, INT_MIN) << with(0, 1000) << true;
    QTest::newRow("threshold clamped to 100") << with(1, 150) << with(1, 100) << true;
    QTest::newRow("most negative threshold") << with(1, INT_MIN) << with(1, 0) << true;
    QTest::newRow("negative width") << with(2, -7) << with(2, -7) << true;
    QTest::newRow("colour names differ only in case") << with(3, "black") << with(3, "black") << true;
    // clang-format on
}

void TestDecodedTextData::settersClampAndReportChanges()
{
    QFETCH(QVariantList, given);
    QFETCH(QVariantList, stored);
    QFETCH(bool, changed);
    auto read = [](const DecodedTextData& m) {
        return QVariantList { m.GetBufferSize(), m.GetQualityThreshold(), m.GetInfoAreaWidth(),
                              m.GetForegroundColor(), m.GetBackgroundColor() };
    };
    // Together, and again, already clamped: the second time nothing is changed. The change flag
    // is reset by reading it.
    DecodedTextData model;
    QSignalSpy properties(&model, &DecodedTextData::PropertiesChanged);
    for (int pass = 0; pass < 2; ++pass) {
        model.SetProperties(given[0].toInt(), given[1].toInt(), given[2].toInt(),
                            given[3].toString(), given[4].toString());
        QCOMPARE(read(model), stored);
        QCOMPARE(model.GetConfigurationChanged(), changed && pass == 0);
        QCOMPARE(properties.count(), changed ? 1 : 0);
    }
    // One by one the same clamps hold, but a negative width becomes 0, only the threshold is
    // announced, and every change is one to save.
    DecodedTextData single;
    QSignalSpy announced(&single, &DecodedTextData::PropertiesChanged);
    single.SetBufferSize(given[0].toInt());
    single.SetQualityThreshold(given[1].toInt());
    single.SetInfoAreaWidth(given[2].toInt());
    QCOMPARE(read(single).mid(0, 3), (QVariantList { stored[0], stored[1], qMax(0, stored[2].toInt()) }));
    QCOMPARE(announced.count(), given[1] == 80 ? 0 : 1);
    QCOMPARE(single.GetConfigurationChanged(), read(single) != read(DecodedTextData()));
}

void TestDecodedTextData::channelsAreCreatedOnceAndClearedSilently()
{
    DecodedTextData model;
    QSignalSpy created(&model, &DecodedTextData::ChannelCreated);
    QExplicitlySharedDataPointer<DecodedTextBuffer> seenBySlot;
    bool existedInSlot = false;
    connect(&model, &DecodedTextData::ChannelCreated, this, [&](int channel) {
        existedInSlot = model.ChannelExists(channel);
        seenBySlot = model.GetChannelData(channel);
    });
    const auto buffer = model.GetChannelData(7);
    QVERIFY(buffer->channel == 7 && existedInSlot && seenBySlot == buffer);
    QCOMPARE(model.GetChannelData(7), buffer);
    QCOMPARE(model.GetChannelData(INT_MIN)->channel, INT_MIN);
    QCOMPARE(created.count(), 2);

    model.DefineChannelName(7, QStringLiteral("DL1ABC"));
    model.SetQualityThreshold(40);
    QStringList log;
    Record(model, &log);
    QSignalSpy any(&model, &DecodedTextData::ResetRequest);
    model.RemoveChannelData(INT_MIN);
    model.RemoveChannelData(99);
    QVERIFY(!model.ChannelExists(INT_MIN) && model.ChannelExists(7));
    // Clear drops the channels but keeps names, call signs and settings, and says nothing.
    model.Clear();
    QVERIFY(!model.ChannelExists(7) && !model.ChannelExists(0) && log.isEmpty());
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(model.GetChannelNames().value(7))
                 .arg(model.GetCallSigns().join(',')).arg(model.GetQualityThreshold()),
             QStringLiteral("DL1ABC DL1ABC 40"));
    QVERIFY(model.GetChannelData(7) != buffer);
    model.ResetView();
    QCOMPARE(log, QStringList("created 7"));
    QCOMPARE(any.count(), 1);
}

void TestDecodedTextData::callSignsAndChannelNames()
{
    DecodedTextData model;
    // Sorted; case sensitive, upper case first.
    QList<int> indices;
    for (const char* sign : { "OK2XYZ", "DL1ABC", "OK2XYZ", "G4AAA", "dl1abc" })
        indices << model.IndexOfCallSign(QString::fromLatin1(sign));
    QCOMPARE(indices.mid(1), QList<int>({ 0, 1, 1, 3 }));
    QCOMPARE(model.GetCallSigns(), QStringList({ "DL1ABC", "G4AAA", "OK2XYZ", "dl1abc" }));

    // Channel names are call signs except for the aggregation channel and negative channels.
    QSignalSpy created(&model, &DecodedTextData::ChannelCreated);
    for (int channel : { 0, -1, 3, INT_MAX })
        model.DefineChannelName(channel, QStringLiteral("N%1").arg(channel));
    QCOMPARE(model.GetCallSigns().filter("N"), QStringList({ "N2147483647", "N3" }));
    QCOMPARE(created.count(), 1); // fetching the aggregation channel creates it

    // A new name replaces the old one and reaches the marks of that channel in the newest
    // aggregation block only.
    const auto aggregation = model.GetChannelData(0);
    const BlockPtr older = aggregation->GetBlock(T0, 1);
    const BlockPtr newest = aggregation->GetBlock(T0.addSecs(60), 2);
    const BlockPtr own = model.GetChannelData(3)->GetBlock(T0, 1);
    for (const BlockPtr& block : { older, newest, newest, newest, own })
        block->userData << Note(UserData::CallSignType, 0, 1, "old");
    newest->userData[1]->Channel = 4;
    newest->userData[2]->Type = UserData::CommentType;
    newest->userData[2]->Channel = 3;
    for (const BlockPtr& block : { older, newest, own })
        block->userData[0]->Channel = 3;
    model.DefineChannelName(3, QStringLiteral("DL1ABC"));
    QStringList signs { model.GetChannelNames().value(3) };
    for (const BlockPtr& block : { older, newest, own }) {
        for (const UserData* u : block->userData)
            signs << u->CallSign;
    }
    QCOMPARE(signs, QStringList({ "DL1ABC", "old", "DL1ABC", "old", "old", "old" }));
}

void TestDecodedTextData::clockResetAndUserChannel()
{
    DecodedTextData model;
    const QDateTime before = QDateTime::currentDateTimeUtc(), now = model.GetTickCount();
    QVERIFY(now.timeSpec() == Qt::UTC && now >= before && now <= QDateTime::currentDateTimeUtc());
    QStringList order;
    Record(model, &order);
    connect(&model, &DecodedTextData::ShowChannel, this, [&](int c) { order << QStringLiteral("show %1").arg(c); });
    // Switches of the session, not settings: nothing to save.
    model.EnableUserData(false);
    model.SetOffline(true);
    QVERIFY(!model.GetConfigurationChanged());
    model.ShowUserChannel();
    model.ShowUserChannel();
    QCOMPARE(order, QStringList({ "created 1000", "show 1000", "show 1000" }));
}

QTEST_GUILESS_MAIN(TestDecodedTextData)
#include "tst_decodedtextdata.moc"
