#pragma once
// DescribeImage: the image header of a host frame, so that the image library
// can wrap the host's pixels without copying them.
#include "stdfx/VfbmiHeader.h"
#include "tarn/Tarn.h"

// Fills header from frame. Layout code 4 gives the 144-byte form (32-bit,
// BI_RGB); a code with bit 0 or 1 set gives the 160-byte YUV form ("@YUV",
// 4:2:2 UYVY, 32 bits with a separate alpha plane, else 24; width rounded
// down to even). Every other field is zero except: height negative for
// top-down rows, planes 1, the alpha, format, interlaced and image flags
// from the format facet, the format value, -1 at byte 104 and the row
// pitch. False, header unspecified, for any other layout code, and for a
// YUV frame whose alpha source reports alpha but yields no plane, or a
// frame without a format facet, of a negative size, with rows shorter than
// their pixels (bytes per row below 4 x width, 2 x width for YUV), with an
// alpha plane without pixels, narrower (bytes per row) or shorter than the
// frame, or of a header the image library cannot address (IsDIBHeaderSane:
// a side over 16384). header must hold 160 bytes.
bool DescribeImage(tagYUVBMINFOHEADER& header, Tarn::IFXImage* frame);
