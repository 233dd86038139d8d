#include "shell/records_panel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTableView>
#include <algorithm>

#include "shell/icons.h"
#include "shell/records_table_model.h"

namespace ravelin {
namespace {

// The geometry of the controls for a panel of `cx` by `cy` pixels.
constexpr int kPagerBand = 35;
constexpr int kFillerColumnWidth = 1500;
// Wide enough for "free page".
constexpr int kStatusColumnWidth = 100;

QFont PanelFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(16);
  font.setWeight(QFont::Normal);
  return font;
}

QPushButton* PagerButton(QWidget* parent, const char* objectName, const QIcon& icon, const char* tip) {
  auto* button = new QPushButton(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setIcon(icon);
  button->setIconSize(QSize(18, 18));
  button->setToolTip(QString::fromUtf8(tip));
  button->setAccessibleName(QString::fromUtf8(tip));
  button->setEnabled(false);
  return button;
}

}  // namespace

RecordsPanel::RecordsPanel(QWidget* parent) : QWidget(parent), model_(new RecordsTableModel(this)) {
  setFont(PanelFont());

  list_ = new QTableView(this);
  list_->setObjectName(QStringLiteral("recordsList"));
  list_->setModel(model_);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setWordWrap(false);
  list_->setAlternatingRowColors(false);
  list_->verticalHeader()->setVisible(false);
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->horizontalHeader()->setHighlightSections(false);
  list_->horizontalHeader()->resizeSection(0, kFillerColumnWidth);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QWidget::customContextMenuRequested, this, &RecordsPanel::ShowListMenu);
  auto* copy = new QAction(tr("Copy"), list_);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, [this] { CopySelection(false); });
  list_->addAction(copy);

  definition_ = new QPlainTextEdit(this);
  definition_->setObjectName(QStringLiteral("definitionText"));
  definition_->setReadOnly(true);
  definition_->setLineWrapMode(QPlainTextEdit::NoWrap);
  definition_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  definition_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(14);
  definition_->setFont(fixed);

  previous_ = PagerButton(this, "previousRecords", ShellIcon(IconId::kPrevious), kTipPreviousRecords);
  next_ = PagerButton(this, "nextRecords", ShellIcon(IconId::kNext), kTipNextRecords);
  connect(previous_, &QPushButton::clicked, this, &RecordsPanel::previousRequested);
  connect(next_, &QPushButton::clicked, this, &RecordsPanel::nextRequested);

  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("recordsLabel"));
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  // At first only the definition text pane shows.
  list_->hide();
  label_->hide();
  previous_->hide();
  next_->hide();
}

void RecordsPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int cx = width(), cy = height();
  definition_->setGeometry(0, 0, cx, cy);
  list_->setGeometry(0, 0, cx, std::max(cy - kPagerBand, 0));
  previous_->setGeometry(cx - 120, cy - 31, 50, 25);
  next_->setGeometry(cx - 65, cy - 31, 50, 25);
  label_->setGeometry(10, cy - 31, 490, 25);
  // A new size forgets the page text.
  label_->setText(QString::fromLatin1(kLabelRecords));
}

void RecordsPanel::ShowRecordsFace(bool shown) {
  list_->setVisible(shown);
  label_->setVisible(shown);
  previous_->setVisible(shown);
  next_->setVisible(shown);
}

void RecordsPanel::ShowDefinitionPane(bool shown) { definition_->setVisible(shown); }

bool RecordsPanel::RecordsFaceShown() const { return !list_->isHidden(); }

bool RecordsPanel::DefinitionPaneShown() const { return !definition_->isHidden(); }

void RecordsPanel::SetDefinitionText(const QString& text) { definition_->setPlainText(text); }

void RecordsPanel::ClearDefinitionText() { definition_->clear(); }

QString RecordsPanel::DefinitionText() const { return definition_->toPlainText(); }

void RecordsPanel::SetRecordsLabel(const QString& text) { label_->setText(text); }

QString RecordsPanel::RecordsLabel() const { return label_->text(); }

void RecordsPanel::EnablePrevious(bool enabled) { previous_->setEnabled(enabled); }

void RecordsPanel::EnableNext(bool enabled) { next_->setEnabled(enabled); }

void RecordsPanel::InsertColumn(int position, const QString& header, int width) {
  model_->InsertColumn(position, header);
  const int at = std::clamp(model_->ModelColumn(position), 0, model_->columnCount() - 1);
  list_->horizontalHeader()->resizeSection(at, width);
}

void RecordsPanel::SetRowStatus(int row, const std::string& status) {
  const bool shown = model_->StatusShown();
  model_->SetRowStatus(row, status);
  if (!shown && model_->StatusShown()) {
    // Wide enough for its header in the list's font, and for "free page".
    QHeaderView* header = list_->horizontalHeader();
    const int text = header->fontMetrics().horizontalAdvance(QString::fromLatin1(kRowStatusHeader));
    header->resizeSection(0, std::max(kStatusColumnWidth, text + 2 * header->fontMetrics().averageCharWidth()));
  }
}

void RecordsPanel::SelectRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  list_->selectionModel()->select(model_->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void RecordsPanel::DeleteSelectedRows() {
  QModelIndexList rows = list_->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() > b.row(); });
  for (const QModelIndex& row : rows) model_->RemoveRow(row.row());
}

void RecordsPanel::Clear() {
  model_->RemoveAllRows();
  ClearDefinitionText();
  label_->clear();
}

void RecordsPanel::RemoveColumns(int count) {
  if (count > 0) {
    model_->RemoveAllRows();
    for (int i = 0; i < count; ++i) model_->RemoveColumn(0);
  }
  ClearDefinitionText();
}

void RecordsPanel::CopySelection(bool withHeaders) {
  const QModelIndexList selected = list_->selectionModel()->selectedIndexes();
  if (selected.isEmpty()) return;
  QApplication::clipboard()->setText(model_->SelectionAsTsv(selected, withHeaders));
}

void RecordsPanel::ShowListMenu(const QPoint& position) {
  QMenu menu(this);
  const bool any = list_->selectionModel()->hasSelection();
  menu.addAction(tr("Copy"), this, [this] { CopySelection(false); })->setEnabled(any);
  menu.addAction(tr("Copy with Headers"), this, [this] { CopySelection(true); })->setEnabled(any);
  menu.addSeparator();
  menu.addAction(tr("Select All"), list_, &QTableView::selectAll)->setEnabled(model_->rowCount() > 0);
  menu.exec(list_->viewport()->mapToGlobal(position));
}

}  // namespace ravelin
