#include "feedaddress.h"

#include <QHostAddress>

bool FeedAddress::Parse(const QString& text, bool anyPort, FeedAddress& address, QString& error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon >= 0 ? text.left(colon) : QString();
    const QString portText = text.mid(colon + 1);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    } else if (host.contains(QLatin1Char(':'))) {
        error = QStringLiteral("an IPv6 address goes in brackets: '%1'").arg(text);
        return false;
    }

    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || (port == 0 && !anyPort)) {
        error = QStringLiteral("not a port: '%1'").arg(portText);
        return false;
    }
    if (colon < 0)
        host = QStringLiteral("127.0.0.1");
    else if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        host = QStringLiteral("127.0.0.1");
    else if (QHostAddress(host).isNull()) {
        error = QStringLiteral("not an IP address: '%1'").arg(host);
        return false;
    }
    address.host = host;
    address.port = static_cast<quint16>(port);
    return true;
}

QString FeedAddress::ToString() const
{
    return Join(host, port);
}

QString FeedAddress::Join(const QString& host, quint16 port)
{
    const QString shown = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shown).arg(port);
}
