#pragma once

#include <QString>

// Where a feed listens or connects: "[ADDRESS:]PORT". Without an address the loopback one,
// so that nothing is reachable from elsewhere unless asked for. An IPv6 address goes in
// brackets ("[::1]:5555"); "localhost" stands for 127.0.0.1.
class FeedAddress
{
public:
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 0;

    // Port 0 (any free port) only where anyPort allows it, i.e. for listening. Returns false
    // with the reason in error.
    static bool Parse(const QString& text, bool anyPort, FeedAddress& address, QString& error);
    // host:port as given to Parse, the IPv6 host in brackets.
    QString ToString() const;
    static QString Join(const QString& host, quint16 port);
};
