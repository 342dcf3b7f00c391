#include "channelnamenotes.h"

#include <QUrl>
#include <QXmlStreamReader>

namespace {

const QLatin1String Target("dtv-channel-name");

} // namespace

QString ChannelNameNotes::Insert(const QString& xml, const QMap<int, QString>& names)
{
    QString notes;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (it.value().isEmpty())
            continue;
        notes += QStringLiteral("<?%1 %2 %3?>\n")
                     .arg(Target)
                     .arg(it.key())
                     .arg(QString::fromLatin1(QUrl::toPercentEncoding(it.value())));
    }
    if (notes.isEmpty())
        return xml;
    // After the XML declaration, which has to stay first.
    int at = 0;
    if (xml.startsWith(QLatin1String("<?xml"))) {
        const int end = xml.indexOf(QLatin1String("?>"));
        at = end < 0 ? 0 : end + 2;
        if (at > 0 && at < xml.size() && xml.at(at) == QLatin1Char('\n'))
            ++at;
        else if (at > 0)
            notes.prepend(QLatin1Char('\n'));
    }
    return QString(xml).insert(at, notes);
}

QMap<int, QString> ChannelNameNotes::Read(const QString& xml)
{
    QMap<int, QString> names;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::ProcessingInstruction
            || reader.processingInstructionTarget() != Target)
            continue;
        const QString data = reader.processingInstructionData().toString().trimmed();
        const int space = data.indexOf(QLatin1Char(' '));
        bool ok = false;
        const int channel = data.left(space).toInt(&ok);
        if (ok && space > 0)
            names.insert(
                channel,
                QString::fromUtf8(QByteArray::fromPercentEncoding(data.mid(space + 1).toLatin1())));
    }
    return names;
}
