// The view's settings in the host's application configuration.
#include "decodedtextview.h"

#include "decodedtextdata.h"
#include "decodedtextwatch.h"

#include <memory>

namespace {
const char* const GroupName = "DecodedTextView";
const char* const BufferSizeKey = "BufferSize";
const char* const QualityThresholdKey = "QualityThreshold";
const char* const InfoAreaWidthKey = "InfoAreaWidth";
const char* const ForegroundColorKey = "ForegroundColor";
const char* const BackgroundColorKey = "BackgroundColor";

std::unique_ptr<ICfg> OpenViewCfg()
{
    ICfg& appCfg = CfgCenter::GetAppCfg(ICfg::AppView);
    return std::unique_ptr<ICfg>(appCfg.OpenSubCfg(QString::fromLatin1(GroupName), 0));
}
}

void DecodedTextView::Load()
{
    // The watch list has a group of its own, which readers of the view's group never see.
    watch->LoadSettings();

    std::unique_ptr<ICfg> cfg = OpenViewCfg();
    if (!cfg)
        return;

    // The model's current values are the defaults, so a missing key changes nothing.
    const int bufferSize =
        cfg->ReadInt(QString::fromLatin1(BufferSizeKey), model->GetBufferSize(), 0);
    const int qualityThreshold =
        cfg->ReadInt(QString::fromLatin1(QualityThresholdKey), model->GetQualityThreshold(), 0);
    const int infoAreaWidth =
        cfg->ReadInt(QString::fromLatin1(InfoAreaWidthKey), model->GetInfoAreaWidth(), 0);
    const QString foregroundColor =
        cfg->ReadString(QString::fromLatin1(ForegroundColorKey), model->GetForegroundColor(), 0);
    const QString backgroundColor =
        cfg->ReadString(QString::fromLatin1(BackgroundColorKey), model->GetBackgroundColor(), 0);

    model->SetProperties(bufferSize, qualityThreshold, infoAreaWidth, foregroundColor,
                         backgroundColor);
}

void DecodedTextView::Save()
{
    watch->SaveSettings();

    if (!model->GetConfigurationChanged())
        return;

    // The changed mark is consumed even without a configuration: these values are then
    // written only after the next change.
    std::unique_ptr<ICfg> cfg = OpenViewCfg();
    if (!cfg)
        return;

    cfg->WriteInt(QString::fromLatin1(BufferSizeKey), model->GetBufferSize(), 0);
    cfg->WriteInt(QString::fromLatin1(QualityThresholdKey), model->GetQualityThreshold(), 0);
    cfg->WriteInt(QString::fromLatin1(InfoAreaWidthKey), model->GetInfoAreaWidth(), 0);
    cfg->WriteString(QString::fromLatin1(ForegroundColorKey), model->GetForegroundColor(), 0);
    cfg->WriteString(QString::fromLatin1(BackgroundColorKey), model->GetBackgroundColor(), 0);
}

void DecodedTextView::CommitData()
{
    // Settings are written by Save() alone; there is nothing held back to commit.
}
