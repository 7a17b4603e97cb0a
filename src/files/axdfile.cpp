#include "files/axdfile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QtEndian>

#include <bit>
#include <cstring>
#include <vector>

#include "files/cp1251.h"

namespace files {

const char* const kForeignFileMessage =
    "Приложение открывает файлы *.axd, записанные АЦП. Для просмотра выбранного файла используйте "
    "универсальное приложение Plinder.exe";

namespace {

void putDouble(char* out, double v)
{
    qToLittleEndian(std::bit_cast<quint64>(v), out);
}

double getDouble(const char* in)
{
    return std::bit_cast<double>(qFromLittleEndian<quint64>(in));
}

// A title runs up to its zero byte. A file that ends first is cut short.
bool readTitle(QIODevice& in, QString& title)
{
    QByteArray bytes;
    char c = 0;
    for (;;) {
        if (!in.getChar(&c))
            return false;
        if (c == '\0')
            break;
        bytes += c;
    }
    title = fromCp1251(bytes);
    return true;
}

bool readExactly(QIODevice& in, char* dst, qint64 count)
{
    qint64 done = 0;
    while (done < count) {
        const qint64 n = in.read(dst + done, count - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool writeAll(QIODevice& out, const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = out.write(data + done, size - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

void encodeAxdHeader(const AxdHeader& h, char out[kAxdHeaderSize])
{
    qToLittleEndian(h.typeWord, out);
    out[2] = char(h.fixedByte2);
    out[3] = char(h.fixedByte3);
    out[4] = char(h.channelMask);
    qToLittleEndian(h.dataLength, out + 5);
    putDouble(out + 9, h.samplePeriodUs);
}

AxdHeader decodeAxdHeader(const char in[kAxdHeaderSize])
{
    AxdHeader h;
    h.typeWord = qFromLittleEndian<quint16>(in);
    h.fixedByte2 = std::uint8_t(in[2]);
    h.fixedByte3 = std::uint8_t(in[3]);
    h.channelMask = std::uint8_t(in[4]);
    h.dataLength = qFromLittleEndian<quint32>(in + 5);
    h.samplePeriodUs = getDouble(in + 9);
    return h;
}

QString axdStatusMessage(AxdStatus status, const QString& path)
{
    switch (status) {
    case AxdStatus::Ok:
        return {};
    case AxdStatus::CannotOpen:
        return QStringLiteral("Cannot open file %1").arg(path);
    case AxdStatus::NotMeasurement:
        return QString::fromUtf8(kForeignFileMessage);
    case AxdStatus::StreamReadError:
        return QStringLiteral("Stream read error");
    }
    return {};
}

AxdReadResult readAxd(QIODevice& in, DataBlock dataBlock)
{
    AxdReadResult r;
    auto fail = [&r](AxdStatus s) {
        r.status = s;
        r.contents = {};
        return std::move(r);
    };

    char head[kAxdHeaderSize];
    if (!readExactly(in, head, kAxdHeaderSize))
        return fail(AxdStatus::StreamReadError);
    r.contents.header = decodeAxdHeader(head);
    if (!r.contents.header.isMeasurement())
        return fail(AxdStatus::NotMeasurement);

    char cal[kAxdCalibrationSize];
    if (!readExactly(in, cal, kAxdCalibrationSize))
        return fail(AxdStatus::StreamReadError);
    for (int i = 0; i < 3; ++i) {
        r.contents.axisK[i] = getDouble(cal + 8 * i);
        r.contents.axisC[i] = getDouble(cal + 24 + 8 * i);
    }

    if (!readTitle(in, r.contents.xAxisTitle) || !readTitle(in, r.contents.yAxisTitle))
        return fail(AxdStatus::StreamReadError);

    // The data block must be there in full before anything is reserved for it.
    const quint64 length = r.contents.header.dataLength;
    const qint64 left = in.size() - in.pos();
    if (left < 0 || length > quint64(left))
        return fail(AxdStatus::StreamReadError);

    if (dataBlock == DataBlock::Skip) {
        if (!in.seek(in.pos() + qint64(length)))
            return fail(AxdStatus::StreamReadError);
    } else if (length > 0) {
        r.contents.data.reserve(length);
        std::vector<char> chunk(std::size_t(std::min<quint64>(length, 1u << 20)));
        quint64 done = 0;
        while (done < length) {
            const qint64 want = qint64(std::min<quint64>(length - done, chunk.size()));
            if (!readExactly(in, chunk.data(), want))
                return fail(AxdStatus::StreamReadError);
            r.contents.data.append(chunk.data(), std::uint64_t(want));
            done += quint64(want);
        }
    }

    r.contents.comment = commentFromBytes(in.readAll());
    return r;
}

AxdReadResult readAxdFile(const QString& path, DataBlock dataBlock)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        AxdReadResult r;
        r.status = AxdStatus::CannotOpen;
        return r;
    }
    return readAxd(f, dataBlock);
}

bool writeAxd(QIODevice& out, const AxdWriteSource& s)
{
    AxdHeader h = s.header;
    h.dataLength = std::uint32_t(s.data.size());
    char head[kAxdHeaderSize + kAxdCalibrationSize];
    encodeAxdHeader(h, head);
    for (int i = 0; i < 3; ++i) {
        putDouble(head + kAxdHeaderSize + 8 * i, s.axisK[i]);
        putDouble(head + kAxdHeaderSize + 24 + 8 * i, s.axisC[i]);
    }
    QByteArray titles = toCp1251(s.xAxisTitle);
    titles += '\0';
    titles += toCp1251(s.yAxisTitle);
    titles += '\0';
    const QByteArray comment = commentToBytes(s.comment);
    return writeAll(out, head, sizeof head) && writeAll(out, titles.constData(), titles.size()) &&
           writeAll(out, reinterpret_cast<const char*>(s.data.data()), qint64(s.data.size())) &&
           writeAll(out, comment.constData(), comment.size());
}

std::int64_t axdFrames(const AxdHeader& header)
{
    return acq::wholeFrames(header.dataLength, acq::ChannelSet::fromMask(header.channelMask).count());
}

QString commentFromBytes(QByteArrayView bytes)
{
    QString text = fromCp1251(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QByteArray commentToBytes(const QString& memoText)
{
    QString text = memoText;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return toCp1251(text);
}

QDateTime evenSecondTime(const QDateTime& t)
{
    const QDateTime local = t.toLocalTime();
    const QTime time = local.time();
    return QDateTime(local.date(), QTime(time.hour(), time.minute(), time.second() - time.second() % 2));
}

bool setFileStartTime(const QString& path, const QDateTime& t)
{
    if (!t.isValid())
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.setFileTime(evenSecondTime(t), QFileDevice::FileModificationTime);
}

QDateTime fileModificationTime(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return info.lastModified();
}

} // namespace files
