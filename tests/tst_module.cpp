#include "decodedtextview.h"
#include "decodedtextviewtest.h"
#include "decodedtextviewtestmain.h"
#include "errorhandler.h"
#include "idllinstance.h"
#include "loadinterface.h"
#include "translationcenter.h"
#include "vxexception.h"

#include <QtTest>

#include <stdexcept>

namespace {

using CreateFunction = IDllInstance* (*)(const wchar_t*);
using DestroyFunction = void (*)(IDllInstance*);

// What the error handler was given, one line a call.
struct RecordingHandler : IErrorHandler {
    void HandleException(const VXException& e, int context, int severity, bool show,
                         bool fatal) override
    {
        calls << QStringLiteral("Handle %1 context %2 severity %3 show %4 fatal %5")
                     .arg(Describe(e)).arg(context).arg(severity).arg(show).arg(fatal);
    }
    void ReportException(const VXException& e) override { calls << "Report " + Describe(e); }
    QStringList calls;
    static QString Describe(const VXException& e)
    {
        return QStringLiteral("'%1' %2 %3::%4 line %5 code %6")
            .arg(e.GetMessage(), e.GetFile(), e.GetClassName(), e.GetMethod()).arg(e.GetLine())
            .arg(e.GetCode(), 0, 16);
    }
};

enum class Failure { StdRuntime, Vx, Foreign };

// State shared with the construction hook, which cannot capture.
Failure failure = Failure::StdRuntime;
int hookCalls = 0;
QPointer<QObject> halfBuiltInstance;
QPointer<QTimer> halfBuiltTimer;
QPointer<QWidget> halfBuiltWindow;

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
    ++hookCalls;
    halfBuiltInstance = instance;
    halfBuiltTimer = instance->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    halfBuiltWindow = HarnessWindows().isEmpty() ? nullptr : HarnessWindows().constLast();
    switch (failure) {
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

class TstModule : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void exportsResolveByTheirPlainNames();
    void createKeepsTheName_data();
    void createKeepsTheName();
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
    QVERIFY(create && destroy);
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
    // Loading registers the module's translations.
    QVERIFY(TranslationCenter::Instance().IsRegistered(QStringLiteral("DecodedTextView")));
    const int windowsBefore = QApplication::topLevelWidgets().size();
    destroy(nullptr);
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
}

void TstModule::createKeepsTheName_data()
{
    QTest::addColumn<QString>("wideName"); // null: no name at all
    QTest::addColumn<QString>("expected");
    QTest::newRow("no name at all gives an empty name") << QString() << QString();
    QTest::newRow("characters beyond Latin-1 survive the wide conversion")
        << QStringLiteral("Kanal \u00e4 \u6f22\u5b57") << QStringLiteral("Kanal \u00e4 \u6f22\u5b57");
    // clang-format off
    QTest::newRow("the name ends at the first NUL") << QString::fromUtf16(u"ab\u0000cd", 5) << QStringLiteral("ab");
    // clang-format on
}

void TstModule::createKeepsTheName()
{
    QFETCH(QString, wideName);
    const std::wstring name = wideName.toStdWString();
    QVERIFY(HarnessWindows().isEmpty());
    IDllInstance* instance = create(wideName.isNull() ? nullptr : name.c_str());
    QVERIFY(instance);
    QTEST(instance->m_name, "expected");
    // One hidden window, its view made only by Start (seen by the harness test), gone with the
    // instance.
    QCOMPARE(HarnessWindows().size(), 1);
    QPointer<DecodedTextViewTestMain> window = HarnessWindows().constFirst();
    QVERIFY(!window->isVisible() && !window->findChild<DecodedTextView*>());
    // The loader's pointer is the interface part of a harness object.
    auto* object = dynamic_cast<QObject*>(instance);
    QVERIFY(qobject_cast<DecodedTextViewTest*>(object));
    QCOMPARE(qobject_cast<IDllInstance*>(object), instance);
    destroy(instance);
    QVERIFY(window.isNull());
}

void TstModule::constructorFailureReturnsNull_data()
{
    QTest::addColumn<Failure>("kind");
    QTest::addColumn<QByteArray>("traceMask");
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("exception");
    const QString source = QStringLiteral("controls\\decodedtextview\\loadinterface");
    const QString caught = source + QStringLiteral("(15): %1 caught in standard catch-block");
    const QString wrapped
        = QStringLiteral("'%1' ") + source + " class::method line 15 code ffffffff";
    QTest::newRow("standard exception is wrapped with the module's location, keeps its text")
        << Failure::StdRuntime << QByteArray("0x20") << caught.arg("Standard C++ Exception")
        << wrapped.arg("disk on fire");
    QTest::newRow("VXException reaches the handler as thrown")
        << Failure::Vx << QByteArray("0x20") << caught.arg("VXException")
        << QStringLiteral("'broken' somefile SomeClass::Method line 77 code 5");
    QTest::newRow("without bit 0x20 the handler is told but nothing is traced")
        << Failure::StdRuntime << QByteArray("0xffdf") << QString() << wrapped.arg("disk on fire");
}

void TstModule::constructorFailureReturnsNull()
{
    QFETCH(Failure, kind);
    QFETCH(QByteArray, traceMask);
    QFETCH(QString, trace);
    QFETCH(QString, exception);
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

    QVERIFY(!instance && hookCalls == 1);
    // The hook saw a fully wired object; none of it survives the failure.
    QVERIFY(halfBuiltInstance.isNull() && halfBuiltTimer.isNull() && halfBuiltWindow.isNull());
    QVERIFY(HarnessWindows().isEmpty());
    QCOMPARE(lines, trace.isEmpty() ? QStringList() : QStringList { trace });
    QCOMPARE(handler.calls,
             QStringList({ "Report " + exception,
                           "Handle " + exception + " context 0 severity -1 show 1 fatal 0" }));
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
    QVERIFY(thrown && handler.calls.isEmpty());
    QVERIFY(halfBuiltInstance.isNull() && halfBuiltTimer.isNull() && halfBuiltWindow.isNull());
}

QTEST_MAIN(TstModule)
#include "tst_module.moc"
