#include "intake/jpegstructure.h"

#include <algorithm>
#include <cstring>

#include <QIODevice>

namespace {

constexpr quint8 kSoi = 0xD8;
constexpr quint8 kEoi = 0xD9;
constexpr quint8 kSos = 0xDA;
constexpr quint8 kApp1 = 0xE1;
constexpr quint8 kApp13 = 0xED;

// SOF0..SOF15; C4 (DHT), C8 (JPG) and CC (DAC) share the range but are not frames.
bool isFrameHeader(quint8 code)
{
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Markers without a length field.
bool isStandalone(quint8 code)
{
    return code == 0x01 || (code >= 0xD0 && code <= 0xD7);
}

} // namespace

void JpegStructure::feed(const char *data, qint64 size)
{
    const auto *bytes = reinterpret_cast<const quint8 *>(data);
    qint64 i = 0;
    while (i < size) {
        switch (m_step) {
        case Step::Soi: {
            const quint8 b = bytes[i++];
            if (b != (m_seen == 0 ? 0xFF : kSoi)) {
                m_step = Step::Broken;
                break;
            }
            if (++m_seen == 2) {
                m_metadata.append("\xFF\xD8", 2);
                m_step = Step::Marker;
            }
            break;
        }
        case Step::Marker:
            // Stray bytes between segments are skipped, as libjpeg does.
            if (bytes[i++] == 0xFF)
                m_step = Step::MarkerCode;
            break;
        case Step::MarkerCode: {
            const quint8 code = bytes[i++];
            if (code != 0xFF)
                onMarker(code);
            break;
        }
        case Step::Length:
            m_length = quint16((m_length << 8) | bytes[i++]);
            if (++m_seen < 2)
                break;
            if (m_length < 2) {
                m_step = Step::Broken;
                break;
            }
            m_remaining = m_length - 2;
            m_keep = !m_scanSeen && (m_code == kApp1 || m_code == kApp13 || isFrameHeader(m_code))
                     && m_metadata.size() + 2 + m_length + 2 <= kMetadataLimit;
            if (m_keep) {
                const char head[4] = {char(0xFF), char(m_code), char(m_length >> 8), char(m_length & 0xFF)};
                m_metadata.append(head, 4);
            }
            m_step = Step::Payload;
            if (m_remaining == 0)
                endSegment();
            break;
        case Step::Payload: {
            const qint64 n = std::min(m_remaining, size - i);
            if (m_keep)
                m_metadata.append(data + i, int(n));
            i += n;
            m_remaining -= n;
            if (m_remaining == 0)
                endSegment();
            break;
        }
        case Step::Scan: {
            // Entropy-coded data: only 0xFF can start anything.
            const void *ff = std::memchr(bytes + i, 0xFF, size_t(size - i));
            if (!ff) {
                i = size;
                break;
            }
            i = static_cast<const quint8 *>(ff) - bytes + 1;
            m_step = Step::ScanFill;
            break;
        }
        case Step::ScanFill: {
            const quint8 code = bytes[i++];
            if (code == 0x00 || (code >= 0xD0 && code <= 0xD7))
                m_step = Step::Scan; // stuffed byte or restart marker
            else if (code != 0xFF)
                onMarker(code);
            break;
        }
        case Step::Done:
        case Step::Broken:
            return;
        }
    }
}

void JpegStructure::onMarker(quint8 code)
{
    if (code == kEoi) {
        m_step = m_scanSeen ? Step::Done : Step::Broken;
    } else if (code == kSoi) {
        m_step = Step::Broken;
    } else if (isStandalone(code)) {
        m_step = Step::Marker;
    } else {
        m_code = code;
        m_length = 0;
        m_seen = 0;
        m_step = Step::Length;
    }
}

void JpegStructure::endSegment()
{
    if (isFrameHeader(m_code))
        m_frameSeen = true;
    if (m_code != kSos) {
        m_step = Step::Marker;
        return;
    }
    if (!m_frameSeen) {
        m_step = Step::Broken;
        return;
    }
    m_scanSeen = true;
    m_step = Step::Scan;
}

bool JpegStructure::metadataDone() const
{
    return m_scanSeen || m_step == Step::Done || m_step == Step::Broken;
}

JpegStructure::Verdict JpegStructure::verdict() const
{
    switch (m_step) {
    case Step::Done:
        return Verdict::Complete;
    case Step::Soi:
    case Step::Broken:
        return Verdict::NotJpeg;
    default:
        return Verdict::Truncated;
    }
}

QByteArray JpegStructure::metadata() const
{
    if (m_metadata.isEmpty() || m_step == Step::Broken)
        return QByteArray();
    return m_metadata + QByteArray("\xFF\xD9", 2);
}

QByteArray JpegStructure::readMetadata(QIODevice &device)
{
    JpegStructure jpeg;
    QByteArray block(64 * 1024, Qt::Uninitialized);
    while (!jpeg.metadataDone()) {
        const qint64 n = device.read(block.data(), block.size());
        if (n <= 0)
            break;
        jpeg.feed(block.constData(), n);
    }
    return jpeg.metadata();
}
