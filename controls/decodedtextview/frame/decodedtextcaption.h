#pragma once

#include "dtv_export.h"

#include <QIcon>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QResizeEvent;
class QTimer;

// The bar on top of a channel pane: the channel name, the button that opens and closes the
// text area and, for a decoder channel, a ticker of the newest text. The user channel's bar
// instead hands the operator's edits on after a pause in typing.
class DTV_EXPORT DecodedTextCaption : public QWidget
{
    Q_OBJECT

public:
    DecodedTextCaption(const QString& name, bool userChannel, bool offline, QWidget* parent);
    ~DecodedTextCaption() override;

    void SetTickerText(const QString& text);
    void SetExpanded(bool expanded);
    void SetChannelName(const QString& name);
    int GetMaxTickerChars() const;
    bool IsAutoApplyEnabled() const;

signals:
    void OnActivate();
    void OnApply();

public slots:
    void setModified(bool modified);
    void applyNow();

private slots:
    void setAutoApplyEnabled(bool enabled);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    Q_DISABLE_COPY(DecodedTextCaption)

    QLineEdit* tickerLine;
    QPushButton* activateButton;
    QLabel* channelLabel;
    QTimer* autoApplyTimer;
    bool autoApplyEnabled;
    bool modified;
    QIcon expandIcon;
    QIcon collapseIcon;
    int maxTickerChars;
};
