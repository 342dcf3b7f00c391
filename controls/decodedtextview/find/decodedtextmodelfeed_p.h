#pragma once

#include <QObject>
#include <QString>

class DecodedTextData;

// Hands what a model announces about its channels to a plain listener, so that classes whose
// interface is only member functions and their own signals can follow the model.
class DecodedTextModelFeed : public QObject
{
    Q_OBJECT

public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void ChannelChanged(int channel, bool refresh) = 0;
        virtual void ChannelClosed(int channel) = 0;
        virtual void ChannelAnnounced(int channel) = 0;
        // The operator annotated text of the channel; a change may have altered its text.
        virtual void ChannelAnnotated(int channel) { Q_UNUSED(channel) }
    };

    DecodedTextModelFeed(DecodedTextData* model, Listener* listener, QObject* parent);

private slots:
    void DataChanged(int channel, bool refresh);
    void TransmissionChanged(int channel);
    void ChannelCreated(int channel);
    void SaveUserData(int channel, QString xmlText);

private:
    Listener* listener;
};
