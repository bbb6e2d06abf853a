#pragma once

#include <QByteArray>
#include <QString>

// What a picture offered as a document's front cover is, or why it cannot be one.
struct CoverCheck
{
    QString mimeType; // "image/jpeg" or "image/png"; "" when refused
    int width = 0;
    int height = 0;
    QString refusal; // why the picture cannot be a cover, in words for the user; "" when it can

    bool Usable() const { return refusal.isEmpty(); }
};

/// The largest cover: in bytes, and in pixels on each side.
inline constexpr qsizetype kMaxCoverBytes = 4 * 1024 * 1024;
inline constexpr int kMaxCoverSide = 8192;

/// Checks a picture for use as a front cover: JPEG or PNG by its first bytes (whatever its
/// name says), at most kMaxCoverBytes, its size in pixels read from its header and at most
/// kMaxCoverSide a side, and whole (a JPEG's end marker after its image data, a PNG's last chunk).
CoverCheck CheckCover(const QByteArray &bytes);
