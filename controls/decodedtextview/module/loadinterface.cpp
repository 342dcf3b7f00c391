#include "loadinterface.h"

#include "decodedtextviewtest.h"
#include "errorhandler.h"
#include "idllinstance.h"
#include "translationcenter.h"
#include "vxexception.h"

#include <QString>
#include <exception>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Where the host's error log says a trapped failure came from.
const char* const SourcePath = "controls\\decodedtextview\\loadinterface";
const unsigned short SourceLine = 15;
const unsigned int TraceExceptions = 0x20;

void ReportToHost(const VXException& e)
{
    IErrorHandler* handler = ErrorHandler::Interface();
    if (!handler)
        return;
    handler->ReportException(e);
    handler->HandleException(e, 0, -1, true, false);
}

void Trace(const char* text)
{
    if (ErrorHandler::Instance().TraceMask() & TraceExceptions)
        _Q_Trace(QString::fromLatin1(text), QString::fromLatin1(SourcePath), SourceLine);
}

void RegisterTranslation()
{
    TranslationCenter::Instance().Register(QStringLiteral("DecodedTextView"));
}

void UnregisterTranslation()
{
    TranslationCenter::Instance().Unregister(QStringLiteral("DecodedTextView"));
}

} // namespace

extern "C" IDllInstance* VXCreate(const wchar_t* name)
{
    try {
        // A failure while converting or constructing releases the allocation before it
        // reaches the handlers below.
        return new DecodedTextViewTest(name ? QString::fromWCharArray(name) : QString());
    } catch (const VXException& e) {
        Trace("VXException caught in standard catch-block");
        ReportToHost(e);
    } catch (const std::exception& e) {
        Trace("Standard C++ Exception caught in standard catch-block");
        const VXException wrapped(QString::fromUtf8(e.what()), QString::fromLatin1(SourcePath),
                                  QStringLiteral("class"), QStringLiteral("method"), SourceLine,
                                  0xFFFFFFFFu);
        ReportToHost(wrapped);
    }
    return nullptr;
}

extern "C" void VXDestroy(IDllInstance* instance)
{
    delete instance;
}

#ifdef _WIN32

BOOL APIENTRY DllMain(HMODULE, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        RegisterTranslation();
        break;
    case DLL_PROCESS_DETACH:
        UnregisterTranslation();
        break;
    default:
        break;
    }
    return TRUE;
}

#else

namespace {

// Without DllMain the loader's notifications are the construction and destruction of this
// object, which happen when the library is loaded and unloaded.
struct ModuleLifetime {
    ModuleLifetime() { RegisterTranslation(); }
    ~ModuleLifetime() { UnregisterTranslation(); }
};

const ModuleLifetime moduleLifetime;

} // namespace

#endif
