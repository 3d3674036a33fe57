#pragma once

// The pictures of the window, drawn by our own code: the four radio variants and our logo.

#include <string_view>

class QPainter;
class QRect;

namespace aurex {

// Paints the picture that a picture control of this name shows, scaled into `area`. Returns
// false for a name that has no picture.
bool PaintPicture(QPainter& painter, const QRect& area, std::string_view pictureName);

} // namespace aurex
