#include "qt/prefix_chooser.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/paths/wine_prefix.h"
#include "product/product_text.h"
#include "qt/qt_text.h"

CPrefixChooser::CPrefixChooser(const std::vector<BrowserPrefix>& choices, QWidget* parent)
    : QDialog(parent), m_list(new QTreeWidget) {
  setWindowTitle(QStringFromAnsi(kProductName));
  auto* question =
      new QLabel(QStringLiteral("The browser is installed in several Wine prefixes. Choose the one whose worlds "
                                "to change:"));
  question->setWordWrap(true);

  m_list->setColumnCount(2);
  m_list->setHeaderLabels({QStringLiteral("Wine prefix"), QStringLiteral("Browser folder")});
  m_list->setRootIsDecorated(false);
  m_list->setAllColumnsShowFocus(true);
  for (const BrowserPrefix& choice : choices)
    new QTreeWidgetItem(m_list, {QStringFromAnsi(choice.prefix.text), QStringFromAnsi(choice.browserDirectory)});
  if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
  FitListToItsRows();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_list, &QTreeWidget::itemActivated, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(question);
  layout->addWidget(m_list);
  layout->addWidget(buttons);
}

void CPrefixChooser::FitListToItsRows() {
  // Whole paths are what the user chooses by: no column is cut, and a few
  // rows show without scrolling.
  constexpr int kRowsShown = 6;
  for (int column = 0; column < m_list->columnCount(); ++column) m_list->resizeColumnToContents(column);
  const int frame = 2 * m_list->frameWidth();
  const int rows = std::clamp(m_list->topLevelItemCount(), 1, kRowsShown);
  m_list->setMinimumWidth(m_list->header()->length() + frame);
  m_list->setFixedHeight(m_list->header()->sizeHint().height() + rows * m_list->sizeHintForRow(0) + frame);
}

std::optional<std::size_t> CPrefixChooser::selectedIndex() const {
  const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
  if (row < 0) return std::nullopt;
  return static_cast<std::size_t>(row);
}

bool ChooseWinePrefixWithUser() {
  const std::vector<BrowserPrefix> choices = ChooseWinePrefix();
  if (choices.empty()) return true;
  CPrefixChooser chooser(choices);
  if (chooser.exec() != QDialog::Accepted) return false;
  const std::optional<std::size_t> picked = chooser.selectedIndex();
  if (!picked) return false;
  platform::UseWinePrefix(choices[*picked].prefix);
  return true;
}
