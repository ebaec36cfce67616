// Reading and writing the document's file.
//
// A document file holds the buffer's text exactly as GetText returns it:
// Windows-1251 bytes, no byte-order mark, no header, nothing converted.
// Reading hands the file's bytes to the buffer's SetTextStr, which turns
// every line break into CR LF and ends the text before the first NUL.
//
// Paths are QStrings, stored on disk as UTF-8 names. The error messages embed
// the path as it was given (the dialogs give full paths) in UTF-8, and the
// system's description of the failure as SystemErrorText trims it.
#pragma once

#include <QString>

#include "core/CodeBuffer.h"

namespace deckhand {

// Writes buffer.GetText() to path; an empty text gives a file of 0 bytes.
//
// The text goes to a temporary file beside the target, which replaces the
// target only once every byte is written and flushed to disk, so a failure
// leaves the former file as it was. Where no temporary file can be created
// beside the target (a folder the user may not write to) but the target
// itself is writable, the target is written in place instead, and only once
// its file system has room for the whole text (the blocks the target takes
// now count as free); a file system without that room fails the save with
// "Stream write error" before the target is touched, and so does a text
// longer than the process's file size limit (RLIMIT_FSIZE). Only a failure half way
// through writing in place can leave the target half written.
//
// A new file gets the permissions a newly created file gets (0666 less the
// umask); a replaced file keeps its permission bits and, where the process
// may set them, its owner and group. When path is a symbolic link (or a chain
// of them), the file it points to is written and the link stays a link; a
// dangling link creates the file it names. A file with several hard links
// is replaced under the name given only; its other names keep the former
// text.
//
// Throws EFCreateError "Cannot create file "<path>". <reason>" when the file
// cannot be created or replaced (folder missing, path is a folder or not a
// regular file, no permission, read-only file system), and EWriteError
// "Stream write error" when fewer bytes could be written than the text holds
// (a full disk, a file size limit). Saving sets SIGXFSZ to be ignored (where
// it still has its default action, which would end the process), so that a
// write past the file size limit fails as an error.
void SaveToFile(const TCodeBuffer& buffer, const QString& path);

// What LoadFromFile gave the buffer: the whole file, or the text before a
// NUL byte in it (a binary or UTF-16 file), which is not the file's content.
enum class TLoadedText { Whole, CutAtNul };

// Reads the file at path and passes its bytes to buffer.SetTextStr, so line
// breaks become CR LF, the text ends before the first NUL byte, and a file
// whose adjusted text equals the buffer's changes nothing.
//
// Reading stops at the first NUL byte: what follows it can never reach the
// text, and a file that is mostly zeros (a disk image) then costs no memory.
// The buffer is then given the bytes before the NUL and one NUL, which it
// treats exactly as the whole file. Returns whether the text was cut so.
//
// A file larger than the process could hold (more bytes than a buffer counts
// or, under an address-space limit, than is left of it) is refused before it
// is read into memory, unless a NUL among the bytes that could be held ends
// its text in time; looking for one reads the file a piece at a time.
//
// Throws EFOpenError "Cannot open file "<path>". <reason>" when the file is
// missing, is a folder or not a regular file (a pipe or a device, which could
// block or never end), may not be read, or a read fails half way; and
// EInvalidOperation "Text exceeds memo capacity" when the text is longer than
// any buffer can hold (more bytes than an int counts, or memory runs out) or
// than this buffer can hold (raised by its SetTextStr). On any error the
// buffer is left as it was.
TLoadedText LoadFromFile(TCodeBuffer& buffer, const QString& path);

}  // namespace deckhand
