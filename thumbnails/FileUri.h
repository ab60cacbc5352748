// The URI of a local file as the shared thumbnail cache names it: "file://" and the absolute
// path with every byte outside RFC 2396's path characters percent-encoded (upper-case hex).
// The path's bytes are kept as they are (UTF-8 names become %XX of their bytes), so the URI
// and its MD5 are the ones the desktop's file managers compute for the same file.
//
// QUrl::fromLocalFile is not used: it follows RFC 3986 and leaves ';' (and, depending on the
// version, '[' and ']') unencoded, which gives another URI, another MD5 and another cache
// entry than the file manager's for such names.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// `absolutePath` must start with '/' (std::invalid_argument otherwise); it is not normalised.
std::string FileUri(std::string_view absolutePath);

// The lower-case hex MD5 of the URI: the name of its thumbnails without ".png".
std::string UriHash(std::string_view uri);

} // namespace tessaly
