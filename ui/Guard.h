// Event handlers run their bodies through Guarded: a C++ exception that escapes a handler
// ends that command and is shown in the error box; the program goes on. Qt forbids
// exceptions through its own frames, so every handler catches at its own boundary.
#pragma once

#include "ui/Dialogs.h"

#include <QString>
#include <exception>
#include <new>

namespace tessaly {

// The message an exception shows in the error box (UTF-8 what() text).
QString ExceptionMessage(const std::exception& e);

template <typename Body> void Guarded(Body&& body, QWidget* parent = nullptr) noexcept {
    try {
        body();
    } catch (const std::bad_alloc&) {
        ShowErrorBox(QStringLiteral("メモリが不足しています"), parent);
    } catch (const std::exception& e) {
        ShowErrorBox(ExceptionMessage(e), parent);
    } catch (...) {
        ShowErrorBox(QStringLiteral("不明なエラーが発生しました"), parent);
    }
}

} // namespace tessaly
