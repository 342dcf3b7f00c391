#pragma once

#include "vxbase_export.h"

#include <QByteArray>
#include <QString>
#include <exception>

// The suite's exception: where it was raised (file, class, method, line) travels with it,
// so an error handler far from the throw site can still say where things went wrong.
class VXBASE_EXPORT VXException : public std::exception
{
public:
    VXException(const QString& message, const QString& file, const QString& className,
                const QString& method, unsigned int line, unsigned int code);
    VXException(const VXException& other);
    VXException& operator=(const VXException& other);
    ~VXException() override;

    QString GetMessage() const;
    QString GetFile() const;
    QString GetClassName() const;
    QString GetMethod() const;
    unsigned int GetLine() const;
    unsigned int GetCode() const;

    // The message in UTF-8; valid as long as the exception lives.
    const char* what() const noexcept override;

private:
    QString m_message;
    QString m_file;
    QString m_className;
    QString m_method;
    unsigned int m_line;
    unsigned int m_code;
    QByteArray m_what;
};
