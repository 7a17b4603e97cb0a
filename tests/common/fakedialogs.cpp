#include "common/fakedialogs.h"

void FakeDialogs::message(QWidget*, const QString& text, platform::MessageKind kind)
{
    messages.push_back({kind, text, false});
}

void FakeDialogs::error(QWidget*, const QString& text)
{
    messages.push_back({platform::MessageKind::Error, text, true});
}

QString FakeDialogs::openFile(QWidget*, const platform::FileDialogSpec& spec)
{
    fileDialogs.push_back({FileDialogKind::Open, spec});
    if (openAnswers.empty())
        return {};
    QString answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString FakeDialogs::saveFile(QWidget*, const platform::FileDialogSpec& spec)
{
    fileDialogs.push_back({FileDialogKind::Save, spec});
    if (saveAnswers.empty())
        return {};
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

std::optional<QColor> FakeDialogs::chooseColour(QWidget*, const QColor& initial)
{
    colourRequests.push_back(initial);
    if (colourAnswers.empty())
        return std::nullopt;
    std::optional<QColor> answer = colourAnswers.front();
    colourAnswers.pop_front();
    return answer;
}

bool FakeDialogs::question(QWidget*, const QString& text)
{
    questions.push_back(text);
    if (questionAnswers.empty())
        return false;
    const bool answer = questionAnswers.front();
    questionAnswers.pop_front();
    return answer;
}

std::optional<QSize> FakeDialogs::askPictureSize(QWidget*, const QSize& suggested)
{
    sizeRequests.push_back(suggested);
    if (sizeAnswers.empty())
        return std::nullopt;
    std::optional<QSize> answer = sizeAnswers.front();
    sizeAnswers.pop_front();
    return answer;
}

void FakeDialogs::setClipboardText(const QString& text)
{
    // Like the real clipboard, new contents replace whatever was there.
    clipboard = text;
    clipboardSvg.clear();
    clipboardPng = QImage();
}

void FakeDialogs::setClipboardPicture(const QByteArray& svg, const QImage& png)
{
    clipboard.clear();
    clipboardSvg = svg;
    clipboardPng = png;
}

QStringList FakeDialogs::messageTexts() const
{
    QStringList texts;
    for (const Message& m : messages)
        texts << m.text;
    return texts;
}
