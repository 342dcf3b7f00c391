// The result-data XML reader on arbitrary bytes.
//
// Every input is read as UTF-8, as UTF-16 (both byte orders) and as Latin-1, by each of the three
// document classes. What must hold:
// - SetXmlString never throws and never crashes;
// - a refused document leaves the object exactly as a default-constructed one;
// - an accepted document writes back without an exception, the written text reads back, and
//   writing that again gives the same text (the format is stable after one round).
#include "varnoresultdataxml.h"

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace VarnoResultDataXml;

namespace {

[[noreturn]] void Fail(const char* what, const QString& xml, const QString& detail)
{
    std::fprintf(stderr, "fuzz_resultdataxml: %s\n--- input (%d characters)\n%s\n--- detail\n%s\n",
                 what, int(xml.size()), xml.left(2000).toUtf8().constData(),
                 detail.left(4000).toUtf8().constData());
    std::abort();
}

// A valid document of each class, so that a refused input is seen to empty a filled object.
const char* const FilledBlock =
    "<DataBlock id=\"4\" channel=\"2\" offset=\"3\"><Content>ab</Content>"
    "<TimeStamp position=\"0\" quality=\"50\" time=\"2024-05-01T10:00:00.000Z\"/>"
    "<UserData start=\"0\" end=\"1\"><Type>Comment</Type><Comment>c</Comment></UserData>"
    "</DataBlock>";

QString FilledDocument(const char* root)
{
    const QString block = QString::fromLatin1(FilledBlock);
    const QString transmission =
        QStringLiteral("<Transmission start=\"2024-05-01T10:00:00.000Z\">") + block
        + QStringLiteral("</Transmission>");
    if (qstrcmp(root, "DataBlock") == 0)
        return block;
    if (qstrcmp(root, "Transmission") == 0)
        return transmission;
    return QStringLiteral("<ResultData version=\"1\">") + transmission
        + QStringLiteral("</ResultData>");
}

template <typename Document>
void Check(const QString& xml, const char* root)
{
    Document document;
    if (!document.SetXmlString(FilledDocument(root)))
        Fail("the filled seed document does not read", FilledDocument(root), QString());

    if (!document.SetXmlString(xml)) {
        const Document empty;
        const QString left = document.GetXmlString();
        if (left != empty.GetXmlString())
            Fail("a refused document left data behind", xml, left);
        return;
    }

    QString first;
    try {
        first = document.GetXmlString();
    } catch (const VarnoResultDataException& e) {
        Fail("an accepted document cannot be written", xml, e.GetMessage());
    }

    Document again;
    if (!again.SetXmlString(first))
        Fail("written text does not read back", xml, first);
    const QString second = again.GetXmlString();
    if (second != first)
        Fail("writing is not stable", xml, first + QStringLiteral("\n--- second\n") + second);
}

void CheckAll(const QString& xml)
{
    Check<DataBlock>(xml, "DataBlock");
    Check<Transmission>(xml, "Transmission");
    Check<VarnoResultData>(xml, "ResultData");
}

QString FromUtf16(const uint8_t* data, size_t size, bool bigEndian)
{
    QString text;
    text.resize(int(size / 2));
    for (int i = 0; i < text.size(); ++i) {
        const uint8_t* pair = data + 2 * i;
        text[i] = QChar(bigEndian ? qFromBigEndian<quint16>(pair) : qFromLittleEndian<quint16>(pair));
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Documents of hundreds of kilobytes teach nothing that small ones do not, and slow the
    // search down.
    if (size > 64 * 1024)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    CheckAll(QString::fromUtf8(bytes, int(size)));
    CheckAll(FromUtf16(data, size, false));
    CheckAll(FromUtf16(data, size, true));
    CheckAll(QString::fromLatin1(bytes, int(size)));
    return 0;
}
