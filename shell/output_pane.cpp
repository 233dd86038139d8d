#include "shell/output_pane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QPalette>
#include <QScrollBar>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <algorithm>

namespace ravelin {
namespace {

// Warnings ("warning: TABLE: what was lost, where") stand out from the
// lines around them.
class WarningLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (IsWarningLine(option->text)) option->palette.setColor(QPalette::Text, QColor(0xb0, 0x00, 0x20));
  }
};

}  // namespace

bool IsWarningLine(const QString& line) { return line.startsWith(QLatin1String(kWarningLinePrefix)); }

OutputPane::OutputPane(QWidget* parent) : QListView(parent), model_(new QStringListModel(this)) {
  setObjectName(QStringLiteral("outputList"));
  setModel(model_);
  setItemDelegate(new WarningLineDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  setWordWrap(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* copy = new QAction(tr("Copy"), this);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, [this] {
    const QModelIndex current = currentIndex();
    if (current.isValid()) QApplication::clipboard()->setText(current.data().toString());
  });
  addAction(copy);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void OutputPane::InsertLine(int index, const QString& text) {
  const int shown = model_->rowCount();
  if (index >= shown) {
    staged_.insert(std::min(index - shown, static_cast<int>(staged_.size())), text);
    if (staged_.size() == 1) emit linesStaged();
    return;
  }
  Commit();
  const int at = std::max(index, 0);
  model_->insertRows(at, 1);
  model_->setData(model_->index(at), text);
}

void OutputPane::Commit() {
  if (staged_.isEmpty()) return;
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const int first = model_->rowCount();
  model_->insertRows(first, static_cast<int>(staged_.size()));
  for (int i = 0; i < staged_.size(); ++i) model_->setData(model_->index(first + i), staged_[i]);
  staged_.clear();
  if (atEnd) scrollToBottom();
}

QStringList OutputPane::Lines() const { return model_->stringList(); }

int OutputPane::LineCount() const { return model_->rowCount(); }

}  // namespace ravelin
