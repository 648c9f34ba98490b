// The size texts of the wizard's pages. Megabytes are bytes / 1048576. Two number
// formats are used: up to three decimals for list entries and file sizes, and one decimal
// for totals, grouped by thousands with ",". Like the number formats they follow, a whole
// number keeps its decimal point ("12."); totals then get a "0" appended ("12.0").
#ifndef NVX_WIZARD_CORE_SIZE_TEXT_H_
#define NVX_WIZARD_CORE_SIZE_TEXT_H_

#include <QString>

namespace nvx::wizard {

// The separator between a folder's name and its size in a page's list.
inline constexpr char kListSizeSeparator[] = "      (";

// `value` rounded to `decimals` decimals, thousands grouped with ",", trailing zeros of
// the decimals dropped, the "." always present: FormatNumber(1234.5, 3) is "1,234.5",
// FormatNumber(12, 1) is "12.", FormatNumber(0.25, 1) is "0.3" (halves away from zero).
QString FormatNumber(double value, int decimals);

// bytes / 1048576 rounded to 4 decimals, formatted with up to 3: "1,234.568".
QString MegabytesText(double bytes);

// bytes / 1048576 with one decimal and the "0" rule: "12.0", "0.5", "1,024.0".
QString TotalMegabytesText(double bytes);

// "Total space required for backup: " + TotalMegabytesText + " Megabytes".
QString TotalSpaceText(double bytes);

// SizeCount of the My Documents page: TotalMegabytesText + " Megabytes", or
// "0 Megabytes" when My Documents is not checked.
QString SizeCountText(double bytes, bool checked);

// A list entry: name + "      (" + MegabytesText + " Megabytes)".
QString SizeListEntry(const QString& name, double bytes);

// The name of a list entry: its text up to "      (" (the whole text without one).
QString ListEntryName(const QString& entry);

// Heading of the desktop page: "The Wizard found 1 file and 3 folders on the Desktop".
QString DesktopHeading(int files, int folders);

// PathSizeLabel of AddFolderConfirm: "Space required to backup " + path, the size without
// and with subfolders (TotalMegabytesText + " Megabytes"), separated by two CR LF.
QString PathSizeText(const QString& path, double bytes_without_subfolders,
                     double bytes_with_subfolders);

}  // namespace nvx::wizard

#endif  // NVX_WIZARD_CORE_SIZE_TEXT_H_
