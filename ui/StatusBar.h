// The main window's status bar: seven panels with lowered bevels and fixed
// widths (250, 150, 40, 40, 40, 40, and the last one reaching the right end),
// and a size grip. Panel 0 shows the hint, 1 the document's path, 2 the caret
// position, 3 to 5 the lock keys; panel 6 stays empty.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <array>

namespace deckhand {

class TStatusPanel : public QLabel {
  Q_OBJECT

 public:
  explicit TStatusPanel(QWidget* parent = nullptr);
  // Setting the text a panel already shows changes nothing and repaints
  // nothing.
  void SetText(const QString& text);
  // Number of times the text actually changed (for tests of idle repaints).
  int Changes() const { return changes_; }

 private:
  int changes_ = 0;
};

class TStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  static constexpr int kPanelCount = 7;
  static constexpr std::array<int, kPanelCount> kWidths = {250, 150, 40, 40, 40, 40, 50};

  explicit TStatusBar(QWidget* parent = nullptr);

  TStatusPanel* Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }
  QString PanelText(int index) const { return Panel(index)->text(); }
  void SetPanelText(int index, const QString& text) { Panel(index)->SetText(text); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LayOutPanels();

  QWidget* area_;
  std::array<TStatusPanel*, kPanelCount> panels_{};
};

}  // namespace deckhand
