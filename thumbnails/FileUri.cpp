#include "thumbnails/FileUri.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <stdexcept>

namespace tessaly {

namespace {

// RFC 2396's unreserved characters, the path segment's own (pchar) and the separator.
bool KeptInPath(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    constexpr std::string_view kept = "-_.!~*'():@&=+$,/";
    return kept.find(static_cast<char>(c)) != std::string_view::npos;
}

} // namespace

std::string FileUri(std::string_view absolutePath) {
    if (absolutePath.empty() || absolutePath.front() != '/')
        throw std::invalid_argument("file URI: the path is not absolute");
    constexpr char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    uri.reserve(uri.size() + absolutePath.size() * 3);
    for (const char ch : absolutePath) {
        const auto c = static_cast<unsigned char>(ch);
        if (KeptInPath(c)) {
            uri += ch;
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

std::string UriHash(std::string_view uri) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(uri.data(), static_cast<qsizetype>(uri.size())), QCryptographicHash::Md5);
    return digest.toHex().toStdString();
}

} // namespace tessaly
