// TAbout, the About box: a fixed 400 by 230 window in the product's blue
// with an 8-pixel dark-blue frame, the product name and version, a notice,
// the web site and mail links and the "Закрыть" button.
//
// The main window creates a fresh box for every showing and destroys it
// afterwards:
//
//   const std::unique_ptr<TAbout> about(new TAbout(this));
//   about->exec();
//
// The box closes through Button1 (click, or Enter or Space while it has the
// focus, which it has from the start) or the title bar's close box; Escape
// does nothing. Clicking the web site or mail line hands the address to the
// desktop through Shell().
#pragma once

#include <QLabel>
#include <QPushButton>

#include "ui/DialogParts.h"

namespace deckhand {

class TAbout : public TFixedDialog {
  Q_OBJECT

 public:
  explicit TAbout(QWidget* owner = nullptr);

  // In painting order, later ones over earlier ones.
  QLabel* Label1;  // "Deckhand v0.2"
  QLabel* Image1;  // left frame picture
  QLabel* Image2;  // right frame picture
  TBevel* Bevel1;
  QLabel* Label6;  // "» Внимание! ..."
  QLabel* Label8;
  QLabel* Label9;  // usage terms, first paragraph
  QLabel* Label10;
  QLabel* Label11;
  QLabel* Label12;  // second paragraph
  QLabel* Label13;
  QLabel* Label14;
  QLabel* Label15;  // "Web сайт: ...", opens the web site
  QLabel* Label3;   // "E-mail: ...", starts a mail
  QLabel* Label5;   // year and authors
  TBevel* Bevel2;
  QLabel* Image3;        // bottom band
  QLabel* Image4;        // top band
  QPushButton* Button1;  // "Закрыть"

 public slots:
  // Opens the product's web site.
  void Label15Click(QObject* Sender);
  // Starts a mail to the authors with the subject "Deckhand v0.2".
  void Label3Click(QObject* Sender);
  // Closes the box (Rejected).
  void Button1Click(QObject* Sender);

 protected:
  // A press and release of the left button over a link line clicks it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QObject* pressed_ = nullptr;
};

}  // namespace deckhand
