#include "decodedtextchannel.h"

#include "decodedtextcontent.h"
#include "decodedtextdata.h"

#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace {
const int PaneMargin = 2;
const int CaptionToTextSpacing = 5;
}

DecodedTextChannel::DecodedTextChannel(const QString& name, int channel, DecodedTextData* model,
                                       QWidget* parent)
    : QWidget(parent)
    , name(name)
    , channel(channel)
    , userChannel(channel == DecodedTextData::UserChannelID)
    , expanded(false)
    , fusionStyle(QStyleFactory::create(QStringLiteral("fusion")))
    , model(model)
    , caption(nullptr)
    , content(nullptr)
    , layout(nullptr)
{
    // Style sheets address panes by name, and they are plain ASCII: the round trip through
    // Latin-1 bytes read back as UTF-8 keeps ASCII names and garbles the rest.
    setObjectName(QString::fromUtf8(name.toLatin1()));
    setFocusPolicy(Qt::ClickFocus);
    setStyle(fusionStyle);

    layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("ChannelLayout"));
    layout->setContentsMargins(PaneMargin, PaneMargin, PaneMargin, PaneMargin);
    layout->setSpacing(0);

    caption = new DecodedTextCaption(name, userChannel, model->IsOffline(), this);
    layout->addWidget(caption);

    // A closed pane takes no more room in the splitter than its caption.
    setMaximumHeight(sizeHint().height());

    connect(model, SIGNAL(DataChanged(int, bool)), this, SLOT(DataChanged(int, bool)));
    connect(model, SIGNAL(TransmissionChanged(int)), this, SLOT(TransmissionChanged(int)));
    connect(model, SIGNAL(PropertiesChanged()), this, SLOT(PropertiesChanged()));
    connect(caption, SIGNAL(OnActivate()), this, SLOT(ToggleTextArea()));
}

DecodedTextChannel::~DecodedTextChannel()
{
    // The style must not be deleted while the pane still refers to it.
    setStyle(nullptr);
    delete fusionStyle;
}

bool DecodedTextChannel::SelectCallSign(const QString& sign, bool selectionOnly)
{
    if (!expanded || !content)
        return false;
    return content->SelectCallSign(sign, selectionOnly);
}

void DecodedTextChannel::DefineChannelName(const QString& newName)
{
    name = newName;
    caption->SetChannelName(newName);
}

int DecodedTextChannel::GetChannel() const
{
    return channel;
}

bool DecodedTextChannel::IsExpanded() const
{
    return expanded;
}

DecodedTextCaption* DecodedTextChannel::GetCaption() const
{
    return caption;
}

void DecodedTextChannel::ToggleTextArea()
{
    ExpandTextArea(!expanded);
}

void DecodedTextChannel::ExpandTextArea(bool expand)
{
    if (expand == expanded)
        return;

    if (expand) {
        if (!content) {
            content = new DecodedTextContent(channel, userChannel, model, this);
            layout->setSpacing(CaptionToTextSpacing);
            layout->addWidget(content);
            if (userChannel) {
                connect(content, SIGNAL(OnModification(bool)), caption, SLOT(setModified(bool)));
                connect(caption, SIGNAL(OnApply()), model, SLOT(ApplyUserChannel()));
            }
        }
        setMaximumHeight(content->maximumHeight());
        content->RefreshContent();
        content->show();
        layout->update();
    } else if (content) {
        // Only hidden: the text, its scroll position and selection are there on reopening.
        content->hide();
        setMaximumHeight(sizeHint().height());
    }

    expanded = expand;
    caption->SetExpanded(expand);
    emit TextAreaChanged();
}

void DecodedTextChannel::DataChanged(int changedChannel, bool refresh)
{
    if (changedChannel != channel)
        return;

    caption->SetTickerText(model->GetChannelData(channel)->TickerText(caption->GetMaxTickerChars()));

    if (content && expanded) {
        if (refresh)
            content->RefreshAfterIntake();
        else
            content->UpdateContent();
    }
}

void DecodedTextChannel::TransmissionChanged(int changedChannel)
{
    if (changedChannel == channel && content && expanded)
        content->UpdateViewAfterIntake();
}

void DecodedTextChannel::PropertiesChanged()
{
    if (!content)
        return;
    content->UpdateColors();
    content->SetInfoAreaWidth(model->GetInfoAreaWidth());
    if (expanded)
        content->RefreshContent();
}
