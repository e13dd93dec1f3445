// The manifest's schema, which its writer and its reader share: the name of every field, the
// fixed values the writer gives some of them, and the ranges the reader holds others to.
//
//   {"frames": [ {"filename", "frame": {x, y, w, h}, "rotated", "trimmed",
//                 "spriteSourceSize": {x, y, w, h}, "sourceSize": {w, h}, "duration"}, ... ],
//    "meta": {"app", "version", "image", "format", "size": {w, h}, "scale",
//             "frameTags": [ {"name", "from", "to", "direction"}, ... ],
//             "vostrel": {"source", "pictures", "framesPerPicture", "palettes", "transparent",
//                         "padding", "columns", "fps", "header",
//                         "sheets": [ {"image", "palette", "fourthBytes"} ],
//                         "frames": [ {"width", "height", "storage", "words"} ] }}}
//
// The first part is the JSON-array form that sprite editors export and game engines import (in
// their hash form, "frames" is an object of frames by name, in order); meta.vostrel is ours:
// what vostrel-pack needs to read the sheets back, and with the sheets the whole .ART file.
#pragma once

#include <cstdint>

namespace vostrel::manifest {

// ---- fields -----------------------------------------------------------------------------------

inline constexpr const char* kFrames = "frames";  // the root's list of frames, and ours
inline constexpr const char* kMeta = "meta";

// An entry of "frames".
inline constexpr const char* kFilename = "filename";
inline constexpr const char* kFrame = "frame";  // the frame's rectangle on the sheet
inline constexpr const char* kRotated = "rotated";
inline constexpr const char* kTrimmed = "trimmed";  // smaller than its cell (sourceSize)
inline constexpr const char* kSpriteSourceSize = "spriteSourceSize";  // where in the cell
inline constexpr const char* kSourceSize = "sourceSize";              // the cell's size
inline constexpr const char* kDuration = "duration";                  // milliseconds

// A rectangle's and a size's members.
inline constexpr const char* kX = "x";
inline constexpr const char* kY = "y";
inline constexpr const char* kW = "w";
inline constexpr const char* kH = "h";

// Members of "meta".
inline constexpr const char* kApp = "app";
inline constexpr const char* kVersion = "version";
inline constexpr const char* kImage = "image";  // the sheet's file name (also in our sheets)
inline constexpr const char* kFormat = "format";
inline constexpr const char* kSize = "size";  // the sheet's size
inline constexpr const char* kScale = "scale";
inline constexpr const char* kFrameTags = "frameTags";
inline constexpr const char* kVostrel = "vostrel";

// An entry of "frameTags": frames "from" to "to" of the list, both included.
inline constexpr const char* kName = "name";
inline constexpr const char* kFrom = "from";
inline constexpr const char* kTo = "to";
inline constexpr const char* kDirection = "direction";

// Members of "meta.vostrel".
inline constexpr const char* kSource = "source";  // the .ART file's name, without its directory
inline constexpr const char* kPictures = "pictures";
inline constexpr const char* kFramesPerPicture = "framesPerPicture";
inline constexpr const char* kPalettes = "palettes";
inline constexpr const char* kTransparent = "transparent";  // an index, or null
inline constexpr const char* kPadding = "padding";
inline constexpr const char* kColumns = "columns";
inline constexpr const char* kFps = "fps";
inline constexpr const char* kHeader = "header";  // the file's 33 header words, as stored
inline constexpr const char* kSheets = "sheets";  // each with "image" and "palette"
inline constexpr const char* kPalette = "palette";
inline constexpr const char* kFourthBytes = "fourthBytes";  // of the palette's 256 entries

// An entry of "meta.vostrel.frames": the frame as the file stores it.
inline constexpr const char* kWidth = "width";
inline constexpr const char* kHeight = "height";
inline constexpr const char* kStorage = "storage";
inline constexpr const char* kWords = "words";  // the four words nobody interprets

// ---- values -----------------------------------------------------------------------------------

inline constexpr const char* kApplication = "vostrel-sheet";  // meta.app
inline constexpr const char* kIndexedFormat = "I8";           // meta.format: 8-bit indices
inline constexpr const char* kUnscaled = "1";                 // meta.scale
inline constexpr const char* kForward = "forward";            // a tag's direction
inline constexpr const char* kPictureTag = "Picture ";        // then the picture from 1
inline constexpr const char* kRaw = "raw";                    // a frame's storage
inline constexpr const char* kRunLength = "run-length";

// The frame rates the durations are written for (meta.vostrel.fps), and the default.
inline constexpr std::int32_t kMinFps = 1;
inline constexpr std::int32_t kMaxFps = 100;
inline constexpr std::int32_t kDefaultFps = 8;

}  // namespace vostrel::manifest
