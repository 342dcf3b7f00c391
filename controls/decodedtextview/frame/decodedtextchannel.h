#pragma once

#include "decodedtextcaption.h"
#include "dtv_export.h"

#include <QString>
#include <QWidget>

class DecodedTextContent;
class DecodedTextData;
class QStyle;
class QVBoxLayout;

// One channel of the view: its caption bar and, once opened, its text area below it.
class DTV_EXPORT DecodedTextChannel : public QWidget
{
    Q_OBJECT

public:
    DecodedTextChannel(const QString& name, int channel, DecodedTextData* model, QWidget* parent);
    ~DecodedTextChannel() override;

    bool SelectCallSign(const QString& sign, bool selectionOnly);
    void DefineChannelName(const QString& name);
    int GetChannel() const;
    bool IsExpanded() const;
    DecodedTextCaption* GetCaption() const;

signals:
    void TextAreaChanged();

public slots:
    void ToggleTextArea();
    void ExpandTextArea(bool expand);
    void DataChanged(int channel, bool refresh);
    void TransmissionChanged(int channel);
    void PropertiesChanged();

private:
    Q_DISABLE_COPY(DecodedTextChannel)

    QString name;
    int channel;
    bool userChannel;
    bool expanded;
    QStyle* fusionStyle;
    DecodedTextData* model;
    DecodedTextCaption* caption;
    DecodedTextContent* content;
    QVBoxLayout* layout;
};
