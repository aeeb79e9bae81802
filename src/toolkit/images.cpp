#include "toolkit/images.hpp"

#include <QAbstractButton>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <cmath>

#include "toolkit/objects.hpp"

namespace kelvane::toolkit {

using runtime::Value;

Value readJpeg(const std::filesystem::path& file) {
  application();  // the image plug-ins are found through the application
  QImageReader reader(QString::fromStdString(file.string()), "jpg");
  QImage image = reader.read();
  if (image.isNull())
    throw runtime::Error("Cannot read the JPEG image \"" + file.string() +
                         "\": " + reader.errorString().toStdString());
  return imageToValue(image);
}

Value imageToValue(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  const auto rows = static_cast<std::size_t>(image.height());
  const auto cols = static_cast<std::size_t>(image.width());
  std::vector<double> planes[3];
  for (auto& p : planes)
    p.resize(rows * cols);
  for (std::size_t r = 0; r < rows; ++r) {
    const uchar* line = image.constScanLine(static_cast<int>(r));
    for (std::size_t c = 0; c < cols; ++c)
      for (int k = 0; k < 3; ++k)
        planes[k][c * rows + r] = line[3 * c + k];  // column-major
  }
  return Value::list({Value::matrix(rows, cols, std::move(planes[0])),
                      Value::matrix(rows, cols, std::move(planes[1])),
                      Value::matrix(rows, cols, std::move(planes[2]))});
}

QImage imageFromValue(const Value& rgb) {
  if (!rgb.isList() || rgb.items().size() != 3)
    throw runtime::Error("An image must be a list of three matrices (red, green, blue), not " +
                         rgb.kindName());
  const auto& p = rgb.items();
  const std::size_t rows = p[0].rows(), cols = p[0].cols();
  for (const Value& plane : p)
    if (!plane.isReal() || plane.rows() != rows || plane.cols() != cols)
      throw runtime::Error("The three planes of an image must be real matrices of one size");
  QImage image(static_cast<int>(cols), static_cast<int>(rows), QImage::Format_RGB888);
  const std::span<const double> d[3] = {p[0].realData(), p[1].realData(), p[2].realData()};
  for (std::size_t r = 0; r < rows; ++r) {
    uchar* line = image.scanLine(static_cast<int>(r));
    for (std::size_t c = 0; c < cols; ++c)
      for (int k = 0; k < 3; ++k) {
        const double x = d[k][c * rows + r];
        line[3 * c + k] = static_cast<uchar>(std::isfinite(x) ? std::clamp(x, 0.0, 255.0) : 0);
      }
  }
  return image;
}

Value imageData(QWidget* control) {
  QPixmap pixmap;
  if (auto* l = qobject_cast<QLabel*>(control))
    pixmap = l->pixmap();
  else if (auto* b = qobject_cast<QAbstractButton*>(control))
    pixmap = b->icon().pixmap(b->iconSize());
  else
    throw runtime::Error(describeObject(control) + " has no property \"CData\"");
  return pixmap.isNull() ? Value() : imageToValue(pixmap.toImage());
}

void setImageData(QWidget* control, const Value& rgb) {
  const QPixmap pixmap = rgb.numel() == 0 ? QPixmap() : QPixmap::fromImage(imageFromValue(rgb));
  if (auto* l = qobject_cast<QLabel*>(control)) {
    l->setPixmap(pixmap);
  } else if (auto* b = qobject_cast<QAbstractButton*>(control)) {
    b->setIcon(QIcon(pixmap));
    b->setIconSize(pixmap.size());
  } else {
    throw runtime::Error(describeObject(control) + " has no property \"CData\"");
  }
}

}  // namespace kelvane::toolkit
