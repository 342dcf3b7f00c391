// The view's settings: taken from the host's configuration file, changed in the properties
// dialog, written back once. A file the view cannot use must not cost the operator a working
// view: it starts on its defaults (or keeps what it has), and it never overwrites a file it
// could not read.
#include "cfgcenter.h"
#include "colors.h"
#include "decodedtextchannel.h"
#include "decodedtextcontent.h"
#include "decodedtextdata.h"
#include "decodedtextproperties.h"
#include "decodedtextview.h"
#include "widgetfixtures.h"

#include <QMenu>
#include <QScopeGuard>
#include <QtTest>

#include <memory>

using namespace WidgetFixtures;

namespace {

using Values = QMap<QString, QString>;

Values All(int bufferSize, int threshold, int width, const char* fg = "Black", const char* bg = "White")
{
    return ViewValues(bufferSize, threshold, width, QString::fromLatin1(fg), QString::fromLatin1(bg));
}

const Values Custom = All(20000, 60, 90, "Navy", "Ivory");
const QByteArray CustomIni = "[DecodedTextView]\nBufferSize=20000\nQualityThreshold=60\n"
                             "InfoAreaWidth=90\nForegroundColor=Navy\nBackgroundColor=Ivory\n";

void PointAt(const QString& file)
{
    qputenv("VX_APP_CONFIG", QFile::encodeName(file));
}

void Store(const QString& file, const Values& values)
{
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("DecodedTextView"));
    for (auto it = values.begin(); it != values.end(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
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
    void init()
    {
        // New names for every test: QSettings caches what it read per file name, process-wide.
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        file = dir->filePath(QStringLiteral("app.ini"));
        PointAt(file);
    }

    void storedValuesAreUsedAndKept()
    {
        Store(file, Custom);
        {
            DecodedTextView view(nullptr);
            QCOMPARE(view.GetBufferSize(), 20000);
            QCOMPARE(InfoWidth(view), 90);
            // The host reloads a file that lacks a key: that value stays the view's current one,
            // not the default, and the open pane follows the others.
            view.SetBufferSize(4000);
            QVERIFY(WriteAll(file, "[DecodedTextView]\nInfoAreaWidth=70\n"));
            view.Load();
            QCOMPARE(InfoWidth(view), 70);
            // Someone else edits the file meanwhile; the view's values win on destruction.
            Store(file, All(30000, 10, 10, "Red", "Blue"));
        }
        QCOMPARE(StoredView(file), All(4000, 60, 70, "Navy", "Ivory"));
        // Damaged behind the view's back, the file is neither read nor written over.
        const QByteArray damaged("[DecodedTextView\nBufferSize=1\n");
        {
            DecodedTextView view(nullptr);
            QVERIFY(WriteAll(file, damaged));
            view.Load();
            QCOMPARE(view.GetBufferSize(), 4000);
            view.SetQualityThreshold(20);
        }
        QCOMPARE(ReadAll(file), damaged);
    }

    void loadCorrectsStoredValues_data()
    {
        // How each value is clamped is the model's business; these rows are about what loading
        // makes of missing, empty and unreadable values.
        QTest::addColumn<Values>("stored");
        QTest::addColumn<Values>("written");
        QTest::newRow("no file: the defaults are no change, nothing is written") << Values {} << Values {};
        QTest::newRow("empty colours replaced alongside a real change") << Values {
            { "BufferSize", "20000" }, { "ForegroundColor", "" }, { "BackgroundColor", "" }
        } << All(20000, 80, 50);
        const Values empty { { "ForegroundColor", "" }, { "QualityThreshold", "" } };
        QTest::newRow("an empty colour or number is no change, so nothing is written") << empty << empty;
        QTest::newRow("unreadable or overflowing numbers fall back to the current value")
            << Values { { "BufferSize", "lots" }, { "InfoAreaWidth", "99999999999999999999" },
                        { "QualityThreshold", "40" } }
            << All(10000, 40, 50);
    }

    void loadCorrectsStoredValues()
    {
        QFETCH(Values, stored);
        if (!stored.isEmpty())
            Store(file, stored);
        {
            DecodedTextView view(nullptr);
            view.Save();
        }
        QTEST(StoredView(file), "written");
        QCOMPARE(QFile::exists(file), !stored.isEmpty());
    }

    void changesAreWrittenOnce()
    {
        const QList<SaveComponentIf*> before = CfgCenter::SaveComponents();
        {
            DecodedTextView view(nullptr);
            // The host's commit of session data writes nothing; its save of all components does.
            view.SetQualityThreshold(55);
            view.CommitData();
            QVERIFY(!QFile::exists(file));
            view.GetLastTimestamp(1);
            view.findChild<DecodedTextContent*>()->SetInfoAreaWidth(80); // where a drag of the gutter ends
            CfgCenter::SaveAll();
            QCOMPARE(StoredView(file), All(10000, 55, 80));
            // Saved once, the change is not written again.
            Store(file, Values { { "InfoAreaWidth", "33" } });
            view.Save();
            CfgCenter::SaveAll();
            QCOMPARE(StoredView(file).value("InfoAreaWidth"), QStringLiteral("33"));
        }
        QCOMPARE(CfgCenter::SaveComponents(), before);
    }

    void unusableLocationKeepsViewAndFile_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("how"); // what stands in the file's place or keeps it from use
        QTest::addColumn<bool>("read"); // whether the view takes the file's values

        QTest::newRow("section header cut off: the whole file is suspect")
            << QByteArray("[DecodedTextView\nBufferSize=20000\nQualityThreshold=60\n") << "file" << false;
        // Which contents are unusable is the configuration service's own business.
        // A folder is unreadable for every user, root included.
        QTest::newRow("folder in place of the file") << QByteArray() << "folder" << false;
        QTest::newRow("file without read permission") << CustomIni << "unreadable" << false;
        // Nothing can be created below a plain file, whoever runs the test.
        QTest::newRow("the file's folder is a plain file") << QByteArray("not a folder") << "below a file" << false;
        QTest::newRow("read-only file") << CustomIni << "read-only" << true;
    }

    void unusableLocationKeepsViewAndFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, how);
        QFETCH(bool, read);
        QVERIFY(how == QStringLiteral("folder") ? QDir().mkpath(file) : WriteAll(file, contents));
        const QString target = how == QStringLiteral("below a file") ? file + QStringLiteral("/app.ini") : file;
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
            QCOMPARE(view.GetBufferSize(), read ? 20000 : 10000);
            // The view goes on with what it was given, but it stores nothing where it could not
            // read or cannot write.
            view.SetBufferSize(15000);
            view.Save();
            QCOMPARE(view.GetBufferSize(), 15000);
            view.AddTransmission(BlockXml(3, QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC), "CQ DE"));
            QCOMPARE(view.findChildren<DecodedTextChannel*>().size(), 1);
            // The failed save used the change up: a usable file later gets nothing from it.
            const QString later = dir->filePath(QStringLiteral("later.ini"));
            PointAt(later);
            view.Save();
            QVERIFY(!QFile::exists(later));
        }
        if (how == QStringLiteral("folder")) {
            QVERIFY(QDir(file).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
            return;
        }
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(ReadAll(file), contents);
    }

    void propertiesDialogMapsToModel_data()
    {
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("foreground");
        QTest::addColumn<bool>("check");
        QTest::addColumn<QString>("answer"); // "accept", "reject" or "empty registry"
        QTest::addColumn<QString>("shown"); // foreground, background, max chars, quality, check
        QTest::addColumn<QString>("stored"); // foreground, width, buffer size, quality, background
        QTest::newRow("unchecking stores width 0")
            << 20000 << 120 << "Navy" << false << "accept" << "Navy,Ivory,20000,30,1" << "Navy,0,20000,31,Ivory";
        QTest::newRow("checking again restores 50, not the older width")
            << 20000 << 0 << "Navy" << true << "accept" << "Navy,Ivory,20000,30,0" << "Navy,50,20000,31,Ivory";
        QTest::newRow("colour names are case-sensitive; an unknown one stores the registry's first")
            << 20000 << 50 << "navy" << true << "accept" << "Black,Ivory,20000,30,1" << "Black,50,20000,31,Ivory";
        QTest::newRow("oversized buffer is shown and stored as the maximum; the width is kept")
            << 5000000 << 120 << "Navy" << true << "accept" << "Navy,Ivory,1000000,30,1" << "Navy,120,1000000,31,Ivory";
        QTest::newRow("cancel changes nothing")
            << 12345 << 70 << "Navy" << false << "reject" << "Navy,Ivory,12345,30,1" << "Navy,70,12345,30,Ivory";
        // Both combo boxes are empty; the model puts its defaults in for the missing names.
        QTest::newRow("empty colour registry")
            << 5000 << 50 << "Navy" << true << "empty registry" << ",,5000,30,1" << "Black,50,5000,31,White";
    }

    void propertiesDialogMapsToModel()
    {
        QFETCH(int, bufferSize);
        QFETCH(int, width);
        QFETCH(QString, foreground);
        QFETCH(bool, check);
        QFETCH(QString, answer);
        ColorDefinitionSet* colors = Colors::Instance().GetColors();
        const auto restore = qScopeGuard(
            [colors, saved = colors->GetColorDefitions()] { colors->SetColorDefinitions(saved); });
        if (answer == QStringLiteral("empty registry"))
            colors->SetColorDefinitions({});
        DecodedTextData model;
        model.SetProperties(bufferSize, 30, width, foreground, QStringLiteral("Ivory"));
        model.GetConfigurationChanged();
        DecodedTextContent content(3, false, &model, nullptr);
        QSignalSpy changed(&model, &DecodedTextData::PropertiesChanged);
        QString shown;
        WhenModal<DecodedTextProperties>([&](DecodedTextProperties* d) {
            shown = Joined(d->GetForegroundColor(), d->GetBackgroundColor(), d->GetMaxChars(), d->GetQualityThreshold(),
                           int(d->IsInfoAreaEnabled()));
            d->SetInfoAreaEnabled(check);
            d->SetQualityThreshold(31);
            answer == QStringLiteral("reject") ? d->reject() : d->accept();
        });
        QMenu menu;
        content.AddActions(&menu, QPoint(1, 1));
        FindAction(menu, QStringLiteral("Properties"))->trigger();
        QTEST(shown, "shown");
        const bool accepted = answer != QStringLiteral("reject");
        QCOMPARE(changed.count(), accepted ? 1 : 0);
        QCOMPARE(model.GetConfigurationChanged(), accepted);
        QTEST(Joined(model.GetForegroundColor(), model.GetInfoAreaWidth(), model.GetBufferSize(),
                     model.GetQualityThreshold(), model.GetBackgroundColor()),
              "stored");
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString file;
};

QTEST_MAIN(TestViewSettings)
#include "tst_viewsettings.moc"
