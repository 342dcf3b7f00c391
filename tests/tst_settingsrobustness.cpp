// A configuration file the view cannot use must not cost the operator a working view: it starts
// on its defaults (or keeps what it has), and it never overwrites a file it could not read.
#include "decodedtextchannel.h"
#include "decodedtextview.h"
#include "widgetfixtures.h"

#include <QtTest>

#include <memory>

using namespace WidgetFixtures;

namespace {

using Values = QMap<QString, QString>;

const Values Defaults = ViewValues(10000, 80, 50, QStringLiteral("Black"), QStringLiteral("White"));
const Values Custom = ViewValues(20000, 60, 90, QStringLiteral("Navy"), QStringLiteral("Ivory"));
const QByteArray CustomIni = "[DecodedTextView]\nBufferSize=20000\nQualityThreshold=60\n"
                             "InfoAreaWidth=90\nForegroundColor=Navy\nBackgroundColor=Ivory\n";

void PointAt(const QString& file)
{
    qputenv("VX_APP_CONFIG", QFile::encodeName(file));
}

// The five values the view's model works with. The view shows only some of them, so it is made
// to save them into a file of its own: a changed buffer size makes it write all five. The
// configuration is pointed back at the file under test afterwards, with no change pending.
Values Effective(DecodedTextView& view, const QString& probe, const QString& underTest)
{
    const int bufferSize = view.GetBufferSize();
    PointAt(probe);
    view.SetBufferSize(bufferSize + 1);
    view.Save();
    PointAt(underTest);
    Values values = StoredView(probe);
    if (values.value(QStringLiteral("BufferSize")) == QString::number(bufferSize + 1))
        values.insert(QStringLiteral("BufferSize"), QString::number(bufferSize));
    return values;
}

// A working view takes text and opens a pane for it.
bool TakesText(DecodedTextView& view)
{
    view.AddTransmission(BlockXml(3, QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC), "CQ DE"));
    return view.findChildren<DecodedTextChannel*>().size() == 1;
}

} // namespace

class TestSettingsRobustness : public QObject {
    Q_OBJECT

private slots:
    void init();
    void unusableLocationKeepsViewAndFile_data();
    void unusableLocationKeepsViewAndFile();
    void damageWhileOpenKeepsCurrentValues();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString file;
    QString probe;
};

void TestSettingsRobustness::init()
{
    // New names for every test: QSettings caches what it read per file name, process-wide.
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    file = dir->filePath(QStringLiteral("app.ini"));
    probe = dir->filePath(QStringLiteral("probe.ini"));
    PointAt(file);
}

void TestSettingsRobustness::unusableLocationKeepsViewAndFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("how"); // what stands in the file's place or keeps it from use
    QTest::addColumn<bool>("read"); // whether the view takes the file's values

    QTest::newRow("section header cut off: the whole file is suspect")
        << QByteArray("[DecodedTextView\nBufferSize=20000\nQualityThreshold=60\n") << "file"
        << false;
    // Which contents are unusable is the configuration service's own business.
    // A folder is unreadable for every user, root included.
    QTest::newRow("folder in place of the file") << QByteArray() << "folder" << false;
    QTest::newRow("file without read permission") << CustomIni << "unreadable" << false;
    // Nothing can be created below a plain file, whoever runs the test.
    QTest::newRow("the file's folder is a plain file")
        << QByteArray("not a folder") << "below a file" << false;
    QTest::newRow("read-only file") << CustomIni << "read-only" << true;
}

void TestSettingsRobustness::unusableLocationKeepsViewAndFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, how);
    QFETCH(bool, read);
    QVERIFY(how == QStringLiteral("folder") ? QDir().mkpath(file) : WriteAll(file, contents));
    const QString target
        = how == QStringLiteral("below a file") ? file + QStringLiteral("/app.ini") : file;
    PointAt(target);
    const bool unreadable = how == QStringLiteral("unreadable");
    if (unreadable || how == QStringLiteral("read-only")) {
        const QFileDevice::Permissions readOnly
            = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(file, unreadable ? QFileDevice::WriteOwner : readOnly));
        QFile check(file);
        if (check.open(unreadable ? QIODevice::ReadOnly : QIODevice::WriteOnly | QIODevice::Append))
            QSKIP("file permissions do not bind this user (root); the other rows cover it");
    }
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, target), read ? Custom : Defaults);
        // The view goes on with what it was given, but it stores nothing where it could not
        // read or cannot write.
        view.SetBufferSize(15000);
        view.Save();
        QCOMPARE(view.GetBufferSize(), 15000);
        QVERIFY(TakesText(view));
    }
    if (how == QStringLiteral("folder")) {
        QVERIFY(
            QDir(file).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
        return;
    }
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(ReadAll(file), contents);
}

void TestSettingsRobustness::damageWhileOpenKeepsCurrentValues()
{
    // Readable, but no value can be used: each falls back to the default on its own, and with
    // nothing changed nothing is written over the operator's file.
    const QByteArray corrupt = "[DecodedTextView]\nBufferSize=lots\nQualityThreshold=\n"
                               "InfoAreaWidth=99999999999999999999\nForegroundColor=\n"
                               "BackgroundColor=\n";
    QVERIFY(WriteAll(file, corrupt));
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, file), Defaults);
    }
    QCOMPARE(ReadAll(file), corrupt);

    file = dir->filePath(QStringLiteral("second.ini")); // a name QSettings has not cached yet
    PointAt(file);
    QVERIFY(WriteAll(file, CustomIni));
    DecodedTextView view(nullptr);
    QCOMPARE(view.GetBufferSize(), 20000);
    // The host reloads after the file was damaged behind the view's back.
    const QByteArray damaged("[DecodedTextView\nBufferSize=1\n");
    QVERIFY(WriteAll(file, damaged));
    view.Load();
    QCOMPARE(Effective(view, probe, file), Custom);
    QVERIFY(TakesText(view));
    QCOMPARE(ReadAll(file), damaged);
}

QTEST_MAIN(TestSettingsRobustness)
#include "tst_settingsrobustness.moc"
