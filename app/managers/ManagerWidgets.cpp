#include "app/managers/ManagerWidgets.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <filesystem>

namespace app {

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The classic look of these windows: white cells, black text, navy selection.
void ClassicPalette(QWidget* w) {
  QPalette p = w->palette();
  p.setColor(QPalette::Base, Qt::white);
  p.setColor(QPalette::Text, Qt::black);
  p.setColor(QPalette::Highlight, QColor(0x00, 0x00, 0x80));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Disabled, QPalette::Base, QColor(0xf0, 0xf0, 0xf0));
  w->setPalette(p);
}

const QColor kGrey(0xc0, 0xc0, 0xc0);       // silver
const QColor kHeader(0xc0, 0xff, 0xc0);     // light green

// Draws each row in the colours its view gives it (the entry in use red, yellow when selected).
template <typename View>
class TInUseDelegate : public QStyledItemDelegate {
 public:
  explicit TInUseDelegate(View* view) : QStyledItemDelegate(view), view_(view) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->palette.setColor(QPalette::Text, view_->TextColour(index.row(), false));
    option->palette.setColor(QPalette::HighlightedText, view_->TextColour(index.row(), true));
  }

 private:
  View* view_;
};

}  // namespace

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

std::vector<std::string> ListLibraries(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code ec;
  const std::string lowPrefix = Lower(prefix);
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::string low = Lower(name);
    if (low.size() <= lowPrefix.size() + 3 || low.compare(0, lowPrefix.size(), lowPrefix) != 0 ||
        low.compare(low.size() - 3, 3, ".so") != 0)
      continue;
    std::error_code sec;
    if (!fs::is_regular_file(it->path(), sec)) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
  });
  return names;
}

// ---------------------------------------------------------------------------

TDetectedList::TDetectedList(QWidget* parent) : QListWidget(parent) {
  QFont f("Arial");
  f.setPointSize(9);
  setFont(f);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  ClassicPalette(this);
  setItemDelegate(new TInUseDelegate<TDetectedList>(this));
}

void TDetectedList::SetInUseName(const std::string& name) {
  inUse_ = name;
  viewport()->update();
}

bool TDetectedList::RowInUse(int row) const {
  return !inUse_.empty() && row >= 0 && row < count() && SameName(item(row)->text().toStdString(), inUse_);
}

QColor TDetectedList::TextColour(int row, bool selected) const {
  if (RowInUse(row)) return selected ? QColor(Qt::yellow) : QColor(Qt::red);
  if (IsGrey(row)) return kGrey;
  return selected ? QColor(Qt::white) : QColor(Qt::black);
}

void TDetectedList::SetNames(const std::vector<std::string>& names) {
  clear();
  for (const std::string& n : names) {
    auto* it = new QListWidgetItem(Q(n), this);
    it->setSizeHint(QSize(0, 16));
  }
}

std::vector<std::string> TDetectedList::Names() const {
  std::vector<std::string> out;
  for (int i = 0; i < count(); ++i) out.push_back(item(i)->text().toStdString());
  return out;
}

std::string TDetectedList::SelectedName() const {
  const int r = currentRow();
  return r >= 0 && r < count() && item(r)->isSelected() ? item(r)->text().toStdString() : std::string();
}

void TDetectedList::Select(int row) {
  if (row < 0 || row >= count()) {
    setCurrentRow(-1);
    clearSelection();
    return;
  }
  setCurrentRow(row);
}

void TDetectedList::SetGrey(int row, bool grey) {
  QListWidgetItem* it = item(row);
  it->setData(Qt::UserRole, grey);
}

bool TDetectedList::IsGrey(int row) const {
  return row >= 0 && row < count() && item(row)->data(Qt::UserRole).toBool();
}

// ---------------------------------------------------------------------------

TManagerGrid::TManagerGrid(const std::vector<std::pair<QString, int>>& columns, QWidget* parent)
    : QTableWidget(0, int(columns.size()), parent) {
  QStringList labels;
  for (const auto& c : columns) labels << c.first;
  setHorizontalHeaderLabels(labels);
  for (int i = 0; i < int(columns.size()); ++i) setColumnWidth(i, columns[size_t(i)].second);
  minNameWidth_ = columns.empty() ? 0 : columns[0].second;
  horizontalHeader()->setStretchLastSection(true);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(18);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStyleSheet(
      QString("QHeaderView::section { background-color: %1; color: black; border: 1px solid #808080; padding: 1px; }")
          .arg(kHeader.name()));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  ClassicPalette(this);
  setItemDelegate(new TInUseDelegate<TManagerGrid>(this));
}

void TManagerGrid::SetRows(const std::vector<std::vector<std::string>>& rows) {
  clearContents();
  setRowCount(0);
  for (const auto& r : rows) AddRow(r);
}

void TManagerGrid::AddRow(const std::vector<std::string>& texts) {
  const int row = rowCount();
  insertRow(row);
  for (int c = 0; c < columnCount(); ++c) {
    // The text is copied here: nothing of a row points into the library it describes.
    auto* it = new QTableWidgetItem(Q(size_t(c) < texts.size() ? texts[size_t(c)] : std::string()));
    it->setToolTip(it->text());
    setItem(row, c, it);
  }
  FitNames();
}

void TManagerGrid::FitNames() {
  // Names are what the user picks by: their column grows past its default width to show them whole.
  const int least = minNameWidth_;
  resizeColumnToContents(0);
  if (columnWidth(0) < least) setColumnWidth(0, least);
}

std::string TManagerGrid::Cell(int row, int column) const {
  const QTableWidgetItem* it = item(row, column);
  return it ? it->text().toStdString() : std::string();
}

int TManagerGrid::SelectedRow() const {
  const QList<QTableWidgetItem*> sel = selectedItems();
  return sel.isEmpty() ? -1 : sel.first()->row();
}

std::string TManagerGrid::SelectedName() const {
  const int r = SelectedRow();
  return r < 0 ? std::string() : Cell(r, 0);
}

void TManagerGrid::Select(int row) {
  if (row < 0 || row >= rowCount()) {
    clearSelection();
    setCurrentCell(-1, -1);
    return;
  }
  setCurrentCell(row, 0);
  selectRow(row);
}

void TManagerGrid::SetInUseName(const std::string& name) {
  inUse_ = name;
  viewport()->update();
}

void TManagerGrid::SetInUseRow(int row) {
  inUseRow_ = row;
  viewport()->update();
}

bool TManagerGrid::RowInUse(int row) const {
  if (row < 0 || row >= rowCount()) return false;
  if (row == inUseRow_) return true;
  return !inUse_.empty() && SameName(Cell(row, 0), inUse_);
}

QColor TManagerGrid::TextColour(int row, bool selected) const {
  if (RowInUse(row)) return selected ? QColor(Qt::yellow) : QColor(Qt::red);
  return selected ? QColor(Qt::white) : QColor(Qt::black);
}

QColor TManagerGrid::HeaderColour() const { return kHeader; }

}  // namespace app
