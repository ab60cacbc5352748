// The main window's lossless commands: turns by the orientation tag, the turn baked into the
// pixels, and the selection saved cut from the DCT blocks. The work is the lossless editor's
// (jpeg/LosslessEdit); here the window asks, shows and names.
#include "base/Format.h"
#include "base/RegularFile.h"
#include "files/FileError.h"
#include "files/Trash.h"
#include "jpeg/JpegHeader.h"
#include "jpeg/LosslessEdit.h"
#include "overview/OverviewGrid.h"
#include "pick/SavePictureDialog.h"
#include "ui/Cursors.h"
#include "ui/Dialogs.h"
#include "viewer/FileCommands.h"
#include "viewer/MainWindow.h"
#include "viewer/PictureControl.h"
#include "viewer/SelectionShape.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <filesystem>

namespace tessaly {

namespace {

const char* EdgeName(EdgeTrim::Edge edge) {
    switch (edge) {
    case EdgeTrim::Edge::Left:
        return "左端";
    case EdgeTrim::Edge::Right:
        return "右端";
    case EdgeTrim::Edge::Top:
        return "上端";
    case EdgeTrim::Edge::Bottom:
        return "下端";
    }
    return "";
}

// "右端の 3 画素と下端の 5 画素を切り落とします。よろしいですか？"
QString TrimQuestion(const std::vector<EdgeTrim>& trims) {
    std::string strips;
    for (const EdgeTrim& trim : trims) {
        if (!strips.empty())
            strips += "と";
        strips += Format("%sの %d 画素", {EdgeName(trim.edge), trim.pixels});
    }
    return QString::fromStdString(strips + "を切り落とします。よろしいですか？");
}

// The file a change of `path` changes: a symbolic link's final target.
std::string ChangedFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    return error ? path : target.string();
}

} // namespace

void MainWindow::TurnRight() {
    TurnShown(Turn::Right);
}

void MainWindow::TurnLeft() {
    TurnShown(Turn::Left);
}

void MainWindow::TurnHalf() {
    TurnShown(Turn::Half);
}

void MainWindow::TurnShown(Turn turn) {
    const std::string path = shown_->ShownPath();
    if (path.empty()) {
        QApplication::beep(); // no picture shown: nothing to turn
        return;
    }
    const Orientation now = TurnByTag(path, turn); // throws before anything changed
    const std::string changed = ChangedFile(path);
    if (const auto stamp = StampOf(changed))
        files_->Record(EditStep{changed, path, *stamp,
                                [path, back = Reversed(turn)] { TurnByTag(path, back); }});

    if (ui_.overview)
        ui_.overview->FileChanged(path);
    // The pixels are those shown already: the picture is only laid out in its new orientation.
    const ShownPicture::Header header = shown_->Reoriented(now);
    ReportLayout(model_.PictureLoaded(header.stored, header.orientation));
    if (!model_.List().Empty())
        ShowOverlay(model_.List().Index());
    if (applyDepth_ == 0)
        ApplyView();
}

void MainWindow::BakeTurn() {
    const std::string path = shown_->ShownPath();
    if (path.empty()) {
        QApplication::beep();
        return;
    }
    // The photo as it was stays in the Trash by a second name, from where undo puts it back.
    // Where the Trash cannot keep it (no hard links there), the bake is made all the same and
    // only turning back undoes it.
    const std::string changed = ChangedFile(path);
    std::optional<TrashedFile> kept;
    try {
        kept = KeepInTrash(changed);
    } catch (const FileOperationError&) {
    }
    BakeResult bake;
    try {
        {
            const BusyCursor busy;
            bake = Bake(path, Turn::None, TrimPolicy::Refuse);
        }
        if (!bake.written && !bake.trims.empty()) {
            // Trim the strips, keep them by encoding the picture again at its quality, or cancel.
            const int answer =
                AskQuestion(TrimQuestion(bake.trims),
                            {QStringLiteral("切り落とす"), QStringLiteral("再圧縮する"),
                             QStringLiteral("キャンセル")},
                            this);
            if (answer == 0 || answer == 1) {
                const BusyCursor busy;
                bake =
                    Bake(path, Turn::None, answer == 0 ? TrimPolicy::Trim : TrimPolicy::Reencode);
            }
        }
    } catch (...) {
        if (kept)
            DropKept(*kept);
        throw;
    }
    if (kept) {
        // A file rewritten in place (a folder that refuses new names) leaves nothing to put back.
        const auto stamp = StampOf(changed);
        if (bake.written && stamp && StampOf(kept->TrashedPath()) == kept->stamp)
            files_->Record(EditStep{changed, path, *stamp, [kept = *kept, stamp = *stamp] {
                                        PutBackFromTrash(kept, stamp);
                                    }});
        else
            DropKept(*kept);
    }
    if (bake.written && ui_.overview)
        ui_.overview->FileChanged(path);
    // The stored pixels changed: the file is read and shown anew.
    if (bake.written && !model_.List().Empty())
        ShowEntry(model_.List().Index());
}

void MainWindow::SaveSelectionLossless() {
    const std::string path = shown_->ShownPath();
    if (path.empty() || !model_.CopyAndPickAllowed()) {
        QApplication::beep();
        return;
    }
    // The selection cut to the picture, in the coordinates the file's own orientation shows
    // (those of the view, unless the view shows the pixels as stored).
    const Size shown = model_.PictureSize();
    const Rect selected = model_.SelectedArea();
    const int left = std::max(selected.left, 0);
    const int top = std::max(selected.top, 0);
    const int right = std::min(selected.left + selected.width, shown.width);
    const int bottom = std::min(selected.top + selected.height, shown.height);
    if (right <= left || bottom <= top) {
        QApplication::beep(); // nothing of the picture is selected
        return;
    }
    const UprightMapping view = model_.Mapping();
    const Rect stored = view.ToStored(Rect{left, top, right - left, bottom - top});
    const Orientation own = ReadJpegHeader(RegularFile(path)).orientation;
    const Rect upright = UprightMapping(own, view.Stored()).ToUpright(stored);

    const Rect saved = CroppedArea(path, upright);
    const QString caption = QString::fromStdString(
        Format("選択範囲を無劣化で保存 (%d x %d)", {saved.width, saved.height}));
    // While the dialog is open the outline shows the area saved, without the handle.
    const Rect savedInView = view.ToUpright(UprightMapping(own, view.Stored()).ToStored(saved));
    const Rect outline = model_.DisplayedArea(savedInView);
    ui_.selectionFrame->setGeometry(outline.left, outline.top, outline.width, outline.height);
    ui_.selectionHandle->hide();
    const std::optional<QString> chosen =
        cropSaveDialog_->Execute(caption, QString::fromStdString(saveFolder_->Path()));
    if (applyDepth_ == 0)
        ApplyView(); // the outline of the selection again

    if (!chosen)
        return;
    // The dialog asked before an existing file is replaced; the source is never replaced.
    const BusyCursor busy;
    CropToFile(path, upright, QFile::encodeName(*chosen).toStdString(), QFileInfo::exists(*chosen));
    saveFolder_->Set(SaveFolderOf(*chosen));
}

} // namespace tessaly
