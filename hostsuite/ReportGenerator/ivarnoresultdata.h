#pragma once

#include "reportgenerator_export.h"

#include <QString>

namespace VarnoResultDataXml {

// A result-data object that can be written as, and filled from, its own XML document.
class REPORTGENERATOR_EXPORT IVarnoResultData
{
public:
    // Every number in a document (ids, channels, offsets, positions, qualities) and every
    // text's length must lie within -ValueLimit..ValueLimit, so that sums and differences of
    // two of them can never overflow an int.
    static constexpr int ValueLimit = 100000000;

    virtual ~IVarnoResultData();

    // Replaces the object's data with the document's. On any fault in the document the
    // result is false and the object is left empty.
    virtual bool SetXmlString(const QString& xml) = 0;
    // Throws VarnoResultDataException when a value lies outside ValueLimit.
    virtual QString GetXmlString() const = 0;
};

} // namespace VarnoResultDataXml
