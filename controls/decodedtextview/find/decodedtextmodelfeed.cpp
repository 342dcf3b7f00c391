#include "decodedtextmodelfeed_p.h"

#include "decodedtextdata.h"

DecodedTextModelFeed::DecodedTextModelFeed(DecodedTextData* model, Listener* listener,
                                           QObject* parent)
    : QObject(parent), listener(listener)
{
    connect(model, SIGNAL(DataChanged(int, bool)), this, SLOT(DataChanged(int, bool)));
    connect(model, SIGNAL(TransmissionChanged(int)), this, SLOT(TransmissionChanged(int)));
    connect(model, SIGNAL(ChannelCreated(int)), this, SLOT(ChannelCreated(int)));
    connect(model, SIGNAL(SaveUserData(int, QString)), this, SLOT(SaveUserData(int, QString)));
}

void DecodedTextModelFeed::DataChanged(int channel, bool refresh)
{
    listener->ChannelChanged(channel, refresh);
}

void DecodedTextModelFeed::TransmissionChanged(int channel)
{
    listener->ChannelClosed(channel);
}

void DecodedTextModelFeed::ChannelCreated(int channel)
{
    listener->ChannelAnnounced(channel);
}

void DecodedTextModelFeed::SaveUserData(int channel, QString xmlText)
{
    Q_UNUSED(xmlText)
    listener->ChannelAnnotated(channel);
}
