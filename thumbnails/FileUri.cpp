#include "thumbnails/FileUri.h"

#include "base/PercentEncode.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <stdexcept>

namespace tessaly {

std::string FileUri(std::string_view absolutePath) {
    if (absolutePath.empty() || absolutePath.front() != '/')
        throw std::invalid_argument("file URI: the path is not absolute");
    // RFC 2396's unreserved characters, the path segment's own (pchar) and the separator.
    return "file://" + PercentEncode(absolutePath, "-_.!~*'():@&=+$,/");
}

std::string UriHash(std::string_view uri) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(uri.data(), static_cast<qsizetype>(uri.size())), QCryptographicHash::Md5);
    return digest.toHex().toStdString();
}

} // namespace tessaly
