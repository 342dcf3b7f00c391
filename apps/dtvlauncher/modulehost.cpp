#include "modulehost.h"

#include "idllinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <string>

ModuleHost::ModuleHost() = default;

ModuleHost::~ModuleHost()
{
    Destroy();
}

QStringList ModuleHost::Candidates(const QString& module)
{
    if (module.contains(QLatin1Char('/')) || module.contains(QLatin1Char('\\')))
        return { module };

    QStringList folders;
    const QString appDir = QCoreApplication::applicationDirPath();
    folders << appDir;
    const QString installedLib
        = QDir(appDir + QLatin1Char('/')
               + QDir(QStringLiteral("/" DTV_INSTALL_BINDIR))
                     .relativeFilePath(QStringLiteral("/" DTV_INSTALL_LIBDIR)))
              .absolutePath();
    folders << installedLib << QStringLiteral(DTV_BUILD_LIBRARY_DIR);

    QStringList candidates;
    for (const QString& folder : qAsConst(folders)) {
        const QString path = QDir(folder).absoluteFilePath(module);
        if (!candidates.contains(path))
            candidates << path;
    }
    candidates << module;
    return candidates;
}

bool ModuleHost::Load(const QString& module, QString& error)
{
    QStringList failures;
    for (const QString& candidate : Candidates(module)) {
        m_library.setFileName(candidate);
        if (m_library.load())
            break;
        failures << m_library.errorString();
    }
    if (!m_library.isLoaded()) {
        error = QCoreApplication::translate("ModuleHost", "Cannot load module '%1':\n  %2")
                    .arg(module, failures.join(QStringLiteral("\n  ")));
        return false;
    }
    m_create = reinterpret_cast<CreateFunction>(m_library.resolve("VXCreate"));
    m_destroy = reinterpret_cast<DestroyFunction>(m_library.resolve("VXDestroy"));
    if (!m_create || !m_destroy) {
        error = QCoreApplication::translate("ModuleHost",
                                            "Module '%1' does not export VXCreate and VXDestroy")
                    .arg(m_library.fileName());
        m_create = nullptr;
        m_destroy = nullptr;
        return false;
    }
    return true;
}

bool ModuleHost::Create(const QString& name, QString& error)
{
    if (!m_create) {
        error = QCoreApplication::translate("ModuleHost", "No module loaded");
        return false;
    }
    Destroy();
    const std::wstring wideName = name.toStdWString();
    m_instance = m_create(wideName.c_str());
    if (!m_instance) {
        error = QCoreApplication::translate("ModuleHost", "VXCreate of '%1' failed").arg(name);
        return false;
    }
    return true;
}

IDllInstance* ModuleHost::Instance() const
{
    return m_instance;
}

QString ModuleHost::LibraryPath() const
{
    return m_library.isLoaded() ? QFileInfo(m_library.fileName()).absoluteFilePath() : QString();
}

void ModuleHost::Destroy()
{
    if (m_instance && m_destroy)
        m_destroy(m_instance);
    m_instance = nullptr;
}
