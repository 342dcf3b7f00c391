#include "decodedtextcaption.h"

#include "decodedtexttickerstyle.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QSizePolicy>
#include <QSpacerItem>
#include <QTimer>

namespace {
// Typing in the user channel is handed on only after this long without a further edit.
const int AutoApplyDelayMs = 5000;
const int BarHeight = 20;
const int ButtonWidth = 40;
}

DecodedTextCaption::DecodedTextCaption(const QString& name, bool userChannel, bool offline,
                                       QWidget* parent)
    : QWidget(parent)
    , tickerLine(nullptr)
    , activateButton(nullptr)
    , channelLabel(nullptr)
    , autoApplyTimer(nullptr)
    , autoApplyEnabled(true)
    , modified(false)
    , expandIcon(QStringLiteral(":/DecodedTextView/icon_expand.png"))
    , collapseIcon(QStringLiteral(":/DecodedTextView/icon_collapse.png"))
    , maxTickerChars(100)
{
    setObjectName(QStringLiteral("Caption"));
    setFixedHeight(BarHeight);

    QHBoxLayout* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);

    channelLabel = new QLabel(this);
    channelLabel->setObjectName(QStringLiteral("ChannelLabel"));
    channelLabel->setAutoFillBackground(true);
    channelLabel->setText(name);

    activateButton = new QPushButton(this);
    activateButton->setObjectName(QStringLiteral("ChannelActivate"));
    activateButton->setFixedHeight(BarHeight);
    activateButton->setFixedWidth(ButtonWidth);
    activateButton->setIcon(expandIcon);
    activateButton->setToolTip(tr("Expand text view"));

    layout->addWidget(channelLabel);
    layout->addWidget(activateButton);

    if (!userChannel) {
        tickerLine = new QLineEdit(this);
        tickerLine->setObjectName(QStringLiteral("TickerLine"));
        tickerLine->setFixedHeight(BarHeight);
        tickerLine->setFrame(true);
        tickerLine->setFocusPolicy(Qt::StrongFocus);
        tickerLine->setFocusProxy(this);
        tickerLine->setReadOnly(true);
        layout->addWidget(tickerLine);
        DecodedTextTickerStyle::Attach(tickerLine);
    } else if (offline) {
        // Offline, edits are handed on only when asked for; the spacer keeps the label and
        // button at the left like in the other bars.
        layout->addItem(new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum));
    } else {
        autoApplyTimer = new QTimer();
        autoApplyTimer->setSingleShot(true);
        autoApplyTimer->setInterval(AutoApplyDelayMs);
        connect(autoApplyTimer, SIGNAL(timeout()), this, SLOT(applyNow()));
    }

    connect(activateButton, SIGNAL(clicked()), this, SIGNAL(OnActivate()));
}

DecodedTextCaption::~DecodedTextCaption()
{
    // The timer was made without a parent, so nothing else deletes it.
    delete autoApplyTimer;
    // A style of the ticker's own goes with the ticker; the ticker is not to use it meanwhile.
    if (tickerLine && tickerLine->findChild<DecodedTextTickerStyle*>())
        tickerLine->setStyle(nullptr);
}

void DecodedTextCaption::setModified(bool value)
{
    if (value) {
        modified = true;
        if (autoApplyEnabled && autoApplyTimer)
            autoApplyTimer->start();
    } else if (modified) {
        if (autoApplyTimer)
            autoApplyTimer->stop();
        modified = false;
    }
}

void DecodedTextCaption::applyNow()
{
    if (!modified)
        return;
    if (autoApplyTimer)
        autoApplyTimer->stop();
    modified = false;
    emit OnApply();
}

void DecodedTextCaption::setAutoApplyEnabled(bool enabled)
{
    // A pending apply already on its way still happens: only later edits follow the new choice.
    autoApplyEnabled = enabled;
}

void DecodedTextCaption::SetTickerText(const QString& text)
{
    if (tickerLine) {
        tickerLine->setText(text);
        return;
    }
    // New data in the user channel means the model has taken over the edits already.
    setModified(false);
}

void DecodedTextCaption::SetExpanded(bool expanded)
{
    if (expanded) {
        activateButton->setIcon(collapseIcon);
        activateButton->setToolTip(tr("Collapse text view"));
    } else {
        activateButton->setIcon(expandIcon);
        activateButton->setToolTip(tr("Expand text view"));
    }
}

void DecodedTextCaption::SetChannelName(const QString& name)
{
    channelLabel->setText(name);
}

int DecodedTextCaption::GetMaxTickerChars() const
{
    return maxTickerChars;
}

bool DecodedTextCaption::IsAutoApplyEnabled() const
{
    return autoApplyEnabled;
}

void DecodedTextCaption::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!tickerLine)
        return;
    // Twice what fits: the line edit shows the end of its text, so a proportional font that
    // runs narrower than the average still finds the line filled.
    const int charWidth = QFontMetrics(tickerLine->font()).averageCharWidth();
    if (charWidth > 0)
        maxTickerChars = (2 * contentsRect().width()) / charWidth;
}
