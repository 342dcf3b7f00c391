#include "decodedtextdata.h"

#include "varnoresultdataxml.h"

#include <algorithm>

using VarnoResultDataXml::UserData;

const int DecodedTextData::AggregationChannelID = 0;
const int DecodedTextData::UserChannelID = 1000;

DecodedTextData::DecodedTextData()
    : foregroundColor(QStringLiteral("Black")), backgroundColor(QStringLiteral("White")),
      userDataEnabled(true), configurationChanged(false), offline(false), qualityThreshold(80),
      bufferSize(10000), infoAreaWidth(50), clock(nullptr)
{
}

DecodedTextData::~DecodedTextData() = default;

bool DecodedTextData::ChannelExists(int channel) const
{
    for (const QExplicitlySharedDataPointer<DecodedTextBuffer>& buffer : buffers) {
        if (buffer->channel == channel)
            return true;
    }
    return false;
}

QExplicitlySharedDataPointer<DecodedTextBuffer> DecodedTextData::GetChannelData(int channel)
{
    for (const QExplicitlySharedDataPointer<DecodedTextBuffer>& buffer : qAsConst(buffers)) {
        if (buffer->channel == channel)
            return buffer;
    }
    // Registered before the signal goes out: the view's slot asks for the same channel again.
    QExplicitlySharedDataPointer<DecodedTextBuffer> buffer(new DecodedTextBuffer(channel));
    buffers.append(buffer);
    emit ChannelCreated(channel);
    return buffer;
}

void DecodedTextData::RemoveChannelData(int channel)
{
    for (int i = 0; i < buffers.size(); ++i) {
        if (buffers.at(i)->channel == channel) {
            buffers.remove(i);
            return;
        }
    }
}

void DecodedTextData::Clear()
{
    buffers = QVector<QExplicitlySharedDataPointer<DecodedTextBuffer>>();
}

void DecodedTextData::ResetView()
{
    emit ResetRequest();
}

const QMap<int, QString>& DecodedTextData::GetChannelNames() const
{
    return channelNames;
}

void DecodedTextData::DefineChannelName(int channel, const QString& name)
{
    channelNames.insert(channel, name);
    if (channel > 0)
        IndexOfCallSign(name);

    const QExplicitlySharedDataPointer<DecodedTextBlock> block =
        GetChannelData(AggregationChannelID)->LastBlock();
    if (!block)
        return;
    const QString callSignType = UserData::CallSignType;
    for (UserData* annotation : qAsConst(block->userData)) {
        if (annotation->Type == callSignType && annotation->Channel == channel)
            annotation->CallSign = name;
    }
}

int DecodedTextData::IndexOfCallSign(const QString& sign)
{
    const int index = callSigns.indexOf(sign);
    if (index >= 0)
        return index;
    callSigns.append(sign);
    std::sort(callSigns.begin(), callSigns.end());
    return callSigns.indexOf(sign);
}

QStringList DecodedTextData::GetCallSigns() const
{
    return callSigns;
}

void DecodedTextData::SetProperties(int bufferSize_, int qualityThreshold_, int infoAreaWidth_,
                                    QString foregroundColor_, QString backgroundColor_)
{
    bufferSize_ = qMax(bufferSize_, 1000);
    qualityThreshold_ = qBound(0, qualityThreshold_, 100);
    if (foregroundColor_.isEmpty())
        foregroundColor_ = QStringLiteral("Black");
    if (backgroundColor_.isEmpty())
        backgroundColor_ = QStringLiteral("White");
    if (bufferSize_ == bufferSize && qualityThreshold_ == qualityThreshold
        && infoAreaWidth_ == infoAreaWidth && foregroundColor_ == foregroundColor
        && backgroundColor_ == backgroundColor)
        return;
    bufferSize = bufferSize_;
    qualityThreshold = qualityThreshold_;
    infoAreaWidth = infoAreaWidth_;
    foregroundColor = foregroundColor_;
    backgroundColor = backgroundColor_;
    configurationChanged = true;
    emit PropertiesChanged();
}

void DecodedTextData::SetBufferSize(int bufferSize_)
{
    bufferSize_ = qMax(bufferSize_, 1000);
    if (bufferSize_ == bufferSize)
        return;
    bufferSize = bufferSize_;
    configurationChanged = true;
}

void DecodedTextData::SetQualityThreshold(int threshold)
{
    threshold = qBound(0, threshold, 100);
    if (threshold == qualityThreshold)
        return;
    qualityThreshold = threshold;
    configurationChanged = true;
    emit PropertiesChanged();
}

void DecodedTextData::SetInfoAreaWidth(int width)
{
    width = qMax(width, 0);
    if (width == infoAreaWidth)
        return;
    infoAreaWidth = width;
    configurationChanged = true;
}

void DecodedTextData::SetChannelSeparator(QString separator)
{
    if (separator == channelSeparator)
        return;
    const QExplicitlySharedDataPointer<DecodedTextBlock> block =
        GetChannelData(AggregationChannelID)->LastBlock();
    if (block) {
        if (!channelSeparator.isEmpty())
            block->ApplySeparators(0, channelSeparator, false);
        if (!separator.isEmpty())
            block->ApplySeparators(0, separator, true);
        emit DataChanged(block->channel, true);
    }
    channelSeparator = separator;
}

void DecodedTextData::EnableUserData(bool enable)
{
    userDataEnabled = enable;
}

void DecodedTextData::SetOffline(bool offline_)
{
    offline = offline_;
}

void DecodedTextData::SetClock(DecodedTextClock* clock_)
{
    clock = clock_;
}

int DecodedTextData::GetBufferSize() const
{
    return bufferSize;
}

int DecodedTextData::GetQualityThreshold() const
{
    return qualityThreshold;
}

int DecodedTextData::GetInfoAreaWidth() const
{
    return infoAreaWidth;
}

const QString& DecodedTextData::GetForegroundColor() const
{
    return foregroundColor;
}

const QString& DecodedTextData::GetBackgroundColor() const
{
    return backgroundColor;
}

const QString& DecodedTextData::GetChannelSeparator() const
{
    return channelSeparator;
}

bool DecodedTextData::UserDataEnabled() const
{
    return userDataEnabled;
}

bool DecodedTextData::IsOffline() const
{
    return offline;
}

bool DecodedTextData::GetConfigurationChanged()
{
    const bool wasChanged = configurationChanged;
    configurationChanged = false;
    return wasChanged;
}

QDateTime DecodedTextData::GetTickCount() const
{
    return clock ? clock->CurrentTime() : QDateTime::currentDateTimeUtc();
}

void DecodedTextData::ShowUserChannel()
{
    GetChannelData(UserChannelID);
    emit ShowChannel(UserChannelID);
}
