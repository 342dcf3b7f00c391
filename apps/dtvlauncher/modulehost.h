#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>

class IDllInstance;

// Does for one module what the suite's module loader does: finds and loads the library,
// resolves its two entry points, creates one instance and disposes of it again.
class ModuleHost
{
public:
    ModuleHost();
    ~ModuleHost();

    // Where a module of this name is looked for, in order: a name with a folder as given;
    // otherwise beside the launcher, in the installed library folder, in the build tree,
    // and last wherever the system's loader finds it.
    static QStringList Candidates(const QString& module);

    bool Load(const QString& module, QString& error);
    bool Create(const QString& name, QString& error);
    IDllInstance* Instance() const;
    QString LibraryPath() const;
    // Disposes of the instance through the module; the library stays loaded, since objects
    // it made (meta-objects, translations) may outlive the instance.
    void Destroy();

private:
    ModuleHost(const ModuleHost&) = delete;
    ModuleHost& operator=(const ModuleHost&) = delete;

    using CreateFunction = IDllInstance* (*)(const wchar_t*);
    using DestroyFunction = void (*)(IDllInstance*);

    QLibrary m_library;
    CreateFunction m_create = nullptr;
    DestroyFunction m_destroy = nullptr;
    IDllInstance* m_instance = nullptr;
};
