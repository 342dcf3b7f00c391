#pragma once

#include "cfgcenter.h"
#include "dtv_export.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVector>
#include <QWidget>

class DecodedTextChannel;
class DecodedTextClock;
class DecodedTextData;
class DecodedTextFinder;
class DecodedTextWatch;
class QLabel;
class QObject;
class QPoint;
class QSplitter;
class QStyle;

namespace VarnoResultDataXml {
class VarnoResultData;
}

// The widget a host places in its window: one pane per channel of its model, stacked in a
// splitter in ascending channel order. It is also the host's save component for its settings.
class DTV_EXPORT DecodedTextView : public QWidget, public SaveComponentIf
{
    Q_OBJECT

public:
    explicit DecodedTextView(QWidget* parent = nullptr);
    ~DecodedTextView() override;

    // SaveComponentIf
    void Save() override;
    void Load() override;
    void CommitData() override;

    void AddTransmission(const QMap<int, int>& channelMap, QVector<int>& usedChannels,
                         const QString& xml);
    void GetData(int channel, VarnoResultDataXml::VarnoResultData& document, bool openOnly);
    bool IsChanged(int channel);
    int GetBufferSize();
    const QMap<int, QString>& GetChannelNames() const;
    QVector<int> GetChannelsWithActiveUserData();
    void SetChannelSeparator(QString separator);
    void SetClock(DecodedTextClock* clock);
    void SetOffline(bool offline);
    bool UserDataEnabled();

    void RemoveChannel(int channel);
    void DefineChannelName(int channel, const QString& name);
    bool SetResetHandler(const QObject* receiver, const char* member);
    QDateTime GetLastTimestamp(int channel) const;

    // Find across all channels (Ctrl+F) and the watch list.
    DecodedTextWatch* Watch() const;
    DecodedTextFinder* Finder() const;

signals:
    void NewTransmission();
    void SaveUserData(int channel, QString xmlText);
    void ApplyAlphabet(QString alphabet);
    void ResetNotification();

public slots:
    void AddTransmission(const QString& xmlText);
    void ChannelCreated(int channel);
    void ShowChannel(int channel);
    void UpdateLayout();
    void SetBufferSize(int maxChars);
    void SetMorse(bool bMorse);
    void EnableUserData(bool enable);
    void SetQualityThreshold(int threshold);
    void EndTransmission();
    void DefineCallSign(const QString& sign);
    void SelectCallSign(const QString& sign);
    void ShowContextMenu(const QPoint& pt);
    void Reset();
    void ApplyUserChannel(bool bAutoApply);

private:
    Q_DISABLE_COPY(DecodedTextView)

    void AddFillerLabel();
    void RemoveFillerLabel();
    void DeletePane(int index);

    DecodedTextData* model;
    QSplitter* splitter;
    QLabel* fillerLabel;
    QStyle* fusionStyle;
    QVector<DecodedTextChannel*> panes;
    QString lastCallSign;
    DecodedTextWatch* watch;
    DecodedTextFinder* finder;
};
