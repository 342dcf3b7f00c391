#include "decodedtextview.h"

#include "decodedtextchannel.h"
#include "decodedtextdata.h"
#include "decodedtextfinder.h"
#include "decodedtextwatch.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace {
const int SplitterHandleWidth = 5;
}

DecodedTextView::DecodedTextView(QWidget* parent)
    : QWidget(parent)
    , model(nullptr)
    , splitter(nullptr)
    , fillerLabel(nullptr)
    , fusionStyle(QStyleFactory::create(QStringLiteral("fusion")))
    , watch(nullptr)
    , finder(nullptr)
{
    setObjectName(QStringLiteral("DecodedTextView"));
    setFocusPolicy(Qt::ClickFocus);
    setStyle(fusionStyle);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, SIGNAL(customContextMenuRequested(const QPoint&)), this,
            SLOT(ShowContextMenu(const QPoint &)));

    model = new DecodedTextData();
    model->setObjectName(QStringLiteral("DecodedTextData"));
    connect(model, SIGNAL(ChannelCreated(int)), this, SLOT(ChannelCreated(int)));
    connect(model, SIGNAL(ShowChannel(int)), this, SLOT(ShowChannel(int)));
    // Queued, so that a reset the model asks for never runs inside the model operation
    // that asked for it.
    connect(model, SIGNAL(ResetRequest()), this, SLOT(Reset()), Qt::QueuedConnection);
    connect(model, SIGNAL(SaveUserData(int, QString)), this, SIGNAL(SaveUserData(int, QString)));

    splitter = new QSplitter(Qt::Vertical, this);
    splitter->setHandleWidth(SplitterHandleWidth);
    splitter->setStyle(fusionStyle);
    splitter->setChildrenCollapsible(false);
    splitter->setContentsMargins(0, 0, 0, 0);

    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter);

    // Before any channel, so that they follow every one; the watch list is loaded with the rest.
    watch = new DecodedTextWatch(model, this);
    finder = new DecodedTextFinder(this, model, watch);

    Load();
    CfgCenter::RegisterSaveComponent(this);
    UpdateLayout();
}

DecodedTextView::~DecodedTextView()
{
    CfgCenter::UnregisterSaveComponent(this);
    Save();
    // The panes go with the splitter; they must not be reached through the list meanwhile.
    panes.clear();
    delete model;
    model = nullptr;
    splitter->setStyle(nullptr);
    setStyle(nullptr);
    delete fusionStyle;
    RemoveFillerLabel();
}

void DecodedTextView::AddTransmission(const QMap<int, int>& channelMap, QVector<int>& usedChannels,
                                      const QString& xml)
{
    model->AddTransmission(channelMap, usedChannels, xml);
}

void DecodedTextView::AddTransmission(const QString& xmlText)
{
    model->AddTransmission(xmlText);
}

void DecodedTextView::EndTransmission()
{
    model->EndTransmission();
}

void DecodedTextView::GetData(int channel, VarnoResultDataXml::VarnoResultData& document,
                              bool openOnly)
{
    model->GetData(channel, document, openOnly);
}

bool DecodedTextView::IsChanged(int channel)
{
    return model->IsChanged(channel);
}

int DecodedTextView::GetBufferSize()
{
    return model->GetBufferSize();
}

const QMap<int, QString>& DecodedTextView::GetChannelNames() const
{
    return model->GetChannelNames();
}

QVector<int> DecodedTextView::GetChannelsWithActiveUserData()
{
    return model->GetChannelsWithActiveUserData();
}

void DecodedTextView::SetBufferSize(int maxChars)
{
    model->SetBufferSize(maxChars);
}

void DecodedTextView::SetQualityThreshold(int threshold)
{
    model->SetQualityThreshold(threshold);
}

void DecodedTextView::SetChannelSeparator(QString separator)
{
    model->SetChannelSeparator(separator);
}

void DecodedTextView::SetClock(DecodedTextClock* clock)
{
    model->SetClock(clock);
}

void DecodedTextView::SetOffline(bool offline)
{
    model->SetOffline(offline);
}

bool DecodedTextView::UserDataEnabled()
{
    return model->UserDataEnabled();
}

void DecodedTextView::DefineCallSign(const QString& sign)
{
    model->IndexOfCallSign(sign);
}

void DecodedTextView::SetMorse(bool bMorse)
{
    // Kept for hosts that still announce the decoder kind; the display is the same for all.
    Q_UNUSED(bMorse)
}

void DecodedTextView::ChannelCreated(int channel)
{
    int index = panes.size();
    for (int i = 0; i < panes.size(); ++i) {
        const int existing = panes.at(i)->GetChannel();
        if (existing == channel)
            return;
        if (existing > channel) {
            index = i;
            break;
        }
    }

    QString name = model->GetChannelNames().value(channel);
    if (name.isEmpty()) {
        name = channel == DecodedTextData::UserChannelID ? tr("User")
                                                          : tr("Channel %1").arg(channel);
    }

    DecodedTextChannel* pane = new DecodedTextChannel(name, channel, model, this);
    if (index < panes.size()) {
        // In front of the pane that follows it, wherever a filler label stands.
        splitter->insertWidget(splitter->indexOf(panes.at(index)), pane);
        panes.insert(index, pane);
    } else {
        panes.append(pane);
        splitter->addWidget(pane);
    }

    if (panes.size() == 1)
        pane->ExpandTextArea(true);

    connect(pane, SIGNAL(TextAreaChanged()), this, SLOT(UpdateLayout()));
    UpdateLayout();
}

void DecodedTextView::UpdateLayout()
{
    if (!panes.isEmpty()) {
        bool anyOpen = false;
        for (DecodedTextChannel* pane : qAsConst(panes))
            anyOpen = anyOpen || pane->IsExpanded();
        if (anyOpen)
            RemoveFillerLabel();
        else if (!fillerLabel)
            AddFillerLabel();
        return;
    }

    if (!fillerLabel)
        AddFillerLabel();
    if (fillerLabel->text().isEmpty())
        fillerLabel->setText(tr("Waiting for valid data"));
}

void DecodedTextView::RemoveChannel(int channel)
{
    for (int i = 0; i < panes.size(); ++i) {
        if (panes.at(i)->GetChannel() != channel)
            continue;
        DeletePane(i);
        model->RemoveChannelData(channel);
        RemoveFillerLabel();
        UpdateLayout();
        return;
    }
}

void DecodedTextView::Reset()
{
    for (int i = panes.size() - 1; i >= 0; --i)
        DeletePane(i);
    RemoveFillerLabel();
    model->Clear();
    UpdateLayout();
    emit ResetNotification();
}

bool DecodedTextView::SetResetHandler(const QObject* receiver, const char* member)
{
    disconnect(model, SIGNAL(ResetRequest()), this, SLOT(Reset()));
    return connect(model, SIGNAL(ResetRequest()), receiver, member, Qt::QueuedConnection);
}

void DecodedTextView::ShowChannel(int channel)
{
    for (DecodedTextChannel* pane : qAsConst(panes)) {
        if (pane->GetChannel() == channel)
            pane->ExpandTextArea(true);
    }
}

void DecodedTextView::DefineChannelName(int channel, const QString& name)
{
    model->DefineChannelName(channel, name);
    for (DecodedTextChannel* pane : qAsConst(panes)) {
        if (pane->GetChannel() == channel)
            pane->DefineChannelName(name);
    }
}

void DecodedTextView::EnableUserData(bool enable)
{
    model->EnableUserData(enable);
    if (!enable)
        RemoveChannel(DecodedTextData::UserChannelID);
}

void DecodedTextView::ApplyUserChannel(bool bAutoApply)
{
    for (DecodedTextChannel* pane : qAsConst(panes)) {
        if (pane->GetChannel() != DecodedTextData::UserChannelID)
            continue;
        DecodedTextCaption* caption = pane->GetCaption();
        if (caption && (!bAutoApply || caption->IsAutoApplyEnabled()))
            caption->applyNow();
    }
}

void DecodedTextView::SelectCallSign(const QString& sign)
{
    QString callSign = sign;
    if (callSign.isEmpty())
        callSign = lastCallSign;
    if (callSign.isEmpty())
        return;
    lastCallSign = callSign;

    // A pane in which the operator has selected text takes the sign first; every pane is
    // asked, so that several selections all get it.
    bool taken = false;
    for (DecodedTextChannel* pane : qAsConst(panes)) {
        if (pane->SelectCallSign(callSign, true))
            taken = true;
    }
    if (taken)
        return;
    for (DecodedTextChannel* pane : qAsConst(panes))
        pane->SelectCallSign(callSign, false);
}

void DecodedTextView::ShowContextMenu(const QPoint& pt)
{
    if (!model->UserDataEnabled())
        return;
    QMenu* menu = new QMenu(this);
    QAction* showUser = menu->addAction(tr("Show user channel"));
    connect(showUser, SIGNAL(triggered()), model, SLOT(ShowUserChannel()));
    menu->exec(mapToGlobal(pt));
    delete menu;
}

QDateTime DecodedTextView::GetLastTimestamp(int channel) const
{
    QExplicitlySharedDataPointer<DecodedTextBlock> block = model->GetChannelData(channel)->LastBlock();
    if (!block)
        return QDateTime();
    return block->LastTimestamp();
}

DecodedTextWatch* DecodedTextView::Watch() const
{
    return watch;
}

DecodedTextFinder* DecodedTextView::Finder() const
{
    return finder;
}

void DecodedTextView::AddFillerLabel()
{
    fillerLabel = new QLabel(splitter);
    fillerLabel->setAlignment(Qt::AlignHCenter);
    splitter->addWidget(fillerLabel);
}

void DecodedTextView::RemoveFillerLabel()
{
    if (!fillerLabel)
        return;
    fillerLabel->setParent(nullptr);
    delete fillerLabel;
    fillerLabel = nullptr;
}

void DecodedTextView::DeletePane(int index)
{
    DecodedTextChannel* pane = panes.at(index);
    pane->setParent(nullptr);
    panes.remove(index);
    delete pane;
}
