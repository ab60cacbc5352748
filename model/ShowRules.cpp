#include "model/ShowRules.h"

#include "base/Format.h"

namespace tessaly {

std::optional<std::string> LoadFailureMessage(LoadFailure failure, std::string_view shownPath,
                                              Size size) {
    const std::string path(shownPath);
    switch (failure) {
    case LoadFailure::Unreadable:
        return Format("ファイル %s は開けません", {path});
    case LoadFailure::TooLarge:
        return Format("ファイル %s は大きすぎて表示できません (%d x %d)",
                      {path, size.width, size.height});
    case LoadFailure::NotAPicture:
        break;
    }
    return std::nullopt;
}

} // namespace tessaly
