// The main window's commands: file, edit, find, view, insert and help, and
// the status bar's panels.
#include <QStringList>
#include <algorithm>

#include "core/MarkupCommands.h"
#include "core/TextSearch.h"
#include "preview/PreviewPane.h"
#include "ui/PrintCommands.h"
#include "ui/ProductInfo.h"
#include "ui/Shell.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit3.h"
#include "ui/Unit4.h"
#include "ui/Unit5.h"
#include "ui/Unit6.h"
#include "ui/Unit7.h"
#include "wml/DeckCheck.h"
#include "wml/Phones.h"

namespace deckhand {

// ---------------------------------------------------------------------------
// File

void TMain::ToolButton1Click(QObject*) { document_->ToolButton1Click(); }
void TMain::CreatenewlmClick(QObject*) { document_->CreatenewlmClick(); }
void TMain::OpenButtonClick(QObject*) { document_->OpenButtonClick(); }
void TMain::SaveButtonClick(QObject*) { document_->SaveButtonClick(); }
void TMain::N8Click(QObject*) { document_->N8Click(); }
void TMain::ToolButton31Click(QObject*) { printing_->PrinterSetup(); }
void TMain::PrintClick(QObject*) { printing_->Print(buffer_); }
void TMain::N6Click(QObject*) { ToolButton1Click(this); }
void TMain::N7Click(QObject*) { OpenButtonClick(this); }
void TMain::N46Click(QObject*) { SaveButtonClick(this); }
void TMain::N47Click(QObject*) { ToolButton31Click(this); }
void TMain::WML1Click(QObject*) { PrintClick(this); }

// ---------------------------------------------------------------------------
// Edit

void TMain::ToolButton33Click(QObject*) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<Twmlcheck> dialog(new Twmlcheck(this, buffer_));
  dialog->exec();
}
void TMain::CutButtonClick(QObject*) { buffer_.CutToClipboard(); }
void TMain::CopyButtonClick(QObject*) { buffer_.CopyToClipboard(); }
void TMain::PasteButtonClick(QObject*) { buffer_.PasteFromClipboard(); }
void TMain::ToolButton4Click(QObject*) { LargerText(buffer_); }
void TMain::ToolButton3Click(QObject*) { SmallerText(buffer_); }
void TMain::ToolButton22Click(QObject*) { AlignParagraphLeft(buffer_); }
void TMain::ToolButton23Click(QObject*) { AlignParagraphCenter(buffer_); }
void TMain::ToolButton24Click(QObject*) { AlignParagraphRight(buffer_); }
void TMain::ToolButton18Click(QObject*) { BoldText(buffer_); }
void TMain::ToolButton19Click(QObject*) { ItalicText(buffer_); }
void TMain::ToolButton20Click(QObject*) { UnderlineText(buffer_); }
void TMain::WML2Click(QObject*) { ToolButton33Click(this); }
void TMain::N13Click(QObject*) { CutButtonClick(this); }
void TMain::N14Click(QObject*) { CopyButtonClick(this); }
void TMain::N15Click(QObject*) { PasteButtonClick(this); }
void TMain::N17Click(QObject*) { ToolButton4Click(this); }
void TMain::N18Click(QObject*) { ToolButton3Click(this); }
void TMain::N24Click(QObject*) { ToolButton22Click(this); }
void TMain::N25Click(QObject*) { ToolButton23Click(this); }
void TMain::N26Click(QObject*) { ToolButton24Click(this); }
void TMain::N20Click(QObject*) { ToolButton18Click(this); }
void TMain::N21Click(QObject*) { ToolButton19Click(this); }
void TMain::N22Click(QObject*) { ToolButton20Click(this); }

// ---------------------------------------------------------------------------
// Find, replace, go to a line or a finding

void TMain::RunFindDialog(bool replaceMode) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<TFindDialog> dialog(
      new TFindDialog(this, buffer_, findState_, replaceMode,
                      [this](const QString& text) { statusBar_->SetPanelText(0, text); }));
  dialog->exec();
  memo_->setFocus(Qt::OtherFocusReason);
}

void TMain::Find1Click(QObject*) { RunFindDialog(false); }
void TMain::Replace1Click(QObject*) { RunFindDialog(true); }

void TMain::FindNext1Click(QObject*) {
  if (findState_.Needle.isEmpty()) {
    RunFindDialog(false);
    return;
  }
  statusBar_->SetPanelText(
      0, FindAgain(buffer_, findState_) ? QString() : QString::fromUtf8(kNotFoundText));
}

void TMain::GoToLine1Click(QObject*) {
  const std::unique_ptr<TGoToLineDialog> dialog(new TGoToLineDialog(this, buffer_));
  dialog->exec();
  memo_->setFocus(Qt::OtherFocusReason);
}

void TMain::GoToFinding(bool backward) {
  // The findings the emulator lists for its phone (the default phone while
  // it has not been opened), checked afresh on the editor's text.
  const std::string text = buffer_.GetText();
  const wml::TDeckReport report =
      wml::CheckDeck(text, emulator_ != nullptr ? &emulator_->Phone() : &wml::DefaultPhone());
  std::vector<size_t> offsets;
  offsets.reserve(report.Findings.size());
  for (const wml::TFinding& finding : report.Findings) offsets.push_back(finding.Offset);
  std::sort(offsets.begin(), offsets.end());
  const std::optional<size_t> stop =
      NextStop(offsets, static_cast<size_t>(buffer_.GetSelStart()), backward);
  if (!stop) {
    statusBar_->SetPanelText(0, QStringLiteral("Замечаний нет"));
    return;
  }
  buffer_.SetSelStart(static_cast<int>(std::min(*stop, text.size())));
  memo_->ensureCursorVisible();
  // Every finding at that place, as the emulator's list words them.
  QStringList shown;
  for (const wml::TFinding& finding : report.Findings) {
    if (finding.Offset != *stop) continue;
    shown << QStringLiteral("%1:%2: %3: %4")
                 .arg(finding.Line)
                 .arg(finding.Column)
                 .arg(finding.Severity == wml::TSeverity::Error ? QStringLiteral("ошибка")
                                                                : QStringLiteral("предупреждение"),
                      QString::fromStdString(finding.Message));
  }
  statusBar_->SetPanelText(0, shown.join(QStringLiteral("; ")));
}

void TMain::NextFinding1Click(QObject*) { GoToFinding(false); }
void TMain::PrevFinding1Click(QObject*) { GoToFinding(true); }

// ---------------------------------------------------------------------------
// View

void TMain::Button1Click(QObject* Sender) { preview_->Button1Click(Sender); }
void TMain::ToolButton2Click(QObject*) { Button1Click(this); }
void TMain::N5Click(QObject*) { Button1Click(this); }
void TMain::N50Click(QObject*) {
  // One emulator window for the whole run, owned by the main window; F6
  // shows it again after it was closed.
  if (!emulator_) emulator_ = new TEmulator(this);
  emulator_->show();
  emulator_->raise();
  emulator_->activateWindow();
}

// ---------------------------------------------------------------------------
// Insert

void TMain::ToolButton16Click(QObject*) { InsertNewCard(buffer_); }
void TMain::ToolButton8Click(QObject*) { NewParagraph(buffer_); }
void TMain::ToolButton9Click(QObject*) { InsertLineBreak(buffer_); }
void TMain::ToolButton14Click(QObject*) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<Tcreatpic> dialog(new Tcreatpic(this, buffer_));
  dialog->exec();
}
void TMain::ToolButton13Click(QObject*) { InsertIndent(buffer_); }
void TMain::ToolButton7Click(QObject*) { InsertForm(buffer_); }
void TMain::ToolButton25Click(QObject*) { InsertInputField(buffer_); }
void TMain::ToolButton27Click(QObject*) { InsertGoButton(buffer_); }
void TMain::ToolButton15Click(QObject*) {
  // A fresh dialog each time, owned by the window, gone when it closes.
  const std::unique_ptr<TCreathref> dialog(new TCreathref(this, buffer_));
  dialog->exec();
}
void TMain::N27Click(QObject*) { ToolButton16Click(this); }
void TMain::N28Click(QObject*) { ToolButton8Click(this); }
void TMain::N29Click(QObject*) { ToolButton9Click(this); }
void TMain::N32Click(QObject*) { ToolButton14Click(this); }
void TMain::N30Click(QObject*) { ToolButton13Click(this); }
void TMain::N36Click(QObject*) { ToolButton7Click(this); }
void TMain::N34Click(QObject*) { ToolButton25Click(this); }
void TMain::N35Click(QObject*) { ToolButton27Click(this); }
void TMain::N31Click(QObject*) { ToolButton15Click(this); }

// ---------------------------------------------------------------------------
// Help

int TMain::ExecuteFile(const QString& FileName, const QString& /*Params*/,
                       const QString& /*DefaultDir*/, int /*ShowCmd*/) {
  Shell().Open(FileName);
  return 0;
}

void TMain::ToolButton29Click(QObject*) {
  constexpr int kShowWindow = 5;
  ExecuteFile(HelpTarget(QString::fromUtf8(kHelpFileName), UserGuidePath()), QString(), QString(),
              kShowWindow);
}
void TMain::N43Click(QObject*) { ToolButton29Click(this); }
void TMain::Deckhand1Click(QObject*) { Shell().Open(QString::fromUtf8(kWebSiteAddress)); }
void TMain::N4Click(QObject*) {
  const std::unique_ptr<TAbout> about(new TAbout(this));
  about->exec();
}

// ---------------------------------------------------------------------------
// Status bar

void TMain::ShowHint(QObject*) { statusBar_->SetPanelText(0, hints_->Hint()); }

void TMain::UpdateCursorPos() {
  const int start = buffer_.GetSelStart();
  const int line = buffer_.LineFromChar(start);
  const int column = start - buffer_.LineIndex(line);
  statusBar_->SetPanelText(2, QStringLiteral("%1:%2").arg(line + 1).arg(column + 1));
}

void TMain::SetLockKeySource(std::unique_ptr<TLockKeySource> source) {
  lockKeys_ = std::move(source);
  lockKeys_->SetOnChange([this] { timer1_.start(); });
  timer1_.start();
}

void TMain::Timer1Timer(QObject*) {
  const TLockKeyState keys = lockKeys_->Read();
  statusBar_->SetPanelText(4, keys.CapsLock ? QStringLiteral(" CAP") : QString());
  statusBar_->SetPanelText(3, keys.NumLock ? QStringLiteral(" NUM") : QString());
  statusBar_->SetPanelText(5, keys.ScrollLock ? QStringLiteral(" SCRL") : QString());
}

}  // namespace deckhand
