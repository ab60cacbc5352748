// The main window's handlers show the model's answer once, when the outermost of them ends.
#pragma once

#include "viewer/MainWindow.h"

namespace tessaly {

// Applies the model's answer to the controls when the outermost handler ends.
class MainWindow::ViewUpdate {
public:
    explicit ViewUpdate(MainWindow& form) : form_(form) { ++form_.applyDepth_; }
    ~ViewUpdate() {
        if (--form_.applyDepth_ == 0)
            form_.ApplyView();
    }
    ViewUpdate(const ViewUpdate&) = delete;
    ViewUpdate& operator=(const ViewUpdate&) = delete;

private:
    MainWindow& form_;
};

} // namespace tessaly
