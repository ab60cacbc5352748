#include "thumbnails/ThumbnailPng.h"

#include "thumbnails/ThumbnailCache.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>
#include <QString>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename Number> bool ParseNumber(const QString& text, Number& value) {
    const std::string s = text.trimmed().toStdString();
    if (s.empty())
        return false;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    return error == std::errc{} && end == s.data() + s.size();
}

std::optional<ThumbnailKeys> KeysFrom(const QString& uri, const QString& mtime, const QString& size,
                                      const QString& width, const QString& height,
                                      const QString& mime) {
    ThumbnailKeys keys;
    if (uri.isEmpty() || !ParseNumber(mtime, keys.mtime))
        return std::nullopt;
    keys.uri = uri.toStdString();
    std::uint64_t bytes = 0;
    if (ParseNumber(size, bytes))
        keys.size = bytes;
    ParseNumber(width, keys.imageWidth);
    ParseNumber(height, keys.imageHeight);
    keys.mimeType = mime.toStdString();
    return keys;
}

std::string Reason(const std::filesystem::path& path, const char* what) {
    return "thumbnail " + path.string() + ": " + what + " (" + std::strerror(errno) + ")";
}

} // namespace

bool Answers(const ThumbnailKeys& keys, const FileStamp& file) {
    return keys.uri == file.uri && keys.mtime == file.mtime &&
           (!keys.size || *keys.size == file.size);
}

std::optional<ThumbnailKeys> ReadThumbnailKeys(const std::filesystem::path& path) {
    QImageReader reader(QString::fromStdString(path.string()), "png");
    if (!reader.canRead())
        return std::nullopt;
    const auto fromReader = [&] {
        return KeysFrom(reader.text("Thumb::URI"), reader.text("Thumb::MTime"),
                        reader.text("Thumb::Size"), reader.text("Thumb::Image::Width"),
                        reader.text("Thumb::Image::Height"), reader.text("Thumb::Mimetype"));
    };
    if (auto keys = fromReader())
        return keys;
    // Text chunks after the pixels are known only once the pixels are read.
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return KeysFrom(image.text("Thumb::URI"), image.text("Thumb::MTime"), image.text("Thumb::Size"),
                    image.text("Thumb::Image::Width"), image.text("Thumb::Image::Height"),
                    image.text("Thumb::Mimetype"));
}

QImage ReadThumbnailImage(const std::filesystem::path& path) {
    QImageReader reader(QString::fromStdString(path.string()), "png");
    return reader.read();
}

void MakePrivateFolders(const std::filesystem::path& path) {
    std::filesystem::path done;
    for (const auto& part : path) {
        done /= part;
        if (::mkdir(done.c_str(), 0700) != 0 && errno != EEXIST)
            throw ThumbnailWriteError(Reason(done, "cannot make the folder"));
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw ThumbnailWriteError(Reason(path, "not a folder"));
}

void WriteThumbnail(const std::filesystem::path& path, const QImage& image,
                    const ThumbnailKeys& keys) {
    QImage tagged = image;
    tagged.setText("Thumb::URI", Q(keys.uri));
    tagged.setText("Thumb::MTime", QString::number(keys.mtime));
    if (keys.size)
        tagged.setText("Thumb::Size", QString::number(*keys.size));
    if (keys.imageWidth > 0 && keys.imageHeight > 0) {
        tagged.setText("Thumb::Image::Width", QString::number(keys.imageWidth));
        tagged.setText("Thumb::Image::Height", QString::number(keys.imageHeight));
    }
    if (!keys.mimeType.empty())
        tagged.setText("Thumb::Mimetype", Q(keys.mimeType));
    tagged.setText("Software",
                   QString::fromUtf8(ThumbnailSoftware().data(),
                                     static_cast<qsizetype>(ThumbnailSoftware().size())));

    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(tagged))
            throw ThumbnailWriteError("thumbnail " + path.string() +
                                      ": cannot encode PNG: " + writer.errorString().toStdString());
    }

    // mkstemp makes the file with mode 0600 whatever the umask; fchmod says so again for
    // systems that differ.
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw ThumbnailWriteError(Reason(path, "cannot make a temporary file"));
    bool ok = ::fchmod(fd, 0600) == 0;
    const char* at = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok) {
            at += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    const int savedErrno = errno;
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0)
        return;
    const int failure = ok ? errno : savedErrno;
    ::unlink(temporary.c_str());
    errno = failure;
    throw ThumbnailWriteError(Reason(path, "cannot write"));
}

} // namespace tessaly
