#pragma once

#include <QMap>
#include <QString>

// Channel names carried in a result-data document. The format has no place for them, so they
// travel as processing instructions before the root element, which every reader of the format
// skips: <?dtv-channel-name 3 Hugo%20One?>, the name in UTF-8, percent-encoded.
class ChannelNameNotes
{
public:
    // The document with one instruction per name in front of its root element.
    static QString Insert(const QString& xml, const QMap<int, QString>& names);
    // The names of a document's instructions; later ones win.
    static QMap<int, QString> Read(const QString& xml);
};
