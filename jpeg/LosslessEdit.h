// Lossless turns and crops of a user's JPEG file, in a few calls a window or the command line
// makes. None of them shows anything or asks: what needs the user's word (a trim) is told to
// the caller, which asks and calls again.
//
//     const Orientation now = TurnByTag(path, Turn::Right);      // instant, exact, reversible
//
//     BakeResult bake = Bake(path, Turn::None, TrimPolicy::Refuse);
//     if (!bake.trims.empty() && !bake.written) { /* ask: trim, re-encode or cancel? */
//         bake = Bake(path, Turn::None, TrimPolicy::Trim); }     // or TrimPolicy::Reencode
//
//     const Rect saved = CropToFile(path, selection, outPath);    // saved: the area kept
//
// The user's file: a turn by the tag of a file that holds the tag writes the tag's two bytes
// in place, once the file is checked to be the one read (device, inode, size, modification
// time). Every other change writes the whole file anew through WriteFileReplacing (a
// temporary file beside it, synced, renamed over it, the file's mode kept), and is given up
// with the file as it was when the file changed since it was read. A crop writes a new file
// and never the source.
//
// Errors: LosslessError (what cannot be done, and why), FileReadError, FileCreateError.
#pragma once

#include "base/PixelGeometry.h"
#include "jpeg/LosslessTransform.h"
#include "jpeg/OrientationTurn.h"
#include "picture/Orientation.h"

#include <functional>
#include <string>
#include <vector>

namespace tessaly {

// Turns the photo as it is shown by its EXIF orientation tag alone: the tag is set to the
// orientation that shows the picture turned by `turn` (a file without an EXIF block gets a
// minimal one holding the tag). The image data are not touched. Returns the new orientation.
Orientation TurnByTag(const std::string& path, Turn turn);

enum class TrimPolicy {
    Refuse, // a bake that needs a trim writes nothing and says what it needs
    Trim,   // the strips are trimmed
    // A bake that needs a trim decodes the picture instead, turns its pixels and encodes them
    // again at the quality the file's quantisation tables show (jpegfile/QuantTables.h), in
    // its sampling (turned with it), grey or colour and progressive or not as it was: a
    // second generation of loss, no strip lost. A bake that needs no trim stays lossless.
    Reencode,
};

struct BakeResult {
    // Whether the file was written. False when a trim was needed and refused, or when the
    // picture was already stored upright with orientation 1.
    bool written = false;
    // The strips the bake trims (written) or would trim (not written), as edges of the
    // upright picture.
    std::vector<EdgeTrim> trims;
    // The picture's upright size after the bake (or as it is, when nothing was written).
    Size size;
    // The quality the picture was encoded at again (TrimPolicy::Reencode); 0 when its blocks
    // were turned without loss.
    int quality = 0;
};

// Turns the stored picture itself, in its DCT blocks, so that it shows as it shows now turned
// by `turn` (Turn::None: as it shows now) with orientation 1. EXIF's pixel sizes follow the
// picture, its thumbnail is turned the same way, every other marker segment (EXIF, ICC
// profile, XMP, comments) is kept. A file holding more pictures (a multi-picture index: gain
// or depth maps, previews) is refused: its other pictures would be lost or no longer match.
// A re-encode refuses a CMYK file (its inks would become other colours) and a damaged one
// (what could not be decoded would be written as grey).
// `afterRead` runs once the picture is transformed, before anything is written (tests change
// the file there).
BakeResult Bake(const std::string& path, Turn turn, TrimPolicy trim,
                const std::function<void()>& afterRead = {});

// Saves the area `upright` (upright coordinates, as the picture is shown; cut to the
// picture) as a new JPEG file at `outPath`, cut from the DCT blocks: in the stored picture
// its left and top edges move out to the block grid, its right and bottom edges stay. The
// orientation tag and the marker segments are kept, EXIF's pixel sizes are the cut's, the
// EXIF thumbnail is dropped. `outPath` must not name the source, nor an existing file unless
// `replaceExisting`. Returns the area saved, in upright coordinates.
Rect CropToFile(const std::string& path, Rect upright, const std::string& outPath,
                bool replaceExisting = false);

// The area CropToFile(path, upright, ...) saves, in upright coordinates, without writing
// anything: what a save dialog tells before the name is chosen.
Rect CroppedArea(const std::string& path, Rect upright);

} // namespace tessaly
