#pragma once

#include "icfg.h"

#include <QString>

class QSettings;
class QVariant;

// An ICfg over one group of an INI file. Every operation opens the file afresh, so a
// change of file or an edit by another process is seen at once. A file that cannot be read
// or is damaged gives defaults and refuses writes, so it is never overwritten.
class IniCfg : public ICfg
{
public:
    IniCfg(const QString& fileName, const QString& group);

    void SetFileName(const QString& fileName);
    QString FileName() const;
    QString Group() const;

    ICfg* OpenSubCfg(QString name, int flags) override;
    QString ReadString(QString key, QString defaultValue, int flags) override;
    int ReadInt(QString key, int defaultValue, int flags) override;
    bool WriteString(QString key, QString value, int flags) override;
    bool WriteInt(QString key, int value, int flags) override;

private:
    QString FullKey(const QString& key) const;
    bool Write(const QString& key, const QVariant& value);
    bool FileUsable() const;
    bool FileWritable() const;
    static void Prepare(QSettings& settings);

    QString m_fileName;
    QString m_group;
};
