#pragma once

#include "readalong/epubwriter.h"

#include <QString>

// An EPUB 3 book read along in its own pages: its text, pictures, styles and fonts as the
// book has them, each sentence that is heard wrapped where it stands and played by a media
// overlay.

/// Writes the EPUB 3 at source again at path, whole or not at all, with every entry as it
/// was but for these: each page (a content document of the spine) on which a sentence of
/// book is found gets a span with an id around each such sentence (its text where it
/// stands, inline markup and all, or the first part of it where the markup does not allow
/// one span) and a link to the style of the sentence being heard; a SMIL overlay per such
/// page plays each sentence's clip of its chapter's MP3 (embedded); the package document
/// names them, the durations, the narrator and the active class, and is dated now. The
/// sentences are found in the order they are heard, by their characters other than blanks
/// and format characters, page after page. Not ok and unsuitable (nothing written) for a
/// source that is not an EPUB 3, that has overlays of its own, or on which no sentence is
/// found; not ok for what WriteReadAlongEpub refuses of the book and for a file that
/// cannot be written.
ReadAlongResult WriteOverlaidEpub(const QString &source, const ReadAlongBook &book, const QString &path);
