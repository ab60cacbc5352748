// The pick window: an always-on-top window that shows one area picked out of a picture,
// stretched into its picture control, and copies or saves it at its actual size or at the
// size it is shown, optionally sepiaItem or monochrome.
//
// A new window sets itself up from what the main window's pick hands it (ShowPick); a pick
// taken while the picture's colour conversion was still being made gets it when it is ready
// (ColoursKnown).
#pragma once

#include "colour/DisplayColours.h"
#include "model/Geometry.h"
#include "model/SaveFolder.h"
#include "pick/PickImage.h"
#include "pick/SavePictureDialog.h"
#include "picture/Bitmap.h"
#include "resample/OutputPicture.h"

#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;
class QCloseEvent;
class QContextMenuEvent;

namespace tessaly {

class TwoColumnMenu;

// What a pick window shows: the picked area at actual size (upright), the size it is shown
// at, the outer position of the window and the pick's number; the conversion to the
// display's colours it is drawn with and the colour profile its copies and saves carry (those
// of the picture it was picked from; none: as it is).
struct PickSetup {
    Bitmap picture;
    Size shown;
    QPoint position;
    int number = 0;
    std::shared_ptr<const ColourTransform> colours;
    std::vector<std::uint8_t> profile;
};

class PickWindow : public QWidget {
    Q_OBJECT
public:
    // The pick window's outer size before a pick sizes it.
    static constexpr int kStartOuterWidth = 123;
    static constexpr int kStartOuterHeight = 106;
    // The size of a copy or save: the pick's own, or the size it is shown at.
    enum class OutputSize { Actual, Shown };
    // The compression level of a saved file (quality 94).
    static constexpr int kSaveLevel = 8;

    // The save folder is the program's, shared by every window.
    explicit PickWindow(SaveFolder& saveFolder, QWidget* parent = nullptr);
    ~PickWindow() override;

    // The window's controls, owned by the window.
    PickImage* picture = nullptr;
    TwoColumnMenu* menu = nullptr;
    QAction* copyActualItem = nullptr;
    QAction* copyShownItem = nullptr;
    QAction* saveActualItem = nullptr;
    QAction* saveShownItem = nullptr;
    QAction* closeItem = nullptr;
    QAction* sepiaItem = nullptr;
    QAction* monochromeItem = nullptr;
    // This window's save dialog; tests put their own in its place.
    std::unique_ptr<SavePictureDialog> saveDialog;

    // True from creation until the first resize notification, which it swallows.
    bool firstResize = true;

    // Shows a pick in this order: the picture control at (0, 0) in the display size, its
    // picture, the client area in the display size, the position, the caption
    // "取出[n] サイズ(W,H)", the control's hint "p%表示 実サイズ(W,H)", then the window.
    void ShowPick(PickSetup setup);
    // The conversion of the picture the pick was taken from, made after the pick: the
    // picture is drawn anew with it, and a profile the picture is not shown with
    // (ProfileUnused) no longer goes with its copies and saves.
    void ColoursKnown(const ColourConversion& conversion);
    // The colour profile the pick's copies and saves carry (none: empty).
    const std::vector<std::uint8_t>& Profile() const { return profile_; }
    // A resize of the window: re-fits the picture, except the first time.
    void WindowResized();
    // Fits the picture control into the client area (shrinking only, centred) and rewrites its
    // hint.
    void FitPicture();

    // Makes the output picture (at the pick's size or the control's, with the checked effect) and
    // puts it on the clipboard or saves it as a JPEG file of level 8, either with the pick's
    // colour profile. The busy cursor covers the whole operation and is released on failure
    // too.
    void Output(const QString& fileName, OutputSize size, bool toClipboard);
    // Asks for a file name in the save dialog, opening in the save folder with this window's
    // last name, and saves; after a successful save the save folder becomes the file's. Cancelling
    // changes nothing.
    void SaveAs(OutputSize size);

    void CopyActualSize();
    void CopyShownSize();
    void SaveActualSize();
    void SaveShownSize();
    void ClosePick();
    void ToggleSepia();
    void ToggleMonochrome();
    // The effect whose item is checked ("セピア" or "モノクロ"; at most one is).
    PictureEffect Effect() const;

    // The file name chosen last in this window's save dialog (empty before the first).
    const QString& LastFileName() const { return lastFileName_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenu();
    // An effect item chosen: it becomes the effect, or none when it was the effect already.
    void ChooseEffect(PictureEffect effect);

    SaveFolder& saveFolder_;
    QString lastFileName_;
    std::vector<std::uint8_t> profile_;
};

} // namespace tessaly
