#pragma once

#include <QCheckBox>
#include <functional>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <string>
#include <string_view>
#include <vector>

namespace tamrix {

inline QString Qt8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string Std8(const QString& text) { return text.toUtf8().toStdString(); }

// Controls named by their numbers, so tests and tools find them by id.
QLineEdit* MakeField(int id, int maxLength = 0, bool digitsOnly = false);
QLabel* MakeIntro(std::string_view text);
QLabel* MakeLabel(std::string_view text);
QPushButton* MakeButton(int id, std::string_view text);
QRadioButton* MakeRadio(int id, std::string_view text);
QCheckBox* MakeCheck(int id, std::string_view text);
// The font of lists whose columns line up by character, such as padded address octets.
QFont FixedPitchFont();
// A column width that shows text whole in the list's present font, cell margins included.
int ColumnWidthFor(const QTreeWidget* list, const QString& text);
// Fixes a field's width to fit text in its own font, frame and margins included.
void FitFieldTo(QLineEdit* field, const QString& text);
// Gives every cell of each row the tooltip tipOf makes from the row, for values wider than
// their column.
void SetRowToolTips(QTreeWidget* list, const std::function<QString(const QTreeWidgetItem&)>& tipOf);
// A list with one column per tab-separated part of its lines.
QTreeWidget* MakeList(int id, const QStringList& heads, const std::vector<int>& widths);
// Refills a list; selection is cleared, as a refilled list box has none.
void FillList(QTreeWidget* list, const std::vector<std::string>& lines);
// The selected row, or -1.
int SelectedRow(const QTreeWidget* list);

}  // namespace tamrix
