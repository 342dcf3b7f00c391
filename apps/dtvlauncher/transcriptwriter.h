#pragma once

#include <QList>
#include <QString>

class DecodedTextView;

// A plain-text log of what the views show: every line of text of every channel, merged in
// time order, as "TIME<tab>CHANNEL<tab>TEXT" with the annotations written into the text.
// docs/live-feed.md gives the notation. It is made from the channels' export (GetData), so
// like an export it marks everything as exported.
class TranscriptWriter {
public:
    static QString Render(const QList<DecodedTextView*>& views);
    // Render into a file, replacing it only once the whole transcript is written.
    static bool Write(const QList<DecodedTextView*>& views, const QString& path, QString& error);
};
