// Reading PDF files back with poppler's command-line tools, for the tests
// that print to PDF: page counts, fields of the document information and the
// text in drawing order.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace deckhand::testing {

// Whether pdfinfo and pdftotext (poppler-utils) can be run.
inline bool HavePoppler() {
  return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
         !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

// The output of a tool, with ligatures ("fi" drawn as one glyph) spelt out;
// "<failed>" when it cannot be run or fails.
inline QString PdfTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(30000) || process.exitCode() != 0) return QStringLiteral("<failed>");
  return QString::fromUtf8(process.readAllStandardOutput())
      .normalized(QString::NormalizationForm_KC);
}

// One field of pdfinfo's listing ("Pages", "Title", "Page size"), or
// "<missing>".
inline QString PdfInfoField(const QString& pdf, const QString& field) {
  const QRegularExpression line(QStringLiteral("^%1:[ \\t]*(.*)$").arg(field),
                                QRegularExpression::MultilineOption);
  const QRegularExpressionMatch match = line.match(PdfTool(QStringLiteral("pdfinfo"), {pdf}));
  return match.hasMatch() ? match.captured(1).trimmed() : QStringLiteral("<missing>");
}

inline int PdfPageCount(const QString& pdf) {
  return PdfInfoField(pdf, QStringLiteral("Pages")).toInt();
}

// The text of every page in the order it was drawn.
inline QString PdfText(const QString& pdf) {
  return PdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
}

}  // namespace deckhand::testing
