#pragma once

#include <QString>

#include <exception>

/// An unexpected failure of one step: carries the human-readable description
/// that the error report shows unchanged (the OS error for a path, Qt's errorString()).
class Failure final : public std::exception
{
public:
    explicit Failure(QString description)
        : m_description(std::move(description)), m_utf8(m_description.toUtf8())
    {}

    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};
