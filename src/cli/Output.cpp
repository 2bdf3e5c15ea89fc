#include "cli/Output.h"

#include <cerrno>
#include <cstring>

bool Output::write(QByteArrayView bytes)
{
    if (m_error != 0)
        return false;
    if (bytes.isEmpty())
        return true;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, std::size_t(bytes.size()), m_file)
        != std::size_t(bytes.size()))
        m_error = errno != 0 ? errno : EIO;
    return m_error == 0;
}

bool Output::finish()
{
    if (m_error == 0) {
        errno = 0;
        if (std::fflush(m_file) != 0 || std::ferror(m_file))
            m_error = errno != 0 ? errno : EIO;
    }
    return m_error == 0;
}

QString Output::errorText() const
{
    return QString::fromLocal8Bit(std::strerror(m_error));
}
