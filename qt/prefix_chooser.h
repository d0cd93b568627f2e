#pragma once

#include <QDialog>

#include <cstddef>
#include <optional>
#include <vector>

#include "locate/browser_prefix.h"

class QTreeWidget;

// Asks which of several Wine prefixes holding the browser the program is to
// read: one row per prefix (its folder and the browser's folder in it), the
// first one selected, OK and Cancel. A double click on a row is OK.
class CPrefixChooser : public QDialog {
  Q_OBJECT

 public:
  explicit CPrefixChooser(const std::vector<BrowserPrefix>& choices, QWidget* parent = nullptr);

  // The row selected: after exec() was accepted, the user's pick.
  std::optional<std::size_t> selectedIndex() const;

  QTreeWidget* list() const { return m_list; }

 private:
  void FitListToItsRows();

  QTreeWidget* m_list;
};

// Settles the Wine prefix the program reads (ChooseWinePrefix), asking the
// user with a CPrefixChooser when the browser is in several of them. False
// when the user cancelled: the program then ends without touching anything.
bool ChooseWinePrefixWithUser();
