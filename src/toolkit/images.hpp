// Images for controls: JPEG files decoded through Qt's image reader, and the by-name form of an
// RGB image, a 1 x 3 list of m x n matrices (red, green, blue) holding 0 to 255.
#pragma once

#include <filesystem>

#include "runtime/value.hpp"

class QImage;
class QWidget;

namespace kelvane::toolkit {

// Reads a JPEG file; throws runtime::Error naming the file when it cannot be read or decoded.
runtime::Value readJpeg(const std::filesystem::path& file);

runtime::Value imageToValue(const QImage& image);
QImage imageFromValue(const runtime::Value& rgb);

// "CData" of a label or button: the image it shows (empty when none).
runtime::Value imageData(QWidget* control);
void setImageData(QWidget* control, const runtime::Value& rgb);

}  // namespace kelvane::toolkit
