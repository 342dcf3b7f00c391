#include "activeuserproxy.h"
#include "cfgcenter.h"
#include "errorhandler.h"
#include "modelfixtures.h"
#include "translationcenter.h"
#include "vxexception.h"

#include <QtTest>

#include <memory>

namespace {

// Sets environment variables for one test and puts the previous values back.
class EnvironmentGuard {
public:
    ~EnvironmentGuard()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it)
            Put(it.key().constData(), it.value());
    }
    // A null value unsets the variable.
    void Set(const char* name, const QString& value)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        Put(name, value.isNull() ? QByteArray() : value.toUtf8());
    }
    void Unset(const char* name) { Set(name, QString()); }

private:
    static void Put(const char* name, const QByteArray& value)
    {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    QMap<QByteArray, QByteArray> m_saved;
};

// Collects diagnostic lines for the duration of a test.
struct LineRecorder {
    LineRecorder()
        : previous(ErrorHandler::SetOutputSink([this](const QString& line) { lines << line; }))
    {
    }
    ~LineRecorder() { ErrorHandler::SetOutputSink(previous); }
    QStringList lines;
    ErrorHandler::OutputSink previous;
};

struct RecordingComponent : SaveComponentIf {
    RecordingComponent(QStringList* log, const QString& name) : log(log), name(name) { }
    void Save() override
    {
        log->append(name);
        if (unregisterOnSave)
            CfgCenter::UnregisterSaveComponent(unregisterOnSave);
    }
    void Load() override { }
    void CommitData() override { }
    QStringList* log;
    QString name;
    SaveComponentIf* unregisterOnSave = nullptr;
};

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int ReadInt(ICfg& cfg, const char* key) { return cfg.ReadInt(QLatin1String(key), -1, 0); }

// A module that registers its translation from its load notification, before main().
const bool EarlyRegistration = TranslationCenter::Instance().Register(QStringLiteral("tst_early"));

} // namespace

class TestHostServices : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void appConfigFollowsTheEnvironment();
    void subConfigIsAGroupOfTheFile();
    void unusableFilesGiveDefaultsAndRefuseWrites_data();
    void unusableFilesGiveDefaultsAndRefuseWrites();
    void saveComponentsAreSavedOnceEach();
    void translationIsInstalledForTheLanguage();
    void traceMaskComesFromTheEnvironment_data();
    void traceMaskComesFromTheEnvironment();
    void traceLinesGoToTheSinkOrStandardError();
    void errorHandlers();
    void userName();

private:
    QTemporaryDir m_dir;
};

void TestHostServices::appConfigFollowsTheEnvironment()
{
    EnvironmentGuard environment;
    environment.Unset("VX_APP_CONFIG");
    const QString fallback
        = QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
              .filePath("vxapp.ini");
    environment.Set("VX_APP_CONFIG", QStringLiteral(""));
    QCOMPARE(CfgCenter::AppConfigFileName(), fallback);

    const QString first
        = m_dir.filePath(QStringLiteral("new/deeper/first.ini")); // folders are created
    const QString second = m_dir.filePath(QStringLiteral("second.ini"));
    environment.Set("VX_APP_CONFIG", first);
    ICfg& cfg = CfgCenter::GetAppCfg(ICfg::AppView);
    QVERIFY(cfg.WriteInt(QStringLiteral("Answer"), 42, 0));
    QVERIFY(FileBytes(first).contains("Answer=42"));
    // The same object follows the variable, and an edit by another program is seen at once.
    environment.Set("VX_APP_CONFIG", second);
    QVERIFY(&CfgCenter::GetAppCfg(ICfg::AppView) == &cfg);
    QCOMPARE(CfgCenter::AppConfigFileName(), second);
    QCOMPARE(ReadInt(cfg, "Answer"), -1);
    environment.Set("VX_APP_CONFIG", first);
    QVERIFY(WriteFile(first, "[General]\nAnswer=7\n"));
    QCOMPARE(ReadInt(CfgCenter::GetAppCfg(ICfg::AppView), "Answer"), 7);
}

void TestHostServices::subConfigIsAGroupOfTheFile()
{
    EnvironmentGuard environment;
    const QString path = m_dir.filePath(QStringLiteral("sub.ini"));
    environment.Set("VX_APP_CONFIG", path);
    ICfg& cfg = CfgCenter::GetAppCfg(ICfg::AppView);
    QVERIFY(!cfg.OpenSubCfg(QString(), 0));
    std::unique_ptr<ICfg> sub(cfg.OpenSubCfg(QStringLiteral("DecodedTextView"), 0));
    QVERIFY(sub);
    const QString awkward = QString::fromUtf8("Grün, \"quoted\" ; = [x]");
    QVERIFY(sub->WriteInt(QStringLiteral("BufferSize"), 1234, 0));
    QVERIFY(sub->WriteString(QStringLiteral("ForegroundColor"), awkward, 0));
    QVERIFY(sub->WriteString(QStringLiteral("Empty"), QString(), 0));
    QCOMPARE(sub->ReadString(QStringLiteral("Empty"), QStringLiteral("default"), 0), QString());
    QCOMPARE(sub->ReadInt(QStringLiteral("ForegroundColor"), 5, 0), 5); // not a number
    QCOMPARE(ReadInt(cfg, "BufferSize"), -1);
    std::unique_ptr<ICfg> nested(sub->OpenSubCfg(QStringLiteral("Pane"), 0));
    QVERIFY(nested && nested->WriteInt(QStringLiteral("Width"), 9, 0));

    QSettings onDisk(path, QSettings::IniFormat);
    onDisk.setIniCodec("UTF-8");
    onDisk.beginGroup(QStringLiteral("DecodedTextView"));
    QCOMPARE(QVariantList({ onDisk.value("BufferSize"), onDisk.value("ForegroundColor"),
                            onDisk.value("Pane/Width") }),
             QVariantList({ "1234", awkward, "9" }));
}

void TestHostServices::unusableFilesGiveDefaultsAndRefuseWrites_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("section header never closed") << QStringLiteral("corrupt");
    QTest::newRow("folder in the path is a file") << QStringLiteral("under a file");
    QTest::newRow("read-only file keeps its values") << QStringLiteral("read-only");
}

void TestHostServices::unusableFilesGiveDefaultsAndRefuseWrites()
{
    QFETCH(QString, kind);
    EnvironmentGuard environment;
    QString path = m_dir.filePath(kind + QStringLiteral(".ini"));
    const QByteArray bytes = kind == "read-only" ? "[DecodedTextView]\nBufferSize=2000\n"
                                                 : "[DecodedTextView\nBufferSize=5000\n";
    QVERIFY(WriteFile(path, bytes));
    if (kind == "under a file")
        path += QStringLiteral("/app.ini");
    if (kind == "read-only") {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        if (QFileInfo(path).isWritable())
            QSKIP("file permissions do not bind this user");
    }
    environment.Set("VX_APP_CONFIG", path);
    ICfg& cfg = CfgCenter::GetAppCfg(ICfg::AppView);
    const int stored = kind == "read-only" ? 2000 : 77;
    QCOMPARE(cfg.ReadInt(QStringLiteral("DecodedTextView/BufferSize"), 77, 0), stored);
    QVERIFY(!cfg.WriteInt(QStringLiteral("Key"), 1, 0));
    QVERIFY(!cfg.WriteString(QStringLiteral("Key"), QStringLiteral("x"), 0));
    QCOMPARE(cfg.ReadString(QStringLiteral("Key"), QStringLiteral("dflt"), 0),
             QStringLiteral("dflt"));
    std::unique_ptr<ICfg> sub(cfg.OpenSubCfg(QStringLiteral("DecodedTextView"), 0));
    if (sub) {
        QVERIFY(!sub->WriteInt(QStringLiteral("BufferSize"), 1, 0));
        QCOMPARE(sub->ReadInt(QStringLiteral("BufferSize"), 77, 0), stored);
    }
    if (kind != "under a file")
        QCOMPARE(FileBytes(path), bytes); // the operator's file is never overwritten
}

void TestHostServices::saveComponentsAreSavedOnceEach()
{
    QStringList log;
    RecordingComponent a(&log, "a"), b(&log, "b"), c(&log, "c");
    for (SaveComponentIf* component :
         std::initializer_list<SaveComponentIf*> { &a, &b, &a, nullptr, &c })
        CfgCenter::RegisterSaveComponent(component);
    QCOMPARE(CfgCenter::SaveComponents(), (QList<SaveComponentIf*> { &a, &b, &c }));
    CfgCenter::SaveAll();
    // A component may unregister another while they are saved.
    a.unregisterOnSave = &b;
    CfgCenter::SaveAll();
    QCOMPARE(log, QStringList({ "a", "b", "c", "a", "c" }));
    CfgCenter::UnregisterSaveComponent(&a);
    CfgCenter::UnregisterSaveComponent(&c);
    CfgCenter::UnregisterSaveComponent(&c);
    QVERIFY(CfgCenter::SaveComponents().isEmpty());
}

void TestHostServices::translationIsInstalledForTheLanguage()
{
    TranslationCenter& center = TranslationCenter::Instance();
    QVERIFY(EarlyRegistration && center.IsRegistered(QStringLiteral("tst_early")));
    QVERIFY(!center.Register(QString()));
    QVERIFY(!center.Unregister(QStringLiteral("tst_nothing")));

    const QString lrelease = QStandardPaths::findExecutable(
        QStringLiteral("lrelease"),
        { QLibraryInfo::location(QLibraryInfo::BinariesPath), QStringLiteral("/usr/bin") });
    if (lrelease.isEmpty())
        QSKIP("lrelease is not installed");
    const QString source = m_dir.filePath(QStringLiteral("tst_lang_de.ts"));
    QVERIFY(WriteFile(source, R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS><TS version="2.1" language="de"><context><name>TestHostServices</name>
<message><source>Waiting</source><translation>Warten</translation></message></context></TS>
)"));
    QProcess process;
    process.start(lrelease, { QStringLiteral("-silent"), source });
    QVERIFY(process.waitForFinished(60000) && process.exitCode() == 0);
    EnvironmentGuard environment;
    environment.Set("VX_TRANSLATIONS_PATH", m_dir.path());
    auto waiting = [] { return QCoreApplication::translate("TestHostServices", "Waiting"); };
    environment.Set("VX_LANG", QStringLiteral("fr"));
    const QString lang = QStringLiteral("tst_lang");
    QVERIFY(center.Register(lang) && !center.IsInstalled(lang));
    QCOMPARE(waiting(), QStringLiteral("Waiting"));
    QVERIFY(center.Unregister(lang));
    environment.Set("VX_LANG", QStringLiteral("de"));
    QVERIFY(center.Register(lang) && center.IsInstalled(lang));
    QCOMPARE(waiting(), QStringLiteral("Warten"));
    QVERIFY(center.Unregister(lang));
    QCOMPARE(waiting(), QStringLiteral("Waiting"));
}

void TestHostServices::traceMaskComesFromTheEnvironment_data()
{
    QTest::addColumn<QString>("value"); // null: unset
    QTest::addColumn<uint>("mask");
    QTest::newRow("unset gives nothing enabled") << QString() << 0u;
    QTest::newRow("hexadecimal exception bit") << QStringLiteral("0x20") << 0x20u;
    QTest::newRow("upper-case prefix, surrounding blanks") << QStringLiteral(" 0XFF ") << 0xFFu;
    QTest::newRow("leading zero is still decimal") << QStringLiteral("010") << 10u;
    QTest::newRow("all 32 bits") << QStringLiteral("4294967295") << 0xFFFFFFFFu;
    QTest::newRow("beyond 32 bits") << QStringLiteral("4294967296") << 0u;
    QTest::newRow("negative") << QStringLiteral("-1") << 0u;
    QTest::newRow("prefix without digits") << QStringLiteral("0x") << 0u;
}

void TestHostServices::traceMaskComesFromTheEnvironment()
{
    QFETCH(QString, value);
    EnvironmentGuard environment;
    environment.Set("VX_TRACE_MASK", value);
    QTEST(ErrorHandler::Instance().TraceMask(), "mask");
}

void TestHostServices::traceLinesGoToTheSinkOrStandardError()
{
    LineRecorder recorder;
    _Q_Trace(QStringLiteral("TakeEditedData: %1 at 100%"),
             QStringLiteral("controls\\decodedtextdata"), 920);
    QCOMPARE(recorder.lines, QStringList("controls\\decodedtextdata(920): TakeEditedData: %1 at 100%"));
#ifdef Q_OS_UNIX
    // Without a sink the line goes to standard error, in UTF-8.
    ErrorHandler::SetOutputSink(nullptr);
    const QByteArray written = Fixtures::CapturedStandardError(
        [] { _Q_Trace(QString::fromUtf8("Grüße"), QStringLiteral("path\\file"), 65535); });
    ErrorHandler::SetOutputSink(recorder.previous);
    QCOMPARE(written, QString::fromUtf8("path\\file(65535): Grüße\n").toUtf8());
#endif
}

void TestHostServices::errorHandlers()
{
    const QString message = QString::fromUtf8("broken %2 ä");
    const VXException e(message, QStringLiteral("controls\\x"), QStringLiteral("Class"),
                        QStringLiteral("Method"), 15, 0xFFFFFFFFu);
    QCOMPARE(QString::fromUtf8(e.what()), message);

    // The built-in handler logs every field.
    ErrorHandler::SetInterface(nullptr);
    LineRecorder recorder;
    ErrorHandler::Interface()->ReportException(e);
    ErrorHandler::Interface()->HandleException(e, 0, -1, true, false);
    QCOMPARE(recorder.lines.size(), 2);
    for (const QString& line : recorder.lines) {
        for (const QString& field :
             { QStringLiteral("message=\"%1\"").arg(message), QStringLiteral("file=\"controls\\x\""),
               QStringLiteral("class=\"Class\""), QStringLiteral("method=\"Method\""),
               QStringLiteral("line=15"), QStringLiteral("code=0xffffffff") })
            QVERIFY2(line.contains(field), qPrintable(line));
    }
    QVERIFY(recorder.lines.at(1).endsWith(QLatin1String("context=0 severity=-1 show=true fatal=false")));
}

void TestHostServices::userName()
{
    EnvironmentGuard environment;
    environment.Set("USER", QStringLiteral("login"));
    environment.Set("VX_USER", QString::fromUtf8("Zoë Operator"));
    auto name = [] { return UMM::ActiveUserProxy::instance().GetUserName(); };
    QCOMPARE(name(), QString::fromUtf8("Zoë Operator"));
    environment.Set("VX_USER", QStringLiteral(""));
    QCOMPARE(name(), QString()); // set but empty is an answer
    environment.Unset("VX_USER");
    QCOMPARE(name(), QStringLiteral("login"));
    environment.Unset("USER");
    environment.Set("LOGNAME", QStringLiteral("logname"));
    QCOMPARE(name(), QStringLiteral("logname"));
    environment.Unset("LOGNAME");
    environment.Unset("USERNAME");
    QVERIFY(!name().isEmpty()); // the account database still names the user
}

QTEST_GUILESS_MAIN(TestHostServices)
#include "tst_hostservices.moc"
