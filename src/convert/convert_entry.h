// Whole conversions of a codeplug image between formats 5.8, 5.9 and 5.10, in place in the
// caller's 32768-byte buffer, one version step at a time.
//
// Both entry points answer ParmsStepFault::None when the image was converted whole, and store
// the change of the image length in words in `lengthChange`; the caller then writes back
// (transferred byte count + 2 x lengthChange) bytes. Any other answer refuses the conversion:
//   NoConverter     the formats are not a pair this program converts (indices other than 3 to 5,
//                   or in the wrong order for the entry point); the image is untouched;
//   UnexpectedShape the image is not a valid image of the `from` format; untouched when found
//                   before the first change, else partly converted;
//   ImageTooLarge   the result would not fit in the buffer; partly converted.
// A refused image must not be written back to the radio. `lengthChange` always holds the image
// length now minus the image length before.
//
// Formats below 5.10 store block word 2 as 12 + 4 bits (header length, descriptor count) and
// 5.10 as 11 + 5, which is what every accessor reads. So every conversion between different
// formats widens that word in every block before its first step and, when it ends below 5.10,
// narrows it after its last; a refresh of a 5.9 image is framed the same way.
#pragma once

#include "convert/format_convert_base.h"

#include <cstdint>

namespace aurex {

// From format index `from` up to `to` (3, 4 or 5; equal indices refresh the image in its own
// format, which changes content defaults but no layout or version).
ParmsStepFault ParmsUpgrade(int32_t& lengthChange, uint16_t* image, uint8_t from, uint8_t to);
// From format index `from` (the last argument) down to `to`.
ParmsStepFault ParmsDowngrade(int32_t& lengthChange, uint16_t* image, uint8_t to, uint8_t from);

enum class ParmsHeaderWidth : uint8_t {
    Narrow, // header length bits 11-0, descriptor count bits 15-12: formats below 5.10
    Wide,   // header length bits 10-0, descriptor count bits 15-11: 5.10 and every converter
};
// Rewrites block word 2 of every block of the chain into `width`, assuming it holds the other
// layout. False, with nothing changed, when some block cannot be expressed in the new layout
// (a header length of 2048 or more when widening, more than 15 descriptors when narrowing) or
// the chain cannot be walked to its end. The trailer is never touched.
bool ParmsSetHeaderCountWidth(uint16_t* image, ParmsHeaderWidth width);

} // namespace aurex
