#include "decodedtextview.h"
#include "decodedtextviewtest.h"
#include "decodedtextviewtestmain.h"
#include "errorhandler.h"
#include "idllinstance.h"
#include "loadinterface.h"
#include "translationcenter.h"
#include "vxexception.h"

#include <QtTest>

#include <new>
#include <stdexcept>

namespace {

using CreateFunction = IDllInstance* (*)(const wchar_t*);
using DestroyFunction = void (*)(IDllInstance*);

// What the error handler was given, call by call.
struct HandlerCall {
    QString operation;
    QString message;
    QString file;
    QString className;
    QString method;
    unsigned int line = 0;
    unsigned int code = 0;
    int context = 0;
    int severity = 0;
    bool show = false;
    bool fatal = false;
};

class RecordingHandler : public IErrorHandler
{
public:
    void HandleException(const VXException& e, int context, int severity, bool show,
                         bool fatal) override
    {
        HandlerCall call = Describe(QStringLiteral("Handle"), e);
        call.context = context;
        call.severity = severity;
        call.show = show;
        call.fatal = fatal;
        calls.append(call);
    }

    void ReportException(const VXException& e) override
    {
        calls.append(Describe(QStringLiteral("Report"), e));
    }

    QVector<HandlerCall> calls;

private:
    static HandlerCall Describe(const QString& operation, const VXException& e)
    {
        HandlerCall call;
        call.operation = operation;
        call.message = e.GetMessage();
        call.file = e.GetFile();
        call.className = e.GetClassName();
        call.method = e.GetMethod();
        call.line = e.GetLine();
        call.code = e.GetCode();
        return call;
    }
};

enum class Failure { BadAlloc, StdRuntime, Vx, Foreign };

// State shared with the construction hook, which cannot capture.
Failure failure = Failure::BadAlloc;
int hookCalls = 0;
QPointer<QObject> halfBuiltInstance;
QPointer<QTimer> halfBuiltTimer;
QPointer<QWidget> halfBuiltWindow;

QList<DecodedTextViewTestMain*> HarnessWindows()
{
    QList<DecodedTextViewTestMain*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<DecodedTextViewTestMain*>(widget))
            windows.append(window);
    }
    return windows;
}

void FailingHook(DecodedTextViewTest* instance)
{
    ++hookCalls;
    halfBuiltInstance = instance;
    halfBuiltTimer = instance->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    const QList<DecodedTextViewTestMain*> windows = HarnessWindows();
    halfBuiltWindow = windows.isEmpty() ? nullptr : windows.constLast();
    switch (failure) {
    case Failure::BadAlloc:
        throw std::bad_alloc();
    case Failure::StdRuntime:
        throw std::runtime_error("disk on fire");
    case Failure::Vx:
        throw VXException(QStringLiteral("broken"), QStringLiteral("somefile"),
                          QStringLiteral("SomeClass"), QStringLiteral("Method"), 77, 5);
    case Failure::Foreign:
        throw 42;
    }
}

} // namespace

Q_DECLARE_METATYPE(Failure)

class TstModule : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exportsResolveByTheirPlainNames();
    void loadRegistersTheTranslationName();
    void destroyIgnoresNull();
    void createKeepsTheName_data();
    void createKeepsTheName();
    void createWithoutNameGivesEmptyName();
    void instanceIsHiddenUntilStarted();
    void constructorFailureReturnsNull_data();
    void constructorFailureReturnsNull();
    void foreignExceptionIsNotTrapped();

private:
    QLibrary library;
    CreateFunction create = nullptr;
    DestroyFunction destroy = nullptr;
};

void TstModule::init()
{
    library.setFileName(QStringLiteral(DTV_LIBRARY_PATH));
    QVERIFY2(library.load(), qPrintable(library.errorString()));
    create = reinterpret_cast<CreateFunction>(library.resolve("VXCreate"));
    destroy = reinterpret_cast<DestroyFunction>(library.resolve("VXDestroy"));
    QVERIFY(create);
    QVERIFY(destroy);
    hookCalls = 0;
}

void TstModule::cleanup()
{
    DecodedTextViewTest::SetConstructionHook(nullptr);
    ErrorHandler::SetInterface(nullptr);
    qunsetenv("VX_TRACE_MASK");
}

void TstModule::exportsResolveByTheirPlainNames()
{
    // The loader finds the very functions this test links against, by unmangled name.
    QCOMPARE(reinterpret_cast<void*>(create), reinterpret_cast<void*>(&VXCreate));
    QCOMPARE(reinterpret_cast<void*>(destroy), reinterpret_cast<void*>(&VXDestroy));
}

void TstModule::loadRegistersTheTranslationName()
{
    QVERIFY(TranslationCenter::Instance().IsRegistered(QStringLiteral("DecodedTextView")));
}

void TstModule::destroyIgnoresNull()
{
    const int windowsBefore = QApplication::topLevelWidgets().size();
    destroy(nullptr);
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
}

void TstModule::createKeepsTheName_data()
{
    QTest::addColumn<QString>("wideName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty name stays empty") << QString() << QString();
    QTest::newRow("plain name") << QStringLiteral("Harness 1") << QStringLiteral("Harness 1");
    QTest::newRow("characters beyond Latin-1 survive the wide conversion")
        << QStringLiteral("Kanal \u00e4 \u6f22\u5b57") << QStringLiteral("Kanal \u00e4 \u6f22\u5b57");
    QTest::newRow("the name ends at the first NUL")
        << QString::fromUtf16(u"ab\u0000cd", 5) << QStringLiteral("ab");
}

void TstModule::createKeepsTheName()
{
    QFETCH(QString, wideName);
    QFETCH(QString, expected);

    std::wstring name = wideName.toStdWString();
    IDllInstance* instance = create(name.c_str());
    QVERIFY(instance);
    QCOMPARE(instance->m_name, expected);

    // The loader's pointer is the interface part of a harness object.
    auto* object = dynamic_cast<QObject*>(instance);
    QVERIFY(qobject_cast<DecodedTextViewTest*>(object));
    QCOMPARE(static_cast<IDllInstance*>(object->qt_metacast("IDllInstance")), instance);
    QCOMPARE(qobject_cast<IDllInstance*>(object), instance);
    destroy(instance);
}

void TstModule::createWithoutNameGivesEmptyName()
{
    IDllInstance* instance = create(nullptr);
    QVERIFY(instance);
    QVERIFY(instance->m_name.isEmpty());
    destroy(instance);
}

void TstModule::instanceIsHiddenUntilStarted()
{
    QVERIFY(HarnessWindows().isEmpty());
    IDllInstance* instance = create(L"hidden");
    QVERIFY(instance);
    QCOMPARE(HarnessWindows().size(), 1);
    QPointer<DecodedTextViewTestMain> window = HarnessWindows().constFirst();
    QVERIFY(!window->isVisible());
    QVERIFY(!window->findChild<DecodedTextView*>());

    QVERIFY(instance->Start());
    QVERIFY(window->isVisible());
    QVERIFY(qobject_cast<DecodedTextView*>(window->centralWidget()));

    destroy(instance);
    QVERIFY(window.isNull());
}

void TstModule::constructorFailureReturnsNull_data()
{
    QTest::addColumn<Failure>("kind");
    QTest::addColumn<QByteArray>("traceMask");
    QTest::addColumn<QStringList>("traces");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("method");
    QTest::addColumn<uint>("line");
    QTest::addColumn<uint>("code");

    const QString source = QStringLiteral("controls\\decodedtextview\\loadinterface");
    const QString standardTrace
        = source + QStringLiteral("(15): Standard C++ Exception caught in standard catch-block");
    QTest::newRow("failed allocation is wrapped with the module's location")
        << Failure::BadAlloc << QByteArray("0x20") << QStringList { standardTrace }
        << QString::fromUtf8(std::bad_alloc().what()) << source << QStringLiteral("class")
        << QStringLiteral("method") << 15u << 0xFFFFFFFFu;
    QTest::newRow("other standard exception keeps its text")
        << Failure::StdRuntime << QByteArray("0x20") << QStringList { standardTrace }
        << QStringLiteral("disk on fire") << source << QStringLiteral("class")
        << QStringLiteral("method") << 15u << 0xFFFFFFFFu;
    QTest::newRow("VXException reaches the handler as thrown")
        << Failure::Vx << QByteArray("0x20")
        << QStringList { source + QStringLiteral("(15): VXException caught in standard catch-block") }
        << QStringLiteral("broken") << QStringLiteral("somefile") << QStringLiteral("SomeClass")
        << QStringLiteral("Method") << 77u << 5u;
    QTest::newRow("without bit 0x20 the handler is told but nothing is traced")
        << Failure::StdRuntime << QByteArray("0xffdf") << QStringList()
        << QStringLiteral("disk on fire") << source << QStringLiteral("class")
        << QStringLiteral("method") << 15u << 0xFFFFFFFFu;
}

void TstModule::constructorFailureReturnsNull()
{
    QFETCH(Failure, kind);
    QFETCH(QByteArray, traceMask);
    QFETCH(QStringList, traces);
    QFETCH(QString, message);
    QFETCH(QString, file);
    QFETCH(QString, className);
    QFETCH(QString, method);
    QFETCH(uint, line);
    QFETCH(uint, code);

    RecordingHandler handler;
    ErrorHandler::SetInterface(&handler);
    QStringList lines;
    const ErrorHandler::OutputSink previousSink
        = ErrorHandler::SetOutputSink([&lines](const QString& text) { lines.append(text); });
    qputenv("VX_TRACE_MASK", traceMask);
    failure = kind;
    DecodedTextViewTest::SetConstructionHook(&FailingHook);

    IDllInstance* instance = create(L"doomed");
    ErrorHandler::SetOutputSink(previousSink);

    QVERIFY(!instance);
    QCOMPARE(hookCalls, 1);
    // The hook saw a fully wired object; none of it survives the failure.
    QVERIFY(halfBuiltInstance.isNull());
    QVERIFY(halfBuiltTimer.isNull());
    QVERIFY(halfBuiltWindow.isNull());
    QVERIFY(HarnessWindows().isEmpty());

    QCOMPARE(lines, traces);
    QCOMPARE(handler.calls.size(), 2);
    QCOMPARE(handler.calls[0].operation, QStringLiteral("Report"));
    QCOMPARE(handler.calls[1].operation, QStringLiteral("Handle"));
    for (const HandlerCall& call : qAsConst(handler.calls)) {
        QCOMPARE(call.message, message);
        QCOMPARE(call.file, file);
        QCOMPARE(call.className, className);
        QCOMPARE(call.method, method);
        QCOMPARE(call.line, line);
        QCOMPARE(call.code, code);
    }
    QCOMPARE(handler.calls[1].context, 0);
    QCOMPARE(handler.calls[1].severity, -1);
    QCOMPARE(handler.calls[1].show, true);
    QCOMPARE(handler.calls[1].fatal, false);
}

void TstModule::foreignExceptionIsNotTrapped()
{
    RecordingHandler handler;
    ErrorHandler::SetInterface(&handler);
    failure = Failure::Foreign;
    DecodedTextViewTest::SetConstructionHook(&FailingHook);

    bool thrown = false;
    try {
        create(L"doomed");
    } catch (int value) {
        thrown = value == 42;
    }
    QVERIFY(thrown);
    QVERIFY(handler.calls.isEmpty());
    QVERIFY(halfBuiltInstance.isNull());
    QVERIFY(halfBuiltTimer.isNull());
    QVERIFY(halfBuiltWindow.isNull());
}

QTEST_MAIN(TstModule)
#include "tst_module.moc"
