#pragma once

#include "orvoappstartup_export.h"

#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>

class QCoreApplication;
class QTranslator;

// Installs the translations of the suite's modules by name: "<name>_<language>.qm" from
// the resources under ":/i18n", from the folders in VX_TRANSLATIONS_PATH, or from a
// "translations" folder beside the application or beside this library. The language is
// VX_LANG when set, else the system's. A module may register before the application object
// exists (from its load notification); its translation is installed when the application
// object is created.
class ORVOAPPSTARTUP_EXPORT TranslationCenter
{
public:
    static TranslationCenter& Instance();

    // False only for an empty name. A name without a translation file for the language
    // counts as registered; registering a registered name again changes nothing.
    bool Register(const QString& name);
    // False when the name is not registered.
    bool Unregister(const QString& name);
    bool IsRegistered(const QString& name) const;
    // Whether a translation file was found and installed for the name.
    bool IsInstalled(const QString& name) const;

    // The folders searched, in order, at this moment.
    static QStringList SearchPaths();

    TranslationCenter(const TranslationCenter&) = delete;
    TranslationCenter& operator=(const TranslationCenter&) = delete;

private:
    TranslationCenter();
    ~TranslationCenter();

    static void InstallOnApplicationStart();
    void InstallAll();
    void Install(const QString& name);
    void Uninstall(const QString& name);

    // Registered names with their installed translator, null while none is installed.
    QMap<QString, QTranslator*> m_translators;
    // The application object the translators were installed into.
    QPointer<QCoreApplication> m_application;
    bool m_startRoutineAdded = false;
};
