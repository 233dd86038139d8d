#include "shell/output_pane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QStringListModel>
#include <algorithm>

namespace ravelin {

OutputPane::OutputPane(QWidget* parent) : QListView(parent), model_(new QStringListModel(this)) {
  setObjectName(QStringLiteral("outputList"));
  setModel(model_);
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
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const int at = std::clamp(index, 0, model_->rowCount());
  model_->insertRows(at, 1);
  model_->setData(model_->index(at), text);
  if (atEnd) scrollToBottom();
}

QStringList OutputPane::Lines() const { return model_->stringList(); }

int OutputPane::LineCount() const { return model_->rowCount(); }

}  // namespace ravelin
