// The markup commands: operations on a code buffer that insert WML markup at
// the caret or around the selection, and the document templates.
//
// Every command ends with one SetSelText, so the caret stands after the
// inserted text with nothing selected. All strings are Windows-1251.
#pragma once

#include <string>
#include <vector>

#include "core/CodeBuffer.h"

namespace deckhand {

// The nine lines of a new document (Windows-1251, without line breaks).
const std::vector<std::string>& NewDocumentTemplateLines();
// Card template: two lines, each followed by CR LF (32 bytes).
const std::string& CardTemplate();
// Form template: three lines, each followed by CR LF (40 bytes).
const std::string& FormTemplate();

// Clear, then Add of the nine template lines: 204 bytes, caret at the end.
void ApplyNewDocumentTemplate(TCodeBuffer& buffer);

// Replaces the selection by openTag + selected text + closeTag.
void WrapSelection(TCodeBuffer& buffer, const std::string& openTag, const std::string& closeTag);

// <a href="address">text</a>, joined as given: nothing escaped or trimmed.
std::string ComposeLink(const std::string& address, const std::string& text);
// <img src="file" alt="alternative"/>, joined as given.
std::string ComposeImage(const std::string& file, const std::string& alternative);

// Wrapping commands.
void LargerText(TCodeBuffer& buffer);            // <big>...</big>
void SmallerText(TCodeBuffer& buffer);           // <small>...</small>
void BoldText(TCodeBuffer& buffer);              // <b>...</b>
void ItalicText(TCodeBuffer& buffer);            // <i>...</i>
void UnderlineText(TCodeBuffer& buffer);         // <u>...</u>
void AlignParagraphLeft(TCodeBuffer& buffer);    // <p align="left">...</p>
void AlignParagraphCenter(TCodeBuffer& buffer);  // <p align="center">...</p>
void AlignParagraphRight(TCodeBuffer& buffer);   // <p align="right">...</p>
void NewParagraph(TCodeBuffer& buffer);          // <p>...</p>

// Fixed insertions: the selection is replaced, not wrapped.
void InsertLineBreak(TCodeBuffer& buffer);   // <br/>
void InsertIndent(TCodeBuffer& buffer);      // &nbsp;
void InsertInputField(TCodeBuffer& buffer);  // <input .../>
void InsertGoButton(TCodeBuffer& buffer);    // <go href="#"/>
void InsertForm(TCodeBuffer& buffer);        // the form template
void InsertNewCard(TCodeBuffer& buffer);     // the card template

}  // namespace deckhand
