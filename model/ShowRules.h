// The rules of showing a picture file, apart from the window that shows it: what becomes of
// a file whose header cannot be used, which colour problems are reported, when a copy
// decoded ahead is already the final picture.
#pragma once

#include "model/Geometry.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tessaly {

// Why a picture's header could not be used.
enum class LoadFailure {
    Unreadable,  // the file could not be opened or read
    TooLarge,    // the picture is above the largest the program decodes (`size`)
    NotAPicture, // the data are not a readable JPEG
};

// The message that stops the command for a file that cannot be shown ("ファイル %s は開けません",
// "ファイル %s は大きすぎて表示できません (W x H)"); nothing for data that are not a picture,
// which show as an empty picture while the steps through the list go on.
std::optional<std::string> LoadFailureMessage(LoadFailure failure, std::string_view shownPath,
                                              Size size = {});

// Remembers what was reported, so that each problem is reported once (a colour profile that
// cannot be used, per file, however often the file is shown).
class ReportedOnce {
public:
    // True the first time for `key`.
    bool First(const std::string& key) { return reported_.insert(key).second; }

private:
    std::unordered_set<std::string> reported_;
};

// A neighbour's copy decoded ahead is the final picture when it is an exact display copy of
// just the size the control draws the picture at (both as the stored pixels have it): the
// full-size pixels that follow would draw the same.
constexpr bool IsFinalCopy(bool exactCopy, Size copy, Size drawn) {
    return exactCopy && copy.width == drawn.width && copy.height == drawn.height;
}

} // namespace tessaly
