#include "control_panel/views/page_widgets.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionFrame>
#include <cmath>

namespace tamrix {

QLineEdit* MakeField(int id, int maxLength, bool digitsOnly) {
  auto* field = new QLineEdit;
  field->setObjectName(QString::number(id));
  if (maxLength > 0) field->setMaxLength(maxLength);
  if (digitsOnly) {
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
  }
  return field;
}

QLabel* MakeIntro(std::string_view text) {
  auto* label = new QLabel(Qt8(text));
  label->setWordWrap(true);
  return label;
}

QLabel* MakeLabel(std::string_view text) { return new QLabel(Qt8(text)); }

QPushButton* MakeButton(int id, std::string_view text) {
  auto* button = new QPushButton(Qt8(text));
  button->setObjectName(QString::number(id));
  button->setAutoDefault(false);
  return button;
}

QRadioButton* MakeRadio(int id, std::string_view text) {
  auto* radio = new QRadioButton(Qt8(text));
  radio->setObjectName(QString::number(id));
  return radio;
}

QCheckBox* MakeCheck(int id, std::string_view text) {
  auto* box = new QCheckBox(Qt8(text));
  box->setObjectName(QString::number(id));
  return box;
}

QFont FixedPitchFont() {
  return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

namespace {

// Whole pixels that hold text: a rounded-down advance gets the text elided or scrolled.
int TextWidth(const QWidget* widget, const QString& text) {
  return static_cast<int>(std::ceil(QFontMetricsF(widget->font()).horizontalAdvance(text)));
}

}  // namespace

int ColumnWidthFor(const QTreeWidget* list, const QString& text) {
  // Item views inset a cell's text by the focus frame's margin and one pixel on each side.
  const int inset = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
  return TextWidth(list, text) + 2 * inset;
}

void FitFieldTo(QLineEdit* field, const QString& text) {
  QStyleOptionFrame frame;
  frame.initFrom(field);
  frame.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, field);
  const QMargins margins = field->textMargins() + field->contentsMargins();
  // A line edit keeps two pixels between its frame and its text, and a pixel for the cursor.
  const QSize inner(
      TextWidth(field, text) + 2 * 2 + 1 + margins.left() + margins.right(),
      field->fontMetrics().height());
  field->setFixedWidth(
      field->style()->sizeFromContents(QStyle::CT_LineEdit, &frame, inner, field).width());
}

void SetRowToolTips(QTreeWidget* list,
                    const std::function<QString(const QTreeWidgetItem&)>& tipOf) {
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    const QString tip = tipOf(*item);
    for (int column = 0; column < list->columnCount(); ++column) item->setToolTip(column, tip);
  }
}

QTreeWidget* MakeList(int id, const QStringList& heads, const std::vector<int>& widths) {
  auto* list = new QTreeWidget;
  list->setObjectName(QString::number(id));
  list->setColumnCount(static_cast<int>(heads.size()));
  list->setHeaderLabels(heads);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  for (std::size_t i = 0; i < widths.size(); ++i) list->setColumnWidth(static_cast<int>(i), widths[i]);
  list->header()->setStretchLastSection(true);
  return list;
}

void FillList(QTreeWidget* list, const std::vector<std::string>& lines) {
  const QSignalBlocker block(list);
  list->clear();
  for (const std::string& line : lines) {
    auto* item = new QTreeWidgetItem(Qt8(line).split(QLatin1Char('\t')));
    list->addTopLevelItem(item);
  }
  list->setCurrentItem(nullptr);
  list->clearSelection();
}

int SelectedRow(const QTreeWidget* list) {
  const auto selected = list->selectedItems();
  if (selected.isEmpty()) return -1;
  return list->indexOfTopLevelItem(selected.front());
}

}  // namespace tamrix
