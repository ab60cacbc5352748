#include "viewer/ImageList.h"

#include <QByteArray>
#include <QCollator>
#include <QCollatorSortKey>
#include <QFile>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <numeric>

namespace tessaly {

std::string ExtensionOf(std::string_view path) {
    const auto dot = path.rfind('.');
    if (dot == std::string_view::npos)
        return {};
    if (path.find('/', dot) != std::string_view::npos)
        return {};
    return std::string(path.substr(dot));
}

bool ExtCheck(std::string_view path) {
    return UpperAscii(ExtensionOf(path)) == kJpegExtension;
}

void SortFileList(FileListType& list) {
    // The C locale's collator compares sort keys case-sensitively; its English counterpart
    // gives the same order with case ignored.
    const QLocale locale = QLocale().language() == QLocale::C
                               ? QLocale(QLocale::English, QLocale::UnitedStates)
                               : QLocale();
    QCollator collator{locale};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Sort keys are computed once per entry, then compared as bytes: far cheaper than a
    // locale comparison per pair of a large list.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(list.size());
    for (const std::string& path : list)
        keys.push_back(collator.sortKey(QFile::decodeName(
            QByteArray::fromRawData(path.data(), static_cast<qsizetype>(path.size())))));
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

} // namespace tessaly
