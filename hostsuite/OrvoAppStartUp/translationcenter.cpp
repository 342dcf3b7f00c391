#include "translationcenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTranslator>

#if defined(_WIN32)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <dlfcn.h>
#endif

namespace {

// The folder this library was loaded from, found through the address of one of its
// functions.
QString LibraryFolder()
{
#if defined(_WIN32)
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                                | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&LibraryFolder), &module))
        return QString();
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return QString();
    return QFileInfo(QString::fromWCharArray(path, int(length))).absolutePath();
#elif defined(Q_OS_UNIX)
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
#else
    return QString();
#endif
}

QLocale TranslationLocale()
{
    const QString language = qEnvironmentVariable("VX_LANG");
    return language.isEmpty() ? QLocale::system() : QLocale(language);
}

} // namespace

TranslationCenter::TranslationCenter() = default;

TranslationCenter::~TranslationCenter()
{
    // The translator removes itself from a living application object.
    qDeleteAll(m_translators);
}

TranslationCenter& TranslationCenter::Instance()
{
    static TranslationCenter instance;
    return instance;
}

QStringList TranslationCenter::SearchPaths()
{
    QStringList paths;
    const QString extra = qEnvironmentVariable("VX_TRANSLATIONS_PATH");
    for (const QString& path : extra.split(QDir::listSeparator(), Qt::SkipEmptyParts))
        paths.append(path);
    paths.append(QStringLiteral(":/i18n"));
    if (QCoreApplication::instance())
        paths.append(QCoreApplication::applicationDirPath() + QStringLiteral("/translations"));
    const QString libraryFolder = LibraryFolder();
    if (!libraryFolder.isEmpty())
        paths.append(libraryFolder + QStringLiteral("/translations"));
    paths.removeDuplicates();
    return paths;
}

bool TranslationCenter::Register(const QString& name)
{
    if (name.isEmpty())
        return false;
    if (m_translators.contains(name))
        return true;
    m_translators.insert(name, nullptr);
    if (QCoreApplication::instance() && m_application == QCoreApplication::instance())
        Install(name);
    if (!m_startRoutineAdded) {
        m_startRoutineAdded = true;
        // Runs now when the application object exists, and whenever one is created.
        qAddPreRoutine(&TranslationCenter::InstallOnApplicationStart);
    }
    return true;
}

bool TranslationCenter::Unregister(const QString& name)
{
    if (!m_translators.contains(name))
        return false;
    Uninstall(name);
    m_translators.remove(name);
    return true;
}

bool TranslationCenter::IsRegistered(const QString& name) const
{
    return m_translators.contains(name);
}

bool TranslationCenter::IsInstalled(const QString& name) const
{
    return m_translators.value(name) != nullptr;
}

void TranslationCenter::InstallOnApplicationStart()
{
    Instance().InstallAll();
}

void TranslationCenter::InstallAll()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || m_application == application)
        return;
    // Translators of an earlier application object were removed with it: load afresh.
    m_application = application;
    const QStringList names = m_translators.keys();
    for (const QString& name : names) {
        delete m_translators.value(name);
        m_translators[name] = nullptr;
        Install(name);
    }
}

void TranslationCenter::Install(const QString& name)
{
    if (!QCoreApplication::instance())
        return;
    Uninstall(name);
    const QLocale locale = TranslationLocale();
    auto* translator = new QTranslator;
    for (const QString& folder : SearchPaths()) {
        if (translator->load(locale, name, QStringLiteral("_"), folder, QStringLiteral(".qm"))
            && QCoreApplication::installTranslator(translator)) {
            m_translators[name] = translator;
            return;
        }
    }
    delete translator;
}

void TranslationCenter::Uninstall(const QString& name)
{
    QTranslator* translator = m_translators.value(name);
    if (!translator)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::removeTranslator(translator);
    delete translator;
    m_translators[name] = nullptr;
}
