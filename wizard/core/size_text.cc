#include "wizard/core/size_text.h"

#include <cmath>

namespace nvx::wizard {

namespace {

constexpr double kBytesPerMegabyte = 1048576.0;

// Rounds halves away from zero at `decimals` places.
double RoundTo(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

QString GroupThousands(const QString& digits) {
  QString grouped;
  const int length = static_cast<int>(digits.size());
  for (int i = 0; i < length; ++i) {
    if (i > 0 && (length - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace

QString FormatNumber(double value, int decimals) {
  const double rounded = RoundTo(value, decimals);
  QString text = QString::number(std::fabs(rounded), 'f', decimals);
  const qsizetype point = text.indexOf('.');
  QString whole = point < 0 ? text : text.left(point);
  QString fraction = point < 0 ? QString() : text.mid(point + 1);
  while (fraction.endsWith('0')) fraction.chop(1);
  QString result = GroupThousands(whole) + "." + fraction;
  if (rounded < 0) result.prepend('-');
  return result;
}

QString MegabytesText(double bytes) {
  return FormatNumber(RoundTo(bytes / kBytesPerMegabyte, 4), 3);
}

QString TotalMegabytesText(double bytes) {
  QString text = FormatNumber(bytes / kBytesPerMegabyte, 1);
  if (text.endsWith('.')) text += '0';
  return text;
}

QString TotalSpaceText(double bytes) {
  return "Total space required for backup: " + TotalMegabytesText(bytes) + " Megabytes";
}

QString SizeCountText(double bytes, bool checked) {
  if (!checked) return "0 Megabytes";
  return TotalMegabytesText(bytes) + " Megabytes";
}

QString SizeListEntry(const QString& name, double bytes) {
  return name + kListSizeSeparator + MegabytesText(bytes) + " Megabytes)";
}

QString ListEntryName(const QString& entry) {
  const qsizetype separator = entry.indexOf(kListSizeSeparator);
  return separator < 0 ? entry : entry.left(separator);
}

QString DesktopHeading(int files, int folders) {
  return "The Wizard found " + QString::number(files) + (files == 1 ? " file" : " files") +
         " and " + QString::number(folders) + (folders == 1 ? " folder" : " folders") +
         " on the Desktop";
}

QString PathSizeText(const QString& path, double bytes_without_subfolders,
                     double bytes_with_subfolders) {
  return "Space required to backup " + path + "\r\n\r\n" +
         "         Not including subfolders: " + TotalMegabytesText(bytes_without_subfolders) +
         " Megabytes" + "\r\n\r\n" +
         "         Including subfolders: " + TotalMegabytesText(bytes_with_subfolders) +
         " Megabytes";
}

}  // namespace nvx::wizard
