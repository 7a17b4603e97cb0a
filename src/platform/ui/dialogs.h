#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

class QWidget;

namespace platform {

enum class MessageKind { Information, Warning, Error };

// What a file dialog is asked to show. The filter is written the way the window
// designs write it ("Accelerometer files|*.axd|All files|*.*"); the real dialog
// converts it.
struct FileDialogSpec {
    QString filter;
    QString defaultExtension; // without the dot; appended when the typed name has no extension
    QString initialFolder;    // may be relative to the current directory; a missing folder is ignored
    QString fileName;         // preselected name, may be empty
    bool confirmOverwrite = false;
};

// Every modal the program shows goes through this interface, so that the windows
// can be driven in tests by a fake that answers at once instead of blocking.
class Dialogs {
  public:
    virtual ~Dialogs();

    // A notice with a single OK button.
    virtual void message(QWidget* parent, const QString& text,
                         MessageKind kind = MessageKind::Information) = 0;
    // The application's standard error box, used for failures of the file and INI layers.
    virtual void error(QWidget* parent, const QString& text) = 0;

    // Both return the chosen path, or an empty string when the operator cancelled.
    virtual QString openFile(QWidget* parent, const FileDialogSpec& spec) = 0;
    virtual QString saveFile(QWidget* parent, const FileDialogSpec& spec) = 0;

    // A question answered "Да" or "Нет"; true for "Да". Where no box can be shown, "Нет".
    virtual bool question(QWidget* parent, const QString& text);

    // nullopt when the operator cancelled.
    virtual std::optional<QColor> chooseColour(QWidget* parent, const QColor& initial) = 0;
    // The width and height in pixels of a bitmap picture about to be written, starting from
    // `suggested`; nullopt when the operator cancelled.
    virtual std::optional<QSize> askPictureSize(QWidget* parent, const QSize& suggested) = 0;

    // Each call replaces the whole clipboard contents.
    virtual void setClipboardText(const QString& text) = 0;
    // The vector picture for programs that take SVG, the bitmap for all others.
    virtual void setClipboardPicture(const QByteArray& svg, const QImage& png) = 0;
    virtual QString clipboardText() const = 0;
};

// The real dialogs, message boxes and system clipboard.
class QtDialogs : public Dialogs {
  public:
    // While the program ends on a signal (a logout, a shutdown) nobody is there to press OK:
    // notices and errors go to standard error instead of waiting in a box.
    void setUnattended(bool on) { unattended_ = on; }

    void message(QWidget* parent, const QString& text, MessageKind kind = MessageKind::Information) override;
    void error(QWidget* parent, const QString& text) override;
    // Unattended, nobody is there to answer: "Нет", told on standard error.
    bool question(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const FileDialogSpec& spec) override;
    QString saveFile(QWidget* parent, const FileDialogSpec& spec) override;
    std::optional<QColor> chooseColour(QWidget* parent, const QColor& initial) override;
    std::optional<QSize> askPictureSize(QWidget* parent, const QSize& suggested) override;
    void setClipboardText(const QString& text) override;
    void setClipboardPicture(const QByteArray& svg, const QImage& png) override;
    QString clipboardText() const override;

  private:
    bool unattended_ = false;
};

// "A|*.axd|B|*.*" -> "A (*.axd);;B (*.*)". Several patterns of one entry ("*.txt;*.csv")
// become a space-separated list, as Qt expects. Entries without a pattern are dropped.
QString qtFilterFromPipeFilter(const QString& pipeFilter);

// Appends "." + ext when the file part of name has no extension of its own.
// An empty name stays empty: it means the dialog was cancelled.
QString applyDefaultExtension(const QString& name, const QString& ext);

// The extension a Qt name filter stands for ("CSV (*.csv)" -> "csv"); fallback when it names
// none or several ("All files (*.*)", "Text (*.txt *.csv)").
QString suffixOfNameFilter(const QString& qtNameFilter, const QString& fallback);

// The largest side a bitmap picture may be asked for: its pixels must fit in memory at once.
constexpr int kMaxPictureSide = 10000;

// The absolute path of folder (a relative one is taken from the current directory),
// or an empty string when the folder is empty or does not exist.
QString resolveInitialFolder(const QString& folder);

} // namespace platform
