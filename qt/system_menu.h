#pragma once

#include <QMenu>

class QPoint;
class QWidget;

// Window command of the system menu that closes the window (Win32 SC_CLOSE).
inline constexpr unsigned kScClose = 0xF060;

// The window menu of a dialog whose real one belongs to the window manager:
// the dialog opens it itself (Alt+Space, a right click) and hands the chosen
// command to its OnSysCommand. Items are addressed by command id, as the
// Win32 menu functions address them; texts keep their '&' mnemonics.
class SystemMenu final : public QMenu {
  Q_OBJECT

 public:
  // A menu holding the window's own commands (Close), owned by `window`.
  explicit SystemMenu(QWidget* window);

  void AppendSeparator();
  void AppendString(unsigned command, const QString& text);

  // Changes the text of the first item with `command`; false when there is
  // none.
  bool ModifyString(unsigned command, const QString& text);

  // The text of the first item with `command`; empty when there is none.
  QString ItemText(unsigned command) const;

  // The command of an item; 0 for separators and for actions not added here.
  static unsigned Command(const QAction* action);

  // Opens the menu at `globalPosition` and waits until it is closed: the
  // command chosen, or 0 when none was.
  unsigned Track(const QPoint& globalPosition);

 private:
  QAction* Find(unsigned command) const;
};
