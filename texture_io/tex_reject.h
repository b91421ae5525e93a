// Why the image readers refused the last file: one table of coded reasons,
// which a tool can query after a failed load to say more than the loader's
// result code. A reader gives a reason only once the file looked like its own
// format (its signature, or for the TGA and bare DIB readers, which have
// none, a header of their own) and then proved damaged or beyond what it
// decodes; a file of another format leaves it silent. The loader's results
// do not depend on the reasons.
#pragma once

#include <cstdint>
#include <string>

namespace qv::tex {

// The readers, in the order the loader tries them.
enum class TexReader : std::uint32_t { Bmp, Ppm, Dds, Jpeg, Png, Tga, Dib, Count };

// Each reason and its text.
#define QV_TEX_REJECTIONS(X)                                                \
  X(None, "")                                                               \
  X(TooLarge, "image larger than the loader decodes")                       \
  X(NoPixels, "image without pixels (width or height 0)")                   \
  X(CutShort, "file cut short")                                             \
  X(SizeFieldPastEnd, "file size field larger than the file")               \
  X(BadInfoHeader, "bad bitmap information header")                         \
  X(BadHeader, "bad header")                                                \
  X(UnsupportedLayout, "unsupported compression, bit depth or colour type") \
  X(UnknownMasks, "bit masks of no known format")                           \
  X(BadSample, "sample not a number up to the maximum")                     \
  X(UnknownPixelFormat, "unsupported pixel format")                         \
  X(SomeCubeFaces, "some cube faces but not all six")                       \
  X(BadColourMap, "colour map of an unknown entry size")                    \
  X(ColourMapPastEnd, "colour map past entry 255")                          \
  X(UnsupportedColours, "unsupported colour space")                         \
  X(ScanCutShort, "scan cut short")                                         \
  X(DamagedData, "damaged data")

enum class TexRejection : std::uint32_t {
#define QV_TEX_REJECTION_NAME(name, text) name,
  QV_TEX_REJECTIONS(QV_TEX_REJECTION_NAME)
#undef QV_TEX_REJECTION_NAME
      Count
};

const char* TexReaderName(TexReader reader);  // "BMP", "PPM", ...
const char* TexRejectionText(TexRejection why);

// The reason `reader` gave while the last image was read on this thread:
// from the start of the last ReadImage, through the decoding of its pixels
// that the loader may do later. None when it gave none.
TexRejection LastRejection(TexReader reader);
// The decoding library's own words behind DamagedData (for example
// "IDAT: CRC error"), or more about another reason; "" when there are none.
const char* LastRejectionDetail(TexReader reader);
// Every reason of the last read in the readers' order, as
// "JPEG: scan cut short; PNG: damaged data (IDAT: CRC error)"; "" when none.
std::string LastRejectionsText();

}  // namespace qv::tex
