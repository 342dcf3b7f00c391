// A configuration file the view cannot use must not cost the operator a working view: it starts
// on its defaults (or keeps what it has), and it never overwrites a file it could not read.
#include "decodedtextchannel.h"
#include "decodedtextview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using Values = QMap<QString, QString>;

const QStringList Keys{"BufferSize", "QualityThreshold", "InfoAreaWidth", "ForegroundColor",
                       "BackgroundColor"};

Values All(int bufferSize, int threshold, int width, const QString& fg, const QString& bg)
{
    return Values{{"BufferSize", QString::number(bufferSize)},
                  {"QualityThreshold", QString::number(threshold)},
                  {"InfoAreaWidth", QString::number(width)},
                  {"ForegroundColor", fg},
                  {"BackgroundColor", bg}};
}

const Values Defaults = All(10000, 80, 50, QStringLiteral("Black"), QStringLiteral("White"));
const Values Custom = All(20000, 60, 90, QStringLiteral("Navy"), QStringLiteral("Ivory"));

const QByteArray CustomIni = "[DecodedTextView]\nBufferSize=20000\nQualityThreshold=60\n"
                             "InfoAreaWidth=90\nForegroundColor=Navy\nBackgroundColor=Ivory\n";

Values Stored(const QString& file)
{
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("DecodedTextView"));
    Values values;
    for (const QString& key : Keys) {
        if (settings.contains(key))
            values.insert(key, settings.value(key).toString());
    }
    return values;
}

QByteArray Contents(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Write(const QString& file, const QByteArray& data)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

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
    Values values = Stored(probe);
    if (values.value(QStringLiteral("BufferSize")) == QString::number(bufferSize + 1))
        values.insert(QStringLiteral("BufferSize"), QString::number(bufferSize));
    return values;
}

// A working view takes text and opens a pane for it.
bool TakesText(DecodedTextView& view)
{
    view.AddTransmission(QStringLiteral(
        "<Transmission start=\"2024-05-01T10:00:00.000Z\"><DataBlock id=\"1\" channel=\"3\">"
        "<Content>CQ DE</Content><TimeStamp position=\"0\" quality=\"90\" "
        "time=\"2024-05-01T10:00:00.000Z\"/></DataBlock></Transmission>"));
    return view.findChildren<DecodedTextChannel*>().size() == 1;
}

} // namespace

class TestSettingsRobustness : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void damagedFileGivesDefaultsAndIsKept_data();
    void damagedFileGivesDefaultsAndIsKept();
    void folderInPlaceOfFile();
    void unwritableLocationKeepsView();
    void corruptValuesGiveDefaults();
    void damageWhileOpenKeepsCurrentValues();
    void unreadableFileGivesDefaults();
    void readOnlyFileIsLeftAlone();

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

void TestSettingsRobustness::damagedFileGivesDefaultsAndIsKept_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("section header cut off: the whole file is suspect")
        << QByteArray("[DecodedTextView\nBufferSize=20000\nQualityThreshold=60\n");
    QTest::newRow("NUL bytes: not a text file")
        << QByteArray(CustomIni).replace("60", QByteArray("6\0", 2) + "0");
    QTest::newRow("binary garbage") << QByteArray::fromHex("7f454c4602010100000000ff00fe5b00");
}

void TestSettingsRobustness::damagedFileGivesDefaultsAndIsKept()
{
    QFETCH(QByteArray, contents);
    QVERIFY(Write(file, contents));
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, file), Defaults);
        QVERIFY(TakesText(view));
        // A change makes the view save when it goes; into a file it could not read, it must not.
        view.SetBufferSize(15000);
        QCOMPARE(view.GetBufferSize(), 15000);
    }
    QCOMPARE(Contents(file), contents);
}

void TestSettingsRobustness::folderInPlaceOfFile()
{
    // Unreadable for every user, root included.
    QVERIFY(QDir().mkpath(file));
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, file), Defaults);
        QVERIFY(TakesText(view));
        view.SetBufferSize(15000);
    }
    QVERIFY(QFileInfo(file).isDir());
    QVERIFY(QDir(file).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

void TestSettingsRobustness::unwritableLocationKeepsView()
{
    // The file's folder is a plain file: nothing can be created there, whoever runs the test.
    const QString plain = dir->filePath(QStringLiteral("plain"));
    QVERIFY(Write(plain, "not a folder"));
    const QString inside = plain + QStringLiteral("/app.ini");
    PointAt(inside);
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, inside), Defaults);
        view.SetBufferSize(15000);
        view.Save();
        // The view goes on with what it was given, whether it could be stored or not.
        QCOMPARE(view.GetBufferSize(), 15000);
        QVERIFY(TakesText(view));
    }
    QCOMPARE(Contents(plain), QByteArray("not a folder"));
}

void TestSettingsRobustness::corruptValuesGiveDefaults()
{
    // Readable, but no value can be used: each falls back to the default on its own.
    const QByteArray contents = "[DecodedTextView]\nBufferSize=lots\nQualityThreshold=\n"
                                "InfoAreaWidth=99999999999999999999\nForegroundColor=\n"
                                "BackgroundColor=\n";
    QVERIFY(Write(file, contents));
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, file), Defaults);
        QVERIFY(TakesText(view));
    }
    // Nothing changed, so nothing was written over the operator's file.
    QCOMPARE(Contents(file), contents);
}

void TestSettingsRobustness::damageWhileOpenKeepsCurrentValues()
{
    QVERIFY(Write(file, CustomIni));
    DecodedTextView view(nullptr);
    QCOMPARE(view.GetBufferSize(), 20000);

    // The host reloads after the file was damaged behind the view's back.
    const QByteArray damaged("[DecodedTextView\nBufferSize=1\n");
    QVERIFY(Write(file, damaged));
    view.Load();
    QCOMPARE(Effective(view, probe, file), Custom);
    QVERIFY(TakesText(view));
    QCOMPARE(Contents(file), damaged);
}

void TestSettingsRobustness::unreadableFileGivesDefaults()
{
    QVERIFY(Write(file, CustomIni));
    QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));
    {
        QFile check(file);
        if (check.open(QIODevice::ReadOnly))
            QSKIP("file permissions do not bind this user (root): the folder-in-place and damaged "
                  "file tests cover unreadable configurations here");
    }
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, file), Defaults);
        QVERIFY(TakesText(view));
        view.SetBufferSize(15000);
    }
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(Contents(file), CustomIni);
}

void TestSettingsRobustness::readOnlyFileIsLeftAlone()
{
    QVERIFY(Write(file, CustomIni));
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup
                                            | QFileDevice::ReadOther));
    {
        QFile check(file);
        if (check.open(QIODevice::WriteOnly | QIODevice::Append))
            QSKIP("file permissions do not bind this user (root): the unwritable-location test "
                  "covers a configuration that cannot be written here");
    }
    {
        DecodedTextView view(nullptr);
        QCOMPARE(Effective(view, probe, file), Custom);
        view.SetBufferSize(15000);
        view.Save();
        QCOMPARE(view.GetBufferSize(), 15000);
        QVERIFY(TakesText(view));
    }
    QCOMPARE(Contents(file), CustomIni);
    QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
}

QTEST_MAIN(TestSettingsRobustness)
#include "tst_settingsrobustness.moc"
