#include "vxexception.h"

VXException::VXException(const QString& message, const QString& file, const QString& className,
                         const QString& method, unsigned int line, unsigned int code)
    : m_message(message),
      m_file(file),
      m_className(className),
      m_method(method),
      m_line(line),
      m_code(code),
      m_what(message.toUtf8())
{
}

VXException::VXException(const VXException& other) = default;

VXException& VXException::operator=(const VXException& other) = default;

VXException::~VXException() = default;

QString VXException::GetMessage() const
{
    return m_message;
}

QString VXException::GetFile() const
{
    return m_file;
}

QString VXException::GetClassName() const
{
    return m_className;
}

QString VXException::GetMethod() const
{
    return m_method;
}

unsigned int VXException::GetLine() const
{
    return m_line;
}

unsigned int VXException::GetCode() const
{
    return m_code;
}

const char* VXException::what() const noexcept
{
    return m_what.constData();
}
