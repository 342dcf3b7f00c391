#include "cfgcenter.h"

#include "inicfg_p.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QList<SaveComponentIf*>& Components()
{
    static QList<SaveComponentIf*> components;
    return components;
}

} // namespace

ICfg& CfgCenter::GetAppCfg(ICfg::View view)
{
    Q_UNUSED(view)
    static IniCfg appCfg{QString(), QString()};
    appCfg.SetFileName(AppConfigFileName());
    return appCfg;
}

QString CfgCenter::AppConfigFileName()
{
    const QString fromEnvironment = qEnvironmentVariable("VX_APP_CONFIG");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (folder.isEmpty())
        return QStringLiteral("vxapp.ini");
    return QDir(folder).filePath(QStringLiteral("vxapp.ini"));
}

void CfgCenter::RegisterSaveComponent(SaveComponentIf* component)
{
    if (component && !Components().contains(component))
        Components().append(component);
}

void CfgCenter::UnregisterSaveComponent(SaveComponentIf* component)
{
    Components().removeAll(component);
}

void CfgCenter::SaveAll()
{
    const QList<SaveComponentIf*> snapshot = Components();
    for (SaveComponentIf* component : snapshot) {
        if (Components().contains(component))
            component->Save();
    }
}

QList<SaveComponentIf*> CfgCenter::SaveComponents()
{
    return Components();
}
