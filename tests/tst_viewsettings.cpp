#include "cfgcenter.h"
#include "decodedtextcontent.h"
#include "decodedtextview.h"
#include "widgetfixtures.h"

#include <QtTest>

#include <memory>

using namespace WidgetFixtures;

namespace {

using Values = QMap<QString, QString>;

void Store(const QString& file, const Values& values)
{
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("DecodedTextView"));
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
}

Values All(int bufferSize, int threshold, int width, const char* fg = "Black",
           const char* bg = "White")
{
    return ViewValues(bufferSize, threshold, width, QString::fromLatin1(fg),
                      QString::fromLatin1(bg));
}

// The width of the call-sign gutter of the view's first pane, opened for it.
int InfoWidth(DecodedTextView& view)
{
    view.GetLastTimestamp(1);
    auto* content = view.findChild<DecodedTextContent*>();
    auto* info = content ? content->findChild<QWidget*>(QStringLiteral("Info")) : nullptr;
    return info ? info->sizeHint().width() : -1;
}

} // namespace

class TestViewSettings : public QObject {
    Q_OBJECT

private slots:
    void init();
    void storedValuesAreUsedAndKept();
    void loadCorrectsStoredValues_data();
    void loadCorrectsStoredValues();
    void changesAreWrittenOnce();
    void loadAgainReachesOpenPanes();
    void registeredWhileAlive();
    void unwritableConfigurationConsumesChange();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString file;
};

void TestViewSettings::init()
{
    // A fresh file per test: QSettings caches files process-wide.
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    file = dir->filePath(QStringLiteral("app.ini"));
    qputenv("VX_APP_CONFIG", file.toLocal8Bit());
}

void TestViewSettings::storedValuesAreUsedAndKept()
{
    const Values stored = All(20000, 60, 90, "Navy", "Ivory");
    Store(file, stored);
    {
        DecodedTextView view(nullptr);
        QCOMPARE(view.GetBufferSize(), 20000);
        QCOMPARE(InfoWidth(view), 90);
        // Someone else edits the file meanwhile; the view's values win on destruction.
        Store(file, All(30000, 10, 10, "Red", "Blue"));
    }
    QCOMPARE(StoredView(file), stored);
}

void TestViewSettings::loadCorrectsStoredValues_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<Values>("written");

    QTest::newRow("no file: the defaults are no change, nothing is written")
        << Values {} << Values {};
    QTest::newRow("small buffer raised to 1000")
        << Values { { "BufferSize", "500" } } << All(1000, 80, 50);
    QTest::newRow("threshold above 100 clamped")
        << Values { { "QualityThreshold", "150" } } << All(10000, 100, 50);
    QTest::newRow("negative threshold clamped to 0")
        << Values { { "QualityThreshold", "-5" } } << All(10000, 0, 50);
    QTest::newRow("width of 0 kept, it hides the gutter")
        << Values { { "InfoAreaWidth", "0" } } << All(10000, 80, 0);
    QTest::newRow("empty colours replaced alongside a real change") << Values {
        { "BufferSize", "20000" }, { "ForegroundColor", "" }, { "BackgroundColor", "" }
    } << All(20000, 80, 50);
    QTest::newRow("empty colour alone is no change, so nothing is written")
        << Values { { "ForegroundColor", "" } } << Values { { "ForegroundColor", "" } };
    QTest::newRow("unreadable number falls back to the current value")
        << Values { { "BufferSize", "lots" }, { "QualityThreshold", "40" } } << All(10000, 40, 50);
}

void TestViewSettings::loadCorrectsStoredValues()
{
    QFETCH(Values, stored);
    QFETCH(Values, written);
    if (!stored.isEmpty())
        Store(file, stored);
    {
        DecodedTextView view(nullptr);
        view.Save();
    }
    QCOMPARE(StoredView(file), written);
    QCOMPARE(QFile::exists(file), !stored.isEmpty());
}

void TestViewSettings::changesAreWrittenOnce()
{
    DecodedTextView view(nullptr);
    // The host's commit of session data writes nothing; a save does.
    view.SetQualityThreshold(55);
    view.CommitData();
    QVERIFY(!QFile::exists(file));
    view.GetLastTimestamp(1);
    view.findChild<DecodedTextContent*>()->SetInfoAreaWidth(80); // where a drag of the gutter ends
    view.Save();
    QCOMPARE(StoredView(file), All(10000, 55, 80));

    // Saved once, the change is not written again.
    Store(file, Values { { "InfoAreaWidth", "33" } });
    view.Save();
    CfgCenter::SaveAll();
    QCOMPARE(StoredView(file).value("InfoAreaWidth"), QStringLiteral("33"));
}

void TestViewSettings::loadAgainReachesOpenPanes()
{
    DecodedTextView view(nullptr);
    QCOMPARE(InfoWidth(view), 50);
    // A key the file lacks leaves the current value, not the default.
    view.SetBufferSize(4000);
    Store(file, Values { { "InfoAreaWidth", "70" } });
    view.Load();
    QCOMPARE(InfoWidth(view), 70);
    QCOMPARE(view.GetBufferSize(), 4000);
}

void TestViewSettings::registeredWhileAlive()
{
    const QList<SaveComponentIf*> before = CfgCenter::SaveComponents();
    {
        DecodedTextView view(nullptr);
        QVERIFY(CfgCenter::SaveComponents().contains(&view));
        QCOMPARE(CfgCenter::SaveComponents().size(), before.size() + 1);
        // The host saves all components: the view writes its changed buffer size.
        view.SetBufferSize(12000);
        CfgCenter::SaveAll();
        QCOMPARE(StoredView(file).value("BufferSize"), QStringLiteral("12000"));
    }
    QCOMPARE(CfgCenter::SaveComponents(), before);
}

void TestViewSettings::unwritableConfigurationConsumesChange()
{
    DecodedTextView view(nullptr);
    view.SetBufferSize(15000);
    // A folder in place of the file: nothing can be stored there.
    const QString folder = dir->filePath(QStringLiteral("folder.ini"));
    QVERIFY(QDir().mkpath(folder));
    qputenv("VX_APP_CONFIG", folder.toLocal8Bit());
    view.Save();
    // The change was used up by the failed save; the next one has nothing to write.
    qputenv("VX_APP_CONFIG", file.toLocal8Bit());
    view.Save();
    QVERIFY(!QFile::exists(file));
}

QTEST_MAIN(TestViewSettings)
#include "tst_viewsettings.moc"
