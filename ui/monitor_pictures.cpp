// The monitor's pictures: the plot saved pixel for pixel, or with a legend that names what it
// shows.
#include <QBuffer>
#include <QFileInfo>
#include <QPainter>
#include <cerrno>

#include "file_access.h"
#include "main_window.h"
#include "monitor_window.h"
#include "user_prompts.h"
#include "velan_error.h"

namespace {
// The picture as a PNG file, saved as the data files are: whole on the disk or not at all, with
// the system's reason when not.
void writePicture(const QImage& picture, const QString& fileName) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG")) throw VelanError(fileErrorMessage(ENOMEM));
  saveFile(fileName, [&png](QIODevice& file) { writeBytes(file, png); });
}
}  // namespace

bool TForm2::savePicture(const QString& fileName) const {
  try {
    writePicture(surface_.image(), fileName);
    return true;
  } catch (const VelanError&) {
    return false;
  }
}

std::vector<TForm2::LegendLine> TForm2::legendLines() const {
  std::vector<LegendLine> lines;
  const MonitorCaptions& captions = monitor_.captions();
  for (int c = 1; c <= kChannels; ++c) {
    if (!main_.channelSelected(c)) continue;
    lines.push_back({c, QStringLiteral("Ch. %1 (%2)   scale %3, midpoint %4")
                            .arg(c)
                            .arg(main_.unitLabel(c), captions.text(MonitorCaptions::scale(c)),
                                 captions.text(MonitorCaptions::mid(c)))});
  }
  lines.push_back({0, QStringLiteral("Time: %1 min from %2 min")
                          .arg(captions.text(MonitorCaptions::TimeScale),
                               captions.text(MonitorCaptions::TimeStart))});
  lines.push_back({0, QStringLiteral("Experiment: ") + main_.experiment()});
  lines.push_back({0, QStringLiteral("File: ") + main_.fileLabel()});
  lines.push_back({0, QStringLiteral("Start: ") + main_.startTime()});
  return lines;
}

QImage TForm2::pictureWithLegend() const {
  const QImage plain = surface_.image();
  const std::vector<LegendLine> lines = legendLines();
  constexpr int kLine = 18;
  constexpr int kMargin = 8;
  QImage picture(plain.width(),
                 plain.height() + 2 * kMargin + kLine * static_cast<int>(lines.size()),
                 QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.drawImage(0, 0, plain);  // the plain picture, pixel for pixel, on top
  QFont font = painter.font();
  font.setPixelSize(12);
  painter.setFont(font);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int top = plain.height() + kMargin + kLine * static_cast<int>(i);
    int left = kMargin;
    if (lines[i].channel > 0) {  // the channel's colour as its marks have it
      painter.fillRect(left, top + 3, 12, 12,
                       QColor::fromRgb(kChannelColors[static_cast<size_t>(lines[i].channel)]));
      left += 20;
    }
    painter.setPen(Qt::black);
    painter.drawText(QRect(left, top, picture.width() - left - kMargin, kLine),
                     Qt::AlignLeft | Qt::AlignVCenter, lines[i].text);
  }
  return picture;
}

void TForm2::savePictureClick() { savePictureTo(QStringLiteral("Save picture as"), false); }

void TForm2::savePictureWithLegendClick() {
  savePictureTo(QStringLiteral("Save picture with legend"), true);
}

void TForm2::savePictureTo(const QString& title, bool withLegend) {
  // The two pictures of one view get names of their own: one never replaces the other unasked.
  QString proposed = main_.proposedFileName("png");
  if (withLegend) proposed.insert(proposed.size() - 4, QStringLiteral(" legend"));
  UserPrompts::FileDialog dialog{title, QStringLiteral("PNG image (*.png)"), QStringLiteral("png"),
                                 pictureDirectory_, proposed};
  const QString name = prompts_.saveFileName(dialog);
  if (name.isEmpty() || !main_.mayWrite(name)) return;
  pictureDirectory_ = QFileInfo(name).absolutePath();
  try {
    writePicture(withLegend ? pictureWithLegend() : surface_.image(), name);
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
  }
}
