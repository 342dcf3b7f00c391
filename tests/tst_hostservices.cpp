#include "activeuserproxy.h"
#include "cfgcenter.h"
#include "colors.h"
#include "errorhandler.h"
#include "translationcenter.h"
#include "vxexception.h"

#include <QtTest>

#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Sets environment variables for one test and puts the previous values back.
class EnvironmentGuard
{
public:
    ~EnvironmentGuard()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
    }

    void Set(const char* name, const QString& value)
    {
        Remember(name);
        qputenv(name, value.toUtf8());
    }

    void Unset(const char* name)
    {
        Remember(name);
        qunsetenv(name);
    }

private:
    void Remember(const char* name)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
    }

    QMap<QByteArray, QByteArray> m_saved;
};

// Collects diagnostic lines for the duration of a test.
class LineRecorder
{
public:
    LineRecorder()
    {
        m_previous = ErrorHandler::SetOutputSink([this](const QString& line) { lines.append(line); });
    }
    ~LineRecorder() { ErrorHandler::SetOutputSink(m_previous); }

    QStringList lines;

private:
    ErrorHandler::OutputSink m_previous;
};

class RecordingComponent : public SaveComponentIf
{
public:
    RecordingComponent(QStringList* log, const QString& name) : m_log(log), m_name(name) {}
    void Save() override
    {
        m_log->append(m_name);
        if (unregisterOnSave)
            CfgCenter::UnregisterSaveComponent(unregisterOnSave);
    }
    void Load() override {}
    void CommitData() override {}

    SaveComponentIf* unregisterOnSave = nullptr;

private:
    QStringList* m_log;
    QString m_name;
};

class RecordingErrorHandler : public IErrorHandler
{
public:
    void HandleException(const VXException& e, int context, int severity, bool show,
                         bool fatal) override
    {
        calls.append(QStringLiteral("Handle %1 %2 %3 %4 %5")
                         .arg(e.GetMessage(), QString::number(context), QString::number(severity),
                              QString::number(show), QString::number(fatal)));
    }
    void ReportException(const VXException& e) override
    {
        calls.append(QStringLiteral("Report ") + e.GetMessage());
    }

    QStringList calls;
};

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A module that registers its translation from its load notification, before main().
const bool EarlyRegistration = TranslationCenter::Instance().Register(QStringLiteral("tst_early"));

} // namespace

class TestHostServices : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void appConfigFollowsTheEnvironment();
    void appConfigDefaultsToTheConfigFolder();
    void subConfigIsAGroupOfTheFile();
    void unusableFilesGiveDefaultsAndRefuseWrites_data();
    void unusableFilesGiveDefaultsAndRefuseWrites();
    void readOnlyFileKeepsItsValues();
    void missingFoldersAreCreated();
    void saveComponentsAreSavedOnceEach();

    void translationNamesAreRegistered();
    void translationIsInstalledForTheLanguage();

    void traceMaskComesFromTheEnvironment_data();
    void traceMaskComesFromTheEnvironment();
    void traceLineNamesFileAndLine();
    void traceGoesToStandardError();
    void builtInHandlerLogsEveryField();
    void installedHandlerReceivesTheCalls();
    void exceptionCarriesItsFields();

    void colorRegistryOffersStyleSheetNames();
    void colorRegistryCanBeReplaced();

    void userNameComesFromVxUser();
    void userNameFallsBackToTheLogin();

private:
    QTemporaryDir m_dir;
};

void TestHostServices::init()
{
    QVERIFY(m_dir.isValid());
}

void TestHostServices::appConfigFollowsTheEnvironment()
{
    EnvironmentGuard environment;
    const QString first = m_dir.filePath(QStringLiteral("first.ini"));
    const QString second = m_dir.filePath(QStringLiteral("second.ini"));

    environment.Set("VX_APP_CONFIG", first);
    ICfg& cfg = CfgCenter::GetAppCfg(ICfg::AppView);
    QVERIFY(cfg.WriteInt(QStringLiteral("Answer"), 42, 0));
    QVERIFY(cfg.WriteString(QStringLiteral("Name"), QStringLiteral("first"), 0));
    QVERIFY(FileBytes(first).contains("Answer=42"));

    environment.Set("VX_APP_CONFIG", second);
    ICfg& again = CfgCenter::GetAppCfg(ICfg::AppView);
    QCOMPARE(&again, &cfg);
    QCOMPARE(CfgCenter::AppConfigFileName(), second);
    QCOMPARE(cfg.ReadInt(QStringLiteral("Answer"), -1, 0), -1);
    QVERIFY(cfg.WriteString(QStringLiteral("Name"), QStringLiteral("second"), 0));

    environment.Set("VX_APP_CONFIG", first);
    CfgCenter::GetAppCfg(ICfg::AppView);
    QCOMPARE(cfg.ReadInt(QStringLiteral("Answer"), -1, 0), 42);
    QCOMPARE(cfg.ReadString(QStringLiteral("Name"), QString(), 0), QStringLiteral("first"));

    // An edit by another program is seen at once.
    QVERIFY(WriteFile(first, "[General]\nAnswer=7\nName=edited\n"));
    QCOMPARE(CfgCenter::GetAppCfg(ICfg::AppView).ReadInt(QStringLiteral("Answer"), -1, 0), 7);
}

void TestHostServices::appConfigDefaultsToTheConfigFolder()
{
    EnvironmentGuard environment;
    environment.Unset("VX_APP_CONFIG");
    const QString expected =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
            .filePath(QStringLiteral("vxapp.ini"));
    QCOMPARE(CfgCenter::AppConfigFileName(), expected);
    environment.Set("VX_APP_CONFIG", QString());
    QCOMPARE(CfgCenter::AppConfigFileName(), expected);
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
    QCOMPARE(sub->ReadInt(QStringLiteral("BufferSize"), 10000, 0), 10000);
    QCOMPARE(sub->ReadString(QStringLiteral("ForegroundColor"), QStringLiteral("Black"), 0),
             QStringLiteral("Black"));
    QVERIFY(sub->WriteInt(QStringLiteral("BufferSize"), 1234, 0));
    const QString awkward = QString::fromUtf8("Grün, \"quoted\" ; = [x]");
    QVERIFY(sub->WriteString(QStringLiteral("ForegroundColor"), awkward, 0));
    QVERIFY(sub->WriteString(QStringLiteral("Empty"), QString(), 0));
    QVERIFY(sub->WriteString(QStringLiteral("Word"), QStringLiteral("abc"), 0));

    QCOMPARE(sub->ReadInt(QStringLiteral("BufferSize"), 0, 0), 1234);
    QCOMPARE(sub->ReadString(QStringLiteral("ForegroundColor"), QString(), 0), awkward);
    QCOMPARE(sub->ReadString(QStringLiteral("Empty"), QStringLiteral("default"), 0), QString());
    QCOMPARE(sub->ReadInt(QStringLiteral("Word"), 5, 0), 5);
    QCOMPARE(cfg.ReadInt(QStringLiteral("BufferSize"), -1, 0), -1);

    std::unique_ptr<ICfg> nested(sub->OpenSubCfg(QStringLiteral("Pane"), 0));
    QVERIFY(nested);
    QVERIFY(nested->WriteInt(QStringLiteral("Width"), 9, 0));

    QSettings onDisk(path, QSettings::IniFormat);
    onDisk.setIniCodec("UTF-8");
    QCOMPARE(onDisk.value(QStringLiteral("DecodedTextView/BufferSize")).toInt(), 1234);
    QCOMPARE(onDisk.value(QStringLiteral("DecodedTextView/ForegroundColor")).toString(), awkward);
    QCOMPARE(onDisk.value(QStringLiteral("DecodedTextView/Pane/Width")).toInt(), 9);
}

void TestHostServices::unusableFilesGiveDefaultsAndRefuseWrites_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("section header never closed") << QStringLiteral("corrupt");
    QTest::newRow("binary garbage, not text") << QStringLiteral("binary");
    QTest::newRow("path is a folder") << QStringLiteral("folder");
    QTest::newRow("folder in the path is a file") << QStringLiteral("under a file");
}

void TestHostServices::unusableFilesGiveDefaultsAndRefuseWrites()
{
    QFETCH(QString, kind);
    EnvironmentGuard environment;
    QString path = m_dir.filePath(kind + QStringLiteral(".ini"));
    const QByteArray corrupt = kind == QLatin1String("binary")
                                   ? QByteArray("Key=1\n\0\x01\xff[DecodedTextView]\n", 22)
                                   : QByteArray("[DecodedTextView\nBufferSize=5000\n");
    if (kind == QLatin1String("corrupt") || kind == QLatin1String("binary")) {
        QVERIFY(WriteFile(path, corrupt));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(m_dir.path()).mkpath(path));
    } else {
        QVERIFY(WriteFile(path, "plain file"));
        path += QStringLiteral("/app.ini");
    }
    environment.Set("VX_APP_CONFIG", path);
    ICfg& cfg = CfgCenter::GetAppCfg(ICfg::AppView);

    QCOMPARE(cfg.ReadInt(QStringLiteral("DecodedTextView/BufferSize"), 77, 0), 77);
    QCOMPARE(cfg.ReadString(QStringLiteral("Key"), QStringLiteral("dflt"), 0), QStringLiteral("dflt"));
    QVERIFY(!cfg.WriteInt(QStringLiteral("Key"), 1, 0));
    QVERIFY(!cfg.WriteString(QStringLiteral("Key"), QStringLiteral("x"), 0));
    QCOMPARE(cfg.ReadString(QStringLiteral("Key"), QStringLiteral("dflt"), 0), QStringLiteral("dflt"));
    std::unique_ptr<ICfg> sub(cfg.OpenSubCfg(QStringLiteral("DecodedTextView"), 0));
    if (sub) {
        QCOMPARE(sub->ReadInt(QStringLiteral("BufferSize"), 77, 0), 77);
        QVERIFY(!sub->WriteInt(QStringLiteral("BufferSize"), 1, 0));
    }
    if (kind == QLatin1String("corrupt") || kind == QLatin1String("binary"))
        QCOMPARE(FileBytes(path), corrupt); // the operator's file is never overwritten
}

void TestHostServices::readOnlyFileKeepsItsValues()
{
    EnvironmentGuard environment;
    const QString path = m_dir.filePath(QStringLiteral("readonly.ini"));
    QVERIFY(WriteFile(path, "[DecodedTextView]\nBufferSize=2000\n"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    if (QFileInfo(path).isWritable())
        QSKIP("file permissions do not bind this user");
    environment.Set("VX_APP_CONFIG", path);
    std::unique_ptr<ICfg> sub(CfgCenter::GetAppCfg(ICfg::AppView).OpenSubCfg(QStringLiteral("DecodedTextView"), 0));
    QVERIFY(sub);
    QCOMPARE(sub->ReadInt(QStringLiteral("BufferSize"), 0, 0), 2000);
    QVERIFY(!sub->WriteInt(QStringLiteral("BufferSize"), 3000, 0));
    QCOMPARE(sub->ReadInt(QStringLiteral("BufferSize"), 0, 0), 2000);
}

void TestHostServices::missingFoldersAreCreated()
{
    EnvironmentGuard environment;
    const QString path = m_dir.filePath(QStringLiteral("new/deeper/app.ini"));
    environment.Set("VX_APP_CONFIG", path);
    QVERIFY(CfgCenter::GetAppCfg(ICfg::AppView).WriteInt(QStringLiteral("Key"), 3, 0));
    QVERIFY(FileBytes(path).contains("Key=3"));
}

void TestHostServices::saveComponentsAreSavedOnceEach()
{
    QStringList log;
    RecordingComponent a(&log, QStringLiteral("a"));
    RecordingComponent b(&log, QStringLiteral("b"));
    RecordingComponent c(&log, QStringLiteral("c"));
    CfgCenter::RegisterSaveComponent(&a);
    CfgCenter::RegisterSaveComponent(&b);
    CfgCenter::RegisterSaveComponent(&a);
    CfgCenter::RegisterSaveComponent(nullptr);
    CfgCenter::RegisterSaveComponent(&c);
    QCOMPARE(CfgCenter::SaveComponents(), (QList<SaveComponentIf*>{&a, &b, &c}));

    CfgCenter::SaveAll();
    QCOMPARE(log, (QStringList{"a", "b", "c"}));

    log.clear();
    a.unregisterOnSave = &b;
    CfgCenter::SaveAll();
    QCOMPARE(log, (QStringList{"a", "c"}));

    CfgCenter::UnregisterSaveComponent(&a);
    CfgCenter::UnregisterSaveComponent(&c);
    CfgCenter::UnregisterSaveComponent(&c);
    QVERIFY(CfgCenter::SaveComponents().isEmpty());
    log.clear();
    CfgCenter::SaveAll();
    QVERIFY(log.isEmpty());
}

void TestHostServices::translationNamesAreRegistered()
{
    TranslationCenter& center = TranslationCenter::Instance();
    QVERIFY(EarlyRegistration);
    QVERIFY(center.IsRegistered(QStringLiteral("tst_early")));

    QVERIFY(!center.Register(QString()));
    QVERIFY(center.Register(QStringLiteral("tst_nothing")));
    QVERIFY(center.IsRegistered(QStringLiteral("tst_nothing")));
    QVERIFY(!center.IsInstalled(QStringLiteral("tst_nothing")));
    QVERIFY(center.Register(QStringLiteral("tst_nothing")));
    QVERIFY(center.Unregister(QStringLiteral("tst_nothing")));
    QVERIFY(!center.IsRegistered(QStringLiteral("tst_nothing")));
    QVERIFY(!center.Unregister(QStringLiteral("tst_nothing")));
}

void TestHostServices::translationIsInstalledForTheLanguage()
{
    QString lrelease = QStandardPaths::findExecutable(QStringLiteral("lrelease"));
    if (lrelease.isEmpty())
        lrelease = QStandardPaths::findExecutable(
            QStringLiteral("lrelease"), {QLibraryInfo::location(QLibraryInfo::BinariesPath)});
    if (lrelease.isEmpty())
        QSKIP("lrelease is not installed");

    const QString source = m_dir.filePath(QStringLiteral("tst_lang_de.ts"));
    QVERIFY(WriteFile(source, R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context><name>TestHostServices</name>
<message><source>Waiting</source><translation>Warten</translation></message>
</context>
</TS>
)"));
    QProcess process;
    process.start(lrelease, {QStringLiteral("-silent"), source});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("tst_lang_de.qm"))));

    EnvironmentGuard environment;
    environment.Set("VX_TRANSLATIONS_PATH", m_dir.path());
    TranslationCenter& center = TranslationCenter::Instance();

    environment.Set("VX_LANG", QStringLiteral("fr"));
    QVERIFY(center.Register(QStringLiteral("tst_lang")));
    QVERIFY(!center.IsInstalled(QStringLiteral("tst_lang")));
    QCOMPARE(QCoreApplication::translate("TestHostServices", "Waiting"), QStringLiteral("Waiting"));
    QVERIFY(center.Unregister(QStringLiteral("tst_lang")));

    environment.Set("VX_LANG", QStringLiteral("de"));
    QVERIFY(center.Register(QStringLiteral("tst_lang")));
    QVERIFY(center.IsInstalled(QStringLiteral("tst_lang")));
    QCOMPARE(QCoreApplication::translate("TestHostServices", "Waiting"), QStringLiteral("Warten"));

    QVERIFY(center.Unregister(QStringLiteral("tst_lang")));
    QCOMPARE(QCoreApplication::translate("TestHostServices", "Waiting"), QStringLiteral("Waiting"));
}

void TestHostServices::traceMaskComesFromTheEnvironment_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("value");
    QTest::addColumn<uint>("mask");
    QTest::newRow("unset gives nothing enabled") << false << QString() << 0u;
    QTest::newRow("decimal exception bit") << true << QStringLiteral("32") << 0x20u;
    QTest::newRow("hexadecimal exception bit") << true << QStringLiteral("0x20") << 0x20u;
    QTest::newRow("upper-case prefix and digits") << true << QStringLiteral("0XFF") << 0xFFu;
    QTest::newRow("surrounding blanks") << true << QStringLiteral(" 0x21 ") << 0x21u;
    QTest::newRow("leading zero is still decimal") << true << QStringLiteral("010") << 10u;
    QTest::newRow("all 32 bits") << true << QStringLiteral("4294967295") << 0xFFFFFFFFu;
    QTest::newRow("beyond 32 bits") << true << QStringLiteral("4294967296") << 0u;
    QTest::newRow("negative") << true << QStringLiteral("-1") << 0u;
    QTest::newRow("not a number") << true << QStringLiteral("all") << 0u;
    QTest::newRow("prefix without digits") << true << QStringLiteral("0x") << 0u;
    QTest::newRow("empty") << true << QString() << 0u;
}

void TestHostServices::traceMaskComesFromTheEnvironment()
{
    QFETCH(bool, set);
    QFETCH(QString, value);
    QFETCH(uint, mask);
    EnvironmentGuard environment;
    if (set)
        environment.Set("VX_TRACE_MASK", value);
    else
        environment.Unset("VX_TRACE_MASK");
    QCOMPARE(ErrorHandler::Instance().TraceMask(), mask);
}

void TestHostServices::traceLineNamesFileAndLine()
{
    LineRecorder recorder;
    _Q_Trace(QStringLiteral("TakeEditedData: %1 at 100%"),
             QStringLiteral("controls\\decodedtextview\\decodedtextdata"), 920);
    _Q_Trace(QString::fromUtf8("Grüße"), QStringLiteral("f"), 65535);
    QCOMPARE(recorder.lines,
             (QStringList{"controls\\decodedtextview\\decodedtextdata(920): TakeEditedData: %1 at 100%",
                          QString::fromUtf8("f(65535): Grüße")}));
}

void TestHostServices::traceGoesToStandardError()
{
#ifdef Q_OS_UNIX
    const QString capture = m_dir.filePath(QStringLiteral("stderr.txt"));
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    QVERIFY(saved >= 0);
    FILE* file = std::fopen(QFile::encodeName(capture).constData(), "w");
    QVERIFY(file);
    dup2(fileno(file), STDERR_FILENO);
    _Q_Trace(QStringLiteral("text"), QStringLiteral("path\\file"), 15);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::fclose(file);
    QCOMPARE(FileBytes(capture), QByteArray("path\\file(15): text\n"));
#else
    QSKIP("standard error is captured through POSIX descriptors");
#endif
}

void TestHostServices::builtInHandlerLogsEveryField()
{
    ErrorHandler::SetInterface(nullptr);
    LineRecorder recorder;
    const VXException e(QStringLiteral("broken %2"), QStringLiteral("controls\\x\\loadinterface"),
                        QStringLiteral("class"), QStringLiteral("method"), 15, 0xFFFFFFFFu);
    IErrorHandler* handler = ErrorHandler::Interface();
    QVERIFY(handler);
    handler->ReportException(e);
    handler->HandleException(e, 0, -1, true, false);
    QCOMPARE(recorder.lines.size(), 2);
    for (const QString& line : recorder.lines) {
        QVERIFY2(line.contains(QLatin1String("message=\"broken %2\"")), qPrintable(line));
        QVERIFY(line.contains(QLatin1String("file=\"controls\\x\\loadinterface\"")));
        QVERIFY(line.contains(QLatin1String("class=\"class\"")));
        QVERIFY(line.contains(QLatin1String("method=\"method\"")));
        QVERIFY(line.contains(QLatin1String("line=15")));
        QVERIFY(line.contains(QLatin1String("code=0xffffffff")));
    }
    QVERIFY(recorder.lines.at(0).startsWith(QLatin1String("ReportException")));
    QVERIFY(recorder.lines.at(1).endsWith(
        QLatin1String("context=0 severity=-1 show=true fatal=false")));
}

void TestHostServices::installedHandlerReceivesTheCalls()
{
    RecordingErrorHandler recording;
    IErrorHandler* builtIn = ErrorHandler::Interface();
    ErrorHandler::SetInterface(&recording);
    QCOMPARE(ErrorHandler::Interface(), static_cast<IErrorHandler*>(&recording));
    const VXException e(QStringLiteral("m"), QString(), QString(), QString(), 1, 2);
    ErrorHandler::Interface()->ReportException(e);
    ErrorHandler::Interface()->HandleException(e, 0, -1, true, false);
    ErrorHandler::SetInterface(nullptr);
    QCOMPARE(recording.calls, (QStringList{"Report m", "Handle m 0 -1 1 0"}));
    QCOMPARE(ErrorHandler::Interface(), builtIn);
}

void TestHostServices::exceptionCarriesItsFields()
{
    const QString message = QString::fromUtf8("Zugriff verweigert: ä");
    try {
        throw VXException(message, QStringLiteral("file"), QStringLiteral("Class"),
                          QStringLiteral("Method"), 42, 0x80000001u);
    } catch (const std::exception& caught) {
        QCOMPARE(QString::fromUtf8(caught.what()), message);
        const auto* e = dynamic_cast<const VXException*>(&caught);
        QVERIFY(e);
        const VXException copy(*e);
        QCOMPARE(copy.GetMessage(), message);
        QCOMPARE(copy.GetFile(), QStringLiteral("file"));
        QCOMPARE(copy.GetClassName(), QStringLiteral("Class"));
        QCOMPARE(copy.GetMethod(), QStringLiteral("Method"));
        QCOMPARE(copy.GetLine(), 42u);
        QCOMPARE(copy.GetCode(), 0x80000001u);
        QCOMPARE(QString::fromUtf8(copy.what()), message);
    }
}

void TestHostServices::colorRegistryOffersStyleSheetNames()
{
    ColorDefinitionSet* set = Colors::Instance().GetColors();
    QVERIFY(set);
    QCOMPARE(Colors::Instance().GetColors(), set);
    const QVector<ColorDefinition>& definitions = set->GetColorDefitions();
    QVERIFY(definitions.size() >= 10);
    QCOMPARE(definitions.at(0).GetName(), QStringLiteral("Black"));
    QCOMPARE(definitions.at(1).GetName(), QStringLiteral("White"));
    QSet<QString> seen;
    for (const ColorDefinition& definition : definitions) {
        const QString name = definition.GetName();
        QVERIFY2(QColor::isValidColor(name), qPrintable(name));
        QCOMPARE(definition.GetColor(), QColor(name));
        QVERIFY2(!seen.contains(name.toLower()), qPrintable(name));
        seen.insert(name.toLower());
    }
}

void TestHostServices::colorRegistryCanBeReplaced()
{
    ColorDefinitionSet* set = Colors::Instance().GetColors();
    const QVector<ColorDefinition> original = set->GetColorDefitions();
    set->SetColorDefinitions({ColorDefinition(QStringLiteral("Navy"), QColor(Qt::darkBlue))});
    QCOMPARE(Colors::Instance().GetColors()->GetColorDefitions().size(), 1);
    QCOMPARE(Colors::Instance().GetColors()->GetColorDefitions().first().GetName(),
             QStringLiteral("Navy"));
    set->SetColorDefinitions(original);
    QCOMPARE(set->GetColorDefitions().size(), Colors::DefaultDefinitions().size());
    const ColorDefinition unnamed;
    QVERIFY(unnamed.GetName().isEmpty());
    QVERIFY(!unnamed.GetColor().isValid());
}

void TestHostServices::userNameComesFromVxUser()
{
    EnvironmentGuard environment;
    environment.Set("USER", QStringLiteral("login"));
    environment.Set("VX_USER", QString::fromUtf8("Zoë Operator"));
    QCOMPARE(UMM::ActiveUserProxy::instance().GetUserName(), QString::fromUtf8("Zoë Operator"));
    environment.Set("VX_USER", QString());
    QCOMPARE(UMM::ActiveUserProxy::instance().GetUserName(), QString());
    environment.Unset("VX_USER");
    QCOMPARE(UMM::ActiveUserProxy::instance().GetUserName(), QStringLiteral("login"));
}

void TestHostServices::userNameFallsBackToTheLogin()
{
    EnvironmentGuard environment;
    environment.Unset("VX_USER");
    environment.Unset("USER");
    environment.Set("LOGNAME", QStringLiteral("logname"));
    QCOMPARE(UMM::ActiveUserProxy::instance().GetUserName(), QStringLiteral("logname"));
    environment.Unset("LOGNAME");
    environment.Unset("USERNAME");
    // Without any variable the account database still names the user.
    QVERIFY(!UMM::ActiveUserProxy::instance().GetUserName().isEmpty());
}

QTEST_GUILESS_MAIN(TestHostServices)
#include "tst_hostservices.moc"
