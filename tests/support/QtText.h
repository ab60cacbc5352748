// Paths as the windows show them, for comparing with captions and dialog texts.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <filesystem>
#include <ostream>

// Texts in failure messages, quoted.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace tessaly::testing {

// A path (or a byte string naming one) decoded as the system decodes file names.
inline QString Q(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

} // namespace tessaly::testing
