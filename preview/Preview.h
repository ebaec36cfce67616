// The phone preview without any window: the preview page (a fixed HTML
// header followed by the code), its file below the preview base directory,
// and the holders Visual (the header) and WhatSave (the last page composed).
//
// The page and its file are Windows-1251 bytes exactly as the code buffer
// holds them: no byte-order mark, no charset declaration, no line-break
// conversion, nothing appended.
#pragma once

#include <QString>
#include <QUrl>
#include <string>
#include <string_view>

#include "core/CodeBuffer.h"

namespace deckhand {

// The 168-byte header of every preview page: nine lines, each ending in
// CR LF, that remove the page margins and set a small Arial font.
inline constexpr std::string_view kPreviewHeader =
    "<BODY bottomMargin=0 \r\n"
    "LeftMargin=0 topMargin=0 \r\n"
    "rightMargin=0 marginwidth=\"0\" \r\n"
    "marginheight=\"0\">\r\n"
    "<STYLE>\r\n"
    "BODY {\r\n"
    "\tFONT-SIZE: 8pt; \r\n"
    "FONT-FAMILY: Arial}\r\n"
    "</STYLE>\r\n";
static_assert(kPreviewHeader.size() == 168);

// The header immediately followed by text, nothing between or after.
std::string ComposePreviewPage(const std::string& text);

// baseDirectory followed directly by "/temp/temp.htm", with no check for a
// separator already present: a base of "/" gives "//temp/temp.htm".
QString PreviewFilePath(const QString& baseDirectory);

// The address under which the HTML view loads the file at path. Repeated
// separators are merged first: the file is the same, but a file address
// beginning with two slashes would name a network host ("//temp/temp.htm"
// would be the file "/temp.htm" on the host "temp").
QUrl PreviewFileUrl(const QString& path);

// Creates (or truncates) the file at path, which ends in "/temp/temp.htm",
// and writes page into it in one block. The temp folder is created first
// when it is missing; nothing above it is. Neither the temp folder nor the
// file is ever followed when it is a symbolic link, and only a regular file
// is written: a FIFO or a device there is refused at once, never waited on.
// A path whose base directory is empty or relative (the base could not be
// found out) is refused. Raises EFCreateError "Cannot create file "<path>".
// <reason>" when the file cannot be created (nothing is written then) and
// EWriteError "Stream write error" when fewer bytes could be written or the
// file system reports the failure only when the file is closed.
void WritePreviewFile(const QString& path, const std::string& page);

// The logic of the preview command, owned by the preview pane: the two
// hidden holders and the preview base directory, fixed at construction.
class TPreview {
 public:
  explicit TPreview(const QString& baseDirectory);
  TPreview(const TPreview&) = delete;
  TPreview& operator=(const TPreview&) = delete;

  const QString& BaseDirectory() const { return baseDirectory_; }
  // Where every preview of this instance is written.
  QString FilePath() const { return PreviewFilePath(baseDirectory_); }

  // The header holder; it holds kPreviewHeader and nothing changes it.
  const TCodeBuffer& Visual() const { return visual_; }
  // The page of the last preview (empty before the first).
  const TCodeBuffer& WhatSave() const { return whatSave_; }

  // Composes the page from Visual's text and code's whole text, keeps it in
  // WhatSave, and writes it to FilePath(), which it returns. WhatSave holds
  // the new page even when the file cannot be written. code is only read.
  QString Write(const TCodeBuffer& code);

 private:
  QString baseDirectory_;
  TMemoryBuffer visual_;
  TMemoryBuffer whatSave_;
};

}  // namespace deckhand
