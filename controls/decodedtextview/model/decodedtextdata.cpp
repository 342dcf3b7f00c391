#include "decodedtextdata.h"

const int DecodedTextData::AggregationChannelID = 0;
const int DecodedTextData::UserChannelID = 1000;

// PENDING: placeholder until implemented
DecodedTextData::DecodedTextData()
    : foregroundColor(QStringLiteral("Black")), backgroundColor(QStringLiteral("White")),
      userDataEnabled(true), configurationChanged(false), offline(false), qualityThreshold(80),
      bufferSize(10000), infoAreaWidth(50), clock(nullptr) {}
DecodedTextData::~DecodedTextData() = default;
bool DecodedTextData::ChannelExists(int) const { return false; }
QExplicitlySharedDataPointer<DecodedTextBuffer> DecodedTextData::GetChannelData(int c) { return QExplicitlySharedDataPointer<DecodedTextBuffer>(new DecodedTextBuffer(c)); }
void DecodedTextData::RemoveChannelData(int) {}
void DecodedTextData::Clear() {}
void DecodedTextData::ResetView() {}
const QMap<int, QString>& DecodedTextData::GetChannelNames() const { return channelNames; }
void DecodedTextData::DefineChannelName(int, const QString&) {}
int DecodedTextData::IndexOfCallSign(const QString&) { return 0; }
QStringList DecodedTextData::GetCallSigns() const { return callSigns; }
void DecodedTextData::SetProperties(int, int, int, QString, QString) {}
void DecodedTextData::SetBufferSize(int) {}
void DecodedTextData::SetQualityThreshold(int) {}
void DecodedTextData::SetInfoAreaWidth(int) {}
void DecodedTextData::SetChannelSeparator(QString) {}
void DecodedTextData::EnableUserData(bool) {}
void DecodedTextData::SetOffline(bool) {}
void DecodedTextData::SetClock(DecodedTextClock*) {}
int DecodedTextData::GetBufferSize() const { return bufferSize; }
int DecodedTextData::GetQualityThreshold() const { return qualityThreshold; }
int DecodedTextData::GetInfoAreaWidth() const { return infoAreaWidth; }
const QString& DecodedTextData::GetForegroundColor() const { return foregroundColor; }
const QString& DecodedTextData::GetBackgroundColor() const { return backgroundColor; }
const QString& DecodedTextData::GetChannelSeparator() const { return channelSeparator; }
bool DecodedTextData::UserDataEnabled() const { return userDataEnabled; }
bool DecodedTextData::IsOffline() const { return offline; }
bool DecodedTextData::GetConfigurationChanged() { return false; }
QDateTime DecodedTextData::GetTickCount() const { return {}; }
void DecodedTextData::ShowUserChannel() {}
