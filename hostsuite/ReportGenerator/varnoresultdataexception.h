#pragma once

#include "reportgenerator_export.h"

#include <QByteArray>
#include <QString>
#include <exception>

namespace VarnoResultDataXml {

// Raised when a result-data object cannot be written as a document that would read back.
class REPORTGENERATOR_EXPORT VarnoResultDataException : public std::exception
{
public:
    explicit VarnoResultDataException(const QString& message);
    VarnoResultDataException(const VarnoResultDataException& other);
    VarnoResultDataException& operator=(const VarnoResultDataException& other);
    ~VarnoResultDataException() override;

    QString GetMessage() const;
    const char* what() const noexcept override;

private:
    QString m_message;
    QByteArray m_what;
};

} // namespace VarnoResultDataXml
