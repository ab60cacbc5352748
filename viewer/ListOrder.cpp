#include "viewer/ListOrder.h"

#include "ui/Cursors.h"
#include "ui/Dialogs.h"
#include "viewer/SearchFiles.h"

#include <QByteArray>
#include <QCollator>
#include <QCollatorSortKey>
#include <QFile>
#include <QLocale>
#include <QMimeData>
#include <QString>
#include <QUrl>
#include <algorithm>
#include <numeric>

namespace tessaly {

namespace {

// The user's locale's collator, ignoring case. The C locale's collator compares sort keys
// case-sensitively; its English counterpart gives the same order with case ignored.
QCollator ListCollator() {
    const QLocale locale = QLocale().language() == QLocale::C
                               ? QLocale(QLocale::English, QLocale::UnitedStates)
                               : QLocale();
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

QString PathText(const std::string& path) {
    return QFile::decodeName(
        QByteArray::fromRawData(path.data(), static_cast<qsizetype>(path.size())));
}

} // namespace

bool ListOrderLess(const std::string& a, const std::string& b) {
    // Compared through sort keys, as SortFileList does, so that both give one order.
    const QCollator collator = ListCollator();
    return collator.sortKey(PathText(a)).compare(collator.sortKey(PathText(b))) < 0;
}

std::optional<std::string> FirstNamedFile(const std::vector<std::string>& paths) {
    const QCollator collator = ListCollator();
    std::optional<std::string> first;
    QCollatorSortKey firstKey = collator.sortKey(QString());
    for (const std::string& path : paths) {
        if (ExtCheck(path)) {
            QCollatorSortKey key = collator.sortKey(PathText(path));
            if (!first || key.compare(firstKey) < 0) {
                first = path;
                firstKey = std::move(key);
            }
        } else if (IsFolder(path)) {
            return std::nullopt;
        }
    }
    return first;
}

void SortFileList(FileListType& list) {
    const QCollator collator = ListCollator();
    // Sort keys are computed once per entry, then compared as bytes: far cheaper than a
    // locale comparison per pair of a large list.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(list.size());
    for (const std::string& path : list)
        keys.push_back(collator.sortKey(PathText(path)));
    std::vector<std::size_t> order(list.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&keys](std::size_t a, std::size_t b) { return keys[a].compare(keys[b]) < 0; });
    FileListType sorted;
    sorted.reserve(list.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(list[i]));
    list = std::move(sorted);
}

std::string DisplayPath(std::string_view path) {
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())))
        .toStdString();
}

std::vector<std::string> LocalFiles(const QMimeData& mime) {
    std::vector<std::string> paths;
    for (const QUrl& url : mime.urls())
        if (url.isLocalFile())
            paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    return paths;
}

FileListType CollectFiles(const std::vector<std::string>& paths, QWidget* owner) {
    FileListType found;
    bool aborted = false;
    {
        const BusyCursor busy;
        for (const std::string& path : paths) {
            if (ExtCheck(path)) {
                found.push_back(path);
            } else if (IsFolder(path)) {
                SearchFiles(path, found, std::string(kJpegExtension), aborted);
                if (aborted)
                    break;
            }
        }
    }
    if (aborted)
        ShowPlainBox(QStringLiteral("検索を中断しました。"), owner);
    return found;
}

} // namespace tessaly
