#pragma once

#include "icfg.h"
#include "orvoappstartup_export.h"
#include "savecomponentif.h"

#include <QList>

// The application's configuration and the components that keep settings in it.
class ORVOAPPSTARTUP_EXPORT CfgCenter
{
public:
    // The application configuration, an INI file: the one named by VX_APP_CONFIG when that
    // is set, else "vxapp.ini" in the application's configuration folder. The variable is
    // looked up on every call; the reference stays valid and follows the latest file.
    // Both views give the same configuration.
    static ICfg& GetAppCfg(ICfg::View view);

    // A component is registered once however often it is registered; null is ignored.
    static void RegisterSaveComponent(SaveComponentIf* component);
    static void UnregisterSaveComponent(SaveComponentIf* component);
    // Save() on every registered component, in order of registration; a component that
    // unregisters another while saving keeps that one from being saved.
    static void SaveAll();
    static QList<SaveComponentIf*> SaveComponents();

    // The file GetAppCfg uses at this moment.
    static QString AppConfigFileName();

    CfgCenter() = delete;
};
