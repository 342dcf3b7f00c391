#pragma once

#include "decodedtextblock.h"
#include "decodedtextbuffer.h"
#include "decodedtextclock.h"
#include "decodedtextsnippet.h"
#include "dtv_export.h"

#include <QExplicitlySharedDataPointer>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace VarnoResultDataXml {
class DataBlock;
class UserData;
class VarnoResultData;
}

// The model behind one view: channel buffers, names, call signs and display properties.
class DTV_EXPORT DecodedTextData : public QObject
{
    Q_OBJECT

public:
    static const int AggregationChannelID;
    static const int UserChannelID;

    DecodedTextData();
    ~DecodedTextData() override;

    // Channels.
    bool ChannelExists(int channel) const;
    QExplicitlySharedDataPointer<DecodedTextBuffer> GetChannelData(int channel);
    void RemoveChannelData(int channel);
    void Clear();
    void ResetView();
    const QMap<int, QString>& GetChannelNames() const;
    void DefineChannelName(int channel, const QString& name);
    int IndexOfCallSign(const QString& sign);
    QStringList GetCallSigns() const;

    // Properties.
    void SetProperties(int bufferSize, int qualityThreshold, int infoAreaWidth,
                       QString foregroundColor, QString backgroundColor);
    void SetBufferSize(int bufferSize);
    void SetQualityThreshold(int threshold);
    void SetInfoAreaWidth(int width);
    void SetChannelSeparator(QString separator);
    void EnableUserData(bool enable);
    void SetOffline(bool offline);
    void SetClock(DecodedTextClock* clock);
    int GetBufferSize() const;
    int GetQualityThreshold() const;
    int GetInfoAreaWidth() const;
    const QString& GetForegroundColor() const;
    const QString& GetBackgroundColor() const;
    const QString& GetChannelSeparator() const;
    bool UserDataEnabled() const;
    bool IsOffline() const;
    bool GetConfigurationChanged();
    QDateTime GetTickCount() const;

    // Intake.
    void AddTransmission(const QString& xml);
    void AddTransmission(const QMap<int, int>& channelMap, QVector<int>& usedChannels,
                         const QString& xml);
    void EndTransmission();
    void AddData(VarnoResultDataXml::DataBlock* block, const QDateTime& timestamp,
                 QExplicitlySharedDataPointer<DecodedTextBlock> aggregationBlock);

    // Annotations.
    bool SetUserData(QExplicitlySharedDataPointer<DecodedTextBlock> block,
                     VarnoResultDataXml::UserData* userData, const QString& type, int from, int to);
    QString GetModifier() const;
    QVector<int> GetChannelsWithActiveUserData();

    // Export.
    void GetData(int channel, VarnoResultDataXml::VarnoResultData& document, bool openOnly);
    bool IsChanged(int channel);

signals:
    void DataChanged(int channel, bool refresh);
    void TransmissionChanged(int channel);
    void ChannelCreated(int channel);
    void ShowChannel(int channel);
    void SaveUserData(int channel, QString xmlText);
    void PropertiesChanged();
    void ResetRequest();

public slots:
    void ShowUserChannel();
    void ApplyUserChannel();

private:
    Q_DISABLE_COPY(DecodedTextData)

    QVector<QExplicitlySharedDataPointer<DecodedTextBuffer>> buffers;
    QStringList callSigns;
    QString foregroundColor;
    QString backgroundColor;
    QString channelSeparator;
    bool userDataEnabled;
    bool configurationChanged;
    bool offline;
    int qualityThreshold;
    int bufferSize;
    int infoAreaWidth;
    DecodedTextClock* clock;
    QMap<int, QString> channelNames;
};
