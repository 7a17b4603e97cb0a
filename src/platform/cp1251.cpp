#include "platform/cp1251.h"

#include <QHash>
#include <QStringDecoder>

#include <array>

namespace platform {

namespace {

// Tables built once from Qt's decoder; Qt's encoder would write SUB for a missing character.
class Cp1251Tables {
  public:
    static const Cp1251Tables& instance()
    {
        static const Cp1251Tables tables;
        return tables;
    }

    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, char> fromUnicode;

  private:
    Cp1251Tables()
    {
        QStringDecoder decoder("windows-1251");
        for (int b = 0; b < 256; ++b) {
            if (b < 0x80) {
                toUnicode[b] = char16_t(b);
                continue;
            }
            const char byte = char(b);
            const QString ch = decoder.decode(QByteArrayView(&byte, 1));
            if (ch.size() == 1 && ch[0] != QChar::ReplacementCharacter) {
                toUnicode[b] = ch[0].unicode();
                fromUnicode.insert(ch[0].unicode(), byte);
            } else {
                toUnicode[b] = QChar::ReplacementCharacter;
            }
        }
    }
};

} // namespace

QByteArray toCp1251(const QString& text)
{
    const auto& t = Cp1251Tables::instance();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            bytes += char(unit);
            continue;
        }
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i; // one character outside the code page, one '?'
        bytes += t.fromUnicode.value(unit, '?');
    }
    return bytes;
}

QString fromCp1251(QByteArrayView bytes)
{
    const auto& t = Cp1251Tables::instance();
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = QChar(t.toUnicode[static_cast<unsigned char>(bytes[i])]);
    return text;
}

} // namespace platform
