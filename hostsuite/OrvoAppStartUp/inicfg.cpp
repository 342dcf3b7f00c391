#include "inicfg_p.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

IniCfg::IniCfg(const QString& fileName, const QString& group)
    : m_fileName(fileName), m_group(group)
{
}

void IniCfg::SetFileName(const QString& fileName)
{
    m_fileName = fileName;
}

QString IniCfg::FileName() const
{
    return m_fileName;
}

QString IniCfg::Group() const
{
    return m_group;
}

void IniCfg::Prepare(QSettings& settings)
{
    settings.setIniCodec("UTF-8");
}

ICfg* IniCfg::OpenSubCfg(QString name, int flags)
{
    Q_UNUSED(flags)
    const QString subGroup = FullKey(name);
    if (name.trimmed().isEmpty() || subGroup.isEmpty())
        return nullptr;
    if (!FileUsable())
        return nullptr;
    return new IniCfg(m_fileName, subGroup);
}

QString IniCfg::ReadString(QString key, QString defaultValue, int flags)
{
    Q_UNUSED(flags)
    const QString fullKey = FullKey(key);
    if (fullKey.isEmpty())
        return defaultValue;
    if (!FileUsable())
        return defaultValue;
    QSettings settings(m_fileName, QSettings::IniFormat);
    Prepare(settings);
    if (settings.status() != QSettings::NoError)
        return defaultValue;
    const QVariant value = settings.value(fullKey);
    if (!value.isValid() || !value.canConvert<QString>())
        return defaultValue;
    return value.toString();
}

int IniCfg::ReadInt(QString key, int defaultValue, int flags)
{
    Q_UNUSED(flags)
    const QString fullKey = FullKey(key);
    if (fullKey.isEmpty())
        return defaultValue;
    if (!FileUsable())
        return defaultValue;
    QSettings settings(m_fileName, QSettings::IniFormat);
    Prepare(settings);
    if (settings.status() != QSettings::NoError)
        return defaultValue;
    bool ok = false;
    const int value = settings.value(fullKey).toString().trimmed().toInt(&ok);
    return ok ? value : defaultValue;
}

bool IniCfg::WriteString(QString key, QString value, int flags)
{
    Q_UNUSED(flags)
    return Write(key, value);
}

bool IniCfg::WriteInt(QString key, int value, int flags)
{
    Q_UNUSED(flags)
    return Write(key, value);
}

bool IniCfg::Write(const QString& key, const QVariant& value)
{
    const QString fullKey = FullKey(key);
    if (fullKey.isEmpty() || !FileUsable() || !FileWritable())
        return false;
    QSettings settings(m_fileName, QSettings::IniFormat);
    Prepare(settings);
    if (settings.status() != QSettings::NoError)
        return false;
    settings.setValue(fullKey, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

// QSettings reports a damaged file only to the first QSettings that parses it and serves
// later ones from its process-wide cache, so the damage it would report is looked for here:
// a section header without its closing bracket. NUL bytes mark a file that is not text.
bool IniCfg::FileUsable() const
{
    const QFileInfo info(m_fileName);
    if (!info.exists())
        return !m_fileName.isEmpty();
    constexpr qint64 largestConfiguration = 16 * 1024 * 1024;
    if (!info.isFile() || info.size() > largestConfiguration)
        return false;
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = file.readAll();
    if (data.contains('\0'))
        return false;
    for (const QByteArray& rawLine : data.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[') && !line.contains(']'))
            return false;
    }
    return true;
}

// Checked before writing because QSettings keeps a value it failed to write in its
// process-wide cache, where later reads would find it.
bool IniCfg::FileWritable() const
{
    if (m_fileName.isEmpty())
        return false;
    const QFileInfo file(m_fileName);
    if (file.exists())
        return file.isFile() && file.isWritable();
    // QSettings creates missing folders: the nearest existing ancestor decides.
    QString folder = file.absolutePath();
    while (!QFileInfo::exists(folder)) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            return false;
        folder = parent;
    }
    const QFileInfo ancestor(folder);
    return ancestor.isDir() && ancestor.isWritable();
}

QString IniCfg::FullKey(const QString& key) const
{
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty())
        return QString();
    return m_group.isEmpty() ? trimmed : m_group + QLatin1Char('/') + trimmed;
}
