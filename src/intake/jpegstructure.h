#pragma once

#include <QByteArray>

class QIODevice;

// Follows a JPEG's marker structure as its bytes stream past, holding none of
// the image: whether the bytes form a whole JPEG (SOI, a frame header, at
// least one scan, EOI), and a copy of the metadata segments (APP1 Exif/XMP,
// APP13 Photoshop, the frame header) up to a fixed size for the metadata
// reader. Bytes after EOI (padding, camera trailers) are not looked at.
class JpegStructure final
{
public:
    enum class Verdict { Complete, NotJpeg, Truncated };

    // Bound on the metadata copy; segments past it are left out.
    static constexpr int kMetadataLimit = 1 << 20;

    void feed(const char *data, qint64 size);
    // True once nothing more can change metadata(): the first scan began,
    // EOI came, or the bytes are no JPEG.
    bool metadataDone() const;
    // Call after the last byte.
    Verdict verdict() const;
    // SOI, the kept segments and EOI: a small JPEG the metadata reader can
    // parse on its own; empty when the bytes do not start as a JPEG.
    QByteArray metadata() const;

    // Reads `device` only as far as the metadata goes.
    static QByteArray readMetadata(QIODevice &device);

private:
    enum class Step { Soi, Marker, MarkerCode, Length, Payload, Scan, ScanFill, Done, Broken };

    void onMarker(quint8 code);
    void endSegment();

    Step m_step = Step::Soi;
    int m_seen = 0;    // bytes of SOI or of the length field read so far
    quint8 m_code = 0; // marker of the segment being read
    quint16 m_length = 0;
    qint64 m_remaining = 0; // payload bytes of the segment still to come
    bool m_keep = false;    // the segment goes into the metadata copy
    bool m_frameSeen = false;
    bool m_scanSeen = false;
    QByteArray m_metadata;
};
