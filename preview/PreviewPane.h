// The preview pane of the main window, GroupBox1: the phone picture with the
// HTML view WebBrowser over its screen, the soft-key labels, and the lower
// group with the two disabled lists and the "Показать" button that runs the
// preview command.
#pragma once

#include <QGroupBox>
#include <QString>
#include <string>

#include "core/CodeBuffer.h"
#include "preview/Preview.h"

class QComboBox;
class QLabel;
class QPushButton;
class QWebEngineView;

namespace deckhand {

class TPreviewPane : public QGroupBox {
  Q_OBJECT

 public:
  // The pane's designed size. Every control stands at its designed place at
  // this size; when the pane is taller (as in the main window, whose middle
  // band is taller than the design) the lower group stays aligned to the
  // bottom edge and the picture grows with the pane.
  static constexpr int kDefaultWidth = 188;
  static constexpr int kDefaultHeight = 423;
  // The resource holding the phone picture.
  static const char* const kPhonePicture;

  // code is the editor's buffer, read by each preview; baseDirectory is the
  // folder below which temp/temp.htm is written, fixed for the pane's life.
  // Raises EInvalidOperation when the phone picture is present but corrupt.
  TPreviewPane(TCodeBuffer& code, const QString& baseDirectory, QWidget* parent = nullptr);

  QWebEngineView* WebBrowser() const { return webBrowser_; }
  QPushButton* Button1() const { return button1_; }
  QLabel* Image1() const { return image1_; }
  const QString& BaseDirectory() const { return preview_.BaseDirectory(); }
  // The path every preview writes and the view loads.
  QString PreviewPath() const { return preview_.FilePath(); }
  // The texts of the hidden holders: the header and the last page composed.
  std::string VisualText() const { return preview_.Visual().GetText(); }
  std::string WhatSaveText() const { return preview_.WhatSave().GetText(); }

  QSize sizeHint() const override { return {kDefaultWidth, kDefaultHeight}; }

 public slots:
  // The preview command: composes the page from the header and the whole
  // code, keeps it in WhatSave, writes it to the preview file and tells
  // WebBrowser to load that file. Errors of the file (EFCreateError,
  // EWriteError) reach the caller and leave the view's page as it was.
  void Button1Click(QObject* sender);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceAnchoredControls();

  TCodeBuffer& code_;
  TPreview preview_;

  QLabel* image1_;
  QLabel* card_;
  QLabel* label1_;
  QLabel* label4_;
  QWebEngineView* webBrowser_;
  QGroupBox* groupBox3_;
  QLabel* label3_;
  QComboBox* comboBox3_;
  QLabel* label2_;
  QComboBox* comboBox1_;
  QPushButton* button1_;
};

}  // namespace deckhand
