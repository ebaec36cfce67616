// The preview pane of the main window, GroupBox1: the phone picture with the
// HTML view WebBrowser over its screen, the soft-key labels, and the lower
// group with the two disabled lists and the "Показать" button that runs the
// preview command.
//
// The HTML view starts its web engine (Chromium and its helper processes)
// when it is created, so the pane creates it only for the first preview:
// until then a blank area of the view's size and colour holds its place.
#pragma once

#include <QGroupBox>
#include <QString>
#include <string>

#include "core/CodeBuffer.h"
#include "preview/Preview.h"

class QComboBox;
class QLabel;
class QPushButton;

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

  // The HTML view, a QWebEngineView: nullptr until the first preview has
  // created it.
  QWidget* WebBrowser() const { return webBrowser_; }
  // What stands on the phone's screen: the blank area before the first
  // preview, the HTML view from then on. Its object name is "WebBrowser".
  QWidget* ScreenArea() const;
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
  // WebBrowser to load that file. The first preview creates the view (and so
  // starts the web engine) before loading. Errors of the file
  // (EFCreateError, EWriteError) reach the caller and leave the view's page
  // as it was; when the engine cannot be started the file is written and
  // EInvalidOperation says why.
  void Button1Click(QObject* sender);

 signals:
  // "Показать" was clicked; the window that holds the pane runs the preview
  // command (through its error handling).
  void Button1Clicked();
  // The view's page process ended abnormally (it could not start, crashed or
  // was killed): the message says so, for the error box. The next preview
  // starts a new one.
  void WebBrowserFailed(const QString& message);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceAnchoredControls();
  // Creates the HTML view in the blank area's place, once.
  QWidget* EnsureWebBrowser();

  TCodeBuffer& code_;
  TPreview preview_;

  QLabel* image1_;
  QLabel* card_;
  QLabel* label1_;
  QLabel* label4_;
  QWidget* blankScreen_;
  QWidget* webBrowser_ = nullptr;
  QGroupBox* groupBox3_;
  QLabel* label3_;
  QComboBox* comboBox3_;
  QLabel* label2_;
  QComboBox* comboBox1_;
  QPushButton* button1_;
};

}  // namespace deckhand
