#include "ResultRows.h"

#include <algorithm>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace db {

namespace {

// A tag's low four bits say the kind of value; for integers the next two
// say how many bytes it was stored in (1, 2, 4 or 8).
enum Kind : unsigned char
{
    Null,
    Int,
    LongLong,
    Double,
    Text,
    Blob,
    Large // a blob of ResultRows::m_large, by its index there
};

constexpr unsigned char KindMask = 0x0f;
constexpr int WidthShift = 4;

int widthCode(qint64 value)
{
    if (value >= -128 && value <= 127)
        return 0;
    if (value >= -32768 && value <= 32767)
        return 1;
    if (value >= -2147483648LL && value <= 2147483647LL)
        return 2;
    return 3;
}

qint64 readInteger(const char* at, int code)
{
    switch (code) {
    case 0:
        return static_cast<qint8>(*at);
    case 1: {
        qint16 value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
    case 2: {
        qint32 value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
    default: {
        qint64 value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
    }
}

// A length in seven-bit groups, low group first: one byte below 128.
constexpr int LengthRoom = 10;

char* writeLength(char* at, quint64 length)
{
    while (length >= 0x80) {
        *at++ = static_cast<char>((length & 0x7f) | 0x80);
        length >>= 7;
    }
    *at++ = static_cast<char>(length);
    return at;
}

const char* readLength(const char* at, qsizetype* length)
{
    quint64 value = 0;
    int shift = 0;
    for (;;) {
        const auto byte = static_cast<unsigned char>(*at++);
        value |= quint64(byte & 0x7f) << shift;
        if (byte < 0x80)
            break;
        shift += 7;
    }
    *length = static_cast<qsizetype>(value);
    return at;
}

// The value that starts at `at`, and where the next one starts.
const char* skipValue(const char* at)
{
    const auto tag = static_cast<unsigned char>(*at++);
    switch (tag & KindMask) {
    case Int:
    case LongLong:
        return at + (qsizetype(1) << (tag >> WidthShift));
    case Double:
        return at + sizeof(double);
    case Text:
    case Blob: {
        qsizetype length = 0;
        at = readLength(at, &length);
        return at + length;
    }
    case Large: {
        qsizetype index = 0;
        return readLength(at, &index);
    }
    default:
        return at;
    }
}

} // namespace

char* ResultRows::grow(qsizetype size)
{
    // The buffer doubles, so that a value's append is mostly a copy; the
    // room beyond what is written is never touched, which keeps it out of
    // resident memory.
    if (m_size + size > m_bytes.size())
        m_bytes.resize(std::max(m_size + size, std::max<qsizetype>(2 * m_bytes.size(), 4096)));
    char* at = m_bytes.data() + m_size;
    m_size += size;
    return at;
}

void ResultRows::appendNull()
{
    *grow(1) = Null;
}

void ResultRows::appendInt(int value)
{
    appendInteger(Int, value);
}

void ResultRows::appendLongLong(qint64 value)
{
    appendInteger(LongLong, value);
}

// An integer takes the fewest of 1, 2, 4 or 8 bytes that hold it; the tag
// keeps its kind and width.
void ResultRows::appendInteger(char kind, qint64 value)
{
    const int code = widthCode(value);
    char* at = grow(1 + (1 << code));
    *at++ = static_cast<char>(kind | (code << WidthShift));
    switch (code) {
    case 0:
        *at = static_cast<char>(value);
        break;
    case 1: {
        const auto narrow = static_cast<qint16>(value);
        std::memcpy(at, &narrow, sizeof narrow);
        break;
    }
    case 2: {
        const auto narrow = static_cast<qint32>(value);
        std::memcpy(at, &narrow, sizeof narrow);
        break;
    }
    default:
        std::memcpy(at, &value, sizeof value);
        break;
    }
}

void ResultRows::appendDouble(double value)
{
    char* at = grow(1 + sizeof value);
    *at++ = Double;
    std::memcpy(at, &value, sizeof value);
}

void ResultRows::appendText(const char* utf8, qsizetype size)
{
    appendBytes(Text, utf8, size);
}

void ResultRows::appendBlob(const char* bytes, qsizetype size)
{
    if (size >= LargeBlob)
        appendLarge(QByteArray(bytes, size));
    else
        appendBytes(Blob, bytes, size);
}

void ResultRows::appendBlob(QByteArray bytes)
{
    if (bytes.size() >= LargeBlob)
        appendLarge(std::move(bytes));
    else
        appendBytes(Blob, bytes.constData(), bytes.size());
}

void ResultRows::appendLarge(QByteArray bytes)
{
    char* at = grow(1 + LengthRoom);
    *at++ = Large;
    at = writeLength(at, static_cast<quint64>(m_large.size()));
    m_size = at - m_bytes.constData();
    m_large.append(std::move(bytes));
}

void ResultRows::appendBytes(char tag, const char* bytes, qsizetype size)
{
    char* at = grow(1 + LengthRoom + size);
    *at++ = tag;
    at = writeLength(at, static_cast<quint64>(size));
    if (size > 0)
        std::memcpy(at, bytes, static_cast<size_t>(size));
    // The length took fewer bytes than were made room for.
    m_size = at + size - m_bytes.constData();
}

QVariant ResultRows::value(qsizetype row, int column) const
{
    const qsizetype start = m_starts.at(row);
    if (start == NoValues)
        return QVariant();
    const char* at = m_bytes.constData() + start;
    for (int i = 0; i < column; ++i)
        at = skipValue(at);
    const auto tag = static_cast<unsigned char>(*at++);
    switch (tag & KindMask) {
    case Int:
        return QVariant(static_cast<int>(readInteger(at, tag >> WidthShift)));
    case LongLong:
        return QVariant(static_cast<qlonglong>(readInteger(at, tag >> WidthShift)));
    case Double: {
        double value;
        std::memcpy(&value, at, sizeof value);
        return QVariant(value);
    }
    case Text: {
        qsizetype length = 0;
        at = readLength(at, &length);
        return QVariant(QString::fromUtf8(at, length));
    }
    case Blob: {
        qsizetype length = 0;
        at = readLength(at, &length);
        return QVariant(QByteArray(at, length));
    }
    case Large: {
        qsizetype index = 0;
        readLength(at, &index);
        return QVariant(m_large.at(index));
    }
    default:
        return QVariant();
    }
}

void keepBigBlocksApart()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

} // namespace db
