#pragma once

#include "platform/ui/dialogs.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

// Answers every dialog at once from scripted queues and records what was shown,
// so a test can drive a window through its modal paths without ever blocking.
class FakeDialogs : public platform::Dialogs {
  public:
    struct Message {
        platform::MessageKind kind = platform::MessageKind::Information;
        QString text;
        bool standardError = false; // shown through error(), the application's error box
    };
    enum class FileDialogKind { Open, Save };
    struct FileDialog {
        FileDialogKind kind = FileDialogKind::Open;
        platform::FileDialogSpec spec;
    };

    void message(QWidget* parent, const QString& text,
                 platform::MessageKind kind = platform::MessageKind::Information) override;
    void error(QWidget* parent, const QString& text) override;
    bool question(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const platform::FileDialogSpec& spec) override;
    QString saveFile(QWidget* parent, const platform::FileDialogSpec& spec) override;
    std::optional<QColor> chooseColour(QWidget* parent, const QColor& initial) override;
    std::optional<QSize> askPictureSize(QWidget* parent, const QSize& suggested) override;
    void setClipboardText(const QString& text) override;
    void setClipboardPicture(const QByteArray& svg, const QImage& png) override;
    QString clipboardText() const override { return clipboard; }

    // The texts of all messages and errors, in the order they were shown.
    QStringList messageTexts() const;

    // Scripted answers, taken from the front; an empty queue answers "cancelled".
    std::deque<bool> questionAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;
    std::deque<std::optional<QColor>> colourAnswers;
    std::deque<std::optional<QSize>> sizeAnswers;

    // What was shown, in order.
    std::vector<Message> messages;
    std::vector<QString> questions;
    std::vector<FileDialog> fileDialogs;
    std::vector<QColor> colourRequests; // the initial colour of each colour dialog
    std::vector<QSize> sizeRequests;    // the suggested size of each picture size question

    // The clipboard: a text or a picture, whichever was put there last.
    QString clipboard;
    QByteArray clipboardSvg;
    QImage clipboardPng;
};
