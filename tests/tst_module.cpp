// What a host meets: the module's entry points, and the services of the host suite it runs on
// (configuration files, save components, translations, traces, error handlers, the user, colours).
#include "activeuserproxy.h"
#include "cfgcenter.h"
#include "colors.h"
#include "decodedtextview.h"
#include "decodedtextviewtest.h"
#include "decodedtextviewtestmain.h"
#include "errorhandler.h"
#include "idllinstance.h"
#include "loadinterface.h"
#include "modelfixtures.h"
#include "translationcenter.h"
#include "vxexception.h"
#include "widgetfixtures.h"

#include <QtTest>

#include <memory>
#include <stdexcept>

using WidgetFixtures::Joined;
using WidgetFixtures::ReadAll;
using WidgetFixtures::WriteAll;

namespace {

using CreateFunction = IDllInstance* (*)(const wchar_t*);
using DestroyFunction = void (*)(IDllInstance*);

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
    void Save() override { onSave(); }
    void Load() override { }
    void CommitData() override { }
    std::function<void()> onSave;
};

int ReadInt(ICfg& cfg, const char* key) { return cfg.ReadInt(QLatin1String(key), -1, 0); }

// What the error handler was given, one line a call.
struct RecordingHandler : IErrorHandler {
    void HandleException(const VXException& e, int context, int severity, bool show, bool fatal) override
    {
        calls << "Handle " + Joined(Describe(e), context, severity, show, fatal);
    }
    void ReportException(const VXException& e) override { calls << "Report " + Describe(e); }
    static QString Describe(const VXException& e)
    {
        return Joined(e.GetMessage(), e.GetFile(), e.GetClassName(), e.GetMethod(), e.GetLine(),
                      QString::number(e.GetCode(), 16));
    }
    QStringList calls;
};

// What the construction hook throws and what it saw; the hook cannot capture.
QString failure;
QPointer<QObject> halfBuiltInstance, halfBuiltTimer, halfBuiltWindow;

QList<DecodedTextViewTestMain*> HarnessWindows()
{
    QList<DecodedTextViewTestMain*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<DecodedTextViewTestMain*>(widget))
            windows.append(window);
    return windows;
}

void FailingHook(DecodedTextViewTest* instance)
{
    halfBuiltInstance = instance;
    halfBuiltTimer = instance->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    halfBuiltWindow = HarnessWindows().value(0);
    if (failure == QStringLiteral("standard"))
        throw std::runtime_error("disk on fire");
    if (failure == QStringLiteral("VXException"))
        throw VXException(QStringLiteral("broken"), QStringLiteral("somefile"),
                          QStringLiteral("SomeClass"), QStringLiteral("Method"), 77, 5);
    throw 42;
}

} // namespace

class TstModule : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        library.setFileName(QStringLiteral(DTV_LIBRARY_PATH));
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        create = reinterpret_cast<CreateFunction>(library.resolve("VXCreate"));
        destroy = reinterpret_cast<DestroyFunction>(library.resolve("VXDestroy"));
        // The loader finds the very functions this test links against, by unmangled name.
        QCOMPARE(reinterpret_cast<void*>(create), reinterpret_cast<void*>(&VXCreate));
        QCOMPARE(reinterpret_cast<void*>(destroy), reinterpret_cast<void*>(&VXDestroy));
        // Loading registers the module's translations.
        QVERIFY(TranslationCenter::Instance().IsRegistered(QStringLiteral("DecodedTextView")));
        destroy(nullptr);
    }

    void createKeepsTheName_data()
    {
        QTest::addColumn<QString>("wideName"); // null: no name at all
        QTest::addColumn<QString>("expected");
        const QString wide = QStringLiteral("Kanal \u00e4 \u6f22\u5b57");
        QTest::newRow("no name at all gives an empty name") << QString() << QString();
        QTest::newRow("characters beyond Latin-1 survive the wide conversion") << wide << wide;
        QTest::newRow("the name ends at the first NUL")
            << QString::fromUtf16(u"ab\u0000cd", 5) << QStringLiteral("ab");
    }

    void createKeepsTheName()
    {
        QFETCH(QString, wideName);
        const std::wstring name = wideName.toStdWString();
        IDllInstance* instance = create(wideName.isNull() ? nullptr : name.c_str());
        QVERIFY(instance);
        QTEST(instance->m_name, "expected");
        // One hidden window, its view made only by Start, gone with the instance; the loader's
        // pointer is the interface part of a harness object.
        QCOMPARE(HarnessWindows().size(), 1);
        QPointer<DecodedTextViewTestMain> window = HarnessWindows().constFirst();
        QVERIFY(!window->isVisible() && !window->findChild<DecodedTextView*>());
        auto* object = dynamic_cast<QObject*>(instance);
        QVERIFY(qobject_cast<DecodedTextViewTest*>(object));
        QCOMPARE(qobject_cast<IDllInstance*>(object), instance);
        destroy(instance);
        QVERIFY(window.isNull());
    }

    void constructorFailureReturnsNull_data()
    {
        QTest::addColumn<QString>("thrown");
        QTest::addColumn<QString>("traceMask");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<QString>("exception"); // empty: the exception passes through
        const QString source = QStringLiteral("controls\\decodedtextview\\loadinterface");
        const QString caught = source + QStringLiteral("(15): %1 caught in standard catch-block");
        const QString wrapped = "disk on fire," + source + ",class,method,15,ffffffff";
        QTest::newRow("standard exception is wrapped with the module's location, keeps its text")
            << "standard" << "0x20" << caught.arg("Standard C++ Exception") << wrapped;
        QTest::newRow("VXException reaches the handler as thrown")
            << "VXException" << "0x20" << caught.arg("VXException")
            << "broken,somefile,SomeClass,Method,77,5";
        QTest::newRow("without bit 0x20 the handler is told but nothing is traced")
            << "standard" << "0xffdf" << QString() << wrapped;
        QTest::newRow("anything else is not trapped")
            << "int" << "0x20" << QString() << QString();
    }

    void constructorFailureReturnsNull()
    {
        QFETCH(QString, thrown);
        QFETCH(QString, trace);
        QFETCH(QString, exception);
        RecordingHandler handler;
        ErrorHandler::SetInterface(&handler);
        QFETCH(QString, traceMask);
        Set("VX_TRACE_MASK", traceMask);
        LineRecorder recorder;
        failure = thrown;
        DecodedTextViewTest::SetConstructionHook(&FailingHook);
        bool passedThrough = false;
        IDllInstance* instance = nullptr;
        try {
            instance = create(L"doomed");
        } catch (int value) {
            passedThrough = value == 42;
        }
        QVERIFY(!instance && halfBuiltInstance.isNull());
        QCOMPARE(passedThrough, exception.isEmpty());
        // The hook saw a fully wired object; none of it survives the failure.
        QVERIFY(halfBuiltTimer.isNull() && halfBuiltWindow.isNull());
        QCOMPARE(recorder.lines, trace.isEmpty() ? QStringList() : QStringList { trace });
        QCOMPARE(handler.calls, exception.isEmpty() ? QStringList()
                 : QStringList({ "Report " + exception, "Handle " + exception + ",0,-1,true,false" }));
    }

    void cleanup()
    {
        DecodedTextViewTest::SetConstructionHook(nullptr);
        ErrorHandler::SetInterface(nullptr);
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it)
            it.value().isNull() ? qunsetenv(it.key()) : qputenv(it.key(), it.value());
        m_saved.clear();
        QVERIFY(HarnessWindows().isEmpty());
    }

    void appConfigFollowsTheEnvironment()
    {
        Set("VX_APP_CONFIG", QStringLiteral(""));
        QCOMPARE(CfgCenter::AppConfigFileName(),
                 QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath("vxapp.ini"));
        const QString first = m_dir.filePath(QStringLiteral("new/deeper/first.ini")); // folders are created
        const QString second = m_dir.filePath(QStringLiteral("second.ini"));
        Set("VX_APP_CONFIG", first);
        ICfg& cfg = CfgCenter::GetAppCfg(ICfg::AppView);
        QVERIFY(cfg.WriteInt(QStringLiteral("Answer"), 42, 0));
        QVERIFY(ReadAll(first).contains("Answer=42"));
        // The same object follows the variable, and an edit by another program is seen at once.
        Set("VX_APP_CONFIG", second);
        QVERIFY(&CfgCenter::GetAppCfg(ICfg::AppView) == &cfg && CfgCenter::AppConfigFileName() == second);
        QCOMPARE(ReadInt(cfg, "Answer"), -1);
        Set("VX_APP_CONFIG", first);
        QVERIFY(WriteAll(first, "[General]\nAnswer=7\n"));
        QCOMPARE(ReadInt(CfgCenter::GetAppCfg(ICfg::AppView), "Answer"), 7);

        // A sub-configuration is a group of the file, nested ones groups within it.
        const QString path = m_dir.filePath(QStringLiteral("sub.ini"));
        Set("VX_APP_CONFIG", path);
        ICfg& app = CfgCenter::GetAppCfg(ICfg::AppView);
        QVERIFY(!app.OpenSubCfg(QString(), 0));
        std::unique_ptr<ICfg> sub(app.OpenSubCfg(QStringLiteral("DecodedTextView"), 0));
        QVERIFY(sub);
        const QString awkward = QString::fromUtf8("Grün, \"quoted\" ; = [x]");
        QVERIFY(sub->WriteInt(QStringLiteral("BufferSize"), 1234, 0));
        QVERIFY(sub->WriteString(QStringLiteral("ForegroundColor"), awkward, 0));
        QVERIFY(sub->WriteString(QStringLiteral("Empty"), QString(), 0));
        QCOMPARE(sub->ReadString(QStringLiteral("Empty"), QStringLiteral("default"), 0), QString());
        QCOMPARE(sub->ReadInt(QStringLiteral("ForegroundColor"), 5, 0), 5); // not a number
        std::unique_ptr<ICfg> nested(sub->OpenSubCfg(QStringLiteral("Pane"), 0));
        QVERIFY(nested && nested->WriteInt(QStringLiteral("Width"), 9, 0));

        QSettings onDisk(path, QSettings::IniFormat);
        onDisk.setIniCodec("UTF-8");
        onDisk.beginGroup(QStringLiteral("DecodedTextView"));
        QCOMPARE(QVariantList({ onDisk.value("BufferSize"), onDisk.value("ForegroundColor"),
                                onDisk.value("Pane/Width") }),
                 QVariantList({ "1234", awkward, "9" }));
    }

    void saveComponentsAreSavedOnceEach()
    {
        QStringList log;
        RecordingComponent a, b, c;
        for (auto [component, name] : { std::pair(&a, "a"), std::pair(&b, "b"), std::pair(&c, "c") })
            component->onSave = [&log, name = name] { log << name; };
        for (SaveComponentIf* component : std::initializer_list<SaveComponentIf*> { &a, &b, &a, nullptr, &c })
            CfgCenter::RegisterSaveComponent(component);
        QCOMPARE(CfgCenter::SaveComponents(), (QList<SaveComponentIf*> { &a, &b, &c }));
        CfgCenter::SaveAll();
        // A component may unregister another while they are saved.
        a.onSave = [&] { log << "a", CfgCenter::UnregisterSaveComponent(&b); };
        CfgCenter::SaveAll();
        QCOMPARE(log, QStringList({ "a", "b", "c", "a", "c" }));
        for (SaveComponentIf* component : std::initializer_list<SaveComponentIf*> { &a, &c, &c })
            CfgCenter::UnregisterSaveComponent(component);
        QVERIFY(CfgCenter::SaveComponents().isEmpty());
    }

    void translationIsInstalledForTheLanguage()
    {
        TranslationCenter& center = TranslationCenter::Instance();
        QVERIFY(!center.Register(QString()) && !center.Unregister(QStringLiteral("tst_nothing")));

        const QString lrelease = QStandardPaths::findExecutable(
            QStringLiteral("lrelease"),
            { QLibraryInfo::location(QLibraryInfo::BinariesPath), QStringLiteral("/usr/bin") });
        if (lrelease.isEmpty())
            QSKIP("lrelease is not installed");
        const QString source = m_dir.filePath(QStringLiteral("tst_lang_de.ts"));
        QVERIFY(WriteAll(source, R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS><TS version="2.1" language="de"><context><name>TestHostServices</name>
<message><source>Waiting</source><translation>Warten</translation></message></context></TS>
)"));
        QProcess process;
        process.start(lrelease, { QStringLiteral("-silent"), source });
        QVERIFY(process.waitForFinished(60000) && process.exitCode() == 0);
        Set("VX_TRANSLATIONS_PATH", m_dir.path());
        auto waiting = [] { return QCoreApplication::translate("TestHostServices", "Waiting"); };
        Set("VX_LANG", QStringLiteral("fr"));
        const QString lang = QStringLiteral("tst_lang");
        QVERIFY(center.Register(lang) && !center.IsInstalled(lang));
        QVERIFY(center.Unregister(lang));
        Set("VX_LANG", QStringLiteral("de"));
        QVERIFY(center.Register(lang) && center.IsInstalled(lang));
        QCOMPARE(waiting(), QStringLiteral("Warten"));
        QVERIFY(center.Unregister(lang));
        QCOMPARE(waiting(), QStringLiteral("Waiting"));
    }

    void traceMaskComesFromTheEnvironment_data()
    {
        QTest::addColumn<QString>("value"); // null: unset
        QTest::addColumn<uint>("mask");
        QTest::newRow("unset gives nothing enabled") << QString() << 0u;
        QTest::newRow("upper-case prefix, surrounding blanks") << QStringLiteral(" 0XFF ") << 0xFFu;
        QTest::newRow("leading zero is still decimal") << QStringLiteral("010") << 10u;
        QTest::newRow("all 32 bits") << QStringLiteral("4294967295") << 0xFFFFFFFFu;
        QTest::newRow("beyond 32 bits") << QStringLiteral("4294967296") << 0u;
        QTest::newRow("negative") << QStringLiteral("-1") << 0u;
        QTest::newRow("prefix without digits") << QStringLiteral("0x") << 0u;
    }

    void traceMaskComesFromTheEnvironment()
    {
        QFETCH(QString, value);
        Set("VX_TRACE_MASK", value);
        QTEST(ErrorHandler::Instance().TraceMask(), "mask");
    }

    void traceLinesAndTheBuiltInErrorHandler()
    {
        LineRecorder recorder;
        _Q_Trace(QStringLiteral("TakeEditedData: %1 at 100%"), QStringLiteral("controls\\decodedtextdata"), 920);
        QCOMPARE(recorder.lines, QStringList("controls\\decodedtextdata(920): TakeEditedData: %1 at 100%"));
        // The built-in error handler logs every field; a '%' in them is not expanded again.
        recorder.lines.clear();
        const VXException e(QString::fromUtf8("broken %2 ä"), QStringLiteral("controls\\x"),
                            QStringLiteral("Class"), QStringLiteral("Method"), 15, 0xFFFFFFFFu);
        QCOMPARE(QString::fromUtf8(e.what()), e.GetMessage());
        ErrorHandler::Interface()->ReportException(e);
        ErrorHandler::Interface()->HandleException(e, 0, -1, true, false);
        const QString fields = QString::fromUtf8(R"(message="broken %2 ä" file="controls\x" class="Class" )"
                                                 R"(method="Method" line=15 code=0xffffffff)");
        QCOMPARE(recorder.lines, QStringList({ "ReportException: " + fields, "HandleException: " + fields
                                               + " context=0 severity=-1 show=true fatal=false" }));
#ifdef Q_OS_UNIX
        // Without a sink the line goes to standard error, in UTF-8.
        ErrorHandler::SetOutputSink(nullptr);
        const QByteArray written = Fixtures::CapturedStandardError(
            [] { _Q_Trace(QString::fromUtf8("Grüße"), QStringLiteral("path\\file"), 65535); });
        ErrorHandler::SetOutputSink(recorder.previous);
        QCOMPARE(written, QString::fromUtf8("path\\file(65535): Grüße\n").toUtf8());
#endif
    }

    void userName()
    {
        Set("USER", QStringLiteral("login"));
        Set("VX_USER", QString::fromUtf8("Zoë Operator"));
        auto name = [] { return UMM::ActiveUserProxy::instance().GetUserName(); };
        QCOMPARE(name(), QString::fromUtf8("Zoë Operator"));
        Set("VX_USER", QStringLiteral(""));
        QCOMPARE(name(), QString()); // set but empty is an answer
        Set("VX_USER", QString());
        QCOMPARE(name(), QStringLiteral("login"));
        Set("USER", QString());
        Set("LOGNAME", QStringLiteral("logname"));
        QCOMPARE(name(), QStringLiteral("logname"));
        Set("LOGNAME", QString());
        QVERIFY(!name().isEmpty()); // the account database still names the user
    }

    void coloursAreUsableAndStartWithTheDefaults()
    {
        // Offered in the properties dialog and written to style sheets: each name must be one QColor
        // reads as that colour, given once, and the view's default colours come first.
        QStringList names;
        for (const ColorDefinition& colour : Colors::Instance().GetColors()->GetColorDefitions()) {
            QVERIFY2(colour.GetColor().isValid() && colour.GetColor() == QColor(colour.GetName()),
                     qPrintable(colour.GetName()));
            names << colour.GetName();
        }
        QCOMPARE(names.mid(0, 2), QStringList({ "Black", "White" }));
        QCOMPARE(names.removeDuplicates(), 0);
    }

private:
    // Sets a variable for the current test, a null value unsets it; cleanup() puts it back.
    void Set(const char* name, const QString& value)
    {
        if (!m_saved.contains(name))
            m_saved.insert(name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray());
        value.isNull() ? qunsetenv(name) : qputenv(name, value.toUtf8());
    }
    QMap<QByteArray, QByteArray> m_saved;
    QTemporaryDir m_dir;
    QLibrary library;
    CreateFunction create = nullptr;
    DestroyFunction destroy = nullptr;
};

QTEST_MAIN(TstModule)
#include "tst_module.moc"
