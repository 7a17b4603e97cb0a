#include "files/axdfile.h"

#include "display/chartbuild.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "files/cp1251.h"
#include "platform/fileaccess.h"
#include "platform/memory.h"

#include <fcntl.h>
#include <unistd.h>

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

enum class TitleRead { Ok, Short, TooLong };

// A title runs up to its zero byte, and no further than kAxdMaxTitleBytes: the bytes are looked
// at in one piece instead of one by one, and a file without a zero there is given up at once.
TitleRead readTitle(QIODevice& in, QString& title)
{
    QByteArray bytes(kAxdMaxTitleBytes + 1, Qt::Uninitialized);
    const qint64 seen = in.peek(bytes.data(), bytes.size());
    if (seen <= 0)
        return TitleRead::Short;
    const qsizetype zero = QByteArrayView(bytes.constData(), seen).indexOf('\0');
    if (zero < 0)
        return seen > kAxdMaxTitleBytes ? TitleRead::TooLong : TitleRead::Short;
    if (in.skip(zero + 1) != zero + 1)
        return TitleRead::Short;
    title = fromCp1251(QByteArrayView(bytes.constData(), zero));
    return TitleRead::Ok;
}

// The rest of the device, up to limit bytes; cut tells whether more was there.
QByteArray readRest(QIODevice& in, qint64 limit, bool& cut)
{
    cut = false;
    if (!in.isSequential()) {
        const qint64 left = std::max<qint64>(0, in.size() - in.pos());
        cut = left > limit;
        return in.read(std::min(left, limit));
    }
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const qint64 n = in.read(chunk, std::min<qint64>(sizeof chunk, limit - bytes.size()));
        if (n <= 0)
            break;
        bytes.append(chunk, n);
        if (bytes.size() >= limit) {
            char probe = 0;
            cut = in.peek(&probe, 1) == 1;
            break;
        }
    }
    return bytes;
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

QString axdStatusMessage(AxdStatus status, const QString& path, std::uint64_t bytesNeeded)
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
    case AxdStatus::TitleTooLong:
        return QStringLiteral("Файл %1 повреждён: подпись оси длиннее %2 байт").arg(path).arg(kAxdMaxTitleBytes);
    case AxdStatus::OutOfMemory:
        return QStringLiteral("Недостаточно памяти для файла %1 (нужно %2 МБ)")
            .arg(path)
            .arg((bytesNeeded + (1u << 20) - 1) >> 20);
    case AxdStatus::Abandoned:
        return {};
    }
    return {};
}

QString AxdReadResult::message(const QString& path) const
{
    const QString text = axdStatusMessage(status, path, bytesNeeded);
    return reason.isEmpty() || text.isEmpty() ? text : text + QStringLiteral(": ") + reason;
}

QString axdCommentCutMessage(const QString& path)
{
    return QStringLiteral("Комментарий файла %1 длиннее %2 МБ: показано только его начало.")
        .arg(path)
        .arg(kAxdMaxCommentBytes >> 20);
}

std::uint64_t axdMemoryNeeded(const AxdHeader& header)
{
    const int channels = acq::ChannelSet::fromMask(header.channelMask).count();
    const std::uint64_t frames = std::uint64_t(std::max<std::int64_t>(0, axdFrames(header)));
    // A double per value and about a tenth more for its envelope levels and the pulse bits.
    const std::uint64_t perFrame = channels > 0 ? std::uint64_t(channels + 1) * 9 : 0;
    return std::uint64_t(header.dataLength) + frames * perFrame;
}

AxdReadResult readAxd(QIODevice& in, DataBlock dataBlock, std::optional<std::uint64_t> memoryAvailable,
                      const AxdReadProgress& progress)
{
    AxdReadResult r;
    auto fail = [&r](AxdStatus s) {
        r.status = s;
        r.contents = {};
        return std::move(r);
    };
    // A file that ends too soon: where it ends, and where the header says its data would end.
    auto cut = [&in, &fail, &r](std::optional<quint64> dataEnd = std::nullopt) {
        const qint64 end = in.isSequential() ? in.pos() : in.size();
        r.reason = QStringLiteral("файл обрывается на байте %1").arg(std::max<qint64>(end, 0));
        if (dataEnd)
            r.reason += QStringLiteral(", а по заголовку данные идут до байта %1").arg(*dataEnd);
        return fail(AxdStatus::StreamReadError);
    };
    auto refuseForMemory = [&r, &fail](std::uint64_t needed) {
        r.bytesNeeded = needed;
        return fail(AxdStatus::OutOfMemory);
    };

    char head[kAxdHeaderSize];
    if (!readExactly(in, head, kAxdHeaderSize))
        return cut();
    r.contents.header = decodeAxdHeader(head);
    if (!r.contents.header.isMeasurement())
        return fail(AxdStatus::NotMeasurement);

    char cal[kAxdCalibrationSize];
    if (!readExactly(in, cal, kAxdCalibrationSize))
        return cut();
    for (int i = 0; i < 3; ++i) {
        r.contents.axisK[i] = getDouble(cal + 8 * i);
        r.contents.axisC[i] = getDouble(cal + 24 + 8 * i);
    }

    for (QString* title : {&r.contents.xAxisTitle, &r.contents.yAxisTitle}) {
        switch (readTitle(in, *title)) {
        case TitleRead::Ok:
            break;
        case TitleRead::Short:
            return cut();
        case TitleRead::TooLong:
            return fail(AxdStatus::TitleTooLong);
        }
    }

    const qint64 left = in.size() - in.pos();
    if (r.contents.header.isOpenJournal()) {
        // A run's journal that was never closed (the program was killed during the run or while
        // closing it): its data runs to the end of the file, a frame cut in the middle is not
        // data; or, once its length was written, the data is that long and what follows is a
        // comment that may be cut short.
        const int channels = acq::ChannelSet::fromMask(r.contents.header.channelMask).count();
        if (r.contents.header.dataLength == kAxdOpenLength)
            r.contents.header.dataLength = std::uint32_t(
                std::uint64_t(acq::wholeFrames(std::uint64_t(std::max<qint64>(left, 0)), channels)) * 2 *
                std::uint64_t(std::max(channels, 0)));
        r.contents.header.fixedByte3 = 1;
        r.contents.unfinishedJournal = true;
    }
    const std::uint64_t needed = axdMemoryNeeded(r.contents.header);
    // The data block must be there in full before anything is reserved for it.
    const quint64 length = r.contents.header.dataLength;
    if (left < 0 || length > quint64(left))
        return cut(quint64(std::max<qint64>(in.pos(), 0)) + length);
    r.contents.dataOffset = in.pos();

    if (dataBlock == DataBlock::Read) {
        // Whole and well-formed is not yet affordable: what the record and its chart will take
        // is compared with what the machine can give before the first byte is reserved.
        if (!memoryAvailable)
            memoryAvailable = platform::availableMemoryBytes();
        if (memoryAvailable && needed > *memoryAvailable)
            return refuseForMemory(needed);
    }

    try {
        if (dataBlock == DataBlock::Skip) {
            if (!in.seek(in.pos() + qint64(length)))
                return fail(AxdStatus::StreamReadError);
        } else if (length > 0) {
            // Straight into the record's storage, a large piece per read: no copy on the way.
            char* const block = reinterpret_cast<char*>(r.contents.data.grow(length));
            quint64 done = 0;
            while (done < length) {
                const qint64 want = qint64(std::min<quint64>(length - done, kAxdReadPiece));
                if (!readExactly(in, block + done, want))
                    return cut(quint64(r.contents.dataOffset) + length);
                done += quint64(want);
                if (progress && done < length && !progress(done, length))
                    return fail(AxdStatus::Abandoned);
            }
        }
        if (!r.contents.unfinishedJournal)
            r.contents.comment = commentFromBytes(readRest(in, kAxdMaxCommentBytes, r.contents.commentCut));
    } catch (const std::bad_alloc&) {
        // The estimate above is only an estimate; the machine has the last word.
        return refuseForMemory(needed);
    }
    return r;
}

AxdReadResult readAxdFile(const QString& path, DataBlock dataBlock, std::optional<std::uint64_t> memoryAvailable,
                          const AxdReadProgress& progress)
{
    // Only a regular file is read, opened without waiting: a FIFO or a device in a file's place
    // (a journal's, or one chosen by name) would hang the read or run it past any bound.
    int error = 0;
    const int fd = platform::openRegularFile(path, O_RDONLY, true, false, error);
    QFile f;
    if (fd < 0 || !f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        AxdReadResult r;
        r.status = AxdStatus::CannotOpen;
        // A folder is named for what it is.
        r.reason = QFileInfo(path).isDir() ? QStringLiteral("это папка") : platform::fileErrorText(error);
        return r;
    }
    return readAxd(f, dataBlock, memoryAvailable, progress);
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

display::ChartInput chartInputOf(const AxdContents& contents)
{
    display::ChartInput in;
    in.bytes = contents.data.data();
    in.size = contents.data.size();
    in.samplePeriodUs = contents.header.samplePeriodUs;
    in.axisK = contents.axisK;
    in.axisC = contents.axisC;
    return in;
}

bool axdNumbersFinite(const AxdContents& contents)
{
    const double period = contents.header.samplePeriodUs;
    if (!(period > 0) || !std::isfinite(1000000.0 / period))
        return false;
    // Samples are -512 ... 511 ADC units.
    const acq::ChannelSet channels = acq::ChannelSet::fromMask(contents.header.channelMask);
    for (int a = 0; a < 3; ++a) {
        const double k = contents.axisK[std::size_t(a)];
        const double c = contents.axisC[std::size_t(a)];
        if (channels.has(a) && !std::isfinite((512 + std::fabs(c)) * std::fabs(k)))
            return false;
    }
    return true;
}

} // namespace files
