#include "varnoresultdataexception.h"

namespace VarnoResultDataXml {

VarnoResultDataException::VarnoResultDataException(const QString& message)
    : m_message(message), m_what(message.toUtf8())
{
}

VarnoResultDataException::VarnoResultDataException(const VarnoResultDataException& other) = default;

VarnoResultDataException&
VarnoResultDataException::operator=(const VarnoResultDataException& other) = default;

VarnoResultDataException::~VarnoResultDataException() = default;

QString VarnoResultDataException::GetMessage() const
{
    return m_message;
}

const char* VarnoResultDataException::what() const noexcept
{
    return m_what.constData();
}

} // namespace VarnoResultDataXml
