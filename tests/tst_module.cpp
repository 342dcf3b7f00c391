#include "decodedtextview.h"
#include "decodedtextviewtest.h"
#include "decodedtextviewtestmain.h"
#include "errorhandler.h"
#include "idllinstance.h"
#include "loadinterface.h"
#include "translationcenter.h"
#include "vxexception.h"
#include "widgetfixtures.h"

#include <QtTest>

#include <stdexcept>

using WidgetFixtures::Joined;

namespace {

using CreateFunction = IDllInstance* (*)(const wchar_t*);
using DestroyFunction = void (*)(IDllInstance*);

// What the error handler was given, one line a call.
struct RecordingHandler : IErrorHandler {
    void HandleException(const VXException& e, int context, int severity, bool show,
                         bool fatal) override
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

    void cleanup()
    {
        DecodedTextViewTest::SetConstructionHook(nullptr);
        ErrorHandler::SetInterface(nullptr);
        qunsetenv("VX_TRACE_MASK");
        QVERIFY(HarnessWindows().isEmpty());
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
        QTest::addColumn<QByteArray>("traceMask");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<QString>("exception"); // empty: the exception passes through
        const QString source = QStringLiteral("controls\\decodedtextview\\loadinterface");
        const QString caught = source + QStringLiteral("(15): %1 caught in standard catch-block");
        const QString wrapped = "disk on fire," + source + ",class,method,15,ffffffff";
        QTest::newRow("standard exception is wrapped with the module's location, keeps its text")
            << "standard" << QByteArray("0x20") << caught.arg("Standard C++ Exception") << wrapped;
        QTest::newRow("VXException reaches the handler as thrown")
            << "VXException" << QByteArray("0x20") << caught.arg("VXException")
            << "broken,somefile,SomeClass,Method,77,5";
        QTest::newRow("without bit 0x20 the handler is told but nothing is traced")
            << "standard" << QByteArray("0xffdf") << QString() << wrapped;
        QTest::newRow("anything else is not trapped")
            << "int" << QByteArray("0x20") << QString() << QString();
    }

    void constructorFailureReturnsNull()
    {
        QFETCH(QString, thrown);
        QFETCH(QString, trace);
        QFETCH(QString, exception);
        RecordingHandler handler;
        ErrorHandler::SetInterface(&handler);
        QStringList lines;
        const ErrorHandler::OutputSink previousSink
            = ErrorHandler::SetOutputSink([&lines](const QString& text) { lines.append(text); });
        QFETCH(QByteArray, traceMask);
        qputenv("VX_TRACE_MASK", traceMask);
        failure = thrown;
        DecodedTextViewTest::SetConstructionHook(&FailingHook);
        bool passedThrough = false;
        IDllInstance* instance = nullptr;
        try {
            instance = create(L"doomed");
        } catch (int value) {
            passedThrough = value == 42;
        }
        ErrorHandler::SetOutputSink(previousSink);
        QVERIFY(!instance && halfBuiltInstance.isNull());
        QCOMPARE(passedThrough, exception.isEmpty());
        // The hook saw a fully wired object; none of it survives the failure.
        QVERIFY(halfBuiltTimer.isNull() && halfBuiltWindow.isNull());
        QCOMPARE(lines, trace.isEmpty() ? QStringList() : QStringList { trace });
        QCOMPARE(handler.calls,
                 exception.isEmpty() ? QStringList()
                                     : QStringList({ "Report " + exception,
                                                     "Handle " + exception + ",0,-1,true,false" }));
    }

private:
    QLibrary library;
    CreateFunction create = nullptr;
    DestroyFunction destroy = nullptr;
};

QTEST_MAIN(TstModule)
#include "tst_module.moc"
