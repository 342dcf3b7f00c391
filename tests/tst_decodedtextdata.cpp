#include "blockinvariants.h"
#include "decodedtextdata.h"
#include "varnoresultdataxml.h"

#include <QMetaMethod>
#include <QtTest>

#include <climits>

using VarnoResultDataXml::UserData;

namespace {

const QDateTime kStart(QDate(2024, 3, 1), QTime(10, 0, 0), Qt::UTC);

class FixedClock : public DecodedTextClock
{
public:
    QDateTime now;
    QDateTime CurrentTime() const override { return now; }
};

// Records every signal of a model, so that a test can tell that nothing was emitted.
struct SignalRecorder
{
    explicit SignalRecorder(DecodedTextData* model)
        : dataChanged(model, &DecodedTextData::DataChanged),
          transmissionChanged(model, &DecodedTextData::TransmissionChanged),
          channelCreated(model, &DecodedTextData::ChannelCreated),
          showChannel(model, &DecodedTextData::ShowChannel),
          saveUserData(model, &DecodedTextData::SaveUserData),
          propertiesChanged(model, &DecodedTextData::PropertiesChanged),
          resetRequest(model, &DecodedTextData::ResetRequest)
    {
    }
    int Total() const
    {
        return dataChanged.count() + transmissionChanged.count() + channelCreated.count()
            + showChannel.count() + saveUserData.count() + propertiesChanged.count()
            + resetRequest.count();
    }
    QSignalSpy dataChanged, transmissionChanged, channelCreated, showChannel, saveUserData,
        propertiesChanged, resetRequest;
};

UserData* AddCallSign(DecodedTextBlock& block, int channel, const QString& sign,
                      const QString& type = UserData::CallSignType)
{
    auto* annotation = new UserData;
    annotation->Type = type;
    annotation->Channel = channel;
    annotation->CallSign = sign;
    annotation->Start = 0;
    annotation->End = 1;
    block.userData.append(annotation);
    return annotation;
}

void AddRun(DecodedTextBlock& block, const QString& characters, int flags)
{
    DecodedTextSnippet run;
    run.start = block.EndPosition();
    run.end = run.start + characters.size();
    run.length = characters.size();
    run.flags = flags;
    run.timestamp = kStart;
    block.snippets.append(run);
    block.text += characters;
}

} // namespace

class TestDecodedTextData : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void metaObjectOrder();
    void setBufferSize_data();
    void setBufferSize();
    void setBufferSizeTwiceLeavesFlagRead();
    void setQualityThreshold_data();
    void setQualityThreshold();
    void setInfoAreaWidth_data();
    void setInfoAreaWidth();
    void setProperties_data();
    void setProperties();
    void plainSettersTouchNoFlag();
    void channelCreatedOnceBeforeReturn();
    void removeAndClearEmitNothing();
    void resetViewEmitsOnlyResetRequest();
    void indexOfCallSign_data();
    void indexOfCallSign();
    void defineChannelName_data();
    void defineChannelName();
    void defineChannelNameRenamesNewestAggregationMarks();
    void setChannelSeparatorWithoutAggregationBlock();
    void setChannelSeparatorRewritesNewestBlock();
    void tickCount();
    void showUserChannel();
};

void TestDecodedTextData::defaults()
{
    DecodedTextData model;
    QCOMPARE(DecodedTextData::AggregationChannelID, 0);
    QCOMPARE(DecodedTextData::UserChannelID, 1000);
    QCOMPARE(model.GetBufferSize(), 10000);
    QCOMPARE(model.GetQualityThreshold(), 80);
    QCOMPARE(model.GetInfoAreaWidth(), 50);
    QCOMPARE(model.GetForegroundColor(), QStringLiteral("Black"));
    QCOMPARE(model.GetBackgroundColor(), QStringLiteral("White"));
    QVERIFY(model.GetChannelSeparator().isEmpty());
    QVERIFY(model.UserDataEnabled());
    QVERIFY(!model.IsOffline());
    QVERIFY(!model.GetConfigurationChanged());
    QVERIFY(model.GetCallSigns().isEmpty());
    QVERIFY(model.GetChannelNames().isEmpty());
    QVERIFY(!model.ChannelExists(0));
    QVERIFY(!model.ChannelExists(DecodedTextData::UserChannelID));
    QVERIFY(!model.parent());
}

void TestDecodedTextData::metaObjectOrder()
{
    const QMetaObject& meta = DecodedTextData::staticMetaObject;
    QCOMPARE(meta.className(), "DecodedTextData");
    const QStringList expected{QStringLiteral("DataChanged(int,bool)"),
                               QStringLiteral("TransmissionChanged(int)"),
                               QStringLiteral("ChannelCreated(int)"),
                               QStringLiteral("ShowChannel(int)"),
                               QStringLiteral("SaveUserData(int,QString)"),
                               QStringLiteral("PropertiesChanged()"),
                               QStringLiteral("ResetRequest()"),
                               QStringLiteral("ShowUserChannel()"),
                               QStringLiteral("ApplyUserChannel()")};
    QStringList own;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        own << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(own, expected);
    QCOMPARE(meta.method(meta.methodOffset() + 6).methodType(), QMetaMethod::Signal);
    QCOMPARE(meta.method(meta.methodOffset() + 7).methodType(), QMetaMethod::Slot);
}

void TestDecodedTextData::setBufferSize_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("changed");
    QTest::newRow("below minimum") << 500 << 1000 << true;
    QTest::newRow("just below minimum") << 999 << 1000 << true;
    QTest::newRow("minimum") << 1000 << 1000 << true;
    QTest::newRow("default again") << 10000 << 10000 << false;
    QTest::newRow("larger") << 20000 << 20000 << true;
    QTest::newRow("most negative") << INT_MIN << 1000 << true;
    QTest::newRow("largest") << INT_MAX << INT_MAX << true;
}

void TestDecodedTextData::setBufferSize()
{
    QFETCH(int, value);
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    model.SetBufferSize(value);
    QTEST(model.GetBufferSize(), "stored");
    QTEST(model.GetConfigurationChanged(), "changed");
    QVERIFY(!model.GetConfigurationChanged());
    QCOMPARE(signalsOut.Total(), 0);
}

void TestDecodedTextData::setBufferSizeTwiceLeavesFlagRead()
{
    DecodedTextData model;
    model.SetBufferSize(500);
    QVERIFY(model.GetConfigurationChanged());
    model.SetBufferSize(500);
    QVERIFY(!model.GetConfigurationChanged());
    QCOMPARE(model.GetBufferSize(), 1000);
}

void TestDecodedTextData::setQualityThreshold_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("changed");
    QTest::newRow("above 100") << 150 << 100 << true;
    QTest::newRow("negative") << -5 << 0 << true;
    QTest::newRow("default again") << 80 << 80 << false;
    QTest::newRow("inside range") << 50 << 50 << true;
    QTest::newRow("most negative") << INT_MIN << 0 << true;
    QTest::newRow("largest") << INT_MAX << 100 << true;
}

void TestDecodedTextData::setQualityThreshold()
{
    QFETCH(int, value);
    QFETCH(bool, changed);
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    model.SetQualityThreshold(value);
    QTEST(model.GetQualityThreshold(), "stored");
    QCOMPARE(signalsOut.propertiesChanged.count(), changed ? 1 : 0);
    QCOMPARE(signalsOut.Total(), signalsOut.propertiesChanged.count());
    QCOMPARE(model.GetConfigurationChanged(), changed);

    // The same value again, already clamped, changes nothing.
    model.SetQualityThreshold(value);
    QCOMPARE(signalsOut.propertiesChanged.count(), changed ? 1 : 0);
    QVERIFY(!model.GetConfigurationChanged());
}

void TestDecodedTextData::setInfoAreaWidth_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("changed");
    QTest::newRow("negative becomes 0") << -1 << 0 << true;
    QTest::newRow("most negative becomes 0") << INT_MIN << 0 << true;
    QTest::newRow("default again") << 50 << 50 << false;
    QTest::newRow("wider") << 200 << 200 << true;
    QTest::newRow("largest") << INT_MAX << INT_MAX << true;
}

void TestDecodedTextData::setInfoAreaWidth()
{
    QFETCH(int, value);
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    model.SetInfoAreaWidth(value);
    QTEST(model.GetInfoAreaWidth(), "stored");
    QTEST(model.GetConfigurationChanged(), "changed");
    QCOMPARE(signalsOut.Total(), 0);
}

void TestDecodedTextData::setProperties_data()
{
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("foreground");
    QTest::addColumn<QString>("background");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("storedSize");
    QTest::addColumn<int>("storedThreshold");
    QTest::addColumn<int>("storedWidth");
    QTest::addColumn<QString>("storedForeground");
    QTest::addColumn<QString>("storedBackground");
    QTest::newRow("empty colours mean the defaults")
        << 10000 << 80 << 50 << "" << "" << false << 10000 << 80 << 50 << "Black" << "White";
    QTest::newRow("same values spelled out")
        << 10000 << 80 << 50 << "Black" << "White" << false << 10000 << 80 << 50 << "Black" << "White";
    QTest::newRow("small size is raised")
        << 10 << 80 << 50 << "" << "" << true << 1000 << 80 << 50 << "Black" << "White";
    QTest::newRow("threshold clamped to 100")
        << 10000 << 400 << 50 << "" << "" << true << 10000 << 100 << 50 << "Black" << "White";
    QTest::newRow("most negative threshold")
        << 10000 << INT_MIN << 50 << "" << "" << true << 10000 << 0 << 50 << "Black" << "White";
    QTest::newRow("negative width kept as given")
        << 10000 << 80 << -7 << "" << "" << true << 10000 << 80 << -7 << "Black" << "White";
    QTest::newRow("colour names differ only in case")
        << 10000 << 80 << 50 << "black" << "White" << true << 10000 << 80 << 50 << "black" << "White";
    QTest::newRow("everything at once")
        << INT_MAX << -1 << 0 << "Red" << "Navy" << true << INT_MAX << 0 << 0 << "Red" << "Navy";
}

void TestDecodedTextData::setProperties()
{
    QFETCH(int, bufferSize);
    QFETCH(int, threshold);
    QFETCH(int, width);
    QFETCH(QString, foreground);
    QFETCH(QString, background);
    QFETCH(bool, changed);
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    model.SetProperties(bufferSize, threshold, width, foreground, background);
    QCOMPARE(signalsOut.propertiesChanged.count(), changed ? 1 : 0);
    QCOMPARE(signalsOut.Total(), signalsOut.propertiesChanged.count());
    QCOMPARE(model.GetConfigurationChanged(), changed);
    QTEST(model.GetBufferSize(), "storedSize");
    QTEST(model.GetQualityThreshold(), "storedThreshold");
    QTEST(model.GetInfoAreaWidth(), "storedWidth");
    QTEST(model.GetForegroundColor(), "storedForeground");
    QTEST(model.GetBackgroundColor(), "storedBackground");

    model.SetProperties(bufferSize, threshold, width, foreground, background);
    QCOMPARE(signalsOut.propertiesChanged.count(), changed ? 1 : 0);
    QVERIFY(!model.GetConfigurationChanged());
}

void TestDecodedTextData::plainSettersTouchNoFlag()
{
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    FixedClock clock;
    model.EnableUserData(false);
    model.SetOffline(true);
    model.SetClock(&clock);
    QVERIFY(!model.UserDataEnabled());
    QVERIFY(model.IsOffline());
    QVERIFY(!model.GetConfigurationChanged());
    QCOMPARE(signalsOut.Total(), 0);
}

void TestDecodedTextData::channelCreatedOnceBeforeReturn()
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
    QVERIFY(buffer);
    QCOMPARE(buffer->channel, 7);
    QVERIFY(!buffer->hold && !buffer->overflow && buffer->blocks.isEmpty());
    QCOMPARE(created.count(), 1);
    QCOMPARE(created.at(0).at(0).toInt(), 7);
    QVERIFY(existedInSlot);
    QCOMPARE(seenBySlot, buffer);
    QVERIFY(model.ChannelExists(7));
    QCOMPARE(model.GetChannelData(7), buffer);
    QCOMPARE(created.count(), 1);

    const auto negative = model.GetChannelData(INT_MIN);
    QCOMPARE(negative->channel, INT_MIN);
    QCOMPARE(created.count(), 2);
    QVERIFY(model.ChannelExists(INT_MIN));
}

void TestDecodedTextData::removeAndClearEmitNothing()
{
    DecodedTextData model;
    model.GetChannelData(1);
    const auto kept = model.GetChannelData(2);
    model.DefineChannelName(2, QStringLiteral("DL1ABC"));
    model.SetQualityThreshold(40);
    SignalRecorder signalsOut(&model);

    model.RemoveChannelData(1);
    model.RemoveChannelData(99);
    model.RemoveChannelData(INT_MIN);
    QVERIFY(!model.ChannelExists(1));
    QVERIFY(model.ChannelExists(2));
    QCOMPARE(signalsOut.Total(), 0);

    model.Clear();
    QCOMPARE(signalsOut.Total(), 0);
    QVERIFY(!model.ChannelExists(2));
    QVERIFY(!model.ChannelExists(0));
    QCOMPARE(kept->channel, 2);
    QCOMPARE(model.GetChannelNames().value(2), QStringLiteral("DL1ABC"));
    QCOMPARE(model.GetCallSigns(), QStringList{QStringLiteral("DL1ABC")});
    QCOMPARE(model.GetQualityThreshold(), 40);

    model.GetChannelData(2);
    QCOMPARE(signalsOut.channelCreated.count(), 1);
    QVERIFY(model.GetChannelData(2) != kept);
}

void TestDecodedTextData::resetViewEmitsOnlyResetRequest()
{
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    model.ResetView();
    QCOMPARE(signalsOut.resetRequest.count(), 1);
    QCOMPARE(signalsOut.Total(), 1);
}

void TestDecodedTextData::indexOfCallSign_data()
{
    QTest::addColumn<QString>("sign");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("list");
    // The model starts with DL1ABC and OK2XYZ.
    QTest::newRow("existing sign is not added") << "OK2XYZ" << 1 << QStringList{"DL1ABC", "OK2XYZ"};
    QTest::newRow("sorts first") << "A1" << 0 << QStringList{"A1", "DL1ABC", "OK2XYZ"};
    QTest::newRow("sorts between") << "G4AAA" << 1 << QStringList{"DL1ABC", "G4AAA", "OK2XYZ"};
    QTest::newRow("sorts last") << "ZZ9" << 2 << QStringList{"DL1ABC", "OK2XYZ", "ZZ9"};
    QTest::newRow("lower case sorts after upper case")
        << "dl1abc" << 2 << QStringList{"DL1ABC", "OK2XYZ", "dl1abc"};
    QTest::newRow("empty sign") << "" << 0 << QStringList{"", "DL1ABC", "OK2XYZ"};
}

void TestDecodedTextData::indexOfCallSign()
{
    QFETCH(QString, sign);
    QFETCH(int, index);
    DecodedTextData model;
    model.IndexOfCallSign(QStringLiteral("OK2XYZ"));
    model.IndexOfCallSign(QStringLiteral("DL1ABC"));
    QCOMPARE(model.IndexOfCallSign(sign), index);
    QTEST(model.GetCallSigns(), "list");
    QCOMPARE(model.IndexOfCallSign(sign), index);
    QTEST(model.GetCallSigns(), "list");
}

void TestDecodedTextData::defineChannelName_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("isCallSign");
    QTest::newRow("aggregation channel is no call sign") << 0 << false;
    QTest::newRow("decoder channel") << 3 << true;
    QTest::newRow("user channel") << 1000 << true;
    QTest::newRow("negative channel") << -1 << false;
    QTest::newRow("most negative channel") << INT_MIN << false;
    QTest::newRow("largest channel") << INT_MAX << true;
}

void TestDecodedTextData::defineChannelName()
{
    QFETCH(int, channel);
    QFETCH(bool, isCallSign);
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    model.DefineChannelName(channel, QStringLiteral("Name"));
    QCOMPARE(model.GetChannelNames().value(channel), QStringLiteral("Name"));
    QCOMPARE(model.GetCallSigns().contains(QStringLiteral("Name")), isCallSign);
    // Fetching the aggregation channel creates it; nothing else is announced.
    QVERIFY(model.ChannelExists(0));
    QCOMPARE(signalsOut.channelCreated.count(), 1);
    QCOMPARE(signalsOut.Total(), 1);

    model.DefineChannelName(channel, QStringLiteral("Other"));
    QCOMPARE(model.GetChannelNames().value(channel), QStringLiteral("Other"));
    QCOMPARE(model.GetChannelNames().size(), 1);
    QCOMPARE(signalsOut.Total(), 1);
}

void TestDecodedTextData::defineChannelNameRenamesNewestAggregationMarks()
{
    DecodedTextData model;
    const auto aggregation = model.GetChannelData(0);
    const auto older = aggregation->GetBlock(kStart, 1);
    UserData* olderMark = AddCallSign(*older, 3, QStringLiteral("old"));
    const auto newest = aggregation->GetBlock(kStart.addSecs(60), 2);
    UserData* mark = AddCallSign(*newest, 3, QStringLiteral("old"));
    UserData* otherChannel = AddCallSign(*newest, 4, QStringLiteral("old"));
    UserData* comment = AddCallSign(*newest, 3, QStringLiteral("old"), UserData::CommentType);
    // A channel's own block is not the aggregation block.
    const auto own = model.GetChannelData(3)->GetBlock(kStart, 1);
    UserData* ownMark = AddCallSign(*own, 3, QStringLiteral("old"));

    model.DefineChannelName(3, QStringLiteral("DL1ABC"));
    QCOMPARE(mark->CallSign, QStringLiteral("DL1ABC"));
    QCOMPARE(otherChannel->CallSign, QStringLiteral("old"));
    QCOMPARE(comment->CallSign, QStringLiteral("old"));
    QCOMPARE(olderMark->CallSign, QStringLiteral("old"));
    QCOMPARE(ownMark->CallSign, QStringLiteral("old"));
}

void TestDecodedTextData::setChannelSeparatorWithoutAggregationBlock()
{
    DecodedTextData model;
    SignalRecorder signalsOut(&model);
    model.SetChannelSeparator(QStringLiteral("--"));
    QCOMPARE(model.GetChannelSeparator(), QStringLiteral("--"));
    QVERIFY(model.ChannelExists(0));
    QCOMPARE(signalsOut.dataChanged.count(), 0);
    QVERIFY(!model.GetConfigurationChanged());
}

void TestDecodedTextData::setChannelSeparatorRewritesNewestBlock()
{
    DecodedTextData model;
    const auto aggregation = model.GetChannelData(0);
    const auto older = aggregation->GetBlock(kStart, 1);
    AddRun(*older, QStringLiteral("ab"), 0);
    AddRun(*older, QStringLiteral("cd"), SnippetSeparatorWanted);
    const auto newest = aggregation->GetBlock(kStart.addSecs(60), 2);
    AddRun(*newest, QStringLiteral("ab"), 0);
    AddRun(*newest, QStringLiteral("cd"), SnippetSeparatorWanted);
    AddRun(*newest, QStringLiteral("ef"), SnippetSeparatorWanted);
    SignalRecorder signalsOut(&model);

    model.SetChannelSeparator(QStringLiteral("--"));
    QCOMPARE(newest->text, QStringLiteral("ab--cd--ef"));
    QVERIFY_BLOCK(*newest);
    QCOMPARE(signalsOut.dataChanged.count(), 1);
    QCOMPARE(signalsOut.dataChanged.at(0), (QList<QVariant>{0, true}));

    model.SetChannelSeparator(QStringLiteral("--"));
    QCOMPARE(signalsOut.dataChanged.count(), 1);

    model.SetChannelSeparator(QStringLiteral("\n"));
    QCOMPARE(newest->text, QStringLiteral("ab\ncd\nef"));
    QVERIFY_BLOCK(*newest);
    QCOMPARE(signalsOut.dataChanged.count(), 2);

    model.SetChannelSeparator(QString());
    QCOMPARE(newest->text, QStringLiteral("abcdef"));
    QVERIFY_BLOCK(*newest);
    QCOMPARE(signalsOut.dataChanged.count(), 3);
    QCOMPARE(older->text, QStringLiteral("abcd"));
    QCOMPARE(signalsOut.Total(), 3);
    QVERIFY(model.GetChannelSeparator().isEmpty());
}

void TestDecodedTextData::tickCount()
{
    DecodedTextData model;
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QDateTime now = model.GetTickCount();
    QCOMPARE(now.timeSpec(), Qt::UTC);
    QVERIFY(now >= before && now <= QDateTime::currentDateTimeUtc());

    FixedClock clock;
    clock.now = kStart;
    model.SetClock(&clock);
    QCOMPARE(model.GetTickCount(), kStart);
    clock.now = kStart.addDays(1);
    QCOMPARE(model.GetTickCount(), kStart.addDays(1));
    model.SetClock(nullptr);
    QVERIFY(model.GetTickCount() >= now);
}

void TestDecodedTextData::showUserChannel()
{
    DecodedTextData model;
    QStringList order;
    connect(&model, &DecodedTextData::ChannelCreated, this,
            [&](int channel) { order << QStringLiteral("created %1").arg(channel); });
    connect(&model, &DecodedTextData::ShowChannel, this,
            [&](int channel) { order << QStringLiteral("show %1").arg(channel); });
    model.ShowUserChannel();
    QCOMPARE(order, (QStringList{QStringLiteral("created 1000"), QStringLiteral("show 1000")}));
    QVERIFY(model.ChannelExists(DecodedTextData::UserChannelID));
    model.ShowUserChannel();
    QCOMPARE(order.size(), 3);
    QCOMPARE(order.last(), QStringLiteral("show 1000"));
}

QTEST_GUILESS_MAIN(TestDecodedTextData)
#include "tst_decodedtextdata.moc"
